// Entry point: window classes, the optional 3-D control library on Windows
// NT, the setup window, and the install sequence.
#include "shell/shell.h"
#include "copy/copy.h"
#include "common/run_lock.h"
#include "ui/ui.h"

typedef BOOL(WINAPI* CTL3DPROC)(HINSTANCE);

static void register_main_class()
{
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof(wc));
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = main_install;
    wc.hInstance = hInst;
    wc.hIcon = LoadIconA(hInst, MAKEINTRESOURCEA(IDI_SETUP));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = "install_wnd";
    RegisterClassA(&wc);
}

int WINAPI WinMain(HINSTANCE hinstCurrent, HINSTANCE hinstPrev, LPSTR, int)
{
    hInst = hinstCurrent;
    // Nothing else may run beside it, another setup or an uninstall.
    if (!take_run_lock()) {
        alert(nullptr, ALERT_SETUP_RUNNING);
        return 0;
    }
    if (hinstPrev == nullptr)
        register_main_class();
    register_bitmap(hInst);
    register_flag(hInst);
    register_indicator(hInst);

    int cx = GetSystemMetrics(SM_CXSCREEN) - 100;
    int cy = GetSystemMetrics(SM_CYSCREEN) - 100;
    HWND hwnd = CreateWindowA("install_wnd", "Quillon Setup", WS_OVERLAPPEDWINDOW, 50, 50, cx, cy,
                              nullptr, nullptr, hInst, nullptr);
    if (hwnd == nullptr)
        return 1;
    ShowWindow(hwnd, SW_SHOWNORMAL);
    MoveWindow(hwnd, 50, 50, cx, cy, TRUE);
    UpdateWindow(hwnd);

    // Before anything else touches the disk, the shared libraries included.
    if (recover_earlier_run(hwnd) == RUN_LEFT_FOR_NEXT_START) {
        DestroyWindow(hwnd);
        return 0;
    }

    OSVERSIONINFOA vi;
    ZeroMemory(&vi, sizeof(vi));
    vi.dwOSVersionInfoSize = sizeof(vi);
    GetVersionExA(&vi);
    bool nt = vi.dwPlatformId == VER_PLATFORM_WIN32_NT;

    CTL3DPROC ctl3d_unregister = nullptr;
    if (nt) {
        char szCtrlPath[PATH_CCH] = "";
        copy_ctl3d(szCtrlPath, PATH_CCH);
        // Without a path from the medium there is nothing of ours to load.
        HMODULE hctl = szCtrlPath[0] != '\0' ? LoadLibraryA(szCtrlPath) : nullptr;
        if (hctl != nullptr) {
            auto reg = reinterpret_cast<CTL3DPROC>(GetProcAddress(hctl, "Ctl3dRegister"));
            auto autosub = reinterpret_cast<CTL3DPROC>(GetProcAddress(hctl, "Ctl3dAutoSubclass"));
            ctl3d_unregister = reinterpret_cast<CTL3DPROC>(GetProcAddress(hctl, "Ctl3dUnregister"));
            if (reg != nullptr && reg(hInst) && autosub != nullptr && !autosub(hInst))
                return 1;
        }
    }

    hParent = hwnd;
    do_install(hwnd);

    if (ctl3d_unregister != nullptr)
        ctl3d_unregister(hInst);
    return 0;
}
