#include "brevicam/ui/BrevicamDlg.h"

#include "brevicam/capture/CameraControlsDialog.h"
#include "brevicam/capture/CaptureController.h"
#include "brevicam/capture/CaptureMessages.h"
#include "brevicam/core/Params.h"
#include "brevicam/media/GIFConversionTask.h"
#include "miravoc/Miravoc.h"
#include "platform/commctrl2/ComboBox.h"
#include "platform/ostrago/Ostrago.h"
#include "platform/registry/Registry.h"
#include "platform/resources/Resources.h"
#include "platform/window/QtHost.h"
#include "platform/window/WinApp.h"
#include "platform/zorneth/Zorneth.h"
#include "resources/brevicam/resource.h"
#include "tests/capture/CaptureTestSupport.h"
#include "tests/controls/ControlsTestSupport.h"
#include "tests/media/WindowFinder.h"
#include "tests/support/FtpServer.h"
#include "tests/support/PulseDaemon.h"
#include "tests/support/TempDir.h"

#include <QIcon>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

using capture_testing::CaptureFolders;
using capture_testing::PrepareCaptureSettings;
using capture_testing::PumpMessages;
using platform::VirtualCamera;

/// The dialog's private parts the tests look at.
class CBrevicamDlgTestAccess
{
public:
    static int MicWaitRetries(const CBrevicamDlg& dlg) { return dlg.m_nMicWaitRetries; }
};

namespace
{
using testing_support::FilesIn;
using testing_support::Today;
namespace fs = std::filesystem;

/// Bounds on waits for something that must come; they only matter when it never does. The modal bound
/// covers a whole run of the main window (its creation, a click and the close) on a heavily loaded
/// machine, and stays below the per-test time limit so that a hang fails the test instead of killing it.
constexpr int kModalLimitMs = 180000;
constexpr int kEventLimitMs = 60000;

std::string Text(HWND hwnd)
{
    char text[512] = {};
    ::GetWindowText(hwnd, text, sizeof text);
    return text;
}

/// Handles messages one at a time until `window` has been handed `message` (with `wParam`, when one is
/// given); `before` sees each message ahead of its dispatch. False when none came within the bound.
bool PumpUntilHandled(HWND window, UINT message, std::optional<WPARAM> wParam = std::nullopt,
                      const std::function<void(const MSG&)>& before = {})
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kEventLimitMs);
    while (std::chrono::steady_clock::now() < end)
    {
        MSG msg;
        if (!::PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        if (before)
            before(msg);
        ::TranslateMessage(&msg);
        ::DispatchMessage(&msg);
        if (msg.hwnd == window && msg.message == message && (!wParam || msg.wParam == *wParam))
            return true;
    }
    return false;
}

class BrevicamDlgTest : public testing::Test
{
protected:
    void SetUp() override
    {
        const CaptureFolders folders = PrepareCaptureSettings(m_dir.Path());
        m_photos = folders.photos;
        m_videos = folders.videos;
        m_app.emplace("QPX_SE");
        m_app->SetRegistryKey("Tavisk");
        // Update checks stay on this machine, with a lock and downloads of this test's own.
        setenv("XDG_RUNTIME_DIR", (m_dir.Path() / "run").c_str(), 1);
        setenv("XDG_CACHE_HOME", (m_dir.Path() / "cache").c_str(), 1);
        fs::create_directories(m_dir.Path() / "run");
        fs::permissions(m_dir.Path() / "run", fs::perms::owner_all);
        SetUpdateServer("127.0.0.1:1", "updates");
        {
            CSingleLock lock(&g_params.m_cs, TRUE);
            g_params.m_UpdateAtStart = 0;
            g_params.m_NoUpdateIndex = 0;
            g_params.m_LastUpdateDate = "";
        }
        CGIFConversionTask::SetFileOpener([](const CString&) {});
        m_cameras.push_back(VirtualCamera::Create({}));
    }

    void TearDown() override
    {
        m_dlg.reset();
        if (m_controller)
        {
            m_controller->StopPreview();
            m_controller.reset();
        }
        g_params.SetMainWnd(nullptr);
        platform::zorneth::ClearScriptedAnswers();
        CGIFConversionTask::SetFileOpener(nullptr);
        m_cameras.clear();
        m_app.reset();
    }

    CCaptureController& Controller()
    {
        if (!m_controller)
        {
            m_controller = std::make_unique<CCaptureController>();
            m_controller->m_graph.DetectWebcamModel();
        }
        return *m_controller;
    }

    /// The main window, created modelessly and shown, with the preview running.
    CBrevicamDlg& Dialog()
    {
        m_dlg = std::make_unique<CBrevicamDlg>(&Controller());
        EXPECT_TRUE(m_dlg->Create(CBrevicamDlg::IDD, nullptr));
        m_dlg->ShowWindow(SW_SHOW);
        PumpMessages(100);
        return *m_dlg;
    }

    HWND Item(int id) const { return ::GetDlgItem(m_dlg->GetHwnd(), id); }
    bool Visible(int id) const { return (::GetWindowLong(Item(id), GWL_STYLE) & WS_VISIBLE) != 0; }
    bool Enabled(int id) const { return ::IsWindowEnabled(Item(id)) != FALSE; }
    RECT PlaceOf(int id) const
    {
        RECT rect{};
        ::GetWindowRect(Item(id), &rect);
        ::MapWindowPoints(nullptr, m_dlg->GetHwnd(), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    /// Runs the dialog modally; `action` runs inside its loop once its window is shown. Returns DoModal's
    /// result.
    INT_PTR RunModal(std::function<void(CBrevicamDlg&)> action)
    {
        m_dlg = std::make_unique<CBrevicamDlg>(&Controller());
        CBrevicamDlg* dlg = m_dlg.get();
        bool done = false;
        QTimer poll;
        poll.setInterval(50);
        QObject::connect(&poll, &QTimer::timeout,
                         [&]
                         {
                             if (done || !dlg->GetHwnd() || !::IsWindowVisible(dlg->GetHwnd()))
                                 return;
                             done = true;
                             poll.stop();
                             action(*dlg);
                             // A failed step must not leave the loop running.
                             if (testing::Test::HasFatalFailure() && dlg->GetHwnd())
                                 dlg->EndDialog(-1);
                         });
        poll.start();
        // A dialog that never ends would hold the whole suite; it fails the test instead.
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout,
                         [dlg]
                         {
                             ADD_FAILURE() << "the modal run did not end";
                             // Ending the main window does not end a dialog it opened, whose own loop
                             // runs inside the main window's.
                             if (HWND controls = GetOpenCameraControls())
                                 ::EndDialog(controls, IDCANCEL);
                             if (dlg->GetHwnd())
                                 dlg->EndDialog(-1);
                         });
        watchdog.start(kModalLimitMs);
        return m_dlg->DoModal();
    }

    /// The installation's update key, which the program's update requests read.
    static void SetUpdateServer(const std::string& server, const std::string& folder)
    {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, CParams::GetUpdateKeyName(), 0, nullptr, 0, KEY_WRITE,
                                    nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ::RegSetValueExA(key, "FtpServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                         static_cast<DWORD>(server.size() + 1));
        ::RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                         static_cast<DWORD>(folder.size() + 1));
        ::RegCloseKey(key);
    }

    void SetCamMode(int mode)
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_CamMode = mode;
    }

    fs::path GifFolder() const { return m_dir.Path() / "home" / "Documents" / "Tavisk webcam" / "GIF"; }

    testing_support::TempDir m_dir;
    fs::path m_photos;
    fs::path m_videos;
    std::optional<CWinApp> m_app;
    std::vector<std::shared_ptr<VirtualCamera>> m_cameras;
    std::unique_ptr<CCaptureController> m_controller;
    std::unique_ptr<CBrevicamDlg> m_dlg;
};
/// Waits until the running recording's file holds written frames.
bool RecordingHasFrames(const fs::path& folder)
{
    return controls_test::PumpUntil(
        [&]
        {
            std::error_code error;
            for (const auto& entry : fs::directory_iterator(folder, error))
                if (entry.is_regular_file(error) && entry.file_size(error) > 0)
                    return true;
            return false;
        },
        60000);
}
} // namespace

// Construction and layout -----------------------------------------------------------------------------

