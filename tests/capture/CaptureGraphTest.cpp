#include "brevicam/capture/CaptureGraph.h"

#include "CaptureTestSupport.h"

#include "brevicam/capture/CaptureFormat.h"
#include "brevicam/capture/CaptureMessages.h"
#include "brevicam/capture/ComErrors.h"
#include "brevicam/core/Params.h"
#include "platform/dshow/FileWriteHook.h"
#include "platform/win/Dib.h"
#include "platform/window/WinApp.h"
#include "platform/window/WinGdi.h"
#include "platform/window/WinUser.h"
#include "platform/zorneth/Zorneth.h"
#include "shared/exceptions/Exceptions.h"
#include "tests/platform/dshow/MediaProbe.h"
#include "tests/support/ScaledPicture.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <thread>
#include <unistd.h>

using namespace capture_testing;
using platform::VirtualCamera;
using platform::VirtualCameraConfig;

namespace
{
using testing_support::FilesIn;
using testing_support::Today;
struct Pixel
{
    int b;
    int g;
    int r;
};

/// The pixel at (x, y) of a packed DIB, counted from the picture's top left corner.
Pixel At(const BYTE* dib, int x, int y)
{
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib, sizeof header);
    size_t row = (static_cast<size_t>(header.biWidth) * 3 + 3) & ~static_cast<size_t>(3);
    const BYTE* p =
        dib + sizeof header + row * static_cast<size_t>(header.biHeight - 1 - y) + static_cast<size_t>(x) * 3;
    return {p[0], p[1], p[2]};
}

/// What a window shows in its client area, read back through a DIB section.
struct WindowPixels
{
    explicit WindowPixels(HWND window)
    {
        RECT client{};
        GetClientRect(window, &client);
        width = client.right;
        height = client.bottom;
        BITMAPINFO info = Dib32Info(width, -height);
        void* bits = nullptr;
        HDC memory = CreateCompatibleDC(nullptr);
        HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(memory, bitmap);
        HDC dc = GetDC(window);
        BitBlt(memory, 0, 0, width, height, dc, 0, 0, SRCCOPY);
        ReleaseDC(window, dc);
        const auto* p = static_cast<const BYTE*>(bits);
        for (int i = 0; i < width * height; ++i, p += 4)
            pixels.push_back(RGB(p[2], p[1], p[0]));
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
    }
    COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;
};

bool WaitForEvent(IGraphBuilder* graph, long code, long timeoutMs, LONG_PTR* param1)
{
    ComPtr<IMediaEventEx> events;
    graph->QueryInterface(IID_IMediaEventEx, events.PutVoid());
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline)
    {
        long got = 0;
        LONG_PTR p1 = 0;
        LONG_PTR p2 = 0;
        if (events->GetEvent(&got, &p1, &p2, 100) != S_OK)
            continue;
        events->FreeEventParams(got, p1, p2);
        if (got == code)
        {
            *param1 = p1;
            return true;
        }
    }
    return false;
}

