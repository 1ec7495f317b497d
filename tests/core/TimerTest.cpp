#include "brevicam/core/GITimer.h"
#include "brevicam/core/MyTimer.h"
#include "platform/window/Extras.h"
#include "platform/window/WinUser.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <random>
#include <thread>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr UINT kTick = WM_APP + 0x105;

// A window that hands each tick message to the test.
struct TickWindow
{
    TickWindow()
    {
        static const bool registered = []
        {
            WNDCLASSEX wc{};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = &TickWindow::Proc;
            wc.lpszClassName = "CoreTickWindow";
            return RegisterClassEx(&wc) != 0;
        }();
        EXPECT_TRUE(registered);
        hwnd = CreateWindowEx(0, "CoreTickWindow", "ticks", WS_POPUP, 0, 0, 20, 20, nullptr, nullptr, nullptr,
                              nullptr);
        SetWindowLongPtr(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~TickWindow()
    {
        SetWindowLongPtr(hwnd, GWLP_USERDATA, 0);
        DestroyWindow(hwnd);
        platform::window::PumpPendingMessages();
    }
    TickWindow(const TickWindow&) = delete;
    TickWindow& operator=(const TickWindow&) = delete;

    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<TickWindow*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
        if (self && msg == kTick)
        {
            ++self->ticks;
            self->tickThreads.push_back(std::this_thread::get_id());
            if (self->onTick)
                self->onTick();
            return 0;
        }
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }

    HWND hwnd = nullptr;
    std::atomic<int> ticks{0};
    std::vector<std::thread::id> tickThreads;
    std::function<void()> onTick;
};

// Handles the test thread's messages until `done` holds; false when the safety limit passed first.
bool PumpUntil(const std::function<bool()>& done, milliseconds limit = milliseconds(10000))
{
    const auto end = Clock::now() + limit;
    while (!done())
    {
        if (Clock::now() > end)
            return false;
        if (platform::window::PumpPendingMessages() == 0)
            std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
}

void PumpFor(milliseconds span)
{
    PumpUntil([] { return false; }, span);
}

std::size_t ThreadCount()
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ++n;
    return n;
}

// A timer of the base class whose tick takes a while, as a slow handler would.
struct SlowTimer : CGITimer
{
    explicit SlowTimer(std::atomic<int>& ticks) : ticks(ticks) {}
    ~SlowTimer() override { StopThread(); }
    void OnTimer() override
    {
        ++ticks;
        std::this_thread::sleep_for(milliseconds(2));
    }
    std::atomic<int>& ticks;
};
} // namespace

TEST(MyTimerTest, TicksAreHandledOnTheWindowsThreadOneAfterAnother)
{
    TickWindow window;
    CMyTimer timer;
    timer.SetTarget(window.hwnd, kTick);
    constexpr auto interval = milliseconds(5);
    timer.SetInterval(static_cast<DWORD>(interval.count()));

    Clock::time_point lastReturn{};
    std::vector<milliseconds::rep> gaps;
    bool inside = false;
    bool overlapped = false;
    window.onTick = [&]
    {
        const auto now = Clock::now();
        overlapped |= inside;
        if (lastReturn != Clock::time_point{})
            gaps.push_back(std::chrono::duration_cast<std::chrono::microseconds>(now - lastReturn).count());
        inside = true;
        // The timer thread waits for this handler; the next interval only starts once it returns.
        std::this_thread::sleep_for(milliseconds(15));
        inside = false;
        lastReturn = Clock::now();
    };
    timer.Start();
    ASSERT_TRUE(PumpUntil([&] { return window.ticks >= 5; }));
    timer.Pause();

    EXPECT_FALSE(overlapped);
    for (const auto& thread : window.tickThreads)
        EXPECT_EQ(thread, std::this_thread::get_id());
    for (auto gapUs : gaps)
        EXPECT_GE(gapUs, std::chrono::microseconds(interval).count() - 1000);
}

TEST(MyTimerTest, NeverTicksWithoutAnInterval)
{
    TickWindow window;
    auto timer = std::make_unique<CMyTimer>();
    timer->SetTarget(window.hwnd, kTick);
    timer->Start();
    PumpFor(milliseconds(150));
    timer.reset();
    EXPECT_EQ(window.ticks, 0);
}

TEST(MyTimerTest, PauseStopsTheTicksAndStartResumesOneFullIntervalLater)
{
    TickWindow window;
    CMyTimer timer;
    timer.SetTarget(window.hwnd, kTick);
    constexpr auto interval = milliseconds(60);
    timer.SetInterval(static_cast<DWORD>(interval.count()));
    timer.Start();
    ASSERT_TRUE(PumpUntil([&] { return window.ticks >= 2; }));

    timer.Pause();
    const int atPause = window.ticks;
    PumpFor(interval * 4);
    // A tick already handed to the window when Pause came may still arrive; no other.
    EXPECT_LE(window.ticks, atPause + 1);

    const int beforeStart = window.ticks;
    const auto started = Clock::now();
    timer.Start();
    ASSERT_TRUE(PumpUntil([&] { return window.ticks > beforeStart; }));
    EXPECT_GE(Clock::now() - started, interval - milliseconds(1));
    ASSERT_TRUE(PumpUntil([&] { return window.ticks > beforeStart + 2; }));
}

