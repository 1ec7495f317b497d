#include "CaptureTestSupport.h"

#include "brevicam/capture/CaptureGraph.h"
#include "brevicam/core/Params.h"
#include "platform/window/WinApp.h"
#include "tests/platform/dshow/MediaProbe.h"
#include "tests/support/PulseDaemon.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace capture_testing;
using platform::VirtualCamera;
using testing_support::PulseDaemon;

namespace
{
/// Microphones of a private sound server, known to both the device enumerator and the audio library;
/// two cameras, the first of which carries the USB ids of the server's webcam microphone.
class MicrophoneChoiceTest : public testing::Test
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
        g_params.m_VideoResolution = "640 x 480";
        g_params.m_PhotoResolution = "640 x 480";
        g_params.m_VideoPath = (m_dir.Path().string() + "/").c_str();
        m_first = MakeCamera("Webcam C270", 0x046D, 0x0825);
        m_second = MakeCamera("Webcam C920", 0x046D, 0x082D);
    }
    void TearDown() override
    {
        if (m_graph)
        {
            m_graph->Stop();
            m_graph->TearDown();
        }
        m_graph.reset();
        m_app.reset();
    }

    void Settings(const char* video, const char* audio)
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_VideoDevice = video;
        g_params.m_AudioDevice = audio;
    }

    std::vector<std::string> Microphones()
    {
        std::vector<std::string> names;
        for (int i = 0; i < m_graph->GetAudioDevices().GetCount(); ++i)
            names.push_back(m_graph->GetAudioDevices().GetName(i).Str());
        return names;
    }

    PulseDaemon m_daemon;
    testing_support::TempDir m_dir;
    std::optional<CWinApp> m_app;
    VideoWindows m_windows;
    std::shared_ptr<VirtualCamera> m_first;
    std::shared_ptr<VirtualCamera> m_second;
    std::unique_ptr<CCaptureGraph> m_graph;
};
} // namespace

TEST_F(MicrophoneChoiceTest, WebcamsOwnMicrophoneIsFoundByTheFirstCamerasIds)
{
    Settings("Webcam C920", "");
    m_graph = std::make_unique<CCaptureGraph>();
    // Every capture source of the server is known to the audio library, the long name too.
    EXPECT_EQ(Microphones(),
              (std::vector<std::string>{PulseDaemon::kSine440Description, PulseDaemon::kSine1000Description,
                                        PulseDaemon::kWebcamDescription}));
    EXPECT_EQ(m_graph->GetVideoDevices().GetSelectedName(), "Webcam C920");
    EXPECT_EQ(m_graph->GetAudioDevices().GetSelectedName(), PulseDaemon::kWebcamDescription);
}

TEST_F(MicrophoneChoiceTest, StoredMicrophoneWinsAndAnUnknownOneWithAnUnknownCameraIsNone)
{
    Settings("Webcam C270", PulseDaemon::kSine1000Description);
    m_graph = std::make_unique<CCaptureGraph>();
    EXPECT_EQ(m_graph->GetAudioDevices().GetSelectedName(), PulseDaemon::kSine1000Description);
    m_graph.reset();

    Settings("Gone Camera", "Gone Microphone");
    m_graph = std::make_unique<CCaptureGraph>();
    EXPECT_EQ(m_graph->GetSelectedIndex(CDeviceGraph::kAudio), -1);
    EXPECT_EQ(m_graph->GetVideoDevices().GetSelectedName(), "Webcam C270");
}

TEST_F(MicrophoneChoiceTest, RecordingCarriesTheMicrophoneAndAudioComesBackAfterAFailure)
{
    Settings("Webcam C270", PulseDaemon::kWebcamDescription);
    m_graph = std::make_unique<CCaptureGraph>();
    m_graph->DetectWebcamModel();
    // Without a microphone to make, the preview runs without sound.
    m_graph->SelectDevice(CDeviceGraph::kAudio, -1);
    ASSERT_TRUE(m_graph->SetGraphMode(0));
    EXPECT_FALSE(m_graph->IsAudioAvailable());
    m_graph->Stop();
    m_graph->TearDown();

    // The next build has sound again, and the recording carries it.
    m_graph->GetAudioDevices().SelectByName(PulseDaemon::kWebcamDescription);
    ASSERT_TRUE(m_graph->SetGraphMode(1));
    EXPECT_TRUE(m_graph->IsAudioAvailable());
    const std::string file = g_params.GetCaptureFileName().Str();
    HRESULT ran = E_FAIL;
    const auto start = testing_support::Timed([&] { ran = m_graph->Run(); });
    ASSERT_EQ(ran, S_OK);
    PumpMessages(2000);
    bool stopped = false;
    const auto stop = testing_support::Timed([&] { stopped = m_graph->Stop(); });
    ASSERT_TRUE(stopped);
    auto info = testing_support::ProbeMedia(file);
    ASSERT_TRUE(info.readable);
    const auto* audio = info.Stream("audio");
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(audio->codec, "wmav2");
    EXPECT_TRUE(testing_support::DurationFits(info, start, stop));
}
