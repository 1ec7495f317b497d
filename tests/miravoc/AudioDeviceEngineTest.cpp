#include "miravoc/AudioDeviceEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace
{
struct LevelCase
{
    const char* name;
    std::vector<BYTE> buffer;
    WORD bits;
    int expected;
};

std::vector<BYTE> Samples16(const std::vector<std::int16_t>& samples)
{
    std::vector<BYTE> bytes(samples.size() * 2);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

std::vector<BYTE> Sine16(double amplitude, int count)
{
    std::vector<std::int16_t> samples;
    for (int i = 0; i < count; ++i)
        samples.push_back(static_cast<std::int16_t>(std::lround(amplitude * std::sin(i * 2 * M_PI / 50))));
    return Samples16(samples);
}

void PrintTo(const LevelCase& c, std::ostream* os)
{
    *os << c.name;
}

class LevelTest : public ::testing::TestWithParam<LevelCase>
{
};
} // namespace

TEST_P(LevelTest, BufferLevelFollowsItsPeakToPeakRangeInDecibels)
{
    const auto& c = GetParam();
    EXPECT_EQ(CAudioDeviceEngine::LevelOfBuffer(c.buffer.data(), static_cast<DWORD>(c.buffer.size()), c.bits),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Buffers, LevelTest,
    ::testing::Values(LevelCase{"Silent16", Samples16(std::vector<std::int16_t>(735, 1200)), 16, 0},
                      LevelCase{"FullScaleSquare16", Samples16({32767, -32768, 32767, -32768}), 16, 100},
                      LevelCase{"HalfScaleSine16", Sine16(16383.5, 1470), 16, 72},
                      LevelCase{"OneOddByte16", {0x7f}, 16, 0},
                      LevelCase{"AllZero8IsFullNegativeScale", std::vector<BYTE>(735, 0), 8, 100},
                      LevelCase{"Silent8", std::vector<BYTE>(735, 128), 8, 0},
                      // Only the first 100 bytes count for 8-bit buffers.
                      LevelCase{"Loud8AfterTheFirstHundredBytes",
                                []
                                {
                                    std::vector<BYTE> b(735, 128);
                                    b[200] = 255;
                                    return b;
                                }(),
                                8, 0}),
    [](const auto& info) { return std::string(info.param.name); });
