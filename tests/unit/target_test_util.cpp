#include "target_test_util.h"

#include <cstdio>

static void remove_tree_w(const std::wstring& dir)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring full = dir + L"\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                remove_tree_w(full);
            else
                DeleteFileW(full.c_str());
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(dir.c_str());
}

TempTree::TempTree()
{
    static int serial = 0;
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    char name[MAX_PATH];
    snprintf(name, sizeof(name), "%sqtest%lu_%d", tmp, GetCurrentProcessId(), ++serial);
    root_ = name;
    CreateDirectoryA(root_.c_str(), nullptr);
}

TempTree::~TempTree()
{
    // The long-path prefix lets the removal reach levels beyond 260 characters.
    std::wstring w(root_.begin(), root_.end());
    remove_tree_w(L"\\\\?\\" + w);
}

void TempTree::make(const std::string& rel, const std::string& file) const
{
    std::wstring w(root_.begin(), root_.end());
    std::wstring path = L"\\\\?\\" + w;
    size_t start = 0;
    while (start <= rel.size() && !rel.empty()) {
        size_t end = rel.find('\\', start);
        std::string part = rel.substr(start, end == std::string::npos ? std::string::npos : end - start);
        path += L"\\" + std::wstring(part.begin(), part.end());
        CreateDirectoryW(path.c_str(), nullptr);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    if (!file.empty()) {
        std::wstring f = path + L"\\" + std::wstring(file.begin(), file.end());
        HANDLE h = CreateFileW(f.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
}

bool file_exists(const std::string& path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool dir_exists(const std::string& path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

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
