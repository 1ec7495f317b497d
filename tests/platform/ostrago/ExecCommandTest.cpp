#include "platform/ostrago/Ostrago.h"
#include "platform/win/LastError.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

using testing_support::TempDir;

namespace
{
struct ChildRun
{
    int started = 0;
    DWORD error = ERROR_SUCCESS;
    std::string output;
    DWORD exitCode = STILL_ACTIVE;
};

// Starts the command with standard output and error into one pipe and an input that is already at its
// end, as the transcoder launches its converter; reads everything and waits for the end.
ChildRun RunCaptured(std::string commandLine)
{
    ChildRun run;
    HANDLE outRead = nullptr, outWrite = nullptr, inRead = nullptr, inWrite = nullptr;
    EXPECT_TRUE(CreatePipe(&outRead, &outWrite, nullptr, 0));
    EXPECT_TRUE(CreatePipe(&inRead, &inWrite, nullptr, 0));
    CloseHandle(inWrite);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = outWrite;
    HANDLE process = nullptr;
    run.started = ExecCommand(commandLine.data(), &process, &startup, CREATE_NO_WINDOW);
    run.error = GetLastError();
    CloseHandle(outWrite);
    CloseHandle(inRead);
    if (run.started)
    {
        char buffer[4096];
        DWORD n = 0;
        while (ReadFile(outRead, buffer, sizeof buffer, &n, nullptr))
            run.output.append(buffer, n);
        EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
        GetExitCodeProcess(process, &run.exitCode);
        CloseHandle(process);
    }
    else
        EXPECT_EQ(process, nullptr);
    CloseHandle(outRead);
    return run;
}

struct SplitCase
{
    const char* name;
    const char* arguments; // after the program
    const char* output;    // one [argument] per line
    friend void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }
};

class CommandLineTest : public testing::TestWithParam<SplitCase>
{
};
} // namespace

