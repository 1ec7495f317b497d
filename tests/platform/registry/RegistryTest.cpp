#include "platform/registry/Registry.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
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

    static DWORD ReadDword(HKEY key, const char* name)
    {
        DWORD type = 0;
        std::vector<BYTE> data;
        if (Read(key, name, type, data) != ERROR_SUCCESS || type != REG_DWORD || data.size() != 4)
            return 0xDEADBEEF;
        DWORD value = 0;
        std::memcpy(&value, data.data(), 4);
        return value;
    }
    std::filesystem::path Hive(const char* name = "HKCU.json") const { return m_dir / name; }
    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
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

TEST_F(RegistryTest, TextsWithoutANaturalFormKeepTheirBytes)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Odd");
    const std::string latin1 = "caf\xE9";
    const BYTE shortDword[] = {1, 2};
    ASSERT_EQ(ERROR_SUCCESS, SetText(key, "Latin1", latin1));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Short", 0, REG_DWORD, shortDword, sizeof shortDword));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Custom", 0, 11, shortDword, sizeof shortDword));
    // A text passed without its terminator comes back with one.
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3));
    RegCloseKey(key);
    platform::registry::Reload();

    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Odd", 0, KEY_READ, &key));
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_EQ(ERROR_SUCCESS, Read(key, "Latin1", type, data));
    EXPECT_EQ(REG_SZ, type);
    EXPECT_EQ(latin1 + '\0', std::string(data.begin(), data.end()));
    ASSERT_EQ(ERROR_SUCCESS, Read(key, "Short", type, data));
    EXPECT_EQ(REG_DWORD, type);
    EXPECT_EQ(std::vector<BYTE>(shortDword, shortDword + 2), data);
    ASSERT_EQ(ERROR_SUCCESS, Read(key, "Custom", type, data));
    EXPECT_EQ(11u, type);
    ASSERT_EQ(ERROR_SUCCESS, Read(key, "Bare", type, data));
    EXPECT_EQ(std::string("abc") + '\0', std::string(data.begin(), data.end()));
    RegCloseKey(key);
}

TEST_F(RegistryTest, EmptyTextsMayComeWithoutAnyBytes)
{
    m_dir.WriteFile("HKCU.json",
                    R"({"format": "brevicam-registry", "version": 1, "keys": {"Software": {"values": )"
                    R"({"FromFile": {"type": "REG_SZ", "hex": ""}}}}})");
    HKEY key = Create(HKEY_CURRENT_USER, "Software");
    for (const DWORD type : {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ})
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "y", 0, type, nullptr, 0)) << type;
    platform::registry::Reload();
    key = Create(HKEY_CURRENT_USER, "Software");
    for (const char* name : {"y", "FromFile"})
    {
        DWORD type = 0;
        std::vector<BYTE> data;
        ASSERT_EQ(ERROR_SUCCESS, Read(key, name, type, data)) << name;
        EXPECT_EQ(std::vector<BYTE>{0}, data) << name;
    }
    RegCloseKey(key);
    EXPECT_EQ("", platform::registry::LastLoadError());
}

TEST_F(RegistryTest, KeysNestUpToFiveHundredAndTwelveLevels)
{
    std::string path = "k";
    for (int level = 2; level <= 512; ++level)
        path += "\\k";
    HKEY key = Create(HKEY_CURRENT_USER, path.c_str());
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "Deepest", 7));
    HKEY deeper = nullptr;
    EXPECT_EQ(static_cast<LONG>(ERROR_INVALID_PARAMETER),
              RegCreateKeyExA(key, "k", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &deeper,
                              nullptr));
    RegCloseKey(key);
    platform::registry::Reload();
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key));
    EXPECT_EQ(7u, ReadDword(key, "Deepest"));
    RegCloseKey(key);
    EXPECT_EQ("", platform::registry::LastLoadError());
}

TEST_F(RegistryTest, QueryReportsTheNeededSize)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Sizes");
    ASSERT_EQ(ERROR_SUCCESS, SetText(key, "Text", "hello"));
    char buffer[4] = {};
    DWORD size = sizeof buffer;
    DWORD type = 0;
    EXPECT_EQ(static_cast<LONG>(ERROR_MORE_DATA),
              RegQueryValueExA(key, "Text", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size));
    EXPECT_EQ(6u, size);
    EXPECT_EQ(static_cast<LONG>(ERROR_FILE_NOT_FOUND),
              RegQueryValueExA(key, "Missing", nullptr, &type, nullptr, &size));
    EXPECT_EQ(static_cast<LONG>(ERROR_INVALID_PARAMETER),
              RegQueryValueExA(key, "Text", nullptr, &type, reinterpret_cast<BYTE*>(buffer), nullptr));
    RegCloseKey(key);
}

