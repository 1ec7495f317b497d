#pragma once

#include "platform/registry/Registry.h"

#include <cstring>
#include <string>

namespace testing_support
{
/// A value under HKEY_CLASSES_ROOT as text (numbers in decimal), or "<no key>" / "<no value>", so that a
/// failed expectation shows what is missing.
inline std::string ReadClassesRootText(const std::string& key, const char* name)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return "<no key>";
    char buffer[1024] = {};
    DWORD size = sizeof(buffer);
    DWORD type = 0;
    const LONG rc = RegQueryValueExA(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(handle);
    if (rc != ERROR_SUCCESS)
        return "<no value>";
    if (type == REG_DWORD)
    {
        DWORD value;
        std::memcpy(&value, buffer, sizeof(value));
        return std::to_string(value);
    }
    return buffer;
}

inline bool ClassesRootKeyExists(const std::string& key)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}
} // namespace testing_support
