#pragma once

#include "platform/win/Export.h"
#include "platform/win/Kernel.h"
#include "platform/win/WinTypes.h"

#include <cstddef>

/// Ostrago, the maker's common utilities: language libraries, the program folder, file versions, system
/// tests, disk space and file facts, and starting a program with redirected standard handles. Every
/// function may be called from any thread (IsDesktopIn16Bits: see there) and reports failure through
/// its result and GetLastError.

/// Chooses the language resource library of a module from the user's language setting.
class PLATFORM_API CMultiLanguage
{
public:
    CMultiLanguage();
    virtual ~CMultiLanguage();

    /// The language library of module `app` (null: the executable) for the language code stored under
    /// HKEY_CURRENT_USER\<key>, value `valueName` (see GetLangCode). The library is the file
    /// "<app's name>-<CODE>.so" in the app module's folder, where the name drops a "lib" prefix and ".so"
    /// suffix (brevicam → brevicam-FRA.so, libcorrowin.so → corrowin-FRA.so). It is read as a data file
    /// (none of its code runs); the handle serves resources and is released with FreeLibrary. Null when
    /// no language is stored, the language is "ENU", or there is no such library.
    HINSTANCE LoadLangResourceDLL(HINSTANCE app, const char* key, const char* valueName);

    /// Writes the three-letter language code (upper case) and its terminator into `code`, which must hold
    /// 4 bytes; nothing is written past them. A stored text value of exactly three ASCII letters is the
    /// code; a missing, overlong, non-text or otherwise malformed value gives "ENU". TRUE when the code
    /// came from the registry.
    static BOOL GetLangCode(const char* key, const char* valueName, char* code);
};

/// The folder of the running program (no trailing "/"), from /proc/self/exe, into `buffer` of `size`
/// bytes, cut at a UTF-8 character boundary when it does not fit. Returns the bytes written without the
/// terminator; on failure 0 with an empty buffer.
PLATFORM_API DWORD GetModuleDirectory(char* buffer, DWORD size);

/// The file version of a module file, read from its version resource on disk (the file need not be
/// loaded). The record's fields hold major << 16 | minor and build << 16 | revision.
struct tagVERSIONINFO
{
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
};

/// The file version as "major.minor.build.revision" into `text` of `size` bytes; FALSE with an empty
/// text when the file has no readable version resource. `flags` is unused (0).
PLATFORM_API BOOL GetVersionInfo(const char* path, char* text, std::size_t size, DWORD flags);
PLATFORM_API BOOL GetVersionInfo(const char* path, tagVERSIONINFO* info, DWORD flags);

/// System tests answered from the OS profile: on Linux the system is supported and is neither Windows
/// Vista nor Windows 7. The profile can be switched for tests with BREVICAM_OS_PROFILE
/// ("vista", "win7", "unsupported", "linux"; read at first use) or platform::SetOsProfile. Cheap enough to
/// call for every window message.
PLATFORM_API int isOSVersionCorrect();
PLATFORM_API int isWindowsVista();
PLATFORM_API int isWindows7();

/// Non-zero when the desktop shows 24 bits per pixel or more: the primary screen's depth when a Qt GUI
/// application exists (call it on the user-interface thread then), else 24 is assumed. Tests can fix
/// the depth with BREVICAM_DESKTOP_DEPTH (read at first use) or platform::SetDesktopDepth.
PLATFORM_API int IsDesktopIn16Bits();

/// Free bytes for this user on the volume holding `path`; the path itself need not exist (its nearest
/// existing parent folder is used). 0 on failure, which callers take as a full disk.
PLATFORM_API ULARGE_INTEGER GetAvailableSpace(const char* path);
/// The size of a file in bytes; 0 when it is missing or not a regular file.
PLATFORM_API LARGE_INTEGER GetFileSize(const char* path);
/// TRUE when `path` names an existing file (anything but a folder). `flags` is unused (0).
PLATFORM_API BOOL FileExists(const char* path, DWORD flags);

/// Starts the program named by the command line, split by the Windows rules (the program name up to a
/// blank or between quotes; then arguments separated by blanks, with "..." quoting, \" for a quote and
/// backslashes literal unless they precede a quote). The program is started directly (no shell); a name
/// without "/" is looked for along PATH. With STARTF_USESTDHANDLES the child gets the start-up
/// information's three handles (pipe or file handles) as standard input, output and error (others, and
/// null, as /dev/null); otherwise it shares ours. No other handle of ours reaches it. The child gets
/// default signal handling. `creationFlags` is unused (CREATE_NO_WINDOW has no meaning here).
/// Non-zero on success, with the process handle (for WaitForSingleObject, GetExitCodeProcess,
/// CloseHandle) in *process when `process` is not null; 0 on failure with GetLastError
/// (ERROR_FILE_NOT_FOUND for a missing program, ERROR_ACCESS_DENIED for one that may not run).
PLATFORM_API int ExecCommand(char* commandLine, HANDLE* process, STARTUPINFOA* startup, DWORD creationFlags);

namespace platform
{
enum class OsProfile
{
    Linux,
    Vista,
    Windows7,
    Unsupported
};

/// The profile that the system tests answer from, and its replacement (for tests).
PLATFORM_API OsProfile GetOsProfile();
PLATFORM_API void SetOsProfile(OsProfile profile);

/// Fixes the desktop depth that IsDesktopIn16Bits judges (bits per pixel); 0 returns to the real one.
PLATFORM_API void SetDesktopDepth(int bitsPerPixel);

/// For tests: GetAvailableSpace answers `bytes` for every path from now on; a negative value returns to
/// the volumes' real free space. Any thread.
PLATFORM_API void SetAvailableSpace(long long bytes);
} // namespace platform
#include "platform/ostrago/BrowsePath.h"
