#include "CString.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <vector>

namespace
{
constexpr const char* kWhitespace = " \t\r\n\v\f";

int Clamp(int value, int low, int high)
{
    return std::max(low, std::min(value, high));
}
} // namespace

CString::CString(const char* text) : m_text(text ? text : "") {}

CString::CString(const char* text, int length)
{
    if (text && length > 0)
        m_text.assign(text, static_cast<std::size_t>(length));
}

CString::CString(char ch, int repeat)
{
    if (repeat > 0)
        m_text.assign(static_cast<std::size_t>(repeat), ch);
}

char CString::GetAt(int index) const
{
    if (index < 0 || index >= GetLength())
        return '\0';
    return m_text[static_cast<std::size_t>(index)];
}

void CString::SetAt(int index, char ch)
{
    if (index >= 0 && index < GetLength())
        m_text[static_cast<std::size_t>(index)] = ch;
}

CString CString::Left(int count) const
{
    return CString(m_text.substr(0, static_cast<std::size_t>(Clamp(count, 0, GetLength()))));
}

CString CString::Right(int count) const
{
    const int n = Clamp(count, 0, GetLength());
    return CString(m_text.substr(static_cast<std::size_t>(GetLength() - n)));
}

CString CString::Mid(int first) const
{
    return Mid(first, GetLength());
}

CString CString::Mid(int first, int count) const
{
    const int start = Clamp(first, 0, GetLength());
    const int n = Clamp(count, 0, GetLength() - start);
    return CString(m_text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(n)));
}

CString CString::SpanIncluding(const char* charSet) const
{
    const std::size_t n = m_text.find_first_not_of(charSet ? charSet : "");
    return CString(m_text.substr(0, n));
}

CString CString::SpanExcluding(const char* charSet) const
{
    const std::size_t n = m_text.find_first_of(charSet ? charSet : "");
    return CString(m_text.substr(0, n));
}

CString CString::Tokenize(const char* tokens, int& start) const
{
    const std::string delims = tokens ? tokens : "";
    if (start < 0 || start >= GetLength())
    {
        start = -1;
        return CString();
    }
    const std::size_t begin = m_text.find_first_not_of(delims, static_cast<std::size_t>(start));
    if (begin == std::string::npos)
    {
        start = -1;
        return CString();
    }
    std::size_t end = m_text.find_first_of(delims, begin);
    if (end == std::string::npos)
        end = m_text.size();
    start = static_cast<int>(std::min(end + 1, m_text.size() + 1));
    return CString(m_text.substr(begin, end - begin));
}

