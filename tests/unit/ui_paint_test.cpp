// Painting of the setup window, its billboard frame and the picture controls.
#include <gtest/gtest.h>

#include "copy/copy.h"
#include "ui/ui.h"

namespace {

// Wine has no GetGuiResources; there the live GDI handles are counted by
// asking every 16-bit handle value for its type.
DWORD gdi_objects()
{
    SetLastError(0);
    DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (n != 0 || GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
        return n;
    for (ULONG_PTR h = 1; h < 0x10000; h++)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(h)) != 0)
            n++;
    return n;
}

// A 24-bit memory surface whose pixels read back exactly.
struct Surface {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;

    Surface(int w, int h)
    {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 24;
        void* bits = nullptr;
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        old = SelectObject(dc, bitmap);
        PatBlt(dc, 0, 0, w, h, BLACKNESS);
    }
    ~Surface()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
};

constexpr COLORREF WHITE = RGB(255, 255, 255);
constexpr COLORREF GREY = RGB(128, 128, 128);
constexpr COLORREF LIGHT = RGB(192, 192, 192);

// What the host answers to WM_CTLCOLORDLG, and who asked last.
HBRUSH dialog_brush;
HWND dialog_brush_asker;

LRESULT CALLBACK host_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_CTLCOLORDLG && dialog_brush != nullptr) {
        dialog_brush_asker = reinterpret_cast<HWND>(lParam);
        return reinterpret_cast<LRESULT>(dialog_brush);
    }
    if (msg == WM_PAINT) {
        wm_paint(hwnd);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// A top-level window painted like the setup window, shown on the desktop.
HWND make_host(int w, int h)
{
    hInst = GetModuleHandleA(nullptr);
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = host_proc;
        wc.hInstance = hInst;
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = "ui_test_host";
        RegisterClassA(&wc);
        register_bitmap(hInst);
        register_flag(hInst);
        register_indicator(hInst);
        registered = true;
    }
    RECT rc = {0, 0, w, h};
    AdjustWindowRect(&rc, WS_POPUP, FALSE);
    HWND hwnd = CreateWindowA("ui_test_host", "host", WS_POPUP | WS_VISIBLE, 0, 0,
                              rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr, hInst, nullptr);
    SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    UpdateWindow(hwnd);
    return hwnd;
}

void pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message != WM_QUIT)
            DispatchMessageA(&msg);
}

COLORREF pixel(HWND hwnd, int x, int y)
{
    HDC dc = GetDC(hwnd);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(hwnd, dc);
    return c;
}

}  // namespace

TEST(UiPaint, FrameHasRaisedOuterAndSunkenInnerEdge)
{
    Surface s(140, 90);
    const RECT saved = cbmp;
    SetRect(&cbmp, 10, 10, 130, 80);
    draw_frame(s.dc);
    const LONG L = 10, T = 10, R = 130, B = 80, mx = 70, my = 45;
    const struct { LONG x, y; COLORREF c; const char* what; } at[] = {
        {L, my, WHITE, "outer left"},        {mx, T, WHITE, "outer top"},
        {R - 1, my, GREY, "outer right"},    {mx, B - 1, GREY, "outer bottom"},
        {R - 1, T, WHITE, "top-right corner"}, {L, B - 1, WHITE, "bottom-left corner"},
        {L + 2, my, LIGHT, "band left"},     {mx, T + 2, LIGHT, "band top"},
        {R - 3, my, LIGHT, "band right"},    {mx, B - 3, LIGHT, "band bottom"},
        {L + 4, my, GREY, "inner left"},     {mx, T + 4, GREY, "inner top"},
        {R - 4, my, WHITE, "inner right"},   {mx, B - 4, WHITE, "inner bottom"},
        {R, my, RGB(0, 0, 0), "outside right"}, {mx, B, RGB(0, 0, 0), "outside bottom"},
    };
    for (const auto& p : at)
        EXPECT_EQ(GetPixel(s.dc, p.x, p.y), p.c) << p.what << " (" << p.x << ", " << p.y << ")";
    cbmp = saved;
}

