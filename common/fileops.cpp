// The disk's changes, each through one call that a test can record.
#include "common/fileops.h"

static std::vector<FsOp>* recording;
static void (*recorded)(const FsOp&);

void fs_record(std::vector<FsOp>* log, void (*after)(const FsOp&))
{
    recording = log;
    recorded = log ? after : nullptr;
}

static FsOp op_of(FsOp::Kind kind)
{
    FsOp op;
    op.kind = kind;
    return op;
}

static void note(FsOp op)
{
    if (recording) {
        recording->push_back(std::move(op));
        if (recorded)
            recorded(recording->back());
    }
}

static ULONGLONG position(HANDLE file)
{
    LARGE_INTEGER zero{}, at{};
    SetFilePointerEx(file, zero, &at, FILE_CURRENT);
    return static_cast<ULONGLONG>(at.QuadPart);
}

HANDLE fs_open(const char* path, DWORD access, DWORD share, DWORD disposition)
{
    HANDLE h = CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h != INVALID_HANDLE_VALUE && recording) {
        FsOp op = op_of(FsOp::OPEN);
        op.path = path;
        op.file = h;
        op.value = disposition;
        note(op);
    }
    return h;
}

bool fs_write(HANDLE file, const void* data, DWORD count)
{
    const ULONGLONG at = recording ? position(file) : 0;
    DWORD done = 0;
    const bool ok = WriteFile(file, data, count, &done, nullptr) && done == count;
    if (done && recording) {
        FsOp op = op_of(FsOp::WRITE);
        op.file = file;
        op.offset = at;
        op.bytes.assign(static_cast<const char*>(data), done);
        note(op);
    }
    return ok;
}

bool fs_flush(HANDLE file)
{
    if (!FlushFileBuffers(file))
        return false;
    FsOp op = op_of(FsOp::FLUSH);
    op.file = file;
    note(op);
    return true;
}

bool fs_set_end(HANDLE file)
{
    if (!SetEndOfFile(file))
        return false;
    if (recording) {
        FsOp op = op_of(FsOp::SET_END);
        op.file = file;
        op.offset = position(file);
        note(op);
    }
    return true;
}

bool fs_set_times(HANDLE file, const FILETIME* created, const FILETIME* accessed,
                  const FILETIME* written)
{
    if (!SetFileTime(file, created, accessed, written))
        return false;
    FsOp op = op_of(FsOp::SET_TIME);
    op.file = file;
    if (written)
        op.written = *written;
    note(op);
    return true;
}

void fs_close(HANDLE file)
{
    CloseHandle(file);
    FsOp op = op_of(FsOp::CLOSE);
    op.file = file;
    note(op);
}

static void note_path(FsOp::Kind kind, const char* path, DWORD value = 0)
{
    if (recording) {
        FsOp op = op_of(kind);
        op.path = path;
        op.value = value;
        note(op);
    }
}

bool fs_rename(const char* from, const char* to)
{
    if (!MoveFileA(from, to))
        return false;
    if (recording) {
        FsOp op = op_of(FsOp::RENAME);
        op.path = from;
        op.to = to;
        note(op);
    }
    return true;
}

bool fs_delete(const char* path)
{
    if (!DeleteFileA(path))
        return false;
    note_path(FsOp::REMOVE, path);
    return true;
}

bool fs_mkdir(const char* path)
{
    if (!CreateDirectoryA(path, nullptr))
        return false;
    note_path(FsOp::MKDIR, path);
    return true;
}

bool fs_rmdir(const char* path)
{
    if (!RemoveDirectoryA(path))
        return false;
    note_path(FsOp::RMDIR, path);
    return true;
}

bool fs_set_attributes(const char* path, DWORD attributes)
{
    if (!SetFileAttributesA(path, attributes))
        return false;
    note_path(FsOp::ATTRIBUTES, path, attributes);
    return true;
}

bool fs_delete_at_restart(const char* path)
{
    return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}
