// The floor that Wine itself sets for the setup program's file work: a plain
// block copy of a tree and a plain FindFirstFileA walk, timed inside the
// process so that Wine's start-up is not counted.
//
//   floor.exe copy SRC DST        prints "copy <files> <bytes> <ms>"
//   floor.exe durable SRC DST     the same, then every file written is flushed
//                                 (reopened, in the order written) before it ends
//   floor.exe keep SRC DST PACK   what any installer that can undo an update
//                                 must do at the least: the bytes of every file
//                                 of DST it writes over appended to PACK, PACK
//                                 flushed, then SRC copied over DST in place,
//                                 each file flushed, and PACK deleted
//   floor.exe walk ROOT...        prints "walk <entries> <ms>"
//   floor.exe nop                 does nothing: what starting a Wine program costs
//
// The tick count moves in steps of 10 ms and more under Wine; the
// performance counter times to the microsecond.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include <string>
#include <vector>

static char buf[100000];
static unsigned long files, entries;
static unsigned long long bytes;
enum Mode { PLAIN, DURABLE, KEEP_OLD, WRITE_OVER };
static Mode mode = PLAIN;
static HANDLE pack = INVALID_HANDLE_VALUE;
static std::vector<std::string> written;

static bool join(char* out, const char* dir, const char* name)
{
    return snprintf(out, MAX_PATH, "%s\\%s", dir, name) < MAX_PATH;
}

// Copies in to out block by block; false on a failed read or write.
static bool pour(HANDLE in, HANDLE out)
{
    DWORD n = 0, w = 0;
    do {
        if (!ReadFile(in, buf, sizeof buf, &n, nullptr) || !WriteFile(out, buf, n, &w, nullptr) ||
            w != n)
            return false;
        bytes += n;
    } while (n == sizeof buf);
    return true;
}

static bool one_file(const char* s, const char* d)
{
    bool ok = false;
    if (mode == KEEP_OLD) {
        HANDLE old = CreateFileA(d, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        ok = old != INVALID_HANDLE_VALUE && pour(old, pack);
        CloseHandle(old);
        return ok;
    }
    HANDLE in = CreateFileA(s, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE out = CreateFileA(d, GENERIC_WRITE, 0, nullptr,
                             mode == WRITE_OVER ? OPEN_ALWAYS : CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    ok = pour(in, out) && (mode != WRITE_OVER || SetEndOfFile(out)) &&
         (mode != WRITE_OVER || FlushFileBuffers(out));
    CloseHandle(in);
    CloseHandle(out);
    if (mode == DURABLE)
        written.emplace_back(d);
    return ok;
}

static bool copy_tree(const char* src, const char* dst)
{
    char pat[MAX_PATH];
    if (!join(pat, src, "*.*"))
        return false;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pat, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return true;
    if (mode != KEEP_OLD)
        CreateDirectoryA(dst, nullptr);
    bool ok = true;
    do {
        if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, ".."))
            continue;
        char s[MAX_PATH], d[MAX_PATH];
        if (!join(s, src, fd.cFileName) || !join(d, dst, fd.cFileName)) {
            ok = false;
            break;
        }
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ok = copy_tree(s, d);
            continue;
        }
        ok = one_file(s, d);
        ++files;
    } while (ok && FindNextFileA(h, &fd));
    FindClose(h);
    return ok;
}

// Every file written, flushed: one wait for the disk a file, as the setup
// program's own flushes before it marks its run done.
static bool flush_written()
{
    bool ok = true;
    for (const std::string& d : written) {
        HANDLE h = CreateFileA(d.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ok = h != INVALID_HANDLE_VALUE && FlushFileBuffers(h) && ok;
        CloseHandle(h);
    }
    return ok;
}

static double ms_since(const LARGE_INTEGER& t0)
{
    LARGE_INTEGER now, freq;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&freq);
    return (now.QuadPart - t0.QuadPart) * 1000.0 / freq.QuadPart;
}

static void walk(const char* dir)
{
    char pat[MAX_PATH];
    if (!join(pat, dir, "*.*"))
        return;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pat, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, ".."))
            continue;
        ++entries;
        char s[MAX_PATH];
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && join(s, dir, fd.cFileName))
            walk(s);
        else
            CharLowerA(fd.cFileName);   // the search compares lower-cased names too
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

int main(int argc, char** argv)
{
    LARGE_INTEGER t0;
    QueryPerformanceCounter(&t0);
    if (argc == 4 && (!strcmp(argv[1], "copy") || !strcmp(argv[1], "durable"))) {
        mode = !strcmp(argv[1], "copy") ? PLAIN : DURABLE;
        bool ok = copy_tree(argv[2], argv[3]) && flush_written();
        printf("copy %lu %llu %.1f\n", files, bytes, ms_since(t0));
        return ok ? 0 : 1;
    }
    if (argc == 5 && !strcmp(argv[1], "keep")) {
        pack = CreateFileA(argv[4], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        mode = KEEP_OLD;
        bool ok = pack != INVALID_HANDLE_VALUE && copy_tree(argv[2], argv[3]) &&
                  FlushFileBuffers(pack);
        CloseHandle(pack);
        files = 0;
        mode = WRITE_OVER;
        ok = ok && copy_tree(argv[2], argv[3]) && DeleteFileA(argv[4]);
        printf("copy %lu %llu %.1f\n", files, bytes, ms_since(t0));
        return ok ? 0 : 1;
    }
    if (argc >= 3 && !strcmp(argv[1], "walk")) {
        for (int i = 2; i < argc; ++i)
            walk(argv[i]);
        printf("walk %lu %.1f\n", entries, ms_since(t0));
        return 0;
    }
    if (argc == 2 && !strcmp(argv[1], "nop"))
        return 0;
    fprintf(stderr, "usage: floor copy|durable SRC DST | floor keep SRC DST PACK | floor walk ROOT... | floor nop\n");
    return 2;
}
