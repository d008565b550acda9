// Shared system files, copied into the Windows and system directories only
// when the medium's version number is higher than the installed one.
#include "copy/run_machinery.h"
#include "common/path_join.h"
#include "common/source_root.h"

#include <cstdio>
#include <cstring>
#include <vector>

constexpr int SYS_CCH = 728;

// A version resource's root block counts its length in a WORD, so this
// buffer always holds it whole, with room behind it for the ANSI copy that
// VerQueryValueA makes of a Unicode block: one call reads the version, where
// asking its size first maps the file a second time (some 2 ms under Wine).
constexpr DWORD VERSION_INFO_MAX = 4 * 65536;

BOOL runtime_version(const char* pFile, DWORD* pVer)
{
    *pVer = 0;
    HLOCAL hmem = LocalAlloc(LHND, VERSION_INFO_MAX);
    if (!hmem)
        return TRUE;
    void* info = LocalLock(hmem);
    if (!info) {
        LocalFree(hmem);
        return TRUE;
    }
    BOOL has_version = GetFileVersionInfoA(pFile, 0, VERSION_INFO_MAX, info);
    void* trans = nullptr;
    UINT len = 0;
    if (has_version && VerQueryValueA(info, "\\VarFileInfo\\Translation", &trans, &len) &&
        len >= 4) {
        const WORD* t = static_cast<const WORD*>(trans);
        char query[64];
        snprintf(query, sizeof query, "\\StringFileInfo\\%04X%04X\\FileVersion", t[0], t[1]);
        char* ver = nullptr;
        if (VerQueryValueA(info, query, reinterpret_cast<void**>(&ver), &len) && len > 0 && ver)
            for (const char* p = ver; *p; ++p)
                if (*p >= '0' && *p <= '9')
                    *pVer = *pVer * 10 + static_cast<DWORD>(*p - '0');
    }
    LocalUnlock(hmem);
    LocalFree(hmem);
    return has_version;
}

