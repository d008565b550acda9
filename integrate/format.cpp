// Text of the registry values and Program Manager commands. A result that
// does not fit its buffer is refused as a whole: a cut path in a command line
// would name another program.
#include "integrate/integrate.h"
#include "common/path_join.h"
#include "dialogs/dialogs.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

static BOOL refuse(char* out, int cch)
{
    if (out != nullptr && cch > 0)
        out[0] = '\0';
    return FALSE;
}

static BOOL bounded_format(char* out, int cch, const char* fmt, ...)
{
    if (out == nullptr || cch <= 0)
        return FALSE;
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(out, static_cast<size_t>(cch), fmt, ap);
    va_end(ap);
    return (n < 0 || n >= cch) ? refuse(out, cch) : TRUE;
}

BOOL format_command_line(const char* dst, const char* file, char* out, int cch)
{
    char path[WORK_CCH];
    if (BuildPath(dst, file, path, WORK_CCH) == 0)
        return refuse(out, cch);
    // Unquoted, "C:\Program Files\x.exe" would start C:\Program.exe if it existed.
    if (strchr(dst, ' ') != nullptr)
        return bounded_format(out, cch, "\"%s\"", path);
    return bounded_format(out, cch, "%s", path);
}

BOOL format_open_command(const char* dst, const char* exe, char* out, int cch)
{
    char cmd[WORK_CCH];
    if (!format_command_line(dst, exe, cmd, WORK_CCH))
        return refuse(out, cch);
    return bounded_format(out, cch, "%s \"%%1\"", cmd);
}

BOOL format_icon_ref(const char* dst, const char* exe, int index, char* out, int cch)
{
    char path[WORK_CCH];
    if (BuildPath(dst, exe, path, WORK_CCH) == 0)
        return refuse(out, cch);
    return bounded_format(out, cch, "%s ,%d", path, index);
}

BOOL format_uninstall(const char* dst, const char* group, char* out, int cch)
{
    char cmd[WORK_CCH];
    if (!format_command_line(dst, "uinstall.exe", cmd, WORK_CCH))
        return refuse(out, cch);
    if (group != nullptr)
        return bounded_format(out, cch, "%s /SILENT /GROUP:\"%s\"", cmd, group);
    return bounded_format(out, cch, "%s /SILENT", cmd);
}

BOOL format_machine_key(DWORD platform_id, const char* tail, char* out, int cch)
{
    const char* windows = platform_id == VER_PLATFORM_WIN32_NT ? "Windows NT" : "Windows";
    return bounded_format(out, cch, "Software\\Microsoft\\%s\\CurrentVersion\\%s", windows, tail);
}

// The commands of the five batches, in the order they are sent. The first
// argument is the group, the item's command line or the item's name, the
// second the item's name.
struct PROGMAN_CMD {
    int batch;
    const char* fmt;
    bool group;        // the group name is the argument
    const char* file;  // the item's file in the destination
    WORD sid;          // string id of the item's name
};
static const PROGMAN_CMD progman_cmds[] = {
    {0, "[CreateGroup(\"%s\")]", true, nullptr, 0},
    {1, "[ShowGroup(\"%s\", 1)]", true, nullptr, 0},
    // Items an earlier installation may have left.
    {2, "[DeleteItem(Quillon)]", false, nullptr, 0},
    {2, "[DeleteItem(%s)]", false, nullptr, IDS_STARTUP_GUIDE},
    {2, "[DeleteItem(%s)]", false, nullptr, IDS_UNINSTALL},
    {2, "[DeleteItem(%s)]", false, nullptr, IDS_README},
    {2, "[DeleteItem(%s)]", false, nullptr, IDS_MODULE_INSTALLATION},
    {2, "[AddItem(%s, Quillon)]", false, "quillon.exe", 0},
    {3, "[AddItem(%s, %s)]", false, "uinstall.exe", IDS_UNINSTALL},
    {4, "[AddItem(%s, %s, write.exe, 0)]", false, "readme.wri", IDS_README},
};

int progman_command(WORD lcode, const char* dst, const char* group, int batch, int index,
                    char* out, int cch)
{
    const PROGMAN_CMD* cmd = nullptr;
    for (const PROGMAN_CMD& c : progman_cmds) {
        if (c.batch == batch && index-- == 0) {
            cmd = &c;
            break;
        }
    }
    if (cmd == nullptr)
        return 0;

    char line[WORK_CCH] = "";
    char name[WORK_CCH] = "";
    const char* args[2] = {"", ""};
    int nargs = 0;
    if (cmd->group)
        args[nargs++] = group;
    if (cmd->file != nullptr) {
        if (!format_command_line(dst, cmd->file, line, WORK_CCH)) {
            refuse(out, cch);
            return -1;
        }
        args[nargs++] = line;
    }
    if (cmd->sid != 0)
        args[nargs++] = get_string(lcode, cmd->sid, name, WORK_CCH);
    return bounded_format(out, cch, cmd->fmt, args[0], args[1]) ? 1 : -1;
}
