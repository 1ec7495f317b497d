#include "WindowTestSupport.h"

#include <QKeyEvent>
#include <QTimer>

#include <atomic>
#include <stdexcept>

using namespace window_test;

class WindowTest : public WindowFixture
{
};

TEST_F(WindowTest, CreationAndDestructionSendTheirMessagesInOrder)
{
    HWND top = Top();
    HWND child = Child(top, 10, 5, 5, 50, 20);
    ASSERT_NE(top, nullptr);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(recorder.Messages(top, {WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE}),
              (std::vector<UINT>{WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE}));
    EXPECT_EQ(recorder.Count(top, WM_PARENTNOTIFY), 1);

    recorder.log.clear();
    ASSERT_TRUE(DestroyWindow(top));
    std::vector<std::pair<HWND, UINT>> order;
    for (const auto& r : recorder.log)
        if (r.msg == WM_DESTROY || r.msg == WM_NCDESTROY)
            order.emplace_back(r.hwnd, r.msg);
    EXPECT_EQ(order,
              (std::vector<std::pair<HWND, UINT>>{
                  {top, WM_DESTROY}, {child, WM_DESTROY}, {child, WM_NCDESTROY}, {top, WM_NCDESTROY}}));
    EXPECT_FALSE(IsWindow(top));
    EXPECT_FALSE(IsWindow(child));
}

TEST_F(WindowTest, StaleHandlesAreRefusedHarmlessly)
{
    HWND top = Top();
    DestroyWindow(top);
    RECT r{};
    EXPECT_FALSE(IsWindow(top));
    EXPECT_FALSE(GetWindowRect(top, &r));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_EQ(SendMessage(top, WM_USER, 0, 0), 0);
    EXPECT_FALSE(PostMessage(top, WM_USER, 0, 0));
    EXPECT_FALSE(DestroyWindow(top));
    EXPECT_FALSE(ShowWindow(top, SW_SHOW));
    EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(0x12345)));
    EXPECT_EQ(GetDC(reinterpret_cast<HWND>(0x12345)), nullptr);
}

TEST_F(WindowTest, SendsAreImmediateAndPostsArriveInOrder)
{
    HWND top = Top();
    recorder.log.clear();
    PostMessage(top, WM_APP + 1, 1, 0);
    PostMessage(top, WM_APP + 2, 2, 0);
    recorder.handlers[WM_APP + 3] = [](HWND, WPARAM w, LPARAM) -> LRESULT
    { return static_cast<LRESULT>(w * 2); };
    EXPECT_EQ(SendMessage(top, WM_APP + 3, 21, 0), 42);
    EXPECT_EQ(recorder.Messages(top, {WM_APP + 1, WM_APP + 2, WM_APP + 3}), (std::vector<UINT>{WM_APP + 3}));
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(top, WM_APP + 2) == 1; }));
    EXPECT_EQ(recorder.Messages(top, {WM_APP + 1, WM_APP + 2, WM_APP + 3}),
              (std::vector<UINT>{WM_APP + 3, WM_APP + 1, WM_APP + 2}));
}

TEST_F(WindowTest, BroadcastFromAnyThreadReachesEveryTopLevelWindow)
{
    HWND a = Top();
    HWND b = Top();
    HWND child = Child(a, 1, 0, 0, 10, 10);
    std::thread([] { PostMessage(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0); }).join();
    ASSERT_TRUE(PumpUntil(
        [&] { return recorder.Count(a, WM_DEVICECHANGE) == 1 && recorder.Count(b, WM_DEVICECHANGE) == 1; }));
    EXPECT_EQ(recorder.Count(child, WM_DEVICECHANGE), 0);
}

