#include "brevicam/capture/CaptureController.h"
#include "brevicam/core/MyTimer.h"
#include "brevicam/core/Params.h"
#include "brevicam/ui/Anim.h"
#include "brevicam/ui/Border.h"
#include "brevicam/ui/Chrono.h"
#include "platform/dshow/VirtualCamera.h"
#include "platform/window/QtHost.h"
#include "platform/window/WinApp.h"
#include "resources/brevicam/resource.h"
#include "tests/capture/CaptureTestSupport.h"
#include "tests/controls/ControlsTestSupport.h"
#include "tests/support/GdiTestSupport.h"
#include "tests/support/TempDir.h"
#include "tests/ui_panel/PixelCount.h"

#include <QImage>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

using controls_test::Grab;
using controls_test::Pixel;
using controls_test::PumpUntil;
using ui_panel_test::CountNear;

namespace
{
constexpr COLORREF kChronoInk = RGB(0xDC, 0xDC, 0xDC);
constexpr COLORREF kSecondsInk = 0x0A0A28;
constexpr UINT WM_CAPTURE_TICK = WM_APP + 0x101;
constexpr UINT kTickMs = 250;

void SetMode(int mode, int nbSeconds = 5, int nbPictures = 10)
{
    CSingleLock lock(&g_params.m_cs, TRUE);
    g_params.m_CamMode = mode;
    g_params.m_NbSeconds = nbSeconds;
    g_params.m_NbPictures = nbPictures;
}

bool Shown(HWND hwnd)
{
    return (GetWindowLong(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

std::string TextOf(HWND hwnd)
{
    char text[64] = {};
    GetWindowText(hwnd, text, sizeof text);
    return text;
}

/// The pixels of a bitmap, read through a memory DC.
QImage PixelsOf(HBITMAP bitmap)
{
    BITMAP info{};
    if (!bitmap || !GetObject(bitmap, sizeof info, &info))
        return {};
    QImage image(info.bmWidth, std::abs(info.bmHeight), QImage::Format_RGB32);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
        {
            const COLORREF c = GetPixel(dc, x, y);
            image.setPixel(x, y, qRgb(GetRValue(c), GetGValue(c), GetBValue(c)));
        }
    SelectObject(dc, old);
    DeleteDC(dc);
    return image;
}

/// The phase bitmap `id` as the resources hold it.
QImage PhaseImage(UINT id)
{
    CBitmap bitmap;
    bitmap.LoadBitmap(id);
    return PixelsOf(bitmap);
}

/// A black window standing in for the capture panel, with the countdown, the elapsed-time label (styled
/// as the panel styles it) and the capture button's frame; a capture timer's tick advances the elapsed
/// time by 250 ms and feeds both controls, as the panel's tick does.
class PanelStandIn : public CWnd
{
public:
    PanelStandIn()
    {
        CreateEx(0, AfxRegisterWndClass(0, nullptr, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))),
                 "panel", WS_POPUP | WS_VISIBLE, 10, 10, 300, 200, nullptr, nullptr);
        anim.Create("", WS_CHILD | SS_BITMAP, CRect(10, 10, 30, 30), this, IDC_COUNTDOWN);
        chrono.Create("", WS_CHILD | WS_VISIBLE | SS_CENTER, CRect(40, 10, 140, 30), this, IDC_CHRONO);
        StyleClock(chrono);
        border.Create("", WS_CHILD | WS_VISIBLE | SS_BITMAP, CRect(150, 10, 210, 70), this,
                      IDC_CAPTURE_BORDER);
    }
    ~PanelStandIn() override { DestroyWindow(); }

    /// The elapsed-time label's look in the capture panel.
    static void StyleClock(CLabel& label)
    {
        label.SetFontName("Arial");
        label.SetFontSize(8);
        label.SetFontBold(TRUE);
        label.SetTextColor(kChronoInk, 255);
        label.SetTransparent(TRUE);
    }

    CAnim anim;
    CChrono chrono;
    CBorder border;
    UINT elapsedMs = 0;
    /// What the countdown showed after each tick: its seconds, or "" while hidden.
    std::vector<std::string> countdown;
    std::vector<bool> clockShown;

protected:
    afx_msg LRESULT OnTick(WPARAM, LPARAM)
    {
        elapsedMs += kTickMs;
        anim.Update(elapsedMs);
        chrono.Display(elapsedMs);
        HWND seconds = ::GetDlgItem(anim.GetSafeHwnd(), CAnim::kSecondsLabelId);
        countdown.push_back(Shown(anim.GetSafeHwnd()) && seconds ? TextOf(seconds) : "");
        clockShown.push_back(Shown(chrono.GetSafeHwnd()));
        return 0;
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(PanelStandIn, CWnd)
ON_MESSAGE(WM_CAPTURE_TICK, OnTick)
END_MESSAGE_MAP()

class CaptureClockTest : public testing::Test
{
protected:
    void SetUp() override
    {
        capture_testing::PrepareCaptureSettings(m_dir.Path());
        m_app.emplace("QPX_SE");
        m_app->SetRegistryKey("Tavisk");
        m_panel = std::make_unique<PanelStandIn>();
    }
    void TearDown() override
    {
        m_panel.reset();
        m_app.reset();
    }

    /// The elapsed-time label's text as painted: the label is compared with a label of the same look
    /// and size given the text, on the same black ground.
    bool ClockReads(const char* text)
    {
        CLabel reference;
        const CRect place(40, 40, 140, 60);
        reference.Create(text, WS_CHILD | WS_VISIBLE | SS_CENTER, place, m_panel.get(), 0xF00);
        PanelStandIn::StyleClock(reference);
        reference.SetText(text);
        Grab(m_panel->GetSafeHwnd());
        const QImage panel = platform::window::HostWidgetOf(m_panel->GetSafeHwnd())->grab().toImage();
        reference.DestroyWindow();
        const QImage painted = panel.copy(40, 10, 100, 20);
        return CountNear(painted, kChronoInk, 40) > 0 &&
               painted == panel.copy(place.left, place.top, 100, 20);
    }

    testing_support::TempDir m_dir;
    std::optional<CWinApp> m_app;
    std::unique_ptr<PanelStandIn> m_panel;
};

// The countdown ---------------------------------------------------------------------------------------------

struct CountdownCase
{
    const char* name;
    int mode;
    int nbSeconds;
    UINT elapsedMs;
    bool shown;
    /// The seconds shown; nullptr when the seconds label has no window.
    const char* seconds;
    /// The phase bitmap given to the static; 0 for none.
    UINT phase;
};

class CountdownTest : public CaptureClockTest, public testing::WithParamInterface<CountdownCase>
{
};

TEST_P(CountdownTest, ShowsTheSecondsLeftOverThePhaseOfTheSecond)
{
    const CountdownCase& c = GetParam();
    // The countdown of a burst is on the screen when the update comes.
    SetMode(1);
    m_panel->anim.Update(250);
    ASSERT_TRUE(Shown(m_panel->anim.GetSafeHwnd()));

    SetMode(c.mode, c.nbSeconds);
    m_panel->anim.Update(c.elapsedMs);
    HWND anim = m_panel->anim.GetSafeHwnd();
    EXPECT_EQ(Shown(anim), c.shown);
    HWND seconds = ::GetDlgItem(anim, CAnim::kSecondsLabelId);
    if (c.seconds)
    {
        ASSERT_NE(seconds, nullptr);
        EXPECT_EQ(TextOf(seconds), c.seconds);
    }
    else
    {
        EXPECT_EQ(seconds, nullptr);
    }
    const HBITMAP image = reinterpret_cast<HBITMAP>(m_panel->anim.SendMessage(STM_GETIMAGE, IMAGE_BITMAP, 0));
    if (c.phase)
        EXPECT_EQ(PixelsOf(image), PhaseImage(c.phase));
    else
        EXPECT_EQ(image, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    ByModeAndTime, CountdownTest,
    testing::Values(CountdownCase{"BurstBeforeTheSeries", 1, 5, 0, false, nullptr, IDB_COUNTDOWN_0},
                    CountdownCase{"BurstFirstTick", 1, 5, 250, true, "3", IDB_COUNTDOWN_250},
                    CountdownCase{"BurstOneSecond", 1, 5, 1000, true, "3", IDB_COUNTDOWN_0},
                    CountdownCase{"BurstSecondSecond", 1, 5, 1250, true, "2", IDB_COUNTDOWN_250},
                    CountdownCase{"BurstLastQuarter", 1, 5, 2750, true, "1", IDB_COUNTDOWN_750},
                    CountdownCase{"BurstCountdownOver", 1, 5, 3000, false, nullptr, IDB_COUNTDOWN_0},
                    CountdownCase{"BurstBetweenQuarters", 1, 5, 1100, true, "2", 0},
                    CountdownCase{"SelfTimerBeforeTheDelay", 2, 5, 0, false, nullptr, IDB_COUNTDOWN_0},
                    CountdownCase{"SelfTimerFirstTick", 2, 5, 250, true, "5", IDB_COUNTDOWN_250},
                    CountdownCase{"SelfTimerHalfway", 2, 5, 2500, true, "3", IDB_COUNTDOWN_500},
                    CountdownCase{"SelfTimerLastSecond", 2, 5, 4750, true, "1", IDB_COUNTDOWN_750},
                    CountdownCase{"PhotoModeHides", 0, 5, 250, false, nullptr, IDB_COUNTDOWN_250},
                    CountdownCase{"VideoModeHides", 3, 5, 250, false, nullptr, IDB_COUNTDOWN_250},
                    CountdownCase{"UnknownModeChangesNothing", 7, 5, 1250, true, "3", IDB_COUNTDOWN_250}),
    [](const testing::TestParamInfo<CountdownCase>& info) { return info.param.name; });

TEST_F(CaptureClockTest, TheSecondsStandOutInDarkInkOnTheCountdown)
{
    SetMode(2, 9);
    m_panel->anim.Update(250);
    const QImage countdown = Grab(m_panel->anim.GetSafeHwnd());
    ASSERT_EQ(countdown.size(), QSize(20, 20));
    // The digit's strokes in the label's ink, on the light face of the phase bitmap.
    EXPECT_GE(CountNear(countdown, kSecondsInk, 70), 6);
    EXPECT_GE(CountNear(countdown, RGB(0xE8, 0xEA, 0xF0), 12), 60);
}

TEST_F(CaptureClockTest, ACaptureTimerDrivesTheBurstCountdownAndHidesTheShotCountMeanwhile)
{
    SetMode(1);
    m_panel->anim.Update(0);
    m_panel->chrono.Display(0);
    EXPECT_TRUE(Shown(m_panel->chrono.GetSafeHwnd()));
    EXPECT_TRUE(ClockReads("10"));

    CMyTimer timer;
    timer.SetTarget(m_panel->GetSafeHwnd(), WM_CAPTURE_TICK);
    timer.SetInterval(kTickMs);
    timer.Start();
    ASSERT_TRUE(PumpUntil([&] { return m_panel->elapsedMs >= 3500; }, 60000));
    timer.Pause();
    timer.SetTarget(nullptr, 0);

    const std::vector<std::string> expected = {"3", "3", "3", "3", "2", "2", "2",
                                               "2", "1", "1", "1", "",  "",  ""};
    ASSERT_GE(m_panel->countdown.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(m_panel->countdown.begin(), m_panel->countdown.begin() + 14),
              expected);
    const std::vector<bool> clock = {false, false, false, false, false, false, false,
                                     false, false, false, false, true,  true,  true};
    EXPECT_EQ(std::vector<bool>(m_panel->clockShown.begin(), m_panel->clockShown.begin() + 14), clock);
    // No controller: no frame counts as taken.
    EXPECT_TRUE(ClockReads("10"));
}

// The elapsed-time label ------------------------------------------------------------------------------------

struct ClockCase
{
    const char* name;
    int mode;
    UINT elapsedMs;
    bool shown;
    const char* text;
};

class ClockTest : public CaptureClockTest, public testing::WithParamInterface<ClockCase>
{
};

TEST_P(ClockTest, ShowsTheShotsOrTheTimeOfTheMode)
{
    const ClockCase& c = GetParam();
    // A recording of five seconds is on the label when the call comes.
    SetMode(3);
    m_panel->chrono.Display(5000);
    SetMode(c.mode);
    m_panel->chrono.Display(c.elapsedMs);
    EXPECT_EQ(Shown(m_panel->chrono.GetSafeHwnd()), c.shown);
    if (c.shown)
        EXPECT_TRUE(ClockReads(c.text)) << c.text;
    else
    {
        m_panel->chrono.ShowWindow(SW_SHOW);
        EXPECT_TRUE(ClockReads(c.text)) << "the text stays " << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    ByMode, ClockTest,
    testing::Values(ClockCase{"RecordingStarts", 3, 0, true, "00:00:00"},
                    ClockCase{"JustBelowASecond", 3, 999, true, "00:00:00"},
                    ClockCase{"OneHourTwoMinutesThreeSeconds", 3, 3723000, true, "01:02:03"},
                    ClockCase{"HundredHoursWidenTheHours", 3, 360000000, true, "100:00:00"},
                    ClockCase{"BurstBeforeTheSeries", 1, 0, true, "10"},
                    ClockCase{"BurstCountdownHides", 1, 1, false, "00:00:05"},
                    ClockCase{"BurstLastCountdownTick", 1, 2999, false, "00:00:05"},
                    ClockCase{"BurstAfterTheCountdown", 1, 3000, true, "10"},
                    ClockCase{"PhotoModeHides", 0, 250, false, "00:00:05"},
                    ClockCase{"SelfTimerHides", 2, 250, false, "00:00:05"},
                    ClockCase{"UnknownModeChangesNothing", 9, 250, true, "00:00:05"}),
    [](const testing::TestParamInfo<ClockCase>& info) { return info.param.name; });

TEST_F(CaptureClockTest, TheShotCountFollowsTheFramesOfTheRunningBurst)
{
    capture_testing::VideoWindows windows;
    auto camera = platform::VirtualCamera::Create({});
    CCaptureController controller;
    controller.m_graph.DetectWebcamModel();
    controller.StartPreview();
    controller.SetMainWindow(windows.Surface());
    ASSERT_EQ(controller.m_pVideoState->GetState(), VS_RUNNING);
    SetMode(1, 5, 10);
    m_panel->chrono.SetController(&controller);

    // The series takes its frames from the renderer's picture.
    ASSERT_TRUE(PumpUntil(
        [&]
        {
            CWindowlessRenderer* renderer = controller.m_graph.GetRenderer();
            if (!renderer || !renderer->GetCurrentImage())
                return false;
            renderer->FreeCurrentImage();
            return true;
        },
        30000));

    m_panel->chrono.Display(0);
    EXPECT_TRUE(ClockReads("10"));
    controller.Shoot();
    ASSERT_TRUE(controller.IsBurstRunning());
    m_panel->chrono.Display(1000);
    EXPECT_FALSE(Shown(m_panel->chrono.GetSafeHwnd()));
    UINT elapsed = 3000;
    for (int taken = 1; taken <= 3; ++taken)
    {
        ASSERT_TRUE(controller.OnBurstTimer());
        ASSERT_EQ(controller.GetBurstImageCount(), taken);
        m_panel->chrono.Display(elapsed += kTickMs);
        EXPECT_TRUE(Shown(m_panel->chrono.GetSafeHwnd()));
        EXPECT_TRUE(ClockReads(std::to_string(10 - taken).c_str())) << taken << " taken";
    }
    m_panel->chrono.SetController(nullptr);
    controller.StopPreview();
}

} // namespace
