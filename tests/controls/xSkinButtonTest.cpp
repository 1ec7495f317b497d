#include "Controls/xSkinButton.h"

#include "tests/controls/ControlsTestSupport.h"
#include "tests/controls/controls_test_ids.h"

using namespace controls_test;

namespace
{
constexpr COLORREF kNormal = RGB(0, 150, 0);
constexpr COLORREF kDown = RGB(150, 0, 0);
constexpr COLORREF kOver = RGB(0, 0, 150);
constexpr COLORREF kDisabled = RGB(90, 90, 90);

struct ExposedSkinButton : CxSkinButton
{
    using CxSkinButton::m_nDrawMode;
    using CxSkinButton::m_nMargin;
    using CxSkinButton::m_pool;
};

class xSkinButtonTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dialog.Create(IDD_BUTTONS));
        dialog.SetWindowPos(nullptr, 50, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ASSERT_TRUE(push.SubclassDlgItem(IDC_PUSH, &dialog));
        ASSERT_TRUE(check.SubclassDlgItem(IDC_CHECK, &dialog));
        for (ExposedSkinButton* b : {&push, &check})
            b->SetSkin(IDB_SKIN_NORMAL, IDB_SKIN_DOWN, IDB_SKIN_OVER, IDB_SKIN_DISABLED, 0, 0, 1, 0, 0, 0);
        dialog.ShowWindow(SW_SHOW);
        Pump();
    }
    void TearDown() override
    {
        dialog.DestroyWindow();
        Pump();
    }
    static COLORREF Face(CWnd& button) { return Pixel(Grab(button), 8, 8); }

    CDialog dialog;
    ExposedSkinButton push;
    ExposedSkinButton check;
};
} // namespace

TEST_F(xSkinButtonTest, StatesDrawTheirBitmaps)
{
    push.SetFadeHover(FALSE);
    EXPECT_EQ(Face(push), kNormal);
    Mouse(push, QEvent::MouseMove, QPoint(8, 8), Qt::NoButton);
    EXPECT_EQ(Face(push), kOver) << "without fading the over bitmap shows at once";
    Mouse(push, QEvent::MouseButtonPress, QPoint(8, 8), Qt::LeftButton);
    EXPECT_EQ(Face(push), kDown);
    Mouse(push, QEvent::MouseButtonRelease, QPoint(8, 8), Qt::NoButton);
    push.SendMessage(WM_MOUSELEAVE);
    EXPECT_EQ(Face(push), kNormal);
    push.EnableWindow(FALSE);
    EXPECT_EQ(Face(push), kDisabled);
}

TEST_F(xSkinButtonTest, CheckBoxShowsTheDownFaceExactlyWhileChecked)
{
    Mouse(check, QEvent::MouseMove, QPoint(8, 8), Qt::NoButton);
    Mouse(check, QEvent::MouseButtonPress, QPoint(8, 8), Qt::LeftButton);
    EXPECT_EQ(Face(check), kNormal) << "an unchecked check box never shows the pressed face";
    Mouse(check, QEvent::MouseButtonRelease, QPoint(8, 8), Qt::NoButton);
    EXPECT_TRUE(check.IsChecked());
    check.SendMessage(WM_MOUSELEAVE);
    EXPECT_EQ(Face(check), kDown);
    check.SendMessage(WM_KEYDOWN, VK_SPACE);
    EXPECT_FALSE(check.IsChecked());
    EXPECT_FALSE(push.SendMessage(BM_SETCHECK, TRUE));
    EXPECT_FALSE(push.IsChecked()) << "a push button stays unchecked";
}

TEST_F(xSkinButtonTest, HoverFadesInToFullAndOutAgain)
{
    Mouse(push, QEvent::MouseMove, QPoint(8, 8), Qt::NoButton);
    Grab(push);
    ASSERT_TRUE(PumpUntil([&] { return push.GetFadeLevel() == 100; }));
    // At level 100 the over bitmap is blended with alpha 254, never 255.
    const COLORREF full = Face(push);
    EXPECT_NEAR(GetBValue(full), 149, 1);
    EXPECT_LE(GetGValue(full), 1);
    push.SendMessage(WM_MOUSELEAVE);
    ASSERT_TRUE(PumpUntil([&] { return push.GetFadeLevel() == 0; }));
    EXPECT_EQ(Face(push), kNormal);
}

