#include "platform/ostrago/Ostrago.h"
#include "platform/resources/Resources.h"
#include "platform/win/LastError.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace
{
std::string ProgramPath()
{
    char path[MAX_PATH + 1];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}
} // namespace

TEST(VersionInfoTest, ProgramFileGivesItsVersion)
{
    char text[1000];
    ASSERT_TRUE(GetVersionInfo(ProgramPath().c_str(), text, sizeof text, 0)) << GetLastError();
    EXPECT_STREQ(text, "3.1.4.1592");
    tagVERSIONINFO info{};
    ASSERT_TRUE(GetVersionInfo(ProgramPath().c_str(), &info, 0));
    EXPECT_EQ(info.dwFileVersionMS, 0x00030001u);
    EXPECT_EQ(info.dwFileVersionLS, 0x00040638u);
}

TEST(VersionInfoTest, TextIsBoundedByTheBuffer)
{
    char text[4];
    EXPECT_TRUE(GetVersionInfo(ProgramPath().c_str(), text, sizeof text, 0));
    EXPECT_STREQ(text, "3.1");
}

TEST(VersionInfoTest, FilesWithoutVersionGiveNothing)
{
    testing_support::TempDir dir;
    const auto language = std::filesystem::path(ProgramPath()).parent_path() / "ostrago_tests-FRA.so";
    const auto text = dir.WriteFile("notes.txt", "no version here");
    for (const auto& [path, error] :
         {std::pair{language, ERROR_RESOURCE_TYPE_NOT_FOUND}, std::pair{text, ERROR_BAD_FORMAT},
          std::pair{dir / "missing.so", ERROR_MOD_NOT_FOUND}})
    {
        char version[16] = "unchanged";
        EXPECT_FALSE(GetVersionInfo(path.c_str(), version, sizeof version, 0)) << path;
        EXPECT_EQ(GetLastError(), error) << path;
        EXPECT_STREQ(version, "") << path;
        tagVERSIONINFO info{7, 7};
        EXPECT_FALSE(GetVersionInfo(path.c_str(), &info, 0));
        EXPECT_EQ(info.dwFileVersionMS, 7u);
    }
}
