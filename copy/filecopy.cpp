// Directory and file copy with the progress bar of the copy page.
#include "copy/run_machinery.h"
#include "copy/framepace.h"
#include "copy/pathline.h"
#include "common/directories.h"
#include "common/fileops.h"
#include "common/path_join.h"
#include "dialogs/dialogs.h"
#include "ui/ui.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

constexpr DWORD COPY_BLOCK = 100000;

static bool is_merge_dir(const char* name)
{
    return strcmp(name, "serial") == 0 || strcmp(name, "typeset") == 0;
}

// What the copy keeps for the life of one copy page. Under Wine, looking up
// a control, getting a device context or allocating the buffer costs a round
// trip to the server or more; at every file or block that came to more than
// the copy of a small file itself.
struct PageCache {
    HWND page;
    HWND src_line;
    HWND dst_line;
    HWND bar;
    HDC bar_dc;         // the bar's window DC, held until release_copy_page
    HDC mem;            // the off-screen picture of the bar
    HBITMAP bmp;
    HGDIOBJ oldbmp;
    HGDIOBJ oldfont;
    SIZE size;
    int drawn_perc;     // percentage the picture shows; -1 before the first
    bool bar_behind;    // bytes were counted since the bar was last put on the control
    bool lines_behind;  // the lines do not show next_src and next_dst yet
    char next_src[PATH_CCH];   // the file begun last, as the lines show it
    char next_dst[PATH_CCH];
    HLOCAL hbuf;        // the copy buffer of the page's files
    BYTE* buf;
};
static PageCache pc;

static void use_page(HWND hDlg)
{
    if (pc.page == hDlg)
        return;
    release_copy_page();
    pc.page = hDlg;
    pc.src_line = GetDlgItem(hDlg, IDC_SRC_LINE);
    pc.dst_line = GetDlgItem(hDlg, IDC_DST_LINE);
    pc.bar = GetDlgItem(hDlg, IDC_BAR);
    attach_path_lines(pc.src_line, pc.dst_line);
    frame_now();   // a new page shows its first file at once
}

// The attached lines paint within SetWindowText; a line that could not be
// attached is a plain static and is brought up to date at once.
static void show_line(HWND line, const char* text)
{
    if (!line)
        return;
    SetWindowTextA(line, text);
    if (!path_line_attached(line))
        UpdateWindow(line);
}

// Keeps the paths of the file begun last, lower case, for the next showing.
static bool note_file(const char* src, const char* dst)
{
    if (!path_set(pc.next_src, sizeof pc.next_src, src, nullptr) ||
        !path_set(pc.next_dst, sizeof pc.next_dst, dst, nullptr))
        return false;
    CharLowerA(pc.next_src);
    CharLowerA(pc.next_dst);
    pc.lines_behind = true;
    return true;
}

static void show_lines()
{
    if (!pc.lines_behind)
        return;
    show_line(pc.src_line, pc.next_src);
    show_line(pc.dst_line, pc.next_dst);
    pc.lines_behind = false;
}

static void draw_bar(HWND hDlg);

// The page shows the file begun last and the exact percentage.
static void catch_up_page(HWND hDlg)
{
    if (!hDlg)
        return;
    use_page(hDlg);
    show_lines();
    if (pc.bar_behind)
        draw_bar(hDlg);
}

void show_copy_frame(HWND hDlg)
{
    // Drawn before the queue is served: a Cancel question, or any other
    // reason the copy rests, finds the page up to date, and the pump puts
    // the drawing on the screen.
    catch_up_page(hDlg);
    drain_queue();
    frame_shown();
}

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

constexpr ULONGLONG NOT_IN_PLACE = ~0ULL;
// Files placed before the run's entries for them are made safe from a power
// cut at once, then written: one wait for the disk for the lot. A batch also
// ends at BATCH_BYTES of the medium: placing reads and keeps what the files
// overwrite, and Cancel is served only between the files written.
constexpr size_t BATCH_FILES = 256;
constexpr ULONGLONG BATCH_BYTES = 16 << 20;

