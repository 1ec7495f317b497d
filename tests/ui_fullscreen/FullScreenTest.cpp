#include "brevicam/capture/CaptureController.h"
#include "brevicam/core/Observer.h"
#include "brevicam/core/Params.h"
#include "brevicam/media/GIFConversionTask.h"
#include "brevicam/ui/BrevicamDlg.h"
#include "platform/dshow/VirtualCamera.h"
#include "platform/window/QtHost.h"
#include "platform/window/WinApp.h"
#include "platform/zorneth/Zorneth.h"
#include "resources/brevicam/resource.h"
#include "tests/capture/CaptureTestSupport.h"
#include "tests/controls/ControlsTestSupport.h"
#include "tests/media/WindowFinder.h"
#include "tests/support/GdiTestSupport.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

using capture_testing::PrepareCaptureSettings;
using platform::VirtualCamera;

namespace
{
namespace fs = std::filesystem;

/// Bound on waits for something that must come; it only matters when it never does.
constexpr int kEventLimitMs = 60000;

/// Handles messages as the program's loop does (the windows' key handling first) until `done` holds;
/// false when it never held within the bound.
bool Pump(const std::function<bool()>& done, int limitMs = kEventLimitMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done())
    {
        if (std::chrono::steady_clock::now() > end)
            return false;
        MSG msg;
        if (!::PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        if (!AfxPreTranslateMessage(&msg))
        {
            ::TranslateMessage(&msg);
            ::DispatchMessage(&msg);
        }
    }
    return true;
}

/// Handles what is queued now and what it posts in turn.
void Settle()
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    Pump([&] { return std::chrono::steady_clock::now() > until; });
}

