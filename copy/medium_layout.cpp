// The layout of the medium: where the trees of a language and of a platform,
// and the system files of a platform, lie below its root.
#include "copy/copy.h"
#include "common/path_join.h"

#include <cstring>
#include <iterator>

const char* const platform_str[6] = {"Win95", "Pentium", "MIPS", "Alpha", "Power", nullptr};

static const char* const lang_trees[] = {"\\USA", "\\FRA", "\\FRG", "\\HOL",
                                         "\\ITA", "\\POL", "\\CZE"};
static const char* const platform_trees[] = {"\\Win95", "\\Pentium", "\\Mips", "\\Alpha",
                                             "\\Power"};

const char* lang_tree(WORD lcode)
{
    return lcode < std::size(lang_trees) ? lang_trees[lcode] : lang_trees[0];
}

const char* platform_tree(WORD platform)
{
    return platform < std::size(platform_trees) ? platform_trees[platform] : "";
}

const char* system_tree(WORD platform)
{
    // Both Intel indices read the "Win95" system files; an index out of the
    // table would reach the table's null end.
    return (platform == 1 || platform > 4) ? platform_str[0] : platform_str[platform];
}

BOOL build_source(char* lpszSrc, size_t cchSrc, WORD lcode, WORD platform)
{
    size_t len = strlen(lpszSrc);
    if (path_cat(lpszSrc, cchSrc, lang_tree(lcode)) &&
        path_cat(lpszSrc, cchSrc, platform_tree(platform)))
        return TRUE;
    lpszSrc[len] = '\0';
    return FALSE;
}
