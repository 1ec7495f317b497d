#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

#include <string>

/// Simple MAPI over the desktop's mail hand-off.
///
/// On Windows a mail client brings a Simple MAPI library whose MAPISendMail opens the client's compose
/// window; MAPI32.DLL is the system's stub that forwards to the default client. Here the desktop hands
/// mail to the default client through the `xdg-email` program (xdg-utils), and this library stands for
/// the client's Simple MAPI library: it exports MAPISendMail by its plain name, so that callers load it
/// and bind that export as they would a client's library. "MAPI32.DLL" keeps its meaning as the name of
/// the system's stub, which does not exist here: loading it fails, as it would on a Windows system
/// without Simple MAPI.

using LHANDLE = ULONG_PTR;
using FLAGS = ULONG;

/// Flags of MAPISendMail.
constexpr FLAGS MAPI_LOGON_UI = 0x00000001;
constexpr FLAGS MAPI_NEW_SESSION = 0x00000002;
constexpr FLAGS MAPI_DIALOG = 0x00000008;

/// Results of the Simple MAPI functions.
constexpr ULONG SUCCESS_SUCCESS = 0;
constexpr ULONG MAPI_USER_ABORT = 1;
constexpr ULONG MAPI_E_USER_ABORT = MAPI_USER_ABORT;
constexpr ULONG MAPI_E_FAILURE = 2;
constexpr ULONG MAPI_E_LOGIN_FAILURE = 3;
constexpr ULONG MAPI_E_LOGON_FAILURE = MAPI_E_LOGIN_FAILURE;
constexpr ULONG MAPI_E_INSUFFICIENT_MEMORY = 5;
constexpr ULONG MAPI_E_ATTACHMENT_NOT_FOUND = 11;
constexpr ULONG MAPI_E_ATTACHMENT_OPEN_FAILURE = 12;
constexpr ULONG MAPI_E_NOT_SUPPORTED = 26;

/// Recipient classes.
constexpr ULONG MAPI_ORIG = 0;
constexpr ULONG MAPI_TO = 1;
constexpr ULONG MAPI_CC = 2;
constexpr ULONG MAPI_BCC = 3;

/// One attachment.
struct MapiFileDesc
{
    ULONG ulReserved;   ///< 0
    ULONG flFlags;      ///< 0
    ULONG nPosition;    ///< where the attachment goes in the note text; -1 leaves it to the client
    LPSTR lpszPathName; ///< the file to attach
    LPSTR lpszFileName; ///< the name the recipient sees; null: the file's own name
    LPVOID lpFileType;  ///< null
};

struct MapiRecipDesc
{
    ULONG ulReserved;
    ULONG ulRecipClass; ///< MAPI_ORIG, MAPI_TO, MAPI_CC or MAPI_BCC
    LPSTR lpszName;
    LPSTR lpszAddress;
    ULONG ulEIDSize;
    LPVOID lpEntryID;
};

struct MapiMessage
{
    ULONG ulReserved;
    LPSTR lpszSubject;  ///< null or empty: none
    LPSTR lpszNoteText; ///< null or empty: none
    LPSTR lpszMessageType;
    LPSTR lpszDateReceived;
    LPSTR lpszConversationID;
    FLAGS flFlags;
    MapiRecipDesc* lpOriginator;
    ULONG nRecipCount;
    MapiRecipDesc* lpRecips;
    ULONG nFileCount;
    MapiFileDesc* lpFiles;
};

using LPMAPISENDMAIL = ULONG (*)(LHANDLE session, ULONG_PTR uiParam, MapiMessage* message, FLAGS flags,
                                 ULONG reserved);

extern "C"
{
    /// Opens a new message with the attachments, subject and note text in the default mail client's
    /// compose window, for the user to address and send: runs `xdg-email` (found along PATH) with one
    /// "--attach" per file, each path handed whole as its own argument (relative paths made absolute
    /// first, as the client does not run in our folder). Returns once `xdg-email` has ended, which with
    /// some clients is when the compose window closes; call it on a thread of its own.
    ///
    /// The compose window always opens (MAPI_DIALOG is implied: the hand-off cannot send by itself); the
    /// session, window and other flags are not used. Recipients cannot be handed off: a message with
    /// recipients gives MAPI_E_NOT_SUPPORTED. Results: SUCCESS_SUCCESS once the client has the message;
    /// MAPI_E_ATTACHMENT_NOT_FOUND for a missing file (or a descriptor without a path),
    /// MAPI_E_ATTACHMENT_OPEN_FAILURE for a file that cannot be read, MAPI_E_LOGIN_FAILURE when there is
    /// no `xdg-email` or it finds no way to reach a mail client, MAPI_E_FAILURE for a null message or any
    /// other failure. Any thread.
    PLATFORM_API ULONG MAPISendMail(LHANDLE session, ULONG_PTR uiParam, MapiMessage* message, FLAGS flags,
                                    ULONG reserved);
}

namespace platform::mapi
{
/// The desktop's default mail client, as the user knows it: the "Name" of the desktop entry that
/// `xdg-settings get default-url-scheme-handler mailto` names, looked up in the "applications" folders
/// of XDG_DATA_HOME and XDG_DATA_DIRS. Empty when no mail client is configured: no answer (or none
/// within a few seconds), or an entry that is not installed. An installed entry without a name answers
/// its file name without ".desktop". Any thread; runs `xdg-settings` each time.
PLATFORM_API std::string GetDefaultMailClientName();

/// The path of the Simple MAPI library that hands mail to the desktop (this library's file) when the
/// `xdg-email` program is found along PATH; empty otherwise.
PLATFORM_API std::string GetMailHandOffLibrary();

/// The name of the system's Simple MAPI stub, which Linux does not have.
inline constexpr char kSystemMapiLibrary[] = "MAPI32.DLL";
} // namespace platform::mapi
