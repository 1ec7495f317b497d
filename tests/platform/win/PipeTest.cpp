#include "platform/win/Kernel.h"
#include "platform/win/LastError.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <thread>

namespace
{
struct Pipe
{
    Pipe() { EXPECT_TRUE(CreatePipe(&read, &write, nullptr, 0)); }
    ~Pipe()
    {
        if (read)
            CloseHandle(read);
        if (write)
            CloseHandle(write);
    }
    HANDLE read = nullptr;
    HANDLE write = nullptr;
};
} // namespace

TEST(PipeTest, BytesWrittenAreReadBackAndEndOfPipeIsBrokenPipe)
{
    Pipe p;
    const std::string text = "frame=  12 fps=3.0\r";
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(p.write, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    EXPECT_EQ(written, text.size());
    CloseHandle(p.write);
    p.write = nullptr;

    char buffer[64] = {};
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(p.read, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(std::string(buffer, got), text);
    EXPECT_FALSE(ReadFile(p.read, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(GetLastError(), ERROR_BROKEN_PIPE);
}

TEST(PipeTest, WriteWithoutReaderFailsInsteadOfKillingTheProcess)
{
    Pipe p;
    CloseHandle(p.read);
    p.read = nullptr;
    DWORD written = 7;
    EXPECT_FALSE(WriteFile(p.write, "x", 1, &written, nullptr));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(GetLastError(), ERROR_BROKEN_PIPE);
}

TEST(PipeTest, BlockedReadReturnsWhenDataArrives)
{
    Pipe p;
    std::thread writer(
        [&]
        {
            Sleep(20);
            DWORD n = 0;
            WriteFile(p.write, "late", 4, &n, nullptr);
        });
    char buffer[8] = {};
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(p.read, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(std::string(buffer, got), "late");
    writer.join();
}

TEST(PipeTest, EndsAreCloseOnExecAndNotOtherHandles)
{
    Pipe p;
    for (HANDLE h : {p.read, p.write})
    {
        const int fd = platform::GetHandleFd(h);
        ASSERT_GE(fd, 0);
        EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
    }
    HANDLE event = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(platform::GetHandleFd(event), -1);
    DWORD n = 0;
    char c = 0;
    EXPECT_FALSE(ReadFile(event, &c, 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    CloseHandle(event);
}
