#include <gtest/gtest.h>

#include "copy/diskpace.h"
#include "copy/run_machinery.h"
#include "common/at_restart.h"
#include "common/fileops.h"
#include "common/journal.h"
#include "page_driving.h"
#include "temp_tree.h"

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

static void write_file(const std::string& path, const std::string& data)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    DWORD n;
    WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &n, nullptr);
    CloseHandle(h);
}

static std::string read_file(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string s(GetFileSize(h, nullptr), '\0');
    DWORD n = 0;
    ReadFile(h, &s[0], static_cast<DWORD>(s.size()), &n, nullptr);
    CloseHandle(h);
    return s;
}

// Names as the directory holds them, to see the case actually written.
static std::string listing(const std::string& dir)
{
    std::string out;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return "<none>";
    std::string names[64];
    int n = 0;
    do {
        if (strcmp(fd.cFileName, ".") && strcmp(fd.cFileName, "..") && n < 64)
            names[n++] = fd.cFileName;
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    std::sort(names, names + n);
    for (int i = 0; i < n; ++i)
        out += (i ? " " : "") + names[i];
    return out;
}

TEST(Progress, PercentageNeverFailsAndNeverPassesHundred)
{
    EXPECT_EQ(percent_done(0, 1000), 0);
    EXPECT_EQ(percent_done(505, 1000), 50);
    EXPECT_EQ(percent_done(1000, 1000), 100);
    EXPECT_EQ(percent_done(5000, 1000), 100);
    EXPECT_EQ(percent_done(4294967295u, 4294967295u), 100);
    EXPECT_EQ(percent_done(20401094651ull, 81604378605ull), 25);
    EXPECT_EQ(percent_done(199, 199), 100);   // integer division of the total: 199 / 1
    // Totals below 100 (no catalogue read) must not divide by zero.
    EXPECT_EQ(percent_done(0, 0), 0);
    EXPECT_EQ(percent_done(10, 0), 100);
    EXPECT_EQ(percent_done(25, 50), 50);
    EXPECT_EQ(percent_done(99, 99), 100);
    EXPECT_EQ(percent_done(4000000000u, 50), 100);
}

TEST(Layout, RowsNeedSamplesExceptTheSixComponents)
{
    INSPB p{};
    p.fflag = 0xFFFFFF;
    p.sampl = 0;
    int wanted = 0;
    for (int r = 0; r < CDIR_COUNT; ++r)
        wanted |= row_wanted(r, &p) ? 1 << r : 0;
    EXPECT_EQ(wanted, (1 << 0) | (1 << 1) | (1 << 4) | (1 << 5) | (1 << 9) | (1 << 16));
    p.sampl = 1;
    p.fflag = 0xFFFFFF & ~0x40000u;
    EXPECT_TRUE(row_wanted(2, &p));
    EXPECT_FALSE(row_wanted(17, &p));
    EXPECT_FALSE(row_wanted(18, &p));

    char src[40] = "D:\\quillon";
    ASSERT_TRUE(build_source(src, sizeof src, 2, 1));
    EXPECT_STREQ(src, "D:\\quillon\\FRG\\Pentium");
    strcpy(src, "D:\\quillon");
    ASSERT_TRUE(build_source(src, sizeof src, 9, 7));
    EXPECT_STREQ(src, "D:\\quillon\\USA");
    char tight[16] = "D:\\quillon";
    EXPECT_FALSE(build_source(tight, sizeof tight, 0, 0));
    EXPECT_STREQ(tight, "D:\\quillon");
}

class CopyTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        copyflag = TRUE;
        journal_reset();
    }
    std::string src() const { return t.sub("src"); }
    std::string dst() const { return t.sub("dst"); }
    TempTree t;
};

TEST_F(CopyTree, MergeDirectoriesKeptSettingsAndLowerCaseNames)
{
    t.make("src\\Sub\\SERIAL", "Serial.KEY");
    t.make("src\\Sub\\TypeSet");
    write_file(t.sub("src\\Sub\\TypeSet\\Hyph.DAT"), "hyphen");
    write_file(t.sub("src\\Quillon.QPR"), "new settings");
    write_file(t.sub("src\\Sub\\quillon.qpr"), "deep settings");
    write_file(t.sub("src\\ReadMe.TXT"), "hello");
    t.make("dst");
    write_file(t.sub("dst\\quillon.qpr"), "user settings");

    ASSERT_EQ(COPY_DONE, copy_directory(nullptr, dst().c_str(), src().c_str(), TRUE, TRUE));
    EXPECT_EQ(listing(dst()), "quillon.qpr readme.txt sub");
    EXPECT_EQ(listing(t.sub("dst\\sub")), "hyph.dat serial.key");
    EXPECT_EQ(read_file(t.sub("dst\\quillon.qpr")), "user settings");
    EXPECT_EQ(read_file(t.sub("dst\\readme.txt")), "hello");
    EXPECT_EQ(read_file(t.sub("dst\\sub\\hyph.dat")), "hyphen");

    ASSERT_EQ(COPY_DONE, copy_directory(nullptr, dst().c_str(), src().c_str(), TRUE, FALSE));
    EXPECT_EQ(read_file(t.sub("dst\\quillon.qpr")), "new settings");
    EXPECT_EQ(read_file(t.sub("dst\\sub\\quillon.qpr")), "deep settings");
}

TEST_F(CopyTree, WithoutSubdirsAndFromAMissingSource)
{
    t.make("src\\modules", "m.dll");
    write_file(t.sub("src\\quillon.exe"), "exe");
    ASSERT_EQ(COPY_DONE, copy_directory(nullptr, dst().c_str(), src().c_str(), FALSE, FALSE));
    EXPECT_EQ(listing(dst()), "quillon.exe");

    ASSERT_EQ(COPY_DONE, copy_directory(nullptr, t.sub("none").c_str(), t.sub("nosrc").c_str(), TRUE,
                               FALSE));
    EXPECT_FALSE(dir_exists(t.sub("none")));
}

