// The directory walk of the search and the tree removal on real trees, and
// the destination page's Next.
#include "destination/destination.h"
#include "page_driving.h"
#include "temp_tree.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

static std::set<std::string> search(const std::string& dir)
{
    HLOCAL h = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, 0);
    search_size = 0;
    EXPECT_TRUE(search_path(dir.c_str(), &h));
    std::set<std::string> hits;
    EXPECT_EQ(LocalSize(h), search_size);
    if (search_size > 0) {
        const char* p = static_cast<const char*>(LocalLock(h));
        for (DWORD used = 0; used < search_size; used += static_cast<DWORD>(strlen(p + used)) + 1)
            hits.insert(p + used);
        LocalUnlock(h);
    }
    LocalFree(h);
    return hits;
}

TEST(DriveWalk, FindsEveryDirectoryHoldingTheProgramInAnyCase)
{
    TempTree t;
    t.make("Apps\\Quillon", "QUILLON.EXE");
    t.make("a\\b\\c\\d", "Quillon.Exe");
    t.make("decoy\\quillon.exe");   // a directory of that name is walked, not a hit
    t.make("decoy\\quillon.exe\\inner", "quillon.exe");
    t.make("other", "quillon.ex");
    t.make("other", "xquillon.exe");

    std::set<std::string> expected = {t.sub("Apps\\Quillon"), t.sub("a\\b\\c\\d"),
                                      t.sub("decoy\\quillon.exe\\inner")};
    EXPECT_EQ(search(t.path()), expected);
}

TEST(DriveWalk, KeepsTheBackslashOfARootAndNoneElsewhere)
{
    TempTree t;
    t.make("", "quillon.exe");
    std::set<std::string> expected = {t.path() + "\\"};
    EXPECT_EQ(search(t.path() + "\\"), expected);
    expected = {t.path()};
    EXPECT_EQ(search(t.path()), expected);
}

TEST(DriveWalk, SkipsDirectoriesWhosePathWouldNotFit)
{
    TempTree t;
    // Levels of 60 characters: the fifth one takes the path past 260.
    std::string level(60, 'd');
    std::string rel;
    for (int i = 0; i < 5; ++i) {
        rel += (i ? "\\" : "") + level;
        t.make(rel, "quillon.exe");
    }
    std::set<std::string> hits = search(t.path());
    ASSERT_FALSE(hits.empty());
    for (const std::string& h : hits)
        EXPECT_LT(h.size(), static_cast<size_t>(PATH_CCH)) << h;
    EXPECT_EQ(hits.count(t.sub(level)), 1u);
    EXPECT_LT(hits.size(), 5u);
}

// Wine flags a directory link as a reparse point, so a loop through one never
// reaches the record of walked directories; a listing that does not flag it
// must still end where it began, the first directory included.
TEST(DriveWalk, ALoopBackToTheFirstDirectoryEndsThere)
{
    struct Listing {
        Listing() { list_for_search = looped; }
        ~Listing() { list_for_search = saved; }
        static bool looped(const char* dir, ULONGLONG* self_id, search_listing& out)
        {
            const std::string d = dir;
            if (*self_id == 0)
                *self_id = 100;   // only the first directory's index is asked for
            if (d.size() >= 4 && d.compare(d.size() - 4, 4, "\\sub") == 0)
                out = {{"back", 100}};   // a link up to the first directory
            else
                out = {{"", 0}, {"sub", 200}};   // the first directory, however reached
            return true;
        }
        bool (*saved)(const char*, ULONGLONG*, search_listing&) = list_for_search;
    } listing;
    EXPECT_EQ(search("C:\\apps"), std::set<std::string>{"C:\\apps"});
}

// The page cannot hold a path that fills szDst with no room for its end: from
// the chooser or ProgramFilesDir it is refused, never cut by one character
// into a path the user did not choose.
TEST(DestinationPage, APathOfThePathBufferSizeIsRefusedNotCut)
{
    TempTree t;
    hInst = GetModuleHandleA(nullptr);
    langcode = 0;
    std::string path = t.sub("");
    path += std::string(PATH_CCH - path.size(), 'p');
    ASSERT_EQ(path.size(), static_cast<size_t>(PATH_CCH));
    std::vector<WORD> tmpl = page_template({{WS_CHILD | SS_LEFT, IDC_DEST_PATH, 0x0082}});
    INSPB p{};
    HWND page = CreateDialogIndirectParamA(hInst, reinterpret_cast<LPCDLGTEMPLATEA>(tmpl.data()),
                                           nullptr, dlg_dest, reinterpret_cast<LPARAM>(&p));
    ASSERT_NE(page, nullptr);
    SetDlgItemTextA(page, IDC_DEST_PATH, path.c_str());   // as the chooser leaves it
    {
        // "Invalid Path" is the refusal, and also the question whether to
        // create a path that does not exist: No to that.
        AlertAnswerer refused("Invalid Path", IDCANCEL);
        SendMessageA(page, WM_COMMAND, MAKEWPARAM(PAGE_NEXT, BN_CLICKED), 0);
        EXPECT_TRUE(refused.seen());
    }
    EXPECT_STREQ(p.szDst, "");
    DestroyWindow(page);
}

TEST(DeleteQuillon, RemovesEverythingBelowButNotTheDirectory)
{
    TempTree t;
    t.make("dst\\modules\\deep", "a.dll");
    t.make("dst", "quillon.exe");
    t.make("dst\\help");
    EXPECT_TRUE(delete_quillon(t.sub("dst").c_str()));
    EXPECT_TRUE(dir_exists(t.sub("dst")));
    EXPECT_FALSE(dir_exists(t.sub("dst\\modules")));
    EXPECT_FALSE(dir_exists(t.sub("dst\\help")));
    EXPECT_FALSE(file_exists(t.sub("dst\\quillon.exe")));
    EXPECT_TRUE(RemoveDirectoryA(t.sub("dst").c_str()));
}
