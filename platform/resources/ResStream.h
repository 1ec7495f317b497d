#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

/// The binary resource stream that windres writes (.res): a sequence of entries, each a header (data
/// size, header size, type, name, language...) followed by its data, every part aligned to 4 bytes.

namespace platform::resources
{
/// A resource type or name: a 16-bit number, or a text (kept as UTF-8, ASCII letters upper-cased, as
/// names are compared without case).
struct ResourceId
{
    bool isNumber = true;
    WORD number = 0;
    std::string text;

    /// From the form the Windows functions take: MAKEINTRESOURCE(n), "#n" for the number n, or a text.
    PLATFORM_API static ResourceId FromName(LPCSTR name);
    friend bool operator==(const ResourceId& a, const ResourceId& b)
    {
        return a.isNumber == b.isNumber && (a.isNumber ? a.number == b.number : a.text == b.text);
    }
};

/// One resource: its data points into the stream it was parsed from.
struct ResourceEntry
{
    ResourceId type;
    ResourceId name;
    WORD language = 0;
    const BYTE* data = nullptr;
    DWORD size = 0;
};

/// The result of parsing a stream: all entries, or none with an error text when the stream is damaged
/// anywhere (a half-read stream could hand out wrong data).
struct ParsedResources
{
    bool ok = false;
    std::string error;
    std::vector<ResourceEntry> entries;
};

/// Parses `size` bytes of a .res stream. Every read is checked against the bounds; a damaged or
/// hostile stream gives ok == false and an error text, never a read outside the bytes given. The entries
/// point into `data`, which must outlive them. An empty stream is valid and holds no resources.
PLATFORM_API ParsedResources ParseResStream(const BYTE* data, std::size_t size);

/// UTF-16 (little endian, `units` code units) to UTF-8; unpaired surrogates become U+FFFD.
PLATFORM_API std::string Utf16LeToUtf8(const BYTE* data, std::size_t units);
} // namespace platform::resources
