#include "MapiProcess.h"

#include "platform/win/Process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform::mapi::detail
{
using platform::kStdioInherit;
using platform::kStdioNull;
using platform::SpawnProgram;

namespace
{
/// A descriptor closed when it goes out of scope.
class Fd
{
public:
    Fd() = default;
    ~Fd() { Close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    void Reset(int fd)
    {
        Close();
        m_fd = fd;
    }
    int Get() const { return m_fd; }
    void Close()
    {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

int WaitForExit(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
} // namespace

ProgramRun RunProgram(const std::vector<std::string>& arguments, bool captureOutput, int timeoutMs)
{
    ProgramRun run;
    if (arguments.empty())
    {
        run.spawnError = EINVAL;
        return run;
    }
    Fd readEnd;
    Fd writeEnd;
    if (captureOutput)
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
        {
            run.spawnError = errno;
            return run;
        }
        readEnd.Reset(fds[0]);
        writeEnd.Reset(fds[1]);
    }
    // A mail client may live long after it was handed the message; it keeps none of our files open.
    pid_t pid = -1;
    const int spawned = SpawnProgram(arguments,
                                     {kStdioNull, captureOutput ? writeEnd.Get() : kStdioInherit,
                                      captureOutput ? kStdioNull : kStdioInherit},
                                     &pid);
    writeEnd.Close();
    if (spawned != 0)
    {
        run.spawnError = spawned;
        return run;
    }

    if (captureOutput)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        char buffer[1024];
        while (true)
        {
            int waitMs = -1;
            if (timeoutMs >= 0)
            {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now());
                if (left.count() <= 0)
                {
                    run.timedOut = true;
                    break;
                }
                waitMs = static_cast<int>(left.count());
            }
            pollfd fd{readEnd.Get(), POLLIN, 0};
            const int ready = poll(&fd, 1, waitMs);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                continue;
            const ssize_t n = read(readEnd.Get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            run.output.append(buffer, static_cast<std::size_t>(n));
        }
        if (run.timedOut)
            kill(pid, SIGKILL);
    }
    run.exitCode = WaitForExit(pid);
    if (run.timedOut)
        run.exitCode = -1;
    return run;
}
} // namespace platform::mapi::detail
