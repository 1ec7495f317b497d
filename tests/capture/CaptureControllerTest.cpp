#include "brevicam/capture/CaptureController.h"

#include "CaptureTestSupport.h"

#include "brevicam/capture/CaptureMessages.h"
#include "brevicam/core/Observer.h"
#include "brevicam/core/Params.h"
#include "brevicam/core/StartupObjects.h"
#include "brevicam/core/Subject.h"
#include "brevicam/media/GIFConversionTask.h"
#include "platform/dshow/FileWriteHook.h"
#include "platform/ostrago/Ostrago.h"
#include "platform/window/WinApp.h"
#include "platform/zorneth/Zorneth.h"
#include "shared/exceptions/Exceptions.h"
#include "tests/platform/dshow/MediaProbe.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

using namespace capture_testing;
using platform::VirtualCamera;

namespace
{
using testing_support::FilesIn;
using testing_support::Today;
namespace fs = std::filesystem;

const char* VideoName(int state)
{
    static const char* const names[] = {"RUNNING", "IN_USE", "MISSING", "LOST", "RES_CHANGE"};
    return state >= 0 && state < 5 ? names[state] : "?";
}

const char* ProgName(int state)
{
    static const char* const names[] = {"?",
                                        "GRAPH_RUNNING",
                                        "READY",
                                        "RESTARTING",
                                        "INITIAL",
                                        "RECORD_STARTING",
                                        "RECORDING",
                                        "RECORD_ERROR",
                                        "RECORD_STOPPED",
                                        "DEVICE_CHANGED",
                                        "DEVICE_RESELECTED",
                                        "MODE_CHANGED",
                                        "SHOT_STARTED",
                                        "SAVING_IMAGES",
                                        "IMAGES_SAVED",
                                        "RES_LOWERED_800",
                                        "RES_LOWERED_640",
                                        "GRAPH_RESTARTED",
                                        "SAVE_FAILED",
                                        "DISK_FULL",
                                        "VMR_FAILED",
                                        "FATAL"};
    return state >= 1 && state <= 21 ? names[state] : "?";
}

using Log = std::vector<std::string>;

/// Records every notification of the controller's two subjects as "V:<state>" or "P:<state>"; a message
/// change notifies the program state again, so it shows as a repeated "P:" entry.
class StateLog : public CObserver
{
public:
    explicit StateLog(CCaptureController& controller) : m_controller(controller)
    {
        controller.m_pVideoState->Attach(this);
        controller.m_pProgState->Attach(this);
        entries.clear();
    }
    ~StateLog() override
    {
        m_controller.m_pVideoState->Detach(this);
        m_controller.m_pProgState->Detach(this);
    }
    void Update(CSubject* subject) override
    {
        if (subject == m_controller.m_pVideoState)
            entries.push_back(std::string("V:") + VideoName(m_controller.m_pVideoState->m_state));
        else
            entries.push_back(std::string("P:") + ProgName(m_controller.m_pProgState->m_state));
    }
    /// The entries without the repeats that a message change adds.
    Log States() const
    {
        Log states;
        for (const auto& entry : entries)
            if (states.empty() || states.back() != entry || entry.rfind("P:READY", 0) != 0)
                states.push_back(entry);
        return states;
    }
    Log entries;

private:
    CCaptureController& m_controller;
};

class CaptureControllerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        const CaptureFolders folders = PrepareCaptureSettings(m_dir.Path());
        m_photos = folders.photos;
        m_videos = folders.videos;
        m_app.emplace("QPX_SE");
        m_app->SetRegistryKey("Tavisk");
        g_webcamModel = 0;
        CGIFConversionTask::SetFileOpener(&RecordOpened);
        s_opened.clear();
    }

    void TearDown() override
    {
        m_log.reset();
        if (m_controller)
        {
            m_controller->StopPreview();
            m_controller.reset();
        }
        platform::dshow::SetFileWriteHook({});
        platform::zorneth::ClearScriptedAnswers();
        CGIFConversionTask::SetFileOpener(nullptr);
        m_cameras.clear();
        m_app.reset();
        g_webcamModel = 0;
    }

    static void RecordOpened(const CString& path) { s_opened.push_back(path.Str()); }

    /// The per-model settings the first build of the graph reads.
    void StoreCameraSettings(int model, const char* photo, const char* video, int mode)
    {
        const std::string id = std::to_string(model);
        m_app->WriteProfileString("Settings", ("PhotoResolution_" + id).c_str(), photo);
        m_app->WriteProfileString("Settings", ("VideoResolution_" + id).c_str(), video);
        m_app->WriteProfileInt("Settings", ("CamMode_" + id).c_str(), mode);
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_CamMode = mode;
    }

    std::shared_ptr<VirtualCamera> Plug(platform::VirtualCameraConfig config = {})
    {
        m_cameras.push_back(VirtualCamera::Create(config));
        return m_cameras.back();
    }

    CCaptureController& Controller()
    {
        m_controller = std::make_unique<CCaptureController>();
        m_controller->m_graph.DetectWebcamModel();
        m_log = std::make_unique<StateLog>(*m_controller);
        return *m_controller;
    }

    /// The controller with its preview running and the log emptied.
    CCaptureController& Previewing()
    {
        CCaptureController& controller = Controller();
        controller.StartPreview();
        controller.SetMainWindow(m_windows.Surface());
        EXPECT_EQ(controller.m_pVideoState->GetState(), VS_RUNNING);
        WaitForFrame();
        m_log->entries.clear();
        return controller;
    }

    bool WaitForFrame()
    {
        for (int i = 0; i < 100; ++i)
        {
            CWindowlessRenderer* renderer = m_controller->m_graph.GetRenderer();
            if (renderer && renderer->GetCurrentImage())
            {
                renderer->FreeCurrentImage();
                return true;
            }
            PumpMessages(50);
        }
        return false;
    }

    /// Pumps messages for `ms`, handing every WM_GRAPH_NOTIFY to the controller as the main dialog does.
    void PumpGraphEvents(int ms)
    {
        for (int elapsed = 0; elapsed < ms; elapsed += 50)
            for (int n = PumpMessages(50, m_windows.Main(), WM_GRAPH_NOTIFY); n > 0; --n)
                m_controller->OnGraphEvent();
    }

    /// Pumps graph events until the log holds `entry` or `ms` have passed.
    bool PumpUntil(const std::string& entry, int ms)
    {
        for (int elapsed = 0; elapsed < ms; elapsed += 50)
        {
            const Log& entries = m_log->entries;
            if (std::find(entries.begin(), entries.end(), entry) != entries.end())
                return true;
            PumpGraphEvents(50);
        }
        return false;
    }

    void SetCamMode(int mode)
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_CamMode = mode;
    }

    std::vector<std::string> Photos() const { return FilesIn(m_photos); }
    fs::path GifFolder() const { return m_dir.Path() / "home" / "Documents" / "Tavisk webcam" / "GIF"; }
    std::vector<std::string> LastFiles()
    {
        std::vector<std::string> files;
        for (const CString& file : g_params.GetLastFiles())
            files.push_back(file.Str());
        return files;
    }

    static inline std::vector<std::string> s_opened;
    testing_support::TempDir m_dir;
    fs::path m_photos;
    fs::path m_videos;
    std::optional<CWinApp> m_app;
    VideoWindows m_windows;
    std::vector<std::shared_ptr<VirtualCamera>> m_cameras;
    std::unique_ptr<CCaptureController> m_controller;
    std::unique_ptr<StateLog> m_log;
};
} // namespace

