#include "brevicam/ui/CaptureDlg.h"

#include "brevicam/capture/CaptureController.h"
#include "brevicam/core/Params.h"
#include "brevicam/explorer/ShellList.h"
#include "brevicam/media/AskOverWriteDlg.h"
#include "brevicam/media/DllAccessor.h"
#include "brevicam/media/GIFConversionTask.h"
#include "brevicam/ui/BrevicamDlg.h"
#include "brevicam/ui/ResolutionLabels.h"
#include "platform/dshow/FileWriteHook.h"
#include "platform/ostrago/Ostrago.h"
#include "platform/session/WtsApi.h"
#include "platform/window/QtHost.h"
#include "platform/window/WinApp.h"
#include "platform/zorneth/Zorneth.h"
#include "resources/brevicam/resource.h"
#include "tests/capture/CaptureTestSupport.h"
#include "tests/controls/ControlsTestSupport.h"
#include "tests/media/WindowFinder.h"
#include "tests/support/MailStandIn.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <QImage>
#include <QImageReader>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

using capture_testing::PrepareCaptureSettings;
using capture_testing::PumpMessages;
using controls_test::ComboItems;
using controls_test::PumpUntil;
using platform::VirtualCamera;
using testing_support::FilesIn;
using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::Today;
using testing_support::WriteScript;
namespace fs = std::filesystem;

/// The panel's private parts the tests look at.
class CCaptureDlgTestAccess
{
public:
    static int SelectedRecordingCount(const CCaptureDlg& panel) { return panel.m_nSelectedRecordingCount; }
};

