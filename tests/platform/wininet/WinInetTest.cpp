#include "platform/wininet/WinInet.h"

#include "platform/win/Kernel.h"
#include "platform/win/LastError.h"
#include "tests/support/DesktopTestSupport.h"
#include "tests/support/FtpServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using testing_support::FtpServer;
using testing_support::RandomBytes;

namespace
{
/// Closes an Internet handle at the end of a scope.
struct Handle
{
    explicit Handle(HINTERNET h = nullptr) : handle(h) {}
    ~Handle()
    {
        if (handle)
            InternetCloseHandle(handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    operator HINTERNET() const { return handle; }
    HINTERNET handle;
};

/// Reads the open file to its end in blocks of `block` bytes, keeping what came before a failure; false
/// (with the last error kept) when a read fails.
bool ReadAll(HINTERNET file, std::string& out, DWORD block = 32768)
{
    std::string chunk(block, '\0');
    for (;;)
    {
        DWORD read = 0;
        const BOOL ok = InternetReadFile(file, chunk.data(), block, &read);
        out.append(chunk.data(), read);
        if (!ok)
            return false;
        if (read < block)
            return true;
    }
}

/// Timeouts shortened for one test, put back afterwards.
struct ShortTimeouts
{
    explicit ShortTimeouts(DWORD connectMs = 2000, DWORD responseMs = 1000, DWORD stallMs = 1000)
        : saved(platform::wininet::GetTimeouts())
    {
        platform::wininet::SetTimeouts({connectMs, responseMs, stallMs});
    }
    ~ShortTimeouts() { platform::wininet::SetTimeouts(saved); }
    ShortTimeouts(const ShortTimeouts&) = delete;
    ShortTimeouts& operator=(const ShortTimeouts&) = delete;
    platform::wininet::Timeouts saved;
};

class WinInetTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!server.Started())
            GTEST_SKIP() << "no FTP server could be started";
        content = RandomBytes(300000, 7);
        server.Put("pub/package.bin", content, 1700000000);
        session.handle = InternetOpenA("Tests", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
        ASSERT_NE(session.handle, nullptr);
        connection.handle = InternetConnectA(session, server.Address().c_str(), INTERNET_DEFAULT_FTP_PORT,
                                             nullptr, nullptr, INTERNET_SERVICE_FTP, 0, 0);
        ASSERT_NE(connection.handle, nullptr) << GetLastError();
    }

    FtpServer server{FtpServer::Kind::Real};
    std::string content;
    Handle session;
    Handle connection;
};
} // namespace

