#include "platform/pelmora/Pelmora.h"

#include "platform/win/CString.h"
#include "platform/win/Kernel.h"
#include "tests/support/PulseDaemon.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>

using testing_support::PulseDaemon;

namespace
{
std::string ListName(int index)
{
    std::array<wchar_t, 256> name{};
    if (!GetListDeviceName(index, name.data(), static_cast<int>(name.size())))
        return "<none>";
    return platform::WideToUtf8(name.data());
}

std::string CurrentName()
{
    std::array<wchar_t, 1024> name{};
    if (!GetCurrentDeviceName(name.data(), static_cast<int>(name.size())))
        return "<none>";
    return platform::WideToUtf8(name.data());
}

void Open(const std::string& name)
{
    std::wstring wide = platform::Utf8ToWide(name);
    OpenDevice(wide.data());
}

// Polls `poll` every 33 ms, as the meter's callers do, until `done` holds for its value.
bool PollUntil(const std::function<int()>& poll, const std::function<bool(int)>& done, int timeoutMs = 5000)
{
    for (int waited = 0; waited < timeoutMs; waited += 33)
    {
        if (done(poll()))
            return true;
        Sleep(33);
    }
    return false;
}

class PelmoraTest : public ::testing::Test
{
protected:
    void TearDown() override { CloseDevice(); }

    PulseDaemon daemon;
};
} // namespace

TEST_F(PelmoraTest, ListsFullDeviceNamesInWaveInOrder)
{
    EXPECT_EQ(ListName(0), PulseDaemon::kSine440Description);
    EXPECT_EQ(ListName(1), PulseDaemon::kSine1000Description);
    EXPECT_EQ(ListName(2), PulseDaemon::kWebcamDescription);
    EXPECT_EQ(ListName(3), "<none>");
    EXPECT_EQ(ListName(-1), "<none>");

    // A small buffer gets the beginning of the name, terminated.
    std::array<wchar_t, 7> small;
    small.fill(L'x');
    EXPECT_TRUE(GetListDeviceName(2, small.data(), static_cast<int>(small.size())));
    EXPECT_EQ(std::wstring(small.data()), L"Webcam");
}

TEST_F(PelmoraTest, OpensTheEndpointByTheCutWaveInName)
{
    EXPECT_EQ(CurrentName(), "<none>");
    EXPECT_FALSE(IsVolumeSupported());
    Open("Webcam Microphone Analogue \xc3\x91o");
    EXPECT_EQ(CurrentName(), PulseDaemon::kWebcamDescription);
    EXPECT_TRUE(IsVolumeSupported());
    EXPECT_TRUE(IsMuteSupported());

    Open("Sine 1000 Hz");
    EXPECT_EQ(CurrentName(), PulseDaemon::kSine1000Description);
    Open("No such microphone");
    EXPECT_EQ(CurrentName(), "<none>");
    EXPECT_EQ(GetVolumeLevel(), 0);
    EXPECT_EQ(GetVolume(), 0);
    EXPECT_FALSE(IsMuteSupported());
    EXPECT_EQ(CloseDevice(), 1);
}

TEST_F(PelmoraTest, VolumeLevelIsTheSourceVolumeInPercent)
{
    Open(PulseDaemon::kWebcamDescription);
    SetVolumeLevel(30);
    std::string out;
    ASSERT_EQ(daemon.Pactl({"get-source-volume", PulseDaemon::kWebcam}, &out), 0);
    EXPECT_NE(out.find("30%"), std::string::npos) << out;
    EXPECT_EQ(GetVolumeLevel(), 30);

    ASSERT_EQ(daemon.Pactl({"set-source-volume", PulseDaemon::kWebcam, "70%"}), 0);
    EXPECT_EQ(GetVolumeLevel(), 70);
    // Above the nominal volume still reads as full.
    ASSERT_EQ(daemon.Pactl({"set-source-volume", PulseDaemon::kWebcam, "130%"}), 0);
    EXPECT_EQ(GetVolumeLevel(), 100);
    SetVolumeLevel(250);
    EXPECT_EQ(GetVolumeLevel(), 100);
    SetVolumeLevel(-5);
    EXPECT_EQ(GetVolumeLevel(), 0);
}

TEST_F(PelmoraTest, MuteIsTheSourceMute)
{
    Open(PulseDaemon::kSine1000Description);
    Mute();
    EXPECT_TRUE(IsMute());
    std::string out;
    ASSERT_EQ(daemon.Pactl({"get-source-mute", PulseDaemon::kSine1000}, &out), 0);
    EXPECT_NE(out.find("yes"), std::string::npos);
    UnMute();
    EXPECT_FALSE(IsMute());
    ASSERT_EQ(daemon.Pactl({"set-source-mute", PulseDaemon::kSine1000, "1"}), 0);
    EXPECT_TRUE(IsMute());
}

TEST_F(PelmoraTest, LevelRisesForTheSineAndFallsWhenMuted)
{
    Open(PulseDaemon::kSine440Description);
    // The sine plays at half of full scale.
    EXPECT_TRUE(PollUntil(GetVolume, [](int level) { return level >= 45 && level <= 55; }));
    Mute();
    EXPECT_TRUE(PollUntil(GetVolume, [](int level) { return level == 0; }));
    UnMute();
    EXPECT_TRUE(PollUntil(GetVolume, [](int level) { return level >= 45; }));
    SetVolumeLevel(50);
    // Half the nominal volume is an eighth of the amplitude.
    EXPECT_TRUE(PollUntil(GetVolume, [](int level) { return level >= 5 && level <= 8; }));
}

TEST_F(PelmoraTest, EndpointThatGoesAwayReadsAsClosed)
{
    Open(PulseDaemon::kWebcamDescription);
    EXPECT_TRUE(PollUntil(GetVolume, [](int level) { return level > 0; }));
    ASSERT_TRUE(daemon.UnloadModule(daemon.ModuleOfSource(PulseDaemon::kWebcam)));
    EXPECT_FALSE(IsVolumeSupported());
    EXPECT_FALSE(IsMute());
    EXPECT_EQ(GetVolumeLevel(), 0);
    EXPECT_TRUE(PollUntil(GetVolume, [](int level) { return level == 0; }));
    SetVolumeLevel(40);
    Mute();
    EXPECT_EQ(CloseDevice(), 1);
}