namespace
{
/// Bounds on waits for something that must come; they only matter when it never does.
constexpr int kEventLimitMs = 60000;

std::string Text(HWND hwnd)
{
    char text[512] = {};
    ::GetWindowText(hwnd, text, sizeof text);
    return text;
}

/// The output of a command, empty when it could not run.
std::string Output(const std::string& command)
{
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r"))
    {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        ::pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

/// Distinct colours of an image, up to `limit`.
int DistinctColours(const QImage& image, int limit = 16)
{
    std::set<QRgb> seen;
    for (int y = 0; y < image.height() && static_cast<int>(seen.size()) < limit; y += 7)
        for (int x = 0; x < image.width() && static_cast<int>(seen.size()) < limit; x += 7)
            seen.insert(image.pixel(x, y));
    return static_cast<int>(seen.size());
}

class CaptureDlgTest : public testing::Test
{
protected:
    void SetUp() override
    {
        const capture_testing::CaptureFolders folders = PrepareCaptureSettings(m_dir.Path());
        m_photos = folders.photos;
        m_videos = folders.videos;
        m_app.emplace("QPX_SE");
        m_app->SetRegistryKey("Tavisk");
        {
            CSingleLock lock(&g_params.m_cs, TRUE);
            g_params.m_UpdateAtStart = 0;
            g_params.m_ResWarning = 0;
            g_params.m_BMResWarning = 0;
        }
        CGIFConversionTask::SetFileOpener([](const CString&) {});
        // The settings of each camera outlive a test in the process's settings store: every test starts
        // from photo mode at 640 x 480.
        for (int model : {2, 5, 24, 25})
        {
            const std::string id = std::to_string(model);
            m_app->WriteProfileString("Settings", ("PhotoResolution_" + id).c_str(), "640 x 480");
            m_app->WriteProfileString("Settings", ("VideoResolution_" + id).c_str(), "640 x 480");
            m_app->WriteProfileInt("Settings", ("CamMode_" + id).c_str(), 0);
        }
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
        platform::SetAvailableSpace(-1);
        platform::dshow::SetFileWriteHook(nullptr);
        CGIFConversionTask::SetFileOpener(nullptr);
        m_camera.reset();
        m_app.reset();
    }

    void Plug(platform::VirtualCameraConfig config = {})
    {
        m_camera = VirtualCamera::Create(std::move(config));
    }

    /// The main window, shown, with the preview running and the panel opened by its start-up message.
    CCaptureDlg& OpenPanel()
    {
        if (!m_camera)
            Plug();
        m_controller = std::make_unique<CCaptureController>();
        m_controller->m_graph.DetectWebcamModel();
        m_dlg = std::make_unique<CBrevicamDlg>(m_controller.get());
        EXPECT_TRUE(m_dlg->Create(CBrevicamDlg::IDD, nullptr));
        m_dlg->ShowWindow(SW_SHOW);
        EXPECT_TRUE(
            PumpUntil([this] { return ::IsWindowVisible(Panel().GetSafeHwnd()) != FALSE; }, kEventLimitMs));
        PumpMessages(100);
        return Panel();
    }

    CCaptureDlg& Panel() { return m_dlg->GetCaptureDlg(); }
    HWND Item(int id) { return ::GetDlgItem(Panel().GetSafeHwnd(), id); }

    void Command(int id)
    {
        ::SendMessage(Panel().GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                      reinterpret_cast<LPARAM>(Item(id)));
    }

    void ChooseMode(int modeButton)
    {
        Command(modeButton);
        PumpMessages(50);
    }

    void SetSetting(int CParams::*field, int value)
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.*field = value;
    }

    /// Picks the resolution list's item with `label` as the user would.
    void ChooseResolution(const std::string& label)
    {
        const HWND combo = Item(IDC_PANEL_RESOLUTION);
        const std::vector<std::string> items = ComboItems(combo);
        const auto at = std::find(items.begin(), items.end(), label);
        ASSERT_NE(at, items.end()) << label;
        ::SendMessage(combo, CB_SETCURSEL, static_cast<WPARAM>(at - items.begin()), 0);
        ::SendMessage(Panel().GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDC_PANEL_RESOLUTION, CBN_SELCHANGE),
                      reinterpret_cast<LPARAM>(combo));
        PumpMessages(50);
    }

    bool CaptureEnabled() { return ::IsWindowEnabled(Item(IDC_PANEL_CAPTURE)) != FALSE; }

    std::vector<std::string> Photos() const
    {
        std::vector<std::string> names = FilesIn(m_photos);
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path GifFolder() const { return m_dir.Path() / "home" / "Documents" / "Tavisk webcam" / "GIF"; }

    testing_support::TempDir m_dir;
    fs::path m_photos;
    fs::path m_videos;
    std::optional<CWinApp> m_app;
    std::shared_ptr<VirtualCamera> m_camera;
    std::unique_ptr<CCaptureController> m_controller;
    std::unique_ptr<CBrevicamDlg> m_dlg;
};
} // namespace

// Construction and docking ----------------------------------------------------------------------------

TEST_F(CaptureDlgTest, OpensDockedAtTheMainWindowsRightEdgeAndFollowsItsMoves)
{
    CCaptureDlg& panel = OpenPanel();
    CRect main;
    ::GetWindowRect(m_dlg->GetHwnd(), &main);
    CRect docked;
    panel.GetWindowRect(&docked);
    EXPECT_EQ(docked.left, main.right - CCaptureDlg::kDockOverlap);
    EXPECT_EQ(docked.top, main.top + CCaptureDlg::kDockTopOffset);
    EXPECT_EQ(docked.Width(), 300);
    EXPECT_EQ(docked.Height(), 475);
    EXPECT_EQ(::SendDlgItemMessage(m_dlg->GetHwnd(), IDC_CAPTURE_WINDOW, BM_GETCHECK, 0, 0), 1);

    // The main window moves (a display change docks the panel again after 100 ms).
    m_dlg->CTransparentDialogBase::MoveWindow(CRect(40, 60, 40 + main.Width(), 60 + main.Height()), TRUE);
    ::SendMessage(m_dlg->GetHwnd(), WM_DISPLAYCHANGE, 32, 0);
    ASSERT_TRUE(PumpUntil(
        [&]
        {
            panel.GetWindowRect(&docked);
            return docked.left == 40 + main.Width() - CCaptureDlg::kDockOverlap;
        },
        kEventLimitMs));
    EXPECT_EQ(docked.top, 60 + CCaptureDlg::kDockTopOffset);

    // Its button closes the panel and opens it again.
    Command(IDC_PANEL_CLOSE);
    EXPECT_FALSE(::IsWindow(panel.GetSafeHwnd()));
    EXPECT_EQ(::SendDlgItemMessage(m_dlg->GetHwnd(), IDC_CAPTURE_WINDOW, BM_GETCHECK, 0, 0), 0);
    ::SendMessage(m_dlg->GetHwnd(), WM_COMMAND, MAKEWPARAM(IDC_CAPTURE_WINDOW, BN_CLICKED),
                  reinterpret_cast<LPARAM>(::GetDlgItem(m_dlg->GetHwnd(), IDC_CAPTURE_WINDOW)));
    EXPECT_TRUE(::IsWindowVisible(panel.GetSafeHwnd()));
    EXPECT_EQ(::SendDlgItemMessage(m_dlg->GetHwnd(), IDC_CAPTURE_WINDOW, BM_GETCHECK, 0, 0), 1);
}

TEST_F(CaptureDlgTest, WithTheArabicLibraryThePanelDocksAtTheMainWindowsLeftEdge)
{
    const auto path = testing_support::BinaryDir() / "bin" / "brevicam-ARA.so";
    HMODULE arabic = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(arabic, nullptr) << path;
    const HINSTANCE own = AfxGetResourceHandle();
    AfxSetResourceHandle(arabic);
    CCaptureDlg& panel = OpenPanel();
    AfxSetResourceHandle(own);
    ASSERT_TRUE(panel.GetExStyle() & WS_EX_LAYOUTRTL);
    CRect main;
    ::GetWindowRect(m_dlg->GetHwnd(), &main);
    CRect docked;
    panel.GetWindowRect(&docked);
    EXPECT_EQ(docked.right, main.left + CCaptureDlg::kDockOverlap);
    EXPECT_EQ(docked.top, main.top + CCaptureDlg::kDockTopOffset);
    m_dlg.reset();
    ::FreeLibrary(arabic);
}

// Modes and resolutions -------------------------------------------------------------------------------

struct ModelCase
{
    const char* name;
    WORD vendorId;
    WORD productId;
    std::vector<SIZE> sizes;
    int model;
    std::vector<std::string> photo;
    std::vector<std::string> video;
};

class ResolutionListTest : public CaptureDlgTest, public testing::WithParamInterface<ModelCase>
{
};

TEST_P(ResolutionListTest, ModeButtonsAndResolutionListFollowTheCameraModel)
{
    const ModelCase& c = GetParam();
    Plug({.name = c.name, .vendorId = c.vendorId, .productId = c.productId, .sizes = c.sizes});
    CCaptureDlg& panel = OpenPanel();
    ASSERT_EQ(GetWebcamModel(), c.model);
    const HWND combo = Item(IDC_PANEL_RESOLUTION);
    EXPECT_EQ(ComboItems(combo), c.photo);
    EXPECT_EQ(::SendMessage(combo, CB_GETCURSEL, 0, 0), 0) << "640 x 480 is the current size";
    EXPECT_TRUE(::IsWindowEnabled(combo));
    EXPECT_EQ(::SendMessage(Item(IDC_PANEL_PHOTO_MODE), BM_GETCHECK, 0, 0), 1);
    EXPECT_FALSE(::IsWindowVisible(Item(IDC_PANEL_REC_LABEL)));

    ChooseMode(IDC_PANEL_VIDEO_MODE);
    EXPECT_EQ(g_params.GetCamMode(), 3);
    EXPECT_EQ(ComboItems(combo), c.video);
    EXPECT_EQ(::SendMessage(Item(IDC_PANEL_VIDEO_MODE), BM_GETCHECK, 0, 0), 1);
    EXPECT_EQ(::SendMessage(Item(IDC_PANEL_PHOTO_MODE), BM_GETCHECK, 0, 0), 0);
    EXPECT_TRUE(::IsWindowVisible(Item(IDC_PANEL_REC_LABEL)));
    EXPECT_EQ(Text(Item(IDC_PANEL_REC_LABEL)), "PAUSE");

    ChooseMode(IDC_PANEL_BURST_MODE);
    EXPECT_EQ(g_params.GetCamMode(), 1);
    EXPECT_EQ(ComboItems(combo), std::vector<std::string>{"Standard - SD 480p"})
        << "a burst stays at 640 x 480";
    EXPECT_FALSE(::IsWindowVisible(Item(IDC_PANEL_REC_LABEL)));
    EXPECT_TRUE(::IsWindowVisible(panel.GetSafeHwnd()));
}

INSTANTIATE_TEST_SUITE_P(
    Models, ResolutionListTest,
    testing::Values(ModelCase{"Virtual",
                              0x1D6B,
                              0x0104,
                              {{640, 480}, {320, 240}, {1280, 720}},
                              25,
                              {"Standard - SD 480p", "High - HD 720p"},
                              {"Standard - SD 480p", "High - HD 720p"}},
                    ModelCase{"Model Two",
                              0x046D,
                              0x081B,
                              {{640, 480}, {800, 600}, {1280, 720}, {1280, 960}},
                              2,
                              {"Standard - SD 480p", "High - HD 720p", "High - HD (1280x960)"},
                              {"Standard - SD 480p", "Medium - SD (800x600)", "High - HD 720p"}},
                    ModelCase{"Model Five",
                              0x046D,
                              0x0804,
                              {{640, 480}, {320, 240}},
                              5,
                              {"Standard - SD 480p", "Medium - SD (800x600)", "High - HD (1.3 MP)"},
                              {"Standard - SD 480p", "Medium - SD (800x600)"}}),
    [](const testing::TestParamInfo<ModelCase>& info)
    { return std::to_string(info.param.model) + "_model"; });

TEST(ResolutionLabelTable, EveryLabelledSizeIsOneTheModelOffers)
{
    // 640 x 480 heads every non-empty row, and a labelled size is never listed twice.
    for (int model = 0; model <= 26; ++model)
        for (bool video : {false, true})
        {
            const auto row = ResolutionLabelRow(model, video);
            if (row.empty())
                continue;
            EXPECT_EQ(row.front().width, 640) << model;
            EXPECT_EQ(row.front().label, static_cast<UINT>(IDS_RES_SD_480P)) << model;
            for (std::size_t i = 1; i < row.size(); ++i)
                EXPECT_LT(row[i - 1].width * row[i - 1].height, row[i].width * row[i].height) << model;
        }
    EXPECT_EQ(ResolutionLabelOf(0, false, 1280, 1024), static_cast<UINT>(IDS_RES_HD_1_3MP));
    EXPECT_EQ(ResolutionLabelOf(99, true, 800, 600), static_cast<UINT>(IDS_RES_SD_800X600));
    EXPECT_TRUE(ResolutionLabelRow(10, true).empty());
}

// The closed resolution list shows the chosen size's label: its face differs, in many pixels, from the same
// face with nothing chosen.
TEST_F(CaptureDlgTest, TheClosedResolutionListShowsTheChosenLabel)
{
    OpenPanel();
    const HWND combo = Item(IDC_PANEL_RESOLUTION);
    ASSERT_GE(::SendMessage(combo, CB_GETCURSEL, 0, 0), 0);
    ::InvalidateRect(combo, nullptr, TRUE);
    const QImage chosen = controls_test::Grab(combo);
    ::SendMessage(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    ::InvalidateRect(combo, nullptr, TRUE);
    const QImage empty = controls_test::Grab(combo);
    ASSERT_EQ(chosen.size(), empty.size());
    int differing = 0;
    for (int y = 0; y < chosen.height(); ++y)
        for (int x = 0; x < chosen.width(); ++x)
        {
            const QRgb a = chosen.pixel(x, y);
            const QRgb b = empty.pixel(x, y);
            if (std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                    std::abs(qBlue(a) - qBlue(b)) >
                60)
                ++differing;
        }
    EXPECT_GT(differing, 40) << "no label on the closed list's face";
}

// A click opens the resolution list, and the list stays open: the click's own focus report comes after
// the list has taken the activation.
TEST_F(CaptureDlgTest, AClickOpensTheResolutionListAndItStaysOpen)
{
    OpenPanel();
    const HWND combo = Item(IDC_PANEL_RESOLUTION);
    ASSERT_TRUE(::IsWindowEnabled(combo));
    controls_test::Click(combo, QPoint(20, 12));
    ASSERT_TRUE(
        PumpUntil([&] { return ::SendMessage(combo, CB_GETDROPPEDSTATE, 0, 0) != 0; }, kEventLimitMs));
    PumpMessages(300);
    EXPECT_NE(::SendMessage(combo, CB_GETDROPPEDSTATE, 0, 0), 0) << "the list closed by itself";
    ::SendMessage(combo, CB_SHOWDROPDOWN, FALSE, 0);
}

TEST_F(CaptureDlgTest, TheVideoSizeChosenInThePanelIsTheSizeOfTheRecording)
{
    CCaptureDlg& panel = OpenPanel();
    ChooseMode(IDC_PANEL_VIDEO_MODE);
    ChooseResolution("High - HD 720p");
    EXPECT_EQ(std::string(g_params.GetVideoResolution().GetString()), "1280 x 720");
    EXPECT_EQ(m_controller->m_graph.GetResolution(), CResolution(1280, 720, false));

    ASSERT_TRUE(PumpUntil([&] { return CaptureEnabled(); }, kEventLimitMs));
    panel.OnCapture();
    ASSERT_TRUE(PumpUntil([&] { return panel.GetRecordStartTick() != 0; }, kEventLimitMs));
    PumpMessages(1200);
    panel.OnCapture();
    ASSERT_TRUE(PumpUntil([&] { return m_controller->m_graph.GetGraphMode() == 0; }, kEventLimitMs));
    const std::vector<std::string> videos = FilesIn(m_videos);
    ASSERT_EQ(videos.size(), 1u);
    EXPECT_EQ(Output("ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 '" +
                     (m_videos / videos[0]).string() + "'"),
              "1280,720");
}

// Capture actions -------------------------------------------------------------------------------------

struct PhotoFormatCase
{
    const char* name;
    int format;
    const char* extension;
};

class PhotoTest : public CaptureDlgTest, public testing::WithParamInterface<PhotoFormatCase>
{
};

TEST_P(PhotoTest, TheCaptureButtonTakesNumberedPhotos)
{
    const PhotoFormatCase& c = GetParam();
    SetSetting(&CParams::m_PhotoFormat, c.format);
    OpenPanel();
    for (int shot = 1; shot <= 2; ++shot)
    {
        ASSERT_TRUE(PumpUntil([&] { return CaptureEnabled(); }, kEventLimitMs)) << shot;
        Command(IDC_PANEL_CAPTURE);
        ASSERT_TRUE(PumpUntil([&] { return static_cast<int>(Photos().size()) == shot; }, kEventLimitMs));
    }
    ASSERT_TRUE(PumpUntil([&] { return CaptureEnabled(); }, kEventLimitMs)) << "the button comes back";
    const std::string stem = "Pic-" + Today() + "-00";
    EXPECT_EQ(Photos(), (std::vector<std::string>{stem + "1" + c.extension, stem + "2" + c.extension}));
    for (const std::string& name : Photos())
    {
        QImage photo;
        ASSERT_TRUE(PumpUntil([&] { return photo.load(QString::fromStdString((m_photos / name).string())); },
                              kEventLimitMs))
            << name;
        EXPECT_EQ(photo.size(), QSize(640, 480)) << name;
        EXPECT_GT(DistinctColours(photo), 4) << name << " is not one flat colour";
    }
    EXPECT_EQ(::SendMessage(Item(IDC_PANEL_CAPTURE), BM_GETCHECK, 0, 0), 0);
    EXPECT_TRUE(::IsWindowEnabled(Item(IDC_PANEL_BURST_MODE)));
    // The new photo is the one selected in the list.
    const fs::path newest = m_photos / Photos().back();
    ASSERT_TRUE(PumpUntil(
        [&]
        {
            const std::vector<CString> selected = Panel().GetList()->GetSelectedPaths();
            return selected.size() == 1 && fs::path(selected[0].GetString()) == newest;
        },
        kEventLimitMs));
}

INSTANTIATE_TEST_SUITE_P(Formats, PhotoTest,
                         testing::Values(PhotoFormatCase{"Jpeg", 3, ".jpg"},
                                         PhotoFormatCase{"Bitmap", 1, ".bmp"}),
                         [](const testing::TestParamInfo<PhotoFormatCase>& info) { return info.param.name; });

TEST_F(CaptureDlgTest, ADoubleClickOnTheCaptureButtonTakesOnePhoto)
{
    CCaptureDlg& panel = OpenPanel();
    ASSERT_TRUE(PumpUntil([&] { return CaptureEnabled(); }, kEventLimitMs));
    const HWND button = Item(IDC_PANEL_CAPTURE);
    const LPARAM middle = MAKELPARAM(28, 28);
    // What the program's message loop does: the panel's filter sees each message first.
    const auto pumpFiltered = [&](const std::function<bool()>& done, int limitMs = kEventLimitMs)
    {
        return PumpUntil(
            [&]
            {
                MSG msg;
                while (::PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
                    if (!::IsWindow(panel.GetSafeHwnd()) || !panel.PreTranslateMessage(&msg))
                    {
                        ::TranslateMessage(&msg);
                        ::DispatchMessage(&msg);
                    }
                return done();
            },
            limitMs);
    };
    // The first click of the pair is handled as it comes; the second arrives while the photo is taken.
    ::PostMessage(button, WM_LBUTTONDOWN, MK_LBUTTON, middle);
    pumpFiltered([] { return true; });
    ::PostMessage(button, WM_LBUTTONUP, 0, middle);
    ::PostMessage(button, WM_LBUTTONDBLCLK, MK_LBUTTON, middle);
    ::PostMessage(button, WM_LBUTTONUP, 0, middle);
    ASSERT_TRUE(pumpFiltered([&] { return Photos().size() == 1; }));
    ASSERT_TRUE(pumpFiltered([&] { return CaptureEnabled(); }));
    pumpFiltered([] { return false; }, 500);
    EXPECT_EQ(Photos().size(), 1u);

    // A quick click, whose release is queued behind its press before either is handled, is one press.
    ::PostMessage(button, WM_LBUTTONDOWN, MK_LBUTTON, middle);
    ::PostMessage(button, WM_LBUTTONUP, 0, middle);
    ASSERT_TRUE(pumpFiltered([&] { return Photos().size() == 2; }));
    EXPECT_EQ(::GetCapture(), nullptr) << "the button let go of the mouse";
}

TEST_F(CaptureDlgTest, SelfTimerTakesItsPhotoOnlyWhenTheCountdownEnds)
{
    SetSetting(&CParams::m_NbSeconds, 2);
    CCaptureDlg& panel = OpenPanel();
    ChooseMode(IDC_PANEL_SELF_TIMER_MODE);
    SetSetting(&CParams::m_NbSeconds, 2);
    ASSERT_TRUE(PumpUntil([&] { return CaptureEnabled(); }, kEventLimitMs));
    Command(IDC_PANEL_CAPTURE);
    EXPECT_TRUE(panel.m_bSeriesTimerRunning);
    EXPECT_FALSE(CaptureEnabled()) << "the button waits for the countdown";
    // Until the timer has counted the delay, no photo exists.
    ASSERT_TRUE(PumpUntil([&] { return panel.GetElapsed() >= 1000 || !Photos().empty(); }, kEventLimitMs));
    EXPECT_TRUE(Photos().empty());
    ASSERT_TRUE(PumpUntil([&] { return Photos().size() == 1; }, kEventLimitMs));
    ASSERT_TRUE(PumpUntil([&] { return !panel.m_bSeriesTimerRunning && CaptureEnabled(); }, kEventLimitMs));
    PumpMessages(300);
    EXPECT_EQ(Photos().size(), 1u);
    EXPECT_EQ(panel.GetElapsed(), 0);
}

struct BurstCase
{
    const char* name;
    /// 0: the series runs to its end; otherwise the button is pressed again after this many frames.
    int stopAfter;
    size_t photos;
};

class BurstTest : public CaptureDlgTest, public testing::WithParamInterface<BurstCase>
{
};

TEST_P(BurstTest, ABurstSavesItsFramesAndAnAnimationOfThem)
{
    const BurstCase& c = GetParam();
    CCaptureDlg& panel = OpenPanel();
    ChooseMode(IDC_PANEL_BURST_MODE);
    SetSetting(&CParams::m_NbPictures, 4);
    SetSetting(&CParams::m_ImagesPerSecond, 4);
    ASSERT_TRUE(PumpUntil([&] { return CaptureEnabled(); }, kEventLimitMs));
    Command(IDC_PANEL_CAPTURE);
    EXPECT_TRUE(panel.m_bSeriesTimerRunning);
    if (c.stopAfter)
    {
        ASSERT_TRUE(
            PumpUntil([&] { return m_controller->GetBurstImageCount() >= c.stopAfter; }, kEventLimitMs));
        Command(IDC_PANEL_CAPTURE);
    }
    ASSERT_TRUE(PumpUntil([&] { return Photos().size() == c.photos && !FilesIn(GifFolder()).empty(); },
                          kEventLimitMs));
    ASSERT_TRUE(PumpUntil([&] { return !panel.m_bSeriesTimerRunning; }, kEventLimitMs));
    PumpMessages(300);
    EXPECT_EQ(Photos().size(), c.photos);
    const std::vector<std::string> gifs = FilesIn(GifFolder());
    ASSERT_EQ(gifs.size(), 1u);
    QImageReader reader(QString::fromStdString((GifFolder() / gifs[0]).string()));
    EXPECT_EQ(reader.imageCount(), static_cast<int>(c.photos));
    EXPECT_EQ(panel.GetElapsed(), 0);
}

INSTANTIATE_TEST_SUITE_P(Series, BurstTest,
                         testing::Values(BurstCase{"ToItsEnd", 0, 4}, BurstCase{"EndedAfterTwoFrames", 2, 2}),
                         [](const testing::TestParamInfo<BurstCase>& info) { return info.param.name; });

TEST_F(CaptureDlgTest, ARecordingOfThreeSecondsShowsItsClockAndPlays)
{
    CCaptureDlg& panel = OpenPanel();
    ChooseMode(IDC_PANEL_VIDEO_MODE);
    ASSERT_TRUE(PumpUntil([&] { return CaptureEnabled(); }, kEventLimitMs));
    Command(IDC_PANEL_CAPTURE);
    // The clock is fed the recording's elapsed time on every tick: from 3000 ms it reads "00:00:03" (its
    // texts are checked with the clock's own tests).
    ASSERT_TRUE(PumpUntil([&] { return panel.GetElapsed() >= 3000; }, kEventLimitMs));
    EXPECT_LT(panel.GetElapsed(), 4000);
    EXPECT_TRUE(::GetWindowLong(Item(IDC_CHRONO), GWL_STYLE) & WS_VISIBLE);
    // The REC indicator: the red dot shows (the label's text flashes).
    EXPECT_NE(::SendMessage(Item(IDC_PANEL_REC_DOT), STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
    EXPECT_FALSE(::IsWindowEnabled(Item(IDC_PANEL_PHOTO_MODE)));
    Command(IDC_PANEL_CAPTURE);
    ASSERT_TRUE(PumpUntil([&] { return m_controller->m_graph.GetGraphMode() == 0; }, kEventLimitMs));
    EXPECT_EQ(panel.GetRecordStartTick(), 0u);
    EXPECT_TRUE(::IsWindowEnabled(Item(IDC_PANEL_PHOTO_MODE)));
    const std::vector<std::string> videos = FilesIn(m_videos);
    ASSERT_EQ(videos.size(), 1u);
    const std::string duration = Output("ffprobe -v error -show_entries format=duration -of csv=p=0 '" +
                                        (m_videos / videos[0]).string() + "'");
    ASSERT_FALSE(duration.empty());
    EXPECT_GE(std::stod(duration), 2.5);
    EXPECT_LT(std::stod(duration), 30.0);
    EXPECT_EQ(Output("ffmpeg -v error -i '" + (m_videos / videos[0]).string() + "' -f null - 2>&1"), "");
}

TEST_F(CaptureDlgTest, AFullDiskRefusesThePhotoWithItsMessage)
{
    // Less room than a photo needs.
    if (!testing_support::MountSmallTmpfs(m_photos, 1200))
        GTEST_SKIP() << "no mount namespace available for a small disk";
    OpenPanel();
    ASSERT_TRUE(PumpUntil([&] { return CaptureEnabled(); }, kEventLimitMs));
    platform::zorneth::SetScriptedAnswers({IDOK});
    Command(IDC_PANEL_CAPTURE);
    PumpMessages(300);
    const auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "You don't have enough free space on your hard drive.");
    EXPECT_EQ(boxes[0].Owner, Panel().GetSafeHwnd());
    EXPECT_TRUE(Photos().empty());
    EXPECT_TRUE(CaptureEnabled());
    EXPECT_EQ(::SendMessage(Item(IDC_PANEL_CAPTURE), BM_GETCHECK, 0, 0), 0);
    m_dlg.reset();
    umount2(m_photos.c_str(), MNT_DETACH);
}

TEST_F(CaptureDlgTest, ADiskThatFillsWhileRecordingStopsItWithOneBoxAndNoRestart)
{
    // The recording's writes fail for want of space once a little has been written.
    capture_testing::FillDiskAfter(200000);
    CCaptureDlg& panel = OpenPanel();
    ChooseMode(IDC_PANEL_VIDEO_MODE);
    ASSERT_TRUE(PumpUntil([&] { return CaptureEnabled(); }, kEventLimitMs));
    platform::zorneth::SetScriptedAnswers({IDOK});
    Command(IDC_PANEL_CAPTURE);
    ASSERT_TRUE(PumpUntil([&] { return !platform::zorneth::ScriptedBoxes().empty(); }, kEventLimitMs));
    ASSERT_TRUE(PumpUntil([&] { return m_controller->m_pProgState->GetState() == PS_READY; }, kEventLimitMs));
    PumpMessages(1500);
    const auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "You don't have enough free space on your hard drive. The capture will stop.");
    EXPECT_EQ(m_controller->m_graph.GetGraphMode(), 0) << "no recording started again";
    EXPECT_EQ(panel.GetRecordStartTick(), 0u);
    EXPECT_EQ(FilesIn(m_videos).size(), 1u);
}

TEST_F(CaptureDlgTest, TheCamerasOwnButtonAndTheSpaceKeyTakePhotosLikeTheCaptureButton)
{
    platform::VirtualCameraConfig config;
    config.vendorId = 0x046D;
    config.productId = 0x0990;
    config.sizes = {{640, 480}};
    config.stillButton = true;
    Plug(config);
    OpenPanel();
    ASSERT_TRUE(PumpUntil([&] { return CaptureEnabled(); }, kEventLimitMs));
    m_camera->PressStillButton();
    ASSERT_TRUE(PumpUntil([&] { return Photos().size() == 1; }, kEventLimitMs));
    ASSERT_TRUE(PumpUntil([&] { return CaptureEnabled(); }, kEventLimitMs));
    // Space is the accelerator's capture command.
    ::SendMessage(Panel().GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(ID_CAPTURE_ACCELERATOR, 1), 0);
    ASSERT_TRUE(PumpUntil([&] { return Photos().size() == 2; }, kEventLimitMs));
}

TEST_F(CaptureDlgTest, LockingTheSessionStopsARecordingAndUnlockingWithABusyCameraGivesUp)
{
    CCaptureDlg& panel = OpenPanel();
    ChooseMode(IDC_PANEL_VIDEO_MODE);
    ASSERT_TRUE(PumpUntil([&] { return CaptureEnabled(); }, kEventLimitMs));
    Command(IDC_PANEL_CAPTURE);
    ASSERT_TRUE(PumpUntil([&] { return panel.GetRecordStartTick() != 0; }, kEventLimitMs));
    // The device check gives the button back a few seconds after the recording graph started.
    ASSERT_TRUE(PumpUntil([&] { return CaptureEnabled(); }, kEventLimitMs));

    // Session changes reach the panel through its message filter.
    MSG lock{panel.GetSafeHwnd(), WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 0, 0, {}};
    panel.PreTranslateMessage(&lock);
    EXPECT_EQ(m_controller->m_graph.GetGraphMode(), 0) << "the recording ended";
    EXPECT_EQ(m_controller->m_pProgState->GetState(), PS_READY);
    EXPECT_EQ(panel.GetElapsed(), 0);
    EXPECT_TRUE(::IsWindowEnabled(Item(IDC_PANEL_PHOTO_MODE)));
    EXPECT_TRUE(panel.m_bRestartPending);
    ASSERT_EQ(FilesIn(m_videos).size(), 1u);

    // The camera went to another program meanwhile: the rebuild tries a bounded number of times, one try
    // per message, and the busy camera closes the panel.
    m_controller->StopPreview();
    m_camera->SetBusy(true);
    const HWND window = panel.GetSafeHwnd();
    MSG unlock{window, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 0, 0, {}};
    panel.PreTranslateMessage(&unlock);
    EXPECT_FALSE(panel.m_bRestartPending);
    const int tries = PumpMessages(3000, window, CCaptureDlg::WM_PANEL_REBUILD_PREVIEW);
    EXPECT_GE(tries, 1);
    EXPECT_LE(tries, CCaptureDlg::kPreviewRebuildTries);
    EXPECT_EQ(PumpMessages(500, window, CCaptureDlg::WM_PANEL_REBUILD_PREVIEW), 0);
    EXPECT_NE(m_controller->m_pVideoState->GetState(), VS_RUNNING);
}

// Reactions to the capture states ---------------------------------------------------------------------

TEST_F(CaptureDlgTest, ALostCameraClosesThePanelUnlessAFileActionRuns)
{
    CCaptureDlg& panel = OpenPanel();
    panel.m_bFileActionBusy = true;
    m_controller->m_pVideoState->SetState(VS_LOST);
    PumpMessages(100);
    ASSERT_TRUE(::IsWindow(panel.GetSafeHwnd())) << "the file action closes the panel when it ends";
    EXPECT_TRUE(panel.m_bFileActionBusy);
    EXPECT_EQ(panel.m_nCloseRequested, 1);
    EXPECT_FALSE(::IsWindowEnabled(m_dlg->GetHwnd()));
    EXPECT_FALSE(CaptureEnabled());

    panel.m_bFileActionBusy = false;
    ::EnableWindow(m_dlg->GetHwnd(), TRUE);
    m_controller->m_pVideoState->SetState(VS_LOST);
    PumpMessages(100);
    EXPECT_FALSE(::IsWindow(panel.GetSafeHwnd()));
}

TEST_F(CaptureDlgTest, TheBurstNoticeIsShownAfterTheNotificationAndItsBoxTurnsItOff)
{
    SetSetting(&CParams::m_BMResWarning, 1);
    OpenPanel();
    ChooseResolution("High - HD 720p");
    ASSERT_EQ(m_controller->m_graph.GetResolution(), CResolution(1280, 720, false));
    bool shownInsideTheNotification = false;
    bool ticked = false;
    // The notice runs its own loop; this timer answers it: the box ticked, then OK.
    static std::function<void()> s_answer;
    s_answer = [&]
    {
        const HWND notice = media_test::ShownWindowWithControl(IDC_RES_CHANGE_MESSAGE);
        if (!notice)
            return;
        ticked = true;
        ::SendDlgItemMessage(notice, IDC_RES_CHANGE_CHECK, BM_SETCHECK, BST_CHECKED, 0);
        ::SendMessage(notice, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                      reinterpret_cast<LPARAM>(::GetDlgItem(notice, IDOK)));
    };
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) { s_answer(); });
    Command(IDC_PANEL_BURST_MODE);
    shownInsideTheNotification = ticked;
    ASSERT_TRUE(PumpUntil([&] { return ticked; }, kEventLimitMs));
    PumpMessages(100);
    ::KillTimer(nullptr, timer);
    s_answer = nullptr;
    EXPECT_FALSE(shownInsideTheNotification) << "the notice waits until the mode change has returned";
    CSingleLock lock(&g_params.m_cs, TRUE);
    EXPECT_EQ(g_params.m_BMResWarning, 0);
}

TEST_F(CaptureDlgTest, APhotoNeedsItsRoomOnTheDisk)
{
    struct SpaceCase
    {
        ULONGLONG bytes;
        bool taken;
    };
    OpenPanel();
    for (const SpaceCase c : {SpaceCase{CCaptureController::kMinPhotoSpace - 1, false},
                              SpaceCase{CCaptureController::kMinPhotoSpace, true}})
    {
        SCOPED_TRACE(c.bytes);
        const std::size_t before = Photos().size();
        platform::SetAvailableSpace(static_cast<long long>(c.bytes));
        ASSERT_TRUE(PumpUntil([&] { return CaptureEnabled(); }, kEventLimitMs));
        platform::zorneth::SetScriptedAnswers({IDOK});
        Command(IDC_PANEL_CAPTURE);
        if (c.taken)
            ASSERT_TRUE(PumpUntil([&] { return Photos().size() == before + 1; }, kEventLimitMs));
        else
            PumpMessages(300);
        const auto boxes = platform::zorneth::ScriptedBoxes();
        EXPECT_EQ(boxes.size(), c.taken ? 0u : 1u);
        EXPECT_EQ(Photos().size(), before + (c.taken ? 1 : 0));
    }
}

// File actions ----------------------------------------------------------------------------------------

namespace
{
using Arguments = std::vector<std::string>;

/// The panel over a folder of files, on a desktop whose mail programs are stand-ins: xdg-settings names
/// the mail client and xdg-email records the arguments of every run. The trash lies in the test's folder.
class PanelFilesTest : public CaptureDlgTest
{
protected:
    void SetUp() override
    {
        CaptureDlgTest::SetUp();
        fs::create_directories(Records());
        fs::create_directories(m_dir.Path() / "share" / "applications");
        std::ofstream(m_dir.Path() / "share" / "applications" / "thunder-mail.desktop")
            << "[Desktop Entry]\nName=Thunder Mail\n";
        WriteScript(Bin() / "xdg-settings", "echo thunder-mail.desktop\n");
        testing_support::WriteMailHandOffStandIn(Bin(), Records());
        const char* path = std::getenv("PATH");
        m_path.emplace("PATH", Bin().string() + ":" + (path ? path : "/usr/bin:/bin"));
        m_dataHome.emplace("XDG_DATA_HOME", (m_dir.Path() / "share").string());
        m_dataDirs.emplace("XDG_DATA_DIRS", (m_dir.Path() / "nothing").string());
    }

