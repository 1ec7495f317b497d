#include "brevicam/ui/DialogColleague.h"

#include "ui_surface_ids.h"

#include "brevicam/core/WndMediator.h"
#include "platform/window/WinUser.h"
#include "tests/controls/ControlsTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

using controls_test::Mouse;

namespace
{
class TestColleague : public CDialogColleague
{
public:
    TestColleague() : CDialogColleague(IDD_COLLEAGUE) {}

    bool Open(int x, int y)
    {
        if (!Create(IDD_COLLEAGUE, nullptr))
            return false;
        SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ShowWindow(SW_SHOW);
        controls_test::Pump();
        return true;
    }
};

CRect WindowRect(const CWnd& wnd)
{
    CRect rect;
    wnd.GetWindowRect(&rect);
    return rect;
}

RECT WorkArea()
{
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

/// Presses the left button at `from` on the colleague, moves the pointer by (dx, dy) with the button
/// down (or released, when not `held`) and lets it go.
void Drag(CWnd& colleague, QPoint from, int dx, int dy, bool held = true)
{
    const HWND hwnd = colleague.GetSafeHwnd();
    Mouse(hwnd, QEvent::MouseMove, from, Qt::NoButton);
    Mouse(hwnd, QEvent::MouseButtonPress, from, Qt::LeftButton);
    Mouse(hwnd, QEvent::MouseMove, from + QPoint(dx, dy), held ? Qt::LeftButton : Qt::NoButton);
    Mouse(hwnd, QEvent::MouseButtonRelease, from + QPoint(dx, dy), Qt::NoButton);
}

class DialogColleagueTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_first = std::make_unique<TestColleague>();
        m_second = std::make_unique<TestColleague>();
        ASSERT_TRUE(m_first->Open(200, 200));
        ASSERT_TRUE(m_second->Open(500, 200));
    }
    void TearDown() override
    {
        m_first.reset();
        m_second.reset();
    }

    std::unique_ptr<TestColleague> m_first;
    std::unique_ptr<TestColleague> m_second;
};
} // namespace

TEST_F(DialogColleagueTest, DraggingOneMovesTheWholeGroup)
{
    const CRect first = WindowRect(*m_first);
    const CRect second = WindowRect(*m_second);
    Drag(*m_first, QPoint(20, 20), 30, -25);
    EXPECT_EQ(WindowRect(*m_first).TopLeft(), first.TopLeft() + CPoint(30, -25));
    EXPECT_EQ(WindowRect(*m_first).Size(), first.Size());
    EXPECT_EQ(WindowRect(*m_second).TopLeft(), second.TopLeft() + CPoint(30, -25));
    EXPECT_EQ(WindowRect(*m_second).Size(), second.Size());
}

TEST_F(DialogColleagueTest, PointerMovedWithTheButtonReleasedMovesNothing)
{
    const CRect first = WindowRect(*m_first);
    const CRect second = WindowRect(*m_second);
    Drag(*m_first, QPoint(20, 20), 30, 30, false);
    EXPECT_EQ(WindowRect(*m_first), first);
    EXPECT_EQ(WindowRect(*m_second), second);
}

TEST_F(DialogColleagueTest, ColleagueLeavesWithItsWindowAndRejoinsWhenOpenedAgain)
{
    CWndMediator* mediator = GetWndMediator();
    const std::size_t both = mediator->GetColleagueCount();
    m_second->DestroyWindow();
    EXPECT_EQ(mediator->GetColleagueCount(), both - 1);

    // A drag now moves the one left, and touches nothing of the closed one.
    const CRect first = WindowRect(*m_first);
    Drag(*m_first, QPoint(20, 20), 10, 10);
    EXPECT_EQ(WindowRect(*m_first).TopLeft(), first.TopLeft() + CPoint(10, 10));

    // Opened again, as the capture panel is, it moves with the group once more.
    ASSERT_TRUE(m_second->Open(500, 300));
    EXPECT_EQ(mediator->GetColleagueCount(), both);
    const CRect second = WindowRect(*m_second);
    Drag(*m_first, QPoint(20, 20), -15, 5);
    EXPECT_EQ(WindowRect(*m_second).TopLeft(), second.TopLeft() + CPoint(-15, 5));

    // An object that goes away leaves the group at once.
    m_second.reset();
    EXPECT_EQ(mediator->GetColleagueCount(), both - 1);
}

struct EdgeCase
{
    const char* name;
    /// Where the dragged dialog starts: its bottom 40 pixels below the work area's top, or its top 40
    /// pixels above the work area's bottom.
    bool nearTop;
    int dy;
    bool moves;
};

void PrintTo(const EdgeCase& c, std::ostream* out)
{
    *out << c.name;
}

class DialogColleagueEdgeTest : public DialogColleagueTest, public testing::WithParamInterface<EdgeCase>
{
};

TEST_P(DialogColleagueEdgeTest, KeepsAStripOfTheDialogInsideTheWorkArea)
{
    const EdgeCase& c = GetParam();
    const RECT work = WorkArea();
    const CRect start = WindowRect(*m_first);
    const int top = c.nearTop ? work.top + 40 - start.Height() : work.bottom - 40;
    m_first->SetWindowPos(nullptr, 200, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    controls_test::Pump();
    const CRect first = WindowRect(*m_first);
    const CRect second = WindowRect(*m_second);

    Drag(*m_first, QPoint(20, 20), 0, c.dy);
    const int moved = c.moves ? c.dy : 0;
    EXPECT_EQ(WindowRect(*m_first).TopLeft(), first.TopLeft() + CPoint(0, moved));
    EXPECT_EQ(WindowRect(*m_second).TopLeft(), second.TopLeft() + CPoint(0, moved));
}

INSTANTIATE_TEST_SUITE_P(Edges, DialogColleagueEdgeTest,
                         testing::Values(EdgeCase{"UpPastTheTopIsHeld", true, -10, false},
                                         EdgeCase{"DownNearTheTopFollows", true, 10, true},
                                         EdgeCase{"DownPastTheBottomIsHeld", false, 10, false},
                                         EdgeCase{"UpNearTheBottomFollows", false, -10, true}),
                         [](const auto& info) { return std::string(info.param.name); });
