// Undoing the registry step of the installation: each shared library's
// usage count lowered by one, the file types, the "New" template and the
// application path removed while they still point at this installation (a
// ".pcd" association another program took back stays), the uninstall entry
// removed last. The libraries themselves stay: other programs may load them
// without counting.
//
// A kill or power cut between two steps leaves the steps before it done;
// each step can be done again at the next start but the counts, which are
// lowered once: before each count is lowered its index and its bytes go
// into the uninstall entry (flushed), so the next start can tell whether
// that count was lowered already. The entry itself goes last, so everything
// that is not done yet can still be found from it.
#include "uninstall/uninstall.h"
#include "common/path_join.h"
#include "integrate/integrate.h"

#include <cstring>

static const char ENTRY_TAIL[] = "Uninstall\\Quillon";
// Written into the uninstall entry: the index of the count being lowered, then its earlier bytes.
static const char COUNTS_NOTE[] = "SharedDLLsLowered";
constexpr DWORD COUNT_MAX = 64;   // bytes of a count this program lowers

bool count_lower(BYTE* count, DWORD n)
{
    DWORD i = 0;
    while (i < n && count[i] == 0)
        ++i;
    if (i == n)
        return true;   // zero already: it stays zero, and goes
    --count[i];
    memset(count, 0xFF, i);   // the borrow through the lower bytes
    for (DWORD k = 0; k < n; ++k)
        if (count[k] != 0)
            return false;
    return true;
}

static bool machine_key(const char* tail, char* name)
{
    return format_machine_key(reg_platform_id(), tail, name, WORK_CCH) != FALSE;
}

static HKEY open_key(HKEY root, const char* name)
{
    HKEY h = nullptr;
    return RegOpenKeyExA(root, name, 0, KEY_ALL_ACCESS, &h) == ERROR_SUCCESS ? h : nullptr;
}

// A string value (the key's default for a null name); false when there is none.
static bool read_sz(HKEY root, const char* key, const char* value, std::string* out)
{
    HKEY h = open_key(root, key);
    if (h == nullptr)
        return false;
    char buf[WORK_CCH];
    DWORD cb = sizeof buf - 1, type = 0;
    LONG rc = RegQueryValueExA(h, value, nullptr, &type, reinterpret_cast<BYTE*>(buf), &cb);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    buf[cb] = '\0';
    *out = buf;
    return true;
}

// A key with everything below it: RegDeleteKey on Windows NT leaves a key that has sub-keys.
static void delete_tree(HKEY parent, const char* name)
{
    HKEY h = open_key(parent, name);
    if (h == nullptr)
        return;
    char sub[WORK_CCH];
    char again[WORK_CCH];
    DWORD i = 0;
    while (RegEnumKeyA(h, i, sub, sizeof sub) == ERROR_SUCCESS) {
        delete_tree(h, sub);
        // A sub-key that would not go is passed over, not tried for ever.
        if (RegEnumKeyA(h, i, again, sizeof again) == ERROR_SUCCESS && strcmp(again, sub) == 0)
            ++i;
    }
    RegCloseKey(h);
    RegDeleteKeyA(parent, name);
}

bool entry_is_ours(const char* dir, std::string* cmd)
{
    char key[WORK_CCH];
    char own[WORK_CCH];
    if (!machine_key(ENTRY_TAIL, key) || !read_sz(reg_roots.machine, key, "UnInstallString", cmd) ||
        !format_command_line(dir, "uinstall.exe", own, WORK_CCH))
        return false;
    size_t n = strlen(own);
    return _strnicmp(cmd->c_str(), own, n) == 0 && (cmd->size() == n || (*cmd)[n] == ' ');
}

// One count lowered: its new bytes written, or the value deleted at zero.
static void lower_one(HKEY counts, const char* name, BYTE* bytes, DWORD n, DWORD type)
{
    if (count_lower(bytes, n))
        RegDeleteValueA(counts, name);
    else
        RegSetValueExA(counts, name, 0, type, bytes, n);
}

// The count of library index: false when it has none this program can lower.
static bool read_count(HKEY counts, int index, char* name, BYTE* bytes, DWORD* n, DWORD* type)
{
    *n = COUNT_MAX;
    return shared_dll_value(index, name, WORK_CCH) &&
           RegQueryValueExA(counts, name, nullptr, type, bytes, n) == ERROR_SUCCESS;
}

