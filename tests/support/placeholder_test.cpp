#include <gtest/gtest.h>
#include "tressel/Tressel.h"
TEST(Placeholder, Builds) { CTressel t; EXPECT_EQ(t.HasTail(), 0); }
