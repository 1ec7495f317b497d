#pragma once

#include "Export.h"
#include "WinTypes.h"

#include <sys/types.h>

/// Kernel objects behind HANDLE: events, mutexes, threads and processes, waited on with time-outs.
/// A HANDLE is counted: CloseHandle drops one reference; a thread or process object stays valid while
/// its thread runs. All functions may be called from any thread and report failure through GetLastError.

constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED = 0x80;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
constexpr DWORD STILL_ACTIVE = 259;
constexpr DWORD CREATE_SUSPENDED = 0x4;
constexpr DWORD CREATE_NO_WINDOW = 0x08000000;
constexpr int THREAD_PRIORITY_NORMAL = 0;

/// Security is not modelled; bInheritHandle is ignored, as every handle is kept from started programs
/// unless handed to one explicitly (ExecCommand's standard handles).
struct SECURITY_ATTRIBUTES
{
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID);

PLATFORM_API HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                                 LPCSTR name);
PLATFORM_API BOOL SetEvent(HANDLE event);
PLATFORM_API BOOL ResetEvent(HANDLE event);
/// An unnamed mutex owned recursively by a thread; a name is ignored.
PLATFORM_API HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name);
PLATFORM_API BOOL ReleaseMutex(HANDLE mutex);
PLATFORM_API HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, std::size_t stackSize,
                                 LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                                 DWORD* threadId);
/// The C runtime's thread start; the result is the thread's handle as an integer, 0 on failure.
PLATFORM_API UINT_PTR _beginthreadex(void* security, unsigned stackSize, unsigned (*start)(void*), void* arg,
                                     unsigned flags, unsigned* threadId);
PLATFORM_API DWORD ResumeThread(HANDLE thread);
PLATFORM_API BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);
PLATFORM_API BOOL SetThreadPriority(HANDLE thread, int priority);
PLATFORM_API DWORD GetCurrentThreadId();
PLATFORM_API DWORD GetCurrentProcessId();
PLATFORM_API BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode);
PLATFORM_API BOOL TerminateProcess(HANDLE process, UINT exitCode);
PLATFORM_API BOOL CloseHandle(HANDLE handle);
PLATFORM_API DWORD WaitForSingleObject(HANDLE handle, DWORD timeoutMs);
PLATFORM_API DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD timeoutMs);
PLATFORM_API void Sleep(DWORD ms);
/// Makes `path` the process's current directory; FALSE with the system error when it cannot be entered.
PLATFORM_API BOOL SetCurrentDirectoryA(LPCSTR path);
/// Milliseconds of a steady clock; wraps after 49.7 days as the 32-bit count does.
PLATFORM_API DWORD GetTickCount();
PLATFORM_API ULONGLONG GetTickCount64();

#define CreateEvent CreateEventA
#define CreateMutex CreateMutexA
#define SetCurrentDirectory SetCurrentDirectoryA

/// Code pages of the text conversions. Narrow text is UTF-8 throughout the port, so every code page reads
/// UTF-8.
constexpr UINT CP_ACP = 0;
constexpr UINT CP_THREAD_ACP = 3;
constexpr UINT CP_UTF8 = 65001;

/// Converts `bytes` bytes of `text` (-1: through its terminator, which is converted and counted too) into
/// `wide`. With `wideChars` 0, the number of wide characters needed; otherwise the number written, or 0 with
/// ERROR_INSUFFICIENT_BUFFER when they do not all fit (the buffer then holds those that did, unterminated).
/// Invalid sequences become U+FFFD; `flags` are not looked at.
PLATFORM_API int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int bytes, LPWSTR wide,
                                     int wideChars);

PLATFORM_API LONG InterlockedIncrement(LONG volatile* value);
PLATFORM_API LONG InterlockedDecrement(LONG volatile* value);
PLATFORM_API LONG InterlockedExchange(LONG volatile* target, LONG value);
PLATFORM_API LONG InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand);

/// The system's critical section: re-entrant for the thread that holds it.
struct PLATFORM_API CRITICAL_SECTION
{
    void* impl = nullptr;
};
PLATFORM_API void InitializeCriticalSection(CRITICAL_SECTION* cs);
PLATFORM_API void DeleteCriticalSection(CRITICAL_SECTION* cs);
PLATFORM_API void EnterCriticalSection(CRITICAL_SECTION* cs);
PLATFORM_API BOOL TryEnterCriticalSection(CRITICAL_SECTION* cs);
PLATFORM_API void LeaveCriticalSection(CRITICAL_SECTION* cs);

/// Start-up information of a new process; only dwFlags and the three standard handles are used.
constexpr DWORD STARTF_USESHOWWINDOW = 0x1;
constexpr DWORD STARTF_USESTDHANDLES = 0x100;
struct STARTUPINFOA
{
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    BYTE* lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};
using STARTUPINFO = STARTUPINFOA;
using LPSTARTUPINFOA = STARTUPINFOA*;

struct PROCESS_INFORMATION
{
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};

/// Overlapped I/O is not supported: the OVERLAPPED argument of ReadFile and WriteFile must be null.
struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;

/// An anonymous pipe: two handles, closed by CloseHandle. Both ends are close-on-exec, so a started
/// program sees only the ends handed to it as standard handles. `size` is a capacity hint (0: default).
PLATFORM_API BOOL CreatePipe(HANDLE* readPipe, HANDLE* writePipe, LPSECURITY_ATTRIBUTES attributes,
                             DWORD size);
/// Blocks until some bytes are there and returns them (at most `toRead`). On a pipe whose write ends are
/// all closed: FALSE with ERROR_BROKEN_PIPE and 0 bytes read.
PLATFORM_API BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, DWORD* read, LPOVERLAPPED overlapped);
/// Writes all bytes. A pipe whose read end is closed gives FALSE with ERROR_BROKEN_PIPE (no SIGPIPE).
PLATFORM_API BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, DWORD* written,
                            LPOVERLAPPED overlapped);

namespace platform
{
/// Wraps an open file descriptor in a file handle that owns it (closed by the last CloseHandle); the
/// descriptor is made close-on-exec. Null with ERROR_INVALID_HANDLE when `fd` is not open.
PLATFORM_API HANDLE CreateFdHandle(int fd);
/// The descriptor behind a pipe or file handle (still owned by the handle), or -1 for other handles.
PLATFORM_API int GetHandleFd(HANDLE file);

/// Wraps a started child process: the handle is signalled when the child ends, and its exit code is
/// kept. The handle takes over reaping the child.
PLATFORM_API HANDLE CreateProcessHandle(pid_t pid);
/// The child's process id, or -1 when the handle is not a process.
PLATFORM_API pid_t GetProcessPid(HANDLE process);
} // namespace platform
