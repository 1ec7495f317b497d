#pragma once

#include "platform/win/CString.h"
#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

/// Corrowin, the web update library: checks the update server for a newer version of the calling program,
/// offers it, downloads it and hands it to the desktop's package installer. One check runs at a time, in
/// a modeless update dialog owned by the calling window, which hears of it through WM_COPYDATA.
///
/// Every export is called on the calling program's user-interface thread, never throws, and reports by its
/// result.

/// What the calling program asks for. The library copies what it keeps; the caller keeps ownership.
struct UpdateRequest
{
    /// The product's name: the Internet agent's name, "%s" of the texts and the title of the Yes/No box.
    /// Null is refused.
    const char* lpszApplicationName = nullptr;
    /// The version file's name on the server ("update"). Null is refused.
    const char* lpszFileName = nullptr;
    /// The installed version: a << 16 | b, and c << 16 | d.
    DWORD dwVersionMS = 0;
    DWORD dwVersionLS = 0;
    BYTE reserved[16] = {};
    /// Non-zero: a newer version is offered with the question dialog ("Don't warn me in the future.");
    /// zero: with a Yes/No box (or not at all in installer mode).
    int bAsk = 0;
    /// The folder on the server that holds the version file and the package.
    CString strFtpDirectory;
    /// The server's host name ("host" or "host:port"); empty: the local host.
    CString strFtpServer;
    /// Appended to "SOFTWARE\Tavisk\" to find the "Language" value the texts are reloaded from; empty keeps
    /// the language the library found when it was loaded.
    CString strRegistrySubKey;
    /// Non-zero: the library runs inside an installer (its texts speak of the CD-ROM; no Yes/No box).
    int bInstallerMode = 0;
};

/// The codes of the WM_COPYDATA notifications (dwData), sent to the owner window with the update dialog's
/// window as wParam.
constexpr ULONG_PTR COPYDATA_UPDATE_DOWNLOADED = 0x10;
constexpr ULONG_PTR COPYDATA_UPDATE_CLOSED = 0x20;
/// lpData is the answer itself: 1 to keep the automatic check, 0 when "Don't warn me in the future." was
/// ticked or the question closed.
constexpr ULONG_PTR COPYDATA_UPDATE_ANSWER = 0x30;

extern "C"
{
    /// Starts a check in the update dialog, out of view when `background` is non-zero (it comes into view
    /// when the download begins, and closes by itself when there is nothing to download). Returns the
    /// dialog's window, or null when no check was started: no owner, no request, a downloaded package still
    /// waiting for installation, a check already running (in this process, which is then brought into
    /// view, or in another), or a dialog that could not be made.
    PLATFORM_API HWND CheckForUpdates(HWND owner, const UpdateRequest* request, HWND parent, int background);

    /// Hands the downloaded package to the desktop's package installer (xdg-open with the package's path;
    /// the installer's language switch has no counterpart there). FALSE when no package waits, or when
    /// the hand-off failed: the user is told, and the package stays pending for the next attempt.
    PLATFORM_API BOOL InstallDownloadedPackage();

    /// Closes the running update dialog when `owner` is the window that started its check.
    PLATFORM_API void InterruptUpdate(HWND owner);

    /// The installer's language switch for a three-letter language code (any case): "/L0409" for ENU ...;
    /// empty for a code outside the table or null.
    PLATFORM_API const char* GetLanguageSwitch(const char* code);
}
