#include "brevicam/capture/FilterGraph.h"

#include "CaptureTestSupport.h"

#include "brevicam/capture/ComErrors.h"
#include "shared/exceptions/Exceptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

using namespace capture_testing;
using platform::VirtualCamera;

namespace
{
std::wstring PinName(IPin* pin)
{
    PIN_INFO info{};
    pin->QueryPinInfo(&info);
    if (info.pFilter)
        info.pFilter->Release();
    return info.achName;
}

class FilterGraphTest : public testing::Test
{
protected:
    void SetUp() override { m_camera = MakeCamera("Filter Test Camera", 0x046D, 0x0825); }

    std::unique_ptr<CDSDeviceFilter> Camera()
    {
        ComPtr<IMoniker> moniker = FindMoniker(CLSID_VideoInputDeviceCategory, m_camera->DevicePath());
        EXPECT_TRUE(moniker);
        return std::make_unique<CDSDeviceFilter>(m_graph.GetGraph(), moniker.Get());
    }

    std::shared_ptr<VirtualCamera> m_camera;
    CFilterGraph m_graph;
};
} // namespace

TEST_F(FilterGraphTest, RunStateRecordsRequestsNotTheGraphsState)
{
    // A new object is stopped and asks the graph nothing.
    EXPECT_EQ(m_graph.Stop(), S_OK);
    EXPECT_FALSE(m_graph.IsRunning());

    auto camera = Camera();
    // A renderer that waits for its first frame, so that Run learns the camera's answer.
    CDSFilter sink("Video Renderer", CLSID_VideoMixingRenderer9);
    ASSERT_TRUE(SUCCEEDED(m_graph.AddFilter(camera.get())));
    ASSERT_TRUE(SUCCEEDED(m_graph.AddFilter(&sink)));
    ComPtr<IPin> capture;
    ASSERT_EQ(camera->FindPin(capture.Put(), PINDIR_OUTPUT, L"Capture"), S_OK);
    ASSERT_EQ(m_graph.ConnectToFilter(capture.Get(), sink.GetFilter()), S_OK);

    // The camera is busy: the graph's Run fails, the request is remembered all the same.
    m_camera->SetBusy(true);
    EXPECT_EQ(m_graph.Run(), VFW_E_DEVICE_IN_USE);
    EXPECT_TRUE(m_graph.IsRunning());
    m_camera->SetBusy(false);
    // A second Run does not reach the graph, which stays stopped.
    EXPECT_EQ(m_graph.Run(), S_OK);
    OAFilterState state = -1;
    EXPECT_EQ(m_graph.GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    // Stop still reaches it; then Run starts it for real.
    EXPECT_EQ(m_graph.Stop(), S_OK);
    EXPECT_EQ(m_graph.Run(), S_OK);
    EXPECT_EQ(m_graph.GetState(5000, &state), S_OK);
    EXPECT_EQ(state, State_Running);
    EXPECT_EQ(m_graph.Stop(), S_OK);
    camera->ReleaseDevice();
}

TEST_F(FilterGraphTest, FindPinMatchesDirectionAndTheShorterNamePrefix)
{
    CDSFilter tee("Smart Tee", CLSID_SmartTee);
    ComPtr<IPin> pin;
    ASSERT_EQ(tee.FindPin(pin.Put(), PINDIR_OUTPUT, L"Preview"), S_OK);
    EXPECT_EQ(PinName(pin.Get()), L"Preview");
    // The pin's name is a prefix of the wanted name, and the other way round.
    ASSERT_EQ(tee.FindPin(pin.Put(), PINDIR_OUTPUT, L"Capture pin of the tee"), S_OK);
    EXPECT_EQ(PinName(pin.Get()), L"Capture");
    ASSERT_EQ(tee.FindPin(pin.Put(), PINDIR_OUTPUT, L"Prev"), S_OK);
    EXPECT_EQ(PinName(pin.Get()), L"Preview");
    // No name: the first pin of the direction.
    ASSERT_EQ(tee.FindPin(pin.Put(), PINDIR_INPUT, nullptr), S_OK);
    EXPECT_EQ(PinName(pin.Get()), L"Input");
    EXPECT_EQ(tee.FindPin(pin.Put(), PINDIR_INPUT, L"Preview"), E_FAIL);
    EXPECT_EQ(tee.FindPin(nullptr, PINDIR_INPUT, nullptr), E_POINTER);
}

TEST_F(FilterGraphTest, UnconnectedPinSkipsConnectedPinsOfTheDirection)
{
    auto camera = Camera();
    CDSFilter tee("Smart Tee", CLSID_SmartTee);
    CDSFilter first("Null renderer", CLSID_NullRenderer);
    CDSFilter second("Null renderer 2", CLSID_NullRenderer);
    for (CDSFilter* filter : {static_cast<CDSFilter*>(camera.get()), &tee, &first, &second})
        ASSERT_TRUE(SUCCEEDED(m_graph.AddFilter(filter)));
    ComPtr<IPin> capture;
    ASSERT_EQ(camera->FindPin(capture.Put(), PINDIR_OUTPUT, L"Capture"), S_OK);
    ASSERT_EQ(m_graph.ConnectToFilter(capture.Get(), tee.GetFilter()), S_OK);

    ComPtr<IPin> free;
    ASSERT_EQ(CFilterGraph::GetUnconnectedPin(tee.GetFilter(), PINDIR_OUTPUT, free.Put()), S_OK);
    EXPECT_EQ(PinName(free.Get()), L"Capture");
    ASSERT_EQ(m_graph.ConnectToFilter(free.Get(), first.GetFilter()), S_OK);
    ASSERT_EQ(CFilterGraph::GetUnconnectedPin(tee.GetFilter(), PINDIR_OUTPUT, free.Put()), S_OK);
    EXPECT_EQ(PinName(free.Get()), L"Preview");
    ASSERT_EQ(m_graph.ConnectToFilter(free.Get(), second.GetFilter()), S_OK);
    EXPECT_EQ(CFilterGraph::GetUnconnectedPin(tee.GetFilter(), PINDIR_OUTPUT, free.Put()), E_FAIL);
    EXPECT_FALSE(free);
    // The sink's only input is taken now.
    EXPECT_EQ(m_graph.ConnectToFilter(capture.Get(), first.GetFilter()), E_FAIL);
    EXPECT_EQ(m_graph.ConnectToFilter(nullptr, first.GetFilter()), E_POINTER);
    camera->ReleaseDevice();
}

TEST_F(FilterGraphTest, RemoveDownstreamTakesEverythingAfterTheCameraAndLeavesIt)
{
    auto camera = Camera();
    CDSFilter converter("Color Space Converter", CLSID_Colour);
    CDSFilter renderer("Null renderer", CLSID_NullRenderer);
    for (CDSFilter* filter : {static_cast<CDSFilter*>(camera.get()), &converter, &renderer})
        ASSERT_TRUE(SUCCEEDED(m_graph.AddFilter(filter)));
    ComPtr<ICaptureGraphBuilder2> builder;
    ASSERT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                               IID_ICaptureGraphBuilder2, builder.PutVoid()),
              S_OK);
    builder->SetFiltergraph(m_graph.GetGraph());
    // The camera has no preview pin, so the builder puts a Smart Tee on its capture pin.
    ASSERT_EQ(builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, camera->GetFilter(),
                                    converter.GetFilter(), renderer.GetFilter()),
              S_OK);
    ASSERT_EQ(FilterNames(m_graph.GetGraph()).size(), 4u);

    m_graph.RemoveDownstream(camera->GetFilter());
    EXPECT_EQ(FilterNames(m_graph.GetGraph()), std::vector<std::string>{"Filter Test Camera"});
    ComPtr<IPin> capture;
    ASSERT_EQ(CFilterGraph::GetUnconnectedPin(camera->GetFilter(), PINDIR_OUTPUT, capture.Put()), S_OK);
    m_graph.RemoveDownstream(nullptr);
    EXPECT_EQ(m_graph.RemoveFilter(nullptr), E_INVALIDARG);
    EXPECT_EQ(m_graph.RemoveFilter(camera.get()), S_OK);
    camera->ReleaseDevice();
}

