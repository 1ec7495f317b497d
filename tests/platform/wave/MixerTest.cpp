#include "PostedMessages.h"

#include "platform/wave/MMSystem.h"
#include "tests/support/PulseDaemon.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

using testing_support::PulseDaemon;

namespace
{
constexpr UINT kSine440 = 0;
constexpr UINT kWebcam = 2;

class MixerTest : public ::testing::Test
{
protected:
    HMIXEROBJ Object() const { return reinterpret_cast<HMIXEROBJ>(mixer); }

    void Open(UINT id, HWND window = nullptr)
    {
        ASSERT_EQ(mixerOpen(&mixer, id, reinterpret_cast<DWORD_PTR>(window), 0,
                            window ? CALLBACK_WINDOW : CALLBACK_NULL),
                  MMSYSERR_NOERROR);
    }

    MIXERCONTROLA Control(DWORD type)
    {
        MIXERCONTROLA control{};
        MIXERLINECONTROLSA controls{};
        controls.cbStruct = sizeof controls;
        controls.dwLineID = destination.dwLineID;
        controls.dwControlType = type;
        controls.cControls = 1;
        controls.cbmxctrl = sizeof control;
        controls.pamxctrl = &control;
        EXPECT_EQ(mixerGetLineControlsA(Object(), &controls,
                                        MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE),
                  MMSYSERR_NOERROR);
        return control;
    }

    MMRESULT Details(DWORD controlId, std::vector<DWORD>& values, bool set)
    {
        MIXERCONTROLDETAILS details{};
        details.cbStruct = sizeof details;
        details.dwControlID = controlId;
        details.cChannels = static_cast<DWORD>(values.size());
        details.cbDetails = sizeof(DWORD);
        details.paDetails = values.data();
        return set ? mixerSetControlDetails(Object(), &details,
                                            MIXER_OBJECTF_HMIXER | MIXER_SETCONTROLDETAILSF_VALUE)
                   : mixerGetControlDetailsA(Object(), &details,
                                             MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE);
    }

    void SetUp() override
    {
        Open(kWebcam);
        destination.cbStruct = sizeof destination;
        destination.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
        ASSERT_EQ(mixerGetLineInfoA(Object(), &destination,
                                    MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_COMPONENTTYPE),
                  MMSYSERR_NOERROR);
        volume = Control(MIXERCONTROL_CONTROLTYPE_VOLUME);
        mute = Control(MIXERCONTROL_CONTROLTYPE_MUTE);
    }

    void TearDown() override
    {
        if (mixer)
        {
            EXPECT_EQ(mixerClose(mixer), MMSYSERR_NOERROR);
        }
    }

    PulseDaemon daemon;
    HMIXER mixer = nullptr;
    MIXERLINEA destination{};
    MIXERCONTROLA volume{};
    MIXERCONTROLA mute{};
};
} // namespace

TEST_F(MixerTest, EachDeviceHasAWaveInLineWithVolumeMuteAndAMicrophoneSource)
{
    EXPECT_EQ(mixerGetNumDevs(), waveInGetNumDevs());
    EXPECT_EQ(destination.cChannels, 2u);
    EXPECT_EQ(destination.cConnections, 1u);
    EXPECT_EQ(destination.Target.dwType, MIXERLINE_TARGETTYPE_WAVEIN);
    EXPECT_EQ(destination.Target.dwDeviceID, kWebcam);
    EXPECT_EQ(volume.dwControlType, MIXERCONTROL_CONTROLTYPE_VOLUME);
    EXPECT_EQ(volume.Bounds.dwMinimum, 0u);
    EXPECT_EQ(volume.Bounds.dwMaximum, 65535u);
    EXPECT_FALSE(volume.fdwControl & MIXERCONTROL_CONTROLF_DISABLED);
    EXPECT_EQ(mute.dwControlType, MIXERCONTROL_CONTROLTYPE_MUTE);
    EXPECT_EQ(mute.Bounds.dwMaximum, 1u);
    EXPECT_NE(volume.dwControlID, mute.dwControlID);

    MIXERLINEA microphone{};
    microphone.cbStruct = sizeof microphone;
    microphone.dwDestination = 0;
    microphone.dwSource = 0;
    ASSERT_EQ(mixerGetLineInfoA(Object(), &microphone, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_SOURCE),
              MMSYSERR_NOERROR);
    EXPECT_EQ(microphone.dwComponentType, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE);
    MIXERCONTROLA none{};
    MIXERLINECONTROLSA controls{};
    controls.cbStruct = sizeof controls;
    controls.dwLineID = microphone.dwLineID;
    controls.dwControlType = MIXERCONTROL_CONTROLTYPE_VOLUME;
    controls.cControls = 1;
    controls.cbmxctrl = sizeof none;
    controls.pamxctrl = &none;
    EXPECT_EQ(
        mixerGetLineControlsA(Object(), &controls, MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE),
        MIXERR_INVALCONTROL);
    microphone.dwSource = 1;
    EXPECT_EQ(mixerGetLineInfoA(Object(), &microphone, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_SOURCE),
              MIXERR_INVALLINE);
}

