#pragma once

#include "platform/shell/ItemIdList.h"
#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

/// Change notification of the file system, over inotify: one inotify descriptor per watcher, read on the
/// user-interface thread (the window layer's), so the notifications need that thread to run its message
/// loop. The events of a burst (files copied or created together) are collected for a short time
/// (MergeDelayMs after the first) and then reported at once: a single event as itself, several as one
/// SHCNE_UPDATEDIR of the folder that holds them all. Symbolic links are never followed into the folders
/// they lead to. Closing or deregistering never waits for anything.

constexpr LONG SHCNE_RENAMEITEM = 0x00000001;
constexpr LONG SHCNE_CREATE = 0x00000002;
constexpr LONG SHCNE_DELETE = 0x00000004;
constexpr LONG SHCNE_MKDIR = 0x00000008;
constexpr LONG SHCNE_RMDIR = 0x00000010;
constexpr LONG SHCNE_UPDATEDIR = 0x00001000;
constexpr LONG SHCNE_UPDATEITEM = 0x00002000;
constexpr LONG SHCNE_RENAMEFOLDER = 0x00020000;
constexpr LONG SHCNE_FREESPACE = 0x00040000;
constexpr LONG SHCNE_ALLEVENTS = 0x7FFFFFFF;

constexpr int SHCNRF_InterruptLevel = 0x0001;
constexpr int SHCNRF_ShellLevel = 0x0002;
constexpr int SHCNRF_RecursiveInterrupt = 0x1000;
constexpr int SHCNRF_NewDelivery = 0x8000;

struct SHChangeNotifyEntry
{
    PCIDLIST_ABSOLUTE pidl;
    BOOL fRecursive;
};

/// Posts `message` to `window` for every change (of the kinds in `events`) inside the folders of
/// `entries`: wParam points to two absolute item ID lists (the item, and its new name for a rename, else
/// null), valid until 32 further notifications of this registration have been posted or it is
/// deregistered; lParam is the SHCNE_ code. A recursive entry covers the folders below it that the
/// namespace has enumerated (IShellFolder::EnumObjects) in this process, now or later; the desktop root
/// as an entry covers its own folders. User-interface thread. Returns the registration's id, or 0 for no
/// window, no entry, SHCNRF_NewDelivery (not offered) or a failure of inotify.
PLATFORM_API ULONG SHChangeNotifyRegister(HWND window, int sources, LONG events, UINT message, int count,
                                          const SHChangeNotifyEntry* entries);
/// Ends a registration; FALSE for an unknown id. User-interface thread.
PLATFORM_API BOOL SHChangeNotifyDeregister(ULONG id);

constexpr DWORD FILE_NOTIFY_CHANGE_FILE_NAME = 0x001;
constexpr DWORD FILE_NOTIFY_CHANGE_DIR_NAME = 0x002;
constexpr DWORD FILE_NOTIFY_CHANGE_ATTRIBUTES = 0x004;
constexpr DWORD FILE_NOTIFY_CHANGE_SIZE = 0x008;
constexpr DWORD FILE_NOTIFY_CHANGE_LAST_WRITE = 0x010;

/// A handle that is signalled (WaitForSingleObject / WaitForMultipleObjects) when a change of the kinds
/// in `filter` happens directly inside `folder`: names of files (FILE_NAME) or folders (DIR_NAME) made,
/// removed or renamed, attributes changed (ATTRIBUTES), a file written to (SIZE) or written and closed
/// (LAST_WRITE); also when the folder itself goes away. It stays signalled until
/// FindNextChangeNotification, which leaves it signalled when more changes came since. Any thread.
/// INVALID_HANDLE_VALUE with the system error for a folder that cannot be watched, ERROR_NOT_SUPPORTED
/// for `subtree` (only one folder is watched).
PLATFORM_API HANDLE FindFirstChangeNotificationA(LPCSTR folder, BOOL subtree, DWORD filter);
PLATFORM_API BOOL FindNextChangeNotification(HANDLE change);
/// Stops watching and closes the handle; FALSE for a handle that is no change notification.
PLATFORM_API BOOL FindCloseChangeNotification(HANDLE change);
#define FindFirstChangeNotification FindFirstChangeNotificationA

namespace platform::shell
{
/// How long the events of a burst are collected before they are reported.
constexpr int MergeDelayMs = 100;
} // namespace platform::shell
