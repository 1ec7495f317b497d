#include "brevicam/capture/CaptureFormat.h"

#include "CaptureTestSupport.h"

#include "brevicam/capture/CaptureGraph.h"
#include "brevicam/capture/ComErrors.h"

#include <gtest/gtest.h>

#include <memory>

using namespace capture_testing;
using platform::VirtualCamera;
using platform::VirtualCameraConfig;

namespace
{
struct Format
{
    GUID subtype;
    int width;
    int height;
    REFERENCE_TIME frameTime;
};

/// A camera of the given model's ids in a graph, to negotiate its capture pin.
class CaptureFormatTest : public testing::Test
{
protected:
    void TearDown() override
    {
        if (m_camera)
            m_camera->ReleaseDevice();
        g_webcamModel = 0;
    }

    void Open(VirtualCameraConfig config, int model)
    {
        m_device = VirtualCamera::Create(config);
        ComPtr<IMoniker> moniker = FindMoniker(CLSID_VideoInputDeviceCategory, m_device->DevicePath());
        ASSERT_TRUE(moniker);
        m_camera = std::make_unique<CDSDeviceFilter>(m_graph.GetGraph(), moniker.Get());
        ASSERT_TRUE(SUCCEEDED(m_graph.AddFilter(m_camera.get())));
        g_webcamModel = model;
    }

    Format Current()
    {
        CMediaType type = GetStreamFormat(m_graph.GetGraph(), m_camera->GetFilter());
        EXPECT_EQ(type.formattype, FORMAT_VideoInfo);
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.Format());
        return {type.subtype, info->bmiHeader.biWidth, info->bmiHeader.biHeight, info->AvgTimePerFrame};
    }

    std::shared_ptr<VirtualCamera> m_device;
    CFilterGraph m_graph;
    std::unique_ptr<CDSDeviceFilter> m_camera;
};

VirtualCameraConfig Config(bool yuy2, bool mjpeg)
{
    VirtualCameraConfig config;
    config.sizes = {{640, 480}, {1280, 720}, {1280, 1024}};
    config.offerYuy2 = yuy2;
    config.offerMjpeg = mjpeg;
    return config;
}
} // namespace

TEST_F(CaptureFormatTest, MotionJpegIsPreferredToTheCamerasOwnSubtype)
{
    Open(Config(true, true), 1);
    // The camera starts in YUY2 at 640 x 480; it has no RGB24, so Motion JPEG is taken at the new size.
    EXPECT_EQ(Current().subtype, MEDIASUBTYPE_YUY2);
    SetCaptureFormat(CResolution(1280, 720, false), m_camera->GetFilter(), m_graph.GetGraph());
    Format format = Current();
    EXPECT_EQ(format.subtype, MEDIASUBTYPE_MJPG);
    EXPECT_EQ(format.width, 1280);
    EXPECT_EQ(format.height, 720);
    EXPECT_EQ(format.frameTime, 333333);
}

TEST_F(CaptureFormatTest, CameraWithoutMotionJpegKeepsItsSubtypeAtTheNewSize)
{
    Open(Config(true, false), 1);
    SetCaptureFormat(CResolution(1280, 1024, false), m_camera->GetFilter(), m_graph.GetGraph());
    Format format = Current();
    EXPECT_EQ(format.subtype, MEDIASUBTYPE_YUY2);
    EXPECT_EQ(format.width, 1280);
    EXPECT_EQ(format.height, 1024);
}

TEST_F(CaptureFormatTest, SizeTheCameraDoesNotDeliverRaisesTheRefusal)
{
    Open(Config(true, true), 1);
    try
    {
        SetCaptureFormat(CResolution(1600, 1200, true), m_camera->GetFilter(), m_graph.GetGraph());
        FAIL() << "a size the camera lacks was accepted";
    }
    catch (const CAtlException& e)
    {
        EXPECT_EQ(static_cast<HRESULT>(e), VFW_E_INVALIDMEDIATYPE);
    }
    // The pin keeps its format.
    Format format = Current();
    EXPECT_EQ(format.width, 640);
    EXPECT_EQ(format.subtype, MEDIASUBTYPE_YUY2);
}

TEST_F(CaptureFormatTest, ReducedRateSizesOfModel18RunAtFifteenFrames)
{
    VirtualCameraConfig config = Config(true, true);
    config.vendorId = 0x046D;
    config.productId = 0x080A;
    Open(config, 18);
    EXPECT_TRUE(CCaptureGraph::IsReducedRateSize(1280, 720));
    EXPECT_FALSE(CCaptureGraph::IsReducedRateSize(640, 480));
    SetCaptureFormat(CResolution(1280, 720, false), m_camera->GetFilter(), m_graph.GetGraph());
    EXPECT_EQ(Current().frameTime, 666666);
    // At 640 x 480 the rate the camera had stays.
    SetCaptureFormat(CResolution(640, 480, false), m_camera->GetFilter(), m_graph.GetGraph());
    EXPECT_EQ(Current().frameTime, 666666);
    g_webcamModel = 1;
    EXPECT_FALSE(CCaptureGraph::IsReducedRateSize(1280, 720));
}

TEST_F(CaptureFormatTest, StillPinOfModel24TakesTheCapturePinsFormat)
{
    VirtualCameraConfig config = Config(true, true);
    config.stillButton = true;
    Open(config, 24);
    SetCaptureFormat(CResolution(1280, 720, false), m_camera->GetFilter(), m_graph.GetGraph());
    ComPtr<ICaptureGraphBuilder2> builder;
    ASSERT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                               IID_ICaptureGraphBuilder2, builder.PutVoid()),
              S_OK);
    builder->SetFiltergraph(m_graph.GetGraph());
    ComPtr<IAMStreamConfig> still;
    ASSERT_EQ(builder->FindInterface(&PIN_CATEGORY_STILL, &MEDIATYPE_Video, m_camera->GetFilter(),
                                     IID_IAMStreamConfig, still.PutVoid()),
              S_OK);
    AM_MEDIA_TYPE* type = nullptr;
    ASSERT_EQ(still->GetFormat(&type), S_OK);
    EXPECT_EQ(type->subtype, MEDIASUBTYPE_MJPG);
    EXPECT_EQ(reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat)->bmiHeader.biWidth, 1280);
    DeleteMediaType(type);
}
