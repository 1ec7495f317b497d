#include "GraphFixture.h"
#include "MediaProbe.h"

#include "platform/dshow/FileWriteHook.h"
#include "platform/win/CString.h"
#include "platform/win/LastError.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>
#include <unistd.h>

using namespace dshow_testing;
using namespace std::chrono_literals;
using platform::VirtualCamera;
using platform::VirtualCameraConfig;
using platform::VirtualMicrophone;

namespace
{
constexpr REFERENCE_TIME kMaxTime = 0x7FFFFFFFFFFFFFFFLL;

/// The recording graph as the capture graph builds it: camera and microphone, Smart Tee, encoder DMO
/// configured but left with its output unconnected, ASF writer with the profile, preview branch.
class RecordingTest : public testing::Test
{
protected:
    void SetUp() override
    {
        VirtualCameraConfig config;
        config.sizes = {{640, 480}, {320, 240}};
        m_camera = VirtualCamera::Create(config);
        m_microphone = VirtualMicrophone::Create("Test Microphone");
    }
    void TearDown() override
    {
        platform::dshow::SetFileWriteHook({});
        m_preview.TearDown();
    }

    void Build(const std::wstring& profileXml, bool withMicrophone = true)
    {
        m_file = (m_dir / "Vid-001.wmv").string();
        m_preview.graph = nullptr;
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   m_preview.graph.PutVoid()),
                  S_OK);
        IGraphBuilder* graph = m_preview.graph.Get();
        m_preview.control = m_preview.graph.As<IMediaControl>(IID_IMediaControl);
        m_preview.events = m_preview.graph.As<IMediaEventEx>(IID_IMediaEventEx);
        m_camera.get();
        m_preview.camera =
            BindFilter(FindMoniker(CLSID_VideoInputDeviceCategory, m_camera->DevicePath()).Get());
        Add(graph, m_preview.camera.Get(), L"Brevicam Virtual Camera");
        m_preview.renderer = MakeFilter(CLSID_VideoMixingRenderer9);
        Add(graph, m_preview.renderer.Get(), L"Video Renderer");
        m_preview.renderer.As<IVMRFilterConfig9>(IID_IVMRFilterConfig9)
            ->SetRenderingMode(VMR9Mode_Windowless);
        m_preview.windowless = m_preview.renderer.As<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9);
        ComPtr<IBaseFilter> converter = MakeFilter(CLSID_Colour);
        Add(graph, converter.Get(), L"Color Space Converter");
        ComPtr<IBaseFilter> microphone;
        if (withMicrophone)
        {
            microphone = BindFilter(FindMoniker(CLSID_AudioInputDeviceCategory, "Test Microphone").Get());
            Add(graph, microphone.Get(), L"Test Microphone");
        }
        ComPtr<IBaseFilter> tee = MakeFilter(CLSID_SmartTee);
        Add(graph, tee.Get(), L"Smart Tee");
        ComPtr<IBaseFilter> encoder = MakeFilter(CLSID_DMOWrapperFilter);
        auto wrapper = encoder.As<IDMOWrapperFilter>(IID_IDMOWrapperFilter);
        ASSERT_EQ(wrapper->Init(CLSID_CWMV8EncMediaObject, DMOCATEGORY_VIDEO_ENCODER), S_OK);
        Add(graph, encoder.Get(), L"WMV8DMO Encoder");
        m_writer = MakeFilter(CLSID_WMAsfWriter);
        Add(graph, m_writer.Get(), L"ASF Writer");

        ComPtr<IWMProfileManager> manager;
        ASSERT_EQ(WMCreateProfileManager(manager.Put()), S_OK);
        ComPtr<IWMProfile> profile;
        ASSERT_EQ(manager->LoadProfileByData(profileXml.c_str(), profile.Put()), S_OK);
        ASSERT_EQ(
            m_writer.As<IConfigAsfWriter>(IID_IConfigAsfWriter)->ConfigureFilterUsingProfile(profile.Get()),
            S_OK);

        ASSERT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICaptureGraphBuilder2, m_preview.builder.PutVoid()),
                  S_OK);
        ICaptureGraphBuilder2* builder = m_preview.builder.Get();
        builder->SetFiltergraph(graph);
        builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, m_preview.camera.Get(), nullptr,
                              tee.Get());
        ASSERT_EQ(builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, m_preview.camera.Get(),
                                        nullptr, tee.Get()),
                  S_OK);
        if (microphone)
        {
            ASSERT_EQ(builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, microphone.Get(),
                                            nullptr, m_writer.Get()),
                      S_OK);
        }
        ComPtr<IPin> capture = Pin(tee.Get(), L"Capture");
        ASSERT_TRUE(capture);
        std::wstring wide = platform::Utf8ToWide(m_file);
        ASSERT_EQ(m_writer.As<IFileSinkFilter>(IID_IFileSinkFilter)->SetFileName(wide.c_str(), nullptr),
                  S_OK);
        ASSERT_EQ(graph->ConnectDirect(capture.Get(), Pin(encoder.Get(), L"in0").Get(), nullptr), S_OK);
        // The probe: the capture pin's side of the encoder link is dropped, the encoder's side stays.
        AM_MEDIA_TYPE probed{};
        ASSERT_EQ(capture->ConnectionMediaType(&probed), S_OK);
        FreeMediaType(probed);
        ASSERT_EQ(capture->Disconnect(), S_OK);
        ComPtr<IPin> videoInput;
        ASSERT_EQ(m_writer->FindPin(L"Video Input 01", videoInput.Put()), S_OK);
        ASSERT_EQ(graph->ConnectDirect(capture.Get(), videoInput.Get(), nullptr), S_OK);
        ASSERT_EQ(builder->RenderStream(nullptr, &MEDIATYPE_Video, Pin(tee.Get(), L"Preview").Get(),
                                        converter.Get(), m_preview.renderer.Get()),
                  S_OK);
    }

    /// Runs with the file stream held back, releases it after `holdMs`, records for `recordMs`; the span of
    /// the release, where the file starts.
    testing_support::CallSpan Record(int holdMs, int recordMs)
    {
        testing_support::CallSpan release;
        RecordInto(holdMs, recordMs, &release);
        return release;
    }
    void RecordInto(int holdMs, int recordMs, testing_support::CallSpan* release)
    {
        REFERENCE_TIME never = kMaxTime;
        ASSERT_EQ(
            m_preview.builder->ControlStream(&PIN_CATEGORY_CAPTURE, nullptr, nullptr, &never, nullptr, 0, 0),
            S_OK);
        ASSERT_EQ(m_preview.control->Run(), S_OK);
        std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
        EXPECT_FALSE(std::filesystem::exists(m_file));
        HRESULT released = E_FAIL;
        *release = testing_support::Timed(
            [&]
            {
                released = m_preview.builder->ControlStream(&PIN_CATEGORY_CAPTURE, nullptr, nullptr, nullptr,
                                                            &never, 0, 0);
            });
        ASSERT_EQ(released, S_OK);
        std::this_thread::sleep_for(std::chrono::milliseconds(recordMs));
    }

    std::shared_ptr<VirtualCamera> m_camera;
    std::shared_ptr<VirtualMicrophone> m_microphone;
    testing_support::TempDir m_dir;
    std::string m_file;
    PreviewGraph m_preview;
    ComPtr<IBaseFilter> m_writer;
};
} // namespace

