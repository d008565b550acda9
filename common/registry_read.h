// Reading one registry value into a caller's buffer.
#pragma once

#include <windows.h>

// Reads value lpszValueName of key hkey\lpszSubKey into lpBuffer (cbSize
// bytes). A string value always ends up terminated inside the buffer, or the
// read fails; so does a value stored with another type than type.
BOOL get_from_registry(HKEY hkey, LPCSTR lpszSubKey, LPCSTR lpszValueName, DWORD type,
                       LPBYTE lpBuffer, DWORD cbSize);
