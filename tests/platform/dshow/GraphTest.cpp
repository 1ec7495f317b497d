#include "GraphFixture.h"

#include "platform/dshow/Gst.h"
#include "platform/win/CString.h"
#include "platform/win/LastError.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <dirent.h>
#include <mutex>
#include <thread>
#include <vector>

using namespace dshow_testing;
using platform::VirtualCamera;
using platform::VirtualCameraConfig;

namespace
{
int ThreadCount()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/task"))
    {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                ++count;
        closedir(dir);
    }
    return count;
}

class GraphTest : public testing::Test
{
protected:
    void SetUp() override
    {
        VirtualCameraConfig config;
        config.name = "Test Camera";
        config.vendorId = 0x046D;
        config.productId = 0x0825;
        config.sizes = {{320, 240}, {640, 480}, {1280, 720}, {330, 250}};
        m_camera = VirtualCamera::Create(config);
    }
    void TearDown() override { m_preview.TearDown(); }

    std::shared_ptr<VirtualCamera> m_camera;
    PreviewGraph m_preview;
};

struct Pixel
{
    int b;
    int g;
    int r;
};

/// The pixel at (x, y) of the picture, counted from its top left corner.
Pixel At(const BYTE* dib, int x, int y)
{
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib, sizeof header);
    size_t row = (static_cast<size_t>(header.biWidth) * 3 + 3) & ~static_cast<size_t>(3);
    const BYTE* p =
        dib + sizeof header + row * static_cast<size_t>(header.biHeight - 1 - y) + static_cast<size_t>(x) * 3;
    return {p[0], p[1], p[2]};
}
} // namespace

TEST_F(GraphTest, EnumeratorListsTheCameraWithNameAndUsbPath)
{
    ComPtr<IMoniker> moniker = FindMoniker(CLSID_VideoInputDeviceCategory, m_camera->DevicePath());
    ASSERT_TRUE(moniker);
    EXPECT_EQ(ReadProperty(moniker.Get(), L"FriendlyName"), "Test Camera");
    std::string path = ReadProperty(moniker.Get(), L"DevicePath");
    EXPECT_NE(path.find("vid_046d&pid_0825"), std::string::npos) << path;

    ComPtr<IMoniker> again = FindMoniker(CLSID_VideoInputDeviceCategory, m_camera->DevicePath());
    EXPECT_EQ(moniker->IsEqual(again.Get()), S_OK);

    m_camera->Unplug();
    EXPECT_FALSE(FindMoniker(CLSID_VideoInputDeviceCategory, m_camera->DevicePath()));
    // A device listed before it went cannot be bound any more.
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.PutVoid()),
              VFW_E_DEVICE_NOT_CONNECTED);
}

TEST_F(GraphTest, EmptyCategoryGivesNoEnumerator)
{
    ComPtr<ICreateDevEnum> devices;
    ASSERT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                               devices.PutVoid()),
              S_OK);
    ComPtr<IEnumMoniker> list;
    EXPECT_EQ(devices->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, list.Put(), 0), S_FALSE);
    EXPECT_FALSE(list);
}

struct FormatCase
{
    const char* name;
    GUID subtype;
    int width;
    int height;
    REFERENCE_TIME frameTime;
    HRESULT result;
    REFERENCE_TIME resultingFrameTime;
};

class StreamConfigTest : public GraphTest, public testing::WithParamInterface<FormatCase>
{
};

