// The dialog runner: finds a page's template in the run's language and runs
// it modally or modelessly.
#include "dialogs/dialogs.h"

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

BOOL page_cancel_or_back(HWND hdlg, int cid)
{
    if (cid == PAGE_CANCEL) {
        if (alert(hdlg, ALERT_EXIT) == ANSWER_YES)
            EndDialog(hdlg, PAGE_CANCEL);
        return TRUE;
    }
    if (cid == PAGE_BACK) {
        EndDialog(hdlg, PAGE_BACK);
        return TRUE;
    }
    return FALSE;
}
