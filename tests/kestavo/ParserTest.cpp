#include "KestavoTestSupport.h"

#include "kestavo/mpgwrapper.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace transcoder;

namespace
{
// Output of Debian 12's ffmpeg 5.1, captured while converting; progress lines end in a CR.
const std::string kBanner = "ffmpeg version 5.1.9-0+deb12u1 Copyright (c) 2000-2026 the FFmpeg developers\n"
                            "  built with gcc 12 (Debian 12.2.0-14+deb12u1)\n"
                            "  libavutil      57. 28.100 / 57. 28.100\n";

const std::string kMp4Input =
    "Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'file:h.mp4':\n"
    "  Metadata:\n"
    "    major_brand     : isom\n"
    "    minor_version   : 512\n"
    "    compatible_brands: isomiso2avc1mp41\n"
    "    title           : A: Video: 99x99, test\n"
    "    encoder         : Lavf59.27.100\n"
    "  Duration: 00:01:30.50, start: 0.000000, bitrate: 185 kb/s\n"
    "  Stream #0:0[0x1](und): Video: h264 (High) (avc1 / 0x31637661), yuv420p(tv, bt709, progressive), "
    "1280x720 [SAR 1:1 DAR 16:9], 104 kb/s, 15 fps, 15 tbr, 15360 tbn (default)\n"
    "    Metadata:\n"
    "      handler_name    : VideoHandler\n"
    "  Stream #0:1[0x2](und): Audio: aac (LC) (mp4a / 0x6134706D), 44100 Hz, mono, fltp, 69 kb/s (default)\n";

const std::string kMjpegInput =
    "Input #0, avi, from 'file:m.avi':\n"
    "  Metadata:\n"
    "    software        : Lavf59.27.100\n"
    "  Duration: 00:00:02.00, start: 0.000000, bitrate: 1495 kb/s\n"
    "  Stream #0:0: Video: mjpeg (Baseline) (MJPG / 0x47504A4D), "
    "yuvj444p(pc, bt470bg/unknown/unknown), 640x480 [SAR 1:1 DAR 4:3], 1520 kb/s, "
    "15 fps, 15 tbr, 15 tbn\n";

const std::string kRawInput =
    "Input #0, jpeg_pipe, from 'file:raw.mjpeg':\n"
    "  Duration: N/A, bitrate: N/A\n"
    "  Stream #0:0: Video: mjpeg (Baseline), yuvj444p(pc, bt470bg/unknown/unknown), "
    "176x144 [SAR 1:1 DAR 11:9], 25 fps, 25 tbr, 25 tbn\n";

const std::string kOutputBlock =
    "Stream mapping:\n"
    "  Stream #0:0 -> #0:0 (h264 (native) -> mpeg1video (native))\n"
    "Press [q] to stop, [?] for help\n"
    "Output #0, mpeg, to 'file:out.avi':\n"
    "  Stream #0:0: Video: mpeg1video, yuv420p(progressive), 320x240 [SAR 1:1 DAR 4:3], q=2-31, 200 kb/s\n";

const std::string kProgress10 =
    "frame=   10 fps=0.0 q=4.7 size=       0kB time=00:00:00.40 bitrate=   0.0kbits/s speed= 115x    \r";
const std::string kProgress20 = "frame=   20 fps=9.5 q=2.0 size=      81kB time=00:00:00.80 bitrate= "
                                "330.1kbits/s dup=1 drop=0 speed=2x    \r";
const std::string kProgressNA = "frame=    1 fps=0.0 q=0.0 size=N/A time=N/A bitrate=N/A speed=N/A    \r";
const std::string kProgressLast = "frame=   36 fps=0.0 q=2.3 Lsize=      60kB time=00:01:01.13 bitrate= "
                                  "433.7kbits/s dup=6 drop=0 speed=34x    \n";

const TranscodeProgress& Progress(CBaseParser& parser)
{
    return *static_cast<const TranscodeProgress*>(parser.GetResult());
}
} // namespace

