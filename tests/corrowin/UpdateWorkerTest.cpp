#include "corrowin/UpdateWorker.h"

#include "platform/win/Kernel.h"
#include "platform/wininet/WinInet.h"
#include "shared/exceptions/Exceptions.h"
#include "tests/support/DesktopTestSupport.h"
#include "tests/support/FtpServer.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing_support::FtpServer;
using testing_support::RandomBytes;
using testing_support::ReadFile;
using testing_support::TempDir;

namespace
{
constexpr UINT kNoServer = 1002;
constexpr UINT kServerError = 1003;
constexpr UINT kAlreadyUpdated = 1004;
constexpr UINT kWriteError = 1010;
constexpr UINT kDownloaded = 0; // no final message: the package arrived

const char* const kPackage = "brevicam_2.1.0.0.deb";
const char* const kFolder = "brevicam-2.1";

/// The dialog's side, recorded; the question's answer is scripted.
class FakeHost : public IUpdateHost
{
public:
    void ShowMessage(UINT id, BOOL final) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        (final ? finals : statuses).push_back(id);
    }
    void ShowVersions(const CString& server, const CString& installed) override
    {
        serverVersion = server.GetString();
        installedVersion = installed.GetString();
    }
    BOOL IsBackground() override { return background; }
    void BringIntoView() override { background = FALSE; }
    bool TrySetState(int state) override
    {
        if (closing)
            return false;
        states.push_back(state);
        return true;
    }
    int AskQuestion(BOOL& dontWarn) override
    {
        ++questions;
        dontWarn = questionDontWarn;
        return questionAnswer;
    }
    int AskYesNo(UINT id) override
    {
        boxes.push_back(id);
        return boxAnswer;
    }
    void ShowDialog() override { ++shown; }
    void PostAnswer(int answer) override { answers.push_back(answer); }
    void PostClose() override { ++closes; }
    void PostDownloaded() override { ++downloaded; }
    void SendProgress(int percent) override { progress.push_back(percent); }

    /// The final message, or kDownloaded when there was none and the package arrived.
    std::optional<UINT> Outcome() const
    {
        if (!finals.empty())
            return finals.back();
        if (downloaded)
            return kDownloaded;
        return std::nullopt;
    }

    std::vector<UINT> statuses;
    std::vector<UINT> finals;
    std::string serverVersion;
    std::string installedVersion;
    BOOL background = FALSE;
    bool closing = false;
    std::vector<int> states;
    int questions = 0;
    int questionAnswer = 6;
    BOOL questionDontWarn = FALSE;
    std::vector<UINT> boxes;
    int boxAnswer = 6;
    int shown = 0;
    std::vector<int> answers;
    int closes = 0;
    int downloaded = 0;
    std::vector<int> progress;

private:
    std::mutex m_mutex;
};

class FakeTarget : public IUpdateTarget
{
public:
    void SetTargetFolder(const char* folder) override
    {
        path = UpdateDownloadFolder() + "/" + (*folder ? std::string(folder) + "/" : std::string());
    }
    void Append2TargetName(const char* name) override { path += name; }
    void SetStateBit(unsigned bit, BOOL on) override
    {
        if (on)
            bits |= 1u << bit;
        else
            bits &= ~(1u << bit);
    }
    std::string path;
    unsigned bits = 0;
};

