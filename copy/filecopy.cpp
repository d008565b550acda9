// Directory and file copy with the progress bar of the copy page.
#include "copy/copy.h"
#include "target/target.h"
#include "ui/ui.h"

#include <cstdio>
#include <cstring>

constexpr DWORD COPY_BLOCK = 100000;
constexpr int IDC_SRC_LINE = 10;
constexpr int IDC_DST_LINE = 11;
constexpr int IDC_BAR = 13;

static bool is_merge_dir(const char* name)
{
    return strcmp(name, "serial") == 0 || strcmp(name, "typeset") == 0;
}

static void show_line(HWND hDlg, int cid, const char* text)
{
    if (!hDlg)
        return;
    SetDlgItemTextA(hDlg, cid, text);
    UpdateWindow(GetDlgItem(hDlg, cid));
}

int copy_directory(HWND hDlg, const char* pdst, const char* psrc, BOOL subdir, BOOL keep_qpr)
{
    char pattern[PATH_CCH];
    if (!path_set(pattern, sizeof pattern, psrc, "\\*.*"))
        return TRUE;   // no such directory can exist on the medium
    WIN32_FIND_DATAA fd;
    HANDLE hfind = FindFirstFileA(pattern, &fd);
    if (hfind == INVALID_HANDLE_VALUE)
        return TRUE;

    if (!create_directory(pdst)) {
        MessageBoxA(hDlg, pdst, "INT: Error Creating...", MB_OK);
        FindClose(hfind);
        return FALSE;
    }

    BOOL more = TRUE;
    while (more && copyflag) {
        char src[PATH_CCH];
        char dst[PATH_CCH];
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (subdir && strcmp(fd.cFileName, ".") != 0 && strcmp(fd.cFileName, "..") != 0) {
                CharLowerA(fd.cFileName);
                const char* target = pdst;
                if (!is_merge_dir(fd.cFileName)) {
                    if (!build_fspec(pdst, fd.cFileName, dst, sizeof dst))
                        goto too_long;
                    target = dst;
                }
                if (!build_fspec(pattern, fd.cFileName, src, sizeof src))
                    goto too_long;
                if (!copy_directory(hDlg, target, src, subdir, keep_qpr)) {
                    FindClose(hfind);
                    return FALSE;
                }
            }
        } else {
            drain_queue();
            if (!copyflag)
                break;
            CharLowerA(fd.cFileName);
            if (!(keep_qpr && strcmp(fd.cFileName, "quillon.qpr") == 0)) {
                if (!build_fspec(pdst, fd.cFileName, dst, sizeof dst) ||
                    !build_fspec(pattern, fd.cFileName, src, sizeof src))
                    goto too_long;
                CharLowerA(dst);
                CharLowerA(src);
                show_line(hDlg, IDC_SRC_LINE, src);
                show_line(hDlg, IDC_DST_LINE, dst);
                if (!copy_file(hDlg, dst, src)) {
                    FindClose(hfind);
                    return FALSE;
                }
            }
        }
        more = FindNextFileA(hfind, &fd);
    }
    FindClose(hfind);
    return copyflag;

too_long:
    // A path the buffers cannot hold would install an incomplete product.
    FindClose(hfind);
    MessageBoxA(hDlg, pdst, "INT: Error Creating...", MB_OK);
    return FALSE;
}

