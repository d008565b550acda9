#include <gtest/gtest.h>

#include <string>

#include "integrate/integrate.h"
#include "common/journal.h"
#include "copy/run_machinery.h"
#include "temp_tree.h"
#include "uninstall/uninstall.h"

#include <cstring>

namespace {

const char* const kTestRoot = "Software\\QuillonSetupUnitTest";

void delete_tree(HKEY parent, const char* name)
{
    HKEY h;
    if (RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &h) != ERROR_SUCCESS)
        return;
    char sub[PATH_CCH];
    while (RegEnumKeyA(h, 0, sub, sizeof sub) == ERROR_SUCCESS)
        delete_tree(h, sub);
    RegCloseKey(h);
    RegDeleteKeyA(parent, name);
}

std::string dir_of(UINT(WINAPI* get)(LPSTR, UINT))
{
    char buf[WORK_CCH];
    UINT n = get(buf, WORK_CCH);
    return std::string(buf, n);
}

// Points the registry steps at three fresh keys below HKEY_CURRENT_USER.
class RegistryTest : public ::testing::Test {
protected:
    HKEY machine = nullptr, classes = nullptr, user = nullptr;
    REGROOTS saved = reg_roots;

    void SetUp() override
    {
        delete_tree(HKEY_CURRENT_USER, kTestRoot);
        machine = make(std::string(kTestRoot) + "\\machine");
        classes = make(std::string(kTestRoot) + "\\classes");
        user = make(std::string(kTestRoot) + "\\user");
        reg_roots = {machine, classes, user, VER_PLATFORM_WIN32_NT};
    }
    void TearDown() override
    {
        reg_roots = saved;
        RegCloseKey(machine);
        RegCloseKey(classes);
        RegCloseKey(user);
        delete_tree(HKEY_CURRENT_USER, kTestRoot);
    }
    static HKEY make(const std::string& path)
    {
        HKEY h = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &h, nullptr));
        return h;
    }
    void set_templates(const std::string& folder)
    {
        HKEY h = make(std::string(kTestRoot) +
                      "\\user\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
        RegSetValueExA(h, "Templates", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                       static_cast<DWORD>(folder.size() + 1));
        RegCloseKey(h);
    }
    // The string stored in value name of root\path; "<missing>" when absent.
    static std::string sz(HKEY root, const std::string& path, const char* name)
    {
        char buf[WORK_CCH];
        DWORD cb = sizeof buf, type = 0;
        HKEY h;
        if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
            return "<missing>";
        LONG r = RegQueryValueExA(h, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &cb);
        RegCloseKey(h);
        if (r != ERROR_SUCCESS)
            return "<missing>";
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), type) << path << " " << (name ? name : "");
        // Stored with its terminating zero.
        EXPECT_GT(cb, 0u);
        EXPECT_EQ('\0', buf[cb - 1]) << path;
        return std::string(buf, cb - 1);
    }
    static DWORD count(HKEY root, const std::string& path, const std::string& name)
    {
        DWORD v = 0, cb = sizeof v, type = 0;
        HKEY h;
        if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
            return 0;
        LONG r = RegQueryValueExA(h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&v), &cb);
        RegCloseKey(h);
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
        return r == ERROR_SUCCESS ? v : 0;
    }
    static std::string shared_names(const std::string& sys, const std::string& win)
    {
        return sys + "\\msvcrt20.dll|" + sys + "\\msvcrt40.dll|" + sys + "\\sx32w.dll|" + win +
               "\\twain.dll|" + win + "\\twain_32.dll|" + win + "\\twunk_16.exe|" + win +
               "\\twunk_32.exe";
    }
};

INSPB dest(const char* dst)
{
    INSPB p = {};
    lstrcpynA(p.szDst, dst, PATH_CCH);
    return p;
}

