// Reading the medium's manifest and checking files against it. The manifest
// lies in the product's directory, which the user (or anything the user
// runs) can write: a line that does not parse, or that names a place outside
// that directory, is refused, never followed.
#include "uninstall/uninstall.h"
#include "common/crc32.h"
#include "common/file_read.h"
#include "common/path_join.h"

#include <cstdlib>
#include <cstring>

// A manifest of the largest medium is a few MB; a file much larger is no manifest.
constexpr size_t MANIFEST_MAX = 16u * 1024 * 1024;
constexpr size_t REFUSED_SHOWN = 200;   // characters of a refused line kept for the report

bool file_crc(const char* path, ULONGLONG* size, DWORD* crc)
{
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BYTE block[65536];
    DWORD got = 0;
    bool ok;
    *size = 0;
    *crc = 0;
    while ((ok = ReadFile(h, block, sizeof block, &got, nullptr) != FALSE) && got > 0) {
        *crc = crc32_add(*crc, block, got);
        *size += got;
    }
    CloseHandle(h);
    return ok;
}

// A level Windows would read as another name (trailing dots and blanks are
// dropped, so "..." and ". ." are the parent) or that holds a character no
// file name may hold.
static bool plain_level(const char* p, size_t n)
{
    if (n == 0 || p[n - 1] == '.' || p[n - 1] == ' ')
        return false;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(p[i]);
        if (c < 0x20 || strchr(":*?\"<>|/", c) != nullptr)
            return false;
    }
    return true;
}

bool inside_path(const char* dir, const char* rel, char* out, size_t cch)
{
    if (cch > 0)
        out[0] = '\0';
    // A leading backslash is a rooted path or a share; a colon a drive (or a stream).
    if (rel[0] == '\0' || rel[0] == '\\')
        return false;
    for (const char* level = rel;;) {
        const char* end = strchr(level, '\\');
        size_t n = end ? static_cast<size_t>(end - level) : strlen(level);
        if (!plain_level(level, n))
            return false;
        if (end == nullptr)
            break;
        level = end + 1;
    }
    // MAX_PATH at most, whatever the caller's buffer: longer paths are not
    // opened alike by every program, and the record keeps PATH_CCH.
    size_t room = cch < static_cast<size_t>(PATH_CCH) ? cch : static_cast<size_t>(PATH_CCH);
    return BuildPath(dir, rel, out, static_cast<UINT>(room)) != 0;
}

static bool parse_number(const std::string& s, ULONGLONG* value)
{
    if (s.empty() || s.size() > 19 || s.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *value = strtoull(s.c_str(), nullptr, 10);
    return true;
}

static bool parse_crc(const std::string& s, DWORD* value)
{
    if (s.size() != 8 || s.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    *value = static_cast<DWORD>(strtoul(s.c_str(), nullptr, 16));
    return true;
}

static bool parse_entry(const std::string& line, const char* dir, MANIFEST_FILE* f)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t bar; (bar = line.find('|', start)) != std::string::npos; start = bar + 1)
        fields.push_back(line.substr(start, bar - start));
    fields.push_back(line.substr(start));
    if (fields.size() != 6 || fields[0].size() != 1 || fields[1].empty())
        return false;
    f->kind = fields[0][0];
    f->lang = fields[1];
    f->platform = fields[2];
    f->path = fields[3];
    if (!parse_number(fields[4], &f->size) || !parse_crc(fields[5], &f->crc))
        return false;
    char full[PATH_CCH];
    switch (f->kind) {
    case 'F':
    case 'S':
        return inside_path(dir, f->path.c_str(), full, sizeof full);
    case 'T':
        // The template has one place, named by the system; the line only says its bytes.
        return _stricmp(f->path.c_str(), "default.qlx") == 0;
    default:
        return false;
    }
}

int manifest_parse(const char* text, size_t n, const char* dir, std::vector<MANIFEST_FILE>* files,
                   std::vector<std::string>* refused)
{
    files->clear();
    refused->clear();
    if (n > MANIFEST_MAX)
        return MANIFEST_UNREADABLE;
    bool header = false;
    for (size_t pos = 0; pos < n;) {
        const char* eol = static_cast<const char*>(memchr(text + pos, '\n', n - pos));
        size_t end = eol ? static_cast<size_t>(eol - text) : n;
        std::string line(text + pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!header) {
            if (line != "QMF|1")
                return MANIFEST_UNREADABLE;
            header = true;
            continue;
        }
        if (line.empty())
            continue;
        MANIFEST_FILE f;
        if (parse_entry(line, dir, &f))
            files->push_back(std::move(f));
        else
            refused->push_back(line.substr(0, REFUSED_SHOWN));
    }
    return header ? MANIFEST_OK : MANIFEST_UNREADABLE;
}

int manifest_read(const char* file, const char* dir, std::vector<MANIFEST_FILE>* files,
                  std::vector<std::string>* refused)
{
    files->clear();
    refused->clear();
    HANDLE h = CreateFileA(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD err = GetLastError();
        return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ? MANIFEST_MISSING
                                                                          : MANIFEST_UNREADABLE;
    }
    std::string text;
    const bool ok = read_to_end(h, &text, MANIFEST_MAX);
    CloseHandle(h);
    if (!ok)
        return MANIFEST_UNREADABLE;
    return manifest_parse(text.data(), text.size(), dir, files, refused);
}
