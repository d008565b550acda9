// Directory and file copy: walks the medium's tree and copies its files in
// batches. One file's way, in order: place_file opens the medium's file and
// has place_target (copy/placing.cpp) decide how it goes and save what
// writing it would lose; write_batch makes the batch's entries durable, and
// write_target has open_placed hand it the destination, then runs the block
// loop; write_batch flushes it (on a disk that waits, a new file is closed
// once written and flushed with the rest of its tree: copy/diskpace.h). The
// page is drawn in copy/copypage.cpp.
#include "copy/placing.h"
#include "copy/diskpace.h"
#include "copy/framepace.h"
#include "common/directories.h"
#include "common/fileops.h"
#include "common/path_join.h"
#include "dialogs/dialogs.h"
#include "ui/ui.h"

#include <cstring>
#include <string>
#include <vector>

static bool is_merge_dir(const char* name)
{
    return strcmp(name, "serial") == 0 || strcmp(name, "typeset") == 0;
}

// Files placed before the run's entries for them are made safe from a power
// cut at once, then written: one wait for the disk for the lot. A batch also
// ends at BATCH_BYTES of the medium: placing reads and saves what the files
// overwrite, and Cancel is served only between the files written.
constexpr size_t BATCH_FILES = 256;
constexpr ULONGLONG BATCH_BYTES = 16 << 20;

// A file the medium lists but that cannot be opened is a damaged medium; one
// that is not there at all was simply left out of it.
static bool listed(const char* path)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(path, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    FindClose(h);
    return true;
}

CopyOutcome worse(CopyOutcome a, CopyOutcome b)
{
    return a > b ? a : b;
}

// The run cannot go on: the user is told why, and the installation ends,
// also where the caller (read-me, system files) would go on. Always false.
static bool stop_copy(HWND hDlg, WORD alert_id, const char* name)
{
    catch_up_page(hDlg);   // the page rests under the alert on the file that failed
    if (name)
        alert_naming(hDlg, alert_id, name);
    else
        alert(hDlg, alert_id);
    return false;
}

static bool refuse(HWND hDlg, const Target& t)
{
    return t.failure == RUN_KEEP_REFUSED ? stop_copy(hDlg, ALERT_CANNOT_KEEP, t.name)
                                         : stop_copy(hDlg, ALERT_DISK_FULL, nullptr);
}

