// Which billboard is shown as the copied byte count grows.
#include <gtest/gtest.h>

#include "copy/copy.h"
#include "ui/ui.h"

namespace {

// Starts a copy the way the copy driver does; without a setup window the
// drawing steps do nothing, so only the switching logic runs.
void start_copy(ULONGLONG total)
{
    hParent = nullptr;
    tbytes = total;
    calc_bmpshare(tbytes);
    cbinf = 0;
    bcopied = 0;
    infplace = 1;
}

LONG shown_after(ULONGLONG copied)
{
    bcopied = copied;
    update_bmpinfo(bcopied);
    return cbinf;
}

void expect_thresholds(ULONGLONG r0, ULONGLONG r1, ULONGLONG r2, ULONGLONG r3, ULONGLONG r4)
{
    EXPECT_EQ(binfo[0].visByte, r0);
    EXPECT_EQ(binfo[1].visByte, r1);
    EXPECT_EQ(binfo[2].visByte, r2);
    EXPECT_EQ(binfo[3].visByte, r3);
    EXPECT_EQ(binfo[4].visByte, r4);
}

}  // namespace

TEST(UiBillboard, FivePicturesSwitchJustPastEachShare)
{
    start_copy(25000000);
    expect_thresholds(5000000, 5000000, 5000000, 5000000, 5000000);
    const struct { DWORD copied; LONG row; } road[] = {
        {1, 0},         {5000000, 0},  {5000001, 1},  {10000000, 1}, {10000001, 2},
        {15000000, 2},  {15000001, 3}, {20000000, 3}, {20000001, 4}, {25000000, 4},
        // more than announced: the last picture stays
        {40000000, 4},
    };
    for (const auto& step : road)
        EXPECT_EQ(shown_after(step.copied), step.row) << "after " << step.copied << " bytes";
}

TEST(UiBillboard, TwentyPercentRoundingDecidesBetweenFiveAndTwoPictures)
{
    for (DWORD total : {10000000u, 9999998u}) {
        start_copy(total);
        expect_thresholds(2000000, 2000000, 2000000, 2000000, 2000000);
    }

    start_copy(9999997);
    expect_thresholds(4999998, 0, 0, 0, 4999998);
    EXPECT_EQ(shown_after(4999998), 0);
    EXPECT_EQ(shown_after(4999999), 4);
    EXPECT_EQ(infplace, FALSE);

    start_copy(8000000);
    expect_thresholds(4000000, 0, 0, 0, 4000000);
    EXPECT_EQ(shown_after(4000000), 0);
    EXPECT_EQ(shown_after(4000001), 4);
    EXPECT_EQ(shown_after(9000000), 4);
}

TEST(UiBillboard, OneStepAdvancesOneRowEvenPastTwoThresholds)
{
    start_copy(25000000);
    EXPECT_EQ(shown_after(12000000), 1);
    EXPECT_EQ(infplace, FALSE);
    // Row 1's threshold is now cumulative (10,000,000) and already passed.
    EXPECT_EQ(binfo[1].visByte, 10000000u);
    EXPECT_EQ(shown_after(12000000), 2);
    EXPECT_EQ(infplace, TRUE);
    EXPECT_EQ(shown_after(12000000), 2);
}

TEST(UiBillboard, NewCopyStartsFromFreshShares)
{
    start_copy(25000000);
    shown_after(30000000);
    shown_after(30000000);
    start_copy(25000000);
    expect_thresholds(5000000, 5000000, 5000000, 5000000, 5000000);
}

TEST(UiBillboard, TotalsAboveTwoGibibytesKeepTheirShares)
{
    start_copy(3000000000u);
    expect_thresholds(600000000, 600000000, 600000000, 600000000, 600000000);
    EXPECT_EQ(shown_after(600000001), 1);
    EXPECT_EQ(shown_after(2400000001u), 2);

    start_copy(81604378605ull);
    expect_thresholds(16320875721ull, 16320875721ull, 16320875721ull, 16320875721ull,
                      16320875721ull);
    EXPECT_EQ(shown_after(16320875722ull), 1);
}

TEST(UiBillboard, NoPictureMeansNoSwitch)
{
    // Before the copy's first picture and after its last: the bytes move no
    // share, and the side of the next picture stays.
    start_copy(25000000);
    cbinf = -1;
    EXPECT_EQ(shown_after(25000000), -1);
    EXPECT_EQ(shown_after(40000000), -1);
    expect_thresholds(5000000, 5000000, 5000000, 5000000, 5000000);
    EXPECT_EQ(infplace, TRUE);
}
