#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/path_join.h"
#include "integrate/integrate.h"
#include "page_driving.h"
#include "temp_tree.h"

namespace {

std::vector<std::string> list_items(HWND hlist)
{
    std::vector<std::string> items;
    int n = static_cast<int>(SendMessageA(hlist, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        char buf[PATH_CCH] = "";
        SendMessageA(hlist, LB_GETTEXT, i, reinterpret_cast<LPARAM>(buf));
        items.push_back(buf);
    }
    return items;
}

// A window holding the folder page's list and name field, as build_grouplst expects.
struct FolderControls {
    HWND parent, list, edit;
    FolderControls()
    {
        hInst = GetModuleHandleA(nullptr);
        parent = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, hInst, nullptr);
        list = CreateWindowA("LISTBOX", "", WS_CHILD | LBS_SORT | LBS_NOTIFY, 0, 0, 200, 100, parent,
                             reinterpret_cast<HMENU>(IDC_GROUP_LIST), hInst, nullptr);
        edit = CreateWindowA("EDIT", "", WS_CHILD, 0, 0, 200, 20, parent,
                             reinterpret_cast<HMENU>(IDC_GROUP_NAME), hInst, nullptr);
    }
    ~FolderControls() { DestroyWindow(parent); }
};

TEST(GroupList, LinesEndAtLineFeedsAndTheUnfinishedLastLineIsDropped)
{
    FolderControls c;
    char text[] = "Zeta\r\nalpha\r\n\r\nMid Group\r\nUnfinished";
    EXPECT_EQ(4, add_group_lines(c.list, text));
    EXPECT_EQ((std::vector<std::string>{"", "alpha", "Mid Group", "Zeta"}), list_items(c.list));

    // A line feed at the very start, and lines without CR, cut nothing else.
    FolderControls d;
    char bare[] = "\nOne\nTwo\r\n";
    EXPECT_EQ(3, add_group_lines(d.list, bare));
    EXPECT_EQ((std::vector<std::string>{"", "One", "Two"}), list_items(d.list));

    FolderControls e;
    char none[] = "No line feed at all";
    EXPECT_EQ(0, add_group_lines(e.list, none));
}

TEST(GroupList, SearchIgnoresCaseMatchesWholeNamesAndReachesTheFirstItem)
{
    FolderControls c;
    char text[] = "Accessories\r\nZelbrin Quillon 2\r\nzelbrin quillon\r\n";
    add_group_lines(c.list, text);
    EXPECT_EQ(0, find_group(c.list, "ACCESSORIES"));
    EXPECT_EQ(1, find_group(c.list, "Zelbrin Quillon"));
    EXPECT_EQ(LB_ERR, find_group(c.list, "Zelbrin"));
    EXPECT_EQ(LB_ERR, find_group(c.list, "Games"));
}

TEST(GroupName, EmptyOrForbiddenCharactersAreRefused)
{
    EXPECT_TRUE(valid_group_name("Zelbrin Quillon"));
    EXPECT_TRUE(valid_group_name("Tools (2), misc."));
    EXPECT_FALSE(valid_group_name(""));
    for (const char* bad : {"a\\b", "a/b", "C:", "x*", "why?", "say \"hi\"", "<", ">", "a|b"})
        EXPECT_FALSE(valid_group_name(bad)) << bad;
}

TEST(CommandText, RootDestinationAndGroupNamedToTheUninstaller)
{
    char out[WORK_CCH];
    // A root destination already ends in its separator.
    EXPECT_TRUE(format_command_line("D:\\", "quillon.exe", out, WORK_CCH));
    EXPECT_STREQ("D:\\quillon.exe", out);
    EXPECT_TRUE(format_uninstall("C:\\QUILLON", "My Group", out, WORK_CCH));
    EXPECT_STREQ("C:\\QUILLON\\uinstall.exe /SILENT /GROUP:\"My Group\"", out);
}

TEST(CommandText, ResultsThatDoNotFitAreRefusedWhole)
{
    char out[24];
    // 23 characters fit with the NUL; one more does not.
    EXPECT_TRUE(BuildPath("C:\\QUILLON", "quillon.ex", out, 22));
    EXPECT_STREQ("C:\\QUILLON\\quillon.ex", out);
    EXPECT_FALSE(BuildPath("C:\\QUILLON", "quillon.exe", out, 22));
    EXPECT_STREQ("", out);
    EXPECT_TRUE(format_command_line("C:\\QUILLON", "quillon.exe", out, 23));
    // The quotes make it too long.
    EXPECT_FALSE(format_command_line("C:\\A B", "quillon.exe", out, 18));
    EXPECT_STREQ("", out);
    EXPECT_FALSE(format_open_command("C:\\QUILLON", "quillon.exe", out, sizeof out));
    EXPECT_STREQ("", out);
    EXPECT_FALSE(format_icon_ref("C:\\QUILLON", "quillon.exe", 1, out, sizeof out));
    EXPECT_FALSE(format_uninstall("C:\\QUILLON", nullptr, out, sizeof out));
    EXPECT_EQ(-1, progman_command(0, "C:\\QUILLON", "Zelbrin Quillon", 0, 0, out, sizeof out));
    EXPECT_STREQ("", out);
}

std::vector<std::string> expected_series(const std::string& cmdline_dir, bool quoted)
{
    auto item = [&](const char* file) {
        std::string p = cmdline_dir + "\\" + file;
        return quoted ? "\"" + p + "\"" : p;
    };
    return {"[CreateGroup(\"Zelbrin Quillon\")]",
            "[ShowGroup(\"Zelbrin Quillon\", 1)]",
            "[DeleteItem(Quillon)]",
            "[DeleteItem(StartUp Guide)]",
            "[DeleteItem(Uninstall Quillon)]",
            "[DeleteItem(Read Me)]",
            "[DeleteItem(Module Installation)]",
            "[AddItem(" + item("quillon.exe") + ", Quillon)]",
            "[AddItem(" + item("uinstall.exe") + ", Uninstall Quillon)]",
            "[AddItem(" + item("readme.wri") + ", Read Me, write.exe, 0)]"};
}

// Batch sizes of the series: 1, 1, 6, 1, 1.
std::vector<std::string> formatted_series(const char* dst)
{
    hInst = GetModuleHandleA(nullptr);
    std::vector<std::string> cmds;
    char out[WORK_CCH];
    for (int b = 0; b < PROGMAN_BATCHES; ++b)
        for (int i = 0; progman_command(0, dst, "Zelbrin Quillon", b, i, out, WORK_CCH) == 1; ++i)
            cmds.push_back(out);
    return cmds;
}

TEST(CommandText, SeriesOfTheFiveBatches)
{
    EXPECT_EQ(expected_series("C:\\QUILLON", false), formatted_series("C:\\QUILLON"));
    EXPECT_EQ(expected_series("C:\\Program Files\\Quillon", true),
              formatted_series("C:\\Program Files\\Quillon"));
}

// ---- against a recording Program Manager ----

std::string temp_file(const char* name)
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + name;
}

