// The messages that carry a list: the files left, the manifest's lines refused.
#include "uninstall/uninstall.h"
#include "uninstall/ids.h"
#include "dialogs/dialogs.h"

struct ListMessage {
    const std::vector<std::string>* lines;
    const char* name;
};

// A deep path, or one with a note behind it, is wider than the list: it
// scrolls sideways rather than be cut.
static void widen(HWND list, const std::vector<std::string>& lines)
{
    HDC dc = GetDC(list);
    if (dc == nullptr)
        return;
    HGDIOBJ font = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(list, WM_GETFONT, 0, 0)));
    LONG widest = 0;
    for (const std::string& line : lines) {
        SIZE size;
        if (GetTextExtentPoint32A(dc, line.c_str(), static_cast<int>(line.size()), &size) &&
            size.cx > widest)
            widest = size.cx;
    }
    SelectObject(dc, font);
    ReleaseDC(list, dc);
    // A little room for the margins a list box draws its items with.
    SendMessageA(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + 8), 0);
}

static INT_PTR CALLBACK dlg_list(HWND hdlg, UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_INITDIALOG: {
        center_dialog(hdlg);
        const ListMessage* m = reinterpret_cast<const ListMessage*>(lparam);
        SetDlgItemTextA(hdlg, IDC_ALERT_NAME, m->name);
        HWND list = GetDlgItem(hdlg, IDC_UALERT_LIST);
        for (const std::string& line : *m->lines)
            SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        widen(list, *m->lines);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
            EndDialog(hdlg, IDOK);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR show_list(WORD alert_id, const std::vector<std::string>& lines, const char* name)
{
    ListMessage m = {&lines, name};
    return call_dialog(nullptr, static_cast<WORD>(ALERT_BASE + alert_id), langcode, &m, dlg_list);
}