    void TearDown() override
    {
        CaptureDlgTest::TearDown();
        CAskOverWriteDlg::ClearScriptedAnswers();
        SetTranscoderLibraryPath(CString());
    }

    fs::path Bin() const { return m_dir.Path() / "bin"; }
    fs::path Records() const { return m_dir.Path() / "mail"; }
    fs::path Trash() const { return m_dir.Path() / "share" / "Trash" / "files"; }
    fs::path Emails() const { return m_dir.Path() / "home" / "Documents" / "Tavisk webcam" / "Emails"; }

    static void WritePicture(const fs::path& path, int width, int height)
    {
        QImage picture(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                picture.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, (x ^ y) & 0xff));
        ASSERT_TRUE(picture.save(QString::fromStdString(path.string())));
    }

    static void WriteVideo(const fs::path& path, int seconds)
    {
        ASSERT_EQ(Output("ffmpeg -v error -y -f lavfi -i testsrc=size=640x480:rate=15 -t " +
                         std::to_string(seconds) + " -c:v wmv2 -f asf '" + path.string() + "' 2>&1"),
                  "");
    }

    /// Opens the panel on the photo folder and waits until its list shows `count` files.
    CCaptureDlg& OpenOnFiles(std::size_t count)
    {
        CCaptureDlg& panel = OpenPanel();
        EXPECT_TRUE(PumpUntil([&] { return panel.GetList()->GetItemCount() == static_cast<int>(count); },
                              kEventLimitMs));
        return panel;
    }

