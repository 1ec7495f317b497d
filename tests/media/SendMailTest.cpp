#include "brevicam/media/SendMail.h"

#include "tests/support/MailStandIn.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using testing_support::FilesIn;
using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteScript;
namespace fs = std::filesystem;

namespace
{
using Arguments = std::vector<std::string>;

/// A desktop whose programs are stand-ins: xdg-settings names the mail client, and xdg-email records the
/// arguments of every run into a file of its own, which appears whole once written.
class SendMailTest : public testing::Test
{
protected:
    void SetUp() override
    {
        fs::create_directories(Records());
        m_dir.WriteFile("share/applications/thunder-mail.desktop", "[Desktop Entry]\nName=Thunder Mail\n");
    }

    fs::path Bin() const { return m_dir / "bin"; }
    fs::path Records() const { return m_dir / "records"; }

    void ConfigureClient(const std::string& before = "") const
    {
        WriteScript(Bin() / "xdg-settings", before + "echo thunder-mail.desktop\n");
    }
    void InstallMailHandOff() const { testing_support::WriteMailHandOffStandIn(Bin(), Records()); }

    /// The argument lists recorded so far, once `count` runs have written theirs (waited for a while).
    std::vector<Arguments> WaitForRuns(std::size_t count) const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        std::vector<Arguments> runs = testing_support::RecordedMailRuns(Records());
        while (runs.size() < count && std::chrono::steady_clock::now() < deadline)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            runs = testing_support::RecordedMailRuns(Records());
        }
        return runs;
    }

    static Arguments Attaching(const std::vector<std::string>& paths)
    {
        Arguments arguments{"--utf8"};
        for (const auto& path : paths)
            arguments.insert(arguments.end(), {"--attach", path});
        return arguments;
    }

    TempDir m_dir;
    ScopedEnv m_path{"PATH", (m_dir / "bin").string()};
    ScopedEnv m_dataHome{"XDG_DATA_HOME", (m_dir / "share").string()};
    ScopedEnv m_dataDirs{"XDG_DATA_DIRS", (m_dir / "nothing").string()};
};

TEST_F(SendMailTest, ConfiguredClientIsReachedThroughTheHandOffLibrary)
{
    ConfigureClient();
    InstallMailHandOff();
    const fs::path library = GetMailClientDllPath();
    EXPECT_EQ(library.filename(), "libplatform_mapi.so");
    EXPECT_TRUE(fs::exists(library));
}

TEST_F(SendMailTest, WithoutClientOrHandOffTheSystemStubIsNamed)
{
    InstallMailHandOff();
    EXPECT_STREQ(GetMailClientDllPath(), "MAPI32.DLL") << "no client configured";

    ConfigureClient();
    fs::remove(Bin() / "xdg-email");
    EXPECT_STREQ(GetMailClientDllPath(), "MAPI32.DLL") << "no hand-off program";
}

TEST_F(SendMailTest, ThreadHandsTheMessageToTheClientAndEndsWithZero)
{
    ConfigureClient();
    InstallMailHandOff();
    const std::vector<std::string> paths = {m_dir.WriteFile("a clip.avi", "a").string(),
                                            m_dir.WriteFile("photo.jpg", "b").string()};
    const char* texts[] = {paths[0].c_str(), paths[1].c_str()};

    EXPECT_EQ(SendMailThreadProc(MakeMailMessageRecord(2, texts).release()), 0u);

    EXPECT_EQ(WaitForRuns(1), std::vector<Arguments>{Attaching(paths)});
}

TEST_F(SendMailTest, ThreadEndsWithMinusOneWhenNoClientCanBeLoaded)
{
    InstallMailHandOff(); // but no mail client is configured
    const std::string path = m_dir.WriteFile("a.avi", "a").string();
    const char* texts[] = {path.c_str()};

    EXPECT_EQ(SendMailThreadProc(MakeMailMessageRecord(1, texts).release()), static_cast<DWORD>(-1));
    EXPECT_TRUE(WaitForRuns(0).empty());
}

TEST_F(SendMailTest, AttachmentPathsOfAnyLengthAreSentWhole)
{
    ConfigureClient();
    InstallMailHandOff();
    const std::string longPath =
        m_dir.WriteFile(std::string(150, 'd') + "/" + std::string(120, 'e') + "/clip 'one' \"two\".wmv", "x")
            .string();
    ASSERT_GT(longPath.size(), 300u);
    const char* texts[] = {longPath.c_str()};

    ASSERT_TRUE(SendMailMapi(1, texts));

    EXPECT_EQ(WaitForRuns(1), std::vector<Arguments>{Attaching({longPath})});
}

TEST_F(SendMailTest, SecondSendLeavesTheFirstMessageAlone)
{
    // The client is slow to be found, so the second send comes while the first is still on its way.
    ConfigureClient("/bin/sleep 0.3\n");
    InstallMailHandOff();
    const std::vector<std::string> first = {m_dir.WriteFile("first-1.avi", "a").string(),
                                            m_dir.WriteFile("first-2.jpg", "b").string()};
    const std::vector<std::string> second = {m_dir.WriteFile("second.jpg", "c").string()};
    {
        std::vector<std::string> paths = first;
        std::vector<const char*> texts = {paths[0].c_str(), paths[1].c_str()};
        ASSERT_TRUE(SendMailMapi(2, texts.data()));
        // The caller's texts may change or go away as soon as the call returned.
        paths[0].assign(paths[0].size(), 'x');
    }
    const char* secondTexts[] = {second[0].c_str()};
    ASSERT_TRUE(SendMailMapi(1, secondTexts));

    std::vector<Arguments> expected = {Attaching(first), Attaching(second)};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(WaitForRuns(2), expected);
}

TEST_F(SendMailTest, NothingToSendIsDoneAtOnce)
{
    ConfigureClient();
    InstallMailHandOff();
    EXPECT_TRUE(SendMailMapi(0, nullptr));
    EXPECT_FALSE(SendMailMapi(1, nullptr));
    const char* withNull[] = {nullptr};
    EXPECT_FALSE(SendMailMapi(1, withNull));
    EXPECT_TRUE(WaitForRuns(0).empty());
}
} // namespace
