#include "Controls/ProgressCtrlST.h"

#include "platform/resources/Resources.h"
#include "platform/window/CommCtrl.h"
#include "tests/controls/ControlsTestSupport.h"
#include "tests/controls/controls_test_ids.h"

using namespace controls_test;

namespace
{
constexpr COLORREF kFill = RGB(0, 200, 0);
constexpr COLORREF kEmpty = RGB(60, 60, 60);

struct ExposedProgress : CProgressCtrlST
{
    using CProgressCtrlST::m_nSpan;
};

class ProgressCtrlSTTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        host.CreateEx(0, AfxRegisterWndClass(0), "host", WS_POPUP | WS_VISIBLE, 10, 10, 200, 100, nullptr,
                      nullptr);
    }
    void TearDown() override
    {
        host.DestroyWindow();
        Pump();
    }
    void Make(DWORD style, int width, int height)
    {
        ASSERT_TRUE(bar.Create(WS_CHILD | WS_VISIBLE | style, CRect(0, 0, width, height), &host, 1));
    }
    /// The number of filled pixels along the bar's row `y`.
    int FilledColumns(int y)
    {
        const QImage img = Grab(bar);
        int n = 0;
        for (int x = 0; x < img.width(); ++x)
            n += Pixel(img, x, y) == kFill ? 1 : 0;
        return n;
    }
    CWnd host;
    ExposedProgress bar;
};

struct FillCase
{
    const char* name;
    int lower;
    int upper;
    int pos;
    int filled;
};

class ProgressFillTest : public ProgressCtrlSTTest, public ::testing::WithParamInterface<FillCase>
{
};
} // namespace

TEST_P(ProgressFillTest, FillsItsShareOfTheRangeFromTheLeft)
{
    const FillCase& c = GetParam();
    Make(0, 101, 20);
    ASSERT_EQ(bar.SetBitmap(IDB_PROGRESS_FG, IDB_PROGRESS_BG), 0);
    bar.SetRange(c.lower, c.upper);
    bar.SetPos(c.pos);
    EXPECT_EQ(FilledColumns(10), c.filled);
    const QImage img = Grab(bar);
    if (c.filled > 0)
    {
        EXPECT_EQ(Pixel(img, 0, 10), kFill);
    }
    if (c.filled < 101)
    {
        EXPECT_EQ(Pixel(img, 100, 10), kEmpty);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgressFillTest,
                         ::testing::Values(FillCase{"Empty", 0, 100, 0, 0}, FillCase{"Half", 0, 100, 50, 51},
                                           FillCase{"Full", 0, 100, 100, 101},
                                           FillCase{"RangeNotFromZero", 10, 20, 15, 51},
                                           FillCase{"NegativeLower", -50, 50, 0, 51},
                                           FillCase{"AboveUpperIsClamped", 0, 100, 250, 101}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProgressCtrlSTTest, PositionIsClampedAndAnEmptyRangeKeepsASpanOfOne)
{
    Make(0, 101, 20);
    bar.SetRange(0, 100);
    bar.SetPos(150);
    EXPECT_EQ(bar.GetPos(), 100);
    bar.SetPos(-3);
    EXPECT_EQ(bar.GetPos(), 0);
    bar.SetRange(5, 5);
    EXPECT_EQ(bar.m_nSpan, 1);
}

TEST_F(ProgressCtrlSTTest, VerticalBarShowsTheBottomOfItsBitmapGrowingUpwards)
{
    Make(PBS_VERTICAL, 20, 60);
    ASSERT_EQ(bar.SetBitmap(IDB_PROGRESS_FGV, IDB_PROGRESS_BGV), 0);
    bar.SetPos(25);
    const QImage img = Grab(bar);
    EXPECT_EQ(Pixel(img, 10, 59), RGB(0, 0, 200));
    EXPECT_EQ(Pixel(img, 10, 45), RGB(0, 0, 200));
    EXPECT_EQ(Pixel(img, 10, 44), kEmpty);
    EXPECT_EQ(Pixel(img, 10, 0), kEmpty);
}

TEST_F(ProgressCtrlSTTest, VerticalBarTallerThanItsBitmapStaysInsideTheBitmap)
{
    Make(PBS_VERTICAL, 20, 90);
    ASSERT_EQ(bar.SetBitmap(IDB_PROGRESS_FGV, IDB_PROGRESS_BGV), 0);
    bar.SetPos(100);
    const QImage img = Grab(bar);
    EXPECT_EQ(Pixel(img, 10, 1), RGB(200, 0, 0)) << "tiles start at the bitmap's top row";
    EXPECT_EQ(Pixel(img, 10, 59), RGB(0, 0, 200));
}

TEST_F(ProgressCtrlSTTest, UnusableBitmapLeavesThePlainBar)
{
    Make(0, 101, 20);
    HBITMAP good = static_cast<HBITMAP>(LoadImage(platform::resources::ThisModule(),
                                                  MAKEINTRESOURCE(IDB_PROGRESS_BG), IMAGE_BITMAP, 0, 0, 0));
    ASSERT_NE(good, nullptr);
    EXPECT_EQ(bar.SetBitmap(reinterpret_cast<HBITMAP>(0x1234), good), 1);
    EXPECT_EQ(GetObjectType(good), 0u) << "the control owned and freed it";
    bar.SetPos(50);
    EXPECT_EQ(FilledColumns(10), 0) << "painted as a plain bar";
}

TEST_F(ProgressCtrlSTTest, OneBitmapAsForegroundAndBackgroundIsFreedOnce)
{
    Make(0, 101, 20);
    HBITMAP both = static_cast<HBITMAP>(LoadImage(platform::resources::ThisModule(),
                                                  MAKEINTRESOURCE(IDB_PROGRESS_FG), IMAGE_BITMAP, 0, 0, 0));
    ASSERT_EQ(bar.SetBitmap(both, both), 0);
    HBITMAP other = static_cast<HBITMAP>(LoadImage(platform::resources::ThisModule(),
                                                   MAKEINTRESOURCE(IDB_PROGRESS_BG), IMAGE_BITMAP, 0, 0, 0));
    ASSERT_EQ(bar.SetBitmap(other, nullptr), 0);
    EXPECT_EQ(GetObjectType(both), 0u);
    EXPECT_EQ(GetObjectType(other), OBJ_BITMAP);
}

TEST_F(ProgressCtrlSTTest, PlainBarPaintsItsBackgroundColour)
{
    Make(0, 101, 20);
    EXPECT_EQ(static_cast<COLORREF>(bar.SendMessage(PBM_SETBKCOLOR, 0, RGB(10, 20, 30))), CLR_DEFAULT);
    bar.SetPos(50);
    EXPECT_EQ(Pixel(Grab(bar), 90, 10), RGB(10, 20, 30));
    EXPECT_EQ(static_cast<COLORREF>(bar.SendMessage(PBM_SETBKCOLOR, 0, CLR_DEFAULT)), RGB(10, 20, 30));
    EXPECT_NE(Pixel(Grab(bar), 90, 10), RGB(10, 20, 30)) << "the system's colour again";
}
