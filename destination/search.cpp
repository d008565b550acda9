// Search of the local hard disks for earlier installations, the page that
// offers them for update, and the tree removal.
#include "destination/destination.h"
#include "common/path_join.h"
#include "shell/runner.h"

#include <cstring>
#include <set>

DWORD search_size;

static bool is_dot_entry(const char* name)
{
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

// Appends ppath with its NUL; a hit that cannot be stored is dropped and the
// list keeps the hits it already holds.
static void append_hit(const char* ppath, HLOCAL* phfnd)
{
    DWORD len = static_cast<DWORD>(strlen(ppath)) + 1;
    HLOCAL grown = LocalReAlloc(*phfnd, search_size + len, LMEM_MOVEABLE | LMEM_ZEROINIT);
    if (grown == nullptr)
        return;
    *phfnd = grown;
    char* base = static_cast<char*>(LocalLock(grown));
    if (base == nullptr)
        return;
    memcpy(base + search_size, ppath, len);
    LocalUnlock(grown);
    search_size += len;
}

// Directories of one drive already walked, by file index: a link that leads
// back up the tree (profiles have such loops) would otherwise list one
// installation over and over. Indices are unique within a volume only, hence
// one record per drive.
using walked_set = std::set<ULONGLONG>;

struct IO_STATUS {
    union {
        LONG status;
        void* pointer;
    };
    ULONG_PTR information;
};
constexpr int FILE_INTERNAL_INFORMATION = 6;
using query_file_fn = LONG(WINAPI*)(HANDLE, IO_STATUS*, void*, ULONG, int);

// The file index alone, without the volume query of GetFileInformationByHandle,
// which under Wine costs more than walking the directory itself. Systems
// without it (Windows 95) cannot open a directory, nor link one.
static query_file_fn file_index_query()
{
    static const query_file_fn fn = reinterpret_cast<query_file_fn>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationFile"));
    return fn;
}

// False when dir was walked before. A directory whose index cannot be had is walked.
static bool first_visit(const char* dir, walked_set& walked)
{
    query_file_fn query = file_index_query();
    if (query == nullptr)
        return true;
    HANDLE h = CreateFileA(dir, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return true;
    IO_STATUS io = {};
    ULONGLONG index = 0;
    LONG status = query(h, &io, &index, sizeof index, FILE_INTERNAL_INFORMATION);
    CloseHandle(h);
    if (status < 0 || index == 0)
        return true;
    return walked.insert(index).second;
}

static void walk(const char* ppath, HLOCAL* phfnd, walked_set& walked)
{
    char pattern[PATH_CCH];
    // A directory whose pattern would not fit is not searched.
    if (BuildPath(ppath, "*.*", pattern, PATH_CCH) == 0 || !first_visit(ppath, walked))
        return;

    WIN32_FIND_DATAA fd;
    HANDLE hfind = FindFirstFileA(pattern, &fd);
    if (hfind == INVALID_HANDLE_VALUE)
        return;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A junction or directory link shows a tree that lives elsewhere.
            if (is_dot_entry(fd.cFileName) || (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                continue;
            char sub[PATH_CCH];
            if (BuildPath(ppath, fd.cFileName, sub, PATH_CCH) != 0)
                walk(sub, phfnd, walked);
        } else {
            CharLowerA(fd.cFileName);
            if (strcmp(fd.cFileName, "quillon.exe") == 0)
                append_hit(ppath, phfnd);
        }
    } while (FindNextFileA(hfind, &fd));
    FindClose(hfind);
}

BOOL search_path(const char* ppath, HLOCAL* phfnd)
{
    walked_set walked;
    walk(ppath, phfnd, walked);
    return TRUE;
}

static bool searchable_drive(const char* root)
{
    if (GetDriveTypeA(root) != DRIVE_FIXED)
        return false;
    char volume[PATH_CCH];
    char filesystem[PATH_CCH];
    DWORD serial = 0, maxlen = 0, flags = 0;
    if (!GetVolumeInformationA(root, volume, PATH_CCH, &serial, &maxlen, &flags, filesystem,
                               PATH_CCH))
        return false;
    return filesystem[0] != '\0';
}

int find_quillon(HWND, HLOCAL* phfnd)
{
    *phfnd = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, 0);
    search_size = 0;
    if (*phfnd == nullptr)
        return -1;

    HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    DWORD need = GetLogicalDriveStringsA(0, nullptr);
    HLOCAL hdrives = need ? LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, need + 1) : nullptr;
    if (hdrives != nullptr) {
        char* drives = static_cast<char*>(hdrives);
        DWORD got = GetLogicalDriveStringsA(need, drives);
        if (got != 0 && got < need + 1) {
            for (char* root = drives; *root != '\0'; root += strlen(root) + 1) {
                if (searchable_drive(root))
                    search_path(root, phfnd);
            }
        }
        LocalFree(hdrives);
    }
    SetCursor(previous);
    return 0;
}