TEST_F(RegistryTest, IncrementStartsAtOneRaisesKeepsForeignTypeAndWidthAndNeverWraps)
{
    HKEY h = make(std::string(kTestRoot) + "\\counts");
    EXPECT_TRUE(reg_increment(h, "fresh"));
    EXPECT_TRUE(reg_increment(h, "other"));
    EXPECT_TRUE(reg_increment(h, "other"));

    DWORD seven = 7;
    RegSetValueExA(h, "byother", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seven), 4);
    EXPECT_TRUE(reg_increment(h, "byother"));
    // A binary count of 4 bytes is raised and stays binary.
    RegSetValueExA(h, "binary", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&seven), 4);
    EXPECT_TRUE(reg_increment(h, "binary"));
    // At its maximum a count stays there: 0 would tell other uninstallers the
    // library is unused.
    const DWORD most = 0xFFFFFFFFu;
    RegSetValueExA(h, "full", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&most), 4);
    EXPECT_TRUE(reg_increment(h, "full"));
    // Wider than four bytes: raised in its own width, carry included.
    const ULONGLONG wide = 0x1FFFFFFFFull;
    RegSetValueExA(h, "wide", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&wide), 8);
    EXPECT_TRUE(reg_increment(h, "wide"));
    RegCloseKey(h);

    std::string path = std::string(kTestRoot) + "\\counts";
    EXPECT_EQ(1u, count(HKEY_CURRENT_USER, path, "fresh"));
    EXPECT_EQ(2u, count(HKEY_CURRENT_USER, path, "other"));
    EXPECT_EQ(8u, count(HKEY_CURRENT_USER, path, "byother"));
    EXPECT_EQ(0xFFFFFFFFu, count(HKEY_CURRENT_USER, path, "full"));

    DWORD v = 0, cb = sizeof v, type = 0;
    RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &h);
    RegQueryValueExA(h, "binary", nullptr, &type, reinterpret_cast<BYTE*>(&v), &cb);
    RegCloseKey(h);
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    EXPECT_EQ(8u, v);

    ULONGLONG q = 0;
    cb = sizeof q;
    RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &h);
    RegQueryValueExA(h, "wide", nullptr, &type, reinterpret_cast<BYTE*>(&q), &cb);
    RegCloseKey(h);
    EXPECT_EQ(static_cast<DWORD>(REG_QWORD), type);
    EXPECT_EQ(0x200000000ull, q);
}

// What reg_increment raised the uninstaller lowers, in the same widths, never
// below zero and never wrapping; a count that reaches zero goes.
TEST(CountLower, BorrowsThroughEveryWidthAndStopsAtZero)
{
    BYTE one[4] = {1, 0, 0, 0};
    EXPECT_TRUE(count_lower(one, 4));
    EXPECT_EQ(0, memcmp(one, "\0\0\0\0", 4));
    BYTE borrow[4] = {0, 1, 0, 0};
    EXPECT_FALSE(count_lower(borrow, 4));
    EXPECT_EQ(0, memcmp(borrow, "\xFF\0\0\0", 4));
    BYTE zero[4] = {0, 0, 0, 0};
    EXPECT_TRUE(count_lower(zero, 4));
    EXPECT_EQ(0, memcmp(zero, "\0\0\0\0", 4));
    BYTE wide[8] = {0, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_FALSE(count_lower(wide, 8));
    EXPECT_EQ(0, memcmp(wide, "\xFF\xFF\xFF\xFF\0\0\0\0", 8));
    BYTE full[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_FALSE(count_lower(full, 4));
    EXPECT_EQ(0, memcmp(full, "\xFE\xFF\xFF\xFF", 4));
    BYTE narrow[1] = {2};
    EXPECT_FALSE(count_lower(narrow, 1));
    EXPECT_EQ(1, narrow[0]);
}

// Each count is lowered once per uninstall, also by a start that follows a
// kill between writing the note and lowering a count, or after it.
TEST_F(RegistryTest, CountsAreLoweredOnceAcrossAKill)
{
    const std::string nt = std::string(kTestRoot) + "\\machine\\Software\\Microsoft\\Windows NT\\CurrentVersion\\";
    char names[SHARED_DLL_COUNT][WORK_CCH];
    for (int i = 0; i < SHARED_DLL_COUNT; ++i)
        ASSERT_TRUE(shared_dll_value(i, names[i], WORK_CCH));
    HKEY entry = make(nt + "Uninstall\\Quillon");
    HKEY counts = make(nt + "SharedDLLs");
    auto set = [&](int i, DWORD v) {
        RegSetValueExA(counts, names[i], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4);
    };
    auto get = [&](int i) { return count(HKEY_CURRENT_USER, nt + "SharedDLLs", names[i]); };
    set(0, 3);   // raised by another program too
    set(1, 1);
    const BYTE binary[2] = {0x00, 0x01};
    RegSetValueExA(counts, names[3], 0, REG_BINARY, binary, 2);
    lower_counts();
    EXPECT_EQ(2u, get(0));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(counts, names[1], nullptr, nullptr, nullptr, nullptr));
    BYTE now[2] = {};
    DWORD cb = sizeof now, type = 0;
    RegQueryValueExA(counts, names[3], nullptr, &type, now, &cb);
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    EXPECT_EQ(0xFF, now[0]);
    EXPECT_EQ(0x00, now[1]);

    // Started again before the entry went: nothing is lowered twice.
    lower_counts();
    EXPECT_EQ(2u, get(0));

    // Killed after the note for count 0, before it was lowered: it is lowered now.
    RegDeleteValueA(counts, names[3]);
    set(0, 5);
    set(1, 2);
    const BYTE note_five[5] = {0, 5, 0, 0, 0};
    RegSetValueExA(entry, "SharedDLLsLowered", 0, REG_BINARY, note_five, 5);
    lower_counts();
    EXPECT_EQ(4u, get(0));
    EXPECT_EQ(1u, get(1));

    // Killed right after count 0 was lowered: it stays, the next ones go on.
    set(1, 2);
    RegSetValueExA(entry, "SharedDLLsLowered", 0, REG_BINARY, note_five, 5);
    lower_counts();
    EXPECT_EQ(4u, get(0));
    EXPECT_EQ(1u, get(1));

    // Every count at zero: the key, empty, goes as setup made it.
    RegDeleteValueA(counts, names[0]);
    RegDeleteValueA(entry, "SharedDLLsLowered");
    lower_counts();
    RegCloseKey(counts);
    RegCloseKey(entry);
    HKEY gone = nullptr;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, (nt + "SharedDLLs").c_str(), 0, KEY_READ, &gone));
}

