#include "brevicam/ui/AboutDlg.h"

#include "brevicam/core/Params.h"
#include "brevicam/ui/UpdateCheck.h"
#include "corrowin/Corrowin.h"
#include "platform/registry/Registry.h"
#include "platform/resources/Resources.h"
#include "platform/window/Afx.h"
#include "platform/zorneth/Zorneth.h"
#include "resources/brevicam/resource.h"
#include "tests/support/AppLoopSupport.h"
#include "tests/support/DesktopTestSupport.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;
using testing_support::FtpServer;
using testing_support::PumpAppUntil;
using testing_support::TempDir;

namespace
{
// ---------------------------------------------------------------------------------------------------------
// The schedule of the start-up check, at injected times
// ---------------------------------------------------------------------------------------------------------

/// 00:00 local time of a day.
std::time_t Midnight(int year, int month, int day)
{
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

constexpr std::time_t kDay = 86400;

struct PlanCase
{
    const char* name;
    int count;
    const char* lastDate;
    /// Seconds after 00:00 of 10 January 2026 (the stored day of the dated cases).
    std::time_t nowAfter;
    bool due;
    int countAfter;
    bool storeToday;
};

class StartupPlanTest : public testing::TestWithParam<PlanCase>
{
};

TEST_P(StartupPlanTest, DecidesFromTheCountAndTheDate)
{
    const PlanCase& c = GetParam();
    const std::time_t now = Midnight(2026, 1, 10) + c.nowAfter;
    const StartupUpdatePlan plan = PlanStartupUpdateCheck(c.count, c.lastDate, now);
    EXPECT_EQ(plan.due, c.due);
    EXPECT_EQ(plan.count, c.countAfter);
    EXPECT_EQ(plan.storeToday, c.storeToday);
    char today[16] = {};
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(today, sizeof today, "%Y%m%d", &local);
    EXPECT_EQ(plan.today.Str(), today);
}

INSTANTIATE_TEST_SUITE_P(
    UpdateCheck, StartupPlanTest,
    testing::Values(PlanCase{"Count8", 8, "20260110", kDay, false, 9, false},
                    PlanCase{"Count9", 9, "20260110", kDay, true, 0, true},
                    PlanCase{"Count10", 10, "20260110", kDay, true, 0, true},
                    PlanCase{"TopOfTheRange", INT_MAX, "20260110", kDay, true, 0, true},
                    PlanCase{"NegativeCountsFromZero", -5, "20260110", kDay, false, 1, false},
                    PlanCase{"SixDaysBackLateInTheDay", 0, "20260110", 7 * kDay - 1, false, 1, false},
                    PlanCase{"SevenDaysBackAtMidnight", 0, "20260110", 7 * kDay, false, 1, false},
                    PlanCase{"SevenDaysBackJustAfter", 0, "20260110", 7 * kDay + 1, true, 0, true},
                    PlanCase{"EightDaysBack", 0, "20260110", 8 * kDay + 3600, true, 0, true},
                    PlanCase{"SevenCharacters", 3, "2026011", kDay, false, 4, true},
                    PlanCase{"Month13", 3, "20261310", kDay, false, 4, true},
                    PlanCase{"YearBelow1900", 3, "18991231", kDay, false, 4, true},
                    PlanCase{"Letters", 3, "abcdefgh", kDay, false, 4, true},
                    PlanCase{"Missing", 3, "", kDay, false, 4, true}),
    [](const testing::TestParamInfo<PlanCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------------------------------------
// The manual
// ---------------------------------------------------------------------------------------------------------

struct ManualCase
{
    const char* code;
    const char* file;
};

class ManualTest : public testing::TestWithParam<ManualCase>
{
};

TEST_P(ManualTest, TheOnlineManualIsTheLanguagesAndTheLocalOneComesFirst)
{
    TempDir folder;
    EXPECT_EQ(CAboutDlg::ManualTarget(folder.Path().c_str(), GetParam().code).Str(),
              std::string(CAboutDlg::kManualFolderUrl) + GetParam().file);
    folder.WriteFile("QPX manual.pdf", "%PDF");
    EXPECT_EQ(CAboutDlg::ManualTarget(folder.Path().c_str(), GetParam().code).Str(),
              (folder.Path() / "QPX manual.pdf").string());
}

INSTANTIATE_TEST_SUITE_P(UpdateCheck, ManualTest,
                         testing::Values(ManualCase{"ENU", "01-Eng_Tavisk_Webcam_Vistrel_Manual.pdf"},
                                         ManualCase{"fra", "02-Fra_Tavisk_Webcam_Vistrel_Manual.pdf"},
                                         ManualCase{"DEU", "03-Deu_Tavisk_Webcam_Vistrel_Manual.pdf"},
                                         ManualCase{"NLD", "04-Ned_Tavisk_Webcam_Vistrel_Manual.pdf"},
                                         ManualCase{"ITA", "05-Ita_Tavisk_Webcam_Vistrel_Manual.pdf"},
                                         ManualCase{"ESP", "06-Esp_Tavisk_Webcam_Vistrel_Manual.pdf"},
                                         ManualCase{"PTB", "07-Por_Tavisk_Webcam_Vistrel_Manual.pdf"},
                                         ManualCase{"RUS", "08-Rus_Tavisk_Webcam_Vistrel_Manual.pdf"},
                                         ManualCase{"ELL", "09-Gr_Tavisk_Webcam_Vistrel_Manual.pdf"},
                                         ManualCase{"TRK", "10-Tur_Tavisk_Webcam_Vistrel_Manual.pdf"},
                                         ManualCase{"PLK", "11-Pol_Tavisk_Webcam_Vistrel_Manual.pdf"},
                                         ManualCase{"Ara", "12-Ar_Tavisk_Webcam_Vistrel_Manual.pdf"},
                                         ManualCase{"XYZ", ""}),
                         [](const testing::TestParamInfo<ManualCase>& info)
                         { return std::string("Code") + info.param.code; });

// ---------------------------------------------------------------------------------------------------------
// The About box and its update button
// ---------------------------------------------------------------------------------------------------------

/// Run from the About box's modal loop by a timer once the box is shown; returns true once it is done.
std::function<bool()> g_whileShown;

void CALLBACK OnShownTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    if (g_whileShown && g_whileShown())
    {
        g_whileShown = nullptr;
        KillTimer(nullptr, id);
    }
}

class AboutDlgTest : public testing::Test
{
protected:
    void SetUp() override
    {
        main = CreateWindowEx(0, "STATIC", "main", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                              nullptr, nullptr);
        g_params.SetMainWnd(main);
    }

    void TearDown() override
    {
        platform::zorneth::ClearScriptedAnswers();
        g_whileShown = nullptr;
        InterruptUpdate(main);
        PumpAppUntil([] { return !FindWindow(nullptr, "Tavisk WebUpdate"); });
        g_params.SetMainWnd(nullptr);
        DestroyWindow(main);
    }

    /// The installation's update key, as the program's request reads it.
    static void SetUpdateServer(const std::string& server, const std::string& folder)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, CParams::GetUpdateKeyName(), 0, nullptr, 0, KEY_WRITE,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "FtpServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                       static_cast<DWORD>(server.size() + 1));
        RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                       static_cast<DWORD>(folder.size() + 1));
        RegCloseKey(key);
    }

    /// Runs the About box; `action` is called from its loop until it returns true.
    INT_PTR Run(CAboutDlg& about, std::function<bool()> action)
    {
        g_whileShown = [&about, action = std::move(action)]
        { return about.GetSafeHwnd() && about.IsWindowVisible() && action(); };
        SetTimer(nullptr, 0, 20, OnShownTimer);
        return about.DoModal();
    }

    std::string Text(CAboutDlg& about, int id)
    {
        char text[512] = {};
        GetDlgItemText(about.GetSafeHwnd(), id, text, sizeof text);
        return text;
    }

    testing_support::PrivateDesktop desktop;
    HWND main = nullptr;
};
} // namespace