int CString::Find(char ch, int start) const noexcept
{
    if (start < 0 || start >= GetLength())
        return -1;
    const std::size_t pos = m_text.find(ch, static_cast<std::size_t>(start));
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(const char* sub, int start) const noexcept
{
    if (!sub || start < 0 || start > GetLength())
        return -1;
    const std::size_t pos = m_text.find(sub, static_cast<std::size_t>(start));
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(char ch) const noexcept
{
    const std::size_t pos = m_text.rfind(ch);
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::FindOneOf(const char* charSet) const noexcept
{
    const std::size_t pos = m_text.find_first_of(charSet ? charSet : "");
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::Replace(char oldCh, char newCh)
{
    int count = 0;
    for (char& c : m_text)
    {
        if (c == oldCh)
        {
            c = newCh;
            ++count;
        }
    }
    return count;
}

int CString::Replace(const char* oldText, const char* newText)
{
    if (!oldText || !*oldText)
        return 0;
    const std::string from = oldText;
    const std::string to = newText ? newText : "";
    int count = 0;
    std::string result;
    std::size_t pos = 0;
    for (std::size_t hit; (hit = m_text.find(from, pos)) != std::string::npos; pos = hit + from.size())
    {
        result.append(m_text, pos, hit - pos);
        result += to;
        ++count;
    }
    result.append(m_text, pos);
    m_text = std::move(result);
    return count;
}

int CString::Remove(char ch)
{
    const auto before = m_text.size();
    std::erase(m_text, ch);
    return static_cast<int>(before - m_text.size());
}

int CString::Insert(int index, char ch)
{
    m_text.insert(static_cast<std::size_t>(Clamp(index, 0, GetLength())), 1, ch);
    return GetLength();
}

int CString::Insert(int index, const char* text)
{
    m_text.insert(static_cast<std::size_t>(Clamp(index, 0, GetLength())), text ? text : "");
    return GetLength();
}

int CString::Delete(int index, int count)
{
    const int start = Clamp(index, 0, GetLength());
    const int n = Clamp(count, 0, GetLength() - start);
    m_text.erase(static_cast<std::size_t>(start), static_cast<std::size_t>(n));
    return GetLength();
}

CString& CString::MakeUpper()
{
    for (char& c : m_text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return *this;
}

CString& CString::MakeLower()
{
    for (char& c : m_text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return *this;
}

CString& CString::MakeReverse()
{
    std::reverse(m_text.begin(), m_text.end());
    return *this;
}

CString& CString::Trim()
{
    return TrimRight().TrimLeft();
}

CString& CString::Trim(char target)
{
    return TrimRight(target).TrimLeft(target);
}

CString& CString::Trim(const char* targets)
{
    return TrimRight(targets).TrimLeft(targets);
}

CString& CString::TrimLeft()
{
    return TrimLeft(kWhitespace);
}

CString& CString::TrimLeft(char target)
{
    const char set[2] = {target, '\0'};
    return TrimLeft(set);
}

CString& CString::TrimLeft(const char* targets)
{
    const std::size_t n = m_text.find_first_not_of(targets ? targets : "");
    m_text.erase(0, n == std::string::npos ? m_text.size() : n);
    return *this;
}

CString& CString::TrimRight()
{
    return TrimRight(kWhitespace);
}

CString& CString::TrimRight(char target)
{
    const char set[2] = {target, '\0'};
    return TrimRight(set);
}

CString& CString::TrimRight(const char* targets)
{
    const std::size_t n = m_text.find_last_not_of(targets ? targets : "");
    m_text.erase(n == std::string::npos ? 0 : n + 1);
    return *this;
}

void CString::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::FormatV(const char* format, va_list args)
{
    if (!format)
    {
        m_text.clear();
        return;
    }
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed < 0)
    {
        m_text.clear();
        return;
    }
    std::vector<char> buffer(static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    m_text.assign(buffer.data(), static_cast<std::size_t>(needed));
}

void CString::AppendFormat(const char* format, ...)
{
    CString tail;
    va_list args;
    va_start(args, format);
    tail.FormatV(format, args);
    va_end(args);
    m_text += tail.m_text;
}

int CString::Compare(const char* other) const noexcept
{
    const int r = std::strcmp(m_text.c_str(), other ? other : "");
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CString::CompareNoCase(const char* other) const noexcept
{
    const int r = strcasecmp(m_text.c_str(), other ? other : "");
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

char* CString::GetBuffer(int minLength)
{
    if (minLength > GetLength())
        m_text.resize(static_cast<std::size_t>(minLength));
    return m_text.data();
}

char* CString::GetBufferSetLength(int length)
{
    m_text.resize(static_cast<std::size_t>(std::max(length, 0)));
    return m_text.data();
}

void CString::ReleaseBuffer(int newLength)
{
    if (newLength < 0)
        m_text.resize(std::strlen(m_text.c_str()));
    else
        m_text.resize(std::min(static_cast<std::size_t>(newLength), m_text.size()));
}

CString& CString::operator=(const char* text)
{
    m_text = text ? text : "";
    return *this;
}

CString& CString::operator+=(const CString& other)
{
    m_text += other.m_text;
    return *this;
}

CString& CString::operator+=(const char* text)
{
    m_text += text ? text : "";
    return *this;
}

CString& CString::operator+=(char ch)
{
    m_text += ch;
    return *this;
}

std::ostream& operator<<(std::ostream& os, const CString& s)
{
    return os << s.Str();
}

namespace platform
{
std::string_view Utf8Prefix(std::string_view text, std::size_t maxBytes) noexcept
{
    if (text.size() <= maxBytes)
        return text;
    std::size_t end = maxBytes;
    // Step back over continuation bytes to the lead byte of the character that would be split.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

std::size_t CopyTruncated(char* buffer, std::size_t size, std::string_view text) noexcept
{
    if (!buffer || size == 0)
        return 0;
    const std::string_view part = Utf8Prefix(text, size - 1);
    std::memcpy(buffer, part.data(), part.size());
    buffer[part.size()] = '\0';
    return part.size();
}

std::wstring Utf8ToWide(std::string_view text)
{
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();)
    {
        const auto c = static_cast<unsigned char>(text[i]);
        char32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (c < 0x80)
            cp = c;
        else if ((c & 0xE0) == 0xC0)
            len = 2, cp = c & 0x1F;
        else if ((c & 0xF0) == 0xE0)
            len = 3, cp = c & 0x0F;
        else if ((c & 0xF8) == 0xF0)
            len = 4, cp = c & 0x07;
        if (len > 1)
        {
            if (i + len > text.size())
            {
                cp = 0xFFFD;
                len = text.size() - i;
            }
            else
            {
                for (std::size_t k = 1; k < len; ++k)
                {
                    const auto cc = static_cast<unsigned char>(text[i + k]);
                    if ((cc & 0xC0) != 0x80)
                    {
                        cp = 0xFFFD;
                        len = k;
                        break;
                    }
                    cp = (cp << 6) | (cc & 0x3F);
                }
            }
        }
        out.push_back(static_cast<wchar_t>(cp));
        i += len;
    }
    return out;
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp < 0x80)
        out += static_cast<char>(cp);
    else if (cp < 0x800)
    {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    else if (cp < 0x10000)
    {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    else
    {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string WideToUtf8(std::wstring_view text)
{
    std::string out;
    out.reserve(text.size());
    for (wchar_t wc : text)
        AppendUtf8(out, static_cast<char32_t>(wc));
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        AppendUtf8(out, c);
    }
    return out;
}
} // namespace platform
