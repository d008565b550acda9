// The picture, flag and progress controls placed on the pages by class name.
#include "ui/ui.h"

static BOOL register_control(HINSTANCE hInstance, LPCSTR name, WNDPROC proc, HBRUSH background)
{
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_GLOBALCLASS;
    wc.lpfnWndProc = proc;
    wc.hInstance = hInstance;
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    return RegisterClassA(&wc) != 0;
}

BOOL register_bitmap(HINSTANCE hInstance)
{
    return register_control(hInstance, "bitmapwindow", bitmap_proc,
                            reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
}

BOOL register_flag(HINSTANCE hInstance)
{
    return register_control(hInstance, "flagwindow", flag_proc,
                            reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
}

BOOL register_indicator(HINSTANCE hInstance)
{
    return register_control(hInstance, "indicwindow", indic_proc,
                            static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
}

// The control id doubles as the bitmap resource id, so one class serves
// every flag on the language page.
static void load_picture(HWND hwnd, const CREATESTRUCTA* lpCs)
{
    WORD id = LOWORD(GetWindowLongPtrA(hwnd, GWLP_ID));
    HBITMAP hbm = LoadBitmapA(lpCs->hInstance, MAKEINTRESOURCEA(id));
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(hbm));
}

static void free_picture(HWND hwnd)
{
    HBITMAP hbm = reinterpret_cast<HBITMAP>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (hbm != nullptr) {
        DeleteObject(hbm);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    }
    PostQuitMessage(0);
}

void pen_line(HDC hdc, int width, COLORREF colour, const POINT* pts, int count)
{
    HPEN pen = CreatePen(PS_SOLID, width, colour);
    if (pen == nullptr)
        return;
    HGDIOBJ old = SelectObject(hdc, pen);
    MoveToEx(hdc, pts[0].x, pts[0].y, nullptr);
    for (int i = 1; i < count; i++)
        LineTo(hdc, pts[i].x, pts[i].y);
    SelectObject(hdc, old);
    DeleteObject(pen);
}

// Centres the control's picture on `fill`; a picture larger than the control
// keeps offset 0 in that direction and is clipped at the far edge.
static void paint_picture(HWND hwnd, HDC hdc, HBRUSH fill, bool sunken)
{
    HBITMAP hbm = reinterpret_cast<HBITMAP>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (hbm == nullptr)
        return;
    HDC hdcMem = CreateCompatibleDC(hdc);
    if (hdcMem == nullptr)
        return;
    HGDIOBJ oldBitmap = SelectObject(hdcMem, hbm);
    BITMAP bm = {};
    GetObjectA(hbm, sizeof(bm), &bm);
    RECT rc;
    GetClientRect(hwnd, &rc);
    const int W = rc.right, H = rc.bottom;

    if (fill != nullptr) {
        HGDIOBJ oldBrush = SelectObject(hdc, fill);
        PatBlt(hdc, 0, 0, W, H, PATCOPY);
        SelectObject(hdc, oldBrush);
    }

    int x = (W - bm.bmWidth) / 2;
    int y = (H - bm.bmHeight) / 2;
    if (x < 0)
        x = 0;
    if (y < 0)
        y = 0;
    BitBlt(hdc, x, y, bm.bmWidth, bm.bmHeight, hdcMem, 0, 0, SRCCOPY);
    SelectObject(hdcMem, oldBitmap);

    if (sunken) {
        const POINT dark[] = {{0, H}, {0, 0}, {W, 0}};
        const POINT light[] = {{W - 1, 0}, {W - 1, H - 1}, {-1, H - 1}};
        pen_line(hdc, 1, GetSysColor(COLOR_BTNSHADOW), dark, 3);
        pen_line(hdc, 1, RGB(255, 255, 255), light, 3);
    }
    DeleteDC(hdcMem);
}

BOOL bm_create(HWND hwnd, const CREATESTRUCTA* lpCs)
{
    load_picture(hwnd, lpCs);
    return TRUE;
}

BOOL fl_create(HWND hwnd, const CREATESTRUCTA* lpCs)
{
    load_picture(hwnd, lpCs);
    return TRUE;
}

void bm_paint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    if (hdc == nullptr)
        return;
    HBRUSH teal = CreateSolidBrush(RGB(0, 128, 128));
    paint_picture(hwnd, hdc, teal, true);
    if (teal != nullptr)
        DeleteObject(teal);
    EndPaint(hwnd, &ps);
}

void fl_paint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    if (hdc == nullptr)
        return;
    // The brush belongs to the dialog; a dialog that does not answer gets the
    // default dialog background from the default procedure.
    HBRUSH fill = reinterpret_cast<HBRUSH>(SendMessageA(GetParent(hwnd), WM_CTLCOLORDLG,
                                                        reinterpret_cast<WPARAM>(hdc),
                                                        reinterpret_cast<LPARAM>(hwnd)));
    paint_picture(hwnd, hdc, fill, false);
    EndPaint(hwnd, &ps);
}

void bm_destroy(HWND hwnd)
{
    free_picture(hwnd);
}

void fl_destroy(HWND hwnd)
{
    free_picture(hwnd);
}

LRESULT CALLBACK bitmap_proc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_CREATE:
        return bm_create(hwnd, reinterpret_cast<const CREATESTRUCTA*>(lParam)) ? 0 : -1;
    case WM_DESTROY:
        bm_destroy(hwnd);
        return 0;
    case WM_PAINT:
        bm_paint(hwnd);
        return 0;
    }
    return DefWindowProcA(hwnd, uMsg, wParam, lParam);
}

LRESULT CALLBACK flag_proc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_CREATE:
        return fl_create(hwnd, reinterpret_cast<const CREATESTRUCTA*>(lParam)) ? 0 : -1;
    case WM_DESTROY:
        fl_destroy(hwnd);
        return 0;
    case WM_PAINT:
        fl_paint(hwnd);
        return 0;
    }
    return DefWindowProcA(hwnd, uMsg, wParam, lParam);
}

LRESULT CALLBACK indic_proc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_DESTROY) {
        PostQuitMessage(0);
        return 1;
    }
    return DefWindowProcA(hwnd, uMsg, wParam, lParam);
}
