// Temporary directories for the tests that touch the disk.
#pragma once

#include <windows.h>

#include <string>

// A fresh, empty directory below the temporary folder, removed with all its
// content when the object goes.
class TempTree {
public:
    TempTree();
    ~TempTree();
    const std::string& path() const { return root_; }
    std::string sub(const std::string& rel) const { return root_ + "\\" + rel; }
    // Creates the directories of rel (relative, backslash-separated) and, when
    // file is not empty, an empty file of that name in it.
    void make(const std::string& rel, const std::string& file = "") const;

private:
    std::string root_;
};

// This test program's full path, whatever its length: it runs from the build
// directory through Z:, as deep as the clone lies, past MAX_PATH in a deep one.
std::wstring own_path();
// An ANSI text (a path of the temporary folder) for the wide calls.
std::wstring wide(const std::string& ansi);

bool file_exists(const std::string& path);
bool dir_exists(const std::string& path);