TEST_F(MixerTest, TheMixerOfAnOpenWaveInHandleIsItsDevice)
{
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0};
    HWAVEIN wave = nullptr;
    ASSERT_EQ(waveInOpen(&wave, kSine440, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    UINT id = 99;
    EXPECT_EQ(mixerGetID(reinterpret_cast<HMIXEROBJ>(wave), &id, MIXER_OBJECTF_HWAVEIN), MMSYSERR_NOERROR);
    EXPECT_EQ(id, kSine440);
    EXPECT_EQ(mixerGetID(Object(), &id, MIXER_OBJECTF_HMIXER), MMSYSERR_NOERROR);
    EXPECT_EQ(id, kWebcam);
    EXPECT_EQ(waveInClose(wave), MMSYSERR_NOERROR);
    EXPECT_EQ(mixerGetID(reinterpret_cast<HMIXEROBJ>(wave), &id, MIXER_OBJECTF_HWAVEIN),
              MMSYSERR_INVALHANDLE);
}

TEST_F(MixerTest, VolumeWrittenIsTheSourceVolumeAndBack)
{
    std::vector<DWORD> one{32768};
    ASSERT_EQ(Details(volume.dwControlID, one, true), MMSYSERR_NOERROR);
    for (const unsigned v : daemon.SourceVolumes(PulseDaemon::kWebcam))
        EXPECT_NEAR(v, 32768, 1);

    ASSERT_EQ(daemon.Pactl({"set-source-volume", PulseDaemon::kWebcam, "25%"}), 0);
    std::vector<DWORD> read(2, 0);
    ASSERT_EQ(Details(volume.dwControlID, read, false), MMSYSERR_NOERROR);
    EXPECT_NEAR(read[0], 16384, 1);
    EXPECT_EQ(read[0], read[1]);

    // One value per channel sets the channels one by one; a read gives their average.
    std::vector<DWORD> channels{65535, 0};
    ASSERT_EQ(Details(volume.dwControlID, channels, true), MMSYSERR_NOERROR);
    const auto volumes = daemon.SourceVolumes(PulseDaemon::kWebcam);
    ASSERT_EQ(volumes.size(), 2u);
    EXPECT_EQ(volumes[0], 65536u);
    EXPECT_EQ(volumes[1], 0u);
    std::vector<DWORD> average(1, 0);
    ASSERT_EQ(Details(volume.dwControlID, average, false), MMSYSERR_NOERROR);
    EXPECT_NEAR(average[0], 32768, 1);

    std::vector<DWORD> tooMany(3, 0);
    EXPECT_EQ(Details(volume.dwControlID, tooMany, true), MMSYSERR_INVALPARAM);
    std::vector<DWORD> unknown(1, 0);
    EXPECT_EQ(Details(77, unknown, false), MIXERR_INVALCONTROL);
}

TEST_F(MixerTest, MuteWrittenIsTheSourceMuteAndBack)
{
    std::vector<DWORD> on{1};
    ASSERT_EQ(Details(mute.dwControlID, on, true), MMSYSERR_NOERROR);
    EXPECT_TRUE(daemon.SourceMuted(PulseDaemon::kWebcam));
    EXPECT_FALSE(daemon.SourceMuted(PulseDaemon::kSine440));

    ASSERT_EQ(daemon.Pactl({"set-source-mute", PulseDaemon::kWebcam, "0"}), 0);
    std::vector<DWORD> read{7};
    ASSERT_EQ(Details(mute.dwControlID, read, false), MMSYSERR_NOERROR);
    EXPECT_EQ(read[0], 0u);
}

TEST_F(MixerTest, ChangesByAnyoneArePostedToTheMixerWindow)
{
    PostedMessages posted;
    ASSERT_EQ(mixerClose(mixer), MMSYSERR_NOERROR);
    const auto window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x5151));
    Open(kWebcam, window);
    HMIXER other = nullptr;
    const auto otherWindow = reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x6161));
    ASSERT_EQ(mixerOpen(&other, kSine440, reinterpret_cast<DWORD_PTR>(otherWindow), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);

    auto change = [&](DWORD control)
    {
        return [=, this](const PostedMessage& m)
        {
            return m.window == window && m.msg == MM_MIXM_CONTROL_CHANGE &&
                   m.wParam == reinterpret_cast<WPARAM>(mixer) && static_cast<DWORD>(m.lParam) == control;
        };
    };
    ASSERT_EQ(daemon.Pactl({"set-source-volume", PulseDaemon::kWebcam, "40%"}), 0);
    EXPECT_TRUE(posted.WaitFor(change(volume.dwControlID)));
    ASSERT_EQ(daemon.Pactl({"set-source-mute", PulseDaemon::kWebcam, "1"}), 0);
    EXPECT_TRUE(posted.WaitFor(change(mute.dwControlID)));
    for (const auto& m : posted.Snapshot())
        EXPECT_NE(m.window, otherWindow);
    EXPECT_EQ(mixerClose(other), MMSYSERR_NOERROR);
    EXPECT_EQ(mixerClose(other), MMSYSERR_INVALHANDLE);
}

TEST_F(MixerTest, ControlsOfAVanishedDeviceFailWithoutHarm)
{
    const int module = daemon.ModuleOfSource(PulseDaemon::kWebcam);
    ASSERT_TRUE(daemon.UnloadModule(module));
    std::vector<DWORD> value{1000};
    EXPECT_EQ(Details(volume.dwControlID, value, false), MMSYSERR_NODRIVER);
    EXPECT_EQ(Details(volume.dwControlID, value, true), MMSYSERR_NODRIVER);
    UINT id = 0;
    EXPECT_EQ(mixerGetID(Object(), &id, MIXER_OBJECTF_HMIXER), MMSYSERR_NODRIVER);
    EXPECT_EQ(mixerOpen(&mixer, 2, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
}
