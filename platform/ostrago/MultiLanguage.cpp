#include "Ostrago.h"

#include "platform/registry/Registry.h"
#include "platform/resources/Resources.h"
#include "platform/win/LastError.h"

#include <cstring>
#include <string>

namespace
{
constexpr char kDefaultCode[] = "ENU";

bool IsAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The stored code, upper-cased, when it is a text of exactly three ASCII letters; anything else is
// refused, so that the code can neither overrun the caller's buffer nor lead a file name astray.
bool ReadStoredCode(const char* key, const char* valueName, std::string& code)
{
    HKEY hkey = nullptr;
    if (!key || RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &hkey) != ERROR_SUCCESS)
        return false;
    BYTE data[8] = {};
    DWORD type = REG_NONE;
    DWORD size = sizeof data;
    const LONG result = RegQueryValueExA(hkey, valueName, nullptr, &type, data, &size);
    RegCloseKey(hkey);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    const auto* text = reinterpret_cast<const char*>(data);
    const std::size_t length = strnlen(text, size);
    if (length != 3 || !IsAsciiLetter(text[0]) || !IsAsciiLetter(text[1]) || !IsAsciiLetter(text[2]))
        return false;
    code.assign(text, 3);
    for (char& c : code)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return true;
}

// "brevicam" stays, "libcorrowin.so" becomes "corrowin".
std::string ModuleStem(std::string name)
{
    if (name.size() > 3 && name.ends_with(".so"))
    {
        name.resize(name.size() - 3);
        if (name.size() > 3 && name.starts_with("lib"))
            name.erase(0, 3);
    }
    return name;
}
} // namespace

CMultiLanguage::CMultiLanguage() = default;

CMultiLanguage::~CMultiLanguage() = default;

BOOL CMultiLanguage::GetLangCode(const char* key, const char* valueName, char* code)
{
    if (!code)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string stored;
    const bool found = ReadStoredCode(key, valueName, stored);
    std::memcpy(code, found ? stored.c_str() : kDefaultCode, 4);
    return found ? TRUE : FALSE;
}

HINSTANCE CMultiLanguage::LoadLangResourceDLL(HINSTANCE app, const char* key, const char* valueName)
{
    std::string code;
    if (!ReadStoredCode(key, valueName, code) || code == kDefaultCode)
    {
        SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
        return nullptr;
    }
    char path[4096];
    const DWORD length = GetModuleFileNameA(app, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return nullptr;
    const std::string modulePath(path, length);
    const auto slash = modulePath.rfind('/');
    if (slash == std::string::npos)
    {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    const std::string library =
        modulePath.substr(0, slash + 1) + ModuleStem(modulePath.substr(slash + 1)) + "-" + code + ".so";
    return LoadLibraryExA(library.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
}