TEST_P(StreamConfigTest, SetFormatTakesOfferedFormatsOnly)
{
    ComPtr<IBaseFilter> camera =
        BindFilter(FindMoniker(CLSID_VideoInputDeviceCategory, m_camera->DevicePath()).Get());
    ComPtr<IGraphBuilder> graph;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               graph.PutVoid()),
              S_OK);
    Add(graph.Get(), camera.Get(), L"Camera");
    ComPtr<ICaptureGraphBuilder2> builder;
    CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                     builder.PutVoid());
    builder->SetFiltergraph(graph.Get());
    ComPtr<IAMStreamConfig> config;
    // Cameras have no interleaved pin; the video pin answers.
    EXPECT_FALSE(SUCCEEDED(builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, camera.Get(),
                                                  IID_IAMStreamConfig, config.PutVoid())));
    ASSERT_EQ(builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, camera.Get(),
                                     IID_IAMStreamConfig, config.PutVoid()),
              S_OK);

    AM_MEDIA_TYPE* current = nullptr;
    ASSERT_EQ(config->GetFormat(&current), S_OK);
    ASSERT_EQ(current->formattype, FORMAT_VideoInfo);
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(current->pbFormat);
    EXPECT_EQ(current->subtype, MEDIASUBTYPE_YUY2);
    EXPECT_EQ(info->bmiHeader.biWidth, 640);

    const FormatCase& c = GetParam();
    current->subtype = c.subtype;
    info->bmiHeader.biWidth = c.width;
    info->bmiHeader.biHeight = c.height;
    info->AvgTimePerFrame = c.frameTime;
    EXPECT_EQ(config->SetFormat(current), c.result);
    DeleteMediaType(current);

    ASSERT_EQ(config->GetFormat(&current), S_OK);
    info = reinterpret_cast<VIDEOINFOHEADER*>(current->pbFormat);
    if (c.result == S_OK)
    {
        EXPECT_EQ(current->subtype, c.subtype);
        EXPECT_EQ(info->bmiHeader.biWidth, c.width);
        EXPECT_EQ(info->bmiHeader.biHeight, c.height);
        EXPECT_EQ(info->AvgTimePerFrame, c.resultingFrameTime);
    }
    else
    {
        EXPECT_EQ(current->subtype, MEDIASUBTYPE_YUY2);
        EXPECT_EQ(info->bmiHeader.biWidth, 640);
    }
    DeleteMediaType(current);
    graph->RemoveFilter(camera.Get());
}

INSTANTIATE_TEST_SUITE_P(
    Formats, StreamConfigTest,
    testing::Values(
        FormatCase{"SmallYuy2", MEDIASUBTYPE_YUY2, 320, 240, 333333, S_OK, 333333},
        FormatCase{"WideMotionJpeg", MEDIASUBTYPE_MJPG, 1280, 720, 333333, S_OK, 333333},
        FormatCase{"HalfRateSnapsToFifteen", MEDIASUBTYPE_YUY2, 640, 480, 667111, S_OK, 666666},
        FormatCase{"UnlistedRgb24Refused", MEDIASUBTYPE_RGB24, 640, 480, 333333, VFW_E_INVALIDMEDIATYPE, 0},
        FormatCase{"UnlistedSizeRefused", MEDIASUBTYPE_YUY2, 1280, 1024, 333333, VFW_E_INVALIDMEDIATYPE, 0}),
    [](const testing::TestParamInfo<FormatCase>& info) { return info.param.name; });

TEST_F(GraphTest, StreamCapsListEverySizeAndFormat)
{
    ComPtr<IBaseFilter> camera =
        BindFilter(FindMoniker(CLSID_VideoInputDeviceCategory, m_camera->DevicePath()).Get());
    auto config = Pin(camera.Get(), L"Capture").As<IAMStreamConfig>(IID_IAMStreamConfig);
    ASSERT_TRUE(config);
    int count = 0;
    int size = 0;
    ASSERT_EQ(config->GetNumberOfCapabilities(&count, &size), S_OK);
    EXPECT_EQ(count, 8);
    EXPECT_EQ(size, static_cast<int>(sizeof(VIDEO_STREAM_CONFIG_CAPS)));
    std::vector<std::string> seen;
    for (int i = 0; i < count; ++i)
    {
        AM_MEDIA_TYPE* type = nullptr;
        VIDEO_STREAM_CONFIG_CAPS caps{};
        ASSERT_EQ(config->GetStreamCaps(i, &type, reinterpret_cast<BYTE*>(&caps)), S_OK);
        auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat);
        EXPECT_EQ(caps.MaxOutputSize.cx, info->bmiHeader.biWidth);
        EXPECT_EQ(caps.MinFrameInterval, 333333);
        EXPECT_EQ(caps.MaxFrameInterval, 666666);
        seen.push_back((type->subtype == MEDIASUBTYPE_MJPG ? "MJPG " : "YUY2 ") +
                       std::to_string(info->bmiHeader.biWidth) + "x" +
                       std::to_string(info->bmiHeader.biHeight));
        DeleteMediaType(type);
    }
    EXPECT_EQ(seen,
              (std::vector<std::string>{"YUY2 320x240", "MJPG 320x240", "YUY2 640x480", "MJPG 640x480",
                                        "YUY2 1280x720", "MJPG 1280x720", "YUY2 330x250", "MJPG 330x250"}));
}