// Preview --------------------------------------------------------------------------------------------------

TEST_F(CaptureControllerTest, PreviewRunsAndNamesTheDevices)
{
    Plug();
    CCaptureController& controller = Controller();
    EXPECT_EQ(controller.m_pProgState->GetState(), PS_INITIAL);
    controller.StartPreview();
    EXPECT_EQ(m_log->States(), (Log{"P:GRAPH_RUNNING", "V:RUNNING", "P:READY"}));
    EXPECT_STREQ(controller.m_pProgState->GetMessage(), "Brevicam Virtual Camera / None");
    EXPECT_EQ(g_params.GetVideoDevice(), "Brevicam Virtual Camera");
    EXPECT_TRUE(WaitForFrame());
    EXPECT_EQ(controller.m_graph.GetGraphMode(), 0);

    controller.StopPreview();
    EXPECT_FALSE(controller.m_graph.IsBuilt());
}

TEST_F(CaptureControllerTest, BusyCameraGivesWayToTheNextOne)
{
    auto first = Plug({.name = "First Camera"});
    Plug({.name = "Second Camera"});
    first->SetBusy(true);
    CCaptureController& controller = Controller();
    controller.StartPreview();
    EXPECT_EQ(controller.m_graph.GetVideoDevices().GetSelectedName(), "Second Camera");
    EXPECT_EQ(controller.m_pVideoState->GetState(), VS_RUNNING);
    EXPECT_EQ(controller.m_pProgState->GetState(), PS_READY);
    EXPECT_TRUE(WaitForFrame());
}

