#include "brevicam/media/FileOperation.h"

#include "brevicam/media/AskOverWriteDlg.h"
#include "brevicam/media/WaitDialog.h"
#include "platform/commctrl/Progress.h"
#include "platform/win/LastError.h"
#include "platform/zorneth/Zorneth.h"
#include "resources/brevicam/resource.h"
#include "tests/media/WindowFinder.h"
#include "tests/support/AppLoopSupport.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
namespace fs = std::filesystem;
using testing_support::FilesIn;
using testing_support::ReadFile;

bool IsValidUtf8(const std::string& text)
{
    for (std::size_t i = 0; i < text.size();)
    {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80         ? 1
                                   : (c >> 5) == 6  ? 2
                                   : (c >> 4) == 14 ? 3
                                   : (c >> 3) == 30 ? 4
                                                    : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2)
                return false;
        i += length;
    }
    return true;
}

/// A file of `size` bytes that takes no room on the disk.
void WriteSparse(const fs::path& path, std::uint64_t size)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path).close();
    fs::resize_file(path, size);
}

/// The copy wait window, while one is up.
HWND FindWaitWindow()
{
    return media_test::WindowWithControl(IDC_WAIT_PROGRESS);
}

class FileOperationTest : public testing::Test
{
protected:
    void TearDown() override
    {
        CAskOverWriteDlg::ClearScriptedAnswers();
        platform::zorneth::ClearScriptedAnswers();
    }

    fs::path Write(const std::string& name, const std::string& content) const
    {
        return m_dir.WriteFile(name, content);
    }
    fs::path Folder(const std::string& name) const
    {
        fs::create_directories(m_dir / name);
        return m_dir / name;
    }
    static CString Str(const fs::path& path) { return CString(path.string()); }

    testing_support::TempDir m_dir;
};

// Copy names ------------------------------------------------------------------------------------------

struct NameCase
{
    const char* name;
    const char* path;
    const char* expected;
};

void PrintTo(const NameCase& c, std::ostream* os)
{
    *os << c.name;
}

class MakeCopyNameTest : public testing::TestWithParam<NameCase>
{
};

