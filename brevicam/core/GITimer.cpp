#include "GITimer.h"

namespace
{
constexpr unsigned kThreadExitCode = 98;
} // namespace

CGITimer::CGITimer()
{
    m_hStopEvent = CreateEvent(nullptr, FALSE, TRUE, nullptr);
    m_hDoneEvent = CreateEvent(nullptr, FALSE, TRUE, nullptr);
    m_hRunEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr);

    m_stopped = false;
    ResetEvent(m_hDoneEvent);
    ResetEvent(m_hStopEvent);
    // The handle is kept (not closed at once) so that stopping can wait for the thread to be gone.
    m_hThread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &CGITimer::ThreadProc, this, 0, nullptr));
    if (!m_hThread)
        m_stopped = true;
}

CGITimer::~CGITimer()
{
    StopThread();
    m_intervalMs = INFINITE;
    m_paused = true;
    CloseHandle(m_hStopEvent);
    CloseHandle(m_hDoneEvent);
    CloseHandle(m_hRunEvent);
    m_hStopEvent = m_hDoneEvent = m_hRunEvent = nullptr;
}

void CGITimer::Start()
{
    m_paused = false;
    SetEvent(m_hRunEvent);
}

void CGITimer::Pause()
{
    m_paused = true;
    ResetEvent(m_hRunEvent);
}

void CGITimer::SetInterval(DWORD intervalMs)
{
    m_intervalMs = intervalMs;
}

void CGITimer::StopThread()
{
    if (!m_stopped.exchange(true))
    {
        // The run event first, so that a paused thread gets to see the stop.
        SetEvent(m_hRunEvent);
        SetEvent(m_hStopEvent);
    }
    if (m_hThread)
    {
        // Without limit: the events and the object must outlive every use the thread can still make of
        // them. A tick blocked on another thread is released by the derived class before it gets here.
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
        m_hThread = nullptr;
    }
}

unsigned CGITimer::ThreadProc(void* param)
{
    auto* timer = static_cast<CGITimer*>(param);
    if (!timer)
        return 0;
    while (!timer->m_stopped)
    {
        WaitForSingleObject(timer->m_hRunEvent, INFINITE);
        const DWORD rc = WaitForSingleObject(timer->m_hStopEvent, timer->m_intervalMs);
        if (rc == WAIT_TIMEOUT)
        {
            // A stop that began during the wait drops the tick: the derived part may already be going.
            if (!timer->m_paused && !timer->m_stopped)
                timer->OnTimer();
        }
        else
        {
            timer->m_stopped = true;
        }
    }
    SetEvent(timer->m_hDoneEvent);
    return kThreadExitCode;
}
