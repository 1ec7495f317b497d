#include "platform/registry/Profile.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

namespace
{
constexpr const char* kSettingsKey = "Software\\Tavisk\\QPX_SE\\Settings";

class ProfileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setenv("BREVICAM_REGISTRY_DIR", m_dir.Path().c_str(), 1);
        platform::registry::Reload();
        // The application sets the key before its name; the profile must not depend on that order.
        m_profile.SetRegistryKey("Tavisk");
        m_profile.m_pszAppName = "QPX_SE";
    }
    void TearDown() override
    {
        platform::registry::SetWriteFaultForTesting(0);
        platform::registry::Reload();
    }

    // The type and bytes of a value as the registry holds it.
    static DWORD TypeOf(const char* name)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return REG_NONE;
        DWORD type = REG_NONE;
        DWORD size = 0;
        if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            type = REG_NONE;
        RegCloseKey(key);
        return type;
    }

    testing_support::TempDir m_dir;
    CRegistryProfile m_profile;
};

TEST_F(ProfileTest, ValuesRoundTripWithTheirRegistryTypes)
{
    const std::vector<BYTE> blob = {0, 1, 2, 0xFE, 0xFF};
    EXPECT_TRUE(m_profile.WriteProfileInt("Settings", "NbSeconds", 7));
    EXPECT_TRUE(m_profile.WriteProfileInt("Settings", "Negative", -2));
    EXPECT_TRUE(m_profile.WriteProfileString("Settings", "VideoPath", "/home/me/Vidéos"));
    EXPECT_TRUE(m_profile.WriteProfileString("Settings", "Empty", ""));
    EXPECT_TRUE(
        m_profile.WriteProfileBinary("Settings", "Blob", blob.data(), static_cast<UINT>(blob.size())));
    platform::registry::Reload();

    EXPECT_EQ(REG_DWORD, TypeOf("NbSeconds"));
    EXPECT_EQ(REG_SZ, TypeOf("VideoPath"));
    EXPECT_EQ(REG_BINARY, TypeOf("Blob"));
    EXPECT_EQ(7u, m_profile.GetProfileInt("Settings", "NbSeconds", 3));
    EXPECT_EQ(-2, static_cast<int>(m_profile.GetProfileInt("Settings", "Negative", 3)));
    EXPECT_EQ(CString("/home/me/Vidéos"), m_profile.GetProfileString("Settings", "VideoPath", "x"));
    EXPECT_EQ(CString(""), m_profile.GetProfileString("Settings", "Empty", "x"));

    BYTE* data = nullptr;
    UINT bytes = 0;
    ASSERT_TRUE(m_profile.GetProfileBinary("Settings", "Blob", &data, &bytes));
    std::unique_ptr<BYTE[]> owned(data);
    EXPECT_EQ(blob, std::vector<BYTE>(data, data + bytes));
}

TEST_F(ProfileTest, MissingOrMistypedValuesReadAsTheDefault)
{
    EXPECT_EQ(3u, m_profile.GetProfileInt("Settings", "NbSeconds", 3));
    EXPECT_EQ(CString("def"), m_profile.GetProfileString("Settings", "VideoPath", "def"));
    EXPECT_EQ(CString(""), m_profile.GetProfileString("Settings", "VideoPath"));

    ASSERT_TRUE(m_profile.WriteProfileString("Settings", "Text", "12"));
    ASSERT_TRUE(m_profile.WriteProfileInt("Settings", "Number", 12));
    EXPECT_EQ(5u, m_profile.GetProfileInt("Settings", "Text", 5));
    EXPECT_EQ(CString("def"), m_profile.GetProfileString("Settings", "Number", "def"));
    BYTE* data = reinterpret_cast<BYTE*>(&data);
    UINT bytes = 99;
    EXPECT_FALSE(m_profile.GetProfileBinary("Settings", "Number", &data, &bytes));
    EXPECT_EQ(nullptr, data);
    EXPECT_EQ(0u, bytes);
}

TEST_F(ProfileTest, NullEntryDeletesTheSectionAndNullValueTheEntry)
{
    ASSERT_TRUE(m_profile.WriteProfileInt("Settings", "A", 1));
    ASSERT_TRUE(m_profile.WriteProfileInt("Settings", "B", 2));
    ASSERT_TRUE(m_profile.WriteProfileInt("Other", "C", 3));
    HKEY nested = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Tavisk\\QPX_SE\\Other\\Nested", 0,
                                             nullptr, 0, KEY_ALL_ACCESS, nullptr, &nested, nullptr));
    RegCloseKey(nested);

    EXPECT_TRUE(m_profile.WriteProfileString("Settings", "A", nullptr));
    EXPECT_EQ(9u, m_profile.GetProfileInt("Settings", "A", 9));
    EXPECT_EQ(2u, m_profile.GetProfileInt("Settings", "B", 9));

    EXPECT_TRUE(m_profile.WriteProfileString("Other", nullptr, nullptr));
    HKEY key = nullptr;
    EXPECT_EQ(static_cast<LONG>(ERROR_FILE_NOT_FOUND),
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tavisk\\QPX_SE\\Other", 0, KEY_READ, &key));
    EXPECT_EQ(2u, m_profile.GetProfileInt("Settings", "B", 9));
}

TEST_F(ProfileTest, WithoutRegistryKeyThereIsNoProfile)
{
    CRegistryProfile bare;
    bare.m_pszAppName = "QPX_SE";
    EXPECT_EQ(nullptr, bare.GetAppRegistryKey());
    EXPECT_FALSE(bare.WriteProfileInt("Settings", "A", 1));
    EXPECT_EQ(4u, bare.GetProfileInt("Settings", "A", 4));
    HKEY key = nullptr;
    EXPECT_EQ(static_cast<LONG>(ERROR_FILE_NOT_FOUND),
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key));
}

TEST_F(ProfileTest, UnsavableSettingsFailTheWriteAndKeepTheOldValue)
{
    ASSERT_TRUE(m_profile.WriteProfileInt("Settings", "NbSeconds", 7));
    platform::registry::SetWriteFaultForTesting(ENOSPC);
    EXPECT_FALSE(m_profile.WriteProfileInt("Settings", "NbSeconds", 8));
    EXPECT_FALSE(m_profile.WriteProfileString("NewSection", "Text", "x"));
    platform::registry::SetWriteFaultForTesting(0);
    EXPECT_EQ(7u, m_profile.GetProfileInt("Settings", "NbSeconds", 3));
}

TEST_F(ProfileTest, AppKeyIsTheCurrentUsersSoftwareKey)
{
    HKEY app = m_profile.GetAppRegistryKey();
    ASSERT_NE(nullptr, app);
    const DWORD value = 42;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(app, "Direct", 0, REG_DWORD,
                                            reinterpret_cast<const BYTE*>(&value), sizeof value));
    RegCloseKey(app);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tavisk\\QPX_SE", 0, KEY_READ, &key));
    RegCloseKey(key);

    HKEY section = m_profile.GetSectionKey("Settings");
    ASSERT_NE(nullptr, section);
    RegCloseKey(section);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key));
    RegCloseKey(key);
}
} // namespace
