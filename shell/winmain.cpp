// Entry point (filled in by the start-up work).
#include "shell/quillon.h"

int WINAPI WinMain(HINSTANCE hinstCurrent, HINSTANCE, LPSTR, int)
{
    hInst = hinstCurrent;
    return 0;
}
