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

struct SECURITY_ATTRIBUTES;
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
/// Milliseconds of a steady clock; wraps after 49.7 days as the 32-bit count does.
PLATFORM_API DWORD GetTickCount();
PLATFORM_API ULONGLONG GetTickCount64();

#define CreateEvent CreateEventA
#define CreateMutex CreateMutexA

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

namespace platform
{
/// Wraps a started child process: the handle is signalled when the child ends, and its exit code is
/// kept. The handle takes over reaping the child.
PLATFORM_API HANDLE CreateProcessHandle(pid_t pid);
/// The child's process id, or -1 when the handle is not a process.
PLATFORM_API pid_t GetProcessPid(HANDLE process);
} // namespace platform