TEST_F(CaptureControllerTest, EveryCameraBusyIsInUseWithTheLastOneChosen)
{
    Plug({.name = "First Camera"})->SetBusy(true);
    Plug({.name = "Second Camera"})->SetBusy(true);
    CCaptureController& controller = Controller();
    controller.StartPreview();
    EXPECT_EQ(controller.m_pVideoState->GetState(), VS_IN_USE);
    EXPECT_EQ(controller.m_pProgState->GetState(), PS_READY);
    EXPECT_EQ(controller.m_graph.GetVideoDevices().GetSelectedName(), "Second Camera");
    // No graph runs on without a picture.
    EXPECT_FALSE(controller.m_graph.IsBuilt());
}

TEST_F(CaptureControllerTest, NoCameraIsAMissingVideo)
{
    CCaptureController& controller = Controller();
    controller.StartPreview();
    EXPECT_EQ(m_log->States(), (Log{"V:MISSING", "P:READY"}));
    EXPECT_STREQ(controller.m_pProgState->GetMessage(), "None / None");
    CxImage frame;
    EXPECT_FALSE(controller.TakeSnapshot(frame));
}

// Photos ---------------------------------------------------------------------------------------------------

struct PhotoCase
{
    const char* name;
    int format;
    const char* extension;
};

void PrintTo(const PhotoCase& c, std::ostream* os)
{
    *os << c.name;
}

class PhotoRoadTest : public CaptureControllerTest, public testing::WithParamInterface<PhotoCase>
{
};

TEST_P(PhotoRoadTest, ShotBecomesAPhotoOfTheLivePicture)
{
    const PhotoCase& c = GetParam();
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_PhotoFormat = c.format;
        // No sound server here: the shutter sound fails quietly and the shot goes on.
        g_params.m_CameraSound = 1;
    }
    Plug();
    CCaptureController& controller = Previewing();
    controller.Shoot();
    EXPECT_EQ(m_log->States(), (Log{"P:IMAGES_SAVED"}));
    const std::string expected = "Pic-" + Today() + "-001" + c.extension;
    EXPECT_EQ(Photos(), (std::vector<std::string>{expected}));
    EXPECT_EQ(LastFiles(), (std::vector<std::string>{(m_photos / expected).string()}));
    CxImage photo;
    ASSERT_TRUE(photo.Load((m_photos / expected).c_str()));
    EXPECT_EQ(photo.GetWidth(), 640u);
    EXPECT_EQ(photo.GetHeight(), 480u);
    // The test pattern's first bar is white.
    const RGBQUAD white = photo.GetPixelColor(20, 240);
    EXPECT_GT(white.rgbRed, 170);
    EXPECT_GT(white.rgbBlue, 170);

    controller.Shoot();
    EXPECT_EQ(Photos().size(), 2u);
    EXPECT_EQ(LastFiles().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Formats, PhotoRoadTest,
                         testing::Values(PhotoCase{"Jpeg", 3, ".jpg"}, PhotoCase{"Bitmap", 1, ".bmp"}),
                         [](const auto& info) { return info.param.name; });

