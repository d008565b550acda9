// What this process left for the restart, so that a list of the files left
// behind can say which of them go then.
#include "common/at_restart.h"
#include "common/fileops.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

static std::vector<std::string> at_restart;

bool delete_at_restart(const char* path)
{
    if (!fs_delete_at_restart(path))
        return false;
    at_restart.emplace_back(path);
    return true;
}

bool goes_at_restart(const char* path)
{
    for (const std::string& p : at_restart)
        if (_stricmp(p.c_str(), path) == 0)
            return true;
    return false;
}
