#include "Guid.h"

#include <cstdio>

namespace platform::com
{
std::string GuidToString(REFGUID guid)
{
    char text[39];
    std::snprintf(text, sizeof(text), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

namespace
{
int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

/// Reads `digits` hexadecimal digits at `pos`; false on any other character.
bool ReadHex(std::string_view text, std::size_t pos, int digits, unsigned long long* value)
{
    unsigned long long v = 0;
    for (int i = 0; i < digits; ++i)
    {
        const int d = HexDigit(text[pos + static_cast<std::size_t>(i)]);
        if (d < 0)
            return false;
        v = (v << 4) | static_cast<unsigned>(d);
    }
    *value = v;
    return true;
}
} // namespace

bool GuidFromString(std::string_view text, GUID* guid)
{
    if (!guid || text.size() != 38 || text.front() != '{' || text.back() != '}' || text[9] != '-' ||
        text[14] != '-' || text[19] != '-' || text[24] != '-')
        return false;
    GUID g{};
    unsigned long long v = 0;
    if (!ReadHex(text, 1, 8, &v))
        return false;
    g.Data1 = static_cast<DWORD>(v);
    if (!ReadHex(text, 10, 4, &v))
        return false;
    g.Data2 = static_cast<WORD>(v);
    if (!ReadHex(text, 15, 4, &v))
        return false;
    g.Data3 = static_cast<WORD>(v);
    static constexpr std::size_t kBytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i)
    {
        if (!ReadHex(text, kBytePos[i], 2, &v))
            return false;
        g.Data4[i] = static_cast<BYTE>(v);
    }
    *guid = g;
    return true;
}
} // namespace platform::com
