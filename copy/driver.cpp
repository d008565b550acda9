// The copy driver: the component table and the modeless copy page.
#include "copy/copy.h"
#include "copy/framepace.h"
#include "common/directories.h"
#include "common/path_join.h"
#include "common/source_root.h"
#include "dialogs/dialogs.h"
#include "ui/ui.h"

#include <cstring>

const CDIR cdir[CDIR_COUNT] = {
    {0x00000001, 2}, {0x00000002, 2}, {0x00000004, 1}, {0x00000008, 1}, {0x00000010, 1},
    {0x00000020, 1}, {0x00000080, 1}, {0x00000100, 1}, {0x00000200, 1}, {0x00000400, 1},
    {0x00000800, 1}, {0x00001000, 1}, {0x00002000, 1}, {0x00004000, 1}, {0x00008000, 1},
    {0x00010000, 1}, {0x00020000, 2}, {0x00040000, 1},
};

const char* const src_name[CDIR_COUNT] = {
    "modules",          "drivers",         "samples\\rasters", "samples\\document",
    "samples\\fonts",   "help",            "samples\\vector",  "samples\\colors",
    "samples\\curves",  "samples\\dicts",  "samples\\texts",   "samples\\bitmaps",
    "samples\\layouts", "samples\\macros", "samples\\pages",   "samples\\styles",
    "special",          "samples\\clipart",
};

int copyflag;
ULONGLONG bcopied;
RECT rcBar;

// Components copied whenever selected; every other row also needs samples on.
static constexpr DWORD without_samples = 0x1 | 0x2 | 0x20 | 0x400 | 0x10 | 0x20000;

bool row_wanted(int row, const INSPB* pp)
{
    if (row < 0 || row >= CDIR_COUNT || !(pp->fflag & cdir[row].fflag))
        return false;
    return (cdir[row].fflag & without_samples) || pp->sampl != 0;
}

