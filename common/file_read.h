// A file open for reading, read to its end.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// Appends what file holds from where it stands to its end to text, or stops
// once text holds more than most bytes; false on a read error.
bool read_to_end(HANDLE file, std::string* text, size_t most = static_cast<size_t>(-1));