/// A key typed while `focus` has the keyboard focus, as the keyboard delivers it.
void TypeKey(HWND focus, Qt::Key key)
{
    ::SetFocus(focus);
    QWidget* widget = platform::window::HostWidgetOf(focus);
    ASSERT_NE(widget, nullptr);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

/// A left click at client point `p`, as the mouse delivers it; what it posts waits for the caller's loop.
void Click(HWND hwnd, QPoint p)
{
    QWidget* widget = platform::window::HostWidgetOf(hwnd);
    ASSERT_NE(widget, nullptr);
    POINT screen{p.x(), p.y()};
    ::ClientToScreen(hwnd, &screen);
    RECT window;
    ::GetWindowRect(hwnd, &window);
    const QPointF local(screen.x - window.left, screen.y - window.top);
    const QPointF global(screen.x, screen.y);
    QMouseEvent move(QEvent::MouseMove, local, global, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

CRect WindowRect(HWND hwnd)
{
    CRect rect;
    ::GetWindowRect(hwnd, &rect);
    return rect;
}

bool Shown(HWND hwnd)
{
    return hwnd && ::IsWindow(hwnd) && ::IsWindowVisible(hwnd);
}

/// The place of a top-level window in the stacking order, front first; -1 when it is not top-level.
int StackIndex(HWND hwnd)
{
    int index = 0;
    for (HWND h = ::GetTopWindow(nullptr); h; h = ::GetWindow(h, GW_HWNDNEXT), ++index)
        if (h == hwnd)
            return index;
    return -1;
}

/// Remembers, for each video state the controller announces, where the live picture was at that moment
/// (notified after the main window, which attached first).
class PlaceAtVideoState : public CObserver
{
public:
    PlaceAtVideoState(CCaptureController& controller, HWND main, HWND surface)
        : m_controller(controller), m_main(main), m_surface(surface)
    {
        m_controller.m_pVideoState->Attach(this);
    }
    ~PlaceAtVideoState() override { m_controller.m_pVideoState->Detach(this); }
    void Update(CSubject*) override
    {
        if (m_controller.m_pVideoState->GetState() == VS_LOST)
            homeAtLost = ::GetParent(m_surface) == m_main;
    }
    std::optional<bool> homeAtLost;

private:
    CCaptureController& m_controller;
    HWND m_main;
    HWND m_surface;
};

class FullScreenTest : public testing::Test
{
protected:
    void SetUp() override
    {
        const capture_testing::CaptureFolders folders = PrepareCaptureSettings(m_dir.Path());
        m_photos = folders.photos;
        m_videos = folders.videos;
        m_app.emplace("QPX_SE");
        m_app->SetRegistryKey("Tavisk");
        setenv("XDG_RUNTIME_DIR", (m_dir.Path() / "run").c_str(), 1);
        fs::create_directories(m_dir.Path() / "run");
        fs::permissions(m_dir.Path() / "run", fs::perms::owner_all);
        {
            CSingleLock lock(&g_params.m_cs, TRUE);
            g_params.m_UpdateAtStart = 0;
            g_params.m_ResWarning = 0;
            g_params.m_BMResWarning = 0;
            g_params.m_NbSeconds = 1;
        }
        CGIFConversionTask::SetFileOpener([](const CString&) {});
        m_camera = VirtualCamera::Create({});
        m_controller = std::make_unique<CCaptureController>();
        m_controller->m_graph.DetectWebcamModel();
        m_dlg = std::make_unique<CBrevicamDlg>(m_controller.get());
        ASSERT_TRUE(m_dlg->Create(CBrevicamDlg::IDD, nullptr));
        m_app->m_pMainWnd = m_dlg.get();
        m_dlg->ShowWindow(SW_SHOW);
        Settle();
        ASSERT_EQ(m_controller->m_pVideoState->GetState(), VS_RUNNING);
        m_surface = ::GetDlgItem(Main(), IDC_LIVE_VIDEO);
        ASSERT_NE(m_surface, nullptr);
    }

    void TearDown() override
    {
        if (m_app)
            m_app->m_pMainWnd = nullptr;
        m_dlg.reset();
        if (m_controller)
        {
            m_controller->StopPreview();
            m_controller.reset();
        }
        g_params.SetMainWnd(nullptr);
        platform::zorneth::ClearScriptedAnswers();
        CGIFConversionTask::SetFileOpener(nullptr);
        m_camera.reset();
        m_app.reset();
    }

    HWND Main() const { return m_dlg->GetHwnd(); }
    HWND Host() const { return ::GetParent(m_surface); }
    HWND Small() const { return m_dlg->m_smallDlg.GetSafeHwnd(); }
    HWND Exit() const { return m_dlg->m_exitDlg.GetSafeHwnd(); }
    bool InFullScreen() const { return ::GetParent(m_surface) != Main(); }

    void SetMode(int mode)
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_CamMode = mode;
    }

    /// F11 typed over the main window, and full screen waited for.
    void Enter()
    {
        TypeKey(Main(), Qt::Key_F11);
        ASSERT_TRUE(Pump([&] { return InFullScreen() && Shown(Small()) && Shown(Exit()); }))
            << "full screen never came";
    }

    /// F11 typed over the host, and the main window waited for.
    void Leave()
    {
        TypeKey(Host(), Qt::Key_F11);
        ASSERT_TRUE(Pump([&] { return !InFullScreen() && !Small(); })) << "full screen never ended";
    }

    /// A click on the compact window's capture button, once the button takes clicks (while a recording
    /// starts it waits for the graph's device check).
    void ClickCapture()
    {
        const HWND button = ::GetDlgItem(Small(), IDC_SMALL_CAPTURE);
        ASSERT_TRUE(Pump([&] { return ::IsWindowEnabled(button) != FALSE; }))
            << "the capture button stayed off";
        Click(button, QPoint(28, 28));
    }

    std::set<std::string> FilesIn(const fs::path& folder) const
    {
        std::set<std::string> names;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(folder, error))
            if (entry.is_regular_file(error) && entry.file_size(error) > 0)
                names.insert(entry.path().string());
        return names;
    }

    static std::set<std::string> LastFiles()
    {
        std::set<std::string> names;
        for (const CString& file : g_params.GetLastFiles())
            names.insert(file.Str());
        return names;
    }

    /// The part of the picture that is not black, in each quarter of the screen.
    static bool PictureInEveryQuarter(const QImage& screen)
    {
        for (int qy = 0; qy < 2; ++qy)
            for (int qx = 0; qx < 2; ++qx)
            {
                std::set<QRgb> colours;
                for (int y = qy * screen.height() / 2 + 8; y < (qy + 1) * screen.height() / 2; y += 16)
                    for (int x = qx * screen.width() / 2 + 8; x < (qx + 1) * screen.width() / 2; x += 16)
                        colours.insert(screen.pixel(x, y) & 0xFFFFFF);
                colours.erase(0);
                if (colours.size() < 2)
                    return false;
            }
        return true;
    }

    testing_support::TempDir m_dir;
    fs::path m_photos;
    fs::path m_videos;
    std::optional<CWinApp> m_app;
    std::shared_ptr<VirtualCamera> m_camera;
    std::unique_ptr<CCaptureController> m_controller;
    std::unique_ptr<CBrevicamDlg> m_dlg;
    HWND m_surface = nullptr;
};

// Entering ----------------------------------------------------------------------------------------------

struct EntryCase
{
    const char* name;
    std::function<void(HWND main)> enter;
};

class FullScreenEntryTest : public FullScreenTest, public testing::WithParamInterface<EntryCase>
{
};

TEST_P(FullScreenEntryTest, HostTakesTheScreenWithTheLivePictureFillingIt)
{
    GetParam().enter(Main());
    ASSERT_TRUE(Pump([&] { return InFullScreen() && Shown(Small()) && Shown(Exit()); }));
    EXPECT_TRUE(m_dlg->m_bFullScreen);

    const CRect screen(0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
    const HWND host = Host();
    EXPECT_EQ(WindowRect(host), screen);
    EXPECT_EQ(WindowRect(m_surface), screen);
    EXPECT_NE(::GetWindowLong(host, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_FALSE(::IsWindowVisible(Main()));
    EXPECT_EQ(g_params.GetFullscreenWnd(), m_surface);
    EXPECT_TRUE(g_params.IsFullScreen());

    // The compact window sits at the lower right, the exit window at the upper left, both in front of
    // the host so that the picture never covers them.
    const CRect small = WindowRect(Small());
    EXPECT_EQ(small.right, screen.right);
    EXPECT_EQ(small.bottom, screen.bottom);
    EXPECT_EQ(WindowRect(Exit()).TopLeft(), CPoint(5, 5));
    EXPECT_LT(StackIndex(Small()), StackIndex(host));
    EXPECT_LT(StackIndex(Exit()), StackIndex(host));

    // What the screen shows: the camera's picture over all of it.
    const bool picture = Pump(
        [&]
        {
            const QImage grabbed = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
            return grabbed.size() == QSize(screen.Width(), screen.Height()) && PictureInEveryQuarter(grabbed);
        });
    EXPECT_TRUE(picture) << "the live picture did not fill the screen";
}

INSTANTIATE_TEST_SUITE_P(
    Ways, FullScreenEntryTest,
    testing::Values(EntryCase{"F11", [](HWND main) { TypeKey(main, Qt::Key_F11); }},
                    EntryCase{"Button",
                              [](HWND main) { Click(::GetDlgItem(main, IDC_FULLSCREEN), QPoint(16, 16)); }}),
    [](const testing::TestParamInfo<EntryCase>& info) { return std::string(info.param.name); });

TEST_F(FullScreenTest, EnteringWithAnUnpluggedCameraDoesNothingAndKeepsTheFlagClear)
{
    m_camera->Unplug();
    ASSERT_TRUE(Pump([&] { return m_controller->m_pVideoState->GetState() == VS_LOST; }));
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        // Each F11 tries again: the refused one left the flag clear.
        TypeKey(Main(), Qt::Key_F11);
        Settle();
        EXPECT_FALSE(m_dlg->m_bFullScreen);
        EXPECT_FALSE(InFullScreen());
        EXPECT_EQ(Small(), nullptr);
        EXPECT_EQ(g_params.GetFullscreenWnd(), nullptr);
        EXPECT_TRUE(::IsWindowVisible(Main()));
    }
    ::SendMessage(Main(), WM_COMMAND, MAKEWPARAM(IDC_FULLSCREEN, BN_CLICKED), 0);
    Settle();
    EXPECT_FALSE(m_dlg->m_bFullScreen);
    EXPECT_FALSE(InFullScreen());
}

// Leaving -----------------------------------------------------------------------------------------------

struct ExitCase
{
    const char* name;
    std::function<void(FullScreenTest&, HWND host, HWND exit, HWND small)> leave;
};

class FullScreenExitTest : public FullScreenTest, public testing::WithParamInterface<ExitCase>
{
};

TEST_P(FullScreenExitTest, MainWindowComesBackWithThePictureInItsPlace)
{
    const CRect mainPlace = WindowRect(Main());
    Enter();
    const HWND host = Host();
    GetParam().leave(*this, host, Exit(), Small());
    ASSERT_TRUE(Pump([&] { return !InFullScreen(); })) << "full screen never ended";
    Settle();

    EXPECT_FALSE(m_dlg->m_bFullScreen);
    EXPECT_TRUE(::IsWindowVisible(Main()));
    EXPECT_EQ(WindowRect(Main()), mainPlace) << "the main window came back elsewhere";
    EXPECT_FALSE(::IsIconic(Main()));
    EXPECT_FALSE(::IsWindowVisible(host)) << "the host stays, hidden";
    EXPECT_TRUE(::IsWindow(host));
    EXPECT_EQ(Small(), nullptr);
    EXPECT_EQ(Exit(), nullptr);
    EXPECT_EQ(g_params.GetFullscreenWnd(), nullptr);
    EXPECT_FALSE(g_params.IsFullScreen());
    CRect place = WindowRect(m_surface);
    ::MapWindowPoints(nullptr, Main(), reinterpret_cast<POINT*>(&place), 2);
    EXPECT_EQ(place, CRect(CBrevicamDlg::kVideoLeft, CBrevicamDlg::kVideoTop,
                           CBrevicamDlg::kVideoLeft + CBrevicamDlg::kVideoWidth,
                           CBrevicamDlg::kVideoTop + CBrevicamDlg::kVideoHeight));
    const bool picture = Pump(
        [&]
        {
            const QImage image = platform::window::ClientImage(m_surface);
            return image.size() == QSize(CBrevicamDlg::kVideoWidth, CBrevicamDlg::kVideoHeight) &&
                   PictureInEveryQuarter(image);
        });
    EXPECT_TRUE(picture) << "the picture did not come back to its place";

    // The way back in still works.
    Enter();
    EXPECT_TRUE(InFullScreen());
}

INSTANTIATE_TEST_SUITE_P(
    Ways, FullScreenExitTest,
    testing::Values(ExitCase{"EscapeOverTheCompactWindow",
                             [](FullScreenTest&, HWND, HWND, HWND small) { TypeKey(small, Qt::Key_Escape); }},
                    ExitCase{"ExitButton", [](FullScreenTest&, HWND, HWND exit, HWND)
                             { Click(::GetDlgItem(exit, IDC_EXIT_FULLSCREEN), QPoint(25, 25)); }},
                    ExitCase{"F11OverTheExitWindow",
                             [](FullScreenTest&, HWND, HWND exit, HWND) { TypeKey(exit, Qt::Key_F11); }},
                    ExitCase{"F11OverTheHost",
                             [](FullScreenTest&, HWND host, HWND, HWND) { TypeKey(host, Qt::Key_F11); }},
                    ExitCase{"EscapeOverTheHost",
                             [](FullScreenTest&, HWND host, HWND, HWND) { TypeKey(host, Qt::Key_Escape); }},
                    ExitCase{"F11OverTheCompactWindow",
                             [](FullScreenTest&, HWND, HWND, HWND small) { TypeKey(small, Qt::Key_F11); }}),
    [](const testing::TestParamInfo<ExitCase>& info) { return std::string(info.param.name); });

TEST_F(FullScreenTest, LostCameraLeavesFullScreenBeforeItsMessageShows)
{
    Enter();
    PlaceAtVideoState probe(*m_controller, Main(), m_surface);
    m_camera->Unplug();
    ASSERT_TRUE(Pump([&] { return probe.homeAtLost.has_value(); }));
    EXPECT_TRUE(*probe.homeAtLost) << "the lost camera's message was drawn over the whole screen";
    Settle();
    EXPECT_FALSE(InFullScreen());
    EXPECT_FALSE(m_dlg->m_bFullScreen);
    EXPECT_TRUE(::IsWindowVisible(Main()));
}

// The compact window ------------------------------------------------------------------------------------

TEST_F(FullScreenTest, CompactWindowHidesAfterFourQuietSecondsAndComesBackOnAMouseMove)
{
    Enter();
    const HWND host = Host();
    controls_test::Mouse(host, QEvent::MouseMove, QPoint(300, 300), Qt::NoButton);
    ASSERT_TRUE(Pump([&] { return !::IsWindowVisible(Small()); }, 20000)) << "the compact window stayed";
    LASTINPUTINFO input{};
    input.cbSize = sizeof input;
    ASSERT_TRUE(::GetLastInputInfo(&input));
    EXPECT_GT(GetTickCount() - input.dwTime, CBrevicamDlg::kCompactWindowShowMs)
        << "hidden although the last input was recent";
    EXPECT_TRUE(::IsWindowVisible(Exit())) << "the exit window never hides";

    controls_test::Mouse(host, QEvent::MouseMove, QPoint(310, 310), Qt::NoButton);
    ASSERT_TRUE(Pump([&] { return ::IsWindowVisible(Small()) != FALSE; }, 10000))
        << "a mouse move did not bring the compact window back";
    EXPECT_LT(StackIndex(Small()), StackIndex(host));
}

// A resolution list dropped by a click stays open, and keeps the compact window on the screen however old
// the last input is; closed, the list no longer holds it.
TEST_F(FullScreenTest, DroppedResolutionListKeepsTheCompactWindowShown)
{
    Enter();
    const HWND list = ::GetDlgItem(Small(), IDC_SMALL_RESOLUTION);
    Click(list, QPoint(20, 12));
    ASSERT_TRUE(Pump([&] { return m_dlg->m_smallDlg.IsResolutionListOpen() != FALSE; }));
    LASTINPUTINFO input{};
    input.cbSize = sizeof input;
    ASSERT_TRUE(Pump(
        [&]
        {
            ::GetLastInputInfo(&input);
            return GetTickCount() - input.dwTime > CBrevicamDlg::kCompactWindowShowMs;
        },
        20000));
    ASSERT_TRUE(m_dlg->m_smallDlg.IsResolutionListOpen()) << "the list closed by itself";
    // Timer 3's tick, with the input old enough to hide the window.
    ::SendMessage(Main(), WM_TIMER, CBrevicamDlg::kCompactWindowTimer, 0);
    EXPECT_TRUE(::IsWindowVisible(Small())) << "hidden under its open list";

    ::SendMessage(list, CB_SHOWDROPDOWN, FALSE, 0);
    ::SendMessage(Main(), WM_TIMER, CBrevicamDlg::kCompactWindowTimer, 0);
    EXPECT_FALSE(::IsWindowVisible(Small()));
}

// The closed resolution list shows the chosen size's label on its face: the face differs, in many pixels,
// from the same face with nothing chosen.
TEST_F(FullScreenTest, ClosedResolutionListShowsTheChosenLabel)
{
    Enter();
    const HWND list = ::GetDlgItem(Small(), IDC_SMALL_RESOLUTION);
    ASSERT_EQ(::SendMessage(list, CB_GETCURSEL, 0, 0), 0);
    ::InvalidateRect(list, nullptr, TRUE);
    const QImage chosen = testing_support::Grab(list);
    ::SendMessage(list, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    ::InvalidateRect(list, nullptr, TRUE);
    const QImage empty = testing_support::Grab(list);
    ASSERT_EQ(chosen.size(), empty.size());
    int differing = 0;
    for (int y = 0; y < chosen.height(); ++y)
        for (int x = 0; x < chosen.width(); ++x)
            if (!testing_support::Near(testing_support::Pixel(chosen, x, y),
                                       testing_support::Pixel(empty, x, y), 40))
                ++differing;
    EXPECT_GT(differing, 40) << "the label \"Standard - SD 480p\" is not on the face";
}

/// The resolution notice on the screen, or null.
HWND FindNotice()
{
    return media_test::ShownWindowWithControl(IDC_RES_CHANGE_MESSAGE);
}

/// What the notice test saw while the notice was open; filled on the notice's own modal loop.
struct NoticeSeen
{
    int shown = 0;
    bool inFront = false;
    bool flagSet = false;
    bool exitDisabled = false;
    bool compactDisabled = false;
    HWND main = nullptr;
    /// Each notice is answered once; a second one (the hidden panel's) is counted too.
    std::set<HWND> answered;
};
NoticeSeen* s_seen = nullptr;

void CALLBACK LookAtNotice(HWND, UINT, UINT_PTR, DWORD)
{
    const HWND notice = FindNotice();
    if (!notice || !s_seen || !s_seen->answered.insert(notice).second)
        return;
    auto* dlg = static_cast<CBrevicamDlg*>(CWnd::FromHandlePermanent(s_seen->main));
    ++s_seen->shown;
    s_seen->inFront =
        StackIndex(notice) >= 0 && StackIndex(notice) < StackIndex(dlg->m_smallDlg.GetSafeHwnd());
    s_seen->flagSet = dlg->m_bNoticeOpen;
    s_seen->exitDisabled = !::IsWindowEnabled(dlg->m_exitDlg.GetSafeHwnd());
    s_seen->compactDisabled = !::IsWindowEnabled(dlg->m_smallDlg.GetSafeHwnd());
    ::PostMessage(notice, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

// Choosing burst at a size above 640 x 480 in full screen shows the lowered-resolution notice once, in
// front of the picture and the compact window, with the other windows off meanwhile; full screen stays.
TEST_F(FullScreenTest, LoweredResolutionNoticeShowsOnceOverTheFullScreen)
{
    Enter();
    const HWND list = ::GetDlgItem(Small(), IDC_SMALL_RESOLUTION);
    ::SendMessage(list, CB_SETCURSEL, 1, 0);
    ::SendMessage(Small(), WM_COMMAND, MAKEWPARAM(IDC_SMALL_RESOLUTION, CBN_SELCHANGE),
                  reinterpret_cast<LPARAM>(list));
    ASSERT_TRUE(Pump([&] { return m_controller->m_graph.GetResolution() == CResolution(1280, 720, false); }));
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_BMResWarning = 1;
    }
    NoticeSeen seen;
    seen.main = Main();
    s_seen = &seen;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 10, &LookAtNotice);
    ::SendMessage(Small(), WM_COMMAND, MAKEWPARAM(IDC_SMALL_BURST, BN_CLICKED),
                  reinterpret_cast<LPARAM>(::GetDlgItem(Small(), IDC_SMALL_BURST)));
    Settle();
    ::KillTimer(nullptr, timer);
    s_seen = nullptr;

    EXPECT_EQ(seen.shown, 1) << "the notice never showed, or the hidden panel showed its own";
    EXPECT_TRUE(seen.inFront);
    EXPECT_TRUE(seen.flagSet);
    EXPECT_TRUE(seen.exitDisabled);
    EXPECT_TRUE(seen.compactDisabled) << "Escape would leave full screen under the notice";
    EXPECT_EQ(FindNotice(), nullptr);
    EXPECT_FALSE(m_dlg->m_bNoticeOpen);
    EXPECT_TRUE(::IsWindowEnabled(Exit()));
    EXPECT_TRUE(::IsWindowEnabled(Small()));
    EXPECT_TRUE(InFullScreen());
    EXPECT_EQ(g_params.GetCamMode(), 1);
    EXPECT_EQ(m_controller->m_graph.GetResolution(), CResolution(640, 480, false));
}

using controls_test::ComboItems;

// The list shows the camera's sizes of the mode by their quality labels (sizes without one are left out),
// and a choice changes the camera and is kept as the model's size of that mode.
TEST_F(FullScreenTest, ResolutionListOffersTheModesLabelsAndAChoiceChangesTheCamera)
{
    Enter();
    const HWND list = ::GetDlgItem(Small(), IDC_SMALL_RESOLUTION);
    const std::vector<std::string> labels{"Standard - SD 480p", "High - HD 720p"};
    EXPECT_EQ(ComboItems(list), labels);
    EXPECT_EQ(::SendMessage(list, CB_GETCURSEL, 0, 0), 0) << "the current 640 x 480 is chosen";
    EXPECT_TRUE(::IsWindowEnabled(list));

    ::SendMessage(list, CB_SETCURSEL, 1, 0);
    ::SendMessage(Small(), WM_COMMAND, MAKEWPARAM(IDC_SMALL_RESOLUTION, CBN_SELCHANGE),
                  reinterpret_cast<LPARAM>(list));
    ASSERT_TRUE(Pump(
        [&]
        {
            return m_controller->m_pVideoState->GetState() == VS_RUNNING &&
                   m_controller->m_graph.GetResolution() == CResolution(1280, 720, false);
        }));
    EXPECT_EQ(g_params.GetPhotoResolution().Str(), "1280 x 720");
    Settle();
    EXPECT_TRUE(InFullScreen());
    EXPECT_EQ(::SendMessage(list, CB_GETCURSEL, 0, 0), 1);

    // Video mode lists its own sizes; the photo size stays.
    ::SendMessage(Small(), WM_COMMAND, MAKEWPARAM(IDC_SMALL_VIDEO, BN_CLICKED),
                  reinterpret_cast<LPARAM>(::GetDlgItem(Small(), IDC_SMALL_VIDEO)));
    ASSERT_TRUE(Pump([&] { return g_params.GetCamMode() == 3 && !ComboItems(list).empty(); }));
    EXPECT_EQ(ComboItems(list), labels);
    EXPECT_EQ(g_params.GetPhotoResolution().Str(), "1280 x 720");
}

struct CaptureCase
{
    const char* name;
    int mode;
    int files;
};

class CompactCaptureTest : public FullScreenTest, public testing::WithParamInterface<CaptureCase>
{
};

// The compact window's capture button takes what the capture panel's takes, named by the controller.
TEST_P(CompactCaptureTest, CaptureButtonTakesItsModesPictures)
{
    const CaptureCase& c = GetParam();
    SetMode(c.mode);
    Enter();
    ClickCapture();
    const fs::path folder = c.mode == 3 ? m_videos : m_photos;
    if (c.mode == 3)
    {
        ASSERT_TRUE(
            Pump([&] { return m_dlg->m_smallDlg.GetRecordStartTick() != 0 && !FilesIn(folder).empty(); }));
        ClickCapture();
        ASSERT_TRUE(Pump([&] { return m_controller->m_graph.GetGraphMode() == 0; }));
        EXPECT_EQ(FilesIn(folder), std::set<std::string>{g_params.GetCaptureFileName().Str()});
    }
    else
    {
        ASSERT_TRUE(Pump(
            [&]
            { return static_cast<int>(LastFiles().size()) >= c.files && !m_controller->IsBurstRunning(); }));
        Settle();
        EXPECT_EQ(FilesIn(folder), LastFiles());
        EXPECT_EQ(static_cast<int>(FilesIn(folder).size()), c.files);
    }
    EXPECT_TRUE(InFullScreen());
}

INSTANTIATE_TEST_SUITE_P(Modes, CompactCaptureTest,
                         testing::Values(CaptureCase{"Photo", 0, 1}, CaptureCase{"Burst", 1, 3},
                                         CaptureCase{"SelfTimer", 2, 1}, CaptureCase{"Video", 3, 1}),
                         [](const testing::TestParamInfo<CaptureCase>& info)
                         { return std::string(info.param.name); });

// Hand-over across F11 ----------------------------------------------------------------------------------

/// Where a carried capture starts: the capture panel's button, or the compact window's in full screen.
enum class StartIn
{
    Panel,
    CompactWindow
};

struct HandOverCase
{
    const char* name;
    StartIn startIn;
};

class HandOverTest : public FullScreenTest, public testing::WithParamInterface<HandOverCase>
{
protected:
    CCaptureDlg& Panel() { return m_dlg->GetCaptureDlg(); }
    HWND PanelItem(int id) { return ::GetDlgItem(Panel().GetSafeHwnd(), id); }

    void SetUp() override
    {
        FullScreenTest::SetUp();
        ASSERT_TRUE(Pump([&] { return Shown(Panel().GetSafeHwnd()); })) << "the capture panel never opened";
    }

    /// The capture panel's button, once it takes clicks.
    void PressPanelCapture()
    {
        const HWND button = PanelItem(IDC_PANEL_CAPTURE);
        ASSERT_TRUE(Pump([&] { return ::IsWindowEnabled(button) != FALSE; }))
            << "the capture button stayed off";
        ::SendMessage(Panel().GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDC_PANEL_CAPTURE, BN_CLICKED),
                      reinterpret_cast<LPARAM>(button));
    }

    /// Exactly one of the two windows counts the series or the clock.
    void ExpectCountedByCompactWindow(bool panelCounts = false)
    {
        EXPECT_TRUE(m_dlg->m_smallDlg.IsTimerRunning());
        if (!panelCounts)
        {
            EXPECT_FALSE(Panel().m_bSeriesTimerRunning) << "the hidden panel still counts";
        }
        EXPECT_FALSE(Shown(Panel().GetSafeHwnd())) << "the panel shows over the full screen";
    }
    void ExpectCountedByPanel()
    {
        EXPECT_TRUE(Panel().m_bSeriesTimerRunning);
        EXPECT_FALSE(m_dlg->m_smallDlg.IsTimerRunning()) << "the compact window still counts";
        EXPECT_TRUE(Shown(Panel().GetSafeHwnd())) << "the panel did not come back";
    }

    /// Waits for one more frame of the running burst; false when the series ended first.
    bool NextFrame()
    {
        const int before = m_controller->GetBurstImageCount();
        EXPECT_TRUE(Pump(
            [&] { return m_controller->GetBurstImageCount() > before || !m_controller->IsBurstRunning(); }));
        return m_controller->IsBurstRunning();
    }
};

// A burst of N carried across F11 into full screen and out again, or out and in again, gives N pictures,
// each once, and its clock goes on where it stood.
TEST_P(HandOverTest, BurstCarriedAcrossF11TakesEachPictureOnce)
{
    constexpr int kPictures = 6;
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_NbPictures = kPictures;
        g_params.m_ImagesPerSecond = 2;
    }
    SetMode(1);
    if (GetParam().startIn == StartIn::Panel)
    {
        Panel().UpdateModeButtons();
        PressPanelCapture();
        ASSERT_TRUE(NextFrame()) << "the series ended before it could be carried";
        Enter();
        if (m_controller->IsBurstRunning())
        {
            ExpectCountedByCompactWindow();
            EXPECT_GE(m_dlg->m_smallDlg.GetElapsed(), static_cast<int>(CChrono::kBurstCountdownMs))
                << "the countdown began again";
        }
        if (NextFrame())
        {
            Leave();
            if (m_controller->IsBurstRunning())
                ExpectCountedByPanel();
        }
    }
    else
    {
        Enter();
        ClickCapture();
        ASSERT_TRUE(Pump([&] { return m_controller->IsBurstRunning(); }));
        ASSERT_TRUE(NextFrame()) << "the series ended before it could be carried";
        Leave();
        if (m_controller->IsBurstRunning())
        {
            ExpectCountedByPanel();
            EXPECT_GE(Panel().GetElapsed(), static_cast<int>(CChrono::kBurstCountdownMs))
                << "the countdown began again";
            EXPECT_EQ(m_dlg->m_nSavedElapsedMs, -1) << "the panel took the series: nothing is kept aside";
        }
        if (NextFrame())
        {
            Enter();
            if (m_controller->IsBurstRunning())
                ExpectCountedByCompactWindow();
        }
    }
    ASSERT_TRUE(Pump([&] { return !m_controller->IsBurstRunning(); })) << "the series never went on";
    ASSERT_TRUE(Pump([&] { return !Panel().m_bSeriesTimerRunning && !m_dlg->m_smallDlg.IsTimerRunning(); }));
    Settle();
    EXPECT_EQ(static_cast<int>(FilesIn(m_photos).size()), kPictures);
    EXPECT_EQ(FilesIn(m_photos), LastFiles());
}

// A recording's clock crosses F11 both ways with its start: each window counts from the same tick, and the
// recording ends as one file.
TEST_P(HandOverTest, RecordingCarriedAcrossF11KeepsItsClock)
{
    SetMode(3);
    const bool inPanel = GetParam().startIn == StartIn::Panel;
    if (inPanel)
    {
        Panel().UpdateModeButtons();
        PressPanelCapture();
        ASSERT_TRUE(Pump([&] { return Panel().GetRecordStartTick() != 0; }));
        Enter();
    }
    else
    {
        Enter();
        ClickCapture();
    }
    ASSERT_TRUE(Pump([&] { return m_dlg->m_smallDlg.GetRecordStartTick() != 0; }));
    const DWORD start = m_dlg->m_smallDlg.GetRecordStartTick();
    if (inPanel)
    {
        EXPECT_EQ(start, Panel().GetRecordStartTick()) << "the compact window's clock began anew";
    }
    // A recording started in full screen starts the hidden panel's clock too; only its start tick counts.
    ExpectCountedByCompactWindow(!inPanel);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(Small(), IDC_SMALL_PHOTO)));

    Leave();
    EXPECT_EQ(Panel().GetRecordStartTick(), start);
    ExpectCountedByPanel();
    EXPECT_FALSE(::IsWindowEnabled(PanelItem(IDC_PANEL_PHOTO_MODE))) << "the panel allows a mode change";
    // The clock counts on from the recording's start, not from the return.
    ASSERT_TRUE(
        Pump([&] { return static_cast<DWORD>(Panel().GetElapsed()) + 1000 >= GetTickCount() - start; }))
        << "the panel's clock stood still";

    Enter();
    EXPECT_EQ(m_dlg->m_smallDlg.GetRecordStartTick(), start);
    ExpectCountedByCompactWindow();
    // The file takes data once the recording branch is linked, a second after the start.
    ASSERT_TRUE(Pump([&] { return !FilesIn(m_videos).empty(); }));
    ClickCapture();
    ASSERT_TRUE(Pump([&] { return m_controller->m_graph.GetGraphMode() == 0; }));
    Leave();
    EXPECT_EQ(Panel().GetRecordStartTick(), 0u);
    EXPECT_FALSE(Panel().m_bSeriesTimerRunning);
    EXPECT_TRUE(::IsWindowEnabled(PanelItem(IDC_PANEL_PHOTO_MODE)));
    EXPECT_EQ(FilesIn(m_videos), std::set<std::string>{g_params.GetCaptureFileName().Str()});
}