static bool file_present(const char* path)
{
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

static DWORD version_of(const char* path)
{
    DWORD ver = 0;
    if (file_present(path))
        runtime_version(path, &ver);
    return ver;
}

// Files with the same bytes carry the same version, so neither is newer.
// Telling that takes two opens and a read of both; reading a version maps the
// file as an image, some 1.6 ms a file under Wine, and an update or a repair
// finds the medium's libraries already in place.
static bool same_bytes(const char* a, const char* b)
{
    HANDLE ha = CreateFileA(a, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ha == INVALID_HANDLE_VALUE)
        return false;
    HANDLE hb = CreateFileA(b, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    bool same = false;
    LARGE_INTEGER sa, sb;
    if (hb != INVALID_HANDLE_VALUE && GetFileSizeEx(ha, &sa) && GetFileSizeEx(hb, &sb) &&
        sa.QuadPart == sb.QuadPart) {
        constexpr DWORD BLOCK = 65536;
        std::vector<BYTE> buf(2 * BLOCK);
        for (;;) {
            DWORD na = 0, nb = 0;
            if (!ReadFile(ha, buf.data(), BLOCK, &na, nullptr) ||
                !ReadFile(hb, buf.data() + BLOCK, BLOCK, &nb, nullptr) || na != nb ||
                memcmp(buf.data(), buf.data() + BLOCK, na) != 0)
                break;
            if (na == 0) {
                same = true;
                break;
            }
        }
    }
    if (hb != INVALID_HANDLE_VALUE)
        CloseHandle(hb);
    CloseHandle(ha);
    return same;
}

// pdrv + "\inst\" + system directory name of the platform + tail.
static bool system_source(char* out, size_t cch, const char* pdrv, WORD platform,
                          const char* tail)
{
    return path_set(out, cch, pdrv, "\\inst\\") && path_cat(out, cch, system_tree(platform)) &&
           path_cat(out, cch, tail);
}

static bool in_dir(char* out, size_t cch, bool system, const char* tail)
{
    UINT n = system ? GetSystemDirectoryA(out, static_cast<UINT>(cch))
                    : GetWindowsDirectoryA(out, static_cast<UINT>(cch));
    return n > 0 && n < cch && path_cat(out, cch, tail);
}

CopyOutcome update_dll(const char* lpszSrc, const char* lpszDst)
{
    if (same_bytes(lpszSrc, lpszDst))
        return COPY_DONE;
    DWORD src = 0;
    runtime_version(lpszSrc, &src);
    if (version_of(lpszDst) < src)
        return copy_file(nullptr, lpszDst, lpszSrc);
    return COPY_DONE;
}

CopyOutcome copy_runtime(const char* pdrv, WORD platform)
{
    static const char* const names[] = {"\\msvcrt20.dll", "\\msvcrt40.dll"};
    for (const char* name : names) {
        char src[SYS_CCH];
        char dst[SYS_CCH];
        if (!system_source(src, sizeof src, pdrv, platform, name))
            return COPY_LEFT_OUT;
        CharLowerA(src);
        // Without the older runtime on the medium the newer one is not offered.
        if (!file_present(src))
            return COPY_DONE;
        if (!in_dir(dst, sizeof dst, true, name))
            return COPY_LEFT_OUT;
        CharLowerA(dst);
        if (same_bytes(src, dst))
            continue;
        DWORD vsrc = 0, vdst = 0;
        runtime_version(src, &vsrc);
        runtime_version(dst, &vdst);
        if (vsrc > vdst) {
            const CopyOutcome copied = copy_file(nullptr, dst, src);
            if (copied != COPY_DONE)
                return copied;
        }
    }
    return COPY_DONE;
}

CopyOutcome copy_sx32w(const char* pdrv, WORD platform)
{
    char src[SYS_CCH];
    char dst[SYS_CCH];
    if (!system_source(src, sizeof src, pdrv, platform, "\\SX32W.DLL") ||
        !in_dir(dst, sizeof dst, true, "\\SX32W.DLL"))
        return COPY_LEFT_OUT;
    return copy_file(nullptr, dst, src);
}

// Each file is tried, also after one failed.
CopyOutcome copy_twain(const char* pdrv, WORD platform)
{
    static const char* const names[] = {"\\TWAIN.DLL", "\\TWAIN_32.DLL", "\\TWUNK_16.EXE",
                                        "\\TWUNK_32.EXE"};
    CopyOutcome outcome = COPY_DONE;
    for (const char* name : names) {
        char src[WORK_CCH];
        char dst[WORK_CCH];
        if (system_source(src, sizeof src, pdrv, platform, name) &&
            in_dir(dst, sizeof dst, false, name))
            outcome = worse(outcome, update_dll(src, dst));
        else
            outcome = worse(outcome, COPY_LEFT_OUT);
    }
    return outcome;
}

CopyOutcome copy_defdoc(const char* pdrv, WORD lang)
{
    char src[SYS_CCH];
    char dst[SYS_CCH];
    if (!path_set(src, sizeof src, pdrv, "\\quillon") || !build_source(src, sizeof src, lang, 0))
        return COPY_LEFT_OUT;
    char* last = strrchr(src, '\\');
    *last = '\0';
    if (!path_cat(src, sizeof src, "\\default.qlx") ||
        !in_dir(dst, sizeof dst, false, "\\ShellNew\\default.qlx"))
        return COPY_LEFT_OUT;
    return copy_file(nullptr, dst, src);
}

// At start-up no run is recording: the library every program may load is
// replaced within a run of its own, so that one killed halfway is put back
// at the next start. Without a record it is left as it is.
static BOOL replace_in_a_run(const char* dst, const char* src)
{
    char record[PATH_CCH];
    if (run_active())
        return copy_file(nullptr, dst, src) == COPY_DONE;
    if (!record_location(record, sizeof record) || !run_begin(record))
        return TRUE;
    const BOOL ok = copy_file(nullptr, dst, src) == COPY_DONE;
    if (!ok || !run_commit())
        run_undo();
    return ok;
}

BOOL copy_ctl3d(char* lpszDest, size_t cchDest)
{
    char root[PATH_CCH];
    char src[PATH_CCH];
    char dst[SYS_CCH];
    if (!get_source_root(root, sizeof root))
        return FALSE;
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    WORD plt = platform_from_arch(si.wProcessorArchitecture);
    if (!system_source(src, sizeof src, root, plt, "\\ctl3d\\ctl3d32.dll"))
        return FALSE;
    CharLowerA(src);
    if (!file_present(src))
        return FALSE;
    if (!in_dir(dst, sizeof dst, true, "\\ctl3d32.dll") || strlen(dst) >= cchDest)
        return FALSE;
    const bool present = file_present(dst);
    if (present)
        CharLowerA(dst);
    BOOL ok = TRUE;
    if (!present || !same_bytes(src, dst)) {
        DWORD vsrc = 0, vdst = 0;
        runtime_version(src, &vsrc);
        if (present)
            runtime_version(dst, &vdst);
        if (vdst < vsrc)
            ok = replace_in_a_run(dst, src);
    }
    strcpy(lpszDest, dst);
    return ok;
}
