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

/// The items of a combo box, in order.
std::vector<std::string> Items(HWND combo)
{
    std::vector<std::string> items;
    const int count = static_cast<int>(::SendMessage(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
    {
        char text[128] = {};
        ::SendMessage(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        items.emplace_back(text);
    }
    return items;
}

// The list shows the camera's sizes of the mode by their quality labels (sizes without one are left out),
// and a choice changes the camera and is kept as the model's size of that mode.
TEST_F(FullScreenTest, ResolutionListOffersTheModesLabelsAndAChoiceChangesTheCamera)
{
    Enter();
    const HWND list = ::GetDlgItem(Small(), IDC_SMALL_RESOLUTION);
    const std::vector<std::string> labels{"Standard - SD 480p", "High - HD 720p"};
    EXPECT_EQ(Items(list), labels);
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
    ASSERT_TRUE(Pump([&] { return g_params.GetCamMode() == 3 && !Items(list).empty(); }));
    EXPECT_EQ(Items(list), labels);
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

TEST_F(FullScreenTest, BurstCarriedOutAndBackInTakesEachPictureOnce)
{
    constexpr int kPictures = 6;
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_NbPictures = kPictures;
        g_params.m_ImagesPerSecond = 2;
    }
    SetMode(1);
    Enter();
    ClickCapture();
    ASSERT_TRUE(Pump([&] { return m_controller->GetBurstImageCount() >= 1; }));
    Leave();
    EXPECT_TRUE(m_dlg->m_bSavedTimerRunning);
    EXPECT_EQ(m_dlg->m_nSavedElapsedMs, static_cast<int>(CChrono::kBurstCountdownMs));
    EXPECT_FALSE(m_dlg->m_smallDlg.IsTimerRunning()) << "two timers would take each picture twice";
    Enter();
    EXPECT_EQ(m_dlg->m_nSavedElapsedMs, -1) << "a saved series is taken once";
    ASSERT_TRUE(Pump([&] { return !m_controller->IsBurstRunning(); })) << "the series never went on";
    Settle();
    EXPECT_EQ(static_cast<int>(FilesIn(m_photos).size()), kPictures);
    EXPECT_EQ(FilesIn(m_photos), LastFiles());
}

TEST_F(FullScreenTest, RecordingCarriedOutAndBackInKeepsItsClock)
{
    SetMode(3);
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
