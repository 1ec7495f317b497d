#pragma once

#include "platform/win/Kernel.h"
#include "platform/win/WinTypes.h"

#include <atomic>

/// A periodic timer running on a thread of its own. A new timer is paused: it ticks only after Start,
/// one interval after Start and then one interval after each tick returned (the time spent in OnTimer
/// delays the next tick). Start, Pause and SetInterval may be called from any thread while the timer
/// thread runs; OnTimer runs on the timer thread.
///
/// A class that overrides OnTimer must call StopThread in its own destructor, before any of its members
/// go: the base destructor can only stop the thread after the derived part is gone, when a tick in
/// progress would be calling into a destroyed object.
class CGITimer
{
public:
    CGITimer();
    virtual ~CGITimer();
    CGITimer(const CGITimer&) = delete;
    CGITimer& operator=(const CGITimer&) = delete;

    /// Ends the pause: the next tick comes one interval later.
    void Start();
    /// Suppresses ticks until Start; a tick whose interval is running when Pause comes is dropped.
    void Pause();
    /// Takes effect from the next wait on. Until set, the interval is INFINITE and the timer never ticks.
    void SetInterval(DWORD intervalMs);

protected:
    /// One tick, on the timer thread.
    virtual void OnTimer() = 0;

    /// Tells the thread to end and waits until it has ended (including a tick in progress, which the
    /// caller must release first if it can block). Safe to call more than once; after it the timer no
    /// longer ticks.
    void StopThread();

private:
    static unsigned ThreadProc(void* param);

    std::atomic<DWORD> m_intervalMs{INFINITE};
    std::atomic<bool> m_stopped{true};
    HANDLE m_hStopEvent = nullptr;
    HANDLE m_hDoneEvent = nullptr;
    HANDLE m_hRunEvent = nullptr;
    std::atomic<bool> m_paused{true};
    HANDLE m_hThread = nullptr;
};