void WriteTo(const fs::path& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

/// Every entry below a folder with its kind and content (a link: its target), to see that nothing changed.
std::map<std::string, std::string> Snapshot(const fs::path& root)
{
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
    {
        const fs::path relative = fs::relative(it->path(), root);
        if (it->is_symlink())
            entries[relative.string()] = "link:" + fs::read_symlink(it->path()).string();
        else if (it->is_directory())
            entries[relative.string()] = "folder";
        else
            entries[relative.string()] = "file:" + ReadFile(it->path());
    }
    return entries;
}

class UpdateWorkerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        saved = platform::wininet::GetTimeouts();
        platform::wininet::SetTimeouts({3000, 1000, 1000});
        package = RandomBytes(100000, 3);
    }

    void TearDown() override
    {
        platform::wininet::SetTimeouts(saved);
        CloseHandle(cancel);
    }

    /// The version file and the package on the server.
    void Publish(FtpServer& server, const std::string& versionFile, long long mtime = 1700000000)
    {
        server.Put("updates/update", versionFile);
        server.Put(std::string("updates/") + kPackage, package, mtime);
    }

    static std::string VersionFile(const std::string& version = "2.1.0.0",
                                   const std::string& folder = kFolder, const std::string& name = kPackage)
    {
        return version + "\r\n" + folder + "\r\n" + name + "\r\n";
    }

    CUpdateWorker::Settings Settings(const FtpServer& server) const
    {
        CUpdateWorker::Settings settings;
        settings.applicationName = "Brevicam";
        settings.server = server.Address().c_str();
        settings.ftpDirectory = "updates";
        settings.versionFileName = "update";
        settings.installed = CUpdateWorker::VersionInfo(2u << 16, 0);
        settings.ask = TRUE;
        return settings;
    }

    void Run(const FtpServer& server, FakeHost& on)
    {
        CUpdateWorker(Settings(server), on, target, cancel).Run();
    }

    fs::path PackagePath() const { return desktop.Home() / ".cache/brevicam/update" / kFolder / kPackage; }
    fs::path RecordPath() const { return PackagePath().string() + ".resume"; }

    /// A partial download left by an earlier check, with the record of the server's file it came from.
    void LeavePartial(std::size_t bytes, long long mtime = 1700000000)
    {
        fs::create_directories(PackagePath().parent_path());
        WriteTo(PackagePath(), package.substr(0, bytes));
        const unsigned long long ticks =
            (static_cast<unsigned long long>(mtime) + 11644473600ULL) * 10000000ULL;
        WriteTo(RecordPath(), std::to_string(package.size()) + " " + std::to_string(ticks) + "\n");
    }

    static bool Restarted(const FtpServer& server)
    {
        const std::vector<std::string> commands = server.Commands();
        return std::any_of(commands.begin(), commands.end(),
                           [](const std::string& c) { return c.rfind("REST ", 0) == 0 && c != "REST 0"; });
    }

    testing_support::PrivateDesktop desktop;
    HANDLE cancel = nullptr;
    platform::wininet::Timeouts saved;
    std::string package;
    FakeHost host;
    FakeTarget target;
};
} // namespace

// ---------------------------------------------------------------------------------------------------------
// Versions
// ---------------------------------------------------------------------------------------------------------

struct VersionCase
{
    const char* name;
    const char* text;
    unsigned parts[4];
};

class VersionInfoTest : public testing::TestWithParam<VersionCase>
{
};

TEST_P(VersionInfoTest, ReadsItsPartsUntilTheFirstThatIsNotOne)
{
    const VersionCase& c = GetParam();
    const CUpdateWorker::VersionInfo version(c.text);
    EXPECT_EQ(version.dwMS, c.parts[0] << 16 | c.parts[1]);
    EXPECT_EQ(version.dwLS, c.parts[2] << 16 | c.parts[3]);
}