TEST_F(WindowTest, MessageFiltersPickOnlyWhatTheyAdmit)
{
    HWND top = Top();
    PostMessage(top, WM_APP + 1, 0, 0);
    PostMessage(top, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessage(top, WM_APP + 2, 0, 0);
    MSG msg;
    // Drop the keyboard messages, as a window does that wants none of them queued.
    while (PeekMessage(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE))
        EXPECT_EQ(msg.message, static_cast<UINT>(WM_KEYDOWN));
    ASSERT_TRUE(PeekMessage(&msg, top, WM_APP, WM_APP + 10, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_APP + 1);
    ASSERT_TRUE(PeekMessage(&msg, top, WM_APP, WM_APP + 10, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_APP + 2);
    EXPECT_FALSE(PeekMessage(&msg, top, WM_APP, WM_APP + 10, PM_REMOVE));
}

TEST_F(WindowTest, QuitComesAfterPostedMessagesAndEndsGetMessage)
{
    HWND top = Top();
    PostMessage(top, WM_APP, 0, 0);
    PostQuitMessage(7);
    MSG msg;
    std::vector<UINT> seen;
    while (GetMessage(&msg, nullptr, 0, 0))
    {
        seen.push_back(msg.message);
        DispatchMessage(&msg);
    }
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_NE(std::find(seen.begin(), seen.end(), WM_APP), seen.end());
}

TEST_F(WindowTest, CrossThreadSendRunsOnTheWindowsThread)
{
    HWND top = Top();
    const auto uiThread = std::this_thread::get_id();
    std::thread::id handledOn;
    recorder.handlers[WM_APP] = [&](HWND, WPARAM w, LPARAM) -> LRESULT
    {
        handledOn = std::this_thread::get_id();
        return static_cast<LRESULT>(w + 1);
    };
    std::atomic<LRESULT> result{0};
    std::atomic<bool> done{false};
    std::thread worker(
        [&]
        {
            result = SendMessage(top, WM_APP, 41, 0);
            done = true;
        });
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(result.load(), 42);
    EXPECT_EQ(handledOn, uiThread);
}

TEST_F(WindowTest, PostsFromManyThreadsKeepEachThreadsOrder)
{
    HWND top = Top();
    constexpr int threads = 4, each = 50;
    std::vector<std::vector<int>> received(threads);
    recorder.handlers[WM_APP] = [&](HWND, WPARAM w, LPARAM l) -> LRESULT
    {
        received[w].push_back(static_cast<int>(l));
        return 0;
    };
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back(
            [=]
            {
                for (int i = 0; i < each; ++i)
                    PostMessage(top, WM_APP, static_cast<WPARAM>(t), i);
            });
    for (auto& w : workers)
        w.join();
    ASSERT_TRUE(PumpUntil(
        [&]
        {
            for (auto& r : received)
                if (r.size() != each)
                    return false;
            return true;
        }));
    for (auto& r : received)
        for (int i = 0; i < each; ++i)
            EXPECT_EQ(r[static_cast<std::size_t>(i)], i);
}

TEST_F(WindowTest, SendPendingWhenTheWindowIsDestroyedReturnsZero)
{
    HWND top = Top();
    bool handled = false;
    recorder.handlers[WM_APP] = [&](HWND, WPARAM, LPARAM) -> LRESULT
    {
        handled = true;
        return 5;
    };
    std::atomic<bool> started{false}, done{false};
    std::atomic<LRESULT> result{-1};
    std::thread worker(
        [&]
        {
            started = true;
            result = SendMessage(top, WM_APP, 0, 0);
            done = true;
        });
    while (!started)
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // The window goes without its thread ever looking at the queue; the sender must not be left waiting.
    DestroyWindow(top);
    worker.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(result.load(), 0);
    EXPECT_FALSE(handled);
}

TEST_F(WindowTest, SendFromAThreadIsHandledInsideANestedLoop)
{
    HWND top = Top();
    bool inner = false;
    std::atomic<bool> workerDone{false};
    std::thread worker;
    recorder.handlers[WM_APP] = [&](HWND, WPARAM, LPARAM) -> LRESULT
    {
        worker = std::thread(
            [&]
            {
                SendMessage(top, WM_APP + 1, 0, 0);
                workerDone = true;
            });
        // A modal loop: it ends when the send from the worker has been handled inside it.
        MSG msg;
        while (!inner && GetMessage(&msg, nullptr, 0, 0))
        {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
        return 0;
    };
    recorder.handlers[WM_APP + 1] = [&](HWND, WPARAM, LPARAM) -> LRESULT
    {
        inner = true;
        PostMessage(top, WM_NULL, 0, 0);
        return 0;
    };
    PostMessage(top, WM_APP, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return workerDone.load(); }));
    worker.join();
    EXPECT_TRUE(inner);
}

TEST_F(WindowTest, CancelledSendReleasesAThreadTheWindowWaitsFor)
{
    HWND top = Top();
    platform::window::SendCanceller canceller;
    std::atomic<bool> ticking{true};
    std::atomic<int> ticks{0};
    recorder.handlers[WM_APP] = [&](HWND, WPARAM, LPARAM) -> LRESULT
    {
        ++ticks;
        return 0;
    };
    std::thread ticker(
        [&]
        {
            while (ticking)
                platform::window::SendMessageCancellable(top, WM_APP, 0, 0, canceller);
        });
    ASSERT_TRUE(PumpUntil([&] { return ticks.load() >= 3; }));
    // Stopping the thread from the window's own thread, without handling its pending send, must not hang.
    ticking = false;
    canceller.Cancel();
    ticker.join();
    SUCCEED();
}

TEST(WindowShutdownTest, ClosingReleasesSendersThatWouldWaitForever)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            HWND top = CreateWindowEx(0, RecordingClass(), "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                      nullptr, nullptr);
            std::atomic<LRESULT> result{-1};
            std::thread worker([&] { result = SendMessage(top, WM_APP, 0, 0); });
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            platform::window::BeginShutdown();
            worker.join();
            const bool later = SendMessage(top, WM_APP, 0, 0) == 0;
            std::exit(result.load() == 0 && later && IsWindow(top) ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(WindowTest, ExceptionsFromAWindowProcedureStopAtDispatch)
{
    HWND top = Top();
    recorder.handlers[WM_APP] = [](HWND, WPARAM, LPARAM) -> LRESULT
    { throw std::runtime_error("handler failed"); };
    EXPECT_EQ(SendMessage(top, WM_APP, 0, 0), 0);
    PostMessage(top, WM_APP, 0, 0);
    PostMessage(top, WM_APP + 1, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(top, WM_APP + 1) == 1; }));
    EXPECT_EQ(recorder.Count(top, WM_APP), 2);
    EXPECT_TRUE(IsWindow(top));
}

TEST_F(WindowTest, TimersTickUntilKilledAndDieWithTheirWindow)
{
    HWND top = Top();
    ASSERT_EQ(SetTimer(top, 5, 10, nullptr), 5u);
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(top, WM_TIMER) >= 3; }));
    for (const auto& r : recorder.log)
    {
        if (r.msg == WM_TIMER)
        {
            EXPECT_EQ(r.wParam, 5u);
        }
    }
    EXPECT_TRUE(KillTimer(top, 5));
    EXPECT_FALSE(KillTimer(top, 5));
    recorder.log.clear();
    platform::window::PumpPendingMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    platform::window::PumpPendingMessages();
    EXPECT_EQ(recorder.Count(top, WM_TIMER), 0);

    SetTimer(top, 6, 10, nullptr);
    DestroyWindow(top);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(platform::window::PumpPendingMessages(), 0);
}

