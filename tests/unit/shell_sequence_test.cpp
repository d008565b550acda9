// The platform rule and the state table of the install sequence.
#include "shell/shell.h"

#include <gtest/gtest.h>

TEST(Platform, ProcessorArchitectureToIndex)
{
    EXPECT_EQ(platform_from_arch(PROCESSOR_ARCHITECTURE_INTEL), 0);
    EXPECT_EQ(platform_from_arch(PROCESSOR_ARCHITECTURE_MIPS), 2);
    EXPECT_EQ(platform_from_arch(PROCESSOR_ARCHITECTURE_ALPHA), 3);
    EXPECT_EQ(platform_from_arch(PROCESSOR_ARCHITECTURE_PPC), 4);
    for (WORD other : {4, 5, 6, 9, 12, 0xFFFF})
        EXPECT_EQ(platform_from_arch(other), 0) << other;
}

TEST(StateTable, NextWalksTheWizardForward)
{
    install_step s = STEP_LANGUAGE;
    const install_step road[] = {STEP_WELCOME, STEP_FOUND, STEP_DESTINATION, STEP_COMPONENTS,
                                 STEP_FOLDER, STEP_COPY};
    for (install_step expected : road) {
        s = next_step(s, PAGE_NEXT, true, false);
        EXPECT_EQ(s, expected);
    }
    EXPECT_EQ(next_step(STEP_COPY, TRUE, true, false), STEP_INTEGRATE);
    EXPECT_EQ(next_step(STEP_COPY, FALSE, true, false), STEP_CLEANUP);
    EXPECT_EQ(next_step(STEP_COPY, FALSE, false, false), STEP_CLEANUP);
    EXPECT_EQ(next_step(STEP_INTEGRATE, PAGE_NEXT, true, false), STEP_END);
    EXPECT_EQ(next_step(STEP_CLEANUP, PAGE_NEXT, false, false), STEP_END);
}

TEST(StateTable, BackDependsOnTheChoiceAndTheSearch)
{
    EXPECT_EQ(next_step(STEP_WELCOME, PAGE_BACK, false, false), STEP_LANGUAGE);
    EXPECT_EQ(next_step(STEP_FOUND, PAGE_BACK, false, false), STEP_WELCOME);
    EXPECT_EQ(next_step(STEP_FOLDER, PAGE_BACK, true, false), STEP_COMPONENTS);
    // Update: the destination page is skipped both ways.
    EXPECT_EQ(next_step(STEP_COMPONENTS, PAGE_BACK, false, false), STEP_FOUND);
    // Install new: back to the destination page.
    EXPECT_EQ(next_step(STEP_COMPONENTS, PAGE_BACK, true, false), STEP_DESTINATION);
    EXPECT_EQ(next_step(STEP_DESTINATION, PAGE_BACK, true, false), STEP_FOUND);
    // Nothing found: the found step has no page, Back leads to the welcome page.
    EXPECT_EQ(next_step(STEP_DESTINATION, PAGE_BACK, true, true), STEP_WELCOME);
}

TEST(StateTable, CancelAndFailedPagesEndTheRun)
{
    const install_step pages[] = {STEP_LANGUAGE, STEP_WELCOME, STEP_FOUND, STEP_DESTINATION,
                                  STEP_COMPONENTS, STEP_FOLDER};
    for (install_step s : pages) {
        EXPECT_EQ(next_step(s, PAGE_CANCEL, true, false), STEP_END) << s;
        EXPECT_EQ(next_step(s, PAGE_FAILED, false, true), STEP_END) << s;
        EXPECT_EQ(next_step(s, 0, true, true), STEP_END) << s;
    }
}
