// The billboards shown, framed, on the setup window while the files are copied.
#include "ui/ui.h"

BINFO binfo[BINFO_COUNT] = {
    {IDB_FIRST_BILLBOARD, 20, 0},     {IDB_FIRST_BILLBOARD + 1, 20, 0},
    {IDB_FIRST_BILLBOARD + 2, 20, 0}, {IDB_FIRST_BILLBOARD + 3, 20, 0},
    {IDB_FIRST_BILLBOARD + 4, 20, 0},
};
LONG cbinf = -1;
BOOL infplace = 1;
RECT cbmp;

// Fewer bytes than this make a picture flash by too quickly to be read.
constexpr DWORD MIN_SHOW_BYTES = 2000000;

// Rounded like MulDiv, but unsigned and wide: totals of 2 GiB and more stay
// positive, totals past 4 GiB keep their size.
static ULONGLONG share_of(ULONGLONG total, WORD percent)
{
    return total / 100 * percent + (total % 100 * percent + 50) / 100;
}

void calc_bmpshare(ULONGLONG total)
{
    for (int i = 0; i < BINFO_COUNT; i++) {
        binfo[i].visByte = share_of(total, binfo[i].visPerc);
        if (binfo[i].visByte >= MIN_SHOW_BYTES)
            continue;
        if (i == 0 || i == BINFO_COUNT - 1) {
            for (int k = 0; k < BINFO_COUNT; k++)
                binfo[k].visByte = 0;
            binfo[0].visByte = total / 2;
            binfo[BINFO_COUNT - 1].visByte = total / 2;
            return;
        }
        binfo[i - 1].visByte += binfo[i].visByte;
        binfo[i].visByte = 0;
    }
}

void update_bmpinfo(ULONGLONG copied)
{
    if (cbinf < 0 || cbinf >= BINFO_COUNT - 1)
        return;
    if (binfo[cbinf].visByte >= copied)
        return;
    int next = cbinf + 1;
    while (next < BINFO_COUNT - 1 && binfo[next].visByte == 0)
        next++;
    binfo[next].visByte += binfo[cbinf].visByte;
    remove_info();
    cbinf = next;
    infplace = !infplace;
    place_info();
}

// Draws the picture of row cbinf with its frame; when the picture cannot be
// made, cbmp keeps the area of the previous one.
static void show_picture(HDC hdc, HDC hdcMem)
{
    DWORD size;
    auto bih = static_cast<const BITMAPINFOHEADER*>(lock_resource(
        find_localized(RT_BITMAP, MAKEINTRESOURCEA(binfo[cbinf].id), langcode), &size));
    if (bih == nullptr || size < sizeof(BITMAPINFOHEADER) ||
        bih->biSize != sizeof(BITMAPINFOHEADER) || bih->biBitCount > 8)
        return;
    const DWORD colours = 1u << bih->biBitCount;
    const DWORD offset = bih->biSize + colours * sizeof(RGBQUAD);
    if (size <= offset)
        return;
    HBITMAP hbm = CreateDIBitmap(hdc, bih, CBM_INIT, reinterpret_cast<const BYTE*>(bih) + offset,
                                 reinterpret_cast<const BITMAPINFO*>(bih), DIB_RGB_COLORS);
    if (hbm == nullptr)
        return;

    BITMAP bm = {};
    GetObjectA(hbm, sizeof(bm), &bm);
    const int w = bm.bmWidth, h = bm.bmHeight;
    const int y = GetSystemMetrics(SM_CXFULLSCREEN) >= 800 ? 50 : 10;
    int x = 20;
    if (!infplace) {
        RECT rc;
        GetClientRect(hParent, &rc);
        x = rc.right - w - 20;
    }
    SetRect(&cbmp, x - 5, y - 5, x + w + 5, y + h + 5);
    draw_frame(hdc);

    HGDIOBJ old = SelectObject(hdcMem, hbm);
    BitBlt(hdc, x, y, w, h, hdcMem, 0, 0, SRCCOPY);
    SelectObject(hdcMem, old);
    DeleteObject(hbm);
}

void place_info()
{
    // Without a setup window GetDC would hand out the whole screen.
    if (cbinf < 0 || cbinf >= BINFO_COUNT || hParent == nullptr)
        return;
    HDC hdc = GetDC(hParent);
    if (hdc == nullptr)
        return;
    HDC hdcMem = CreateCompatibleDC(hdc);
    if (hdcMem != nullptr) {
        show_picture(hdc, hdcMem);
        DeleteDC(hdcMem);
    }
    ReleaseDC(hParent, hdc);
    UpdateWindow(hParent);
}

void draw_frame(HDC hdc)
{
    const LONG L = cbmp.left, T = cbmp.top, R = cbmp.right, B = cbmp.bottom;
    const COLORREF grey = RGB(128, 128, 128), white = RGB(255, 255, 255);

    const POINT outerShadow[] = {{R - 1, T + 1}, {R - 1, B - 1}, {L + 1, B - 1}};
    const POINT outerLight[] = {{L, B - 1}, {L, T}, {R, T}};
    pen_line(hdc, 1, grey, outerShadow, 3);
    pen_line(hdc, 1, white, outerLight, 3);

    HPEN band = CreatePen(PS_SOLID, 3, RGB(192, 192, 192));
    if (band != nullptr) {
        HGDIOBJ old = SelectObject(hdc, band);
        Rectangle(hdc, L + 2, T + 2, R - 2, B - 2);
        SelectObject(hdc, old);
        DeleteObject(band);
    }

    const POINT innerLight[] = {{R - 4, T + 5}, {R - 4, B - 4}, {L + 5, B - 4}};
    const POINT innerShadow[] = {{L + 4, B - 4}, {L + 4, T + 4}, {R - 4, T + 4}};
    pen_line(hdc, 1, white, innerLight, 3);
    pen_line(hdc, 1, grey, innerShadow, 3);
}

void remove_info()
{
    if (hParent != nullptr)
        InvalidateRect(hParent, &cbmp, TRUE);
}
