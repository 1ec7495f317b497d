#include "miravoc/Miravoc.h"

#include "MiravocTestSupport.h"

#include "miravoc/MiravocApp.h"
#include "platform/ostrago/Ostrago.h"
#include "platform/window/WinUser.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

using miravoc_test::EngineEvents;
using miravoc_test::PumpUntil;
using testing_support::PulseDaemon;

namespace
{
constexpr DWORD kUnreadable = 0xFFFFFFFF;

int Check(std::string name)
{
    return CheckDevice(name.data());
}

int Select(std::string name)
{
    return SetDevice(name.data());
}

std::string NameById(int index, size_t len = 256)
{
    std::vector<char> buffer(len, '\x7f');
    GetDeviceNameById(index, buffer.data(), len);
    return std::string(buffer.data(), strnlen(buffer.data(), len));
}

// The source volume pactl shows for a mixer volume of 0 to 65535 (100 % of nominal at the top).
unsigned SourceVolumeOf(DWORD mixerVolume)
{
    return static_cast<unsigned>((static_cast<std::uint64_t>(mixerVolume) * 65536 + 32767) / 65535);
}

// Loads one more mono capture source with that description; its module index.
int LoadSource(const PulseDaemon& daemon, const std::string& sourceName, const std::string& description)
{
    return daemon.LoadModule("module-remap-source",
                             "source_name=" + sourceName + " master=" + PulseDaemon::kTone440Sink +
                                 ".monitor channels=1 channel_map=mono master_channel_map=front-left remix=no"
                                 " source_properties='device.description=\"" +
                                 description + "\"'");
}

// The library as the program has it: its engine built on this thread once the sound server runs.
class MiravocTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(app.InitInstance());
        ASSERT_NE(g_pAudioDeviceEngine, nullptr);
        g_pAudioDeviceEngine->SetEventCallback(&EngineEvents::Callback);
        EngineEvents::Clear();
    }
    void TearDown() override { app.ExitInstance(); }

    PulseDaemon daemon;
    CMiravocApp app;
};
} // namespace

TEST_F(MiravocTest, ListsTheCaptureDevicesButNoMonitor)
{
    EXPECT_EQ(GetNumDevices(), 3u);
    EXPECT_EQ(NameById(0), PulseDaemon::kSine440Description);
    EXPECT_EQ(NameById(1), PulseDaemon::kSine1000Description);
    EXPECT_EQ(Check("Monitor of Null Output"), -1);
    EXPECT_EQ(Check(std::string(PulseDaemon::kNullSink) + ".monitor"), -1);

    std::array<char, 8> small{};
    EXPECT_FALSE(GetDeviceNameById(3, small.data(), small.size()));
    EXPECT_STREQ(small.data(), "0");
    EXPECT_FALSE(GetDeviceNameById(-2, small.data(), small.size()));
}

TEST_F(MiravocTest, LongNamesAreCutToTheRecordAndNeverOverrun)
{
    // 40 bytes; the product name keeps whole characters within 31 bytes.
    const std::string full = PulseDaemon::kWebcamDescription;
    const std::string cut = NameById(2);
    EXPECT_EQ(cut, full.substr(0, 30));
    EXPECT_LE(cut.size(), 31u);

    std::array<char, 12> buffer;
    buffer.fill('\x7f');
    EXPECT_TRUE(GetDeviceNameById(2, buffer.data(), 8));
    EXPECT_STREQ(buffer.data(), "Webcam ");
    EXPECT_EQ(buffer[8], '\x7f');

    ASSERT_EQ(Select(full), 2);
    buffer.fill('\x7f');
    EXPECT_EQ(GetCurrentDevice(buffer.data(), 8), 2);
    EXPECT_STREQ(buffer.data(), "Webcam ");
    EXPECT_EQ(buffer[8], '\x7f');
    std::array<char, 64> whole{};
    EXPECT_EQ(GetCurrentDevice(whole.data(), whole.size()), 2);
    EXPECT_EQ(std::string(whole.data()), cut);
}

