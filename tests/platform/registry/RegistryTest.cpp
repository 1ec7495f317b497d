#include "platform/registry/Registry.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{
using testing_support::ReadFile;
using testing_support::TempDir;

// Each test gets its own hive folder and starts from files that are not loaded yet.
class RegistryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setenv("BREVICAM_REGISTRY_DIR", m_dir.Path().c_str(), 1);
        platform::registry::Reload();
    }
    void TearDown() override
    {
        platform::registry::SetWriteFaultForTesting(0);
        platform::registry::Reload();
    }

    static HKEY Create(HKEY root, const char* path)
    {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        return key;
    }
    static LONG SetDword(HKEY key, const char* name, DWORD value)
    {
        return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    static LONG SetText(HKEY key, const char* name, const std::string& text, DWORD type = REG_SZ)
    {
        return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
    }
    static LONG Read(HKEY key, const char* name, DWORD& type, std::vector<BYTE>& data)
    {
        DWORD size = 0;
        LONG rc = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
        if (rc != ERROR_SUCCESS)
            return rc;
        data.assign(size, 0);
        rc = RegQueryValueExA(key, name, nullptr, &type, data.data(), &size);
        data.resize(size);
        return rc;
    }

    TempDir m_dir;
};

TEST_F(RegistryTest, ValuesKeepTheirTypesAcrossSaveAndReload)
{
    const BYTE binary[] = {0x00, 0xFF, 0x10, 0x80};
    const char multi[] = "one\0two\0";
    {
        HKEY key = Create(HKEY_CURRENT_USER, "Software\\Tavisk\\QPX_SE\\Settings");
        ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "NbSeconds", 0xFFFFFFFEu));
        ASSERT_EQ(ERROR_SUCCESS, SetText(key, "VideoPath", "/home/ä/Vidéos"));
        ASSERT_EQ(ERROR_SUCCESS, SetText(key, "Expand", "%HOME%/x", REG_EXPAND_SZ));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Multi", 0, REG_MULTI_SZ,
                                                reinterpret_cast<const BYTE*>(multi), sizeof multi));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Blob", 0, REG_BINARY, binary, sizeof binary));
        ASSERT_EQ(ERROR_SUCCESS, SetText(key, "", "default value"));
        ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    }
    platform::registry::Reload();

    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tavisk\\QPX_SE\\Settings", 0, KEY_READ, &key));
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_EQ(ERROR_SUCCESS, Read(key, "NbSeconds", type, data));
    EXPECT_EQ(REG_DWORD, type);
    ASSERT_EQ(4u, data.size());
    DWORD number = 0;
    std::memcpy(&number, data.data(), 4);
    EXPECT_EQ(0xFFFFFFFEu, number);

    ASSERT_EQ(ERROR_SUCCESS, Read(key, "VideoPath", type, data));
    EXPECT_EQ(REG_SZ, type);
    EXPECT_EQ(std::string("/home/ä/Vidéos") + '\0', std::string(data.begin(), data.end()));
    ASSERT_EQ(ERROR_SUCCESS, Read(key, "Expand", type, data));
    EXPECT_EQ(REG_EXPAND_SZ, type);
    ASSERT_EQ(ERROR_SUCCESS, Read(key, "Multi", type, data));
    EXPECT_EQ(REG_MULTI_SZ, type);
    EXPECT_EQ(std::string(multi, sizeof multi), std::string(data.begin(), data.end()));
    ASSERT_EQ(ERROR_SUCCESS, Read(key, "Blob", type, data));
    EXPECT_EQ(REG_BINARY, type);
    EXPECT_EQ(std::vector<BYTE>(binary, binary + sizeof binary), data);
    ASSERT_EQ(ERROR_SUCCESS, Read(key, nullptr, type, data));
    EXPECT_EQ(REG_SZ, type);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ("", platform::registry::LastLoadError());
}
} // namespace