TEST_F(RegistryTest, KeysAndValuesAreEnumeratedUntilNoMoreItems)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Enum");
    for (const char* name : {"Beta", "alpha", "Gamma"})
        RegCloseKey(Create(key, name));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "Two", 2));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "one", 1));

    std::vector<std::string> keys;
    for (DWORD i = 0;; ++i)
    {
        char name[MAX_PATH];
        DWORD size = MAX_PATH;
        const LONG rc = RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (rc == static_cast<LONG>(ERROR_NO_MORE_ITEMS))
            break;
        ASSERT_EQ(ERROR_SUCCESS, rc);
        EXPECT_EQ(std::strlen(name), size);
        keys.emplace_back(name);
    }
    EXPECT_EQ((std::vector<std::string>{"alpha", "Beta", "Gamma"}), keys);

    char small[3];
    DWORD smallSize = sizeof small;
    EXPECT_EQ(static_cast<LONG>(ERROR_MORE_DATA),
              RegEnumKeyExA(key, 1, small, &smallSize, nullptr, nullptr, nullptr, nullptr));

    std::vector<std::pair<std::string, DWORD>> values;
    for (DWORD i = 0;; ++i)
    {
        char name[MAX_PATH];
        DWORD nameSize = MAX_PATH;
        DWORD type = 0;
        DWORD value = 0;
        DWORD size = sizeof value;
        const LONG rc =
            RegEnumValueA(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
        if (rc == static_cast<LONG>(ERROR_NO_MORE_ITEMS))
            break;
        ASSERT_EQ(ERROR_SUCCESS, rc);
        EXPECT_EQ(REG_DWORD, type);
        values.emplace_back(name, value);
    }
    EXPECT_EQ((std::vector<std::pair<std::string, DWORD>>{{"one", 1}, {"Two", 2}}), values);
    RegCloseKey(key);
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheCaseFirstGiven)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Tavisk\\QPX_SE");
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "NbSeconds", 3));
    RegCloseKey(key);

    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\tavisk\\qpx_se", 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, &disposition));
    EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);
    EXPECT_EQ(3u, ReadDword(key, "NBSECONDS"));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "nbseconds", 5));
    RegCloseKey(key);
    platform::registry::Reload();

    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, "software\\TAVISK\\Qpx_Se\\", 0, KEY_READ, &key));
    char name[MAX_PATH];
    DWORD nameSize = MAX_PATH;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueA(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr));
    EXPECT_STREQ("NbSeconds", name);
    EXPECT_EQ(5u, ReadDword(key, "nbSeconds"));
    RegCloseKey(key);
    const std::string saved = ReadFile(Hive());
    EXPECT_NE(std::string::npos, saved.find("\"Tavisk\""));
    EXPECT_EQ(std::string::npos, saved.find("tavisk"));
}

