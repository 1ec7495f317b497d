#include "WaveBytes.h"

#include "platform/wave/MMSystem.h"
#include "platform/wave/PulseBackend.h"
#include "tests/support/PulseDaemon.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using testing_support::PulseDaemon;
using testing_support::TempDir;

namespace
{
constexpr DWORD kAsync = SND_ASYNC | SND_NODEFAULT | SND_FILENAME;
constexpr const char* kProbeSink = "sound_probe";
constexpr const char* kProbeSource = "sound_probe_in";

template <class Pred> bool WaitFor(Pred pred, int timeoutMs = 5000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred())
    {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// A private server whose default sink is a silent null sink of its own, copied into a capture source so
// that what plays there can be metered.
class PlaySoundTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_GE(daemon.LoadModule("module-null-sink", std::string("sink_name=") + kProbeSink), 0);
        ASSERT_EQ(daemon.Pactl({"set-default-sink", kProbeSink}), 0);
        ASSERT_GE(daemon.LoadModule("module-remap-source", std::string("source_name=") + kProbeSource +
                                                               " master=" + kProbeSink + ".monitor"),
                  0);
    }

    void TearDown() override { PlaySoundA(nullptr, nullptr, kAsync); }

    std::string Tone(const std::string& name, std::uint32_t ms)
    {
        return dir.WriteFile(name, wave_bytes::Tone(44100, 1, 44100 * ms / 1000)).string();
    }

    // The media names of our sounds the server is playing now, from pactl (the other sink inputs are the
    // server's own loopbacks).
    std::vector<std::string> Playing() const
    {
        std::string out;
        if (daemon.Pactl({"list", "sink-inputs"}, &out) != 0)
            return {"<pactl failed>"};
        std::vector<std::string> names;
        std::istringstream blocks(out);
        std::string line, name;
        bool ours = false;
        auto flush = [&]
        {
            if (ours)
                names.push_back(name);
            ours = false;
            name.clear();
        };
        while (std::getline(blocks, line))
        {
            if (line.rfind("Sink Input #", 0) == 0)
                flush();
            const auto eq = line.find(" = \"");
            if (eq == std::string::npos)
                continue;
            const auto key = line.substr(line.find_first_not_of(" \t"), eq - line.find_first_not_of(" \t"));
            const auto value = line.substr(eq + 4, line.size() - eq - 5);
            if (key == "media.name")
                name = value;
            if (key == "application.name" && value == "Brevicam audio")
                ours = true;
        }
        flush();
        return names;
    }

    bool PlayingNow(const std::vector<std::string>& names) const
    {
        return WaitFor([&] { return Playing() == names; });
    }

    PulseDaemon daemon;
    TempDir dir;
};

TEST_F(PlaySoundTest, PlayedFileIsHeardUntilStopped)
{
    const auto tone = Tone("tone.wav", 10000);
    platform::wave::PeakMeter meter(kProbeSource);
    ASSERT_TRUE(meter.IsRunning());
    ASSERT_TRUE(WaitFor([&] { return meter.TakePeak() < 0.01f; })) << "the probe sink must start silent";

    ASSERT_TRUE(PlaySoundA(tone.c_str(), nullptr, kAsync));
    EXPECT_TRUE(PlayingNow({"tone.wav"})) << daemon.Log();
    EXPECT_TRUE(WaitFor([&] { return meter.TakePeak() > 0.5f; })) << "the tone plays at 73 % of full scale";

    EXPECT_TRUE(PlaySoundA(nullptr, nullptr, kAsync));
    EXPECT_TRUE(PlayingNow({}));
    EXPECT_TRUE(WaitFor([&] { return meter.TakePeak() < 0.01f; }));
}

TEST_F(PlaySoundTest, NewSoundReplacesThePlayingOne)
{
    const auto first = Tone("first.wav", 10000);
    const auto second = Tone("second.wav", 10000);
    ASSERT_TRUE(PlaySoundA(first.c_str(), nullptr, kAsync));
    ASSERT_TRUE(PlayingNow({"first.wav"}));
    ASSERT_TRUE(PlaySoundA(second.c_str(), nullptr, kAsync));
    EXPECT_TRUE(PlayingNow({"second.wav"}));
    EXPECT_TRUE(PlaySoundA(nullptr, nullptr, SND_PURGE));
    EXPECT_TRUE(PlayingNow({}));
}

