// Temporary directories for the tests of the path helpers and the search.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

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

// Presses button on every alert of this caption while it lives, from a
// thread of its own, so a test does not wait for a user.
class AlertAnswerer {
public:
    AlertAnswerer(const char* caption, int button);
    ~AlertAnswerer();
    bool seen() const { return seen_; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<bool> seen_{false};
    std::thread thread_;
};

// An in-memory dialog template holding just the controls a page procedure
// needs, so the procedure runs without the localized resources. cls is the
// predefined class atom (0x80 button, 0x81 edit, 0x82 static, 0x83 list box).
struct TemplateControl {
    DWORD style;
    WORD id;
    WORD cls;
};
std::vector<WORD> page_template(const std::vector<TemplateControl>& controls);

bool file_exists(const std::string& path);
bool dir_exists(const std::string& path);