    /// Selects exactly these files in the list.
    void Select(const std::vector<fs::path>& files)
    {
        CShellListCtrl* list = Panel().GetList();
        list->SelectAll(FALSE);
        for (const fs::path& file : files)
        {
            const int index = list->FindItem(file.c_str());
            ASSERT_GE(index, 0) << file;
            list->SetItemState(index, LVIS_SELECTED, LVIS_SELECTED);
        }
        PumpMessages(20);
    }

    /// The argument lists of the mail hand-offs so far.
    std::vector<Arguments> Mails() const { return testing_support::RecordedMailRuns(Records()); }

    /// The attachments of the one mail handed off, waited for.
    std::vector<std::string> MailedFiles()
    {
        EXPECT_TRUE(PumpUntil([&] { return Mails().size() == 1; }, kEventLimitMs));
        std::vector<std::string> files;
        const std::vector<Arguments> mails = Mails();
        if (mails.size() != 1)
            return files;
        for (std::size_t i = 0; i + 1 < mails[0].size(); ++i)
            if (mails[0][i] == "--attach")
                files.push_back(mails[0][i + 1]);
        return files;
    }

    /// Converters started by this process that are still there (reaped or not) and write into the Emails
    /// folder; the file list's own frame grabs for its thumbnails are not counted.
    int ConverterChildren() const
    {
        int count = 0;
        for (const auto& entry : fs::directory_iterator("/proc"))
        {
            const std::string stat = ReadFile(entry.path() / "stat");
            const auto close = stat.rfind(')');
            if (close == std::string::npos || stat.find("(ffmpeg)") == std::string::npos)
                continue;
            std::istringstream rest(stat.substr(close + 2));
            std::string state;
            int parent = 0;
            rest >> state >> parent;
            // A child not reaped yet has no command line left: it counts as a converter still there.
            const std::string command = ReadFile(entry.path() / "cmdline");
            if (parent == ::getpid() &&
                (command.empty() || command.find(Emails().string()) != std::string::npos))
                ++count;
        }
        return count;
    }

