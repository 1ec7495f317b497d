#include "brevicam/core/InstanceMutex.h"
#include "brevicam/core/Params.h"
#include "brevicam/ui/BrevicamApp.h"
#include "platform/ostrago/Ostrago.h"
#include "platform/resources/Resources.h"
#include "platform/window/WinUser.h"
#include "platform/window/Wnd.h"
#include "platform/zorneth/Zorneth.h"
#include "resources/brevicam/resource.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace
{
namespace fs = std::filesystem;

/// The start-up paths that end before the settings are read: they leave a marker value alone.
class StartupTest : public testing::Test
{
protected:
    void SetUp() override
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_NbPictures = kMarker;
        platform::zorneth::SetScriptedAnswers({IDOK});
    }
    void TearDown() override
    {
        platform::zorneth::ClearScriptedAnswers();
        platform::SetOsProfile(platform::OsProfile::Linux);
        platform::SetDesktopDepth(0);
        g_dwInstanceMutexError = m_mutexError;
    }
    static bool SettingsLoaded()
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        return g_params.m_NbPictures != kMarker;
    }
    static constexpr int kMarker = 77;
    DWORD m_mutexError = g_dwInstanceMutexError;
};

TEST_F(StartupTest, UnsupportedSystemEndsAtOnceWithoutAWord)
{
    platform::SetOsProfile(platform::OsProfile::Unsupported);
    EXPECT_FALSE(theApp.InitInstance());
    EXPECT_FALSE(SettingsLoaded());
    EXPECT_TRUE(platform::zorneth::ScriptedBoxes().empty());
}

TEST_F(StartupTest, SecondCopyEndsAtOnceWithoutAWord)
{
    g_dwInstanceMutexError = ERROR_ALREADY_EXISTS;
    EXPECT_FALSE(theApp.InitInstance());
    EXPECT_FALSE(SettingsLoaded());
    EXPECT_TRUE(platform::zorneth::ScriptedBoxes().empty());
}

pid_t Spawn(const std::string& program, std::vector<std::string> args)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    return posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

int WaitFor(pid_t pid)
{
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid ? status : -1;
}

// Runs in a copy of this program (see below): the start on a shallow desktop.
TEST_F(StartupTest, DISABLED_StartOnAShallowDesktop)
{
    platform::SetDesktopDepth(16);
    EXPECT_FALSE(theApp.InitInstance());
    EXPECT_FALSE(SettingsLoaded());
    const auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text,
              "You need to select at least a 24bits colour quality \nin your Display Properties "
              "before runing Brevicam.");
    EXPECT_EQ(boxes[0].Caption, "Brevicam");
}

// Runs in a copy of this program: a running copy that the start above ends.
TEST(Lingering, DISABLED_RunningCopy)
{
    std::this_thread::sleep_for(std::chrono::seconds(30));
}

TEST(ShallowDesktopTest, EndsTheOtherCopyOfTheSameProgramOnlyAndTellsTheUser)
{
    // A private copy of the program file, so that no other test process counts as a running copy.
    testing_support::TempDir dir;
    const fs::path copy = dir.Path() / "brevicam-copy";
    fs::copy_file("/proc/self/exe", copy);
    fs::permissions(copy, fs::perms::owner_all);
    // The copy finds the program's libraries where the original does.
    const std::string libraries = fs::read_symlink("/proc/self/exe").parent_path().string();
    setenv("LD_LIBRARY_PATH", libraries.c_str(), 1);
    const pid_t running = Spawn(copy, {"--gtest_also_run_disabled_tests", "--gtest_filter=Lingering.*"});
    const pid_t stranger = Spawn("/bin/sleep", {"30"});
    ASSERT_GT(running, 0);
    ASSERT_GT(stranger, 0);
    // Until the copy has replaced the spawning image, it is not yet the same program file.
    for (int i = 0; i < 100 && fs::read_symlink("/proc/" + std::to_string(running) + "/exe") != copy; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));

    const pid_t starting = Spawn(copy, {"--gtest_also_run_disabled_tests",
                                        "--gtest_filter=StartupTest.DISABLED_StartOnAShallowDesktop"});
    const int started = WaitFor(starting);
    EXPECT_TRUE(WIFEXITED(started) && WEXITSTATUS(started) == 0) << "the start itself failed";
    const int ended = WaitFor(running);
    EXPECT_TRUE(WIFSIGNALED(ended) && WTERMSIG(ended) == SIGTERM);
    // Another program of the same user is never touched.
    EXPECT_EQ(::kill(stranger, 0), 0);
    ::kill(stranger, SIGKILL);
    WaitFor(stranger);
}

