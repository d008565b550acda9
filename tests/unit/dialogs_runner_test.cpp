// The dialog runner: pages come up in the run's language with every
// character of it, and a missing template is reported, not shown.
#include <gtest/gtest.h>

#include "dialogs/dialogs.h"
#include "ui/ui.h"

#include <atomic>
#include <thread>

namespace {

INT_PTR CALLBACK quiet_page(HWND, UINT uMsg, WPARAM, LPARAM)
{
    return uMsg == WM_INITDIALOG;
}

struct Runner : ::testing::Test {
    void SetUp() override
    {
        hInst = GetModuleHandleA(nullptr);
        register_bitmap(hInst);
        register_flag(hInst);
        register_indicator(hInst);
    }
};

std::wstring control_text(HWND hdlg, int id)
{
    wchar_t buf[256] = {};
    GetDlgItemTextW(hdlg, id, buf, 256);
    return buf;
}

}  // namespace

TEST_F(Runner, CzechPageKeepsLettersOutsideTheWesternCodePage)
{
    HWND hdlg = create_dialog(nullptr, DLG_WELCOME, 6, nullptr, quiet_page);
    ASSERT_NE(hdlg, nullptr);
    std::wstring back = control_text(hdlg, PAGE_BACK);
    DestroyWindow(hdlg);
    drain_queue();
    EXPECT_EQ(back, L"< &Zp\x011bt");
}

TEST_F(Runner, PagesComeInTheChosenLanguage)
{
    const struct { WORD lcode; const wchar_t* back; } cases[] = {
        {0, L"< &Back"}, {1, nullptr}, {2, nullptr}};
    std::wstring english;
    for (const auto& c : cases) {
        HWND hdlg = create_dialog(nullptr, DLG_WELCOME, c.lcode, nullptr, quiet_page);
        ASSERT_NE(hdlg, nullptr) << "language index " << c.lcode;
        std::wstring back = control_text(hdlg, PAGE_BACK);
        DestroyWindow(hdlg);
        drain_queue();
        if (c.back)
            EXPECT_EQ(back, c.back);
        else
            EXPECT_NE(back, english) << "language index " << c.lcode << " fell back to English";
        if (c.lcode == 0)
            english = back;
    }
}

TEST_F(Runner, MissingTemplateOrLanguageGivesNoDialog)
{
    EXPECT_EQ(call_dialog(nullptr, 4711, 0, nullptr, quiet_page), PAGE_FAILED);
    EXPECT_EQ(create_dialog(nullptr, 4711, 0, nullptr, quiet_page), nullptr);
    // The Dutch identifier has no resources of its primary language.
    EXPECT_EQ(call_dialog(nullptr, DLG_WELCOME, 3, nullptr, quiet_page), PAGE_FAILED);
}

// An alert with a choice opens on its default button, the safe answer:
// Windows makes a focused push button the one Enter presses.
TEST_F(Runner, AlertsOpenWithTheirDefaultButtonFocused)
{
    const DWORD ui_thread = GetCurrentThreadId();
    for (WORD n : {ALERT_NO_SPACE, ALERT_UNDO_INCOMPLETE}) {
        std::atomic<int> focused{0};
        std::atomic<bool> done{false};
        // Focus may pass through other controls while the dialog is made
        // active; what the user meets is the focus of the shown dialog once
        // it holds still.
        std::thread look([&] {
            HWND seen = nullptr;
            for (; !done; Sleep(20)) {
                GUITHREADINFO gi{};
                gi.cbSize = sizeof gi;
                HWND now = nullptr;
                if (GetGUIThreadInfo(ui_thread, &gi) && gi.hwndFocus &&
                    IsWindowVisible(gi.hwndActive) && GetParent(gi.hwndFocus) == gi.hwndActive)
                    now = gi.hwndFocus;
                if (now && now == seen) {
                    // The first reading is the answer: once Cancel is on its
                    // way the dialog goes, and a later look may find a
                    // handle of a window that is no more.
                    int none = 0;
                    focused.compare_exchange_strong(none, GetDlgCtrlID(now));
                    PostMessageA(gi.hwndActive, WM_COMMAND, IDCANCEL, 0);
                }
                seen = now;
            }
        });
        alert(nullptr, n);
        done = true;
        look.join();
        EXPECT_EQ(focused, n == ALERT_NO_SPACE ? NO_SPACE_EXIT : UNDO_RETRY) << "alert " << n;
    }
}
