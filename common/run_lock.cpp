// Setup and the uninstaller take the same lock, so that neither runs beside
// another setup or uninstall: two setups would take each other's record and
// undo each other's files, and an uninstall while a setup updates the same
// directory (or a setup while an uninstall removes it) leaves a mix of both.
// The mutex is the system's to release when this process ends, killed or
// not; on a terminal server it counts within one session, and a second
// session's run still finds the first one's record held.
#include "common/run_lock.h"

#include <windows.h>

static const char RUN_LOCK[] = "Quillon Setup";

bool take_run_lock()
{
    // Never closed: the handle keeps the lock until the process ends. Without
    // a mutex at all the run goes on; the records' unshared opens still keep
    // a second run off a record in use.
    HANDLE one = CreateMutexA(nullptr, FALSE, RUN_LOCK);
    return one == nullptr || WaitForSingleObject(one, 0) != WAIT_TIMEOUT;
}