TEST_F(BrevicamDlgTest, ControlsAreBuiltAndTheLivePictureSitsInItsPlace)
{
    CBrevicamDlg& dlg = Dialog();
    for (int id : {IDC_LIVE_VIDEO, IDC_ABOUT, IDC_CAPTURE_WINDOW, IDC_STATUS_LINE, IDC_STATE_MESSAGE,
                   IDC_CLOSE_APP, IDC_MINIMIZE, IDC_VIDEO_SETTINGS, IDC_VERSION, IDC_VERSION_CAPTION,
                   IDC_REFRESH_DEVICES, IDC_VOLUME_INDICATOR, IDC_PRODUCT_TITLE, IDC_AUDIO_SETTINGS,
                   IDC_EDITION, IDC_UNMUTE, IDC_FULLSCREEN, IDC_MUTE, IDC_CAPTURE_MODE_CAPTION})
        EXPECT_NE(Item(id), nullptr) << id;

    RECT client{};
    ::GetClientRect(dlg.GetHwnd(), &client);
    EXPECT_EQ(client.right - client.left, 433);
    EXPECT_EQ(client.bottom - client.top, 475);
    const RECT video = PlaceOf(IDC_LIVE_VIDEO);
    EXPECT_EQ(video.left, 63);
    EXPECT_EQ(video.top, 77);
    EXPECT_EQ(video.right - video.left, 320);
    EXPECT_EQ(video.bottom - video.top, 240);
    const RECT close = PlaceOf(IDC_CLOSE_APP);
    EXPECT_EQ(close.right - close.left, 31);
    EXPECT_EQ(close.bottom - close.top, 32);
    const RECT refresh = PlaceOf(IDC_REFRESH_DEVICES);
    EXPECT_EQ(refresh.right - refresh.left, 87);
    EXPECT_EQ(refresh.bottom - refresh.top, 97);

    EXPECT_EQ(Text(dlg.GetHwnd()), "Brevicam");
    EXPECT_EQ(Text(Item(IDC_VERSION_CAPTION)), "Version");
    EXPECT_EQ(Text(Item(IDC_CAPTURE_MODE_CAPTION)), "Capture mode");
    EXPECT_EQ(Text(Item(IDC_EDITION)), "SE");
    EXPECT_EQ(g_params.GetMainWnd(), dlg.GetHwnd());
    // Live video: the refresh button is hidden and the live buttons work.
    EXPECT_FALSE(Visible(IDC_REFRESH_DEVICES));
    for (int id : {IDC_CAPTURE_WINDOW, IDC_VIDEO_SETTINGS, IDC_AUDIO_SETTINGS, IDC_FULLSCREEN})
        EXPECT_TRUE(Enabled(id)) << id;
    // Without a sound server muting is not available: the unmute button is shown disabled.
    EXPECT_FALSE(Visible(IDC_MUTE));
    EXPECT_TRUE(Visible(IDC_UNMUTE));
    EXPECT_FALSE(Enabled(IDC_UNMUTE));
}

TEST_F(BrevicamDlgTest, VersionLabelShowsTheProgramsVersion)
{
    Dialog();
    EXPECT_EQ(Text(Item(IDC_VERSION)), BREVICAM_EXPECTED_VERSION_TEXT);
}

/// The sizes of the window icon that the window system is given for a top-level window.
std::set<int> WindowIconSizes(HWND hwnd)
{
    std::set<int> sizes;
    for (const QSize& size : platform::window::HostWidgetOf(hwnd)->window()->windowIcon().availableSizes())
        sizes.insert(size.width());
    return sizes;
}

TEST_F(BrevicamDlgTest, WindowAndItsLayeredOwnerShowTheProgramIcon)
{
    CBrevicamDlg& dlg = Dialog();
    const HICON icon = AfxGetApp()->LoadIcon(7);
    ASSERT_NE(icon, nullptr);
    const HWND window = dlg.GetHwnd();
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessage(window, WM_GETICON, ICON_BIG, 0)), icon);
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessage(window, WM_GETICON, ICON_SMALL, 0)), icon);
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessage(dlg.GetLayeredWindow(), WM_GETICON, ICON_BIG, 0)), icon);
    for (HWND top : {window, dlg.GetLayeredWindow()})
        EXPECT_EQ(WindowIconSizes(top), (std::set<int>{16, 32, 48}));
}

/// The shown controls of the main window that cover each other, as pairs of ids; the refresh button stands
/// in the picture area while there is no picture, so that pair is left out.
std::vector<std::pair<int, int>> OverlappingControls(HWND dialog)
{
    std::vector<std::pair<int, RECT>> shown;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
    {
        if (!::IsWindowVisible(child))
            continue;
        RECT place{};
        ::GetWindowRect(child, &place);
        shown.emplace_back(::GetDlgCtrlID(child), place);
    }
    std::vector<std::pair<int, int>> overlaps;
    for (std::size_t i = 0; i < shown.size(); ++i)
        for (std::size_t j = i + 1; j < shown.size(); ++j)
        {
            const std::set<int> pair{shown[i].first, shown[j].first};
            if (pair == std::set<int>{IDC_REFRESH_DEVICES, IDC_LIVE_VIDEO})
                continue;
            RECT common{};
            if (::IntersectRect(&common, &shown[i].second, &shown[j].second))
                overlaps.emplace_back(shown[i].first, shown[j].first);
        }
    return overlaps;
}

TEST_F(BrevicamDlgTest, NoShownControlCoversAnother)
{
    testing_support::PulseDaemon daemon;
    std::string name = testing_support::PulseDaemon::kSine440Description;
    ASSERT_EQ(SetDevice(name.data()), 0);
    CBrevicamDlg& dlg = Dialog();
    using Overlaps = std::vector<std::pair<int, int>>;
    // Live picture, microphone not muted: the mute button and the level bar are shown.
    ASSERT_TRUE(Visible(IDC_MUTE));
    EXPECT_EQ(OverlappingControls(dlg.GetHwnd()), Overlaps{});
    // Muted: the unmute button takes the mute button's place.
    ::SendMessage(dlg.GetHwnd(), WM_COMMAND, MAKEWPARAM(IDC_MUTE, BN_CLICKED),
                  reinterpret_cast<LPARAM>(Item(IDC_MUTE)));
    ASSERT_TRUE(Visible(IDC_UNMUTE));
    EXPECT_EQ(OverlappingControls(dlg.GetHwnd()), Overlaps{});
    // No camera: the refresh button is shown too.
    Controller().StopPreview();
    Controller().m_pVideoState->SetState(VS_MISSING);
    ASSERT_TRUE(Visible(IDC_REFRESH_DEVICES));
    EXPECT_EQ(OverlappingControls(dlg.GetHwnd()), Overlaps{});

    m_dlg.reset();
    SetVolumeMute(0);
    CloseAudioDevice();
}

TEST_F(BrevicamDlgTest, LivePictureArrivesInTheSurface)
{
    CBrevicamDlg& dlg = Dialog();
    ASSERT_EQ(Controller().m_pVideoState->GetState(), VS_RUNNING);
    const HWND surface = Item(IDC_LIVE_VIDEO);
    const bool coloured = controls_test::PumpUntil(
        [&]
        {
            const QImage image = platform::window::ClientImage(surface);
            std::set<QRgb> colours;
            for (int y = 0; y < image.height(); y += 16)
                for (int x = 0; x < image.width(); x += 16)
                    colours.insert(image.pixel(x, y));
            return colours.size() > 4;
        },
        kEventLimitMs);
    EXPECT_TRUE(coloured) << "the camera's bars never reached the surface";
    EXPECT_EQ(Controller().m_graph.GetRenderer() != nullptr, true);
    (void)dlg;
}

// State display --------------------------------------------------------------------------------------

struct ProgramStateCase
{
    const char* name;
    EProgState state;
    const char* status; ///< the status line afterwards; null: unchanged
};

void PrintTo(const ProgramStateCase& value, std::ostream* os)
{
    *os << value.name;
}

class ProgramStateDisplayTest : public BrevicamDlgTest, public testing::WithParamInterface<ProgramStateCase>
{
};

TEST_P(ProgramStateDisplayTest, StatusLineFollowsTheState)
{
    Dialog();
    // A new message notifies the current state (ready) first.
    Controller().m_pProgState->SetMessage("camera / microphone");
    ::SetWindowText(Item(IDC_STATUS_LINE), "before");
    Controller().m_pProgState->SetState(GetParam().state);
    const std::string expected = GetParam().status ? GetParam().status : "before";
    EXPECT_EQ(Text(Item(IDC_STATUS_LINE)), expected);
    // Whatever the state, the state message shows the subject's text.
    EXPECT_EQ(Text(Item(IDC_STATE_MESSAGE)), "camera / microphone");
}

