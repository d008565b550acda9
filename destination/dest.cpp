// The destination page and its directory chooser, built on the old-style
// file-open dialog with a hook.
#include "destination/destination.h"
#include "common/directories.h"
#include "common/journal.h"
#include "common/path_join.h"
#include "common/registry_read.h"
#include "dialogs/dialogs.h"

#include <commdlg.h>
#include <cstring>

static INSPB* dest_pp;
static char szPath[WORK_CCH];
static UINT fok_message;
static UINT chg_message;

// Controls of the standard file-open template that the hook uses.
constexpr int IDC_CUR_DIR = 1088;
constexpr int IDC_FILE_NAME = 1152;
constexpr int IDC_DIR_LIST = 1121;

// Takes path as the destination: a full path that exists, or is created on
// request. The user has been told when it is refused, and the levels made for
// a refused path are gone again.
static bool accept_directory(HWND hdlg, const char* path)
{
    if (!is_full_path(path)) {
        alert(hdlg, ALERT_BAD_PATH);
        return false;
    }
    if (ValidDirectory(path))
        return true;
    if (alert(hdlg, ALERT_CREATE_PATH) != ANSWER_YES)
        return false;
    size_t made_before = journal_dir_count();
    if (!create_directory(path) || !ValidDirectory(path)) {
        journal_undo_dirs_since(made_before);
        alert(hdlg, ALERT_BAD_PATH);
        return false;
    }
    return true;
}

UINT_PTR CALLBACK brw_hook(HWND hdlg, UINT uMsg, WPARAM wParam, LPARAM)
{
    if (uMsg == WM_INITDIALOG) {
        fok_message = RegisterWindowMessageA(FILEOKSTRINGA);
        chg_message = RegisterWindowMessageA(LBSELCHSTRINGA);
        GetDlgItemTextA(hdlg, IDC_CUR_DIR, szPath, WORK_CCH);
        SetDlgItemTextA(hdlg, IDC_FILE_NAME, szPath);
        return FALSE;
    }
    if (uMsg == WM_COMMAND) {
        if (LOWORD(wParam) == IDC_DIR_LIST && HIWORD(wParam) == LBN_SELCHANGE) {
            SetDlgItemTextA(hdlg, IDC_FILE_NAME, szPath);
            return TRUE;
        }
        if (LOWORD(wParam) == IDOK) {
            // Some file-open dialogs treat OK on a directory as "open that
            // directory" and never ask the hook; decide here, so that OK
            // always means "take the directory in the field".
            GetDlgItemTextA(hdlg, IDC_FILE_NAME, szPath, WORK_CCH);
            if (accept_directory(hdlg, szPath))
                EndDialog(hdlg, TRUE);
            return TRUE;
        }
        return FALSE;
    }
    if (uMsg == chg_message) {
        GetDlgItemTextA(hdlg, IDC_CUR_DIR, szPath, WORK_CCH);
        SetDlgItemTextA(hdlg, IDC_FILE_NAME, szPath);
        return FALSE;
    }
    if (uMsg == fok_message) {
        GetDlgItemTextA(hdlg, IDC_FILE_NAME, szPath, WORK_CCH);
        // Non-zero keeps the dialog open.
        return accept_directory(hdlg, szPath) ? FALSE : TRUE;
    }
    return FALSE;
}

BOOL browse_path(HWND hwndOwner, WORD lcode, char* lpszPath, DWORD cbSize)
{
    char work[WORK_CCH];
    size_t len = strlen(lpszPath);
    if (len >= sizeof(work))
        return FALSE;
    memcpy(work, lpszPath, len + 1);
    if (!ValidDirectory(work)) {
        // Open in the nearest parent that was named.
        char* last = strrchr(work, '\\');
        if (last != nullptr)
            last[1] = '\0';
    }

    char file[WORK_CCH] = "";
    char title[NAME_CCH];
    get_string(lcode, IDS_CHOOSER_TITLE, title, NAME_CCH);

    OPENFILENAMEA ofn;
    memset(&ofn, 0, sizeof(ofn));
    ofn.lStructSize = 76;   // the record without the Windows 2000 tail: old-style dialog
    ofn.hwndOwner = hwndOwner;
    ofn.lpstrFile = file;
    ofn.nMaxFile = WORK_CCH;
    ofn.lpstrInitialDir = work;
    ofn.lpstrTitle = title;
    ofn.lpfnHook = brw_hook;
    ofn.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_ENABLEHOOK | OFN_NOVALIDATE;
    szPath[0] = '\0';
    if (!GetOpenFileNameA(&ofn))
        return FALSE;
    // The hook accepted szPath; the file buffer may hold only the last name.
    size_t n = strlen(szPath);
    if (n == 0 || n >= cbSize)
        return FALSE;
    memcpy(lpszPath, szPath, n + 1);
    return TRUE;
}

static void default_destination(char* path)
{
    if (!get_from_registry(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                           "ProgramFilesDir", REG_SZ, reinterpret_cast<LPBYTE>(path), WORK_CCH))
        strcpy(path, "C:");
    if (build_fspec(path, "Quillon", path, WORK_CCH) == nullptr)
        strcpy(path, "C:\\Quillon");
}

INT_PTR CALLBACK dlg_dest(HWND hdlg, UINT umsg, WPARAM wparam, LPARAM lparam)
{
    static char work[WORK_CCH];
    switch (umsg) {
    case WM_INITDIALOG:
        center_dialog(hdlg);
        dest_pp = reinterpret_cast<INSPB*>(lparam);
        if (dest_pp->szDst[0] != '\0')
            strcpy(work, dest_pp->szDst);
        else
            default_destination(work);
        SetDlgItemTextA(hdlg, IDC_DEST_PATH, work);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDC_BROWSE:
            GetDlgItemTextA(hdlg, IDC_DEST_PATH, work, WORK_CCH);
            if (browse_path(hdlg, dest_pp->lcode, work, WORK_CCH))
                SetDlgItemTextA(hdlg, IDC_DEST_PATH, work);
            return TRUE;
        case PAGE_NEXT: {
            // A path longer than szDst can hold is refused, never cut.
            if (GetWindowTextLengthA(GetDlgItem(hdlg, IDC_DEST_PATH)) >= PATH_CCH) {
                alert(hdlg, ALERT_BAD_PATH);
                return TRUE;
            }
            GetDlgItemTextA(hdlg, IDC_DEST_PATH, dest_pp->szDst, PATH_CCH);
            if (accept_directory(hdlg, dest_pp->szDst))
                EndDialog(hdlg, PAGE_NEXT);
            return TRUE;
        }
        }
        return page_cancel_or_back(hdlg, LOWORD(wparam));
    }
    return FALSE;
}
