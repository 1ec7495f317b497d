#include "shared/faldra/ModularImage.h"

#include "FaldraTestSupport.h"

#include "shared/faldra/DrawContext.h"

using faldra::CModularImage;
using faldra_test::Canvas;
using faldra_test::Load;

namespace
{
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kGrey = RGB(50, 60, 70);

/// Top 2 px red, bottom 3 px blue, left 2 px green, right 4 px yellow, white centre.
void SetFrames(CModularImage& image)
{
    image.SetFrame(IDB_RED_TOP, CModularImage::FT_TOP, FALSE);
    image.SetFrame(IDB_BLUE_BOTTOM, CModularImage::FT_BOTTOM, FALSE);
    image.SetFrame(IDB_GREEN_LEFT, CModularImage::FT_LEFT, FALSE);
    image.SetFrame(IDB_YELLOW_RIGHT, CModularImage::FT_RIGHT, FALSE);
}
} // namespace

TEST(ModularImageTest, StripsStretchAlongTheEdgesAndTheCentreFillsTheRest)
{
    CModularImage image(kGrey);
    SetFrames(image);
    image.SetBackground(Load(IDB_WHITE_CENTRE));
    image.SetStyle(12);
    Canvas canvas(40, 30);
    image.DrawImage(canvas.dc(), CRect(5, 5, 35, 25));

    EXPECT_EQ(canvas.at(4, 4), kBlack);    // outside
    EXPECT_EQ(canvas.at(5, 5), kRed);      // the top strip takes the corners
    EXPECT_EQ(canvas.at(34, 6), kRed);     // over the full width
    EXPECT_EQ(canvas.at(34, 7), kYellow);  // right strip below the top one
    EXPECT_EQ(canvas.at(31, 21), kYellow); // and down to the bottom edge
    EXPECT_EQ(canvas.at(5, 22), kBlue);    // bottom strip runs under the left one
    EXPECT_EQ(canvas.at(30, 24), kBlue);
    EXPECT_EQ(canvas.at(5, 7), kGreen);
    EXPECT_EQ(canvas.at(6, 21), kGreen);
    EXPECT_EQ(canvas.at(7, 7), kWhite); // the centre is stretched over what is left
    EXPECT_EQ(canvas.at(30, 21), kWhite);
}

TEST(ModularImageTest, WithoutBitmapsItIsAPlainColourOrNothing)
{
    CModularImage image(kGrey);
    Canvas canvas(10, 10);
    image.DrawImage(canvas.dc(), 2, 2, 8, 8); // top, left, bottom, right
    EXPECT_EQ(canvas.at(2, 2), kGrey);
    EXPECT_EQ(canvas.at(7, 7), kGrey);
    EXPECT_EQ(canvas.at(8, 8), kBlack);

    Canvas untouched(10, 10);
    image.EnableBkgndErase(FALSE);
    image.DrawImage(untouched.dc(), CRect(0, 0, 10, 10));
    EXPECT_EQ(untouched.at(5, 5), kBlack);
}

struct Placement
{
    const char* name;
    UINT style;
    POINT topLeft; // where the 4x4 centre lands in a 20x20 rectangle at the origin
};

void PrintTo(const Placement& p, std::ostream* os)
{
    *os << p.name;
}

class CentrePlacementTest : public testing::TestWithParam<Placement>
{
};

TEST_P(CentrePlacementTest, UnscaledCentreIsPlacedByTheStyleBits)
{
    const Placement& p = GetParam();
    CModularImage image(kBlack);
    image.SetBackground(Load(IDB_WHITE_CENTRE));
    image.SetStyle(p.style);
    Canvas canvas(20, 20, kGrey);
    image.DrawImage(canvas.dc(), CRect(0, 0, 20, 20));
    EXPECT_EQ(canvas.at(p.topLeft.x, p.topLeft.y), kWhite);
    EXPECT_EQ(canvas.at(p.topLeft.x + 3, p.topLeft.y + 3), kWhite);
    if (p.topLeft.x > 0)
    {
        EXPECT_EQ(canvas.at(p.topLeft.x - 1, p.topLeft.y), kBlack);
    }
    if (p.topLeft.y > 0)
    {
        EXPECT_EQ(canvas.at(p.topLeft.x, p.topLeft.y - 1), kBlack);
    }
    if (p.topLeft.x + 4 < 20)
    {
        EXPECT_EQ(canvas.at(p.topLeft.x + 4, p.topLeft.y), kBlack);
    }
    if (p.topLeft.y + 4 < 20)
    {
        EXPECT_EQ(canvas.at(p.topLeft.x, p.topLeft.y + 4), kBlack);
    }
}

