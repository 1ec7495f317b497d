#include "KestavoTestSupport.h"

#include "kestavo/AviHeaders.h"
#include "kestavo/FourCCTable.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/stat.h>

using namespace transcoder;
using namespace kestavo_test;

namespace
{
// A small RIFF writer for AVI headers, so that every field and every size can be set, right or wrong.
std::string Le32(std::uint32_t v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

std::string Chunk(const std::string& id, const std::string& data, std::optional<std::uint32_t> size = {})
{
    std::string c = id + Le32(size.value_or(static_cast<std::uint32_t>(data.size()))) + data;
    if (data.size() % 2)
        c += '\0';
    return c;
}

std::string List(const std::string& type, const std::string& content, std::optional<std::uint32_t> size = {})
{
    return Chunk("LIST", type + content, size);
}

std::string Avih(std::uint32_t width, std::uint32_t height, std::uint32_t frames)
{
    std::string d(56, '\0');
    std::memcpy(&d[16], Le32(frames).data(), 4);
    std::memcpy(&d[24], Le32(1).data(), 4);
    std::memcpy(&d[32], Le32(width).data(), 4);
    std::memcpy(&d[36], Le32(height).data(), 4);
    return Chunk("avih", d);
}

std::string Strh(const std::string& type, const std::string& handler, std::uint32_t scale, std::uint32_t rate,
                 std::uint32_t length)
{
    std::string d(56, '\0');
    std::memcpy(&d[0], type.data(), 4);
    std::memcpy(&d[4], handler.data(), 4);
    std::memcpy(&d[20], Le32(scale).data(), 4);
    std::memcpy(&d[24], Le32(rate).data(), 4);
    std::memcpy(&d[32], Le32(length).data(), 4);
    return Chunk("strh", d);
}

std::string Strl(const std::string& type, const std::string& handler, std::uint32_t scale = 1,
                 std::uint32_t rate = 15, std::uint32_t length = 30)
{
    return List("strl", Strh(type, handler, scale, rate, length) + Chunk("strf", std::string(40, '\0')));
}

std::string Riff(const std::string& content, std::optional<std::uint32_t> size = {})
{
    return "RIFF" + Le32(size.value_or(static_cast<std::uint32_t>(content.size() + 4))) + "AVI " + content;
}

std::string SimpleAvi(const std::string& streams, std::uint32_t width = 320, std::uint32_t height = 240)
{
    return Riff(List("hdrl", Avih(width, height, 30) + streams) + List("movi", Chunk("00dc", "frame")));
}

class GetInfoTest : public testing::Test
{
protected:
    VideoFileInfo Info(const std::filesystem::path& path) { return lib.get_info(path.c_str()); }
    VideoFileInfo InfoOf(const std::string& bytes) { return Info(dir.WriteFile("file.avi", bytes)); }

    KestavoLibrary lib;
    testing_support::TempDir dir;
};

void ExpectDefaults(const VideoFileInfo& info)
{
    EXPECT_STREQ(info.container, "N/A");
    EXPECT_STREQ(info.codec, "N/A");
    EXPECT_STREQ(info.duration, "N/A");
    EXPECT_EQ(info.width, 0);
    EXPECT_EQ(info.height, 0);
    EXPECT_EQ(info.reserved, 0);
    EXPECT_EQ(info.frameRate, 0.0);
    EXPECT_EQ(info.seconds, 0.0f);
    EXPECT_FALSE(info.valid);
    EXPECT_EQ(info.fourcc, 0u);
}

TEST(FourCCTableTest, HasItsRowsInOrderAndFirstMatchWins)
{
    EXPECT_EQ(kFourCCTableSize, 242u);
    EXPECT_EQ(g_fourCCTable[0].code, MakeFourCC('D', 'I', 'B', ' '));
    EXPECT_STREQ(g_fourCCTable[12].name, "Cinepak by Supermac");
    EXPECT_STREQ(FindCodecName(MakeFourCC('C', 'V', 'I', 'D')), "Cinepak by Supermac");
    EXPECT_STREQ(FindCodecName(MakeFourCC('c', 'v', 'i', 'd')), "Cinepak Codec by Radius");
    EXPECT_STREQ(FindCodecName(MakeFourCC('W', 'M', 'V', 'I')), "Windows Media Video V7");
    EXPECT_EQ(FindCodecName(MakeFourCC('W', 'M', 'V', '1')), nullptr);
    EXPECT_STREQ(g_fourCCTable[kFourCCTableSize - 1].name, "XING MPEG I-frame");
    for (const FourCCEntry& entry : g_fourCCTable)
        EXPECT_TRUE(std::strlen(entry.name) <= 31 || entry.code == MakeFourCC('B', 'W', '1', '0'))
            << entry.name;
}

struct TimingCase
{
    const char* name;
    std::uint32_t scale;
    std::uint32_t rate;
    std::uint32_t length;
    double frameRate;
    const char* duration;
    float seconds;
};

void PrintTo(const TimingCase& c, std::ostream* os)
{
    *os << c.name;
}

class GetInfoTimingTest : public GetInfoTest, public testing::WithParamInterface<TimingCase>
{
};

TEST_P(GetInfoTimingTest, DurationCountsWholeFramesPerSecond)
{
    const TimingCase& c = GetParam();
    const VideoFileInfo info = InfoOf(SimpleAvi(Strl("vids", "MJPG", c.scale, c.rate, c.length)));
    EXPECT_TRUE(info.valid);
    EXPECT_STREQ(info.container, "AVI");
    EXPECT_NEAR(info.frameRate, c.frameRate, 1e-9);
    EXPECT_STREQ(info.duration, c.duration);
    EXPECT_EQ(info.seconds, c.seconds);
    EXPECT_EQ(info.width, 320);
    EXPECT_EQ(info.height, 240);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, GetInfoTimingTest,
    testing::Values(TimingCase{"Rate15", 1, 15, 1350, 15.0, "00:01:30", 90.0f},
                    TimingCase{"Ntsc", 1001, 30000, 1800, 30000.0 / 1001.0, "00:01:02", 62.0f},
                    TimingCase{"Hours", 1, 25, 25 * 3725, 25.0, "01:02:05", 3725.0f},
                    TimingCase{"ScaleZero", 0, 15, 1350, 0.0, "N/A", 0.0f},
                    TimingCase{"BelowOnePerSecond", 2, 1, 100, 0.5, "N/A", 0.0f},
                    TimingCase{"LongestLength", 1, 1, 0xFFFFFFFFu, 1.0, "596523:14:07", 2147483647.0f}),
    [](const testing::TestParamInfo<TimingCase>& info) { return info.param.name; });

TEST_F(GetInfoTest, CodecComesFromTheTableAndTheLastVideoStream)
{
    struct Case
    {
        std::string streams;
        const char* codec;
        DWORD fourcc;
    };
    const Case cases[] = {
        {Strl("vids", "CVID"), "Cinepak by Supermac", MakeFourCC('C', 'V', 'I', 'D')},
        {Strl("vids", "cvid"), "Cinepak Codec by Radius", MakeFourCC('c', 'v', 'i', 'd')},
        {Strl("vids", "MJPG"), "Motion JPEG DIB", MakeFourCC('M', 'J', 'P', 'G')},
        {Strl("vids", "BW10"), "Data Translation Broadway MPEG ", MakeFourCC('B', 'W', '1', '0')},
        {Strl("vids", "ABCD"), "N/A", MakeFourCC('A', 'B', 'C', 'D')},
        {Strl("auds", "\x01\0\0\0") + Strl("vids", "XVID"), "XVID", MakeFourCC('X', 'V', 'I', 'D')},
        {Strl("vids", "XVID") + Strl("vids", "MJPG"), "Motion JPEG DIB", MakeFourCC('M', 'J', 'P', 'G')},
        {Strl("auds", "\x01\0\0\0"), "N/A", 0},
        {"", "N/A", 0},
    };
    for (const Case& c : cases)
    {
        const VideoFileInfo info = InfoOf(SimpleAvi(c.streams));
        EXPECT_TRUE(info.valid);
        EXPECT_STREQ(info.codec, c.codec);
        EXPECT_EQ(info.fourcc, c.fourcc);
    }
}

struct RealCase
{
    const char* name;
    const char* codec;
    const char* tag; // null: the converter's own
    const char* expectedCodec;
    DWORD expectedFourCC;
};

void PrintTo(const RealCase& c, std::ostream* os)
{
    *os << c.name;
}

class GetInfoRealFileTest : public GetInfoTest, public testing::WithParamInterface<RealCase>
{
};

TEST_P(GetInfoRealFileTest, ReadsTheConvertersAvi)
{
    const RealCase& c = GetParam();
    std::vector<std::string> options = {"-c:v", c.codec};
    if (c.tag)
        options.insert(options.end(), {"-vtag", c.tag});
    if (std::string(c.codec) == "rawvideo")
        options.insert(options.end(), {"-pix_fmt", "bgr24"});
    const auto path = dir / "clip.avi";
    MakeClip(path, {"-f", "lavfi", "-i", "testsrc=duration=2:size=64x48:rate=15"}, options);
    const VideoFileInfo info = Info(path);
    EXPECT_TRUE(info.valid);
    EXPECT_STREQ(info.container, "AVI");
    EXPECT_EQ(info.width, 64);
    EXPECT_EQ(info.height, 48);
    EXPECT_DOUBLE_EQ(info.frameRate, 15.0);
    EXPECT_STREQ(info.duration, "00:00:02");
    EXPECT_EQ(info.seconds, 2.0f);
    EXPECT_STREQ(info.codec, c.expectedCodec);
    EXPECT_EQ(info.fourcc, c.expectedFourCC);
}

INSTANTIATE_TEST_SUITE_P(
    Converter, GetInfoRealFileTest,
    testing::Values(RealCase{"Xvid", "mpeg4", "XVID", "XVID", MakeFourCC('X', 'V', 'I', 'D')},
                    RealCase{"Divx", "mpeg4", "DIVX", "DIVX", MakeFourCC('D', 'I', 'V', 'X')},
                    RealCase{"Dx50", "mpeg4", "DX50", "DIVX", MakeFourCC('D', 'X', '5', '0')},
                    RealCase{"Fmp4NotInTable", "mpeg4", nullptr, "N/A", MakeFourCC('F', 'M', 'P', '4')},
                    RealCase{"Mjpeg", "mjpeg", nullptr, "Motion JPEG DIB", MakeFourCC('M', 'J', 'P', 'G')},
                    RealCase{"Wmv2", "wmv2", nullptr, "Windows Media Video V8",
                             MakeFourCC('W', 'M', 'V', '2')},
                    RealCase{"Mp43", "msmpeg4v3", "MP43", "Microsoft MPEG-4 video codec V3",
                             MakeFourCC('M', 'P', '4', '3')},
                    RealCase{"Uncompressed", "rawvideo", nullptr, "N/A", 0}),
    [](const testing::TestParamInfo<RealCase>& info) { return info.param.name; });

TEST_F(GetInfoTest, TwoRealVideoStreamsReportTheSecond)
{
    const auto path = dir / "two.avi";
    MakeClip(path,
             {"-f", "lavfi", "-i", "testsrc=duration=1:size=64x48:rate=15", "-f", "lavfi", "-i",
              "testsrc=duration=1:size=32x24:rate=15"},
             {"-map", "0", "-map", "1", "-c:v", "mpeg4", "-tag:v:0", "XVID", "-tag:v:1", "DX50"});
    const VideoFileInfo info = Info(path);
    EXPECT_TRUE(info.valid);
    EXPECT_EQ(info.fourcc, MakeFourCC('D', 'X', '5', '0'));
}

TEST_F(GetInfoTest, NonAviMissingAndNullGiveTheDefaults)
{
    const auto mp4 = dir / "clip.mp4";
    MakeClip(mp4, {"-f", "lavfi", "-i", "testsrc=duration=1:size=64x48:rate=15"}, {"-c:v", "mpeg4"});
    ExpectDefaults(Info(mp4));
    ExpectDefaults(Info(dir / "missing.avi"));
    ExpectDefaults(lib.get_info(nullptr));
    ExpectDefaults(Info(dir.Path()));
    EXPECT_TRUE(lib.check_valid_psp(nullptr));
}

TEST_F(GetInfoTest, TruncatedRealAviIsValidOnlyWithItsWholeHeaders)
{
    const auto path = dir / "clip.avi";
    MakeClip(path, {"-f", "lavfi", "-i", "testsrc=duration=2:size=64x48:rate=15"},
             {"-c:v", "mpeg4", "-vtag", "XVID"});
    const std::string whole = testing_support::ReadFile(path);
    ASSERT_EQ(whole.substr(12, 4), "LIST");
    ASSERT_EQ(whole.substr(20, 4), "hdrl");
    const std::size_t headersEnd = 20 + static_cast<unsigned char>(whole[16]) +
                                   (static_cast<unsigned char>(whole[17]) << 8) +
                                   (static_cast<unsigned char>(whole[18]) << 16);
    ASSERT_LT(headersEnd, whole.size() / 2);
    // Cut inside the frames: the headers are all there.
    const VideoFileInfo cut = InfoOf(whole.substr(0, whole.size() / 2));
    EXPECT_TRUE(cut.valid);
    EXPECT_STREQ(cut.codec, "XVID");
    EXPECT_TRUE(InfoOf(whole.substr(0, headersEnd)).valid);
    // Cut inside the headers, even after the main header: not a video to report on.
    for (const std::size_t length : {headersEnd - 1, std::size_t{100}, std::size_t{40}})
        ExpectDefaults(InfoOf(whole.substr(0, length)));
}

TEST_F(GetInfoTest, FifoIsRefusedWithoutWaitingForAWriter)
{
    const auto fifo = dir / "pipe.avi";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ExpectDefaults(Info(fifo));
}

struct HostileCase
{
    const char* name;
    std::string bytes;
    bool valid;
    const char* codec;
};

void PrintTo(const HostileCase& c, std::ostream* os)
{
    *os << c.name;
}

class GetInfoHostileTest : public GetInfoTest, public testing::WithParamInterface<HostileCase>
{
};

TEST_P(GetInfoHostileTest, DamagedHeadersNeverReadOutOfBounds)
{
    const HostileCase& c = GetParam();
    const VideoFileInfo info = InfoOf(c.bytes);
    EXPECT_EQ(info.valid, c.valid);
    // Nothing of a refused file comes through, whatever its headers claim.
    if (!c.valid)
        ExpectDefaults(info);
    EXPECT_STREQ(info.container, c.valid ? "AVI" : "N/A");
    EXPECT_STREQ(info.codec, c.codec);
    // Every text stays terminated inside its field.
    EXPECT_LT(strnlen(info.container, sizeof info.container), sizeof info.container);
    EXPECT_LT(strnlen(info.codec, sizeof info.codec), sizeof info.codec);
    EXPECT_LT(strnlen(info.duration, sizeof info.duration), sizeof info.duration);
}

std::string ManyEmptyChunks(int count)
{
    std::string s;
    for (int i = 0; i < count; ++i)
        s += Chunk("JUNK", "");
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Corruptions, GetInfoHostileTest,
    testing::Values(
        HostileCase{"Empty", "", false, "N/A"}, HostileCase{"RiffOnly", "RIFF", false, "N/A"},
        HostileCase{"WaveForm", "RIFF" + Le32(4) + "WAVE", false, "N/A"},
        HostileCase{"HeaderOnly", Riff(""), false, "N/A"},
        HostileCase{"RiffClaimsFourGigabytes",
                    Riff(List("hdrl", Avih(320, 240, 30) + Strl("vids", "XVID")), 0xFFFFFFFFu), true, "XVID"},
        HostileCase{"HeaderListClaimsFourGigabytes",
                    Riff(List("hdrl", Avih(320, 240, 30) + Strl("vids", "XVID"), 0xFFFFFFFFu)), false, "N/A"},
        HostileCase{"HeaderListCutAfterMainHeader", SimpleAvi(Strl("vids", "XVID")).substr(0, 100), false,
                    "N/A"},
        HostileCase{"NegativeWidth", SimpleAvi(Strl("vids", "XVID"), 0xFFFFFFFFu, 240), false, "N/A"},
        HostileCase{"HeightIntMin", SimpleAvi(Strl("vids", "XVID"), 320, 0x80000000u), false, "N/A"},
        HostileCase{"AbsurdWidth", SimpleAvi(Strl("vids", "XVID"), 1000000, 240), false, "N/A"},
        HostileCase{"AbsurdHeight", SimpleAvi(Strl("vids", "XVID"), 320, 65536), false, "N/A"},
        HostileCase{"LargestSize", SimpleAvi(Strl("vids", "XVID"), 16384, 16384), true, "XVID"},
        HostileCase{"MainHeaderClaimsFourGigabytes",
                    Riff(List("hdrl", Chunk("avih", std::string(56, '\0'), 0xFFFFFFFFu))), false, "N/A"},
        HostileCase{"MainHeaderTooShort", Riff(List("hdrl", Chunk("avih", std::string(8, '\0')))), false,
                    "N/A"},
        HostileCase{"MainHeaderCut", SimpleAvi(Strl("vids", "XVID")).substr(0, 40), false, "N/A"},
        HostileCase{
            "StreamListPastItsParent",
            Riff(List("hdrl", Avih(320, 240, 30) + List("strl", Strh("vids", "XVID", 1, 15, 30), 5000))),
            true, "N/A"},
        HostileCase{"StreamHeaderTooShort",
                    SimpleAvi(List("strl", Chunk("strh", "vidsXVID")) + Strl("vids", "MJPG")), true,
                    "Motion JPEG DIB"},
        HostileCase{"StreamHeaderClaimsFourGigabytes",
                    SimpleAvi(List("strl", Chunk("strh", std::string(56, 'v'), 0xFFFFFFFFu))), true, "N/A"},
        HostileCase{"OddSizesWithoutPad",
                    Riff(List("hdrl", Chunk("JUNK", "abc").substr(0, 11) + Avih(320, 240, 30))), false,
                    "N/A"},
        HostileCase{"MoviBeforeHeaders",
                    Riff(List("movi", Chunk("00dc", "x")) + List("hdrl", Avih(320, 240, 30))), false, "N/A"},
        HostileCase{"ManyTopLevelChunks", Riff(ManyEmptyChunks(100) + List("hdrl", Avih(320, 240, 30))),
                    false, "N/A"},
        HostileCase{"ManyChunksInsideHeaders",
                    Riff(List("hdrl", ManyEmptyChunks(10000) + Avih(320, 240, 30))), false, "N/A"},
        HostileCase{"GarbageAfterForm", "RIFF" + Le32(64) + "AVI " + std::string(60, '\xFF'), false, "N/A"},
        HostileCase{"NestedListsWithSmallSizes",
                    Riff(List("hdrl", Avih(320, 240, 30) + List("strl", List("strl", "", 2), 3))), true,
                    "N/A"}),
    [](const testing::TestParamInfo<HostileCase>& info) { return info.param.name; });
} // namespace
