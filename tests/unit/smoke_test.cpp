#include <gtest/gtest.h>
#include "shell/quillon.h"

TEST(Smoke, LangTable) { EXPECT_EQ(lang[1], 1036); }
