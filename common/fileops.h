// Every change a run makes to a disk goes through these calls: making,
// writing, flushing, cutting and closing a file, setting its times,
// renaming, deleting, making and removing directories, attributes. A test
// can have them recorded in order and rebuild from the list the disk a
// power cut would leave at any point of it. Reads go to the system directly.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct FsOp {
    enum Kind { OPEN, WRITE, FLUSH, SET_END, SET_TIME, CLOSE, RENAME, REMOVE, MKDIR, RMDIR, ATTRIBUTES };
    Kind kind = OPEN;
    std::string path;        // OPEN, RENAME (from), REMOVE, MKDIR, RMDIR, ATTRIBUTES
    std::string to;          // RENAME
    HANDLE file = nullptr;   // OPEN to CLOSE
    DWORD value = 0;         // OPEN: the creation disposition; ATTRIBUTES: the attributes
    ULONGLONG offset = 0;    // WRITE: where it starts; SET_END: the new length
    std::string bytes;       // WRITE
    FILETIME written{};      // SET_TIME: the last-written time (zero: left as it was)
};
// Records every change that succeeds into log from now on; null stops it.
// after, if given, is called with each change once it is recorded: a test
// can make the disk slow there, or act at a chosen point of the run.
void fs_record(std::vector<FsOp>* log, void (*after)(const FsOp&) = nullptr);

// CreateFileA; a handle that can change the file must be closed with fs_close.
HANDLE fs_open(const char* path, DWORD access, DWORD share, DWORD disposition);
bool fs_write(HANDLE file, const void* data, DWORD count);   // false unless all was written
bool fs_flush(HANDLE file);                                   // to the disk, not just the system
bool fs_set_end(HANDLE file);                                 // the file ends where it stands
bool fs_set_times(HANDLE file, const FILETIME* created, const FILETIME* accessed,
                  const FILETIME* written);
void fs_close(HANDLE file);
bool fs_rename(const char* from, const char* to);             // never over an existing name
bool fs_delete(const char* path);
bool fs_mkdir(const char* path);
bool fs_rmdir(const char* path);
bool fs_set_attributes(const char* path, DWORD attributes);
// Asks the system to delete path at its next start; false where it cannot.
bool fs_delete_at_restart(const char* path);
