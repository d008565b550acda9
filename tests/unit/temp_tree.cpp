#include "temp_tree.h"

#include <cstdio>

std::wstring own_path()
{
    std::wstring path(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    path.resize(n < path.size() ? n : 0);
    return path;
}

std::wstring wide(const std::string& ansi)
{
    int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), static_cast<int>(ansi.size()), &w[0], n);
    return w;
}

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
            else if (!DeleteFileW(full.c_str()) &&
                     SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL))
                DeleteFileW(full.c_str());   // a read-only file a test left
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
