#include "KestavoTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sys/stat.h>
#include <utility>

using namespace kestavo_test;

namespace
{
class GetFrameTest : public TranscoderFixture
{
protected:
    void SetUp() override
    {
        TranscoderFixture::SetUp();
        MakeStandardClip(Path("clip.avi"), 176, 144);
    }

    int Frame(const std::string& video, const std::string& image)
    {
        return lib.get_frame(Path(video).c_str(), Path(image).c_str());
    }
};
} // namespace

TEST_F(GetFrameTest, WritesOneImageOverAnExistingFile)
{
    std::ofstream(Path("frame.bmp")) << "an older file";
    EXPECT_EQ(Frame("clip.avi", "frame.bmp"), 0);
    const ProbeResult image = Probe(Path("frame.bmp"));
    EXPECT_EQ(image.videoCodec, "bmp");
    EXPECT_EQ(image.width, 176);
    EXPECT_EQ(image.height, 144);
    // One image under the given name, never a numbered series.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
}

TEST_F(GetFrameTest, NamesThatLookLikeOptionsOrPatternsStayNames)
{
    std::filesystem::rename(Path("clip.avi"), Path("-i 'x\" %d.avi"));
    EXPECT_EQ(Frame("-i 'x\" %d.avi", "-y frame %d.jpg"), 0);
    // ffprobe itself reads "%d" as a pattern, so it looks at a copy.
    std::filesystem::copy_file(Path("-y frame %d.jpg"), Path("check.jpg"));
    EXPECT_EQ(Probe(Path("check.jpg")).width, 176);
}

TEST_F(GetFrameTest, FailuresReturnMinusOneAndLeaveNoImage)
{
    EXPECT_EQ(Frame("missing.avi", "frame.bmp"), -1);
    EXPECT_FALSE(std::filesystem::exists(Path("frame.bmp")));
    const std::string before = testing_support::ReadFile(Path("clip.avi"));
    EXPECT_EQ(Frame("clip.avi", "./clip.avi"), -1);
    EXPECT_EQ(testing_support::ReadFile(Path("clip.avi")), before);
    EXPECT_EQ(lib.get_frame(nullptr, Path("frame.bmp").c_str()), -1);
    EXPECT_EQ(lib.get_frame(Path("clip.avi").c_str(), nullptr), -1);
}

TEST_F(GetFrameTest, AnythingButRegularFilesIsRefusedWithoutStartingTheConverter)
{
    // A converter that leaves a mark when it runs: a refusal must come before it is started, since a FIFO
    // would hold it (and the caller) until the silence limit.
    std::filesystem::create_directories(Path("bin"));
    WriteScript(Path("bin/ffmpeg"), "echo ran >> '" + Path("ran").string() + "'\nexit 1\n");
    const ScopedEnv path("PATH", Path("bin").string());
    ASSERT_EQ(mkfifo(Path("pipe.avi").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(Path("pipe.bmp").c_str(), 0600), 0);
    std::filesystem::create_directories(Path("folder.avi"));
    const std::pair<const char*, const char*> cases[] = {
        {"pipe.avi", "frame.bmp"},
        {"folder.avi", "frame.bmp"},
        {"clip.avi", "pipe.bmp"},
    };
    for (const auto& [video, image] : cases)
        EXPECT_EQ(Frame(video, image), -1) << video << " -> " << image;
    EXPECT_FALSE(std::filesystem::exists(Path("ran")));
    EXPECT_FALSE(std::filesystem::exists(Path("frame.bmp")));
}

TEST_F(GetFrameTest, HungConverterIsEndedAfterTheSilenceLimit)
{
    std::filesystem::create_directories(Path("bin"));
    WriteScript(Path("bin/ffmpeg"), "exec /bin/sleep 60\n");
    const ScopedEnv path("PATH", Path("bin").string());
    const ScopedEnv limit("KESTAVO_SILENCE_TIMEOUT_MS", "300");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Frame("clip.avi", "frame.bmp"), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}