INSTANTIATE_TEST_SUITE_P(Starts, HandOverTest,
                         testing::Values(HandOverCase{"InThePanel", StartIn::Panel},
                                         HandOverCase{"InTheCompactWindow", StartIn::CompactWindow}),
                         [](const testing::TestParamInfo<HandOverCase>& info)
                         { return std::string(info.param.name); });

// A self-timer countdown carried into full screen and back fires once, in whichever window counts when its
// time is up.
TEST_F(FullScreenTest, SelfTimerCarriedAcrossF11FiresOnce)
{
    CCaptureDlg& panel = m_dlg->GetCaptureDlg();
    ASSERT_TRUE(Pump([&] { return Shown(panel.GetSafeHwnd()); }));
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_NbSeconds = 6;
    }
    SetMode(2);
    panel.UpdateModeButtons();
    const HWND button = ::GetDlgItem(panel.GetSafeHwnd(), IDC_PANEL_CAPTURE);
    ASSERT_TRUE(Pump([&] { return ::IsWindowEnabled(button) != FALSE; }));
    ::SendMessage(panel.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDC_PANEL_CAPTURE, BN_CLICKED),
                  reinterpret_cast<LPARAM>(button));
    ASSERT_TRUE(Pump([&] { return panel.GetElapsed() >= 500; }));
    Enter();
    if (LastFiles().empty())
    {
        EXPECT_TRUE(m_dlg->m_smallDlg.IsTimerRunning());
        EXPECT_FALSE(panel.m_bSeriesTimerRunning);
        EXPECT_GE(m_dlg->m_smallDlg.GetElapsed(), 500) << "the countdown started again";
        ASSERT_TRUE(Pump([&] { return m_dlg->m_smallDlg.GetElapsed() >= 1000 || !LastFiles().empty(); }));
        Leave();
        if (LastFiles().empty())
        {
            EXPECT_TRUE(panel.m_bSeriesTimerRunning);
            EXPECT_GE(panel.GetElapsed(), 1000);
        }
    }
    ASSERT_TRUE(Pump([&] { return !LastFiles().empty(); })) << "the shot was lost";
    ASSERT_TRUE(Pump([&] { return !panel.m_bSeriesTimerRunning && !m_dlg->m_smallDlg.IsTimerRunning(); }));
    Settle();
    EXPECT_EQ(FilesIn(m_photos).size(), 1u);
    EXPECT_EQ(FilesIn(m_photos), LastFiles());
}