bool Contains(const std::vector<std::string>& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

class CaptureGraphTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_app.emplace("QPX_SE");
        m_app->SetRegistryKey("Tavisk");
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_VideoDevice = "";
        g_params.m_AudioDevice = "";
        g_params.m_CamMode = 0;
        g_params.m_VideoQuality = 0;
        // What the settings hold after loading, before a camera's own sizes are read.
        g_params.m_VideoResolution = "640 x 480";
        g_params.m_PhotoResolution = "640 x 480";
        g_params.m_VideoPath = (m_dir.Path().string() + "/").c_str();
        g_params.m_CaptureFileName = "";
        g_webcamModel = 0;
    }
    void TearDown() override
    {
        if (m_graph)
        {
            m_graph->Stop();
            m_graph->TearDown();
            m_graph.reset();
        }
        platform::dshow::SetFileWriteHook({});
        m_app.reset();
        g_webcamModel = 0;
    }

    /// The per-model settings a first build reads.
    void StoreCameraSettings(int model, const char* photo, const char* video, int mode)
    {
        const std::string id = std::to_string(model);
        m_app->WriteProfileString("Settings", ("PhotoResolution_" + id).c_str(), photo);
        m_app->WriteProfileString("Settings", ("VideoResolution_" + id).c_str(), video);
        m_app->WriteProfileInt("Settings", ("CamMode_" + id).c_str(), mode);
    }

    std::shared_ptr<VirtualCamera> Plug(VirtualCameraConfig config)
    {
        m_camera = VirtualCamera::Create(config);
        return m_camera;
    }

    CCaptureGraph& Graph()
    {
        m_graph = std::make_unique<CCaptureGraph>();
        m_graph->DetectWebcamModel();
        return *m_graph;
    }

    std::vector<std::string> Filters() { return FilterNames(m_graph->GetGraph()); }

    BYTE* WaitForImage(int timeoutMs)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline)
        {
            if (BYTE* dib = m_graph->GetRenderer()->GetCurrentImage())
                return dib;
            PumpMessages(20);
        }
        return nullptr;
    }

    testing_support::TempDir m_dir;
    std::optional<CWinApp> m_app;
    VideoWindows m_windows;
    std::shared_ptr<VirtualCamera> m_camera;
    std::unique_ptr<CCaptureGraph> m_graph;
};
} // namespace

TEST_F(CaptureGraphTest, PreviewAndRecordingBuildAndTearDownRepeatedly)
{
    Plug({});
    CCaptureGraph& graph = Graph();
    EXPECT_EQ(GetWebcamModel(), 25);
    EXPECT_EQ(graph.GetVideoDevices().GetSelectedName(), "Brevicam Virtual Camera");
    for (int round = 0; round < 3; ++round)
    {
        SCOPED_TRACE(round);
        for (int mode : {0, 1})
        {
            ASSERT_TRUE(graph.SetGraphMode(mode));
            EXPECT_TRUE(graph.IsBuilt());
            std::vector<std::string> filters = Filters();
            EXPECT_TRUE(Contains(filters, "Brevicam Virtual Camera"));
            EXPECT_TRUE(Contains(filters, "Video Renderer"));
            EXPECT_TRUE(Contains(filters, "Color Space Converter"));
            EXPECT_EQ(Contains(filters, "Null renderer"), mode == 0);
            EXPECT_EQ(Contains(filters, "ASF Writer"), mode == 1);
            EXPECT_EQ(Contains(filters, "WMV8DMO Encoder"), mode == 1);
            EXPECT_FALSE(Contains(filters, "SampleGrab"));
            EXPECT_FALSE(Contains(filters, "Dummy Filter"));
            ASSERT_EQ(graph.Run(), S_OK);
            BYTE* image = WaitForImage(5000);
            EXPECT_NE(image, nullptr);
            graph.GetRenderer()->FreeCurrentImage();
            // The controller lets a graph settle before it stops it again.
            PumpMessages(300);
            EXPECT_TRUE(graph.Stop());
            EXPECT_TRUE(graph.TearDown());
            EXPECT_FALSE(graph.IsBuilt());
            EXPECT_TRUE(Filters().empty());
        }
    }
}

TEST_F(CaptureGraphTest, SettingTheBuiltModeAgainChangesNothing)
{
    Plug({});
    CCaptureGraph& graph = Graph();
    ASSERT_TRUE(graph.SetGraphMode(0));
    CWindowlessRenderer* renderer = graph.GetRenderer();
    ASSERT_EQ(graph.Run(), S_OK);
    EXPECT_TRUE(graph.SetGraphMode(0));
    EXPECT_EQ(graph.GetRenderer(), renderer);
    EXPECT_TRUE(graph.IsRunning());
    // Another mode stops the graph, tears it down and builds the recording graph.
    EXPECT_TRUE(graph.SetGraphMode(1));
    EXPECT_FALSE(graph.IsRunning());
    EXPECT_EQ(graph.GetGraphMode(), 1);
    EXPECT_TRUE(Contains(Filters(), "ASF Writer"));
}

