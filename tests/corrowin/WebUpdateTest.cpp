#include "corrowin/Corrowin.h"
#include "platform/registry/Registry.h"
#include "platform/shell/ShellExecute.h"
#include "platform/window/Afx.h"
#include "platform/wininet/WinInet.h"
#include "platform/zorneth/Zorneth.h"
#include "tests/support/AppLoopSupport.h"
#include "tests/support/DesktopTestSupport.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using testing_support::FtpServer;
using testing_support::PumpAppUntil;
using testing_support::RandomBytes;
using testing_support::ReadFile;
using testing_support::TempDir;

namespace
{
const char* const kPackage = "brevicam_2.1.0.0.deb";
const char* const kFolder = "brevicam-2.1";
constexpr UINT kStatus = 1001;

/// The notifications an owner window received, in order: code and value.
std::vector<std::pair<ULONG_PTR, ULONG_PTR>> g_notices;
int g_closeRequests = 0;

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COPYDATA)
    {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        g_notices.emplace_back(data->dwData, reinterpret_cast<ULONG_PTR>(data->lpData));
        return TRUE;
    }
    // The program's main window ignores WM_CLOSE, which the placeholder passes on.
    if (msg == WM_CLOSE)
    {
        ++g_closeRequests;
        return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

HWND MakeOwner()
{
    static bool registered = false;
    if (!registered)
    {
        registered = true;
        WNDCLASSEX wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = OwnerProc;
        wc.lpszClassName = "CorrowinTestOwner";
        RegisterClassEx(&wc);
    }
    return CreateWindowEx(0, "CorrowinTestOwner", "Owner", WS_POPUP | WS_VISIBLE, 100, 100, 200, 150, nullptr,
                          nullptr, nullptr, nullptr);
}

/// The question dialog while it is shown: the window with the check box and the question.
HWND QuestionDialog()
{
    struct Search
    {
        HWND found = nullptr;
    } search;
    EnumWindows(
        [](HWND hwnd, LPARAM lParam)
        {
            if (IsWindowVisible(hwnd) && GetDlgItem(hwnd, 1227) && GetDlgItem(hwnd, 1228))
            {
                reinterpret_cast<Search*>(lParam)->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

/// What to do while the question is shown: the question runs in a modal loop of its own, so the test acts
/// from a timer, which that loop serves. The action returns true once it is done.
std::function<bool(HWND question)> g_whileAsked;

void CALLBACK OnAskTimer(HWND hwnd, UINT, UINT_PTR id, DWORD)
{
    HWND question = QuestionDialog();
    if (question && g_whileAsked && g_whileAsked(question))
    {
        g_whileAsked = nullptr;
        KillTimer(hwnd, id);
    }
}

void WhileAsked(HWND owner, std::function<bool(HWND question)> action)
{
    g_whileAsked = std::move(action);
    SetTimer(owner, 77, 20, OnAskTimer);
}

/// Answers the question with a button, ticking "Don't warn me in the future." first when asked to.
void Answer(HWND owner, UINT command, bool tick = false)
{
    WhileAsked(owner,
               [command, tick](HWND question)
               {
                   if (tick)
                       SendMessage(GetDlgItem(question, 1227), BM_SETCHECK, BST_CHECKED, 0);
                   PostMessage(question, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
                   return true;
               });
}

std::string Text(HWND dialog, int id)
{
    char text[512] = {};
    GetDlgItemText(dialog, id, text, sizeof text);
    return text;
}

class WebUpdateTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!server.Started())
            GTEST_SKIP() << "no FTP server";
        saved = platform::wininet::GetTimeouts();
        platform::wininet::SetTimeouts({3000, 2000, 2000});
        package = RandomBytes(80000, 5);
        server.Put(std::string("updates/") + kPackage, package, 1700000000);
        Publish("2.1.0.0");
        g_notices.clear();
        g_closeRequests = 0;
        owner = MakeOwner();
        ASSERT_NE(owner, nullptr);
    }

    void TearDown() override
    {
        platform::zorneth::ClearScriptedAnswers();
        g_whileAsked = nullptr;
        if (owner)
        {
            KillTimer(owner, 77);
            InterruptUpdate(owner);
            PumpAppUntil([] { return !FindWindow(nullptr, "Tavisk WebUpdate"); }, 10000);
            DestroyWindow(owner);
        }
        platform::wininet::SetTimeouts(saved);
    }

    void Publish(const std::string& version)
    {
        server.Put("updates/update", version + "\r\n" + kFolder + "\r\n" + kPackage + "\r\n");
    }

    UpdateRequest Request(int ask = 0) const
    {
        UpdateRequest request;
        request.lpszApplicationName = "Brevicam";
        request.lpszFileName = "update";
        request.dwVersionMS = 2u << 16;
        request.dwVersionLS = 0;
        request.bAsk = ask;
        request.strFtpDirectory = "updates";
        request.strFtpServer = server.Address().c_str();
        return request;
    }

    fs::path PackagePath() const { return desktop.Home() / ".cache/brevicam/update" / kFolder / kPackage; }
    std::vector<std::vector<std::string>> OpenerCalls() const { return desktop.OpenerCalls(); }

    bool Noticed(ULONG_PTR code) const
    {
        return std::any_of(g_notices.begin(), g_notices.end(),
                           [code](const auto& n) { return n.first == code; });
    }

    bool DialogGone(HWND dialog) const { return !IsWindow(dialog); }

    /// Closes a running check, declining its question when it is being asked.
    void Close(HWND dialog)
    {
        Answer(owner, IDNO);
        InterruptUpdate(owner);
        ASSERT_TRUE(PumpAppUntil([&] { return DialogGone(dialog); }, 20000));
        KillTimer(owner, 77);
        g_whileAsked = nullptr;
    }

    testing_support::PrivateDesktop desktop;
    FtpServer server{FtpServer::Kind::Real};
    platform::wininet::Timeouts saved;
    std::string package;
    HWND owner = nullptr;
};
} // namespace

TEST_F(WebUpdateTest, ACheckDownloadsNotifiesAndHandsThePackageToTheInstallerOnce)
{
    platform::zorneth::SetScriptedAnswers({IDYES});
    const UpdateRequest request = Request(0);
    HWND dialog = CheckForUpdates(owner, &request, owner, 0);
    ASSERT_NE(dialog, nullptr);
    char title[64] = {};
    GetWindowText(dialog, title, sizeof title);
    EXPECT_STREQ(title, "Tavisk WebUpdate");
    EXPECT_EQ(Text(dialog, kStatus), "Searching for update…\nPlease wait.");
    // Cancel is never shown; Next comes with the final status, Bypass only in installer mode.
    for (int hidden : {IDCANCEL, 1246, 1248})
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, hidden))) << hidden;
    ASSERT_TRUE(PumpAppUntil([&] { return DialogGone(dialog); }, 30000));
    EXPECT_TRUE(ReadFile(PackagePath()) == package);
    const std::vector<std::pair<ULONG_PTR, ULONG_PTR>> expected = {{COPYDATA_UPDATE_DOWNLOADED, 0},
                                                                   {COPYDATA_UPDATE_CLOSED, 0}};
    EXPECT_EQ(g_notices, expected);
    const auto calls = OpenerCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], std::vector<std::string>({PackagePath().string()}));
    // The Yes/No box asked with the product's name.
    const auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Caption, "Brevicam");
    EXPECT_EQ(boxes[0].Style, static_cast<UINT>(MB_YESNO | MB_ICONEXCLAMATION));
    // Nothing is pending any more.
    EXPECT_FALSE(InstallDownloadedPackage());
}

