// A copy run commits whole or leaves the disk as it was. The record names
// everything the run does before it does it, so that an undo at a later
// start touches nothing else (EntryKind in copy/run_machinery.h names each
// kind; "Q", the header, holds the record's layout and the run's stamp):
//   "V" a volume the run changes, with its serial number: an undo waits
//       while that drive is missing or another disk is in its place;
//   "E" an existing directory, at its first change (one the copy leaves as
//       it was has no entry);
//   "N" every directory level the run creates, topmost first;
//   "C" every file the run creates, with the medium's length (again each
//       time the run writes that file anew);
//   "R" a file it replaces, with where it is renamed aside (into KEEP_DIR
//       below its own directory);
//   "P" the run's pack, where a plain file written over in place has its
//       earlier bytes kept first (in the KEEP_DIR of the first such file);
//   "I" the integration owed after the copy, "K" the copy done, "S" a
//       shared-library count raised.
// An undo removes the files the run created, while they are still its own
// (see remove_created), puts back what was renamed aside and what the pack
// kept, then removes each directory the run made once it is empty: a
// document the user saved into one after a crash stays, and so does the
// directory. After "K" the saved files are garbage, and the integration is
// finished from "I".
// A killed run finds every entry it wrote: each goes to the file with one
// WriteFile before the step it names. A power cut keeps the changes of names
// in their order but may lose any bytes not flushed, so the record is on the
// disk before each step it names: a file renamed aside ("R") or the pack
// made ("P"), and, for the files of a batch (run_make_durable), their "C"
// lines, the "N" lines of the directories they go into and the pack's
// entries before any of them is made, created or written over. Every file
// the run writes is flushed before "K", and every byte the undo puts back before the pack and the
// record go. A new file whose bytes a power cut took is removed by the undo
// like any other: its time stamp is a change of names, kept in order.
// KEEP_DIR holds a mark file that says it is this program's: a later run
// takes one over (clearing what committed runs could not delete), while a
// folder of that name without the mark is the user's and stops the run.
#include "copy/diskpace.h"
#include "copy/run_machinery.h"
#include "common/at_restart.h"
#include "common/fileops.h"
#include "common/journal.h"
#include "common/path_join.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

// Kept-aside files go into numbered buckets of KEEP_BUCKET files: under
// Wine every name that does not exist yet costs a search of its directory,
// and a small bucket is searched in no time where the product's own
// directory may hold thousands of files.
static const char KEEP_DIR[] = "~qskeep";
static const char KEEP_MARK[] = "qsetup.own";
// What a committed run could not delete (a running program's file) waits
// here for the next restart or the next run.
static const char KEEP_GONE[] = "gone";
constexpr int KEEP_BUCKET = 64;
static const char PACK_NAME[] = "pack";
// Larger files are renamed aside: a rename costs the same at any size, the
// pack one more read and one more write of every byte.
constexpr ULONGLONG IN_PLACE_MAX = 256 * 1024;

// What a directory held when the run first came to it.
struct Listed {
    std::string name;   // as the disk spells it
    DWORD attributes;
    ULONGLONG size;
    // Written by this run already, its earlier self saved: renamed aside, or
    // stored in the pack and written over in place.
    enum { NOT_SAVED, SAVED_ASIDE, SAVED_IN_PACK } saved;
};

// The run's KEEP_DIR in one directory.
struct KeepDir {
    std::string dir;     // the directory it is in, as given
    bool ready = false;
    int bucket = 0;      // the bucket kept files go into now
    int in_bucket = 0;   // files in it
};

struct RunState {
    bool active;
    char record[PATH_CCH];
    FILETIME stamp;                 // on every file the run creates
    char stamp_text[24];
    std::set<std::string> new_dirs;                                    // lower case
    std::map<std::string, unsigned> created;   // lower case: the lines naming it so far
    std::set<std::string> volumes;                                     // noted, lower case
    std::map<std::string, std::map<std::string, Listed>> listed;      // dir -> lower name -> entry
    std::map<std::string, std::string> unlisted;   // lower dir -> dir: entered, unchanged so far
    std::vector<std::string> aside;                                    // files renamed aside
    Listed* placing;    // the listed file run_place_file answered for last
    std::string placing_target;
    bool unflushed;     // the record holds entries a power cut could lose
    int failure;        // why the file placed last cannot be written
    std::map<std::string, KeepDir> keep_dirs;                          // lower dir -> its KEEP_DIR
    // The directory of the file placed last, looked up once for all its files.
    std::string placed_dir;                                            // as given
    std::map<std::string, Listed>* placed_listing;                     // null: new or outside
    bool placed_new;
    bool placed_unlisted;
    Pack pack;          // one per run: one per directory cost 0.2 s more at 120 directories
    std::vector<BYTE> pack_buf;   // a whole file to keep, head and tail: one read, one write
    PackStage stage;              // what pack_buf holds of the file placed last
    std::string pack_path;
    bool pack_broken;
    bool pack_unflushed;          // it holds entries a power cut could lose
    // A committed run whose integration is still owed; the record stays open.
    bool integrating;
    std::vector<std::string> integration;   // the "I" entry
    std::set<std::string> counted;          // counts raised, lower case
};
static RunState run;
// "I" for the next commit, set by the install sequence before the copy.
static std::vector<std::string> planned_integration;