TEST_F(CaptureGraphTest, FrameGrabShowsTheCamerasBars)
{
    Plug({});
    CCaptureGraph& graph = Graph();
    ASSERT_TRUE(graph.SetGraphMode(0));
    ASSERT_EQ(graph.Run(), S_OK);
    BYTE* dib = WaitForImage(5000);
    ASSERT_NE(dib, nullptr);
    // A second grab without a free in between gives the first block back itself.
    BYTE* again = WaitForImage(5000);
    ASSERT_NE(again, nullptr);
    BITMAPINFOHEADER header;
    std::memcpy(&header, again, sizeof header);
    EXPECT_EQ(header.biWidth, 640);
    EXPECT_EQ(header.biHeight, 480);
    EXPECT_EQ(header.biBitCount, 24);
    Pixel white = At(again, 640 / 28, 480 / 24);
    Pixel yellow = At(again, 640 * 3 / 14, 480 / 24);
    Pixel blue = At(again, 640 * 27 / 28, 480 / 24);
    graph.GetRenderer()->FreeCurrentImage();
    EXPECT_GT(white.r, 180);
    EXPECT_NEAR(white.g, white.r, 10);
    EXPECT_NEAR(white.b, white.r, 10);
    EXPECT_GT(yellow.g, 150);
    EXPECT_LT(yellow.b, 50);
    EXPECT_GT(blue.b, 150);
    EXPECT_LT(blue.r, 50);
}

TEST_F(CaptureGraphTest, LivePictureIsDrawnIntoTheSurfaceInProportion)
{
    Plug({});
    m_windows.ResizeSurface(400, 240);
    CCaptureGraph& graph = Graph();
    ASSERT_TRUE(graph.SetGraphMode(0));
    RECT source{};
    RECT destination{};
    ASSERT_EQ(graph.GetRenderer()->GetVideoPosition(&source, &destination), S_OK);
    EXPECT_EQ(destination.left, 40);
    EXPECT_EQ(destination.right, 360);
    EXPECT_EQ(destination.bottom, 240);
    ASSERT_EQ(graph.Run(), S_OK);
    PumpMessages(1500);
    HDC dc = GetDC(m_windows.Surface());
    COLORREF border = GetPixel(dc, 10, 120);
    COLORREF white = GetPixel(dc, 40 + 320 / 28, 10);
    COLORREF blue = GetPixel(dc, 40 + 320 * 27 / 28, 10);
    ReleaseDC(m_windows.Surface(), dc);
    EXPECT_EQ(border, RGB(0, 0, 0));
    EXPECT_GT(GetRValue(white), 180);
    EXPECT_GT(GetBValue(white), 180);
    EXPECT_GT(GetBValue(blue), 150);
    EXPECT_LT(GetRValue(blue), 50);
}

