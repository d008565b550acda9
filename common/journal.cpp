// The directories this run created, so that a new installation that ends
// early removes exactly those, and only while empty.
#include "common/journal.h"
#include "common/fileops.h"

#include <windows.h>

#include <string>
#include <vector>

static std::vector<std::string> journal_dirs;

void journal_reset()
{
    journal_dirs.clear();
}

void journal_note_dir(const char* path)
{
    if (path != nullptr && path[0] != '\0')
        journal_dirs.emplace_back(path);
}

size_t journal_dir_count()
{
    return journal_dirs.size();
}

const char* journal_dir(size_t i)
{
    return i < journal_dirs.size() ? journal_dirs[i].c_str() : "";
}

void journal_undo_dirs_since(size_t mark)
{
    // A directory is always noted after its parent, so the reverse order
    // meets children first; RemoveDirectoryA leaves any non-empty one alone.
    while (journal_dirs.size() > mark) {
        fs_rmdir(journal_dirs.back().c_str());
        journal_dirs.pop_back();
    }
}

void journal_undo()
{
    journal_undo_dirs_since(0);
    journal_reset();
}
