// The size catalogue: 19 little-endian byte counts per language and platform,
// written with the medium, so that the pages never have to measure the CD.
#include "sizes/sizes.h"
#include "copy/copy.h"
#include "common/path_join.h"
#include "common/source_root.h"

#include <cstring>
#include <iterator>

DWORD esize[ESIZE_COUNT];

static const char* const size_suffix[] = {"_W95.", "_PENT.", "_MIPS.", "_ALPH.", "_POWR."};

BOOL build_sizepath(char* pdst, size_t cchDst, WORD lcode, WORD platform)
{
    const char* suffix = platform < std::size(size_suffix) ? size_suffix[platform] : "";
    size_t len = strlen(pdst);
    if (!path_cat(pdst, cchDst, lang_tree(lcode)) || !path_cat(pdst, cchDst, suffix) ||
        !path_cat(pdst, cchDst, "QTB")) {
        pdst[len] = '\0';
        return FALSE;
    }
    return TRUE;
}

BOOL catalogue_path(const char* root, WORD lang, WORD proc, char* out, size_t cchOut)
{
    return path_set(out, cchOut, root, "\\inst\\inst") && build_sizepath(out, cchOut, lang, proc);
}

BOOL read_catalogue(const char* root, WORD lang, WORD proc)
{
    char src[PATH_CCH];
    // A path that does not fit reads nothing: the table keeps what it had,
    // exactly as for a missing catalogue.
    if (!catalogue_path(root, lang, proc, src, sizeof src))
        return FALSE;
    HANDLE hf = CreateFileA(src, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hf == INVALID_HANDLE_VALUE)
        return FALSE;
    // Straight into the table: a short file replaces only what it covers.
    DWORD nRead = 0;
    ReadFile(hf, esize, sizeof esize, &nRead, nullptr);
    CloseHandle(hf);
    return TRUE;
}

BOOL get_sourcesize(WORD lang, WORD proc)
{
    char root[PATH_CCH];
    if (get_source_root(root, sizeof root))
        read_catalogue(root, lang, proc);
    return TRUE;
}