TEST_F(CaptureGraphTest, PartOfThePictureAtAnOddSizeKeepsItsPlaceAndFramesRepaintOnlyIt)
{
    Plug({});
    m_windows.ResizeSurface(530, 330);
    CCaptureGraph& graph = Graph();
    ASSERT_TRUE(graph.SetGraphMode(0));
    // A part of the frame, away from the clock in its lower right corner, at a size that is no simple
    // ratio of it.
    const RECT from{48, 40, 600, 420};
    const RECT to{13, 9, 513, 299};
    ComPtr<IVMRWindowlessControl9> control;
    ASSERT_EQ(graph.GetRenderer()->GetFilter()->QueryInterface(IID_IVMRWindowlessControl9, control.PutVoid()),
              S_OK);
    ASSERT_EQ(control->SetVideoPosition(&from, &to), S_OK);
    // The bands must stay as they are painted below until the test repaints.
    KillTimer(m_windows.Main(), IDT_RENDERER_REPAINT);
    ASSERT_EQ(graph.Run(), S_OK);
    BYTE* dib = WaitForImage(5000);
    ASSERT_NE(dib, nullptr);
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib, sizeof header);
    ASSERT_EQ(header.biWidth, 640);
    ASSERT_EQ(header.biHeight, 480);
    // The test pattern stands still outside the clock: the frame on screen is this one.
    std::vector<COLORREF> frame;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
        {
            const Pixel p = At(dib, x, y);
            frame.push_back(RGB(p.r, p.g, p.b));
        }
    graph.GetRenderer()->FreeCurrentImage();
    const auto picture = [&](int x, int y)
    { return x < 0 || y < 0 || x >= 640 || y >= 480 ? testing_support::kNoPixel : frame[y * 640 + x]; };
    const auto shows = [&](COLORREF bands)
    {
        const WindowPixels shown(m_windows.Surface());
        return testing_support::CompareScaledPicture([&](int x, int y) { return shown.At(x, y); },
                                                     shown.width, shown.height, picture, from, to, bands);
    };
    const auto waitFor = [&](COLORREF bands)
    {
        // The bound only ends a run that hangs; a loaded machine may take long for a frame.
        testing_support::ScaledPictureCheck check;
        for (int i = 0; i < 600; ++i)
        {
            check = shows(bands);
            if (check.wrong == 0)
                break;
            PumpMessages(50);
        }
        return check;
    };
    auto check = waitFor(RGB(0, 0, 0));
    EXPECT_EQ(check.wrong, 0) << check.firstWrong;
    EXPECT_GT(check.compared, 500 * 290 / 3);

    // A frame draws the picture alone: the bands keep what was painted over them ...
    RECT client{0, 0, 530, 330};
    HDC dc = GetDC(m_windows.Surface());
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &client, red);
    DeleteObject(red);
    ReleaseDC(m_windows.Surface(), dc);
    check = waitFor(RGB(255, 0, 0));
    EXPECT_EQ(check.wrong, 0) << "a frame painted beside the picture: " << check.firstWrong;
    // ... until the renderer repaints, as it does after the window's own paint.
    graph.GetRenderer()->Repaint();
    check = waitFor(RGB(0, 0, 0));
    EXPECT_EQ(check.wrong, 0) << check.firstWrong;
}

struct PositionCase
{
    const char* name;
    int width;
    int height;
    bool fillHeight;
    RECT expected;
};

class VideoPositionTest : public CaptureGraphTest, public testing::WithParamInterface<PositionCase>
{
};

TEST_P(VideoPositionTest, PictureIsFittedAndCentred)
{
    const PositionCase& c = GetParam();
    Plug({});
    CCaptureGraph& graph = Graph();
    ASSERT_TRUE(graph.SetGraphMode(0));
    m_windows.ResizeSurface(c.width, c.height);
    EXPECT_TRUE(graph.GetRenderer()->UpdateVideoPosition(c.fillHeight));
    RECT source{};
    RECT destination{};
    ASSERT_EQ(graph.GetRenderer()->GetVideoPosition(&source, &destination), S_OK);
    EXPECT_EQ(source.right, 640);
    EXPECT_EQ(source.bottom, 480);
    EXPECT_EQ(destination.left, c.expected.left);
    EXPECT_EQ(destination.top, c.expected.top);
    EXPECT_EQ(destination.right, c.expected.right);
    EXPECT_EQ(destination.bottom, c.expected.bottom);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, VideoPositionTest,
    testing::Values(PositionCase{"SmallerWindowScalesDown", 320, 240, false, {0, 0, 320, 240}},
                    PositionCase{"WiderWindowLetterboxesTheSides", 400, 240, false, {40, 0, 360, 240}},
                    PositionCase{"LargerWindowKeepsTheSizeCentred", 720, 540, false, {40, 30, 680, 510}},
                    PositionCase{"FillHeightOverflowsTheSides", 300, 300, true, {-50, 0, 350, 300}},
                    PositionCase{"SquareWindowLetterboxesTopAndBottom", 300, 300, false, {0, 37, 300, 262}}),
    [](const testing::TestParamInfo<PositionCase>& info) { return std::string(info.param.name); });

TEST_F(CaptureGraphTest, WindowOrPictureWithoutAreaLeavesThePosition)
{
    Plug({});
    CCaptureGraph& graph = Graph();
    ASSERT_TRUE(graph.SetGraphMode(0));
    RECT before{};
    RECT source{};
    graph.GetRenderer()->GetVideoPosition(&source, &before);
    m_windows.ResizeSurface(0, 0);
    EXPECT_FALSE(graph.GetRenderer()->UpdateVideoPosition(false));
    EXPECT_FALSE(graph.GetRenderer()->UpdateVideoPosition(true));
    RECT after{};
    graph.GetRenderer()->GetVideoPosition(&source, &after);
    EXPECT_EQ(after.right, before.right);
    // A renderer whose window is gone does nothing either.
    DestroyWindow(m_windows.Surface());
    EXPECT_FALSE(graph.GetRenderer()->UpdateVideoPosition(false));
}