TEST(MyTimerTest, NewIntervalTakesEffectFromTheNextWait)
{
    TickWindow window;
    CMyTimer timer;
    timer.SetTarget(window.hwnd, kTick);
    timer.SetInterval(5);
    constexpr auto longer = milliseconds(250);
    Clock::time_point changedAt{};
    Clock::time_point secondTick{};
    window.onTick = [&]
    {
        if (window.ticks == 1)
        {
            timer.SetInterval(static_cast<DWORD>(longer.count()));
            changedAt = Clock::now();
        }
        else if (window.ticks == 2)
        {
            secondTick = Clock::now();
            timer.SetInterval(5);
        }
    };
    timer.Start();
    ASSERT_TRUE(PumpUntil([&] { return window.ticks >= 4; }));
    EXPECT_GE(secondTick - changedAt, longer - milliseconds(1));
}

TEST(MyTimerTest, TimerWithoutTargetTicksIntoNothingAndEndsItsThread)
{
    const std::size_t before = ThreadCount();
    {
        CMyTimer running;
        running.SetInterval(1);
        running.Start();
        CMyTimer paused;
        paused.SetInterval(1);
        paused.Start();
        std::this_thread::sleep_for(milliseconds(20));
        paused.Pause();
        CMyTimer neverStarted;
        std::this_thread::sleep_for(milliseconds(5));
    }
    // The destructors waited for their threads; the system may take a moment to reap them.
    const auto end = Clock::now() + std::chrono::seconds(5);
    while (ThreadCount() > before && Clock::now() < end)
        std::this_thread::sleep_for(milliseconds(5));
    EXPECT_LE(ThreadCount(), before);
}

enum class Destroyer
{
    OwnTickHandler,      // the window's handler of a tick destroys the timer that sent it
    WindowThreadBlocked, // the window's thread destroys it while a tick waits for that thread
    OtherThread,         // another thread destroys it while the window's thread handles ticks
};

const char* Name(Destroyer destroyer)
{
    switch (destroyer)
    {
    case Destroyer::OwnTickHandler:
        return "OwnTickHandler";
    case Destroyer::WindowThreadBlocked:
        return "WindowThreadBlocked";
    case Destroyer::OtherThread:
        return "OtherThread";
    }
    return "Unknown";
}

void PrintTo(Destroyer destroyer, std::ostream* os)
{
    *os << Name(destroyer);
}

class MyTimerDestructionTest : public testing::TestWithParam<Destroyer>
{
};

// Repeated with random timing, so that the destruction falls before, during and after the sends.
TEST_P(MyTimerDestructionTest, DestroyedMidTickNeitherHangsNorDeliversLater)
{
    TickWindow window;
    std::mt19937 random(1234);
    for (int round = 0; round < 40; ++round)
    {
        auto* timer = new CMyTimer();
        timer->SetTarget(window.hwnd, kTick);
        timer->SetInterval(1);
        const int before = window.ticks;
        std::atomic<bool> destroyed{false};
        switch (GetParam())
        {
        case Destroyer::OwnTickHandler:
            window.onTick = [&]
            {
                delete timer;
                timer = nullptr;
                destroyed = true;
            };
            timer->Start();
            ASSERT_TRUE(PumpUntil([&] { return destroyed.load(); }));
            window.onTick = nullptr;
            break;
        case Destroyer::WindowThreadBlocked:
            timer->Start();
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
            delete timer;
            destroyed = true;
            // Nothing was pumped: no tick can have been handled.
            EXPECT_EQ(window.ticks, before);
            break;
        case Destroyer::OtherThread:
        {
            timer->Start();
            const auto wait = std::chrono::microseconds(random() % 8000);
            std::thread killer(
                [&, wait]
                {
                    std::this_thread::sleep_for(wait);
                    delete timer;
                    destroyed = true;
                });
            ASSERT_TRUE(PumpUntil([&] { return destroyed.load(); }));
            killer.join();
            break;
        }
        }
        const int atDestruction = window.ticks;
        PumpFor(milliseconds(5));
        EXPECT_EQ(window.ticks, atDestruction) << "a tick arrived after its timer was destroyed";
    }
}

INSTANTIATE_TEST_SUITE_P(Destroyers, MyTimerDestructionTest,
                         testing::Values(Destroyer::OwnTickHandler, Destroyer::WindowThreadBlocked,
                                         Destroyer::OtherThread),
                         [](const testing::TestParamInfo<Destroyer>& info) { return Name(info.param); });

TEST(GITimerTest, DerivedTimerDestroyedMidTickNeverTicksAgain)
{
    std::mt19937 random(99);
    for (int round = 0; round < 50; ++round)
    {
        std::atomic<int> ticks{0};
        {
            SlowTimer timer(ticks);
            timer.SetInterval(1);
            timer.Start();
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 6000));
        }
        const int atDestruction = ticks;
        std::this_thread::sleep_for(milliseconds(3));
        EXPECT_EQ(ticks, atDestruction);
    }
}
