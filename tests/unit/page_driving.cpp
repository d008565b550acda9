#include "page_driving.h"

AlertAnswerer::AlertAnswerer(const char* caption, int button)
    : thread_([this, caption, button] {
          while (!stop_) {
              if (HWND w = FindWindowA(nullptr, caption)) {
                  seen_ = true;
                  PostMessageA(w, WM_COMMAND, static_cast<WPARAM>(button), 0);
              }
              Sleep(20);
          }
      })
{
}

AlertAnswerer::~AlertAnswerer()
{
    stop_ = true;
    thread_.join();
}

std::vector<WORD> page_template(const std::vector<TemplateControl>& controls)
{
    std::vector<WORD> t;
    auto dword = [&t](DWORD v) { t.push_back(LOWORD(v)); t.push_back(HIWORD(v)); };
    auto align = [&t] { if (t.size() % 2) t.push_back(0); };
    dword(WS_POPUP | DS_MODALFRAME);
    dword(0);
    t.push_back(static_cast<WORD>(controls.size()));
    for (WORD v : {0, 0, 200, 150})
        t.push_back(v);
    t.push_back(0);  // no menu
    t.push_back(0);  // default class
    t.push_back(0);  // no caption
    for (const TemplateControl& ctl : controls) {
        align();
        dword(ctl.style);
        dword(0);
        for (WORD v : {5, 5, 150, 60})
            t.push_back(v);
        t.push_back(ctl.id);
        t.push_back(0xFFFF);
        t.push_back(ctl.cls);
        t.push_back(0);  // no text
        t.push_back(0);  // no creation data
    }
    return t;
}