INSTANTIATE_TEST_SUITE_P(
    UpdateWorker, VersionInfoTest,
    testing::Values(VersionCase{"Full", "4.1.2.0", {4, 1, 2, 0}}, VersionCase{"Partial", "4.1", {4, 1, 0, 0}},
                    VersionCase{"Commas", "4,1,2,3", {4, 0, 0, 0}},
                    VersionCase{"SecondNotANumber", "4.x.2.3", {4, 0, 0, 0}},
                    VersionCase{"Empty", "", {0, 0, 0, 0}}, VersionCase{"Negative", "-1.0.0.0", {0, 0, 0, 0}},
                    VersionCase{"Plus", "+1.2.3.4", {0, 0, 0, 0}},
                    VersionCase{"SignInside", "4.-2.3.4", {4, 0, 0, 0}},
                    VersionCase{"Largest", "65535.65535.65535.65535", {65535, 65535, 65535, 65535}},
                    VersionCase{"Overflow", "65536", {0, 0, 0, 0}},
                    VersionCase{"OverflowLater", "4.1.99999.1", {4, 1, 0, 0}},
                    VersionCase{"SixDigits", "000001.2", {0, 0, 0, 0}},
                    VersionCase{"LeadingBlanks", "  4.1.2.3", {4, 1, 2, 3}},
                    VersionCase{"TrailingText", "4.1.2.3.9 beta", {4, 1, 2, 3}}),
    [](const testing::TestParamInfo<VersionCase>& info) { return info.param.name; });

TEST(VersionInfoTest, ANullTextIsRefused)
{
    try
    {
        CUpdateWorker::VersionInfo version(nullptr);
        FAIL() << "no exception";
    }
    catch (const CNullPointerException& e)
    {
        EXPECT_STREQ(e.what(), ".\\UpdateWorker[CUpdateWorker::VersionInfo::VersionInfo]: No version string "
                               "to extract info from");
    }
}

TEST(VersionInfoTest, NewerComparesTheHalvesAsUnsignedNumbers)
{
    using V = CUpdateWorker::VersionInfo;
    EXPECT_TRUE(V(0x80000000u, 0).IsNewerThan(V(1, 0)));
    EXPECT_TRUE(V(1, 0x80000000u).IsNewerThan(V(1, 5)));
    EXPECT_FALSE(V(1, 5).IsNewerThan(V(1, 5)));
    EXPECT_FALSE(V(1, 0xFFFFFFFFu).IsNewerThan(V(2, 0)));
    EXPECT_FALSE(V(0, 0).IsNewerThan(V(0, 0)));
}

// ---------------------------------------------------------------------------------------------------------
// The version file, end to end through a real server
// ---------------------------------------------------------------------------------------------------------

struct VersionFileCase
{
    const char* name;
    std::string content;
    UINT outcome;
};

class VersionFileTest : public UpdateWorkerTest, public testing::WithParamInterface<VersionFileCase>
{
};

TEST_P(VersionFileTest, EndsTheCheckAsItsContentWants)
{
    FtpServer server(FtpServer::Kind::Real);
    if (!server.Started())
        GTEST_SKIP() << "no FTP server";
    Publish(server, GetParam().content);
    Run(server, host);
    EXPECT_EQ(host.Outcome(), GetParam().outcome);
    if (GetParam().outcome == kDownloaded)
        EXPECT_TRUE(ReadFile(PackagePath()) == package);
    else
        EXPECT_FALSE(fs::exists(desktop.Home() / ".cache/brevicam"));
}