// A file of the medium on its way to the disk: placed (its entries written,
// what writing it would lose saved), then written.
struct Target {
    char src[PATH_CCH] = "";    // the medium's file
    char dst[PATH_CCH] = "";    // where it goes, as the page shows it
    char name[PATH_CCH] = "";   // dst, or the spelling an existing file has
    char aside[PATH_CCH] = "";  // where the earlier file was renamed aside, or empty
    HANDLE hsrc = INVALID_HANDLE_VALUE;
    HANDLE hdst = INVALID_HANDLE_VALUE;   // a file written over in place, open since its bytes were stored
    Place place = PLACE_SKIP;
    ULONGLONG old_size = NOT_IN_PLACE;   // earlier length of a file written over in place
    bool unchanged = false;   // already holds the medium's bytes: nothing to write
    bool rewind = false;      // the medium's file was read to compare: start it again at resume
    ULONGLONG resume = 0;     // the bytes before it already are the medium's
    ULONGLONG length = 0;     // of the medium's file
    bool created = false;     // made by the run: it carries the run's stamp
    bool written = false;     // hdst holds the medium's bytes, to be flushed
    int failure = RUN_OK;     // why the run cannot go on with this file
};

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
static bool place_target(BYTE* buf, Target* t)
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
static HANDLE open_placed(Target* t)
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

// The files of a copy page share one buffer, kept until release_copy_page; a copy
// without a page has its own. Null when it cannot be had.
static BYTE* copy_buffer(HWND hDlg, HLOCAL* owned)
{
    *owned = nullptr;
    if (hDlg) {
        use_page(hDlg);
        if (pc.buf)
            return pc.buf;
    }
    HLOCAL h = LocalAlloc(LHND, COPY_BLOCK);
    if (!h)
        return nullptr;
    BYTE* p = static_cast<BYTE*>(LocalLock(h));
    if (!p) {
        LocalFree(h);
        return nullptr;
    }
    if (hDlg) {
        pc.hbuf = h;
        pc.buf = p;
    } else {
        *owned = h;
    }
    return p;
}

static void free_buffer(HLOCAL owned)
{
    if (owned) {
        LocalUnlock(owned);
        LocalFree(owned);
    }
}

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

// The run cannot go on: the user is told why, and the installation ends,
// also where the caller (read-me, system files) would go on.
static BOOL stop_copy(HWND hDlg, WORD alert_id, const char* name)
{
    catch_up_page(hDlg);   // the page rests under the alert on the file that failed
    if (name)
        alert_naming(hDlg, alert_id, name);
    else
        alert(hDlg, alert_id);
    return copyflag = FALSE;
}

static BOOL refuse(HWND hDlg, const Target& t)
{
    return t.failure == RUN_KEEP_REFUSED ? stop_copy(hDlg, ALERT_CANNOT_KEEP, t.name)
                                         : stop_copy(hDlg, ALERT_DISK_FULL, nullptr);
}

// The page shows the file begun last and the bar once a frame, and Cancel is
// served there: a file that takes longer than a frame is still shown on its
// own, as is each row's first. False: the copy was cancelled.
static bool show_file(HWND hDlg, const Target& t)
{
    const bool frame = frame_due();
    if (frame)
        show_copy_frame(hDlg);
    if (!copyflag)
        return false;
    if (hDlg) {
        // Shown lower case; opened as the disk spells the levels above,
        // with the new name lower case.
        use_page(hDlg);
        note_file(t.src, t.dst);
        if (frame)
            show_lines();
    }
    return true;
}