TEST_F(CaptureControllerTest, InterpolatedSizeIsResampledBehindTheWaitWindow)
{
    // Model 5 captures 640 x 480 and offers larger stills by interpolation.
    StoreCameraSettings(5, "1280 x 1024", "640 x 480", 0);
    Plug({.name = "Model Five", .vendorId = 0x046D, .productId = 0x0804, .sizes = {{640, 480}, {320, 240}}});
    CCaptureController& controller = Previewing();
    ASSERT_EQ(GetWebcamModel(), 5);
    ASSERT_GT(controller.m_graph.GetResolution().m_interpolated, 0);
    controller.Shoot();
    EXPECT_EQ(m_log->States(), (Log{"P:IMAGES_SAVED"}));
    ASSERT_EQ(Photos().size(), 1u);
    CxImage photo;
    ASSERT_TRUE(photo.Load((m_photos / Photos()[0]).c_str()));
    EXPECT_EQ(photo.GetWidth(), 1280u);
    EXPECT_EQ(photo.GetHeight(), 1024u);
}

TEST_F(CaptureControllerTest, ShotWithoutAPictureIsAFailedSaveThatSelectsNothing)
{
    Plug();
    CCaptureController& controller = Controller();
    g_params.AddLastCapturedFile((m_photos / "older.jpg").c_str());
    // No preview: nothing on screen to take.
    controller.Shoot();
    EXPECT_EQ(m_log->States(), (Log{"P:SAVE_FAILED"}));
    EXPECT_TRUE(LastFiles().empty());
    EXPECT_TRUE(Photos().empty());
}

TEST_F(CaptureControllerTest, UnusablePhotoFolderIsRefusedWithoutImagesSaved)
{
    std::ofstream(m_dir.Path() / "not-a-folder") << "x";
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_PhotoPath = (m_dir.Path() / "not-a-folder").string().c_str();
    }
    Plug();
    CCaptureController& controller = Previewing();
    controller.Shoot();
    EXPECT_EQ(m_log->States(), (Log{"P:SAVE_FAILED"}));
    SetCamMode(2);
    EXPECT_FALSE(controller.OnBurstTimer());
}

TEST_F(CaptureControllerTest, FailedWriteShowsTheBoxAndLeavesNoFile)
{
    // Room for the free-space test of the windows, not for a 1280 x 720 bitmap.
    if (!testing_support::MountSmallTmpfs(m_photos, 1800))
        GTEST_SKIP() << "no mount namespace available for a small disk";
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_PhotoFormat = 1;
    }
    StoreCameraSettings(25, "1280 x 720", "640 x 480", 0);
    Plug();
    CCaptureController& controller = Previewing();
    ASSERT_EQ(controller.m_graph.GetResolution(), CResolution(1280, 720, false));
    controller.Shoot();
    EXPECT_EQ(m_log->States(), (Log{"P:SAVE_FAILED"}));
    const auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text.rfind("Unable to save the ", 0), 0u) << boxes[0].Text;
    EXPECT_NE(boxes[0].Text.find(".bmp file."), std::string::npos) << boxes[0].Text;
    EXPECT_TRUE(Photos().empty());
    umount2(m_photos.c_str(), MNT_DETACH);
}

TEST_F(CaptureControllerTest, SelfTimerShotSavesAPhotoAndReturnsToReady)
{
    Plug();
    CCaptureController& controller = Previewing();
    SetCamMode(2);
    EXPECT_TRUE(controller.OnBurstTimer());
    EXPECT_EQ(m_log->States(), (Log{"P:IMAGES_SAVED", "P:READY"}));
    EXPECT_EQ(Photos().size(), 1u);
    // The capture button itself does nothing in this mode, nor in the video mode.
    controller.Shoot();
    SetCamMode(3);
    controller.Shoot();
    EXPECT_TRUE(controller.OnBurstTimer());
    EXPECT_EQ(Photos().size(), 1u);
}

// Burst series ---------------------------------------------------------------------------------------------

