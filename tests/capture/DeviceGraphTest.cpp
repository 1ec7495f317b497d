#include "brevicam/capture/DeviceGraph.h"

#include "CaptureTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace capture_testing;
using platform::VirtualCamera;

namespace
{
/// The device graph with its protected state reachable, as the capture graph reaches it.
class TestDeviceGraph : public CDeviceGraph
{
public:
    void SetVideoCaptureFilter(CDSDeviceFilter* filter) { m_pVideoCaptureFilter = filter; }
    std::set<CResolution>& Resolutions() { return m_resolutions; }
    CResolution& Current() { return m_currentResolution; }
};

std::vector<std::string> Names(const CDevicesSubj& list)
{
    std::vector<std::string> names;
    for (int i = 0; i < list.GetCount(); ++i)
        names.push_back(list.GetName(i).Str());
    return names;
}

class DeviceGraphTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_cameras.push_back(MakeCamera("Camera C270", 0x046D, 0x0825));
        m_cameras.push_back(MakeCamera("Unsupported Camera", 0x1234, 0x5678));
        m_cameras.push_back(MakeCamera("Camera C930e", 0x046D, 0x0843));
        m_cameras.push_back(MakeCamera("Camera VX-800", 0x045E, 0x0766));
        g_webcamModel = 0;
    }

    std::vector<std::shared_ptr<VirtualCamera>> m_cameras;
    TestDeviceGraph m_graph;
};
} // namespace

TEST_F(DeviceGraphTest, OnlyAcceptedCamerasAreListedWithTheirIds)
{
    m_graph.EnumerateDevices(CDeviceGraph::kVideo);
    CDevicesSubj& video = m_graph.GetVideoDevices();
    EXPECT_EQ(Names(video), (std::vector<std::string>{"Camera C270", "Camera C930e", "Camera VX-800"}));
    EXPECT_EQ(video.GetVendorId(2), "045E");
    EXPECT_EQ(video.GetProductId(2), "0766");
    // Nothing is selected without a capture filter in the graph.
    EXPECT_EQ(m_graph.GetSelectedIndex(CDeviceGraph::kVideo), -1);
    EXPECT_EQ(video.GetSelectedName(), "");

    m_graph.SelectDevice(CDeviceGraph::kVideo, 2);
    m_graph.DetectWebcamModel();
    EXPECT_EQ(GetWebcamModel(), 11);
    EXPECT_TRUE(IsWebcamModel(11));
    EXPECT_TRUE(CDeviceGraph::GetModelClass());
    EXPECT_EQ(video.GetSelectedVendorId(), "045E");
    // A listed camera without a model runs as model 0.
    m_graph.SelectDevice(CDeviceGraph::kVideo, 1);
    m_graph.DetectWebcamModel();
    EXPECT_EQ(GetWebcamModel(), 0);
    EXPECT_FALSE(CDeviceGraph::GetModelClass());

    // An unplugged camera is no longer listed.
    m_cameras[0]->Unplug();
    m_graph.EnumerateDevices(CDeviceGraph::kVideo);
    EXPECT_EQ(Names(video), (std::vector<std::string>{"Camera C930e", "Camera VX-800"}));
}

TEST_F(DeviceGraphTest, SelectionIsTheCameraTheCaptureFilterWasMadeFrom)
{
    m_graph.EnumerateDevices(CDeviceGraph::kVideo);
    IMoniker* moniker = m_graph.GetVideoDevices().GetMoniker(1);
    CDSDeviceFilter filter(m_graph.GetGraph(), moniker);
    m_graph.SetVideoCaptureFilter(&filter);
    m_graph.EnumerateDevices(CDeviceGraph::kVideo);
    EXPECT_EQ(m_graph.GetSelectedIndex(CDeviceGraph::kVideo), 1);
    EXPECT_EQ(m_graph.GetVideoDevices().GetSelectedName(), "Camera C930e");
    // A camera that goes moves the filter's camera up the list; the selection follows it.
    m_cameras[0]->Unplug();
    m_graph.EnumerateDevices(CDeviceGraph::kVideo);
    EXPECT_EQ(m_graph.GetSelectedIndex(CDeviceGraph::kVideo), 0);
    EXPECT_EQ(m_graph.GetVideoDevices().GetSelectedName(), "Camera C930e");
    m_graph.SetVideoCaptureFilter(nullptr);
    filter.ReleaseDevice();
    m_graph.EnumerateDevices(CDeviceGraph::kVideo);
    EXPECT_EQ(m_graph.GetSelectedIndex(CDeviceGraph::kVideo), -1);
}