TEST_P(CommandLineTest, ArgumentsAreSplitByTheWindowsRules)
{
    const ChildRun run = RunCaptured(std::string("/usr/bin/printf \"[%s]\\n\" ") + GetParam().arguments);
    ASSERT_TRUE(run.started) << run.error;
    EXPECT_EQ(run.output, GetParam().output);
    EXPECT_EQ(run.exitCode, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, CommandLineTest,
    testing::Values(SplitCase{"Plain", "one two", "[one]\n[two]\n"},
                    SplitCase{"BlanksAndTabs", " one \t two  ", "[one]\n[two]\n"},
                    SplitCase{"Quoted", "\"two words\" x", "[two words]\n[x]\n"},
                    SplitCase{"QuotesInsideAWord", "a\"b c\"d", "[ab cd]\n"},
                    SplitCase{"EmptyArgument", "\"\" x", "[]\n[x]\n"},
                    SplitCase{"EscapedQuote", "\\\"quoted\\\"", "[\"quoted\"]\n"},
                    SplitCase{"BackslashesBeforeQuote", "\"a\\\\\\\" b\"", "[a\\\" b]\n"},
                    SplitCase{"EvenBackslashesEndQuote", "\"dir\\\\\" next", "[dir\\]\n[next]\n"},
                    SplitCase{"LiteralBackslashes", "C:\\Videos\\a.wmv", "[C:\\Videos\\a.wmv]\n"},
                    SplitCase{"DoubledQuoteInQuotes", "\"say \"\"hi\"\"\"", "[say \"hi\"]\n"},
                    SplitCase{"UnclosedQuote", "\"open end", "[open end]\n"},
                    SplitCase{"NoShellExpansion", "$HOME '*' ;", "[$HOME]\n['*']\n[;]\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExecCommandTest, QuotedProgramPathWithBlanks)
{
    TempDir dir;
    const auto folder = dir / "my tools";
    std::filesystem::create_directory(folder);
    std::filesystem::copy_file("/usr/bin/printf", folder / "printf");
    const ChildRun run = RunCaptured(std::string("\"") += (folder / "printf").string() += "\" \"%s\" ok");
    ASSERT_TRUE(run.started) << run.error;
    EXPECT_EQ(run.output, "ok");
}

TEST(ExecCommandTest, ProgramNameIsLookedUpAlongPath)
{
    const ChildRun run = RunCaptured("echo \"from the path\"");
    ASSERT_TRUE(run.started) << run.error;
    EXPECT_EQ(run.output, "from the path\n");
}

TEST(ExecCommandTest, ErrorOutputAndExitCodeReachTheCaller)
{
    const ChildRun run = RunCaptured("/bin/sh -c \"echo out; echo err >&2; exit 7\"");
    ASSERT_TRUE(run.started) << run.error;
    EXPECT_EQ(run.output, "out\nerr\n");
    EXPECT_EQ(run.exitCode, 7u);
}

TEST(ExecCommandTest, InputAtItsEndDoesNotHangTheChild)
{
    const ChildRun run = RunCaptured("/usr/bin/cat");
    ASSERT_TRUE(run.started) << run.error;
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.exitCode, 0u);
}

TEST(ExecCommandTest, ChildGetsOnlyItsStandardHandles)
{
    // Handles of ours that the child must not see.
    HANDLE r = nullptr, w = nullptr;
    ASSERT_TRUE(CreatePipe(&r, &w, nullptr, 0));
    const ChildRun run = RunCaptured("/usr/bin/ls /proc/self/fd");
    CloseHandle(r);
    CloseHandle(w);
    ASSERT_TRUE(run.started) << run.error;
    // 0, 1 and 2, and the folder that ls itself opened to list them.
    EXPECT_EQ(run.output, "0\n1\n2\n3\n");
}

TEST(ExecCommandTest, MissingHandlesBecomeTheNullDevice)
{
    HANDLE outRead = nullptr, outWrite = nullptr;
    ASSERT_TRUE(CreatePipe(&outRead, &outWrite, nullptr, 0));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outWrite;
    startup.hStdError = INVALID_HANDLE_VALUE;
    char command[] = "/bin/sh -c \"cat; echo done; echo lost >&2\"";
    HANDLE process = nullptr;
    ASSERT_TRUE(ExecCommand(command, &process, &startup, 0));
    CloseHandle(outWrite);
    std::string output;
    char buffer[256];
    DWORD n = 0;
    while (ReadFile(outRead, buffer, sizeof buffer, &n, nullptr))
        output.append(buffer, n);
    EXPECT_EQ(output, "done\n");
    EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
    CloseHandle(process);
    CloseHandle(outRead);
}

struct FailureCase
{
    const char* name;
    std::string commandLine; // "%dir%" stands for a fresh folder
    DWORD error;
    friend void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }
};

class ExecCommandFailureTest : public testing::TestWithParam<FailureCase>
{
};

TEST_P(ExecCommandFailureTest, FailsWithTheReason)
{
    TempDir dir;
    dir.WriteFile("not-executable", "#!/bin/sh\necho no\n");
    std::string line = GetParam().commandLine;
    if (const auto at = line.find("%dir%"); at != std::string::npos)
        line.replace(at, 5, dir.Path().string());
    const ChildRun run = RunCaptured(line);
    EXPECT_EQ(run.started, 0);
    EXPECT_EQ(run.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExecCommandFailureTest,
    testing::Values(FailureCase{"MissingPath", "%dir%/no-such-program --version", ERROR_FILE_NOT_FOUND},
                    FailureCase{"MissingOnPath", "brevicam-no-such-program-here", ERROR_FILE_NOT_FOUND},
                    FailureCase{"NotExecutable", "%dir%/not-executable", ERROR_ACCESS_DENIED},
                    FailureCase{"Empty", "", ERROR_INVALID_PARAMETER},
                    FailureCase{"EmptyQuotedProgram", "\"\" x", ERROR_INVALID_PARAMETER}),
    [](const auto& info) { return std::string(info.param.name); });