INSTANTIATE_TEST_SUITE_P(
    States, ProgramStateDisplayTest,
    testing::Values(ProgramStateCase{"Ready", PS_READY, ""}, ProgramStateCase{"Initial", PS_INITIAL, ""},
                    ProgramStateCase{"DeviceChanged", PS_DEVICE_CHANGED, "Applying settings... Please wait."},
                    ProgramStateCase{"DeviceReselected", PS_DEVICE_RESELECTED,
                                     "Device detected. Please Wait!"},
                    ProgramStateCase{"RendererFailed", PS_VMR_FAILED, ""},
                    ProgramStateCase{"Recording", PS_RECORDING, nullptr},
                    ProgramStateCase{"ModeChanged", PS_MODE_CHANGED, nullptr}),
    [](const testing::TestParamInfo<ProgramStateCase>& info) { return std::string(info.param.name); });

TEST_F(BrevicamDlgTest, ButtonsFollowAScriptedSequenceOfVideoStates)
{
    Dialog();
    struct Step
    {
        EVideoState state;
        bool live; ///< the live buttons enabled, the refresh button hidden
        bool capture;
    };
    const Step steps[] = {
        {VS_MISSING, false, false},   {VS_RUNNING, true, true}, {VS_IN_USE, false, false},
        {VS_RUNNING, true, true},     {VS_LOST, false, false},  {VS_RUNNING, true, true},
        {VS_RES_CHANGE, false, true},
    };
    for (const Step& step : steps)
    {
        SCOPED_TRACE(testing::Message() << "video state " << step.state);
        Controller().m_pVideoState->SetState(step.state);
        EXPECT_EQ(Enabled(IDC_CAPTURE_WINDOW), step.capture);
        for (int id : {IDC_VIDEO_SETTINGS, IDC_AUDIO_SETTINGS, IDC_FULLSCREEN})
            EXPECT_EQ(Enabled(id), step.live) << id;
        if (step.state != VS_RES_CHANGE)
        {
            EXPECT_EQ(Visible(IDC_REFRESH_DEVICES), !step.live);
        }
        if (!step.live)
        {
            EXPECT_FALSE(Enabled(IDC_MUTE));
            EXPECT_FALSE(Enabled(IDC_UNMUTE));
        }
    }
    // A renderer failure disables the live buttons whatever the video state.
    Controller().m_pVideoState->SetState(VS_RUNNING);
    Controller().m_pProgState->SetState(PS_VMR_FAILED);
    for (int id :
         {IDC_CAPTURE_WINDOW, IDC_VIDEO_SETTINGS, IDC_AUDIO_SETTINGS, IDC_FULLSCREEN, IDC_MUTE, IDC_UNMUTE})
        EXPECT_FALSE(Enabled(id)) << id;
}

TEST_F(BrevicamDlgTest, RepaintAfterASurfacePaintDoesNotPaintTheSurfaceAgain)
{
    CBrevicamDlg& dlg = Dialog();
    // Without a picture coming in, the surface paints only when something asks it to.
    Controller().StopPreview();
    // What the running picture left to do is done first.
    ASSERT_TRUE(
        controls_test::PumpUntil([] { return platform::window::PumpPendingMessages() == 0; }, kEventLimitMs));
    ::InvalidateRect(Item(IDC_LIVE_VIDEO), nullptr, TRUE);
    ASSERT_TRUE(PumpUntilHandled(dlg.GetHwnd(), WM_LIVE_VIDEO_PAINTED));
    // Surface and window painting each other in turn would never let the queue run dry.
    int painted = 1;
    MSG msg;
    while (painted <= 3 && ::PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
    {
        if (msg.hwnd == dlg.GetHwnd() && msg.message == WM_LIVE_VIDEO_PAINTED)
            ++painted;
        ::DispatchMessage(&msg);
    }
    EXPECT_LE(painted, 3);
}

TEST_F(BrevicamDlgTest, DiskFullBoxWaitsUntilTheNotificationHasReturned)
{
    Dialog();
    platform::zorneth::SetScriptedAnswers({IDOK});
    Controller().m_pProgState->SetState(PS_DISK_FULL);
    EXPECT_TRUE(platform::zorneth::ScriptedBoxes().empty());
    ASSERT_TRUE(
        controls_test::PumpUntil([] { return !platform::zorneth::ScriptedBoxes().empty(); }, kEventLimitMs));
    // Whatever was still queued asks nothing more.
    platform::window::PumpPendingMessages();
    const auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "You don't have enough free space on your hard drive. The capture will stop.");
    EXPECT_EQ(boxes[0].Caption, "Brevicam");
}

TEST_F(BrevicamDlgTest, AFailingHandlerBecomesTheStateMessage)
{
    CBrevicamDlg& dlg = Dialog();
    EXPECT_FALSE(dlg.Guarded([] { throw std::runtime_error("the graph went away"); }));
    EXPECT_EQ(Text(Item(IDC_STATE_MESSAGE)), "the graph went away");
    EXPECT_TRUE(dlg.Guarded([] {}));
}

TEST_F(BrevicamDlgTest, ObserversLeaveWithTheWindow)
{
    CBrevicamDlg& dlg = Dialog();
    dlg.DestroyWindow();
    m_dlg.reset();
    // Notifications after the window and the object are gone reach nobody.
    Controller().m_pVideoState->SetState(VS_MISSING);
    Controller().m_pProgState->SetState(PS_READY);
    SUCCEED();
}

TEST_F(BrevicamDlgTest, MuteAndUnmuteFollowTheMicrophone)
{
    // The audio library's engine is built by its first call, once this private sound server runs.
    testing_support::PulseDaemon daemon;
    std::string name = testing_support::PulseDaemon::kSine440Description;
    ASSERT_EQ(SetDevice(name.data()), 0);
    CBrevicamDlg& dlg = Dialog();
    ASSERT_TRUE(IsMuteAvailable());
    EXPECT_TRUE(Visible(IDC_MUTE));
    EXPECT_FALSE(Visible(IDC_UNMUTE));

    ::SendMessage(dlg.GetHwnd(), WM_COMMAND, MAKEWPARAM(IDC_MUTE, BN_CLICKED),
                  reinterpret_cast<LPARAM>(Item(IDC_MUTE)));
    EXPECT_TRUE(daemon.SourceMuted(testing_support::PulseDaemon::kSine440));
    EXPECT_FALSE(Visible(IDC_MUTE));
    EXPECT_TRUE(Visible(IDC_UNMUTE));
    EXPECT_TRUE(Enabled(IDC_UNMUTE));

    ::SendMessage(dlg.GetHwnd(), WM_COMMAND, MAKEWPARAM(IDC_UNMUTE, BN_CLICKED),
                  reinterpret_cast<LPARAM>(Item(IDC_UNMUTE)));
    EXPECT_FALSE(daemon.SourceMuted(testing_support::PulseDaemon::kSine440));
    EXPECT_TRUE(Visible(IDC_MUTE));
    EXPECT_FALSE(Visible(IDC_UNMUTE));

    // Muted by another program: the level timer's next ticks show it.
    ASSERT_EQ(daemon.Pactl({"set-source-mute", testing_support::PulseDaemon::kSine440, "1"}), 0);
    EXPECT_TRUE(
        controls_test::PumpUntil([&] { return Visible(IDC_UNMUTE) && !Visible(IDC_MUTE); }, kEventLimitMs));

    m_dlg.reset();
    Controller().StopPreview();
    SetVolumeMute(0);
    CloseAudioDevice();
}

// Clicks with a microphone present ----------------------------------------------------------------------

struct ButtonClickCase
{
    const char* name;
    int id;
    /// Brings the button on the screen when it is not there with live video and a microphone.
    void (*prepare)(CBrevicamDlg& dlg, CCaptureController& controller);
};

void PrintTo(const ButtonClickCase& value, std::ostream* os)
{
    *os << value.name;
}

class ButtonClickTest : public BrevicamDlgTest, public testing::WithParamInterface<ButtonClickCase>
{
};

/// Cancels the camera-controls dialog that a click opened.
void CancelCameraControls(HWND, UINT, UINT_PTR id, DWORD)
{
    if (HWND dialog = GetOpenCameraControls())
    {
        KillTimer(nullptr, id);
        ::SendMessage(dialog, WM_COMMAND, IDCANCEL, 0);
    }
}

/// Keeps ending the audio settings dialog that a click opens, for as long as it lives.
class AudioSettingsCanceller
{
public:
    explicit AudioSettingsCanceller(bool wanted)
        : m_timer(wanted
                      ? ::SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) { CloseVolumeDialog(); })
                      : 0)
    {
    }
    ~AudioSettingsCanceller()
    {
        if (m_timer)
            ::KillTimer(nullptr, m_timer);
    }
    AudioSettingsCanceller(const AudioSettingsCanceller&) = delete;
    AudioSettingsCanceller& operator=(const AudioSettingsCanceller&) = delete;

private:
    UINT_PTR m_timer;
};