// Without a capture panel the main window keeps the carried series until the compact window or the panel
// takes it, once.
TEST_F(FullScreenTest, BurstCarriedWithoutThePanelIsKeptAndTakenOnce)
{
    constexpr int kPictures = 6;
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_NbPictures = kPictures;
        g_params.m_ImagesPerSecond = 2;
    }
    ASSERT_TRUE(Pump([&] { return Shown(m_dlg->GetCaptureDlg().GetSafeHwnd()); }));
    // Chosen as the user does, so that the camera's stored mode is burst when the panel opens again.
    m_controller->SetCamMode(1);
    m_dlg->CloseCaptureWindow();
    ASSERT_EQ(m_dlg->GetCaptureDlg().GetSafeHwnd(), nullptr);
    Enter();
    ClickCapture();
    ASSERT_TRUE(Pump([&] { return m_controller->GetBurstImageCount() >= 1; }));
    Leave();
    EXPECT_TRUE(m_dlg->m_bSavedTimerRunning);
    EXPECT_EQ(m_dlg->m_nSavedElapsedMs, static_cast<int>(CChrono::kBurstCountdownMs));
    EXPECT_FALSE(m_dlg->m_smallDlg.IsTimerRunning()) << "two timers would take each picture twice";
    Enter();
    EXPECT_EQ(m_dlg->m_nSavedElapsedMs, -1) << "a saved series is taken once";
    EXPECT_TRUE(m_dlg->m_smallDlg.IsTimerRunning());
    ASSERT_TRUE(
        Pump([&] { return m_controller->GetBurstImageCount() >= 3 || !m_controller->IsBurstRunning(); }));
    Leave();
    if (m_controller->IsBurstRunning())
    {
        // The panel, opened now, takes the series over.
        m_dlg->OpenCaptureWindow();
        CCaptureDlg& panel = m_dlg->GetCaptureDlg();
        ASSERT_NE(panel.GetSafeHwnd(), nullptr);
        EXPECT_TRUE(panel.m_bSeriesTimerRunning);
        EXPECT_EQ(m_dlg->m_nSavedElapsedMs, -1);
        EXPECT_FALSE(m_dlg->m_bSavedTimerRunning);
    }
    ASSERT_TRUE(Pump([&] { return !m_controller->IsBurstRunning(); })) << "the series never went on";
    Settle();
    EXPECT_EQ(static_cast<int>(FilesIn(m_photos).size()), kPictures);
    EXPECT_EQ(FilesIn(m_photos), LastFiles());
}

