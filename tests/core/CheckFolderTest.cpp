#include "brevicam/core/Params.h"
#include "platform/window/WinUser.h"
#include "platform/zorneth/Zorneth.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace
{
namespace fs = std::filesystem;

struct CheckCase
{
    const char* name;
    /// The folder to check, under the test's own folder; "" for the folder itself. A leading "!" makes
    /// the path relative (invalid).
    const char* folder;
    bool withOwner;
    std::vector<int> answers;
    int expected;
    /// String ids of the boxes expected, in order.
    std::vector<UINT> boxes;
    bool createdAfter;
};

class CheckFolderTest : public testing::TestWithParam<CheckCase>
{
protected:
    void TearDown() override { platform::zorneth::ClearScriptedAnswers(); }
    testing_support::TempDir m_dir;
};

std::string TextOf(UINT id, const std::string& path)
{
    CString format;
    format.LoadString(id);
    std::string text = format.Str();
    text.replace(text.find("%s"), 2, CParams::CompactPath(path.c_str(), -1).Str());
    return text;
}

TEST_P(CheckFolderTest, ResultAndBoxes)
{
    const CheckCase& c = GetParam();
    // A file where a parent folder would have to be makes creation fail.
    m_dir.WriteFile("plain file", "x");
    std::string path = c.folder[0] == '!' ? std::string(c.folder + 1) : (m_dir.Path() / c.folder).string();
    HWND owner = c.withOwner ? ::GetDesktopWindow() : nullptr;
    platform::zorneth::SetScriptedAnswers(c.answers);

    EXPECT_EQ(CParams::CheckFolder(owner, path.c_str()), c.expected);

    const auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), c.boxes.size());
    for (std::size_t i = 0; i < boxes.size(); ++i)
    {
        EXPECT_EQ(boxes[i].Text, TextOf(c.boxes[i], path));
        EXPECT_EQ(boxes[i].Caption, "Brevicam");
        EXPECT_EQ(boxes[i].Owner, owner);
        EXPECT_EQ(boxes[i].Style, c.boxes[i] == 143 ? UINT(MB_YESNO | MB_ICONQUESTION) : UINT(MB_ICONHAND));
    }
    EXPECT_EQ(fs::is_directory(path), c.createdAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, CheckFolderTest,
    testing::Values(
        CheckCase{"Exists", "", true, {}, 0, {}, true},
        CheckCase{"MissingAndYesCreatesItWithItsParents", "new/deeper folder", true, {IDYES}, 1, {143}, true},
        CheckCase{"MissingAndNoDeclines", "not wanted", true, {IDNO}, 3, {143}, false},
        CheckCase{"MissingAndClosedDeclines", "not wanted", true, {IDCANCEL}, 3, {143}, false},
        CheckCase{"CreationFailureIsReported", "plain file/sub", true, {IDYES}, 2, {143, 147}, false},
        CheckCase{"ExistingFileIsOfferedAndFailsToBecomeAFolder",
                  "plain file",
                  true,
                  {IDYES},
                  2,
                  {143, 147},
                  false},
        CheckCase{"InvalidPathWithAnOwnerIsReported", "!relative/folder", true, {}, 2, {840}, false},
        CheckCase{"InvalidPathWithoutAnOwnerShowsNothing", "!relative/folder", false, {}, 2, {}, false}),
    [](const testing::TestParamInfo<CheckCase>& info) { return std::string(info.param.name); });
} // namespace