TEST_F(WebUpdateTest, AnUpToDateCheckOutOfViewClosesItselfWithoutEverShowing)
{
    Publish("2.0.0.0");
    const UpdateRequest request = Request(1);
    HWND dialog = CheckForUpdates(owner, &request, owner, 1);
    ASSERT_NE(dialog, nullptr);
    // Out of view, with its placeholder titled with the product's name.
    RECT where{};
    GetWindowRect(dialog, &where);
    EXPECT_EQ(where.left, -1000);
    EXPECT_NE(FindWindow(nullptr, "Brevicam"), nullptr);
    ASSERT_TRUE(PumpAppUntil([&] { return DialogGone(dialog); }, 30000));
    EXPECT_EQ(g_notices, (std::vector<std::pair<ULONG_PTR, ULONG_PTR>>{{COPYDATA_UPDATE_CLOSED, 0}}));
    EXPECT_TRUE(PumpAppUntil([] { return !FindWindow(nullptr, "Brevicam"); }));
    EXPECT_FALSE(fs::exists(desktop.Home() / ".cache/brevicam"));
    EXPECT_TRUE(OpenerCalls().empty());
}

struct QuestionCase
{
    const char* name;
    bool tick;
    UINT command;
    ULONG_PTR answer;
    bool downloads;
};

