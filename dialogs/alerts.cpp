// The numbered alerts: small dialogs of the resource script, shown in the
// run's language, that end with the id of the button pressed.
#include "dialogs/dialogs.h"

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
        if (cid == IDOK || cid == IDCANCEL || cid == IDC_BACK) {
            EndDialog(hDlg, cid);
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}
