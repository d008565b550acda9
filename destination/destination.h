// Previous installations and destination: where the product goes. The drive
// search, the found list and its page, the destination page and its directory
// chooser. The path helpers they use are in common/.
#pragma once

#include "common/setup.h"

// ---- search for previous installations ----
extern DWORD search_size;   // bytes of content in the found list
int find_quillon(HWND hWnd, HLOCAL* phfnd);
BOOL search_path(const char* ppath, HLOCAL* phfnd);
INT_PTR CALLBACK dlg_found(HWND, UINT, WPARAM, LPARAM);
BOOL delete_quillon(const char* ppath);

// ---- destination ----
INT_PTR CALLBACK dlg_dest(HWND, UINT, WPARAM, LPARAM);
BOOL browse_path(HWND hwndOwner, WORD lcode, char* lpszPath, DWORD cbSize);
UINT_PTR CALLBACK brw_hook(HWND hdlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