// Alone and within a run that keeps what it replaces: a read-only file is
// replaced, one held open by another program is left as it is.
TEST_F(CopyTree, ReadOnlyDestinationIsReplacedLockedOneSkipped)
{
    t.make("src");
    write_file(t.sub("src\\a.txt"), "fresh a");
    write_file(t.sub("src\\b.txt"), "fresh b");
    for (bool recorded : {false, true}) {
        SCOPED_TRACE(recorded ? "within a run" : "alone");
        t.make("dst");
        write_file(t.sub("dst\\a.txt"), "old a");
        write_file(t.sub("dst\\b.txt"), "old b");
        SetFileAttributesA(t.sub("dst\\a.txt").c_str(),
                           FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
        HANDLE held = CreateFileA(t.sub("dst\\b.txt").c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        if (recorded) {
            ASSERT_TRUE(run_begin(t.sub("run.rec").c_str()));
        }

        EXPECT_EQ(COPY_DONE, copy_directory(nullptr, dst().c_str(), src().c_str(), TRUE, FALSE));
        run_commit();
        CloseHandle(held);
        EXPECT_EQ(read_file(t.sub("dst\\a.txt")), "fresh a");
        DWORD attr = GetFileAttributesA(t.sub("dst\\a.txt").c_str());
        EXPECT_EQ(attr & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u);
        EXPECT_EQ(read_file(t.sub("dst\\b.txt")), "old b");
        EXPECT_EQ(listing(dst()), "a.txt b.txt");   // nothing kept is left behind
        for (const char* p : {"dst\\a.txt", "dst\\b.txt"})
            DeleteFileA(t.sub(p).c_str());
        ASSERT_TRUE(RemoveDirectoryA(dst().c_str()));
    }
}

TEST_F(CopyTree, BlockMultiplesAndEmptyFilesCopyWhole)
{
    t.make("src");
    std::string big(200000, 'q');
    big[99999] = 'x';
    big[100000] = 'y';
    write_file(t.sub("src\\big.bin"), big);
    write_file(t.sub("src\\empty.bin"), "");
    std::string odd(100001, 'z');
    write_file(t.sub("src\\odd.bin"), odd);
    ASSERT_EQ(COPY_DONE, copy_directory(nullptr, dst().c_str(), src().c_str(), TRUE, FALSE));
    EXPECT_TRUE(read_file(t.sub("dst\\big.bin")) == big);
    EXPECT_EQ(read_file(t.sub("dst\\empty.bin")), "");
    EXPECT_TRUE(read_file(t.sub("dst\\odd.bin")) == odd);
}

// A source that breaks after its first full block: a pipe whose writer goes away.
static void serve_one_block(HANDLE pipe)
{
    ConnectNamedPipe(pipe, nullptr);
    std::string block(100000, 'n');
    DWORD n;
    WriteFile(pipe, block.data(), static_cast<DWORD>(block.size()), &n, nullptr);
    FlushFileBuffers(pipe);
    CloseHandle(pipe);
}

// Copies from a pipe that breaks after one full block; the alert is answered.
// A source that fails to read is no full disk: it gets the read-error alert.
static int copy_broken_source(const std::string& dst, bool& alerted)
{
    const char* name = "\\\\.\\pipe\\quillon_copy_test";
    HANDLE pipe = CreateNamedPipeA(name, PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                   200000, 200000, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE)
        return -1;
    std::thread writer(serve_one_block, pipe);
    AlertAnswerer read_error("Read Error", 1), disk_full("Out of Harddisk Space", 1);
    const CopyOutcome copied = copy_file(nullptr, dst.c_str(), name);
    writer.join();
    alerted = read_error.seen() && !disk_full.seen();
    return copied;
}

TEST_F(CopyTree, FailingReadLeavesNoPartialFile)
{
    hInst = GetModuleHandleA(nullptr);
    t.make("dst");
    write_file(t.sub("dst\\data.bin"), "good old data");
    bool alerted = false;
    EXPECT_EQ(copy_broken_source(t.sub("dst\\data.bin"), alerted), COPY_FAILED);
    EXPECT_TRUE(alerted);
    EXPECT_EQ(read_file(t.sub("dst\\data.bin")), "good old data");

    alerted = false;
    EXPECT_EQ(copy_broken_source(t.sub("dst\\new.bin"), alerted), COPY_FAILED);
    EXPECT_TRUE(alerted);
    EXPECT_EQ(listing(dst()), "data.bin");

    // A record that cannot take the directory's listing stops the copy
    // before anything in the directory changes.
    write_file(t.sub("newer.bin"), "newer data");
    ASSERT_TRUE(run_begin(t.sub("run.rec").c_str()));
    ASSERT_TRUE(run_enter_dir(dst().c_str()));
    record_close();
    copyflag = TRUE;
    {
        AlertAnswerer disk_full("Out of Harddisk Space", 1);
        EXPECT_EQ(COPY_FAILED,
                  copy_file(nullptr, t.sub("dst\\data.bin").c_str(), t.sub("newer.bin").c_str()));
        EXPECT_TRUE(disk_full.seen());
    }
    EXPECT_TRUE(copyflag);   // a failure is told by the outcome; copyflag is Cancel's alone
    run_abandon();
    DeleteFileA(t.sub("run.rec").c_str());
    EXPECT_EQ(read_file(t.sub("dst\\data.bin")), "good old data");
    EXPECT_EQ(listing(dst()), "data.bin");

    // Nor is a shared library left out, new or replaced, when the record
    // cannot take its line: the installation would only look complete.
    for (const char* lib : {"new.dll", "dst\\data.bin"}) {
        ASSERT_TRUE(run_begin(t.sub("run.rec").c_str()));
        record_close();
        AlertAnswerer disk_full("Out of Harddisk Space", 1);
        EXPECT_EQ(COPY_FAILED, copy_file(nullptr, t.sub(lib).c_str(), t.sub("newer.bin").c_str()))
            << lib;
        EXPECT_TRUE(disk_full.seen()) << lib;
        run_abandon();
        DeleteFileA(t.sub("run.rec").c_str());
    }
    EXPECT_FALSE(file_exists(t.sub("new.dll")));
    EXPECT_EQ(read_file(t.sub("dst\\data.bin")), "good old data");

    // A run whose record cannot say it is done keeps what it kept, and is undone.
    ASSERT_TRUE(run_begin(t.sub("run.rec").c_str()));
    copyflag = TRUE;
    ASSERT_EQ(COPY_DONE, copy_file(nullptr, t.sub("dst\\data.bin").c_str(), t.sub("newer.bin").c_str()));
    record_close();
    EXPECT_FALSE(run_commit());
    run_undo();
    EXPECT_EQ(read_file(t.sub("dst\\data.bin")), "good old data");
    EXPECT_EQ(listing(dst()), "data.bin");
}

static void set_write_time(const std::string& path, const FILETIME& ft)
{
    HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
}

static DWORD write_time(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA d{};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d);
    return d.ftLastWriteTime.dwLowDateTime;
}

// Every name below dir with its bytes and attributes, one line each.
static std::string snapshot(const std::string& dir)
{
    std::string out;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    std::vector<std::string> names;
    do {
        if (strcmp(fd.cFileName, ".") && strcmp(fd.cFileName, ".."))
            names.emplace_back(fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        std::string p = dir + "\\" + n;
        DWORD a = GetFileAttributesA(p.c_str());
        out += n + " " + std::to_string(a & ~FILE_ATTRIBUTE_ARCHIVE);
        if (a & FILE_ATTRIBUTE_DIRECTORY)
            out += " {" + snapshot(p) + "}\n";
        else
            out += " " + read_file(p) + "\n";
    }
    return out;
}

// One run over a tree the medium changes in every way: new files and
// directories, files of the user's, files written over in place or renamed
// aside, files already as on the medium, a directory where a file goes.
class RunOverTree : public CopyTree {
protected:
    void SetUp() override
    {
        CopyTree::SetUp();
        t.make("src\\help\\deep", "d.hlp");
        write_file(t.sub("src\\help\\h.hlp"), "new help");
        write_file(t.sub("src\\help\\mine.txt"), "medium copy");
        write_file(t.sub("src\\top.txt"), "top");
        // Written twice in one run: a merge directory brings it again. Of the
        // two files written over in place, whichever way the directory lists
        // them, one is first written from its second block (the pack keeps its
        // tail) and then from its start.
        t.make("src\\help\\typeset");
        write_file(t.sub("src\\help\\plain.txt"), "first new plain");
        write_file(t.sub("src\\help\\typeset\\plain.txt"), "second new plain");
        write_file(t.sub("src\\help\\twice.bin"), first_block + "first new");
        write_file(t.sub("src\\help\\typeset\\twice.bin"), other_block + "second new");
        write_file(t.sub("src\\help\\again.bin"), other_block + "first new");
        write_file(t.sub("src\\help\\typeset\\again.bin"), first_block + "second new");
        // The destination existed, with a file of the user's and one the medium replaces.
        t.make("dst\\help", "user.txt");
        write_file(t.sub("dst\\help\\mine.txt"), "user copy");
        SetFileAttributesA(t.sub("dst\\help\\mine.txt").c_str(), FILE_ATTRIBUTE_READONLY);
        write_file(t.sub("dst\\help\\plain.txt"), "earlier plain");
        write_file(t.sub("dst\\help\\twice.bin"), first_block + "earlier");
        write_file(t.sub("dst\\help\\again.bin"), first_block + "earlier");
        // A plain file is written over in place: longer before, dated in the past.
        write_file(t.sub("dst\\top.txt"), "the earlier, longer top");
        set_write_time(t.sub("dst\\top.txt"), long_ago);
        // Compared with the medium's before anything is written: one that is the
        // same is left alone (its time stays); the others differ in their second
        // block, only in length, or at the start.
        compared = {
            {"same.txt", {"as on the medium", "as on the medium"}},
            {"tail.bin", {block + "old tail", block + "new tail"}},
            {"longer.txt", {"abc", "abcdef"}},
            {"shorter.txt", {"abcdef", "abc"}},
            {"start.txt", {"old start", "new start"}},
        };
        for (const auto& f : compared) {
            write_file(t.sub("dst\\" + f.first), f.second.first);
            write_file(t.sub("src\\" + f.first), f.second.second);
        }
        set_write_time(t.sub("dst\\same.txt"), long_ago);
        // A directory goes on record before its first change and only then: one
        // with the medium's files already in place is not listed; one whose
        // first change is a new file has it removed again.
        for (const char* dir : {"src\\kept", "dst\\kept", "src\\grows", "dst\\grows"}) {
            t.make(dir);
            write_file(t.sub(std::string(dir) + "\\a.txt"), "as on the medium");
            write_file(t.sub(std::string(dir) + "\\b.txt"), "as on the medium too");
        }
        SetFileAttributesA(t.sub("dst\\kept\\b.txt").c_str(),
                           FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
        write_file(t.sub("dst\\grows\\user.txt"), "mine");
        write_file(t.sub("src\\grows\\new.txt"), "new");
        // A directory of the user's where the medium has a file stays as it is.
        t.make("dst\\grows\\folder.txt", "inside.txt");
        write_file(t.sub("src\\grows\\folder.txt"), "a file on the medium");
        before = snapshot(dst());
    }
    // The medium's tree copied within a run begun on t's record.
    void copy_in_a_run()
    {
        ASSERT_TRUE(run_begin(t.sub("run.rec").c_str()));
        ASSERT_EQ(COPY_DONE, copy_directory(nullptr, dst().c_str(), src().c_str(), TRUE, FALSE));
    }
    const std::string first_block = std::string(100000, 'f');
    const std::string other_block = std::string(100000, 'o');
    const std::string block = std::string(100000, 'b');
    const FILETIME long_ago = {0x5A5A0000u, 0x01B00000u};
    const DWORD read_only_hidden = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    std::map<std::string, std::pair<std::string, std::string>> compared;
    std::string before;
};

TEST_F(RunOverTree, TheMediumsFilesReplaceTheEarlierOnes)
{
    copy_in_a_run();
    EXPECT_EQ(listing(t.sub("dst\\help")),
              "again.bin deep h.hlp mine.txt plain.txt twice.bin user.txt ~qskeep");
    EXPECT_EQ(read_file(t.sub("dst\\help\\mine.txt")), "medium copy");
    EXPECT_EQ(read_file(t.sub("dst\\top.txt")), "top");
    for (const auto& f : compared)
        EXPECT_EQ(read_file(t.sub("dst\\" + f.first)), f.second.second) << f.first;
    run_abandon();
}

TEST_F(RunOverTree, AFileAsOnTheMediumIsLeftAloneWithItsAttributesAndTime)
{
    copy_in_a_run();
    EXPECT_EQ(write_time(t.sub("dst\\same.txt")), long_ago.dwLowDateTime);
    EXPECT_EQ(GetFileAttributesA(t.sub("dst\\kept\\b.txt").c_str()) & read_only_hidden,
              read_only_hidden);
    run_commit();
    EXPECT_EQ(write_time(t.sub("dst\\same.txt")), long_ago.dwLowDateTime);
}

TEST_F(RunOverTree, ADirectoryGoesOnRecordAtItsFirstChangeOnly)
{
    copy_in_a_run();
    run_abandon();
    const std::string record = read_file(t.sub("run.rec"));
    EXPECT_EQ(record.find(t.sub("dst\\kept") + "|"), std::string::npos) << record;
    EXPECT_NE(record.find(t.sub("dst\\grows") + "|"), std::string::npos) << record;
}

TEST_F(RunOverTree, UndoFromTheRecordOfAKilledRunPutsTheDiskBackAsItWas)
{
    copy_in_a_run();
    run_abandon();
    EXPECT_EQ(run_recover(t.sub("run.rec").c_str()), RECOVER_DONE);
    EXPECT_EQ(snapshot(dst()), before);
    EXPECT_EQ(write_time(t.sub("dst\\top.txt")), long_ago.dwLowDateTime);
    EXPECT_FALSE(file_exists(t.sub("run.rec")));
}

TEST_F(RunOverTree, CommitRemovesOnlyTheFilesRenamedAsideAndTheRecord)
{
    copy_in_a_run();
    run_commit();
    EXPECT_EQ(listing(t.sub("dst\\help")),
              "again.bin deep h.hlp mine.txt plain.txt twice.bin user.txt");
    EXPECT_EQ(listing(dst()),
              "grows help kept longer.txt same.txt shorter.txt start.txt tail.bin top.txt");
    EXPECT_EQ(listing(t.sub("dst\\grows")), "a.txt b.txt folder.txt new.txt user.txt");
    EXPECT_EQ(read_file(t.sub("dst\\help\\mine.txt")), "medium copy");
    EXPECT_EQ(read_file(t.sub("dst\\top.txt")), "top");
    EXPECT_FALSE(file_exists(t.sub("run.rec")));
}

TEST_F(RunOverTree, ADirectoryOfTheUsersWhereTheMediumHasAFileStays)
{
    copy_in_a_run();
    run_commit();
    EXPECT_EQ(listing(t.sub("dst\\grows\\folder.txt")), "inside.txt");
}

// A run killed after each of its steps: the next start finds the record and
// puts the disk back as it was; once the copy is marked done, it completes it.
TEST_F(CopyTree, KilledRunIsRolledBackAfterEveryStep)
{
    t.make("src\\sub");
    write_file(t.sub("src\\a.txt"), "new a");
    write_file(t.sub("src\\b.txt"), "new b");
    write_file(t.sub("src\\sub\\c.txt"), "new c");
    write_file(t.sub("src\\lib.dll"), "new lib");
    const std::string rec = t.sub("run.rec");
    const std::string d = dst(), sys = t.sub("sys");
    char kept[MAX_PATH] = "", target[MAX_PATH];
    const std::vector<std::function<void()>> steps = {
        [&] { ASSERT_TRUE(run_begin(rec.c_str())); },
        [&] { ASSERT_TRUE(run_enter_dir(d.c_str())); },
        [&] { ASSERT_EQ(COPY_DONE, copy_file(nullptr, (d + "\\a.txt").c_str(), t.sub("src\\a.txt").c_str())); },
        [&] {   // between the rename aside and the new file
            ASSERT_EQ(run_place_file((d + "\\B.TXT").c_str(), target, sizeof target, 5), PLACE_REPLACE);
            ASSERT_TRUE(keep_aside(target, kept, sizeof kept));
        },
        [&] { write_file(target, "half"); },
        [&] {   // between the kept bytes and the end of the new ones
            ASSERT_EQ(run_place_file((d + "\\long.txt").c_str(), target, sizeof target, 3),
                      PLACE_OVERWRITE);
            HANDLE h = CreateFileA(target, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
            const BYTE* staged = nullptr;
            DWORD count = 0;
            ULONGLONG old = 0;
            ASSERT_TRUE(stage_in_place(target, h, &staged, &count));
            ASSERT_TRUE(keep_staged(target, h, 0, &old));
            EXPECT_EQ(old, 20u);
            DWORD n;
            WriteFile(h, "NEW", 3, &n, nullptr);
            CloseHandle(h);
        },
        [&] { ASSERT_EQ(COPY_DONE, copy_file(nullptr, (d + "\\n.txt").c_str(), t.sub("src\\a.txt").c_str())); },
        [&] { ASSERT_TRUE(run_enter_dir((d + "\\sub\\deeper").c_str())); },
        [&] { ASSERT_EQ(COPY_DONE, copy_directory(nullptr, (d + "\\sub\\deeper").c_str(), t.sub("src\\sub").c_str(), TRUE, FALSE)); },
        [&] { ASSERT_EQ(COPY_DONE, copy_file(nullptr, (sys + "\\lib.dll").c_str(), t.sub("src\\lib.dll").c_str())); },
        [&] { ASSERT_EQ(COPY_DONE, copy_file(nullptr, (sys + "\\new.dll").c_str(), t.sub("src\\lib.dll").c_str())); },
    };
    for (size_t k = 0; k <= steps.size() + 1; ++k) {
        SCOPED_TRACE("killed after step " + std::to_string(k));
        for (const char* p : {"dst\\sub", "sys"})
            t.make(p);
        write_file(d + "\\a.txt", "old a");
        write_file(d + "\\B.TXT", "old b");
        SetFileAttributesA((d + "\\B.TXT").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
        write_file(d + "\\user.txt", "mine");
        write_file(d + "\\long.txt", "twenty bytes of text");
        write_file(sys + "\\lib.dll", "old lib");
        const std::string before = snapshot(d) + snapshot(sys);
        for (size_t i = 0; i < k && i < steps.size(); ++i)
            steps[i]();
        if (k > steps.size()) {
            const char* done[] = {"K"};
            ASSERT_TRUE(record_append(done, 1, true));   // killed while committing
        }
        run_abandon();
        // Saved by the user between the kill and the next start, also into a
        // directory the run made, and a library the run had placed, put there
        // again by another installer: none of them is the run's.
        write_file(d + "\\saved.txt", "mine, after the crash");
        const bool made_dir = dir_exists(d + "\\sub\\deeper");
        if (made_dir)
            write_file(d + "\\sub\\deeper\\report.doc", "saved into the run's directory");
        const bool made_lib = file_exists(sys + "\\new.dll");
        if (made_lib)
            write_file(sys + "\\new.dll", "another installer's");
        EXPECT_EQ(run_recover(rec.c_str()), k ? RECOVER_DONE : RECOVER_NOTHING);
        EXPECT_FALSE(file_exists(rec));
        EXPECT_EQ(read_file(d + "\\saved.txt"), "mine, after the crash");
        DeleteFileA((d + "\\saved.txt").c_str());
        if (made_dir && k <= steps.size()) {
            EXPECT_EQ(listing(d + "\\sub\\deeper"), "report.doc");
            DeleteFileA((d + "\\sub\\deeper\\report.doc").c_str());
            RemoveDirectoryA((d + "\\sub\\deeper").c_str());
        }
        if (made_lib) {
            EXPECT_EQ(read_file(sys + "\\new.dll"), "another installer's");
        }
        if (made_lib && k <= steps.size())
            DeleteFileA((sys + "\\new.dll").c_str());
        if (k > steps.size()) {
            EXPECT_EQ(listing(d), "B.TXT a.txt long.txt n.txt sub user.txt");   // the old spelling stays
            EXPECT_EQ(listing(sys), "lib.dll new.dll");
            EXPECT_EQ(read_file(d + "\\sub\\deeper\\c.txt"), "new c");
        } else {
            EXPECT_EQ(snapshot(d) + snapshot(sys), before);
        }
        SetFileAttributesA((d + "\\B.TXT").c_str(), FILE_ATTRIBUTE_NORMAL);
        SetFileAttributesA((d + "\\b.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
        for (const char* p : {"dst\\sub\\deeper\\c.txt", "dst\\sub\\deeper\\report.doc", "dst\\a.txt", "dst\\b.txt", "dst\\n.txt",
                              "dst\\user.txt", "dst\\long.txt", "sys\\lib.dll", "sys\\new.dll"})
            DeleteFileA(t.sub(p).c_str());
        for (const char* p : {"dst\\sub\\deeper", "dst\\sub", "dst", "sys"})
            RemoveDirectoryA(t.sub(p).c_str());
        ASSERT_FALSE(dir_exists(d));
    }

    // A new file another program holds open cannot go yet: the record stays.
    t.make("dst", "a.txt");
    ASSERT_TRUE(run_begin(rec.c_str()));
    ASSERT_TRUE(run_enter_dir(d.c_str()));
    ASSERT_EQ(COPY_DONE, copy_file(nullptr, (d + "\\n.txt").c_str(), t.sub("src\\a.txt").c_str()));
    run_abandon();
    HANDLE held = CreateFileA((d + "\\n.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(run_recover(rec.c_str()), RECOVER_INCOMPLETE);
    CloseHandle(held);
    EXPECT_EQ(run_recover(rec.c_str()), RECOVER_DONE);
    EXPECT_EQ(listing(d), "a.txt");
}

// A file saved under a name the medium brings, after the copy listed its
// directory and before it reached that file, is replaced like any earlier
// file: never truncated, and put back by the undo.
TEST_F(CopyTree, FileSavedDuringTheCopyIsKeptLikeAnEarlierOne)
{
    t.make("src");
    write_file(t.sub("src\\a.txt"), "new a");
    write_file(t.sub("src\\late.txt"), "the medium's late");
    t.make("dst");
    write_file(t.sub("dst\\a.txt"), "old a");
    const std::string rec = t.sub("run.rec");
    ASSERT_TRUE(run_begin(rec.c_str()));
    ASSERT_TRUE(run_enter_dir(dst().c_str()));
    ASSERT_EQ(COPY_DONE, copy_file(nullptr, t.sub("dst\\a.txt").c_str(), t.sub("src\\a.txt").c_str()));
    write_file(t.sub("dst\\late.txt"), "saved by the user meanwhile");
    ASSERT_EQ(COPY_DONE, copy_file(nullptr, t.sub("dst\\late.txt").c_str(), t.sub("src\\late.txt").c_str()));
    EXPECT_EQ(read_file(t.sub("dst\\late.txt")), "the medium's late");
    run_abandon();
    EXPECT_EQ(run_recover(rec.c_str()), RECOVER_DONE);
    EXPECT_EQ(read_file(t.sub("dst\\late.txt")), "saved by the user meanwhile");
    EXPECT_EQ(read_file(t.sub("dst\\a.txt")), "old a");
    EXPECT_EQ(listing(dst()), "a.txt late.txt");
}

// A program's file as Windows holds a running program's: it can be renamed,
// not deleted.
struct RunningProgram {
    HANDLE file, image;
    const void* view;
    explicit RunningProgram(const std::string& path)
    {
        file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
        image = CreateFileMappingA(file, nullptr, PAGE_READONLY | SEC_IMAGE, 0, 0, nullptr);
        view = MapViewOfFile(image, FILE_MAP_READ, 0, 0, 0);
        CloseHandle(file);
    }
    ~RunningProgram()
    {
        UnmapViewOfFile(view);
        CloseHandle(image);
    }
};

// What a committed run could not delete (a running program renamed aside)
// is cleared by a later run, which also never takes it for a file of its
// own to put back; a folder of that name that is not this program's stops
// the run with an alert rather than leaving files unreplaced.
TEST_F(CopyTree, KeepFolderLeftByAnEarlierRunIsTakenOver)
{
    hInst = GetModuleHandleA(nullptr);
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    t.make("src");
    write_file(t.sub("src\\prog.exe"), "the new program");
    write_file(t.sub("src\\a.txt"), "new a");
    t.make("dst");
    ASSERT_TRUE(CopyFileA(self, t.sub("dst\\prog.exe").c_str(), FALSE));
    const std::string rec = t.sub("run.rec"), keep = t.sub("dst\\~qskeep");
    auto write_a = [&](CopyOutcome want) {
        write_file(t.sub("dst\\a.txt"), "old a");
        SetFileAttributesA(t.sub("dst\\a.txt").c_str(), FILE_ATTRIBUTE_READONLY);   // renamed aside
        ASSERT_TRUE(run_begin(rec.c_str()));
        EXPECT_EQ(copy_file(nullptr, t.sub("dst\\a.txt").c_str(), t.sub("src\\a.txt").c_str()), want);
    };
    {
        RunningProgram running(t.sub("dst\\prog.exe"));
        ASSERT_NE(running.view, nullptr);
        ASSERT_TRUE(run_begin(rec.c_str()));
        ASSERT_EQ(COPY_DONE, copy_file(nullptr, t.sub("dst\\prog.exe").c_str(), t.sub("src\\prog.exe").c_str()));
        ASSERT_TRUE(run_commit());
        EXPECT_EQ(read_file(t.sub("dst\\prog.exe")), "the new program");
        EXPECT_EQ(listing(keep), "gone qsetup.own");
        EXPECT_TRUE(goes_at_restart((keep + "\\gone\\0-prog.exe").c_str()));

        // Still running: the next run replaces what it must all the same,
        // and its undo puts back its own kept file only.
        write_a(COPY_DONE);
        EXPECT_EQ(read_file(t.sub("dst\\a.txt")), "new a");
        run_abandon();
        EXPECT_EQ(run_recover(rec.c_str()), RECOVER_DONE);
        EXPECT_EQ(read_file(t.sub("dst\\a.txt")), "old a");
        EXPECT_EQ(listing(keep), "gone qsetup.own");
    }
    // Ended: the next run that comes to the directory clears it.
    write_a(COPY_DONE);
    ASSERT_TRUE(run_commit());
    EXPECT_EQ(listing(t.sub("dst")), "a.txt prog.exe");

    // A pack left by a run whose undo the user chose to leave is not this
    // run's to put back.
    write_file(t.sub("src\\b.txt"), "new b");
    for (const char* before : {"earliest b", "b as the user left it"}) {
        write_file(t.sub("dst\\b.txt"), before);
        ASSERT_TRUE(run_begin(rec.c_str()));
        ASSERT_TRUE(run_enter_dir(dst().c_str()));   // written over in place
        ASSERT_EQ(COPY_DONE, copy_file(nullptr, t.sub("dst\\b.txt").c_str(), t.sub("src\\b.txt").c_str()));
        run_abandon();
        if (before[0] == 'e')
            run_forget(rec.c_str());   // Ignore at the next start
    }
    EXPECT_EQ(run_recover(rec.c_str()), RECOVER_DONE);
    EXPECT_EQ(read_file(t.sub("dst\\b.txt")), "b as the user left it");

    // A folder of that name without the mark is the user's.
    ASSERT_TRUE(DeleteFileA(t.sub("dst\\~qskeep\\qsetup.own").c_str()));
    {
        AlertAnswerer cannot_keep("File Cannot Be Kept", 1);
        write_a(COPY_FAILED);
        EXPECT_TRUE(cannot_keep.seen());
    }
    EXPECT_TRUE(run_undo());
    EXPECT_EQ(read_file(t.sub("dst\\a.txt")), "old a");
    EXPECT_EQ(listing(keep), "pack");
}

static DWORD test_crc32(const std::string& s)
{
    DWORD crc = 0xFFFFFFFFu;
    for (unsigned char c : s) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A record as another run left it, each line with its check.
static void write_record(const std::string& path, const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& l : lines) {
        char tail[16];
        snprintf(tail, sizeof tail, "|%08lX\r\n", static_cast<unsigned long>(test_crc32(l)));
        text += l + tail;
    }
    write_file(path, text);
}

static const char kHeader[] = "Q|2|01DB0000DEADBEEF";

// One run at a time: a record on disk is never written over, and one that
// another program holds open is not applied beside it. A record naming a
// volume that is not there (a network drive not connected) stays for later.
TEST(RunRecord, NeverTakenOverAndAppliedOnlyWithItsVolumes)
{
    TempTree t;
    const std::string rec = t.sub("run.rec");
    write_file(rec, "the record of another run");
    EXPECT_FALSE(run_begin(rec.c_str()));
    run_abandon();
    EXPECT_EQ(read_file(rec), "the record of another run");

    t.make("made");
    write_record(rec, {kHeader, "N|" + t.sub("made")});
    HANDLE other = CreateFileA(rec.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(run_recover(rec.c_str()), RECOVER_BUSY);
    CloseHandle(other);
    EXPECT_TRUE(dir_exists(t.sub("made")));
    EXPECT_TRUE(file_exists(rec));

    // No drive R: in the test prefix.
    write_record(rec, {kHeader, "N|R:\\work", "N|R:\\work\\quillon"});
    EXPECT_EQ(run_recover(rec.c_str()), RECOVER_VOLUME_MISSING);
    EXPECT_TRUE(file_exists(rec));

    // Another disk in the drive: the serial number the run noted differs.
    DeleteFileA(rec.c_str());
    ASSERT_TRUE(run_begin(rec.c_str()));
    ASSERT_TRUE(run_enter_dir(t.sub("new\\dir").c_str()));
    t.make("new\\dir");
    run_abandon();
    std::vector<RecordEntry> got;
    ASSERT_EQ(record_read(rec.c_str(), &got), RECORD_OK);
    auto rewrite = [&](const char* serial) {
        std::vector<std::string> lines;
        for (RecordEntry e : got) {
            if (e.fields[0] == "V" && serial)
                e.fields[2] = serial;
            std::string line = e.fields[0];
            for (size_t i = 1; i < e.fields.size(); ++i)
                line += "|" + e.fields[i];
            lines.push_back(line);
        }
        write_record(rec, lines);
    };
    rewrite("0BADF00D");
    EXPECT_EQ(run_recover(rec.c_str()), RECOVER_VOLUME_MISSING);
    EXPECT_TRUE(dir_exists(t.sub("new\\dir")));
    rewrite(nullptr);
    EXPECT_EQ(run_recover(rec.c_str()), RECOVER_DONE);
    EXPECT_FALSE(dir_exists(t.sub("new")));
}

// The record read back after the writer died at every byte: whole entries
// come back, a torn last one is left out, damage before the end is refused.
TEST(RunRecord, ReadBackAfterACrashAtEveryByte)
{
    TempTree t;
    const std::string rec = t.sub("run.rec"), cut = t.sub("cut.rec");
    ASSERT_TRUE(record_create(rec.c_str(), "01DB0000DEADBEEF"));
    const std::vector<std::vector<const char*>> lines = {
        {"E", "C:\\q", "a.txt", "Help"}, {"N", "C:\\q\\new"}, {"R", "C:\\w\\x.dll"}, {"K"}};
    for (const auto& l : lines)
        ASSERT_TRUE(record_append(l.data(), static_cast<int>(l.size()), false));
    record_close();
    const std::string whole = read_file(rec);

    std::vector<RecordEntry> got;
    ASSERT_EQ(record_read(rec.c_str(), &got), RECORD_OK);
    ASSERT_EQ(got.size(), lines.size() + 1);
    EXPECT_EQ(got[1].fields, std::vector<std::string>({"E", "C:\\q", "a.txt", "Help"}));
    EXPECT_EQ(got[4].fields, std::vector<std::string>({"K"}));

    size_t ends = 0;
    for (size_t n = 0; n <= whole.size(); ++n) {
        SCOPED_TRACE("cut at " + std::to_string(n));
        write_file(cut, whole.substr(0, n));
        if (n >= 2 && whole.compare(n - 2, 2, "\r\n") == 0)
            ++ends;
        ASSERT_EQ(record_read(cut.c_str(), &got), RECORD_OK);
        ASSERT_EQ(got.size(), ends);
        if (ends) {
            EXPECT_EQ(got.back().fields[0], ends == 1 ? "Q" : lines[ends - 2][0]);
        }
    }

    // A last entry whose bytes did not all reach the disk is left out too.
    std::string damaged = whole;
    damaged[whole.size() - 12] ^= 1;
    write_file(cut, damaged);
    ASSERT_EQ(record_read(cut.c_str(), &got), RECORD_OK);
    EXPECT_EQ(got.size(), lines.size());

    // Damage before the end: a power cut loses only what was not flushed,
    // so the entries before the first damaged one are read.
    damaged = whole;
    damaged[whole.find("a.txt")] = 'b';
    write_file(cut, damaged);
    EXPECT_EQ(record_read(cut.c_str(), &got), RECORD_OK);
    EXPECT_EQ(got.size(), 1u);

    // A record that is not ours to read is kept aside, never written over.
    const std::string bad = t.sub("cut.bad");
    write_record(cut, {"Q|9", "N|C:\\q\\new"});
    EXPECT_EQ(run_recover(cut.c_str()), RECOVER_UNREADABLE);
    EXPECT_FALSE(file_exists(cut));
    EXPECT_NE(read_file(bad).find("N|C:\\q\\new"), std::string::npos);
    EXPECT_EQ(record_read(t.sub("none.rec").c_str(), &got), RECORD_NONE);
}

// A pack cut at every byte, as a run killed while keeping a file leaves it:
// whole entries are written back, nothing of a torn one.
TEST(RunRecord, PackCutAtEveryByteGivesBackWholeEntriesOnly)
{
    TempTree t;
    t.make("d");
    const std::string pack = t.sub("pack"), cut = t.sub("cut");
    // The first file fits behind the head, the second goes block by block,
    // the third is written over from its 500th byte and keeps only its tail.
    const std::string same_start(500, 'p');
    struct Kept {
        std::string name, earlier, later;
        ULONGLONG from;
        DWORD cb;
    };
    const std::vector<Kept> files = {
        {"One.txt", "first earlier", "written later", 0, 256},
        {"two.bin", std::string(300, 'x') + "end", "written later", 0, 256},
        {"three.dat", same_start + "old tail", same_start + "a later, longer tail", 500, 1024}};
    Pack p;
    ASSERT_TRUE(pack_open(&p, pack.c_str()));
    for (const auto& f : files) {
        const std::string path = t.sub("d\\" + f.name);
        write_file(path, f.earlier);
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        std::vector<BYTE> buf(f.cb);
        ULONGLONG old = 0;
        PackStage st;
        ASSERT_TRUE(pack_read(h, path.c_str(), buf.data(), f.cb, &st));
        ASSERT_EQ(pack_write(&p, h, path.c_str(), buf.data(), f.cb, st, f.from, &old), PACK_STORED);
        EXPECT_EQ(old, f.earlier.size());
        CloseHandle(h);
    }
    pack_close(&p);
    const std::string whole = read_file(pack);
    std::vector<size_t> ends;
    for (size_t at = whole.find("QSK3", 4); at != std::string::npos; at = whole.find("QSK3", at + 4))
        ends.push_back(at);
    ends.push_back(whole.size());
    ASSERT_EQ(ends.size(), files.size());
    EXPECT_LT(ends[2] - ends[1], files[2].earlier.size());
    for (size_t n = 0; n <= whole.size(); ++n) {
        SCOPED_TRACE("cut at " + std::to_string(n));
        for (const auto& f : files)
            write_file(t.sub("d\\" + f.name), f.later);
        write_file(cut, whole.substr(0, n));
        EXPECT_TRUE(pack_restore(cut.c_str()));
        for (size_t i = 0; i < files.size(); ++i)
            EXPECT_EQ(read_file(t.sub("d\\" + files[i].name)),
                      n >= ends[i] ? files[i].earlier : files[i].later);
    }
    // A file kept from its middle on is not made up again when someone else
    // cut it short or removed it.
    write_file(t.sub("d\\three.dat"), "cut");
    EXPECT_FALSE(pack_restore(pack.c_str()));
    EXPECT_EQ(read_file(t.sub("d\\three.dat")), "cut");
    DeleteFileA(t.sub("d\\three.dat").c_str());
    EXPECT_FALSE(pack_restore(pack.c_str()));
    EXPECT_FALSE(file_exists(t.sub("d\\three.dat")));
    EXPECT_TRUE(pack_restore(t.sub("none").c_str()));   // nothing kept, nothing to do
}

TEST_F(CopyTree, CancelStopsBeforeTheNextFile)
{
    t.make("src");
    write_file(t.sub("src\\a.txt"), "a");
    copyflag = FALSE;
    EXPECT_EQ(COPY_CANCELLED, copy_directory(nullptr, dst().c_str(), src().c_str(), TRUE, FALSE));
    EXPECT_EQ(listing(dst()), "");
}

// ---- power cuts ----
// The disk a power cut leaves after the first k changes of a recorded run:
// every change of names, lengths, attributes and times before the cut is
// there, in order (what the platform's journaling file systems promise);
// the bytes of a write that no flush of its file followed may be lost, in
// one of the ways a table below names.
namespace {

enum Loss { KEPT, OLD, ZEROS, CUT_SHORT, TORN };

struct Inode {
    std::string durable, current;
    std::vector<std::pair<size_t, size_t>> pending;   // unflushed writes: offset, length
    bool timed = false;
    FILETIME written{};
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
};

std::string lower_key(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}

struct Disk {
    struct Node {
        std::string name;   // the full path as spelled
        int inode;          // -1: a directory
    };
    std::map<std::string, Node> paths;   // lower-case full path
    std::vector<Inode> inodes;
    std::map<HANDLE, int> open;

    void load(const std::string& dir)
    {
        paths[lower_key(dir)] = {dir, -1};
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE)
            return;
        do {
            const std::string p = dir + "\\" + fd.cFileName;
            if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, ".."))
                continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                load(p);
                continue;
            }
            Inode n;
            n.durable = n.current = read_file(p);
            n.attributes = fd.dwFileAttributes;
            inodes.push_back(n);
            paths[lower_key(p)] = {p, static_cast<int>(inodes.size() - 1)};
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }

    int file_at(const std::string& path, DWORD disposition)
    {
        auto it = paths.find(lower_key(path));
        if (it != paths.end() && disposition != CREATE_NEW) {
            if (disposition == CREATE_ALWAYS)
                inodes[it->second.inode] = Inode();
            return it->second.inode;
        }
        inodes.emplace_back();
        paths[lower_key(path)] = {path, static_cast<int>(inodes.size() - 1)};
        return paths[lower_key(path)].inode;
    }

    void apply(const FsOp& op)
    {
        auto in = open.find(op.file);
        Inode* n = in == open.end() ? nullptr : &inodes[in->second];
        switch (op.kind) {
        case FsOp::OPEN:
            open[op.file] = file_at(op.path, op.value);
            break;
        case FsOp::WRITE:
            if (n->current.size() < op.offset + op.bytes.size())
                n->current.resize(op.offset + op.bytes.size());
            n->current.replace(op.offset, op.bytes.size(), op.bytes);
            n->pending.emplace_back(op.offset, op.bytes.size());
            break;
        case FsOp::FLUSH:
            n->durable = n->current;
            n->pending.clear();
            break;
        case FsOp::SET_END:
            n->current.resize(op.offset);
            n->durable.resize(op.offset);
            break;
        case FsOp::SET_TIME:
            n->timed = n->timed || op.written.dwHighDateTime || op.written.dwLowDateTime;
            if (op.written.dwHighDateTime || op.written.dwLowDateTime)
                n->written = op.written;
            break;
        case FsOp::CLOSE:
            if (in != open.end())
                open.erase(in);
            break;
        case FsOp::RENAME: {
            Node moved = paths[lower_key(op.path)];
            paths.erase(lower_key(op.path));
            moved.name = op.to;
            paths[lower_key(op.to)] = moved;
            break;
        }
        case FsOp::REMOVE:
        case FsOp::RMDIR:
            paths.erase(lower_key(op.path));
            break;
        case FsOp::MKDIR:
            paths[lower_key(op.path)] = {op.path, -1};
            break;
        case FsOp::ATTRIBUTES:
            inodes[paths[lower_key(op.path)].inode].attributes = op.value;
            break;
        }
    }

    static std::string bytes(const Inode& n, Loss loss)
    {
        std::string s = loss == OLD ? n.durable : n.current;
        for (const auto& w : n.pending) {
            const size_t from = std::min(w.first, s.size());
            const size_t to = std::min(w.first + w.second, s.size());
            if (loss == ZEROS)
                std::fill(s.begin() + from, s.begin() + to, '\0');
            else if (loss == TORN && to - from > 8192)   // its first and last page reached the disk
                std::fill(s.begin() + from + 4096, s.begin() + to - 4096, '\0');
        }
        if (loss == CUT_SHORT)
            for (const auto& w : n.pending)
                s.resize(std::min(w.first, s.size()));
        return s;
    }

    // The bytes of every file as they would be found: the run's bookkeeping
    // (its record and what it keeps) and the installation's files may lose
    // differently.
    std::map<std::string, std::string> contents(const std::string& record, Loss book, Loss data) const
    {
        std::map<std::string, std::string> out;
        for (const auto& p : paths) {
            const bool bookkeeping = p.first == lower_key(record) || p.first.find("\\~qskeep\\") != std::string::npos;
            if (p.second.inode >= 0)
                out[p.first] = bytes(inodes[p.second.inode], bookkeeping ? book : data);
        }
        return out;
    }

    void write_out(const std::map<std::string, std::string>& contents) const
    {
        for (const auto& p : paths) {
            if (p.second.inode < 0) {
                CreateDirectoryA(p.second.name.c_str(), nullptr);
                continue;
            }
            const Inode& n = inodes[p.second.inode];
            write_file(p.second.name, contents.at(p.first));
            if (n.timed)
                set_write_time(p.second.name, n.written);
            SetFileAttributesA(p.second.name.c_str(), n.attributes);
        }
    }
};

std::vector<std::string> names_below(const std::string& dir)
{
    std::vector<std::string> out;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    do {
        if (strcmp(fd.cFileName, ".") && strcmp(fd.cFileName, ".."))
            out.emplace_back(fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return out;
}

// Everything below dir but the medium.
void wipe(const std::string& dir, bool top = true)
{
    for (const std::string& name : names_below(dir)) {
        const std::string p = dir + "\\" + name;
        if (top && (name == "src" || name == "medium"))
            continue;
        if (GetFileAttributesA(p.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
            wipe(p, false);
            RemoveDirectoryA(p.c_str());
        } else {
            SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(p.c_str());
        }
    }
}

const char* op_name(FsOp::Kind k)
{
    static const char* const names[] = {"open",   "write",  "flush",  "set end", "set time", "close",
                                        "rename", "delete", "mkdir", "rmdir",   "attributes"};
    return names[k];
}

}   // namespace

// A disk whose every flush waits for it.
static void waiting_flush(const FsOp& op)
{
    if (op.kind == FsOp::FLUSH)
        Sleep(2);   // four times what the copy takes for a disk that waits
}

// Learned from the first directory's flushes: the next one's new files are
// cut to nothing as they are made and closed once written, then flushed
// through a handle opened again; a file written over in place keeps its
// handle to its flush.
TEST_F(CopyTree, OnADiskThatWaitsNewFilesAreClosedBeforeTheirFlush)
{
    t.make("src\\first");
    for (int i = 0; i < 16; ++i)
        write_file(t.sub("src\\first\\f" + std::to_string(i) + ".dat"), "first " + std::to_string(i));
    t.make("src\\later");
    write_file(t.sub("src\\later\\one.dat"), std::string(100007, '1'));   // two blocks of the copy
    write_file(t.sub("src\\later\\two.dat"), "two");
    write_file(t.sub("src\\later\\plain.dat"), "new plain");
    t.make("dst\\later");
    write_file(t.sub("dst\\later\\plain.dat"), "earlier plain, longer");
    ASSERT_TRUE(run_begin(t.sub("run.rec").c_str()));
    std::vector<FsOp> log;
    fs_record(&log, waiting_flush);
    for (const char* dir : {"\\first", "\\later"})
        EXPECT_EQ(COPY_DONE, copy_directory(nullptr, (dst() + dir).c_str(), (src() + dir).c_str(), TRUE, FALSE));
    fs_record(nullptr);
    EXPECT_TRUE(run_commit());

    std::map<HANDLE, std::string> open_in_later;
    std::map<std::string, std::string> ops;   // of each file of the second directory, in order
    for (const FsOp& op : log) {
        if (op.kind == FsOp::OPEN && op.path.find("\\later\\") != std::string::npos) {
            open_in_later[op.file] = op.path.substr(op.path.rfind('\\') + 1);
            std::string& seq = ops[open_in_later[op.file]];
            seq += std::string(seq.empty() ? "" : ",") + (op.value == OPEN_EXISTING ? "open" : "create");
            continue;
        }
        const auto it = open_in_later.find(op.file);
        if (op.kind == FsOp::OPEN || !op.file || it == open_in_later.end())
            continue;
        ops[it->second] += std::string(",") + op_name(op.kind) +
                           (op.kind == FsOp::SET_END ? " " + std::to_string(op.offset) : "");
        if (op.kind == FsOp::CLOSE)
            open_in_later.erase(it);
    }
    EXPECT_EQ(ops["one.dat"], "create,set end 0,write,write,set time,close,open,flush,close");
    EXPECT_EQ(ops["two.dat"], "create,set end 0,write,set time,close,open,flush,close");
    EXPECT_EQ(ops["plain.dat"], "open,write,set end 9,flush,close");
    EXPECT_EQ(read_file(dst() + "\\later\\one.dat"), std::string(100007, '1'));
    EXPECT_EQ(read_file(dst() + "\\later\\two.dat"), "two");
    EXPECT_EQ(read_file(dst() + "\\later\\plain.dat"), "new plain");
    EXPECT_EQ(read_file(dst() + "\\first\\f15.dat"), "first 15");
}

// One small but complete update, recorded, then cut at every change: the
// next start's recovery leaves the earlier installation or the new one
// whole, every file of the user's as it was, and nothing of the run.
TEST(PowerCut, EveryCutLeavesTheEarlierOrTheNewInstallationWhole)
{
    TempTree t;
    journal_reset();
    t.make("src\\sub");
    t.make("medium");
    const std::string big(20000, 'N'), tail(100000, 'T');
    write_file(t.sub("src\\a.txt"), big);                      // written over in place, whole
    write_file(t.sub("src\\c.bin"), tail + "new end");         // written over from its second block
    write_file(t.sub("src\\b.txt"), "new b");                  // read-only before: renamed aside
    write_file(t.sub("src\\new.txt"), "new in an existing directory");
    write_file(t.sub("src\\new2.txt"), "placed with new.txt, written after it");
    write_file(t.sub("src\\sub\\n.txt"), "new in a new directory");
    t.make("src\\serial");   // merges into dst: new.txt written a second time
    write_file(t.sub("src\\serial\\new.txt"), "brought again, after the others");
    write_file(t.sub("medium\\lib.dll"), "new shared library");
    const std::string rec = t.sub("run.rec"), dst = t.sub("dst"), sys = t.sub("sys");
    auto lay_out = [&] {
        wipe(t.path());
        t.make("dst");
        t.make("sys");
        write_file(dst + "\\a.txt", std::string(20000, 'o'));
        write_file(dst + "\\c.bin", tail + "old end");
        write_file(dst + "\\b.txt", "old b");
        SetFileAttributesA((dst + "\\b.txt").c_str(), FILE_ATTRIBUTE_READONLY);
        write_file(dst + "\\user.txt", "the user's");
        write_file(sys + "\\lib.dll", "earlier shared library");
    };
    auto state = [&] { return snapshot(dst) + "|" + snapshot(sys); };
    auto record_run = [&](bool commit, std::vector<FsOp>* log, bool disk_waits = false) {
        lay_out();
        fs_record(log);
        copyflag = TRUE;
        EXPECT_TRUE(run_begin(rec.c_str()));
        pace_forget(disk_waits);
        EXPECT_EQ(COPY_DONE, copy_directory(nullptr, dst.c_str(), t.sub("src").c_str(), TRUE, FALSE));
        EXPECT_EQ(COPY_DONE, copy_file(nullptr, (sys + "\\lib.dll").c_str(), t.sub("medium\\lib.dll").c_str()));
        const size_t undo = log->size();
        if (commit)
            EXPECT_TRUE(run_commit());
        else
            EXPECT_TRUE(run_undo());
        fs_record(nullptr);
        return undo;
    };
    lay_out();
    const std::string before = state();
    Disk start;
    for (const std::string& d : {dst, sys})
        start.load(d);
    std::vector<FsOp> committed, undone, committed_closing_early;
    record_run(true, &committed);
    const std::string after = state();
    ASSERT_NE(before, after);
    const size_t undo_from = record_run(false, &undone);
    ASSERT_EQ(state(), before);
    // As on a disk whose flushes wait: new files closed before their flush.
    record_run(true, &committed_closing_early, true);
    ASSERT_EQ(state(), after);

    const struct {
        const char* what;
        Loss book, data;
    } cases[] = {
        {"a kill: nothing lost", KEPT, KEPT},
        {"the kept bytes lost, the new ones on disk", OLD, KEPT},
        {"the record and the pack torn, the new bytes on disk", TORN, KEPT},
        {"every unflushed write zeros", ZEROS, ZEROS},
        {"every unflushed file cut short", CUT_SHORT, CUT_SHORT},
    };
    std::vector<std::string> failed;
    for (const auto& run : {std::make_pair(&committed, size_t(0)), std::make_pair(&undone, undo_from),
                            std::make_pair(&committed_closing_early, size_t(0))}) {
        const std::vector<FsOp>& log = *run.first;
        Disk disk = start;
        for (size_t k = 0; k <= log.size(); ++k) {
            if (k > 0)
                disk.apply(log[k - 1]);
            if (k < run.second)
                continue;
            std::set<std::map<std::string, std::string>> tried;   // where nothing is pending, all alike
            for (const auto& c : cases) {
                const auto found = disk.contents(rec, c.book, c.data);
                if (!tried.insert(found).second)
                    continue;
                wipe(t.path());
                disk.write_out(found);
                run_abandon();
                const int recovered = run_recover(rec.c_str());
                const std::string now = state();
                if ((recovered != RECOVER_NOTHING && recovered != RECOVER_DONE) || file_exists(rec) ||
                    (now != before && now != after)) {
                    const FsOp* op = k ? &log[k - 1] : nullptr;
                    std::string where = op ? op->path : "";
                    for (size_t j = k - 1; op && where.empty() && j-- > 0;)
                        if (log[j].kind == FsOp::OPEN && log[j].file == op->file)
                            where = log[j].path;
                    failed.push_back(std::string(run.first == &undone ? "undo" : run.first == &committed ? "commit" : "commit closing early") + " cut after " +
                                     std::to_string(k) + " (" + (op ? op_name(op->kind) : "nothing") + " " +
                                     where.substr(t.path().size()) + "), " + c.what + ": recovery " +
                                     std::to_string(recovered));
                }
            }
        }
    }
    wipe(t.path());
    for (const std::string& f : failed)
        printf("%s\n", f.c_str());
    EXPECT_EQ(failed.size(), 0u) << committed.size() << " changes committed, " << undone.size() - undo_from
                                 << " undone";
}
