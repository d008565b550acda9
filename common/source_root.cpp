// The drive or share the running program was started from.
#include "common/source_root.h"
#include "common/setup.h"

#include <cstring>

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
