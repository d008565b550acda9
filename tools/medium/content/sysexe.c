/* Stand-in for a helper program of the system-file tree: the setup only looks
   at its version resource, but it still runs and ends cleanly if started. */
#include <windows.h>

void WINAPI start(void)
{
    ExitProcess(0);
}