INT_PTR CALLBACK dlg_copy(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM)
{
    switch (uMsg) {
    case WM_INITDIALOG:
        center_dialog(hDlg);
        if (GetSystemMetrics(SM_CXFULLSCREEN) < 1024) {
            // On small screens the centred page would hide the billboard.
            RECT rc, rcOwner;
            HWND owner = GetWindow(hDlg, GW_OWNER);
            GetWindowRect(hDlg, &rc);
            if (owner && GetWindowRect(owner, &rcOwner)) {
                int h = rc.bottom - rc.top;
                MoveWindow(hDlg, rc.left, rcOwner.bottom - 10 - h, rc.right - rc.left, h, TRUE);
            }
        }
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            if (alert(hDlg, ALERT_EXIT) == ANSWER_YES)
                copyflag = FALSE;
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// The selected component rows, then the product's main files; the first
// failure or a Cancel ends the copy.
static CopyOutcome copy_product(HWND hdlg, const INSPB* pp, const char* rsrc, const char* lsrc)
{
    CopyOutcome outcome = COPY_DONE;
    for (int cnt = 0; cnt < CDIR_COUNT && outcome == COPY_DONE && copyflag; ++cnt) {
        // Between rows the page rests on the last file and the exact percentage.
        show_copy_frame(hdlg);
        if (!copyflag || !row_wanted(cnt, pp))
            continue;
        char dname[PATH_CCH];
        char nsrc[WORK_CCH];
        char ndst[WORK_CCH];
        get_string(pp->lcode, static_cast<WORD>(cnt), dname, sizeof dname);
        if (!dname[0] ||
            !build_fspec(cdir[cnt].dflag == 2 ? rsrc : lsrc, src_name[cnt], nsrc, sizeof nsrc) ||
            !build_fspec(pp->szDst, dname, ndst, sizeof ndst)) {
            // A row that cannot be named cannot be installed: stop rather than
            // leave a silent hole in the product.
            outcome = COPY_FAILED;
            break;
        }
        // New levels are made lower case; the levels that exist, on the
        // medium and at the destination, are named as the disk spells them
        // (copy_directory shows both paths lower case). Under Wine a level
        // named in another case is searched for at every file.
        CharLowerA(ndst);
        use_disk_case(ndst);
        use_disk_case(nsrc);
        frame_now();   // a row's first file is always shown
        outcome = copy_directory(hdlg, ndst, nsrc, TRUE, pp->keep_set);
    }
    if (outcome == COPY_DONE && copyflag) {
        char root_dst[sizeof pp->szDst];
        memcpy(root_dst, pp->szDst, sizeof root_dst);
        use_disk_case(root_dst);
        show_copy_frame(hdlg);
        frame_now();
        outcome = copy_directory(hdlg, root_dst, rsrc, FALSE, pp->keep_set);
    }
    show_copy_frame(hdlg);
    return outcome == COPY_DONE && !copyflag ? COPY_CANCELLED : outcome;
}

// The read-me and the shared system files: one left out is left out, but a
// failure the user was told of ends the installation, and so does a Cancel
// confirmed meanwhile (the queue is served while they are copied).
static CopyOutcome copy_extras(const INSPB* pp, const char* drive, const char* lsrc)
{
    CopyOutcome last = COPY_DONE;
    char rsrc_readme[WORK_CCH];
    char rdst[WORK_CCH];
    if (build_fspec(lsrc, "readme.wri", rsrc_readme, sizeof rsrc_readme) &&
        build_fspec(pp->szDst, "readme.wri", rdst, sizeof rdst))
        last = copy_file(nullptr, rdst, rsrc_readme);
    if (last != COPY_FAILED && copyflag)
        last = copy_runtime(drive, pp->platform);
    if (last != COPY_FAILED && copyflag)
        last = copy_sx32w(drive, pp->platform);
    if (last != COPY_FAILED && copyflag)
        last = copy_twain(drive, pp->platform);
    if (last != COPY_FAILED && copyflag)
        last = copy_defdoc(drive, pp->lcode);
    if (last == COPY_FAILED)
        return COPY_FAILED;
    return copyflag ? COPY_DONE : COPY_CANCELLED;
}

int copy_files(HWND hwndOwner, INSPB* pp)
{
    copyflag = TRUE;
    HWND hdlg = create_dialog(hwndOwner, DLG_COPY, pp->lcode, nullptr, dlg_copy);

    char drive[WORK_CCH];
    char rsrc[WORK_CCH];
    char lsrc[WORK_CCH];
    bool paths = get_source_root(drive, sizeof drive) &&
                 path_set(rsrc, sizeof rsrc, drive, "\\quillon") &&
                 build_source(rsrc, sizeof rsrc, pp->lcode, pp->platform);
    if (paths) {
        use_disk_case(rsrc);   // the platform tree, and with it the language tree above
        strcpy(lsrc, rsrc);
        if (char* last = strrchr(lsrc, '\\'))
            *last = '\0';
    }

    if (hdlg)
        GetClientRect(GetDlgItem(hdlg, IDC_BAR), &rcBar);
    calc_bmpshare(tbytes);
    cbinf = 0;
    bcopied = 0;
    infplace = 1;
    place_info();

    // Nothing is changed before the run's record stands on disk.
    char record[PATH_CCH];
    CopyOutcome outcome = COPY_FAILED;
    if (!paths) {
        outcome = COPY_FAILED;
    } else if (!record_location(record, sizeof record) || !run_begin(record)) {
        // A record already there belongs to another setup; one that cannot
        // be made on a disk with room left means no right to write there.
        const int failure = run_failure();
        alert(hdlg, failure == RUN_RECORD_EXISTS    ? ALERT_SETUP_RUNNING
                    : failure == RUN_RECORD_REFUSED ? ALERT_DISK_FULL
                                                    : ALERT_WINDIR_READ_ONLY);
        outcome = COPY_FAILED;
    } else {
        outcome = copy_product(hdlg, pp, rsrc, lsrc);
    }

    if (outcome == COPY_DONE)
        outcome = copy_extras(pp, drive, lsrc);
    if (outcome == COPY_DONE && !run_commit()) {
        // The run stays undoable, and is undone: "nothing has been changed".
        alert(hdlg, ALERT_DISK_FULL);
        outcome = COPY_FAILED;
    }

    release_copy_page();
    if (hdlg)
        DestroyWindow(hdlg);
    cbinf = -1;
    remove_info();
    return outcome == COPY_DONE;
}
