// The copy page while files are copied: its controls, device contexts and
// buffer kept for the page's life, the path lines and the bar drawn at most
// once a frame.
#include "copy/copypage.h"
#include "copy/copy.h"
#include "copy/framepace.h"
#include "copy/pathline.h"
#include "common/path_join.h"
#include "dialogs/dialogs.h"
#include "ui/ui.h"

#include <cstdio>

// What the copy keeps for the life of one copy page. Under Wine, looking up
// a control, getting a device context or allocating the buffer costs a round
// trip to the server or more; at every file or block that came to more than
// the copy of a small file itself.
struct PageCache {
    HWND page;
    HWND src_line;
    HWND dst_line;
    HWND bar;
    HDC bar_dc;         // the bar's window DC, held until release_copy_page
    HDC mem;            // the off-screen picture of the bar
    HBITMAP bmp;
    HGDIOBJ oldbmp;
    HGDIOBJ oldfont;
    SIZE size;
    int drawn_perc;     // percentage the picture shows; -1 before the first
    bool bar_behind;    // bytes were counted since the bar was last put on the control
    bool lines_behind;  // the lines do not show next_src and next_dst yet
    char next_src[PATH_CCH];   // the file begun last, as the lines show it
    char next_dst[PATH_CCH];
    HLOCAL hbuf;        // the copy buffer of the page's files
    BYTE* buf;
};
static PageCache pc;

static void use_page(HWND hDlg)
{
    if (pc.page == hDlg)
        return;
    release_copy_page();
    pc.page = hDlg;
    pc.src_line = GetDlgItem(hDlg, IDC_SRC_LINE);
    pc.dst_line = GetDlgItem(hDlg, IDC_DST_LINE);
    pc.bar = GetDlgItem(hDlg, IDC_BAR);
    attach_path_lines(pc.src_line, pc.dst_line);
    frame_now();   // a new page shows its first file at once
}

// The attached lines paint within SetWindowText; a line that could not be
// attached is a plain static and is brought up to date at once.
static void show_line(HWND line, const char* text)
{
    if (!line)
        return;
    SetWindowTextA(line, text);
    if (!path_line_attached(line))
        UpdateWindow(line);
}

// Keeps the paths of the file begun last, lower case, for the next showing.
static bool note_file(const char* src, const char* dst)
{
    if (!path_set(pc.next_src, sizeof pc.next_src, src, nullptr) ||
        !path_set(pc.next_dst, sizeof pc.next_dst, dst, nullptr))
        return false;
    CharLowerA(pc.next_src);
    CharLowerA(pc.next_dst);
    pc.lines_behind = true;
    return true;
}

static void show_lines()
{
    if (!pc.lines_behind)
        return;
    show_line(pc.src_line, pc.next_src);
    show_line(pc.dst_line, pc.next_dst);
    pc.lines_behind = false;
}

static void draw_bar(HWND hDlg);

void catch_up_page(HWND hDlg)
{
    if (!hDlg)
        return;
    use_page(hDlg);
    show_lines();
    if (pc.bar_behind)
        draw_bar(hDlg);
}

void show_copy_frame(HWND hDlg)
{
    // Drawn before the queue is served: a Cancel question, or any other
    // reason the copy rests, finds the page up to date, and the pump puts
    // the drawing on the screen.
    catch_up_page(hDlg);
    drain_queue();
    frame_shown();
}

void keep_page_live(HWND hDlg)
{
    // A frame asked for is the next file's: it is shown with its name.
    if (hDlg && !frame_asked() && frame_due())
        show_copy_frame(hDlg);
}

bool show_file(HWND hDlg, const char* src, const char* dst)
{
    const bool frame = frame_due();
    if (frame)
        show_copy_frame(hDlg);
    if (!copyflag)
        return false;
    if (hDlg) {
        // Shown lower case; opened as the disk spells the levels above,
        // with the new name lower case.
        use_page(hDlg);
        note_file(src, dst);
        if (frame)
            show_lines();
    }
    return true;
}

BYTE* copy_buffer(HWND hDlg, HLOCAL* owned)
{
    *owned = nullptr;
    if (hDlg) {
        use_page(hDlg);
        if (pc.buf)
            return pc.buf;
    }
    HLOCAL h = LocalAlloc(LHND, COPY_BLOCK);
    if (!h)
        return nullptr;
    BYTE* p = static_cast<BYTE*>(LocalLock(h));
    if (!p) {
        LocalFree(h);
        return nullptr;
    }
    if (hDlg) {
        pc.hbuf = h;
        pc.buf = p;
    } else {
        *owned = h;
    }
    return p;
}

