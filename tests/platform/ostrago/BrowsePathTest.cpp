#include "platform/ostrago/Ostrago.h"
#include "platform/window/WinUser.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <QFileDialog>
#include <QTimer>
#include <gtest/gtest.h>

namespace
{
class BrowsePathTest : public testing::Test
{
protected:
    void TearDown() override { platform::ostrago::ClearScriptedBrowse(); }
};

TEST_F(BrowsePathTest, ScriptedAnswerFillsTheBufferAndTheRequestIsRecorded)
{
    platform::ostrago::SetScriptedBrowse(std::string("/home/user/Pictures/été"));
    char path[MAX_PATH] = "stale";
    EXPECT_TRUE(
        GetBrowsePath(nullptr, "Select the destination folder \nfor your photos.", path, L"/tmp/start"));
    EXPECT_STREQ(path, "/home/user/Pictures/été");
    const auto request = platform::ostrago::LastBrowseRequest();
    EXPECT_EQ(request.Title, "Select the destination folder \nfor your photos.");
    EXPECT_EQ(request.InitialFolder, "/tmp/start");
}

TEST_F(BrowsePathTest, CancelOrAFolderTooLongForTheBufferLeavesItEmpty)
{
    char path[MAX_PATH] = "stale";
    platform::ostrago::SetScriptedBrowse(std::nullopt);
    EXPECT_FALSE(GetBrowsePath(nullptr, "t", path, nullptr));
    EXPECT_STREQ(path, "");
    platform::ostrago::SetScriptedBrowse("/" + std::string(MAX_PATH, 'x'));
    std::strcpy(path, "stale");
    EXPECT_FALSE(GetBrowsePath(nullptr, "t", path, nullptr));
    EXPECT_STREQ(path, "");
}

TEST_F(BrowsePathTest, RealBrowserOpensAtTheInitialFolderAndReturnsTheChoice)
{
    testing_support::TempDir dir;
    std::filesystem::create_directory(dir / "chosen");
    HWND owner = ::CreateWindowEx(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                  nullptr, nullptr);
    QString shownAt;
    BOOL ownerEnabled = TRUE;
    QTimer::singleShot(0,
                       [&]
                       {
                           auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                           ASSERT_NE(dialog, nullptr);
                           ownerEnabled = ::IsWindowEnabled(owner);
                           shownAt = dialog->directory().absolutePath();
                           dialog->selectFile(QString::fromStdString((dir / "chosen").string()));
                           QMetaObject::invokeMethod(dialog, "accept");
                       });
    char path[MAX_PATH] = {};
    const std::wstring initial = dir.Path().wstring();
    EXPECT_TRUE(GetBrowsePath(owner, "Pick", path, initial.c_str()));
    EXPECT_EQ(shownAt.toStdString(), dir.Path().string());
    EXPECT_EQ(std::string(path), (dir / "chosen").string());
    EXPECT_FALSE(ownerEnabled);
    EXPECT_TRUE(::IsWindowEnabled(owner));
    ::DestroyWindow(owner);
}
} // namespace
