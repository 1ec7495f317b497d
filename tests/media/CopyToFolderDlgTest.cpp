#include "brevicam/media/CopyToFolderDlg.h"

#include "brevicam/core/Params.h"
#include "brevicam/media/AskOverWriteDlg.h"
#include "platform/ostrago/BrowsePath.h"
#include "platform/zorneth/Zorneth.h"
#include "resources/brevicam/resource.h"
#include "tests/media/WindowFinder.h"
#include "tests/support/AppLoopSupport.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace
{
namespace fs = std::filesystem;
using testing_support::FilesIn;
using testing_support::ReadFile;

constexpr UINT kErrorBox = MB_OK | MB_ICONHAND;
constexpr UINT kInformationBox = MB_OK | MB_ICONASTERISK;

/// How a test drives the dialog and what it saw.
struct Script
{
    std::optional<std::string> typed;  // put into the folder field before OK
    std::optional<std::string> browse; // chosen in the folder browser before OK
    bool cancelAtOnce = false;         // only look at the dialog, then Cancel

    std::string initialFolder;
    std::string folderAtOk;
    bool stayedOpen = false;
    bool sawWaitWindow = false;
    int step = 0;
};

Script* s_script = nullptr;
CCopyToFolderDlg* s_dialog = nullptr;

bool WaitWindowShown()
{
    return media_test::WindowWithControl(IDC_WAIT_PROGRESS) != nullptr;
}

std::string FolderText(HWND dialog)
{
    char text[MAX_PATH] = {};
    ::GetDlgItemText(dialog, IDC_COPY_FOLDER, text, sizeof text);
    return text;
}

void CALLBACK DriveDialog(HWND, UINT, UINT_PTR id, DWORD)
{
    Script& s = *s_script;
    s.sawWaitWindow = s.sawWaitWindow || WaitWindowShown();
    HWND dialog = s_dialog ? s_dialog->GetSafeHwnd() : nullptr;
    if (!dialog || !::IsWindowVisible(dialog))
        return;
    if (s.step == 0)
    {
        s.initialFolder = FolderText(dialog);
        s.step = 1;
        if (s.cancelAtOnce)
        {
            ::KillTimer(nullptr, id);
            ::PostMessage(dialog, WM_COMMAND, IDCANCEL, 0);
            return;
        }
        if (s.browse)
        {
            platform::ostrago::SetScriptedBrowse(*s.browse);
            ::SendMessage(dialog, WM_COMMAND, MAKEWPARAM(IDC_COPY_BROWSE, BN_CLICKED), 0);
        }
        if (s.typed)
            ::SetDlgItemText(dialog, IDC_COPY_FOLDER, s.typed->c_str());
        s.folderAtOk = FolderText(dialog);
        ::SendMessage(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return;
    }
    // The copy has ended once the dialog takes input again; a dialog about to close has its close queued.
    if (!::IsWindowEnabled(dialog))
        return;
    ::KillTimer(nullptr, id);
    MSG close;
    if (!::PeekMessage(&close, dialog, WM_CLOSE, WM_CLOSE, PM_NOREMOVE))
    {
        s.stayedOpen = true;
        ::PostMessage(dialog, WM_COMMAND, IDCANCEL, 0);
    }
}

class CopyToFolderDlgTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_photos = m_dir / "photos";
        fs::create_directories(m_photos);
        {
            CSingleLock lock(&g_params.m_cs, TRUE);
            g_params.m_PhotoPath = m_photos.string().c_str();
            g_params.m_CopyToFolderPath = "";
        }
        m_parent.CreateEx(0, AfxRegisterWndClass(0), "parent", WS_POPUP | WS_VISIBLE, 10, 10, 600, 400,
                          nullptr, nullptr);
    }
    void TearDown() override
    {
        platform::zorneth::ClearScriptedAnswers();
        platform::ostrago::ClearScriptedBrowse();
        CAskOverWriteDlg::ClearScriptedAnswers();
        testing_support::PumpAppUntil([] { return !WaitWindowShown(); }, 5000);
        m_parent.DestroyWindow();
    }

    /// Runs the dialog over `files`, driven by `script`, with the message boxes answered by `answers`.
    INT_PTR Run(const std::vector<fs::path>& files, Script& script, std::vector<int> answers = {})
    {
        platform::zorneth::SetScriptedAnswers(std::move(answers));
        std::vector<CString> list;
        for (const fs::path& file : files)
            list.emplace_back(file.string());
        CCopyToFolderDlg dialog(list, &m_parent);
        s_dialog = &dialog;
        s_script = &script;
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 1, &DriveDialog);
        const INT_PTR result = dialog.DoModal();
        ::KillTimer(nullptr, timer);
        // A wait window asked for during the copy is up at least until its first tick.
        script.sawWaitWindow = script.sawWaitWindow || WaitWindowShown();
        s_dialog = nullptr;
        s_script = nullptr;
        return result;
    }

    fs::path Photo(const std::string& name, const std::string& content = "picture") const
    {
        std::ofstream(m_photos / name) << content;
        return m_photos / name;
    }
    static std::string CopyFolderSetting()
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        return g_params.m_CopyToFolderPath.Str();
    }
    static std::vector<platform::zorneth::ShownBox> Boxes() { return platform::zorneth::ScriptedBoxes(); }

    testing_support::TempDir m_dir;
    fs::path m_photos;
    CWnd m_parent;
};

