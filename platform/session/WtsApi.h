#pragma once

// Session-change notifications: windows registered here receive WM_WTSSESSION_CHANGE (posted, so it
// passes their message filter) with wParam the change and lParam the session's number. On Linux the
// session is the logind session the program runs in, on the system bus:
//   Lock signal                 -> WTS_SESSION_LOCK
//   Unlock signal               -> WTS_SESSION_UNLOCK
//   "Active" turns false / true -> WTS_CONSOLE_DISCONNECT / WTS_CONSOLE_CONNECT (another session took the
//                                  seat, or ours got it back)
// Without logind (no system bus, no session of ours) nothing is ever told: the session never locks.

#include "platform/win/Export.h"
#include "platform/window/WinUser.h"

constexpr DWORD NOTIFY_FOR_THIS_SESSION = 0;
constexpr DWORD NOTIFY_FOR_ALL_SESSIONS = 1;

/// Registers `hwnd` for the changes of the program's session (NOTIFY_FOR_ALL_SESSIONS is accepted and
/// means the same). The first registration starts watching logind, without waiting for it; registering a
/// window twice registers it once. TRUE on success, also without logind; FALSE with ERROR_INVALID_PARAMETER
/// for a window that does not exist or unknown flags. User-interface thread (another thread's call is run
/// there).
PLATFORM_API BOOL WTSRegisterSessionNotification(HWND hwnd, DWORD flags);
/// Stops the changes for `hwnd`; the last one stops watching logind. A window destroyed while registered
/// is dropped at the next change. FALSE with ERROR_INVALID_PARAMETER when it was not registered.
PLATFORM_API BOOL WTSUnRegisterSessionNotification(HWND hwnd);

namespace platform::session
{
/// How far the watch has come.
enum class SessionWatch
{
    /// No window is registered.
    Off,
    /// Asking logind for the program's session.
    Resolving,
    /// Lock, unlock and the "Active" property are followed.
    Watching,
    /// No system bus, no logind or no session of ours: nothing will be told.
    Unavailable
};

/// The state of the watch. User-interface thread.
PLATFORM_API SessionWatch CurrentSessionWatch();
} // namespace platform::session
