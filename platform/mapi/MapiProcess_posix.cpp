#include "MapiProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform::mapi::detail
{
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

/// posix_spawn's file actions, destroyed with the scope.
class FileActions
{
public:
    FileActions() { posix_spawn_file_actions_init(&m_actions); }
    ~FileActions() { posix_spawn_file_actions_destroy(&m_actions); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    posix_spawn_file_actions_t* Get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
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
    FileActions actions;
    posix_spawn_file_actions_addopen(actions.Get(), 0, "/dev/null", O_RDONLY, 0);
    if (captureOutput)
    {
        posix_spawn_file_actions_adddup2(actions.Get(), writeEnd.Get(), 1);
        posix_spawn_file_actions_addopen(actions.Get(), 2, "/dev/null", O_WRONLY, 0);
    }
    // A mail client may live long after it was handed the message; it keeps none of our files open.
    posix_spawn_file_actions_addclosefrom_np(actions.Get(), 3);

    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], actions.Get(), nullptr, argv.data(), environ);
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

std::string FindProgram(const std::string& name)
{
    const char* path = std::getenv("PATH");
    if (!path || name.empty() || name.find('/') != std::string::npos)
        return {};
    std::string folders(path);
    std::size_t start = 0;
    while (start <= folders.size())
    {
        const std::size_t end = folders.find(':', start);
        const std::string folder =
            folders.substr(start, end == std::string::npos ? std::string::npos : end - start);
        // An empty entry is the current folder, as the shell reads PATH.
        const std::filesystem::path candidate = std::filesystem::path(folder.empty() ? "." : folder) / name;
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return {};
}
} // namespace platform::mapi::detail