TEST(AcceleratorTest, OnlyRegisteredActiveWindowsGetTheCapturePanelShortcuts)
{
    struct Receiver : CWnd
    {
        std::vector<UINT> commands;
        BOOL OnCommand(WPARAM wParam, LPARAM) override
        {
            commands.push_back(LOWORD(wParam));
            return TRUE;
        }
    };
    CWnd main;
    Receiver panel;
    ASSERT_TRUE(main.CreateEx(0, "STATIC", "main", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, nullptr, nullptr));
    ASSERT_TRUE(panel.CreateEx(0, AfxRegisterWndClass(0), "panel", WS_POPUP | WS_VISIBLE, 300, 0, 200, 200,
                               nullptr, nullptr));
    theApp.m_pMainWnd = &main;
    g_hAccelTable = LoadAccelerators(AfxGetInstanceHandle(), MAKEINTRESOURCE(IDR_CAPTURE_ACCELERATORS));
    ASSERT_NE(g_hAccelTable, nullptr);
    ::SetActiveWindow(panel.GetSafeHwnd());
    MSG del{panel.GetSafeHwnd(), WM_KEYDOWN, VK_DELETE, 0, 0, {}};
    EXPECT_FALSE(theApp.ProcessMessageFilter(MSGF_DIALOGBOX, &del));

    EXPECT_TRUE(theApp.AddAcceleratorWindow(panel.GetSafeHwnd()));
    EXPECT_TRUE(theApp.ProcessMessageFilter(MSGF_DIALOGBOX, &del));
    MSG space{panel.GetSafeHwnd(), WM_KEYDOWN, VK_SPACE, 0, 0, {}};
    EXPECT_TRUE(theApp.ProcessMessageFilter(MSGF_DIALOGBOX, &space));
    MSG other{panel.GetSafeHwnd(), WM_KEYDOWN, 'B', 0, 0, {}};
    EXPECT_FALSE(theApp.ProcessMessageFilter(MSGF_DIALOGBOX, &other));
    EXPECT_EQ(panel.commands, (std::vector<UINT>{57632, 32774}));

    EXPECT_EQ(theApp.RemoveAcceleratorWindow(panel.GetSafeHwnd()), 1u);
    EXPECT_FALSE(theApp.IsAcceleratorWindow(panel.GetSafeHwnd()));
    DestroyAcceleratorTable(g_hAccelTable);
    g_hAccelTable = nullptr;
    theApp.m_pMainWnd = nullptr;
}

TEST(AcceleratorTest, AWindowWithADisabledParentIsNotRegistered)
{
    CWnd parent;
    CWnd child;
    ASSERT_TRUE(
        parent.CreateEx(0, "STATIC", "parent", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, nullptr, nullptr));
    ASSERT_TRUE(child.Create("STATIC", "", WS_CHILD | WS_VISIBLE, CRect(0, 0, 50, 50), &parent, 10));
    parent.EnableWindow(FALSE);
    EXPECT_FALSE(theApp.AddAcceleratorWindow(child.GetSafeHwnd()));
    EXPECT_FALSE(theApp.IsAcceleratorWindow(child.GetSafeHwnd()));
}

TEST(FormatTimeTest, FormatsLocalTimeAndEmptiesOnFailure)
{
    const std::time_t time = 86400 * 365;
    CString out("old");
    std::tm local{};
    localtime_r(&time, &local);
    char expected[16];
    std::strftime(expected, sizeof expected, "%Y%m%d", &local);
    EXPECT_EQ(CBrevicamApp::FormatTime(&time, out, "%Y%m%d"), expected);
    EXPECT_EQ(CBrevicamApp::FormatTime(&time, out, nullptr), "");
    out = "old";
    EXPECT_EQ(CBrevicamApp::FormatTime(nullptr, out, "%Y"), "");
}
} // namespace
