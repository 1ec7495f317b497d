// Documents and addresses handed to the desktop through xdg-open.

#include "platform/shell/ShellExecute.h"
#include "platform/win/Kernel.h"
#include "platform/win/LastError.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <unistd.h>

extern char** environ;

namespace
{
std::atomic<DWORD> g_waitMs{5000};

HINSTANCE Result(INT_PTR value)
{
    return reinterpret_cast<HINSTANCE>(value);
}

INT_PTR Open(LPCSTR verb, LPCSTR file)
{
    if (verb && *verb && std::strcmp(verb, "open") != 0)
        return SE_ERR_ACCESSDENIED;
    if (!file || !*file)
        return SE_ERR_FNF;
    // A relative name that starts with a dash would be read as an option.
    std::string target = file;
    if (target[0] == '-')
        target = "./" + target;
    std::string program = "xdg-open";
    char* argv[] = {program.data(), target.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return SE_ERR_FNF;
    HANDLE process = platform::CreateProcessHandle(pid);
    INT_PTR result = 42;
    if (WaitForSingleObject(process, g_waitMs.load()) == WAIT_OBJECT_0)
    {
        DWORD code = 1;
        GetExitCodeProcess(process, &code);
        if (code != 0)
            result = SE_ERR_NOASSOC;
    }
    CloseHandle(process);
    return result;
}
} // namespace

HINSTANCE ShellExecuteA(HWND, LPCSTR verb, LPCSTR file, LPCSTR, LPCSTR, int)
{
    return Result(Open(verb, file));
}

BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info)
{
    if (!info || info->cbSize != sizeof(SHELLEXECUTEINFOA))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const INT_PTR result = Open(info->lpVerb, info->lpFile);
    info->hInstApp = Result(result);
    if (result > 32)
        return TRUE;
    SetLastError(result == SE_ERR_ACCESSDENIED ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
    return FALSE;
}

namespace platform::shell
{
void SetOpenerWaitMs(DWORD ms)
{
    g_waitMs = ms;
}
} // namespace platform::shell