INSTANTIATE_TEST_SUITE_P(Styles, CentrePlacementTest,
                         testing::Values(Placement{"TopLeft", 0, {0, 0}},
                                         Placement{"BottomWinsOverMiddle", 3, {0, 16}},
                                         Placement{"CentredBothWays", 5, {8, 8}},
                                         Placement{"BottomRight", 10, {16, 16}},
                                         Placement{"ThirteenIsNotStretch", 13, {16, 8}}),
                         [](const testing::TestParamInfo<Placement>& info) { return info.param.name; });

TEST(ModularImageTest, LargerCentreIsClippedFromItsCornerUnlessStretched)
{
    CModularImage image(kBlack);
    image.SetBackground(Load(IDB_HALVES)); // 8x8: left half red, right half blue
    Canvas clipped(10, 10, kGrey);
    image.DrawImage(clipped.dc(), CRect(0, 0, 4, 4));
    EXPECT_EQ(clipped.at(0, 0), kRed);
    EXPECT_EQ(clipped.at(3, 3), kRed);
    EXPECT_EQ(clipped.at(4, 0), kGrey);

    image.SetStyle(12);
    Canvas stretched(10, 10, kGrey);
    image.DrawImage(stretched.dc(), CRect(0, 0, 4, 4));
    EXPECT_EQ(stretched.at(0, 0), kRed);
    EXPECT_EQ(stretched.at(3, 3), kBlue);
}

TEST(ModularImageTest, CopiesOwnTheirBitmaps)
{
    auto original = std::make_unique<CModularImage>(kGrey);
    SetFrames(*original);
    original->SetBackground(Load(IDB_WHITE_CENTRE));
    original->SetStyle(12);
    CModularImage copy(*original);
    CModularImage assigned;
    assigned = *original;
    EXPECT_NE(copy.GetFrame(CModularImage::FT_TOP).GetSafeHandle(),
              original->GetFrame(CModularImage::FT_TOP).GetSafeHandle());
    original.reset();

    for (CModularImage* image : {&copy, &assigned})
    {
        EXPECT_EQ(image->GetStyle(), 12u);
        EXPECT_EQ(image->GetBackgndColor(), kGrey);
        Canvas canvas(40, 30);
        image->DrawImage(canvas.dc(), CRect(0, 0, 40, 30));
        EXPECT_EQ(canvas.at(0, 0), kRed);
        EXPECT_EQ(canvas.at(0, 10), kGreen);
        EXPECT_EQ(canvas.at(39, 10), kYellow);
        EXPECT_EQ(canvas.at(20, 29), kBlue);
        EXPECT_EQ(canvas.at(20, 15), kWhite);
    }
}

TEST(ModularImageTest, MirroredStripIsFlippedLeftToRight)
{
    HBITMAP row = Load(IDB_RGB_ROW);
    ASSERT_NE(row, nullptr);
    HBITMAP mirrored = CModularImage::CreateMirroredBitmap(row);
    ASSERT_NE(mirrored, nullptr);
    BITMAP desc{};
    ASSERT_NE(GetObject(mirrored, sizeof(desc), &desc), 0);
    EXPECT_EQ(desc.bmWidth, 3);
    EXPECT_EQ(desc.bmHeight, 1);
    DeleteObject(mirrored);
    DeleteObject(row);
    EXPECT_EQ(CModularImage::CreateMirroredBitmap(nullptr), nullptr);

    CModularImage image(kBlack);
    image.SetFrame(IDB_RGB_ROW, CModularImage::FT_TOP, TRUE);
    Canvas canvas(3, 3);
    image.DrawImage(canvas.dc(), CRect(0, 0, 3, 3));
    EXPECT_EQ(canvas.at(0, 0), kBlue);
    EXPECT_EQ(canvas.at(1, 0), kGreen);
    EXPECT_EQ(canvas.at(2, 0), kRed);
}

TEST(ModularImageTest, SettingAStripHandsBackTheOldOneAndAFailedLoadLeavesItEmpty)
{
    CModularImage image(kBlack);
    EXPECT_EQ(image.SetFrame(IDB_RED_TOP, CModularImage::FT_LEFT, FALSE), nullptr);
    HBITMAP held = static_cast<HBITMAP>(image.GetFrame(CModularImage::FT_LEFT).GetSafeHandle());
    ASSERT_NE(held, nullptr);
    HBITMAP old = image.SetFrame(IDB_MISSING, CModularImage::FT_LEFT, FALSE);
    EXPECT_EQ(old, held);
    EXPECT_EQ(image.GetFrame(CModularImage::FT_LEFT).GetSafeHandle(), nullptr);
    DeleteObject(old);

    EXPECT_EQ(faldra::CDrawContext::LoadResourceHlp(MAKEINTRESOURCE(IDB_MISSING), RT_BITMAP), nullptr);
    EXPECT_EQ(faldra::CDrawContext::LoadResourceHlp(MAKEINTRESOURCE(IDB_RED_TOP), RT_RCDATA), nullptr);
}