TEST_F(CopyToFolderDlgTest, CopiesIntoAnExistingFolderAndRemembersIt)
{
    const fs::path into = m_dir / "backup";
    fs::create_directories(into);
    Script script;
    script.typed = into.string();
    Run({Photo("a.jpg", "a"), Photo("b.jpg", "b")}, script, {IDOK});

    EXPECT_FALSE(script.stayedOpen) << "the dialog closes once it has copied";
    EXPECT_EQ(script.initialFolder, m_photos.string() + "/") << "the photo folder, without an earlier copy";
    EXPECT_EQ(ReadFile(into / "a.jpg"), "a");
    EXPECT_EQ(ReadFile(into / "b.jpg"), "b");
    EXPECT_EQ(CopyFolderSetting(), into.string() + "/");
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "Your file(s) has (have) been copied to the destination folder.");
    EXPECT_EQ(boxes[0].Style, kInformationBox);
    EXPECT_EQ(boxes[0].Caption, CParams::GetAppTitle().Str());
    EXPECT_TRUE(m_parent.IsWindowEnabled());
}

TEST_F(CopyToFolderDlgTest, StartsAtTheLastCopyFolder)
{
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_CopyToFolderPath = "/somewhere/else";
    }
    Script script;
    script.cancelAtOnce = true;
    EXPECT_EQ(Run({Photo("a.jpg")}, script), IDCANCEL);
    EXPECT_EQ(script.initialFolder, "/somewhere/else/");
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(CopyToFolderDlgTest, BrowsedFolderIsUsed)
{
    const fs::path into = m_dir / "chosen";
    fs::create_directories(into);
    Script script;
    script.browse = into.string();
    Run({Photo("a.jpg")}, script, {IDOK});

    EXPECT_EQ(script.folderAtOk, into.string());
    const auto request = platform::ostrago::LastBrowseRequest();
    EXPECT_EQ(request.Title, "Select the destination folder for your file(s).");
    EXPECT_EQ(request.InitialFolder, m_photos.string() + "/");
    EXPECT_NE(request.Owner, nullptr);
    EXPECT_EQ(ReadFile(into / "a.jpg"), "picture");
}

TEST_F(CopyToFolderDlgTest, MissingFolderIsCreatedWhenTheUserAgrees)
{
    const fs::path into = m_dir / "new" / "nested";
    Script script;
    script.typed = into.string() + "//";
    Run({Photo("a.jpg")}, script, {IDYES, IDOK});

    EXPECT_EQ(ReadFile(into / "a.jpg"), "picture");
    EXPECT_EQ(CopyFolderSetting(), into.string() + "/");
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].Text,
              "The folder\n" + into.string() + "/\ndoes not exist. Would you like to create it now?");
    EXPECT_EQ(boxes[0].Style, UINT(MB_YESNO | MB_ICONHAND));
    EXPECT_EQ(boxes[1].Style, kInformationBox);
}

TEST_F(CopyToFolderDlgTest, DeclinedFolderKeepsTheDialogOpen)
{
    const fs::path into = m_dir / "new";
    Script script;
    script.typed = into.string();
    Run({Photo("a.jpg")}, script, {IDNO});

    EXPECT_TRUE(script.stayedOpen);
    EXPECT_FALSE(fs::exists(into));
    EXPECT_EQ(CopyFolderSetting(), "");
    EXPECT_EQ(Boxes().size(), 1u);
}

TEST_F(CopyToFolderDlgTest, InvalidFolderIsReportedAndTheDialogStaysOpen)
{
    Script script;
    script.typed = "relative/folder";
    Run({Photo("a.jpg")}, script, {IDOK});

    EXPECT_TRUE(script.stayedOpen);
    EXPECT_EQ(CopyFolderSetting(), "");
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "relative/folder\nDirectory name is invalid.");
    EXPECT_EQ(boxes[0].Style, kErrorBox);
}

TEST_F(CopyToFolderDlgTest, FolderThatCannotBeMadeIsReported)
{
    std::ofstream(m_dir / "file.jpg") << "in the way";
    const std::string into = (m_dir / "file.jpg" / "sub").string();
    Script script;
    script.typed = into;
    Run({Photo("a.jpg")}, script, {IDYES, IDOK});

    EXPECT_TRUE(script.stayedOpen);
    EXPECT_EQ(CopyFolderSetting(), "");
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].Text.rfind("Cannot create folder ", 0), 0u) << boxes[1].Text;
    EXPECT_EQ(boxes[1].Style, kErrorBox);
}

