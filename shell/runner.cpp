// Dialog runner: finds a template in the run's language and runs it modally,
// modelessly or as a numbered alert.
#include "shell/shell.h"

HRSRC find_by_langid(LPCSTR type, LPCSTR name, WORD langid)
{
    HRSRC hrsrc = FindResourceExA(hInst, type, name, langid);
    if (hrsrc == nullptr) {
        // The resources are stored under neutral sub-languages (7, 12, 5) except English.
        WORD neutral = MAKELANGID(PRIMARYLANGID(langid), SUBLANG_NEUTRAL);
        if (neutral != langid)
            hrsrc = FindResourceExA(hInst, type, name, neutral);
    }
    return hrsrc;
}

const void* lock_resource(HRSRC hrsrc, DWORD* size)
{
    *size = 0;
    if (hrsrc == nullptr)
        return nullptr;
    HGLOBAL hglob = LoadResource(hInst, hrsrc);
    const void* data = hglob != nullptr ? LockResource(hglob) : nullptr;
    if (data != nullptr)
        *size = SizeofResource(hInst, hrsrc);
    return data;
}

HRSRC find_localized(LPCSTR type, LPCSTR name, WORD lcode)
{
    if (lcode >= sizeof(lang) / sizeof(lang[0]))
        return nullptr;
    return find_by_langid(type, name, lang[lcode]);
}

// Templates are stored in Unicode; the pages are created through the wide
// calls so that texts outside the ANSI code page (Czech on a Western system)
// keep their accents. The page procedures still work in ANSI: the system
// converts their messages.
static LPCDLGTEMPLATEW load_template(WORD id, WORD lcode)
{
    DWORD size;
    return static_cast<LPCDLGTEMPLATEW>(
        lock_resource(find_localized(RT_DIALOG, MAKEINTRESOURCEA(id), lcode), &size));
}

void drain_queue()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

INT_PTR call_dialog(HWND hWnd, WORD id, WORD lcode, void* pp, DLGPROC dlg_proc)
{
    LPCDLGTEMPLATEW tmpl = load_template(id, lcode);
    if (tmpl == nullptr)
        return PAGE_FAILED;
    INT_PTR result = DialogBoxIndirectParamW(hInst, tmpl, hWnd, dlg_proc,
                                             reinterpret_cast<LPARAM>(pp));
    // Controls post a quit request when their page is destroyed; it must not
    // end the next dialog early.
    drain_queue();
    return result;
}

HWND create_dialog(HWND hWnd, WORD id, WORD lcode, void* pp, DLGPROC dlg_proc)
{
    LPCDLGTEMPLATEW tmpl = load_template(id, lcode);
    if (tmpl == nullptr)
        return nullptr;
    HWND hdlg = CreateDialogIndirectParamW(hInst, tmpl, hWnd, dlg_proc,
                                           reinterpret_cast<LPARAM>(pp));
    if (hdlg == nullptr)
        return nullptr;
    ShowWindow(hdlg, SW_SHOWNORMAL);
    drain_queue();
    return hdlg;
}

void center_dialog(HWND hDlg)
{
    RECT rc;
    GetWindowRect(hDlg, &rc);
    int w = rc.right - rc.left;
    int h = rc.bottom - rc.top;
    int x = (GetSystemMetrics(SM_CXFULLSCREEN) - w) / 2;
    int y = (GetSystemMetrics(SM_CYFULLSCREEN) - h) / 2;
    MoveWindow(hDlg, x, y, w, h, TRUE);
}

INT_PTR alert(HWND hWnd, WORD id)
{
    return call_dialog(hWnd, static_cast<WORD>(ALERT_BASE + id), langcode, nullptr, dlg_alert);
}

INT_PTR alert_naming(HWND hWnd, WORD id, const char* name)
{
    return call_dialog(hWnd, static_cast<WORD>(ALERT_BASE + id), langcode,
                       const_cast<char*>(name), dlg_alert);
}

INT_PTR CALLBACK dlg_alert(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_INITDIALOG:
        center_dialog(hDlg);
        if (lParam != 0)
            SetDlgItemTextA(hDlg, IDC_ALERT_NAME, reinterpret_cast<const char*>(lParam));
        // Windows makes a focused push button the one Enter presses: an alert
        // with a choice opens on its default, the safe answer, not on the
        // first button of its row.
        if (const LRESULT def = SendMessageA(hDlg, DM_GETDEFID, 0, 0); HIWORD(def) == DC_HASDEFID) {
            if (HWND button = GetDlgItem(hDlg, LOWORD(def))) {
                SetFocus(button);
                return FALSE;
            }
        }
        return TRUE;
    case WM_COMMAND: {
        WORD cid = LOWORD(wParam);
        if (cid == 1 || cid == 2 || cid == 3) {
            EndDialog(hDlg, cid);
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

BOOL page_cancel_or_back(HWND hdlg, int cid)
{
    if (cid == PAGE_CANCEL) {
        if (alert(hdlg, ALERT_EXIT) == 1)
            EndDialog(hdlg, PAGE_CANCEL);
        return TRUE;
    }
    if (cid == PAGE_BACK) {
        EndDialog(hdlg, PAGE_BACK);
        return TRUE;
    }
    return FALSE;
}
