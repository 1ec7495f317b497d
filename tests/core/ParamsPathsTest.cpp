#include "brevicam/core/Params.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace
{
// Readable test names from the case's own description.
template <class Case> std::string CaseName(const testing::TestParamInfo<Case>& info)
{
    return info.param.name;
}

struct ValidPathCase
{
    const char* name;
    std::string path;
    bool valid;
};

class ParamsValidPathTest : public testing::TestWithParam<ValidPathCase>
{
};

TEST_P(ParamsValidPathTest, AcceptsOnlyUsableAbsoluteFolders)
{
    EXPECT_EQ(CParams::IsValidPath(GetParam().path.c_str()), GetParam().valid ? TRUE : FALSE)
        << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ParamsValidPathTest,
    testing::Values(ValidPathCase{"Root", "/", true}, ValidPathCase{"Folder", "/home/user/Photos", true},
                    ValidPathCase{"TrailingSlash", "/home/user/Photos/", true},
                    ValidPathCase{"Blanks", "/home/user/My Photos/Summer holidays", true},
                    ValidPathCase{"NonAscii", "/home/usér/Фотографии/写真", true},
                    ValidPathCase{"DotInsideName", "/home/user/v1.2 photos", true},
                    ValidPathCase{"LongestAccepted", "/" + std::string(247, 'a'), true},
                    ValidPathCase{"OverLong", "/" + std::string(248, 'a'), false},
                    ValidPathCase{"OverLongInManyFolders",
                                  "/" +
                                      []
                                      {
                                          std::string s;
                                          for (int i = 0; i < 30; ++i)
                                              s += "folder" + std::to_string(i) + "/";
                                          return s;
                                      }(),
                                  false},
                    ValidPathCase{"Empty", "", false}, ValidPathCase{"Relative", "Photos", false},
                    ValidPathCase{"DotRelative", "./Photos", false},
                    ValidPathCase{"Tilde", "~/Photos", false},
                    ValidPathCase{"DriveLetter", "C:\\Photos", false},
                    ValidPathCase{"ParentStep", "/home/user/../other", false},
                    ValidPathCase{"CurrentStep", "/home/./user", false},
                    ValidPathCase{"HiddenFolder", "/home/user/.cache/photos", false},
                    ValidPathCase{"HiddenLast", "/home/user/.photos", false},
                    ValidPathCase{"TrailingDot", "/home/user/photos.", false},
                    ValidPathCase{"FolderEndingInDot", "/home/user/a./b", false},
                    ValidPathCase{"BlankBeforeSlash", "/home/user/a /b", false},
                    ValidPathCase{"BlankAfterSlash", "/home/user/ a", false},
                    ValidPathCase{"DoubledSlash", "/home//user", false},
                    ValidPathCase{"LeadingDoubledSlash", "//server/share", false},
                    ValidPathCase{"Colon", "/home/user/a:b", false}, ValidPathCase{"Star", "/home/*", false},
                    ValidPathCase{"Question", "/home/a?", false}, ValidPathCase{"Less", "/home/a<b", false},
                    ValidPathCase{"Greater", "/home/a>b", false}, ValidPathCase{"Bar", "/home/a|b", false},
                    ValidPathCase{"Quote", "/home/\"a\"", false},
                    ValidPathCase{"Backslash", "/home/a\\b", false},
                    ValidPathCase{"Tab", "/home/a\tb", false}, ValidPathCase{"Newline", "/home/a\nb", false}),
    CaseName<ValidPathCase>);

TEST(ParamsValidPathTest, ExistingHiddenFolderOnTheWayIsRejected)
{
    testing_support::TempDir dir;
    std::filesystem::create_directories(dir / ".hidden/photos");
    EXPECT_TRUE(CParams::IsValidPath(dir.Path().c_str()));
    EXPECT_FALSE(CParams::IsValidPath((dir / ".hidden/photos").c_str()));
}

struct TextCase
{
    const char* name;
    std::string input;
    std::string expected;
};

class ParamsParentFolderTest : public testing::TestWithParam<TextCase>
{
};

TEST_P(ParamsParentFolderTest, GivesTheParentWithItsSlash)
{
    EXPECT_EQ(CParams::GetParentFolder(GetParam().input.c_str()).Str(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Paths, ParamsParentFolderTest,
                         testing::Values(TextCase{"File", "/a/b", "/a/"}, TextCase{"Folder", "/a/b/", "/a/"},
                                         TextCase{"Deep", "/a/b/c.jpg", "/a/b/"},
                                         TextCase{"BelowRoot", "/a", ""}, TextCase{"Root", "/", ""},
                                         TextCase{"NoSlash", "ab", ""}, TextCase{"Empty", "", ""}),
                         CaseName<TextCase>);

class ParamsNormalizePathTest : public testing::TestWithParam<TextCase>
{
};

TEST_P(ParamsNormalizePathTest, CollapsesRunsOfSlashesInPlace)
{
    std::vector<char> buffer(GetParam().input.begin(), GetParam().input.end());
    buffer.push_back('\0');
    EXPECT_EQ(CParams::NormalizePath(buffer.data()), buffer.data());
    EXPECT_EQ(std::string(buffer.data()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ParamsNormalizePathTest,
    testing::Values(TextCase{"Doubled", "/a//b", "/a/b"}, TextCase{"Many", "/a////b///c", "/a/b/c"},
                    TextCase{"Leading", "//server/share", "/server/share"},
                    TextCase{"LeadingThree", "///a", "/a"}, TextCase{"TrailingRun", "/a/b//", "/a/b/"},
                    TextCase{"AlreadyNormal", "/home/user/My Photos", "/home/user/My Photos"},
                    // A backslash is an ordinary character in a Linux name.
                    TextCase{"BackslashKept", "/a\\\\b", "/a\\\\b"}, TextCase{"Empty", "", ""}),
    CaseName<TextCase>);

struct CompactCase
{
    const char* name;
    std::string path;
    int maximum;
    std::string expected;
};

class ParamsCompactPathTest : public testing::TestWithParam<CompactCase>
{
};

TEST_P(ParamsCompactPathTest, ShortensLongPathsForDisplay)
{
    const CString result = CParams::CompactPath(GetParam().path.c_str(), GetParam().maximum);
    EXPECT_EQ(result.Str(), GetParam().expected);
    const int maximum = GetParam().maximum < 0 ? 50 : GetParam().maximum;
    if (static_cast<int>(GetParam().path.size()) > maximum)
    {
        EXPECT_LE(result.GetLength(), maximum - 1);
    }
}

const std::string kPhoto = "/home/user/Documents/Tavisk webcam/Photos/Pic-20240101-001.jpg"; // 62 bytes

INSTANTIATE_TEST_SUITE_P(
    Paths, ParamsCompactPathTest,
    testing::Values(
        CompactCase{"StandardKeepsLeadingFolders", kPhoto, -1,
                    "/home/user/Documents/.../Pic-20240101-001.jpg"},
        CompactCase{"Narrow", kPhoto, 30, "/.../Pic-20240101-001.jpg"},
        CompactCase{"OneTooLong", kPhoto, 61, "/home/user/Documents/Tavisk webcam/.../Pic-20240101-001.jpg"},
        CompactCase{"ExactlyTheMaximum", kPhoto, 62, kPhoto}, CompactCase{"Wide", kPhoto, 90, kPhoto},
        CompactCase{"Exactly50", "/" + std::string(49, 'a'), -1, "/" + std::string(49, 'a')},
        CompactCase{"Of51", "/" + std::string(20, 'a') + "/" + std::string(29, 'b'), -1,
                    "/.../" + std::string(29, 'b')},
        CompactCase{"FolderWithTrailingSlash", "/home/user/Documents/Tavisk webcam/Photos/", 30,
                    "/home/user/.../Photos"},
        CompactCase{"LongLastName", "/x/" + std::string(60, 'a'), 20, std::string(16, 'a') + "..."},
        // The cut falls between whole characters: 8 two-byte letters, then the ellipsis.
        CompactCase{"LongNonAsciiName",
                    "/é/" +
                        []
                        {
                            std::string s;
                            for (int i = 0; i < 25; ++i)
                                s += "é";
                            return s;
                        }(),
                    20, "éééééééé..."}),
    CaseName<CompactCase>);

struct SameFolderCase
{
    const char* name;
    const char* a;
    const char* b;
    bool same;
};

class ParamsSameFolderTest : public testing::TestWithParam<SameFolderCase>
{
};

TEST_P(ParamsSameFolderTest, ComparesTheFoldersTheNamesLieIn)
{
    EXPECT_EQ(CParams::IsSameFolder(GetParam().a, GetParam().b), GetParam().same ? TRUE : FALSE);
}

INSTANTIATE_TEST_SUITE_P(Paths, ParamsSameFolderTest,
                         testing::Values(SameFolderCase{"SameFolder", "/a/x.jpg", "/a/y.bmp", true},
                                         SameFolderCase{"CaseMatters", "/a/x.jpg", "/A/y.bmp", false},
                                         SameFolderCase{"Deeper", "/a/b/x.jpg", "/a/y.jpg", false},
                                         SameFolderCase{"FolderWithSlash", "/a/x.jpg", "/a/", true},
                                         SameFolderCase{"Root", "/x", "/y", true},
                                         SameFolderCase{"NonAscii", "/Фото/a.jpg", "/Фото/b.jpg", true}),
                         CaseName<SameFolderCase>);

struct KindCase
{
    const char* name;
    const char* path;
    int imageType;
    int mediaType;
};

class ParamsFileKindTest : public testing::TestWithParam<KindCase>
{
protected:
    CParams m_params;
};

TEST_P(ParamsFileKindTest, TellsTheKindByTheExtension)
{
    EXPECT_EQ(m_params.GetImageType(GetParam().path), GetParam().imageType);
    EXPECT_EQ(m_params.GetMediaType(GetParam().path), GetParam().mediaType);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ParamsFileKindTest,
    testing::Values(KindCase{"Jpeg", "/p/photo.jpeg", 3, 4}, KindCase{"MixedCase", "/p/PHOTO.Jpg", 3, 4},
                    KindCase{"Jfif", "a.jfif", 3, 4}, KindCase{"Bmp", "a.bmp", 1, 4},
                    KindCase{"Gif", "a.GIF", 2, 4}, KindCase{"Png", "a.png", 4, 4},
                    KindCase{"Ico", "a.ico", 5, 4}, KindCase{"Tif", "a.tif", 6, 4},
                    KindCase{"Tga", "a.tga", 7, 4}, KindCase{"Pcx", "a.pcx", 8, 4},
                    KindCase{"Wbmp", "a.wbmp", 9, 4}, KindCase{"Emf", "a.emf", 10, 4},
                    KindCase{"Jp2", "a.jp2", 11, 4}, KindCase{"J2c", "a.j2c", 11, 4},
                    KindCase{"Jpc", "a.jpc", 12, 4}, KindCase{"Pgx", "a.pgx", 13, 4},
                    KindCase{"Pgm", "a.pgm", 14, 4}, KindCase{"Ras", "a.ras", 15, 4},
                    KindCase{"Wmv", "/v/clip.wmv", 0, 3}, KindCase{"Avi", "/v/clip.avi", 0, 0},
                    KindCase{"Mpeg", "/v/clip.MPEG", 0, 1}, KindCase{"Mp4", "/v/clip.mp4", 0, 1},
                    KindCase{"Asf", "/v/clip.asf", 0, 2}, KindCase{"Mov", "/v/clip.mov", 0, 4},
                    KindCase{"NoDot", "/v/clip", 0, 4}, KindCase{"DotInFolderName", "/x.y/photo", 0, 4},
                    KindCase{"TrailingDot", "/p/photo.", 0, 4}, KindCase{"Empty", "", 0, 4}),
    CaseName<KindCase>);

TEST(ParamsPathExistsTest, TellsFoldersFromOtherEntries)
{
    testing_support::TempDir dir;
    const auto file = dir.WriteFile("photo.jpg", "x");
    std::filesystem::create_directories(dir / "Photos");
    std::filesystem::create_symlink(dir / "Photos", dir / "link");
    std::filesystem::create_symlink(dir / "gone", dir / "dangling");

    EXPECT_TRUE(CParams::PathExists((dir / "Photos").c_str(), TRUE));
    EXPECT_FALSE(CParams::PathExists((dir / "Photos").c_str(), FALSE));
    EXPECT_TRUE(CParams::PathExists(file.c_str(), FALSE));
    EXPECT_FALSE(CParams::PathExists(file.c_str(), TRUE));
    EXPECT_TRUE(CParams::PathExists((dir / "link").c_str(), TRUE));
    EXPECT_FALSE(CParams::PathExists((dir / "missing").c_str(), TRUE));
    EXPECT_FALSE(CParams::PathExists((dir / "missing").c_str(), FALSE));
    EXPECT_FALSE(CParams::PathExists((dir / "dangling").c_str(), FALSE));
}
} // namespace