// A handler slower than its messages come (a picture drawn per frame on a loaded machine) keeps the queue
// from ever running dry; each message here posts the next to the same effect.
TEST_F(WindowTest, AStreamOfPostedMessagesThatNeverRunsDryHoldsBackNeitherTimersNorTheWindowSystem)
{
    HWND top = Top();
    constexpr UINT kStream = WM_APP + 7;
    recorder.handlers[kStream] = [](HWND hwnd, WPARAM, LPARAM) -> LRESULT
    {
        PostMessage(hwnd, kStream, 0, 0);
        return 0;
    };
    PostMessage(top, kStream, 0, 0);
    ASSERT_EQ(SetTimer(top, 9, 10, nullptr), 9u);
    bool qtTimerFired = false;
    QTimer::singleShot(10, [&] { qtTimerFired = true; });
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while ((recorder.Count(top, WM_TIMER) == 0 || !qtTimerFired) && std::chrono::steady_clock::now() < end)
    {
        MSG msg;
        GetMessage(&msg, nullptr, 0, 0);
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    EXPECT_GE(recorder.Count(top, WM_TIMER), 1);
    EXPECT_TRUE(qtTimerFired);
    EXPECT_GT(recorder.Count(top, kStream), 1);
    // A loop that polls gets its turn back while the stream goes on.
    EXPECT_GT(platform::window::PumpPendingMessages(), 0);
    recorder.handlers.erase(kStream);
    KillTimer(top, 9);
}

namespace
{
std::vector<std::string> g_calls;
WNDPROC g_original = nullptr;
LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_APP)
    {
        g_calls.push_back("sub");
        return CallWindowProc(g_original, hwnd, msg, wParam, lParam) + 100;
    }
    return CallWindowProc(g_original, hwnd, msg, wParam, lParam);
}
} // namespace

