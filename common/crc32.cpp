// Eight bytes a step through eight tables: the pack checks every byte it
// keeps, up to hundreds of megabytes in an update, and a byte at a time cost
// a tenth of the update's time.
#include "common/crc32.h"

namespace {

struct Tables {
    DWORD t[8][256];
    Tables()
    {
        for (DWORD i = 0; i < 256; ++i) {
            DWORD c = i;
            for (int k = 0; k < 8; ++k)
                c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
            t[0][i] = c;
        }
        for (DWORD i = 0; i < 256; ++i)
            for (int s = 1; s < 8; ++s)
                t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    }
};

const Tables tables;

}   // namespace

DWORD crc32_add(DWORD crc, const void* data, size_t count)
{
    const BYTE* p = static_cast<const BYTE*>(data);
    crc = ~crc;
    while (count >= 8) {
        const DWORD a = crc ^ (p[0] | p[1] << 8 | p[2] << 16 | static_cast<DWORD>(p[3]) << 24);
        const DWORD b = p[4] | p[5] << 8 | p[6] << 16 | static_cast<DWORD>(p[7]) << 24;
        crc = tables.t[7][a & 0xFF] ^ tables.t[6][(a >> 8) & 0xFF] ^ tables.t[5][(a >> 16) & 0xFF] ^
              tables.t[4][a >> 24] ^ tables.t[3][b & 0xFF] ^ tables.t[2][(b >> 8) & 0xFF] ^
              tables.t[1][(b >> 16) & 0xFF] ^ tables.t[0][b >> 24];
        p += 8;
        count -= 8;
    }
    while (count--)
        crc = (crc >> 8) ^ tables.t[0][(crc ^ *p++) & 0xFF];
    return ~crc;
}