    /// Presses the button whose caption reads `caption` (without its mnemonic) on the modal box shown.
    static bool PressOnBox(const QString& caption)
    {
        QWidget* box = QApplication::activeModalWidget();
        if (!box)
            return false;
        for (auto* button : box->findChildren<QPushButton*>())
            if (button->text().remove('&') == caption)
            {
                button->click();
                return true;
            }
        return false;
    }

    std::optional<ScopedEnv> m_path;
    std::optional<ScopedEnv> m_dataHome;
    std::optional<ScopedEnv> m_dataDirs;
};
} // namespace

TEST_F(PanelFilesTest, DeleteAsksFirstAndTrashesOnlyTheConfirmedFiles)
{
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        WritePicture(m_photos / name, 64, 48);
    CCaptureDlg& panel = OpenOnFiles(3);
    Select({m_photos / "a.jpg", m_photos / "b.jpg"});
    EXPECT_TRUE(::IsWindowEnabled(Item(IDC_PANEL_DELETE)));

    platform::zorneth::SetScriptedAnswers({IDNO});
    Command(IDC_PANEL_DELETE);
    PumpMessages(100);
    auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "Are you sure you want to delete this (these) file(s)?");
    EXPECT_EQ(boxes[0].Owner, panel.GetSafeHwnd());
    EXPECT_EQ(boxes[0].Style & MB_TYPEMASK, static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(FilesIn(m_photos).size(), 3u);
    EXPECT_FALSE(panel.m_bFileActionBusy);

    // The Delete key is the same command.
    platform::zorneth::SetScriptedAnswers({IDYES});
    ::SendMessage(panel.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(ID_EDIT_CLEAR, 1), 0);
    ASSERT_TRUE(PumpUntil([&] { return FilesIn(m_photos).size() == 1; }, kEventLimitMs));
    EXPECT_EQ(FilesIn(m_photos), std::vector<std::string>{"c.jpg"});
    std::vector<std::string> trashed = FilesIn(Trash());
    std::sort(trashed.begin(), trashed.end());
    EXPECT_EQ(trashed, (std::vector<std::string>{"a.jpg", "b.jpg"}));
    ASSERT_TRUE(PumpUntil([&] { return !panel.m_bFileActionBusy && panel.GetList()->GetItemCount() == 1; },
                          kEventLimitMs));
    EXPECT_EQ(platform::zorneth::ScriptedBoxes().size(), 1u) << "no error";
    // The selection went with the files: nothing is left for the buttons to act on.
    auto expectNothingToActOn = [&]
    {
        EXPECT_EQ(panel.GetList()->GetSelectedCount(), 0u);
        for (int button : {IDC_PANEL_DELETE, IDC_PANEL_OPEN})
            EXPECT_FALSE(::IsWindowEnabled(Item(button))) << button;
    };
    expectNothingToActOn();
    EXPECT_TRUE(::IsWindowEnabled(Item(IDC_PANEL_SELECT_ALL))) << "c.jpg is left to select";

    // The last file too, which empties the list.
    Select({m_photos / "c.jpg"});
    platform::zorneth::SetScriptedAnswers({IDYES});
    Command(IDC_PANEL_DELETE);
    ASSERT_TRUE(PumpUntil([&] { return !panel.m_bFileActionBusy && panel.GetList()->GetItemCount() == 0; },
                          kEventLimitMs));
    EXPECT_TRUE(FilesIn(m_photos).empty());
    expectNothingToActOn();
    EXPECT_FALSE(::IsWindowEnabled(Item(IDC_PANEL_SELECT_ALL))) << "nothing is left to select";
}