TEST_F(WindowTest, SubclassingChainsToThePreviousProcedure)
{
    HWND top = Top();
    recorder.handlers[WM_APP] = [](HWND, WPARAM, LPARAM) -> LRESULT
    {
        g_calls.push_back("original");
        return 1;
    };
    g_calls.clear();
    g_original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtr(top, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc)));
    EXPECT_EQ(g_original, RecordingProc);
    EXPECT_EQ(SendMessage(top, WM_APP, 0, 0), 101);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"sub", "original"}));
    SetWindowLongPtr(top, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_original));
    EXPECT_EQ(SendMessage(top, WM_APP, 0, 0), 1);
}

TEST_F(WindowTest, DisablingBlocksInputButNeitherGreysNorDisablesChildrenOrOwnedWindows)
{
    HWND top = Top(100, 100, 200, 150);
    HWND child = Child(top, 1, 10, 10, 80, 40);
    HWND owned = Top(150, 150, 50, 50, WS_POPUP | WS_VISIBLE, 0, top);
    EnableWindow(top, FALSE);
    EXPECT_FALSE(IsWindowEnabled(top));
    EXPECT_TRUE(IsWindowEnabled(child));
    EXPECT_TRUE(IsWindowEnabled(owned));
    EXPECT_TRUE(platform::window::HostWidgetOf(child)->isEnabled());
    EXPECT_EQ(recorder.Count(top, WM_ENABLE), 1);

    Mouse(child, QEvent::MouseButtonPress, QPoint(5, 5));
    Mouse(owned, QEvent::MouseButtonPress, QPoint(5, 5));
    platform::window::PumpPendingMessages();
    EXPECT_EQ(recorder.Count(child, WM_LBUTTONDOWN), 0);
    EXPECT_EQ(recorder.Count(owned, WM_LBUTTONDOWN), 1);

    EnableWindow(top, TRUE);
    Mouse(child, QEvent::MouseButtonPress, QPoint(5, 5));
    platform::window::PumpPendingMessages();
    EXPECT_EQ(recorder.Count(child, WM_LBUTTONDOWN), 1);

    // A disabled child hands the click to its parent, in the parent's coordinates.
    EnableWindow(child, FALSE);
    recorder.log.clear();
    Mouse(child, QEvent::MouseButtonPress, QPoint(5, 5));
    platform::window::PumpPendingMessages();
    EXPECT_EQ(recorder.Count(child, WM_LBUTTONDOWN), 0);
    ASSERT_EQ(recorder.Count(top, WM_LBUTTONDOWN), 1);
    for (const auto& r : recorder.log)
    {
        if (r.msg == WM_LBUTTONDOWN)
        {
            EXPECT_EQ(GET_X_LPARAM(r.lParam), 15);
            EXPECT_EQ(GET_Y_LPARAM(r.lParam), 15);
        }
    }
}

class DoubleClickTest : public WindowFixture, public ::testing::WithParamInterface<bool>
{
};

TEST_P(DoubleClickTest, SecondClickIsADoubleClickOnlyForClassesThatAskForIt)
{
    const bool dbl = GetParam();
    HWND top = Top(100, 100, 200, 150, WS_POPUP | WS_VISIBLE, 0, nullptr, RecordingClass(dbl));
    Mouse(top, QEvent::MouseButtonPress, QPoint(20, 20));
    Mouse(top, QEvent::MouseButtonRelease, QPoint(20, 20));
    Mouse(top, QEvent::MouseButtonDblClick, QPoint(20, 20));
    Mouse(top, QEvent::MouseButtonRelease, QPoint(20, 20));
    platform::window::PumpPendingMessages();
    const UINT second = dbl ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN;
    EXPECT_EQ(recorder.Messages(top, {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK}),
              (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, second, WM_LBUTTONUP}));
}

