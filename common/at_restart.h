// Files that go at the next restart of Windows.
#pragma once

// Asks the system to delete path at the next restart (a running program's
// file cannot go before): false where it cannot (Windows 95 has no such
// request). The paths asked for are kept for goes_at_restart.
bool delete_at_restart(const char* path);
// path (any letter case) was asked for by this process.
bool goes_at_restart(const char* path);
