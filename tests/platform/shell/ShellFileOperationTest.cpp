#include "platform/shell/FileOperation.h"
#include "platform/win/LastError.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testing_support::ScopedEnv;
using testing_support::TempDir;

namespace
{
/// A home whose data folder (and so its trash) does not exist yet, with the files to delete in a folder
/// of their own, which is also the current folder.
class ShellFileOperationTest : public testing::Test
{
protected:
    ShellFileOperationTest()
        : m_home("HOME", (m_root / "home").string()),
          m_data("XDG_DATA_HOME", (m_root / "home/.local/share").string())
    {
        fs::create_directories(Folder());
        m_previous = fs::current_path();
        fs::current_path(Folder());
    }
    ~ShellFileOperationTest() override { fs::current_path(m_previous); }

    fs::path Folder() const { return m_root / "home" / "Pictures"; }
    fs::path Trash() const { return m_root / "home" / ".local" / "share" / "Trash" / "files"; }

    fs::path Write(const std::string& name)
    {
        const fs::path path = Folder() / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << name;
        return path;
    }

    static int Delete(const std::vector<fs::path>& paths, FILEOP_FLAGS flags, UINT function = FO_DELETE)
    {
        std::string list;
        for (const fs::path& path : paths)
            list += path.string() + '\0';
        list += '\0';
        SHFILEOPSTRUCT operation{};
        operation.wFunc = function;
        operation.pFrom = list.data();
        operation.fFlags = flags;
        return SHFileOperation(&operation);
    }

    TempDir m_root;
    ScopedEnv m_home;
    ScopedEnv m_data;
    fs::path m_previous;
};
} // namespace

TEST_F(ShellFileOperationTest, UndoableDeletesGoToTheHomeTrashEvenBeforeItsFolderExists)
{
    const fs::path a = Write("a.jpg");
    const fs::path b = Write("album/b.jpg");
    ASSERT_EQ(
        Delete({a, Folder() / "album"}, FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_ALLOWUNDO), 0);
    EXPECT_FALSE(fs::exists(a));
    EXPECT_FALSE(fs::exists(b));
    EXPECT_TRUE(fs::exists(Trash() / "a.jpg"));
    EXPECT_TRUE(fs::exists(Trash() / "album" / "b.jpg"));
    EXPECT_FALSE(fs::exists(Folder() / "files")) << "the current folder is not a trash";
}

TEST_F(ShellFileOperationTest, DeletesForGoodWithoutUndoAndNeverFollowsALink)
{
    const fs::path kept = Write("outside/kept.jpg");
    const fs::path link = Folder() / "link";
    fs::create_directory_symlink(kept.parent_path(), link);
    const fs::path folder = Write("album/b.jpg").parent_path();
    ASSERT_EQ(Delete({link, folder}, FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(fs::exists(kept));
    EXPECT_FALSE(fs::exists(Trash()));
}

TEST_F(ShellFileOperationTest, AMissingPathFailsTheOperationButTheOthersAreStillDeleted)
{
    const fs::path a = Write("a.jpg");
    EXPECT_EQ(Delete({Folder() / "gone.jpg", a}, FOF_ALLOWUNDO), static_cast<int>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(fs::exists(a));
    EXPECT_EQ(Delete({a}, 0, FO_COPY), static_cast<int>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(SHFileOperation(nullptr), static_cast<int>(ERROR_INVALID_PARAMETER));
}