TEST_F(CaptureGraphTest, NoCameraOrAVanishedOneIsAMissingVideo)
{
    Plug({});
    CCaptureGraph& graph = Graph();
    m_camera->Unplug();
    EXPECT_THROW(graph.SetGraphMode(0), CMissingVideoException);
    EXPECT_FALSE(graph.IsBuilt());
    EXPECT_TRUE(graph.TearDown());
    EXPECT_TRUE(Filters().empty());

    m_graph.reset();
    CCaptureGraph& empty = Graph();
    EXPECT_EQ(empty.GetSelectedIndex(CDeviceGraph::kVideo), -1);
    EXPECT_EQ(GetWebcamModel(), 0);
    EXPECT_THROW(empty.SetGraphMode(0), CMissingVideoException);
}

TEST_F(CaptureGraphTest, BusyCameraFailsWhenTheGraphRuns)
{
    Plug({});
    CCaptureGraph& graph = Graph();
    ASSERT_TRUE(graph.SetGraphMode(0));
    m_camera->SetBusy(true);
    EXPECT_EQ(graph.Run(), VFW_E_DEVICE_IN_USE);
    m_camera->SetBusy(false);
}

TEST_F(CaptureGraphTest, StoredSizeOfAlwaysInterpolatedModelCapturesTheLargestNativeSize)
{
    VirtualCameraConfig config;
    config.vendorId = 0x046D;
    config.productId = 0x0819; // model 17
    config.sizes = {{352, 288}, {640, 480}};
    Plug(config);
    StoreCameraSettings(17, "1280 x 1024", "640 x 480", 0);
    CCaptureGraph& graph = Graph();
    ASSERT_TRUE(graph.SetGraphMode(0));
    EXPECT_EQ(graph.GetResolution(), CResolution(1280, 1024, false));
    EXPECT_EQ(graph.GetResolution().m_interpolated, 1);
    EXPECT_EQ(graph.GetLargestNativeResolution(), CResolution(640, 480, false));
    ComPtr<IBaseFilter> camera;
    ASSERT_EQ(graph.GetGraph()->FindFilterByName(L"Brevicam Virtual Camera", camera.Put()), S_OK);
    CMediaType format = GetStreamFormat(graph.GetGraph(), camera.Get());
    EXPECT_EQ(reinterpret_cast<const VIDEOINFOHEADER*>(format.Format())->bmiHeader.biWidth, 640);
}

TEST_F(CaptureGraphTest, BurstModeOffersNothingAboveVgaButKeepsANativeCurrentSize)
{
    VirtualCameraConfig config;
    config.vendorId = 0x046D;
    config.productId = 0x081B; // model 2
    config.sizes = {{640, 480}, {1280, 720}, {1280, 960}};
    Plug(config);
    StoreCameraSettings(2, "1280 x 960", "640 x 480", 1);
    CCaptureGraph& graph = Graph();
    ASSERT_TRUE(graph.SetGraphMode(0));
    EXPECT_EQ(graph.GetResolution(), CResolution(1280, 960, false));
    for (const CResolution& size : graph.GetResolutions())
        EXPECT_FALSE(CResolution(640, 480, false) < size) << size.m_width << "x" << size.m_height;
}