INSTANTIATE_TEST_SUITE_P(
    UpdateWorker, VersionFileTest,
    testing::Values(
        VersionFileCase{"CrLf", "2.1.0.0\r\nbrevicam-2.1\r\nbrevicam_2.1.0.0.deb\r\n", kDownloaded},
        VersionFileCase{"Lf", "2.1.0.0\nbrevicam-2.1\nbrevicam_2.1.0.0.deb\n", kDownloaded},
        VersionFileCase{"Cr", "2.1.0.0\rbrevicam-2.1\rbrevicam_2.1.0.0.deb", kDownloaded},
        VersionFileCase{"AfterTheThirdLine",
                        "2.1.0.0\nbrevicam-2.1\nbrevicam_2.1.0.0.deb\n\x01junk" + std::string(3000, 'x'),
                        kDownloaded},
        VersionFileCase{"PartialVersion", "2.1\nbrevicam-2.1\nbrevicam_2.1.0.0.deb\n", kDownloaded},
        VersionFileCase{"Line259", std::string(259, '2') + "\nbrevicam-2.1\nbrevicam_2.1.0.0.deb\n",
                        kAlreadyUpdated},
        VersionFileCase{"Line260", std::string(260, '2') + "\nbrevicam-2.1\nbrevicam_2.1.0.0.deb\n",
                        kServerError},
        VersionFileCase{"Nul", "2.1.0.0\nbrevicam-2.1\nbrevicam\0_2.1.0.0.deb\n"s, kServerError},
        VersionFileCase{"Bytes4096", "2.1.0.0\nbrevicam-2.1\nbrevicam_2.1.0.0.deb\n" + std::string(4054, ' '),
                        kDownloaded},
        VersionFileCase{"Bytes4097", "2.1.0.0\nbrevicam-2.1\nbrevicam_2.1.0.0.deb\n" + std::string(4055, ' '),
                        kServerError},
        VersionFileCase{"Negative", "-1.0.0.0\nbrevicam-2.1\nbrevicam_2.1.0.0.deb\n", kAlreadyUpdated},
        VersionFileCase{"Overflow", "65536\nbrevicam-2.1\nbrevicam_2.1.0.0.deb\n", kAlreadyUpdated},
        VersionFileCase{"Equal", "2.0.0.0\nbrevicam-2.1\nbrevicam_2.1.0.0.deb\n", kAlreadyUpdated},
        VersionFileCase{"Older", "1.9.9.9\nbrevicam-2.1\nbrevicam_2.1.0.0.deb\n", kAlreadyUpdated},
        VersionFileCase{"EmptyPackageLine", "2.1.0.0\nbrevicam-2.1\n\n", kServerError},
        VersionFileCase{"TwoLines", "2.1.0.0\nbrevicam-2.1\n", kServerError},
        VersionFileCase{"Empty", "", kServerError}),
    [](const testing::TestParamInfo<VersionFileCase>& info) { return info.param.name; });

TEST_F(UpdateWorkerTest, AnEmptyFolderLinePutsThePackageInTheDownloadFolder)
{
    FtpServer server(FtpServer::Kind::Real);
    if (!server.Started())
        GTEST_SKIP() << "no FTP server";
    Publish(server, VersionFile("2.1.0.0", ""));
    Run(server, host);
    ASSERT_EQ(host.Outcome(), kDownloaded);
    EXPECT_TRUE(ReadFile(desktop.Home() / ".cache/brevicam/update" / kPackage) == package);
    EXPECT_EQ(target.path, (desktop.Home() / ".cache/brevicam/update" / kPackage).string());
}

TEST_F(UpdateWorkerTest, AMissingVersionFileOrFolderEndsWithTheServerError)
{
    FtpServer server(FtpServer::Kind::Real);
    if (!server.Started())
        GTEST_SKIP() << "no FTP server";
    Run(server, host);
    EXPECT_EQ(host.Outcome(), kServerError);
    server.Put("updates/other", "x");
    FakeHost again;
    Run(server, again);
    EXPECT_EQ(again.Outcome(), kServerError);
}

TEST_F(UpdateWorkerTest, AServerThatCannotBeReachedEndsWithTheConnectionMessage)
{
    FtpServer server(FtpServer::Kind::Hostile);
    if (!server.Started())
        GTEST_SKIP() << "no FTP server";
    server.SetBehaviour(R"({"greeting": "stall"})");
    host.background = TRUE;
    Run(server, host);
    EXPECT_EQ(host.Outcome(), kNoServer);
    // Out of view, the dialog closes itself.
    EXPECT_EQ(host.closes, 1);
}

// ---------------------------------------------------------------------------------------------------------
// Names the server sends
// ---------------------------------------------------------------------------------------------------------

struct HostileNameCase
{
    const char* name;
    std::string folder;
    std::string package;
};

class HostileNameTest : public UpdateWorkerTest, public testing::WithParamInterface<HostileNameCase>
{
};

