/* Second program of the demo product; exists so that its icon can be shown. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE inst, HINSTANCE prev, LPSTR cmd, int show)
{
    (void)inst;
    (void)prev;
    (void)cmd;
    (void)show;
    MessageBoxA(NULL, "Lumen demo program (part of the Quillon demo).", "Lumen Demo",
                MB_OK | MB_ICONINFORMATION);
    return 0;
}