TEST_F(CopyToFolderDlgTest, EmptyListCopiesNothingAndSaysNothing)
{
    Script script;
    script.typed = m_photos.string();
    Run({}, script);
    EXPECT_FALSE(script.stayedOpen);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(CopyFolderSetting(), "");
}

TEST_F(CopyToFolderDlgTest, ListOfOnlyAFolderIsAnError)
{
    fs::create_directories(m_dir / "album");
    Script script;
    script.typed = m_photos.string();
    Run({m_dir / "album"}, script, {IDOK});
    EXPECT_FALSE(script.stayedOpen);
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "An error occured while copying the file(s).");
    EXPECT_EQ(boxes[0].Style, kErrorBox);
    EXPECT_EQ(CopyFolderSetting(), "");
}

TEST_F(CopyToFolderDlgTest, FilesIntoTheFolderWhereTheyLieAnsweredYesAreASuccess)
{
    CAskOverWriteDlg::SetScriptedAnswers({OVERWRITE_YES, OVERWRITE_YES});
    Script script;
    script.typed = m_photos.string();
    Run({Photo("a.jpg", "a"), Photo("b.jpg", "b")}, script, {IDOK});

    EXPECT_EQ(ReadFile(m_photos / "a.jpg"), "a");
    EXPECT_EQ(ReadFile(m_photos / "b.jpg"), "b");
    EXPECT_EQ(FilesIn(m_photos), (std::vector<std::string>{"a.jpg", "b.jpg"}));
    const auto prompts = CAskOverWriteDlg::ScriptedPrompts();
    ASSERT_EQ(prompts.size(), 2u);
    EXPECT_TRUE(prompts[0].NoCancel);
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Style, kInformationBox);
    EXPECT_EQ(CopyFolderSetting(), m_photos.string() + "/");
}

TEST_F(CopyToFolderDlgTest, FileSkippedAtThePromptLeavesTheSettingAlone)
{
    const fs::path into = m_dir / "backup";
    fs::create_directories(into);
    std::ofstream(into / "a.jpg") << "old";
    CAskOverWriteDlg::SetScriptedAnswers({OVERWRITE_NO});
    Script script;
    script.typed = into.string();
    Run({Photo("a.jpg", "new")}, script);

    EXPECT_EQ(ReadFile(into / "a.jpg"), "old");
    EXPECT_TRUE(Boxes().empty()) << "nothing copied, nothing failed, nothing missing";
    EXPECT_EQ(CopyFolderSetting(), "");
    EXPECT_FALSE(script.stayedOpen);
}

TEST_F(CopyToFolderDlgTest, FailedCopyIsReportedAndTheOthersAreStillCopied)
{
    const fs::path into = m_dir / "backup";
    fs::create_directories(into);
    // A named pipe is no file that can be copied.
    const fs::path pipe = m_photos / "pipe.jpg";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    Script script;
    script.typed = into.string();
    Run({pipe, Photo("b.jpg", "b")}, script, {IDOK});

    EXPECT_EQ(ReadFile(into / "b.jpg"), "b");
    EXPECT_FALSE(fs::exists(into / "pipe.jpg"));
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "An error occurred while trying to copy the file(s) to the destination folder.");
    EXPECT_EQ(boxes[0].Style, kErrorBox);
    EXPECT_EQ(CopyFolderSetting(), "") << "the folder is kept only after a copy without failures";
}

struct SizeCase
{
    std::uint64_t bytes;
    bool window;
};

class CopyToFolderSizeTest : public CopyToFolderDlgTest, public testing::WithParamInterface<SizeCase>
{
};

TEST_P(CopyToFolderSizeTest, OnlyFilesAboveTheThresholdShowTheWaitWindow)
{
    const fs::path video = m_photos / "video.wmv";
    std::ofstream(video).close();
    fs::resize_file(video, GetParam().bytes);
    const fs::path into = m_dir / "backup";
    fs::create_directories(into);
    Script script;
    script.typed = into.string();
    Run({video}, script, {IDOK});

    EXPECT_EQ(fs::file_size(into / "video.wmv"), GetParam().bytes);
    EXPECT_EQ(script.sawWaitWindow, GetParam().window);
    if (GetParam().window)
    {
        EXPECT_TRUE(testing_support::PumpAppUntil([] { return !WaitWindowShown(); }))
            << "the wait window closes by itself";
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, CopyToFolderSizeTest,
                         testing::Values(SizeCase{15'000'000, false}, SizeCase{15'000'001, true}),
                         [](const testing::TestParamInfo<SizeCase>& info)
                         { return std::to_string(info.param.bytes) + "Bytes"; });
} // namespace
