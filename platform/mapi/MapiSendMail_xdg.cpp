#include "Mapi.h"
#include "MapiProcess.h"

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

namespace
{
// xdg-email's exit statuses.
constexpr int kXdgSyntaxError = 1;
constexpr int kXdgFileMissing = 2;
constexpr int kXdgNoMethod = 3;
constexpr int kXdgFailed = 4;
constexpr int kXdgNoReadPermission = 5;

ULONG ResultOfExit(int exitCode)
{
    switch (exitCode)
    {
    case 0:
        return SUCCESS_SUCCESS;
    case kXdgFileMissing:
        return MAPI_E_ATTACHMENT_NOT_FOUND;
    case kXdgNoReadPermission:
        return MAPI_E_ATTACHMENT_OPEN_FAILURE;
    case kXdgNoMethod:
        return MAPI_E_LOGIN_FAILURE;
    case kXdgSyntaxError:
    case kXdgFailed:
    default:
        return MAPI_E_FAILURE;
    }
}

bool IsEmpty(const char* text)
{
    return !text || !*text;
}
} // namespace

ULONG MAPISendMail(LHANDLE, ULONG_PTR, MapiMessage* message, FLAGS, ULONG)
{
    if (!message || (message->nFileCount > 0 && !message->lpFiles))
        return MAPI_E_FAILURE;
    if (message->nRecipCount > 0)
        return MAPI_E_NOT_SUPPORTED;
    try
    {
        std::vector<std::string> arguments{"xdg-email", "--utf8"};
        // xdg-email refuses an option with an empty text, so empty fields are left out.
        if (!IsEmpty(message->lpszSubject))
            arguments.insert(arguments.end(), {"--subject", message->lpszSubject});
        if (!IsEmpty(message->lpszNoteText))
            arguments.insert(arguments.end(), {"--body", message->lpszNoteText});
        for (ULONG i = 0; i < message->nFileCount; ++i)
        {
            const char* path = message->lpFiles[i].lpszPathName;
            if (IsEmpty(path))
                return MAPI_E_ATTACHMENT_NOT_FOUND;
            // xdg-email hands its argument to readlink, which would read a name beginning with '-' as an
            // option; an absolute path never begins with one.
            std::error_code error;
            const std::filesystem::path absolute = std::filesystem::absolute(path, error);
            arguments.insert(arguments.end(), {"--attach", error ? std::string(path) : absolute.string()});
        }
        const platform::mapi::detail::ProgramRun run =
            platform::mapi::detail::RunProgram(arguments, false, -1);
        if (run.spawnError != 0)
            return run.spawnError == ENOENT || run.spawnError == EACCES ? MAPI_E_LOGIN_FAILURE
                                                                        : MAPI_E_FAILURE;
        return ResultOfExit(run.exitCode);
    }
    catch (const std::bad_alloc&)
    {
        return MAPI_E_INSUFFICIENT_MEMORY;
    }
    catch (...)
    {
        return MAPI_E_FAILURE;
    }
}