TEST_F(MiravocTest, CheckDeviceFindsANameByItsWholeTextOrItsCutButNothingElse)
{
    const std::string full = PulseDaemon::kWebcamDescription;
    EXPECT_EQ(Check(full), 2);
    EXPECT_EQ(Check(full.substr(0, 30)), 2);
    EXPECT_EQ(Check(full.substr(0, 30) + "XX"), -1);
    EXPECT_EQ(Check(full.substr(0, 20)), -1);
    EXPECT_EQ(Check(PulseDaemon::kSine1000Description), 1);
    EXPECT_EQ(Check("sine 1000 hz"), -1);
    EXPECT_EQ(CheckDevice(nullptr), -1);
    // Nothing was opened by looking.
    std::array<char, 32> name{};
    EXPECT_EQ(GetCurrentDevice(name.data(), name.size()), -1);
    EXPECT_STREQ(name.data(), "N/A");
}

TEST_F(MiravocTest, SetDeviceOpensTheNamedDeviceOrTheDefaultOne)
{
    std::array<char, 32> name{};
    EXPECT_EQ(Select(PulseDaemon::kSine1000Description), 1);
    EXPECT_EQ(GetCurrentDevice(name.data(), name.size()), 1);
    EXPECT_STREQ(name.data(), PulseDaemon::kSine1000Description);
    EXPECT_NE(GetCurrentVolume(), kUnreadable);

    // An unknown name makes the system's default device (sine440) the one served.
    EXPECT_EQ(Select("No Such Microphone"), -1);
    EXPECT_EQ(GetCurrentDevice(name.data(), name.size()), -1);
    EXPECT_STREQ(name.data(), PulseDaemon::kSine440Description);
    SetCurrentVolume(13107);
    EXPECT_EQ(daemon.SourceVolumes(PulseDaemon::kSine440), std::vector<unsigned>{SourceVolumeOf(13107)});

    EXPECT_TRUE(SetDevice(1));
    EXPECT_EQ(GetCurrentDevice(name.data(), name.size()), 1);
    EXPECT_TRUE(SetDevice(7)); // no such device: reported as done, nothing open
    EXPECT_EQ(GetCurrentDevice(name.data(), name.size()), 7);
    EXPECT_STREQ(name.data(), "N/A");
    EXPECT_TRUE(CloseAudioDevice());
    EXPECT_FALSE(OpenAudioDevice());
}

struct DefaultMicCase
{
    const char* name;
    const char* vendorId; // null: never given
    const char* productId;
    std::vector<std::string> extraSources; // descriptions of sources added after the standard ones
    bool webcamLast;                       // the webcam source moves behind the added ones
    int expected;                          // -1 none, -2 the webcam, else the added source of that position
};

void PrintTo(const DefaultMicCase& c, std::ostream* os)
{
    *os << c.name;
}

class DefaultMicTest : public MiravocTest, public ::testing::WithParamInterface<DefaultMicCase>
{
};

