#include "brevicam/media/WaitDialog.h"

#include "platform/commctrl/Progress.h"
#include "platform/window/Extras.h"
#include "resources/brevicam/resource.h"
#include "tests/media/WindowFinder.h"
#include "tests/support/AppLoopSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

namespace
{
std::vector<HWND> WaitWindows()
{
    return media_test::WindowsWithControl(IDC_WAIT_PROGRESS);
}

HWND WaitWindow()
{
    const auto windows = WaitWindows();
    return windows.empty() ? nullptr : windows.front();
}

int BarPosition(HWND wait)
{
    return static_cast<int>(::SendDlgItemMessage(wait, IDC_WAIT_PROGRESS, PBM_GETPOS, 0, 0));
}

class WaitDialogTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_parent.CreateEx(0, AfxRegisterWndClass(0), "parent", WS_POPUP | WS_VISIBLE, 10, 10, 300, 200,
                          nullptr, nullptr);
    }
    void TearDown() override
    {
        testing_support::PumpAppUntil([] { return WaitWindows().empty(); }, 5000);
        m_parent.DestroyWindow();
    }

    /// Starts a wait window and waits until it is up.
    HWND Shown(CWaitDialog& wait)
    {
        wait.Start(IDS_PLEASE_WAIT);
        if (!testing_support::PumpAppUntil([] { return WaitWindow() != nullptr; }))
            return nullptr;
        return WaitWindow();
    }

    CWnd m_parent;
};

TEST_F(WaitDialogTest, StartShowsTheTextAndStopClosesTheWindow)
{
    CWaitDialog wait(nullptr);
    EXPECT_FALSE(wait.IsStarted());
    HWND window = Shown(wait);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(wait.IsStarted());
    EXPECT_TRUE(::IsWindowVisible(window));
    char text[64] = {};
    ::GetDlgItemText(window, IDC_WAIT_TEXT, text, sizeof text);
    EXPECT_STREQ(text, "Please wait…");
    CRect bar;
    ::GetWindowRect(::GetDlgItem(window, IDC_WAIT_PROGRESS), &bar);
    EXPECT_EQ(bar.Width(), 249);
    EXPECT_EQ(bar.Height(), 17);
    EXPECT_EQ(BarPosition(window), 0);

    wait.Stop();
    EXPECT_FALSE(wait.IsStarted());
    EXPECT_TRUE(testing_support::PumpAppUntil([&] { return !::IsWindow(window); }))
        << "the window closes on its next tick";
}

TEST_F(WaitDialogTest, StopWithoutStartAndASecondStartDoNothing)
{
    CWaitDialog idle(nullptr);
    idle.Stop();
    EXPECT_FALSE(idle.IsStarted());

    CWaitDialog wait(nullptr);
    ASSERT_NE(Shown(wait), nullptr);
    CWaitThread* thread = wait.GetWaitThread();
    wait.Start(IDS_PLEASE_WAIT);
    EXPECT_EQ(wait.GetWaitThread(), thread);
    testing_support::PumpAppUntil([] { return false; }, 50);
    EXPECT_EQ(WaitWindows().size(), 1u) << "one window however often it is started";
    wait.Stop();
    wait.Stop();
}

TEST_F(WaitDialogTest, ProgressReachesTheBarAlsoWhenSentBeforeTheWindowExists)
{
    CWaitDialog wait(nullptr);
    wait.Start(IDS_PLEASE_WAIT);
    // Still on its way: the window is built on this thread's next turn.
    ASSERT_EQ(WaitWindow(), nullptr);
    wait.GetWaitThread()->PostThreadMessage(WM_WAIT_PROGRESS, 42, 0);
    ASSERT_TRUE(
        testing_support::PumpAppUntil([] { return WaitWindow() && BarPosition(WaitWindow()) == 42; }));

    std::thread([&] { wait.GetWaitThread()->PostThreadMessage(WM_WAIT_PROGRESS, 77, 0); }).join();
    EXPECT_TRUE(testing_support::PumpAppUntil([] { return BarPosition(WaitWindow()) == 77; }));
    wait.GetWaitThread()->PostThreadMessage(WM_WAIT_PROGRESS, 250, 0);
    EXPECT_TRUE(testing_support::PumpAppUntil([] { return BarPosition(WaitWindow()) == 100; })) << "clamped";
    EXPECT_FALSE(wait.GetWaitThread()->PostThreadMessage(WM_APP, 0, 0)) << "only progress and moves";
    wait.Stop();
}

TEST_F(WaitDialogTest, MoveShiftsTheWindowWithoutResizingIt)
{
    CWaitDialog wait(nullptr);
    HWND window = Shown(wait);
    ASSERT_NE(window, nullptr);
    CRect before;
    ::GetWindowRect(window, &before);
    wait.GetWaitThread()->PostThreadMessage(WM_WAIT_MOVE, static_cast<WPARAM>(-30), 12);
    ASSERT_TRUE(testing_support::PumpAppUntil(
        [&]
        {
            CRect now;
            ::GetWindowRect(window, &now);
            return now.left == before.left - 30 && now.top == before.top + 12;
        }));
    CRect after;
    ::GetWindowRect(window, &after);
    EXPECT_EQ(after.Size(), before.Size());
    wait.Stop();
}

TEST_F(WaitDialogTest, EnterEscapeAndHelpDoNotCloseIt)
{
    CWaitDialog wait(nullptr);
    HWND window = Shown(wait);
    ASSERT_NE(window, nullptr);
    for (UINT key : {VK_RETURN, VK_ESCAPE, VK_F1})
    {
        ::PostMessage(window, WM_KEYDOWN, key, 0);
        ::PostMessage(window, WM_KEYUP, key, 0);
    }
    ::SendMessage(window, WM_COMMAND, IDOK, 0);
    ::SendMessage(window, WM_COMMAND, IDCANCEL, 0);
    ::SendMessage(window, WM_HELP, 0, 0);
    platform::window::PumpPendingMessages();
    EXPECT_TRUE(::IsWindow(window));
    EXPECT_TRUE(::IsWindowVisible(window));
    wait.Stop();
}

TEST_F(WaitDialogTest, ParentIsDisabledWhileTheWindowIsUp)
{
    CWaitDialog wait(&m_parent);
    HWND window = Shown(wait);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(m_parent.IsWindowEnabled());
    wait.Stop();
    ASSERT_TRUE(testing_support::PumpAppUntil([&] { return !::IsWindow(window); }));
    EXPECT_TRUE(m_parent.IsWindowEnabled());
}

TEST_F(WaitDialogTest, WorkerThreadStartsAndStopsTheWindowOfTheInterfaceThread)
{
    CWaitDialog wait(nullptr);
    std::thread([&] { wait.Start(IDS_PLEASE_WAIT); }).join();
    ASSERT_TRUE(testing_support::PumpAppUntil([] { return WaitWindow() != nullptr; }));
    HWND window = WaitWindow();
    EXPECT_EQ(::GetWindowThreadProcessId(window, nullptr), ::GetCurrentThreadId());
    std::thread([&] { wait.Stop(); }).join();
    EXPECT_TRUE(testing_support::PumpAppUntil([&] { return !::IsWindow(window); }));
}

TEST_F(WaitDialogTest, DestroyedWhileStartedTheWindowStillCloses)
{
    auto wait = std::make_unique<CWaitDialog>(nullptr);
    HWND window = Shown(*wait);
    ASSERT_NE(window, nullptr);
    wait.reset();
    EXPECT_TRUE(testing_support::PumpAppUntil([&] { return !::IsWindow(window); }));
}
} // namespace
