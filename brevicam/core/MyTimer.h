#pragma once

#include "brevicam/core/GITimer.h"
#include "platform/window/Extras.h"

#include <atomic>

/// A timer whose tick is a message sent to a window: the window's thread handles it synchronously while
/// the timer thread waits, so the next interval starts only after the handler returned. Destroying the
/// timer, from any thread (also from the window's own handler of a tick), gives up a tick that is still
/// waiting or running and ends the thread before the timer goes.
class CMyTimer : public CGITimer
{
public:
    CMyTimer();
    ~CMyTimer() override;

    /// The window and the message (wParam and lParam 0) of each tick. A null window receives nothing.
    void SetTarget(HWND hwnd, UINT message);

protected:
    void OnTimer() override;

private:
    std::atomic<HWND> m_hWnd{nullptr};
    std::atomic<UINT> m_nMessage{0};
    platform::window::SendCanceller m_canceller;
};
