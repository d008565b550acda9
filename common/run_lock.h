// One setup or uninstall at a time on a machine.
#pragma once

// Takes the lock for as long as this process lives; false when another
// setup or uninstall holds it.
bool take_run_lock();
