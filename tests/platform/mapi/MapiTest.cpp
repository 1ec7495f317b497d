#include "platform/mapi/Mapi.h"

#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteScript;
namespace fs = std::filesystem;

namespace
{
/// The arguments a stand-in program recorded, one per NUL-terminated field.
std::vector<std::string> RecordedArguments(const fs::path& record)
{
    std::vector<std::string> arguments;
    const std::string text = ReadFile(record);
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1)
        arguments.push_back(text.substr(start, end - start));
    return arguments;
}

/// A folder of stand-in programs that is the whole PATH: the programs find nothing else, and the scripts
/// use only the shell's own commands.
class MailHandOffTest : public testing::Test
{
protected:
    fs::path Bin() const { return m_dir / "bin"; }
    fs::path Record() const { return m_dir / "xdg-email.args"; }

    /// An xdg-email that records its arguments and ends with `exitCode`.
    void InstallMailHandOff(int exitCode = 0) const
    {
        WriteScript(Bin() / "xdg-email", "printf '%s\\0' \"$@\" > '" + Record().string() + "'\nexit " +
                                             std::to_string(exitCode) + "\n");
    }

    ULONG Send(const std::vector<std::string>& paths, const char* subject = nullptr,
               const char* note = nullptr)
    {
        std::vector<MapiFileDesc> files(paths.size());
        for (std::size_t i = 0; i < paths.size(); ++i)
            files[i] = {0, 0, static_cast<ULONG>(-1), const_cast<char*>(paths[i].c_str()), nullptr, nullptr};
        MapiMessage message{};
        message.lpszSubject = const_cast<char*>(subject);
        message.lpszNoteText = const_cast<char*>(note);
        message.nFileCount = static_cast<ULONG>(files.size());
        message.lpFiles = files.data();
        return MAPISendMail(0, 0, &message, MAPI_LOGON_UI | MAPI_NEW_SESSION | MAPI_DIALOG, 0);
    }

    TempDir m_dir;
    ScopedEnv m_path{"PATH", (m_dir / "bin").string()};
};

TEST_F(MailHandOffTest, EveryAttachmentIsHandedWholeAsItsOwnArgument)
{
    InstallMailHandOff();
    // Blanks, quotes, shell characters, a leading '-', and a path far beyond 255 characters.
    const std::string longFolder = std::string(120, 'f') + "/" + std::string(120, 'g');
    const std::vector<std::string> paths = {
        m_dir.WriteFile("with blanks in it.avi", "a").string(),
        m_dir.WriteFile("quote\"d 'name' $HOME `x`.jpg", "b").string(),
        m_dir.WriteFile("-looks-like-an-option.avi", "c").string(),
        m_dir.WriteFile(longFolder + "/" + std::string(40, 'n') + ".wmv", "d").string(),
    };
    ASSERT_GT(paths.back().size(), 300u);

    EXPECT_EQ(Send(paths), SUCCESS_SUCCESS);

    std::vector<std::string> expected = {"--utf8"};
    for (const auto& path : paths)
        expected.insert(expected.end(), {"--attach", path});
    EXPECT_EQ(RecordedArguments(Record()), expected);
}

TEST_F(MailHandOffTest, RelativePathsAreMadeAbsoluteSoThatNoneReadsAsAnOption)
{
    InstallMailHandOff();
    m_dir.WriteFile("-v.avi", "x");
    const fs::path before = fs::current_path();
    fs::current_path(m_dir.Path());
    const ULONG result = Send({"-v.avi"});
    fs::current_path(before);

    EXPECT_EQ(result, SUCCESS_SUCCESS);
    EXPECT_EQ(RecordedArguments(Record()),
              (std::vector<std::string>{"--utf8", "--attach", (m_dir / "-v.avi").string()}));
}

TEST_F(MailHandOffTest, SubjectAndNoteGoAlongOnlyWhenTheyHaveText)
{
    InstallMailHandOff();
    const std::string file = m_dir.WriteFile("a.jpg", "a").string();

    EXPECT_EQ(Send({file}, "", ""), SUCCESS_SUCCESS);
    EXPECT_EQ(RecordedArguments(Record()), (std::vector<std::string>{"--utf8", "--attach", file}));

    EXPECT_EQ(Send({file}, "Holiday", "Two lines\nof text"), SUCCESS_SUCCESS);
    EXPECT_EQ(RecordedArguments(Record()),
              (std::vector<std::string>{"--utf8", "--subject", "Holiday", "--body", "Two lines\nof text",
                                        "--attach", file}));
}

