// Building paths in the caller's fixed buffer. Every function refuses a
// result that does not fit rather than cut it.
#pragma once

#include <windows.h>

#include <cstddef>

// The one join: directory + "\" (unless it already ends in one) + name.
// Returns the length of the joined path; 0, with an empty lpstrPath, when the
// directory is empty or the result does not fit nMaxPath.
UINT BuildPath(LPCSTR lpstrDir, LPCSTR lpstrFile, LPSTR lpstrPath, UINT nMaxPath);
// The same join for a directory that may end in a "\*.*" pattern, which is
// dropped; psrc and pdst may be the same buffer. nullptr, pdst untouched, when
// it does not fit.
char* build_fspec(const char* psrc, const char* pfile, char* pdst, size_t cchDst);

// Appending fixed pieces that bring their own separators ("\quillon",
// "\USA"): no separator is added. false when the result does not fit;
// path_cat then leaves dst unchanged, path_set leaves it empty.
bool path_cat(char* dst, size_t cch, const char* s);
bool path_set(char* dst, size_t cch, const char* a, const char* b);