struct GrabCase
{
    const char* name;
    GUID subtype;
    int width;
    int height;
};

class FrameGrabTest : public GraphTest, public testing::WithParamInterface<GrabCase>
{
};

TEST_P(FrameGrabTest, FrameIsBottomUpBgrOfThePattern)
{
    const GrabCase& c = GetParam();
    m_preview.Build(m_camera->DevicePath());
    ASSERT_FALSE(HasFailure());
    auto config = Pin(m_preview.camera.Get(), L"Capture").As<IAMStreamConfig>(IID_IAMStreamConfig);
    AM_MEDIA_TYPE* type = nullptr;
    ASSERT_EQ(config->GetFormat(&type), S_OK);
    type->subtype = c.subtype;
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat);
    info->bmiHeader.biWidth = c.width;
    info->bmiHeader.biHeight = c.height;
    ASSERT_EQ(config->SetFormat(type), S_OK);
    DeleteMediaType(type);
    LONG nativeWidth = 0;
    LONG nativeHeight = 0;
    ASSERT_EQ(m_preview.windowless->GetNativeVideoSize(&nativeWidth, &nativeHeight, nullptr, nullptr), S_OK);
    EXPECT_EQ(nativeWidth, c.width);
    EXPECT_EQ(nativeHeight, c.height);

    ASSERT_EQ(m_preview.control->Run(), S_OK);
    BYTE* dib = WaitForImage(m_preview.windowless.Get(), 5000);
    ASSERT_NE(dib, nullptr);
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib, sizeof header);
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, c.width);
    EXPECT_EQ(header.biHeight, c.height);
    EXPECT_EQ(header.biBitCount, 24);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(header.biSizeImage, static_cast<DWORD>(((c.width * 3 + 3) & ~3) * c.height));
    // The bars run white to blue along the top; the lower quarter holds other colours.
    Pixel white = At(dib, c.width / 28, c.height / 24);
    Pixel yellow = At(dib, c.width * 3 / 14, c.height / 24);
    Pixel blue = At(dib, c.width * 27 / 28, c.height / 24);
    Pixel bottomLeft = At(dib, c.width / 28, c.height * 23 / 24);
    CoTaskMemFree(dib);
    EXPECT_GT(white.r, 180);
    EXPECT_NEAR(white.g, white.r, 10);
    EXPECT_NEAR(white.b, white.r, 10);
    EXPECT_GT(yellow.r, 150);
    EXPECT_GT(yellow.g, 150);
    EXPECT_LT(yellow.b, 50);
    EXPECT_GT(blue.b, 150);
    EXPECT_LT(blue.r, 50);
    EXPECT_LT(blue.g, 50);
    EXPECT_GT(std::abs(bottomLeft.r - white.r) + std::abs(bottomLeft.g - white.g) +
                  std::abs(bottomLeft.b - white.b),
              90);
}

INSTANTIATE_TEST_SUITE_P(Formats, FrameGrabTest,
                         testing::Values(GrabCase{"Yuy2", MEDIASUBTYPE_YUY2, 640, 480},
                                         GrabCase{"MotionJpeg", MEDIASUBTYPE_MJPG, 1280, 720},
                                         GrabCase{"OddRowLength", MEDIASUBTYPE_YUY2, 330, 250}),
                         [](const testing::TestParamInfo<GrabCase>& info) { return info.param.name; });

