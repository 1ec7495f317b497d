#include "Ostrago.h"

#include "platform/win/LastError.h"

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace
{
bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The arguments of a Windows command line, as the C runtime splits them: the program name ends at a blank
// or is quoted (no escapes); each further argument runs to a blank outside quotes, where 2n backslashes
// before a quote give n backslashes and toggle quoting, 2n + 1 give n and a literal quote, a doubled quote
// inside quotes gives a quote, and backslashes elsewhere are literal.
std::vector<std::string> SplitCommandLine(const char* line)
{
    std::vector<std::string> args;
    const char* p = line;
    std::string program;
    if (*p == '"')
    {
        ++p;
        while (*p && *p != '"')
            program += *p++;
        if (*p == '"')
            ++p;
    }
    else
    {
        while (*p && !IsBlank(*p))
            program += *p++;
    }
    args.push_back(program);
    while (true)
    {
        while (IsBlank(*p))
            ++p;
        if (!*p)
            break;
        std::string arg;
        bool quoted = false;
        while (*p)
        {
            std::size_t backslashes = 0;
            while (*p == '\\')
            {
                ++backslashes;
                ++p;
            }
            if (*p == '"')
            {
                arg.append(backslashes / 2, '\\');
                if (backslashes % 2)
                {
                    arg += '"';
                    ++p;
                }
                else if (quoted && p[1] == '"')
                {
                    arg += '"';
                    p += 2;
                }
                else
                {
                    quoted = !quoted;
                    ++p;
                }
                continue;
            }
            arg.append(backslashes, '\\');
            if (!*p || (!quoted && IsBlank(*p)))
                break;
            arg += *p++;
        }
        args.push_back(std::move(arg));
    }
    return args;
}

// Closes the descriptors it holds when the call ends.
struct Descriptors
{
    std::vector<int> fds;
    ~Descriptors()
    {
        for (int fd : fds)
            close(fd);
    }
};
} // namespace

int ExecCommand(char* commandLine, HANDLE* process, STARTUPINFOA* startup, DWORD)
{
    if (process)
        *process = nullptr;
    if (!commandLine)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::vector<std::string> args = SplitCommandLine(commandLine);
    if (args.empty() || args.front().empty())
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    Descriptors copies;
    if (startup && (startup->dwFlags & STARTF_USESTDHANDLES))
    {
        const HANDLE handles[3] = {startup->hStdInput, startup->hStdOutput, startup->hStdError};
        for (int target = 0; target < 3; ++target)
        {
            const int fd = platform::GetHandleFd(handles[target]);
            // A copy above the standard descriptors, so that moving one handle into place cannot clobber
            // another that happens to sit there; the copies are close-on-exec and go with this call.
            const int copy = fd < 0 ? -1 : fcntl(fd, F_DUPFD_CLOEXEC, 3);
            if (copy >= 0)
            {
                copies.fds.push_back(copy);
                posix_spawn_file_actions_adddup2(&actions, copy, target);
            }
            else
                posix_spawn_file_actions_addopen(&actions, target, "/dev/null",
                                                 target == 0 ? O_RDONLY : O_WRONLY, 0);
        }
    }
    // Only the standard handles reach the child, also of descriptors that some library or our own parent
    // left inheritable.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    // Our threads may block or ignore signals; the child starts with the defaults.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const bool hasPath = args.front().find('/') != std::string::npos;
    const int rc = hasPath ? posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ)
                           : posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
    {
        SetLastError(platform::ErrorFromErrno(rc));
        return 0;
    }
    HANDLE handle = platform::CreateProcessHandle(pid);
    if (process)
        *process = handle;
    else
        CloseHandle(handle);
    return 1;
}
