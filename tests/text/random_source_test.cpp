#include "text/random_source.h"

#include <gtest/gtest.h>

TEST(RandomSource, placeholder) { SeedRandomSource(1); EXPECT_EQ(DrawRandomValue(), 41); }
