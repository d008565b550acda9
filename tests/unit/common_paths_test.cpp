// Path helpers, directory creation and the clean-up journal on real
// temporary directories.
#include "common/setup.h"
#include "common/directories.h"
#include "common/path_join.h"
#include "common/registry_read.h"
#include "common/journal.h"
#include "common/source_root.h"
#include "temp_tree.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(BuildPath, JoinsWithOneBackslashAndRefusesWhatDoesNotFit)
{
    char out[PATH_CCH];
    EXPECT_EQ(BuildPath("C:\\Data", "x.txt", out, PATH_CCH), 13u);
    EXPECT_STREQ(out, "C:\\Data\\x.txt");
    EXPECT_EQ(BuildPath("C:\\", "x", out, PATH_CCH), 4u);
    EXPECT_STREQ(out, "C:\\x");
    EXPECT_EQ(BuildPath("", "x", out, PATH_CCH), 0u);

    // "C:\ab" + "\" + "cd" is 8 characters: 9 with the NUL fits, 8 does not.
    char small[9];
    EXPECT_EQ(BuildPath("C:\\ab", "cd", small, 9), 8u);
    memset(small, 'z', sizeof(small));
    EXPECT_EQ(BuildPath("C:\\ab", "cd", small, 8), 0u);
    EXPECT_EQ(small[8], 'z');
}

TEST(BuildFspec, DropsThePatternAndJoinsInPlace)
{
    char out[PATH_CCH];
    EXPECT_STREQ(build_fspec("C:\\Data\\*.*", "readme.wri", out, PATH_CCH), "C:\\Data\\readme.wri");
    EXPECT_STREQ(build_fspec("C:\\", "Quillon", out, PATH_CCH), "C:\\Quillon");
    EXPECT_STREQ(build_fspec("C:", "Quillon", out, PATH_CCH), "C:\\Quillon");
    EXPECT_STREQ(build_fspec("C:\\*.*", "a", out, PATH_CCH), "C:\\a");
    // Only exactly "\*.*" is a pattern.
    EXPECT_STREQ(build_fspec("C:\\x\\*.txt", "a", out, PATH_CCH), "C:\\x\\*.txt\\a");

    char same[PATH_CCH] = "C:\\Program Files\\*.*";
    EXPECT_EQ(build_fspec(same, "Quillon", same, PATH_CCH), same);
    EXPECT_STREQ(same, "C:\\Program Files\\Quillon");

    char tight[12] = "C:\\Data";
    EXPECT_EQ(build_fspec(tight, "abcd", tight, sizeof(tight)), nullptr);
    EXPECT_STREQ(tight, "C:\\Data");
    EXPECT_STREQ(build_fspec(tight, "abc", tight, sizeof(tight)), "C:\\Data\\abc");
}

TEST(ValidDirectory, ExistingDirectoriesOnly)
{
    TempTree t;
    t.make("empty");
    t.make("full", "f.txt");
    EXPECT_TRUE(ValidDirectory(t.sub("empty").c_str()));
    EXPECT_TRUE(ValidDirectory(t.sub("full").c_str()));
    EXPECT_TRUE(ValidDirectory((t.sub("full") + "\\").c_str()));
    EXPECT_TRUE(ValidDirectory("C:\\"));
    EXPECT_FALSE(ValidDirectory(""));
    EXPECT_FALSE(ValidDirectory(t.sub("missing").c_str()));
    EXPECT_FALSE(ValidDirectory(t.sub("full\\f.txt").c_str()));
    std::string too_long = "C:\\" + std::string(300, 'a');
    EXPECT_FALSE(ValidDirectory(too_long.c_str()));
}

TEST(CreateLevels, CreatesMissingLevelsTopDownAndNotesThem)
{
    TempTree t;
    journal_reset();
    std::string deep = t.sub("one\\two\\three");
    ASSERT_TRUE(create_directory(deep.c_str()));
    EXPECT_TRUE(dir_exists(t.sub("one")));
    EXPECT_TRUE(dir_exists(deep));
    // Existing levels are fine, also with a trailing backslash.
    EXPECT_TRUE(create_directory((deep + "\\").c_str()));

    // The journal holds exactly the three levels created: undo removes them
    // and nothing above.
    journal_undo();
    EXPECT_FALSE(dir_exists(t.sub("one")));
    EXPECT_TRUE(dir_exists(t.path()));
}

TEST(CreateLevels, RootsSharesAndRefusals)
{
    EXPECT_TRUE(create_directory("C:"));
    EXPECT_TRUE(create_directory("C:\\"));
    EXPECT_TRUE(create_directory("\\\\server\\share"));
    EXPECT_FALSE(create_directory("\\\\server"));
    EXPECT_FALSE(create_directory("relative\\path"));
    EXPECT_FALSE(create_directory("C:relative"));

    TempTree t;
    t.make("", "blocker");
    // A file in the way: creating below it fails, naming it "succeeds" but
    // the result is no directory.
    EXPECT_FALSE(create_directory(t.sub("blocker\\below").c_str()));
    EXPECT_TRUE(create_directory(t.sub("blocker").c_str()));
    EXPECT_FALSE(ValidDirectory(t.sub("blocker").c_str()));

    std::string too_long = t.sub(std::string(150, 'a') + "\\" + std::string(150, 'b'));
    EXPECT_FALSE(create_directory(too_long.c_str()));
    EXPECT_FALSE(dir_exists(t.sub(std::string(150, 'a'))));
}

