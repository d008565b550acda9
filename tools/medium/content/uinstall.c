/* Demo uninstaller: it removes nothing, it shows how it was called. With
   /SILENT it shows nothing and leaves the command line in uinstall.log beside
   itself, which lets unattended tests read the uninstall entry's arguments. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

static int has_silent(const char *cmd)
{
    for (; *cmd; cmd++)
        if (_strnicmp(cmd, "/SILENT", 7) == 0)
            return 1;
    return 0;
}

static int write_log(const char *cmd)
{
    char path[MAX_PATH];
    char *slash;
    HANDLE file;
    DWORD len = (DWORD)strlen(cmd), written = 0;
    DWORD got = GetModuleFileNameA(NULL, path, sizeof path);

    if (got == 0 || got >= sizeof path)
        return 1;
    slash = strrchr(path, '\\');
    if (!slash || (size_t)(slash + 1 - path) + sizeof "uinstall.log" > sizeof path)
        return 1;
    strcpy(slash + 1, "uinstall.log");
    file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    if (!WriteFile(file, cmd, len, &written, NULL) || written != len) {
        CloseHandle(file);
        return 1;
    }
    CloseHandle(file);
    return 0;
}

int WINAPI WinMain(HINSTANCE inst, HINSTANCE prev, LPSTR cmd, int show)
{
    char text[1200];

    (void)inst;
    (void)prev;
    (void)show;
    if (has_silent(cmd))
        return write_log(cmd);
    if (snprintf(text, sizeof text, "Quillon demo uninstaller.\n\nCommand line: %s", cmd)
        >= (int)sizeof text)
        strcpy(text, "Quillon demo uninstaller.\n\n(command line too long to show)");
    MessageBoxA(NULL, text, "Quillon Demo Uninstall", MB_OK | MB_ICONINFORMATION);
    return 0;
}
