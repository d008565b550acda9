// The command line: "/SILENT" and "/GROUP:"name"" are the whole of what
// setup tells the uninstaller, each at most once, in any order and letter
// case. Anything else is refused as a whole rather than guessed at.
#include "uninstall/uninstall.h"

#include <cstring>

static bool at_word_end(const char* p)
{
    return *p == '\0' || *p == ' ' || *p == '\t';
}

bool parse_args(const char* cmd, UNARGS* args)
{
    *args = UNARGS();
    bool silent_seen = false;
    const char* p = cmd ? cmd : "";
    for (;;) {
        while (*p == ' ' || *p == '\t')
            ++p;
        if (*p == '\0')
            return true;
        if (_strnicmp(p, "/SILENT", 7) == 0 && at_word_end(p + 7)) {
            if (silent_seen)
                return false;
            silent_seen = args->silent = true;
            p += 7;
            continue;
        }
        if (_strnicmp(p, "/GROUP:", 7) != 0 || args->group_given)
            return false;
        p += 7;
        const char* end;
        if (*p == '"') {
            // The name setup writes stands between quotes and may hold blanks.
            ++p;
            end = strchr(p, '"');
            if (end == nullptr || !at_word_end(end + 1))
                return false;
            args->group.assign(p, end);
            p = end + 1;
        } else {
            end = p;
            while (!at_word_end(end))
                ++end;
            if (memchr(p, '"', static_cast<size_t>(end - p)) != nullptr)
                return false;
            args->group.assign(p, end);
            p = end;
        }
        args->group_given = true;
    }
}
