#pragma once

#include "Export.h"
#include "Kernel.h"
#include "WinTypes.h"

#include <mutex>

/// The class library's synchronisation objects and its scoped lock.
class PLATFORM_API CSyncObject
{
public:
    virtual ~CSyncObject() = default;
    /// Waits up to `timeoutMs` for the object; true when it was taken.
    virtual BOOL Lock(DWORD timeoutMs = INFINITE) = 0;
    virtual BOOL Unlock() = 0;
};

/// Re-entrant: the thread that holds it may take it again, and must release it as often.
class PLATFORM_API CCriticalSection : public CSyncObject
{
public:
    CCriticalSection() = default;
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    BOOL Lock()
    {
        m_mutex.lock();
        return TRUE;
    }
    BOOL Lock(DWORD timeoutMs) override;
    BOOL Unlock() override
    {
        m_mutex.unlock();
        return TRUE;
    }

private:
    std::recursive_timed_mutex m_mutex;
};

/// An event object (auto-reset unless `manualReset`), also usable as a HANDLE.
class PLATFORM_API CEvent : public CSyncObject
{
public:
    explicit CEvent(BOOL initiallyOwn = FALSE, BOOL manualReset = FALSE, LPCSTR name = nullptr,
                    LPSECURITY_ATTRIBUTES attributes = nullptr);
    ~CEvent() override;
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    BOOL SetEvent();
    BOOL ResetEvent();
    BOOL Lock(DWORD timeoutMs = INFINITE) override;
    BOOL Unlock() override { return TRUE; }
    operator HANDLE() const noexcept { return m_hObject; }

    HANDLE m_hObject;
};

/// A mutex object owned recursively by one thread at a time.
class PLATFORM_API CMutex : public CSyncObject
{
public:
    explicit CMutex(BOOL initiallyOwn = FALSE, LPCSTR name = nullptr,
                    LPSECURITY_ATTRIBUTES attributes = nullptr);
    ~CMutex() override;
    CMutex(const CMutex&) = delete;
    CMutex& operator=(const CMutex&) = delete;

    BOOL Lock(DWORD timeoutMs = INFINITE) override;
    BOOL Unlock() override;
    operator HANDLE() const noexcept { return m_hObject; }

    HANDLE m_hObject;
};

/// Takes a synchronisation object for a scope; releases it on destruction when still held.
class PLATFORM_API CSingleLock
{
public:
    explicit CSingleLock(CSyncObject* object, BOOL initialLock = FALSE);
    ~CSingleLock();
    CSingleLock(const CSingleLock&) = delete;
    CSingleLock& operator=(const CSingleLock&) = delete;

    BOOL Lock(DWORD timeoutMs = INFINITE);
    BOOL Unlock();
    BOOL IsLocked() const noexcept { return m_locked; }

private:
    CSyncObject* m_object;
    BOOL m_locked = FALSE;
};