TEST_P(DefaultMicTest, ChoosesTheWebcamsOwnMicrophone)
{
    const auto& c = GetParam();
    if (c.webcamLast)
    {
        ASSERT_TRUE(daemon.UnloadModule(daemon.ModuleOfSource(PulseDaemon::kWebcam)));
    }
    for (size_t i = 0; i < c.extraSources.size(); ++i)
        ASSERT_GE(LoadSource(daemon, "extra" + std::to_string(i), c.extraSources[i]), 0) << daemon.Log();
    if (c.webcamLast)
    {
        ASSERT_GE(daemon.LoadModule("module-remap-source", PulseDaemon::WebcamModuleArguments()), 0);
    }
    if (c.vendorId)
    {
        std::string vid = c.vendorId;
        std::string pid = c.productId;
        SetDefaultMicVidPid(vid.data(), pid.data());
    }

    CString name = "unchanged";
    const int index = GetDefaultMicName(name);
    if (c.expected == -1)
    {
        EXPECT_EQ(index, -1);
        EXPECT_EQ(name, "unchanged");
        return;
    }
    const std::string description =
        c.expected == -2 ? std::string(PulseDaemon::kWebcamDescription) : c.extraSources[c.expected];
    const std::string bounded(platform::Utf8Prefix(description, 255));
    EXPECT_EQ(name.Str(), bounded);
    EXPECT_EQ(index, Check(description));
    EXPECT_GE(index, 0);
    // The capture side selects the microphone by the name it was given.
    if (bounded == description)
    {
        EXPECT_EQ(Select(name.Str()), index);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Passes, DefaultMicTest,
    ::testing::Values(
        DefaultMicCase{"ByVendorAndProductIdInThePath", "046D", "0825", {}, false, -2},
        DefaultMicCase{
            "IdsComeBeforeAnEarlierMakerName", "046D", "0825", {"Tavisk Studio Microphone"}, true, -2},
        DefaultMicCase{"ByMakerName", "1234", "5678", {"Sine 2", "Tavisk Studio Microphone"}, false, 1},
        DefaultMicCase{"MakerNameIsCaseSensitive", "1234", "5678", {"tavisk studio microphone"}, false, -1},
        DefaultMicCase{"ByClassDriverNameIgnoringCase", "1234", "5678", {"usb AUDIO device"}, false, 0},
        DefaultMicCase{
            "NotByANameThatOnlyBeginsWithIt", "1234", "5678", {"USB Audio Device Mono"}, false, -1},
        DefaultMicCase{"NoneBeforeTheIdsAreKnown", nullptr, nullptr, {}, false, -1},
        DefaultMicCase{"NoneWhenNothingMatches", "0BDA", "5678", {}, false, -1},
        DefaultMicCase{"LongNameIsBoundedAt255Bytes",
                       "1234",
                       "5678",
                       {"Tavisk " + std::string(200, 'x') + " \xc3\x91" + std::string(100, 'y')},
                       false,
                       0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MiravocTest, SetDefaultMicOpensTheChosenDevice)
{
    std::string vid = "046d";
    std::string pid = "0825";
    SetDefaultMicVidPid(vid.data(), pid.data());
    SetDefaultMic();
    std::array<char, 32> name{};
    EXPECT_EQ(GetCurrentDevice(name.data(), name.size()), 2);
    EXPECT_EQ(g_pAudioDeviceEngine->GetMicModelName(), "Tavisk Webcam Mic 0825");
}

struct VolumeCase
{
    const char* source;
    int index;
    size_t channels;
};

void PrintTo(const VolumeCase& c, std::ostream* os)
{
    *os << c.source;
}

class VolumeTest : public MiravocTest, public ::testing::WithParamInterface<VolumeCase>
{
};

TEST_P(VolumeTest, VolumeWrittenIsTheSourceVolumeAndChangesByOthersAreReported)
{
    const auto& c = GetParam();
    ASSERT_EQ(SetDevice(c.index), true);
    std::array<char, 32> name{};
    ASSERT_EQ(GetCurrentDevice(name.data(), name.size()), c.index);

    EXPECT_TRUE(IsDeviceVolumeControlAvailable());
    EXPECT_EQ(GetMaximalVolume(), 65535u);
    SetCurrentVolume(32768);
    EXPECT_EQ(daemon.SourceVolumes(c.source), std::vector<unsigned>(c.channels, SourceVolumeOf(32768)));
    EXPECT_EQ(GetCurrentVolume(), 32768u);

    SetCurrentVolume(70000); // beyond the control: ignored
    EXPECT_EQ(daemon.SourceVolumes(c.source), std::vector<unsigned>(c.channels, SourceVolumeOf(32768)));

    EngineEvents::Clear();
    ASSERT_EQ(daemon.Pactl({"set-source-volume", c.source, "13107"}), 0);
    ASSERT_TRUE(PumpUntil([] { return EngineEvents::Count(AUDIO_EVENT_VOLUME_CHANGED) > 0; }));
    const auto events = EngineEvents::Snapshot();
    EXPECT_EQ(events.front().first, GetCurrentVolume());
    EXPECT_NEAR(static_cast<double>(events.front().first), 13107.0 * 65535 / 65536, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Sources, VolumeTest,
                         ::testing::Values(VolumeCase{PulseDaemon::kSine440, 0, 1},
                                           VolumeCase{PulseDaemon::kWebcam, 2, 2}),
                         [](const auto& info) { return std::string(info.param.source); });

TEST_F(MiravocTest, MuteWrittenIsTheSourceMute)
{
    ASSERT_EQ(Select(PulseDaemon::kSine1000Description), 1);
    EXPECT_TRUE(IsMuteAvailable());
    EXPECT_EQ(GetVolumeMute(), 0u);
    SetVolumeMute(1);
    EXPECT_TRUE(daemon.SourceMuted(PulseDaemon::kSine1000));
    EXPECT_EQ(GetVolumeMute(), 1u);
    SetVolumeMute(2); // beyond the control: ignored
    EXPECT_TRUE(daemon.SourceMuted(PulseDaemon::kSine1000));
    SetVolumeMute(0);
    EXPECT_FALSE(daemon.SourceMuted(PulseDaemon::kSine1000));
    EXPECT_EQ(GetVolumeMute(), 0u);

    // Closed, nothing can be read or written.
    EXPECT_TRUE(CloseAudioDevice());
    EXPECT_EQ(GetVolumeMute(), kUnreadable);
    EXPECT_EQ(GetCurrentVolume(), kUnreadable);
    SetVolumeMute(1);
    EXPECT_FALSE(daemon.SourceMuted(PulseDaemon::kSine1000));
}

TEST_F(MiravocTest, LevelRisesForTheSineAndFallsForSilence)
{
    ASSERT_EQ(Select(PulseDaemon::kSine440Description), 0);
    EXPECT_TRUE(EnableVolumeMetering(true));
    // A sine at half of full scale reads about 72.
    EXPECT_TRUE(PumpUntil([] { return GetVolumeMeterValue() >= 60; })) << GetVolumeMeterValue();
    EXPECT_LE(GetVolumeMeterValue(), 80u);

    SetVolumeMute(1);
    EXPECT_TRUE(PumpUntil([] { return GetVolumeMeterValue() <= 1; })) << GetVolumeMeterValue();
    SetVolumeMute(0);
    EXPECT_TRUE(PumpUntil([] { return GetVolumeMeterValue() >= 60; })) << GetVolumeMeterValue();

    EXPECT_TRUE(EnableVolumeMetering(false));
    EXPECT_EQ(GetVolumeMeterValue(), 0u);
    // Switched on again, the buffers still with the device come back into use.
    EXPECT_TRUE(EnableVolumeMetering(true));
    EXPECT_TRUE(PumpUntil([] { return GetVolumeMeterValue() >= 60; })) << GetVolumeMeterValue();
    EXPECT_EQ(EngineEvents::Count(AUDIO_EVENT_DEVICE_LOST), 0);
}

class UnplugTest : public MiravocTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(UnplugTest, DeviceThatGoesWhileOpenIsClosedReportedAndComesBack)
{
    const bool metering = GetParam();
    std::string webcam = PulseDaemon::kWebcamDescription;
    ASSERT_EQ(Select(webcam), 2);
    if (metering)
        ASSERT_TRUE(PumpUntil([] { return GetVolumeMeterValue() > 0; }));
    else
        EXPECT_TRUE(EnableVolumeMetering(false));
    EngineEvents::Clear();

    ASSERT_TRUE(daemon.UnloadModule(daemon.ModuleOfSource(PulseDaemon::kWebcam)));
    ASSERT_TRUE(PumpUntil(
        []
        {
            return EngineEvents::Count(AUDIO_EVENT_DEVICE_LOST) > 0 &&
                   EngineEvents::Count(AUDIO_EVENT_DEVICE_LIST_CHANGED) > 0;
        }));
    miravoc_test::PumpFor(300);
    EXPECT_EQ(EngineEvents::Count(AUDIO_EVENT_DEVICE_LOST), 1);
    EXPECT_EQ(EngineEvents::Count(AUDIO_EVENT_DEVICE_CLOSED), 1);
    EXPECT_LT(EngineEvents::First(AUDIO_EVENT_DEVICE_CLOSED), EngineEvents::First(AUDIO_EVENT_DEVICE_LOST));
    std::array<char, 32> name{};
    EXPECT_EQ(GetCurrentDevice(name.data(), name.size()), 2); // the preferred one, closed
    EXPECT_STREQ(name.data(), "N/A");
    EXPECT_EQ(GetNumDevices(), 2u);
    EXPECT_EQ(Check(webcam), -1);
    EXPECT_EQ(GetCurrentVolume(), kUnreadable);
    EXPECT_EQ(GetVolumeMeterValue(), 0u);

    EngineEvents::Clear();
    ASSERT_GE(daemon.LoadModule("module-remap-source", PulseDaemon::WebcamModuleArguments()), 0);
    ASSERT_TRUE(PumpUntil([] { return EngineEvents::Count(AUDIO_EVENT_DEVICE_LIST_CHANGED) > 0; }));
    EXPECT_EQ(g_pAudioDeviceEngine->GetDevices().size(), 3u);
    EXPECT_EQ(Check(webcam), 2);
    ASSERT_EQ(Select(webcam), 2);
    EXPECT_NE(GetCurrentVolume(), kUnreadable);
    EXPECT_TRUE(EnableVolumeMetering(true));
    EXPECT_TRUE(PumpUntil([] { return GetVolumeMeterValue() >= 60; })) << GetVolumeMeterValue();
}

INSTANTIATE_TEST_SUITE_P(Metering, UnplugTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "WhileMetering" : "WithoutMetering"; });

TEST_F(MiravocTest, ClosingTwiceReportsOnce)
{
    ASSERT_EQ(Select(PulseDaemon::kSine440Description), 0);
    EngineEvents::Clear();
    EXPECT_TRUE(CloseAudioDevice());
    EXPECT_TRUE(CloseAudioDevice());
    miravoc_test::PumpFor(200);
    EXPECT_EQ(EngineEvents::Snapshot(),
              (std::vector<std::pair<DWORD, DWORD>>{{0, AUDIO_EVENT_DEVICE_CLOSED}}));
    EXPECT_FALSE(EnableVolumeMetering(true));
}

namespace
{
// A callback that holds the engine's thread until it is let go.
std::atomic<bool> g_inCallback{false};
std::atomic<bool> g_releaseCallback{false};

void HoldingCallback(DWORD, DWORD type)
{
    if (type != AUDIO_EVENT_DEVICE_LIST_CHANGED)
        return;
    g_inCallback = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!g_releaseCallback && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    g_inCallback = false;
}
} // namespace

TEST_F(MiravocTest, RemovingTheCallbackWaitsForTheOneRunning)
{
    g_inCallback = false;
    g_releaseCallback = false;
    g_pAudioDeviceEngine->SetEventCallback(&HoldingCallback);
    ASSERT_GE(LoadSource(daemon, "extra", "Another Microphone"), 0);
    // The device watcher reports the new source and stays in the callback.
    ASSERT_TRUE(PumpUntil([] { return g_inCallback.load(); }));

    std::atomic<bool> removed{false};
    std::thread remover(
        [&removed]
        {
            g_pAudioDeviceEngine->SetEventCallback(nullptr);
            removed = true;
        });
    miravoc_test::PumpFor(300);
    EXPECT_FALSE(removed.load()) << "the callback was removed while it ran";
    g_releaseCallback = true;
    EXPECT_TRUE(PumpUntil([&removed] { return removed.load(); }));
    remover.join();
    EXPECT_FALSE(g_inCallback.load());
}

// Without the engine (before the library built it, or when it could not), every export gives its answer
// for that case and touches nothing.
class MiravocNoEngineTest : public ::testing::Test
{
protected:
    static void ExpectNoEngineAnswers()
    {
        std::string name = PulseDaemon::kSine440Description;
        std::array<char, 8> buffer;
        buffer.fill('\x7f');
        EXPECT_EQ(GetNumDevices(), 0u);
        EXPECT_FALSE(SetDevice(0));
        EXPECT_EQ(SetDevice(name.data()), -1);
        EXPECT_EQ(CheckDevice(name.data()), -1);
        EXPECT_EQ(GetCurrentDevice(buffer.data(), buffer.size()), -2);
        EXPECT_EQ(buffer[0], '\x7f');
        EXPECT_FALSE(IsDeviceVolumeControlAvailable());
        EXPECT_EQ(GetVolumeMeterValue(), 0u);
        EXPECT_FALSE(EnableVolumeMetering(true));
        EXPECT_FALSE(OpenAudioDevice());
        EXPECT_FALSE(CloseAudioDevice());
        EXPECT_EQ(GetCurrentVolume(), kUnreadable);
        SetCurrentVolume(100);
        EXPECT_FALSE(IsMuteAvailable());
        EXPECT_EQ(GetVolumeMute(), kUnreadable);
        SetVolumeMute(1);
        EXPECT_EQ(GetMaximalVolume(), kUnreadable);
        CString mic = "unchanged";
        EXPECT_EQ(GetDefaultMicName(mic), -1);
        EXPECT_EQ(mic, "unchanged");
        SetDefaultMic();
        std::string vid = "046D";
        std::string pid = "0825";
        SetDefaultMicVidPid(vid.data(), pid.data());
        EXPECT_EQ(GetDefaultMicName(mic), -1);
        // Naming a device needs no engine.
        EXPECT_TRUE(GetDeviceNameById(0, buffer.data(), buffer.size()));
        EXPECT_STREQ(buffer.data(), "Sine 44");
    }

    PulseDaemon daemon;
};

TEST_F(MiravocNoEngineTest, EveryExportAnswersNoEngine)
{
    ASSERT_EQ(g_pAudioDeviceEngine, nullptr);
    ExpectNoEngineAnswers();
    EXPECT_FALSE(daemon.SourceMuted(PulseDaemon::kSine440));
    EXPECT_EQ(daemon.SourceVolumes(PulseDaemon::kSine440), std::vector<unsigned>{65536});
}

TEST_F(MiravocNoEngineTest, AnEngineThatCannotBeBuiltLeavesNoThreadAndTheExportsAnswerNoEngine)
{
    // Someone else's class of that name: the engine's window cannot be made.
    WNDCLASSA wc{};
    wc.lpfnWndProc = &DefWindowProc;
    wc.lpszClassName = "Tavisk Webcam audio wnd class";
    ASSERT_NE(RegisterClass(&wc), 0);
    CMiravocApp app;
    EXPECT_TRUE(app.InitInstance());
    EXPECT_EQ(g_pAudioDeviceEngine, nullptr);
    EXPECT_EQ(miravoc_test::EngineThreadCount(), 0);
    ExpectNoEngineAnswers();
    app.ExitInstance();
    UnregisterClass(wc.lpszClassName, nullptr);
}

// On Windows Vista volume, mute, level and close go to the audio-mixer library.
class MiravocVistaTest : public MiravocTest
{
protected:
    void SetUp() override
    {
        platform::SetOsProfile(platform::OsProfile::Vista);
        MiravocTest::SetUp();
    }
    void TearDown() override
    {
        MiravocTest::TearDown();
        platform::SetOsProfile(platform::OsProfile::Linux);
    }
};

TEST_F(MiravocVistaTest, VolumeMuteAndLevelGoThroughTheMixerLibrary)
{
    ASSERT_EQ(Select(PulseDaemon::kSine1000Description), 1);
    EXPECT_TRUE(IsDeviceVolumeControlAvailable());
    EXPECT_TRUE(IsMuteAvailable());
    SetCurrentVolume(40);
    EXPECT_EQ(daemon.SourceVolumes(PulseDaemon::kSine1000), std::vector<unsigned>{26214});
    EXPECT_EQ(GetCurrentVolume(), 40u);
    SetVolumeMute(1);
    EXPECT_TRUE(daemon.SourceMuted(PulseDaemon::kSine1000));
    EXPECT_EQ(GetVolumeMute(), 1u);
    SetVolumeMute(0);
    EXPECT_FALSE(daemon.SourceMuted(PulseDaemon::kSine1000));
    SetCurrentVolume(100);
    // The mixer library's level is the linear peak: about 50 for a sine at half of full scale.
    EXPECT_TRUE(PumpUntil([] { return GetVolumeMeterValue() >= 40; })) << GetVolumeMeterValue();

    // Nothing of the engine's own is open there.
    EXPECT_EQ(GetMaximalVolume(), kUnreadable);
    EXPECT_FALSE(EnableVolumeMetering(true));
    std::array<char, 32> name{};
    EXPECT_EQ(GetCurrentDevice(name.data(), name.size()), 1);
    EXPECT_STREQ(name.data(), "N/A");

    EXPECT_TRUE(CloseAudioDevice());
    EXPECT_FALSE(IsDeviceVolumeControlAvailable());
    EXPECT_EQ(GetCurrentVolume(), 0u);
}

TEST_F(MiravocVistaTest, LongNameOpensItsOwnEndpointAndTheIndexOfSetDeviceDoesNotCount)
{
    ASSERT_EQ(Select(PulseDaemon::kWebcamDescription), 2);
    SetCurrentVolume(30);
    EXPECT_EQ(daemon.SourceVolumes(PulseDaemon::kWebcam), std::vector<unsigned>(2, 19661));

    EXPECT_TRUE(SetDevice(2)); // the first device, whatever the index
    SetCurrentVolume(20);
    EXPECT_EQ(daemon.SourceVolumes(PulseDaemon::kSine440), std::vector<unsigned>{13107});
    EXPECT_EQ(daemon.SourceVolumes(PulseDaemon::kWebcam), std::vector<unsigned>(2, 19661));
}

TEST_F(MiravocVistaTest, DisplayNamesComeFromTheMixerLibrary)
{
    const auto devices = g_pAudioDeviceEngine->GetDevices();
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0].displayName, PulseDaemon::kSine440Description);
    EXPECT_EQ(devices[2].displayName, PulseDaemon::kWebcamDescription);
    EXPECT_EQ(CheckDevice(const_cast<char*>(PulseDaemon::kWebcamDescription)), 2);
}
