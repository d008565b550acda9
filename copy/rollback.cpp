// A copy run commits whole or leaves the disk as it was. Before the copy
// writes in a directory the record says what that directory held: "E" with
// the names of an existing directory (at its first change: one the copy
// leaves as it was has no entry), "N" for the topmost directory the run
// creates (everything below it is the run's). A plain file the run writes
// over has its bytes kept in the run's pack first ("P" names it, in the
// KEEP_DIR of the first such file's directory) and is then written in
// place; any other file it replaces is renamed aside into KEEP_DIR below its
// own directory. So the record needs no line per file it writes over: the
// names, the pack and the kept-aside files on disk tell the rest. A file the
// run creates in an existing directory has a line of its own, "C", written
// before the file: an undo at a later start must not take for the run's a
// file the user saved there after the crash. A file outside the product's
// directories (a shared library) has one too, "R" replaced (with where it is
// kept) or "C" created.
// "K" marks a run whose copy succeeded: the kept files are garbage then.
// A killed run finds every entry it wrote. Against a power cut the record is
// flushed only before a step that a lost entry would make unrecoverable: a
// rename aside (the kept file would be lost to its owner) and the commit's
// removal of what was kept. A new file or directory whose entry a power cut
// lost is merely left behind; a flush per directory cost an update 6 % more,
// and each flush can wait a tenth of a second on a busy disk. The pack is
// not flushed: a power cut may lose the earlier bytes of a file it was
// writing over, as it would lose the file a plain copy overwrote.
#include "copy/copy.h"
#include "common/journal.h"
#include "common/path_join.h"

#include <cstring>
#include <map>
#include <string>
#include <vector>

// Kept-aside files go into numbered buckets of KEEP_BUCKET files: under
// Wine every name that does not exist yet costs a search of its directory,
// and a small bucket is searched in no time where the product's own
// directory may hold thousands of files.
static const char KEEP_DIR[] = "~qskeep";
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
    // Written by this run already, its earlier self kept: renamed aside, or
    // in the pack and written over in place.
    enum { NOT_KEPT, KEPT_ASIDE, KEPT_IN_PACK } kept;
};

struct RunState {
    bool active;
    char record[PATH_CCH];
    std::vector<std::string> new_dirs;                                 // lower case
    std::map<std::string, std::map<std::string, Listed>> listed;      // dir -> lower name -> entry
    std::map<std::string, std::string> unlisted;   // lower dir -> dir: entered, unchanged so far
    std::vector<std::string> kept;                                     // kept-aside files
    Listed* placing;    // the listed file run_place_file answered for last
    std::string placing_target;
    bool unflushed;     // the record holds entries a power cut could lose
    bool unrecorded;    // the record refused an entry since the last file was placed
    std::map<std::string, std::pair<std::string, int>> keeps;          // dir -> (dir, files kept)
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
};
static RunState run;

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

static bool below_new_dir(const std::string& ldir)
{
    for (const std::string& n : run.new_dirs)
        if (ldir == n || (ldir.compare(0, n.size(), n) == 0 && ldir[n.size()] == '\\'))
            return true;
    return false;
}

static bool is_dir(const std::string& path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
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
                           Listed::NOT_KEPT});
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

// One entry into the record; one it refuses is remembered, so that the file
// it was for is not left out without a word.
static bool note(const std::vector<const char*>& fields)
{
    if (!record_append(fields.data(), static_cast<int>(fields.size()), false)) {
        run.unrecorded = true;
        return false;
    }
    run.unflushed = true;
    return true;
}

static bool note_new_dir(const std::string& dir)
{
    if (!note({"N", dir.c_str()}))
        return false;
    run.new_dirs.push_back(dir_key(dir));
    return true;
}

bool run_begin(const char* record)
{
    run_abandon();
    if (strlen(record) >= sizeof run.record || !record_create(record))
        return false;
    strcpy(run.record, record);
    run.active = true;
    // Directories made on the destination page before the copy belong to the run.
    for (size_t i = 0; i < journal_dir_count(); ++i) {
        std::string d = without_slash(journal_dir(i));
        if (below_new_dir(dir_key(d)))
            continue;
        if (!note_new_dir(d))
            return false;
    }
    return true;
}

