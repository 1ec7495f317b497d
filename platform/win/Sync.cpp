#include "Sync.h"

#include <chrono>

BOOL CCriticalSection::Lock(DWORD timeoutMs)
{
    if (timeoutMs == INFINITE)
        return Lock();
    return m_mutex.try_lock_for(std::chrono::milliseconds(timeoutMs)) ? TRUE : FALSE;
}

CEvent::CEvent(BOOL initiallyOwn, BOOL manualReset, LPCSTR name, LPSECURITY_ATTRIBUTES attributes)
    : m_hObject(CreateEventA(attributes, manualReset, initiallyOwn, name))
{
}

CEvent::~CEvent()
{
    CloseHandle(m_hObject);
}

BOOL CEvent::SetEvent()
{
    return ::SetEvent(m_hObject);
}

BOOL CEvent::ResetEvent()
{
    return ::ResetEvent(m_hObject);
}

BOOL CEvent::Lock(DWORD timeoutMs)
{
    return WaitForSingleObject(m_hObject, timeoutMs) == WAIT_OBJECT_0 ? TRUE : FALSE;
}

CMutex::CMutex(BOOL initiallyOwn, LPCSTR name, LPSECURITY_ATTRIBUTES attributes)
    : m_hObject(CreateMutexA(attributes, initiallyOwn, name))
{
}

CMutex::~CMutex()
{
    CloseHandle(m_hObject);
}

BOOL CMutex::Lock(DWORD timeoutMs)
{
    return WaitForSingleObject(m_hObject, timeoutMs) == WAIT_OBJECT_0 ? TRUE : FALSE;
}

BOOL CMutex::Unlock()
{
    return ReleaseMutex(m_hObject);
}

CSingleLock::CSingleLock(CSyncObject* object, BOOL initialLock) : m_object(object)
{
    if (initialLock)
        Lock();
}

CSingleLock::~CSingleLock()
{
    Unlock();
}

BOOL CSingleLock::Lock(DWORD timeoutMs)
{
    if (m_locked || !m_object)
        return m_locked;
    m_locked = m_object->Lock(timeoutMs);
    return m_locked;
}

BOOL CSingleLock::Unlock()
{
    if (m_locked && m_object)
    {
        m_object->Unlock();
        m_locked = FALSE;
    }
    return TRUE;
}
