// The picture resources linked into the program have the layout the drawing
// code relies on: a 40-byte header, a full colour table, then the rows.
#include <gtest/gtest.h>

#include "ui/ui.h"

namespace {

struct Picture {
    LONG width;
    LONG height;
    WORD bits;
};

// Null when the resource is missing or its layout is wrong; failures name why.
::testing::AssertionResult has_layout(HRSRC hrsrc, const Picture& want)
{
    if (hrsrc == nullptr)
        return ::testing::AssertionFailure() << "resource missing";
    auto bih = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(hInst, hrsrc)));
    if (bih == nullptr)
        return ::testing::AssertionFailure() << "cannot load";
    const DWORD stride = ((bih->biWidth * bih->biBitCount + 31) / 32) * 4;
    const DWORD expected = 40 + (4u << bih->biBitCount) + stride * bih->biHeight;
    if (bih->biSize != 40 || bih->biBitCount != want.bits || bih->biCompression != BI_RGB ||
        bih->biWidth != want.width || bih->biHeight != want.height ||
        (bih->biClrUsed != 0 && bih->biClrUsed != (1u << want.bits)) ||
        SizeofResource(hInst, hrsrc) != expected)
        return ::testing::AssertionFailure()
               << "header " << bih->biSize << ", " << bih->biWidth << " x " << bih->biHeight
               << " at " << bih->biBitCount << " bits, " << bih->biClrUsed << " colours, "
               << SizeofResource(hInst, hrsrc) << " bytes";
    return ::testing::AssertionSuccess();
}

HRSRC plain(WORD id)
{
    return FindResourceA(hInst, MAKEINTRESOURCEA(id), RT_BITMAP);
}

}  // namespace

TEST(UiPictures, BackgroundSidePictureAndFlags)
{
    hInst = GetModuleHandleA(nullptr);
    EXPECT_TRUE(has_layout(plain(17), {700, 525, 8}));
    EXPECT_TRUE(has_layout(plain(30), {119, 261, 4}));
    for (WORD id = 20; id <= 26; id++) {
        EXPECT_TRUE(has_layout(plain(id), {32, 18, 4})) << "flag " << id;
        HBITMAP hbm = LoadBitmapA(hInst, MAKEINTRESOURCEA(id));
        EXPECT_NE(hbm, nullptr) << "flag " << id;
        DeleteObject(hbm);
    }
    for (WORD id : {1, 31000, 31001, 31002}) {
        EXPECT_NE(FindResourceA(hInst, MAKEINTRESOURCEA(id), RT_GROUP_ICON), nullptr) << id;
        EXPECT_NE(LoadIconA(hInst, MAKEINTRESOURCEA(id)), nullptr) << id;
    }
}

TEST(UiPictures, BillboardsInEveryLanguage)
{
    hInst = GetModuleHandleA(nullptr);
    const Picture common[5] = {{300, 128, 4}, {300, 128, 4}, {290, 128, 4}, {256, 150, 4}, {256, 128, 4}};
    const Picture czech[5] = {{300, 128, 4}, {301, 128, 4}, {290, 128, 4}, {257, 150, 4}, {256, 128, 4}};
    const struct { WORD langid; const Picture* sizes; } stored[] = {
        {1033, common}, {7, common}, {12, common}, {5, czech},
    };
    for (const auto& l : stored)
        for (int row = 0; row < BINFO_COUNT; row++) {
            HRSRC hrsrc = FindResourceExA(hInst, RT_BITMAP, MAKEINTRESOURCEA(50 + row), l.langid);
            EXPECT_TRUE(has_layout(hrsrc, l.sizes[row]))
                << "billboard " << 50 + row << " language " << l.langid;
        }
}

TEST(UiPictures, BillboardFollowsTheRunLanguage)
{
    hInst = GetModuleHandleA(nullptr);
    // Language indices of English, French (1036), German (1031) and Czech.
    const struct { WORD lcode; WORD stored; } runs[] = {{0, 1033}, {1, 12}, {2, 7}, {6, 5}};
    for (const auto& r : runs)
        for (WORD id = 50; id <= 54; id++) {
            HRSRC want = FindResourceExA(hInst, RT_BITMAP, MAKEINTRESOURCEA(id), r.stored);
            ASSERT_NE(want, nullptr);
            EXPECT_EQ(find_localized(RT_BITMAP, MAKEINTRESOURCEA(id), r.lcode), want)
                << "billboard " << id << " language index " << r.lcode;
        }
}
