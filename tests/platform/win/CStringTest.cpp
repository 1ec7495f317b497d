#include "platform/win/CString.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(CStringTest, SubstringsClampOutOfRangeArguments)
{
    const CString s("Tavisk webcam");
    EXPECT_EQ(s.Left(6), "Tavisk");
    EXPECT_EQ(s.Left(100), "Tavisk webcam");
    EXPECT_EQ(s.Left(-1), "");
    EXPECT_EQ(s.Right(6), "webcam");
    EXPECT_EQ(s.Right(100), "Tavisk webcam");
    EXPECT_EQ(s.Mid(7), "webcam");
    EXPECT_EQ(s.Mid(7, 3), "web");
    EXPECT_EQ(s.Mid(50), "");
    EXPECT_EQ(s.Mid(-3, 2), "Ta");
    EXPECT_EQ(s.GetAt(100), '\0');
}

TEST(CStringTest, FindingAndEditing)
{
    CString s("a\\b\\\\c");
    EXPECT_EQ(s.Find('\\'), 1);
    EXPECT_EQ(s.Find("\\\\"), 3);
    EXPECT_EQ(s.Find('\\', 2), 3);
    EXPECT_EQ(s.Find('x'), -1);
    EXPECT_EQ(s.Find('a', 99), -1);
    EXPECT_EQ(s.ReverseFind('\\'), 4);
    EXPECT_EQ(s.Replace("\\\\", "\\"), 1);
    EXPECT_EQ(s, "a\\b\\c");
    EXPECT_EQ(s.Replace('\\', '/'), 2);
    EXPECT_EQ(s.Remove('/'), 2);
    EXPECT_EQ(s, "abc");
    s.Insert(1, "XY");
    s.Delete(0, 1);
    EXPECT_EQ(s, "XYbc");
    EXPECT_EQ(s.Replace("", "z"), 0);
}

TEST(CStringTest, TrimCaseAndCompare)
{
    CString s("  \tHello World \n");
    s.Trim();
    EXPECT_EQ(s, "Hello World");
    CString dots("..name..");
    dots.TrimLeft('.');
    EXPECT_EQ(dots, "name..");
    dots.TrimRight(".");
    EXPECT_EQ(dots, "name");
    EXPECT_EQ(CString("EnU").MakeUpper(), "ENU");
    EXPECT_EQ(CString("abc").CompareNoCase("ABC"), 0);
    EXPECT_LT(CString("abc").Compare("abd"), 0);
    EXPECT_GT(CString("b").Compare(nullptr), 0);
}

TEST(CStringTest, FormatGrowsToAnyLength)
{
    CString s;
    s.Format("%sPic-%d%.2d%.2d-%.3d", "/tmp/", 2026, 3, 7, 12);
    EXPECT_EQ(s, "/tmp/Pic-20260307-012");
    const std::string big(5000, 'x');
    s.Format("%s!", big.c_str());
    EXPECT_EQ(s.GetLength(), 5001);
    s.AppendFormat("%d", 42);
    EXPECT_EQ(s.Right(3), "!42");
}

TEST(CStringTest, BufferAccessTakesLengthFromTerminator)
{
    CString s;
    char* buf = s.GetBuffer(260);
    std::strcpy(buf, "folder");
    s.ReleaseBuffer();
    EXPECT_EQ(s.GetLength(), 6);
    EXPECT_EQ(s, "folder");
}

TEST(CStringTest, TokenizeWalksAllTokens)
{
    const CString s(";a;;bc;");
    int pos = 0;
    EXPECT_EQ(s.Tokenize(";", pos), "a");
    EXPECT_EQ(s.Tokenize(";", pos), "bc");
    EXPECT_EQ(s.Tokenize(";", pos), "");
    EXPECT_EQ(pos, -1);
}

struct TruncCase
{
    const char* name;
    std::string text;
    std::size_t size;
    std::string expected;
};

class CopyTruncatedTest : public testing::TestWithParam<TruncCase>
{
};

TEST_P(CopyTruncatedTest, CutsAtCharacterBoundaryAndTerminates)
{
    const auto& c = GetParam();
    char buffer[16];
    std::memset(buffer, 'Z', sizeof buffer);
    const std::size_t n = platform::CopyTruncated(buffer, c.size, c.text);
    EXPECT_EQ(std::string(buffer), c.expected);
    EXPECT_EQ(n, c.expected.size());
    // Nothing beyond the given size is touched.
    if (c.size < sizeof buffer)
    {
        EXPECT_EQ(buffer[c.size], 'Z');
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CopyTruncatedTest,
    testing::Values(TruncCase{"fits", "ENU", 4, "ENU"}, TruncCase{"ascii_cut", "ENGLISH", 4, "ENG"},
                    // "é" is two bytes: a 4-byte buffer holds "ab" and the terminator, not half of it.
                    TruncCase{"two_byte_char", "ab\xC3\xA9", 4, "ab"},
                    TruncCase{"three_byte_char", "a\xE2\x82\xAC", 3, "a"},
                    TruncCase{"four_byte_char", "\xF0\x9F\x93\xB7x", 4, ""},
                    TruncCase{"exact", "ab\xC3\xA9", 5, "ab\xC3\xA9"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CStringTest, WideConversionRoundTrips)
{
    const std::string text = "Caméra \xF0\x9F\x93\xB7";
    EXPECT_EQ(platform::WideToUtf8(platform::Utf8ToWide(text)), text);
    EXPECT_EQ(platform::Utf8ToWide("\xC3"), std::wstring(1, L'\xFFFD'));
}

TEST(CStringTest, Utf16JoinsSurrogatePairsAndReplacesLoneOnes)
{
    EXPECT_EQ(platform::Utf16ToUtf8(u"Cam\u00E9ra"), "Cam\xC3\xA9ra");
    EXPECT_EQ(platform::Utf16ToUtf8(u"\U0001F4F7"), "\xF0\x9F\x93\xB7");
    const char16_t lone[] = {u'a', char16_t(0xD83D), u'b', char16_t(0xDC00), 0};
    EXPECT_EQ(platform::Utf16ToUtf8(lone), "a\xEF\xBF\xBD"
                                           "b\xEF\xBF\xBD");
}