TEST_F(RegistryTest, FullInstallationOnNtWithBlankAndNewGroup)
{
    set_templates("C:\\windows\\ShellNew");
    // Another program's viewer owns .pcd before.
    HKEY h = make(std::string(kTestRoot) + "\\classes\\.pcd");
    RegSetValueExA(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("otherpcd"), 9);
    RegCloseKey(h);

    INSPB p = dest("C:\\Program Files\\Quillon");
    GROUP g = {1, "Zelbrin Quillon"};
    EXPECT_TRUE(update_registry(&p, &g));
    EXPECT_TRUE(update_registry(&p, &g));

    const std::string cls = std::string(kTestRoot) + "\\classes\\";
    const std::string q = "\"C:\\Program Files\\Quillon\\quillon.exe\" \"%1\"";
    EXPECT_EQ("qlxfile", sz(HKEY_CURRENT_USER, cls + ".qlx", nullptr));
    EXPECT_EQ("C:\\windows\\ShellNew\\default.qlx",
              sz(HKEY_CURRENT_USER, cls + ".qlx\\ShellNew", "Filename"));
    EXPECT_EQ("Quillon Document", sz(HKEY_CURRENT_USER, cls + "qlxfile", nullptr));
    EXPECT_EQ(q, sz(HKEY_CURRENT_USER, cls + "qlxfile\\shell\\open\\command", nullptr));
    EXPECT_EQ("C:\\Program Files\\Quillon\\quillon.exe ,1",
              sz(HKEY_CURRENT_USER, cls + "qlxfile\\DefaultIcon", nullptr));
    EXPECT_EQ("qprfile", sz(HKEY_CURRENT_USER, cls + ".qpr", nullptr));
    EXPECT_EQ("Quillon Setup", sz(HKEY_CURRENT_USER, cls + "qprfile", nullptr));
    EXPECT_EQ(q, sz(HKEY_CURRENT_USER, cls + "qprfile\\shell\\open\\command", nullptr));
    EXPECT_EQ("C:\\Program Files\\Quillon\\quillon.exe ,2",
              sz(HKEY_CURRENT_USER, cls + "qprfile\\DefaultIcon", nullptr));
    EXPECT_EQ("pcdfile", sz(HKEY_CURRENT_USER, cls + ".pcd", nullptr));
    EXPECT_EQ("Kodak PhotoCD", sz(HKEY_CURRENT_USER, cls + "pcdfile", nullptr));
    EXPECT_EQ("\"C:\\Program Files\\Quillon\\lumen.exe\" \"%1\"",
              sz(HKEY_CURRENT_USER, cls + "pcdfile\\shell\\open\\command", nullptr));
    EXPECT_EQ("C:\\Program Files\\Quillon\\lumen.exe ,1",
              sz(HKEY_CURRENT_USER, cls + "pcdfile\\DefaultIcon", nullptr));

    const std::string nt = std::string(kTestRoot) + "\\machine\\Software\\Microsoft\\Windows NT\\CurrentVersion\\";
    EXPECT_EQ("C:\\Program Files\\Quillon\\quillon.exe",
              sz(HKEY_CURRENT_USER, nt + "App Paths\\QUILLON.EXE", nullptr));
    EXPECT_EQ("C:\\Program Files\\Quillon", sz(HKEY_CURRENT_USER, nt + "App Paths\\QUILLON.EXE", "Path"));
    EXPECT_EQ("Zelbrin Quillon", sz(HKEY_CURRENT_USER, nt + "Uninstall\\Quillon", "DisplayName"));
    EXPECT_EQ("\"C:\\Program Files\\Quillon\\uinstall.exe\" /SILENT /GROUP:\"Zelbrin Quillon\"",
              sz(HKEY_CURRENT_USER, nt + "Uninstall\\Quillon", "UnInstallString"));

    // Two runs: every count at 2, named with the directories as Windows gives them.
    std::string names = shared_names(dir_of(GetSystemDirectoryA), dir_of(GetWindowsDirectoryA));
    size_t start = 0;
    for (int i = 0; i < 7; ++i) {
        size_t bar = names.find('|', start);
        std::string name = names.substr(start, bar - start);
        EXPECT_EQ(2u, count(HKEY_CURRENT_USER, nt + "SharedDLLs", name)) << name;
        start = bar + 1;
    }
    // Nothing under the other spelling.
    EXPECT_EQ("<missing>", sz(HKEY_CURRENT_USER,
                              std::string(kTestRoot) + "\\machine\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\QUILLON.EXE",
                              nullptr));
}

