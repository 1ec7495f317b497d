#include "platform/registry/Profile.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace
{
class ProfileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setenv("BREVICAM_REGISTRY_DIR", m_dir.Path().c_str(), 1);
        platform::registry::Reload();
        m_profile.SetRegistryKey("Tavisk");
        m_profile.m_pszAppName = "QPX_SE";
    }
    void TearDown() override { platform::registry::Reload(); }

    testing_support::TempDir m_dir;
    CRegistryProfile m_profile;
};

TEST_F(ProfileTest, IntegersAndTextsRoundTrip)
{
    EXPECT_EQ(3u, m_profile.GetProfileInt("Settings", "NbSeconds", 3));
    EXPECT_TRUE(m_profile.WriteProfileInt("Settings", "NbSeconds", 7));
    EXPECT_TRUE(m_profile.WriteProfileString("Settings", "VideoPath", "/tmp/v"));
    platform::registry::Reload();
    EXPECT_EQ(7u, m_profile.GetProfileInt("Settings", "NbSeconds", 3));
    EXPECT_EQ(CString("/tmp/v"), m_profile.GetProfileString("Settings", "VideoPath", "x"));
}
} // namespace
