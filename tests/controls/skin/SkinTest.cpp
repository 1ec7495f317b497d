#include "Controls/GdiPlusBitmap.h"

#include <gtest/gtest.h>

namespace
{
struct SkinImage
{
    UINT id;
    UINT width;
    UINT height;
};

class SkinPngTest : public ::testing::TestWithParam<SkinImage>
{
};
} // namespace

TEST_P(SkinPngTest, IsEmbeddedAtItsSize)
{
    const SkinImage& s = GetParam();
    CPNGResource png(s.id);
    ASSERT_TRUE(png.IsLoaded()) << s.id;
    EXPECT_EQ(png.GetWidth(), s.width);
    EXPECT_EQ(png.GetHeight(), s.height);
}

INSTANTIATE_TEST_SUITE_P(Images, SkinPngTest,
                         ::testing::Values(SkinImage{872, 433, 475}, SkinImage{841, 460, 383},
                                           SkinImage{768, 607, 615}, SkinImage{871, 208, 246},
                                           SkinImage{881, 70, 71}, SkinImage{868, 473, 272},
                                           SkinImage{888, 2, 150}, SkinImage{449, 56, 56},
                                           SkinImage{8898, 42, 44}, SkinImage{646, 39, 39},
                                           SkinImage{252, 31, 32}, SkinImage{655, 29, 29},
                                           SkinImage{659, 87, 34}),
                         [](const auto& info) { return std::to_string(info.param.id); });

TEST(SkinTest, DialogBackgroundsHaveClearCornersAndAnOpaqueBody)
{
    CPNGResource png(872);
    HRGN region = png.CreateRegion(FALSE);
    EXPECT_FALSE(PtInRegion(region, 0, 0));
    EXPECT_FALSE(PtInRegion(region, 432, 474));
    EXPECT_TRUE(PtInRegion(region, 200, 200));
    DeleteObject(region);
}

TEST(SkinTest, HiddenStripIsNearWhiteAtAlphaEleven)
{
    CPNGResource png(888);
    Gdiplus::Color pixel;
    ASSERT_EQ(png.GetBitmap()->GetPixel(1, 100, &pixel), Gdiplus::Ok);
    EXPECT_EQ(pixel.GetA(), 11);
    EXPECT_NEAR(pixel.GetR(), 254, 1);
}

TEST(SkinTest, BitmapsLoad)
{
    for (UINT id : {397u, 636u, 638u, 780u, 435u, 664u, 562u, 861u})
    {
        CBitmap bitmap;
        EXPECT_TRUE(bitmap.LoadBitmap(id)) << id;
    }
}
