#include <gtest/gtest.h>

#include "sizes/sizes.h"
#include "common/source_root.h"
#include "page_driving.h"
#include "temp_tree.h"

#include <cstring>
#include <string>

static std::string cat_path(const char* root, WORD lang, WORD proc)
{
    char out[PATH_CCH];
    if (!catalogue_path(root, lang, proc, out, sizeof out))
        return "<refused>";
    return out;
}

TEST(SizeCatalogue, PathForEveryLanguageAndPlatform)
{
    EXPECT_EQ(cat_path("D:", 0, 0), "D:\\inst\\inst\\USA_W95.QTB");
    EXPECT_EQ(cat_path("E:", 2, 1), "E:\\inst\\inst\\FRG_PENT.QTB");
    EXPECT_EQ(cat_path("D:", 6, 3), "D:\\inst\\inst\\CZE_ALPH.QTB");
    EXPECT_EQ(cat_path("D:", 1, 2), "D:\\inst\\inst\\FRA_MIPS.QTB");
    EXPECT_EQ(cat_path("D:", 3, 4), "D:\\inst\\inst\\HOL_POWR.QTB");
    EXPECT_EQ(cat_path("D:", 4, 0), "D:\\inst\\inst\\ITA_W95.QTB");
    EXPECT_EQ(cat_path("D:", 5, 0), "D:\\inst\\inst\\POL_W95.QTB");
    // Out of the tables: English, and no platform suffix at all.
    EXPECT_EQ(cat_path("D:", 7, 0), "D:\\inst\\inst\\USA_W95.QTB");
    EXPECT_EQ(cat_path("D:", 0xFFFF, 5), "D:\\inst\\inst\\USAQTB");
}

TEST(SizeCatalogue, PathBelowShareRootsFromAnyModuleDirectory)
{
    char root[PATH_CCH];
    ASSERT_TRUE(source_root_of("\\\\server\\share\\cd\\setup\\setup.exe", root, sizeof root));
    EXPECT_EQ(cat_path(root, 2, 0), "\\\\server\\share\\inst\\inst\\FRG_W95.QTB");
    ASSERT_TRUE(source_root_of("UNC\\srv\\cd\\setup.exe", root, sizeof root));
    EXPECT_EQ(cat_path(root, 0, 4), "\\\\srv\\cd\\inst\\inst\\USA_POWR.QTB");
    ASSERT_TRUE(source_root_of("E:\\deep\\dir\\setup.exe", root, sizeof root));
    EXPECT_EQ(cat_path(root, 0, 0), "E:\\inst\\inst\\USA_W95.QTB");
}

TEST(SizeCatalogue, PathThatDoesNotFitIsRefusedUntouched)
{
    std::string longroot(PATH_CCH - 20, 'x');
    EXPECT_EQ(cat_path(longroot.c_str(), 0, 0), "<refused>");

    char buf[24] = "D:\\inst\\inst";
    EXPECT_FALSE(build_sizepath(buf, sizeof buf, 0, 1));   // 25 characters needed
    EXPECT_STREQ(buf, "D:\\inst\\inst");
}

static void write_catalogue(const TempTree& t, WORD lang, WORD proc, const void* data,
                            size_t len)
{
    t.make("inst\\inst");
    char path[PATH_CCH];
    ASSERT_TRUE(catalogue_path(t.path().c_str(), lang, proc, path, sizeof path));
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n;
    WriteFile(h, data, static_cast<DWORD>(len), &n, nullptr);
    CloseHandle(h);
}