TEST_F(FullScreenTest, RecordingCarriedWithoutThePanelKeepsItsClock)
{
    SetMode(3);
    ASSERT_TRUE(Pump([&] { return Shown(m_dlg->GetCaptureDlg().GetSafeHwnd()); }));
    m_dlg->CloseCaptureWindow();
    Enter();
    ClickCapture();
    ASSERT_TRUE(Pump([&] { return m_dlg->m_smallDlg.GetRecordStartTick() != 0; }));
    const DWORD start = m_dlg->m_smallDlg.GetRecordStartTick();
    Leave();
    EXPECT_EQ(static_cast<DWORD>(m_dlg->m_nSavedRecordStartTick), start);
    Enter();
    EXPECT_EQ(m_dlg->m_smallDlg.GetRecordStartTick(), start);
    const int before = m_dlg->m_smallDlg.GetElapsed();
    // The clock counts on from the recording's start, not from the return.
    ASSERT_TRUE(Pump(
        [&]
        {
            return m_dlg->m_smallDlg.GetElapsed() > before &&
                   static_cast<DWORD>(m_dlg->m_smallDlg.GetElapsed()) >= GetTickCount() - start - 1000;
        }))
        << "the clock stood still";
    ClickCapture();
    ASSERT_TRUE(Pump([&] { return m_controller->m_graph.GetGraphMode() == 0; }));
    EXPECT_EQ(FilesIn(m_videos).size(), 1u);
}
} // namespace