TEST_P(HostileNameTest, EndsWithTheServerErrorAndTouchesNothing)
{
    FtpServer server(FtpServer::Kind::Real);
    if (!server.Started())
        GTEST_SKIP() << "no FTP server";
    Publish(server, VersionFile("2.1.0.0", GetParam().folder, GetParam().package));
    WriteTo(desktop.Home() / "passwd", "kept");
    const auto before = Snapshot(desktop.Home());
    Run(server, host);
    EXPECT_EQ(host.Outcome(), kServerError);
    EXPECT_EQ(Snapshot(desktop.Home()), before);
    EXPECT_EQ(host.questions, 0);
}

INSTANTIATE_TEST_SUITE_P(UpdateWorker, HostileNameTest,
                         testing::Values(HostileNameCase{"ParentPackage", kFolder, "../x.deb"},
                                         HostileNameCase{"DotDotPackage", kFolder, ".."},
                                         HostileNameCase{"DotDotFolder", "..", kPackage},
                                         HostileNameCase{"AbsolutePackage", kFolder, "/etc/passwd"},
                                         HostileNameCase{"AbsoluteFolder", "/tmp", kPackage},
                                         HostileNameCase{"SlashInPackage", kFolder, "a/b.deb"},
                                         HostileNameCase{"SlashInFolder", "a/b", kPackage},
                                         HostileNameCase{"LeadingDash", kFolder, "-x.deb"},
                                         HostileNameCase{"Hidden", kFolder, ".x.deb"},
                                         HostileNameCase{"HiddenFolder", ".x", kPackage},
                                         HostileNameCase{"TooLong", kFolder, std::string(296, 'a') + ".deb"},
                                         HostileNameCase{"NotAPackage", kFolder, "x.sh"},
                                         HostileNameCase{"Blank", kFolder, "a b.deb"},
                                         HostileNameCase{"Backslash", kFolder, "a\\b.deb"},
                                         HostileNameCase{"NonAscii", "caf\xc3\xa9", kPackage}),
                         [](const testing::TestParamInfo<HostileNameCase>& info) { return info.param.name; });

TEST_F(UpdateWorkerTest, APlantedLinkIsNeitherFollowedNorReplaced)
{
    FtpServer server(FtpServer::Kind::Real);
    if (!server.Started())
        GTEST_SKIP() << "no FTP server";
    Publish(server, VersionFile());
    WriteTo(desktop.Home() / "victim", "kept");
    for (const bool linkFolder : {false, true})
    {
        fs::remove_all(desktop.Home() / ".cache");
        fs::create_directories(PackagePath().parent_path().parent_path());
        if (linkFolder)
            fs::create_directory_symlink(desktop.Home(), PackagePath().parent_path());
        else
        {
            fs::create_directories(PackagePath().parent_path());
            fs::create_symlink(desktop.Home() / "victim", PackagePath());
        }
        const auto before = Snapshot(desktop.Home());
        FakeHost run;
        Run(server, run);
        EXPECT_EQ(run.Outcome(), kServerError) << linkFolder;
        EXPECT_EQ(Snapshot(desktop.Home()), before) << linkFolder;
        EXPECT_EQ(run.downloaded, 0);
    }
}

// ---------------------------------------------------------------------------------------------------------
// Asking
// ---------------------------------------------------------------------------------------------------------

TEST_F(UpdateWorkerTest, TheQuestionsAnswerIsPostedAndARefusalCloses)
{
    FtpServer server(FtpServer::Kind::Real);
    if (!server.Started())
        GTEST_SKIP() << "no FTP server";
    Publish(server, VersionFile());
    host.questionAnswer = 2; // Esc
    host.questionDontWarn = FALSE;
    Run(server, host);
    EXPECT_EQ(host.answers, std::vector<int>({1}));
    EXPECT_EQ(host.closes, 1);
    EXPECT_EQ(host.downloaded, 0);
    EXPECT_EQ(host.serverVersion, " 2.1.0.0");
    EXPECT_EQ(host.installedVersion, " 2.0.0.0");

    FakeHost ticked;
    ticked.questionAnswer = 6;
    ticked.questionDontWarn = TRUE;
    Run(server, ticked);
    EXPECT_EQ(ticked.answers, std::vector<int>({0}));
    EXPECT_EQ(ticked.shown, 1);
    EXPECT_EQ(ticked.Outcome(), kDownloaded);

    // A question that could not be asked (the dialog went away) stores no answer.
    FakeHost gone;
    gone.questionAnswer = 0;
    Run(server, gone);
    EXPECT_TRUE(gone.answers.empty());
    EXPECT_EQ(gone.downloaded, 0);
}

