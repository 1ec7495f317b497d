#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

/// Anonymous FTP downloads in the shape of the system's Internet functions: a session (InternetOpenA), a
/// connection to one server (InternetConnectA), its current folder, and files opened for reading, read
/// block by block and resumable from an offset.
///
/// Handles: every function that makes a handle returns null on failure, with the reason in GetLastError
/// (the ERROR_INTERNET_* and ERROR_FTP_* numbers below, or ERROR_INVALID_PARAMETER, ERROR_INVALID_HANDLE).
/// A session and the handles made from it are used by one thread at a time; InternetCloseHandle of a
/// session or connection also closes what was made from it, and a stale or closed handle is refused with
/// ERROR_INVALID_HANDLE, never dereferenced.
///
/// Nothing waits without a bound: connecting, every answer of the server and a transfer that stalls end
/// with ERROR_INTERNET_TIMEOUT after the limits of platform::wininet::SetTimeouts. A session can be given
/// a cancel event; once it is signalled, the operation under way and every later one end with
/// ERROR_INTERNET_OPERATION_CANCELLED within a fraction of a second.
///
/// Only FTP is spoken; file and folder names are sent as they are given (a name holding a control
/// character is refused with ERROR_INVALID_PARAMETER).

using HINTERNET = void*;
using INTERNET_PORT = WORD;

constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;
constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;
constexpr DWORD INTERNET_FLAG_ASYNC = 0x10000000;
constexpr DWORD INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000;
constexpr DWORD INTERNET_FLAG_PASSIVE = 0x08000000;
constexpr DWORD INTERNET_SERVICE_FTP = 1;
constexpr INTERNET_PORT INTERNET_INVALID_PORT_NUMBER = 0;
constexpr INTERNET_PORT INTERNET_DEFAULT_FTP_PORT = 21;
constexpr DWORD FTP_TRANSFER_TYPE_ASCII = 0x00000001;
constexpr DWORD FTP_TRANSFER_TYPE_BINARY = 0x00000002;
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;

constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_INTERNET_OUT_OF_HANDLES = 12001;
constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
constexpr DWORD ERROR_INTERNET_EXTENDED_ERROR = 12003;
constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;
constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
constexpr DWORD ERROR_INTERNET_LOGIN_FAILURE = 12015;
constexpr DWORD ERROR_INTERNET_INVALID_OPERATION = 12016;
constexpr DWORD ERROR_INTERNET_OPERATION_CANCELLED = 12017;
constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;
constexpr DWORD ERROR_FTP_TRANSFER_IN_PROGRESS = 12110;
constexpr DWORD ERROR_FTP_DROPPED = 12111;
/// The server refused to restart the transfer at the offset asked for (ours: WinInet has no such case).
constexpr DWORD ERROR_FTP_RESTART_REFUSED = 12112;

struct WIN32_FIND_DATAA
{
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char cFileName[MAX_PATH];
    char cAlternateFileName[14];
};
using LPWIN32_FIND_DATAA = WIN32_FIND_DATAA*;

/// Always ERROR_SUCCESS: there is no dial-up connection to make.
PLATFORM_API DWORD InternetAttemptConnect(DWORD reserved);

/// A session. `agent` names the program (kept, not sent: anonymous FTP has no agent field); the access
/// type, proxy and flags are accepted and have no effect (connections are direct, nothing is cached).
PLATFORM_API HINTERNET InternetOpenA(LPCSTR agent, DWORD accessType, LPCSTR proxy, LPCSTR proxyBypass,
                                     DWORD flags);

/// Connects to `server` and logs in anonymously (a user name or password is refused with
/// ERROR_INVALID_PARAMETER). `server` is a host name or address, optionally followed by ":port", which
/// then replaces `port` (0 stands for 21); an IPv6 address with a port is written "[address]:port". Only
/// INTERNET_SERVICE_FTP. Null when the server cannot be reached, does not greet in time or refuses the
/// login.
PLATFORM_API HINTERNET InternetConnectA(HINTERNET internet, LPCSTR server, INTERNET_PORT port,
                                        LPCSTR userName, LPCSTR password, DWORD service, DWORD flags,
                                        DWORD_PTR context);

/// Changes the connection's current folder with one CWD (relative to the current folder, or to the root
/// when it starts with "/"); FALSE with ERROR_INTERNET_EXTENDED_ERROR when the server refuses it, and the
/// current folder stays as it was.
PLATFORM_API BOOL FtpSetCurrentDirectoryA(HINTERNET connect, LPCSTR directory);