TEST_F(PanelFilesTest, FilesThatCannotBeDeletedAreReported)
{
    struct FailureCase
    {
        std::vector<std::string> names;
        const char* message;
    };
    for (const FailureCase& c : {FailureCase{{"a.jpg"}, "Unable to delete the file."},
                                 FailureCase{{"b.jpg", "c.jpg"}, "Unable to delete the files."}})
        for (const std::string& name : c.names)
            WritePicture(m_photos / name, 32, 32);
    CCaptureDlg& panel = OpenOnFiles(3);
    for (const FailureCase& c : {FailureCase{{"a.jpg"}, "Unable to delete the file."},
                                 FailureCase{{"b.jpg", "c.jpg"}, "Unable to delete the files."}})
    {
        std::vector<fs::path> files;
        for (const std::string& name : c.names)
            files.push_back(m_photos / name);
        Select(files);
        // The files go behind the list's back before it hears of it.
        for (const fs::path& file : files)
            fs::remove(file);
        platform::zorneth::SetScriptedAnswers({IDYES, IDOK});
        Command(IDC_PANEL_DELETE);
        ASSERT_TRUE(PumpUntil([&] { return platform::zorneth::ScriptedBoxes().size() == 2; }, kEventLimitMs));
        EXPECT_EQ(platform::zorneth::ScriptedBoxes()[1].Text, c.message);
        ASSERT_TRUE(PumpUntil([&] { return !panel.m_bFileActionBusy; }, kEventLimitMs));
    }
}

