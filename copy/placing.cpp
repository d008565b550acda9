// Placing one file of the medium: how it goes to the disk, what is saved
// first, and opening it for the copy (see copy/placing.h).
#include "copy/placing.h"
#include "common/fileops.h"

#include <cstring>

// The spelling a file has on disk, in place of the last level of path.
static void use_disk_name(char* path, size_t cch)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(path, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    FindClose(h);
    char* last = strrchr(path, '\\');
    if (last && static_cast<size_t>(last + 1 - path) + strlen(fd.cFileName) < cch)
        strcpy(last + 1, fd.cFileName);
}

enum { SOURCE_SAME, SOURCE_DIFFERS, SOURCE_UNREADABLE, NOT_COMPARED, NOT_STAGED };

// Reads the medium's file from its start block by block against the count
// bytes at old. Where it differs, *at gives the block it differs in first,
// or the last one where the file is shorter.
static int compare_source(HANDLE hsrc, BYTE* buf, const BYTE* old, DWORD count, DWORD* at)
{
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(hsrc, start, nullptr, FILE_BEGIN))
        return SOURCE_UNREADABLE;
    DWORD got = 0;
    for (*at = 0;; *at += got) {
        if (!ReadFile(hsrc, buf, COPY_BLOCK, &got, nullptr))
            return SOURCE_UNREADABLE;
        if (got > count - *at || memcmp(buf, old + *at, got) != 0)
            return SOURCE_DIFFERS;
        if (got < COPY_BLOCK)
            return *at + got == count ? SOURCE_SAME : SOURCE_DIFFERS;
    }
}

// Reads the earlier bytes of the file in h into the run's buffer
// (NOT_STAGED: they cannot be stored) and, where they are there whole, the
// medium's file against them; one that already holds them is marked
// unchanged. *at as compare_source gives it.
static int stage_and_compare(HANDLE h, BYTE* buf, Target* t, DWORD* at)
{
    const BYTE* old = nullptr;
    DWORD count = 0;
    if (!stage_in_place(t->name, h, &old, &count))
        return NOT_STAGED;
    if (!old)
        return NOT_COMPARED;
    t->rewind = true;
    const int compared = compare_source(t->hsrc, buf, old, count, at);
    if (compared == SOURCE_SAME) {
        t->unchanged = true;
        t->resume = count;
    }
    return compared;
}

// A plain file is written over in place once its bytes are in the pack. It
// is read first and compared with the medium's: one that already holds them
// (an update from the same medium, a repair) is left untouched, with no
// entry in the pack and no write, so it keeps its times too; of one that
// differs, only the blocks from the first difference on are written.
static bool overwrite_in_place(HANDLE h, BYTE* buf, Target* t)
{
    DWORD at = 0;
    const int compared = stage_and_compare(h, buf, t, &at);
    if (compared == NOT_STAGED)
        return false;
    if (compared == SOURCE_SAME)
        return true;
    // Only what is written over goes into the pack.
    const ULONGLONG from = compared == SOURCE_DIFFERS ? at : 0;
    if (!keep_staged(t->name, h, from, &t->old_size))
        return false;
    LARGE_INTEGER to;
    to.QuadPart = at;
    t->rewind = true;
    if (compared == SOURCE_DIFFERS && SetFilePointerEx(h, to, nullptr, FILE_BEGIN))
        t->resume = at;
    return true;
}

// Renames an existing file aside into t->aside and creates the new one in
// its place; INVALID_HANDLE_VALUE where it cannot be renamed aside (t->failure says
// whether that ends the run).
static HANDLE replace_aside(Target* t)
{
    if (!keep_aside(t->name, t->aside, sizeof t->aside)) {
        // One held open by another program is skipped; one the record could
        // not take, or that could not be renamed aside, is not.
        t->aside[0] = '\0';
        t->failure = run_failure();
        return INVALID_HANDLE_VALUE;
    }
    HANDLE h = fs_open(t->name, GENERIC_WRITE, 0, CREATE_NEW);
    if (h == INVALID_HANDLE_VALUE) {
        put_back(t->name, t->aside);
        t->aside[0] = '\0';
    }
    return h;
}

// Decides how the file goes to t->dst and keeps what writing it would lose;
// nothing on the disk changes yet but the run's record and pack. So that a
// failed run can put an existing file back as it was, a plain one has its
// bytes stored in the pack and is written over in place, any other is renamed aside when
// it is written; one held open by another program can be neither and is
// skipped. False: nothing is to be written (t->unchanged, skipped, or
// t->failure).
bool place_target(BYTE* buf, Target* t)
{
    LARGE_INTEGER size{};
    GetFileSizeEx(t->hsrc, &size);
    const ULONGLONG length = t->length = static_cast<ULONGLONG>(size.QuadPart);
    Place place = run_place_file(t->dst, t->name, sizeof t->name, length);
    if (place == PLACE_PROBE) {
        // A file that already holds the medium's bytes changes nothing and is
        // left as it is, whatever its attributes. It is only read: asking for
        // its attributes by handle would cost ~0.6 ms a file under Wine (it
        // asks for the volume too), more than the copy of the file.
        HANDLE h = CreateFileA(t->name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            DWORD at = 0;
            const bool same = stage_and_compare(h, buf, t, &at) == SOURCE_SAME;
            CloseHandle(h);
            if (same)
                return false;
        }
        // Something changes: the directory goes on record first.
        if (!run_list_dir_of(t->dst)) {
            t->failure = run_failure();
            return false;
        }
        place = run_place_file(t->dst, t->name, sizeof t->name, length);
    }
    t->place = place;
    if (place == PLACE_SKIP) {
        t->failure = run_failure();
        return false;
    }
    if (place == PLACE_OVERWRITE || place == PLACE_REWRITE) {
        HANDLE h = fs_open(t->name, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
        if (h != INVALID_HANDLE_VALUE) {
            if (overwrite_in_place(h, buf, t)) {
                if (!t->unchanged) {
                    t->hdst = h;
                    return true;
                }
                fs_close(h);
                return false;
            }
            fs_close(h);
        }
        // Renamed aside, it would not come back in the pack's order.
        if (place == PLACE_REWRITE) {
            t->failure = RUN_RECORD_REFUSED;
            return false;
        }
        t->place = PLACE_REPLACE;
    }
    return true;
}

// Once what placing it wrote is safe: opens the file the block loop fills.
HANDLE open_placed(Target* t)
{
    if (t->hdst != INVALID_HANDLE_VALUE) {
        HANDLE h = t->hdst;
        t->hdst = INVALID_HANDLE_VALUE;
        return h;
    }
    if (t->place == PLACE_OWN) {
        t->created = true;
        return fs_open(t->name, GENERIC_WRITE, 0, CREATE_ALWAYS);
    }
    if (t->place == PLACE_NEW || t->place == PLACE_UNKNOWN) {
        // Never truncates a file: one saved under this name since the
        // directory was listed is an earlier file like any other. Without a
        // run, creating the new file is itself the test for an existing one:
        // a separate probe would cost every file another round trip.
        t->created = t->place == PLACE_NEW;
        HANDLE h = fs_open(t->name, GENERIC_WRITE, 0, CREATE_NEW);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return h;
        use_disk_name(t->name, sizeof t->name);
    }
    return replace_aside(t);
}