INSTANTIATE_TEST_SUITE_P(Classes, DoubleClickTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "WithDblClks" : "Plain"; });

TEST_F(WindowTest, MouseLeaveComesWhenThePointerMovesToAnotherWindow)
{
    HWND top = Top(100, 100, 200, 150);
    HWND a = Child(top, 1, 0, 0, 50, 50);
    HWND b = Child(top, 2, 60, 0, 50, 50);
    recorder.handlers[WM_MOUSEMOVE] = [&](HWND hwnd, WPARAM, LPARAM) -> LRESULT
    {
        TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, hwnd, 0};
        TrackMouseEvent(&t);
        return 0;
    };
    Mouse(a, QEvent::MouseMove, QPoint(10, 10));
    platform::window::PumpPendingMessages();
    EXPECT_EQ(recorder.Count(a, WM_MOUSELEAVE), 0);
    Mouse(b, QEvent::MouseMove, QPoint(10, 10));
    platform::window::PumpPendingMessages();
    EXPECT_EQ(recorder.Count(a, WM_MOUSELEAVE), 1);
    EXPECT_EQ(recorder.Count(b, WM_MOUSEMOVE), 1);
    // Moving on inside the same window owes no leave.
    Mouse(b, QEvent::MouseMove, QPoint(12, 10));
    platform::window::PumpPendingMessages();
    EXPECT_EQ(recorder.Count(b, WM_MOUSELEAVE), 0);
}

TEST_F(WindowTest, MouseMovesAskForTheCursorFirst)
{
    HWND top = Top();
    Mouse(top, QEvent::MouseMove, QPoint(10, 10));
    platform::window::PumpPendingMessages();
    EXPECT_EQ(recorder.Messages(top, {WM_SETCURSOR, WM_MOUSEMOVE}),
              (std::vector<UINT>{WM_SETCURSOR, WM_MOUSEMOVE}));
}

TEST_F(WindowTest, CaptureSendsTheMouseToTheCapturingWindow)
{
    HWND top = Top(100, 100, 200, 150);
    HWND a = Child(top, 1, 0, 0, 50, 50);
    HWND b = Child(top, 2, 100, 0, 50, 50);
    SetCapture(a);
    EXPECT_EQ(GetCapture(), a);
    Mouse(b, QEvent::MouseMove, QPoint(5, 5));
    platform::window::PumpPendingMessages();
    EXPECT_EQ(recorder.Count(b, WM_MOUSEMOVE), 0);
    ASSERT_EQ(recorder.Count(a, WM_MOUSEMOVE), 1);
    for (const auto& r : recorder.log)
    {
        if (r.msg == WM_MOUSEMOVE)
        {
            EXPECT_EQ(GET_X_LPARAM(r.lParam), 105);
        }
    }
    ReleaseCapture();
    EXPECT_EQ(recorder.Count(a, WM_CAPTURECHANGED), 1);
    Mouse(b, QEvent::MouseMove, QPoint(5, 5));
    platform::window::PumpPendingMessages();
    EXPECT_EQ(recorder.Count(b, WM_MOUSEMOVE), 1);
}

TEST_F(WindowTest, KeysBecomeVirtualKeysAndTranslateToCharacters)
{
    HWND top = Top();
    HWND child = Child(top, 1, 0, 0, 50, 50);
    SetFocus(child);
    EXPECT_EQ(GetFocus(), child);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(platform::window::HostWidgetOf(child), &press);
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(platform::window::HostWidgetOf(child), &esc);
    platform::window::PumpPendingMessages();
    std::vector<std::pair<UINT, WPARAM>> keys;
    for (const auto& r : recorder.log)
        if (r.hwnd == child && (r.msg == WM_KEYDOWN || r.msg == WM_CHAR))
            keys.emplace_back(r.msg, r.wParam);
    EXPECT_EQ(keys, (std::vector<std::pair<UINT, WPARAM>>{
                        {WM_KEYDOWN, 'A'}, {WM_KEYDOWN, VK_ESCAPE}, {WM_CHAR, 'a'}}));
}