TEST(Destination, OnlyFullPathsNameOne)
{
    for (const char* full : {"C:\\", "e:\\Quillon", "\\\\server\\share", "\\\\srv\\cd\\dir"})
        EXPECT_TRUE(is_full_path(full)) << full;
    for (const char* other : {"quillon", "C:", "C:quillon", "\\quillon", "\\\\server",
                              "\\\\server\\", "\\\\?\\C:\\x", "\\\\.\\pipe\\x", ""})
        EXPECT_FALSE(is_full_path(other)) << other;
}

TEST(Destination, ProgramFilesDirOfAnotherTypeIsNoAnswer)
{
    const char* key = "Software\\QuillonSetupUnitTest\\dest";
    HKEY h;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &h, nullptr));
    const DWORD number = 0x003A0043;   // "C:" and two NULs when read as text
    RegSetValueExA(h, "ProgramFilesDir", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
    RegCloseKey(h);
    char buf[WORK_CCH] = "";
    EXPECT_FALSE(get_from_registry(HKEY_CURRENT_USER, key, "ProgramFilesDir", REG_SZ,
                                   reinterpret_cast<LPBYTE>(buf), WORK_CCH));
    RegDeleteKeyA(HKEY_CURRENT_USER, key);
}

TEST(Journal, UndoKeepsWhatWasThereBefore)
{
    TempTree t;
    t.make("dest\\old", "keep.txt");
    t.make("dest", "settings.qpr");
    journal_reset();

    // New levels below an existing destination, and a file the user dropped
    // in a created directory meanwhile.
    ASSERT_TRUE(create_directory(t.sub("dest\\modules\\sub").c_str()));
    ASSERT_TRUE(create_directory(t.sub("dest\\help").c_str()));
    t.make("dest\\help", "foreign.txt");

    journal_undo();
    EXPECT_TRUE(file_exists(t.sub("dest\\old\\keep.txt")));
    EXPECT_TRUE(file_exists(t.sub("dest\\settings.qpr")));
    EXPECT_FALSE(dir_exists(t.sub("dest\\modules")));
    EXPECT_TRUE(file_exists(t.sub("dest\\help\\foreign.txt")));

    // Undo empties the journal: a second undo touches nothing.
    t.make("dest\\modules");
    journal_undo();
    EXPECT_TRUE(dir_exists(t.sub("dest\\modules")));
}

TEST(SourceRoot, PlainLongAndWineForms)
{
    struct Case {
        const char* module;
        const char* root;
    } cases[] = {
        {"D:\\setup.exe", "D:"},
        {"D:\\disk1\\setup.exe", "D:"},
        {"\\\\srv\\cd\\setup.exe", "\\\\srv\\cd"},
        {"\\\\srv\\cd\\sub\\setup.exe", "\\\\srv\\cd"},
        {"\\\\?\\D:\\setup.exe", "D:"},
        {"\\\\?\\UNC\\srv\\cd\\setup.exe", "\\\\srv\\cd"},
        {"UNC\\srv\\cd\\setup.exe", "\\\\srv\\cd"},
        {"\\\\srv\\cd", "\\\\srv\\cd"},
        {"setup.exe", "setup.exe"},
    };
    for (const Case& c : cases) {
        char root[PATH_CCH];
        ASSERT_TRUE(source_root_of(c.module, root, sizeof(root))) << c.module;
        EXPECT_STREQ(root, c.root) << c.module;
    }
    char tiny[8];
    EXPECT_FALSE(source_root_of("\\\\server\\share\\setup.exe", tiny, sizeof(tiny)));
    EXPECT_TRUE(source_root_of("D:\\setup.exe", tiny, 3));
    EXPECT_STREQ(tiny, "D:");
}

TEST(DiskCase, ExistingLevelsTakeTheDiskSpellingNewLevelsStayAsGiven)
{
    TempTree t;
    t.make("Medium\\Samples\\ClipArt", "Pic.BMP");
    std::string disk = t.sub("Medium\\Samples\\ClipArt\\Pic.BMP");
    std::string given = disk;
    CharLowerA(&given[3]);   // the drive stays as it is
    char path[PATH_CCH];
    strcpy(path, given.c_str());
    ASSERT_TRUE(use_disk_case(path));
    EXPECT_STREQ(path, disk.c_str());

    // A destination being made: the levels that exist are spelt as on disk,
    // the new ones keep the lower case they will be created with.
    std::string fresh = given.substr(0, given.rfind('\\')) + "\\new\\deeper";
    strcpy(path, fresh.c_str());
    EXPECT_FALSE(use_disk_case(path));
    EXPECT_STREQ(path, (t.sub("Medium\\Samples\\ClipArt") + "\\new\\deeper").c_str());

    // Patterns, relative paths and dot levels are left exactly as given.
    for (const char* keep : {"relative\\Path", "C:relative", "C:\\*\\x"}) {
        strcpy(path, keep);
        EXPECT_FALSE(use_disk_case(path)) << keep;
        EXPECT_STREQ(path, keep);
    }
    std::string dotted = given + "\\..\\x";
    strcpy(path, dotted.c_str());
    EXPECT_FALSE(use_disk_case(path));
    EXPECT_STREQ(path, (disk + "\\..\\x").c_str());
    strcpy(path, "C:\\");
    EXPECT_TRUE(use_disk_case(path));
    EXPECT_STREQ(path, "C:\\");
}
