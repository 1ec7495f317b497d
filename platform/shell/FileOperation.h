#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

/// The shell's file operation, in the shape of the system's SHFileOperation, for deleting files: to the
/// desktop's trash when undo is allowed, for good otherwise. No dialog of any kind is ever shown (there is
/// no progress, confirmation or error user interface here), so the FOF_SILENT, FOF_NOCONFIRMATION and
/// FOF_NOERRORUI flags are implied. Any thread; blocks until every file was handled.

constexpr UINT FO_MOVE = 0x0001;
constexpr UINT FO_COPY = 0x0002;
constexpr UINT FO_DELETE = 0x0003;
constexpr UINT FO_RENAME = 0x0004;

using FILEOP_FLAGS = WORD;
constexpr FILEOP_FLAGS FOF_SILENT = 0x0004;
constexpr FILEOP_FLAGS FOF_RENAMEONCOLLISION = 0x0008;
constexpr FILEOP_FLAGS FOF_NOCONFIRMATION = 0x0010;
constexpr FILEOP_FLAGS FOF_ALLOWUNDO = 0x0040;
constexpr FILEOP_FLAGS FOF_NOERRORUI = 0x0400;

struct SHFILEOPSTRUCTA
{
    HWND hwnd;
    UINT wFunc;
    /// The paths, each followed by its NUL, the list ended by a second NUL.
    LPCSTR pFrom;
    LPCSTR pTo;
    FILEOP_FLAGS fFlags;
    BOOL fAnyOperationsAborted;
    LPVOID hNameMappings;
    LPCSTR lpszProgressTitle;
};
using SHFILEOPSTRUCT = SHFILEOPSTRUCTA;
using LPSHFILEOPSTRUCTA = SHFILEOPSTRUCTA*;
using LPSHFILEOPSTRUCT = SHFILEOPSTRUCTA*;

/// FO_DELETE: every path of the list (a file, a link, or a folder with what it holds) goes to the trash with
/// FOF_ALLOWUNDO, else is removed; a failure does not stop the others. Returns 0 when every path was
/// deleted, ERROR_FILE_NOT_FOUND when one did not exist, ERROR_ACCESS_DENIED when one could not be moved or
/// removed, ERROR_INVALID_PARAMETER for a missing record or list and for the other operations, which this
/// system does not offer through the shell.
PLATFORM_API int SHFileOperationA(LPSHFILEOPSTRUCTA operation);
#define SHFileOperation SHFileOperationA