BOOL delete_quillon(const char* ppath)
{
    char pattern[PATH_CCH];
    if (BuildPath(ppath, "*.*", pattern, PATH_CCH) == 0)
        return TRUE;
    WIN32_FIND_DATAA fd;
    HANDLE hfind = FindFirstFileA(pattern, &fd);
    if (hfind == INVALID_HANDLE_VALUE)
        return TRUE;
    do {
        char entry[PATH_CCH];
        if (is_dot_entry(fd.cFileName) || BuildPath(ppath, fd.cFileName, entry, PATH_CCH) == 0)
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            delete_quillon(entry);
            RemoveDirectoryA(entry);
        } else {
            DeleteFileA(entry);
        }
    } while (FindNextFileA(hfind, &fd));
    FindClose(hfind);
    return TRUE;
}

// ---- previous-installations page ----

static INSPB* found_pp;

static void fill_found_list(HWND hlist, HLOCAL hfnd)
{
    if (hfnd == nullptr)
        return;
    SIZE_T size = LocalSize(hfnd);
    if (size > search_size)
        size = search_size;
    const char* base = static_cast<const char*>(LocalLock(hfnd));
    if (base == nullptr)
        return;
    SIZE_T used = 0;
    while (used < size) {
        const char* entry = base + used;
        SIZE_T n = strnlen(entry, size - used);
        if (n == size - used)
            break;   // no terminator inside the block
        SendMessageA(hlist, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
        used += n + 1;
    }
    LocalUnlock(hfnd);
}

static void show_found_choice(HWND hdlg)
{
    EnableWindow(GetDlgItem(hdlg, IDC_FOUND_LIST), found_pp->nver == 0);
    CheckRadioButton(hdlg, IDC_UPDATE, IDC_INSTALL_NEW,
                     found_pp->nver == 0 ? IDC_UPDATE : IDC_INSTALL_NEW);
}

static bool settings_file_exists(const char* dir)
{
    char qpr[PATH_CCH];
    if (BuildPath(dir, "quillon.qpr", qpr, PATH_CCH) == 0)
        return false;
    HANDLE h = CreateFileA(qpr, 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

// Takes the selected directory into szDst; FALSE when there is none or it
// does not fit (it always fits when it came from the search).
static bool take_selected(HWND hdlg)
{
    HWND hlist = GetDlgItem(hdlg, IDC_FOUND_LIST);
    LRESULT sel = SendMessageA(hlist, LB_GETCURSEL, 0, 0);
    if (sel == LB_ERR)
        return false;
    LRESULT len = SendMessageA(hlist, LB_GETTEXTLEN, sel, 0);
    if (len == LB_ERR || len >= PATH_CCH)
        return false;
    char text[PATH_CCH];
    if (SendMessageA(hlist, LB_GETTEXT, sel, reinterpret_cast<LPARAM>(text)) == LB_ERR)
        return false;
    strcpy(found_pp->szDst, text);
    return true;
}

INT_PTR CALLBACK dlg_found(HWND hdlg, UINT umsg, WPARAM wparam, LPARAM lparam)
{
    switch (umsg) {
    case WM_INITDIALOG:
        center_dialog(hdlg);
        found_pp = reinterpret_cast<INSPB*>(lparam);
        fill_found_list(GetDlgItem(hdlg, IDC_FOUND_LIST), found_pp->hfnd);
        SendDlgItemMessageA(hdlg, IDC_FOUND_LIST, LB_SETCURSEL, 0, 0);
        show_found_choice(hdlg);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDC_UPDATE:
        case IDC_INSTALL_NEW:
            found_pp->nver = IsDlgButtonChecked(hdlg, IDC_INSTALL_NEW) == BST_CHECKED ? 1 : 0;
            EnableWindow(GetDlgItem(hdlg, IDC_FOUND_LIST), found_pp->nver == 0);
            return TRUE;
        case PAGE_NEXT:
            if (found_pp->nver) {
                found_pp->keep_set = 0;
            } else {
                // Without a usable selection there is nothing to update.
                if (!take_selected(hdlg))
                    return TRUE;
                if (settings_file_exists(found_pp->szDst))
                    found_pp->keep_set = alert(hdlg, ALERT_QPR_EXISTS) == 1 ? 1 : 0;
                else
                    found_pp->keep_set = 0;
            }
            EndDialog(hdlg, PAGE_NEXT);
            return TRUE;
        }
        return page_cancel_or_back(hdlg, LOWORD(wparam));
    }
    return FALSE;
}