TEST_F(CaptureControllerTest, CompleteBurstBecomesALoopingGifOfItsFrames)
{
    Plug();
    CCaptureController& controller = Previewing();
    SetCamMode(1);
    controller.Shoot();
    EXPECT_TRUE(controller.IsBurstRunning());
    for (int frame = 1; frame <= 3; ++frame)
    {
        EXPECT_TRUE(controller.OnBurstTimer());
        EXPECT_EQ(controller.GetBurstImageCount(), frame == 3 ? 0 : frame);
    }
    EXPECT_EQ(m_log->States(), (Log{"P:SHOT_STARTED", "P:SAVING_IMAGES", "P:IMAGES_SAVED", "P:READY"}));
    EXPECT_FALSE(controller.IsBurstRunning());
    EXPECT_EQ(Photos().size(), 3u);
    EXPECT_EQ(LastFiles().size(), 3u);
    const auto gifs = FilesIn(GifFolder());
    ASSERT_EQ(gifs.size(), 1u);
    EXPECT_EQ(s_opened.size(), 1u);
    const auto probe = testing_support::ProbeGif(GifFolder() / gifs[0]);
    EXPECT_EQ(probe.frames, 3);
    EXPECT_EQ(probe.width, 640);
    EXPECT_EQ(probe.durations, (std::vector<int>{20, 20, 20}));
}

TEST_F(CaptureControllerTest, BurstEndedEarlyKeepsTheFramesTakenSoFar)
{
    Plug();
    CCaptureController& controller = Previewing();
    SetCamMode(1);
    // Ended before its first frame: nothing is saved.
    controller.Shoot();
    controller.Shoot();
    EXPECT_EQ(m_log->States(), (Log{"P:SHOT_STARTED", "P:IMAGES_SAVED", "P:READY"}));
    EXPECT_TRUE(Photos().empty());

    m_log->entries.clear();
    controller.Shoot();
    EXPECT_TRUE(controller.OnBurstTimer());
    EXPECT_TRUE(controller.OnBurstTimer());
    controller.Shoot();
    EXPECT_EQ(m_log->States(), (Log{"P:SHOT_STARTED", "P:SAVING_IMAGES", "P:IMAGES_SAVED", "P:READY"}));
    EXPECT_EQ(Photos().size(), 2u);
    const auto gifs = FilesIn(GifFolder());
    ASSERT_EQ(gifs.size(), 1u);
    EXPECT_EQ(testing_support::ProbeGif(GifFolder() / gifs[0]).frames, 2);
}

TEST_F(CaptureControllerTest, BurstWithoutRateOrCountEndsAfterOneFrameWithTheDefaultDelay)
{
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_ImagesPerSecond = 0;
        g_params.m_NbPictures = 0;
    }
    Plug();
    CCaptureController& controller = Previewing();
    SetCamMode(1);
    controller.Shoot();
    EXPECT_TRUE(controller.OnBurstTimer());
    EXPECT_FALSE(controller.IsBurstRunning());
    const auto gifs = FilesIn(GifFolder());
    ASSERT_EQ(gifs.size(), 1u);
    EXPECT_EQ(testing_support::ProbeGif(GifFolder() / gifs[0]).durations, (std::vector<int>{100}));
}

TEST_F(CaptureControllerTest, LostFrameEndsTheSeriesAsAFailedSave)
{
    Plug();
    CCaptureController& controller = Previewing();
    SetCamMode(1);
    controller.Shoot();
    EXPECT_TRUE(controller.OnBurstTimer());
    controller.StopPreview(); // the picture is gone
    EXPECT_FALSE(controller.OnBurstTimer());
    EXPECT_EQ(m_log->States(), (Log{"P:SHOT_STARTED", "P:SAVING_IMAGES", "P:SAVE_FAILED", "P:READY"}));
    EXPECT_EQ(controller.GetBurstImageCount(), 0);
    EXPECT_EQ(Photos().size(), 1u);
    EXPECT_EQ(FilesIn(GifFolder()).size(), 1u);
}

TEST_F(CaptureControllerTest, LowDiskStopsTheSeriesWithABoxAndNoGif)
{
    if (!testing_support::MountSmallTmpfs(m_photos, 1024))
        GTEST_SKIP() << "no mount namespace available for a small disk";
    Plug();
    CCaptureController& controller = Previewing();
    SetCamMode(1);
    controller.Shoot();
    EXPECT_TRUE(controller.OnBurstTimer());
    EXPECT_TRUE(controller.OnBurstTimer());
    controller.Shoot();
    EXPECT_EQ(m_log->States(), (Log{"P:SHOT_STARTED", "P:IMAGES_SAVED", "P:READY"}));
    const auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "You don't have enough free space on your hard drive.");
    EXPECT_TRUE(Photos().empty());
    EXPECT_TRUE(FilesIn(GifFolder()).empty());
    umount2(m_photos.c_str(), MNT_DETACH);
}

