// The copy page as the copy drives it: the path lines, the bar at each
// showing, and a second page after the first one has gone.
#include <gtest/gtest.h>

#include "copy/copy.h"
#include "copy/framepace.h"
#include "copy/pathline.h"
#include "common/fileops.h"
#include "common/journal.h"
#include "temp_tree.h"
#include "ui/ui.h"

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

static std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

static std::string lower(std::string s)
{
    CharLowerA(&s[0]);
    return s;
}

static std::string line_text(HWND page, int cid)
{
    char text[MAX_PATH] = "";
    GetDlgItemTextA(page, cid, text, sizeof text);
    return text;
}

// The pixels a control shows, read back from its window.
static std::vector<DWORD> snapshot(HWND hwnd)
{
    RECT rc;
    GetClientRect(hwnd, &rc);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = rc.right;
    bi.bmiHeader.biHeight = -rc.bottom;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = GetDC(hwnd);
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, rc.right, rc.bottom, dc, 0, 0, SRCCOPY);
    GdiFlush();
    const DWORD* px = static_cast<const DWORD*>(bits);
    std::vector<DWORD> out(px, px + rc.right * rc.bottom);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(hwnd, dc);
    return out;
}

class CopyPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        hInst = GetModuleHandleA(nullptr);
        register_indicator(hInst);
        cbinf = -1;   // no billboard: the bar alone is looked at
        copyflag = TRUE;
        journal_reset();
        tbytes = 400000;
        bcopied = 0;
    }

    HWND open_page()
    {
        HWND page = create_dialog(nullptr, DLG_COPY, 0, nullptr, dlg_copy);
        if (page)
            GetClientRect(GetDlgItem(page, 13), &rcBar);
        return page;
    }

    // True where the bar shows its done (inverted) part, above the digits.
    static bool done_at(HWND page, int percent_of_width)
    {
        HWND bar = GetDlgItem(page, 13);
        HDC dc = GetDC(bar);
        COLORREF c = GetPixel(dc, rcBar.right * percent_of_width / 100, 1);
        ReleaseDC(bar, dc);
        return GetRValue(c) < 0x80;
    }

    TempTree t;
};

TEST_F(CopyPage, LinesShowLowerCasePathsOfAMediumInCapitals)
{
    t.make("MEDIUM\\Sub");
    std::string data(250000, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7 / 3);
    std::ofstream(t.sub("MEDIUM\\Sub\\Data.BIN"), std::ios::binary) << data;

    HWND page = open_page();
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(COPY_DONE, copy_directory(page, t.sub("dest").c_str(), t.sub("MEDIUM").c_str(), TRUE, FALSE));
    EXPECT_EQ(line_text(page, 10), lower(t.sub("MEDIUM\\Sub\\Data.BIN")));
    EXPECT_EQ(line_text(page, 11), lower(t.sub("dest\\sub\\data.bin")));
    EXPECT_TRUE(slurp(t.sub("dest\\sub\\data.bin")) == data);
    EXPECT_EQ(bcopied, 250000u);

    // Again within a run, as an update: a file that is already the same, and
    // then one that differs in its last block only, count whole on the bar,
    // though the first is not written and the second only from that block.
    journal_reset();   // what the first copy made is no longer this run's own
    ASSERT_TRUE(run_begin(t.sub("run.rec").c_str()));
    ASSERT_EQ(COPY_DONE, copy_directory(page, t.sub("dest").c_str(), t.sub("MEDIUM").c_str(), TRUE, FALSE));
    EXPECT_EQ(bcopied, 500000u);
    data[240000] = static_cast<char>(data[240000] ^ 1);
    std::ofstream(t.sub("MEDIUM\\Sub\\Data.BIN"), std::ios::binary) << data;
    ASSERT_EQ(COPY_DONE, copy_directory(page, t.sub("dest").c_str(), t.sub("MEDIUM").c_str(), TRUE, FALSE));
    EXPECT_EQ(bcopied, 750000u);
    EXPECT_TRUE(slurp(t.sub("dest\\sub\\data.bin")) == data);
    run_commit();
    release_copy_page();
    DestroyWindow(page);
}

