#include "FuzzTargets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{
namespace fs = std::filesystem;

class FuzzCorpusTest : public testing::TestWithParam<fuzz::Target>
{
};

// Every seed input of a target goes through the entry the fuzzer drives, so the inputs that once broke
// a parser keep being tried by every build, sanitizer builds included.
TEST_P(FuzzCorpusTest, EverySeedInputIsReadWithoutFault)
{
    const fs::path folder = fs::path(BREVICAM_FUZZ_CORPUS) / GetParam().name;
    std::vector<fs::path> inputs;
    if (fs::is_directory(folder))
        for (const auto& entry : fs::directory_iterator(folder))
            inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    ASSERT_FALSE(inputs.empty()) << "no seed inputs in " << folder;
    for (const fs::path& input : inputs)
    {
        SCOPED_TRACE(input.filename().string());
        std::ifstream file(input, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        EXPECT_EQ(0, GetParam().entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzCorpusTest, testing::ValuesIn(fuzz::Targets()),
                         [](const testing::TestParamInfo<fuzz::Target>& info) { return info.param.name; });
} // namespace