TEST_F(WindowTest, FocusMovesWithKillAndSetFocus)
{
    HWND top = Top();
    HWND a = Child(top, 1, 0, 0, 50, 50);
    HWND b = Child(top, 2, 60, 0, 50, 50);
    SetFocus(a);
    recorder.log.clear();
    EXPECT_EQ(SetFocus(b), a);
    ASSERT_EQ(recorder.log.size(), 2u);
    EXPECT_EQ(recorder.log[0].hwnd, a);
    EXPECT_EQ(recorder.log[0].msg, static_cast<UINT>(WM_KILLFOCUS));
    EXPECT_EQ(recorder.log[1].hwnd, b);
    EXPECT_EQ(recorder.log[1].msg, static_cast<UINT>(WM_SETFOCUS));
    EXPECT_EQ(reinterpret_cast<HWND>(recorder.log[1].wParam), a);
    DestroyWindow(b);
    EXPECT_EQ(GetFocus(), nullptr);
}

TEST_F(WindowTest, GeometryFollowsTheFrameAndTheParent)
{
    HWND top = Top(100, 50, 200, 150);
    HWND framed = Child(top, 1, 10, 20, 60, 40, WS_CHILD | WS_VISIBLE | WS_BORDER);
    RECT wr, cr;
    GetWindowRect(framed, &wr);
    GetClientRect(framed, &cr);
    EXPECT_EQ(wr.left, 110);
    EXPECT_EQ(wr.top, 70);
    EXPECT_EQ(wr.right - wr.left, 60);
    EXPECT_EQ(cr.right, 58);
    EXPECT_EQ(cr.bottom, 38);
    POINT p{0, 0};
    ClientToScreen(framed, &p);
    EXPECT_EQ(p.x, 111);
    EXPECT_EQ(p.y, 71);
    ScreenToClient(top, &p);
    EXPECT_EQ(p.x, 11);
    EXPECT_EQ(p.y, 21);

    recorder.log.clear();
    MoveWindow(framed, 30, 30, 80, 50, TRUE);
    GetClientRect(framed, &cr);
    EXPECT_EQ(cr.right, 78);
    EXPECT_EQ(recorder.Messages(framed, {WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}),
              (std::vector<UINT>{WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}));
    const QRect g = platform::window::HostWidgetOf(framed)->geometry();
    EXPECT_EQ(g, QRect(30, 30, 80, 50));
}

TEST_F(WindowTest, ChildOrderFollowsCreationAndSetWindowPos)
{
    HWND top = Top();
    HWND a = Child(top, 1, 0, 0, 10, 10);
    HWND b = Child(top, 2, 0, 0, 10, 10);
    HWND c = Child(top, 3, 0, 0, 10, 10);
    EXPECT_EQ(GetWindow(top, GW_CHILD), a);
    EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
    EXPECT_EQ(GetWindow(b, GW_HWNDNEXT), c);
    EXPECT_EQ(GetWindow(c, GW_HWNDNEXT), nullptr);
    EXPECT_EQ(GetDlgItem(top, 2), b);
    EXPECT_EQ(GetDlgCtrlID(c), 3);
    SetWindowPos(c, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(GetWindow(top, GW_CHILD), c);
    SetWindowPos(c, a, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), c);
}