TEST_F(RegistryTest, DeletingKeysAndValues)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Del\\Child");
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "V", 1));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "v"));
    EXPECT_EQ(static_cast<LONG>(ERROR_FILE_NOT_FOUND), RegDeleteValueA(key, "v"));
    EXPECT_EQ(static_cast<LONG>(ERROR_ACCESS_DENIED), RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Del"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Del\\Child"));
    EXPECT_EQ(static_cast<LONG>(ERROR_FILE_NOT_FOUND),
              RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Del\\Child"));
    // The handle outlives its key.
    EXPECT_EQ(static_cast<LONG>(ERROR_KEY_DELETED), SetDword(key, "V", 2));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    platform::registry::Reload();
    EXPECT_EQ(static_cast<LONG>(ERROR_FILE_NOT_FOUND),
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Del\\Child", 0, KEY_READ, &key));
    EXPECT_EQ(nullptr, key);
}

TEST_F(RegistryTest, BadHandlesAreRefused)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Handles");
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    HKEY readOnly = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Handles", 0, KEY_READ, &readOnly));

    const HKEY bad[] = {key, nullptr, reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0xDEADBEEF)),
                        reinterpret_cast<HKEY>(&key),
                        reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000005u))};
    for (HKEY handle : bad)
    {
        HKEY out = nullptr;
        DWORD size = 4;
        char name[8];
        EXPECT_EQ(static_cast<LONG>(ERROR_INVALID_HANDLE), RegCloseKey(handle));
        EXPECT_EQ(static_cast<LONG>(ERROR_INVALID_HANDLE), RegOpenKeyExA(handle, "x", 0, KEY_READ, &out));
        EXPECT_EQ(static_cast<LONG>(ERROR_INVALID_HANDLE),
                  RegCreateKeyExA(handle, "x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &out, nullptr));
        EXPECT_EQ(static_cast<LONG>(ERROR_INVALID_HANDLE), SetDword(handle, "x", 1));
        EXPECT_EQ(static_cast<LONG>(ERROR_INVALID_HANDLE),
                  RegQueryValueExA(handle, "x", nullptr, nullptr, nullptr, &size));
        EXPECT_EQ(static_cast<LONG>(ERROR_INVALID_HANDLE), RegDeleteValueA(handle, "x"));
        EXPECT_EQ(static_cast<LONG>(ERROR_INVALID_HANDLE), RegDeleteKeyA(handle, "x"));
        EXPECT_EQ(static_cast<LONG>(ERROR_INVALID_HANDLE),
                  RegEnumKeyExA(handle, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(static_cast<LONG>(ERROR_INVALID_HANDLE),
                  RegEnumValueA(handle, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(static_cast<LONG>(ERROR_INVALID_HANDLE), RegFlushKey(handle));
        EXPECT_EQ(nullptr, out);
    }
    // A key opened for reading cannot be written through.
    EXPECT_EQ(static_cast<LONG>(ERROR_ACCESS_DENIED), SetDword(readOnly, "x", 1));
    HKEY child = nullptr;
    EXPECT_EQ(static_cast<LONG>(ERROR_ACCESS_DENIED),
              RegCreateKeyExA(readOnly, "Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr));
    // Handles of forgotten hives are stale.
    platform::registry::Reload();
    EXPECT_EQ(static_cast<LONG>(ERROR_INVALID_HANDLE), RegCloseKey(readOnly));
}

// A hive file that cannot be used: what is in place of it, and what the error must say.
struct DamagedHive
{
    const char* name;
    std::string content; // a folder in place of the file when null-named
    bool isFolder;
    const char* expectedWords;
};

void PrintTo(const DamagedHive& c, std::ostream* os)
{
    *os << c.name;
}

const std::string kValidHive =
    R"({"format": "brevicam-registry", "version": 1, "keys": {"Software": {"values": {"A": {"type": "REG_DWORD", "data": 1}}}}})";

// A hive whose keys nest `levels` deep, as a settings file damaged by a runaway writer could be.
std::string NestedHive(int levels)
{
    std::string text = R"({"format": "brevicam-registry", "version": 1)";
    for (int level = 0; level < levels; ++level)
        text += R"(, "keys": {"k": {"x": 0)";
    for (int level = 0; level < levels; ++level)
        text += "}}";
    return text + "}";
}

class DamagedHiveTest : public RegistryTest, public ::testing::WithParamInterface<DamagedHive>
{
};

TEST_P(DamagedHiveTest, IsKeptAsideReportedOnceAndDefaultsUsed)
{
    const DamagedHive& c = GetParam();
    if (c.isFolder)
        std::filesystem::create_directories(Hive() / "inner");
    else
        m_dir.WriteFile("HKCU.json", c.content);

    ::testing::internal::CaptureStderr();
    HKEY key = nullptr;
    EXPECT_EQ(static_cast<LONG>(ERROR_FILE_NOT_FOUND),
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key));
    EXPECT_EQ(static_cast<LONG>(ERROR_FILE_NOT_FOUND),
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key));
    const std::string stderrText = ::testing::internal::GetCapturedStderr();

    const std::string error = platform::registry::LastLoadError();
    EXPECT_NE(std::string::npos, error.find(Hive().string())) << error;
    EXPECT_NE(std::string::npos, error.find(c.expectedWords)) << error;
    EXPECT_NE(std::string::npos, error.find("HKCU.json.bad")) << error;
    // Reported once, however often the hive is used.
    EXPECT_EQ(stderrText.find(error), stderrText.rfind(error)) << stderrText;
    EXPECT_NE(std::string::npos, stderrText.find(error)) << stderrText;

    ASSERT_TRUE(std::filesystem::exists(m_dir / "HKCU.json.bad"));
    if (!c.isFolder)
    {
        EXPECT_EQ(c.content, ReadFile(m_dir / "HKCU.json.bad"));
    }

    // The program goes on: new settings are saved to a fresh file, the damaged one stays aside.
    key = Create(HKEY_CURRENT_USER, "Software\\New");
    EXPECT_EQ(ERROR_SUCCESS, SetDword(key, "B", 2));
    RegCloseKey(key);
    platform::registry::Reload();
    key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\New", 0, KEY_READ, &key));
    EXPECT_EQ(2u, ReadDword(key, "B"));
    RegCloseKey(key);
    EXPECT_EQ("", platform::registry::LastLoadError());
    EXPECT_TRUE(std::filesystem::exists(m_dir / "HKCU.json.bad"));
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedHiveTest,
    ::testing::Values(
        DamagedHive{"Garbage", "\x01\x02 not json at all", false, "parse error"},
        DamagedHive{"Truncated", kValidHive.substr(0, kValidHive.size() / 2), false, "parse error"},
        DamagedHive{"Empty", "", false, "empty"},
        DamagedHive{"NotAHive", "[1, 2, 3]", false, "does not hold a registry hive"},
        DamagedHive{"NewerFormat", R"({"format": "brevicam-registry", "version": 2})", false,
                    "format version"},
        DamagedHive{
            "ValueOfUnknownType",
            R"({"format": "brevicam-registry", "version": 1, "keys": {"Software": {"values": {"A": {"type": "REG_FOO", "data": 1}}}}})",
            false, "unknown type"},
        DamagedHive{
            "DwordOutOfRange",
            R"({"format": "brevicam-registry", "version": 1, "keys": {"Software": {"values": {"A": {"type": "REG_DWORD", "data": 4294967296}}}}})",
            false, "does not fit its type"},
        DamagedHive{
            "BadHex",
            R"({"format": "brevicam-registry", "version": 1, "values": {"A": {"type": "REG_BINARY", "hex": "0g"}}})",
            false, "malformed hex"},
        DamagedHive{"NestedTooDeeply", NestedHive(100000), false, "nested too deeply"},
        DamagedHive{"Unreadable", "", true, "cannot be read"}),
    [](const ::testing::TestParamInfo<DamagedHive>& info) { return std::string(info.param.name); });

TEST_F(RegistryTest, AnEarlierDamagedFileIsNotOverwritten)
{
    m_dir.WriteFile("HKCU.json.bad", "first");
    m_dir.WriteFile("HKCU.json", "second");
    ::testing::internal::CaptureStderr();
    HKEY key = nullptr;
    EXPECT_EQ(static_cast<LONG>(ERROR_FILE_NOT_FOUND),
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key));
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ("first", ReadFile(m_dir / "HKCU.json.bad"));
    EXPECT_EQ("second", ReadFile(m_dir / "HKCU.json.1.bad"));
}

TEST_F(RegistryTest, FailedSaveLeavesTheOldFileAndReportsTheError)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Atomic");
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "Kept", 1));
    const std::string before = ReadFile(Hive());
    const auto filesBefore = Files();

    platform::registry::SetWriteFaultForTesting(ENOSPC);
    EXPECT_EQ(static_cast<LONG>(ERROR_DISK_FULL), SetDword(key, "Lost", 2));
    EXPECT_EQ(static_cast<LONG>(ERROR_DISK_FULL), SetDword(key, "Kept", 3));
    EXPECT_EQ(static_cast<LONG>(ERROR_DISK_FULL), RegDeleteValueA(key, "Kept"));
    HKEY child = nullptr;
    EXPECT_EQ(static_cast<LONG>(ERROR_DISK_FULL), RegCreateKeyExA(key, "Child\\Grandchild", 0, nullptr, 0,
                                                                  KEY_ALL_ACCESS, nullptr, &child, nullptr));
    EXPECT_EQ(nullptr, child);
    platform::registry::SetWriteFaultForTesting(0);

    // The file is whole and unchanged, no temporary file is left behind, and the store agrees with the file.
    EXPECT_EQ(before, ReadFile(Hive()));
    EXPECT_EQ(filesBefore, Files());
    EXPECT_EQ(1u, ReadDword(key, "Kept"));
    EXPECT_EQ(0xDEADBEEFu, ReadDword(key, "Lost"));
    EXPECT_EQ(static_cast<LONG>(ERROR_FILE_NOT_FOUND), RegOpenKeyExA(key, "Child", 0, KEY_READ, &child));

    EXPECT_EQ(ERROR_SUCCESS, SetDword(key, "Lost", 2));
    RegCloseKey(key);
    platform::registry::Reload();
    key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Atomic", 0, KEY_READ, &key));
    EXPECT_EQ(2u, ReadDword(key, "Lost"));
    RegCloseKey(key);
}

TEST_F(RegistryTest, WriteBatchSavesEachHiveOnceWhenTheLastBatchEnds)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Batch");
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "A", 1));
    const std::string before = ReadFile(Hive());
    {
        platform::registry::WriteBatch outer;
        {
            platform::registry::WriteBatch inner;
            ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "A", 2));
            ASSERT_EQ(ERROR_SUCCESS, SetText(key, "B", "text"));
            HKEY classes = Create(HKEY_CLASSES_ROOT, "CLSID\\{1}");
            ASSERT_EQ(ERROR_SUCCESS, SetText(classes, "", "Filter"));
            RegCloseKey(classes);
            EXPECT_EQ(ERROR_SUCCESS, inner.End());
        }
        // Seen at once, saved only when the outer batch ends.
        EXPECT_EQ(2u, ReadDword(key, "A"));
        EXPECT_EQ(before, ReadFile(Hive()));
        EXPECT_FALSE(std::filesystem::exists(Hive("HKCR.json")));
        EXPECT_EQ(ERROR_SUCCESS, outer.End());
    }
    RegCloseKey(key);
    platform::registry::Reload();
    key = Create(HKEY_CURRENT_USER, "Software\\Batch");
    EXPECT_EQ(2u, ReadDword(key, "A"));
    DWORD type = 0;
    std::vector<BYTE> data;
    EXPECT_EQ(ERROR_SUCCESS, Read(key, "B", type, data));
    RegCloseKey(key);
    EXPECT_NE(std::string::npos, ReadFile(Hive("HKCR.json")).find("Filter"));
}

