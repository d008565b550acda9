// Running a page procedure in a test: its controls without the localized
// resources, and the alerts it raises answered as a user would.
#pragma once

#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

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
