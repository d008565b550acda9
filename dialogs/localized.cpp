// Resources found in the run's language.
#include "dialogs/dialogs.h"

// Indices 3 to 5 share the Dutch identifier; no resource is stored under it
// and the language page never yields those indices.
const WORD lang[7] = {1033, 1036, 1031, 1043, 1043, 1043, 5};

HRSRC find_by_langid(LPCSTR type, LPCSTR name, WORD langid)
{
    HRSRC hrsrc = FindResourceExA(hInst, type, name, langid);
    if (hrsrc == nullptr) {
        // The resources are stored under neutral sub-languages (7, 12, 5) except English.
        WORD neutral = MAKELANGID(PRIMARYLANGID(langid), SUBLANG_NEUTRAL);
        if (neutral != langid)
            hrsrc = FindResourceExA(hInst, type, name, neutral);
    }
    return hrsrc;
}

const void* lock_resource(HRSRC hrsrc, DWORD* size)
{
    *size = 0;
    if (hrsrc == nullptr)
        return nullptr;
    HGLOBAL hglob = LoadResource(hInst, hrsrc);
    const void* data = hglob != nullptr ? LockResource(hglob) : nullptr;
    if (data != nullptr)
        *size = SizeofResource(hInst, hrsrc);
    return data;
}

HRSRC find_localized(LPCSTR type, LPCSTR name, WORD lcode)
{
    if (lcode >= sizeof(lang) / sizeof(lang[0]))
        return nullptr;
    return find_by_langid(type, name, lang[lcode]);
}