TEST_F(UpdateWorkerTest, WithoutTheQuestionTheYesNoBoxAsksAndNoOrNoBoxAtAllStops)
{
    FtpServer server(FtpServer::Kind::Real);
    if (!server.Started())
        GTEST_SKIP() << "no FTP server";
    Publish(server, VersionFile());
    CUpdateWorker::Settings settings = Settings(server);
    settings.ask = FALSE;
    for (const int answer : {7, 0})
    {
        FakeHost run;
        run.boxAnswer = answer;
        CUpdateWorker(settings, run, target, cancel).Run();
        EXPECT_EQ(run.boxes, std::vector<UINT>({1005}));
        EXPECT_EQ(run.states, std::vector<int>({2, 0}));
        EXPECT_EQ(run.closes, 1);
        EXPECT_EQ(run.downloaded, 0);
    }
    FakeHost yes;
    CUpdateWorker(settings, yes, target, cancel).Run();
    EXPECT_EQ(yes.Outcome(), kDownloaded);
    EXPECT_TRUE(yes.answers.empty());
    // A dialog that is closing is not asked.
    FakeHost closing;
    closing.closing = true;
    CUpdateWorker(settings, closing, target, cancel).Run();
    EXPECT_TRUE(closing.boxes.empty());
    EXPECT_EQ(closing.downloaded, 0);
}

// ---------------------------------------------------------------------------------------------------------
// Downloads
// ---------------------------------------------------------------------------------------------------------

TEST_F(UpdateWorkerTest, AFreshDownloadCompletesWithProgressAndThePendingBit)
{
    FtpServer server(FtpServer::Kind::Real);
    if (!server.Started())
        GTEST_SKIP() << "no FTP server";
    Publish(server, VersionFile());
    host.background = TRUE;
    Run(server, host);
    ASSERT_EQ(host.Outcome(), kDownloaded);
    EXPECT_TRUE(ReadFile(PackagePath()) == package);
    EXPECT_FALSE(fs::exists(RecordPath()));
    EXPECT_EQ(target.bits, 1u);
    EXPECT_EQ(target.path, PackagePath().string());
    EXPECT_EQ(host.downloaded, 1);
    EXPECT_EQ(host.statuses, std::vector<UINT>({1006}));
    // Brought into view when the download began, so it is not closed at the end.
    EXPECT_FALSE(host.background);
    EXPECT_EQ(host.closes, 0);
    ASSERT_FALSE(host.progress.empty());
    EXPECT_EQ(host.progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(host.progress.begin(), host.progress.end()));
    EXPECT_EQ(fs::status(PackagePath().parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(UpdateWorkerTest, APartialDownloadOfTheSameFileIsResumed)
{
    FtpServer server(FtpServer::Kind::Hostile);
    if (!server.Started())
        GTEST_SKIP() << "no FTP server";
    Publish(server, VersionFile());
    LeavePartial(40000);
    Run(server, host);
    ASSERT_EQ(host.Outcome(), kDownloaded);
    EXPECT_TRUE(ReadFile(PackagePath()) == package);
    const std::vector<std::string> commands = server.Commands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), "REST 40000"), commands.end());
}

struct StaleCase
{
    const char* name;
    std::size_t localBytes;
    long long recordTime;
};

class StalePartialTest : public UpdateWorkerTest, public testing::WithParamInterface<StaleCase>
{
};