// Opens the medium's file and places the target; *write tells whether it is
// then to be written. False: the run ends (the user was told).
static bool place_file(HWND hDlg, BYTE* buf, Target* t, bool* write)
{
    *write = false;
    t->hsrc = CreateFileA(t->src, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (t->hsrc == INVALID_HANDLE_VALUE)
        return listed(t->src) ? stop_copy(hDlg, ALERT_READ_ERROR, t->src) : true;
    *write = place_target(buf, t);
    if (t->failure != RUN_OK)
        return refuse(hDlg, *t);
    if (t->unchanged && show_file(hDlg, t->src, t->dst))
        update_status(hDlg, 0, static_cast<DWORD>(t->resume));
    return true;
}

// The medium's bytes into a placed file, left open in t->hdst for its
// batch's flush, or, with close_early, a new file closed as soon as it is
// written (see copy/diskpace.h). False: the run ends (the user was told).
static bool write_target(HWND hDlg, BYTE* buf, Target* t, bool close_early)
{
    HANDLE hdst = open_placed(t);
    if (hdst == INVALID_HANDLE_VALUE)
        return t->failure == RUN_OK || refuse(hDlg, *t);
    // Only a file that holds nothing yet, nothing of the user's.
    close_early = close_early && t->old_size == NOT_IN_PLACE && t->resume == 0;
    LARGE_INTEGER start;
    start.QuadPart = static_cast<LONGLONG>(t->resume);
    bool failed = t->rewind && !SetFilePointerEx(t->hsrc, start, nullptr, FILE_BEGIN);
    bool unreadable = failed;
    if (close_early && !failed && !fs_set_end(hdst))
        failed = true;
    ULONGLONG written = t->resume;
    if (t->resume > 0)
        update_status(hDlg, 0, static_cast<DWORD>(t->resume));   // the same as on the medium
    while (!failed) {
        DWORD nread = 0;
        if (!ReadFile(t->hsrc, buf, COPY_BLOCK, &nread, nullptr)) {
            failed = unreadable = true;
            break;
        }
        if (!fs_write(hdst, buf, nread)) {
            failed = true;
            break;
        }
        written += nread;
        update_status(hDlg, 0, nread);
        if (nread < COPY_BLOCK)
            break;
    }

    // Written over in place: a longer earlier file loses its tail.
    if (!failed && t->old_size != NOT_IN_PLACE && written < t->old_size && !fs_set_end(hdst))
        failed = true;
    if (!failed && t->created)
        run_stamp(hdst, t->name);
    if (failed) {
        fs_close(hdst);
        // Written over in place, its earlier bytes are in the pack: the
        // run's roll-back, which follows the alert, writes them back.
        if (t->old_size == NOT_IN_PLACE) {
            fs_delete(t->name);
            if (t->aside[0])
                put_back(t->name, t->aside);
        }
        return unreadable ? stop_copy(hDlg, ALERT_READ_ERROR, t->src)
                          : stop_copy(hDlg, ALERT_DISK_FULL, nullptr);
    }
    if (close_early)
        fs_close(hdst);
    else
        t->hdst = hdst;
    t->written = true;
    return true;
}

// Files closed as soon as they were written, on a disk that waits: flushed
// once their whole tree is written, so that the disk writes the last ones
// while the flushes of the first return at once. The run is not marked done
// before (copy_directory).
static std::vector<std::string> unflushed;

static bool flush_closed(const char* name)
{
    HANDLE h = fs_open(name, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool flushed = fs_flush(h);
    fs_close(h);
    return flushed;
}

static void close_target(Target* t)
{
    if (t->hdst != INVALID_HANDLE_VALUE)
        fs_close(t->hdst);
    if (t->hsrc != INVALID_HANDLE_VALUE)
        CloseHandle(t->hsrc);
    t->hdst = t->hsrc = INVALID_HANDLE_VALUE;
}

// The directory a file of the copy goes into, made once the record's entry
// for it is safe (the last one made is remembered in made).
static bool make_dir_of(HWND hDlg, const Target& t, std::string* made)
{
    const char* last = strrchr(t.dst, '\\');
    std::string dir(t.dst, last ? last : t.dst);
    if (dir == *made)
        return true;
    if (!create_directory(dir.c_str())) {
        MessageBoxA(hDlg, dir.c_str(), "INT: Error Creating...", MB_OK);
        return false;
    }
    *made = dir;
    return true;
}

// Writes the placed files once the run's entries for them are safe, then
// flushes them all (those closed once written, with their tree), so that a
// run's files are on the disk before it is marked done: one after another
// the flushes wait for the disk less than each right after its file. The
// copy of a directory makes the directories on the way (a file copied alone
// goes only where its directory is). After a Cancel or a failure the rest
// are left unwritten; a file copied alone is written whatever copyflag says.
// Empties the batch.
static CopyOutcome write_batch(HWND hDlg, BYTE* buf, std::vector<Target>* batch,
                               bool alone = false)
{
    bool ok = true;
    if (!batch->empty() && (alone || copyflag) && !run_make_durable())
        ok = stop_copy(hDlg, ALERT_DISK_FULL, nullptr);
    std::string made;
    const bool close_early = !alone && pace_disk_waits();
    for (Target& t : *batch)
        if (ok && (alone || (copyflag && show_file(hDlg, t.src, t.dst))))
            ok = (alone || make_dir_of(hDlg, t, &made)) && write_target(hDlg, buf, &t, close_early);
    for (Target& t : *batch) {
        // On a real disk each flush waits for it: Cancel is not kept waiting
        // for the whole batch (after a failure the user has been told).
        if (!alone && ok)
            keep_page_live(hDlg);
        if (t.written && ok && run_active()) {
            if (t.hdst == INVALID_HANDLE_VALUE) {
                unflushed.emplace_back(t.name);
            } else {
                const LONGLONG since = pace_clock();
                if (!fs_flush(t.hdst))
                    ok = stop_copy(hDlg, ALERT_DISK_FULL, nullptr);
                else if (!alone)   // a file alone may go to another disk
                    pace_flushed(since);
            }
        }
        close_target(&t);
        if (t.written && t.aside[0] && !run_active())
            drop_aside(t.name, t.aside);   // without a run to commit, it has served its turn
    }
    batch->clear();
    if (!ok)
        return COPY_FAILED;
    return alone || copyflag ? COPY_DONE : COPY_CANCELLED;
}

static void drop_batch(std::vector<Target>* batch)
{
    for (Target& t : *batch)
        close_target(&t);
    batch->clear();
}

// A file alone (the read-me, a system file): placed, made safe, written.
CopyOutcome copy_file(HWND hDlg, const char* pdst, const char* psrc)
{
    HLOCAL owned;
    BYTE* buf = copy_buffer(hDlg, &owned);
    if (!buf)
        return COPY_LEFT_OUT;
    std::vector<Target> one(1);
    bool write = false;
    // A name that does not fit is not placed, as one the run refuses.
    bool placed = true;
    if (path_set(one[0].src, sizeof one[0].src, psrc, nullptr) &&
        path_set(one[0].dst, sizeof one[0].dst, pdst, nullptr))
        placed = place_file(hDlg, buf, &one[0], &write);
    if (!placed || !write)
        drop_batch(&one);
    const CopyOutcome written = write_batch(hDlg, buf, &one, true);
    free_buffer(owned);
    return placed ? written : COPY_FAILED;
}

static CopyOutcome copy_tree(HWND hDlg, const char* pdst, const char* psrc, BOOL subdir,
                             BOOL keep_qpr)
{
    char pattern[PATH_CCH];
    if (!path_set(pattern, sizeof pattern, psrc, "\\*.*"))
        return COPY_DONE;   // no such directory can exist on the medium
    WIN32_FIND_DATAA fd;
    HANDLE hfind = FindFirstFileA(pattern, &fd);
    if (hfind == INVALID_HANDLE_VALUE)
        return COPY_DONE;

    // What the directory holds is on record before anything in it changes;
    // a new one is made with its first file's batch, once its entry is safe.
    if (!run_enter_dir(pdst)) {
        FindClose(hfind);
        alert(hDlg, ALERT_DISK_FULL);
        return COPY_FAILED;
    }
    HLOCAL owned;
    BYTE* buf = copy_buffer(hDlg, &owned);
    if (!buf) {
        FindClose(hfind);
        return COPY_FAILED;
    }

    // The medium is read by the names it lists, only what is shown and
    // written is lower case: under Wine every name given in another case
    // than the disk's makes a search of its directory. Files are placed a
    // batch at a time, and written before the next subdirectory.
    std::vector<Target> batch;
    batch.reserve(BATCH_FILES);
    ULONGLONG batch_bytes = 0;
    bool ok = true;       // false: the run ends (the user was told)
    bool placed = true;   // every file placed that was to be
    BOOL more = TRUE;
    while (ok && more && copyflag) {
        char src[PATH_CCH];
        char dst[PATH_CCH];
        char listed_name[MAX_PATH];
        memcpy(listed_name, fd.cFileName, sizeof listed_name);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (subdir && strcmp(fd.cFileName, ".") != 0 && strcmp(fd.cFileName, "..") != 0) {
                CharLowerA(fd.cFileName);
                const char* target = pdst;
                if (!is_merge_dir(fd.cFileName)) {
                    if (!build_fspec(pdst, fd.cFileName, dst, sizeof dst))
                        goto too_long;
                    target = dst;
                }
                if (!build_fspec(pattern, listed_name, src, sizeof src))
                    goto too_long;
                CopyOutcome sub = write_batch(hDlg, buf, &batch);
                if (sub == COPY_DONE)
                    sub = copy_tree(hDlg, target, src, subdir, keep_qpr);
                ok = sub != COPY_FAILED;
                batch_bytes = 0;
            }
        } else {
            CharLowerA(fd.cFileName);
            if (!(keep_qpr && strcmp(fd.cFileName, "quillon.qpr") == 0)) {
                batch.emplace_back();
                Target& t = batch.back();
                if (!build_fspec(pdst, fd.cFileName, t.dst, sizeof t.dst) ||
                    !build_fspec(pattern, listed_name, t.src, sizeof t.src))
                    goto too_long;
                bool write = false;
                ok = place_file(hDlg, buf, &t, &write);
                if (ok)
                    keep_page_live(hDlg);   // placing an update's file reads and keeps it
                if (!write) {
                    close_target(&t);
                    batch.pop_back();
                } else {
                    batch_bytes += t.length;
                }
                if (ok && (batch.size() == BATCH_FILES || batch_bytes >= BATCH_BYTES)) {
                    ok = write_batch(hDlg, buf, &batch) != COPY_FAILED;
                    batch_bytes = 0;
                }
            }
        }
        more = FindNextFileA(hfind, &fd);
    }
    FindClose(hfind);
    // After a failure what is left of the batch stays unwritten.
    placed = ok;
    if (!ok)
        drop_batch(&batch);
    else if (write_batch(hDlg, buf, &batch) == COPY_FAILED)
        ok = false;
    // One that holds nothing to write is made all the same.
    if (placed && GetFileAttributesA(pdst) == INVALID_FILE_ATTRIBUTES) {
        if (!run_make_durable())
            ok = stop_copy(hDlg, ALERT_DISK_FULL, nullptr);
        else if (!create_directory(pdst)) {
            MessageBoxA(hDlg, pdst, "INT: Error Creating...", MB_OK);
            ok = false;
        }
    }
    free_buffer(owned);
    if (!ok)
        return COPY_FAILED;
    return copyflag ? COPY_DONE : COPY_CANCELLED;

too_long:
    // A path the buffers cannot hold would install an incomplete product.
    FindClose(hfind);
    drop_batch(&batch);
    free_buffer(owned);
    MessageBoxA(hDlg, pdst, "INT: Error Creating...", MB_OK);
    return COPY_FAILED;
}

CopyOutcome copy_directory(HWND hDlg, const char* pdst, const char* psrc, BOOL subdir,
                           BOOL keep_qpr)
{
    CopyOutcome outcome = copy_tree(hDlg, pdst, psrc, subdir, keep_qpr);
    // After a Cancel or a failure the run is undone: nothing to flush.
    for (size_t i = 0; outcome == COPY_DONE && i < unflushed.size(); ++i) {
        keep_page_live(hDlg);
        if (!copyflag)
            outcome = COPY_CANCELLED;
        else if (!flush_closed(unflushed[i].c_str())) {
            stop_copy(hDlg, ALERT_DISK_FULL, nullptr);
            outcome = COPY_FAILED;
        }
    }
    unflushed.clear();
    return outcome;
}