// Opens the medium's file and places the target; *write tells whether it is
// then to be written. FALSE: the run ends (the user was told).
static BOOL place_file(HWND hDlg, BYTE* buf, Target* t, bool* write)
{
    *write = false;
    t->hsrc = CreateFileA(t->src, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (t->hsrc == INVALID_HANDLE_VALUE)
        return listed(t->src) ? stop_copy(hDlg, ALERT_READ_ERROR, t->src) : TRUE;
    *write = place_target(buf, t);
    if (t->failure != RUN_OK)
        return refuse(hDlg, *t);
    if (t->unchanged && show_file(hDlg, *t))
        update_status(hDlg, 0, static_cast<DWORD>(t->resume));
    return TRUE;
}

// The medium's bytes into a placed file, left open in t->hdst for its
// batch's flush.
static BOOL write_target(HWND hDlg, BYTE* buf, Target* t)
{
    HANDLE hdst = open_placed(t);
    if (hdst == INVALID_HANDLE_VALUE)
        return t->failure == RUN_OK ? TRUE : refuse(hDlg, *t);
    LARGE_INTEGER start;
    start.QuadPart = static_cast<LONGLONG>(t->resume);
    bool failed = t->rewind && !SetFilePointerEx(t->hsrc, start, nullptr, FILE_BEGIN);
    bool unreadable = failed;
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
    t->hdst = hdst;
    t->written = true;
    return TRUE;
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
static BOOL make_dir_of(HWND hDlg, const Target& t, std::string* made)
{
    const char* last = strrchr(t.dst, '\\');
    std::string dir(t.dst, last ? last : t.dst);
    if (dir == *made)
        return TRUE;
    if (!create_directory(dir.c_str())) {
        MessageBoxA(hDlg, dir.c_str(), "INT: Error Creating...", MB_OK);
        return copyflag = FALSE;
    }
    *made = dir;
    return TRUE;
}

// Writes the placed files once the run's entries for them are safe, then
// flushes them all, so that a run's files are on the disk before it is marked
// done: one after another the flushes wait for the disk less than each right
// after its file. The copy of a directory makes the directories on the way
// (a file copied alone goes only where its directory is). After a Cancel or a
// failure the rest are left unwritten; a file copied alone is written
// whatever copyflag says. Empties the batch.
static BOOL write_batch(HWND hDlg, BYTE* buf, std::vector<Target>* batch, bool alone = false)
{
    BOOL ok = TRUE;
    if (!batch->empty() && (alone || copyflag) && !run_make_durable())
        ok = stop_copy(hDlg, ALERT_DISK_FULL, nullptr);
    std::string made;
    for (Target& t : *batch)
        if (ok && (alone || (copyflag && show_file(hDlg, t))))
            ok = (alone || make_dir_of(hDlg, t, &made)) && write_target(hDlg, buf, &t);
    for (Target& t : *batch) {
        if (t.written && ok && run_active() && !fs_flush(t.hdst))
            ok = stop_copy(hDlg, ALERT_DISK_FULL, nullptr);
        close_target(&t);
        if (t.written && t.aside[0] && !run_active())
            drop_aside(t.name, t.aside);   // without a run to commit, it has served its turn
    }
    batch->clear();
    return ok && (alone || copyflag);
}

static void drop_batch(std::vector<Target>* batch)
{
    for (Target& t : *batch)
        close_target(&t);
    batch->clear();
}

// A file alone (the read-me, a system file): placed, made safe, written.
BOOL copy_file(HWND hDlg, const char* pdst, const char* psrc)
{
    HLOCAL owned;
    BYTE* buf = copy_buffer(hDlg, &owned);
    if (!buf)
        return FALSE;
    std::vector<Target> one(1);
    bool write = false;
    // A name that does not fit is not placed, as one the run refuses.
    BOOL result = TRUE;
    if (path_set(one[0].src, sizeof one[0].src, psrc, nullptr) &&
        path_set(one[0].dst, sizeof one[0].dst, pdst, nullptr))
        result = place_file(hDlg, buf, &one[0], &write);
    if (!result || !write)
        drop_batch(&one);
    result = write_batch(hDlg, buf, &one, true) && result;
    free_buffer(owned);
    return result;
}

int copy_directory(HWND hDlg, const char* pdst, const char* psrc, BOOL subdir, BOOL keep_qpr)
{
    char pattern[PATH_CCH];
    if (!path_set(pattern, sizeof pattern, psrc, "\\*.*"))
        return TRUE;   // no such directory can exist on the medium
    WIN32_FIND_DATAA fd;
    HANDLE hfind = FindFirstFileA(pattern, &fd);
    if (hfind == INVALID_HANDLE_VALUE)
        return TRUE;

    // What the directory holds is on record before anything in it changes;
    // a new one is made with its first file's batch, once its entry is safe.
    if (!run_enter_dir(pdst)) {
        FindClose(hfind);
        alert(hDlg, ALERT_DISK_FULL);
        return FALSE;
    }
    HLOCAL owned;
    BYTE* buf = copy_buffer(hDlg, &owned);
    if (!buf) {
        FindClose(hfind);
        return FALSE;
    }

    // The medium is read by the names it lists, only what is shown and
    // written is lower case: under Wine every name given in another case
    // than the disk's makes a search of its directory. Files are placed a
    // batch at a time, and written before the next subdirectory.
    std::vector<Target> batch;
    batch.reserve(BATCH_FILES);
    ULONGLONG batch_bytes = 0;
    BOOL ok = TRUE;
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
                ok = write_batch(hDlg, buf, &batch) &&
                     copy_directory(hDlg, target, src, subdir, keep_qpr);
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
                if (!write) {
                    close_target(&t);
                    batch.pop_back();
                } else {
                    batch_bytes += t.length;
                }
                if (ok && (batch.size() == BATCH_FILES || batch_bytes >= BATCH_BYTES)) {
                    ok = write_batch(hDlg, buf, &batch);
                    batch_bytes = 0;
                }
            }
        }
        more = FindNextFileA(hfind, &fd);
    }
    FindClose(hfind);
    placed = ok;
    ok = write_batch(hDlg, buf, &batch) && ok;
    // One that holds nothing to write is made all the same.
    if (placed && GetFileAttributesA(pdst) == INVALID_FILE_ATTRIBUTES) {
        if (!run_make_durable())
            ok = stop_copy(hDlg, ALERT_DISK_FULL, nullptr);
        else if (!create_directory(pdst)) {
            MessageBoxA(hDlg, pdst, "INT: Error Creating...", MB_OK);
            ok = FALSE;
        }
    }
    free_buffer(owned);
    return ok && copyflag;

