#include "miravoc/Languages.h"

#include "LanguageTable.h"

#include "platform/ostrago/Ostrago.h"
#include "platform/registry/Registry.h"
#include "platform/resources/Resources.h"

#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>

namespace
{
constexpr int kTitleKey = 151;
constexpr int kVolumeCaptionKey = 152;

std::string InstallationKey()
{
    char folder[260] = {};
    GetModuleDirectory(folder, sizeof folder);
    return std::string("SOFTWARE\\Tavisk\\") + folder;
}

/// The installation's language value for one test.
class LanguagesTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, InstallationKey().c_str(), 0, KEY_WRITE, &key) == ERROR_SUCCESS)
        {
            RegDeleteValueA(key, "Language");
            RegCloseKey(key);
        }
    }
    static void SetLanguage(const std::string& code)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, InstallationKey().c_str(), 0, nullptr, 0, KEY_WRITE,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, "Language", 0, REG_SZ, reinterpret_cast<const BYTE*>(code.c_str()),
                                 static_cast<DWORD>(code.size() + 1)),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    static std::string Text(int key)
    {
        CString text = "unchanged";
        EXPECT_TRUE(LoadLanguageString(key, text, nullptr));
        return text.Str();
    }
};

struct LanguageCase
{
    const char* code;
    const char* title;
};

void PrintTo(const LanguageCase& c, std::ostream* os)
{
    *os << c.code;
}

class LanguageColumnTest : public LanguagesTest, public ::testing::WithParamInterface<LanguageCase>
{
};
} // namespace

TEST_F(LanguagesTest, EveryIdOfTheTableIsATextOfTheLibrary)
{
    std::set<unsigned> ids;
    for (const auto& row : kLanguageTable)
    {
        for (int column = 0; column < kLanguageCount; ++column)
        {
            const unsigned id = row[column];
            ASSERT_NE(id, 0u) << "row " << row[0] << " lacks " << kLanguageCodes[column];
            EXPECT_TRUE(ids.insert(id).second) << id << " is used twice";
            char buffer[512] = {};
            EXPECT_GT(LoadStringA(AfxGetResourceHandle(), id, buffer, sizeof buffer), 0) << "string " << id;
        }
    }
    EXPECT_EQ(ids.size(), 144u);
}

TEST_P(LanguageColumnTest, TheInstallationsLanguagePicksItsColumn)
{
    const auto& c = GetParam();
    SetLanguage(c.code);
    EXPECT_EQ(Text(kTitleKey), c.title);
    // Every text of the row comes from that language's column.
    for (const auto& row : kLanguageTable)
    {
        int column = 0;
        while (std::string(kLanguageCodes[column]) != c.code)
            ++column;
        CString expected;
        expected.LoadString(AfxGetResourceHandle(), row[column]);
        EXPECT_EQ(Text(row[0]), expected.Str()) << "row " << row[0];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Languages, LanguageColumnTest,
    ::testing::Values(LanguageCase{"ENU", "Audio Settings"}, LanguageCase{"FRA", "Paramètres audio"},
                      LanguageCase{"DEU", "Audioeinstellungen"},
                      LanguageCase{"ESP", "Configuración de audio"},
                      LanguageCase{"NLD", "Audio-instellingen"}, LanguageCase{"ITA", "Impostazioni audio"},
                      LanguageCase{"PTB", "Configurações de áudio"}, LanguageCase{"RUS", "Настройки звука"},
                      LanguageCase{"PLK", "Ustawienia dźwięku"}, LanguageCase{"TRK", "Ses Ayarları"},
                      LanguageCase{"ELL", "Ρυθμίσεις ήχου"}, LanguageCase{"ARA", "إعدادات الصوت"}),
    [](const auto& info) { return std::string(info.param.code); });

TEST_F(LanguagesTest, CodesInLowerCaseAreTheSameLanguageAndUnknownOnesGiveEnglish)
{
    SetLanguage("fra");
    EXPECT_EQ(Text(kTitleKey), "Paramètres audio");
    SetLanguage("ara");
    EXPECT_TRUE(IsArabicLanguage());
    SetLanguage("XYZ");
    EXPECT_EQ(Text(kTitleKey), "Audio Settings");
    EXPECT_FALSE(IsArabicLanguage());
    TearDown(); // no value at all
    EXPECT_EQ(Text(kTitleKey), "Audio Settings");

    CString text = "unchanged";
    EXPECT_FALSE(LoadLanguageString(202, text, nullptr)); // an id of a column is no row's key
    EXPECT_TRUE(text.IsEmpty());
}

TEST_F(LanguagesTest, TheFrenchVolumeCaptionHasALineFeed)
{
    SetLanguage("FRA");
    // The space before the line feed keeps the words apart once the line feed is taken out.
    EXPECT_EQ(Text(kVolumeCaptionKey), "Volume du \nmicro");
}
