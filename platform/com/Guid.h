#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

#include <cstring>
#include <functional>
#include <string>
#include <string_view>

/// Globally unique identifiers of classes, interfaces, media types and categories, laid out as Windows
/// lays them out (so that the four-character-code subtypes keep their meaning).
struct GUID
{
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};

using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using LPGUID = GUID*;
using LPCLSID = CLSID*;

/// Defines a named identifier constant; usable in headers, as each definition is an inline constant.
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)                                         \
    inline constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

DEFINE_GUID(GUID_NULL, 0x00000000, 0x0000, 0x0000, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00);
inline constexpr CLSID CLSID_NULL = GUID_NULL;
inline constexpr IID IID_NULL = GUID_NULL;

constexpr bool IsEqualGUID(REFGUID a, REFGUID b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}
constexpr bool IsEqualIID(REFIID a, REFIID b)
{
    return IsEqualGUID(a, b);
}
constexpr bool IsEqualCLSID(REFCLSID a, REFCLSID b)
{
    return IsEqualGUID(a, b);
}
constexpr bool operator==(REFGUID a, REFGUID b)
{
    return IsEqualGUID(a, b);
}

/// An order over identifiers, for keeping them in sorted containers.
inline bool operator<(REFGUID a, REFGUID b)
{
    return std::memcmp(&a, &b, sizeof(GUID)) < 0;
}

/// The four-character code of a media format, first character in the lowest byte.
constexpr DWORD MAKEFOURCC(char a, char b, char c, char d)
{
    return static_cast<DWORD>(static_cast<BYTE>(a)) | (static_cast<DWORD>(static_cast<BYTE>(b)) << 8) |
           (static_cast<DWORD>(static_cast<BYTE>(c)) << 16) |
           (static_cast<DWORD>(static_cast<BYTE>(d)) << 24);
}

/// The media subtype of a four-character code: {XXXXXXXX-0000-0010-8000-00AA00389B71} with the code as
/// the first field.
struct FOURCCMap : GUID
{
    constexpr explicit FOURCCMap(DWORD fourcc)
        : GUID{fourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}}
    {
    }
    constexpr DWORD GetFOURCC() const { return Data1; }
};

namespace platform::com
{
/// The registry form of an identifier: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hexadecimal.
PLATFORM_API std::string GuidToString(REFGUID guid);
/// Reads the registry form (either case, braces required); false, leaving *guid alone, for anything else.
PLATFORM_API bool GuidFromString(std::string_view text, GUID* guid);
} // namespace platform::com

template <> struct std::hash<GUID>
{
    std::size_t operator()(const GUID& g) const noexcept
    {
        std::size_t h = g.Data1;
        h = h * 31 + g.Data2;
        h = h * 31 + g.Data3;
        for (BYTE b : g.Data4)
            h = h * 31 + b;
        return h;
    }
};