TEST_F(AboutDlgTest, ShowsTheProductTheVersionAndItsButtonsAndCloses)
{
    CAboutDlg about(nullptr);
    std::string caption;
    std::string version;
    std::string update;
    std::string manual;
    const INT_PTR result = Run(about,
                               [&]
                               {
                                   caption = Text(about, IDC_ABOUT_CAPTION);
                                   version = Text(about, IDC_ABOUT_VERSION);
                                   update = Text(about, IDC_ABOUT_UPDATE);
                                   manual = Text(about, IDC_ABOUT_MANUAL);
                                   about.PostMessage(WM_COMMAND, MAKEWPARAM(IDC_ABOUT_CLOSE, BN_CLICKED), 0);
                                   return true;
                               });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(caption.find('&'), std::string::npos);
    EXPECT_EQ(caption, "About Brevicam…");
    EXPECT_EQ(version.rfind("Brevicam Version " BREVICAM_EXPECTED_VERSION_TEXT " \n\n", 0), 0u) << version;
    EXPECT_EQ(update, "Update…");
    EXPECT_EQ(manual, "Open the user manual (PDF)");
}

TEST_F(AboutDlgTest, TheManualButtonOpensTheOnlineManualOfTheLanguage)
{
    CAboutDlg about(nullptr);
    Run(about,
        [&]
        {
            about.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_ABOUT_MANUAL, BN_CLICKED), 0);
            about.PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            return true;
        });
    EXPECT_EQ(desktop.OpenerCalls(),
              (std::vector<std::vector<std::string>>{
                  {std::string(CAboutDlg::kManualFolderUrl) + "01-Eng_Tavisk_Webcam_Vistrel_Manual.pdf"}}));
}