// Showings of the source line, counted as the system hands them to the line.
static HWND counted_line;
static int line_showings;
static LRESULT CALLBACK count_showings(int code, WPARAM wp, LPARAM lp)
{
    const auto* m = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (code == HC_ACTION && m->hwnd == counted_line && m->message == WM_SETTEXT)
        ++line_showings;
    return CallNextHookEx(nullptr, code, wp, lp);
}

TEST_F(CopyPage, ManySmallFilesAreShownOnceAFrameNotOnceAFile)
{
    constexpr int files = 300;
    t.make("many");
    for (int i = 0; i < files; ++i)
        std::ofstream(t.sub("many\\f" + std::to_string(i) + ".bin"), std::ios::binary) << "x";
    HWND page = open_page();
    ASSERT_NE(page, nullptr);
    counted_line = GetDlgItem(page, IDC_SRC_LINE);
    line_showings = 0;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, count_showings, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    LARGE_INTEGER freq, start, end;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&start);
    const CopyOutcome copied =
        copy_directory(page, t.sub("dest").c_str(), t.sub("many").c_str(), TRUE, FALSE);
    QueryPerformanceCounter(&end);
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(COPY_DONE, copied);
    EXPECT_TRUE(file_exists(t.sub("dest\\f299.bin")));
    // The page's first file, then one frame an interval at the most; a frame
    // may show the file the page rested on before the file it begins.
    const LONGLONG frames = (end.QuadPart - start.QuadPart) * 1000 / freq.QuadPart / FRAME_MS;
    EXPECT_GE(line_showings, 1);
    EXPECT_LE(line_showings, 2 * (frames + 1)) << "in " << frames << " frame intervals";
    release_copy_page();
    DestroyWindow(page);
}

// A disk whose first flush of a copied file takes longer than a frame; a
// message posted then stands for the user's Cancel.
static std::vector<FsOp> slow_log;
static std::vector<HANDLE> copied_files;
static HWND cancel_window;
static size_t cancel_served_at;
static void slow_first_flush(const FsOp& op)
{
    if (op.kind == FsOp::OPEN && op.path.find("\\dest\\") != std::string::npos)
        copied_files.push_back(op.file);
    const bool first = op.kind == FsOp::FLUSH && copied_files.size() > 0 && op.file == copied_files[0];
    if (first) {
        Sleep(FRAME_MS + 5);
        PostMessageA(cancel_window, WM_APP, 0, 0);
    }
}
static LRESULT CALLBACK note_cancel(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_APP && cancel_served_at == 0)
        cancel_served_at = slow_log.size();
    return DefWindowProcA(w, msg, wp, lp);
}

TEST_F(CopyPage, CancelIsServedWhileABatchWaitsForTheDisk)
{
    t.make("batch");
    for (int i = 0; i < 8; ++i)
        std::ofstream(t.sub("batch\\f" + std::to_string(i) + ".bin"), std::ios::binary) << "data";
    WNDCLASSA wc{};
    wc.lpfnWndProc = note_cancel;
    wc.hInstance = hInst;
    wc.lpszClassName = "cancel_probe";
    RegisterClassA(&wc);
    cancel_window = CreateWindowA("cancel_probe", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, hInst, nullptr);
    ASSERT_NE(cancel_window, nullptr);
    HWND page = open_page();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(run_begin(t.sub("run.rec").c_str()));
    slow_log.clear();
    copied_files.clear();
    cancel_served_at = 0;
    fs_record(&slow_log, slow_first_flush);
    const CopyOutcome copied =
        copy_directory(page, t.sub("dest").c_str(), t.sub("batch").c_str(), TRUE, FALSE);
    fs_record(nullptr);
    EXPECT_EQ(COPY_DONE, copied);
    run_commit();
    size_t last_flush = 0;
    for (size_t i = 0; i < slow_log.size(); ++i)
        if (slow_log[i].kind == FsOp::FLUSH && copied_files.size() == 8 && slow_log[i].file == copied_files[7])
            last_flush = i;
    // Served before the batch's last file went to the disk, not after all.
    EXPECT_GT(last_flush, 0u);
    EXPECT_GT(cancel_served_at, 0u);
    EXPECT_LE(cancel_served_at, last_flush);
    release_copy_page();
    DestroyWindow(page);
    DestroyWindow(cancel_window);
}

