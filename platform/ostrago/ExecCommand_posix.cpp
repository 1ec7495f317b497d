#include "Ostrago.h"

#include "platform/win/LastError.h"
#include "platform/win/Process.h"

#include <array>
#include <string>
#include <vector>

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
    std::array<int, 3> stdio{platform::kStdioInherit, platform::kStdioInherit, platform::kStdioInherit};
    if (startup && (startup->dwFlags & STARTF_USESTDHANDLES))
    {
        const HANDLE handles[3] = {startup->hStdInput, startup->hStdOutput, startup->hStdError};
        for (std::size_t target = 0; target < 3; ++target)
        {
            const int fd = platform::GetHandleFd(handles[target]);
            stdio[target] = fd < 0 ? platform::kStdioNull : fd;
        }
    }
    pid_t pid = -1;
    const int rc = platform::SpawnProgram(args, stdio, &pid);
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
