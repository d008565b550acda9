// The program-folder page and the Program Manager group made after the copy.
// Both talk to Program Manager as a DDE client; nothing here is reported to
// the user when Program Manager is absent or silent.
#include "integrate/integrate.h"
#include "dialogs/dialogs.h"

#include <cstring>

static const char str_progman[] = "PROGMAN";
static constexpr DWORD DDE_TIMEOUT = 3500;

static GROUP* pgroup;

HDDEDATA CALLBACK ddeCallBack(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    return nullptr;
}

UINT open_dde(DWORD* pidinst, HCONV* phconv, HSZ* phserv)
{
    *pidinst = 0;
    *phserv = nullptr;
    *phconv = nullptr;
    UINT status = DdeInitializeA(pidinst, ddeCallBack, APPCMD_CLIENTONLY, 0);
    if (*pidinst != 0)
        *phserv = DdeCreateStringHandleA(*pidinst, str_progman, CP_WINANSI);
    if (*pidinst != 0 && *phserv != nullptr)
        *phconv = DdeConnect(*pidinst, *phserv, *phserv, nullptr);
    return status;
}

void close_dde(DWORD* pidinst, HCONV* phconv, HSZ* phserv)
{
    if (*phconv != nullptr && *pidinst != 0)
        DdeDisconnect(*phconv);
    *phconv = nullptr;
    if (*phserv != nullptr && *pidinst != 0)
        DdeFreeStringHandle(*pidinst, *phserv);
    *phserv = nullptr;
    if (*pidinst != 0)
        DdeUninitialize(*pidinst);
    *pidinst = 0;
}

UINT restart_dde(DWORD* pidinst, HCONV* phconv, HSZ* phserv)
{
    close_dde(pidinst, phconv, phserv);
    return open_dde(pidinst, phconv, phserv);
}

int add_group_lines(HWND hlist, char* text)
{
    int added = 0;
    char* start = text;
    for (char* lf = strchr(start, '\n'); lf != nullptr; lf = strchr(start, '\n')) {
        // The CR of the CR LF pair, never a character of an earlier line.
        char* end = (lf > start && lf[-1] == '\r') ? lf - 1 : lf;
        *end = '\0';
        if (SendMessageA(hlist, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(start)) >= 0)
            ++added;
        start = lf + 1;
    }
    return added;
}

int find_group(HWND hlist, const char* name)
{
    return static_cast<int>(
        SendMessageA(hlist, LB_FINDSTRINGEXACT, 0, reinterpret_cast<LPARAM>(name)));
}

BOOL valid_group_name(const char* name)
{
    return name[0] != '\0' && strpbrk(name, "\\/:*?\"<>|") == nullptr;
}

// Copies the text of list entry index into out; an entry too long is refused.
static BOOL list_text(HWND hlist, int index, char* out, int cch)
{
    LRESULT len = SendMessageA(hlist, LB_GETTEXTLEN, index, 0);
    if (len < 0 || len >= cch)
        return FALSE;
    return SendMessageA(hlist, LB_GETTEXT, index, reinterpret_cast<LPARAM>(out)) != LB_ERR;
}

UINT build_grouplst(HWND hdlg, char* lpszGroup)
{
    HCURSOR hcur = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    HWND hlist = GetDlgItem(hdlg, IDC_GROUP_LIST);

    DWORD idinst;
    HCONV hconv;
    HSZ hserv;
    UINT status = open_dde(&idinst, &hconv, &hserv);
    HSZ hitem = nullptr;
    if (idinst != 0)
        hitem = DdeCreateStringHandleA(idinst, str_progman, CP_WINANSI);

    HDDEDATA hdata = nullptr;
    if (hconv != nullptr)
        hdata = DdeClientTransaction(nullptr, 0, hconv, hitem, CF_TEXT, XTYP_REQUEST,
                                     DDE_TIMEOUT, nullptr);
    if (hdata != nullptr) {
        DWORD cb = DdeGetData(hdata, nullptr, 0, 0);
        // One byte more than the data, so a reply without a NUL still ends.
        HLOCAL hmem = cb != 0 ? LocalAlloc(LHND, cb + 1) : nullptr;
        char* text = hmem != nullptr ? static_cast<char*>(LocalLock(hmem)) : nullptr;
        if (text != nullptr) {
            DdeGetData(hdata, reinterpret_cast<LPBYTE>(text), cb, 0);
            add_group_lines(hlist, text);
            LocalUnlock(hmem);
        }
        if (hmem != nullptr)
            LocalFree(hmem);
        DdeFreeDataHandle(hdata);
    }
    if (idinst != 0)
        status = DdeGetLastError(idinst);

    if (hitem != nullptr && idinst != 0)
        DdeFreeStringHandle(idinst, hitem);
    close_dde(&idinst, &hconv, &hserv);

    int found = find_group(hlist, strQuillon15);
    if (found == LB_ERR || !list_text(hlist, found, lpszGroup, PATH_CCH)) {
        lstrcpynA(lpszGroup, strQuillon15, PATH_CCH);
    } else {
        SendMessageA(hlist, LB_SETCURSEL, found, 0);
    }
    SetDlgItemTextA(hdlg, IDC_GROUP_NAME, lpszGroup);
    SetCursor(hcur);
    return status;
}

