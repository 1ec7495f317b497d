#include "KestavoTestSupport.h"

#include "kestavo/mpgwrapper.h"
#include "platform/win/Kernel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

using namespace transcoder;
using namespace kestavo_test;

namespace
{
// Stand-in converters for what the real one cannot be made to do. Each answers the size probe (three
// arguments) with a failure and treats its last argument as the target.
const std::string kStandInHeader = "PATH=/usr/bin:/bin\n"
                                   "if [ \"$#\" -le 3 ]; then exit 1; fi\n"
                                   "for a; do last=$a; done\n"
                                   "target=${last#file:}\n";

std::vector<pid_t> ReadPids(const std::filesystem::path& file)
{
    std::vector<pid_t> pids;
    std::ifstream in(file);
    pid_t pid = 0;
    while (in >> pid)
        pids.push_back(pid);
    return pids;
}

class StandInConverterTest : public TranscoderFixture
{
protected:
    void SetUp() override
    {
        TranscoderFixture::SetUp();
        std::filesystem::create_directories(Path("bin"));
        MakeStandardClip(Path("clip.avi"));
    }

    void UseStandIn(const std::string& body)
    {
        WriteScript(Path("bin/ffmpeg"), kStandInHeader + body);
        path = std::make_unique<ScopedEnv>("PATH", Path("bin").string());
    }

    std::string RunOneJob()
    {
        AddJob(IID_IEmailMovieJob, "clip.avi", "out.avi");
        EventRecorder recorder(instance);
        RunToEnd(recorder);
        events = recorder.Events();
        return recorder.Sequence();
    }

    int Code(int event) const
    {
        for (const auto& e : events)
            if (e.event == event)
                return e.code;
        return -12345;
    }

    std::unique_ptr<ScopedEnv> path;
    std::vector<RecordedEvent> events;
};
} // namespace

TEST_F(StandInConverterTest, SilentConverterIsEndedWithItsChildrenAndTheJobFails)
{
    // Long enough for a slow shell to start its child and write both ids.
    const ScopedEnv limit("KESTAVO_SILENCE_TIMEOUT_MS", "2000");
    UseStandIn("echo $$ >> \"" + Path("pids").string() + "\"\n" + "sleep 60 &\necho $! >> \"" +
               Path("pids").string() + "\"\nwait\n");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunOneJob(), "SEQ");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(Code(TE_JOB_ERROR), kJobErrorConverterFailed);
    const auto pids = ReadPids(Path("pids"));
    ASSERT_EQ(pids.size(), 2u);
    for (pid_t pid : pids)
        EXPECT_TRUE(ProcessEndsWithin(pid, std::chrono::seconds(5))) << pid;
}

TEST_F(StandInConverterTest, EmptyTargetWithSuccessCodeFailsAndIsDeleted)
{
    UseStandIn(": > \"$target\"\nexit 0\n");
    EXPECT_EQ(RunOneJob(), "SEQ");
    EXPECT_EQ(Code(TE_JOB_ERROR), kJobErrorConverterFailed);
    EXPECT_FALSE(std::filesystem::exists(Path("out.avi")));
}

TEST_F(StandInConverterTest, NonEmptyTargetWithSuccessCodeIsDone)
{
    UseStandIn("printf 'data' > \"$target\"\nexit 0\n");
    EXPECT_EQ(RunOneJob(), "SDQ");
    EXPECT_EQ(testing_support::ReadFile(Path("out.avi")), "data");
}

TEST_F(StandInConverterTest, FailureCodeOrSignalFailsTheJobAndDeletesItsOutput)
{
    UseStandIn("printf 'partial' > \"$target\"\nkill -9 $$\n");
    EXPECT_EQ(RunOneJob(), "SEQ");
    EXPECT_FALSE(std::filesystem::exists(Path("out.avi")));
}

TEST_F(StandInConverterTest, FloodOfUnparseableOutputIsReadAndIgnored)
{
    UseStandIn("head -c 3000000 /dev/zero | tr '\\0' 'x'\nprintf 'data' > \"$target\"\n");
    EXPECT_EQ(RunOneJob(), "SDQ");
}

