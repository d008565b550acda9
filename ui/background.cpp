// The setup window's background picture, its palette and the title.
#include "ui/ui.h"

HPALETTE hpalette;

constexpr DWORD BACKGROUND_COLOURS = 256;
constexpr DWORD BACKGROUND_BITS = sizeof(BITMAPINFOHEADER) + BACKGROUND_COLOURS * sizeof(RGBQUAD);

// The painting takes the bits at a fixed offset, so a picture that is not an
// 8-bit one with a full colour table would be read out of place: refuse it.
static const BITMAPINFOHEADER* load_background()
{
    DWORD size;
    auto bih = static_cast<const BITMAPINFOHEADER*>(lock_resource(
        FindResourceA(hInst, MAKEINTRESOURCEA(IDB_BACKGROUND), RT_BITMAP), &size));
    if (bih == nullptr || size < BACKGROUND_BITS)
        return nullptr;
    if (bih->biSize != sizeof(BITMAPINFOHEADER) || bih->biBitCount != 8 ||
        bih->biCompression != BI_RGB)
        return nullptr;
    return bih;
}

void create_palette(HWND)
{
    const BITMAPINFOHEADER* bih = load_background();
    if (bih == nullptr)
        return;
    HLOCAL hmem = LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT,
                             sizeof(WORD) * 2 + BACKGROUND_COLOURS * sizeof(PALETTEENTRY));
    if (hmem == nullptr)
        return;
    auto pal = static_cast<LOGPALETTE*>(LocalLock(hmem));
    pal->palVersion = 0x300;
    pal->palNumEntries = BACKGROUND_COLOURS;
    auto table = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(bih) + bih->biSize);
    // palPalEntry is declared with one element; the block holds all 256.
    PALETTEENTRY* entries = pal->palPalEntry;
    for (DWORD i = 0; i < BACKGROUND_COLOURS; i++) {
        entries[i].peRed = table[i].rgbRed;
        entries[i].peGreen = table[i].rgbGreen;
        entries[i].peBlue = table[i].rgbBlue;
        entries[i].peFlags = 0;
    }
    hpalette = CreatePalette(pal);
    LocalUnlock(hmem);
    LocalFree(hmem);
}

void wm_paint(HWND hWnd)
{
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hWnd, &ps);
    if (hdc != nullptr && !IsRectEmpty(&ps.rcPaint)) {
        SetGraphicsMode(hdc, GM_ADVANCED);
        draw_background(hWnd, hdc);
        place_info();
    }
    EndPaint(hWnd, &ps);
}

void draw_background(HWND hWnd, HDC hdc)
{
    draw_bitmap(hWnd, hdc);
    HFONT font = CreateFontA(128, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             FF_SWISS | DEFAULT_PITCH, "Times new Roman");
    HGDIOBJ oldFont = font != nullptr ? SelectObject(hdc, font) : nullptr;
    SetBkMode(hdc, TRANSPARENT);
    COLORREF oldColour = SetTextColor(hdc, RGB(0, 0, 255));
    TextOutA(hdc, 30, 20, "Quillon", 7);
    SetTextColor(hdc, oldColour);
    SetBkMode(hdc, OPAQUE);
    if (font != nullptr) {
        SelectObject(hdc, oldFont);
        DeleteObject(font);
    }
}

void draw_bitmap(HWND hWnd, HDC hdc)
{
    const BITMAPINFOHEADER* bih = load_background();
    if (bih == nullptr)
        return;
    RECT rc;
    GetClientRect(hWnd, &rc);
    HPALETTE oldPalette = nullptr;
    if (hpalette != nullptr) {
        oldPalette = SelectPalette(hdc, hpalette, FALSE);
        RealizePalette(hdc);
    }
    const BYTE* bits = reinterpret_cast<const BYTE*>(bih) + BACKGROUND_BITS;
    StretchDIBits(hdc, 0, 0, rc.right, rc.bottom, 0, 0, bih->biWidth, bih->biHeight, bits,
                  reinterpret_cast<const BITMAPINFO*>(bih), DIB_RGB_COLORS, SRCCOPY);
    if (oldPalette != nullptr)
        SelectPalette(hdc, oldPalette, FALSE);
}