static void leave_page(HWND hdlg, INT_PTR result)
{
    pgroup->new_ = find_group(GetDlgItem(hdlg, IDC_GROUP_LIST), pgroup->szGroup) == LB_ERR;
    EndDialog(hdlg, result);
}

INT_PTR CALLBACK dlg_group(HWND hdlg, UINT umsg, WPARAM wparam, LPARAM lparam)
{
    switch (umsg) {
    case WM_INITDIALOG:
        center_dialog(hdlg);
        pgroup = reinterpret_cast<GROUP*>(lparam);
        // The name must fit the record whole; a longer one is not cut later.
        SendDlgItemMessageA(hdlg, IDC_GROUP_NAME, EM_LIMITTEXT, PATH_CCH - 1, 0);
        build_grouplst(hdlg, pgroup->szGroup);
        return TRUE;
    case WM_COMMAND: {
        HWND hlist = GetDlgItem(hdlg, IDC_GROUP_LIST);
        switch (LOWORD(wparam)) {
        case IDC_GROUP_LIST:
            if (HIWORD(wparam) == LBN_SELCHANGE) {
                int sel = static_cast<int>(SendMessageA(hlist, LB_GETCURSEL, 0, 0));
                if (sel != LB_ERR && list_text(hlist, sel, pgroup->szGroup, PATH_CCH))
                    SetDlgItemTextA(hdlg, IDC_GROUP_NAME, pgroup->szGroup);
            }
            return TRUE;
        case IDC_GROUP_NAME:
            if (HIWORD(wparam) == EN_CHANGE) {
                GetDlgItemTextA(hdlg, IDC_GROUP_NAME, pgroup->szGroup, PATH_CCH);
                SendMessageA(hlist, LB_SETCURSEL, find_group(hlist, pgroup->szGroup), 0);
            }
            return TRUE;
        case PAGE_NEXT:
            // The name goes into DDE commands and the uninstaller's command line.
            // The edit's limit stops typing only: a name set or pasted by another
            // program may be longer than the record, which then holds it cut.
            if (GetWindowTextLengthA(GetDlgItem(hdlg, IDC_GROUP_NAME)) >= PATH_CCH ||
                !valid_group_name(pgroup->szGroup)) {
                alert(hdlg, ALERT_BAD_FOLDER);
                return TRUE;
            }
            leave_page(hdlg, PAGE_NEXT);
            return TRUE;
        case PAGE_CANCEL:
            if (alert(hdlg, ALERT_EXIT) == ANSWER_YES)
                leave_page(hdlg, PAGE_CANCEL);
            return TRUE;
        case PAGE_BACK:
            EndDialog(hdlg, PAGE_BACK);
            return TRUE;
        default:
            return FALSE;
        }
    }
    default:
        return FALSE;
    }
}

BOOL update_progman(const INSPB* pp, const char* lpszGroup)
{
    SetCursor(LoadCursor(nullptr, IDC_WAIT));
    DWORD idinst;
    HCONV hconv;
    HSZ hserv;
    open_dde(&idinst, &hconv, &hserv);

    char cmd[WORK_CCH];
    for (int batch = 0; batch < PROGMAN_BATCHES; ++batch) {
        if (batch > 0)
            restart_dde(&idinst, &hconv, &hserv);
        if (idinst == 0 || hserv == nullptr || hconv == nullptr)
            continue;
        for (int i = 0;; ++i) {
            int r = progman_command(pp->lcode, pp->szDst, lpszGroup, batch, i, cmd, WORK_CCH);
            if (r == 0)
                break;
            // A command that cannot be formatted whole is not sent at all.
            if (r > 0) {
                DdeClientTransaction(reinterpret_cast<LPBYTE>(cmd),
                                     static_cast<DWORD>(strlen(cmd) + 1), hconv, nullptr, 0,
                                     XTYP_EXECUTE, DDE_TIMEOUT, nullptr);
            }
            if (batch >= 2)
                SetCursor(LoadCursor(nullptr, IDC_WAIT));
        }
    }
    close_dde(&idinst, &hconv, &hserv);
    return TRUE;
}
