// Previous installations and destination: drive search, found list and its
// page, destination page, directory chooser, path helpers, and the journal of
// what this run created on disk.
#pragma once

#include "shell/quillon.h"

// ---- search for previous installations ----
extern DWORD search_size;   // bytes of content in the found list
int find_quillon(HWND hWnd, HLOCAL* phfnd);
BOOL search_path(const char* ppath, HLOCAL* phfnd);
INT_PTR CALLBACK dlg_found(HWND, UINT, WPARAM, LPARAM);
BOOL delete_quillon(const char* ppath);

// ---- destination ----
INT_PTR CALLBACK dlg_dest(HWND, UINT, WPARAM, LPARAM);
BOOL get_from_registry(HKEY hkey, LPCSTR lpszSubKey, LPCSTR lpszValueName, DWORD type,
                       LPBYTE lpBuffer, DWORD cbSize);
BOOL browse_path(HWND hwndOwner, WORD lcode, char* lpszPath, DWORD cbSize);
UINT_PTR CALLBACK brw_hook(HWND hdlg, UINT uMsg, WPARAM wParam, LPARAM lParam);

// ---- path helpers (bounded: a result that does not fit is refused) ----
BOOL ValidDirectory(LPCSTR lpstrDir);
// Returns the length of the joined path, 0 when it does not fit nMaxPath.
UINT BuildPath(LPCSTR lpstrDir, LPCSTR lpstrFile, LPSTR lpstrPath, UINT nMaxPath);
// Joins a directory (which may end in "\*.*") and a name into pdst of cchDst
// characters; psrc and pdst may be the same buffer. nullptr when it does not fit.
char* build_fspec(const char* psrc, const char* pfile, char* pdst, size_t cchDst);
BOOL create_directory(const char* ppath);
// Rewrites, in place, each existing level of an absolute path with the
// spelling it has on disk (same letters, other case). Under Wine a name given
// in another case than the disk's makes every open search the directory; a
// path resolved once is opened directly. Levels that do not exist yet keep
// the text given. False when some level was not found.
bool use_disk_case(char* path);

// The source root (drive "D:" or share "\\server\share") of a module path;
// long-path ("\\?\", "\\?\UNC\") and Wine's "UNC\" forms are brought to the
// plain form first. FALSE when the result does not fit.
BOOL source_root_of(const char* module_path, char* root, size_t cchRoot);
// The same for the running program.
BOOL get_source_root(char* root, size_t cchRoot);

// ---- journal of what this run created ----
// A failed new installation is undone from this record, so that nothing that
// was on the disk before the run is ever removed.
void journal_reset();
void journal_note_dir(const char* path);    // a directory this run created
void journal_note_file(const char* path);   // a file that did not exist before
size_t journal_dir_count();                 // the directories noted, in order
const char* journal_dir(size_t i);
void journal_undo();                        // remove noted files, then directories deepest first