TEST_F(PanelFilesTest, TheFileBeingRecordedCannotBeDeletedOpenedOrCopied)
{
    CCaptureDlg& panel = OpenPanel();
    ChooseMode(IDC_PANEL_VIDEO_MODE);
    ASSERT_TRUE(PumpUntil([&] { return CaptureEnabled(); }, kEventLimitMs));
    Command(IDC_PANEL_CAPTURE);
    ASSERT_TRUE(PumpUntil([&] { return panel.GetRecordStartTick() != 0; }, kEventLimitMs));
    const fs::path recording = g_params.GetCaptureFileName().GetString();
    ASSERT_TRUE(PumpUntil([&] { return panel.GetList()->FindItem(recording.c_str()) >= 0; }, kEventLimitMs));
    Select({recording});
    EXPECT_EQ(CCaptureDlgTestAccess::SelectedRecordingCount(panel), 1);
    for (int button : {IDC_PANEL_DELETE, IDC_PANEL_OPEN, IDC_PANEL_COPY_TO_FOLDER, IDC_PANEL_COPY_TO_EMAIL})
        EXPECT_FALSE(::IsWindowEnabled(Item(button))) << button;

    platform::zorneth::SetScriptedAnswers({IDYES});
    ::SendMessage(panel.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(ID_EDIT_CLEAR, 1), 0);
    Command(IDC_PANEL_DELETE);
    PumpMessages(200);
    EXPECT_TRUE(platform::zorneth::ScriptedBoxes().empty()) << "not even the question";
    EXPECT_TRUE(fs::exists(recording));

    Command(IDC_PANEL_CAPTURE);
    ASSERT_TRUE(PumpUntil([&] { return m_controller->m_pProgState->GetState() == PS_READY; }, kEventLimitMs));
    EXPECT_TRUE(fs::exists(recording));
}

TEST_F(PanelFilesTest, UnpluggingTheCameraDuringTheDeleteQuestionKeepsThePanelUntilTheDeleteEnds)
{
    WritePicture(m_photos / "a.jpg", 32, 32);
    CCaptureDlg& panel = OpenOnFiles(1);
    const HWND window = panel.GetSafeHwnd();
    Select({m_photos / "a.jpg"});
    platform::zorneth::ClearScriptedAnswers();
    // Inside the question's own loop: the camera goes, and once the panel has heard of it, Yes.
    bool unplugged = false;
    bool stillThere = false;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout,
                     [&]
                     {
                         if (!QApplication::activeModalWidget())
                             return;
                         if (!unplugged)
                         {
                             unplugged = true;
                             m_camera->Unplug();
                         }
                         else if (panel.m_nCloseRequested)
                         {
                             stillThere = ::IsWindow(window) != FALSE;
                             PressOnBox("Yes");
                         }
                     });
    user.start(20);
    Command(IDC_PANEL_DELETE);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(window); }, kEventLimitMs))
        << "the panel closes at the end";
    user.stop();
    EXPECT_TRUE(stillThere);
    EXPECT_TRUE(fs::exists(Trash() / "a.jpg"));
    EXPECT_TRUE(::IsWindowEnabled(m_dlg->GetHwnd()));
}