TEST_F(CopyPage, BarShowsTheExactPercentageAtEachFrameOnEachPage)
{
    HWND page = open_page();
    ASSERT_NE(page, nullptr);
    ASSERT_GT(rcBar.right, 40);
    update_status(page, 0, 100000);   // 25 %, a new page's first block
    EXPECT_TRUE(done_at(page, 10));
    EXPECT_FALSE(done_at(page, 40));
    update_status(page, 0, 0);        // same figure: the bar stays as drawn
    show_copy_frame(page);
    EXPECT_TRUE(done_at(page, 10));
    EXPECT_FALSE(done_at(page, 40));
    update_status(page, 0, 200000);   // 75 %
    show_copy_frame(page);
    EXPECT_TRUE(done_at(page, 60));
    EXPECT_FALSE(done_at(page, 90));
    release_copy_page();
    DestroyWindow(page);

    // The next page has other controls; nothing of the first may be drawn on.
    bcopied = 0;
    HWND next = open_page();
    ASSERT_NE(next, nullptr);
    update_status(next, 0, 40000);    // 10 %
    EXPECT_TRUE(done_at(next, 5));
    EXPECT_FALSE(done_at(next, 40));
    update_status(next, 0, 360000);   // 100 %
    show_copy_frame(next);
    EXPECT_TRUE(done_at(next, 95));

    // A copy without a page still copies whole and leaves the count alone.
    t.make("src");
    std::string big(300001, 'b');
    std::ofstream(t.sub("src\\big.bin"), std::ios::binary) << big;
    EXPECT_EQ(COPY_DONE, copy_file(nullptr, t.sub("big.bin").c_str(), t.sub("src\\big.bin").c_str()));
    EXPECT_TRUE(slurp(t.sub("big.bin")) == big);
    EXPECT_EQ(bcopied, 400000u);
    release_copy_page();
    DestroyWindow(next);
}

TEST_F(CopyPage, PathLinesDrawWhatTheStaticDrawsAndKeepTheirText)
{
    HWND page = open_page();
    ASSERT_NE(page, nullptr);
    HWND line = GetDlgItem(page, 10);
    const std::string texts[] = {
        "d:\\quillon\\usa\\samples\\clipart\\set004\\f00812.bin",
        "e:\\quillon\\gr\xfc\xdf" "e\\&readme.wri",   // code page letters, no prefix
        "c:\\" + std::string(120, 'w') + "\\wider than the line.bin",
    };
    std::vector<std::vector<DWORD>> drawn_by_static;
    for (const std::string& text : texts) {
        SetWindowTextA(line, text.c_str());
        UpdateWindow(line);
        drawn_by_static.push_back(snapshot(line));
    }
    ASSERT_NE(drawn_by_static[0], drawn_by_static[1]);

    attach_path_lines(line, GetDlgItem(page, 11));
    ASSERT_TRUE(path_line_attached(line));
    for (size_t i = 0; i < 3; ++i) {
        SetWindowTextA(line, texts[i].c_str());
        EXPECT_TRUE(snapshot(line) == drawn_by_static[i]) << texts[i];
        EXPECT_EQ(line_text(page, 10), texts[i]);
    }
    // Covered and shown again while the copy runs: painted from its own text.
    SetWindowTextA(line, texts[0].c_str());
    InvalidateRect(line, nullptr, TRUE);
    UpdateWindow(line);
    EXPECT_TRUE(snapshot(line) == drawn_by_static[0]);

    // Given back, the static holds and draws the last text.
    release_path_lines();
    EXPECT_FALSE(path_line_attached(line));
    InvalidateRect(line, nullptr, TRUE);
    UpdateWindow(line);
    EXPECT_TRUE(snapshot(line) == drawn_by_static[0]);
    EXPECT_EQ(line_text(page, 10), texts[0]);

    // A page destroyed while the copy holds its lines lets them go.
    attach_path_lines(line, nullptr);
    ASSERT_TRUE(path_line_attached(line));
    DestroyWindow(page);
    EXPECT_FALSE(path_line_attached(line));
    release_path_lines();
}
