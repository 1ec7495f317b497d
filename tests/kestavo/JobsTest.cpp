#include "kestavo/jobs.h"

#include "KestavoTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

using namespace transcoder;
using namespace kestavo_test;

namespace
{
struct JobCase
{
    const char* name;
    GUID type;
    const char* target;
    SIZE size;
    // What ffprobe must find in the output.
    const char* format;
    const char* videoCodec;
    int width;
    int height;
    const char* audioCodec; // null: no audio expected
    int sampleRate;
};

void PrintTo(const JobCase& c, std::ostream* os)
{
    *os << c.name;
}

class JobTypeTest : public TranscoderFixture, public testing::WithParamInterface<JobCase>
{
};

TEST_P(JobTypeTest, ConvertsAShortClipEndToEnd)
{
    const JobCase& c = GetParam();
    MakeStandardClip(Path("clip.avi"));
    AddJob(c.type, "clip.avi", c.target, c.size);
    EventRecorder recorder(instance);
    RunToEnd(recorder);
    EXPECT_EQ(recorder.Sequence(), "SPDQ");

    const ProbeResult probe = Probe(Path(c.target));
    ASSERT_TRUE(probe.ok);
    EXPECT_NE(probe.format.find(c.format), std::string::npos) << probe.format;
    EXPECT_EQ(probe.videoCodec, c.videoCodec);
    EXPECT_EQ(probe.width, c.width);
    EXPECT_EQ(probe.height, c.height);
    if (c.audioCodec)
    {
        EXPECT_EQ(probe.audioCodec, c.audioCodec);
        EXPECT_EQ(probe.sampleRate, c.sampleRate);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, JobTypeTest,
    testing::Values(
        JobCase{"PspMovie", IID_IPSPMovieJob, "psp.mp4", {320, 240}, "mp4", "mpeg4", 320, 240, "aac", 24000},
        JobCase{
            "PspThumbnail", IID_IPSPThumbJob, "thumb.THM", {160, 120}, "jpeg", "mjpeg", 160, 120, nullptr, 0},
        JobCase{
            "iPodMovie", IID_IiPodMovieJob, "ipod.mp4", {320, 240}, "mp4", "mpeg4", 320, 240, "aac", 48000},
        JobCase{
            "BlogMovie", IID_IBlogMovieJob, "blog.mp4", {160, 120}, "mp4", "mpeg4", 160, 120, "aac", 48000},
        // MPEG-1 in a program stream, under the ".avi" name the program gives e-mail copies.
        JobCase{"EmailMovie",
                IID_IEmailMovieJob,
                "mail.avi",
                {320, 240},
                "mpeg",
                "mpeg1video",
                320,
                240,
                "mp2",
                44100}),
    [](const testing::TestParamInfo<JobCase>& info) { return info.param.name; });

class JobsTest : public TranscoderFixture
{
};

TEST_F(JobsTest, BlogGifJobWritesNumberedFramesAndReportsAGifTarget)
{
    MakeStandardClip(Path("clip.avi"));
    IBaseJob* job = AddJob(IID_IBlogGIFJob, "clip.avi", "frames", SIZE{160, 120});
    auto* gif = static_cast<IBlogGIFJob*>(job->QueryInterface(IID_IBlogGIFJob));
    ASSERT_NE(gif, nullptr);
    EXPECT_EQ(gif->GetFrameRate(), 1);
    gif->SetFrameRate(2);
    EXPECT_EQ(std::string(job->GetTarget()), Path("frames.gif").string());
    EventRecorder recorder(instance);
    RunToEnd(recorder);
    EXPECT_EQ(recorder.Sequence(), "SPDQ");
    EXPECT_EQ(recorder.Events().front().target, Path("frames.gif").string());
    ASSERT_TRUE(std::filesystem::exists(Path("frames1.jpg")));
    const ProbeResult frame = Probe(Path("frames1.jpg"));
    EXPECT_EQ(frame.width, 160);
    EXPECT_EQ(frame.height, 120);
    EXPECT_TRUE(std::filesystem::exists(Path("frames4.jpg")));
}

TEST_F(JobsTest, BlogGifTargetsWithPercentSignsKeepTheirNames)
{
    MakeStandardClip(Path("clip.avi"));
    const std::vector<std::string> targets = {"100%", "a%d", "x%%y", "%s%n"};
    for (const auto& target : targets)
        AddJob(IID_IBlogGIFJob, "clip.avi", target, SIZE{160, 120});
    EventRecorder recorder(instance);
    RunToEnd(recorder);
    EXPECT_EQ(recorder.Sequence(), "SPDSPDSPDSPDQ");

    // Each target's frames are numbered after its name as given, and nothing else is left beside them.
    std::set<std::string> expected = {"clip.avi"};
    for (const auto& target : targets)
    {
        EXPECT_TRUE(std::filesystem::exists(Path(target + "4.jpg"))) << target;
        for (int i = 1; std::filesystem::exists(Path(target + std::to_string(i) + ".jpg")); ++i)
            expected.insert(target + std::to_string(i) + ".jpg");
    }
    std::set<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        found.insert(entry.path().filename().string());
    EXPECT_EQ(found, expected);
}

TEST_F(JobsTest, PspMovieNeedsAnAudioStream)
{
    MakeClip(Path("silent.avi"), {"-f", "lavfi", "-i", "testsrc=duration=1:size=320x240:rate=15"},
             {"-c:v", "mpeg4"});
    AddJob(IID_IPSPMovieJob, "silent.avi", "psp.mp4");
    EventRecorder recorder(instance);
    RunToEnd(recorder);
    EXPECT_EQ(recorder.Sequence(), "SEQ");
    EXPECT_FALSE(std::filesystem::exists(Path("psp.mp4")));
}

TEST_F(JobsTest, PspCompositeWritesTheMovieAndItsThumbnailBesideIt)
{
    MakeStandardClip(Path("clip.avi"), 640, 480);
    std::filesystem::create_directories(Path("my.videos"));
    IBaseJob* job = AddJob(IID_IPSPCompJob, "clip.avi", "my.videos/movie.mp4");
    auto* rescaler = static_cast<IRescaler*>(job->QueryInterface(IID_IRescaler));
    ASSERT_NE(rescaler, nullptr);
    // The composite's rescaler is the movie's: asked through the movie job, it is the same answer.
    auto* movie = static_cast<IPSPMovieJob*>(job->QueryInterface(IID_IPSPMovieJob));
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(movie->QueryInterface(IID_IRescaler), rescaler);
    EXPECT_EQ(rescaler->GetSize().cx, 320);
    movie->SetText("title");
    EXPECT_STREQ(movie->GetText(), "title");
    movie->SetText(nullptr);
    EXPECT_STREQ(movie->GetText(), "title");
    EXPECT_NE(job->QueryInterface(IID_IPSPThumbJob), nullptr);
    EXPECT_EQ(job->QueryInterface(IID_IEmailMovieJob), nullptr);

    EventRecorder recorder(instance);
    RunToEnd(recorder);
    EXPECT_EQ(recorder.Sequence(), "SPDQ");
    const ProbeResult movieProbe = Probe(Path("my.videos/movie.mp4"));
    EXPECT_EQ(movieProbe.width, 320);
    EXPECT_EQ(movieProbe.audioCodec, "aac");
    const ProbeResult thumb = Probe(Path("my.videos/movie.THM"));
    EXPECT_EQ(thumb.videoCodec, "mjpeg");
    EXPECT_EQ(thumb.width, 160);
    EXPECT_EQ(thumb.height, 120);
}

TEST_F(JobsTest, FileNamesThatLookLikeOptionsOrQuotesStayFileNames)
{
    MakeStandardClip(Path("-i 'a\" b.avi"));
    AddJob(IID_IEmailMovieJob, "-i 'a\" b.avi", "-y $(touch injected) \"q\".avi");
    AddJob(IID_IEmailMovieJob, "-i 'a\" b.avi", "-");
    EventRecorder recorder(instance);
    RunToEnd(recorder);
    EXPECT_EQ(recorder.Sequence(), "SPDSPDQ");
    EXPECT_EQ(Probe(Path("-y $(touch injected) \"q\".avi")).videoCodec, "mpeg1video");
    EXPECT_EQ(Probe(Path("-")).videoCodec, "mpeg1video");
    EXPECT_FALSE(std::filesystem::exists(Path("injected")));
    EXPECT_FALSE(std::filesystem::exists("injected"));
}

TEST_F(JobsTest, SingleJobsAnswerTheirInterfaces)
{
    IBaseJob* job = instance->CreateJob(IID_IEmailMovieJob);
    ASSERT_NE(job, nullptr);
    EXPECT_EQ(job->QueryInterface(IID_IBaseJob), static_cast<void*>(job));
    EXPECT_NE(job->QueryInterface(IID_IEmailMovieJob), nullptr);
    EXPECT_EQ(job->QueryInterface(IID_IiPodMovieJob), nullptr);
    auto* rescaler = static_cast<IRescaler*>(job->QueryInterface(IID_IRescaler));
    ASSERT_NE(rescaler, nullptr);
    // The rescaler hands questions back to its job.
    EXPECT_EQ(rescaler->QueryInterface(IID_IBaseJob), static_cast<void*>(job));
    EXPECT_EQ(rescaler->GetSize().cx, 1);
    EXPECT_EQ(job->GetExitCode(), 0u);
    EXPECT_STREQ(job->GetSource(), "");
}

// Command lines as the jobs build them: the converter's input, then the rescaler's options, then each
// job type's own tail.
class CommandLineTest : public testing::Test
{
protected:
    void SetUp() override { MakeStandardClip(dir / "in.avi", 640, 480); }

    CommandLine Tail(CBaseJob& job, IRescaler* rescaler, SIZE size, BOOL pad)
    {
        job.SetSource((dir / "in.avi").c_str());
        job.SetTarget("out");
        rescaler->SetSize(size);
        rescaler->SetPad(pad);
        CommandLine line = job.BuildCommandLine();
        EXPECT_GE(line.size(), 5u);
        EXPECT_EQ(CommandLine(line.begin() + 1, line.begin() + 5),
                  (CommandLine{"-nostdin", "-y", "-i", "file:" + (dir / "in.avi").string()}));
        return CommandLine(line.begin() + 5, line.end());
    }

    template <typename Job> IRescaler* RescalerOf(Job& job)
    {
        return static_cast<IRescaler*>(job.NonDelegatingQueryInterface(IID_IRescaler));
    }

    testing_support::TempDir dir;
};

TEST_F(CommandLineTest, EachJobTypeBuildsItsTail)
{
    const std::string pad = "scale=320:240,pad=320:240:0:0,setsar=1";
    CEmailMovieJob email;
    EXPECT_EQ(Tail(email, RescalerOf(email), {320, 240}, TRUE),
              (CommandLine{"-vf", pad, "-f", "mpeg", "-vcodec", "mpeg1video", "-r", "30", "file:out"}));
    CiPodMovieJob ipod;
    EXPECT_EQ(
        Tail(ipod, RescalerOf(ipod), {320, 240}, TRUE),
        (CommandLine{"-vf",      pad,     "-f",   "mp4", "-r",   "30",    "-vcodec", "mpeg4", "-maxrate",
                     "700k",     "-b:v",  "500k", "-bt", "20k",  "-qmin", "3",       "-qmax", "5",
                     "-bufsize", "8192k", "-g",   "300", "-b:a", "160k",  "-ar",     "48000", "file:out"}));
    CPSPThumbJob thumb;
    EXPECT_EQ(Tail(thumb, RescalerOf(thumb), {640, 480}, FALSE),
              (CommandLine{"-f", "mjpeg", "-vframes", "1", "file:out"}));
    CPSPMovieJob psp;
    const CommandLine pspTail = Tail(psp, RescalerOf(psp), {640, 480}, FALSE);
    EXPECT_EQ(pspTail.front(), "-f");
    EXPECT_EQ(CommandLine(pspTail.end() - 3, pspTail.end()), (CommandLine{"-f", "psp", "file:out"}));
    EXPECT_NE(std::find(pspTail.begin(), pspTail.end(), "64k"), pspTail.end());
    EXPECT_NE(std::find(pspTail.begin(), pspTail.end(), "-vol"), pspTail.end());
}

TEST_F(CommandLineTest, GifJobPutsItsRateBeforeTheSizeAndEndsWithTheFramePattern)
{
    CBlogGIFJob gif;
    gif.SetTarget("a");
    EXPECT_STREQ(gif.GetTarget(), "a.gif");
    const CommandLine tail = Tail(gif, RescalerOf(gif), {320, 240}, TRUE);
    EXPECT_EQ(tail,
              (CommandLine{"-r", "1", "-vf", "scale=320:240,pad=320:240:0:0,setsar=1", "file:out%d.jpg"}));
    EXPECT_STREQ(gif.GetTarget(), "out.gif");
}

TEST_F(CommandLineTest, CompositeNamesItsThumbnailAfterTheMovie)
{
    struct Case
    {
        const char* target;
        const char* thumbnail;
    };
    const Case cases[] = {{"clip.mp4", "clip.THM"},
                          {"/v/clip.x.mp4", "/v/clip.x.THM"},
                          {"clip", "clip.THM"},
                          {"/home/my.videos/clip", "/home/my.videos/clip.THM"}};
    for (const Case& c : cases)
    {
        CPSPCompJob composite;
        composite.SetTarget(c.target);
        auto* thumb = static_cast<CPSPThumbJob*>(
            static_cast<IPSPThumbJob*>(composite.NonDelegatingQueryInterface(IID_IPSPThumbJob)));
        EXPECT_STREQ(thumb->GetTarget(), c.thumbnail);
        EXPECT_STREQ(composite.GetTarget(), c.target);
    }
}
} // namespace

namespace
{
template <typename Job> struct WithExitCode : Job
{
    void SetExitCode(DWORD code) { this->m_exitCode = code; }
};
} // namespace

TEST(CompletionTest, FailedRunDeletesTheTargetAndNamesTheCheck)
{
    testing_support::TempDir dir;
    WithExitCode<CEmailMovieJob> email;
    email.SetTarget(dir.WriteFile("out.avi", "partial").c_str());
    email.SetExitCode(1);
    try
    {
        email.TestOKRun();
        FAIL() << "no exception";
    }
    catch (const CTranscoderException& e)
    {
        EXPECT_STREQ(e.what(), ".\\mpgwrapper[transcoder::CBaseJob::TestOKRun]: The transcoding process has "
                               "encountered a Runtime error");
        EXPECT_EQ(e.GetErrorCode(), 1);
        const CTranscoderException copy(e);
        EXPECT_EQ(copy.GetErrorCode(), 1);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "out.avi"));

    // The frames job only looks at the exit code: its ".gif" target is never written.
    WithExitCode<CBlogGIFJob> gif;
    gif.SetTarget((dir / "frames").c_str());
    EXPECT_NO_THROW(gif.TestOKRun());
    gif.SetExitCode(30);
    try
    {
        gif.TestOKRun();
        FAIL() << "no exception";
    }
    catch (const CTranscoderException& e)
    {
        EXPECT_STREQ(e.what(), ".\\jobs[transcoder::CBlogGIFJob::TestOKRun]: The transcoding process has "
                               "encountered a Runtime error");
        EXPECT_EQ(e.GetErrorCode(), 30);
    }
}
