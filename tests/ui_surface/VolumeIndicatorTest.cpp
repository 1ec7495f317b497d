#include "brevicam/ui/VolumeIndicator.h"

#include "SurfaceTestSupport.h"

#include "miravoc/Miravoc.h"
#include "platform/commctrl/Progress.h"
#include "platform/ostrago/Ostrago.h"
#include "tests/controls/ControlsTestSupport.h"
#include "tests/support/PulseDaemon.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <memory>
#include <optional>
#include <string>

using controls_test::PumpUntil;
using surface_test::HostWindow;
using surface_test::PumpFor;
using testing_support::PulseDaemon;

namespace
{
/// A mute value the sound server never gives (a failed read, a wider control), answered in place of the
/// audio library's while set.
std::optional<DWORD> g_muteAnswer;
} // namespace

// The bar in this program reads the mute through this definition, which comes before the audio library's
// export of the same name and passes the call on while no answer is set.
DWORD GetVolumeMute()
{
    if (g_muteAnswer)
        return *g_muteAnswer;
    using Read = DWORD (*)();
    static const auto library = reinterpret_cast<Read>(dlsym(RTLD_NEXT, "_Z13GetVolumeMutev"));
    return library ? library() : 0xFFFFFFFF;
}

namespace
{
/// The bar with its paints counted.
class CountingBar : public CVolumeIndicator
{
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_PAINT)
            ++paints;
        return CVolumeIndicator::WindowProc(message, wParam, lParam);
    }
    int paints = 0;
};

// The audio library serves this test's private sound server: its engine is built by the first call,
// after the server runs, and the 440 Hz sine at half of full scale is the microphone.
class VolumeIndicatorTest : public testing::Test
{
protected:
    void SetUp() override
    {
        std::string name = PulseDaemon::kSine440Description;
        ASSERT_EQ(SetDevice(name.data()), 0);
        // The library meters an opened device by itself; each test starts from a library that does not.
        ASSERT_TRUE(EnableVolumeMetering(false));
        m_host = std::make_unique<HostWindow>(0, 0, 200, 100);
        m_bar = std::make_unique<CountingBar>();
        ASSERT_TRUE(m_bar->Create(WS_CHILD | WS_VISIBLE, CRect(10, 10, 110, 20),
                                  CWnd::FromHandle(m_host->Handle()), 1116));
        m_bar->SetRange(0, 100);
        m_bar->SetPos(0);
    }
    void TearDown() override
    {
        g_muteAnswer.reset();
        m_bar.reset();
        m_host.reset();
        platform::SetOsProfile(platform::OsProfile::Linux);
        SetVolumeMute(0);
        CloseAudioDevice();
    }

    int Position() const { return static_cast<int>(m_bar->SendMessage(PBM_GETPOS)); }

    PulseDaemon m_daemon;
    std::unique_ptr<HostWindow> m_host;
    std::unique_ptr<CountingBar> m_bar;
};
} // namespace

TEST_F(VolumeIndicatorTest, FollowsTheMicrophoneAndShowsAMutedOneAsSilent)
{
    m_bar->SetMetering(TRUE);
    ASSERT_TRUE(PumpUntil([&] { return Position() >= 60; }, 8000)) << Position();
    EXPECT_LE(Position(), 80);

    ASSERT_TRUE(IsMuteAvailable());
    SetVolumeMute(1);
    ASSERT_TRUE(PumpUntil([&] { return Position() == 0; }, 8000)) << Position();
    // A level that stays the same draws nothing.
    PumpFor(100);
    m_bar->paints = 0;
    PumpFor(400);
    EXPECT_EQ(m_bar->paints, 0);

    SetVolumeMute(0);
    EXPECT_TRUE(PumpUntil([&] { return Position() >= 60; }, 8000)) << Position();
    EXPECT_GE(m_bar->paints, 1);
}

class MuteValueTest : public VolumeIndicatorTest, public testing::WithParamInterface<DWORD>
{
};

// Any mute value but 0 reads as muted, as the mute buttons read it, so the bar never moves while they say
// "muted".
TEST_P(MuteValueTest, AnyNonZeroMuteShowsTheBarSilent)
{
    m_bar->SetMetering(TRUE);
    ASSERT_TRUE(PumpUntil([&] { return Position() >= 60; }, 8000)) << Position();
    ASSERT_TRUE(IsMuteAvailable());
    g_muteAnswer = GetParam();
    EXPECT_TRUE(PumpUntil([&] { return Position() == 0; }, 8000)) << Position();
}

INSTANTIATE_TEST_SUITE_P(Values, MuteValueTest, testing::Values(DWORD{1}, DWORD{2}, DWORD{0xFFFFFFFF}),
                         [](const testing::TestParamInfo<DWORD>& info) {
                             return info.param == 0xFFFFFFFF ? std::string("Unreadable")
                                                             : std::to_string(info.param);
                         });

TEST_F(VolumeIndicatorTest, MeteringEndsWhenSwitchedOffAndWithTheWindow)
{
    m_bar->SetMetering(TRUE);
    ASSERT_TRUE(PumpUntil([&] { return Position() >= 60; }, 8000)) << Position();

    m_bar->SetMetering(FALSE);
    EXPECT_EQ(GetVolumeMeterValue(), 0u) << "the audio library still meters";
    const int last = Position();
    PumpFor(300);
    EXPECT_EQ(Position(), last) << "the bar still polls";

    m_bar->SetMetering(TRUE);
    ASSERT_TRUE(PumpUntil([] { return GetVolumeMeterValue() >= 60; }, 8000));
    m_bar->DestroyWindow();
    EXPECT_EQ(GetVolumeMeterValue(), 0u) << "metering outlived the bar";
}

TEST_F(VolumeIndicatorTest, OnWindowsVistaPollsWithoutSwitchingMetering)
{
    platform::SetOsProfile(platform::OsProfile::Vista);
    m_bar->SetMetering(TRUE);
    platform::SetOsProfile(platform::OsProfile::Linux);
    PumpFor(300);
    EXPECT_EQ(GetVolumeMeterValue(), 0u) << "metering was switched on";

    // Switched on here by someone else, the level reaches the bar, which kept polling.
    ASSERT_TRUE(EnableVolumeMetering(true));
    EXPECT_TRUE(PumpUntil([&] { return Position() >= 60; }, 8000)) << Position();

    platform::SetOsProfile(platform::OsProfile::Vista);
    m_bar->SetMetering(FALSE);
    platform::SetOsProfile(platform::OsProfile::Linux);
    EXPECT_GE(GetVolumeMeterValue(), 1u) << "metering was switched off";
    EnableVolumeMetering(false);
}