TEST_F(GraphTest, FramesReachTheSinkOfTheClippingWindow)
{
    std::mutex lock;
    HWND seenWindow = nullptr;
    int frames = 0;
    int width = 0;
    platform::dshow::SetVideoFrameSink(
        [&](HWND window, const platform::dshow::VideoFrame& frame, const RECT&, const RECT& destination)
        {
            std::lock_guard guard(lock);
            seenWindow = window;
            width = frame.width;
            ++frames;
            EXPECT_EQ(destination.right, 320);
        });
    m_preview.Build(m_camera->DevicePath());
    auto window = reinterpret_cast<HWND>(0x1234);
    m_preview.windowless->SetVideoClippingWindow(window);
    RECT destination{0, 0, 320, 240};
    m_preview.windowless->SetVideoPosition(nullptr, &destination);
    ASSERT_EQ(m_preview.control->Run(), S_OK);
    BYTE* dib = WaitForImage(m_preview.windowless.Get(), 5000);
    CoTaskMemFree(dib);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    m_preview.control->Stop();
    platform::dshow::SetVideoFrameSink({});
    std::lock_guard guard(lock);
    EXPECT_EQ(seenWindow, window);
    EXPECT_GT(frames, 0);
    EXPECT_EQ(width, 320);
}

/// What the frame sink saw last: the frame's size, the source rectangle in it, and a few pixels.
struct ShownFrame
{
    int width = 0;
    int height = 0;
    RECT source{};
    Pixel yellow{};
    Pixel blue{};
};

class ScaledPreviewTest : public GraphTest
{
protected:
    void SetUp() override
    {
        GraphTest::SetUp();
        platform::dshow::SetVideoFrameSink(
            [this](HWND, const platform::dshow::VideoFrame& frame, const RECT& source, const RECT&)
            {
                ShownFrame shown;
                shown.width = frame.width;
                shown.height = frame.height;
                shown.source = source;
                // The bars along the top: yellow second from the left, blue at the right edge.
                auto pixel = [&frame](int x, int y)
                {
                    const BYTE* p =
                        frame.pixels + static_cast<size_t>(y) * frame.stride + static_cast<size_t>(x) * 4;
                    return Pixel{p[0], p[1], p[2]};
                };
                shown.yellow = pixel(frame.width * 3 / 14, frame.height / 24);
                shown.blue = pixel(frame.width * 27 / 28, frame.height / 24);
                std::lock_guard guard(m_lock);
                m_shown = shown;
                m_changed.notify_all();
            });
    }
    void TearDown() override
    {
        GraphTest::TearDown();
        platform::dshow::SetVideoFrameSink({});
    }