/// The size and modification time of one file of the current folder (no wildcards), as a find handle to
/// close with InternetCloseHandle. A time the server does not tell is 0. Null with ERROR_NO_MORE_FILES
/// when there is no such file.
PLATFORM_API HINTERNET FtpFindFirstFileA(HINTERNET connect, LPCSTR searchFile, LPWIN32_FIND_DATAA findData,
                                         DWORD flags, DWORD_PTR context);

/// Opens a file of the current folder for reading (GENERIC_READ only; binary or ASCII). The server is
/// asked for the file's size here, so a missing file fails at once (ERROR_INTERNET_EXTENDED_ERROR); the
/// transfer itself starts with the first InternetReadFile, from the offset InternetSetFilePointer set.
/// One file per connection may be open at a time (ERROR_FTP_TRANSFER_IN_PROGRESS).
PLATFORM_API HINTERNET FtpOpenFileA(HINTERNET connect, LPCSTR fileName, DWORD access, DWORD flags,
                                    DWORD_PTR context);

/// The open file's size as the server told it: the low 32 bits, the high ones into `fileSizeHigh`.
/// INVALID_FILE_SIZE with the last error set when the server did not tell it (the last error is
/// ERROR_SUCCESS for a genuine size of that value).
PLATFORM_API DWORD FtpGetFileSize(HINTERNET file, DWORD* fileSizeHigh);

/// Where the transfer of an open file starts: only FILE_BEGIN, and only before the first read. Returns
/// the new position (low 32 bits); INVALID_SET_FILE_POINTER with ERROR_INTERNET_INVALID_OPERATION once
/// reading has begun, or ERROR_INVALID_PARAMETER for a position beyond the file's size.
PLATFORM_API DWORD InternetSetFilePointer(HINTERNET file, LONG distanceToMove, LONG* distanceToMoveHigh,
                                          DWORD moveMethod, DWORD_PTR context);

/// Reads the next bytes of an open file, waiting until `toRead` bytes have come or the file has ended:
/// TRUE with fewer bytes (0 at the end) only at the end of the file. The end is judged against the size
/// the server announced: a transfer that ends short of it, breaks off, stalls or is cancelled fails the
/// read that meets the break (ERROR_INTERNET_CONNECTION_ABORTED, ERROR_INTERNET_TIMEOUT,
/// ERROR_FTP_RESTART_REFUSED, ERROR_INTERNET_OPERATION_CANCELLED...), and so does a server that sends more
/// than that size (ERROR_INVALID_DATA: none of what it sent can be trusted, as it may have ignored the
/// restart offset). A failed read still tells in `read` how many bytes came before the break.
PLATFORM_API BOOL InternetReadFile(HINTERNET file, LPVOID buffer, DWORD toRead, DWORD* read);

/// Closes a handle and the handles made from it; FALSE with ERROR_INVALID_HANDLE for a handle that is
/// not open.
PLATFORM_API BOOL InternetCloseHandle(HINTERNET handle);

#define InternetOpen InternetOpenA
#define InternetConnect InternetConnectA
#define FtpSetCurrentDirectory FtpSetCurrentDirectoryA
#define FtpFindFirstFile FtpFindFirstFileA
#define FtpOpenFile FtpOpenFileA

namespace platform::wininet
{
/// The limits that keep every wait bounded, process-wide, for sessions opened afterwards.
struct Timeouts
{
    /// Reaching the server (TCP connection).
    DWORD ConnectMs = 30000;
    /// Each answer of the server, the greeting included (whole seconds; rounded up).
    DWORD ResponseMs = 30000;
    /// A transfer that moves no byte for this long has stalled (whole seconds; rounded up).
    DWORD StallMs = 30000;
};

PLATFORM_API Timeouts GetTimeouts();
/// For tests, which shorten them; any thread.
PLATFORM_API void SetTimeouts(const Timeouts& timeouts);

/// Lets `event` cancel the session's operations, and those of every handle made from it: once the event is
/// signalled they end with ERROR_INTERNET_OPERATION_CANCELLED. The event is only looked at, never reset,
/// so it must be a manual-reset event; it must outlive the session (or be replaced by null first).
PLATFORM_API BOOL SetCancelEvent(HINTERNET internet, HANDLE event);
} // namespace platform::wininet
