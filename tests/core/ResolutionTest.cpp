#include "brevicam/core/Resolution.h"

#include <gtest/gtest.h>

#include <set>

TEST(ResolutionTest, OrdersByAreaAlone)
{
    EXPECT_LT(CResolution(1280, 720, false), CResolution(1280, 1024, false));
    EXPECT_LT(CResolution(800, 600, false), CResolution(640, 800, false));
    const CResolution wide(640, 480, false), tall(480, 640, false);
    EXPECT_FALSE(wide < tall);
    EXPECT_FALSE(tall < wide);
    EXPECT_NE(wide, tall);
    std::set<CResolution> sizes{wide, tall};
    EXPECT_EQ(sizes.size(), 1u);
}

TEST(ResolutionTest, InterpolationFlagPlaysNoPartInComparisons)
{
    CResolution unknown(640, 480, false);
    unknown.m_interpolated = -1;
    const CResolution native(640, 480, false), scaled(640, 480, true);
    EXPECT_EQ(scaled.m_interpolated, 1);
    for (const auto& x : {native, scaled, unknown})
        for (const auto& y : {native, scaled, unknown})
        {
            EXPECT_EQ(x, y);
            EXPECT_FALSE(x != y);
            EXPECT_FALSE(x < y);
        }
    EXPECT_EQ(CResolution(), CResolution(0, 0, false));
}

TEST(ResolutionTest, LargeSizesDoNotOverflow)
{
    EXPECT_LT(CResolution(4096, 4096, false), CResolution(65536, 65536, false));
}
