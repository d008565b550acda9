// Text of the registry values and Program Manager commands. A result that
// does not fit its buffer is refused as a whole: a cut path in a command line
// would name another program.
#include "integrate/integrate.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

static BOOL bounded_format(char* out, int cch, const char* fmt, ...)
{
    if (out == nullptr || cch <= 0)
        return FALSE;
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(out, static_cast<size_t>(cch), fmt, ap);
    va_end(ap);
    if (n < 0 || n >= cch) {
        out[0] = '\0';
        return FALSE;
    }
    return TRUE;
}

BOOL format_path(const char* dst, const char* file, char* out, int cch)
{
    size_t len = strlen(dst);
    // A root destination ("C:\") already ends in the separator.
    const char* sep = (len > 0 && dst[len - 1] == '\\') ? "" : "\\";
    return bounded_format(out, cch, "%s%s%s", dst, sep, file);
}

BOOL format_command_line(const char* dst, const char* file, char* out, int cch)
{
    char path[WORK_CCH];
    if (!format_path(dst, file, path, WORK_CCH)) {
        if (out != nullptr && cch > 0)
            out[0] = '\0';
        return FALSE;
    }
    // Unquoted, "C:\Program Files\x.exe" would start C:\Program.exe if it existed.
    if (strchr(dst, ' ') != nullptr)
        return bounded_format(out, cch, "\"%s\"", path);
    return bounded_format(out, cch, "%s", path);
}

BOOL format_open_command(const char* dst, const char* exe, char* out, int cch)
{
    char cmd[WORK_CCH];
    if (!format_command_line(dst, exe, cmd, WORK_CCH)) {
        if (out != nullptr && cch > 0)
            out[0] = '\0';
        return FALSE;
    }
    return bounded_format(out, cch, "%s \"%%1\"", cmd);
}

BOOL format_icon_ref(const char* dst, const char* exe, int index, char* out, int cch)
{
    char path[WORK_CCH];
    if (!format_path(dst, exe, path, WORK_CCH)) {
        if (out != nullptr && cch > 0)
            out[0] = '\0';
        return FALSE;
    }
    return bounded_format(out, cch, "%s ,%d", path, index);
}

BOOL format_uninstall(const char* dst, const char* group, char* out, int cch)
{
    char cmd[WORK_CCH];
    if (!format_command_line(dst, "uinstall.exe", cmd, WORK_CCH)) {
        if (out != nullptr && cch > 0)
            out[0] = '\0';
        return FALSE;
    }
    if (group != nullptr)
        return bounded_format(out, cch, "%s /SILENT /GROUP:\"%s\"", cmd, group);
    return bounded_format(out, cch, "%s /SILENT", cmd);
}

BOOL format_machine_key(DWORD platform_id, const char* tail, char* out, int cch)
{
    const char* windows = platform_id == VER_PLATFORM_WIN32_NT ? "Windows NT" : "Windows";
    return bounded_format(out, cch, "Software\\Microsoft\\%s\\CurrentVersion\\%s", windows, tail);
}

int progman_command(WORD lcode, const char* dst, const char* group, int batch, int index,
                    char* out, int cch)
{
    // Items that an earlier installation may have left, by string id.
    static constexpr WORD old_items[] = {32, 35, 30, 31};
    char name[WORK_CCH];
    char line[WORK_CCH];
    BOOL ok;

    switch (batch) {
    case 0:
        if (index != 0)
            return 0;
        ok = bounded_format(out, cch, "[CreateGroup(\"%s\")]", group);
        break;
    case 1:
        if (index != 0)
            return 0;
        ok = bounded_format(out, cch, "[ShowGroup(\"%s\", 1)]", group);
        break;
    case 2:
        if (index == 0) {
            ok = bounded_format(out, cch, "[DeleteItem(Quillon)]");
        } else if (index <= 4) {
            get_string(lcode, old_items[index - 1], name, WORK_CCH);
            ok = bounded_format(out, cch, "[DeleteItem(%s)]", name);
        } else if (index == 5) {
            ok = format_command_line(dst, "quillon.exe", line, WORK_CCH) &&
                 bounded_format(out, cch, "[AddItem(%s, Quillon)]", line);
        } else {
            return 0;
        }
        break;
    case 3:
        if (index != 0)
            return 0;
        get_string(lcode, 35, name, WORK_CCH);
        ok = format_command_line(dst, "uinstall.exe", line, WORK_CCH) &&
             bounded_format(out, cch, "[AddItem(%s, %s)]", line, name);
        break;
    case 4:
        if (index != 0)
            return 0;
        get_string(lcode, 30, name, WORK_CCH);
        ok = format_command_line(dst, "readme.wri", line, WORK_CCH) &&
             bounded_format(out, cch, "[AddItem(%s, %s, write.exe, 0)]", line, name);
        break;
    default:
        return 0;
    }
    if (!ok) {
        if (out != nullptr && cch > 0)
            out[0] = '\0';
        return -1;
    }
    return 1;
}