TEST_F(PanelFilesTest, EmailShrinksPicturesIntoJpegCopiesAndHandsThemToTheMailClient)
{
    struct SizeCase
    {
        const char* name;
        QSize source;
        QSize sent;
    };
    const std::vector<SizeCase> cases{{"wide.bmp", {1600, 900}, {640, 360}},
                                      {"large.bmp", {1600, 1200}, {640, 480}},
                                      {"tall.png", {600, 800}, {360, 480}},
                                      {"small.bmp", {640, 480}, {640, 480}}};
    std::map<std::string, std::string> before;
    for (const SizeCase& c : cases)
    {
        WritePicture(m_photos / c.name, c.source.width(), c.source.height());
        before[c.name] = ReadFile(m_photos / c.name);
    }
    CCaptureDlg& panel = OpenOnFiles(cases.size());
    panel.GetList()->SelectAll(TRUE);
    PumpMessages(20);
    platform::zorneth::SetScriptedAnswers({IDYES});
    Command(IDC_PANEL_COPY_TO_EMAIL);
    const auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text,
              "The default software detected by Windows for handling your emails is Thunder Mail. "
              "Is that correct?");
    EXPECT_EQ(boxes[0].Style & MB_TYPEMASK, static_cast<UINT>(MB_YESNOCANCEL));

    std::vector<std::string> mailed = MailedFiles();
    std::sort(mailed.begin(), mailed.end());
    std::vector<std::string> expected;
    for (const SizeCase& c : cases)
        expected.push_back((Emails() / fs::path(c.name).replace_extension(".jpg")).string());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(mailed, expected);
    for (const SizeCase& c : cases)
    {
        QImageReader copy(
            QString::fromStdString((Emails() / fs::path(c.name).replace_extension(".jpg")).string()));
        EXPECT_EQ(copy.format(), "jpeg") << c.name;
        EXPECT_EQ(copy.size(), c.sent) << c.name;
        EXPECT_EQ(ReadFile(m_photos / c.name), before[c.name])
            << "the source of " << c.name << " is untouched";
    }
    EXPECT_FALSE(panel.m_bFileActionBusy);
}

TEST_F(PanelFilesTest, EmailConvertsAVideoIntoASmallAviAndNeverTouchesItsSource)
{
    WriteVideo(m_photos / "clip.wmv", 2);
    const std::string before = ReadFile(m_photos / "clip.wmv");
    OpenOnFiles(1);
    Select({m_photos / "clip.wmv"});
    platform::zorneth::SetScriptedAnswers({IDYES});
    Command(IDC_PANEL_COPY_TO_EMAIL);
    const fs::path copy = Emails() / "clip.avi";
    EXPECT_EQ(MailedFiles(), std::vector<std::string>{copy.string()});
    EXPECT_EQ(Output("ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 '" +
                     copy.string() + "'"),
              "320,240");
    EXPECT_EQ(ReadFile(m_photos / "clip.wmv"), before);
    EXPECT_EQ(ConverterChildren(), 0);
}

TEST_F(PanelFilesTest, CancelAtTheMailQuestionRemovesOnlyTheCopiesTheActionWrote)
{
    // The list shows the Emails folder itself, where the user keeps a JPEG of their own.
    fs::create_directories(Emails());
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_PhotoPath = (Emails().string() + "/").c_str();
    }
    WritePicture(Emails() / "own.jpg", 800, 600);
    WritePicture(Emails() / "shot.bmp", 320, 240);
    const std::string own = ReadFile(Emails() / "own.jpg");
    OpenOnFiles(2);
    Panel().GetList()->SelectAll(TRUE);
    PumpMessages(20);
    platform::zorneth::SetScriptedAnswers({IDCANCEL});
    Command(IDC_PANEL_COPY_TO_EMAIL);
    ASSERT_EQ(platform::zorneth::ScriptedBoxes().size(), 1u);
    PumpMessages(200);
    EXPECT_TRUE(Mails().empty());
    std::vector<std::string> left = FilesIn(Emails());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"own.jpg", "shot.bmp"}))
        << "own-Copy.jpg and shot.jpg were the action's own and are gone";
    EXPECT_EQ(ReadFile(Emails() / "own.jpg"), own);
}

TEST_F(PanelFilesTest, WithoutAMailClientTheCopiesStayAndTheNoticeSaysWhere)
{
    WriteScript(Bin() / "xdg-settings", "exit 1\n");
    WritePicture(m_photos / "a.bmp", 100, 100);
    OpenOnFiles(1);
    Select({m_photos / "a.bmp"});
    platform::zorneth::SetScriptedAnswers({IDOK});
    Command(IDC_PANEL_COPY_TO_EMAIL);
    const auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text,
              "Your file(s) has (have) been converted into a suitable format and copied to the "
              "folder \n" +
                  CParams::CompactPath(CParams::GetEmailsFolder(), 90).Str() +
                  ".\nYou can now attach it (them) manually to your email.");
    EXPECT_TRUE(fs::exists(Emails() / "a.jpg"));
    EXPECT_TRUE(Mails().empty());
}

TEST_F(PanelFilesTest, WithoutTheTranscoderLibraryPicturesAreStillSent)
{
    SetTranscoderLibraryPath((m_dir.Path() / "missing" / "libkestavo.so").c_str());
    WritePicture(m_photos / "a.bmp", 100, 100);
    WriteVideo(m_photos / "clip.wmv", 1);
    OpenOnFiles(2);
    Panel().GetList()->SelectAll(TRUE);
    PumpMessages(20);
    platform::zorneth::SetScriptedAnswers({IDOK, IDYES});
    Command(IDC_PANEL_COPY_TO_EMAIL);
    const auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].Text, "Some files could not be attached to your email. The process was interrupted.");
    EXPECT_EQ(MailedFiles(), std::vector<std::string>{(Emails() / "a.jpg").string()});
}

TEST_F(PanelFilesTest, UnpluggingTheCameraDuringAConversionSendsNothingAndLeavesNoConverter)
{
    WriteVideo(m_photos / "long.wmv", 40);
    CCaptureDlg& panel = OpenOnFiles(1);
    const HWND window = panel.GetSafeHwnd();
    Select({m_photos / "long.wmv"});
    platform::zorneth::SetScriptedAnswers({IDYES});
    bool unplugged = false;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout,
                     [&]
                     {
                         if (!unplugged && ConverterChildren() > 0)
                         {
                             unplugged = true;
                             m_camera->Unplug();
                         }
                     });
    user.start(20);
    Command(IDC_PANEL_COPY_TO_EMAIL);
    user.stop();
    ASSERT_TRUE(unplugged) << "the conversion ended before the camera went";
    EXPECT_TRUE(platform::zorneth::ScriptedBoxes().empty()) << "no question, nothing sent";
    EXPECT_FALSE(fs::exists(Emails() / "long.avi"));
    EXPECT_EQ(ConverterChildren(), 0);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(window); }, kEventLimitMs))
        << "the panel closes at the end";
    PumpMessages(200);
    EXPECT_TRUE(Mails().empty());
}