TEST_F(RegistryTest, BatchThatCannotBeSavedTakesBackAllItsChanges)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Batch");
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "Kept", 1));
    const std::string before = ReadFile(Hive());
    const auto filesBefore = Files();
    {
        platform::registry::WriteBatch batch;
        ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "Kept", 2));
        ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "Lost", 3));
        HKEY child = Create(key, "Child");
        RegCloseKey(child);
        platform::registry::SetWriteFaultForTesting(ENOSPC);
        EXPECT_EQ(static_cast<LONG>(ERROR_DISK_FULL), RegFlushKey(key));
        EXPECT_EQ(1u, ReadDword(key, "Kept"));
        ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "Lost", 4));
        EXPECT_EQ(static_cast<LONG>(ERROR_DISK_FULL), batch.End());
    }
    platform::registry::SetWriteFaultForTesting(0);
    EXPECT_EQ(before, ReadFile(Hive()));
    EXPECT_EQ(filesBefore, Files());
    EXPECT_EQ(1u, ReadDword(key, "Kept"));
    EXPECT_EQ(0xDEADBEEFu, ReadDword(key, "Lost"));
    HKEY child = nullptr;
    EXPECT_EQ(static_cast<LONG>(ERROR_FILE_NOT_FOUND), RegOpenKeyExA(key, "Child", 0, KEY_READ, &child));
    // Writes after the batch are saved one by one again.
    EXPECT_EQ(ERROR_SUCCESS, SetDword(key, "Lost", 5));
    EXPECT_NE(before, ReadFile(Hive()));
    RegCloseKey(key);
}

