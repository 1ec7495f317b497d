#include "platform/shell/StrCmpLogical.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
struct OrderCase
{
    const char* name;
    const char* first;
    const char* second;
    int sign;
};

int Sign(int value)
{
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

std::wstring Wide(const char* utf8)
{
    // The table's texts are ASCII or spelled with escapes of single code points below.
    std::wstring wide;
    for (const char* p = utf8; *p; ++p)
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*p)));
    return wide;
}

class StrCmpLogicalTest : public testing::TestWithParam<OrderCase>
{
};

TEST_P(StrCmpLogicalTest, OrdersAsFileManagersDo)
{
    const OrderCase& c = GetParam();
    EXPECT_EQ(Sign(platform::shell::StrCmpLogical(c.first, c.second)), c.sign);
    EXPECT_EQ(Sign(platform::shell::StrCmpLogical(c.second, c.first)), -c.sign);
}

INSTANTIATE_TEST_SUITE_P(
    Table, StrCmpLogicalTest,
    testing::Values(OrderCase{"SmallerNumberFirst", "a9", "a10", -1},
                    OrderCase{"LeadingZerosDoNotChangeTheValue", "Pic-002", "Pic-10", -1},
                    OrderCase{"EqualValueMoreZerosFirst", "a01", "a1", -1},
                    OrderCase{"NumbersLongerThan64Bits", "n123456789012345678901234567890",
                              "n123456789012345678901234567891", -1},
                    OrderCase{"HugeRunAgainstSmallOne", "n99999999999999999999", "n100", 1},
                    OrderCase{"CaseIgnored", "ABC", "abc", 0},
                    OrderCase{"CaseIgnoredThenNumbers", "File10", "file9", 1},
                    OrderCase{"PrefixFirst", "abc", "abcd", -1},
                    OrderCase{"DigitsBeforeLetters", "1", "a", -1},
                    OrderCase{"NonAsciiFoldsCase", "\xC3\x84pfel", "\xC3\xA4PFEL", 0},
                    OrderCase{"NonAsciiAfterAscii", "\xC3\xA9t\xC3\xA9", "zed", 1},
                    OrderCase{"MultibyteThenNumber",
                              "\xE6\x97\xA5"
                              "2",
                              "\xE6\x97\xA5"
                              "10",
                              -1},
                    OrderCase{"InvalidBytesAfterCharacters", "a\xFF", "a\xF0\x9F\x98\x80", 1},
                    OrderCase{"EmptyFirst", "", "a", -1},
                    OrderCase{"SameText", "Vid-20261211-001.wmv", "Vid-20261211-001.wmv", 0}),
    [](const testing::TestParamInfo<OrderCase>& info) { return std::string(info.param.name); });

TEST(StrCmpLogicalWideTest, WideTextAndNullsOrderTheSameWay)
{
    EXPECT_LT(StrCmpLogicalW(Wide("x2").c_str(), Wide("x10").c_str()), 0);
    EXPECT_EQ(StrCmpLogicalW(Wide("Tavisk").c_str(), Wide("TAVISK").c_str()), 0);
    EXPECT_EQ(StrCmpLogicalW(L"\u00C4", L"\u00E4"), 0);
    EXPECT_LT(StrCmpLogicalW(nullptr, L"a"), 0);
    EXPECT_GT(StrCmpLogicalW(L"a", nullptr), 0);
    EXPECT_EQ(StrCmpLogicalW(nullptr, nullptr), 0);
}
} // namespace