TEST(UiPaint, RepaintsLeaveNoGdiObjectsBehind)
{
    HWND host = make_host(640, 480);
    ASSERT_NE(host, nullptr);
    hParent = host;
    create_palette(host);
    EXPECT_NE(hpalette, nullptr);
    HWND side = CreateWindowA("bitmapwindow", "", WS_CHILD | WS_VISIBLE, 500, 10, 130, 270, host,
                              reinterpret_cast<HMENU>(30), hInst, nullptr);
    HWND flag = CreateWindowA("flagwindow", "", WS_CHILD | WS_VISIBLE, 500, 300, 40, 30, host,
                              reinterpret_cast<HMENU>(21), hInst, nullptr);
    ASSERT_NE(side, nullptr);
    ASSERT_NE(flag, nullptr);
    tbytes = 25000000;
    calc_bmpshare(tbytes);
    cbinf = 0;
    infplace = 1;

    auto repaint = [&] {
        RedrawWindow(host, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        pump();
    };
    repaint();
    const DWORD before = gdi_objects();
    EXPECT_GT(before, 0u);
    for (int i = 0; i < 40; i++) {
        repaint();
        if (i % 10 == 0) {
            infplace = !infplace;
            remove_info();
        }
    }
    EXPECT_EQ(gdi_objects(), before);

    // The billboard survived the repaints at its side, inside its frame.
    const int y = GetSystemMetrics(SM_CXFULLSCREEN) >= 800 ? 50 : 10;
    EXPECT_EQ(cbmp.top, y - 5);
    EXPECT_EQ(cbmp.bottom - cbmp.top, 128 + 10);
    EXPECT_EQ(pixel(host, cbmp.left, cbmp.top + 20), WHITE);
    EXPECT_EQ(pixel(host, cbmp.right - 1, cbmp.top + 20), GREY);

    cbinf = -1;
    remove_info();
    DestroyWindow(host);
    pump();
    DeleteObject(hpalette);
    hpalette = nullptr;
    hParent = nullptr;
}

TEST(UiPaint, TitleIsPureBlueOverTheBackground)
{
    HWND host = make_host(700, 525);
    hParent = host;
    cbinf = -1;
    RedrawWindow(host, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    int blue = 0;
    for (int x = 30; x < 330; x++)
        for (int y = 40; y < 140; y += 3)
            if (pixel(host, x, y) == RGB(0, 0, 255))
                blue++;
    EXPECT_GT(blue, 50);
    // Away from the title the background picture shows, not the white class brush.
    EXPECT_NE(pixel(host, 690, 515), WHITE);
    DestroyWindow(host);
    pump();
    hParent = nullptr;
}

TEST(UiPaint, SidePictureCentredOnTealOrClampedAtTheEdge)
{
    HWND host = make_host(400, 400);
    HBITMAP pic = LoadBitmapA(hInst, MAKEINTRESOURCEA(30));
    ASSERT_NE(pic, nullptr);
    Surface ref(119, 261);
    HGDIOBJ old = SelectObject(ref.dc, pic);

    // Larger than the picture: centred on teal, dark edge top-left, white bottom-right.
    HWND big = CreateWindowA("bitmapwindow", "", WS_CHILD | WS_VISIBLE, 0, 0, 201, 301, host,
                             reinterpret_cast<HMENU>(30), hInst, nullptr);
    // Narrower than the picture: offset 0 across, still centred down.
    HWND narrow = CreateWindowA("bitmapwindow", "", WS_CHILD | WS_VISIBLE, 220, 0, 60, 301, host,
                                reinterpret_cast<HMENU>(30), hInst, nullptr);
    RedrawWindow(host, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    pump();

    EXPECT_EQ(pixel(big, 20, 150), RGB(0, 128, 128));
    EXPECT_EQ(pixel(big, 150, 295), RGB(0, 128, 128));
    EXPECT_EQ(pixel(big, 0, 150), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(pixel(big, 100, 0), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(pixel(big, 200, 150), WHITE);
    EXPECT_EQ(pixel(big, 100, 300), WHITE);
    int mismatches = 0;
    for (int y = 10; y < 250; y += 7)
        for (int x = 1; x < 118; x += 3) {
            if (pixel(big, 41 + x, 20 + y) != GetPixel(ref.dc, x, y))
                mismatches++;
            if (x < 59 && pixel(narrow, x, 20 + y) != GetPixel(ref.dc, x, y))
                mismatches++;
        }
    EXPECT_EQ(mismatches, 0);

    SelectObject(ref.dc, old);
    DeleteObject(pic);
    DestroyWindow(host);
    pump();
}

TEST(UiPaint, FlagsLieOnTheBrushTheirDialogAnswers)
{
    HWND host = make_host(200, 100);
    dialog_brush = CreateSolidBrush(RGB(200, 0, 0));
    HWND flag = CreateWindowA("flagwindow", "", WS_CHILD | WS_VISIBLE, 10, 10, 40, 30, host,
                              reinterpret_cast<HMENU>(24), hInst, nullptr);
    RedrawWindow(host, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    pump();
    EXPECT_EQ(dialog_brush_asker, flag);
    EXPECT_EQ(pixel(flag, 1, 1), RGB(200, 0, 0));
    EXPECT_EQ(pixel(flag, 38, 28), RGB(200, 0, 0));
    // The flag itself is centred: (40 - 32) / 2 = 4, (30 - 18) / 2 = 6, grey outline.
    EXPECT_EQ(pixel(flag, 4, 15), RGB(128, 128, 128));
    EXPECT_EQ(pixel(flag, 3, 15), RGB(200, 0, 0));
    DestroyWindow(host);
    pump();
    DeleteObject(dialog_brush);
    dialog_brush = nullptr;
}

TEST(UiPaint, DestroyedControlsLeaveAQuitRequest)
{
    HWND host = make_host(200, 200);
    pump();
    HWND flag = CreateWindowA("flagwindow", "", WS_CHILD, 0, 0, 40, 30, host,
                              reinterpret_cast<HMENU>(99), hInst, nullptr);
    ASSERT_NE(flag, nullptr) << "a missing picture must not fail the control";
    EXPECT_EQ(GetWindowLongPtrA(flag, GWLP_USERDATA), 0);
    HWND bar = CreateWindowA("indicwindow", "", WS_CHILD, 0, 40, 40, 10, host, nullptr, hInst, nullptr);
    ASSERT_NE(bar, nullptr);
    DestroyWindow(flag);
    DestroyWindow(bar);
    int quits = 0;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message == WM_QUIT)
            quits++;
    EXPECT_GE(quits, 1);
    DestroyWindow(host);
    pump();
}