TEST_P(StalePartialTest, IsReplacedByAFreshDownload)
{
    FtpServer server(FtpServer::Kind::Hostile);
    if (!server.Started())
        GTEST_SKIP() << "no FTP server";
    Publish(server, VersionFile());
    LeavePartial(std::min(GetParam().localBytes, package.size()), GetParam().recordTime);
    if (GetParam().localBytes > package.size())
        WriteTo(PackagePath(), package + "extra");
    Run(server, host);
    ASSERT_EQ(host.Outcome(), kDownloaded);
    EXPECT_TRUE(ReadFile(PackagePath()) == package);
    EXPECT_FALSE(Restarted(server));
}

INSTANTIATE_TEST_SUITE_P(UpdateWorker, StalePartialTest,
                         testing::Values(StaleCase{"Equal", 100000, 1700000000},
                                         StaleCase{"LargerLocal", 100005, 1700000000},
                                         StaleCase{"ChangedTime", 40000, 1600000000}),
                         [](const testing::TestParamInfo<StaleCase>& info) { return info.param.name; });

TEST_F(UpdateWorkerTest, APartialWithoutItsRecordIsNotResumed)
{
    FtpServer server(FtpServer::Kind::Hostile);
    if (!server.Started())
        GTEST_SKIP() << "no FTP server";
    Publish(server, VersionFile());
    LeavePartial(40000);
    fs::remove(RecordPath());
    Run(server, host);
    ASSERT_EQ(host.Outcome(), kDownloaded);
    EXPECT_TRUE(ReadFile(PackagePath()) == package);
    EXPECT_FALSE(Restarted(server));
}

struct RefusedSizeCase
{
    const char* name;
    const char* size;
};

class RefusedSizeTest : public UpdateWorkerTest, public testing::WithParamInterface<RefusedSizeCase>
{
};