void lower_counts()
{
    char key[WORK_CCH];
    if (!machine_key(ENTRY_TAIL, key))
        return;
    HKEY entry = open_key(reg_roots.machine, key);
    HKEY counts = machine_key("SharedDLLs", key) ? open_key(reg_roots.machine, key) : nullptr;
    if (entry == nullptr || counts == nullptr) {
        if (entry)
            RegCloseKey(entry);
        if (counts)
            RegCloseKey(counts);
        return;
    }
    char name[WORK_CCH];
    BYTE bytes[COUNT_MAX];
    DWORD n = 0, type = 0;
    int next = 0;
    BYTE note[1 + COUNT_MAX];
    DWORD cb = sizeof note;
    if (RegQueryValueExA(entry, COUNTS_NOTE, nullptr, nullptr, note, &cb) == ERROR_SUCCESS &&
        cb >= 1) {
        // The count named last: lowered already unless it still holds the bytes noted.
        next = note[0] + 1;
        if (note[0] < SHARED_DLL_COUNT && read_count(counts, note[0], name, bytes, &n, &type) &&
            n == cb - 1 && memcmp(bytes, note + 1, n) == 0)
            lower_one(counts, name, bytes, n, type);
    }
    for (int i = next; i < SHARED_DLL_COUNT; ++i) {
        if (!read_count(counts, i, name, bytes, &n, &type))
            continue;
        note[0] = static_cast<BYTE>(i);
        memcpy(note + 1, bytes, n);
        if (RegSetValueExA(entry, COUNTS_NOTE, 0, REG_BINARY, note, n + 1) != ERROR_SUCCESS ||
            RegFlushKey(entry) != ERROR_SUCCESS)
            break;   // unnoted, a count lowered now could be lowered twice
        lower_one(counts, name, bytes, n, type);
    }
    // A key left with no count at all says nothing; installed on a system
    // that had none, it goes as it came.
    DWORD values = 1, keys = 1;
    const bool empty = RegQueryInfoKeyA(counts, nullptr, nullptr, nullptr, &keys, nullptr, nullptr,
                                        &values, nullptr, nullptr, nullptr, nullptr) ==
                           ERROR_SUCCESS &&
                       values == 0 && keys == 0;
    RegCloseKey(counts);
    RegCloseKey(entry);
    if (empty && machine_key("SharedDLLs", key))
        RegDeleteKeyA(reg_roots.machine, key);
}

bool remove_classes(const char* dir, bool remove)
{
    static const struct {
        const char* ext;
        const char* type;
        const char* exe;
    } types[] = {
        {".qlx", "qlxfile", "quillon.exe"},
        {".qpr", "qprfile", "quillon.exe"},
        {".pcd", "pcdfile", "lumen.exe"},
    };
    bool found = false;
    char want[WORK_CCH];
    std::string have;
    for (const auto& t : types) {
        std::string command = std::string(t.type) + "\\shell\\open\\command";
        if (!format_open_command(dir, t.exe, want, WORK_CCH) ||
            !read_sz(reg_roots.classes, command.c_str(), nullptr, &have) ||
            _stricmp(have.c_str(), want) != 0)
            continue;
        found = true;
        if (!remove)
            continue;
        // The extension first: killed in between, the type still points
        // here and is found again; the other way round the extension
        // would name a type nobody can tell is ours.
        if (read_sz(reg_roots.classes, t.ext, nullptr, &have) && _stricmp(have.c_str(), t.type) == 0)
            delete_tree(reg_roots.classes, t.ext);
        delete_tree(reg_roots.classes, t.type);
    }
    char key[WORK_CCH];
    if (machine_key("App Paths\\QUILLON.EXE", key) && BuildPath(dir, "quillon.exe", want, WORK_CCH) &&
        read_sz(reg_roots.machine, key, nullptr, &have) && _stricmp(have.c_str(), want) == 0) {
        found = true;
        if (remove)
            delete_tree(reg_roots.machine, key);
    }
    return found;
}

void remove_entry()
{
    char key[WORK_CCH];
    if (machine_key(ENTRY_TAIL, key))
        delete_tree(reg_roots.machine, key);
}
