#include "Kernel.h"

#include "CString.h"
#include "LastError.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
// One lock and one condition for every kernel object: waits on several objects at once stay simple, and the
// objects here change state rarely enough that a shared wake-up costs nothing that matters.
std::mutex g_kernelLock;
std::condition_variable g_kernelChanged;

enum class Kind
{
    Event,
    Mutex,
    Thread,
    Process,
    File
};

struct KernelObject
{
    explicit KernelObject(Kind k) : kind(k) {}
    virtual ~KernelObject() = default;

    // Under g_kernelLock.
    virtual bool IsSignaled(std::thread::id) const = 0;
    virtual void Acquire(std::thread::id) {}

    Kind kind;
    std::atomic<int> refs{1};
};

struct EventObject final : KernelObject
{
    EventObject(bool manual, bool initial) : KernelObject(Kind::Event), manualReset(manual), signaled(initial)
    {
    }
    bool IsSignaled(std::thread::id) const override { return signaled; }
    void Acquire(std::thread::id) override
    {
        if (!manualReset)
            signaled = false;
    }
    bool manualReset;
    bool signaled;
};

struct MutexObject final : KernelObject
{
    MutexObject() : KernelObject(Kind::Mutex) {}
    bool IsSignaled(std::thread::id self) const override { return count == 0 || owner == self; }
    void Acquire(std::thread::id self) override
    {
        owner = self;
        ++count;
    }
    std::thread::id owner;
    int count = 0;
};

struct ThreadObject final : KernelObject
{
    ThreadObject() : KernelObject(Kind::Thread) {}
    bool IsSignaled(std::thread::id) const override { return finished; }
    bool finished = false;
    bool suspended = false;
    DWORD exitCode = STILL_ACTIVE;
    DWORD id = 0;
};

struct ProcessObject final : KernelObject
{
    ProcessObject() : KernelObject(Kind::Process) {}
    bool IsSignaled(std::thread::id) const override { return finished; }
    pid_t pid = -1;
    bool finished = false;
    DWORD exitCode = STILL_ACTIVE;
};

struct FileObject final : KernelObject
{
    FileObject(int descriptor, bool pipe) : KernelObject(Kind::File), fd(descriptor), isPipe(pipe) {}
    ~FileObject() override { close(fd); }
    // A file handle has no I/O of its own pending, so a wait on it returns at once, as on Windows.
    bool IsSignaled(std::thread::id) const override { return true; }
    int fd;
    bool isPipe;
};

KernelObject* FromHandle(HANDLE h)
{
    if (!h || h == INVALID_HANDLE_VALUE)
        return nullptr;
    return static_cast<KernelObject*>(h);
}

void Release(KernelObject* obj)
{
    if (obj->refs.fetch_sub(1) == 1)
        delete obj;
}

std::atomic<DWORD> g_nextThreadId{1};
thread_local DWORD t_threadId = 0;

template <typename T> T* As(HANDLE h, Kind kind)
{
    KernelObject* obj = FromHandle(h);
    if (!obj || obj->kind != kind)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return static_cast<T*>(obj);
}

HANDLE StartThread(std::size_t, DWORD flags, DWORD* threadId, std::function<DWORD()> body);
} // namespace

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR)
{
    return new EventObject(manualReset != FALSE, initialState != FALSE);
}

BOOL SetEvent(HANDLE event)
{
    auto* e = As<EventObject>(event, Kind::Event);
    if (!e)
        return FALSE;
    {
        std::lock_guard lock(g_kernelLock);
        e->signaled = true;
    }
    g_kernelChanged.notify_all();
    return TRUE;
}

BOOL ResetEvent(HANDLE event)
{
    auto* e = As<EventObject>(event, Kind::Event);
    if (!e)
        return FALSE;
    std::lock_guard lock(g_kernelLock);
    e->signaled = false;
    return TRUE;
}

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR)
{
    auto* m = new MutexObject();
    if (initialOwner)
        m->Acquire(std::this_thread::get_id());
    SetLastError(ERROR_SUCCESS);
    return m;
}

