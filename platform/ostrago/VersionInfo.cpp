#include "Ostrago.h"

#include "platform/resources/Resources.h"
#include "platform/win/CString.h"
#include "platform/win/LastError.h"

#include <cstdio>
#include <cstring>

namespace
{
constexpr DWORD kFixedInfoSignature = 0xFEEF04BD;
constexpr std::size_t kFixedInfoSize = 52;
constexpr char16_t kRootKey[] = u"VS_VERSION_INFO";

WORD Word(const BYTE* p)
{
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

DWORD Dword(const BYTE* p)
{
    return Word(p) | (static_cast<DWORD>(Word(p + 2)) << 16);
}

// The version resource's root block: length, value length, type, the key "VS_VERSION_INFO", padding to
// 4 bytes, then the fixed file information, whose third and fourth words are the file version.
bool ReadFileVersion(const BYTE* data, std::size_t size, tagVERSIONINFO& info)
{
    constexpr std::size_t keyBytes = sizeof kRootKey; // with its terminator
    constexpr std::size_t fixedAt = (6 + keyBytes + 3) & ~std::size_t{3};
    if (size < fixedAt + kFixedInfoSize || Word(data) > size || Word(data + 2) < kFixedInfoSize)
        return false;
    for (std::size_t i = 0; i < keyBytes / 2; ++i)
        if (Word(data + 6 + 2 * i) != kRootKey[i])
            return false;
    const BYTE* fixed = data + fixedAt;
    if (Dword(fixed) != kFixedInfoSignature)
        return false;
    info.dwFileVersionMS = Dword(fixed + 8);
    info.dwFileVersionLS = Dword(fixed + 12);
    return true;
}
} // namespace

BOOL GetVersionInfo(const char* path, tagVERSIONINFO* info, DWORD)
{
    if (!path || !info)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    HMODULE file = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!file)
        return FALSE;
    BOOL ok = FALSE;
    if (HRSRC res = FindResourceA(file, MAKEINTRESOURCE(1), RT_VERSION))
    {
        const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(file, res)));
        tagVERSIONINFO read{};
        if (data && ReadFileVersion(data, SizeofResource(file, res), read))
        {
            *info = read;
            ok = TRUE;
        }
        else
            SetLastError(ERROR_INVALID_DATA);
    }
    const DWORD error = GetLastError();
    FreeLibrary(file);
    SetLastError(error);
    return ok;
}

BOOL GetVersionInfo(const char* path, char* text, std::size_t size, DWORD flags)
{
    if (!text || size == 0)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    text[0] = '\0';
    tagVERSIONINFO info{};
    if (!GetVersionInfo(path, &info, flags))
        return FALSE;
    char version[64];
    std::snprintf(version, sizeof version, "%u.%u.%u.%u", HIWORD(info.dwFileVersionMS),
                  LOWORD(info.dwFileVersionMS), HIWORD(info.dwFileVersionLS), LOWORD(info.dwFileVersionLS));
    platform::CopyTruncated(text, size, version);
    return TRUE;
}