TEST(ProgressParserTest, OneReadWithTwoProgressLinesReportsTheLastCompleteOne)
{
    CBaseJob::CProgressParser parser;
    parser.Feed(kBanner + kMp4Input + kOutputBlock + kProgress10 + kProgress20 + "frame=   30 fps=");
    ASSERT_TRUE(parser.HasResult());
    const TranscodeProgress& p = Progress(parser);
    EXPECT_FLOAT_EQ(p.inputLength, 90.5f);
    EXPECT_EQ(p.frame, 20);
    EXPECT_FLOAT_EQ(p.fps, 9.5f);
    EXPECT_FLOAT_EQ(p.quality, 2.0f);
    EXPECT_FLOAT_EQ(p.size, 81.0f);
    EXPECT_FLOAT_EQ(p.time, 0.8f);
    EXPECT_EQ(p.reserved, 0u);
    // The partial third line waits for the rest of its text.
    EXPECT_NE(parser.GetBufferedText().find("frame=   30 fps="), std::string::npos);
}

TEST(ProgressParserTest, ReadEndingInsideTheDurationLineWaitsForTheRest)
{
    CBaseJob::CProgressParser parser;
    const std::string all = kBanner + kMp4Input + kOutputBlock + kProgress10;
    const auto cut = all.find("Duration: 00:01") + 14;
    parser.Feed(all.substr(0, cut));
    EXPECT_FALSE(parser.HasResult());
    EXPECT_EQ(parser.GetState(), ParserState{&CBaseJob::CQueryParser::InputLengthEvaluatorState});
    parser.Feed(all.substr(cut));
    ASSERT_TRUE(parser.HasResult());
    EXPECT_FLOAT_EQ(Progress(parser).inputLength, 90.5f);
    EXPECT_EQ(Progress(parser).frame, 10);
}

TEST(ProgressParserTest, ReadWithoutNewProgressLineGivesNoResult)
{
    CBaseJob::CProgressParser parser;
    parser.Feed(kBanner + kMp4Input + kOutputBlock + kProgress10);
    ASSERT_TRUE(parser.HasResult());
    parser.ClearResult();
    parser.Feed("frame=   1");
    EXPECT_FALSE(parser.HasResult());
    parser.Feed("");
    EXPECT_FALSE(parser.HasResult());
}

namespace
{
struct ProgressCase
{
    const char* name;
    std::string input;
    std::string progress;
    float inputLength;
    int frame;
    float time;
    float size;
};

void PrintTo(const ProgressCase& c, std::ostream* os)
{
    *os << c.name;
}

class ProgressParserLineTest : public testing::TestWithParam<ProgressCase>
{
};
} // namespace

TEST_P(ProgressParserLineTest, ReadsTheConverterLine)
{
    const ProgressCase& c = GetParam();
    CBaseJob::CProgressParser parser;
    parser.Feed(kBanner + c.input + kOutputBlock + c.progress);
    ASSERT_TRUE(parser.HasResult());
    const TranscodeProgress& p = Progress(parser);
    EXPECT_FLOAT_EQ(p.inputLength, c.inputLength);
    EXPECT_EQ(p.frame, c.frame);
    EXPECT_FLOAT_EQ(p.time, c.time);
    EXPECT_FLOAT_EQ(p.size, c.size);
}

INSTANTIATE_TEST_SUITE_P(
    Captured, ProgressParserLineTest,
    testing::Values(ProgressCase{"MetadataBeforeDuration", kMp4Input, kProgress20, 90.5f, 20, 0.8f, 81.0f},
                    ProgressCase{"MjpegAvi", kMjpegInput, kProgress10, 2.0f, 10, 0.4f, 0.0f},
                    ProgressCase{"DurationNotAvailable", kRawInput, kProgress20, 0.0f, 20, 0.8f, 81.0f},
                    ProgressCase{"ValuesNotAvailable", kMjpegInput, kProgressNA, 2.0f, 1, 0.0f, 0.0f},
                    ProgressCase{"LastLineWithLsizeAndMinutes", kMjpegInput, kProgress10 + kProgressLast,
                                 2.0f, 36, 61.13f, 60.0f}),
    [](const testing::TestParamInfo<ProgressCase>& info) { return info.param.name; });

TEST(ProgressParserTest, MalformedDurationKeepsLengthZeroAndGoesOnToProgress)
{
    CBaseJob::CProgressParser parser;
    parser.Feed(kBanner + "Input #0, avi, from 'x':\n  Duration: garbage, start: 0\n" + kOutputBlock);
    EXPECT_FALSE(parser.HasResult());
    EXPECT_EQ(parser.GetState(), ParserState{&CBaseJob::CProgressParser::ProgressEvaluatorState});
    parser.Feed(kProgress10);
    ASSERT_TRUE(parser.HasResult());
    EXPECT_FLOAT_EQ(Progress(parser).inputLength, 0.0f);
    EXPECT_EQ(Progress(parser).frame, 10);
}

