#include "ConverterProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace transcoder
{
namespace
{
class SpawnSetup
{
public:
    SpawnSetup()
    {
        m_actionsOk = posix_spawn_file_actions_init(&m_actions) == 0;
        m_attributesOk = posix_spawnattr_init(&m_attributes) == 0;
    }
    ~SpawnSetup()
    {
        if (m_actionsOk)
            posix_spawn_file_actions_destroy(&m_actions);
        if (m_attributesOk)
            posix_spawnattr_destroy(&m_attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    int Prepare(int outputFd)
    {
        if (!m_actionsOk || !m_attributesOk)
            return ENOMEM;
        int rc = posix_spawn_file_actions_addopen(&m_actions, 0, "/dev/null", O_RDONLY, 0);
        if (rc == 0)
            rc = posix_spawn_file_actions_adddup2(&m_actions, outputFd, 1);
        if (rc == 0)
            rc = posix_spawn_file_actions_adddup2(&m_actions, outputFd, 2);
        // Descriptors of the host program that lack close-on-exec must not reach the converter.
        if (rc == 0)
            rc = posix_spawn_file_actions_addclosefrom_np(&m_actions, 3);
        if (rc != 0)
            return rc;

        // The host may block or ignore signals; the converter starts with the defaults.
        sigset_t none;
        sigemptyset(&none);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGALRM, SIGUSR1, SIGUSR2})
            sigaddset(&defaults, sig);
        rc = posix_spawnattr_setsigmask(&m_attributes, &none);
        if (rc == 0)
            rc = posix_spawnattr_setsigdefault(&m_attributes, &defaults);
        if (rc == 0)
            rc = posix_spawnattr_setpgroup(&m_attributes, 0);
        if (rc == 0)
            rc = posix_spawnattr_setflags(&m_attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                             POSIX_SPAWN_SETPGROUP);
        return rc;
    }

    const posix_spawn_file_actions_t* Actions() const { return &m_actions; }
    const posix_spawnattr_t* Attributes() const { return &m_attributes; }

private:
    posix_spawn_file_actions_t m_actions{};
    posix_spawnattr_t m_attributes{};
    bool m_actionsOk = false;
    bool m_attributesOk = false;
};
} // namespace

ConverterProcess::~ConverterProcess()
{
    Finish();
    if (m_output >= 0)
        close(m_output);
}

int ConverterProcess::Start(const std::vector<std::string>& arguments)
{
    if (m_pid > 0 || arguments.empty())
        return EINVAL;
    int fds[2];
    // Close-on-exec from the start, so that a converter started at the same time by another thread never
    // inherits this pipe and keeps it open.
    if (pipe2(fds, O_CLOEXEC) != 0)
        return errno;

    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    SpawnSetup setup;
    int rc = setup.Prepare(fds[1]);
    pid_t pid = -1;
    if (rc == 0)
        rc = posix_spawn(&pid, argv[0], setup.Actions(), setup.Attributes(), argv.data(), environ);
    // Only the child keeps the write end: the pipe ends when the converter's side closes.
    close(fds[1]);
    if (rc != 0)
    {
        close(fds[0]);
        return rc;
    }
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    m_output = fds[0];
    m_pid = pid;
    m_outputEnded = false;
    m_reaped = false;
    return 0;
}

void ConverterProcess::WaitForOutput(int timeoutMs) const
{
    if (m_output < 0 || m_outputEnded)
        return;
    pollfd fd{m_output, POLLIN, 0};
    poll(&fd, 1, timeoutMs < 0 ? 0 : timeoutMs);
}

bool ConverterProcess::WaitForOutputEnd(int timeoutMs) const
{
    if (m_output < 0 || m_outputEnded)
        return true;
    // No events asked for: only the hang-up of the last writer (or an error) ends the wait.
    pollfd fd{m_output, 0, 0};
    return poll(&fd, 1, timeoutMs < 0 ? 0 : timeoutMs) > 0;
}

ConverterProcess::ReadStatus ConverterProcess::Read(std::string& text, std::size_t maxBytes)
{
    if (m_output < 0 || m_outputEnded)
        return ReadStatus::End;
    bool any = false;
    char buffer[4096];
    while (maxBytes > 0)
    {
        const std::size_t want = maxBytes < sizeof(buffer) ? maxBytes : sizeof(buffer);
        const ssize_t got = read(m_output, buffer, want);
        if (got > 0)
        {
            text.append(buffer, static_cast<std::size_t>(got));
            maxBytes -= static_cast<std::size_t>(got);
            any = true;
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // End of the output, or a pipe error that no further read would mend.
        m_outputEnded = true;
        break;
    }
    if (any)
        return ReadStatus::Data;
    return m_outputEnded ? ReadStatus::End : ReadStatus::NoData;
}

bool ConverterProcess::HasEnded(DWORD& exitCode)
{
    if (m_pid <= 0)
        return false;
    siginfo_t info{};
    // WNOWAIT leaves the child unreaped, so that its process group cannot vanish before Finish kills what
    // is left of it.
    int rc;
    do
        rc = waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT);
    while (rc < 0 && errno == EINTR);
    if (rc < 0)
    {
        // Reaped elsewhere (a host that ignores SIGCHLD): the code is lost; the target check still judges.
        // The process id may already name another process, so it is never signalled again.
        m_reaped = true;
        exitCode = 0;
        return true;
    }
    if (info.si_pid == 0)
        return false;
    exitCode = info.si_code == CLD_EXITED ? static_cast<DWORD>(info.si_status)
                                          : static_cast<DWORD>(128 + info.si_status);
    return true;
}

void ConverterProcess::Finish()
{
    if (m_pid <= 0 || m_reaped)
        return;
    siginfo_t info{};
    int rc;
    do
        rc = waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT);
    while (rc < 0 && errno == EINTR);
    if (rc < 0)
    {
        m_reaped = true;
        return;
    }
    // The leader is not reaped yet, so the group id still names this group only.
    kill(-m_pid, SIGKILL);
    kill(m_pid, SIGKILL);
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR)
    {
    }
    m_reaped = true;
}
} // namespace transcoder
