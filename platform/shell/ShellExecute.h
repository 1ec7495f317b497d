#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

/// Opening a document or an address with the program the desktop chooses for it, in the shape of the
/// system's ShellExecute: the file or address goes to `xdg-open` as its one argument (no shell is
/// involved, so no character of it is interpreted), and the result tells whether xdg-open accepted it.
///
/// Parameters have no counterpart when the desktop opens a document: they are not passed on. The call waits
/// for xdg-open's answer for a few seconds at most; an opener that is still busy by then has taken the
/// document and counts as success. Any thread.

constexpr DWORD SEE_MASK_FLAG_DDEWAIT = 0x00000100;
/// Results at or below 32 are failures.
constexpr INT_PTR SE_ERR_FNF = 2;
constexpr INT_PTR SE_ERR_ACCESSDENIED = 5;
constexpr INT_PTR SE_ERR_NOASSOC = 31;

struct SHELLEXECUTEINFOA
{
    DWORD cbSize;
    DWORD fMask;
    HWND hwnd;
    LPCSTR lpVerb;
    LPCSTR lpFile;
    LPCSTR lpParameters;
    LPCSTR lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
};

/// Opens `file` (a path or an address) with the desktop's choice. `verb` must be null or "open".
/// Returns a value above 32 on success; SE_ERR_FNF when xdg-open cannot be started or the file is empty,
/// SE_ERR_NOASSOC when xdg-open refused it (no program for it, or it does not exist), SE_ERR_ACCESSDENIED
/// for another verb.
PLATFORM_API HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                     LPCSTR directory, int show);
/// The same from a record; TRUE on success, else FALSE with GetLastError. `hInstApp` receives the result
/// ShellExecuteA would give.
PLATFORM_API BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info);

#define ShellExecute ShellExecuteA
#define ShellExecuteEx ShellExecuteExA
#define SHELLEXECUTEINFO SHELLEXECUTEINFOA

namespace platform::shell
{
/// How long ShellExecute waits for xdg-open's answer; for tests.
PLATFORM_API void SetOpenerWaitMs(DWORD ms);
} // namespace platform::shell