TEST_F(RegistryTest, AnotherProcessWritingDuringABatchKeepsItsValues)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Shared");
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "Mine", 1));
    int go[2];
    ASSERT_EQ(0, pipe(go));
    const pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0)
    {
        char byte = 0;
        const bool told = ::read(go[0], &byte, 1) == 1;
        _exit(told && SetDword(key, "Child", 3) == ERROR_SUCCESS ? 0 : 1);
    }
    {
        // The other process writes while the batch is open; whichever saves first, nothing is lost.
        platform::registry::WriteBatch batch;
        ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "Parent", 2));
        ASSERT_EQ(1, ::write(go[1], "x", 1));
        ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "Parent2", 4));
        EXPECT_EQ(ERROR_SUCCESS, batch.End());
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ::close(go[0]);
    ::close(go[1]);
    const std::vector<std::pair<const char*, DWORD>> expected = {
        {"Mine", 1}, {"Parent", 2}, {"Parent2", 4}, {"Child", 3}};
    for (const auto& [name, value] : expected)
        EXPECT_EQ(value, ReadDword(key, name)) << name;
    RegCloseKey(key);
}

TEST_F(RegistryTest, ReadOnlyFolderRefusesWritesAndKeepsTheFile)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\ReadOnly");
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "Kept", 1));
    const std::string before = ReadFile(Hive());
    std::filesystem::permissions(m_dir.Path(),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    if (std::ofstream(m_dir / "probe").good())
        GTEST_SKIP() << "permission bits do not stop this user from writing";

    EXPECT_EQ(static_cast<LONG>(ERROR_ACCESS_DENIED), SetDword(key, "Kept", 2));
    EXPECT_EQ(1u, ReadDword(key, "Kept"));
    EXPECT_EQ(before, ReadFile(Hive()));
    RegCloseKey(key);
}