    /// Waits (bounded) for a frame of `width` x `height`; the last frame seen either way.
    ShownFrame WaitForFrameOf(int width, int height)
    {
        std::unique_lock guard(m_lock);
        m_changed.wait_for(guard, std::chrono::seconds(10),
                           [&] { return m_shown.width == width && m_shown.height == height; });
        return m_shown;
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
    ShownFrame m_shown;
};

/// The preview is scaled to the size shown by the renderer's pipeline (never up), follows changes of that
/// size while it runs, and the photo still gets the camera's whole frame.
TEST_F(ScaledPreviewTest, PreviewFollowsTheSizeShownWhileThePhotoKeepsTheCameraSize)
{
    m_preview.Build(m_camera->DevicePath());
    ASSERT_FALSE(HasFailure());
    m_preview.windowless->SetVideoClippingWindow(reinterpret_cast<HWND>(0x1234));
    RECT first{0, 0, 320, 240};
    m_preview.windowless->SetVideoPosition(nullptr, &first);
    ASSERT_EQ(m_preview.control->Run(), S_OK);

    struct SizeCase
    {
        const char* name;
        RECT destination;
        int width;
        int height;
    };
    const SizeCase cases[] = {{"half", {0, 0, 320, 240}, 320, 240},
                              {"odd width, not 2:1", {10, 5, 223, 165}, 213, 160},
                              {"larger than the camera", {0, 0, 1280, 960}, 640, 480},
                              {"quarter", {40, 30, 200, 150}, 160, 120}};
    for (const SizeCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        m_preview.windowless->SetVideoPosition(nullptr, &c.destination);
        const ShownFrame shown = WaitForFrameOf(c.width, c.height);
        EXPECT_EQ(shown.width, c.width);
        EXPECT_EQ(shown.height, c.height);
        EXPECT_EQ(shown.source.left, 0);
        EXPECT_EQ(shown.source.top, 0);
        EXPECT_EQ(shown.source.right, c.width);
        EXPECT_EQ(shown.source.bottom, c.height);
        EXPECT_GT(shown.yellow.r, 150);
        EXPECT_GT(shown.yellow.g, 150);
        EXPECT_LT(shown.yellow.b, 50);
        EXPECT_GT(shown.blue.b, 150);
        EXPECT_LT(shown.blue.r, 50);

        BYTE* dib = WaitForImage(m_preview.windowless.Get(), 5000);
        ASSERT_NE(dib, nullptr);
        BITMAPINFOHEADER header;
        std::memcpy(&header, dib, sizeof header);
        const Pixel yellow = At(dib, 640 * 3 / 14, 480 / 24);
        CoTaskMemFree(dib);
        EXPECT_EQ(header.biWidth, 640);
        EXPECT_EQ(header.biHeight, 480);
        EXPECT_GT(yellow.r, 150);
        EXPECT_GT(yellow.g, 150);
        EXPECT_LT(yellow.b, 50);
    }
    m_preview.control->Stop();
}

TEST_F(GraphTest, RepeatedBuildRunStopTeardownLeavesNothingBehind)
{
    // One cycle first, so that GStreamer's own lasting threads exist before counting.
    m_preview.Build(m_camera->DevicePath());
    ASSERT_EQ(m_preview.control->Run(), S_OK);
    m_preview.TearDown();
    m_preview = PreviewGraph();
    int threads = ThreadCount();
    for (int cycle = 0; cycle < 20; ++cycle)
    {
        PreviewGraph preview;
        preview.Build(m_camera->DevicePath());
        ASSERT_FALSE(HasFailure()) << cycle;
        ASSERT_EQ(preview.control->Run(), S_OK) << cycle;
        BYTE* dib = WaitForImage(preview.windowless.Get(), 5000);
        ASSERT_NE(dib, nullptr) << cycle;
        CoTaskMemFree(dib);
        ASSERT_EQ(preview.control->Stop(), S_OK);
        preview.TearDown();
    }
    EXPECT_LE(ThreadCount(), threads + 2);
}

TEST_F(GraphTest, ReleasingAConnectedGraphDisconnectsAndFreesItsFilters)
{
    m_preview.Build(m_camera->DevicePath());
    ASSERT_EQ(m_preview.control->Run(), S_OK);
    ASSERT_EQ(m_preview.control->Stop(), S_OK);
    ComPtr<IBaseFilter> camera = m_preview.camera;
    ComPtr<IBaseFilter> renderer = m_preview.renderer;
    // The graph goes away with its filters still connected, as when its owner drops it without a teardown.
    m_preview = PreviewGraph();

    for (IBaseFilter* filter : {camera.Get(), renderer.Get()})
    {
        ComPtr<IEnumPins> pins;
        ASSERT_EQ(filter->EnumPins(pins.Put()), S_OK);
        IPin* pin = nullptr;
        while (pins->Next(1, &pin, nullptr) == S_OK)
        {
            IPin* peer = nullptr;
            EXPECT_EQ(pin->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
            if (peer)
                peer->Release();
            pin->Release();
        }
        pins.Reset();
        filter->AddRef();
        EXPECT_EQ(filter->Release(), 1u) << "someone besides the test still holds the filter";
    }
}

TEST_F(GraphTest, BusyCameraFailsRunAndRunsOnceFree)
{
    m_preview.Build(m_camera->DevicePath());
    m_camera->SetBusy(true);
    EXPECT_EQ(m_preview.control->Run(), VFW_E_DEVICE_IN_USE);
    OAFilterState state = -1;
    EXPECT_EQ(m_preview.control->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    // The failure of Run is not repeated as an event.
    long code = 0;
    LONG_PTR p1 = 0;
    LONG_PTR p2 = 0;
    EXPECT_EQ(m_preview.events->GetEvent(&code, &p1, &p2, 0), E_ABORT);
    m_camera->SetBusy(false);
    EXPECT_EQ(m_preview.control->Run(), S_OK);
}

TEST_F(GraphTest, StreamErrorIsReportedOnceAndPostedToTheWindow)
{
    static std::atomic<int> posts{0};
    static HWND postedWindow = nullptr;
    static UINT postedMessage = 0;
    static LPARAM postedParam = 0;
    platform::dshow::SetMessagePoster(
        [](HWND window, UINT message, WPARAM, LPARAM lParam) -> BOOL
        {
            postedWindow = window;
            postedMessage = message;
            postedParam = lParam;
            ++posts;
            return TRUE;
        });
    m_preview.Build(m_camera->DevicePath());
    m_preview.events->SetNotifyWindow(static_cast<OAHWND>(0x4321), 0x8100, 7);
    ASSERT_EQ(m_preview.control->Run(), S_OK);
    m_camera->InjectStreamError();
    LONG_PTR p1 = 0;
    LONG_PTR p2 = 0;
    ASSERT_TRUE(WaitForEvent(m_preview.events.Get(), EC_ERRORABORT, 5000, &p1, &p2));
    EXPECT_TRUE(FAILED(static_cast<HRESULT>(p1)));
    EXPECT_NE(static_cast<HRESULT>(p1), HRESULT_FROM_WIN32(ERROR_DISK_FULL));
    m_preview.events->FreeEventParams(EC_ERRORABORT, p1, p2);
    EXPECT_FALSE(WaitForEvent(m_preview.events.Get(), EC_ERRORABORT, 500, &p1, &p2));
    platform::dshow::SetMessagePoster(nullptr);
    EXPECT_GE(posts.load(), 1);
    EXPECT_EQ(postedWindow, reinterpret_cast<HWND>(0x4321));
    EXPECT_EQ(postedMessage, 0x8100u);
    EXPECT_EQ(postedParam, 7);
}

TEST_F(GraphTest, UnplugAndReturnArriveAsDeviceLostEvents)
{
    m_preview.Build(m_camera->DevicePath());
    ASSERT_EQ(m_preview.control->Run(), S_OK);
    ComPtr<IUnknown> cameraIdentity = m_preview.camera.As<IUnknown>(IID_IUnknown);
    m_camera->Unplug();
    LONG_PTR p1 = 0;
    LONG_PTR p2 = 0;
    ASSERT_TRUE(WaitForEvent(m_preview.events.Get(), EC_DEVICE_LOST, 5000, &p1, &p2));
    ComPtr<IUnknown> reported = ComPtr<IUnknown>(reinterpret_cast<IUnknown*>(p1)).As<IUnknown>(IID_IUnknown);
    EXPECT_EQ(reported.Get(), cameraIdentity.Get());
    EXPECT_EQ(p2, 0);
    m_preview.events->FreeEventParams(EC_DEVICE_LOST, p1, p2);
    // The stream's own failure after the unplug is no second report.
    EXPECT_FALSE(WaitForEvent(m_preview.events.Get(), EC_ERRORABORT, 500, &p1, &p2));
    m_preview.control->Stop();
    // Started again while it is away, the camera fails the run as missing.
    EXPECT_EQ(m_preview.control->Run(), VFW_E_DEVICE_NOT_CONNECTED);

    m_camera->Plug();
    ASSERT_TRUE(WaitForEvent(m_preview.events.Get(), EC_DEVICE_LOST, 5000, &p1, &p2));
    EXPECT_EQ(p2, 1);
    m_preview.events->FreeEventParams(EC_DEVICE_LOST, p1, p2);
}

namespace
{
class CountingCallback final : public ISampleGrabberCB
{
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB)
        {
            *object = static_cast<ISampleGrabberCB*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP SampleCB(double, IMediaSample* sample) override
    {
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        if (data && sample->GetSize() > 0)
            ++samples;
        return S_OK;
    }
    STDMETHODIMP BufferCB(double, BYTE*, long) override { return E_NOTIMPL; }
    std::atomic<int> samples{0};
};
} // namespace

TEST_F(GraphTest, StillButtonDeliversOneSamplePerPress)
{
    VirtualCameraConfig config;
    config.stillButton = true;
    auto camera = VirtualCamera::Create(config);
    m_preview.Build(camera->DevicePath());
    ASSERT_TRUE(Pin(m_preview.camera.Get(), L"Still"));
    ComPtr<IBaseFilter> grabber = MakeFilter(CLSID_SampleGrabber);
    Add(m_preview.graph.Get(), grabber.Get(), L"SampleGrab");
    ComPtr<IBaseFilter> sink = MakeFilter(CLSID_NullRenderer);
    Add(m_preview.graph.Get(), sink.Get(), L"NullRender");
    auto grab = grabber.As<ISampleGrabber>(IID_ISampleGrabber);
    grab->SetOneShot(FALSE);
    grab->SetBufferSamples(TRUE);
    ASSERT_EQ(m_preview.builder->RenderStream(&PIN_CATEGORY_STILL, &MEDIATYPE_Video, m_preview.camera.Get(),
                                              grabber.Get(), sink.Get()),
              S_OK);
    CountingCallback callback;
    grab->SetCallback(&callback, 0);
    ASSERT_EQ(m_preview.control->Run(), S_OK);
    CoTaskMemFree(WaitForImage(m_preview.windowless.Get(), 5000));
    EXPECT_EQ(callback.samples.load(), 0);
    camera->PressStillButton();
    for (int i = 0; i < 100 && callback.samples.load() < 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(callback.samples.load(), 1);
    long size = 0;
    EXPECT_EQ(grab->GetCurrentBuffer(&size, nullptr), S_OK);
    EXPECT_EQ(size, 640 * 480 * 2);
    m_preview.TearDown();

    // A camera without a button has no still pin to render.
    PreviewGraph other;
    other.Build(m_camera->DevicePath());
    ComPtr<IBaseFilter> unused = MakeFilter(CLSID_NullRenderer);
    Add(other.graph.Get(), unused.Get(), L"NullRender");
    EXPECT_TRUE(FAILED(other.builder->RenderStream(&PIN_CATEGORY_STILL, &MEDIATYPE_Video, other.camera.Get(),
                                                   nullptr, unused.Get())));
    other.TearDown();
}

TEST_F(GraphTest, PictureControlsKeepTheirValuesWithTheCamera)
{
    ComPtr<IMoniker> moniker = FindMoniker(CLSID_VideoInputDeviceCategory, m_camera->DevicePath());
    auto amp = BindFilter(moniker.Get()).As<IAMVideoProcAmp>(IID_IAMVideoProcAmp);
    ASSERT_TRUE(amp);
    long min = 0, max = 0, step = 0, defaultValue = 0, caps = 0;
    ASSERT_EQ(amp->GetRange(VideoProcAmp_Brightness, &min, &max, &step, &defaultValue, &caps), S_OK);
    EXPECT_LT(min, max);
    EXPECT_EQ(caps, VideoProcAmp_Flags_Manual);
    EXPECT_EQ(amp->Set(VideoProcAmp_Brightness, max + 1, VideoProcAmp_Flags_Manual), E_INVALIDARG);
    EXPECT_EQ(amp->Set(VideoProcAmp_Brightness, min + step, VideoProcAmp_Flags_Auto), E_INVALIDARG);
    ASSERT_EQ(amp->Set(VideoProcAmp_Brightness, min + step, VideoProcAmp_Flags_Manual), S_OK);
    EXPECT_EQ(amp->GetRange(VideoProcAmp_ColorEnable, &min, &max, &step, &defaultValue, &caps),
              E_PROP_ID_UNSUPPORTED);
    ASSERT_EQ(amp->GetRange(VideoProcAmp_WhiteBalance, &min, &max, &step, &defaultValue, &caps), S_OK);
    EXPECT_TRUE(caps & VideoProcAmp_Flags_Auto);
    ASSERT_EQ(amp->Set(VideoProcAmp_WhiteBalance, 0, VideoProcAmp_Flags_Auto), S_OK);

    // A new filter of the same camera sees what was set.
    auto again = BindFilter(moniker.Get()).As<IAMVideoProcAmp>(IID_IAMVideoProcAmp);
    long value = 0;
    long flags = 0;
    ASSERT_EQ(again->Get(VideoProcAmp_Brightness, &value, &flags), S_OK);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(flags, VideoProcAmp_Flags_Manual);
    ASSERT_EQ(again->Get(VideoProcAmp_WhiteBalance, &value, &flags), S_OK);
    EXPECT_EQ(flags, VideoProcAmp_Flags_Auto);
}

TEST(MissingElementTest, FilterOfAMissingElementIsNotMadeAndTheElementIsNamed)
{
    platform::dshow::gst::EnsureInit();
    GstRegistry* registry = gst_registry_get();
    GstPluginFeature* muxer = gst_registry_lookup_feature(registry, "avmux_asf");
    ASSERT_NE(muxer, nullptr);
    gst_registry_remove_feature(registry, muxer);

    ComPtr<IBaseFilter> writer;
    EXPECT_EQ(
        CoCreateInstance(CLSID_WMAsfWriter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, writer.PutVoid()),
        REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(writer);
    std::string missing;
    EXPECT_FALSE(platform::dshow::CheckElementFactories(&missing));
    EXPECT_EQ(missing, "avmux_asf");

    gst_registry_add_feature(registry, muxer);
    gst_object_unref(muxer);
    EXPECT_EQ(
        CoCreateInstance(CLSID_WMAsfWriter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, writer.PutVoid()),
        S_OK);
}

TEST_F(GraphTest, PauseOfALiveGraphCannotCueAndRunsOnAgain)
{
    m_preview.Build(m_camera->DevicePath());
    OAFilterState state = -1;
    EXPECT_EQ(m_preview.control->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    ASSERT_EQ(m_preview.control->Run(), S_OK);
    EXPECT_EQ(m_preview.control->GetState(100, &state), S_OK);
    EXPECT_EQ(state, State_Running);
    ASSERT_EQ(m_preview.control->Pause(), S_OK);
    EXPECT_EQ(m_preview.control->GetState(100, &state), VFW_S_CANT_CUE);
    EXPECT_EQ(state, State_Paused);
    LONG_PTR p1 = 0;
    LONG_PTR p2 = 0;
    EXPECT_TRUE(WaitForEvent(m_preview.events.Get(), EC_PAUSED, 1000, &p1, &p2));
    ASSERT_EQ(m_preview.control->Run(), S_OK);
    // Frames flow again after the pause.
    BYTE* first = WaitForImage(m_preview.windowless.Get(), 5000);
    ASSERT_NE(first, nullptr);
    CoTaskMemFree(first);
    EXPECT_EQ(m_preview.control->GetState(100, &state), S_OK);
    EXPECT_EQ(state, State_Running);
    // Filters cannot be added or connected while the graph runs.
    ComPtr<IBaseFilter> late = MakeFilter(CLSID_NullRenderer);
    EXPECT_EQ(m_preview.graph->AddFilter(late.Get(), L"Late"), VFW_E_NOT_STOPPED);
}
