#include "platform/ostrago/Ostrago.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>

using testing_support::TempDir;

namespace
{
// Free space moves while other tests write; two readings of one volume agree within this.
constexpr ULONGLONG kSlackBytes = 256ull << 20;

ULONGLONG Available(const std::filesystem::path& p)
{
    return GetAvailableSpace(p.c_str()).QuadPart;
}
} // namespace

TEST(ModuleDirectoryTest, IsTheProgramFolder)
{
    char folder[MAX_PATH];
    const DWORD n = GetModuleDirectory(folder, MAX_PATH);
    const std::string expected = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
    EXPECT_EQ(folder, expected);
    EXPECT_EQ(n, expected.size());
}

TEST(ModuleDirectoryTest, IsBoundedByTheBuffer)
{
    char small[8];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(GetModuleDirectory(small, 5), 4u);
    EXPECT_EQ(std::string(small), std::filesystem::read_symlink("/proc/self/exe").string().substr(0, 4));
    EXPECT_EQ(small[5], 'x');
    EXPECT_EQ(GetModuleDirectory(small, 0), 0u);
    EXPECT_EQ(small[5], 'x');
}

TEST(AvailableSpaceTest, FolderAndMissingFilesInItShareTheirVolume)
{
    TempDir dir;
    const ULONGLONG expected = std::filesystem::space(dir.Path()).available;
    ASSERT_GT(expected, 0u);
    for (const auto& p : {dir.Path(), dir / "missing.jpg", dir / "missing/deeper/still/file.wmv"})
    {
        const ULONGLONG free = Available(p);
        EXPECT_GT(free, 0u) << p;
        EXPECT_LT(free > expected ? free - expected : expected - free, kSlackBytes) << p;
    }
}

TEST(AvailableSpaceTest, UnusablePathsGiveZero)
{
    EXPECT_EQ(GetAvailableSpace("").QuadPart, 0u);
    EXPECT_EQ(GetAvailableSpace(nullptr).QuadPart, 0u);
}

TEST(FileSizeTest, SizesAreSixtyFourBitsAndZeroWhenMissing)
{
    TempDir dir;
    const auto small = dir.WriteFile("small.bin", std::string(12345, 'a'));
    EXPECT_EQ(GetFileSize(small.c_str()).QuadPart, 12345);
    const auto big = dir / "big.bin";
    std::ofstream(big).close();
    const std::uintmax_t fiveGiB = 5ull << 30;
    std::filesystem::resize_file(big, fiveGiB); // sparse: takes no space
    EXPECT_EQ(static_cast<std::uintmax_t>(GetFileSize(big.c_str()).QuadPart), fiveGiB);
    EXPECT_EQ(GetFileSize((dir / "missing").c_str()).QuadPart, 0);
    EXPECT_EQ(GetFileSize(dir.Path().c_str()).QuadPart, 0);
}

struct ExistsCase
{
    const char* name;
    const char* path; // below the test folder
    BOOL exists;
    friend void PrintTo(const ExistsCase& c, std::ostream* os) { *os << c.name; }
};

class FileExistsTest : public testing::TestWithParam<ExistsCase>
{
};

TEST_P(FileExistsTest, AnswersForEachKindOfEntry)
{
    TempDir dir;
    dir.WriteFile("file.txt", "x");
    std::filesystem::create_directory(dir / "folder");
    std::filesystem::create_symlink(dir / "file.txt", dir / "link");
    std::filesystem::create_symlink(dir / "gone", dir / "dangling");
    EXPECT_EQ(FileExists((dir / GetParam().path).c_str(), 0), GetParam().exists);
}

INSTANTIATE_TEST_SUITE_P(Entries, FileExistsTest,
                         testing::Values(ExistsCase{"File", "file.txt", TRUE},
                                         ExistsCase{"Folder", "folder", FALSE},
                                         ExistsCase{"Missing", "missing.txt", FALSE},
                                         ExistsCase{"LinkToFile", "link", TRUE},
                                         ExistsCase{"DanglingLink", "dangling", FALSE},
                                         ExistsCase{"BelowAFile", "file.txt/inner", FALSE}),
                         [](const auto& info) { return std::string(info.param.name); });
