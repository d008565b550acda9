// The files go within a run of the copy's own record and roll-back, so that
// a removal that cannot finish is undone whole. Each file is renamed aside
// into the keep directory of its own directory, its entry in the record
// written and flushed first; once every file is aside the run is committed
// and the kept files are deleted.
//
// Killed (or a power cut) before the commit, the next start puts every file
// back from the record; after the commit's mark, it deletes what is still
// kept. Both happen in settle_earlier, before anything else is done.
//
// The record has a place of its own, beside setup's: a setup's start-up
// must not put back the files an uninstall removed, nor an uninstall apply
// the half-done copy of a setup; each program settles its own.
#include "uninstall/uninstall.h"
#include "uninstall/ids.h"
#include "common/path_join.h"
#include "copy/copy.h"
#include "dialogs/dialogs.h"

#include <cstring>

// What keep_aside adds to a path: "\~qskeep\<bucket>\" before the name.
constexpr size_t KEEP_GROWTH = 16;

static bool removal_record(char* path, size_t cch)
{
    UINT n = GetWindowsDirectoryA(path, static_cast<UINT>(cch));
    return n > 0 && n < cch && path_cat(path, cch, "\\quninst.rec");
}

int settle_earlier(HWND owner)
{
    // A drive that is missing gets the one message too: the uninstaller
    // changes the drive it is started from, and the Windows directory's.
    static const SettleAlerts alerts = {UALERT_NOT_UNDONE, UALERT_NOT_UNDONE, UALERT_BAD_RECORD,
                                        UALERT_RUNNING};
    return settle_run(owner, removal_record, alerts, nullptr);
}

static bool exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// Exit at a held file: everything renamed so far goes back.
static int put_back_all(HWND owner)
{
    if (!run_undo())
        settle_earlier(owner);
    return PUT_BACK;
}

int remove_files(HWND owner, const std::vector<std::string>& files)
{
    char record[PATH_CCH];
    if (!removal_record(record, sizeof record) || !run_begin(record)) {
        run_undo();
        return NOT_BEGUN;
    }
    for (const std::string& file : files) {
        // A path too long to keep aside cannot go undoably: it stays.
        if (file.size() + KEEP_GROWTH >= static_cast<size_t>(PATH_CCH))
            continue;
        for (;;) {
            char aside[PATH_CCH];
            if (keep_aside(file.c_str(), aside, sizeof aside) || !exists(file.c_str()))
                break;
            if (run_failure() == RUN_RECORD_REFUSED) {
                // The record took no more: what it holds is put back.
                run_undo();
                return NOT_BEGUN;
            }
            // A keep folder of the user's where ours would go: the file
            // cannot go undoably, so it stays and is listed as left.
            if (run_failure() == RUN_KEEP_REFUSED)
                break;
            SetCursor(LoadCursorA(nullptr, IDC_ARROW));
            const INT_PTR answer = alert_naming(owner, UALERT_HELD, file.c_str());
            if (answer == UNDO_RETRY)
                continue;
            if (answer == UNDO_IGNORE)   // this file stays
                break;
            return put_back_all(owner);
        }
    }
    if (!run_commit()) {
        run_undo();
        return NOT_BEGUN;
    }
    return REMOVED;
}
