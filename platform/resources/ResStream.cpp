#include "ResStream.h"

#include "platform/win/CString.h"

#include <cstdlib>
#include <cstring>

namespace platform::resources
{
namespace
{
WORD ReadWord(const BYTE* p)
{
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

DWORD ReadDword(const BYTE* p)
{
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
           (static_cast<DWORD>(p[3]) << 24);
}

void UpperAscii(std::string& text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
}

// Reads a type or name field at `pos` of a header ending at `end`; advances `pos` past it.
bool ReadId(const BYTE* base, std::size_t& pos, std::size_t end, ResourceId& id)
{
    if (end - pos < 2)
        return false;
    if (ReadWord(base + pos) == 0xFFFF)
    {
        if (end - pos < 4)
            return false;
        id.isNumber = true;
        id.number = ReadWord(base + pos + 2);
        pos += 4;
        return true;
    }
    const std::size_t start = pos;
    while (true)
    {
        if (end - pos < 2)
            return false; // no terminator inside the header
        if (ReadWord(base + pos) == 0)
            break;
        pos += 2;
    }
    id.isNumber = false;
    id.text = Utf16LeToUtf8(base + start, (pos - start) / 2);
    UpperAscii(id.text);
    pos += 2;
    return true;
}

std::size_t Align4(std::size_t v)
{
    return (v + 3) & ~static_cast<std::size_t>(3);
}
} // namespace

ResourceId ResourceId::FromName(LPCSTR name)
{
    ResourceId id;
    if (IS_INTRESOURCE(name))
    {
        id.number = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
        return id;
    }
    if (name[0] == '#')
    {
        char* end = nullptr;
        const unsigned long n = std::strtoul(name + 1, &end, 10);
        if (end != name + 1 && *end == '\0' && n <= 0xFFFF)
        {
            id.number = static_cast<WORD>(n);
            return id;
        }
    }
    id.isNumber = false;
    id.text = name;
    UpperAscii(id.text);
    return id;
}

std::string Utf16LeToUtf8(const BYTE* data, std::size_t units)
{
    std::u16string text(units, u'\0');
    for (std::size_t i = 0; i < units; ++i)
        text[i] = static_cast<char16_t>(ReadWord(data + 2 * i));
    return platform::Utf16ToUtf8(text);
}

ParsedResources ParseResStream(const BYTE* data, std::size_t size)
{
    ParsedResources result;
    auto fail = [&](std::size_t offset, const char* what)
    {
        result.entries.clear();
        result.error =
            std::string("damaged resource stream at offset ") + std::to_string(offset) + ": " + what;
        return result;
    };
    if (size > 0 && !data)
        return fail(0, "no data");
    // Fixed part after the names: data version, memory flags, language, version, characteristics.
    constexpr std::size_t kTail = 16;
    std::size_t offset = 0;
    while (offset < size)
    {
        if (size - offset < 8)
        {
            // The stream may end in alignment padding.
            for (std::size_t i = offset; i < size; ++i)
                if (data[i] != 0)
                    return fail(offset, "truncated entry header");
            break;
        }
        const DWORD dataSize = ReadDword(data + offset);
        const DWORD headerSize = ReadDword(data + offset + 4);
        if (headerSize < 8 + 4 + 4 + kTail || headerSize % 4 != 0)
            return fail(offset, "invalid header size");
        if (headerSize > size - offset)
            return fail(offset, "header runs past the end");
        const std::size_t headerEnd = offset + headerSize;
        std::size_t pos = offset + 8;
        ResourceEntry entry;
        if (!ReadId(data, pos, headerEnd, entry.type) || !ReadId(data, pos, headerEnd, entry.name))
            return fail(offset, "invalid type or name");
        pos = Align4(pos);
        if (pos > headerEnd || headerEnd - pos < kTail)
            return fail(offset, "header too short for its names");
        entry.language = ReadWord(data + pos + 6);
        if (dataSize > size - headerEnd)
            return fail(offset, "data runs past the end");
        entry.data = data + headerEnd;
        entry.size = dataSize;
        // The stream begins with an empty entry (type 0, name 0) that only marks the format.
        const bool marker = dataSize == 0 && entry.type.isNumber && entry.type.number == 0 &&
                            entry.name.isNumber && entry.name.number == 0;
        if (!marker)
            result.entries.push_back(std::move(entry));
        const std::size_t next = headerEnd + dataSize;
        offset = next >= size ? size : Align4(next);
    }
    result.ok = true;
    return result;
}
} // namespace platform::resources
