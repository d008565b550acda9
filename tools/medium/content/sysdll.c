/* Stand-in for a shared system library on the demo medium: it only has to
   load and to carry a version resource, so it has no runtime at all. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE inst, DWORD reason, LPVOID reserved)
{
    (void)inst;
    (void)reason;
    (void)reserved;
    return TRUE;
}
