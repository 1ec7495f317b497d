#pragma once

#include "Export.h"
#include "WinTypes.h"

#include <cstdarg>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

/// The class library's string: a byte string holding UTF-8 text, with the members the system's classes
/// call. Positions and lengths count bytes. Out-of-range arguments are clamped as the class library
/// clamps them, never read or written past the end.
class PLATFORM_API CString
{
public:
    CString() = default;
    CString(const char* text);
    CString(const char* text, int length);
    CString(char ch, int repeat = 1);
    CString(std::string text) : m_text(std::move(text)) {}
    CString(std::string_view text) : m_text(text) {}

    operator const char*() const noexcept { return m_text.c_str(); }
    const char* GetString() const noexcept { return m_text.c_str(); }
    const std::string& Str() const noexcept { return m_text; }

    int GetLength() const noexcept { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const noexcept { return m_text.empty(); }
    void Empty() noexcept { m_text.clear(); }

    char GetAt(int index) const;
    void SetAt(int index, char ch);
    char operator[](int index) const { return GetAt(index); }

    CString Left(int count) const;
    CString Right(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString SpanIncluding(const char* charSet) const;
    CString SpanExcluding(const char* charSet) const;
    /// The next token after `start` delimited by any of `tokens`; `start` becomes -1 when none is left.
    CString Tokenize(const char* tokens, int& start) const;

    int Find(char ch, int start = 0) const noexcept;
    int Find(const char* sub, int start = 0) const noexcept;
    int ReverseFind(char ch) const noexcept;
    int FindOneOf(const char* charSet) const noexcept;

    int Replace(char oldCh, char newCh);
    int Replace(const char* oldText, const char* newText);
    int Remove(char ch);
    int Insert(int index, char ch);
    int Insert(int index, const char* text);
    int Delete(int index, int count = 1);

    CString& MakeUpper();
    CString& MakeLower();
    CString& MakeReverse();
    CString& Trim();
    CString& Trim(char target);
    CString& Trim(const char* targets);
    CString& TrimLeft();
    CString& TrimLeft(char target);
    CString& TrimLeft(const char* targets);
    CString& TrimRight();
    CString& TrimRight(char target);
    CString& TrimRight(const char* targets);

    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void FormatV(const char* format, va_list args) __attribute__((format(printf, 2, 0)));
    void AppendFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Append(const char* text) { m_text += text ? text : ""; }
    void AppendChar(char ch) { m_text += ch; }

    int Compare(const char* other) const noexcept;
    /// Compares ignoring the case of ASCII letters.
    int CompareNoCase(const char* other) const noexcept;

    /// A writable buffer of at least `minLength` bytes plus the terminator; ReleaseBuffer ends the access
    /// and takes the length from the terminator (or from `newLength` when it is not negative).
    char* GetBuffer(int minLength = 0);
    char* GetBufferSetLength(int length);
    void ReleaseBuffer(int newLength = -1);

    /// Loads the string `id` from the class library's resource module; false when there is none.
    /// Defined by the resources library, which callers of it link.
    BOOL LoadString(UINT id);
    BOOL LoadString(HINSTANCE module, UINT id);

    CString& operator=(const char* text);
    CString& operator+=(const CString& other);
    CString& operator+=(const char* text);
    CString& operator+=(char ch);

    friend bool operator==(const CString& a, const CString& b) { return a.m_text == b.m_text; }
    friend bool operator==(const CString& a, const char* b) { return a.m_text == (b ? b : ""); }
    friend bool operator<(const CString& a, const CString& b) { return a.m_text < b.m_text; }
    friend CString operator+(const CString& a, const CString& b) { return CString(a.m_text + b.m_text); }
    friend CString operator+(const CString& a, const char* b) { return CString(a.m_text + (b ? b : "")); }
    friend CString operator+(const char* a, const CString& b) { return CString((a ? a : "") + b.m_text); }
    friend CString operator+(const CString& a, char b) { return CString(a.m_text + b); }

private:
    std::string m_text;
};

PLATFORM_API std::ostream& operator<<(std::ostream& os, const CString& s);

template <> struct std::hash<CString>
{
    std::size_t operator()(const CString& s) const noexcept { return std::hash<std::string>{}(s.Str()); }
};

namespace platform
{
/// The longest prefix of `text` of at most `maxBytes` bytes that does not split a UTF-8 character.
PLATFORM_API std::string_view Utf8Prefix(std::string_view text, std::size_t maxBytes) noexcept;

/// Copies `text` into a buffer of `size` bytes with its terminator, cut at a UTF-8 character boundary
/// when it does not fit; returns the bytes copied without the terminator. A zero size copies nothing.
PLATFORM_API std::size_t CopyTruncated(char* buffer, std::size_t size, std::string_view text) noexcept;

/// UTF-8 to and from the wide strings that some interfaces fix.
PLATFORM_API std::wstring Utf8ToWide(std::string_view text);
PLATFORM_API std::string WideToUtf8(std::wstring_view text);
/// UTF-16 text, as resources and dialog templates store it, to UTF-8: surrogate pairs are joined and a lone
/// surrogate becomes U+FFFD.
PLATFORM_API std::string Utf16ToUtf8(std::u16string_view text);
/// Appends one code point as UTF-8; one that is not a character becomes U+FFFD.
PLATFORM_API void AppendUtf8(std::string& out, char32_t codePoint);
} // namespace platform