class QuestionTest : public WebUpdateTest, public testing::WithParamInterface<QuestionCase>
{
};

TEST_P(QuestionTest, TheAnswerReachesTheOwnerAndOnlyOKDownloads)
{
    const QuestionCase& c = GetParam();
    const UpdateRequest request = Request(1);
    std::string question;
    bool hiddenLabels = false;
    WhileAsked(owner,
               [&](HWND shown)
               {
                   question = Text(shown, 1228);
                   // The name label stays hidden, and the edition label is for names ending in " SE".
                   hiddenLabels =
                       !IsWindowVisible(GetDlgItem(shown, 1002)) && !IsWindowVisible(GetDlgItem(shown, 1238));
                   if (c.tick)
                       SendMessage(GetDlgItem(shown, 1227), BM_SETCHECK, BST_CHECKED, 0);
                   PostMessage(shown, WM_COMMAND, MAKEWPARAM(c.command, BN_CLICKED), 0);
                   return true;
               });
    HWND dialog = CheckForUpdates(owner, &request, owner, 0);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(PumpAppUntil([&] { return Noticed(COPYDATA_UPDATE_ANSWER); }, 20000));
    EXPECT_NE(question.find("Brevicam"), std::string::npos) << question;
    EXPECT_TRUE(hiddenLabels);
    EXPECT_EQ(g_notices.front(), std::make_pair(COPYDATA_UPDATE_ANSWER, c.answer));
    if (c.downloads)
    {
        ASSERT_TRUE(PumpAppUntil([&] { return Noticed(COPYDATA_UPDATE_DOWNLOADED); }, 30000));
    }
    ASSERT_TRUE(PumpAppUntil([&] { return DialogGone(dialog); }, 30000));
    EXPECT_EQ(fs::exists(PackagePath()), c.downloads);
    EXPECT_EQ(OpenerCalls().size(), c.downloads ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(WebUpdate, QuestionTest,
                         testing::Values(QuestionCase{"Ok", false, IDYES, 1, true},
                                         QuestionCase{"OkTicked", true, IDYES, 0, true},
                                         QuestionCase{"Cancel", false, IDNO, 1, false},
                                         QuestionCase{"CancelTicked", true, IDNO, 0, false},
                                         QuestionCase{"Escape", false, IDCANCEL, 0, false}),
                         [](const testing::TestParamInfo<QuestionCase>& info) { return info.param.name; });

TEST_F(WebUpdateTest, ChecksAreRefusedWithoutOwnerOrRequestOrWhileOneRuns)
{
    UpdateRequest request = Request(1);
    EXPECT_EQ(CheckForUpdates(nullptr, &request, nullptr, 0), nullptr);
    EXPECT_EQ(CheckForUpdates(owner, nullptr, owner, 0), nullptr);
    UpdateRequest nameless = Request(1);
    nameless.lpszApplicationName = nullptr;
    EXPECT_EQ(CheckForUpdates(owner, &nameless, owner, 0), nullptr);
    UpdateRequest fileless = Request(1);
    fileless.lpszFileName = nullptr;
    EXPECT_EQ(CheckForUpdates(owner, &fileless, owner, 0), nullptr);

    // A window of another program that bears the dialog's title does not stand in the way.
    HWND impostor = CreateWindowEx(0, "CorrowinTestOwner", "Tavisk WebUpdate", WS_POPUP, 0, 0, 10, 10,
                                   nullptr, nullptr, nullptr, nullptr);
    HWND other = MakeOwner();
    HWND dialog = nullptr;
    bool refused = false;
    RECT where{};
    WhileAsked(owner,
               [&](HWND question)
               {
                   // A second check, from another owner or this one, brings the running one into view.
                   refused = !CheckForUpdates(other, &request, other, 0) &&
                             !CheckForUpdates(owner, &request, owner, 0);
                   GetWindowRect(dialog, &where);
                   PostMessage(question, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
                   return true;
               });
    dialog = CheckForUpdates(owner, &request, owner, 1);
    ASSERT_NE(dialog, nullptr);
    DestroyWindow(impostor);
    RECT away{};
    GetWindowRect(dialog, &away);
    EXPECT_EQ(away.left, -1000);
    ASSERT_TRUE(PumpAppUntil([&] { return DialogGone(dialog); }, 20000));
    EXPECT_TRUE(refused);
    EXPECT_NE(where.left, -1000);
    DestroyWindow(other);

    // A check of another process holds the lock file.
    const std::string lock = desktop.UpdateLock().string();
    const int held = open(lock.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(CheckForUpdates(owner, &request, owner, 0), nullptr);
    close(held);
    dialog = CheckForUpdates(owner, &request, owner, 0);
    EXPECT_NE(dialog, nullptr);
}

TEST_F(WebUpdateTest, OnlyTheOwnerInterruptsAndClosingDuringTheQuestionIsDropped)
{
    const UpdateRequest request = Request(1);
    HWND other = MakeOwner();
    HWND dialog = nullptr;
    int ticks = 0;
    bool stayed = false;
    WhileAsked(owner,
               [&](HWND question)
               {
                   if (ticks++ == 0)
                   {
                       InterruptUpdate(other);
                       // While the user is being asked, even the owner's request is dropped.
                       InterruptUpdate(owner);
                       PostMessage(dialog, WM_CLOSE, 0, 0);
                       return false;
                   }
                   // The close requests were handled before this tick.
                   stayed = IsWindow(dialog) && !Noticed(COPYDATA_UPDATE_CLOSED);
                   PostMessage(question, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
                   return true;
               });
    dialog = CheckForUpdates(owner, &request, owner, 0);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(PumpAppUntil([&] { return DialogGone(dialog); }, 20000));
    EXPECT_TRUE(stayed);
    EXPECT_TRUE(Noticed(COPYDATA_UPDATE_CLOSED));
    DestroyWindow(other);
}

TEST_F(WebUpdateTest, AnotherOwnerCannotInterruptARunningCheck)
{
    FtpServer silent(FtpServer::Kind::Hostile);
    ASSERT_TRUE(silent.Started());
    silent.SetBehaviour(R"({"greeting": "stall"})");
    platform::wininet::SetTimeouts({3000, 600000, 600000});
    UpdateRequest request = Request(1);
    request.strFtpServer = silent.Address().c_str();
    HWND dialog = CheckForUpdates(owner, &request, owner, 0);
    ASSERT_NE(dialog, nullptr);
    HWND other = MakeOwner();
    InterruptUpdate(other);
    // A close it asked for would be in the queue now.
    PumpAppUntil([] { return true; });
    EXPECT_TRUE(IsWindow(dialog));
    InterruptUpdate(owner);
    ASSERT_TRUE(PumpAppUntil([&] { return DialogGone(dialog); }, 10000));
    EXPECT_EQ(g_notices, (std::vector<std::pair<ULONG_PTR, ULONG_PTR>>{{COPYDATA_UPDATE_CLOSED, 0}}));
    DestroyWindow(other);
}

TEST_F(WebUpdateTest, ClosingDuringTheDownloadStopsItAndKeepsThePartialFile)
{
    FtpServer stalling(FtpServer::Kind::Hostile);
    ASSERT_TRUE(stalling.Started());
    stalling.Put("updates/update", std::string("2.1.0.0\r\n") + kFolder + "\r\n" + kPackage + "\r\n");
    stalling.Put(std::string("updates/") + kPackage, package, 1700000000);
    stalling.SetBehaviour(std::string(R"({"stall": {")") + kPackage + R"(": 40000}})");
    // Only closing can end this stall in time.
    platform::wininet::SetTimeouts({3000, 2000, 600000});
    platform::zorneth::SetScriptedAnswers({IDYES});
    UpdateRequest request = Request(0);
    request.strFtpServer = stalling.Address().c_str();
    HWND dialog = CheckForUpdates(owner, &request, owner, 0);
    ASSERT_NE(dialog, nullptr);
    auto partial = [&]
    {
        std::error_code error;
        const auto size = fs::file_size(PackagePath(), error);
        return !error && size >= 32768u;
    };
    ASSERT_TRUE(PumpAppUntil(partial, 30000));
    InterruptUpdate(owner);
    ASSERT_TRUE(PumpAppUntil([&] { return DialogGone(dialog); }, 10000));
    EXPECT_EQ(g_notices, (std::vector<std::pair<ULONG_PTR, ULONG_PTR>>{{COPYDATA_UPDATE_CLOSED, 0}}));
    EXPECT_TRUE(fs::exists(PackagePath()));
    EXPECT_LT(fs::file_size(PackagePath()), package.size());
    EXPECT_TRUE(OpenerCalls().empty());
    // The worker has ended: the next check may start.
    HWND next = CheckForUpdates(owner, &request, owner, 0);
    EXPECT_NE(next, nullptr);
}

TEST_F(WebUpdateTest, AFailedHandOffIsReportedAndThePackageStaysPendingUntilItSucceeds)
{
    desktop.SetOpenerStatus(3);
    platform::zorneth::SetScriptedAnswers({IDYES, IDOK});
    const UpdateRequest request = Request(0);
    HWND dialog = CheckForUpdates(owner, &request, owner, 0);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(PumpAppUntil([&] { return DialogGone(dialog); }, 30000));
    const auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_NE(boxes[1].Text.find(PackagePath().string()), std::string::npos);
    EXPECT_EQ(OpenerCalls().size(), 1u);
    // Pending: no new check, and the next hand-off tries again.
    EXPECT_EQ(CheckForUpdates(owner, &request, owner, 0), nullptr);
    EXPECT_FALSE(InstallDownloadedPackage());
    desktop.SetOpenerStatus(0);
    // A package changed into a link since the download is not handed over.
    fs::rename(PackagePath(), PackagePath().string() + ".real");
    fs::create_symlink(PackagePath().string() + ".real", PackagePath());
    EXPECT_FALSE(InstallDownloadedPackage());
    fs::remove(PackagePath());
    fs::rename(PackagePath().string() + ".real", PackagePath());
    EXPECT_EQ(OpenerCalls().size(), 2u);
    // The program's orderly end hands it over.
    platform::window::EndModuleApps();
    const auto calls = OpenerCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls.back(), std::vector<std::string>({PackagePath().string()}));
    EXPECT_FALSE(InstallDownloadedPackage());
}

TEST_F(WebUpdateTest, TextsComeFromTheLanguageLibraryOfTheGivenKeyAndStayWithoutOne)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Tavisk\\CorrowinTest", 0, nullptr, 0, KEY_WRITE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const char french[] = "FRA";
    RegSetValueExA(key, "Language", 0, REG_SZ, reinterpret_cast<const BYTE*>(french), sizeof french);
    RegCloseKey(key);
    UpdateRequest request = Request(1);
    request.strRegistrySubKey = "CorrowinTest";
    for (const char* subKey : {"CorrowinTest", ""})
    {
        // The program passes no key: the language found before stays.
        request.strRegistrySubKey = subKey;
        HWND dialog = CheckForUpdates(owner, &request, owner, 0);
        ASSERT_NE(dialog, nullptr) << subKey;
        EXPECT_EQ(Text(dialog, kStatus), "Recherche de mise à jour…\nVeuillez patienter.") << subKey;
        Close(dialog);
    }
}

struct SwitchCase
{
    const char* code;
    const char* parameters;
};

class LanguageSwitchTest : public testing::TestWithParam<SwitchCase>
{
};

TEST_P(LanguageSwitchTest, MapsTheCodeInAnyCase)
{
    EXPECT_STREQ(GetLanguageSwitch(GetParam().code), GetParam().parameters);
}

INSTANTIATE_TEST_SUITE_P(WebUpdate, LanguageSwitchTest,
                         testing::Values(SwitchCase{"ENU", "/L0409"}, SwitchCase{"fra", "/L040c"},
                                         SwitchCase{"DEU", "/L0007"}, SwitchCase{"NLD", "/L0413"},
                                         SwitchCase{"ESP", "/L040a"}, SwitchCase{"Ita", "/L0410"},
                                         SwitchCase{"PTB", "/L0816"}, SwitchCase{"RUS", ""},
                                         SwitchCase{"", ""}, SwitchCase{nullptr, ""}));