// Recording ------------------------------------------------------------------------------------------------

TEST_F(CaptureControllerTest, RecordingStartsAndStopsIntoAPlayableFile)
{
    Plug();
    CCaptureController& controller = Previewing();
    g_bCaptureDlgButtonsRestored = 1;
    g_bSmallDlgButtonsRestored = 1;
    controller.ToggleRecording(PS_RECORD_STOPPED);
    EXPECT_EQ(m_log->States(), (Log{"P:RECORD_STARTING", "P:GRAPH_RUNNING", "P:RECORDING", "V:RUNNING"}));
    EXPECT_EQ(controller.m_graph.GetGraphMode(), 1);
    const std::string file = g_params.GetCaptureFileName().Str();
    PumpGraphEvents(2000);

    m_log->entries.clear();
    controller.ToggleRecording(PS_RECORD_STOPPED);
    EXPECT_EQ(m_log->States(), (Log{"P:GRAPH_RUNNING", "P:RECORD_STOPPED", "P:READY", "V:RUNNING"}));
    EXPECT_EQ(controller.m_graph.GetGraphMode(), 0);
    EXPECT_EQ(g_bCaptureDlgButtonsRestored, 0);
    EXPECT_EQ(g_bSmallDlgButtonsRestored, 0);
    const auto info = testing_support::ProbeMedia(file);
    ASSERT_TRUE(info.readable) << file;
    ASSERT_NE(info.Stream("video"), nullptr);
    EXPECT_EQ(info.Stream("video")->codec, "wmv2");
    // The file starts when the held-back stream is released, about 1.5 s after the run.
    EXPECT_GT(info.duration, 1.0);
    EXPECT_TRUE(WaitForFrame());
}

TEST_F(CaptureControllerTest, RecordingWithTooLittleSpaceKeepsThePreview)
{
    if (!testing_support::MountSmallTmpfs(m_videos, 9 * 1024))
        GTEST_SKIP() << "no mount namespace available for a small disk";
    Plug();
    CCaptureController& controller = Previewing();
    controller.ToggleRecording(PS_RECORD_STOPPED);
    EXPECT_EQ(m_log->States(),
              (Log{"P:RECORD_STARTING", "P:GRAPH_RUNNING", "P:DISK_FULL", "P:GRAPH_RESTARTED"}));
    EXPECT_EQ(controller.m_graph.GetGraphMode(), 0);
    EXPECT_TRUE(controller.m_graph.IsRunning());
    EXPECT_TRUE(FilesIn(m_videos).empty());
    umount2(m_videos.c_str(), MNT_DETACH);
}

TEST_F(CaptureControllerTest, DiskFillingUpStopsTheRecordingOnceAndForAll)
{
    capture_testing::FillDiskAfter(200000);
    Plug();
    CCaptureController& controller = Previewing();
    controller.ToggleRecording(PS_RECORD_STOPPED);
    ASSERT_EQ(controller.m_graph.GetGraphMode(), 1);
    m_log->entries.clear();
    ASSERT_TRUE(PumpUntil("P:RECORD_STOPPED", 15000));
    PumpGraphEvents(1500);
    EXPECT_EQ(m_log->States(),
              (Log{"P:DISK_FULL", "P:GRAPH_RUNNING", "P:RECORD_STOPPED", "P:READY", "V:RUNNING"}));
    // Nothing that arrives later starts a recording again.
    EXPECT_EQ(controller.m_graph.GetGraphMode(), 0);
}

TEST_F(CaptureControllerTest, StreamErrorInPreviewChangesNothing)
{
    auto camera = Plug();
    CCaptureController& controller = Previewing();
    camera->InjectStreamError();
    PumpGraphEvents(1500);
    EXPECT_EQ(m_log->States(), Log{});
    EXPECT_EQ(controller.m_graph.GetGraphMode(), 0);
}

