#include "platform/ostrago/Ostrago.h"
#include "platform/registry/Registry.h"
#include "platform/resources/Resources.h"
#include "platform/win/LastError.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>

namespace
{
std::string InstallationKey()
{
    char folder[MAX_PATH] = {};
    GetModuleDirectory(folder, MAX_PATH);
    return std::string("SOFTWARE\\Tavisk\\") + folder;
}

enum class Stored
{
    Nothing,
    Text,
    Number
};

struct LanguageCase
{
    const char* name;
    Stored stored;
    std::string value;
    const char* code;
    bool library;
    friend void PrintTo(const LanguageCase& c, std::ostream* os) { *os << c.name; }
};

class MultiLanguageTest : public testing::TestWithParam<LanguageCase>
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, InstallationKey().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &m_key, nullptr),
                  ERROR_SUCCESS);
        RegDeleteValueA(m_key, "Language");
    }
    void TearDown() override { RegCloseKey(m_key); }

    void Store(const LanguageCase& c)
    {
        if (c.stored == Stored::Text)
        {
            ASSERT_EQ(RegSetValueExA(m_key, "Language", 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(c.value.c_str()),
                                     static_cast<DWORD>(c.value.size() + 1)),
                      ERROR_SUCCESS);
        }
        if (c.stored == Stored::Number)
        {
            const DWORD number = 0x415246; // "FRA" read as bytes
            ASSERT_EQ(RegSetValueExA(m_key, "Language", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                                     sizeof number),
                      ERROR_SUCCESS);
        }
    }

    HKEY m_key = nullptr;
};
} // namespace

TEST_P(MultiLanguageTest, CodeAndLibraryFollowTheStoredValue)
{
    const LanguageCase& c = GetParam();
    Store(c);
    const std::string key = InstallationKey();

    char code[8];
    std::memset(code, 0x7F, sizeof code);
    CMultiLanguage::GetLangCode(key.c_str(), "Language", code);
    EXPECT_STREQ(code, c.code);
    EXPECT_EQ(std::string(code + 4, 4), std::string(4, '\x7F')) << "wrote past the 4-byte buffer";

    CMultiLanguage language;
    HINSTANCE library = language.LoadLangResourceDLL(GetModuleHandleA(nullptr), key.c_str(), "Language");
    EXPECT_EQ(library != nullptr, c.library);
    if (library)
    {
        char text[64];
        EXPECT_GT(LoadStringA(library, 95, text, sizeof text), 0);
        EXPECT_STREQ(text, "Brevicam (français)");
        char path[4096];
        ASSERT_GT(GetModuleFileNameA(library, path, sizeof path), 0u);
        EXPECT_EQ(std::filesystem::path(path).filename(), "ostrago_tests-FRA.so");
        EXPECT_TRUE(FreeLibrary(library));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, MultiLanguageTest,
    testing::Values(LanguageCase{"Missing", Stored::Nothing, "", "ENU", false},
                    LanguageCase{"English", Stored::Text, "ENU", "ENU", false},
                    LanguageCase{"French", Stored::Text, "FRA", "FRA", true},
                    LanguageCase{"FrenchLowerCase", Stored::Text, "fra", "FRA", true},
                    LanguageCase{"KnownCodeWithoutLibrary", Stored::Text, "DEU", "DEU", false},
                    LanguageCase{"Overlong", Stored::Text, "FRANCAIS", "ENU", false},
                    LanguageCase{"TwoLetters", Stored::Text, "FR", "ENU", false},
                    LanguageCase{"Empty", Stored::Text, "", "ENU", false},
                    LanguageCase{"ControlCharacter", Stored::Text,
                                 "F\x01"
                                 "A",
                                 "ENU", false},
                    LanguageCase{"PathInjection", Stored::Text, "../", "ENU", false},
                    LanguageCase{"NonAscii", Stored::Text, "FRé", "ENU", false},
                    LanguageCase{"NumberInsteadOfText", Stored::Number, "", "ENU", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MultiLanguageLibraryTest, SharedLibraryFindsItsLanguageWithoutLibPrefix)
{
    const std::string key = InstallationKey();
    HKEY hkey = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hkey,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(hkey, "Language", 0, REG_SZ, reinterpret_cast<const BYTE*>("FRA"), 4),
              ERROR_SUCCESS);
    RegCloseKey(hkey);

    HMODULE ostrago = platform::resources::ModuleFromAddress(reinterpret_cast<const void*>(&isWindows7));
    ASSERT_NE(ostrago, nullptr);
    CMultiLanguage language;
    HINSTANCE library = language.LoadLangResourceDLL(ostrago, key.c_str(), "Language");
    ASSERT_NE(library, nullptr) << GetLastError();
    char path[4096];
    ASSERT_GT(GetModuleFileNameA(library, path, sizeof path), 0u);
    EXPECT_EQ(std::filesystem::path(path).filename(), "ostrago-FRA.so");
    FreeLibrary(library);
}

TEST(MultiLanguageLibraryTest, MissingKeyMeansEnglish)
{
    char code[4] = {};
    EXPECT_FALSE(CMultiLanguage::GetLangCode("SOFTWARE\\Tavisk\\nowhere", "Language", code));
    EXPECT_STREQ(code, "ENU");
    EXPECT_FALSE(CMultiLanguage::GetLangCode(nullptr, "Language", code));
    EXPECT_STREQ(code, "ENU");
}
