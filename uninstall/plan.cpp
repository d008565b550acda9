// What an installation holds, read from the disk against the manifest: the
// files that are still the medium's (of any language and platform: an
// update from another language's medium leaves both), the directories the
// copy makes, and the language the installation speaks.
#include "uninstall/uninstall.h"
#include "common/directories.h"
#include "common/path_join.h"
#include "copy/copy.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

static std::string lower(std::string s)
{
    if (!s.empty())
        CharLowerBuffA(&s[0], static_cast<DWORD>(s.size()));
    return s;
}

static bool same_path(const std::string& a, const char* b)
{
    return b != nullptr && _stricmp(a.c_str(), b) == 0;
}

// Language index of a language tree name ("USA" is 0); -1 for none.
static int language_index(const std::string& tree)
{
    for (WORD i = 0; i < 7; ++i)
        if (_stricmp(lang_tree(i) + 1, tree.c_str()) == 0)
            return i;
    return -1;
}

static bool is_file(const char* path, ULONGLONG* size)
{
    WIN32_FILE_ATTRIBUTE_DATA fa;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &fa) ||
        (fa.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    *size = (static_cast<ULONGLONG>(fa.nFileSizeHigh) << 32) | fa.nFileSizeLow;
    return true;
}

// A file on disk, read at most once whatever number of lines name it.
struct Seen {
    std::string full;
    bool present = false;
    bool read = false;      // size and crc hold the file's
    ULONGLONG size = 0;
    DWORD crc = 0;
};

static bool holds(Seen* s, const MANIFEST_FILE& f)
{
    if (!s->present || s->size != f.size)
        return false;
    if (!s->read) {
        ULONGLONG size = 0;
        s->read = true;
        if (!file_crc(s->full.c_str(), &size, &s->crc) || size != s->size)
            s->present = false;   // unreadable or changing: not the medium's
    }
    return s->present && s->crc == f.crc;
}

void make_plan(const char* dir, const char* own, const std::vector<MANIFEST_FILE>& files,
               PLAN* plan)
{
    *plan = PLAN();
    char manifest[PATH_CCH] = "";
    BuildPath(dir, MANIFEST_NAME, manifest, sizeof manifest);

    std::map<std::string, Seen> seen;          // by lower-case relative path
    std::map<std::string, bool> removed;       // the same keys: goes
    std::map<int, int> score;                  // language index -> files of it in place
    std::set<std::string> dirs;
    for (const MANIFEST_FILE& f : files) {
        if (f.kind != 'F' && f.kind != 'S')
            continue;
        const std::string key = lower(f.path);
        auto it = seen.find(key);
        if (it == seen.end()) {
            it = seen.emplace(key, Seen()).first;
            char full[PATH_CCH];
            if (!inside_path(dir, f.path.c_str(), full, sizeof full))
                continue;
            it->second.full = full;
            it->second.present = is_file(full, &it->second.size);
            // Every level above the file is one the copy makes (a checked
            // path never begins with a backslash).
            for (size_t cut = f.path.rfind('\\'); cut != std::string::npos && cut > 0;
                 cut = f.path.rfind('\\', cut - 1)) {
                char level[PATH_CCH];
                if (BuildPath(dir, f.path.substr(0, cut).c_str(), level, sizeof level))
                    dirs.insert(lower(level));
            }
        }
        Seen& s = it->second;
        // The settings file is the product's whatever the product wrote into it.
        const bool ours = f.kind == 'S' ? s.present : holds(&s, f);
        if (!ours)
            continue;
        removed[key] = true;
        const int lang = language_index(f.lang);
        if (f.kind == 'F' && lang >= 0)
            ++score[lang];
    }
    for (const auto& r : removed) {
        const std::string& full = seen[r.first].full;
        if (!same_path(full, own) && !same_path(full, manifest))
            plan->files.push_back(full);
    }
    // The language most of the files in place belong to; on a tie the first
    // in the language table, English before the others.
    int best = 0;
    for (const auto& s : score)
        if (s.second > score[best])
            best = s.first;
    plan->lcode = static_cast<WORD>(best);

    plan->dirs.assign(dirs.begin(), dirs.end());
    std::stable_sort(plan->dirs.begin(), plan->dirs.end(),
                     [](const std::string& a, const std::string& b) {
                         return std::count(a.begin(), a.end(), '\\') >
                                std::count(b.begin(), b.end(), '\\');
                     });
    plan->dirs.push_back(dir);
}

std::string template_of(const std::vector<MANIFEST_FILE>& files)
{
    char windir[PATH_CCH];
    char path[PATH_CCH];
    UINT n = GetWindowsDirectoryA(windir, sizeof windir);
    if (n == 0 || n >= sizeof windir ||
        !BuildPath(windir, "ShellNew\\default.qlx", path, sizeof path))
        return std::string();
    Seen s;
    s.full = path;
    s.present = is_file(path, &s.size);
    for (const MANIFEST_FILE& f : files)
        if (f.kind == 'T' && holds(&s, f))
            return path;
    return std::string();
}

static void walk(const std::string& dir, const std::string& rel, std::vector<std::string>* out)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        if (strcmp(fd.cFileName, ".") == 0 || strcmp(fd.cFileName, "..") == 0)
            continue;
        std::string name = rel.empty() ? fd.cFileName : rel + "\\" + fd.cFileName;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            walk(dir + "\\" + fd.cFileName, name, out);
        else
            out->push_back(name);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

std::vector<std::string> files_below(const char* dir)
{
    std::vector<std::string> out;
    std::string d = dir;
    while (!d.empty() && d.back() == '\\')
        d.pop_back();
    walk(d, "", &out);
    std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) {
        return _stricmp(a.c_str(), b.c_str()) < 0;
    });
    return out;
}

bool on_medium(const char* dir)
{
    char root[4] = {dir[0], dir[1], '\\', '\0'};
    if (dir[0] != '\0' && dir[1] == ':' && GetDriveTypeA(root) == DRIVE_CDROM)
        return true;
    // <root>\quillon\<language>\<platform>, with the system-file tree beside it.
    std::string d = dir;
    while (!d.empty() && d.back() == '\\')
        d.pop_back();
    for (int up = 0; up < 2; ++up) {
        size_t cut = d.rfind('\\');
        if (cut == std::string::npos)
            return false;
        d.resize(cut);
    }
    size_t cut = d.rfind('\\');
    if (cut == std::string::npos || _stricmp(d.c_str() + cut + 1, "quillon") != 0)
        return false;
    return ValidDirectory((d.substr(0, cut) + "\\inst\\inst").c_str()) != FALSE;
}