struct UnplugCase
{
    const char* name;
    bool recording;
    Log states;
};

void PrintTo(const UnplugCase& c, std::ostream* os)
{
    *os << c.name;
}

class UnplugTest : public CaptureControllerTest, public testing::WithParamInterface<UnplugCase>
{
};

TEST_P(UnplugTest, UnpluggedCameraEndsInLost)
{
    const UnplugCase& c = GetParam();
    auto camera = Plug();
    CCaptureController& controller = Previewing();
    std::string file;
    if (c.recording)
    {
        controller.ToggleRecording(PS_RECORD_STOPPED);
        file = g_params.GetCaptureFileName().Str();
        PumpGraphEvents(2000);
    }
    m_log->entries.clear();
    camera->Unplug();
    ASSERT_TRUE(PumpUntil("V:LOST", 10000));
    EXPECT_EQ(m_log->States(), c.states);
    EXPECT_EQ(controller.m_graph.GetVideoDevices().GetCount(), 0);
    EXPECT_FALSE(controller.m_graph.IsBuilt());
    if (c.recording)
    {
        int frames = 0;
        std::string errors;
        EXPECT_TRUE(testing_support::DecodesCleanly(file, &frames, &errors)) << errors;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, UnplugTest,
    testing::Values(UnplugCase{"Preview", false, {"V:LOST"}},
                    // The recording stops; the preview cannot come back without the camera.
                    UnplugCase{"Recording", true, {"V:MISSING", "P:READY", "V:LOST"}}),
    [](const auto& info) { return info.param.name; });

// Devices, sizes and modes ---------------------------------------------------------------------------------

TEST_F(CaptureControllerTest, SameSizeOrSameModeDoesNothing)
{
    Plug();
    CCaptureController& controller = Previewing();
    controller.ChangeResolution(controller.m_graph.GetResolution());
    controller.SetCamMode(0);
    EXPECT_EQ(m_log->States(), Log{});
}

TEST_F(CaptureControllerTest, ChangingTheSizeRebuildsThePreview)
{
    Plug();
    CCaptureController& controller = Previewing();
    controller.ChangeResolution(CResolution(1280, 720, false));
    EXPECT_EQ(m_log->States(), (Log{"V:RES_CHANGE", "P:GRAPH_RUNNING", "V:RUNNING"}));
    CWindowlessRenderer* renderer = controller.m_graph.GetRenderer();
    ASSERT_TRUE(WaitForFrame());
    BITMAPINFOHEADER header;
    std::memcpy(&header, renderer->GetCurrentImage(), sizeof header);
    renderer->FreeCurrentImage();
    EXPECT_EQ(header.biWidth, 1280);
    EXPECT_EQ(header.biHeight, 720);
}

TEST_F(CaptureControllerTest, ChoosingTheSameCameraAgainIsAReselection)
{
    Plug();
    CCaptureController& controller = Previewing();
    controller.SelectDevice(CDeviceGraph::kVideo, 0);
    EXPECT_EQ(m_log->States(), (Log{"P:DEVICE_RESELECTED", "P:GRAPH_RUNNING", "V:RUNNING", "P:READY"}));
    EXPECT_TRUE(WaitForFrame());
}

struct BusyChoiceCase
{
    const char* name;
    void (*choose)(CCaptureController& controller, int camera);
};

class BusyChoiceTest : public CaptureControllerTest, public testing::WithParamInterface<BusyChoiceCase>
{
};

TEST_P(BusyChoiceTest, ChosenBusyCameraIsAnnouncedInUseAndLeavesNoGraph)
{
    Plug({.name = "First Camera"});
    Plug({.name = "Second Camera"})->SetBusy(true);
    CCaptureController& controller = Previewing();
    // The exception still reaches the caller, which may offer the next camera.
    EXPECT_THROW(GetParam().choose(controller, 1), CVideoInUseException);
    EXPECT_EQ(m_log->States(), (Log{"P:DEVICE_CHANGED", "V:IN_USE", "P:READY"}));
    EXPECT_EQ(controller.m_pVideoState->GetState(), VS_IN_USE);
    EXPECT_FALSE(controller.m_graph.IsBuilt());
}

INSTANTIATE_TEST_SUITE_P(
    Choices, BusyChoiceTest,
    testing::Values(BusyChoiceCase{"Camera", [](CCaptureController& controller, int camera)
                                   { controller.SelectDevice(CDeviceGraph::kVideo, camera); }},
                    BusyChoiceCase{"CameraAndMicrophone",
                                   [](CCaptureController& controller, int camera) {
                                       controller.SelectDevices(
                                           camera, controller.m_graph.GetSelectedIndex(CDeviceGraph::kAudio));
                                   }}),
    [](const testing::TestParamInfo<BusyChoiceCase>& info) { return std::string(info.param.name); });

struct ModeCase
{
    const char* name;
    const char* photoSize;
    const char* videoSize;
    int mode;
    Log states;
    const char* photoAfter;
    const char* videoAfter;
    CResolution largestOffered;
};

void PrintTo(const ModeCase& c, std::ostream* os)
{
    *os << c.name;
}

class ModeRulesTest : public CaptureControllerTest, public testing::WithParamInterface<ModeCase>
{
};

TEST_P(ModeRulesTest, ModelFiveSizesFollowTheMode)
{
    const ModeCase& c = GetParam();
    StoreCameraSettings(5, c.photoSize, c.videoSize, 0);
    Plug({.name = "Model Five", .vendorId = 0x046D, .productId = 0x0804, .sizes = {{640, 480}, {320, 240}}});
    CCaptureController& controller = Previewing();
    ASSERT_EQ(GetWebcamModel(), 5);
    controller.SetCamMode(c.mode);
    EXPECT_EQ(m_log->States(), c.states);
    EXPECT_EQ(g_params.GetCamMode(), c.mode);
    EXPECT_EQ(g_params.GetPhotoResolution(), c.photoAfter);
    EXPECT_EQ(g_params.GetVideoResolution(), c.videoAfter);
    const auto& offered = controller.m_graph.GetResolutions();
    ASSERT_FALSE(offered.empty());
    EXPECT_EQ(*offered.rbegin(), c.largestOffered);
    // The model's settings were saved with the new mode.
    EXPECT_EQ(m_app->GetProfileInt("Settings", "CamMode_5", -1), c.mode);
}

INSTANTIATE_TEST_SUITE_P(Rules, ModeRulesTest,
                         testing::Values(ModeCase{"BurstLowersALargePhotoSize",
                                                  "1280 x 1024",
                                                  "640 x 480",
                                                  1,
                                                  {"P:RES_LOWERED_640", "V:RES_CHANGE", "P:GRAPH_RUNNING",
                                                   "V:RUNNING", "P:MODE_CHANGED"},
                                                  "640 x 480",
                                                  "640 x 480",
                                                  CResolution(640, 480, false)},
                                         ModeCase{"BurstKeepsVga",
                                                  "640 x 480",
                                                  "640 x 480",
                                                  1,
                                                  {"P:MODE_CHANGED"},
                                                  "640 x 480",
                                                  "640 x 480",
                                                  CResolution(640, 480, false)},
                                         ModeCase{"VideoLowersToSvga",
                                                  "640 x 480",
                                                  "1280 x 1024",
                                                  3,
                                                  {"V:RES_CHANGE", "P:GRAPH_RUNNING", "V:RUNNING",
                                                   "P:RES_LOWERED_800", "V:RES_CHANGE", "P:GRAPH_RUNNING",
                                                   "V:RUNNING", "P:MODE_CHANGED"},
                                                  "640 x 480",
                                                  "800 x 600",
                                                  CResolution(800, 600, true)}),
                         [](const auto& info) { return info.param.name; });

// Fatal errors ---------------------------------------------------------------------------------------------

TEST_F(CaptureControllerTest, FatalErrorEndsTheProcessWithAFailureCode)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Plug();
    EXPECT_EXIT(
        {
            CCaptureController& controller = Previewing();
            controller.OnFatalError();
        },
        testing::ExitedWithCode(EXIT_FAILURE), "");
}
