#pragma once

#include "platform/shell/ChangeNotify.h"
#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

#include <string>

/// Reading the changes of a folder tree as they happen, the way a folder opened for listing is read with
/// ReadDirectoryChangesW: each call blocks until changes came and hands them out as records. Over
/// inotify: files and folders made, removed and renamed, and files written and closed (a file that is
/// still being written is reported once its writer closes it, never for each write). The subtree is
/// watched down to a bounded number of folders, hidden folders and symbolic links left out. Another
/// thread ends a blocked read at once with CancelIoEx.

constexpr DWORD FILE_LIST_DIRECTORY = 0x0001;
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;

constexpr DWORD FILE_NOTIFY_CHANGE_LAST_ACCESS = 0x020;
constexpr DWORD FILE_NOTIFY_CHANGE_CREATION = 0x040;
constexpr DWORD FILE_NOTIFY_CHANGE_SECURITY = 0x100;

constexpr DWORD FILE_ACTION_ADDED = 1;
constexpr DWORD FILE_ACTION_REMOVED = 2;
constexpr DWORD FILE_ACTION_MODIFIED = 3;
constexpr DWORD FILE_ACTION_RENAMED_OLD_NAME = 4;
constexpr DWORD FILE_ACTION_RENAMED_NEW_NAME = 5;

/// One change: the name (relative to the folder read, "/" between levels; not terminated) is
/// FileNameLength bytes of WCHAR. The next record starts NextEntryOffset bytes further on; 0 ends the
/// buffer.
struct FILE_NOTIFY_INFORMATION
{
    DWORD NextEntryOffset;
    DWORD Action;
    DWORD FileNameLength;
    WCHAR FileName[1];
};

struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;

/// Reads the next changes of the kinds in `filter` (FILE_NOTIFY_CHANGE_FILE_NAME and _DIR_NAME: made,
/// removed, renamed; _LAST_WRITE and _SIZE: FILE_ACTION_MODIFIED when a file written to is closed) into
/// `buffer`, blocking until there are some. `subtree` watches the folders below as well (decided by the
/// first read). TRUE with the bytes written in `returned`; TRUE with 0 when changes were lost (more than
/// the buffer or the system could hold). FALSE with ERROR_OPERATION_ABORTED after CancelIoEx,
/// ERROR_ACCESS_DENIED once the folder itself went away, ERROR_INVALID_HANDLE for a handle that is not a
/// folder opened for changes, ERROR_NOT_SUPPORTED for an overlapped read.
PLATFORM_API BOOL ReadDirectoryChangesW(HANDLE folder, LPVOID buffer, DWORD length, BOOL subtree,
                                        DWORD filter, DWORD* returned, LPOVERLAPPED overlapped,
                                        void* completion);
/// Ends the read blocked on `folder` (from any thread) and every later one: they fail with
/// ERROR_OPERATION_ABORTED. FALSE for a handle that is not a folder opened for changes.
PLATFORM_API BOOL CancelIoEx(HANDLE folder, LPOVERLAPPED overlapped);

namespace platform::shell
{
/// The record's name as UTF-8, exactly the bytes of the name on disk.
PLATFORM_API std::string NameOfChange(const FILE_NOTIFY_INFORMATION& record);

/// The folder at `path` opened for reading its changes, as CreateFile gives it with FILE_LIST_DIRECTORY
/// and FILE_FLAG_BACKUP_SEMANTICS; INVALID_HANDLE_VALUE with the system error when it cannot be watched.
PLATFORM_API HANDLE OpenFolderForChanges(LPCSTR path);
/// Closes what OpenFolderForChanges opened, once no read uses it any more (cancel a blocked read first).
PLATFORM_API BOOL CloseFolderForChanges(HANDLE folder);

/// The most folders of a subtree that one handle watches.
constexpr int MaxWatchedFolders = 1024;
} // namespace platform::shell