TEST_P(RefusedSizeTest, EndsWithTheServerErrorAndNothingWritten)
{
    FtpServer server(FtpServer::Kind::Hostile);
    if (!server.Started())
        GTEST_SKIP() << "no FTP server";
    Publish(server, VersionFile());
    server.SetBehaviour(std::string(R"({"size": {")") + kPackage + R"(": )" + GetParam().size + "}}");
    Run(server, host);
    EXPECT_EQ(host.Outcome(), kServerError);
    EXPECT_FALSE(fs::exists(PackagePath()));
    EXPECT_EQ(target.bits, 0u);
}

INSTANTIATE_TEST_SUITE_P(UpdateWorker, RefusedSizeTest,
                         testing::Values(RefusedSizeCase{"Zero", "0"},
                                         RefusedSizeCase{"FourGiB", "4294967296"},
                                         RefusedSizeCase{"Unknown", "\"-\""}),
                         [](const testing::TestParamInfo<RefusedSizeCase>& info) { return info.param.name; });

TEST_F(UpdateWorkerTest, ATransferTheServerCutsShortIsKeptAndCompletedNextTime)
{
    FtpServer server(FtpServer::Kind::Hostile);
    if (!server.Started())
        GTEST_SKIP() << "no FTP server";
    Publish(server, VersionFile());
    server.SetBehaviour(std::string(R"({"truncate_once": {")") + kPackage + R"(": 60000}})");
    Run(server, host);
    EXPECT_EQ(host.Outcome(), kServerError);
    EXPECT_EQ(host.downloaded, 0);
    EXPECT_EQ(target.bits, 0u);
    EXPECT_EQ(fs::file_size(PackagePath()), 60000u);
    FakeHost next;
    Run(server, next);
    ASSERT_EQ(next.Outcome(), kDownloaded);
    EXPECT_TRUE(ReadFile(PackagePath()) == package);
    EXPECT_TRUE(Restarted(server));
}

struct RestartCase
{
    const char* name;
    const char* behaviour;
};

class RestartTest : public UpdateWorkerTest, public testing::WithParamInterface<RestartCase>
{
};

TEST_P(RestartTest, AServerThatWillNotResumeGetsAFreshDownloadNextTime)
{
    FtpServer server(FtpServer::Kind::Hostile);
    if (!server.Started())
        GTEST_SKIP() << "no FTP server";
    Publish(server, VersionFile());
    server.SetBehaviour(GetParam().behaviour);
    LeavePartial(40000);
    Run(server, host);
    EXPECT_EQ(host.Outcome(), kServerError);
    EXPECT_EQ(host.downloaded, 0);
    EXPECT_FALSE(fs::exists(PackagePath()));
    FakeHost next;
    Run(server, next);
    ASSERT_EQ(next.Outcome(), kDownloaded);
    EXPECT_TRUE(ReadFile(PackagePath()) == package);
}

INSTANTIATE_TEST_SUITE_P(UpdateWorker, RestartTest,
                         testing::Values(RestartCase{"Ignored", R"({"rest": "ignore"})"},
                                         RestartCase{"Refused", R"({"rest": "refuse"})"}),
                         [](const testing::TestParamInfo<RestartCase>& info) { return info.param.name; });

TEST_F(UpdateWorkerTest, ATransferThatStallsIsKeptForLater)
{
    FtpServer server(FtpServer::Kind::Hostile);
    if (!server.Started())
        GTEST_SKIP() << "no FTP server";
    Publish(server, VersionFile());
    server.SetBehaviour(std::string(R"({"stall": {")") + kPackage + R"(": 50000}})");
    Run(server, host);
    EXPECT_EQ(host.Outcome(), kServerError);
    EXPECT_EQ(fs::file_size(PackagePath()), 50000u);
    EXPECT_TRUE(fs::exists(RecordPath()));
}

TEST_F(UpdateWorkerTest, ACancelledDownloadEndsQuietlyAndIsResumedNextTime)
{
    FtpServer server(FtpServer::Kind::Hostile);
    if (!server.Started())
        GTEST_SKIP() << "no FTP server";
    Publish(server, VersionFile());
    // Only the cancel can end this stall within the test's time.
    platform::wininet::SetTimeouts({3000, 1000, 600000});
    server.SetBehaviour(std::string(R"({"stall": {")") + kPackage + R"(": 50000}})");
    std::thread canceller(
        [&]
        {
            const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            // Once the first block is written, the transfer runs into the stall.
            auto written = [&]
            {
                std::error_code error;
                const auto size = fs::file_size(PackagePath(), error);
                return !error && size >= 32768u;
            };
            while (std::chrono::steady_clock::now() < limit && !written())
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            SetEvent(cancel);
        });
    host.background = FALSE;
    Run(server, host);
    canceller.join();
    EXPECT_TRUE(host.finals.empty());
    EXPECT_EQ(host.downloaded, 0);
    const auto kept = fs::file_size(PackagePath());
    EXPECT_GE(kept, 32768u);
    EXPECT_LE(kept, 50000u);
    EXPECT_TRUE(fs::exists(RecordPath()));

    ResetEvent(cancel);
    server.SetBehaviour("{}");
    FakeHost next;
    Run(server, next);
    ASSERT_EQ(next.Outcome(), kDownloaded);
    EXPECT_TRUE(ReadFile(PackagePath()) == package);
    EXPECT_TRUE(Restarted(server));
}

TEST_F(UpdateWorkerTest, AFullDiskEndsWithTheWriteErrorAndRemovesTheTarget)
{
    FtpServer server(FtpServer::Kind::Real);
    if (!server.Started())
        GTEST_SKIP() << "no FTP server";
    Publish(server, VersionFile());
    if (!testing_support::MountSmallTmpfs(desktop.Home() / ".cache", 64))
        GTEST_SKIP() << "no private mount namespace";
    Run(server, host);
    EXPECT_EQ(host.Outcome(), kWriteError);
    EXPECT_FALSE(fs::exists(PackagePath()));
    EXPECT_FALSE(fs::exists(RecordPath()));
    EXPECT_EQ(target.bits, 0u);
}
