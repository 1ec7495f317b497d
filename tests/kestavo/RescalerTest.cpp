#include "KestavoTestSupport.h"

#include "kestavo/mpgwrapper.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using namespace transcoder;
using namespace kestavo_test;

namespace
{
struct GeometryCase
{
    const char* name;
    SIZE source;
    SIZE target;
    BOOL pad;
    BOOL enlarge;
    std::string filter; // empty: no options at all
};

void PrintTo(const GeometryCase& c, std::ostream* os)
{
    *os << c.name;
}

class RescalerGeometryTest : public testing::TestWithParam<GeometryCase>
{
};

// The size of the non-black picture inside a converted white clip, as "W:H:X:Y".
std::string DetectPicture(const std::filesystem::path& path)
{
    const ToolResult r = RunTool({"ffmpeg", "-nostdin", "-i", "file:" + path.string(), "-vf",
                                  "cropdetect=limit=0.3:round=2:reset=0:skip=0", "-f", "null", "-"});
    const auto at = r.output.rfind("crop=");
    if (at == std::string::npos)
        return {};
    const auto start = at + 5;
    return r.output.substr(start, r.output.find_first_not_of("0123456789:", start) - start);
}
} // namespace

TEST_P(RescalerGeometryTest, GivesTheSizeAndPadOptions)
{
    const GeometryCase& c = GetParam();
    const CommandLine options = CRescaler::ComputeResizeParams(c.source, c.target, c.pad, c.enlarge);
    if (c.filter.empty())
        EXPECT_TRUE(options.empty());
    else
        EXPECT_EQ(options, (CommandLine{"-vf", c.filter}));
}

INSTANTIATE_TEST_SUITE_P(
    Table, RescalerGeometryTest,
    testing::Values(
        GeometryCase{
            "Email4by3", {640, 480}, {320, 240}, TRUE, FALSE, "scale=320:240,pad=320:240:0:0,setsar=1"},
        GeometryCase{
            "Email16by9", {1280, 720}, {320, 240}, TRUE, FALSE, "scale=320:180,pad=320:240:0:30,setsar=1"},
        GeometryCase{
            "EmailCif", {352, 288}, {320, 240}, TRUE, FALSE, "scale=292:240,pad=320:240:14:0,setsar=1"},
        GeometryCase{
            "EmailPal", {720, 576}, {320, 240}, TRUE, FALSE, "scale=300:240,pad=320:240:10:0,setsar=1"},
        GeometryCase{"EmailSameSize", {320, 240}, {320, 240}, TRUE, FALSE, ""},
        GeometryCase{"EmailSmaller", {176, 144}, {320, 240}, TRUE, FALSE, ""},
        GeometryCase{"EmailSmallerEnlarged",
                     {176, 144},
                     {320, 240},
                     TRUE,
                     TRUE,
                     "scale=292:240,pad=320:240:14:0,setsar=1"},
        GeometryCase{"NoPad16by9", {1280, 720}, {320, 240}, FALSE, FALSE, "scale=320:180,setsar=1"},
        GeometryCase{
            "Thumb16by9", {1280, 720}, {160, 120}, TRUE, TRUE, "scale=160:88,pad=160:120:0:16,setsar=1"},
        GeometryCase{
            "Thumb4by3", {320, 240}, {160, 120}, TRUE, TRUE, "scale=160:120,pad=160:120:0:0,setsar=1"},
        GeometryCase{
            "ThumbFailedProbe", {1, 1}, {160, 120}, TRUE, TRUE, "scale=120:120,pad=160:120:20:0,setsar=1"},
        // As wide as the target but lower: the width limits, the pads never go negative.
        GeometryCase{"ThumbSameWidthLower",
                     {160, 100},
                     {160, 120},
                     TRUE,
                     TRUE,
                     "scale=160:100,pad=160:120:0:10,setsar=1"}),
    [](const testing::TestParamInfo<GeometryCase>& info) { return info.param.name; });

TEST(RescalerTest, SizeBelowOneIsRaisedToOne)
{
    CRescaler rescaler(nullptr);
    rescaler.SetSize(SIZE{0, -5});
    EXPECT_EQ(rescaler.GetSize().cx, 1);
    EXPECT_EQ(rescaler.GetSize().cy, 1);
    EXPECT_EQ(rescaler.GetPad(), FALSE);
    EXPECT_EQ(rescaler.GetEnlarge(), FALSE);
}