TEST_F(StandInConverterTest, MissingConverterEndsTheQueueWithFileNotFound)
{
    path = std::make_unique<ScopedEnv>("PATH", Path("bin").string());
    EXPECT_EQ(RunOneJob(), "SQ");
    EXPECT_EQ(Code(TE_QUEUE_DONE), 2);
    EXPECT_EQ(lib.get_frame(Path("clip.avi").c_str(), Path("frame.bmp").c_str()), -1);
}

TEST(ConverterLocationTest, ConverterBesideTheLibraryIsPreferredToPath)
{
    testing_support::TempDir dir;
    std::filesystem::copy_file(KestavoLibrary::DefaultPath(), dir / "libkestavo.so");
    WriteScript(dir / "ffmpeg", "for a; do last=$a; done\n"
                                "printf '%s\\n' \"$@\" > \"" +
                                    (dir / "arguments").string() +
                                    "\"\n"
                                    "printf 'image' > \"${last#file:}\"\n");
    const auto video = dir.WriteFile("video.avi", "video");
    KestavoLibrary copy(dir / "libkestavo.so");
    ASSERT_NE(copy.get_frame, nullptr);
    EXPECT_EQ(copy.get_frame(video.c_str(), (dir / "frame.bmp").c_str()), 0);
    EXPECT_EQ(testing_support::ReadFile(dir / "arguments"),
              "-nostdin\n-y\n-i\nfile:" + video.string() +
                  "\n-frames:v\n1\n-update\n1\nfile:" + (dir / "frame.bmp").string() + "\n");
}

TEST(LauncherTest, MissingProgramThrowsWithTheSystemCode)
{
    try
    {
        CTranscoderLauncher launcher({"/nonexistent/ffmpeg"}, nullptr);
        FAIL() << "no exception";
    }
    catch (const COSResourceException& e)
    {
        EXPECT_EQ(e.GetErrorCode(), 2);
        EXPECT_STREQ(e.what(), ".\\mpgwrapper[transcoder::CTranscoderLauncher::CTranscoderLauncher]: Failed "
                               "starting-up the transcoder (external) process");
    }
}

TEST(LauncherTest, HaltEndsTheConverterWithTheAbortCode)
{
    const HANDLE halt = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    CTranscoderLauncher launcher({"/bin/sleep", "30"}, nullptr);
    SetEvent(halt);
    try
    {
        launcher.DoIteration(halt);
        FAIL() << "no exception";
    }
    catch (const CUserAbortException& e)
    {
        EXPECT_STREQ(
            e.what(),
            ".\\mpgwrapper[transcoder::CTranscoderLauncher::DoIteration]: User has aborted the operation");
    }
    EXPECT_EQ(launcher.GetExitCode(), kHaltExitCode);
    CloseHandle(halt);
    EXPECT_TRUE(ChildProcesses().empty());
}

TEST(LauncherTest, SilenceEndsTheConverterWithItsOwnCode)
{
    const ScopedEnv limit("KESTAVO_SILENCE_TIMEOUT_MS", "300");
    CTranscoderLauncher launcher({"/bin/sleep", "30"}, nullptr);
    launcher.DoIteration(nullptr);
    EXPECT_EQ(launcher.GetExitCode(), kSilenceExitCode);
    EXPECT_TRUE(ChildProcesses().empty());
}

TEST(LauncherTest, OutputIsReadToItsEndBeforeTheExitCodeCounts)
{
    CBaseJob::CProgressParser parser;
    CTranscoderLauncher launcher(
        {"/bin/sh", "-c",
         "printf 'banner\\nInput #0, avi:\\n  Duration: 00:00:04.00, x\\nframe=  5 fps=1 q=2 "
         "size=3kB time=00:00:01.00 b\\r'; exit 7"},
        &parser);
    bool reported = false;
    while (launcher.GetExitCode() == STILL_ACTIVE)
    {
        launcher.DoIteration(nullptr);
        reported = reported || parser.HasResult();
    }
    EXPECT_EQ(launcher.GetExitCode(), 7u);
    EXPECT_TRUE(reported);
    EXPECT_FLOAT_EQ(static_cast<const TranscodeProgress*>(parser.GetResult())->inputLength, 4.0f);
    EXPECT_EQ(static_cast<const TranscodeProgress*>(parser.GetResult())->frame, 5);
}