too_long:
    // A path the buffers cannot hold would install an incomplete product.
    FindClose(hfind);
    drop_batch(&batch);
    free_buffer(owned);
    MessageBoxA(hDlg, pdst, "INT: Error Creating...", MB_OK);
    return FALSE;
}

int percent_done(ULONGLONG copied, ULONGLONG total)
{
    ULONGLONG perc;
    if (total >= 100)
        perc = copied / (total / 100);
    else if (total > 0)
        perc = copied * 100 / total;
    else
        perc = copied ? 100 : 0;   // nothing announced: done as soon as anything moved
    return perc > 100 ? 100 : static_cast<int>(perc);
}

static void drop_picture()
{
    if (pc.mem) {
        if (pc.oldfont)
            SelectObject(pc.mem, pc.oldfont);
        if (pc.oldbmp)
            SelectObject(pc.mem, pc.oldbmp);
        DeleteDC(pc.mem);
    }
    if (pc.bmp)
        DeleteObject(pc.bmp);
    pc.mem = nullptr;
    pc.bmp = nullptr;
    pc.oldbmp = nullptr;
    pc.oldfont = nullptr;
}

void release_copy_page()
{
    release_path_lines();
    drop_picture();
    if (pc.bar_dc)
        ReleaseDC(pc.bar, pc.bar_dc);
    if (pc.hbuf) {
        LocalUnlock(pc.hbuf);
        LocalFree(pc.hbuf);
    }
    pc = PageCache{};
}

// The picture is made once per page, with the page's font chosen into it.
static HDC bar_canvas(HWND hDlg)
{
    if (pc.mem && pc.size.cx == rcBar.right && pc.size.cy == rcBar.bottom)
        return pc.mem;
    drop_picture();
    if (!pc.bar_dc)
        pc.bar_dc = GetDC(pc.bar);
    if (!pc.bar_dc)
        return nullptr;
    pc.mem = CreateCompatibleDC(pc.bar_dc);
    pc.bmp = CreateCompatibleBitmap(pc.bar_dc, rcBar.right, rcBar.bottom);
    if (!pc.mem || !pc.bmp) {
        drop_picture();
        return nullptr;
    }
    pc.oldbmp = SelectObject(pc.mem, pc.bmp);
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(hDlg, WM_GETFONT, 0, 0));
    pc.oldfont = font ? SelectObject(pc.mem, font) : nullptr;
    pc.size = {rcBar.right, rcBar.bottom};
    pc.drawn_perc = -1;
    return pc.mem;
}

static void compose_bar(HDC mem, int perc)
{
    SetTextColor(mem, GetTextColor(pc.bar_dc));
    FillRect(mem, &rcBar, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
    char text[16];
    int n = snprintf(text, sizeof text, "%li %%", static_cast<long>(perc));
    int oldmode = SetBkMode(mem, TRANSPARENT);
    TextOutA(mem, rcBar.right / 2 - 20, rcBar.top + 4, text, n);
    SetBkMode(mem, oldmode);
    RECT fill = rcBar;
    fill.right = static_cast<LONG>((rcBar.right / 100.0) * perc);
    PatBlt(mem, fill.left, fill.top, fill.right - fill.left, fill.bottom - fill.top, DSTINVERT);
    pc.drawn_perc = perc;
}

static void draw_bar(HWND hDlg)
{
    const int perc = percent_done(bcopied, tbytes);
    pc.bar_behind = false;
    if (pc.bar && rcBar.right > rcBar.left && rcBar.bottom > rcBar.top) {
        // Put on the control in one blit, so the bar never flickers; the
        // picture is composed again only when the percentage changed, which
        // leaves the control's pixels exactly as before.
        if (HDC mem = bar_canvas(hDlg)) {
            if (perc != pc.drawn_perc)
                compose_bar(mem, perc);
            BitBlt(pc.bar_dc, rcBar.left, rcBar.top, rcBar.right - rcBar.left,
                   rcBar.bottom - rcBar.top, mem, rcBar.left, rcBar.top, SRCCOPY);
        }
    }
}

void update_status(HWND hDlg, DWORD, DWORD low)
{
    if (!hDlg)
        return;
    bcopied += low;
    use_page(hDlg);
    pc.bar_behind = true;
    // Between the blocks of a large file the page stays live at the same
    // pace as between files.
    if (frame_due())
        show_copy_frame(hDlg);
    update_bmpinfo(bcopied);
}