TEST_F(DeviceGraphTest, SelectingAnotherCameraForgetsItsSizes)
{
    m_graph.EnumerateDevices(CDeviceGraph::kVideo);
    m_graph.SelectDevice(CDeviceGraph::kVideo, 0);
    m_graph.DetectWebcamModel();
    m_graph.FillPhotoResolutions();
    m_graph.Current() = CResolution(1280, 720, false);
    ASSERT_EQ(m_graph.GetResolutions().size(), 4u);

    // The same camera again keeps them.
    m_graph.SelectDevice(CDeviceGraph::kVideo, 0);
    EXPECT_EQ(m_graph.GetResolutions().size(), 4u);
    EXPECT_EQ(m_graph.Current(), CResolution(1280, 720, false));
    // Another index (also one of 256 more) empties them; only the low byte is kept.
    m_graph.SelectDevice(CDeviceGraph::kVideo, 257);
    EXPECT_TRUE(m_graph.GetResolutions().empty());
    EXPECT_EQ(m_graph.Current(), CResolution(0, 0, false));
    EXPECT_EQ(m_graph.GetSelectedIndex(CDeviceGraph::kVideo), 1);

    // An index beyond the list is stored and reads as none.
    m_graph.SelectDevice(CDeviceGraph::kVideo, 5);
    EXPECT_EQ(m_graph.GetSelectedIndex(CDeviceGraph::kVideo), 5);
    EXPECT_EQ(m_graph.GetVideoDevices().GetSelectedName(), "");
    EXPECT_EQ(m_graph.GetVideoDevices().GetSelectedMoniker(), nullptr);
    EXPECT_EQ(m_graph.GetVideoDevices().GetLastSelectedName(), "Camera C930e");
    m_graph.DetectWebcamModel();
    EXPECT_EQ(GetWebcamModel(), 0);

    // Other kinds do nothing; an empty list reads as none.
    m_graph.SelectDevice(7, 0);
    EXPECT_EQ(m_graph.GetSelectedIndex(CDeviceGraph::kVideo), 5);
    EXPECT_EQ(m_graph.GetSelectedIndex(CDeviceGraph::kAudio), -1);
}

TEST_F(DeviceGraphTest, OfferedSizesFollowTheModelAndTheLimits)
{
    m_graph.EnumerateDevices(CDeviceGraph::kVideo);
    m_graph.SelectDevice(CDeviceGraph::kVideo, 0);
    // Model 0 recognises the camera first.
    m_graph.FillPhotoResolutions();
    EXPECT_EQ(GetWebcamModel(), 1);
    EXPECT_EQ(m_graph.GetResolutions().size(), 4u);
    m_graph.FillVideoResolutions();
    EXPECT_EQ(m_graph.GetResolutions().size(), 3u);

    // A size of the same area counts as present.
    auto& sizes = m_graph.Resolutions();
    sizes = {CResolution(480, 640, false), CResolution(1280, 720, false)};
    m_graph.EnsureResolution(CDeviceGraph::GetDefaultResolution());
    EXPECT_EQ(sizes.size(), 2u);
    m_graph.EnsureResolution(CResolution(800, 600, false));
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(*sizes.begin(), CResolution(800, 600, false));

    sizes = {CResolution(640, 480, false), CResolution(600, 800, true), CResolution(1024, 768, true)};
    m_graph.RemoveResolutionsAbove(CResolution(800, 600, false));
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes.rbegin()->m_width, 600);
    m_graph.ClearResolutions();
    m_graph.RemoveResolutionsAbove(CResolution(800, 600, false));
    EXPECT_TRUE(sizes.empty());

    // An unrecognised camera leaves the set as it is.
    m_graph.SelectDevice(CDeviceGraph::kVideo, 1);
    g_webcamModel = 0;
    sizes = {CResolution(640, 480, false)};
    m_graph.FillPhotoResolutions();
    EXPECT_EQ(GetWebcamModel(), 0);
    EXPECT_EQ(sizes.size(), 1u);
}