TEST(SizeCatalogue, ShortLongAndMissingFilesOverEarlierContents)
{
    TempTree t;
    memset(esize, 0, sizeof esize);
    EXPECT_FALSE(read_catalogue(t.path().c_str(), 0, 0));
    for (DWORD v : esize)
        EXPECT_EQ(v, 0u);

    // Long: 80 bytes, the last four never read.
    BYTE full[80];
    for (int i = 0; i < 80; ++i)
        full[i] = static_cast<BYTE>(i + 1);
    write_catalogue(t, 0, 0, full, sizeof full);
    ASSERT_TRUE(read_catalogue(t.path().c_str(), 0, 0));
    EXPECT_EQ(esize[0], 0x04030201u);
    EXPECT_EQ(esize[18], 0x4C4B4A49u);
    ASSERT_TRUE(read_catalogue(t.path().c_str(), 0, 0));
    EXPECT_EQ(esize[18], 0x4C4B4A49u);

    // Short: 6 bytes replace entry 0 and half of entry 1; the rest stays.
    const BYTE part[6] = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    write_catalogue(t, 2, 0, part, sizeof part);
    ASSERT_TRUE(read_catalogue(t.path().c_str(), 2, 0));
    EXPECT_EQ(esize[0], 0xDDCCBBAAu);
    EXPECT_EQ(esize[1], 0x0807FFEEu);
    EXPECT_EQ(esize[2], 0x0C0B0A09u);

    // Missing afterwards: nothing changes.
    EXPECT_FALSE(read_catalogue(t.path().c_str(), 6, 3));
    EXPECT_EQ(esize[0], 0xDDCCBBAAu);
    EXPECT_EQ(esize[18], 0x4C4B4A49u);
    memset(esize, 0, sizeof esize);
}

static std::string fmt(ULONGLONG v, WORD lcode)
{
    char out[32];
    format_bytes(v, lcode, out, sizeof out);
    return out;
}

TEST(ByteDisplay, SeparatorsInEnglishAndOtherLanguages)
{
    EXPECT_EQ(fmt(0, 0), "0");
    EXPECT_EQ(fmt(999, 0), "999");
    EXPECT_EQ(fmt(1000, 0), "1,000");
    EXPECT_EQ(fmt(1000, 2), "1.000");
    EXPECT_EQ(fmt(12345, 0), "12,345");
    EXPECT_EQ(fmt(12345, 2), "12.345");
    EXPECT_EQ(fmt(123456, 1), "123.456");
    EXPECT_EQ(fmt(4294967295u, 0), "4,294,967,295");
    EXPECT_EQ(fmt(4294967295u, 6), "4.294.967.295");
    EXPECT_EQ(fmt(81964969984ull, 0), "81,964,969,984");
    EXPECT_EQ(fmt(18446744073709551615ull, 2), "18.446.744.073.709.551.615");

    char small[6];
    EXPECT_EQ(format_bytes(12345, 0, small, sizeof small), 0);   // "12,345" needs 7
    EXPECT_STREQ(small, "");
}

