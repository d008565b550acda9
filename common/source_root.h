// Where the medium is: the drive or share the running program was started from.
#pragma once

#include <windows.h>

#include <cstddef>

// The source root (drive "D:" or share "\\server\share") of a module path;
// long-path ("\\?\", "\\?\UNC\") and Wine's "UNC\" forms are brought to the
// plain form first. FALSE when the result does not fit.
BOOL source_root_of(const char* module_path, char* root, size_t cchRoot);
// The same for the running program.
BOOL get_source_root(char* root, size_t cchRoot);
