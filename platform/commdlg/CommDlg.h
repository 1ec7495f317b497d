#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

#include <optional>
#include <string>
#include <vector>

/// The common file-open dialog: the OPENFILENAME record and GetOpenFileName as callers of the system's
/// dialog fill and read them (UTF-8 texts). Shown as a modal dialog of the window layer; user-interface
/// thread.

constexpr DWORD OFN_READONLY = 0x00000001;
constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_NOCHANGEDIR = 0x00000008;
constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;

struct OPENFILENAMEA
{
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    /// Pairs of a description and its patterns ("WAV File\0*.wav\0"), ended by an empty description.
    LPCSTR lpstrFilter;
    LPSTR lpstrCustomFilter;
    DWORD nMaxCustFilter;
    /// 1-based index of the filter shown first; 0 counts as 1.
    DWORD nFilterIndex;
    /// In: the initial file name (or empty); out: the chosen path.
    LPSTR lpstrFile;
    DWORD nMaxFile;
    LPSTR lpstrFileTitle;
    DWORD nMaxFileTitle;
    LPCSTR lpstrInitialDir;
    LPCSTR lpstrTitle;
    DWORD Flags;
    WORD nFileOffset;
    WORD nFileExtension;
    LPCSTR lpstrDefExt;
    LPARAM lCustData;
    void* lpfnHook;
    LPCSTR lpTemplateName;
};
using OPENFILENAME = OPENFILENAMEA;
using LPOPENFILENAMEA = OPENFILENAMEA*;

/// Lets the user choose one file, owned by `hwndOwner` (disabled meanwhile). The filter's patterns limit
/// what is listed; OFN_FILEMUSTEXIST and OFN_PATHMUSTEXIST refuse names of nothing; the process's current
/// folder is never changed (as with OFN_NOCHANGEDIR). TRUE with the path in lpstrFile (and the offsets of
/// its name and extension) when a file was chosen; FALSE when the user cancelled or the path does not fit
/// nMaxFile (lpstrFile is then left as it was).
PLATFORM_API BOOL GetOpenFileNameA(LPOPENFILENAMEA ofn);
#define GetOpenFileName GetOpenFileNameA

namespace platform::commdlg
{
/// What the file-open dialog was asked, while answers are scripted.
struct OpenFileRequest
{
    HWND Owner = nullptr;
    /// The filter's description and pattern pairs, in order.
    std::vector<std::pair<std::string, std::string>> Filters;
    DWORD FilterIndex = 0;
    DWORD Flags = 0;
    std::string InitialFolder;
};

/// For tests: while set, GetOpenFileName shows nothing, records its request and answers `path` (nullopt:
/// as if cancelled). ClearScriptedOpenFile shows the real dialog again. Any thread.
PLATFORM_API void SetScriptedOpenFile(std::optional<std::string> path);
PLATFORM_API void ClearScriptedOpenFile();
/// The last request recorded while scripted.
PLATFORM_API OpenFileRequest LastOpenFileRequest();
} // namespace platform::commdlg