// Opens the existing destination once to learn whether it may be replaced:
// a file held open by another program is left alone, a read-only one is
// made writable.
static bool may_replace(const char* pdst)
{
    HANDLE h = CreateFileA(pdst, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
        SetFileAttributesA(pdst, FILE_ATTRIBUTE_NORMAL);
        h = CreateFileA(pdst, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    }
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

// A sibling of pdst that the block loop may fill; the destination itself is
// replaced only by a complete copy.
static HANDLE create_temp(const char* pdst, char* tmp, size_t cchTmp)
{
    char dir[PATH_CCH];
    if (!path_set(dir, sizeof dir, pdst, nullptr) || cchTmp < MAX_PATH)
        return INVALID_HANDLE_VALUE;
    char* last = strrchr(dir, '\\');
    if (!last)
        return INVALID_HANDLE_VALUE;
    last[1] = '\0';
    if (strlen(dir) > MAX_PATH - 14 || !GetTempFileNameA(dir, "qst", 0, tmp))
        return INVALID_HANDLE_VALUE;
    HANDLE h = CreateFileA(tmp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE)
        DeleteFileA(tmp);
    return h;
}

// A destination that did not exist is written in place (and removed again
// when the copy fails); an existing one only ever by a complete temporary.
static HANDLE open_target(const char* pdst, bool existed, char* tmp, size_t cchTmp)
{
    if (!existed) {
        tmp[0] = '\0';
        HANDLE h = CreateFileA(pdst, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return h;
    }
    if (!may_replace(pdst))
        return INVALID_HANDLE_VALUE;
    return create_temp(pdst, tmp, cchTmp);
}

BOOL copy_file(HWND hDlg, const char* pdst, const char* psrc)
{
    HLOCAL hbuf = LocalAlloc(LHND, COPY_BLOCK);
    if (!hbuf)
        return FALSE;
    BYTE* buf = static_cast<BYTE*>(LocalLock(hbuf));
    if (!buf) {
        LocalFree(hbuf);
        return FALSE;
    }

    BOOL result = TRUE;
    char tmp[MAX_PATH] = "";
    HANDLE hdst = INVALID_HANDLE_VALUE;
    HANDLE hsrc = CreateFileA(psrc, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool existed = GetFileAttributesA(pdst) != INVALID_FILE_ATTRIBUTES;
    if (hsrc != INVALID_HANDLE_VALUE)
        hdst = open_target(pdst, existed, tmp, sizeof tmp);

    if (hdst != INVALID_HANDLE_VALUE) {
        // Noted before the first byte, so an interrupted run still finds it.
        const char* written = tmp[0] ? tmp : pdst;
        if (!tmp[0])
            journal_note_file(pdst);
        bool failed = false;
        DWORD nread;
        do {
            DWORD nwritten = 0;
            nread = 0;
            if (!ReadFile(hsrc, buf, COPY_BLOCK, &nread, nullptr) ||
                !WriteFile(hdst, buf, nread, &nwritten, nullptr) || nwritten != nread) {
                failed = true;
                break;
            }
            update_status(hDlg, 0, nread);
        } while (nread == COPY_BLOCK);

        CloseHandle(hdst);
        if (failed) {
            DeleteFileA(written);
            alert(hDlg, ALERT_DISK_FULL);
            result = FALSE;
        } else if (tmp[0] && !MoveFileExA(tmp, pdst, MOVEFILE_REPLACE_EXISTING)) {
            // Taken by another program meanwhile: skipped like a locked file.
            DeleteFileA(tmp);
        }
    }
    if (hsrc != INVALID_HANDLE_VALUE)
        CloseHandle(hsrc);
    LocalUnlock(hbuf);
    LocalFree(hbuf);
    return result;
}

int percent_done(DWORD copied, DWORD total)
{
    ULONGLONG perc;
    if (total >= 100)
        perc = copied / (total / 100);
    else if (total > 0)
        perc = static_cast<ULONGLONG>(copied) * 100 / total;
    else
        perc = copied ? 100 : 0;   // nothing announced: done as soon as anything moved
    return perc > 100 ? 100 : static_cast<int>(perc);
}

// The off-screen picture of the bar lives as long as the copy page: creating
// it anew at every block costs ten times the drawing itself under Wine.
static HWND bar_wnd;
static HDC bar_dc;
static HBITMAP bar_bmp;
static HGDIOBJ bar_oldbmp;
static SIZE bar_size;

void release_bar()
{
    if (bar_dc) {
        SelectObject(bar_dc, bar_oldbmp);
        DeleteDC(bar_dc);
    }
    if (bar_bmp)
        DeleteObject(bar_bmp);
    bar_wnd = nullptr;
    bar_dc = nullptr;
    bar_bmp = nullptr;
}

static HDC bar_canvas(HWND hbar, HDC hdc)
{
    if (bar_dc && bar_wnd == hbar && bar_size.cx == rcBar.right && bar_size.cy == rcBar.bottom)
        return bar_dc;
    release_bar();
    bar_dc = CreateCompatibleDC(hdc);
    bar_bmp = CreateCompatibleBitmap(hdc, rcBar.right, rcBar.bottom);
    if (!bar_dc || !bar_bmp) {
        if (bar_dc)
            DeleteDC(bar_dc);
        if (bar_bmp)
            DeleteObject(bar_bmp);
        bar_dc = nullptr;
        bar_bmp = nullptr;
        return nullptr;
    }
    bar_oldbmp = SelectObject(bar_dc, bar_bmp);
    bar_wnd = hbar;
    bar_size = {rcBar.right, rcBar.bottom};
    return bar_dc;
}

void update_status(HWND hDlg, DWORD, DWORD low)
{
    if (!hDlg)
        return;
    bcopied += low;
    const int perc = percent_done(bcopied, tbytes);

    HWND hbar = GetDlgItem(hDlg, IDC_BAR);
    if (hbar && rcBar.right > rcBar.left && rcBar.bottom > rcBar.top) {
        RECT fill = rcBar;
        fill.right = static_cast<LONG>((rcBar.right / 100.0) * perc);

        // Composed off-screen and put on the control in one blit, so the bar
        // never flickers and each block costs a single transfer.
        HDC hdc = GetDC(hbar);
        if (HDC mem = bar_canvas(hbar, hdc)) {
            HFONT font = reinterpret_cast<HFONT>(SendMessageA(hDlg, WM_GETFONT, 0, 0));
            HGDIOBJ oldfont = font ? SelectObject(mem, font) : nullptr;
            SetTextColor(mem, GetTextColor(hdc));
            FillRect(mem, &rcBar, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
            char text[16];
            int n = snprintf(text, sizeof text, "%li %%", static_cast<long>(perc));
            int oldmode = SetBkMode(mem, TRANSPARENT);
            TextOutA(mem, rcBar.right / 2 - 20, rcBar.top + 4, text, n);
            SetBkMode(mem, oldmode);
            PatBlt(mem, fill.left, fill.top, fill.right - fill.left, fill.bottom - fill.top,
                   DSTINVERT);
            BitBlt(hdc, rcBar.left, rcBar.top, rcBar.right - rcBar.left,
                   rcBar.bottom - rcBar.top, mem, rcBar.left, rcBar.top, SRCCOPY);
            if (oldfont)
                SelectObject(mem, oldfont);
        }
        ReleaseDC(hbar, hdc);
    }
    update_bmpinfo();
}