TEST_F(MailHandOffTest, MessagesTheHandOffCannotCarryAreRefusedWithoutRunningIt)
{
    InstallMailHandOff();
    EXPECT_EQ(MAPISendMail(0, 0, nullptr, MAPI_DIALOG, 0), MAPI_E_FAILURE);

    MapiRecipDesc recipient{0, MAPI_TO, const_cast<char*>("Ann"), const_cast<char*>("SMTP:ann@example.org"),
                            0, nullptr};
    MapiMessage withRecipient{};
    withRecipient.nRecipCount = 1;
    withRecipient.lpRecips = &recipient;
    EXPECT_EQ(MAPISendMail(0, 0, &withRecipient, MAPI_DIALOG, 0), MAPI_E_NOT_SUPPORTED);

    MapiFileDesc noPath{0, 0, static_cast<ULONG>(-1), nullptr, nullptr, nullptr};
    MapiMessage withoutPath{};
    withoutPath.nFileCount = 1;
    withoutPath.lpFiles = &noPath;
    EXPECT_EQ(MAPISendMail(0, 0, &withoutPath, MAPI_DIALOG, 0), MAPI_E_ATTACHMENT_NOT_FOUND);

    EXPECT_FALSE(fs::exists(Record()));
}

TEST_F(MailHandOffTest, WithoutHandOffProgramNoClientCanBeReached)
{
    EXPECT_EQ(Send({m_dir.WriteFile("a.jpg", "a").string()}), MAPI_E_LOGIN_FAILURE);
    EXPECT_EQ(platform::mapi::GetMailHandOffLibrary(), "");
}

TEST_F(MailHandOffTest, HandOffLibraryIsThisLibraryAndExportsMapiSendMail)
{
    InstallMailHandOff();
    const std::string library = platform::mapi::GetMailHandOffLibrary();
    ASSERT_EQ(fs::path(library).filename(), "libplatform_mapi.so");

    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(dlsym(handle, "MAPISendMail"), reinterpret_cast<void*>(&MAPISendMail));
    dlclose(handle);
}

TEST_F(MailHandOffTest, RealHandOffRefusesAMissingAttachment)
{
    // The real xdg-email checks its files before it looks for any mail client, so nothing is opened.
    const ScopedEnv path("PATH", "/usr/bin:/bin");
    if (access("/usr/bin/xdg-email", X_OK) != 0)
        GTEST_SKIP() << "xdg-utils is not installed";
    EXPECT_EQ(Send({(m_dir / "missing.avi").string()}), MAPI_E_ATTACHMENT_NOT_FOUND);
}

struct ExitCase
{
    const char* name;
    std::string script; // how the stand-in ends
    ULONG expected;
    bool executable = true;
};

void PrintTo(const ExitCase& c, std::ostream* os)
{
    *os << c.name;
}

class MailHandOffExitTest : public MailHandOffTest, public testing::WithParamInterface<ExitCase>
{
};