// A run killed during its registry entries (here: after the counts, before
// the rest) has them finished at the next start, every count raised once for
// the one installation.
TEST_F(RegistryTest, KilledIntegrationIsFinishedAtTheNextStartCountingOnce)
{
    TempTree t;
    const std::string rec = t.sub("run.rec");
    journal_reset();
    INSPB p = dest("E:\\Killed");
    p.lcode = 2;
    GROUP g = {1, "Zelbrin Quillon"};
    run_plan_integration(&p, &g);
    ASSERT_TRUE(run_begin(rec.c_str()));
    ASSERT_TRUE(run_commit());
    ASSERT_TRUE(reg_sharedll(&p));
    run_abandon();

    INSPB again = {};
    GROUP g2 = {};
    ASSERT_EQ(run_recover(rec.c_str()), RECOVER_INTEGRATE);
    ASSERT_TRUE(run_pending_integration(&again, &g2));
    EXPECT_EQ(again.lcode, 2);
    EXPECT_STREQ(again.szDst, "E:\\Killed");
    EXPECT_EQ(g2.new_, 1);
    EXPECT_STREQ(g2.szGroup, "Zelbrin Quillon");
    EXPECT_TRUE(update_registry(&again, &g2));
    run_integrated();
    EXPECT_FALSE(file_exists(rec));

    const std::string nt = std::string(kTestRoot) + "\\machine\\Software\\Microsoft\\Windows NT\\CurrentVersion\\";
    EXPECT_EQ("E:\\Killed\\quillon.exe", sz(HKEY_CURRENT_USER, nt + "App Paths\\QUILLON.EXE", nullptr));
    std::string names = shared_names(dir_of(GetSystemDirectoryA), dir_of(GetWindowsDirectoryA)) + "|";
    for (size_t start = 0, bar; (bar = names.find('|', start)) != std::string::npos; start = bar + 1)
        EXPECT_EQ(1u, count(HKEY_CURRENT_USER, nt + "SharedDLLs", names.substr(start, bar - start)));
}