TEST_F(RecordingTest, RecordsWmvWithTheProfilesSizeRateAndDuration)
{
    Build(ProfileXml(640, 480, 100, 333667));
    ASSERT_FALSE(HasFailure());
    const auto start = Record(1500, 3000);
    ASSERT_FALSE(HasFailure());
    // The preview goes on while the file is written.
    BYTE* dib = WaitForImage(m_preview.windowless.Get(), 2000);
    EXPECT_NE(dib, nullptr);
    CoTaskMemFree(dib);
    HRESULT stopped = E_FAIL;
    const auto stop = testing_support::Timed([&] { stopped = m_preview.control->Stop(); });
    ASSERT_EQ(stopped, S_OK);

    auto info = testing_support::ProbeMedia(m_file);
    ASSERT_TRUE(info.readable);
    const auto* video = info.Stream("video");
    const auto* audio = info.Stream("audio");
    ASSERT_NE(video, nullptr);
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(video->codec, "wmv2");
    EXPECT_EQ(audio->codec, "wmav2");
    EXPECT_EQ(video->width, 640);
    EXPECT_EQ(video->height, 480);
    EXPECT_NEAR(video->frameRate, 29.97, 0.01);
    EXPECT_TRUE(testing_support::DurationFits(info, start, stop));
    int frames = 0;
    std::string errors;
    EXPECT_TRUE(testing_support::DecodesCleanly(m_file, &frames, &errors)) << errors;
    // Every frame written decodes; how many the camera delivered is the recording bin's test, which counts
    // them (a camera starved on a loaded machine delivers fewer than its rate).
    EXPECT_EQ(frames, static_cast<int>(info.videoTimes.size()));
}

