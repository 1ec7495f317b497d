#include "GraphFixture.h"
#include "MediaProbe.h"

#include "tests/support/PulseDaemon.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

using namespace dshow_testing;
using testing_support::PulseDaemon;

namespace
{
std::vector<std::string> Microphones()
{
    std::vector<std::string> names;
    ComPtr<ICreateDevEnum> devices;
    CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                     devices.PutVoid());
    ComPtr<IEnumMoniker> list;
    if (devices->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, list.Put(), 0) != S_OK)
        return names;
    IMoniker* moniker = nullptr;
    while (list->Next(1, &moniker, nullptr) == S_OK)
    {
        auto held = ComPtr<IMoniker>::Adopt(moniker);
        names.push_back(ReadProperty(held.Get(), L"FriendlyName"));
    }
    return names;
}
} // namespace

TEST(PulseMicrophoneTest, SourcesAreListedWithoutMonitors)
{
    PulseDaemon daemon;
    auto names = Microphones();
    EXPECT_EQ(names,
              (std::vector<std::string>{PulseDaemon::kSine440Description, PulseDaemon::kSine1000Description,
                                        PulseDaemon::kWebcamDescription}));
}

TEST(PulseMicrophoneTest, RecordingTakesTheWebcamMicrophoneAndHearsItGo)
{
    PulseDaemon daemon;
    testing_support::TempDir dir;
    auto camera = platform::VirtualCamera::Create();
    PreviewGraph graph;
    graph.Build(camera->DevicePath());
    ASSERT_FALSE(testing::Test::HasFailure());
    ComPtr<IBaseFilter> microphone =
        BindFilter(FindMoniker(CLSID_AudioInputDeviceCategory, PulseDaemon::kWebcamDescription).Get());
    ASSERT_TRUE(microphone);
    Add(graph.graph.Get(), microphone.Get(), L"Webcam Microphone");
    ComPtr<IBaseFilter> writer = MakeFilter(CLSID_WMAsfWriter);
    Add(graph.graph.Get(), writer.Get(), L"ASF Writer");
    ComPtr<IWMProfileManager> manager;
    WMCreateProfileManager(manager.Put());
    ComPtr<IWMProfile> profile;
    std::wstring xml = ProfileXml(320, 240, 100, 333667);
    ASSERT_EQ(manager->LoadProfileByData(xml.c_str(), profile.Put()), S_OK);
    writer.As<IConfigAsfWriter>(IID_IConfigAsfWriter)->ConfigureFilterUsingProfile(profile.Get());
    std::string file = (dir / "mic.wmv").string();
    std::wstring wide(file.begin(), file.end());
    writer.As<IFileSinkFilter>(IID_IFileSinkFilter)->SetFileName(wide.c_str(), nullptr);
    // The preview graph's camera already feeds the renderer through a Smart Tee: its free capture branch
    // goes to the writer.
    ComPtr<IBaseFilter> tee;
    ASSERT_EQ(graph.graph->FindFilterByName(L"Smart Tee", tee.Put()), S_OK);
    ASSERT_EQ(graph.graph->ConnectDirect(Pin(tee.Get(), L"Capture").Get(),
                                         Pin(writer.Get(), L"Video Input 01").Get(), nullptr),
              S_OK);
    ASSERT_EQ(graph.builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, microphone.Get(), nullptr,
                                          writer.Get()),
              S_OK);
    ASSERT_EQ(graph.control->Run(), S_OK);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    // The microphone is taken away while the recording runs.
    int module = daemon.ModuleOfSource(PulseDaemon::kWebcam);
    ASSERT_GE(module, 0);
    ASSERT_TRUE(daemon.UnloadModule(module));
    LONG_PTR p1 = 0;
    LONG_PTR p2 = 0;
    ASSERT_TRUE(WaitForEvent(graph.events.Get(), EC_DEVICE_LOST, 5000, &p1, &p2));
    auto reported = ComPtr<IUnknown>(reinterpret_cast<IUnknown*>(p1)).As<IUnknown>(IID_IUnknown);
    EXPECT_EQ(reported.Get(), microphone.As<IUnknown>(IID_IUnknown).Get());
    EXPECT_EQ(p2, 0);
    graph.events->FreeEventParams(EC_DEVICE_LOST, p1, p2);
    graph.TearDown();

    auto info = testing_support::ProbeMedia(file);
    ASSERT_TRUE(info.readable);
    ASSERT_NE(info.Stream("audio"), nullptr);
    EXPECT_EQ(info.Stream("audio")->codec, "wmav2");
    EXPECT_EQ(info.Stream("video")->width, 320);
    EXPECT_GT(info.duration, 1.5);
}