TEST_F(RegistryTest, UnreadableFileInAReadOnlyFolderIsReportedOnceAndLeftAlone)
{
    const auto hive = m_dir.WriteFile("HKCU.json", kValidHive);
    std::filesystem::permissions(hive, std::filesystem::perms::none);
    std::filesystem::permissions(m_dir.Path(),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    if (std::ifstream(hive).good())
        GTEST_SKIP() << "permission bits do not stop this user from reading";

    ::testing::internal::CaptureStderr();
    HKEY key = nullptr;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(static_cast<LONG>(ERROR_FILE_NOT_FOUND),
                  RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key));
    EXPECT_EQ(static_cast<LONG>(ERROR_ACCESS_DENIED),
              RegCreateKeyExA(HKEY_CURRENT_USER, "Software", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr));
    const std::string stderrText = ::testing::internal::GetCapturedStderr();
    const std::string error = platform::registry::LastLoadError();
    EXPECT_NE(std::string::npos, error.find("cannot be opened")) << error;
    EXPECT_NE(std::string::npos, error.find("could not be moved aside")) << error;
    EXPECT_EQ(stderrText.find(error), stderrText.rfind(error)) << stderrText;
    EXPECT_FALSE(std::filesystem::exists(m_dir / "HKCU.json.bad"));
    std::filesystem::permissions(hive, std::filesystem::perms::owner_read);
    EXPECT_EQ(kValidHive, ReadFile(hive));
}

TEST_F(RegistryTest, FolderThatCannotBeCreatedGivesAnErrorAndDefaults)
{
    const auto file = m_dir.WriteFile("plain-file", "x");
    setenv("BREVICAM_REGISTRY_DIR", (file / "brevicam").c_str(), 1);
    platform::registry::Reload();

    HKEY key = nullptr;
    EXPECT_EQ(static_cast<LONG>(ERROR_PATH_NOT_FOUND),
              RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr));
    EXPECT_EQ(static_cast<LONG>(ERROR_FILE_NOT_FOUND),
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key));
    EXPECT_EQ("", platform::registry::LastLoadError());
}

TEST_F(RegistryTest, ConcurrentWritersFromThreadsLoseNothing)
{
    constexpr int kThreads = 6;
    constexpr int kValues = 15;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(
            [t]
            {
                for (int v = 0; v < kValues; ++v)
                {
                    const std::string path = "Software\\Threads\\T" + std::to_string(t);
                    HKEY key = nullptr;
                    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                        nullptr, &key, nullptr) != ERROR_SUCCESS)
                        return;
                    const DWORD value = static_cast<DWORD>(t * 100 + v);
                    SetDword(key, (std::string("V") += std::to_string(v)).c_str(), value);
                    ReadDword(key, "V0");
                    RegCloseKey(key);
                }
            });
    for (auto& thread : threads)
        thread.join();

    platform::registry::Reload();
    for (int t = 0; t < kThreads; ++t)
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExA(HKEY_CURRENT_USER, ("Software\\Threads\\T" + std::to_string(t)).c_str(), 0,
                                KEY_READ, &key));
        for (int v = 0; v < kValues; ++v)
            EXPECT_EQ(static_cast<DWORD>(t * 100 + v),
                      ReadDword(key, (std::string("V") += std::to_string(v)).c_str()));
        RegCloseKey(key);
    }
    EXPECT_EQ("", platform::registry::LastLoadError());
}

