#include "brevicam/media/SendMail.h"

#include "platform/resources/Resources.h"
#include "platform/win/Kernel.h"

#include <memory>
#include <string>

const char* GetMailClientDllPath()
{
    thread_local std::string library;
    library.clear();
    if (!platform::mapi::GetDefaultMailClientName().empty())
        library = platform::mapi::GetMailHandOffLibrary();
    if (library.empty())
        library = platform::mapi::kSystemMapiLibrary;
    return library.c_str();
}

std::unique_ptr<MailMessageRecord> MakeMailMessageRecord(int count, const char* const* paths)
{
    auto record = std::make_unique<MailMessageRecord>();
    if (count <= 0)
        return record;
    if (!paths)
        return nullptr;
    record->paths.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
    {
        if (!paths[i])
            return nullptr;
        record->paths.emplace_back(paths[i]);
    }
    // The descriptors point into the record's own copies, which no longer move.
    record->files.resize(record->paths.size());
    for (std::size_t i = 0; i < record->paths.size(); ++i)
        record->files[i] =
            MapiFileDesc{0, 0, static_cast<ULONG>(-1), record->paths[i].data(), nullptr, nullptr};
    record->message.nFileCount = static_cast<ULONG>(record->files.size());
    record->message.lpFiles = record->files.data();
    return record;
}

bool SendMailMapi(int count, const char* const* paths)
{
    if (count <= 0)
        return true;
    std::unique_ptr<MailMessageRecord> record = MakeMailMessageRecord(count, paths);
    if (!record)
        return false;
    HANDLE thread = CreateThread(nullptr, 0, SendMailThreadProc, record.get(), 0, nullptr);
    if (!thread)
        return false;
    record.release(); // now the thread's
    CloseHandle(thread);
    return true;
}

DWORD SendMailThreadProc(LPVOID parameter)
{
    const std::unique_ptr<MailMessageRecord> record(static_cast<MailMessageRecord*>(parameter));
    constexpr DWORD kNoMapi = static_cast<DWORD>(-1);
    if (!record)
        return kNoMapi;
    HMODULE library = LoadLibrary(GetMailClientDllPath());
    if (!library)
        library = LoadLibrary(platform::mapi::kSystemMapiLibrary);
    if (!library)
        return kNoMapi;
    const auto send =
        reinterpret_cast<LPMAPISENDMAIL>(reinterpret_cast<void*>(GetProcAddress(library, "MAPISendMail")));
    if (!send)
    {
        FreeLibrary(library);
        return kNoMapi;
    }
    send(0, 0, &record->message, MAPI_LOGON_UI | MAPI_NEW_SESSION | MAPI_DIALOG, 0);
    FreeLibrary(library);
    return 0;
}
