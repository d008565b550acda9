// Search of the local hard disks for earlier installations, the page that
// offers them for update, and the tree removal.
#include "destination/destination.h"
#include "common/path_join.h"
#include "dialogs/dialogs.h"

#include <cstddef>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

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
// One entry of the directory listing that also gives each entry's file index.
struct DIR_ENTRY_WITH_ID {
    ULONG next;
    ULONG index_in_dir;
    LARGE_INTEGER times[4];
    LARGE_INTEGER size;
    LARGE_INTEGER allocated;
    ULONG attributes;
    ULONG name_bytes;
    ULONG ea_size;
    CCHAR short_name_length;
    WCHAR short_name[12];
    LARGE_INTEGER file_id;
    WCHAR name[1];
};
// The system writes both records: their layouts are the system's, in the
// 32-bit build and the 64-bit one alike.
static_assert(sizeof(IO_STATUS) == 2 * sizeof(void*), "IO_STATUS_BLOCK layout");
static_assert(offsetof(DIR_ENTRY_WITH_ID, attributes) == 56 && offsetof(DIR_ENTRY_WITH_ID, short_name) == 70 &&
                  offsetof(DIR_ENTRY_WITH_ID, file_id) == 96 && offsetof(DIR_ENTRY_WITH_ID, name) == 104,
              "FILE_ID_BOTH_DIR_INFORMATION layout");
constexpr int FILE_INTERNAL_INFORMATION = 6;
constexpr int FILE_ID_BOTH_DIRECTORY_INFORMATION = 37;
constexpr LONG STATUS_NO_MORE_FILES = static_cast<LONG>(0x80000006);
using query_file_fn = LONG(WINAPI*)(HANDLE, IO_STATUS*, void*, ULONG, int);
using query_dir_fn = LONG(WINAPI*)(HANDLE, HANDLE, void*, void*, IO_STATUS*, void*, ULONG, int,
                                   BOOLEAN, void*, BOOLEAN);

// The directory listing that carries every subdirectory's file index, so that
// the walk learns a directory's identity from its parent's listing and opens
// each directory once, as a plain walk does. Systems without it (Windows 95)
// cannot link a directory either; they are walked the plain way.
struct ntdll_calls {
    query_file_fn query_file;
    query_dir_fn query_dir;
};
static const ntdll_calls& ntdll()
{
    static const ntdll_calls calls = [] {
        HMODULE nt = GetModuleHandleA("ntdll.dll");
        ntdll_calls c = {};
        if (nt != nullptr) {
            c.query_file = reinterpret_cast<query_file_fn>(
                reinterpret_cast<void*>(GetProcAddress(nt, "NtQueryInformationFile")));
            c.query_dir = reinterpret_cast<query_dir_fn>(
                reinterpret_cast<void*>(GetProcAddress(nt, "NtQueryDirectoryFile")));
        }
        return c;
    }();
    return calls;
}

static void note_entry(char* name, DWORD attributes, ULONGLONG id, search_listing& out)
{
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        // A junction or directory link shows a tree that lives elsewhere.
        if (!is_dot_entry(name) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            out.emplace_back(name, id);
        return;
    }
    CharLowerA(name);
    if (strcmp(name, "quillon.exe") == 0)
        out.emplace_back(std::string(), 0);
}

// Lists dir through one handle; its own index is asked only for the first
// directory of a walk (a subdirectory's came with its parent's listing).
// False when the listing cannot be had this way.
static bool list_with_ids(const char* dir, ULONGLONG* self_id, search_listing& out)
{
    const ntdll_calls& nt = ntdll();
    if (nt.query_dir == nullptr || nt.query_file == nullptr)
        return false;
    HANDLE h = CreateFileA(dir, FILE_LIST_DIRECTORY,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return true;   // an unreadable directory holds nothing for the search
    IO_STATUS io = {};
    if (*self_id == 0) {
        ULONGLONG index = 0;
        if (nt.query_file(h, &io, &index, sizeof index, FILE_INTERNAL_INFORMATION) >= 0)
            *self_id = index;
    }
    // Filled and taken apart before the walk goes deeper, so one buffer serves all levels.
    alignas(8) static BYTE buffer[65536];
    for (BOOLEAN restart = TRUE;; restart = FALSE) {
        LONG status = nt.query_dir(h, nullptr, nullptr, nullptr, &io, buffer, sizeof buffer,
                                   FILE_ID_BOTH_DIRECTORY_INFORMATION, FALSE, nullptr, restart);
        if (status < 0 || status == STATUS_NO_MORE_FILES)
            break;
        for (ULONG at = 0;;) {
            const auto* e = reinterpret_cast<const DIR_ENTRY_WITH_ID*>(buffer + at);
            char name[MAX_PATH];
            int n = WideCharToMultiByte(CP_ACP, 0, e->name, static_cast<int>(e->name_bytes / 2),
                                        name, sizeof name - 1, nullptr, nullptr);
            if (n > 0) {
                name[n] = '\0';
                note_entry(name, e->attributes, static_cast<ULONGLONG>(e->file_id.QuadPart),
                           out);
            }
            if (e->next == 0 || at + e->next >= sizeof buffer)
                break;
            at += e->next;
        }
    }
    CloseHandle(h);
    return true;
}

static void list_plain(const char* pattern, search_listing& out)
{
    WIN32_FIND_DATAA fd;
    HANDLE hfind = FindFirstFileA(pattern, &fd);
    if (hfind == INVALID_HANDLE_VALUE)
        return;
    do
        note_entry(fd.cFileName, fd.dwFileAttributes, 0, out);
    while (FindNextFileA(hfind, &fd));
    FindClose(hfind);
}

bool (*list_for_search)(const char* dir, ULONGLONG* self_id, search_listing& out) = list_with_ids;

// id: the directory's file index when its parent's listing gave it, else 0.
static void walk(const char* ppath, ULONGLONG id, HLOCAL* phfnd, walked_set& walked)
{
    char pattern[PATH_CCH];
    // A directory whose pattern would not fit is not searched.
    if (BuildPath(ppath, "*.*", pattern, PATH_CCH) == 0)
        return;
    if (id != 0 && !walked.insert(id).second)
        return;
    const bool first = id == 0;
    search_listing entries;
    if (!list_for_search(ppath, &id, entries))
        list_plain(pattern, entries);
    else if (first && id != 0)
        walked.insert(id);   // the walk's first directory, known only once opened
    for (const auto& entry : entries) {
        if (entry.first.empty()) {
            append_hit(ppath, phfnd);
            continue;
        }
        char sub[PATH_CCH];
        if (BuildPath(ppath, entry.first.c_str(), sub, PATH_CCH) != 0)
            walk(sub, entry.second, phfnd, walked);
    }
}

BOOL search_path(const char* ppath, HLOCAL* phfnd)
{
    walked_set walked;
    walk(ppath, 0, phfnd, walked);
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
                    found_pp->keep_set = alert(hdlg, ALERT_QPR_EXISTS) == QPR_KEEP ? 1 : 0;
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
