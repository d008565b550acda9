// Reading one registry value into a caller's buffer.
#include "common/registry_read.h"

BOOL get_from_registry(HKEY hkey, LPCSTR lpszSubKey, LPCSTR lpszValueName, DWORD type,
                       LPBYTE lpBuffer, DWORD cbSize)
{
    HKEY hsub;
    if (RegOpenKeyExA(hkey, lpszSubKey, 0, KEY_READ, &hsub) != ERROR_SUCCESS)
        return FALSE;
    DWORD size = cbSize;
    DWORD found = 0;
    LONG rc = RegQueryValueExA(hsub, lpszValueName, nullptr, &found, lpBuffer, &size);
    RegCloseKey(hsub);
    // A value of another type is no answer: its bytes read as text would name
    // a directory nobody chose.
    if (rc != ERROR_SUCCESS || found != type)
        return FALSE;
    // A string stored without its terminator must still end inside the buffer.
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && cbSize > 0) {
        if (size >= cbSize && lpBuffer[cbSize - 1] != '\0')
            return FALSE;
        if (size < cbSize)
            lpBuffer[size] = '\0';
    }
    return TRUE;
}
