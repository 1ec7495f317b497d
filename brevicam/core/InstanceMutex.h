#pragma once

#include "platform/win/LastError.h"
#include "platform/win/WinTypes.h"

/// The single-instance mutex "WebCam Vistrel 2", opened when the program's static objects are built and
/// held until it ends: a lock on the file named after it in $XDG_RUNTIME_DIR (or /tmp/brevicam-<uid>).
/// g_dwInstanceMutexError is ERROR_ALREADY_EXISTS (183) when another process holds it, ERROR_ACCESS_DENIED
/// (5, with a null handle) when it cannot be opened, else 0.
extern HANDLE g_hInstanceMutex;
extern DWORD g_dwInstanceMutexError;

/// Opens the named instance mutex and reports the error as above. A handle is returned also when another
/// process holds the mutex (as the system's named mutexes do). Any thread.
HANDLE OpenInstanceMutex(const char* name, DWORD* error);
/// Releases and closes a handle of OpenInstanceMutex; null does nothing.
void CloseInstanceMutex(HANDLE mutex);
/// TRUE when the program's start must end here: another copy runs, or the mutex could not be opened.
inline BOOL IsAnotherInstanceRunning(HANDLE mutex, DWORD error)
{
    return error == ERROR_ALREADY_EXISTS || (!mutex && error == ERROR_ACCESS_DENIED);
}
