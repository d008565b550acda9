// The language, welcome and completion pages and the wait box of the search.
#include "shell/shell.h"
#include "destination/destination.h"

static WORD* plcode;
static INSPB* welcome_pp;

static WORD checked_language(HWND hdlg)
{
    for (int id = IDC_FIRST_LANGUAGE; id <= IDC_LAST_LANGUAGE; ++id) {
        if (IsDlgButtonChecked(hdlg, id) == BST_CHECKED)
            return static_cast<WORD>(id - IDC_FIRST_LANGUAGE);
    }
    return 0;
}

INT_PTR CALLBACK dlg_startup(HWND hdlg, UINT umsg, WPARAM wparam, LPARAM lparam)
{
    switch (umsg) {
    case WM_INITDIALOG:
        center_dialog(hdlg);
        plcode = &reinterpret_cast<INSPB*>(lparam)->lcode;
        CheckRadioButton(hdlg, IDC_FIRST_LANGUAGE, IDC_LAST_LANGUAGE,
                         IDC_FIRST_LANGUAGE + *plcode);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case PAGE_NEXT:
            *plcode = checked_language(hdlg);
            EndDialog(hdlg, PAGE_NEXT);
            return TRUE;
        case PAGE_CANCEL:
            if (alert(hdlg, ALERT_EXIT) == ANSWER_YES) {
                *plcode = checked_language(hdlg);
                EndDialog(hdlg, PAGE_CANCEL);
            }
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

INT_PTR CALLBACK dlg_welcome(HWND hdlg, UINT umsg, WPARAM wparam, LPARAM lparam)
{
    switch (umsg) {
    case WM_INITDIALOG:
        center_dialog(hdlg);
        welcome_pp = reinterpret_cast<INSPB*>(lparam);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case PAGE_NEXT: {
            // The search runs once per run; its list survives Back and Next.
            if (welcome_pp->hfnd != nullptr) {
                EndDialog(hdlg, PAGE_NEXT);
                return TRUE;
            }
            HWND hwait = create_dialog(hdlg, DLG_WAIT, welcome_pp->lcode, nullptr, dlg_search);
            find_quillon(hdlg, &welcome_pp->hfnd);
            if (hwait != nullptr)
                DestroyWindow(hwait);
            EndDialog(hdlg, welcome_pp->hfnd != nullptr ? PAGE_NEXT : PAGE_CANCEL);
            return TRUE;
        }
        }
        return page_cancel_or_back(hdlg, LOWORD(wparam));
    }
    return FALSE;
}

INT_PTR CALLBACK dlg_search(HWND hdlg, UINT umsg, WPARAM, LPARAM)
{
    if (umsg == WM_INITDIALOG) {
        center_dialog(hdlg);
        return TRUE;
    }
    return FALSE;
}

// Neither Esc nor the close box ends this page: only OK does.
INT_PTR CALLBACK dlg_complete(HWND hdlg, UINT umsg, WPARAM wparam, LPARAM)
{
    if (umsg == WM_INITDIALOG) {
        center_dialog(hdlg);
        return TRUE;
    }
    if (umsg == WM_COMMAND && LOWORD(wparam) == IDOK) {
        EndDialog(hdlg, PAGE_NEXT);
        return TRUE;
    }
    return FALSE;
}