TEST_F(RecordingTest, InterpolatedSizeIsScaledAndReducedRateKept)
{
    Build(ProfileXml(1280, 960, 90, 666666), false);
    ASSERT_FALSE(HasFailure());
    const auto start = Record(300, 2000);
    ASSERT_FALSE(HasFailure());
    HRESULT stopped = E_FAIL;
    const auto stop = testing_support::Timed([&] { stopped = m_preview.control->Stop(); });
    ASSERT_EQ(stopped, S_OK);
    auto info = testing_support::ProbeMedia(m_file);
    const auto* video = info.Stream("video");
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(info.Stream("audio"), nullptr);
    EXPECT_EQ(video->width, 1280);
    EXPECT_EQ(video->height, 960);
    EXPECT_NEAR(video->frameRate, 15.0, 0.01);
    EXPECT_TRUE(testing_support::DurationFits(info, start, stop));
}

TEST_F(RecordingTest, UnpluggedCameraRaisesDeviceLostAndLeavesAPlayableFile)
{
    Build(ProfileXml(640, 480, 100, 333667));
    ASSERT_FALSE(HasFailure());
    const auto start = Record(300, 2000);
    ASSERT_FALSE(HasFailure());
    LONG_PTR p1 = 0;
    LONG_PTR p2 = 0;
    bool lost = false;
    // The file ends with the camera: between the unplugging and the news of it.
    const auto end = testing_support::Timed(
        [&]
        {
            m_camera->Unplug();
            lost = WaitForEvent(m_preview.events.Get(), EC_DEVICE_LOST, 5000, &p1, &p2);
        });
    ASSERT_TRUE(lost);
    EXPECT_EQ(p2, 0);
    m_preview.events->FreeEventParams(EC_DEVICE_LOST, p1, p2);
    // The controller stops the recording on this event.
    ASSERT_EQ(m_preview.control->Stop(), S_OK);
    auto info = testing_support::ProbeMedia(m_file);
    ASSERT_TRUE(info.readable);
    EXPECT_TRUE(testing_support::DurationFits(info, start, end));
    int frames = 0;
    std::string errors;
    EXPECT_TRUE(testing_support::DecodesCleanly(m_file, &frames, &errors)) << errors;
    EXPECT_GT(frames, 45);
}

TEST_F(RecordingTest, FullDiskAbortsOnceWithDiskFullAndKeepsWhatWasWritten)
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
    Build(ProfileXml(640, 480, 100, 333667));
    ASSERT_FALSE(HasFailure());
    Record(300, 0);
    LONG_PTR p1 = 0;
    LONG_PTR p2 = 0;
    ASSERT_TRUE(WaitForEvent(m_preview.events.Get(), EC_ERRORABORT, 10000, &p1, &p2));
    EXPECT_EQ(static_cast<HRESULT>(p1), HRESULT_FROM_WIN32(ERROR_DISK_FULL));
    m_preview.events->FreeEventParams(EC_ERRORABORT, p1, p2);
    EXPECT_FALSE(WaitForEvent(m_preview.events.Get(), EC_ERRORABORT, 1000, &p1, &p2));
    ASSERT_EQ(m_preview.control->Stop(), S_OK);
    EXPECT_LE(std::filesystem::file_size(m_file), 150000u);
    int frames = 0;
    std::string errors;
    testing_support::DecodesCleanly(m_file, &frames, &errors);
    EXPECT_GT(frames, 3) << errors;
}

