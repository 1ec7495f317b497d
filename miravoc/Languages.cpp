#include "miravoc/Languages.h"

#include "LanguageTable.h"

#include "platform/ostrago/Ostrago.h"
#include "platform/resources/Resources.h"

#include <cstring>
#include <string>
#include <strings.h>

namespace
{
constexpr const char* kInstallationKey = "SOFTWARE\\Tavisk\\";
constexpr DWORD kFolderChars = 260;
} // namespace

void GetInstallationLanguage(char code[4])
{
    char folder[kFolderChars] = {};
    GetModuleDirectory(folder, kFolderChars);
    const std::string key = std::string(kInstallationKey) + folder;
    CMultiLanguage::GetLangCode(key.c_str(), "Language", code);
    code[3] = '\0';
}

bool IsArabicLanguage()
{
    char code[4] = {};
    GetInstallationLanguage(code);
    return strcasecmp(code, "ARA") == 0;
}

bool LoadLanguageString(int key, CString& text, HINSTANCE module)
{
    const unsigned short* row = nullptr;
    for (const auto& candidate : kLanguageTable)
    {
        if (candidate[0] == key)
        {
            row = candidate;
            break;
        }
    }
    if (!row)
    {
        text.Empty();
        return false;
    }
    char code[4] = {};
    GetInstallationLanguage(code);
    int column = 0;
    for (int c = 0; c < kLanguageCount; ++c)
    {
        if (strcasecmp(code, kLanguageCodes[c]) == 0)
        {
            column = c;
            break;
        }
    }
    const UINT id = row[column] ? row[column] : row[0];
    text.LoadString(module ? module : AfxGetResourceHandle(), id);
    return true;
}