BOOL ReleaseMutex(HANDLE mutex)
{
    auto* m = As<MutexObject>(mutex, Kind::Mutex);
    if (!m)
        return FALSE;
    {
        std::lock_guard lock(g_kernelLock);
        if (m->count == 0 || m->owner != std::this_thread::get_id())
        {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (--m->count == 0)
            m->owner = std::thread::id();
    }
    g_kernelChanged.notify_all();
    return TRUE;
}

namespace
{
HANDLE StartThread(std::size_t, DWORD flags, DWORD* threadId, std::function<DWORD()> body)
{
    auto* t = new ThreadObject();
    t->id = g_nextThreadId.fetch_add(1);
    t->suspended = (flags & CREATE_SUSPENDED) != 0;
    t->refs.fetch_add(1); // the running thread's own reference
    if (threadId)
        *threadId = t->id;
    try
    {
        std::thread(
            [t, body = std::move(body)]()
            {
                t_threadId = t->id;
                {
                    std::unique_lock lock(g_kernelLock);
                    g_kernelChanged.wait(lock, [t] { return !t->suspended; });
                }
                DWORD code = 0;
                try
                {
                    code = body();
                }
                catch (...)
                {
                    // An exception must not leave a thread; the thread ends as failed instead.
                    code = static_cast<DWORD>(-1);
                }
                {
                    std::lock_guard lock(g_kernelLock);
                    t->exitCode = code;
                    t->finished = true;
                }
                g_kernelChanged.notify_all();
                Release(t);
            })
            .detach();
    }
    catch (const std::system_error&)
    {
        Release(t);
        Release(t);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return t;
}
} // namespace

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, std::size_t stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, DWORD* threadId)
{
    if (!start)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return StartThread(stackSize, flags, threadId, [start, parameter] { return start(parameter); });
}

UINT_PTR _beginthreadex(void*, unsigned stackSize, unsigned (*start)(void*), void* arg, unsigned flags,
                        unsigned* threadId)
{
    if (!start)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    DWORD id = 0;
    HANDLE h = StartThread(stackSize, flags, &id, [start, arg] { return static_cast<DWORD>(start(arg)); });
    if (threadId)
        *threadId = id;
    return reinterpret_cast<UINT_PTR>(h);
}

DWORD ResumeThread(HANDLE thread)
{
    auto* t = As<ThreadObject>(thread, Kind::Thread);
    if (!t)
        return static_cast<DWORD>(-1);
    DWORD previous;
    {
        std::lock_guard lock(g_kernelLock);
        previous = t->suspended ? 1 : 0;
        t->suspended = false;
    }
    g_kernelChanged.notify_all();
    return previous;
}

BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode)
{
    auto* t = As<ThreadObject>(thread, Kind::Thread);
    if (!t || !exitCode)
        return FALSE;
    std::lock_guard lock(g_kernelLock);
    *exitCode = t->exitCode;
    return TRUE;
}

BOOL SetThreadPriority(HANDLE thread, int)
{
    return As<ThreadObject>(thread, Kind::Thread) ? TRUE : FALSE;
}

DWORD GetCurrentThreadId()
{
    if (t_threadId == 0)
        t_threadId = g_nextThreadId.fetch_add(1);
    return t_threadId;
}

DWORD GetCurrentProcessId()
{
    return static_cast<DWORD>(getpid());
}

namespace platform
{
HANDLE CreateProcessHandle(pid_t pid)
{
    auto* p = new ProcessObject();
    p->pid = pid;
    p->refs.fetch_add(1); // the reaper's reference
    std::thread(
        [p]
        {
            int status = 0;
            pid_t r;
            do
                r = waitpid(p->pid, &status, 0);
            while (r < 0 && errno == EINTR);
            DWORD code = 1;
            if (r == p->pid)
                code = WIFEXITED(status) ? static_cast<DWORD>(WEXITSTATUS(status))
                                         : static_cast<DWORD>(128 + WTERMSIG(status));
            {
                std::lock_guard lock(g_kernelLock);
                p->exitCode = code;
                p->finished = true;
            }
            g_kernelChanged.notify_all();
            Release(p);
        })
        .detach();
    return p;
}

pid_t GetProcessPid(HANDLE process)
{
    KernelObject* obj = FromHandle(process);
    return obj && obj->kind == Kind::Process ? static_cast<ProcessObject*>(obj)->pid : -1;
}
} // namespace platform

BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode)
{
    auto* p = As<ProcessObject>(process, Kind::Process);
    if (!p || !exitCode)
        return FALSE;
    std::lock_guard lock(g_kernelLock);
    *exitCode = p->exitCode;
    return TRUE;
}

BOOL TerminateProcess(HANDLE process, UINT)
{
    auto* p = As<ProcessObject>(process, Kind::Process);
    if (!p)
        return FALSE;
    {
        std::lock_guard lock(g_kernelLock);
        if (p->finished)
            return TRUE;
    }
    if (kill(p->pid, SIGKILL) != 0)
    {
        platform::SetLastErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE handle)
{
    KernelObject* obj = FromHandle(handle);
    if (!obj)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Release(obj);
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD timeoutMs)
{
    return WaitForMultipleObjects(1, &handle, TRUE, timeoutMs);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD timeoutMs)
{
    if (count == 0 || !handles)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<KernelObject*> objects;
    objects.reserve(count);
    for (DWORD i = 0; i < count; ++i)
    {
        KernelObject* obj = FromHandle(handles[i]);
        if (!obj)
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        objects.push_back(obj);
    }
    const auto self = std::this_thread::get_id();
    DWORD which = WAIT_TIMEOUT;
    auto ready = [&]
    {
        if (waitAll)
        {
            for (auto* o : objects)
                if (!o->IsSignaled(self))
                    return false;
            for (auto* o : objects)
                o->Acquire(self);
            which = WAIT_OBJECT_0;
            return true;
        }
        for (DWORD i = 0; i < count; ++i)
        {
            if (objects[i]->IsSignaled(self))
            {
                objects[i]->Acquire(self);
                which = WAIT_OBJECT_0 + i;
                return true;
            }
        }
        return false;
    };
    std::unique_lock lock(g_kernelLock);
    if (timeoutMs == INFINITE)
        g_kernelChanged.wait(lock, ready);
    else
        g_kernelChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    return which;
}

BOOL SetCurrentDirectoryA(LPCSTR path)
{
    if (!path || !*path)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (chdir(path) != 0)
    {
        platform::SetLastErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}

void Sleep(DWORD ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

ULONGLONG GetTickCount64()
{
    using namespace std::chrono;
    return static_cast<ULONGLONG>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

DWORD GetTickCount()
{
    return static_cast<DWORD>(GetTickCount64());
}

int MultiByteToWideChar(UINT, DWORD, LPCSTR text, int bytes, LPWSTR wide, int wideChars)
{
    if (!text || bytes == 0 || bytes < -1 || wideChars < 0 || (wideChars > 0 && !wide))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::size_t length = bytes == -1 ? std::strlen(text) + 1 : static_cast<std::size_t>(bytes);
    const std::wstring converted = platform::Utf8ToWide(std::string_view(text, length));
    if (wideChars == 0)
        return static_cast<int>(converted.size());
    const std::size_t fit = std::min(converted.size(), static_cast<std::size_t>(wideChars));
    std::copy_n(converted.data(), fit, wide);
    if (fit < converted.size())
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return static_cast<int>(fit);
}

LONG InterlockedIncrement(LONG volatile* value)
{
    return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST);
}

LONG InterlockedDecrement(LONG volatile* value)
{
    return __atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST);
}

LONG InterlockedExchange(LONG volatile* target, LONG value)
{
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

LONG InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand)
{
    __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}

void InitializeCriticalSection(CRITICAL_SECTION* cs)
{
    cs->impl = new std::recursive_mutex();
}

void DeleteCriticalSection(CRITICAL_SECTION* cs)
{
    delete static_cast<std::recursive_mutex*>(cs->impl);
    cs->impl = nullptr;
}

void EnterCriticalSection(CRITICAL_SECTION* cs)
{
    static_cast<std::recursive_mutex*>(cs->impl)->lock();
}

BOOL TryEnterCriticalSection(CRITICAL_SECTION* cs)
{
    return static_cast<std::recursive_mutex*>(cs->impl)->try_lock() ? TRUE : FALSE;
}

void LeaveCriticalSection(CRITICAL_SECTION* cs)
{
    static_cast<std::recursive_mutex*>(cs->impl)->unlock();
}

namespace
{
// Keeps a file object alive while a call blocks on it, so that a CloseHandle from another thread cannot
// close (and let the system reuse) the descriptor under a running read or write.
struct FileRef
{
    explicit FileRef(HANDLE h) : file(As<FileObject>(h, Kind::File))
    {
        if (file)
            file->refs.fetch_add(1);
    }
    ~FileRef()
    {
        if (file)
            Release(file);
    }
    FileRef(const FileRef&) = delete;
    FileRef& operator=(const FileRef&) = delete;
    FileObject* file;
};

bool IsPipe(int fd)
{
    struct stat st
    {
    };
    return fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode);
}
} // namespace

BOOL CreatePipe(HANDLE* readPipe, HANDLE* writePipe, LPSECURITY_ATTRIBUTES, DWORD size)
{
    if (!readPipe || !writePipe)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
    {
        platform::SetLastErrorFromErrno();
        return FALSE;
    }
    if (size > 0)
        fcntl(fds[1], F_SETPIPE_SZ, static_cast<int>(std::min<DWORD>(size, 1u << 20))); // a hint only
    *readPipe = new FileObject(fds[0], true);
    *writePipe = new FileObject(fds[1], true);
    return TRUE;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, DWORD* read, LPOVERLAPPED overlapped)
{
    if (read)
        *read = 0;
    if (overlapped || (!buffer && toRead > 0))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    FileRef ref(file);
    if (!ref.file)
        return FALSE;
    ssize_t n;
    do
        n = ::read(ref.file->fd, buffer, toRead);
    while (n < 0 && errno == EINTR);
    if (n < 0)
    {
        platform::SetLastErrorFromErrno();
        return FALSE;
    }
    if (read)
        *read = static_cast<DWORD>(n);
    if (n == 0 && toRead > 0 && ref.file->isPipe)
    {
        SetLastError(ERROR_BROKEN_PIPE);
        return FALSE;
    }
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, DWORD* written, LPOVERLAPPED overlapped)
{
    if (written)
        *written = 0;
    if (overlapped || (!buffer && toWrite > 0))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    FileRef ref(file);
    if (!ref.file)
        return FALSE;
    // A write to a pipe without readers raises SIGPIPE, which would end the whole process; it is held
    // back for this thread and taken away again, so that the caller gets ERROR_BROKEN_PIPE instead.
    sigset_t pipeSignal, previous, pending;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    sigpending(&pending);
    const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
    const auto* bytes = static_cast<const char*>(buffer);
    DWORD done = 0;
    int error = 0;
    while (done < toWrite)
    {
        const ssize_t n = ::write(ref.file->fd, bytes + done, toWrite - done);
        if (n < 0)
        {
            if (errno == EINTR)
                continue;
            error = errno;
            break;
        }
        done += static_cast<DWORD>(n);
    }
    if (error == EPIPE && !alreadyPending)
    {
        const timespec noWait{0, 0};
        while (sigtimedwait(&pipeSignal, nullptr, &noWait) < 0 && errno == EINTR)
        {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (written)
        *written = done;
    if (error != 0)
    {
        SetLastError(platform::ErrorFromErrno(error));
        return FALSE;
    }
    return TRUE;
}

namespace platform
{
HANDLE CreateFdHandle(int fd)
{
    const int flags = fd < 0 ? -1 : fcntl(fd, F_GETFD);
    if (flags < 0)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    return new FileObject(fd, IsPipe(fd));
}

int GetHandleFd(HANDLE file)
{
    KernelObject* obj = FromHandle(file);
    return obj && obj->kind == Kind::File ? static_cast<FileObject*>(obj)->fd : -1;
}
} // namespace platform