TEST(RescalerTest, EmptySourceIsRefused)
{
    CRescaler rescaler(nullptr);
    try
    {
        rescaler.GetResizeParams("");
        FAIL() << "no exception";
    }
    catch (const CInvalidArgumentException& e)
    {
        EXPECT_STREQ(e.what(),
                     ".\\mpgwrapper[transcoder::CRescaler::GetResizeParams]: Cannot rescale an unknown "
                     "input stream (no filename given)");
    }
}

TEST(RescalerTest, ProbeOfAnUnreadableSourceKeepsTheSourceSize)
{
    testing_support::TempDir dir;
    const auto junk = dir.WriteFile("junk.avi", "not a video at all");
    CRescaler rescaler(nullptr);
    rescaler.SetSize(SIZE{320, 240});
    rescaler.SetPad(TRUE);
    EXPECT_TRUE(rescaler.GetResizeParams(junk.string()).empty());
    rescaler.SetEnlarge(TRUE);
    // A failed probe reads as 1 x 1, which enlarging fills into the target's height.
    EXPECT_EQ(rescaler.GetResizeParams(junk.string()),
              (CommandLine{"-vf", "scale=240:240,pad=320:240:40:0,setsar=1"}));
    EXPECT_TRUE(ChildProcesses().empty());
}

namespace
{
struct EndToEndCase
{
    const char* name;
    SIZE source;
    GUID jobType;
    SIZE target;
    BOOL enlarge;
    int outWidth;
    int outHeight;
    std::string picture; // W:H:X:Y of the white area
};

void PrintTo(const EndToEndCase& c, std::ostream* os)
{
    *os << c.name;
}

class RescalerEndToEndTest : public testing::TestWithParam<EndToEndCase>
{
};
} // namespace

TEST_P(RescalerEndToEndTest, ConvertedFrameHasTheComputedGeometry)
{
    const EndToEndCase& c = GetParam();
    testing_support::TempDir dir;
    const auto source = dir / "white.avi";
    MakeClip(source,
             {"-f", "lavfi", "-i",
              "color=white:duration=1:rate=15:size=" + std::to_string(c.source.cx) + "x" +
                  std::to_string(c.source.cy)},
             {"-c:v", "mpeg4", "-q:v", "2"});
    const auto target = dir / "out.avi";

    KestavoLibrary lib;
    IVideoTranscoder* instance = lib.CreateVideoTranscoderInstance();
    ASSERT_NE(instance, nullptr);
    IBaseJob* job = instance->CreateJob(c.jobType);
    ASSERT_NE(job, nullptr);
    job->SetSource(source.c_str());
    job->SetTarget(target.c_str());
    auto* rescaler = static_cast<IRescaler*>(job->QueryInterface(IID_IRescaler));
    ASSERT_NE(rescaler, nullptr);
    rescaler->SetSize(c.target);
    rescaler->SetPad(TRUE);
    rescaler->SetEnlarge(c.enlarge);
    EventRecorder recorder(instance);
    instance->RegisterCallback(&recorder);
    instance->RunJobQueue();
    ASSERT_TRUE(recorder.WaitFor(TE_QUEUE_DONE));
    EXPECT_EQ(recorder.Sequence(), "SPDQ");
    lib.DeleteVideoTranscoderInstance(instance);

    const ProbeResult probe = Probe(target);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.width, c.outWidth);
    EXPECT_EQ(probe.height, c.outHeight);
    EXPECT_EQ(DetectPicture(target), c.picture);
}

INSTANTIATE_TEST_SUITE_P(
    Converter, RescalerEndToEndTest,
    testing::Values(
        EndToEndCase{"Email4by3", {640, 480}, IID_IEmailMovieJob, {320, 240}, FALSE, 320, 240, "320:240:0:0"},
        EndToEndCase{
            "Email16by9", {1280, 720}, IID_IEmailMovieJob, {320, 240}, FALSE, 320, 240, "320:180:0:30"},
        EndToEndCase{"EmailCif", {352, 288}, IID_IEmailMovieJob, {320, 240}, FALSE, 320, 240, "292:240:14:0"},
        EndToEndCase{"EmailSmallerKeepsItsSize",
                     {176, 144},
                     IID_IEmailMovieJob,
                     {320, 240},
                     FALSE,
                     176,
                     144,
                     "176:144:0:0"},
        EndToEndCase{"ThumbnailSmallerEnlarged",
                     {128, 96},
                     IID_IPSPThumbJob,
                     {160, 120},
                     TRUE,
                     160,
                     120,
                     "160:120:0:0"}),
    [](const testing::TestParamInfo<EndToEndCase>& info) { return info.param.name; });