TEST_F(AboutDlgTest, TheUpdateButtonStartsACheckOnTheServerOfTheUpdateKey)
{
    FtpServer server(FtpServer::Kind::Real);
    if (!server.Started())
        GTEST_SKIP() << "no FTP server";
    server.Put("updates/update", "9.0.0.0\r\nbrevicam-9\r\nbrevicam_9.0.0.0.deb\r\n");
    server.Put("updates/brevicam_9.0.0.0.deb", "package");
    SetUpdateServer(server.Address(), "updates");
    // The check asks with the Yes/No box, which declines.
    platform::zorneth::SetScriptedAnswers({IDNO});
    CAboutDlg about(nullptr);
    bool started = false;
    Run(about,
        [&]
        {
            about.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_ABOUT_UPDATE, BN_CLICKED), 0);
            started = FindWindow(nullptr, "Tavisk WebUpdate") != nullptr;
            about.PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            return true;
        });
    EXPECT_TRUE(started);
    // The check goes on after the box has closed, until the user declines.
    ASSERT_TRUE(PumpAppUntil([] { return !FindWindow(nullptr, "Tavisk WebUpdate"); }, 30000));
    const auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].Text.find("Brevicam"), std::string::npos);
}

TEST_F(AboutDlgTest, AnUpdateButtonRefusedByTheLibrarySaysThatACheckRuns)
{
    // Another process's check holds the lock.
    const int held = open(desktop.UpdateLock().c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    platform::zorneth::SetScriptedAnswers({IDOK});
    CAboutDlg about(nullptr);
    Run(about,
        [&]
        {
            about.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_ABOUT_UPDATE, BN_CLICKED), 0);
            about.PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            return true;
        });
    close(held);
    const auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text,
              "An update process in already in progress. Please wait for it to finish before trying again.");
    EXPECT_EQ(boxes[0].Caption, "Brevicam");
    EXPECT_EQ(boxes[0].Style & MB_ICONEXCLAMATION, static_cast<UINT>(MB_ICONEXCLAMATION));
}

TEST_F(AboutDlgTest, TheRequestCarriesTheProgramsVersionAndTheUpdateKey)
{
    SetUpdateServer("updates.example:2121", "pub/brevicam");
    char path[MAX_PATH] = {};
    GetModuleFileName(nullptr, path, sizeof path - 1);
    const CString title = CParams::GetAppTitle();
    UpdateRequest request;
    FillUpdateRequest(request, title, path, TRUE);
    EXPECT_STREQ(request.lpszApplicationName, "Brevicam");
    EXPECT_STREQ(request.lpszFileName, "update");
    CString version;
    version.Format("%u.%u.%u.%u", request.dwVersionMS >> 16, request.dwVersionMS & 0xFFFF,
                   request.dwVersionLS >> 16, request.dwVersionLS & 0xFFFF);
    EXPECT_EQ(version.Str(), BREVICAM_EXPECTED_VERSION_TEXT);
    EXPECT_EQ(request.bAsk, TRUE);
    EXPECT_EQ(request.strFtpServer.Str(), "updates.example:2121");
    EXPECT_EQ(request.strFtpDirectory.Str(), "pub/brevicam");
    EXPECT_TRUE(request.strRegistrySubKey.IsEmpty());
    EXPECT_EQ(request.bInstallerMode, 0);
}
