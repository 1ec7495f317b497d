#include "brevicam/core/WndMediator.h"

#include "platform/window/Afx.h"

#include <gtest/gtest.h>

#include <memory>

namespace
{
class WndMediatorTest : public testing::Test
{
protected:
    // The mediator does not own its tooltip; the test frees it.
    void TearDown() override { delete m_mediator.GetToolTip(); }

    std::unique_ptr<CWnd> MakeWindow(int x, int y, DWORD exStyle = 0)
    {
        auto wnd = std::make_unique<CWnd>();
        EXPECT_TRUE(wnd->CreateEx(exStyle, "STATIC", "colleague", WS_POPUP | WS_VISIBLE, x, y, 200, 60,
                                  nullptr, nullptr));
        return wnd;
    }
    static RECT RectOf(const CWnd& wnd)
    {
        RECT r{};
        ::GetWindowRect(wnd.GetSafeHwnd(), &r);
        return r;
    }
    CWndMediator m_mediator;
};

TEST_F(WndMediatorTest, RegisteringTwiceKeepsOneEntryAndTheFirstRegistrationMakesTheToolTip)
{
    auto a = MakeWindow(10, 10);
    auto b = MakeWindow(300, 10);
    EXPECT_EQ(m_mediator.GetToolTip(), nullptr);
    m_mediator.Register(a.get());
    CToolTipCtrl* tip = m_mediator.GetToolTip();
    ASSERT_NE(tip, nullptr);
    EXPECT_TRUE(::IsWindow(tip->GetSafeHwnd()));
    m_mediator.Register(a.get());
    m_mediator.Register(b.get());
    EXPECT_EQ(m_mediator.GetToolTip(), tip);
    EXPECT_EQ(m_mediator.GetColleagueCount(), 2u);
}

TEST_F(WndMediatorTest, MoveAllMovesEveryColleagueMirroringRightToLeftWindows)
{
    auto ltr = MakeWindow(100, 100);
    auto rtl = MakeWindow(400, 100, WS_EX_LAYOUTRTL);
    m_mediator.Register(ltr.get());
    m_mediator.Register(rtl.get());
    m_mediator.MoveAll(10, 5);
    EXPECT_EQ(RectOf(*ltr).left, 110);
    EXPECT_EQ(RectOf(*ltr).top, 105);
    EXPECT_EQ(RectOf(*rtl).left, 390);
    EXPECT_EQ(RectOf(*rtl).top, 105);
    EXPECT_EQ(RectOf(*ltr).right - RectOf(*ltr).left, 200);
}

TEST_F(WndMediatorTest, HideAndEnableActOnTheWholeGroup)
{
    auto a = MakeWindow(10, 10);
    auto b = MakeWindow(300, 10);
    auto outsider = MakeWindow(600, 10);
    m_mediator.Register(a.get());
    m_mediator.Register(b.get());
    m_mediator.EnableAll(FALSE);
    EXPECT_FALSE(a->IsWindowEnabled());
    EXPECT_FALSE(b->IsWindowEnabled());
    EXPECT_TRUE(outsider->IsWindowEnabled());
    m_mediator.EnableAll(TRUE);
    EXPECT_TRUE(a->IsWindowEnabled());
    EXPECT_TRUE(b->IsWindowEnabled());
    m_mediator.HideAll();
    EXPECT_FALSE(a->IsWindowVisible());
    EXPECT_FALSE(b->IsWindowVisible());
    EXPECT_TRUE(outsider->IsWindowVisible());
}

TEST_F(WndMediatorTest, AColleagueWhoseWindowIsDestroyedLeavesTheGroupEvenWhenItsObjectIsGone)
{
    auto a = MakeWindow(100, 100);
    auto b = MakeWindow(400, 100);
    auto c = MakeWindow(700, 100);
    m_mediator.Register(a.get());
    m_mediator.Register(b.get());
    m_mediator.Register(c.get());
    m_mediator.MoveAll(1, 1);
    // One colleague's window goes while its object stays; another object is deleted with its window,
    // without the mediator acting in between.
    b->DestroyWindow();
    c.reset();
    m_mediator.MoveAll(10, 0);
    EXPECT_EQ(RectOf(*a).left, 111);
    EXPECT_EQ(m_mediator.GetColleagueCount(), 1u);
}

TEST_F(WndMediatorTest, AColleagueDeletedBeforeItsWindowWasEverSeenIsNeverTouched)
{
    auto a = MakeWindow(100, 100);
    auto late = std::make_unique<CWnd>();
    m_mediator.Register(late.get());
    m_mediator.Register(a.get());
    ASSERT_TRUE(late->CreateEx(0, "STATIC", "late", WS_POPUP | WS_VISIBLE, 5, 5, 50, 50, nullptr, nullptr));
    late.reset();
    m_mediator.MoveAll(0, 7);
    EXPECT_EQ(RectOf(*a).top, 107);
}

TEST_F(WndMediatorTest, ToolTipAnchorIsNearTheBottomLeftCorner)
{
    auto a = MakeWindow(100, 200);
    ::SetWindowPos(a->GetSafeHwnd(), nullptr, 100, 200, 200, 60, SWP_NOZORDER);
    POINT anchor{};
    EXPECT_TRUE(m_mediator.GetToolTipAnchor(a.get(), &anchor));
    EXPECT_EQ(anchor.x, 103);
    EXPECT_EQ(anchor.y, 254);
    EXPECT_FALSE(m_mediator.GetToolTipAnchor(nullptr, &anchor));
    a->DestroyWindow();
    EXPECT_FALSE(m_mediator.GetToolTipAnchor(a.get(), &anchor));
}

TEST(GetWndMediatorTest, OneMediatorForTheProcess)
{
    EXPECT_EQ(GetWndMediator(), GetWndMediator());
    EXPECT_NE(GetWndMediator(), nullptr);
}
} // namespace