void free_buffer(HLOCAL owned)
{
    if (owned) {
        LocalUnlock(owned);
        LocalFree(owned);
    }
}

int percent_done(ULONGLONG copied, ULONGLONG total)
{
    ULONGLONG perc;
    if (total >= 100)
        perc = copied / (total / 100);
    else if (total > 0)
        perc = copied * 100 / total;
    else
        perc = copied ? 100 : 0;   // nothing announced: done as soon as anything moved
    return perc > 100 ? 100 : static_cast<int>(perc);
}

static void drop_picture()
{
    if (pc.mem) {
        if (pc.oldfont)
            SelectObject(pc.mem, pc.oldfont);
        if (pc.oldbmp)
            SelectObject(pc.mem, pc.oldbmp);
        DeleteDC(pc.mem);
    }
    if (pc.bmp)
        DeleteObject(pc.bmp);
    pc.mem = nullptr;
    pc.bmp = nullptr;
    pc.oldbmp = nullptr;
    pc.oldfont = nullptr;
}

void release_copy_page()
{
    release_path_lines();
    drop_picture();
    if (pc.bar_dc)
        ReleaseDC(pc.bar, pc.bar_dc);
    if (pc.hbuf) {
        LocalUnlock(pc.hbuf);
        LocalFree(pc.hbuf);
    }
    pc = PageCache{};
}

// The picture is made once per page, with the page's font chosen into it.
static HDC bar_canvas(HWND hDlg)
{
    if (pc.mem && pc.size.cx == rcBar.right && pc.size.cy == rcBar.bottom)
        return pc.mem;
    drop_picture();
    if (!pc.bar_dc)
        pc.bar_dc = GetDC(pc.bar);
    if (!pc.bar_dc)
        return nullptr;
    pc.mem = CreateCompatibleDC(pc.bar_dc);
    pc.bmp = CreateCompatibleBitmap(pc.bar_dc, rcBar.right, rcBar.bottom);
    if (!pc.mem || !pc.bmp) {
        drop_picture();
        return nullptr;
    }
    pc.oldbmp = SelectObject(pc.mem, pc.bmp);
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(hDlg, WM_GETFONT, 0, 0));
    pc.oldfont = font ? SelectObject(pc.mem, font) : nullptr;
    pc.size = {rcBar.right, rcBar.bottom};
    pc.drawn_perc = -1;
    return pc.mem;
}

static void compose_bar(HDC mem, int perc)
{
    SetTextColor(mem, GetTextColor(pc.bar_dc));
    FillRect(mem, &rcBar, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
    char text[16];
    int n = snprintf(text, sizeof text, "%li %%", static_cast<long>(perc));
    int oldmode = SetBkMode(mem, TRANSPARENT);
    TextOutA(mem, rcBar.right / 2 - 20, rcBar.top + 4, text, n);
    SetBkMode(mem, oldmode);
    RECT fill = rcBar;
    fill.right = static_cast<LONG>((rcBar.right / 100.0) * perc);
    PatBlt(mem, fill.left, fill.top, fill.right - fill.left, fill.bottom - fill.top, DSTINVERT);
    pc.drawn_perc = perc;
}

static void draw_bar(HWND hDlg)
{
    const int perc = percent_done(bcopied, tbytes);
    pc.bar_behind = false;
    if (pc.bar && rcBar.right > rcBar.left && rcBar.bottom > rcBar.top) {
        // Put on the control in one blit, so the bar never flickers; the
        // picture is composed again only when the percentage changed, which
        // leaves the control's pixels exactly as before.
        if (HDC mem = bar_canvas(hDlg)) {
            if (perc != pc.drawn_perc)
                compose_bar(mem, perc);
            BitBlt(pc.bar_dc, rcBar.left, rcBar.top, rcBar.right - rcBar.left,
                   rcBar.bottom - rcBar.top, mem, rcBar.left, rcBar.top, SRCCOPY);
        }
    }
}

void update_status(HWND hDlg, DWORD, DWORD low)
{
    if (!hDlg)
        return;
    bcopied += low;
    use_page(hDlg);
    pc.bar_behind = true;
    // Between the blocks of a large file the page stays live at the same
    // pace as between files.
    if (frame_due())
        show_copy_frame(hDlg);
    update_bmpinfo(bcopied);
}
