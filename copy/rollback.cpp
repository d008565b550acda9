// A copy run commits whole or leaves the disk as it was. Before the copy
// writes in a directory the record says what that directory held: "E" with
// the names of an existing directory, "N" for the topmost directory the run
// creates (everything below it is the run's). A file the run replaces is
// first renamed aside to its name + KEEP_SUFFIX in the same directory, so
// the record needs no line per file: the names and the kept-aside files on
// disk tell the rest. Files outside the product's directories (the shared
// libraries) get a line each, "R" replaced or "C" created. "K" marks a run
// whose copy succeeded: from then on the kept-aside files are only garbage.
// Entries are flushed only where a step would otherwise be lost to a power
// cut: once per directory, once per shared library.
#include "copy/copy.h"
#include "common/journal.h"
#include "common/path_join.h"

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

static const char KEEP_SUFFIX[] = ".qs~";

struct RunState {
    bool active;
    char record[PATH_CCH];
    std::vector<std::string> new_dirs;                                 // lower case
    std::map<std::string, std::map<std::string, std::string>> listed;  // dir -> name -> disk name
    std::vector<std::string> kept;                                     // kept-aside files
    std::set<std::string> replaced;                                    // lower case
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

// Names of the entries of dir (files and directories) as the disk spells them.
static std::vector<std::string> names_in(const std::string& dir)
{
    std::vector<std::string> out;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(join(dir, "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    do {
        if (strcmp(fd.cFileName, ".") != 0 && strcmp(fd.cFileName, "..") != 0)
            out.emplace_back(fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return out;
}

static bool note(std::initializer_list<const char*> fields)
{
    std::vector<const char*> v(fields);
    return record_append(v.data(), static_cast<int>(v.size()), true);
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

bool run_enter_dir(const char* dir)
{
    if (!run.active)
        return true;
    std::string d = without_slash(dir);
    std::string ld = dir_key(d);
    if (below_new_dir(ld) || run.listed.count(ld))
        return true;
    if (is_dir(d)) {
        std::vector<std::string> names = names_in(d);
        std::vector<const char*> fields = {"E", d.c_str()};
        std::map<std::string, std::string>& known = run.listed[ld];
        for (const std::string& n : names) {
            fields.push_back(n.c_str());
            known[lower(n)] = n;
        }
        return record_append(fields.data(), static_cast<int>(fields.size()), true);
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

// Splits path into its directory (lower case) and name.
static bool split(const char* path, std::string* ldir, std::string* name)
{
    const char* last = strrchr(path, '\\');
    if (!last)
        return false;
    *ldir = dir_key(std::string(path, last));
    *name = last + 1;
    return true;
}

int run_place_file(const char* path, char* target, size_t cch)
{
    if (strlen(path) >= cch)
        return PLACE_SKIP;
    strcpy(target, path);
    if (!run.active)
        return PLACE_UNKNOWN;
    std::string ldir, name;
    if (!split(path, &ldir, &name))
        return PLACE_SKIP;
    if (below_new_dir(ldir))
        return PLACE_NEW;
    auto dir = run.listed.find(ldir);
    if (dir != run.listed.end()) {
        auto had = dir->second.find(lower(name));
        if (had == dir->second.end())
            return PLACE_NEW;
        // The old file keeps its own spelling, as a replacement in place would.
        size_t base = strlen(path) - name.size();
        if (base + had->second.size() >= cch)
            return PLACE_SKIP;
        strcpy(target + base, had->second.c_str());
        // Written once already by this run (a merge directory): its own file.
        return run.replaced.count(lower(target)) ? PLACE_NEW : PLACE_REPLACE;
    }
    // A file outside the product's directories: a line of its own.
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(path, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return note({"C", path}) ? PLACE_NEW : PLACE_SKIP;
    FindClose(h);
    size_t base = strlen(path) - name.size();
    if (base + strlen(fd.cFileName) >= cch)
        return PLACE_SKIP;
    strcpy(target + base, fd.cFileName);
    return note({"R", target}) ? PLACE_REPLACE : PLACE_SKIP;
}

bool keep_aside(const char* path, char* kept, size_t cch)
{
    if (!path_set(kept, cch, path, KEEP_SUFFIX))
        return false;
    // A rename, never a copy: same volume, same attributes, no bytes moved.
    if (!MoveFileA(path, kept))
        return false;
    if (run.active) {
        run.kept.emplace_back(kept);
        run.replaced.insert(lower(path));
    }
    return true;
}

void put_back(const char* path, const char* kept)
{
    if (MoveFileA(kept, path) && run.active && !run.kept.empty() && run.kept.back() == kept) {
        run.kept.pop_back();
        run.replaced.erase(lower(path));
    }
}

static void drop_file(const std::string& path)
{
    if (!DeleteFileA(path.c_str()) && GetLastError() == ERROR_ACCESS_DENIED) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }
}

static bool exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
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

static bool has_suffix(const std::string& name)
{
    size_t s = sizeof KEEP_SUFFIX - 1;
    return name.size() > s && lower(name.substr(name.size() - s)) == KEEP_SUFFIX;
}

// An existing directory back to its listed names: kept-aside files return,
// files that were not there go. With `forward` the copy had succeeded and
// only the kept-aside files go.
static bool restore_listed(const RecordEntry& e, bool forward)
{
    const std::string& dir = e.fields[1];
    std::map<std::string, std::string> listed;
    for (size_t i = 2; i < e.fields.size(); ++i)
        listed[lower(e.fields[i])] = e.fields[i];
    bool ok = true;
    std::vector<std::string> now = names_in(dir);
    for (const std::string& n : now) {
        std::string ln = lower(n);
        if (listed.count(ln) || is_dir(join(dir, n)))
            continue;
        if (has_suffix(n)) {
            auto orig = listed.find(ln.substr(0, ln.size() - (sizeof KEEP_SUFFIX - 1)));
            if (orig == listed.end())
                continue;   // not one of ours
            std::string kept = join(dir, n);
            if (forward) {
                drop_file(kept);
                continue;
            }
            std::string back = join(dir, orig->second);
            if (exists(back))
                drop_file(back);
            if (!MoveFileA(kept.c_str(), back.c_str()))
                ok = false;
        } else if (!forward) {
            drop_file(join(dir, n));
        }
    }
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
        std::string kept = path + KEEP_SUFFIX;
        if (kind == "E") {
            ok = restore_listed(e, forward) && ok;
        } else if (kind == "N") {
            if (!forward && exists(path))
                ok = remove_tree(path) && ok;
        } else if (kind == "R") {
            if (!exists(kept))
                continue;
            if (forward) {
                drop_file(kept);
                continue;
            }
            if (exists(path))
                drop_file(path);
            ok = MoveFileA(kept.c_str(), path.c_str()) && ok;
        } else if (kind == "C") {
            if (!forward && exists(path))
                drop_file(path);
        }
    }
    return ok;
}

void run_abandon()
{
    record_close();
    run.active = false;
    run.record[0] = '\0';
    run.new_dirs.clear();
    run.listed.clear();
    run.kept.clear();
    run.replaced.clear();
}

bool run_active()
{
    return run.active;
}

void run_commit()
{
    if (!run.active)
        return;
    const char* done[] = {"K"};
    record_append(done, 1, true);
    for (const std::string& k : run.kept)
        drop_file(k);
    std::string record = run.record;
    run_abandon();
    DeleteFileA(record.c_str());
}

void run_undo()
{
    if (!run.active)
        return;
    std::string record = run.record;
    run_abandon();
    run_recover(record.c_str());
}

int run_recover(const char* record)
{
    std::vector<RecordEntry> entries;
    int state = record_read(record, &entries);
    if (state == RECORD_NONE)
        return RECOVER_NOTHING;
    if (state != RECORD_OK)
        return RECOVER_UNREADABLE;
    // A record that could not be wholly applied stays for the next start.
    if (apply(entries))
        DeleteFileA(record);
    return RECOVER_DONE;
}