TEST_F(PlaySoundTest, ShortSoundPlaysOutAndLeavesTheServer)
{
    const auto click = Tone("click.wav", 150);
    ASSERT_TRUE(PlaySoundA(click.c_str(), nullptr, kAsync));
    EXPECT_TRUE(PlayingNow({}));

    // Synchronous play returns once the sound has played: not before most of its half second.
    const auto sound = Tone("half.wav", 500);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(PlaySoundA(sound.c_str(), nullptr, SND_SYNC | SND_FILENAME));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
    EXPECT_TRUE(PlayingNow({}));
}

TEST_F(PlaySoundTest, SynchronousPlayEndsWhenAnotherThreadStopsIt)
{
    const auto tone = Tone("long.wav", 30000);
    auto played = std::async(std::launch::async,
                             [&] { return PlaySoundA(tone.c_str(), nullptr, SND_SYNC | SND_FILENAME); });
    ASSERT_TRUE(PlayingNow({"long.wav"}));
    EXPECT_TRUE(PlaySoundA(nullptr, nullptr, kAsync));
    ASSERT_EQ(played.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(played.get());
    EXPECT_TRUE(PlayingNow({}));
}

TEST_F(PlaySoundTest, FileThatCannotPlayGivesFalseAndStopsTheSoundPlaying)
{
    const auto tone = Tone("tone.wav", 10000);
    const std::string missing = (dir / "missing.wav").string();
    const std::string refused =
        dir.WriteFile("refused.wav",
                      wave_bytes::Riff(wave_bytes::Chunk("fmt ", wave_bytes::FormatBody(1, 0, 8000, 16, 2)) +
                                       wave_bytes::Chunk("data", "ab")))
            .string();
    for (const auto& file : {missing, refused})
    {
        ASSERT_TRUE(PlaySoundA(tone.c_str(), nullptr, kAsync));
        ASSERT_TRUE(PlayingNow({"tone.wav"}));
        EXPECT_FALSE(PlaySoundA(file.c_str(), nullptr, kAsync)) << file;
        EXPECT_TRUE(PlayingNow({})) << file;
    }
    // Looping and the other sound sources are not ours to offer.
    constexpr DWORD kLoop = 0x0008;
    EXPECT_FALSE(PlaySoundA(tone.c_str(), nullptr, kAsync | kLoop));
    EXPECT_TRUE(PlayingNow({}));
}

TEST_F(PlaySoundTest, CallsFromTwoThreadsLeaveOneSoundAtMost)
{
    const auto a = Tone("a.wav", 3000);
    const auto b = Tone("b.wav", 3000);
    std::atomic<int> failures{0};
    auto worker = [&](const std::string& file)
    {
        for (int i = 0; i < 40; ++i)
        {
            if (!PlaySoundA(file.c_str(), nullptr, kAsync))
                ++failures;
            if (i % 3 == 0)
                PlaySoundA(nullptr, nullptr, kAsync);
        }
    };
    std::thread one(worker, a);
    std::thread two(worker, b);
    one.join();
    two.join();
    EXPECT_EQ(failures.load(), 0);
    const auto last = Playing();
    EXPECT_LE(last.size(), 1u);

    const auto c = Tone("c.wav", 3000);
    ASSERT_TRUE(PlaySoundA(c.c_str(), nullptr, kAsync));
    EXPECT_TRUE(PlayingNow({"c.wav"}));
}

TEST_F(PlaySoundTest, ProcessEndsCleanlyWhileSoundsPlay)
{
    const auto tone = Tone("tone.wav", 10000);
    const auto helper = (testing_support::BinaryDir() / "bin" / "playsound_exit_helper").string();
    std::string output;
    EXPECT_EQ(testing_support::RunProgram({helper, tone}, &output, 20000), 0) << output;
    EXPECT_TRUE(PlayingNow({})) << "the server drops the ended process's stream";
}

TEST(PlaySoundWithoutServerTest, GivesFalseAtOnce)
{
    TempDir dir;
    const auto tone = dir.WriteFile("tone.wav", wave_bytes::Tone(8000, 1, 800)).string();
    const char* old = std::getenv("PULSE_SERVER");
    const std::string saved = old ? old : "";
    setenv("PULSE_SERVER", ("unix:" + (dir / "no-server").string()).c_str(), 1);
    EXPECT_FALSE(PlaySoundA(tone.c_str(), nullptr, kAsync));
    EXPECT_FALSE(PlaySoundA(tone.c_str(), nullptr, SND_SYNC | SND_FILENAME));
    EXPECT_TRUE(PlaySoundA(nullptr, nullptr, kAsync));
    if (old)
        setenv("PULSE_SERVER", saved.c_str(), 1);
    else
        unsetenv("PULSE_SERVER");
}
} // namespace
