// Presentation: background and palette of the setup window, billboards shown
// during the copy, and the picture, flag and progress controls of the pages.
#pragma once

#include "dialogs/dialogs.h"

// ---- background and palette ----
extern HPALETTE hpalette;
void create_palette(HWND hwnd);
void wm_paint(HWND hWnd);
void draw_background(HWND hWnd, HDC hdc);
void draw_bitmap(HWND hWnd, HDC hdc);

// ---- billboards ----
struct BINFO {
    WORD id;
    WORD visPerc;
    ULONGLONG visByte;
};
constexpr int BINFO_COUNT = 5;
extern BINFO binfo[BINFO_COUNT];
extern LONG cbinf;
extern BOOL infplace;
extern RECT cbmp;
// The byte count at which each picture gives way, from the copy's total.
void calc_bmpshare(ULONGLONG total);
// Shows the next picture once copied has passed the current one's share.
void update_bmpinfo(ULONGLONG copied);
void place_info();
void draw_frame(HDC hdc);
void remove_info();

// ---- controls ----
BOOL register_bitmap(HINSTANCE hInstance);
BOOL register_flag(HINSTANCE hInstance);
BOOL register_indicator(HINSTANCE hInstance);
LRESULT CALLBACK bitmap_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK flag_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK indic_proc(HWND, UINT, WPARAM, LPARAM);
BOOL bm_create(HWND hwnd, const CREATESTRUCTA* lpCs);
BOOL fl_create(HWND hwnd, const CREATESTRUCTA* lpCs);
void bm_paint(HWND hwnd);
void fl_paint(HWND hwnd);
void bm_destroy(HWND hwnd);
void fl_destroy(HWND hwnd);
// A polyline in a solid pen made and deleted for the call.
void pen_line(HDC hdc, int width, COLORREF colour, const POINT* pts, int count);
