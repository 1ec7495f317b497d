#include "platform/shell/StrCmpLogical.h"

#include "platform/shell/ShellInternal.h"

#include <QChar>

#include <string>
#include <string_view>

namespace
{
bool IsDigit(char32_t c)
{
    return c >= U'0' && c <= U'9';
}

/// The case-folded code point; the escaped bytes of invalid UTF-8 sort after every character.
char32_t Folded(char32_t c)
{
    if (c >= 0xDC80 && c <= 0xDCFF)
        return 0x110000 + (c - 0xDC80);
    return QChar::toCaseFolded(c);
}

int Compare(std::wstring_view a, std::wstring_view b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    int zeros = 0; // the first difference in leading zeros, decided only when all else is equal
    while (i < a.size() && j < b.size())
    {
        const auto ca = static_cast<char32_t>(a[i]);
        const auto cb = static_cast<char32_t>(b[j]);
        if (IsDigit(ca) && IsDigit(cb))
        {
            // Digit runs compare by value without converting them, so that no length overflows.
            std::size_t si = i;
            std::size_t sj = j;
            while (si < a.size() && a[si] == L'0')
                ++si;
            while (sj < b.size() && b[sj] == L'0')
                ++sj;
            std::size_t ei = si;
            std::size_t ej = sj;
            while (ei < a.size() && IsDigit(static_cast<char32_t>(a[ei])))
                ++ei;
            while (ej < b.size() && IsDigit(static_cast<char32_t>(b[ej])))
                ++ej;
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? -1 : 1;
            const int digits = a.substr(si, ei - si).compare(b.substr(sj, ej - sj));
            if (digits != 0)
                return digits < 0 ? -1 : 1;
            if (zeros == 0 && si - i != sj - j)
                zeros = si - i > sj - j ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        const char32_t fa = Folded(ca);
        const char32_t fb = Folded(cb);
        if (fa != fb)
            return fa < fb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return zeros;
}
} // namespace

int StrCmpLogicalW(LPCWSTR first, LPCWSTR second)
{
    if (!first || !second)
        return first == second ? 0 : (first ? 1 : -1);
    return Compare(first, second);
}

namespace platform::shell
{
int StrCmpLogical(const char* first, const char* second)
{
    if (!first || !second)
        return first == second ? 0 : (first ? 1 : -1);
    return Compare(detail::WideFromUtf8(first), detail::WideFromUtf8(second));
}
} // namespace platform::shell
