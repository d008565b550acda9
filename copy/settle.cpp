// A run that never ended (killed, power cut) is rolled back, or, if its copy
// was done, its integration finished. One that cannot be wholly rolled back,
// this or one a failure or Cancel just undid, must not be forgotten: the
// next run would have no record of it, and the earlier files kept aside
// would belong to nobody. The user may try again (after closing the program
// that holds a file, or connecting the drive), leave the program with the
// record kept for its next start, or leave the files as they are. Setup and
// the uninstaller each settle a record of their own, in their own words.
#include "copy/run_machinery.h"
#include "dialogs/dialogs.h"

int settle_run(HWND owner, bool (*record_at)(char* path, size_t cch), const SettleAlerts& alerts,
               void (*finish_integration)())
{
    char record[PATH_CCH];
    if (!record_at(record, sizeof record))
        return RUN_NONE_FOUND;
    for (;;) {
        SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        const int recovered = run_recover(record);
        if (recovered == RECOVER_INTEGRATE) {
            if (finish_integration != nullptr)
                finish_integration();
            else
                run_integrated();   // nothing this program could still do
        }
        SetCursor(LoadCursorA(nullptr, IDC_ARROW));
        switch (recovered) {
        case RECOVER_NOTHING:
            return RUN_NONE_FOUND;
        case RECOVER_UNREADABLE:   // kept aside, nothing it names touched
            alert(owner, alerts.unreadable);
            return RUN_SETTLED;
        case RECOVER_BUSY:
            alert(owner, alerts.busy);
            return RUN_LEFT_FOR_NEXT_START;
        case RECOVER_INCOMPLETE:
        case RECOVER_VOLUME_MISSING:
            break;
        default:
            return RUN_SETTLED;
        }
        switch (alert(owner, recovered == RECOVER_VOLUME_MISSING ? alerts.volume_missing
                                                                 : alerts.incomplete)) {
        case UNDO_RETRY:
            continue;
        case UNDO_IGNORE:   // the files stay where they are now
            run_forget(record);
            return RUN_LEFT_AS_IS;
        default:   // UNDO_EXIT, Esc or the close box: tried again at the next start
            return RUN_LEFT_FOR_NEXT_START;
        }
    }
}
