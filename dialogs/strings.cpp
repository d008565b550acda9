// String lookup by language. Each block of 16 strings is found on its own,
// so the result does not depend on how the resource compiler laid them out.
#include "dialogs/dialogs.h"

char* get_string(WORD lcode, WORD id, char* pstr, int cpmax)
{
    if (pstr == nullptr || cpmax <= 0)
        return pstr;
    pstr[0] = '\0';

    WORD block = static_cast<WORD>(id / 16 + 1);
    DWORD bytes;
    const WCHAR* p = static_cast<const WCHAR*>(
        lock_resource(find_localized(RT_STRING, MAKEINTRESOURCEA(block), lcode), &bytes));
    if (p == nullptr)
        return pstr;
    DWORD words = bytes / sizeof(WCHAR);

    // Within a block each string is a count followed by that many characters.
    DWORD pos = 0;
    for (int i = 0; i < id % 16; ++i) {
        if (pos >= words)
            return pstr;
        pos += 1 + p[pos];
    }
    if (pos >= words)
        return pstr;
    DWORD len = p[pos];
    if (pos + 1 + len > words)
        return pstr;
    // With no room beyond the terminator the conversion would only measure.
    if (len == 0 || cpmax == 1)
        return pstr;

    int n = WideCharToMultiByte(CP_ACP, 0, p + pos + 1, static_cast<int>(len), pstr, cpmax - 1,
                                nullptr, nullptr);
    // n == 0 with characters to convert means the string did not fit.
    pstr[n > 0 ? n : 0] = '\0';
    return pstr;
}
