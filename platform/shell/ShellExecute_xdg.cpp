// Documents and addresses handed to the desktop through xdg-open.

#include "platform/shell/ShellExecute.h"
#include "platform/win/Kernel.h"
#include "platform/win/LastError.h"
#include "platform/win/Process.h"

#include <atomic>
#include <cstring>
#include <string>

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
    pid_t pid = -1;
    const int spawned = platform::SpawnProgram(
        {"xdg-open", target}, {platform::kStdioNull, platform::kStdioInherit, platform::kStdioInherit}, &pid);
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