std::string read_all(const std::string& path)
{
    std::string s;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return s;
    char buf[4096];
    DWORD n;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0)
        s.append(buf, n);
    CloseHandle(h);
    return s;
}

void write_all(const std::string& path, const std::string& text)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
    CloseHandle(h);
}

std::vector<std::string> lines(const std::string& s)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t lf = s.find('\n'); lf != std::string::npos; lf = s.find('\n', start)) {
        out.push_back(s.substr(start, lf - start));
        start = lf + 1;
    }
    return out;
}

class RecordedProgman : public ::testing::Test {
protected:
    static PROCESS_INFORMATION pi;
    static bool running;
    static std::string log, conv, stop, recorder;

    static void SetUpTestSuite()
    {
        // Started from the temporary folder: no program starts from a path
        // past MAX_PATH, and the build directory lies as deep as the clone.
        std::wstring built = own_path();
        built.resize(built.rfind(L'\\'));
        built += L"\\e2e\\tools\\progman_recorder.exe";
        recorder = temp_file("integ_progman_recorder.exe");
        if (!CopyFileW(built.c_str(), wide(recorder).c_str(), FALSE))
            return;
        log = temp_file("integ_progman_log.txt");
        conv = temp_file("integ_progman_conv.txt");
        stop = temp_file("integ_progman_stop");
        std::string reply = temp_file("integ_progman_reply.txt");
        DeleteFileA(stop.c_str());
        write_all(reply, "Accessories\r\nZELBRIN QUILLON\r\nGames\r\nLast Without Feed");

        SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
        HANDLE rd, wr;
        CreatePipe(&rd, &wr, &sa, 0);
        SetHandleInformation(rd, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = wr;
        si.hStdError = wr;
        std::string cmd = "\"" + recorder + "\" \"" + log + "\" \"" + reply + "\" \"" + stop +
                          "\" \"" + conv + "\"";
        std::vector<char> cmdbuf(cmd.begin(), cmd.end());
        cmdbuf.push_back('\0');
        if (!CreateProcessA(nullptr, cmdbuf.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                            &si, &pi)) {
            CloseHandle(rd);
            CloseHandle(wr);
            return;
        }
        CloseHandle(wr);
        std::string out;
        char buf[64];
        DWORD n;
        while (out.find("ready") == std::string::npos && ReadFile(rd, buf, sizeof buf, &n, nullptr) && n > 0)
            out.append(buf, n);
        CloseHandle(rd);
        running = out.find("ready") != std::string::npos;
    }
    static void TearDownTestSuite()
    {
        if (pi.hProcess == nullptr)
            return;
        write_all(stop, "");
        if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0)
            TerminateProcess(pi.hProcess, 1);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        DeleteFileA(stop.c_str());
        DeleteFileA(recorder.c_str());
    }
    void SetUp() override
    {
        if (!running)
            GTEST_SKIP() << "progman_recorder not built or did not start";
        hInst = GetModuleHandleA(nullptr);
        lstrcpyA(strQuillon15, "Zelbrin Quillon");
    }
    // Lines the recorder wrote since the given length of its log.
    static std::vector<std::string> since(const std::string& path, size_t from)
    {
        return lines(read_all(path).substr(from));
    }
};
PROCESS_INFORMATION RecordedProgman::pi;
bool RecordedProgman::running;
std::string RecordedProgman::log, RecordedProgman::conv, RecordedProgman::stop, RecordedProgman::recorder;

