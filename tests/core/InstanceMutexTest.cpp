#include "brevicam/core/InstanceMutex.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
/// One running copy of the probe with its own runtime folder; it holds the lock until Stop.
class Probe
{
public:
    explicit Probe(const std::filesystem::path& runtime)
    {
        int in[2], out[2];
        EXPECT_EQ(::pipe(in), 0);
        EXPECT_EQ(::pipe(out), 0);
        m_pid = ::fork();
        if (m_pid == 0)
        {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::close(in[1]);
            ::close(out[0]);
            ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
            ::execl(INSTANCE_PROBE, INSTANCE_PROBE, static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        m_in = in[1];
        char buffer[64] = {};
        std::size_t used = 0;
        while (used < sizeof buffer - 1)
        {
            const ssize_t got = ::read(out[0], buffer + used, 1);
            if (got <= 0 || buffer[used] == '\n')
                break;
            used += static_cast<std::size_t>(got);
        }
        ::close(out[0]);
        m_report = std::string(buffer, used);
    }
    ~Probe() { Stop(); }
    void Stop()
    {
        if (m_pid <= 0)
            return;
        ::close(m_in);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    /// "<error> <handle is not null>"
    const std::string& Report() const { return m_report; }

private:
    pid_t m_pid = -1;
    int m_in = -1;
    std::string m_report;
};

TEST(InstanceMutexTest, SecondCopyFindsTheFirstUntilItEnds)
{
    testing_support::TempDir runtime;
    Probe first(runtime.Path());
    EXPECT_EQ(first.Report(), "0 1");
    {
        Probe second(runtime.Path());
        EXPECT_EQ(second.Report(), "183 1");
    }
    first.Stop();
    Probe third(runtime.Path());
    EXPECT_EQ(third.Report(), "0 1");
}

TEST(InstanceMutexTest, ALockThatCannotBeOpenedIsAccessDeniedWithNoHandle)
{
    testing_support::TempDir runtime;
    // Something else of that name that is not a file cannot be opened for locking.
    std::filesystem::create_directory(runtime / "WebCam Vistrel 2.lock");
    Probe probe(runtime.Path());
    EXPECT_EQ(probe.Report(), "5 0");
    EXPECT_TRUE(IsAnotherInstanceRunning(nullptr, ERROR_ACCESS_DENIED));
    EXPECT_TRUE(IsAnotherInstanceRunning(reinterpret_cast<HANDLE>(1), ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(IsAnotherInstanceRunning(reinterpret_cast<HANDLE>(1), 0));
}
} // namespace