TEST_F(WindowTest, TopMostAndOwnersKeepTheirPlaceInTheZOrder)
{
    HWND a = Top();
    HWND b = Top();
    HWND owned = Top(0, 0, 10, 10, WS_POPUP | WS_VISIBLE, 0, a);
    SetWindowPos(a, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_TRUE(GetWindowLongPtr(a, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(GetWindow(a, GW_OWNER), nullptr);
    EXPECT_EQ(GetWindow(owned, GW_OWNER), a);
    EXPECT_EQ(GetParent(owned), a);
    // The owned window rises with its owner; the other window stays below the top-most band.
    HWND first = GetTopWindow(nullptr);
    EXPECT_TRUE(first == owned || first == a);
    SetWindowPos(b, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_NE(GetTopWindow(nullptr), b);
    SetWindowPos(a, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_FALSE(GetWindowLongPtr(a, GWL_EXSTYLE) & WS_EX_TOPMOST);
    DestroyWindow(a);
    EXPECT_FALSE(IsWindow(owned));
}

TEST_F(WindowTest, TextGoesThroughTheWindowProcedure)
{
    HWND top = Top();
    EXPECT_TRUE(SetWindowText(top, "Grüße"));
    char buffer[5];
    EXPECT_EQ(GetWindowTextLength(top), 7);
    EXPECT_EQ(GetWindowText(top, buffer, 5), 4);
    EXPECT_STREQ(buffer, "Gr\xC3\xBC");
    // A short buffer gets whole characters only.
    EXPECT_EQ(GetWindowText(top, buffer, 4), 2);
    EXPECT_STREQ(buffer, "Gr");
    EXPECT_EQ(recorder.Count(top, WM_SETTEXT), 1);
}

TEST_F(WindowTest, PaintingDrawsIntoTheBackBufferTheWidgetShows)
{
    HWND top = Top(0, 0, 100, 80);
    HWND child = Child(top, 1, 10, 10, 40, 30);
    recorder.handlers[WM_PAINT] = [&](HWND hwnd, WPARAM, LPARAM) -> LRESULT
    {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT r{0, 0, 1000, 1000};
        HBRUSH brush = CreateSolidBrush(hwnd == child ? RGB(255, 0, 0) : RGB(0, 0, 255));
        FillRect(dc, &r, brush);
        DeleteObject(brush);
        EndPaint(hwnd, &ps);
        return 0;
    };
    ASSERT_TRUE(PumpUntil(
        [&] { return recorder.Count(child, WM_PAINT) >= 1 && recorder.Count(top, WM_PAINT) >= 1; }));
    EXPECT_GE(recorder.Count(top, WM_ERASEBKGND), 1);
    const QImage picture = platform::window::HostWidgetOf(top)->grab().toImage();
    EXPECT_EQ(Pixel(picture, 5, 5), RGB(0, 0, 255));
    EXPECT_EQ(Pixel(picture, 15, 15), RGB(255, 0, 0));
    EXPECT_EQ(Pixel(picture, 60, 60), RGB(0, 0, 255));

    // Nothing is repainted until asked; drawing outside a paint goes to the same buffer.
    recorder.log.clear();
    platform::window::PumpPendingMessages();
    EXPECT_EQ(recorder.Count(child, WM_PAINT), 0);
    HDC dc = GetDC(child);
    SetPixel(dc, 0, 0, RGB(0, 255, 0));
    ReleaseDC(child, dc);
    EXPECT_EQ(Pixel(platform::window::ClientImage(child), 0, 0), RGB(0, 255, 0));
    InvalidateRect(child, nullptr, TRUE);
    UpdateWindow(child);
    EXPECT_EQ(recorder.Count(child, WM_PAINT), 1);
    EXPECT_EQ(Pixel(platform::window::ClientImage(child), 0, 0), RGB(255, 0, 0));
}

TEST_F(WindowTest, AWindowNotOnScreenPaintsOnlyOnceShown)
{
    // A dialog sets its controls up while it is still hidden; a control that painted then would draw, and
    // may cache, its look before the set-up is done.
    HWND top = Top(0, 0, 100, 80, WS_POPUP);
    HWND child = Child(top, 1, 10, 10, 40, 30);
    platform::window::PumpPendingMessages();
    recorder.log.clear();
    for (HWND h : {child, top})
    {
        InvalidateRect(h, nullptr, TRUE);
        UpdateWindow(h);
        RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        EXPECT_EQ(recorder.Count(h, WM_PAINT), 0);
    }
    ShowWindow(top, SW_SHOW);
    ASSERT_TRUE(PumpUntil(
        [&] { return recorder.Count(child, WM_PAINT) >= 1 && recorder.Count(top, WM_PAINT) >= 1; }));
}

TEST_F(WindowTest, TransparentChildShowsItsParentWhereItDrawsNothing)
{
    HWND top = Top(0, 0, 100, 80);
    HWND label = Child(top, 1, 10, 10, 40, 30, WS_CHILD | WS_VISIBLE, WS_EX_TRANSPARENT);
    recorder.handlers[WM_ERASEBKGND] = [&](HWND hwnd, WPARAM w, LPARAM) -> LRESULT
    {
        if (hwnd == label)
            return 1;
        RECT r{0, 0, 100, 80};
        HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
        FillRect(reinterpret_cast<HDC>(w), &r, brush);
        DeleteObject(brush);
        return 1;
    };
    recorder.handlers[WM_PAINT] = [&](HWND hwnd, WPARAM, LPARAM) -> LRESULT
    {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (hwnd == label)
        {
            RECT r{0, 0, 5, 5};
            HBRUSH brush = CreateSolidBrush(RGB(255, 255, 0));
            FillRect(dc, &r, brush);
            DeleteObject(brush);
        }
        EndPaint(hwnd, &ps);
        return 0;
    };
    ASSERT_TRUE(PumpUntil(
        [&] { return recorder.Count(label, WM_PAINT) >= 1 && recorder.Count(top, WM_PAINT) >= 1; }));
    const QImage picture = platform::window::HostWidgetOf(top)->grab().toImage();
    EXPECT_EQ(Pixel(picture, 11, 11), RGB(255, 255, 0));
    EXPECT_EQ(Pixel(picture, 30, 30), RGB(0, 0, 255));
}

TEST_F(WindowTest, ShowAndHideTellTheWindowAndItsWidget)
{
    HWND top = Top(0, 0, 50, 50, WS_POPUP);
    EXPECT_FALSE(IsWindowVisible(top));
    EXPECT_FALSE(ShowWindow(top, SW_SHOW));
    EXPECT_TRUE(IsWindowVisible(top));
    EXPECT_TRUE(platform::window::HostWidgetOf(top)->isVisible());
    EXPECT_TRUE(ShowWindow(top, SW_HIDE));
    EXPECT_FALSE(platform::window::HostWidgetOf(top)->isVisible());
    EXPECT_EQ(recorder.Count(top, WM_SHOWWINDOW), 2);
    HWND child = Child(top, 1, 0, 0, 10, 10);
    EXPECT_FALSE(IsWindowVisible(child));
    EXPECT_TRUE(GetWindowLongPtr(child, GWL_STYLE) & WS_VISIBLE);
}

TEST_F(WindowTest, AStyleChangedWhileTheWindowIsCreatedKeepsItShown)
{
    HWND top = Top(0, 0, 100, 100);
    // As a control's creation adds styles of its own: the style read back then has no WS_VISIBLE yet.
    recorder.handlers[WM_CREATE] = [](HWND hwnd, WPARAM, LPARAM)
    {
        SetWindowLongPtr(hwnd, GWL_STYLE, GetWindowLongPtr(hwnd, GWL_STYLE) | 0x40);
        return LRESULT{0};
    };
    HWND child = Child(top, 1, 0, 0, 10, 10);
    recorder.handlers.erase(WM_CREATE);
    EXPECT_TRUE(IsWindowVisible(child));
    EXPECT_EQ(GetWindowLongPtr(child, GWL_STYLE) & (WS_VISIBLE | 0x40), WS_VISIBLE | 0x40);
}

TEST_F(WindowTest, AMoveByTheDesktopReachesTheWindow)
{
    HWND top = Top(10, 10, 50, 40);
    recorder.log.clear();
    // As a window manager would place the window.
    platform::window::HostWidgetOf(top)->move(300, 200);
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(top, WM_MOVE) > 0; }));
    RECT r;
    GetWindowRect(top, &r);
    EXPECT_EQ(r.left, 300);
    EXPECT_EQ(r.top, 200);
    EXPECT_EQ(r.right - r.left, 50);
}

TEST_F(WindowTest, MessageBoxAnswersFromItsHookAndTellsWhatItShows)
{
    HWND owner = Top();
    std::string seen;
    platform::window::SetMessageBoxHook(
        [&](HWND o, const char* text, const char* caption, UINT type)
        {
            seen = std::string(caption) + ": " + text + (o == owner ? " (owned)" : "");
            return (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
        });
    EXPECT_EQ(MessageBox(owner, "Create the folder?", "Brevicam", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(seen, "Brevicam: Create the folder? (owned)");
    platform::window::SetMessageBoxHook(nullptr);
}
