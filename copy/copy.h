// File copying: the component table and source medium layout, the copy
// driver and its page, directory and file copy with progress, shared system
// files and version numbers.
#pragma once

#include "common/setup.h"

struct CDIR {
    DWORD fflag;   // the row's bit in INSPB.fflag
    DWORD dflag;   // 1 = language tree, 2 = platform tree
};
constexpr int CDIR_COUNT = 18;
extern const CDIR cdir[CDIR_COUNT];
extern const char* const src_name[CDIR_COUNT];
extern const char* const platform_str[6];
bool row_wanted(int row, const INSPB* pp);   // selected, and samples on where needed

// Copy state; who writes each is listed with the module statics in common/setup.h.
extern int copyflag;
// Whole 64-bit counts: a selection may exceed 4 GiB, and a wrapped total
// would pass the free-space test and stall the bar.
extern ULONGLONG tbytes;
extern ULONGLONG bcopied;
extern RECT rcBar;

int copy_files(HWND hwndOwner, INSPB* pp);
BOOL build_source(char* lpszSrc, size_t cchSrc, WORD lcode, WORD platform);
INT_PTR CALLBACK dlg_copy(HWND, UINT, WPARAM, LPARAM);

int copy_directory(HWND hDlg, const char* pdst, const char* psrc, BOOL subdir, BOOL keep_qpr);
BOOL copy_file(HWND hDlg, const char* pdst, const char* psrc);
void update_status(HWND hDlg, DWORD high, DWORD low);
// Shows the file begun last and the exact percentage on the copy page, then
// serves the message queue; with no page it only serves the queue.
void show_copy_frame(HWND hDlg);
// Gives back what the copy kept for its page: path lines, bar picture, DCs, buffer.
void release_copy_page();
int percent_done(ULONGLONG copied, ULONGLONG total);   // 0..100, also for totals below 100

BOOL runtime_version(const char* pFile, DWORD* pVer);
BOOL copy_runtime(const char* pdrv, WORD platform);
BOOL copy_sx32w(const char* pdrv, WORD platform);
BOOL copy_twain(const char* pdrv, WORD platform);
BOOL update_dll(const char* lpszSrc, const char* lpszDst);
BOOL copy_defdoc(const char* pdrv, WORD lang);
BOOL copy_ctl3d(char* lpszDest, size_t cchDest);

// Medium layout: "\USA"... by language index ("\USA" for any other), "\Win95"...
// by platform index ("" for any other), and the system-file directory name.
const char* lang_tree(WORD lcode);
const char* platform_tree(WORD platform);
const char* system_tree(WORD platform);
