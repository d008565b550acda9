/* Demo 3-D control library. The setup program loads it on Windows NT and
   calls these three entry points by their undecorated names. The refusing
   build lets tests reach the start-up path where automatic subclassing fails. */
#include <windows.h>

#ifdef CTL3D_REFUSE_SUBCLASS
#define SUBCLASS_RESULT FALSE
#else
#define SUBCLASS_RESULT TRUE
#endif

BOOL WINAPI DllMain(HINSTANCE inst, DWORD reason, LPVOID reserved)
{
    (void)inst;
    (void)reason;
    (void)reserved;
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI Ctl3dRegister(HINSTANCE inst)
{
    (void)inst;
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI Ctl3dAutoSubclass(HINSTANCE inst)
{
    (void)inst;
    return SUBCLASS_RESULT;
}

__declspec(dllexport) BOOL WINAPI Ctl3dUnregister(HINSTANCE inst)
{
    (void)inst;
    return TRUE;
}