TEST_F(RecordingTest, EncoderTakesTheRecordingSettings)
{
    Build(ProfileXml(640, 480, 100, 333667));
    ASSERT_FALSE(HasFailure());
    ComPtr<IBaseFilter> encoder;
    ASSERT_EQ(m_preview.graph->FindFilterByName(L"WMV8DMO Encoder", encoder.Put()), S_OK);
    auto bag = encoder.As<IPropertyBag>(IID_IPropertyBag);
    ASSERT_TRUE(bag);
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BOOL;
    value.boolVal = VARIANT_TRUE;
    EXPECT_EQ(bag->Write(L"_VBRENABLED", &value), S_OK);
    value.vt = VT_I4;
    value.lVal = 98;
    EXPECT_EQ(bag->Write(L"_VBRQUALITY", &value), S_OK);
    value.lVal = 101;
    EXPECT_EQ(bag->Write(L"_CRISP", &value), E_INVALIDARG);
    EXPECT_EQ(bag->Write(L"_VBRENABLED", &value), DISP_E_TYPEMISMATCH);
    VARIANT read;
    VariantInit(&read);
    EXPECT_EQ(bag->Read(L"_VBRQUALITY", &read, nullptr), S_OK);
    EXPECT_EQ(read.vt, VT_I4);
    EXPECT_EQ(read.lVal, 98);

    auto object = encoder.As<IMediaObject>(IID_IMediaObject);
    AM_MEDIA_TYPE input{};
    ASSERT_EQ(object->GetInputCurrentType(0, &input), S_OK);
    CMediaType output(input);
    FreeMediaType(input);
    output.SetSubtype(&MEDIASUBTYPE_WMV2);
    EXPECT_EQ(object->SetOutputType(0, &output, 0), S_OK);
    DWORD size = 0;
    DWORD lookahead = 0;
    DWORD alignment = 0;
    EXPECT_EQ(object->GetInputSizeInfo(0, &size, &lookahead, &alignment), S_OK);
    EXPECT_EQ(object->GetOutputSizeInfo(0, &size, &alignment), S_OK);
    auto config = Pin(encoder.Get(), L"out0").As<IAMStreamConfig>(IID_IAMStreamConfig);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->SetFormat(&output), S_OK);
}

struct ProfileCase
{
    const char* name;
    std::wstring xml;
    HRESULT result;
};

class ProfileLoadTest : public testing::TestWithParam<ProfileCase>
{
};

TEST_P(ProfileLoadTest, LoadsOnlyCompleteProfiles)
{
    ComPtr<IWMProfileManager> manager;
    ASSERT_EQ(WMCreateProfileManager(manager.Put()), S_OK);
    ComPtr<IWMProfile> profile;
    EXPECT_EQ(manager->LoadProfileByData(GetParam().xml.c_str(), profile.Put()), GetParam().result);
    EXPECT_EQ(static_cast<bool>(profile), GetParam().result == S_OK);
    if (profile)
    {
        DWORD streams = 0;
        profile->GetStreamCount(&streams);
        EXPECT_EQ(streams, 2u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, ProfileLoadTest,
    testing::Values(ProfileCase{"Complete", ProfileXml(800, 600, 80, 333667), S_OK},
                    ProfileCase{"PlaceholderLeft", ProfileXml(-1, 600, 80, 333667), NS_E_INVALID_PROFILE},
                    ProfileCase{"ZeroFrameTime", ProfileXml(640, 480, 100, 0), NS_E_INVALID_PROFILE},
                    ProfileCase{"Truncated", ProfileXml(640, 480, 100, 333667).substr(0, 900),
                                NS_E_INVALID_PROFILE},
                    ProfileCase{"NotAProfile", L"<html><body/></html>", NS_E_INVALID_PROFILE}),
    [](const testing::TestParamInfo<ProfileCase>& info) { return info.param.name; });
