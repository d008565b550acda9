// Previous installations and destination: where the product goes. The drive
// search, the found list and its page, the destination page and its directory
// chooser. The path helpers they use are in common/.
#pragma once

#include "common/setup.h"

#include <string>
#include <utility>
#include <vector>

// ---- search for previous installations ----
extern DWORD search_size;   // bytes of content in the found list
// What one directory holds for the walk, in listing order: the names of its
// subdirectories with their file indices (0 where the listing gives none),
// and an empty name where the program's file was listed.
using search_listing = std::vector<std::pair<std::string, ULONGLONG>>;
// The listing the walk reads: the system's, with every subdirectory's file
// index and dir's own in *self_id when that was 0; false where it cannot be
// had (the walk then lists the plain way). Tests put a listing of their own
// here: a loop that no listing flags as a link.
extern bool (*list_for_search)(const char* dir, ULONGLONG* self_id, search_listing& out);
int find_quillon(HWND hWnd, HLOCAL* phfnd);
BOOL search_path(const char* ppath, HLOCAL* phfnd);
INT_PTR CALLBACK dlg_found(HWND, UINT, WPARAM, LPARAM);
BOOL delete_quillon(const char* ppath);

// ---- destination ----
INT_PTR CALLBACK dlg_dest(HWND, UINT, WPARAM, LPARAM);
BOOL browse_path(HWND hwndOwner, WORD lcode, char* lpszPath, DWORD cbSize);
UINT_PTR CALLBACK brw_hook(HWND hdlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
