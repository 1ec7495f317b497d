#pragma once

#include "platform/mapi/Mapi.h"
#include "platform/win/WinTypes.h"

#include <memory>
#include <string>
#include <vector>

/// Sending files by e-mail: the files become the attachments of a new message in the default mail client's
/// compose window, for the user to address and send.

/// The Simple MAPI library to load for the default mail client. Here the mail client is reached through
/// the desktop's hand-off: when a default mail client is configured (platform::mapi::
/// GetDefaultMailClientName) and the hand-off program exists, the answer is the path of the library that
/// hands mail to it (platform::mapi::GetMailHandOffLibrary); otherwise "MAPI32.DLL", the name of the
/// system's stub, which this system does not have, so that loading it fails as on a system without
/// Simple MAPI. The text belongs to the calling thread and stays valid until its next call on that
/// thread. Any thread; asks the desktop each time.
const char* GetMailClientDllPath();

/// One message on its way: the Simple MAPI message, its file descriptors and its own copies of the paths,
/// which the descriptors point into. Every send has a record of its own, owned by its sending thread, so
/// that a send never changes what an earlier one still hands to the mail client.
struct MailMessageRecord
{
    MailMessageRecord() = default;
    MailMessageRecord(const MailMessageRecord&) = delete;
    MailMessageRecord& operator=(const MailMessageRecord&) = delete;

    MapiMessage message{};
    std::vector<MapiFileDesc> files;
    std::vector<std::string> paths;
};

/// A record of its own for a message with these files as attachments (whole paths, any length, each left to
/// the client to place), or null when the paths are missing.
std::unique_ptr<MailMessageRecord> MakeMailMessageRecord(int count, const char* const* paths);

/// Starts sending the files as attachments (whole paths, any length) on a thread of its own and returns
/// at once: true when the thread runs, and for a count of 0 or less, which sends nothing; false when the
/// paths are missing (null) or no thread could be started. The caller's paths are copied.
bool SendMailMapi(int count, const char* const* paths);

/// The sending thread; `record` is a MailMessageRecord that the thread owns and frees. Loads the mail
/// client's library (GetMailClientDllPath, else "MAPI32.DLL") and calls its MAPISendMail with the record,
/// letting the client log on and show its compose window; its result is not looked at. Ends with 0 after
/// MAPISendMail was called, -1 when no library or no MAPISendMail was found.
DWORD SendMailThreadProc(LPVOID record);