TEST(ProgressParserTest, UnparseableOutputNeverThrowsAndStaysBounded)
{
    CBaseJob::CProgressParser parser;
    const std::string noise(100000, 'x');
    for (int i = 0; i < 40; ++i)
        parser.Feed(noise);
    EXPECT_FALSE(parser.HasResult());
    EXPECT_LE(parser.GetBufferedText().size(), 256u * 1024u);
    // A zero byte ends what is taken of a read.
    parser.Feed(std::string("\nInput #0\0garbage\n", 18));
    EXPECT_EQ(parser.GetBufferedText().find("garbage"), std::string::npos);
}

namespace
{
struct SizeCase
{
    const char* name;
    std::string input;
    LONG width;
    LONG height;
};

void PrintTo(const SizeCase& c, std::ostream* os)
{
    *os << c.name;
}

class SizeParserTest : public testing::TestWithParam<SizeCase>
{
};
} // namespace

TEST_P(SizeParserTest, FindsTheFrameSizeOfTheVideoStream)
{
    CRescaler::CQuerySizeParser parser;
    parser.Feed(kBanner + GetParam().input + "At least one output file must be specified\n");
    ASSERT_TRUE(parser.HasResult());
    const SIZE size = *static_cast<const SIZE*>(parser.GetResult());
    EXPECT_EQ(size.cx, GetParam().width);
    EXPECT_EQ(size.cy, GetParam().height);
    EXPECT_TRUE(parser.GetBufferedText().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Captured, SizeParserTest,
    testing::Values(SizeCase{"H264Bt709WithBracketsAndMetadataDecoy", kMp4Input, 1280, 720},
                    SizeCase{"MjpegAvi", kMjpegInput, 640, 480}, SizeCase{"RawMjpeg", kRawInput, 176, 144},
                    SizeCase{
                        "RawVideoCode",
                        "Input #0, avi, from 'r.avi':\n  Duration: 00:00:01.00\n"
                        "  Stream #0:0: Video: rawvideo (BGR[24] / 0x18524742), bgr24, 352x288, 15 fps\n",
                        352, 288},
                    SizeCase{"NoSizeOnTheLine",
                             "Input #0, avi, from 'r.avi':\n  Stream #0:0: Video: none, 30 fps\n", 1, 1}),
    [](const testing::TestParamInfo<SizeCase>& info) { return info.param.name; });

TEST(SizeParserTest, AudioOnlyInputGivesNoResult)
{
    CRescaler::CQuerySizeParser parser;
    parser.Feed(kBanner +
                "Input #0, wav, from 'a.wav':\n  Duration: 00:00:01.00\n"
                "  Stream #0:0: Audio: pcm_s16le, 44100 Hz\nAt least one output file must be specified\n");
    EXPECT_FALSE(parser.HasResult());
}

TEST(ParserTest, RealConverterOutputGivesLengthAndFinalProgress)
{
    testing_support::TempDir dir;
    kestavo_test::MakeStandardClip(dir / "in.avi");
    const auto r = kestavo_test::RunTool({"ffmpeg", "-nostdin", "-y", "-i",
                                          "file:" + (dir / "in.avi").string(), "-f", "mpeg", "-vcodec",
                                          "mpeg1video", "-r", "30", "file:" + (dir / "out.avi").string()});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    CBaseJob::CProgressParser parser;
    parser.Feed(r.output);
    ASSERT_TRUE(parser.HasResult());
    const TranscodeProgress& p = Progress(parser);
    EXPECT_NEAR(p.inputLength, 2.0f, 0.2f);
    EXPECT_NEAR(p.time, 2.0f, 0.2f);
    EXPECT_GE(p.frame, 59);
    EXPECT_GT(p.size, 0.0f);

    CRescaler::CQuerySizeParser size;
    size.Feed(r.output);
    ASSERT_TRUE(size.HasResult());
    EXPECT_EQ(static_cast<const SIZE*>(size.GetResult())->cx, 320);
}