TEST_F(RecordedProgman, UpdateSendsEachBatchOnItsOwnConversation)
{
    for (const char* dst : {"C:\\QUILLON", "C:\\Program Files\\Quillon"}) {
        size_t log_from = read_all(log).size(), conv_from = read_all(conv).size();
        INSPB p = {};
        lstrcpyA(p.szDst, dst);
        EXPECT_TRUE(update_progman(&p, "Zelbrin Quillon"));
        EXPECT_STREQ(dst, p.szDst);
        EXPECT_EQ(expected_series(dst, strchr(dst, ' ') != nullptr), since(log, log_from)) << dst;
        std::vector<std::string> c = since(conv, conv_from);
        EXPECT_EQ(5, std::count(c.begin(), c.end(), "connect")) << dst;
    }
}

TEST_F(RecordedProgman, GroupListSelectsTheDefaultGroupInTheListsSpelling)
{
    FolderControls c;
    char group[PATH_CCH] = "left over";
    build_grouplst(c.parent, group);
    EXPECT_EQ((std::vector<std::string>{"Accessories", "Games", "ZELBRIN QUILLON"}), list_items(c.list));
    EXPECT_EQ(2, SendMessageA(c.list, LB_GETCURSEL, 0, 0));
    EXPECT_STREQ("ZELBRIN QUILLON", group);
    char shown[PATH_CCH];
    GetWindowTextA(c.edit, shown, PATH_CCH);
    EXPECT_STREQ("ZELBRIN QUILLON", shown);
}

// The folder page's two controls.
std::vector<WORD> folder_template()
{
    return page_template({{WS_CHILD | WS_VISIBLE | LBS_SORT | LBS_NOTIFY, IDC_GROUP_LIST, 0x0083},
                          {WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, IDC_GROUP_NAME, 0x0081}});
}

TEST_F(RecordedProgman, FolderPageTracksTheNameAndDecidesWhetherTheGroupIsNew)
{
    std::vector<WORD> tmpl = folder_template();
    GROUP g = {7, ""};
    HWND page = CreateDialogIndirectParamA(hInst, reinterpret_cast<LPCDLGTEMPLATEA>(tmpl.data()),
                                           nullptr, dlg_group, reinterpret_cast<LPARAM>(&g));
    ASSERT_NE(nullptr, page);
    HWND list = GetDlgItem(page, IDC_GROUP_LIST);
    HWND edit = GetDlgItem(page, IDC_GROUP_NAME);
    EXPECT_STREQ("ZELBRIN QUILLON", g.szGroup);

    SetWindowTextA(edit, "gAmEs");
    EXPECT_STREQ("gAmEs", g.szGroup);
    EXPECT_EQ(1, SendMessageA(list, LB_GETCURSEL, 0, 0));
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(PAGE_BACK, BN_CLICKED), 0);
    EXPECT_EQ(7, g.new_);
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(PAGE_NEXT, BN_CLICKED), 0);
    EXPECT_EQ(0, g.new_);

    SetWindowTextA(edit, "Games and More");
    EXPECT_EQ(LB_ERR, SendMessageA(list, LB_GETCURSEL, 0, 0));
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(PAGE_NEXT, BN_CLICKED), 0);
    EXPECT_EQ(1, g.new_);

    // Picking from the list puts the list's spelling into the name.
    SendMessageA(list, LB_SETCURSEL, 0, 0);
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_GROUP_LIST, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    EXPECT_STREQ("Accessories", g.szGroup);
    char shown[PATH_CCH];
    GetWindowTextA(edit, shown, PATH_CCH);
    EXPECT_STREQ("Accessories", shown);

    // A name longer than the record holds cannot be typed, and one set by
    // another program is refused rather than cut.
    EXPECT_EQ(PATH_CCH - 1, SendMessageA(edit, EM_GETLIMITTEXT, 0, 0));
    SetWindowTextA(edit, std::string(300, 'x').c_str());
    g.new_ = 7;
    {
        AlertAnswerer refused("Invalid Folder Name", IDOK);
        SendMessageA(page, WM_COMMAND, MAKEWPARAM(PAGE_NEXT, BN_CLICKED), 0);
        EXPECT_TRUE(refused.seen());
    }
    EXPECT_EQ(7, g.new_);
    DestroyWindow(page);
}

}  // namespace