TEST_F(CaptureGraphTest, ReducedRateSizesRunTheCapturePinAtFifteenFrames)
{
    VirtualCameraConfig config;
    config.vendorId = 0x046D;
    config.productId = 0x080A; // model 18
    config.sizes = {{640, 480}, {1280, 720}};
    Plug(config);
    StoreCameraSettings(18, "1280 x 720", "640 x 480", 0);
    CCaptureGraph& graph = Graph();
    ASSERT_TRUE(graph.SetGraphMode(0));
    ComPtr<IBaseFilter> camera;
    ASSERT_EQ(graph.GetGraph()->FindFilterByName(L"Brevicam Virtual Camera", camera.Put()), S_OK);
    CMediaType format = GetStreamFormat(graph.GetGraph(), camera.Get());
    EXPECT_EQ(reinterpret_cast<const VIDEOINFOHEADER*>(format.Format())->AvgTimePerFrame, 666666);

    graph.Stop();
    graph.TearDown();
    graph.SetResolution(CResolution(640, 480, false));
    ASSERT_TRUE(graph.SetGraphMode(0));
    camera = nullptr;
    ASSERT_EQ(graph.GetGraph()->FindFilterByName(L"Brevicam Virtual Camera", camera.Put()), S_OK);
    format = GetStreamFormat(graph.GetGraph(), camera.Get());
    EXPECT_EQ(reinterpret_cast<const VIDEOINFOHEADER*>(format.Format())->AvgTimePerFrame, 333333);
}

TEST_F(CaptureGraphTest, StillButtonOfModel24PostsTheSnapshotMessage)
{
    VirtualCameraConfig config;
    config.vendorId = 0x046D;
    config.productId = 0x0990; // model 24
    config.sizes = {{640, 480}};
    config.stillButton = true;
    Plug(config);
    CCaptureGraph& graph = Graph();
    graph.SetOwnerWindow(m_windows.Main());
    for (int mode : {0, 1})
    {
        SCOPED_TRACE(mode);
        ASSERT_TRUE(graph.SetGraphMode(mode));
        EXPECT_TRUE(Contains(Filters(), "SampleGrab"));
        EXPECT_TRUE(Contains(Filters(), "NullRender"));
        ASSERT_EQ(graph.Run(), S_OK);
        PumpMessages(300);
        m_camera->PressStillButton();
        EXPECT_EQ(PumpMessages(1000, m_windows.Main(), WM_CAMERA_SNAPSHOT), 1);
        graph.Stop();
        graph.TearDown();
        EXPECT_TRUE(Filters().empty());
    }
}

TEST_F(CaptureGraphTest, RecordingIsAPlayableWmvOfTheRecordedTime)
{
    Plug({});
    CCaptureGraph& graph = Graph();
    ASSERT_TRUE(graph.SetGraphMode(1));
    const std::string file = g_params.GetCaptureFileName().Str();
    EXPECT_EQ(file.rfind(m_dir.Path().string() + "/Vid-" + Today() + "-", 0), 0u) << file;
    HRESULT ran = E_FAIL;
    const auto start = testing_support::Timed([&] { ran = graph.Run(); });
    ASSERT_EQ(ran, S_OK);
    PumpMessages(3000);
    bool stopped = false;
    const auto stop = testing_support::Timed([&] { stopped = graph.Stop(); });
    ASSERT_TRUE(stopped);
    auto info = testing_support::ProbeMedia(file);
    ASSERT_TRUE(info.readable);
    const auto* video = info.Stream("video");
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->codec, "wmv2");
    EXPECT_EQ(video->width, 640);
    EXPECT_EQ(video->height, 480);
    EXPECT_NEAR(video->frameRate, 29.97, 0.01);
    EXPECT_TRUE(testing_support::DurationFits(info, start, stop));
    int frames = 0;
    std::string errors;
    EXPECT_TRUE(testing_support::DecodesCleanly(file, &frames, &errors)) << errors;
}

TEST_F(CaptureGraphTest, VideoNamesSkipFilesThatExist)
{
    Plug({});
    CCaptureGraph& graph = Graph();
    ASSERT_TRUE(graph.SetGraphMode(1));
    const std::string first = g_params.GetCaptureFileName().Str();
    const int number = std::stoi(first.substr(first.size() - 7, 3));
    graph.TearDown();
    for (int n = number + 1; n <= number + 3; ++n)
    {
        char name[64];
        std::snprintf(name, sizeof name, "Vid-%s-%.3d.wmv", Today().c_str(), n);
        std::ofstream(m_dir / name) << "taken";
    }
    ASSERT_TRUE(graph.SetGraphMode(1));
    const std::string next = g_params.GetCaptureFileName().Str();
    EXPECT_EQ(std::stoi(next.substr(next.size() - 7, 3)), number + 4) << next;
}

