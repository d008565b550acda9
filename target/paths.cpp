// Path helpers shared by the destination page and the copy. Every result
// goes into a caller's fixed buffer; a path that does not fit is refused.
#include "target/target.h"

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

UINT BuildPath(LPCSTR lpstrDir, LPCSTR lpstrFile, LPSTR lpstrPath, UINT nMaxPath)
{
    if (lpstrDir == nullptr || lpstrFile == nullptr || lpstrPath == nullptr || nMaxPath == 0)
        return 0;
    size_t ndir = strlen(lpstrDir);
    size_t nfile = strlen(lpstrFile);
    if (ndir == 0)
        return 0;
    size_t sep = lpstrDir[ndir - 1] == '\\' ? 0 : 1;
    size_t total = ndir + sep + nfile;
    if (total + 1 > nMaxPath) {
        lpstrPath[0] = '\0';
        return 0;
    }
    memmove(lpstrPath, lpstrDir, ndir);
    if (sep)
        lpstrPath[ndir] = '\\';
    memmove(lpstrPath + ndir + sep, lpstrFile, nfile);
    lpstrPath[total] = '\0';
    return static_cast<UINT>(total);
}

char* build_fspec(const char* psrc, const char* pfile, char* pdst, size_t cchDst)
{
    if (psrc == nullptr || pfile == nullptr || pdst == nullptr || cchDst == 0)
        return nullptr;
    size_t n = strlen(psrc);
    const char* last = strrchr(psrc, '\\');
    if (last != nullptr && strcmp(last, "\\*.*") == 0)
        n = static_cast<size_t>(last - psrc);
    size_t sep = (n > 0 && psrc[n - 1] == '\\') ? 0 : 1;
    size_t nfile = strlen(pfile);
    if (n + sep + nfile + 1 > cchDst)
        return nullptr;
    // psrc and pdst may be the same buffer: move, never copy.
    memmove(pdst, psrc, n);
    if (sep)
        pdst[n] = '\\';
    memmove(pdst + n + sep, pfile, nfile);
    pdst[n + sep + nfile] = '\0';
    return pdst;
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
        if (CreateDirectoryA(level, nullptr)) {
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

// Brings the long-path and Wine's "UNC\" forms of a module path to the plain
// drive or share form, then keeps the drive ("D:") or "\\server\share".
BOOL source_root_of(const char* module_path, char* root, size_t cchRoot)
{
    if (module_path == nullptr || root == nullptr || cchRoot == 0)
        return FALSE;
    root[0] = '\0';
    const char* p = module_path;
    bool unc = false;
    if (strncmp(p, "\\\\?\\UNC\\", 8) == 0) {
        p += 8;
        unc = true;
    } else if (strncmp(p, "\\\\?\\", 4) == 0) {
        p += 4;
    } else if (_strnicmp(p, "UNC\\", 4) == 0) {
        p += 4;
        unc = true;
    }

    size_t keep;
    if (!unc && p[0] != '\0' && p[1] == ':') {
        keep = 2;
    } else if (unc || (p[0] != '\0' && p[1] == '\\')) {
        // In the plain form the path is "\\server\share\..."; in the prefixed
        // forms p starts at the server name and "\\" is put back.
        const char* q = unc ? p : p + 2;
        const char* server_end = strchr(q, '\\');
        const char* share_end = server_end ? strchr(server_end + 1, '\\') : nullptr;
        keep = share_end ? static_cast<size_t>(share_end - p) : strlen(p);
    } else {
        keep = strlen(p);
    }

    size_t prefix = unc ? 2 : 0;
    if (prefix + keep + 1 > cchRoot)
        return FALSE;
    if (unc)
        memcpy(root, "\\\\", 2);
    memcpy(root + prefix, p, keep);
    root[prefix + keep] = '\0';
    return TRUE;
}

BOOL get_source_root(char* root, size_t cchRoot)
{
    char module[WORK_CCH];
    DWORD n = GetModuleFileNameA(nullptr, module, WORK_CCH);
    if (n == 0 || n >= static_cast<DWORD>(WORK_CCH))
        return FALSE;
    return source_root_of(module, root, cchRoot);
}