TEST_F(xSkinButtonTest, LeavingDuringTheFadeInFadesOutFromTheLevelReached)
{
    Mouse(push, QEvent::MouseMove, QPoint(8, 8), Qt::NoButton);
    Grab(push);
    ASSERT_TRUE(PumpUntil([&] { return push.GetFadeLevel() >= 20; }));
    push.SendMessage(WM_MOUSELEAVE);
    const int reached = push.GetFadeLevel();
    EXPECT_LT(reached, 100);
    int highest = reached;
    ASSERT_TRUE(PumpUntil(
        [&]
        {
            highest = std::max(highest, push.GetFadeLevel());
            return push.GetFadeLevel() == 0;
        }));
    EXPECT_EQ(highest, reached);
}

TEST_F(xSkinButtonTest, MaskShapesTheButtonAndNaturalSizeTakesTheMasksSize)
{
    push.SetSkin(IDB_SKIN_NORMAL, IDB_SKIN_DOWN, 0, 0, 0, IDB_SKIN_MASK, 0, 0, 0, 0);
    CRect rect;
    push.GetWindowRect(&rect);
    EXPECT_EQ(rect.Size(), CSize(30, 20));
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(push.GetWindowRgn(region), ERROR);
    EXPECT_TRUE(PtInRegion(region, 28, 0));
    EXPECT_FALSE(PtInRegion(region, 29, 0)) << "a white right-most column is left out";
    EXPECT_TRUE(PtInRegion(region, 29, 5)) << "a lone non-white pixel in the right-most column is kept";
    EXPECT_FALSE(PtInRegion(region, 29, 4));
    EXPECT_FALSE(PtInRegion(region, 29, 6)) << "the next row is not affected";
    EXPECT_FALSE(PtInRegion(region, 10, 19));
    DeleteObject(region);
}

TEST_F(xSkinButtonTest, SetSkinNormalisesModeAndMargin)
{
    push.SetSkin(IDB_SKIN_NORMAL, 0, 0, 0, 0, 0, 5, 0, -3, 0);
    EXPECT_EQ(push.m_nDrawMode, 2);
    EXPECT_EQ(push.m_nMargin, 0);
    push.SetSkin(IDB_SKIN_NORMAL, 0, 0, 0, 0, 0, -1, 0, 4, 0);
    EXPECT_EQ(push.m_nDrawMode, 0);
    EXPECT_EQ(push.m_nMargin, 4);
    push.SetSkin(IDB_SKIN_NORMAL, 0, 0, 0, 0, 0, 2, 0, 0, 0);
    EXPECT_EQ(Face(push), kNormal) << "tiles cover the face";
}

TEST(TransparentControlTest, ReleaseFreesOneOfItsOwnPairsAndRefusesStrangers)
{
    ExposedSkinButton control;
    CDC* screen = CDC::FromHandle(GetDC(nullptr));
    const CRect rect(0, 0, 10, 10);
    CDC* a = control.AcquireDrawDC(screen, rect);
    CDC* b = control.AcquireDrawDC(screen, rect);
    CDC* c = control.AcquireDrawDC(screen, rect);
    EXPECT_TRUE(control.ReleaseDrawDC(b));
    ASSERT_EQ(control.m_pool.size(), 2u);
    const CDC* first = control.m_pool[0].dc;
    EXPECT_TRUE((first == a && control.m_pool[1].dc == c) || (first == c && control.m_pool[1].dc == a));
    // A stranger takes the search once round the pool, which leaves it as it was.
    CDC stranger;
    EXPECT_FALSE(control.ReleaseDrawDC(&stranger));
    ASSERT_EQ(control.m_pool.size(), 2u);
    EXPECT_EQ(control.m_pool[0].dc, first);
    EXPECT_TRUE(control.ReleaseDrawDC(a));
    EXPECT_TRUE(control.ReleaseDrawDC(c));
    EXPECT_FALSE(control.ReleaseDrawDC(c));
    ReleaseDC(nullptr, screen->GetSafeHdc());
}

TEST(ControlTimerTest, StartsOnlyWithAWindow)
{
    CControlTimer timer(nullptr, 5);
    EXPECT_FALSE(timer.Start(15));
    EXPECT_FALSE(timer.IsRunning());
}