static std::string lower(const std::string& s)
{
    std::string out = s;
    if (!out.empty())
        CharLowerBuffA(&out[0], static_cast<DWORD>(out.size()));
    return out;
}

static std::string without_slash(const char* dir)
{
    std::string d = dir;
    while (d.size() > 3 && d.back() == '\\')
        d.pop_back();
    return d;
}

// The key of a directory in memory: lower case, no trailing backslash, so
// that "E:\" and the "E:" before a file's name meet.
static std::string dir_key(std::string d)
{
    while (!d.empty() && d.back() == '\\')
        d.pop_back();
    return lower(d);
}

static std::string join(const std::string& dir, const std::string& name)
{
    return !dir.empty() && dir.back() == '\\' ? dir + name : dir + "\\" + name;
}

static std::string parent_of(const std::string& path)
{
    size_t cut = path.rfind('\\');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

// ldir, or a directory above it, is one the run made.
static bool below_new_dir(const std::string& ldir)
{
    if (run.new_dirs.empty())
        return false;
    for (size_t cut = ldir.find('\\'); cut != std::string::npos; cut = ldir.find('\\', cut + 1))
        if (run.new_dirs.count(ldir.substr(0, cut)))
            return true;
    return run.new_dirs.count(ldir) != 0;
}

static bool is_dir(const std::string& path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

static bool exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The entries of dir (files and directories), names as the disk spells them.
static std::vector<Listed> entries_in(const std::string& dir)
{
    std::vector<Listed> out;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(join(dir, "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    do {
        if (strcmp(fd.cFileName, ".") != 0 && strcmp(fd.cFileName, "..") != 0)
            out.push_back({fd.cFileName, fd.dwFileAttributes,
                           (static_cast<ULONGLONG>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow,
                           Listed::NOT_SAVED});
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return out;
}

static std::vector<std::string> names_in(const std::string& dir)
{
    std::vector<std::string> out;
    for (Listed& e : entries_in(dir))
        out.push_back(std::move(e.name));
    return out;
}

// "X:\" or "\\server\share\" of a full path; empty for anything else.
static std::string volume_root(const std::string& path)
{
    if (path.size() >= 3 && path[1] == ':' && path[2] == '\\')
        return lower(path.substr(0, 3));
    if (path.compare(0, 2, "\\\\") != 0)
        return std::string();
    size_t server = path.find('\\', 2);
    size_t share = server == std::string::npos ? server : path.find('\\', server + 1);
    if (server == std::string::npos || server == 2 || share == server + 1)
        return std::string();
    return lower(share == std::string::npos ? path + "\\" : path.substr(0, share + 1));
}

// The serial number of the volume at root, as the record spells it; empty
// when the system gives none (the drive is then only required to exist).
static std::string volume_serial(const std::string& root)
{
    DWORD serial = 0;
    if (!GetVolumeInformationA(root.c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0))
        return std::string();
    char text[16];
    snprintf(text, sizeof text, "%08lX", static_cast<unsigned long>(serial));
    return text;
}

// The kinds whose second field is a path on a volume the run changes.
static bool path_entry(EntryKind kind)
{
    return kind == EntryKind::NewDir || kind == EntryKind::Created ||
           kind == EntryKind::ExistingDir || kind == EntryKind::RenamedAside ||
           kind == EntryKind::Pack;
}

// One entry into the record; one it refuses is remembered, so that the file
// it was for is not left out without a word. The first entry on a volume
// is preceded by the volume's serial number.
static bool note(EntryKind kind, std::vector<const char*> fields)
{
    if (!fields.empty() && path_entry(kind)) {
        const std::string root = volume_root(fields[0]);
        if (!root.empty() && !run.volumes.count(root)) {
            const std::string serial = volume_serial(root);
            const char* v[] = {entry_letter(EntryKind::Volume), root.c_str(), serial.c_str()};
            if (!record_append(v, 3, false)) {
                run.failure = RUN_RECORD_REFUSED;
                return false;
            }
            run.volumes.insert(root);
        }
    }
    fields.insert(fields.begin(), entry_letter(kind));
    if (!record_append(fields.data(), static_cast<int>(fields.size()), false)) {
        run.failure = RUN_RECORD_REFUSED;
        return false;
    }
    run.unflushed = true;
    return true;
}

static bool note_new_dir(const std::string& dir)
{
    if (!note(EntryKind::NewDir, {dir.c_str()}))
        return false;
    run.new_dirs.insert(dir_key(dir));
    return true;
}

static bool note_created(const char* path, const std::string& lpath, ULONGLONG size)
{
    const std::string length = std::to_string(size);
    if (!note(EntryKind::Created, {path, length.c_str()}))
        return false;
    ++run.created[lpath];
    return true;
}

// The entries so far on the disk, before a step they name.
static bool durable_record()
{
    if (!run.unflushed)
        return true;
    if (!record_flush()) {
        run.failure = RUN_RECORD_REFUSED;
        return false;
    }
    run.unflushed = false;
    return true;
}

bool run_make_durable()
{
    if (!run.active)
        return true;
    if (!durable_record())
        return false;
    if (run.pack_unflushed) {
        if (!fs_flush(run.pack.file)) {
            run.failure = RUN_RECORD_REFUSED;
            return false;
        }
        run.pack_unflushed = false;
    }
    return true;
}

// The run's time stamp: its start, to an even second, which every file
// system keeps exactly (FAT keeps two).
static void take_stamp()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULONGLONG t = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    t -= t % 20000000u;
    run.stamp.dwLowDateTime = static_cast<DWORD>(t);
    run.stamp.dwHighDateTime = static_cast<DWORD>(t >> 32);
    snprintf(run.stamp_text, sizeof run.stamp_text, "%016llX", t);
}

bool run_begin(const char* record)
{
    run_abandon();
    pace_forget();   // the run may write to another disk than the last
    run.failure = RUN_OK;
    take_stamp();
    if (strlen(record) >= sizeof run.record) {
        run.failure = RUN_RECORD_DENIED;
        return false;
    }
    if (!record_create(record, run.stamp_text)) {
        const DWORD err = GetLastError();
        run.failure = err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS ||
                              err == ERROR_SHARING_VIOLATION
                          ? RUN_RECORD_EXISTS
                      : err == ERROR_DISK_FULL || err == ERROR_HANDLE_DISK_FULL
                          ? RUN_RECORD_REFUSED
                          : RUN_RECORD_DENIED;
        return false;
    }
    strcpy(run.record, record);
    run.active = true;
    // Directories made on the destination page before the copy belong to the run.
    for (size_t i = 0; i < journal_dir_count(); ++i) {
        std::string d = without_slash(journal_dir(i));
        if (!run.new_dirs.count(dir_key(d)) && !note_new_dir(d))
            return false;
    }
    return durable_record();
}

// What an existing directory holds is known before the first change in it,
// and no sooner: a directory whose files all hold the medium's bytes (an
// update from the same medium, a repair) is never listed, which under Wine
// cost some 12 µs a file.
static bool list_if_unlisted(const std::string& ld)
{
    auto it = run.unlisted.find(ld);
    if (it == run.unlisted.end())
        return true;
    const std::string d = it->second;
    run.unlisted.erase(it);
    run.placed_dir.clear();   // listed from now on
    std::map<std::string, Listed>& known = run.listed[ld];
    for (const Listed& e : entries_in(d))
        known[lower(e.name)] = e;
    return note(EntryKind::ExistingDir, {d.c_str()});
}

bool run_list_dir_of(const char* path)
{
    const char* last = strrchr(path, '\\');
    return !run.active || !last || list_if_unlisted(dir_key(std::string(path, last)));
}

static bool known_dir(const std::string& ld)
{
    return run.new_dirs.count(ld) || run.listed.count(ld) || run.unlisted.count(ld);
}

bool run_enter_dir(const char* dir)
{
    if (!run.active)
        return true;
    run.placed_dir.clear();   // it may be listed or new from now on
    std::string d = without_slash(dir);
    std::string ld = dir_key(d);
    if (known_dir(ld))
        return true;
    // Below a directory the run made nothing exists that the run did not make.
    if (!below_new_dir(ld) && is_dir(d)) {
        run.unlisted[ld] = d;
        return true;
    }
    // Every level the run makes is on record before it is made, topmost
    // first, so that an undo can remove each one that is then empty.
    std::vector<std::string> levels = {d};
    for (std::string up = parent_of(d); up.size() > 3; up = parent_of(up)) {
        const std::string lup = dir_key(up);
        if (known_dir(lup) || (!below_new_dir(lup) && is_dir(up)))
            break;
        levels.push_back(up);
    }
    // Made by the copy with the batch of their first file, once these are safe.
    for (auto it = levels.rbegin(); it != levels.rend(); ++it)
        if (!note_new_dir(*it))
            return false;
    return true;
}

// A plain file small enough for the pack is kept there and written over in place.
static bool fits_in_place(DWORD attributes, ULONGLONG size)
{
    const DWORD special = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                          FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
    return (attributes & special) == 0 && size <= IN_PLACE_MAX;
}

Place run_place_file(const char* path, char* target, size_t cch, ULONGLONG size)
{
    if (strlen(path) >= cch)
        return PLACE_SKIP;
    strcpy(target, path);
    if (!run.active)
        return PLACE_UNKNOWN;
    run.placing = nullptr;
    run.failure = RUN_OK;
    const char* last = strrchr(path, '\\');
    if (!last)
        return PLACE_SKIP;
    const std::string name = last + 1;
    if (run.placed_dir.empty() || run.placed_dir.size() != static_cast<size_t>(last - path) ||
        run.placed_dir.compare(0, std::string::npos, path, last - path) != 0) {
        run.placed_dir.assign(path, last);
        std::string ldir = dir_key(run.placed_dir);
        run.placed_new = below_new_dir(ldir);
        run.placed_unlisted = run.unlisted.count(ldir) != 0;
        auto dir = run.listed.find(ldir);
        run.placed_listing = dir == run.listed.end() ? nullptr : &dir->second;
    }
    // Written once already by this run (a merge directory brings it again):
    // on record once more, so that the lines name the run's files in the
    // order they are written, and the one a kill cut short is still the
    // first after the last one finished.
    const std::string lpath = lower(path);
    if (run.created.count(lpath))
        return note_created(path, lpath, size) ? PLACE_OWN : PLACE_SKIP;
    if (run.placed_new)
        return note_created(path, lpath, size) ? PLACE_NEW : PLACE_SKIP;
    if (run.placed_unlisted)
        return PLACE_PROBE;
    if (run.placed_listing) {
        auto had = run.placed_listing->find(lower(name));
        if (had == run.placed_listing->end())
            return note_created(path, lpath, size) ? PLACE_NEW : PLACE_SKIP;
        // The old file keeps its own spelling, as a replacement in place would.
        Listed& old = had->second;
        size_t base = strlen(path) - name.size();
        if (base + old.name.size() >= cch)
            return PLACE_SKIP;
        strcpy(target + base, old.name.c_str());
        // Replaced once already: the new file is the run's own. One written
        // over in place may have only its tail in the pack, so it is written
        // over in place again and what it holds now is kept too: the pack is
        // put back last entry first.
        if (old.saved == Listed::SAVED_ASIDE)
            return PLACE_OWN;
        if (old.attributes & FILE_ATTRIBUTE_DIRECTORY)
            return PLACE_SKIP;   // see below
        run.placing = &old;
        run.placing_target = target;
        if (old.saved == Listed::SAVED_IN_PACK)
            return PLACE_REWRITE;
        return fits_in_place(old.attributes, old.size) ? PLACE_OVERWRITE : PLACE_REPLACE;
    }
    // A file outside the product's directories.
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(path, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return note_created(path, lpath, size) ? PLACE_NEW : PLACE_SKIP;
    FindClose(h);
    // A directory where the medium has a file stays: a plain copy could not
    // replace it either, and renamed aside it would be left in KEEP_DIR.
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return PLACE_SKIP;
    size_t base = strlen(path) - name.size();
    if (base + strlen(fd.cFileName) >= cch)
        return PLACE_SKIP;
    strcpy(target + base, fd.cFileName);
    return PLACE_REPLACE;
}

// The stamp of the nth write of one file by the run: two seconds later for
// each, so that a file the run writes again (a merge directory brings it
// twice) carries the old stamp only until its new write is done.
static FILETIME write_stamp(const FILETIME& stamp, unsigned nth)
{
    ULONGLONG t = (static_cast<ULONGLONG>(stamp.dwHighDateTime) << 32) | stamp.dwLowDateTime;
    t += (nth ? nth - 1 : 0) * 20000000ULL;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(t);
    ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
    return ft;
}

void run_stamp(HANDLE file, const char* path)
{
    if (!run.active)
        return;
    auto it = run.created.find(lower(path));
    const FILETIME ft = write_stamp(run.stamp, it == run.created.end() ? 1 : it->second);
    fs_set_times(file, nullptr, nullptr, &ft);
}

static bool make_dir(const std::string& dir)
{
    return fs_mkdir(dir.c_str()) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// False: the file is still there (held open by another program, most often).
static bool drop_file(const std::string& path)
{
    if (fs_delete(path.c_str()))
        return true;
    if (GetLastError() == ERROR_ACCESS_DENIED) {
        fs_set_attributes(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (fs_delete(path.c_str()))
            return true;
    }
    return !exists(path);
}

static bool ours(const std::string& keep)
{
    DWORD a = GetFileAttributesA(join(keep, KEEP_MARK).c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// A kept file that must go but cannot (a running program's file: Windows
// renames it, but deletes it only once the program ends) is moved into
// KEEP_GONE of its keep directory, for the next restart, or for the next run
// that comes to the directory.
static void drop_or_leave(const std::string& kept)
{
    if (drop_file(kept))
        return;
    const std::string bucket = parent_of(kept);
    const std::string gone = join(parent_of(bucket), KEEP_GONE);
    const std::string to =
        join(gone, bucket.substr(bucket.rfind('\\') + 1) + "-" + kept.substr(bucket.size() + 1));
    const bool moved = make_dir(gone) && fs_rename(kept.c_str(), to.c_str());
    delete_at_restart(moved ? to.c_str() : kept.c_str());
}

// What earlier runs left in KEEP_GONE goes; the number of the first bucket
// no earlier run left behind.
static int clear_leftovers(const std::string& keep)
{
    const std::string gone = join(keep, KEEP_GONE);
    for (const std::string& n : names_in(gone))
        drop_file(join(gone, n));
    fs_rmdir(gone.c_str());
    int next = 0;
    for (const std::string& n : names_in(keep)) {
        char* end = nullptr;
        long b = strtol(n.c_str(), &end, 10);
        if (!n.empty() && *end == '\0' && b >= next && b < 1000000)
            next = static_cast<int>(b) + 1;
    }
    return next;
}

// KEEP_DIR of dir is usable: absent (made when the first file goes in), or
// marked as this program's. One without the mark is the user's.
static bool ready_keep(const std::string& dir, KeepDir* k)
{
    if (k->ready)
        return true;
    const std::string keep = join(dir, KEEP_DIR);
    DWORD a = GetFileAttributesA(keep.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && (!(a & FILE_ATTRIBUTE_DIRECTORY) || !ours(keep))) {
        run.failure = RUN_KEEP_REFUSED;
        return false;
    }
    k->bucket = a == INVALID_FILE_ATTRIBUTES ? 0 : clear_leftovers(keep);
    k->in_bucket = 0;
    k->ready = true;
    return true;
}

// KEEP_DIR with its mark, and the directory sub within it (if any).
static bool make_keep(const std::string& keep, const std::string& sub)
{
    if (!make_dir(keep))
        return false;
    HANDLE mark = fs_open(join(keep, KEEP_MARK).c_str(), GENERIC_WRITE, 0, CREATE_NEW);
    if (mark != INVALID_HANDLE_VALUE)
        fs_close(mark);
    else if (!ours(keep))
        return false;
    return sub.empty() || make_dir(join(keep, sub));
}

// The buckets and the keep directory of dir, once they are empty. One
// without the mark is only removed while empty: a run killed between making
// it and marking it left it so.
static void drop_keep_dirs(const std::string& dir)
{
    const std::string keep = join(dir, KEEP_DIR);
    if (!ours(keep)) {
        fs_rmdir(keep.c_str());
        return;
    }
    bool empty = true;
    for (const std::string& n : names_in(keep))
        if (lower(n) != KEEP_MARK && !fs_rmdir(join(keep, n).c_str()))
            empty = false;
    if (empty && fs_delete(join(keep, KEEP_MARK).c_str()))
        fs_rmdir(keep.c_str());
}

// The listed file at path was (or no longer is) written by this run.
static void mark_saved(const char* path, decltype(Listed::saved) how)
{
    if (run.placing && run.placing_target == path)
        run.placing->saved = how;
}

// The directory of a file to keep, listed if the run had not listed it yet.
struct KeepPlace {
    std::string dir;
    std::string ldir;   // lower case
    bool listed;        // what it held is known
};

static bool keep_place(const char* path, KeepPlace* kp)
{
    const char* last = strrchr(path, '\\');
    if (!last)
        return false;
    kp->dir.assign(path, last);
    kp->ldir = dir_key(kp->dir);
    if (!list_if_unlisted(kp->ldir))
        return false;
    kp->listed = run.listed.count(kp->ldir) != 0;
    return true;
}

// A rename refused because another program has the file open: the file is
// in use, and skipped like one that cannot be opened.
static bool in_use(DWORD err)
{
    return err == ERROR_SHARING_VIOLATION || err == ERROR_ACCESS_DENIED ||
           err == ERROR_LOCK_VIOLATION;
}

bool keep_aside(const char* path, char* out, size_t cch)
{
    KeepPlace kp;
    if (!keep_place(path, &kp))
        return false;
    const std::string& dir = kp.dir;
    KeepDir alone;
    KeepDir* k = &alone;
    if (run.active) {
        k = &run.keep_dirs[kp.ldir];
        k->dir = dir;
    }
    if (!ready_keep(dir, k))
        return false;
    if (k->in_bucket == KEEP_BUCKET) {
        ++k->bucket;
        k->in_bucket = 0;
    }
    const std::string keep = join(dir, KEEP_DIR);
    const std::string bucket = std::to_string(k->bucket);
    const std::string aside = join(join(keep, bucket), path + dir.size() + 1);
    if (aside.size() >= cch) {
        run.failure = RUN_KEEP_REFUSED;
        return false;
    }
    // On the disk before the keep directory is made and the file goes there.
    if (run.active && (!note(EntryKind::RenamedAside, {path, aside.c_str()}) || !durable_record()))
        return false;
    if (k->in_bucket == 0 && !make_keep(keep, bucket)) {
        run.failure = RUN_KEEP_REFUSED;
        return false;
    }
    // A rename, never a copy: same volume, same attributes, no bytes moved.
    if (!fs_rename(path, aside.c_str())) {
        if (!in_use(GetLastError()))
            run.failure = RUN_KEEP_REFUSED;
        if (!run.active)
            drop_keep_dirs(dir);
        return false;
    }
    strcpy(out, aside.c_str());
    ++k->in_bucket;
    if (run.active) {
        run.aside.push_back(aside);
        mark_saved(path, Listed::SAVED_ASIDE);
    }
    return true;
}

// The run's pack, in the directory of the first file written over, under a
// name no file there has: a pack found in KEEP_DIR belongs to a run whose
// undo the user left, and is never put back as this run's.
static bool open_pack(const char* path)
{
    KeepPlace kp;
    if (!keep_place(path, &kp) || !kp.listed)
        return false;
    KeepDir& k = run.keep_dirs[kp.ldir];
    k.dir = kp.dir;
    if (!ready_keep(kp.dir, &k))
        return false;
    const std::string keep = join(kp.dir, KEEP_DIR);
    std::string pack;
    for (int n = 0; n < 100 && pack.empty(); ++n) {
        std::string name = join(keep, PACK_NAME + (n ? std::to_string(n) : std::string()));
        if (!exists(name))
            pack = name;
    }
    if (pack.empty() || !note(EntryKind::Pack, {pack.c_str()}) || !durable_record() || !make_keep(keep, "") ||
        !pack_open(&run.pack, pack.c_str())) {
        run.pack_broken = true;   // files are renamed aside instead
        return false;
    }
    run.pack_path = pack;
    return true;
}

bool stage_in_place(const char* path, HANDLE file, const BYTE** old, DWORD* count)
{
    if (!run.active || run.pack_broken)
        return false;
    if (run.pack_buf.empty())
        run.pack_buf.resize(IN_PLACE_MAX + MAX_PATH + 64);
    if (!pack_read(file, path, run.pack_buf.data(), static_cast<DWORD>(run.pack_buf.size()),
                   &run.stage))
        return false;
    const bool whole = run.stage.got == run.stage.size;
    *old = whole ? pack_bytes(run.pack_buf.data(), path) : nullptr;
    *count = run.stage.got;
    return true;
}

bool keep_staged(const char* path, HANDLE file, ULONGLONG from, ULONGLONG* old_size)
{
    if (run.pack.file == INVALID_HANDLE_VALUE && !open_pack(path))
        return false;
    int stored = pack_write(&run.pack, file, path, run.pack_buf.data(),
                            static_cast<DWORD>(run.pack_buf.size()), run.stage, from, old_size);
    if (stored == PACK_BROKEN) {
        run.pack_broken = true;
        pack_close(&run.pack);
    }
    if (stored != PACK_STORED)
        return false;
    run.pack_unflushed = true;   // flushed before the file is written over
    mark_saved(path, Listed::SAVED_IN_PACK);
    return true;
}

void put_back(const char* path, const char* aside)
{
    if (fs_rename(aside, path) && run.active && !run.aside.empty() && run.aside.back() == aside) {
        run.aside.pop_back();
        mark_saved(path, Listed::NOT_SAVED);
    }
    if (!run.active)
        drop_keep_dirs(parent_of(path));
}

void drop_aside(const char* path, const char* aside)
{
    drop_file(aside);
    drop_keep_dirs(parent_of(path));
}

// The files the run created go, each only while it is still the run's: it
// carries a stamp of the run's, or it is the file the run was writing when it
// ended, no longer than the medium's. The run writes its files in the order
// of their lines (a batch's lines go before any of its files; a file written
// again has a line again, and a later stamp), so that one is the first named
// after the last line whose write is done. A file under such a name that is
// neither was put there by someone else since the run ended (another
// installer), and stays.
static bool remove_created(const std::vector<RecordEntry>& entries, const FILETIME& stamp)
{
    struct File {
        bool present = false;
        ULONGLONG size = 0;
        FILETIME written{};
        unsigned writes = 0;   // lines naming it so far
    };
    struct Line {
        const std::string* path;
        std::string key;
        ULONGLONG expected;
    };
    std::map<std::string, File> files;
    std::vector<Line> lines;
    size_t writing = 0;   // the first after the last whose write is done
    for (const RecordEntry& e : entries) {
        if (e.kind() != EntryKind::Created || e.fields.size() < 3)
            continue;
        Line line{&e.fields[1], lower(e.fields[1]), strtoull(e.fields[2].c_str(), nullptr, 10)};
        auto found = files.find(line.key);
        if (found == files.end()) {
            File f;
            WIN32_FILE_ATTRIBUTE_DATA d;
            if (GetFileAttributesExA(line.path->c_str(), GetFileExInfoStandard, &d) &&
                !(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                f.present = true;
                f.size = (static_cast<ULONGLONG>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
                f.written = d.ftLastWriteTime;
            }
            found = files.emplace(line.key, f).first;
        }
        File& f = found->second;
        const FILETIME done = write_stamp(stamp, ++f.writes);
        lines.push_back(line);
        if (f.present && CompareFileTime(&f.written, &done) == 0)
            writing = lines.size();
    }
    bool ok = true;
    for (size_t i = lines.size(); i-- > 0;) {
        auto found = files.find(lines[i].key);
        if (found == files.end())
            continue;   // decided at its last line
        const File& f = found->second;
        bool ours = false;
        for (unsigned n = 1; n <= f.writes && !ours; ++n) {
            const FILETIME s = write_stamp(stamp, n);
            ours = CompareFileTime(&f.written, &s) == 0;
        }
        if (writing < lines.size() && lines[writing].key == lines[i].key)
            ours = ours || f.size <= lines[writing].expected;
        if (f.present && ours)
            ok = drop_file(*lines[i].path) && ok;
        files.erase(found);
    }
    return ok;
}

// The disk as the record leaves it: forward (the copy was done) the saved
// files go; otherwise everything the run made goes and what it saved comes back.
static bool apply(const std::vector<RecordEntry>& entries, bool forward, const FILETIME& stamp)
{
    bool ok = forward || remove_created(entries, stamp);
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const RecordEntry& e = *it;
        const EntryKind kind = e.kind();
        if (e.fields.size() < 2)
            continue;
        const std::string& path = e.fields[1];
        if (kind == EntryKind::RenamedAside && e.fields.size() > 2) {
            const std::string& aside = e.fields[2];
            if (exists(aside)) {
                if (forward) {
                    drop_or_leave(aside);
                } else {
                    if (exists(path))
                        drop_file(path);
                    ok = fs_rename(aside.c_str(), path.c_str()) && ok;
                }
            }
            drop_keep_dirs(parent_of(path));
        } else if (kind == EntryKind::Pack) {
            // A pack that could not be wholly put back stays for the next try.
            if (forward || pack_restore(path.c_str())) {
                drop_file(path);
                drop_keep_dirs(parent_of(parent_of(path)));
            } else {
                ok = false;
            }
        }
    }
    // Deepest first; one that holds something of someone else's stays.
    if (!forward)
        for (auto it = entries.rbegin(); it != entries.rend(); ++it)
            if (it->kind() == EntryKind::NewDir && it->fields.size() > 1)
                fs_rmdir(it->fields[1].c_str());
    return ok;
}

// Every drive the record names is there, and it is the disk the run changed.
static bool volumes_present(const std::vector<RecordEntry>& entries)
{
    std::map<std::string, std::string> serials;
    std::set<std::string> roots;
    for (const RecordEntry& e : entries) {
        if (e.fields.size() > 2 && e.kind() == EntryKind::Volume)
            serials[lower(e.fields[1])] = e.fields[2];
        else if (e.fields.size() > 1 && path_entry(e.kind()))
            roots.insert(volume_root(e.fields[1]));
    }
    for (const std::string& root : roots) {
        if (root.empty())
            continue;
        auto s = serials.find(root);
        if (s != serials.end() && !s->second.empty() ? volume_serial(root) != s->second
                                                      : !is_dir(root))
            return false;
    }
    return true;
}

static void forget_copy()
{
    pack_close(&run.pack);
    run.active = false;
    run.new_dirs.clear();
    run.created.clear();
    run.volumes.clear();
    run.listed.clear();
    run.unlisted.clear();
    run.aside.clear();
    run.placing = nullptr;
    run.placing_target.clear();
    run.unflushed = false;
    run.keep_dirs.clear();
    run.pack_path.clear();
    run.pack_buf = std::vector<BYTE>();
    run.pack_broken = false;
    run.pack_unflushed = false;
    run.placed_dir.clear();
}

void run_abandon()
{
    forget_copy();
    record_close();
    run.record[0] = '\0';
    run.integrating = false;
    run.integration.clear();
    run.counted.clear();
}

bool run_active()
{
    return run.active;
}

int run_failure()
{
    return run.failure;
}

void run_plan_integration(const INSPB* pp, const GROUP* grp)
{
    planned_integration = {entry_letter(EntryKind::Integration), std::to_string(pp->lcode), grp->new_ ? "1" : "0", pp->szDst,
                           grp->szGroup};
}

static bool append(const std::vector<std::string>& fields, bool flush)
{
    std::vector<const char*> f;
    for (const std::string& s : fields)
        f.push_back(s.c_str());
    return record_append(f.data(), static_cast<int>(f.size()), flush);
}

bool run_commit()
{
    if (!run.active)
        return true;
    // What was kept goes only once the record says the copy is done; until
    // then the run can still be undone. The integration owed is on record
    // with it, so that a kill before it ends has it finished at the next start.
    std::vector<std::string> integration;
    integration.swap(planned_integration);
    const char* done[] = {entry_letter(EntryKind::CopyDone)};
    if ((!integration.empty() && !append(integration, false)) || !record_append(done, 1, true))
        return false;
    pack_close(&run.pack);
    if (!run.pack_path.empty())
        drop_file(run.pack_path);
    for (const std::string& a : run.aside)
        drop_or_leave(a);
    for (const auto& k : run.keep_dirs)
        drop_keep_dirs(k.second.dir);
    if (!integration.empty()) {
        forget_copy();
        run.integrating = true;
        run.integration = integration;
        return true;
    }
    std::string record = run.record;
    run_abandon();
    fs_delete(record.c_str());
    return true;
}

bool run_undo()
{
    planned_integration.clear();
    if (!run.active)
        return true;
    std::string record = run.record;
    run_abandon();
    const int undone = run_recover(record.c_str());
    return undone == RECOVER_DONE || undone == RECOVER_NOTHING;
}

bool run_pending_integration(INSPB* pp, GROUP* grp)
{
    const std::vector<std::string>& f = run.integration;
    if (!run.integrating || f.size() < 5 || f[3].size() >= sizeof pp->szDst ||
        f[4].size() >= sizeof grp->szGroup)
        return false;
    pp->lcode = static_cast<WORD>(atoi(f[1].c_str()));
    grp->new_ = f[2] == "1";
    strcpy(pp->szDst, f[3].c_str());
    strcpy(grp->szGroup, f[4].c_str());
    return true;
}

bool run_count_due(const char* name)
{
    if (!run.integrating)
        return true;
    const std::string lname = lower(name);
    if (run.counted.count(lname))
        return false;
    // Raised even where the record refuses the entry: a count one too low
    // lets another program's uninstaller delete a library still in use.
    const char* counted[] = {entry_letter(EntryKind::CountRaised), name};
    record_append(counted, 2, true);
    run.counted.insert(lname);
    return true;
}

void run_integrated()
{
    if (!run.integrating)
        return;
    std::string record = run.record;
    run_abandon();
    fs_delete(record.c_str());
}

// An unreadable record goes aside under a name of its own ("qsetup.bad"),
// with everything it names left in place, for whoever can read it.
static void set_aside(const char* record)
{
    std::string base = record;
    size_t dot = base.rfind('.');
    if (dot != std::string::npos && base.find('\\', dot) == std::string::npos)
        base.resize(dot);
    for (int n = 0; n < 10; ++n) {
        std::string to = base + (n ? std::to_string(n) : "") + ".bad";
        if (fs_rename(record, to.c_str()))
            return;
    }
}

static FILETIME stamp_of(const std::vector<RecordEntry>& entries)
{
    FILETIME ft{};
    if (!entries.empty() && entries[0].fields.size() > 2) {
        ULONGLONG t = strtoull(entries[0].fields[2].c_str(), nullptr, 16);
        ft.dwLowDateTime = static_cast<DWORD>(t);
        ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
    }
    return ft;
}

int run_recover(const char* record)
{
    std::vector<RecordEntry> entries;
    const int state = record_read(record, &entries, true);
    if (state == RECORD_NONE)
        return RECOVER_NOTHING;
    if (state == RECORD_BUSY)
        return RECOVER_BUSY;
    if (state != RECORD_OK) {
        set_aside(record);
        return RECOVER_UNREADABLE;
    }
    // Held, unshared, while it is applied: no second setup applies it too.
    if (!volumes_present(entries)) {
        record_close();
        return RECOVER_VOLUME_MISSING;
    }
    const RecordEntry* integration = nullptr;
    bool forward = false;
    for (const RecordEntry& e : entries) {
        forward = forward || e.kind() == EntryKind::CopyDone;
        if (e.kind() == EntryKind::Integration)
            integration = &e;
    }
    if (!apply(entries, forward, stamp_of(entries))) {
        record_close();
        return RECOVER_INCOMPLETE;
    }
    if (forward && integration) {
        // The record stays open for the counts the integration raises.
        forget_copy();
        run.counted.clear();
        run.integrating = true;
        run.integration = integration->fields;
        strcpy(run.record, record);
        for (const RecordEntry& e : entries)
            if (e.kind() == EntryKind::CountRaised && e.fields.size() > 1)
                run.counted.insert(lower(e.fields[1]));
        return RECOVER_INTEGRATE;
    }
    record_close();
    fs_delete(record);
    return RECOVER_DONE;
}

void run_forget(const char* record)
{
    run_abandon();
    fs_delete(record);
}