// What an existing directory holds goes on record before the first change in
// it, and no sooner: a directory whose files all hold the medium's bytes (an
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
    std::vector<Listed> entries = entries_in(d);
    std::vector<const char*> fields = {"E", d.c_str()};
    std::map<std::string, Listed>& known = run.listed[ld];
    for (const Listed& e : entries) {
        fields.push_back(e.name.c_str());
        known[lower(e.name)] = e;
    }
    return note(fields);
}

bool run_list_dir_of(const char* path)
{
    const char* last = strrchr(path, '\\');
    return !run.active || !last || list_if_unlisted(dir_key(std::string(path, last)));
}

bool run_enter_dir(const char* dir)
{
    if (!run.active)
        return true;
    run.placed_dir.clear();   // it may be listed or new from now on
    std::string d = without_slash(dir);
    std::string ld = dir_key(d);
    if (below_new_dir(ld) || run.listed.count(ld) || run.unlisted.count(ld))
        return true;
    if (is_dir(d)) {
        run.unlisted[ld] = d;
        return true;
    }
    // The topmost level that is missing is the one the run creates.
    std::string top = d;
    for (;;) {
        size_t cut = top.rfind('\\');
        if (cut == std::string::npos || cut < 3 || is_dir(top.substr(0, cut)))
            break;
        top.resize(cut);
    }
    return note_new_dir(top);
}

// A plain file small enough for the pack is kept there and written over in place.
static bool fits_in_place(DWORD attributes, ULONGLONG size)
{
    const DWORD special = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                          FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
    return (attributes & special) == 0 && size <= IN_PLACE_MAX;
}

