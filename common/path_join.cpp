// Building paths in fixed buffers; see path_join.h.
#include "common/path_join.h"

#include <cstring>

// dir (its first ndir characters) + "\" unless it ends in one + file.
static size_t join(const char* dir, size_t ndir, const char* file, char* out, size_t cch)
{
    size_t sep = (ndir > 0 && dir[ndir - 1] == '\\') ? 0 : 1;
    size_t nfile = strlen(file);
    size_t total = ndir + sep + nfile;
    if (total + 1 > cch)
        return 0;
    // dir and out may be the same buffer: move, never copy.
    memmove(out, dir, ndir);
    if (sep)
        out[ndir] = '\\';
    memmove(out + ndir + sep, file, nfile);
    out[total] = '\0';
    return total;
}

UINT BuildPath(LPCSTR lpstrDir, LPCSTR lpstrFile, LPSTR lpstrPath, UINT nMaxPath)
{
    if (lpstrDir == nullptr || lpstrFile == nullptr || lpstrPath == nullptr || nMaxPath == 0)
        return 0;
    size_t total = lpstrDir[0] ? join(lpstrDir, strlen(lpstrDir), lpstrFile, lpstrPath, nMaxPath) : 0;
    if (total == 0)
        lpstrPath[0] = '\0';
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
    return join(psrc, n, pfile, pdst, cchDst) ? pdst : nullptr;
}

bool path_cat(char* dst, size_t cch, const char* s)
{
    size_t have = strlen(dst);
    size_t add = strlen(s);
    if (have + add >= cch)
        return false;
    memcpy(dst + have, s, add + 1);
    return true;
}

bool path_set(char* dst, size_t cch, const char* a, const char* b)
{
    if (cch == 0)
        return false;
    dst[0] = '\0';
    if (path_cat(dst, cch, a) && (!b || path_cat(dst, cch, b)))
        return true;
    dst[0] = '\0';
    return false;
}