TEST_F(CaptureGraphTest, UnpluggedCameraRaisesDeviceLostAndLeavesAPlayableFile)
{
    Plug({});
    CCaptureGraph& graph = Graph();
    ASSERT_TRUE(graph.SetGraphMode(1));
    const std::string file = g_params.GetCaptureFileName().Str();
    HRESULT ran = E_FAIL;
    const auto start = testing_support::Timed([&] { ran = graph.Run(); });
    ASSERT_EQ(ran, S_OK);
    PumpMessages(2000);
    LONG_PTR param = 0;
    bool lost = false;
    // The file ends with the camera: between the unplugging and the news of it.
    const auto end = testing_support::Timed(
        [&]
        {
            m_camera->Unplug();
            lost = WaitForEvent(graph.GetGraph(), EC_DEVICE_LOST, 5000, &param);
        });
    ASSERT_TRUE(lost);
    ASSERT_TRUE(graph.Stop());
    auto info = testing_support::ProbeMedia(file);
    ASSERT_TRUE(info.readable);
    EXPECT_TRUE(testing_support::DurationFits(info, start, end));
    int frames = 0;
    std::string errors;
    EXPECT_TRUE(testing_support::DecodesCleanly(file, &frames, &errors)) << errors;
}

TEST_F(CaptureGraphTest, FullDiskAbortsTheRecordingOnceAndKeepsWhatWasWritten)
{
    std::atomic<long> budget{150000};
    platform::dshow::SetFileWriteHook(
        [&](int fd, const void* data, size_t size) -> ssize_t
        {
            long left = budget.load();
            if (left <= 0)
            {
                errno = ENOSPC;
                return -1;
            }
            ssize_t written = ::write(fd, data, std::min<size_t>(size, static_cast<size_t>(left)));
            if (written > 0)
                budget -= written;
            return written;
        });
    Plug({});
    CCaptureGraph& graph = Graph();
    ASSERT_TRUE(graph.SetGraphMode(1));
    const std::string file = g_params.GetCaptureFileName().Str();
    ASSERT_EQ(graph.Run(), S_OK);
    LONG_PTR param = 0;
    ASSERT_TRUE(WaitForEvent(graph.GetGraph(), EC_ERRORABORT, 10000, &param));
    EXPECT_EQ(static_cast<HRESULT>(param), HRESULT_FROM_WIN32(ERROR_DISK_FULL));
    EXPECT_FALSE(WaitForEvent(graph.GetGraph(), EC_ERRORABORT, 1000, &param));
    ASSERT_TRUE(graph.Stop());
    int frames = 0;
    std::string errors;
    testing_support::DecodesCleanly(file, &frames, &errors);
    EXPECT_GT(frames, 3) << errors;
}

TEST_F(CaptureGraphTest, MissingVideoFolderThatTheUserDeclinesRefusesTheRecording)
{
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_VideoPath = (m_dir.Path().string() + "/Not there/").c_str();
    }
    Plug({});
    CCaptureGraph& graph = Graph();
    platform::zorneth::SetScriptedAnswers({IDNO});
    EXPECT_THROW(graph.SetGraphMode(1), CFolderMissing);
    auto boxes = platform::zorneth::ScriptedBoxes();
    platform::zorneth::ClearScriptedAnswers();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].Text.find("Not there"), std::string::npos);
    EXPECT_FALSE(graph.IsBuilt());
    EXPECT_FALSE(std::filesystem::exists(m_dir / "Not there"));
}

TEST_F(CaptureGraphTest, ProfileThatDoesNotLoadFailsTheRecordingInsteadOfAnEmptyFile)
{
    Plug({});
    CCaptureGraph& graph = Graph();
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_VideoResolution = "unreadable";
    }
    EXPECT_THROW(graph.SetGraphMode(1), CVideoCaptureException);
    EXPECT_FALSE(graph.IsBuilt());
    EXPECT_TRUE(graph.TearDown());
    EXPECT_TRUE(Filters().empty());
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.Path()));
}
