#include "Controls/GdiPlusBitmap.h"

#include "Controls/MemDC.h"
#include "tests/controls/controls_test_ids.h"

#include <gtest/gtest.h>

namespace
{
/// Whether each pixel of a w x h area lies in the region, row by row ('#' inside, '.' outside).
std::string Rows(HRGN region, int w, int h)
{
    std::string out;
    for (int y = 0; y < h; ++y)
    {
        for (int x = 0; x < w; ++x)
            out += PtInRegion(region, x, y) ? '#' : '.';
        out += '\n';
    }
    return out;
}
} // namespace

TEST(PNGResourceTest, LoadsAPngResourceWithItsSize)
{
    CPNGResource png(IDP_ALPHA);
    ASSERT_TRUE(png.IsLoaded());
    EXPECT_EQ(png.GetWidth(), 40u);
    EXPECT_EQ(png.GetHeight(), 30u);
    png.Empty();
    EXPECT_FALSE(png.IsLoaded());
    EXPECT_EQ(png.GetWidth(), 0u);
}

struct BadPng
{
    const char* name;
    UINT id;
};

class PNGResourceBadTest : public ::testing::TestWithParam<BadPng>
{
};

TEST_P(PNGResourceBadTest, LeavesTheObjectEmptyAndReportsFalse)
{
    CPNGResource png(IDP_OPAQUE);
    ASSERT_TRUE(png.IsLoaded());
    EXPECT_FALSE(png.Load(GetParam().id));
    EXPECT_FALSE(png.IsLoaded());
    EXPECT_EQ(png.GetWidth(), 0u);
    EXPECT_EQ(png.CreateRegion(FALSE), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Ids, PNGResourceBadTest,
                         ::testing::Values(BadPng{"Missing", 4242}, BadPng{"Corrupt", IDP_CORRUPT},
                                           BadPng{"BitmapNotPng", IDB_PROGRESS_FG}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GdiPlusBitmapTest, RegionCutsEveryPixelBelowFullAlpha)
{
    CPNGResource png(IDP_ALPHA);
    HRGN region = png.CreateRegion(FALSE);
    ASSERT_NE(region, nullptr);
    for (int y = 0; y < 30; ++y)
    {
        EXPECT_FALSE(PtInRegion(region, 0, y)) << y;
        EXPECT_TRUE(PtInRegion(region, 39, y)) << y;
    }
    EXPECT_FALSE(PtInRegion(region, 10, 5)) << "alpha 254 is cut";
    EXPECT_FALSE(PtInRegion(region, 20, 10)) << "alpha 128 is cut";
    EXPECT_TRUE(PtInRegion(region, 11, 5));
    EXPECT_TRUE(PtInRegion(region, 9, 5));
    EXPECT_FALSE(PtInRegion(region, 40, 5));
    DeleteObject(region);
}

TEST(GdiPlusBitmapTest, MirroredRegionCutsTheOtherEdge)
{
    CPNGResource png(IDP_ALPHA);
    HRGN region = png.CreateRegion(TRUE);
    EXPECT_TRUE(PtInRegion(region, 0, 3));
    EXPECT_FALSE(PtInRegion(region, 39, 3));
    EXPECT_FALSE(PtInRegion(region, 29, 5));
    DeleteObject(region);
}

TEST(GdiPlusBitmapTest, OpaqueImageGivesItsRectangleAndClearImageNothing)
{
    CPNGResource opaque(IDP_OPAQUE);
    HRGN all = opaque.CreateRegion(FALSE);
    std::string expected;
    for (int y = 0; y < 8; ++y)
        expected += "########.\n";
    EXPECT_EQ(Rows(all, 9, 9), expected + ".........\n");
    DeleteObject(all);

    CPNGResource clear(IDP_CLEAR);
    HRGN none = clear.CreateRegion(FALSE);
    RECT box{};
    EXPECT_EQ(GetRgnBox(none, &box), NULLREGION);
    DeleteObject(none);
}

class MemDCTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        screen = GetDC(nullptr);
        target.CreateCompatibleDC(CDC::FromHandle(screen));
        bitmap.CreateCompatibleBitmap(CDC::FromHandle(screen), 50, 40);
        old = target.SelectObject(&bitmap);
        target.FillSolidRect(0, 0, 50, 40, RGB(1, 2, 3));
    }
    void TearDown() override
    {
        target.SelectObject(old);
        ReleaseDC(nullptr, screen);
    }
    HDC screen = nullptr;
    CDC target;
    CBitmap bitmap;
    CBitmap* old = nullptr;
};

TEST_F(MemDCTest, DrawsOffScreenAndCopiesOnDestruction)
{
    const CRect rect(10, 5, 30, 25);
    {
        CMemDC mem(&target, &rect);
        mem.FillSolidRect(10, 5, 20, 20, RGB(200, 0, 0));
        mem.FillSolidRect(0, 0, 50, 40, RGB(200, 0, 0)); // outside the rectangle: never reaches the target
        mem.FillSolidRect(12, 7, 4, 4, RGB(0, 200, 0));
        EXPECT_EQ(target.GetPixel(12, 7), RGB(1, 2, 3)) << "nothing reaches the target before destruction";
    }
    EXPECT_EQ(target.GetPixel(12, 7), RGB(0, 200, 0));
    EXPECT_EQ(target.GetPixel(29, 24), RGB(200, 0, 0));
    EXPECT_EQ(target.GetPixel(9, 5), RGB(1, 2, 3));
    EXPECT_EQ(target.GetPixel(30, 24), RGB(1, 2, 3));
    EXPECT_EQ(target.GetPixel(10, 25), RGB(1, 2, 3));
}

TEST_F(MemDCTest, WithoutRectangleCoversTheClipBox)
{
    target.IntersectClipRect(5, 5, 15, 15);
    {
        CMemDC mem(&target);
        mem.FillSolidRect(0, 0, 50, 40, RGB(0, 0, 250));
    }
    target.SelectClipRgn(nullptr);
    EXPECT_EQ(target.GetPixel(5, 5), RGB(0, 0, 250));
    EXPECT_EQ(target.GetPixel(14, 14), RGB(0, 0, 250));
    EXPECT_EQ(target.GetPixel(15, 15), RGB(1, 2, 3));
    EXPECT_EQ(target.GetPixel(4, 4), RGB(1, 2, 3));
}

TEST_F(MemDCTest, GraphicsBlendsThePngByItsAlpha)
{
    CPNGResource png(IDP_ALPHA);
    target.FillSolidRect(0, 0, 50, 40, RGB(255, 255, 255));
    Gdiplus::Graphics graphics(target);
    ASSERT_EQ(graphics.DrawImage(png, 0, 0), Gdiplus::Ok);
    EXPECT_EQ(target.GetPixel(0, 3), RGB(255, 255, 255)) << "alpha 0 leaves the background";
    EXPECT_EQ(target.GetPixel(5, 3), RGB(200, 30, 30));
    const COLORREF half = target.GetPixel(20, 10);
    EXPECT_NEAR(GetRValue(half), 127, 2);
    EXPECT_NEAR(GetBValue(half), 227, 2);
}
