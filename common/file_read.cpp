// Whole files read in large blocks: the run's record and the uninstaller's
// manifest are read at once and parsed from memory.
#include "common/file_read.h"

bool read_to_end(HANDLE file, std::string* text, size_t most)
{
    char block[65536];
    DWORD got = 0;
    BOOL ok;
    while ((ok = ReadFile(file, block, sizeof block, &got, nullptr)) && got > 0 &&
           text->size() <= most)
        text->append(block, got);
    return ok != FALSE;
}
