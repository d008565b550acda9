// Directories on disk: whether one exists, making one level by level, and
// the spelling the disk gives each level. A path that does not fit is refused.
#include "common/directories.h"
#include "common/setup.h"
#include "common/fileops.h"
#include "common/journal.h"
#include "common/path_join.h"

#include <cstring>

BOOL ValidDirectory(LPCSTR lpstrDir)
{
    if (lpstrDir == nullptr || lpstrDir[0] == '\0')
        return FALSE;
    char pattern[PATH_CCH];
    if (BuildPath(lpstrDir, "*", pattern, PATH_CCH) == 0)
        return FALSE;
    WIN32_FIND_DATAA fd;
    HANDLE hfind = FindFirstFileA(pattern, &fd);
    if (hfind != INVALID_HANDLE_VALUE) {
        FindClose(hfind);
        return TRUE;
    }
    // An existing but empty directory (an empty drive root) matches nothing.
    return GetLastError() == ERROR_FILE_NOT_FOUND;
}

// Where the first level below the root of an absolute path starts: after
// C:\ or \\server\share\; the length itself for a bare root, 0 for
// a path that is not absolute ("C:name" is relative to the drive's current
// directory).
static size_t levels_start(const char* path, size_t len)
{
    if (len >= 2 && path[1] == ':') {
        if (len == 2)
            return len;
        return path[2] == '\\' ? 3 : 0;
    }
    if (len >= 2 && path[0] == '\\' && path[1] == '\\') {
        const char* server_end = strchr(path + 2, '\\');
        if (server_end == nullptr)
            return 0;
        const char* share_end = strchr(server_end + 1, '\\');
        if (share_end == nullptr)
            return len;
        return static_cast<size_t>(share_end - path) + 1;
    }
    return 0;
}

bool is_full_path(const char* path)
{
    if (path == nullptr)
        return false;
    const char letter = static_cast<char>(path[0] | 0x20);
    if (letter >= 'a' && letter <= 'z' && path[1] == ':' && path[2] == '\\')
        return true;
    if (path[0] != '\\' || path[1] != '\\')
        return false;
    // "\\?\" and "\\.\" lead to the system's name spaces, not to a server.
    const char* server = path + 2;
    size_t nserver = strcspn(server, "\\");
    if (nserver == 0 || server[nserver] != '\\' ||
        (nserver == 1 && (server[0] == '?' || server[0] == '.')))
        return false;
    return strcspn(server + nserver + 1, "\\") > 0;
}

BOOL create_directory(const char* ppath)
{
    if (ppath == nullptr)
        return FALSE;
    size_t len = strlen(ppath);
    if (len >= PATH_CCH)
        return FALSE;
    char work[PATH_CCH];
    memcpy(work, ppath, len + 1);

    size_t pos = levels_start(work, len);
    if (pos == 0)
        return FALSE;
    if (pos >= len)
        return TRUE;

    for (;;) {
        const char* next = strchr(work + pos, '\\');
        char level[PATH_CCH];
        size_t cut = next != nullptr ? static_cast<size_t>(next - work) : len;
        memcpy(level, work, cut);
        level[cut] = '\0';
        if (fs_mkdir(level)) {
            journal_note_dir(level);
        } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
            return FALSE;
        }
        if (next == nullptr)
            break;
        pos = cut + 1;
    }
    return TRUE;
}

bool use_disk_case(char* path)
{
    if (path == nullptr)
        return false;
    size_t len = strlen(path);
    size_t pos = levels_start(path, len);
    if (pos == 0 || len >= PATH_CCH)
        return false;
    while (pos < len) {
        char* next = strchr(path + pos, '\\');
        size_t cut = next != nullptr ? static_cast<size_t>(next - path) : len;
        char level[PATH_CCH];
        memcpy(level, path, cut);
        level[cut] = '\0';
        const char* name = level + pos;
        if (strpbrk(name, "*?") || strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
            return false;
        WIN32_FIND_DATAA fd;
        HANDLE hfind = FindFirstFileA(level, &fd);
        if (hfind == INVALID_HANDLE_VALUE)
            return false;   // this level and those below do not exist yet
        FindClose(hfind);
        // Only a spelling of the same letters is taken over, never another
        // name (a short 8.3 alias finds its long name).
        if (strlen(fd.cFileName) == cut - pos && lstrcmpiA(fd.cFileName, name) == 0)
            memcpy(path + pos, fd.cFileName, cut - pos);
        if (next == nullptr)
            break;
        pos = cut + 1;
    }
    return true;
}