TEST_F(FilterGraphTest, HoldersNameTheirFiltersAndReportMissingOnes)
{
    CDSFilter empty;
    EXPECT_STREQ(empty.GetName(), "None");
    EXPECT_EQ(empty.GetFilter(), nullptr);

    const std::string longName(200, 'n');
    CDSFilter tee(longName.c_str(), CLSID_SmartTee);
    EXPECT_EQ(std::string(tee.GetName()), longName.substr(0, 128));

    CDSFilter byName("Filter Test Camera", CLSID_VideoInputDeviceCategory, CDSFilter::FromCategory{});
    EXPECT_NE(byName.GetFilter(), nullptr);
    EXPECT_STREQ(byName.GetName(), "Filter Test Camera");

    try
    {
        CDSFilter missing("No Such Camera", CLSID_VideoInputDeviceCategory, CDSFilter::FromCategory{});
        FAIL() << "a camera that is not there was bound";
    }
    catch (const CMissingModuleException& e)
    {
        EXPECT_STREQ(e.what(),
                     "Fatal error: failed to find \"No Such Camera\"!\nPlease reinstall application.");
    }
    static constexpr GUID kUnknownClass = {0x01234567, 0x89AB, 0xCDEF, {1, 2, 3, 4, 5, 6, 7, 8}};
    // The formatted text is cut at 157 characters.
    EXPECT_THROW(
        {
            try
            {
                CDSFilter missing(longName.c_str(), kUnknownClass);
            }
            catch (const CMissingModuleException& e)
            {
                EXPECT_EQ(std::string(e.what()).size(), 157u);
                EXPECT_EQ(std::string(e.what()).substr(0, 29), "Fatal error: failed to find \"");
                throw;
            }
        },
        CMissingModuleException);
}

TEST_F(FilterGraphTest, DeviceHoldersFailWithTheHresultOfTheirBinding)
{
    try
    {
        CDSDeviceFilter none(m_graph.GetGraph(), nullptr);
        FAIL() << "a holder without a moniker was made";
    }
    catch (const CAtlException& e)
    {
        EXPECT_EQ(static_cast<HRESULT>(e), E_FAIL);
    }

    auto camera = Camera();
    EXPECT_STREQ(camera->GetName(), "Filter Test Camera");
    EXPECT_NE(camera->GetMoniker(), nullptr);
    camera->ReleaseDevice();
    EXPECT_EQ(camera->GetFilter(), nullptr);
    EXPECT_EQ(camera->GetMoniker(), nullptr);

    // A camera that goes between its listing and its binding.
    ComPtr<IMoniker> moniker = FindMoniker(CLSID_VideoInputDeviceCategory, m_camera->DevicePath());
    ASSERT_TRUE(moniker);
    m_camera->Unplug();
    try
    {
        CDSDeviceFilter gone(m_graph.GetGraph(), moniker.Get());
        FAIL() << "an unplugged camera was bound";
    }
    catch (const CAtlException& e)
    {
        EXPECT_EQ(static_cast<HRESULT>(e), VFW_E_DEVICE_NOT_CONNECTED);
    }
}
