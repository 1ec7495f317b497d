#include "brevicam/media/DllAccessor.h"
#include "brevicam/media/VideoFileProbe.h"
#include "brevicam/media/WmvFileInfo.h"
#include "platform/win/LastError.h"
#include "shared/exceptions/Exceptions.h"
#include "tests/kestavo/KestavoTestSupport.h"
#include "tests/support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using kestavo_test::MakeClip;
using kestavo_test::RunTool;
using testing::HasSubstr;
using testing_support::TempDir;
namespace fs = std::filesystem;

namespace
{
/// The video information a test expects: the texts and the numbers that matter.
struct Expected
{
    std::string container;
    int width = 0;
    int height = 0;
    double frameRate = 0;
    std::string codec;
    std::string duration;
    float seconds = 0;
    bool valid = false;
};

void ExpectInfo(const transcoder::VideoFileInfo& info, const Expected& e)
{
    EXPECT_STREQ(info.container, e.container.c_str());
    EXPECT_EQ(info.width, e.width);
    EXPECT_EQ(info.height, e.height);
    EXPECT_NEAR(info.frameRate, e.frameRate, 0.01);
    EXPECT_STREQ(info.codec, e.codec.c_str());
    EXPECT_STREQ(info.duration, e.duration.c_str());
    EXPECT_EQ(info.seconds, e.seconds);
    EXPECT_EQ(info.valid, e.valid);
}

/// How a test file is made: by the real converter, or by the program's own recording recipe.
struct SampleFile
{
    const char* name;
    std::string file;
    std::function<void(const fs::path&)> make;
    Expected probe; // what the transcoder library reads
    Expected wmv;   // what the Windows Media readers read
    DWORD fourcc = 0;
};

void PrintTo(const SampleFile& c, std::ostream* os)
{
    *os << c.name;
}

std::function<void(const fs::path&)> Converted(int width, int height, int rate, int seconds,
                                               std::vector<std::string> options)
{
    return [=](const fs::path& path)
    {
        MakeClip(path,
                 {"-f", "lavfi", "-i",
                  "testsrc=duration=" + std::to_string(seconds) + ":size=" + std::to_string(width) + "x" +
                      std::to_string(height) + ":rate=" + std::to_string(rate)},
                 options);
    };
}

/// An ASF file written to a pipe: the converter cannot go back to write the play time into its header.
void StreamedWmv(const fs::path& path)
{
    const auto r =
        RunTool({"sh", "-c",
                 "ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=duration=2:size=176x144:rate=10 "
                 "-c:v wmv2 -f asf pipe:1 > '" +
                     path.string() + "'"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
}

/// A recording as the program makes one: WMV2 video from GStreamer's encoder into its ASF muxer, the
/// timestamps made running time.
void ProgramRecording(const fs::path& path)
{
    const auto r = RunTool({"gst-launch-1.0",
                            "-q",
                            "-e",
                            "videotestsrc",
                            "num-buffers=30",
                            "!",
                            "video/x-raw,width=320,height=240,framerate=15/1",
                            "!",
                            "videoconvert",
                            "!",
                            "avenc_wmv2",
                            "!",
                            "identity",
                            "single-segment=true",
                            "!",
                            "queue",
                            "!",
                            "avmux_asf",
                            "!",
                            "filesink",
                            "location=" + path.string()});
    ASSERT_EQ(r.exitCode, 0) << r.output;
}

const Expected kNoVideoInfo{"N/A", 0, 0, 0, "N/A", "N/A", 0, false};
const Expected kNoWmvInfo{"WMV", 0, 0, 0, "N/A", "N/A", 0, false};

class VideoInformationTest : public testing::TestWithParam<SampleFile>
{
protected:
    void SetUp() override
    {
        m_file = m_dir / GetParam().file;
        GetParam().make(m_file);
    }

    TempDir m_dir;
    fs::path m_file;
};

TEST_P(VideoInformationTest, ProbeReadsWhatTheTranscoderLibraryReads)
{
    const VideoFileProbe probe(m_file.string().c_str());
    ExpectInfo(probe, GetParam().probe);
    EXPECT_EQ(probe.probedPath, CString(m_file.string()));
}

TEST_P(VideoInformationTest, WmvInformationComesFromTheWindowsMediaReaders)
{
    transcoder::VideoFileInfo info;
    std::memset(&info, 0x5A, sizeof info); // whatever the record held before is replaced
    EXPECT_EQ(&GetWmvFileInfo(info, m_file.string().c_str()), &info);
    ExpectInfo(info, GetParam().wmv);
    EXPECT_EQ(info.fourcc, GetParam().fourcc);
}

INSTANTIATE_TEST_SUITE_P(
    Files, VideoInformationTest,
    testing::Values(SampleFile{"Avi",
                               "clip one.avi",
                               Converted(320, 240, 15, 2, {"-c:v", "mpeg4", "-vtag", "XVID"}),
                               {"AVI", 320, 240, 15, "XVID", "00:00:02", 2, true},
                               kNoWmvInfo},
                    SampleFile{"Wmv8",
                               "clip.wmv",
                               Converted(320, 240, 15, 2, {"-c:v", "wmv2"}),
                               kNoVideoInfo,
                               {"WMV", 320, 240, 15, "Windows Media Video V8", "00:00:02", 2, true},
                               MAKEFOURCC('W', 'M', 'V', '2')},
                    SampleFile{"Wmv7OverAMinute",
                               "long.wmv",
                               Converted(64, 48, 5, 65, {"-c:v", "wmv1"}),
                               kNoVideoInfo,
                               {"WMV", 64, 48, 5, "Windows Media Video V7", "00:01:05", 65, true},
                               MAKEFOURCC('W', 'M', 'V', '1')},
                    SampleFile{"AsfOfAnotherCodec",
                               "other.asf",
                               Converted(160, 120, 25, 1, {"-c:v", "mpeg4", "-f", "asf"}),
                               kNoVideoInfo,
                               {"WMV", 160, 120, 25, "N/A", "00:00:01", 1, true},
                               MAKEFOURCC('M', '4', 'S', '2')},
                    SampleFile{"WmvWithoutDuration",
                               "streamed.wmv",
                               StreamedWmv,
                               kNoVideoInfo,
                               {"WMV", 176, 144, 10, "N/A", "N/A", 0, false},
                               MAKEFOURCC('W', 'M', 'V', '2')},
                    SampleFile{"ProgramRecording",
                               "Video-recording.wmv",
                               ProgramRecording,
                               kNoVideoInfo,
                               {"WMV", 320, 240, 15, "Windows Media Video V8", "00:00:02", 2, true},
                               MAKEFOURCC('W', 'M', 'V', '2')},
                    SampleFile{"Mp4", "clip.mp4", Converted(320, 240, 15, 2, {"-c:v", "mpeg4"}), kNoVideoInfo,
                               kNoWmvInfo},
                    SampleFile{"Missing", "missing.wmv", [](const fs::path&) {}, kNoVideoInfo, kNoWmvInfo}),
    [](const testing::TestParamInfo<SampleFile>& info) { return std::string(info.param.name); });

// The library accessor ----------------------------------------------------------------------------------

class DllAccessorTest : public testing::Test
{
protected:
    void TearDown() override { SetTranscoderLibraryPath(""); }
    TempDir m_dir;
};

TEST_F(DllAccessorTest, TranscoderLibraryLiesInTheProgramsFolder)
{
    const fs::path path = GetTranscoderLibraryPath().Str();
    EXPECT_EQ(path, fs::read_symlink("/proc/self/exe").parent_path() / "libkestavo.so");
    CDllAccessor library(path.c_str());
    EXPECT_TRUE(library.GetGenericFn<transcoder::CheckValidPspFn>("check_valid_psp", "any"));
}

TEST_F(DllAccessorTest, MissingLibraryIsReportedWithItsNameAndTheLoadersReason)
{
    const std::string missing = (m_dir / "libkestavo.so").string();
    try
    {
        CDllAccessor library(missing.c_str());
        FAIL() << "a missing library was loaded";
    }
    catch (const CDynamicLinkException& e)
    {
        EXPECT_THAT(e.what(),
                    HasSubstr(".\\DllAccessor[CDllAccessor::CDllAccessor]: Failed to load the specified "
                              "library " +
                              missing));
        EXPECT_THAT(e.what(), HasSubstr("cannot open shared object file"));
        EXPECT_EQ(e.GetErrorCode(), static_cast<int>(ERROR_MOD_NOT_FOUND));
    }
}

TEST_F(DllAccessorTest, LibraryThatCannotBeLoadedIsReportedWithTheLoadersReason)
{
    const std::string broken = m_dir.WriteFile("libkestavo.so", "not a library").string();
    try
    {
        CDllAccessor library(broken.c_str());
        FAIL() << "a broken library was loaded";
    }
    catch (const CDynamicLinkException& e)
    {
        EXPECT_THAT(e.what(), HasSubstr(broken));
        EXPECT_THAT(e.what(), HasSubstr("file too short"));
        EXPECT_EQ(e.GetErrorCode(), static_cast<int>(ERROR_BAD_FORMAT));
    }
}

TEST_F(DllAccessorTest, MissingExportIsReportedWithItsName)
{
    CDllAccessor library(GetTranscoderLibraryPath());
    try
    {
        library.GetGenericFn<int (*)()>("no_such_export");
        FAIL() << "a missing export was called";
    }
    catch (const CDynamicLinkException& e)
    {
        EXPECT_THAT(e.what(), HasSubstr(".\\DllAccessor[CDllAccessor::GetGenericFn]: Failed to get method's "
                                        "address no_such_export"));
        EXPECT_EQ(e.GetErrorCode(), static_cast<int>(ERROR_PROC_NOT_FOUND));
    }
}

TEST_F(DllAccessorTest, ProbeWithoutTheLibraryFailsLoudly)
{
    const std::string clip = (m_dir / "clip.avi").string();
    kestavo_test::MakeStandardClip(clip);
    SetTranscoderLibraryPath((m_dir / "libkestavo.so").string().c_str());
    EXPECT_THROW(VideoFileProbe probe(clip.c_str()), CDynamicLinkException);
}
} // namespace