TEST_P(MailHandOffExitTest, ExitStatusBecomesTheMapiResult)
{
    WriteScript(Bin() / "xdg-email", GetParam().script);
    if (!GetParam().executable)
        fs::permissions(Bin() / "xdg-email", fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Send({m_dir.WriteFile("a.avi", "a").string()}), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Statuses, MailHandOffExitTest,
                         testing::Values(ExitCase{"Success", "exit 0\n", SUCCESS_SUCCESS},
                                         ExitCase{"SyntaxError", "exit 1\n", MAPI_E_FAILURE},
                                         ExitCase{"FileMissing", "exit 2\n", MAPI_E_ATTACHMENT_NOT_FOUND},
                                         ExitCase{"NoMethodForAnyClient", "exit 3\n", MAPI_E_LOGIN_FAILURE},
                                         ExitCase{"ActionFailed", "exit 4\n", MAPI_E_FAILURE},
                                         ExitCase{"NoReadPermission", "exit 5\n",
                                                  MAPI_E_ATTACHMENT_OPEN_FAILURE},
                                         ExitCase{"UnknownStatus", "exit 77\n", MAPI_E_FAILURE},
                                         ExitCase{"KilledBySignal", "kill -9 $$\n", MAPI_E_FAILURE},
                                         ExitCase{"NotExecutable", "exit 0\n", MAPI_E_LOGIN_FAILURE, false}),
                         [](const testing::TestParamInfo<ExitCase>& info)
                         { return std::string(info.param.name); });

// The default mail client's name ------------------------------------------------------------------------

struct ClientCase
{
    const char* name;
    std::string settings;                                   // body of the xdg-settings stand-in; empty: none
    std::vector<std::pair<std::string, std::string>> files; // desktop entries below the test folder
    std::string expected;
    bool executable = true;
};

void PrintTo(const ClientCase& c, std::ostream* os)
{
    *os << c.name;
}

class MailClientNameTest : public MailHandOffTest, public testing::WithParamInterface<ClientCase>
{
protected:
    ScopedEnv m_dataHome{"XDG_DATA_HOME", (m_dir / "home").string()};
    ScopedEnv m_dataDirs{"XDG_DATA_DIRS", (m_dir / "system").string() + ":" + (m_dir / "vendor").string()};
};

TEST_P(MailClientNameTest, AnswersTheNameOfTheInstalledMailtoHandler)
{
    const ClientCase& c = GetParam();
    if (!c.settings.empty())
        WriteScript(Bin() / "xdg-settings", c.settings);
    for (const auto& [file, content] : c.files)
        m_dir.WriteFile(file, content);
    if (!c.executable)
        fs::permissions(Bin() / "xdg-settings", fs::perms::owner_read | fs::perms::owner_write);

    EXPECT_EQ(platform::mapi::GetDefaultMailClientName(), c.expected);
}

const std::string kAnswerThunder =
    "[ \"$*\" = 'get default-url-scheme-handler mailto' ] || exit 1\necho thunder-mail.desktop\n";

INSTANTIATE_TEST_SUITE_P(
    Clients, MailClientNameTest,
    testing::Values(
        ClientCase{
            "UserEntry",
            kAnswerThunder,
            {{"home/applications/thunder-mail.desktop",
              "[Desktop Entry]\nType=Application\nName[fr]=Courrier\nName = Thunder Mail \nExec=tm %u\n"},
             {"system/applications/thunder-mail.desktop", "[Desktop Entry]\nName=System copy\n"}},
            "Thunder Mail"},
        ClientCase{"SystemEntry",
                   kAnswerThunder,
                   {{"vendor/applications/thunder-mail.desktop", "[Desktop Entry]\nName=Vendor Mail\n"}},
                   "Vendor Mail"},
        ClientCase{"EntryInSubfolder",
                   kAnswerThunder,
                   {{"system/applications/thunder/mail.desktop", "[Desktop Entry]\nName=Nested Mail\n"}},
                   "Nested Mail"},
        ClientCase{"NameOfAnotherGroupIsNotTaken",
                   kAnswerThunder,
                   {{"home/applications/thunder-mail.desktop",
                     "[Desktop Action compose]\nName=Compose\n[Desktop Entry]\nExec=tm\n"}},
                   "thunder-mail"},
        ClientCase{"EntryNotInstalled", kAnswerThunder, {}, ""},
        ClientCase{"NoHandlerConfigured", "exit 0\n", {}, ""},
        ClientCase{"SettingsFail", "echo thunder-mail.desktop\nexit 2\n", {}, ""},
        ClientCase{"AnswerIsNoDesktopEntry", "echo /usr/bin/thunder\n", {}, ""},
        ClientCase{"NoSettingsProgram", "", {}, ""},
        ClientCase{"NotExecutable",
                   kAnswerThunder,
                   {{"home/applications/thunder-mail.desktop", "[Desktop Entry]\nName=Thunder Mail\n"}},
                   "",
                   false}),
    [](const testing::TestParamInfo<ClientCase>& info) { return std::string(info.param.name); });

TEST_F(MailHandOffTest, SettingsThatNeverAnswerCountAsNoClient)
{
    WriteScript(Bin() / "xdg-settings", "exec /bin/sleep 60\n");
    EXPECT_EQ(platform::mapi::GetDefaultMailClientName(), "");
}
} // namespace