TEST_F(RegistryTest, Windows95SpellingExistingGroupNoBlankNoTemplates)
{
    reg_roots.platform = VER_PLATFORM_WIN32_WINDOWS;
    INSPB p = dest("C:\\QUILLON");
    GROUP g = {0, "Zelbrin Quillon"};
    EXPECT_TRUE(update_registry(&p, &g));

    const std::string cls = std::string(kTestRoot) + "\\classes\\";
    EXPECT_EQ("C:\\QUILLON\\quillon.exe \"%1\"",
              sz(HKEY_CURRENT_USER, cls + "qlxfile\\shell\\open\\command", nullptr));
    // No templates folder known: the keys exist, the file name does not.
    EXPECT_EQ("qlxfile", sz(HKEY_CURRENT_USER, cls + ".qlx", nullptr));
    EXPECT_EQ("<missing>", sz(HKEY_CURRENT_USER, cls + ".qlx\\ShellNew", "Filename"));
    HKEY h;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, (cls + ".qlx\\ShellNew").c_str(), 0,
                                           KEY_READ, &h));
    RegCloseKey(h);

    const std::string w = std::string(kTestRoot) + "\\machine\\Software\\Microsoft\\Windows\\CurrentVersion\\";
    EXPECT_EQ("C:\\QUILLON\\uinstall.exe /SILENT",
              sz(HKEY_CURRENT_USER, w + "Uninstall\\Quillon", "UnInstallString"));
    EXPECT_EQ("C:\\QUILLON", sz(HKEY_CURRENT_USER, w + "App Paths\\QUILLON.EXE", "Path"));
    EXPECT_EQ(1u, count(HKEY_CURRENT_USER, w + "SharedDLLs",
                        dir_of(GetSystemDirectoryA) + "\\sx32w.dll"));
}

TEST_F(RegistryTest, ValuesThatDoNotFitAreNotWrittenAndStopTheirBlock)
{
    // Fits the record but not "<dir>\quillon.exe" in a value buffer.
    std::string dst = "C:\\" + std::string(245, 'd');
    INSPB p = dest(dst.c_str());
    GROUP g = {1, "Zelbrin Quillon"};
    set_templates("C:\\" + std::string(250, 't'));
    EXPECT_TRUE(update_registry(&p, &g));

    const std::string cls = std::string(kTestRoot) + "\\classes\\";
    EXPECT_EQ("<missing>", sz(HKEY_CURRENT_USER, cls + ".qlx\\ShellNew", "Filename"));
    EXPECT_EQ("Quillon Document", sz(HKEY_CURRENT_USER, cls + "qlxfile", nullptr));
    EXPECT_EQ("<missing>", sz(HKEY_CURRENT_USER, cls + "qlxfile\\shell\\open\\command", nullptr));
    // No open command, so no icon either.
    HKEY h;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, (cls + "qlxfile\\DefaultIcon").c_str(),
                                           0, KEY_READ, &h));
    EXPECT_EQ("pcdfile", sz(HKEY_CURRENT_USER, cls + ".pcd", nullptr));
    // Application path incomplete: no uninstall entry at all.
    const std::string nt = std::string(kTestRoot) + "\\machine\\Software\\Microsoft\\Windows NT\\CurrentVersion\\";
    EXPECT_EQ("<missing>", sz(HKEY_CURRENT_USER, nt + "App Paths\\QUILLON.EXE", nullptr));
    EXPECT_EQ("<missing>", sz(HKEY_CURRENT_USER, nt + "App Paths\\QUILLON.EXE", "Path"));
    EXPECT_EQ("<missing>", sz(HKEY_CURRENT_USER, nt + "Uninstall\\Quillon", "DisplayName"));
}

TEST_F(RegistryTest, NoSharedLibraryKeyMeansNothingIsWritten)
{
    // A handle already closed: every key below it fails to open.
    HKEY gone = make(std::string(kTestRoot) + "\\gone");
    RegCloseKey(gone);
    reg_roots.machine = gone;
    INSPB p = dest("C:\\QUILLON");
    GROUP g = {1, "Zelbrin Quillon"};
    EXPECT_TRUE(update_registry(&p, &g));
    reg_roots.machine = machine;

    HKEY h;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER,
                                           (std::string(kTestRoot) + "\\classes\\.qlx").c_str(),
                                           0, KEY_READ, &h));
}

}  // namespace