TEST_P(MakeCopyNameTest, GivesTheNextCopyName)
{
    EXPECT_EQ(CFileOperation::MakeCopyName(GetParam().path).Str(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, MakeCopyNameTest,
    testing::Values(
        NameCase{"PlainName", "/p/a.jpg", "/p/Copy of a.jpg"},
        NameCase{"FirstCopy", "/p/Copy of a.jpg", "/p/Copy (1) of a.jpg"},
        NameCase{"NumberedCopy", "/p/Copy (1) of a.jpg", "/p/Copy (2) of a.jpg"},
        NameCase{"NumberGrowsADigit", "/p/Copy (9) of a.jpg", "/p/Copy (10) of a.jpg"},
        NameCase{"NumberInTheName", "/p/Copy of holiday (2).jpg", "/p/Copy (1) of holiday (2).jpg"},
        NameCase{"CopyInsideTheName", "/p/My Copy 2.jpg", "/p/Copy of My Copy 2.jpg"},
        NameCase{"BracketsOnly", "/p/holiday (2).jpg", "/p/Copy of holiday (2).jpg"},
        NameCase{"NotANumber", "/p/Copy (x) of a.jpg", "/p/Copy of Copy (x) of a.jpg"},
        NameCase{"NumberTooLong", "/p/Copy (1234567890) of a.jpg", "/p/Copy of Copy (1234567890) of a.jpg"},
        NameCase{"LowerCaseIsAName", "/p/copy of a.jpg", "/p/Copy of copy of a.jpg"},
        NameCase{"NoExtension", "/p/notes", "/p/Copy of notes"},
        NameCase{"HiddenFile", "/p/.hidden", "/p/Copy of .hidden"},
        NameCase{"LastExtensionOnly", "/p/archive.tar.gz", "/p/Copy of archive.tar.gz"},
        NameCase{"NonAscii", "/p/Été – 写真.jpg", "/p/Copy of Été – 写真.jpg"},
        NameCase{"NoFolder", "a.jpg", "Copy of a.jpg"}),
    [](const testing::TestParamInfo<NameCase>& info) { return std::string(info.param.name); });

TEST(MakeCopyNameLimitTest, KeepsTheNameWithinTheFileSystemsLimit)
{
    // 84 three-byte characters: 252 bytes, with ".jpg" 256 would be too long for any name already.
    std::string stem;
    for (int i = 0; i < 83; ++i)
        stem += "写";
    const std::string name = stem + ".jpg";
    ASSERT_LE(name.size(), 255u);
    const std::string copy = CFileOperation::MakeCopyName(CString("/p/" + name)).Str().substr(3);
    EXPECT_LE(copy.size(), 255u);
    EXPECT_TRUE(copy.starts_with("Copy of 写写"));
    EXPECT_TRUE(copy.ends_with(".jpg"));
    EXPECT_TRUE(IsValidUtf8(copy)) << "cut between characters, never inside one";
}

TEST_F(FileOperationTest, RepeatedCopiesIntoTheSameFolderAreNumbered)
{
    const fs::path source = Write("from/a.jpg", "picture");
    const fs::path into = Folder("to");
    for (int i = 0; i < 4; ++i)
    {
        CFileOperation operation;
        ASSERT_TRUE(operation.Copy(Str(source), Str(into), false, nullptr))
            << operation.GetErrorString().Str();
        EXPECT_TRUE(operation.m_bCopied);
    }
    EXPECT_EQ(FilesIn(into),
              (std::vector<std::string>{"Copy (1) of a.jpg", "Copy (2) of a.jpg", "Copy of a.jpg", "a.jpg"}));
    for (const std::string& name : FilesIn(into))
        EXPECT_EQ(ReadFile(into / name), "picture");
}

TEST_F(FileOperationTest, CopyOfANameAlreadyCopiedTakesTheNextNumber)
{
    const fs::path source = Write("from/a.jpg", "new");
    const fs::path into = Folder("to");
    for (const char* taken : {"a.jpg", "Copy of a.jpg", "Copy (1) of a.jpg"})
        Write(std::string("to/") + taken, "old");
    CFileOperation operation;
    ASSERT_TRUE(operation.Copy(Str(source), Str(into), false, nullptr));
    EXPECT_EQ(ReadFile(into / "Copy (2) of a.jpg"), "new");
    EXPECT_EQ(ReadFile(into / "a.jpg"), "old");
}

// Copies of files and folders -------------------------------------------------------------------------

TEST_F(FileOperationTest, FileKeepsItsContentPermissionsAndTime)
{
    const fs::path source = Write("from/a.jpg", std::string(3 << 20, 'x') + "end");
    fs::permissions(source, fs::perms::owner_read | fs::perms::group_read);
    const auto written = fs::last_write_time(source) - std::chrono::hours(30);
    fs::last_write_time(source, written);
    const fs::path into = Folder("to");

    CFileOperation operation;
    ASSERT_TRUE(operation.Copy(Str(source), Str(into), false, nullptr));

    EXPECT_EQ(ReadFile(into / "a.jpg"), ReadFile(source));
    EXPECT_EQ(fs::status(into / "a.jpg").permissions(), fs::perms::owner_read | fs::perms::group_read);
    EXPECT_EQ(fs::last_write_time(into / "a.jpg"), written);
    EXPECT_EQ(operation.GetErrorString().Str(), "No error");
    EXPECT_EQ(FilesIn(into), (std::vector<std::string>{"a.jpg"})) << "no temporary file stays behind";
}

TEST_F(FileOperationTest, FileOntoAFileReplacesItWhenOverwriting)
{
    const fs::path source = Write("from/a.jpg", "new");
    const fs::path target = Write("to/b.jpg", "old and longer");
    CFileOperation operation;
    operation.m_bOverwriteMode = true;
    ASSERT_TRUE(operation.Copy(Str(source), Str(target), false, nullptr));
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(FilesIn(m_dir / "to"), (std::vector<std::string>{"b.jpg"}));
}

TEST_F(FileOperationTest, FolderTreeIsCopiedWithItsName)
{
    Write("album/a.jpg", "a");
    Write("album/2024/b.jpg", "b");
    Write("album/2024/june/c.jpg", "c");
    Folder("album/empty");
    const fs::path into = Folder("backup");

    CFileOperation operation;
    ASSERT_TRUE(operation.Copy(Str(m_dir / "album"), Str(into), false, nullptr))
        << operation.GetErrorString().Str();

    EXPECT_EQ(ReadFile(into / "album/a.jpg"), "a");
    EXPECT_EQ(ReadFile(into / "album/2024/b.jpg"), "b");
    EXPECT_EQ(ReadFile(into / "album/2024/june/c.jpg"), "c");
    EXPECT_TRUE(fs::is_directory(into / "album/empty"));
    EXPECT_EQ(ReadFile(m_dir / "album/2024/june/c.jpg"), "c") << "the source stays";
}

TEST_F(FileOperationTest, FolderCopiedIntoTheFolderWhereItLiesIsAlreadyThere)
{
    Write("album/a.jpg", "a");
    CFileOperation operation;
    EXPECT_TRUE(operation.Copy(Str(m_dir / "album"), CString(m_dir.Path().string() + "/"), false, nullptr));
    EXPECT_EQ(FilesIn(m_dir.Path()), (std::vector<std::string>{"album"}));
    EXPECT_EQ(FilesIn(m_dir / "album"), (std::vector<std::string>{"a.jpg"}));
}

TEST_F(FileOperationTest, FolderIntoItsOwnSubfolderEntersOnlyAsManySubfoldersAsItIsDeep)
{
    Write("a/x.jpg", "x");
    Write("a/b/y.jpg", "y");
    CFileOperation operation;
    // One level deeper: one subfolder may be entered in all, so the copy cannot chase itself.
    ASSERT_TRUE(operation.Copy(Str(m_dir / "a"), Str(m_dir / "a/b"), false, nullptr));
    EXPECT_EQ(ReadFile(m_dir / "a/b/a/x.jpg"), "x");
    EXPECT_EQ(ReadFile(m_dir / "a/b/a/b/y.jpg"), "y");
    EXPECT_FALSE(fs::exists(m_dir / "a/b/a/b/a")) << "the new copy is not copied into itself";
}

TEST_F(FileOperationTest, FolderWhoseNameStartsLikeTheSourceIsNotInsideIt)
{
    Write("a/x.jpg", "x");
    Write("a/sub/y.jpg", "y");
    Write("a/sub/deeper/z.jpg", "z");
    const fs::path into = Folder("ab");
    CFileOperation operation;
    ASSERT_TRUE(operation.Copy(Str(m_dir / "a"), Str(into), false, nullptr));
    EXPECT_EQ(ReadFile(into / "a/sub/y.jpg"), "y");
    EXPECT_EQ(ReadFile(into / "a/sub/deeper/z.jpg"), "z") << "every subfolder is entered";
}

struct FailureCase
{
    const char* name;
    const char* source;      // below the test folder; "" for none
    const char* destination; // below the test folder
    const char* text;        // expected error text; "{dir}" stands for the test folder
};

void PrintTo(const FailureCase& c, std::ostream* os)
{
    *os << c.name;
}

class CopyFailureTest : public FileOperationTest, public testing::WithParamInterface<FailureCase>
{
};

TEST_P(CopyFailureTest, FailsWithItsTextAndCodeZero)
{
    const FailureCase& c = GetParam();
    Write("folder/a.jpg", "a");
    Write("file.jpg", "f");
    Folder("empty");
    // A link to itself cannot be followed: its kind cannot be told.
    fs::create_symlink("loop", m_dir / "loop");
    CFileOperation operation;
    EXPECT_FALSE(operation.Copy(Str(m_dir / c.source), Str(m_dir / c.destination), false, nullptr));
    std::string expected = c.text;
    if (const auto at = expected.find("{dir}"); at != std::string::npos)
        expected.replace(at, 5, m_dir.Path().string());
    EXPECT_EQ(operation.GetErrorString().Str(), expected);
    EXPECT_EQ(operation.GetErrorCode(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, CopyFailureTest,
    testing::Values(FailureCase{"MissingSource", "gone.jpg", "empty", "{dir}/gone.jpg not found"},
                    FailureCase{"MissingDestination", "file.jpg", "nowhere", "{dir}/nowhere not found"},
                    FailureCase{"FolderOntoAFile", "folder", "file.jpg", "Wrong operation"},
                    FailureCase{"SourceUnreadable", "loop", "empty", "General source path error"},
                    FailureCase{"DestinationUnreadable", "file.jpg", "loop",
                                "General destination path error"}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

// Overwrite prompt answers ----------------------------------------------------------------------------

struct AnswerCase
{
    const char* name;
    std::vector<EOverwriteAnswer> answers;
    std::vector<std::string> replaced; // of x1..x3, which hold the new content afterwards
    bool newFileCopied;                // x4, which the destination does not hold
    std::size_t prompts;
};

void PrintTo(const AnswerCase& c, std::ostream* os)
{
    *os << c.name;
}

class OverwriteAnswerTest : public FileOperationTest, public testing::WithParamInterface<AnswerCase>
{
};

TEST_P(OverwriteAnswerTest, AnswersHoldForTheRestOfTheBatch)
{
    const AnswerCase& c = GetParam();
    for (const char* name : {"x1", "x2", "x3", "x4"})
        Write(std::string("src/") + name + ".jpg", "new");
    for (const char* name : {"x1", "x2", "x3"})
        Write(std::string("dst/src/") + name + ".jpg", "old");
    CAskOverWriteDlg::SetScriptedAnswers(c.answers);

    CFileOperation operation;
    operation.m_bOverwriteMode = true;
    operation.m_bAskIfOverwrite = true;
    operation.m_bNoCancel = 1;
    EXPECT_TRUE(operation.Copy(Str(m_dir / "src"), Str(m_dir / "dst"), false, nullptr))
        << "a skipped file is no failure";

    for (const char* name : {"x1", "x2", "x3"})
    {
        const bool replaced = std::find(c.replaced.begin(), c.replaced.end(), name) != c.replaced.end();
        EXPECT_EQ(ReadFile(m_dir / "dst/src" / (std::string(name) + ".jpg")), replaced ? "new" : "old")
            << name;
    }
    EXPECT_EQ(fs::exists(m_dir / "dst/src/x4.jpg"), c.newFileCopied);
    const auto prompts = CAskOverWriteDlg::ScriptedPrompts();
    ASSERT_EQ(prompts.size(), c.prompts);
    EXPECT_EQ(prompts[0].FileName, "x1.jpg");
    EXPECT_EQ(prompts[0].TextId, UINT(IDS_FILE_EXISTS_OVERWRITE));
    EXPECT_TRUE(prompts[0].NoCancel);
    EXPECT_EQ(FilesIn(m_dir / "dst/src").size(), c.newFileCopied ? 4u : 3u) << "no copy names, no leftovers";
}

INSTANTIATE_TEST_SUITE_P(
    Answers, OverwriteAnswerTest,
    testing::Values(
        AnswerCase{"YesEachTime", {OVERWRITE_YES, OVERWRITE_YES, OVERWRITE_YES}, {"x1", "x2", "x3"}, true, 3},
        AnswerCase{"YesToAll", {OVERWRITE_YES_ALL}, {"x1", "x2", "x3"}, true, 1},
        AnswerCase{"NoThenYes", {OVERWRITE_NO, OVERWRITE_YES, OVERWRITE_NO}, {"x2"}, true, 3},
        AnswerCase{"NoToAll", {OVERWRITE_NO_ALL}, {}, true, 1},
        AnswerCase{"CancelSkipsEverythingAfter", {OVERWRITE_CANCEL}, {}, false, 1},
        AnswerCase{"YesThenCancel", {OVERWRITE_YES, OVERWRITE_CANCEL}, {"x1"}, false, 2}),
    [](const testing::TestParamInfo<AnswerCase>& info) { return std::string(info.param.name); });

TEST_F(FileOperationTest, SkippedFileClearsTheCopiedFlag)
{
    const fs::path source = Write("src/a.jpg", "new");
    Write("dst/a.jpg", "old");
    CAskOverWriteDlg::SetScriptedAnswers({OVERWRITE_NO});
    CFileOperation operation;
    operation.m_bOverwriteMode = true;
    operation.m_bAskIfOverwrite = true;
    EXPECT_TRUE(operation.Copy(Str(source), Str(m_dir / "dst"), false, nullptr));
    EXPECT_FALSE(operation.m_bCopied);
    EXPECT_EQ(ReadFile(m_dir / "dst/a.jpg"), "old");
}

// The same file under two names --------------------------------------------------------------------------

TEST_F(FileOperationTest, CopyOntoTheSameFileLeavesItWhole)
{
    const fs::path source = Write("photos/a.jpg", "the only copy");
    fs::create_hard_link(source, m_dir / "hard.jpg");
    fs::create_directory_symlink(m_dir / "photos", m_dir / "linked");
    const struct
    {
        const char* why;
        CString destination;
    } ways[] = {{"the folder where it lies", Str(m_dir / "photos") + "/"},
                {"the same folder through a link", Str(m_dir / "linked")},
                {"the same folder written another way", Str(m_dir / "photos/../photos/.")},
                {"a hard link to it", Str(m_dir / "hard.jpg")}};
    struct stat before;
    ASSERT_EQ(::stat(source.c_str(), &before), 0);
    for (const auto& way : ways)
    {
        CAskOverWriteDlg::SetScriptedAnswers({OVERWRITE_YES});
        CFileOperation operation;
        operation.m_bOverwriteMode = true;
        operation.m_bAskIfOverwrite = true;
        EXPECT_TRUE(operation.Copy(Str(source), way.destination, false, nullptr)) << way.why;
        EXPECT_TRUE(operation.m_bCopied) << way.why;
        EXPECT_EQ(ReadFile(source), "the only copy") << way.why;
        struct stat after;
        ASSERT_EQ(::stat(source.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << way.why << ": the file itself is left alone";
        EXPECT_EQ(after.st_nlink, 2u) << way.why << ": its other name still names it";
    }
    EXPECT_EQ(FilesIn(m_dir / "photos"), (std::vector<std::string>{"a.jpg"}));
}

// Links -----------------------------------------------------------------------------------------------

TEST_F(FileOperationTest, LinkToAFolderIsCopiedAsALink)
{
    Write("outside/big.jpg", "elsewhere");
    Write("album/a.jpg", "a");
    fs::create_directory_symlink(m_dir / "outside", m_dir / "album/shortcut");
    // A link back up the tree would make a copy that follows links endless.
    fs::create_directory_symlink("..", m_dir / "album/up");
    const fs::path into = Folder("backup");

    CFileOperation operation;
    ASSERT_TRUE(operation.Copy(Str(m_dir / "album"), Str(into), false, nullptr))
        << operation.GetErrorString().Str();

    EXPECT_TRUE(fs::is_symlink(into / "album/shortcut"));
    EXPECT_EQ(fs::read_symlink(into / "album/shortcut"), m_dir / "outside");
    EXPECT_TRUE(fs::is_symlink(into / "album/up"));
    EXPECT_EQ(fs::read_symlink(into / "album/up"), "..");
    EXPECT_EQ(ReadFile(into / "album/a.jpg"), "a");

    CFileOperation top;
    ASSERT_TRUE(top.Copy(Str(m_dir / "album/shortcut"), Str(Folder("second")), false, nullptr));
    EXPECT_TRUE(fs::is_symlink(m_dir / "second/shortcut")) << "also when it is the thing copied";
}

TEST_F(FileOperationTest, DeleteRemovesLinksButNotWhatTheyLeadTo)
{
    Write("outside/keep.jpg", "keep");
    Write("album/a.jpg", "a");
    fs::create_directory_symlink(m_dir / "outside", m_dir / "album/shortcut");
    fs::create_directory_symlink(m_dir / "outside", m_dir / "toplink");

    CFileOperation operation;
    EXPECT_TRUE(operation.Delete(Str(m_dir / "album")));
    EXPECT_TRUE(operation.Delete(Str(m_dir / "toplink") + "/"));

    EXPECT_FALSE(fs::exists(fs::symlink_status(m_dir / "album")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(m_dir / "toplink")));
    EXPECT_EQ(ReadFile(m_dir / "outside/keep.jpg"), "keep");
}

// Deletion --------------------------------------------------------------------------------------------

TEST_F(FileOperationTest, DeleteTakesFilesAndNestedFolders)
{
    const fs::path single = Write("single.jpg", "s");
    Write("tree/a.jpg", "a");
    Write("tree/b/c/d.jpg", "d");
    CFileOperation operation;
    EXPECT_TRUE(operation.Delete(Str(single)));
    EXPECT_TRUE(operation.Delete(Str(m_dir / "tree")));
    EXPECT_TRUE(operation.Delete(Str(m_dir / "never-there")));
    EXPECT_TRUE(FilesIn(m_dir.Path()).empty());
}

struct ReadOnlyCase
{
    const char* name;
    bool ask;
    int answer;
    bool readOnlyGone;
    bool folderGone;
};

void PrintTo(const ReadOnlyCase& c, std::ostream* os)
{
    *os << c.name;
}

class ReadOnlyDeleteTest : public FileOperationTest, public testing::WithParamInterface<ReadOnlyCase>
{
};

TEST_P(ReadOnlyDeleteTest, ReadOnlyFileIsConfirmed)
{
    const ReadOnlyCase& c = GetParam();
    Write("folder/a-normal.jpg", "a");
    const fs::path readOnly = Write("folder/b-locked.jpg", "b");
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    platform::zorneth::SetScriptedAnswers({c.answer});

    CFileOperation operation;
    operation.m_bAskIfReadOnly = c.ask;
    EXPECT_TRUE(operation.Delete(Str(m_dir / "folder"))) << "declining is no failure";

    EXPECT_FALSE(fs::exists(m_dir / "folder/a-normal.jpg"));
    EXPECT_EQ(fs::exists(readOnly), !c.readOnlyGone);
    EXPECT_EQ(fs::exists(m_dir / "folder"), !c.folderGone);
    EXPECT_EQ(operation.GetErrorCode(), 0);
    const auto boxes = platform::zorneth::ScriptedBoxes();
    if (!c.ask)
    {
        EXPECT_TRUE(boxes.empty());
        return;
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "b-locked.jpg is read olny. Do you want delete it?");
    EXPECT_EQ(boxes[0].Caption, "Warning");
    EXPECT_EQ(boxes[0].Style, 35u);
}

INSTANTIATE_TEST_SUITE_P(ReadOnly, ReadOnlyDeleteTest,
                         testing::Values(ReadOnlyCase{"Yes", true, IDYES, true, true},
                                         ReadOnlyCase{"No", true, IDNO, false, false},
                                         ReadOnlyCase{"Cancel", true, IDCANCEL, false, false},
                                         ReadOnlyCase{"NotAsked", false, IDCANCEL, true, true}),
                         [](const testing::TestParamInfo<ReadOnlyCase>& info)
                         { return std::string(info.param.name); });

// Names -----------------------------------------------------------------------------------------------

TEST_F(FileOperationTest, NonAsciiAndLongestNamesAreCopied)
{
    std::string longest;
    for (int i = 0; i < 83; ++i)
        longest += "写";
    longest += ".jpg"; // 253 bytes
    const fs::path into = Folder("Été – 写真");
    const fs::path accented = Write("from/Fête.jpg", "fête");
    const fs::path longName = Write("from/" + longest, "long");

    CFileOperation operation;
    ASSERT_TRUE(operation.Copy(Str(accented), Str(into), false, nullptr)) << operation.GetErrorString().Str();
    ASSERT_TRUE(operation.Copy(Str(longName), Str(into), false, nullptr)) << operation.GetErrorString().Str();
    // Into its own folder the copy needs a longer name than a name may be: it is shortened.
    ASSERT_TRUE(operation.Copy(Str(longName), Str(m_dir / "from"), false, nullptr))
        << operation.GetErrorString().Str();

    EXPECT_EQ(ReadFile(into / "Fête.jpg"), "fête");
    EXPECT_EQ(ReadFile(into / longest), "long");
    const auto names = FilesIn(m_dir / "from");
    ASSERT_EQ(names.size(), 3u);
    const auto copy = std::find_if(names.begin(), names.end(),
                                   [](const std::string& n) { return n.starts_with("Copy of"); });
    ASSERT_NE(copy, names.end());
    EXPECT_TRUE(IsValidUtf8(*copy));
    EXPECT_EQ(ReadFile(m_dir / "from" / *copy), "long");
}

// Failing and cancelled copies -------------------------------------------------------------------------

class SmallDiskTest : public FileOperationTest
{
protected:
    void TearDown() override
    {
        if (m_mounted)
            ::umount2(m_small.c_str(), MNT_DETACH);
        FileOperationTest::TearDown();
    }
    bool Mount(int kilobytes)
    {
        m_small = m_dir / "small";
        m_mounted = testing_support::MountSmallTmpfs(m_small, kilobytes);
        return m_mounted;
    }
    fs::path m_small;
    bool m_mounted = false;
};

TEST_F(SmallDiskTest, FullDiskFailsWithTheSystemTextAndLeavesNoPartialFile)
{
    if (!Mount(256))
        GTEST_SKIP() << "no mount namespace for a small disk here";
    const fs::path big = Write("big.bin", std::string(1 << 20, 'b'));
    const fs::path kept = m_small / "big.bin";
    std::ofstream(kept) << "the file that was there";

    CFileOperation fresh;
    EXPECT_FALSE(fresh.Copy(Str(big), Str(m_small), false, nullptr));
    EXPECT_EQ(fresh.GetErrorString().Str(), "No space left on device");
    EXPECT_EQ(fresh.GetErrorCode(), static_cast<int>(ERROR_DISK_FULL));

    CFileOperation replacing;
    replacing.m_bOverwriteMode = true;
    EXPECT_FALSE(replacing.Copy(Str(big), Str(m_small), false, nullptr));
    EXPECT_EQ(replacing.GetErrorCode(), static_cast<int>(ERROR_DISK_FULL));

    EXPECT_EQ(FilesIn(m_small), (std::vector<std::string>{"big.bin"})) << "no partial copy is left";
    EXPECT_EQ(ReadFile(kept), "the file that was there") << "a failed copy never costs the file it replaces";
}

TEST_F(FileOperationTest, CancelledCopyLeavesTheSourceAndNoPartialFile)
{
    // Three chunks' worth: a copy cancelled from the start stops after its first chunk, part-written.
    const std::string content(3 << 20, 'c');
    const fs::path source = Write("from/big.bin", content);
    const fs::path into = Folder("to");
    const fs::path kept = Write("kept/big.bin", "the file that was there");
    std::atomic<bool> cancel{true};

    CFileOperation fresh;
    fresh.SetCancelFlag(&cancel);
    EXPECT_FALSE(fresh.Copy(Str(source), Str(into), false, nullptr));
    EXPECT_EQ(fresh.GetErrorCode(), static_cast<int>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(fresh.GetErrorString().Str(), "Operation canceled");

    CFileOperation replacing;
    replacing.m_bOverwriteMode = true;
    replacing.SetCancelFlag(&cancel);
    EXPECT_FALSE(replacing.Copy(Str(source), Str(m_dir / "kept"), false, nullptr));
    EXPECT_EQ(replacing.GetErrorCode(), static_cast<int>(ERROR_OPERATION_ABORTED));

    EXPECT_TRUE(FilesIn(into).empty());
    EXPECT_EQ(FilesIn(m_dir / "kept"), (std::vector<std::string>{"big.bin"}));
    EXPECT_EQ(ReadFile(kept), "the file that was there");
    EXPECT_EQ(ReadFile(source), content);
}

// Progress ----------------------------------------------------------------------------------------------

class ProgressTest : public FileOperationTest
{
protected:
    void SetUp() override
    {
        // The program's first window makes this thread the user-interface thread.
        m_window.CreateEx(0, AfxRegisterWndClass(0), "window", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr);
    }
    void TearDown() override
    {
        testing_support::PumpAppUntil([] { return FindWaitWindow() == nullptr; }, 5000);
        m_window.DestroyWindow();
        FileOperationTest::TearDown();
    }
    CWnd m_window;
};

TEST_F(ProgressTest, CopyOnTheInterfaceThreadShowsItsProgress)
{
    const fs::path source = m_dir / "video.wmv";
    WriteSparse(source, 40'000'000);
    const fs::path into = Folder("to");

    CFileOperation operation;
    ASSERT_TRUE(operation.Copy(Str(source), Str(into), true, nullptr)) << operation.GetErrorString().Str();

    EXPECT_EQ(fs::file_size(into / "video.wmv"), 40'000'000u);
    HWND wait = FindWaitWindow();
    ASSERT_NE(wait, nullptr) << "the wait window was shown while the file was copied";
    HWND bar = ::GetDlgItem(wait, IDC_WAIT_PROGRESS);
    ASSERT_TRUE(testing_support::PumpAppUntil([&] { return ::SendMessage(bar, PBM_GETPOS, 0, 0) >= 90; }))
        << "the bar reached " << ::SendMessage(bar, PBM_GETPOS, 0, 0);
    EXPECT_LT(::SendMessage(bar, PBM_GETPOS, 0, 0), 100);
    EXPECT_TRUE(testing_support::PumpAppUntil([] { return FindWaitWindow() == nullptr; }))
        << "the window closes by itself once the copy has ended";
}

TEST_F(ProgressTest, CopyOnAWorkerThreadShowsItsProgressOnTheInterfaceThread)
{
    const fs::path source = m_dir / "video.wmv";
    WriteSparse(source, 20'000'000);
    const fs::path into = Folder("to");
    std::atomic<bool> done{false};
    bool copied = false;
    std::thread worker(
        [&]
        {
            CFileOperation operation;
            copied = operation.Copy(Str(source), Str(into), true, nullptr);
            done = true;
        });
    bool seen = false;
    testing_support::PumpAppUntil(
        [&]
        {
            seen = seen || FindWaitWindow() != nullptr;
            return done.load() && seen;
        });
    worker.join();
    EXPECT_TRUE(copied);
    EXPECT_TRUE(seen);
    EXPECT_EQ(fs::file_size(into / "video.wmv"), 20'000'000u);
}

TEST_F(ProgressTest, ProgressRoutinePostsPercentBelowAHundredAndAlwaysGoesOn)
{
    CWaitDialog wait(nullptr);
    wait.Start(IDS_PLEASE_WAIT);
    EXPECT_TRUE(CopyProgressRoutine(200, 50, &wait));
    ASSERT_TRUE(testing_support::PumpAppUntil([] { return FindWaitWindow() != nullptr; }));
    HWND bar = ::GetDlgItem(FindWaitWindow(), IDC_WAIT_PROGRESS);
    ASSERT_TRUE(testing_support::PumpAppUntil([&] { return ::SendMessage(bar, PBM_GETPOS, 0, 0) == 25; }));
    EXPECT_TRUE(CopyProgressRoutine(3, 2, &wait));
    EXPECT_TRUE(CopyProgressRoutine(200, 200, &wait)) << "the end goes on too";
    EXPECT_TRUE(CopyProgressRoutine(0, 0, &wait)) << "an empty file has no share to show";
    ASSERT_TRUE(testing_support::PumpAppUntil([&] { return ::SendMessage(bar, PBM_GETPOS, 0, 0) == 66; }))
        << "two thirds, truncated; the end itself is not posted";
    wait.Stop();
}
} // namespace