int run_place_file(const char* path, char* target, size_t cch)
{
    if (strlen(path) >= cch)
        return PLACE_SKIP;
    strcpy(target, path);
    if (!run.active)
        return PLACE_UNKNOWN;
    run.placing = nullptr;
    run.unrecorded = false;
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
    if (run.placed_new)
        return PLACE_NEW;
    if (run.placed_unlisted)
        return PLACE_PROBE;
    if (run.placed_listing) {
        auto had = run.placed_listing->find(lower(name));
        if (had == run.placed_listing->end())
            return note({"C", path}) ? PLACE_NEW : PLACE_SKIP;
        // The old file keeps its own spelling, as a replacement in place would.
        Listed& old = had->second;
        size_t base = strlen(path) - name.size();
        if (base + old.name.size() >= cch)
            return PLACE_SKIP;
        strcpy(target + base, old.name.c_str());
        // Written once already by this run (a merge directory): its own file,
        // unless it was written over in place. The pack may hold that one's
        // earlier bytes only from its first difference on, so it is written
        // over in place again and what it holds now is kept too: the pack is
        // put back last entry first.
        if (old.kept == Listed::KEPT_ASIDE)
            return PLACE_NEW;
        if (old.attributes & FILE_ATTRIBUTE_DIRECTORY)
            return PLACE_SKIP;   // see below
        run.placing = &old;
        run.placing_target = target;
        if (old.kept == Listed::KEPT_IN_PACK)
            return PLACE_REWRITE;
        return fits_in_place(old.attributes, old.size) ? PLACE_OVERWRITE : PLACE_REPLACE;
    }
    // A file outside the product's directories: a line of its own.
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(path, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return note({"C", path}) ? PLACE_NEW : PLACE_SKIP;
    FindClose(h);
    // A directory where the medium has a file stays: a plain copy could not
    // replace it either, and renamed aside it would be left in KEEP_DIR.
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return PLACE_SKIP;
    size_t base = strlen(path) - name.size();
    if (base + strlen(fd.cFileName) >= cch)
        return PLACE_SKIP;
    strcpy(target + base, fd.cFileName);
    return PLACE_REPLACE;   // its line is written by keep_aside, which names the bucket
}

// The buckets and the keep directory of dir, once they are empty.
static void drop_keep_dirs(const std::string& dir)
{
    std::string keep = join(dir, KEEP_DIR);
    for (const std::string& b : names_in(keep))
        RemoveDirectoryA(join(keep, b).c_str());
    RemoveDirectoryA(keep.c_str());
}

static bool make_dir(const std::string& dir)
{
    return CreateDirectoryA(dir.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// The listed file at path was (or no longer is) written by this run.
static void mark_kept(const char* path, decltype(Listed::kept) how)
{
    if (run.placing && run.placing_target == path)
        run.placing->kept = how;
}

// The directory of a file to keep; false where KEEP_DIR cannot be used
// there because a directory of that name is the user's.
struct KeepPlace {
    std::string dir;
    std::string ldir;   // lower case
    bool listed;        // what it held is on record
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
    auto listed = run.listed.find(kp->ldir);
    kp->listed = listed != run.listed.end();
    return !kp->listed || !listed->second.count(lower(KEEP_DIR));
}

bool keep_aside(const char* path, char* kept, size_t cch)
{
    KeepPlace kp;
    if (!keep_place(path, &kp))
        return false;
    const std::string& dir = kp.dir;
    const std::string& ldir = kp.ldir;
    int n = 0;
    if (run.active) {
        auto& k = run.keeps[ldir];
        k.first = dir;
        n = k.second;
    }
    std::string keep = join(dir, KEEP_DIR);
    std::string bucket = join(keep, std::to_string(n / KEEP_BUCKET));
    std::string aside = join(bucket, path + dir.size() + 1);
    if (aside.size() >= cch)
        return false;
    // A file outside the product's directories has a line of its own,
    // naming where it is kept.
    if (run.active && !below_new_dir(ldir) && !kp.listed &&
        !note({"R", path, aside.c_str()}))
        return false;
    if ((n % KEEP_BUCKET == 0 || !run.active) && !(make_dir(keep) && make_dir(bucket)))
        return false;
    if (run.active && run.unflushed) {
        if (!record_flush()) {
            run.unrecorded = true;
            return false;
        }
        run.unflushed = false;
    }
    // A rename, never a copy: same volume, same attributes, no bytes moved.
    if (!MoveFileA(path, aside.c_str())) {
        if (!run.active)
            drop_keep_dirs(dir);
        return false;
    }
    strcpy(kept, aside.c_str());
    if (run.active) {
        run.keeps[ldir].second++;
        run.kept.emplace_back(kept);
        mark_kept(path, Listed::KEPT_ASIDE);
    }
    return true;
}

// The run's pack, in the directory of the first file written over.
static bool open_pack(const char* path)
{
    KeepPlace kp;
    if (!keep_place(path, &kp) || !kp.listed)
        return false;
    std::string keep = join(kp.dir, KEEP_DIR);
    std::string pack = join(keep, PACK_NAME);
    if (!make_dir(keep) || !note({"P", pack.c_str()}) || !pack_open(&run.pack, pack.c_str()))
        return false;
    run.pack_path = pack;
    run.keeps[kp.ldir].first = kp.dir;
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
    int kept = pack_write(&run.pack, file, path, run.pack_buf.data(),
                          static_cast<DWORD>(run.pack_buf.size()), run.stage, from, old_size);
    if (kept == PACK_BROKEN) {
        run.pack_broken = true;
        pack_close(&run.pack);
    }
    if (kept != PACK_KEPT)
        return false;
    mark_kept(path, Listed::KEPT_IN_PACK);
    return true;
}

void put_back(const char* path, const char* kept)
{
    if (MoveFileA(kept, path) && run.active && !run.kept.empty() && run.kept.back() == kept) {
        run.kept.pop_back();
        mark_kept(path, Listed::NOT_KEPT);
    }
    if (!run.active)
        if (const char* last = strrchr(path, '\\'))
            drop_keep_dirs(std::string(path, last));
}

static bool exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// False: the file is still there (held open by another program, most often).
static bool drop_file(const std::string& path)
{
    if (DeleteFileA(path.c_str()))
        return true;
    if (GetLastError() == ERROR_ACCESS_DENIED) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (DeleteFileA(path.c_str()))
            return true;
    }
    return !exists(path);
}

void drop_kept(const char* path, const char* kept)
{
    drop_file(kept);
    if (const char* last = strrchr(path, '\\'))
        drop_keep_dirs(std::string(path, last));
}

// Everything below and including a directory the run created.
static bool remove_tree(const std::string& dir)
{
    for (const std::string& n : names_in(dir)) {
        std::string p = join(dir, n);
        if (is_dir(p))
            remove_tree(p);
        else
            drop_file(p);
    }
    return RemoveDirectoryA(dir.c_str()) || !exists(dir);
}

// An existing directory's kept-aside files back in place (the files the run
// created there have lines of their own). With `forward` the copy had
// succeeded and the kept-aside files go.
static bool restore_listed(const RecordEntry& e, bool forward)
{
    const std::string& dir = e.fields[1];
    // A KEEP_DIR the directory held before the run is the user's.
    for (size_t i = 2; i < e.fields.size(); ++i)
        if (lower(e.fields[i]) == KEEP_DIR)
            return true;
    bool ok = true;
    std::string keep = join(dir, KEEP_DIR);
    for (const std::string& b : names_in(keep)) {
        std::string bucket = join(keep, b);
        for (const std::string& n : names_in(bucket)) {
            std::string aside = join(bucket, n);
            if (forward) {
                drop_file(aside);
                continue;
            }
            std::string back = join(dir, n);
            if (exists(back))
                drop_file(back);
            if (!MoveFileA(aside.c_str(), back.c_str()))
                ok = false;
        }
    }
    drop_keep_dirs(dir);
    return ok;
}

static bool apply(const std::vector<RecordEntry>& entries)
{
    bool forward = false;
    for (const RecordEntry& e : entries)
        forward = forward || e.fields[0] == "K";
    bool ok = true;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const RecordEntry& e = *it;
        const std::string& kind = e.fields[0];
        if (e.fields.size() < 2 || kind == "Q" || kind == "K")
            continue;
        const std::string& path = e.fields[1];
        if (kind == "E") {
            ok = restore_listed(e, forward) && ok;
        } else if (kind == "N") {
            if (!forward && exists(path))
                ok = remove_tree(path) && ok;
        } else if (kind == "R" && e.fields.size() > 2) {
            const std::string& aside = e.fields[2];
            if (exists(aside)) {
                if (forward) {
                    drop_file(aside);
                } else {
                    if (exists(path))
                        drop_file(path);
                    ok = MoveFileA(aside.c_str(), path.c_str()) && ok;
                }
            }
            size_t cut = path.rfind('\\');
            if (cut != std::string::npos)
                drop_keep_dirs(path.substr(0, cut));
        } else if (kind == "P") {
            // A pack that could not be wholly put back stays for the next try.
            if (forward || pack_restore(path.c_str()))
                drop_file(path);
            else
                ok = false;
        } else if (kind == "C") {
            if (!forward && exists(path))
                ok = drop_file(path) && ok;
        }
    }
    return ok;
}

void run_abandon()
{
    pack_close(&run.pack);
    record_close();
    run.active = false;
    run.record[0] = '\0';
    run.new_dirs.clear();
    run.listed.clear();
    run.unlisted.clear();
    run.kept.clear();
    run.placing = nullptr;
    run.placing_target.clear();
    run.unflushed = false;
    run.keeps.clear();
    run.pack_path.clear();
    run.pack_buf = std::vector<BYTE>();
    run.pack_broken = false;
    run.placed_dir.clear();
    run.unrecorded = false;
}

bool run_active()
{
    return run.active;
}

bool run_unrecorded()
{
    return run.active && run.unrecorded;
}

bool run_commit()
{
    if (!run.active)
        return true;
    // What was kept goes only once the record says the copy is done; until
    // then the run can still be undone.
    const char* done[] = {"K"};
    if (!record_append(done, 1, true))
        return false;
    pack_close(&run.pack);
    if (!run.pack_path.empty())
        drop_file(run.pack_path);
    for (const std::string& k : run.kept)
        drop_file(k);
    for (const auto& k : run.keeps)
        drop_keep_dirs(k.second.first);
    std::string record = run.record;
    run_abandon();
    DeleteFileA(record.c_str());
    return true;
}

bool run_undo()
{
    if (!run.active)
        return true;
    std::string record = run.record;
    run_abandon();
    const int undone = run_recover(record.c_str());
    return undone == RECOVER_DONE || undone == RECOVER_NOTHING;
}

int run_recover(const char* record)
{
    std::vector<RecordEntry> entries;
    int state = record_read(record, &entries);
    if (state == RECORD_NONE)
        return RECOVER_NOTHING;
    if (state != RECORD_OK)
        return RECOVER_UNREADABLE;
    // A record that could not be wholly applied stays for the next try.
    if (!apply(entries))
        return RECOVER_INCOMPLETE;
    DeleteFileA(record);
    return RECOVER_DONE;
}