TEST_F(RegistryTest, AnotherProcessesValuesAreSeenAndKept)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Shared");
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "Mine", 1));

    // Another process writes in turns with us, each adding its own values.
    constexpr int kValues = 15;
    const pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0)
    {
        bool ok = true;
        for (int v = 0; v < kValues; ++v)
            ok = SetDword(key, ("Child" + std::to_string(v)).c_str(), static_cast<DWORD>(v)) ==
                     ERROR_SUCCESS &&
                 ok;
        _exit(ok ? 0 : 1);
    }
    for (int v = 0; v < kValues; ++v)
        EXPECT_EQ(ERROR_SUCCESS,
                  SetDword(key, ("Parent" + std::to_string(v)).c_str(), static_cast<DWORD>(v)));
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    // Without a reload: the other process's values show up as soon as its file replaced ours.
    for (int v = 0; v < kValues; ++v)
    {
        EXPECT_EQ(static_cast<DWORD>(v), ReadDword(key, ("Child" + std::to_string(v)).c_str()));
        EXPECT_EQ(static_cast<DWORD>(v), ReadDword(key, ("Parent" + std::to_string(v)).c_str()));
    }
    EXPECT_EQ(1u, ReadDword(key, "Mine"));
    RegCloseKey(key);
}

TEST_F(RegistryTest, EachRootHasItsOwnFile)
{
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT})
    {
        HKEY key = Create(root, "CLSID\\{0001}");
        EXPECT_EQ(ERROR_SUCCESS, SetText(key, "", "Filter"));
        EXPECT_EQ(ERROR_SUCCESS, RegFlushKey(key));
        RegCloseKey(key);
    }
    EXPECT_EQ((std::vector<std::string>{"HKCR.json", "HKCU.json", "HKLM.json"}), Files());
    EXPECT_EQ(0700u, static_cast<unsigned>(std::filesystem::status(m_dir.Path()).permissions() &
                                           std::filesystem::perms::all) &
                         0700u);
    struct stat st
    {
    };
    ASSERT_EQ(0, ::stat(Hive().c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777u);
}

TEST_F(RegistryTest, MachineDescriptionInTheFileIsIgnored)
{
    m_dir.WriteFile("HKLM.json",
                    R"({"format": "brevicam-registry", "version": 1, "keys": {"HARDWARE": {"keys": )"
                    R"({"Stale": {}}}, "Software": {}}})");
    HKEY key = nullptr;
    EXPECT_EQ(static_cast<LONG>(ERROR_FILE_NOT_FOUND),
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\Stale", 0, KEY_READ, &key));
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor", 0,
                            KEY_READ, &key));
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key));
    RegCloseKey(key);
    EXPECT_EQ("", platform::registry::LastLoadError());
}

// Where the hives live when nothing redirects them.
class RootFolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* name : {"BREVICAM_REGISTRY_DIR", "XDG_CONFIG_HOME", "HOME"})
            if (const char* value = std::getenv(name))
                m_saved.emplace_back(name, value);
    }
    void TearDown() override
    {
        for (const char* name : {"BREVICAM_REGISTRY_DIR", "XDG_CONFIG_HOME", "HOME"})
            unsetenv(name);
        for (const auto& [name, value] : m_saved)
            setenv(name.c_str(), value.c_str(), 1);
        platform::registry::Reload();
    }
    std::vector<std::pair<std::string, std::string>> m_saved;
};

TEST_F(RootFolderTest, FollowsTheEnvironment)
{
    setenv("HOME", "/home/someone", 1);
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    setenv("BREVICAM_REGISTRY_DIR", "/reg/", 1);
    platform::registry::Reload();
    EXPECT_EQ("/reg", platform::registry::RootFolder());

    unsetenv("BREVICAM_REGISTRY_DIR");
    platform::registry::Reload();
    EXPECT_EQ("/cfg/brevicam", platform::registry::RootFolder());

    setenv("XDG_CONFIG_HOME", "relative", 1);
    platform::registry::Reload();
    EXPECT_EQ("/home/someone/.config/brevicam", platform::registry::RootFolder());
}
} // namespace
