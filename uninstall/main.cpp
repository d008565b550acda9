// Entry point of the uninstaller: the copy in the temporary directory does
// the work; the original hands over to it, or works in place when no copy
// can be made.
#include "uninstall/uninstall.h"
#include "dialogs/dialogs.h"

int WINAPI WinMain(HINSTANCE hinstCurrent, HINSTANCE, LPSTR cmdline, int)
{
    hInst = hinstCurrent;
    char exe[PATH_CCH];
    DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
    if (n == 0 || n >= sizeof exe)
        return EXIT_NOT_FINISHED;
    ORIGIN where;
    if (taken_over(&where))
        return uninstall(&where, cmdline);   // the original has this file removed at the restart
    int code = 0;
    if (hand_over(exe, cmdline, &code))
        return code;
    // The work is done here; this file goes at the next restart.
    if (!here(&where, exe))
        return EXIT_NOT_FINISHED;
    return uninstall(&where, cmdline);
}
