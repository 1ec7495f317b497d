#include "MyTimer.h"

CMyTimer::CMyTimer() = default;

CMyTimer::~CMyTimer()
{
    // A tick waiting for the window's thread would keep the thread from ending when that thread is the
    // one destroying the timer; giving up the send releases it.
    m_canceller.Cancel();
    StopThread();
}

void CMyTimer::SetTarget(HWND hwnd, UINT message)
{
    m_hWnd = hwnd;
    m_nMessage = message;
}

void CMyTimer::OnTimer()
{
    platform::window::SendMessageCancellable(m_hWnd, m_nMessage, 0, 0, m_canceller);
}
