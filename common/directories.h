// Directories on disk: existence, creation level by level, and the spelling
// the disk gives each level of a path.
#pragma once

#include <windows.h>

BOOL ValidDirectory(LPCSTR lpstrDir);
// Creates every missing level of an absolute path; each level made is noted
// in the journal. FALSE when a level cannot be made or the path is too long.
BOOL create_directory(const char* ppath);
// A full path: drive letter, colon and backslash, or \\server\share. Anything
// else depends on the current directory and names no fixed place.
bool is_full_path(const char* path);
// Rewrites, in place, each existing level of an absolute path with the
// spelling it has on disk (same letters, other case). Under Wine a name given
// in another case than the disk's makes every open search the directory; a
// path resolved once is opened directly. Levels that do not exist yet keep
// the text given. False when some level was not found.
bool use_disk_case(char* path);
