// CRC-32 (the polynomial of zlib and PKZIP), over data that may come in pieces:
// crc32_add(crc32_add(0, a), b) is the CRC of a followed by b.
#pragma once

#include <windows.h>

#include <cstddef>

DWORD crc32_add(DWORD crc, const void* data, size_t count);