/// What a timer saw of the About box the main window ran, which it then closed.
struct AboutSighting
{
    HWND main = nullptr;
    bool shown = false;
    bool mainDisabled = false;
};
AboutSighting g_aboutSighting;

void CALLBACK SightAndCloseAbout(HWND, UINT, UINT_PTR id, DWORD)
{
    const HWND about = media_test::ShownWindowWithControl(IDC_ABOUT_CAPTION);
    if (!about)
        return;
    g_aboutSighting.shown = true;
    g_aboutSighting.mainDisabled = !::IsWindowEnabled(g_aboutSighting.main);
    ::PostMessage(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ::KillTimer(nullptr, id);
}

// Clicking gives the button the focus first; several buttons then hide themselves (mute and unmute swap,
// the refresh button goes with the returning picture) or close the window.
TEST_P(ButtonClickTest, ClickedButtonLeavesTheWindowWorking)
{
    testing_support::PulseDaemon daemon;
    std::string name = testing_support::PulseDaemon::kSine440Description;
    ASSERT_EQ(SetDevice(name.data()), 0);
    bool clicked = false;
    bool answered = false;
    HWND focusAfter = nullptr;
    const INT_PTR result = RunModal(
        [&](CBrevicamDlg& dlg)
        {
            ASSERT_TRUE(IsMuteAvailable());
            if (GetParam().prepare)
                GetParam().prepare(dlg, Controller());
            const HWND button = Item(GetParam().id);
            ASSERT_TRUE(::IsWindowVisible(button));
            ASSERT_TRUE(::IsWindowEnabled(button));
            if (GetParam().id == IDC_VIDEO_SETTINGS)
                ::SetTimer(nullptr, 0, 50, &CancelCameraControls);
            const AudioSettingsCanceller canceller(GetParam().id == IDC_AUDIO_SETTINGS);
            if (GetParam().id == IDC_ABOUT)
            {
                g_aboutSighting = {dlg.GetHwnd()};
                ::SetTimer(nullptr, 0, 50, &SightAndCloseAbout);
            }
            RECT client{};
            ::GetClientRect(button, &client);
            controls_test::Click(button, QPoint(client.right / 2, client.bottom / 2));
            clicked = true;
            if (!::IsWindow(dlg.GetHwnd()))
                return;
            // The window still answers, and the focus is on nothing the user cannot reach.
            answered = controls_test::PumpUntil(
                [&] { return ::SendMessage(dlg.GetHwnd(), WM_GETDLGCODE, 0, 0) >= 0; }, kEventLimitMs);
            PumpMessages(200);
            focusAfter = ::GetFocus();
            if (focusAfter)
            {
                EXPECT_TRUE(::IsWindowVisible(focusAfter)) << "focus on a hidden window";
                EXPECT_TRUE(::IsWindowEnabled(focusAfter)) << "focus on a disabled window";
            }
            if (GetParam().id != IDC_CLOSE_APP)
                dlg.CloseApplication();
        });
    EXPECT_TRUE(clicked);
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(answered || GetParam().id == IDC_CLOSE_APP);
    Controller().StopPreview();
    SetVolumeMute(0);
    CloseAudioDevice();
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, ButtonClickTest,
    testing::Values(
        ButtonClickCase{"Mute", IDC_MUTE, nullptr},
        ButtonClickCase{"Unmute", IDC_UNMUTE,
                        [](CBrevicamDlg& dlg, CCaptureController&)
                        {
                            ::SendMessage(dlg.GetHwnd(), WM_COMMAND, MAKEWPARAM(IDC_MUTE, BN_CLICKED),
                                          reinterpret_cast<LPARAM>(::GetDlgItem(dlg.GetHwnd(), IDC_MUTE)));
                        }},
        ButtonClickCase{"Refresh", IDC_REFRESH_DEVICES,
                        [](CBrevicamDlg&, CCaptureController& controller)
                        {
                            controller.StopPreview();
                            controller.m_pVideoState->SetState(VS_MISSING);
                        }},
        ButtonClickCase{"CaptureWindow", IDC_CAPTURE_WINDOW, nullptr},
        ButtonClickCase{"VideoSettings", IDC_VIDEO_SETTINGS, nullptr},
        ButtonClickCase{"AudioSettings", IDC_AUDIO_SETTINGS, nullptr},
        ButtonClickCase{"FullScreen", IDC_FULLSCREEN, nullptr}, ButtonClickCase{"About", IDC_ABOUT, nullptr},
        ButtonClickCase{"Minimize", IDC_MINIMIZE, nullptr}, ButtonClickCase{"Close", IDC_CLOSE_APP, nullptr}),
    [](const testing::TestParamInfo<ButtonClickCase>& info) { return std::string(info.param.name); });

// Looks after a click -------------------------------------------------------------------------------

struct ButtonLookCase
{
    const char* name;
    int id;
};

void PrintTo(const ButtonLookCase& value, std::ostream* os)
{
    *os << value.name;
}

class ButtonLookTest : public BrevicamDlgTest, public testing::WithParamInterface<ButtonLookCase>
{
};

// A button's hover and pressed faces are its answer to the pointer; once its click is done (a dialog it
// opened has closed, the window it minimised is back) and the pointer is elsewhere, it looks as before.
TEST_P(ButtonLookTest, PushButtonLooksAsBeforeOnceItsClickIsDone)
{
    CBrevicamDlg& dlg = Dialog();
    const HWND button = Item(GetParam().id);
    ASSERT_TRUE(::IsWindowVisible(button));
    ASSERT_TRUE(::IsWindowEnabled(button));
    const QPoint background(5, 300);
    controls_test::Mouse(dlg.GetHwnd(), QEvent::MouseMove, background, Qt::NoButton);
    const QImage before = controls_test::Grab(button);

    if (GetParam().id == IDC_VIDEO_SETTINGS)
        ::SetTimer(nullptr, 0, 50, &CancelCameraControls);
    const AudioSettingsCanceller canceller(GetParam().id == IDC_AUDIO_SETTINGS);
    if (GetParam().id == IDC_ABOUT)
    {
        g_aboutSighting = {dlg.GetHwnd()};
        ::SetTimer(nullptr, 0, 50, &SightAndCloseAbout);
    }
    RECT client{};
    ::GetClientRect(button, &client);
    controls_test::Click(button, QPoint(client.right / 2, client.bottom / 2));
    if (::IsIconic(dlg.GetHwnd()))
        ::SendMessage(dlg.GetHwnd(), WM_SYSCOMMAND, SC_RESTORE, 0);
    PumpMessages(100);
    controls_test::Mouse(dlg.GetHwnd(), QEvent::MouseMove, background, Qt::NoButton);

    EXPECT_EQ(::SendMessage(button, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "a push button never stays checked";
    EXPECT_TRUE(controls_test::Grab(button) == before) << "the button kept its hover or pressed face";
    Controller().StopPreview();
}

INSTANTIATE_TEST_SUITE_P(Buttons, ButtonLookTest,
                         testing::Values(ButtonLookCase{"VideoSettings", IDC_VIDEO_SETTINGS},
                                         ButtonLookCase{"AudioSettings", IDC_AUDIO_SETTINGS},
                                         ButtonLookCase{"FullScreen", IDC_FULLSCREEN},
                                         ButtonLookCase{"About", IDC_ABOUT},
                                         ButtonLookCase{"Minimize", IDC_MINIMIZE}),
                         [](const testing::TestParamInfo<ButtonLookCase>& info)
                         { return std::string(info.param.name); });

TEST_F(BrevicamDlgTest, MinimiseButtonTakesTheWholeSkinOffTheScreenAndRestoringBringsItBack)
{
    CBrevicamDlg& dlg = Dialog();
    const HWND window = dlg.GetHwnd();
    const HWND background = dlg.GetLayeredWindow();
    ASSERT_NE(background, nullptr);
    RECT before{};
    ::GetWindowRect(window, &before);
    ASSERT_TRUE(controls_test::ShowsOnScreen(window));
    ASSERT_TRUE(controls_test::ShowsOnScreen(background));

    RECT client{};
    ::GetClientRect(Item(IDC_MINIMIZE), &client);
    controls_test::Click(Item(IDC_MINIMIZE), QPoint(client.right / 2, client.bottom / 2));
    PumpMessages(100);
    EXPECT_TRUE(::IsIconic(window));
    EXPECT_FALSE(controls_test::ShowsOnScreen(window));
    EXPECT_FALSE(controls_test::ShowsOnScreen(background)) << "the skin's translucent background stayed";

    ::SendMessage(window, WM_SYSCOMMAND, SC_RESTORE, 0);
    PumpMessages(100);
    EXPECT_FALSE(::IsIconic(window));
    RECT after{};
    ::GetWindowRect(window, &after);
    EXPECT_TRUE(::EqualRect(&after, &before));
    RECT shown{};
    ::GetWindowRect(background, &shown);
    EXPECT_TRUE(::EqualRect(&shown, &before));
    EXPECT_TRUE(controls_test::ShowsOnScreen(window));
    EXPECT_TRUE(controls_test::ShowsOnScreen(background));
    Controller().StopPreview();
}

// Refresh and microphone ----------------------------------------------------------------------------

TEST_F(BrevicamDlgTest, RefreshWithoutAnyCameraLeavesTheWebcamMissing)
{
    Dialog();
    Controller().StopPreview();
    m_cameras.clear();
    ::SendMessage(m_dlg->GetHwnd(), WM_COMMAND, MAKEWPARAM(IDC_REFRESH_DEVICES, BN_CLICKED),
                  reinterpret_cast<LPARAM>(Item(IDC_REFRESH_DEVICES)));
    EXPECT_EQ(Controller().m_pVideoState->GetState(), VS_MISSING);
    EXPECT_TRUE(Visible(IDC_REFRESH_DEVICES));
    EXPECT_FALSE(Enabled(IDC_CAPTURE_WINDOW));
    // The wait cursor went with the refresh.
    EXPECT_NE(GetCursor(), LoadCursor(nullptr, IDC_WAIT));
}

TEST_F(BrevicamDlgTest, RefreshFindsThePluggedCameraAgain)
{
    Dialog();
    Controller().StopPreview();
    Controller().m_pVideoState->SetState(VS_MISSING);
    ::SendMessage(m_dlg->GetHwnd(), WM_COMMAND, MAKEWPARAM(IDC_REFRESH_DEVICES, BN_CLICKED),
                  reinterpret_cast<LPARAM>(Item(IDC_REFRESH_DEVICES)));
    EXPECT_EQ(Controller().m_pVideoState->GetState(), VS_RUNNING);
    EXPECT_EQ(Controller().m_pProgState->GetState(), PS_READY);
    EXPECT_FALSE(Visible(IDC_REFRESH_DEVICES));
    EXPECT_EQ(Text(Item(IDC_STATUS_LINE)), "");
    EXPECT_EQ(::SendMessage(Item(IDC_CAPTURE_WINDOW), BM_GETCHECK, 0, 0), 1);
}

TEST_F(BrevicamDlgTest, RefreshWithTheCameraBusyShowsItInUse)
{
    Dialog();
    Controller().StopPreview();
    for (auto& camera : m_cameras)
        camera->SetBusy(true);
    ::SendMessage(m_dlg->GetHwnd(), WM_COMMAND, MAKEWPARAM(IDC_REFRESH_DEVICES, BN_CLICKED),
                  reinterpret_cast<LPARAM>(Item(IDC_REFRESH_DEVICES)));
    EXPECT_EQ(Controller().m_pVideoState->GetState(), VS_IN_USE);
    EXPECT_EQ(Controller().m_pProgState->GetState(), PS_READY);
    EXPECT_FALSE(Controller().m_graph.IsBuilt());
}

TEST_F(BrevicamDlgTest, MicrophoneWaitGivesUpAfterTenRetries)
{
    CBrevicamDlg& dlg = Dialog();
    // No microphone bears the brand word here: every tick but the last starts the timer again.
    for (int tick = 1; tick <= 11; ++tick)
        ::SendMessage(dlg.GetHwnd(), CBrevicamDlg::WM_MIC_WAIT_TICK, 0, 0);
    EXPECT_EQ(CBrevicamDlgTestAccess::MicWaitRetries(dlg), 10);
    ::SendMessage(dlg.GetHwnd(), CBrevicamDlg::WM_MIC_WAIT_TICK, 0, 0);
    EXPECT_EQ(CBrevicamDlgTestAccess::MicWaitRetries(dlg), 10);
}

struct WaitedMicrophoneCase
{
    const char* name;
    const char* description;
    bool taken;
};

void PrintTo(const WaitedMicrophoneCase& value, std::ostream* os)
{
    *os << value.name;
}

class MicrophoneWaitTest : public BrevicamDlgTest, public testing::WithParamInterface<WaitedMicrophoneCase>
{
};

TEST_P(MicrophoneWaitTest, AMicrophoneBearingTheBrandWordIsTaken)
{
    testing_support::PulseDaemon daemon;
    CBrevicamDlg& dlg = Dialog();
    const std::string arguments =
        std::string("source_name=waited_mic master=") + testing_support::PulseDaemon::kTone1000Sink +
        ".monitor rate=44100 channels=1 channel_map=mono master_channel_map=front-left"
        " remix=no source_properties='device.description=\"" +
        GetParam().description + "\"'";
    ASSERT_GE(daemon.LoadModule("module-remap-source", arguments), 0);
    PumpMessages(500);

    ::SendMessage(dlg.GetHwnd(), CBrevicamDlg::WM_MIC_WAIT_TICK, 0, 0);
    const CString chosen = Controller().m_graph.GetAudioDevices().GetSelectedName();
    if (GetParam().taken)
    {
        EXPECT_EQ(chosen.Str(), GetParam().description);
        EXPECT_EQ(CBrevicamDlgTestAccess::MicWaitRetries(dlg), 0);
        EXPECT_EQ(Controller().m_pVideoState->GetState(), VS_RUNNING);
    }
    else
    {
        EXPECT_NE(chosen.Str(), GetParam().description);
        EXPECT_EQ(CBrevicamDlgTestAccess::MicWaitRetries(dlg), 1);
    }
    m_dlg.reset();
    Controller().StopPreview();
}

INSTANTIATE_TEST_SUITE_P(Names, MicrophoneWaitTest,
                         testing::Values(WaitedMicrophoneCase{"BrandWord", "Tavisk Vistrel Microphone", true},
                                         WaitedMicrophoneCase{"OtherLetterCase", "tavisk vistrel microphone",
                                                              false}),
                         [](const testing::TestParamInfo<WaitedMicrophoneCase>& info)
                         { return std::string(info.param.name); });

// The Arabic language library ----------------------------------------------------------------------------

TEST_F(BrevicamDlgTest, WithTheArabicLibraryTheMainWindowIsLaidOutFromTheRight)
{
    // What the application object does for the language "ARA": every resource comes from its library.
    const auto path = testing_support::BinaryDir() / "bin" / "brevicam-ARA.so";
    HMODULE arabic = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(arabic, nullptr) << path;
    const HINSTANCE own = AfxGetResourceHandle();
    CBrevicamDlg& plain = Dialog();
    EXPECT_FALSE(plain.GetExStyle() & WS_EX_LAYOUTRTL);
    const int ids[] = {IDC_MINIMIZE,       IDC_CLOSE_APP,        IDC_LIVE_VIDEO, IDC_CAPTURE_WINDOW,
                       IDC_AUDIO_SETTINGS, IDC_VOLUME_INDICATOR, IDC_VERSION};
    std::map<int, RECT> left;
    for (int id : ids)
        left[id] = PlaceOf(id);
    m_dlg.reset();

    AfxSetResourceHandle(arabic);
    CBrevicamDlg& mirrored = Dialog();
    AfxSetResourceHandle(own);
    EXPECT_TRUE(mirrored.GetExStyle() & WS_EX_LAYOUTRTL);
    RECT client;
    ::GetClientRect(mirrored.GetHwnd(), &client);
    for (int id : ids)
    {
        // The same places, counted from the right edge.
        const RECT place = PlaceOf(id);
        EXPECT_EQ(place.left, left[id].left) << id;
        EXPECT_EQ(place.top, left[id].top) << id;
        QWidget* shown = platform::window::HostWidgetOf(Item(id));
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->x(), client.right - place.right) << id;
    }
    m_dlg.reset();
    ::FreeLibrary(arabic);
}

// The audio settings dialog ------------------------------------------------------------------------------

namespace
{
/// The audio library's settings dialog when one is on the screen: the window with its volume trackbar.
HWND AudioSettingsDialog()
{
    HWND found = nullptr;
    ::EnumWindows(
        [](HWND hwnd, LPARAM result) -> BOOL
        {
            HWND slider = ::GetDlgItem(hwnd, 1003);
            char cls[64] = {};
            if (slider && ::GetClassName(slider, cls, sizeof cls) &&
                std::string(cls) == "msctls_trackbar32" && ::IsWindowVisible(hwnd))
            {
                *reinterpret_cast<HWND*>(result) = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

/// What runs inside the audio settings dialog once it is on the screen (on a timer of this thread).
std::function<void(HWND)> g_audioDialogStep;

void RunAudioDialogStep(HWND, UINT, UINT_PTR id, DWORD)
{
    if (HWND dialog = AudioSettingsDialog())
    {
        ::KillTimer(nullptr, id);
        if (g_audioDialogStep)
            g_audioDialogStep(dialog);
    }
}

/// Clicks the main window's audio settings button; `step` runs inside the dialog once it is on the screen.
/// Returns once the dialog has ended.
void ClickAudioSettings(HWND mainWindow, std::function<void(HWND)> step)
{
    g_audioDialogStep = std::move(step);
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &RunAudioDialogStep);
    ::SendMessage(mainWindow, WM_COMMAND, MAKEWPARAM(IDC_AUDIO_SETTINGS, BN_CLICKED),
                  reinterpret_cast<LPARAM>(::GetDlgItem(mainWindow, IDC_AUDIO_SETTINGS)));
    ::KillTimer(nullptr, timer);
    g_audioDialogStep = nullptr;
}
} // namespace

TEST_F(BrevicamDlgTest, AudioSettingsButtonOpensTheDialogAndTheChosenMicrophoneRecords)
{
    testing_support::PulseDaemon daemon;
    CBrevicamDlg& dlg = Dialog();
    CCaptureGraph& graph = Controller().m_graph;
    const CString before = graph.GetAudioDevices().GetSelectedName();
    ASSERT_FALSE(before.IsEmpty());
    std::string preselected;
    const std::string wanted = testing_support::PulseDaemon::kSine1000Description;
    ClickAudioSettings(dlg.GetHwnd(),
                       [&](HWND dialog)
                       {
                           // The microphone in use is preselected; the user picks another and confirms.
                           const HWND chooser = ::GetDlgItem(dialog, 1010);
                           char text[256] = {};
                           ::GetWindowText(chooser, text, sizeof text);
                           preselected = text;
                           const auto count = static_cast<int>(::SendMessage(chooser, CB_GETCOUNT, 0, 0));
                           for (int entry = 0; entry < count; ++entry)
                           {
                               char name[256] = {};
                               ::SendMessage(chooser, CB_GETLBTEXT, static_cast<WPARAM>(entry),
                                             reinterpret_cast<LPARAM>(name));
                               if (wanted == name)
                                   ::SendMessage(chooser, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
                           }
                           ::SendMessage(dialog, WM_COMMAND, MAKEWPARAM(1010, CBN_SELCHANGE),
                                         reinterpret_cast<LPARAM>(chooser));
                           ::SendMessage(dialog, WM_COMMAND, IDOK, 0);
                       });
    EXPECT_EQ(preselected, before.Str());
    EXPECT_EQ(graph.GetAudioDevices().GetSelectedName().Str(), wanted);
    m_dlg.reset();
    Controller().StopPreview();
    CloseAudioDevice();
}

TEST_F(BrevicamDlgTest, TheAudioSettingsDialogOpensWholeWithinTheWorkArea)
{
    testing_support::PulseDaemon daemon;
    CBrevicamDlg& dlg = Dialog();
    // The main window in the top-left corner of the screen.
    dlg.SetWindowPos(nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    CRect placed;
    ClickAudioSettings(dlg.GetHwnd(),
                       [&](HWND dialog)
                       {
                           ::GetWindowRect(dialog, &placed);
                           ::SendMessage(dialog, WM_COMMAND, IDCANCEL, 0);
                       });
    CRect work;
    ASSERT_TRUE(::SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0));
    ASSERT_FALSE(placed.IsRectEmpty());
    EXPECT_GE(placed.left, work.left);
    EXPECT_GE(placed.top, work.top);
    EXPECT_LE(placed.right, work.right);
    EXPECT_LE(placed.bottom, work.bottom);
    m_dlg.reset();
    Controller().StopPreview();
    CloseAudioDevice();
}

TEST_F(BrevicamDlgTest, LosingTheCameraClosesTheAudioSettingsDialog)
{
    testing_support::PulseDaemon daemon;
    CBrevicamDlg& dlg = Dialog();
    bool shown = false;
    ClickAudioSettings(dlg.GetHwnd(),
                       [&](HWND)
                       {
                           shown = true;
                           Controller().m_pVideoState->SetState(VS_LOST);
                       });
    EXPECT_TRUE(shown);
    EXPECT_EQ(AudioSettingsDialog(), nullptr);
    EXPECT_FALSE(Enabled(IDC_AUDIO_SETTINGS));
    m_dlg.reset();
    Controller().StopPreview();
    CloseAudioDevice();
}

namespace
{
/// The audio settings dialog that should have ended, and whether it had to be closed by the test.
HWND g_dialogToEnd = nullptr;
bool g_dialogLeftOpen = false;

void CloseDialogLeftOpen(HWND, UINT, UINT_PTR id, DWORD)
{
    ::KillTimer(nullptr, id);
    if (::IsWindow(g_dialogToEnd))
    {
        g_dialogLeftOpen = true;
        ::PostMessage(g_dialogToEnd, WM_COMMAND, IDCANCEL, 0);
    }
}
} // namespace

TEST_F(BrevicamDlgTest, EndOfSessionClosesTheAudioSettingsDialog)
{
    testing_support::PulseDaemon daemon;
    CBrevicamDlg& dlg = Dialog();
    g_dialogLeftOpen = false;
    UINT_PTR fallback = 0;
    ClickAudioSettings(dlg.GetHwnd(),
                       [&](HWND dialog)
                       {
                           g_dialogToEnd = dialog;
                           ::SendMessage(dlg.GetHwnd(), WM_ENDSESSION, TRUE, 0);
                           // Left open, the program would never end: the test closes it after a while to
                           // report that instead of hanging.
                           fallback = ::SetTimer(nullptr, 0, 10000, &CloseDialogLeftOpen);
                       });
    if (fallback)
        ::KillTimer(nullptr, fallback);
    EXPECT_NE(g_dialogToEnd, nullptr);
    EXPECT_FALSE(g_dialogLeftOpen);
    EXPECT_EQ(AudioSettingsDialog(), nullptr);
    g_dialogToEnd = nullptr;
    m_dlg.reset();
    Controller().StopPreview();
    CloseAudioDevice();
}

// Timers and system messages ---------------------------------------------------------------------------

TEST_F(BrevicamDlgTest, ResolutionChangeParksTheSurfaceForASecond)
{
    CBrevicamDlg& dlg = Dialog();
    const auto parked = std::chrono::steady_clock::now();
    Controller().m_pVideoState->SetState(VS_RES_CHANGE);
    EXPECT_EQ(PlaceOf(IDC_LIVE_VIDEO).left, -30000);
    EXPECT_EQ(PlaceOf(IDC_LIVE_VIDEO).top, -30000);
    // Nothing before the resolution timer's tick brings the surface back, and the tick comes a second
    // after the change at the earliest.
    bool parkedUntilTheTick = true;
    ASSERT_TRUE(PumpUntilHandled(dlg.GetHwnd(), WM_TIMER, CBrevicamDlg::kResolutionTimer,
                                 [&](const MSG&)
                                 { parkedUntilTheTick &= PlaceOf(IDC_LIVE_VIDEO).left == -30000; }));
    EXPECT_GE(std::chrono::steady_clock::now() - parked, std::chrono::seconds(1));
    EXPECT_TRUE(parkedUntilTheTick);
    EXPECT_EQ(PlaceOf(IDC_LIVE_VIDEO).left, 63);
    EXPECT_EQ(PlaceOf(IDC_LIVE_VIDEO).top, 77);
    EXPECT_EQ(PlaceOf(IDC_LIVE_VIDEO).right - PlaceOf(IDC_LIVE_VIDEO).left, 320);
}

TEST_F(BrevicamDlgTest, DisplayChangeStopsARecording)
{
    Dialog();
    Controller().ToggleRecording(0);
    ASSERT_EQ(Controller().m_pProgState->GetState(), PS_RECORDING);
    ASSERT_TRUE(RecordingHasFrames(m_videos));
    ::SendMessage(m_dlg->GetHwnd(), WM_DISPLAYCHANGE, 32, MAKELPARAM(1024, 768));
    EXPECT_EQ(Controller().m_graph.GetGraphMode(), 0);
    EXPECT_EQ(Controller().m_pProgState->GetState(), PS_READY);
    EXPECT_EQ(FilesIn(m_videos).size(), 1u);
}

TEST_F(BrevicamDlgTest, SuspendOnlyStopsARecording)
{
    CBrevicamDlg& dlg = Dialog();
    Controller().ToggleRecording(0);
    ASSERT_EQ(Controller().m_pProgState->GetState(), PS_RECORDING);
    ASSERT_TRUE(RecordingHasFrames(m_videos));
    ::SendMessage(dlg.GetHwnd(), WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    EXPECT_EQ(Controller().m_pProgState->GetState(), PS_READY);
    EXPECT_EQ(Controller().m_graph.GetGraphMode(), 0);
    EXPECT_TRUE(::IsWindowVisible(dlg.GetHwnd()));
    EXPECT_EQ(FilesIn(m_videos).size(), 1u);
}

TEST_F(BrevicamDlgTest, SuspendOnWindowsVistaEndsTheProgram)
{
    platform::SetOsProfile(platform::OsProfile::Vista);
    const INT_PTR result = RunModal(
        [this](CBrevicamDlg& dlg)
        {
            Controller().ToggleRecording(0);
            PumpMessages(500);
            ::SendMessage(dlg.GetHwnd(), WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
        });
    platform::SetOsProfile(platform::OsProfile::Linux);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(Controller().m_pProgState->GetState(), PS_READY);
    EXPECT_EQ(FilesIn(m_videos).size(), 1u);
}

TEST_F(BrevicamDlgTest, CloseMessageEnterAndEscapeLeaveTheWindowOpen)
{
    CBrevicamDlg& dlg = Dialog();
    ::SendMessage(dlg.GetHwnd(), WM_CLOSE, 0, 0);
    ::SendMessage(dlg.GetHwnd(), WM_COMMAND, IDOK, 0);
    ::SendMessage(dlg.GetHwnd(), WM_COMMAND, IDCANCEL, 0);
    PumpMessages(100);
    EXPECT_TRUE(::IsWindow(dlg.GetHwnd()));
    EXPECT_TRUE(::IsWindowVisible(dlg.GetHwnd()));
    EXPECT_TRUE(Controller().m_graph.IsBuilt());
}

class RestoredWindowTest : public BrevicamDlgTest, public testing::WithParamInterface<int>
{
};

TEST_P(RestoredWindowTest, AWindowAlmostOutsideTheWorkAreaComesBack)
{
    CBrevicamDlg& dlg = Dialog();
    const int overlap = GetParam();
    RECT work{};
    ASSERT_TRUE(SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0));
    ::SetWindowPos(dlg.GetHwnd(), nullptr, work.left - 433 + overlap, work.top + 50, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER);
    ::SendMessage(dlg.GetHwnd(), WM_SYSCOMMAND, SC_RESTORE, 0);
    // The restore is looked at once the system command has returned.
    ASSERT_TRUE(PumpUntilHandled(dlg.GetHwnd(), CBrevicamDlg::WM_BRING_BACK_RESTORED));
    RECT window{};
    ::GetWindowRect(dlg.GetHwnd(), &window);
    if (overlap <= 10)
    {
        EXPECT_EQ(window.left, work.left + 10);
        EXPECT_EQ(window.top, work.top + 100);
    }
    else
    {
        EXPECT_EQ(window.left, work.left - 433 + overlap);
        EXPECT_EQ(window.top, work.top + 50);
    }
}

INSTANTIATE_TEST_SUITE_P(Overlaps, RestoredWindowTest, testing::Values(10, 11));

struct UpdateCountCase
{
    const char* name;
    int index;
    bool dateToday;
    int indexAfter;
};

void PrintTo(const UpdateCountCase& value, std::ostream* os)
{
    *os << value.name;
}

class UpdateCountTest : public BrevicamDlgTest, public testing::WithParamInterface<UpdateCountCase>
{
};

TEST_P(UpdateCountTest, StartsAreCountedUntilACheckIsDue)
{
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_UpdateAtStart = 1;
        g_params.m_NoUpdateIndex = GetParam().index;
        g_params.m_LastUpdateDate = GetParam().dateToday ? Today().c_str() : "2026131";
    }
    Dialog();
    // The count is taken by a message the window posts itself once its creation has returned.
    controls_test::PumpUntil(
        [&]
        {
            CSingleLock lock(&g_params.m_cs, TRUE);
            return g_params.m_NoUpdateIndex == GetParam().indexAfter &&
                   std::string(g_params.m_LastUpdateDate.GetString()) == Today();
        },
        kEventLimitMs);
    CSingleLock lock(&g_params.m_cs, TRUE);
    EXPECT_EQ(g_params.m_NoUpdateIndex, GetParam().indexAfter);
    EXPECT_EQ(std::string(g_params.m_LastUpdateDate.GetString()), Today());
}

INSTANTIATE_TEST_SUITE_P(Counts, UpdateCountTest,
                         testing::Values(UpdateCountCase{"EighthStart", 7, true, 8},
                                         UpdateCountCase{"NinthCountedStartChecks", 9, true, 0},
                                         UpdateCountCase{"TopOfTheRangeChecksInsteadOfOverflowing", INT_MAX,
                                                         true, 0},
                                         UpdateCountCase{"MalformedDateIsReplacedByToday", 3, false, 4},
                                         UpdateCountCase{"NegativeCountCountsAsZero", -5, true, 1}),
                         [](const testing::TestParamInfo<UpdateCountCase>& info)
                         { return std::string(info.param.name); });

TEST_F(BrevicamDlgTest, ADueStartupCheckAsksTheServerOfTheUpdateKeyOutOfView)
{
    testing_support::FtpServer server(testing_support::FtpServer::Kind::Hostile);
    ASSERT_TRUE(server.Started());
    // The server's version is not newer: the check closes by itself.
    server.Put("updates/update", "1.0.0.0\r\nbrevicam-1\r\nbrevicam_1.0.0.0.deb\r\n");
    SetUpdateServer(server.Address(), "updates");
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_UpdateAtStart = 1;
        g_params.m_NoUpdateIndex = 9;
        g_params.m_LastUpdateDate = Today().c_str();
    }
    Dialog();
    auto asked = [&]
    {
        const std::vector<std::string> commands = server.Commands();
        return std::find(commands.begin(), commands.end(), "RETR update") != commands.end();
    };
    EXPECT_TRUE(controls_test::PumpUntil(asked, kEventLimitMs));
    EXPECT_TRUE(
        controls_test::PumpUntil([] { return !::FindWindow(nullptr, "Tavisk WebUpdate"); }, kEventLimitMs));
    CSingleLock lock(&g_params.m_cs, TRUE);
    EXPECT_EQ(g_params.m_NoUpdateIndex, 0);
    EXPECT_EQ(std::string(g_params.m_LastUpdateDate.GetString()), Today());
}

TEST_F(BrevicamDlgTest, WithChecksOffTheStartNeitherCountsNorAsks)
{
    testing_support::FtpServer server(testing_support::FtpServer::Kind::Hostile);
    ASSERT_TRUE(server.Started());
    SetUpdateServer(server.Address(), "updates");
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_UpdateAtStart = 0;
        g_params.m_NoUpdateIndex = 9;
        g_params.m_LastUpdateDate = "20200101";
    }
    m_dlg = std::make_unique<CBrevicamDlg>(&Controller());
    ASSERT_TRUE(m_dlg->Create(CBrevicamDlg::IDD, nullptr));
    m_dlg->ShowWindow(SW_SHOW);
    EXPECT_TRUE(PumpUntilHandled(m_dlg->GetHwnd(), CBrevicamDlg::WM_STARTUP_UPDATE_CHECK));
    EXPECT_TRUE(server.Commands().empty());
    EXPECT_FALSE(::FindWindow(nullptr, "Tavisk WebUpdate"));
    CSingleLock lock(&g_params.m_cs, TRUE);
    EXPECT_EQ(g_params.m_NoUpdateIndex, 9);
    EXPECT_EQ(std::string(g_params.m_LastUpdateDate.GetString()), "20200101");
}

TEST_F(BrevicamDlgTest, TheAboutButtonRunsTheAboutBoxWithTheWindowDisabledUnderIt)
{
    g_aboutSighting = {};
    RunModal(
        [&](CBrevicamDlg& dlg)
        {
            const HWND hwnd = dlg.GetHwnd();
            g_aboutSighting.main = hwnd;
            ::SetTimer(nullptr, 0, 20, SightAndCloseAbout);
            ::SendMessage(hwnd, WM_COMMAND, MAKEWPARAM(IDC_ABOUT, BN_CLICKED),
                          reinterpret_cast<LPARAM>(::GetDlgItem(hwnd, IDC_ABOUT)));
            EXPECT_TRUE(::IsWindowEnabled(hwnd));
            dlg.CloseApplication();
        });
    EXPECT_TRUE(g_aboutSighting.shown);
    EXPECT_TRUE(g_aboutSighting.mainDisabled);
}

struct UpdateAnswerCase
{
    const char* name;
    ULONG_PTR answer;
    int stored;
};

void PrintTo(const UpdateAnswerCase& value, std::ostream* os)
{
    *os << value.name;
}

class UpdateAnswerTest : public BrevicamDlgTest, public testing::WithParamInterface<UpdateAnswerCase>
{
};

TEST_P(UpdateAnswerTest, TheLibrarysAnswerBecomesTheAutomaticCheckSetting)
{
    CBrevicamDlg& dlg = Dialog();
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_UpdateAtStart = 7;
    }
    COPYDATASTRUCT data{};
    data.dwData = 0x30;
    data.lpData = reinterpret_cast<PVOID>(GetParam().answer);
    ::SendMessage(dlg.GetHwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
    CSingleLock lock(&g_params.m_cs, TRUE);
    EXPECT_EQ(g_params.m_UpdateAtStart, GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(Answers, UpdateAnswerTest,
                         testing::Values(UpdateAnswerCase{"Off", 0, 0}, UpdateAnswerCase{"On", 1, 1},
                                         UpdateAnswerCase{"AnyOtherValueIsOn", 5, 1},
                                         UpdateAnswerCase{"HighBitsAloneAreOn", ULONG_PTR{1} << 32, 1}),
                         [](const testing::TestParamInfo<UpdateAnswerCase>& info)
                         { return std::string(info.param.name); });

// Closing -----------------------------------------------------------------------------------------------

enum class CloseRoute
{
    CloseButton,
    SystemMenuClose,
    WindowManagerClose,
    AltF4,
    EndOfSession,
};

void PrintTo(CloseRoute route, std::ostream* os)
{
    *os << static_cast<int>(route);
}

void RequestClose(CBrevicamDlg& dlg, CloseRoute route)
{
    const HWND hwnd = dlg.GetHwnd();
    switch (route)
    {
    case CloseRoute::CloseButton:
        ::SendMessage(hwnd, WM_COMMAND, MAKEWPARAM(IDC_CLOSE_APP, BN_CLICKED),
                      reinterpret_cast<LPARAM>(::GetDlgItem(hwnd, IDC_CLOSE_APP)));
        break;
    case CloseRoute::SystemMenuClose:
        ::SendMessage(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case CloseRoute::WindowManagerClose:
        platform::window::HostWidgetOf(hwnd)->close();
        break;
    case CloseRoute::AltF4:
        ::PostMessage(hwnd, WM_SYSKEYDOWN, VK_F4, LPARAM{1} << 29);
        break;
    case CloseRoute::EndOfSession:
        ::SendMessage(hwnd, WM_ENDSESSION, TRUE, 0);
        break;
    }
}

std::string RouteName(const testing::TestParamInfo<CloseRoute>& info)
{
    static const char* const names[] = {"CloseButton", "SystemMenuClose", "WindowManagerClose", "AltF4",
                                        "EndOfSession"};
    return names[static_cast<int>(info.param)];
}

class CloseRouteTest : public BrevicamDlgTest, public testing::WithParamInterface<CloseRoute>
{
};

TEST_P(CloseRouteTest, ClosingStopsTheRecordingOnceAndEndsTheProgram)
{
    platform::zorneth::SetScriptedAnswers({IDYES});
    const INT_PTR result = RunModal(
        [this](CBrevicamDlg& dlg)
        {
            Controller().ToggleRecording(0);
            ASSERT_EQ(Controller().m_pProgState->GetState(), PS_RECORDING);
            // A recording closed before its first frame leaves no file; this one has frames to keep.
            ASSERT_TRUE(RecordingHasFrames(m_videos));
            RequestClose(dlg, GetParam());
        });
    EXPECT_EQ(result, IDOK);
    const auto boxes = platform::zorneth::ScriptedBoxes();
    // The end of the session asks nothing: nobody would be there to answer.
    if (GetParam() == CloseRoute::EndOfSession)
        EXPECT_TRUE(boxes.empty());
    else
    {
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].Text, "This will end your capture session.\nAre you sure you want to exit?");
    }
    EXPECT_EQ(Controller().m_pProgState->GetState(), PS_READY);
    EXPECT_FALSE(Controller().m_graph.IsBuilt());
    const auto videos = FilesIn(m_videos);
    ASSERT_EQ(videos.size(), 1u);
    EXPECT_GT(fs::file_size(m_videos / videos[0]), 0u);
}

INSTANTIATE_TEST_SUITE_P(Routes, CloseRouteTest,
                         testing::Values(CloseRoute::CloseButton, CloseRoute::SystemMenuClose,
                                         CloseRoute::WindowManagerClose, CloseRoute::AltF4,
                                         CloseRoute::EndOfSession),
                         RouteName);

TEST_F(BrevicamDlgTest, DecliningTheQuestionKeepsTheRecordingRunning)
{
    platform::zorneth::SetScriptedAnswers({IDNO});
    bool stillRunning = false;
    bool recording = false;
    const INT_PTR result = RunModal(
        [&](CBrevicamDlg& dlg)
        {
            Controller().ToggleRecording(0);
            ASSERT_TRUE(RecordingHasFrames(m_videos));
            RequestClose(dlg, CloseRoute::WindowManagerClose);
            PumpMessages(200);
            stillRunning = ::IsWindowVisible(dlg.GetHwnd()) != FALSE;
            recording = Controller().m_pProgState->GetState() == PS_RECORDING;
            platform::zorneth::SetScriptedAnswers({IDYES});
            dlg.CloseApplication();
        });
    EXPECT_TRUE(stillRunning);
    EXPECT_TRUE(recording);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(FilesIn(m_videos).size(), 1u);
}

TEST_F(BrevicamDlgTest, ClosingDuringABurstAsksOnceAndSavesTheSeriesAsOneGif)
{
    platform::zorneth::SetScriptedAnswers({IDYES});
    const INT_PTR result = RunModal(
        [this](CBrevicamDlg& dlg)
        {
            // The camera's model settings were read with the controller.
            SetCamMode(1);
            Controller().Shoot();
            ASSERT_TRUE(Controller().IsBurstRunning());
            Controller().OnBurstTimer();
            Controller().OnBurstTimer();
            ASSERT_TRUE(Controller().IsBurstRunning());
            RequestClose(dlg, CloseRoute::SystemMenuClose);
        });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(platform::zorneth::ScriptedBoxes().size(), 1u);
    EXPECT_FALSE(Controller().IsBurstRunning());
    EXPECT_EQ(FilesIn(m_photos).size(), 2u);
    EXPECT_EQ(FilesIn(GifFolder()).size(), 1u);
}

TEST_F(BrevicamDlgTest, ClosingWithoutACaptureAsksNothing)
{
    const INT_PTR result = RunModal([](CBrevicamDlg& dlg) { RequestClose(dlg, CloseRoute::CloseButton); });
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(platform::zorneth::ScriptedBoxes().empty());
    EXPECT_FALSE(Controller().m_graph.IsBuilt());
}

TEST_F(BrevicamDlgTest, OnWindows7ThePlaceholderStripFollowsTheWindowsCorner)
{
    struct ProfileGuard
    {
        ProfileGuard() { platform::SetOsProfile(platform::OsProfile::Windows7); }
        ~ProfileGuard() { platform::SetOsProfile(platform::OsProfile::Linux); }
    } windows7;
    m_dlg = std::make_unique<CBrevicamDlg>(&Controller());
    m_app->m_pMainWnd = m_dlg.get();
    ASSERT_TRUE(m_dlg->Create(CBrevicamDlg::IDD, nullptr));
    m_dlg->ShowWindow(SW_SHOW);
    PumpMessages(100);

    HWND strip = nullptr;
    EnumWindows(
        [](HWND hwnd, LPARAM out) -> BOOL
        {
            RECT rect{};
            ::GetWindowRect(hwnd, &rect);
            if (::IsWindowVisible(hwnd) && rect.right - rect.left == 2 && rect.bottom - rect.top == 150 &&
                ::GetDlgItem(hwnd, IDOK))
                *reinterpret_cast<HWND*>(out) = hwnd;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&strip));
    ASSERT_NE(strip, nullptr);
    for (const POINT at : {POINT{120, 60}, POINT{300, 200}})
    {
        ::SetWindowPos(m_dlg->GetHwnd(), nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        RECT main{}, place{};
        ::GetWindowRect(m_dlg->GetHwnd(), &main);
        ::GetWindowRect(strip, &place);
        EXPECT_EQ(place.left, main.right - 430);
        EXPECT_EQ(place.bottom, main.bottom - 230);
    }
    m_dlg->DestroyWindow();
    m_app->m_pMainWnd = nullptr;
    EXPECT_FALSE(::IsWindow(strip));
}
