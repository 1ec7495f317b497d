#include "platform/ostrago/Ostrago.h"

#include <QGuiApplication>
#include <QScreen>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>

namespace
{
struct ProfileCase
{
    const char* name;
    platform::OsProfile profile;
    int correct;
    int vista;
    int seven;
    friend void PrintTo(const ProfileCase& c, std::ostream* os) { *os << c.name; }
};

// Puts the profile back for the next test of the same process.
class OsProfileTest : public testing::TestWithParam<ProfileCase>
{
protected:
    void TearDown() override { platform::SetOsProfile(m_saved); }
    platform::OsProfile m_saved = platform::GetOsProfile();
};
} // namespace

TEST(OsProfileDefaultTest, LinuxIsSupportedAndNeitherVistaNorSeven)
{
    if (std::getenv("BREVICAM_OS_PROFILE"))
        GTEST_SKIP() << "profile chosen from outside";
    EXPECT_NE(isOSVersionCorrect(), 0);
    EXPECT_EQ(isWindowsVista(), 0);
    EXPECT_EQ(isWindows7(), 0);
}

TEST_P(OsProfileTest, AnswersFollowTheProfile)
{
    platform::SetOsProfile(GetParam().profile);
    EXPECT_EQ(isOSVersionCorrect() != 0, GetParam().correct != 0);
    EXPECT_EQ(isWindowsVista() != 0, GetParam().vista != 0);
    EXPECT_EQ(isWindows7() != 0, GetParam().seven != 0);
}

INSTANTIATE_TEST_SUITE_P(Profiles, OsProfileTest,
                         testing::Values(ProfileCase{"Linux", platform::OsProfile::Linux, 1, 0, 0},
                                         ProfileCase{"Vista", platform::OsProfile::Vista, 1, 1, 0},
                                         ProfileCase{"Windows7", platform::OsProfile::Windows7, 1, 0, 1},
                                         ProfileCase{"Unsupported", platform::OsProfile::Unsupported, 0, 0,
                                                     0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OsProfileEnvironmentDeathTest, EnvironmentChoosesTheProfileAtFirstUse)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // a fresh process, which has not read the environment
    setenv("BREVICAM_OS_PROFILE", "win7", 1);
    setenv("BREVICAM_DESKTOP_DEPTH", "16", 1);
    EXPECT_EXIT(std::exit(isWindows7() * 10 + IsDesktopIn16Bits()), testing::ExitedWithCode(10), "");
    setenv("BREVICAM_OS_PROFILE", "unsupported", 1);
    EXPECT_EXIT(std::exit(isOSVersionCorrect()), testing::ExitedWithCode(0), "");
    unsetenv("BREVICAM_OS_PROFILE");
    unsetenv("BREVICAM_DESKTOP_DEPTH");
}

TEST(DesktopDepthTest, FixedDepthDecides)
{
    platform::SetDesktopDepth(16);
    EXPECT_EQ(IsDesktopIn16Bits(), 0);
    platform::SetDesktopDepth(24);
    EXPECT_NE(IsDesktopIn16Bits(), 0);
    platform::SetDesktopDepth(0);
}

TEST(DesktopDepthTest, WithoutGuiApplicationEnoughColoursAreAssumed)
{
    if (std::getenv("BREVICAM_DESKTOP_DEPTH"))
        GTEST_SKIP() << "depth fixed from outside";
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    EXPECT_NE(IsDesktopIn16Bits(), 0);
}

TEST(DesktopDepthTest, GuiApplicationReportsItsScreen)
{
    if (std::getenv("BREVICAM_DESKTOP_DEPTH"))
        GTEST_SKIP() << "depth fixed from outside";
    int argc = 1;
    char name[] = "ostrago_tests";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    ASSERT_NE(QGuiApplication::primaryScreen(), nullptr);
    EXPECT_EQ(IsDesktopIn16Bits() != 0, QGuiApplication::primaryScreen()->depth() >= 24);
}