TEST(ByteDisplay, LabelFollowsTheRunLanguage)
{
    HWND parent = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(parent, nullptr);
    HWND label = CreateWindowA("STATIC", "x", WS_CHILD, 0, 0, 10, 10, parent,
                               reinterpret_cast<HMENU>(40), GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(label, nullptr);
    char text[32];
    WORD saved = langcode;
    langcode = 0;
    set_dlg_bytes(parent, 40, 5000000000ull);
    GetWindowTextA(label, text, sizeof text);
    EXPECT_STREQ(text, "5,000,000,000");
    langcode = 2;
    set_dlg_bytes(parent, 40, 12345);
    GetWindowTextA(label, text, sizeof text);
    EXPECT_STREQ(text, "12.345");
    langcode = saved;
    DestroyWindow(parent);
}

TEST(FreeSpace, WholeFigureForDrivesSharesAndSilentDrives)
{
    ULARGE_INTEGER avail, total, freeb;
    ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\", &avail, &total, &freeb));
    ULONGLONG got = get_freespace("C:\\Program Files\\Quillon");
    // Other processes write meanwhile; the figure is the whole one, not a wrapped one.
    EXPECT_LT(got > avail.QuadPart ? got - avail.QuadPart : avail.QuadPart - got,
              64ull * 1024 * 1024);
    // A drive letter with nothing behind it answers 0, so the warning is raised.
    EXPECT_EQ(get_freespace("Q:\\nowhere"), 0ull);
    EXPECT_EQ(get_freespace("\\\\nosuchserver\\share\\dir"), 0ull);
}

TEST(Components, SwapAndSizesFollowTheRowTable)
{
    for (int r = 0; r < 19; ++r)
        esize[r] = 1000u * (r + 1);
    EXPECT_EQ(get_size(0x1), 2000u);       // row 0
    EXPECT_EQ(get_size(0x80), 8000u);      // row 6: bit 0x40 has no row
    EXPECT_EQ(get_size(0x40000), 19000u);  // row 17

    INSPB p{};
    p.fflag = 0xFFFFFF;
    // Entries 3,4,7,8,9,11,12,13,14,15,16,18: 4+5+8+9+10+12+...+17+19 thousand.
    EXPECT_EQ(get_samplesize(&p), 142000u);
    DWORD f = p.fflag;
    swap_flag(&f, 0x8);
    EXPECT_EQ(f, 0xFFFFF7u);
    p.fflag = f;
    EXPECT_EQ(get_samplesize(&p), 137000u);
    swap_flag(&f, 0x8);
    EXPECT_EQ(f, 0xFFFFFFu);
    memset(esize, 0, sizeof esize);
}

static ULONGLONG given_free;
static ULONGLONG given_freespace(const char*)
{
    return given_free;
}

// The component page with its total and free-space labels, on a drive of a
// known free space; Next answered by alert 11's Back when the warning comes.
struct ComponentPage {
    INSPB p = {};
    HWND page = nullptr;
    explicit ComponentPage(ULONGLONG free)
    {
        hInst = GetModuleHandleA(nullptr);
        langcode = 0;
        given_free = free;
        page_freespace = given_freespace;
        p.fflag = 0xFFFFFF;
        p.sampl = 1;
        lstrcpyA(p.szDst, "E:\\Quillon");
        std::vector<WORD> t = page_template({{WS_CHILD | SS_LEFT, 40, 0x0082},
                                             {WS_CHILD | SS_LEFT, 41, 0x0082}});
        page = CreateDialogIndirectParamA(hInst, reinterpret_cast<LPCDLGTEMPLATEA>(t.data()),
                                          nullptr, dlg_options, reinterpret_cast<LPARAM>(&p));
    }
    ~ComponentPage()
    {
        DestroyWindow(page);
        page_freespace = get_freespace;
        memset(esize, 0, sizeof esize);
    }
    std::string label(int id) const
    {
        char text[32] = "";
        GetDlgItemTextA(page, id, text, sizeof text);
        return text;
    }
    bool next_warns() const
    {
        AlertAnswerer back("Out of Harddisk Space", NO_SPACE_BACK);
        SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return back.seen();
    }
};

TEST(Components, TotalsPastFourGibibytesAreShownAndTestedWhole)
{
    memset(esize, 0xFF, sizeof esize);   // a damaged catalogue: every count at its maximum
    {
        ComponentPage c(5000000000ull);
        ASSERT_NE(c.page, nullptr);
        EXPECT_EQ(c.label(40), "81,604,378,605");
        EXPECT_EQ(c.label(41), "5,000,000,000");
        EXPECT_TRUE(c.next_warns());
        // The samples alone pass 4 GiB: choosing none other in their
        // sub-dialog leaves the total as it was.
        {
            AlertAnswerer ok("Select Sample Files to Install", IDOK);
            SendMessageA(c.page, WM_COMMAND, MAKEWPARAM(IDC_FILES, BN_CLICKED), 0);
            EXPECT_TRUE(ok.seen());
        }
        EXPECT_EQ(c.label(40), "81,604,378,605");
    }
    esize[0] = 0xFFFFFF00u;
    esize[1] = 0x200u;
    ComponentPage c(5000000000ull);
    EXPECT_EQ(c.label(40), "4,294,967,552");
}

TEST(Components, FreeSpaceEqualToTheTotalIsEnough)
{
    esize[0] = 123456;
    {
        ComponentPage exact(123456);
        EXPECT_FALSE(exact.next_warns());
    }
    esize[0] = 123457;
    ComponentPage short_by_one(123456);
    EXPECT_TRUE(short_by_one.next_warns());
}
