#include "platform/resources/ResStream.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

using platform::resources::ParseResStream;
using platform::resources::ResourceId;

namespace
{
// Writes a .res stream the way windres lays it out.
class StreamWriter
{
public:
    StreamWriter() { Add(Id(0), Id(0), {}); }

    static std::u16string Id(WORD n) { return std::u16string{char16_t(0xFFFF), char16_t(n)}; }
    static std::u16string Name(const std::u16string& text) { return text + char16_t(0); }

    StreamWriter& Add(const std::u16string& type, const std::u16string& name, const std::vector<BYTE>& data,
                      WORD language = 0x409)
    {
        std::vector<BYTE> header;
        auto put16 = [&](WORD v)
        {
            header.push_back(static_cast<BYTE>(v));
            header.push_back(static_cast<BYTE>(v >> 8));
        };
        auto put32 = [&](DWORD v)
        {
            put16(static_cast<WORD>(v));
            put16(static_cast<WORD>(v >> 16));
        };
        for (char16_t c : type)
            put16(c);
        for (char16_t c : name)
            put16(c);
        while ((header.size() + 8) % 4)
            header.push_back(0);
        put32(0);
        put16(0x1030);
        put16(language);
        put32(0);
        put32(0);
        const DWORD headerSize = static_cast<DWORD>(header.size() + 8);
        auto put32To = [&](std::vector<BYTE>& to, DWORD v)
        {
            for (int i = 0; i < 4; ++i)
                to.push_back(static_cast<BYTE>(v >> (8 * i)));
        };
        put32To(bytes, static_cast<DWORD>(data.size()));
        put32To(bytes, headerSize);
        bytes.insert(bytes.end(), header.begin(), header.end());
        bytes.insert(bytes.end(), data.begin(), data.end());
        while (bytes.size() % 4)
            bytes.push_back(0);
        return *this;
    }

    std::vector<BYTE> bytes;
};

std::vector<BYTE> SampleStream()
{
    StreamWriter w;
    w.Add(StreamWriter::Id(6), StreamWriter::Id(1), {0, 0, 5, 0, 'H', 0, 'e', 0, 'l', 0, 'l', 0, 'o', 0});
    w.Add(StreamWriter::Name(u"PNG"), StreamWriter::Name(u"Logo"), {0x89, 'P', 'N', 'G', 1});
    w.Add(StreamWriter::Id(10), StreamWriter::Id(500), {1, 2, 3});
    return w.bytes;
}

void SetDword(std::vector<BYTE>& b, std::size_t at, DWORD v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<BYTE>(v >> (8 * i));
}

// Offset of the second entry (the first after the format marker).
constexpr std::size_t kFirstEntry = 32;
} // namespace

TEST(ResStreamTest, ReadsNumberedAndNamedEntriesAndSkipsTheMarker)
{
    const auto bytes = SampleStream();
    const auto parsed = ParseResStream(bytes.data(), bytes.size());
    ASSERT_TRUE(parsed.ok) << parsed.error;
    ASSERT_EQ(parsed.entries.size(), 3u);
    EXPECT_EQ(parsed.entries[0].type, ResourceId::FromName(MAKEINTRESOURCE(6)));
    EXPECT_EQ(parsed.entries[0].size, 14u);
    EXPECT_EQ(parsed.entries[1].type, ResourceId::FromName("png"));
    EXPECT_EQ(parsed.entries[1].name, ResourceId::FromName("LOGO"));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(parsed.entries[1].data), 4), "\x89PNG");
    EXPECT_EQ(parsed.entries[2].name, ResourceId::FromName("#500"));
    EXPECT_EQ(parsed.entries[2].language, 0x409);
    // The last entry's data ends the stream without padding.
    const auto trimmed = std::vector<BYTE>(bytes.begin(), bytes.end() - 1);
    EXPECT_TRUE(ParseResStream(trimmed.data(), trimmed.size()).ok);
}

TEST(ResStreamTest, EmptyStreamHoldsNoResources)
{
    const auto parsed = ParseResStream(nullptr, 0);
    EXPECT_TRUE(parsed.ok);
    EXPECT_TRUE(parsed.entries.empty());
}

struct DamageCase
{
    const char* name;
    std::function<void(std::vector<BYTE>&)> damage;
    friend void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }
};

class ResStreamDamageTest : public testing::TestWithParam<DamageCase>
{
};

TEST_P(ResStreamDamageTest, IsRejectedWithAnError)
{
    auto bytes = SampleStream();
    GetParam().damage(bytes);
    const auto parsed = ParseResStream(bytes.data(), bytes.size());
    EXPECT_FALSE(parsed.ok);
    EXPECT_FALSE(parsed.error.empty());
    EXPECT_TRUE(parsed.entries.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResStreamDamageTest,
    testing::Values(DamageCase{"DataRunsPastTheEnd", [](auto& b) { SetDword(b, kFirstEntry, 0xFFFFFFF0u); }},
                    DamageCase{"HeaderRunsPastTheEnd",
                               [](auto& b) { SetDword(b, kFirstEntry + 4, 0x7FFFFFF0u); }},
                    DamageCase{"HeaderTooSmall", [](auto& b) { SetDword(b, kFirstEntry + 4, 8); }},
                    DamageCase{"HeaderSizeUnaligned", [](auto& b) { SetDword(b, kFirstEntry + 4, 34); }},
                    DamageCase{"NameWithoutTerminator",
                               [](auto& b)
                               {
                                   // A text type filling the whole header, with no terminator in it.
                                   for (std::size_t i = kFirstEntry + 8; i < kFirstEntry + 32; ++i)
                                       b[i] = 'A';
                               }},
                    DamageCase{"TruncatedHeader", [](auto& b) { b.resize(kFirstEntry + 6); }},
                    DamageCase{"TrailingGarbage",
                               [](auto& b) {
                                   b.insert(b.end(), {1, 2, 3});
                               }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ResStreamTest, EveryTruncationAndByteFlipIsHandled)
{
    const auto bytes = SampleStream();
    for (std::size_t n = 0; n < bytes.size(); ++n)
    {
        const std::vector<BYTE> prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        const auto parsed = ParseResStream(prefix.data(), prefix.size());
        for (const auto& e : parsed.entries)
            EXPECT_LE(e.data + e.size, prefix.data() + prefix.size()) << "prefix " << n;
    }
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round)
    {
        auto damaged = bytes;
        for (int flips = 0; flips < 3; ++flips)
            damaged[random() % damaged.size()] = static_cast<BYTE>(random());
        const auto parsed = ParseResStream(damaged.data(), damaged.size());
        for (const auto& e : parsed.entries)
        {
            EXPECT_GE(e.data, damaged.data());
            EXPECT_LE(e.data + e.size, damaged.data() + damaged.size()) << "round " << round;
        }
    }
}