TEST_F(WinInetTest, ReadsAFileOfTheCurrentFolderWholeWithItsSize)
{
    ASSERT_TRUE(FtpSetCurrentDirectoryA(connection, "pub"));
    Handle file(FtpOpenFileA(connection, "package.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
    ASSERT_NE(file.handle, nullptr) << GetLastError();
    DWORD high = 1;
    EXPECT_EQ(FtpGetFileSize(file, &high), content.size());
    EXPECT_EQ(high, 0u);
    std::string received;
    ASSERT_TRUE(ReadAll(file, received));
    EXPECT_TRUE(received == content);
    // At the end every further read gives nothing.
    char byte = 0;
    DWORD read = 1;
    EXPECT_TRUE(InternetReadFile(file, &byte, 1, &read));
    EXPECT_EQ(read, 0u);
}

TEST_F(WinInetTest, ReadsLargerBlocksThanItBuffersAhead)
{
    Handle file(FtpOpenFileA(connection, "pub/package.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
    ASSERT_NE(file.handle, nullptr);
    std::string received;
    ASSERT_TRUE(ReadAll(file, received, 290000));
    EXPECT_TRUE(received == content);
}

TEST_F(WinInetTest, ARestartOffsetSetBeforeTheFirstReadSkipsThatMuch)
{
    ASSERT_TRUE(FtpSetCurrentDirectoryA(connection, "pub"));
    Handle file(FtpOpenFileA(connection, "package.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
    ASSERT_NE(file.handle, nullptr);
    EXPECT_EQ(InternetSetFilePointer(file, static_cast<LONG>(content.size() + 1), nullptr, FILE_BEGIN, 0),
              INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(InternetSetFilePointer(file, 123457, nullptr, FILE_BEGIN, 0), 123457u);
    std::string received;
    ASSERT_TRUE(ReadAll(file, received));
    EXPECT_TRUE(received == content.substr(123457));
    EXPECT_EQ(InternetSetFilePointer(file, 0, nullptr, FILE_BEGIN, 0), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INVALID_OPERATION);
}

TEST_F(WinInetTest, AnOffsetAtTheEndReadsNothing)
{
    Handle file(FtpOpenFileA(connection, "pub/package.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
    ASSERT_NE(file.handle, nullptr);
    ASSERT_EQ(InternetSetFilePointer(file, static_cast<LONG>(content.size()), nullptr, FILE_BEGIN, 0),
              content.size());
    std::string received;
    ASSERT_TRUE(ReadAll(file, received));
    EXPECT_TRUE(received.empty());
}

TEST_F(WinInetTest, ARefusedFolderChangeKeepsTheCurrentFolder)
{
    ASSERT_TRUE(FtpSetCurrentDirectoryA(connection, "pub"));
    EXPECT_FALSE(FtpSetCurrentDirectoryA(connection, "missing"));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    Handle file(FtpOpenFileA(connection, "package.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
    EXPECT_NE(file.handle, nullptr);
}

TEST_F(WinInetTest, AMissingFileFailsAtOpening)
{
    EXPECT_EQ(FtpOpenFileA(connection, "pub/missing.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0),
              nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    WIN32_FIND_DATAA found{};
    EXPECT_EQ(FtpFindFirstFileA(connection, "missing.bin", &found, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
}

TEST_F(WinInetTest, FindingAFileTellsItsSizeAndTime)
{
    ASSERT_TRUE(FtpSetCurrentDirectoryA(connection, "/pub"));
    WIN32_FIND_DATAA found{};
    Handle find(FtpFindFirstFileA(connection, "package.bin", &found, 0, 0));
    ASSERT_NE(find.handle, nullptr) << GetLastError();
    EXPECT_EQ(found.nFileSizeLow, content.size());
    EXPECT_EQ(found.nFileSizeHigh, 0u);
    const unsigned long long ticks =
        (static_cast<unsigned long long>(found.ftLastWriteTime.dwHighDateTime) << 32) |
        found.ftLastWriteTime.dwLowDateTime;
    EXPECT_EQ(ticks, (1700000000ULL + 11644473600ULL) * 10000000ULL);
    EXPECT_STREQ(found.cFileName, "package.bin");
}

TEST_F(WinInetTest, NamesAreSentAsTheyAreWithoutAddingLevels)
{
    // A blank, a per cent sign and an escaped slash stay part of the one name.
    server.Put("odd/a b%2F.bin", "odd");
    ASSERT_TRUE(FtpSetCurrentDirectoryA(connection, "odd"));
    Handle file(FtpOpenFileA(connection, "a b%2F.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
    ASSERT_NE(file.handle, nullptr) << GetLastError();
    std::string received;
    ASSERT_TRUE(ReadAll(file, received));
    EXPECT_EQ(received, "odd");
}

TEST_F(WinInetTest, NamesWithControlCharactersAreRefused)
{
    for (const char* name : {"a\r\nDELE package.bin", "a\nb", "tab\there"})
    {
        EXPECT_EQ(FtpOpenFileA(connection, name, GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0), nullptr) << name;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << name;
        EXPECT_FALSE(FtpSetCurrentDirectoryA(connection, name)) << name;
    }
}

TEST_F(WinInetTest, OneFilePerConnectionIsOpenAtATime)
{
    Handle first(FtpOpenFileA(connection, "pub/package.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
    ASSERT_NE(first.handle, nullptr);
    EXPECT_EQ(FtpOpenFileA(connection, "pub/package.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0),
              nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);
    ASSERT_TRUE(InternetCloseHandle(first.handle));
    first.handle = nullptr;
    Handle second(FtpOpenFileA(connection, "pub/package.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
    EXPECT_NE(second.handle, nullptr);
}

TEST_F(WinInetTest, ClosingASessionClosesWhatWasMadeFromIt)
{
    HINTERNET file = FtpOpenFileA(connection, "pub/package.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
    ASSERT_NE(file, nullptr);
    char buffer[16];
    DWORD read = 0;
    ASSERT_TRUE(InternetReadFile(file, buffer, sizeof buffer, &read));
    ASSERT_TRUE(InternetCloseHandle(session.handle));
    session.handle = nullptr;
    EXPECT_FALSE(InternetReadFile(file, buffer, sizeof buffer, &read));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(InternetCloseHandle(connection.handle));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    connection.handle = nullptr;
}

TEST_F(WinInetTest, AHandleOfAnotherKindIsRefused)
{
    EXPECT_FALSE(FtpSetCurrentDirectoryA(session, "pub"));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    EXPECT_EQ(FtpGetFileSize(connection, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    EXPECT_FALSE(InternetCloseHandle(reinterpret_cast<HINTERNET>(0x12345)));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

struct ServerNameCase
{
    const char* name;
    const char* server; // "%p" stands for the port of a closed socket
    DWORD error;
};

class ServerNameTest : public testing::TestWithParam<ServerNameCase>
{
};

TEST_P(ServerNameTest, IsRefusedWithItsReason)
{
    ShortTimeouts limits;
    const ServerNameCase& c = GetParam();
    Handle session(InternetOpenA("Tests", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    ASSERT_NE(session.handle, nullptr);
    std::string server = c.server;
    // A port bound but not listening refuses connections, and stays ours while the test runs.
    const int closed = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(closed, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(getsockname(closed, reinterpret_cast<sockaddr*>(&address), &length), 0);
    if (const auto at = server.find("%p"); at != std::string::npos)
        server.replace(at, 2, std::to_string(ntohs(address.sin_port)));
    EXPECT_EQ(InternetConnectA(session, server.c_str(), 21, nullptr, nullptr, INTERNET_SERVICE_FTP, 0, 0),
              nullptr);
    EXPECT_EQ(GetLastError(), c.error);
    close(closed);
}

INSTANTIATE_TEST_SUITE_P(
    WinInetTest, ServerNameTest,
    testing::Values(ServerNameCase{"PortOutOfRange", "127.0.0.1:70000", ERROR_INTERNET_INVALID_URL},
                    ServerNameCase{"PortNotANumber", "127.0.0.1:ftp", ERROR_INTERNET_INVALID_URL},
                    ServerNameCase{"EmptyPort", "127.0.0.1:", ERROR_INTERNET_INVALID_URL},
                    ServerNameCase{"PathInTheHost", "127.0.0.1/etc", ERROR_INTERNET_INVALID_URL},
                    ServerNameCase{"UserInTheHost", "user@127.0.0.1", ERROR_INTERNET_INVALID_URL},
                    ServerNameCase{"ControlCharacter", "127.0.0.1\r\n", ERROR_INVALID_PARAMETER},
                    ServerNameCase{"NothingListens", "127.0.0.1:%p", ERROR_INTERNET_CANNOT_CONNECT}),
    [](const testing::TestParamInfo<ServerNameCase>& info) { return info.param.name; });

class HostileServerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!server.Started())
            GTEST_SKIP() << "no FTP server could be started";
        content = RandomBytes(200000, 11);
        server.Put("package.bin", content);
        session.handle = InternetOpenA("Tests", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
        ASSERT_NE(session.handle, nullptr);
    }

    bool Connect()
    {
        connection.handle = InternetConnectA(session, server.Address().c_str(), 0, nullptr, nullptr,
                                             INTERNET_SERVICE_FTP, 0, 0);
        return connection.handle != nullptr;
    }

    HINTERNET Open()
    {
        return FtpOpenFileA(connection, "package.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
    }

    ShortTimeouts limits;
    FtpServer server{FtpServer::Kind::Hostile};
    std::string content;
    Handle session;
    Handle connection;
};

TEST_F(HostileServerTest, AServerThatNeverGreetsTimesOut)
{
    server.SetBehaviour(R"({"greeting": "stall"})");
    EXPECT_FALSE(Connect());
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
}

/// A whole-file read that the server spoils: it fails with `error`, and keeps the `kept` bytes that came
/// before (none to check when 0).
struct SpoiledRead
{
    const char* name;
    const char* behaviour;
    DWORD error;
    std::size_t kept;
};

class SpoiledReadTest : public HostileServerTest, public testing::WithParamInterface<SpoiledRead>
{
};

TEST_P(SpoiledReadTest, FailsWithItsReasonAfterTheBytesThatCame)
{
    const SpoiledRead& c = GetParam();
    server.SetBehaviour(c.behaviour);
    ASSERT_TRUE(Connect());
    Handle file(Open());
    ASSERT_NE(file.handle, nullptr);
    std::string received;
    EXPECT_FALSE(ReadAll(file, received));
    EXPECT_EQ(GetLastError(), c.error);
    if (c.kept)
    {
        EXPECT_TRUE(received == content.substr(0, c.kept));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Reads, SpoiledReadTest,
    testing::Values(SpoiledRead{"ATransferThatStallsTimesOut", R"({"stall": {"package.bin": 50000}})",
                                ERROR_INTERNET_TIMEOUT, 50000},
                    SpoiledRead{"ATransferCutShortIsReported", R"({"truncate_once": {"package.bin": 70000}})",
                                ERROR_INTERNET_CONNECTION_ABORTED, 70000},
                    SpoiledRead{"ASizeTheServerUnderstatesFails", R"({"size": {"package.bin": 1000}})",
                                ERROR_INVALID_DATA, 0}),
    [](const testing::TestParamInfo<SpoiledRead>& info) { return std::string(info.param.name); });

TEST_F(HostileServerTest, ARefusedRestartFailsTheFirstRead)
{
    server.SetBehaviour(R"({"rest": "refuse"})");
    ASSERT_TRUE(Connect());
    Handle file(Open());
    ASSERT_NE(file.handle, nullptr);
    ASSERT_EQ(InternetSetFilePointer(file, 1000, nullptr, FILE_BEGIN, 0), 1000u);
    char buffer[100];
    DWORD read = 1;
    EXPECT_FALSE(InternetReadFile(file, buffer, sizeof buffer, &read));
    EXPECT_EQ(GetLastError(), ERROR_FTP_RESTART_REFUSED);
    EXPECT_EQ(read, 0u);
}

TEST_F(HostileServerTest, ARestartOffsetTheServerIgnoresFailsTheRead)
{
    server.SetBehaviour(R"({"rest": "ignore"})");
    ASSERT_TRUE(Connect());
    Handle file(Open());
    ASSERT_NE(file.handle, nullptr);
    ASSERT_EQ(InternetSetFilePointer(file, 150000, nullptr, FILE_BEGIN, 0), 150000u);
    std::string received;
    EXPECT_FALSE(ReadAll(file, received));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA);
}

TEST_F(HostileServerTest, AnUnknownSizeIsReportedAsSuch)
{
    server.SetBehaviour(R"({"size": {"package.bin": "unknown"}})");
    ASSERT_TRUE(Connect());
    Handle file(Open());
    ASSERT_NE(file.handle, nullptr);
    EXPECT_EQ(FtpGetFileSize(file, nullptr), INVALID_FILE_SIZE);
    EXPECT_NE(GetLastError(), ERROR_SUCCESS);
}

TEST_F(HostileServerTest, ACancelEventEndsAStalledReadAndEveryLaterCall)
{
    // A stall limit far beyond the test's: only the cancel event can end the read in time.
    platform::wininet::SetTimeouts({2000, 1000, 600000});
    Handle patient(InternetOpenA("Tests", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(platform::wininet::SetCancelEvent(patient, cancel));
    server.SetBehaviour(R"({"stall": {"package.bin": 1000}})");
    Handle connection(
        InternetConnectA(patient, server.Address().c_str(), 0, nullptr, nullptr, INTERNET_SERVICE_FTP, 0, 0));
    ASSERT_NE(connection.handle, nullptr);
    Handle file(FtpOpenFileA(connection, "package.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
    ASSERT_NE(file.handle, nullptr);
    std::thread canceller(
        [&]
        {
            // Once the server has sent its bytes and stalls (or, at the latest, after a while).
            const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            for (;;)
            {
                const std::vector<std::string> commands = server.Commands();
                if (std::count(commands.begin(), commands.end(), "RETR package.bin") > 0 ||
                    std::chrono::steady_clock::now() > limit)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            SetEvent(cancel);
        });
    std::string received;
    EXPECT_FALSE(ReadAll(file, received));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_OPERATION_CANCELLED);
    // What came before the cancel is kept, whether or not the stalled bytes had arrived by then.
    EXPECT_LE(received.size(), 1000u);
    EXPECT_TRUE(received == content.substr(0, received.size()));
    canceller.join();
    InternetCloseHandle(file.handle);
    file.handle = nullptr;
    EXPECT_FALSE(FtpSetCurrentDirectoryA(connection, "/"));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_OPERATION_CANCELLED);
    InternetCloseHandle(connection.handle);
    connection.handle = nullptr;
    InternetCloseHandle(patient.handle);
    patient.handle = nullptr;
    CloseHandle(cancel);
}
