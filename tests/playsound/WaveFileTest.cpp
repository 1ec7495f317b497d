#include "platform/wave/WaveFile.h"

#include "WaveBytes.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <sys/stat.h>

using namespace wave_bytes;
using platform::wave::ReadWaveFile;
using platform::wave::WaveFileDurationMs;
using platform::wave::WaveSound;
using testing_support::TempDir;

namespace
{
struct GoodCase
{
    const char* name;
    std::string file;
    WORD tag;
    WORD channels;
    DWORD rate;
    WORD bits;
    std::string data; // what the reader must deliver
    std::uint64_t durationMs;
};

void PrintTo(const GoodCase& c, std::ostream* os)
{
    *os << c.name;
}

class WaveFileGoodTest : public ::testing::TestWithParam<GoodCase>
{
};

TEST_P(WaveFileGoodTest, DeliversFormatSamplesAndDuration)
{
    const auto& c = GetParam();
    TempDir dir;
    const auto path = dir.WriteFile("sound.wav", c.file).string();

    WaveSound sound;
    std::string error;
    ASSERT_TRUE(ReadWaveFile(path, sound, error)) << error;
    const WAVEFORMATEX& f = sound.layout.format;
    EXPECT_EQ(f.wFormatTag, c.tag);
    EXPECT_EQ(f.nChannels, c.channels);
    EXPECT_EQ(f.nSamplesPerSec, c.rate);
    EXPECT_EQ(f.wBitsPerSample, c.bits);
    EXPECT_EQ(f.nBlockAlign, c.channels * c.bits / 8);
    EXPECT_EQ(f.nAvgBytesPerSec, c.rate * f.nBlockAlign);
    EXPECT_EQ(f.cbSize, 0);
    EXPECT_EQ(sound.layout.dataBytes, c.data.size());
    EXPECT_EQ(std::string(sound.samples.begin(), sound.samples.end()), c.data);
    EXPECT_EQ(sound.layout.DurationMs(), c.durationMs);
    EXPECT_EQ(WaveFileDurationMs(path), c.durationMs);
}

std::string Fmt(unsigned tag, unsigned channels, std::uint32_t rate, unsigned bits)
{
    return Chunk("fmt ", FormatBody(tag, channels, rate, bits));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, WaveFileGoodTest,
    ::testing::Values(
        GoodCase{"Pcm8Mono", Riff(Fmt(1, 1, 8000, 8) + Chunk("data", Pattern(8000))), 1, 1, 8000, 8,
                 Pattern(8000), 1000},
        GoodCase{"Pcm16Stereo", Riff(Fmt(1, 2, 44100, 16) + Chunk("data", Pattern(88200))), 1, 2, 44100, 16,
                 Pattern(88200), 500},
        GoodCase{"Pcm24Mono", Riff(Fmt(1, 1, 48000, 24) + Chunk("data", Pattern(3 * 12000))), 1, 1, 48000, 24,
                 Pattern(3 * 12000), 250},
        GoodCase{"Pcm32SixChannels", Riff(Fmt(1, 6, 96000, 32) + Chunk("data", Pattern(24 * 960))), 1, 6,
                 96000, 32, Pattern(24 * 960), 10},
        GoodCase{"FloatStereo", Riff(Fmt(3, 2, 22050, 32) + Chunk("data", Pattern(8 * 22050))), 3, 2, 22050,
                 32, Pattern(8 * 22050), 1000},
        GoodCase{"ExtensiblePcm24In32EightChannels",
                 Riff(Chunk("fmt ", ExtensibleBody(1, 8, 44100, 32, 24)) + Chunk("data", Pattern(32 * 441))),
                 1, 8, 44100, 32, Pattern(32 * 441), 10},
        GoodCase{"ExtensibleFloatMono",
                 Riff(Chunk("fmt ", ExtensibleBody(3, 1, 384000, 32, 32)) + Chunk("data", Pattern(4 * 3840))),
                 3, 1, 384000, 32, Pattern(4 * 3840), 10},
        // Odd-sized chunks before and after the format are skipped with their pad byte.
        GoodCase{"OtherChunksAroundFormat",
                 Riff(Chunk("LIST", "INFOabc") + Fmt(1, 1, 1000, 16) + Chunk("fact", "xyz") +
                      Chunk("data", Pattern(200)) + Chunk("LIST", "tail")),
                 1, 1, 1000, 16, Pattern(200), 100},
        GoodCase{"PartialLastFrameLeftOut", Riff(Fmt(1, 2, 1000, 16) + Chunk("data", Pattern(4003))), 1, 2,
                 1000, 16, Pattern(4000), 1000},
        GoodCase{"BytesAfterTheRiffChunk", Riff(Fmt(1, 1, 8000, 8) + Chunk("data", Pattern(80))) + "junk", 1,
                 1, 8000, 8, Pattern(80), 10},
        GoodCase{"NoSound", Riff(Fmt(1, 1, 44100, 16) + Chunk("data", "")), 1, 1, 44100, 16, "", 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadCase
{
    const char* name;
    std::string file;
    const char* reason; // part of the message
};

void PrintTo(const BadCase& c, std::ostream* os)
{
    *os << c.name;
}

class WaveFileBadTest : public ::testing::TestWithParam<BadCase>
{
};

TEST_P(WaveFileBadTest, IsRefusedWithItsReason)
{
    const auto& c = GetParam();
    TempDir dir;
    const auto path = dir.WriteFile("bad.wav", c.file).string();

    WaveSound sound;
    sound.samples = {1, 2, 3};
    std::string error;
    EXPECT_FALSE(ReadWaveFile(path, sound, error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_EQ(sound.samples.size(), 3u) << "a refused file leaves the output alone";
    std::string durationError;
    EXPECT_EQ(WaveFileDurationMs(path, &durationError), std::nullopt);
    EXPECT_EQ(durationError, error);
}

const std::string kData = Chunk("data", Pattern(400));
const std::string kFmt = Fmt(1, 1, 8000, 16);

INSTANTIATE_TEST_SUITE_P(
    Files, WaveFileBadTest,
    ::testing::Values(
        BadCase{"Empty", "", "too short"},
        BadCase{"HeaderOnly", std::string("RIFF\x04\0\0\0WA", 10), "too short"},
        BadCase{"NotRiff", "RIFX" + Riff(kFmt + kData).substr(4), "not a RIFF/WAVE"},
        BadCase{"NotWave", Chunk("RIFF", "AVI " + kFmt + kData), "not a RIFF/WAVE"},
        BadCase{"Truncated", Riff(kFmt + kData).substr(0, 100), "truncated"},
        BadCase{"DataBeyondFile", Riff(kFmt + Chunk("data", Pattern(400), 0x7FFFFFF0)), "beyond the end"},
        BadCase{"FormatBeyondFile", Riff(Chunk("fmt ", FormatBody(1, 1, 8000, 16), 0xFFFFFFF0) + kData),
                "beyond the end"},
        BadCase{"FormatTooShort", Riff(Chunk("fmt ", FormatBody(1, 1, 8000, 16).substr(0, 14)) + kData),
                "too short"},
        BadCase{"NoChannels", Riff(Chunk("fmt ", FormatBody(1, 0, 8000, 16, 2)) + kData), "no channels"},
        BadCase{"NineChannels", Riff(Fmt(1, 9, 8000, 16) + kData), "at most 8"},
        BadCase{"RateZero", Riff(Fmt(1, 1, 0, 16) + kData), "out of range"},
        BadCase{"RateAbsurd", Riff(Fmt(1, 1, 4000000000u, 16) + kData), "out of range"},
        BadCase{"BlockAlignMismatch", Riff(Chunk("fmt ", FormatBody(1, 2, 8000, 16, 2)) + kData),
                "block align"},
        BadCase{"CompressedFormat", Riff(Fmt(0x55, 1, 8000, 16) + kData), "unsupported format tag 0x0055"},
        BadCase{"TwelveBitPcm", Riff(Chunk("fmt ", FormatBody(1, 1, 8000, 12, 2)) + kData), "12-bit PCM"},
        BadCase{"DoubleFloat", Riff(Fmt(3, 1, 8000, 64) + kData), "64-bit float"},
        BadCase{"ExtensibleTooShort",
                Riff(Chunk("fmt ", ExtensibleBody(1, 1, 8000, 16, 16).substr(0, 30)) + kData), "too short"},
        BadCase{"ExtensibleForeignGuid",
                Riff(Chunk("fmt ", ExtensibleBody(1, 1, 8000, 16, 16, std::string(14, 'x'))) + kData),
                "sub-format"},
        BadCase{"ExtensibleMoreValidBitsThanSample",
                Riff(Chunk("fmt ", ExtensibleBody(1, 1, 8000, 16, 24)) + kData), "valid bits"},
        BadCase{"ExtensibleCompressed", Riff(Chunk("fmt ", ExtensibleBody(2, 1, 8000, 16, 16)) + kData),
                "unsupported format tag 0x0002"},
        BadCase{"DataBeforeFormat", Riff(kData + kFmt), "before its format"},
        BadCase{"NoData", Riff(kFmt + Chunk("LIST", "none")), "no sound data"},
        BadCase{"NoFormat", Riff(Chunk("LIST", "none")), "no format chunk"},
        BadCase{"TwoFormats", Riff(kFmt + kFmt + kData), "two format chunks"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WaveFileTest, MissingFolderAndPipeAreRefusedWithoutBlocking)
{
    TempDir dir;
    const auto fifo = dir / "pipe.wav";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::pair<std::string, const char*> cases[] = {
        {(dir / "missing.wav").string(), "cannot open"},
        {dir.Path().string(), "not a regular file"},
        {fifo.string(), "not a regular file"},
        {"", "no file name"},
    };
    for (const auto& [path, reason] : cases)
    {
        WaveSound sound;
        std::string error;
        EXPECT_FALSE(ReadWaveFile(path, sound, error)) << path;
        EXPECT_NE(error.find(reason), std::string::npos) << path << ": " << error;
        EXPECT_EQ(WaveFileDurationMs(path), std::nullopt) << path;
    }
}

TEST(WaveFileTest, DefaultShutterSoundLiesBesideThePrograms)
{
    // The program looks for it in its own folder, where the tests run too.
    const auto path = (testing_support::BinaryDir() / "bin" / "shot.wav").string();
    WaveSound sound;
    std::string error;
    ASSERT_TRUE(ReadWaveFile(path, sound, error)) << path << ": " << error;
    EXPECT_EQ(sound.layout.format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_GT(sound.layout.DurationMs(), 50u);
    EXPECT_LT(sound.layout.DurationMs(), 1000u);
    bool audible = false;
    for (std::size_t i = 0; i + 1 < sound.samples.size(); i += 2)
        audible = audible ||
                  std::abs(static_cast<std::int16_t>(sound.samples[i] | (sound.samples[i + 1] << 8))) > 8000;
    EXPECT_TRUE(audible);
}
} // namespace
