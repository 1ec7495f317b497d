#include "brevicam/media/WaitThread.h"

#include "brevicam/media/WaitDialogWindow.h"
#include "platform/window/Extras.h"
#include "platform/window/WinUser.h"
#include "resources/brevicam/resource.h"

CWaitThread::CWaitThread(CWnd* parent, int textId, const CString& text)
    : m_strText(text), m_pParent(parent), m_nTextId(textId)
{
}

void CWaitThread::CreateThread()
{
    std::shared_ptr<CWaitThread> self = shared_from_this();
    platform::window::PostToUiThread([self] { self->InitInstance(); });
}

BOOL CWaitThread::InitInstance()
{
    if (platform::window::IsShuttingDown())
        return FALSE;
    // The window is built even when the work ended before this turn came: it shows until its first
    // tick, as a window asked for should.
    auto* window = new CWaitDialogWindow(shared_from_this(), m_pParent, m_nTextId, m_strText);
    if (!window->Create(IDD_WAIT_PROGRESS, m_pParent))
    {
        delete window;
        return FALSE;
    }
    return TRUE;
}

void CWaitThread::WindowCreated(HWND window)
{
    int percent, dx, dy;
    {
        std::lock_guard lock(m_lock);
        m_hWindow = window;
        percent = m_nPendingPercent;
        dx = m_nPendingDx;
        dy = m_nPendingDy;
        m_nPendingPercent = -1;
        m_nPendingDx = m_nPendingDy = 0;
    }
    if (percent >= 0)
        ::PostMessage(window, WM_WAIT_PROGRESS, static_cast<WPARAM>(percent), 0);
    if (dx || dy)
        ::PostMessage(window, WM_WAIT_MOVE, static_cast<WPARAM>(dx), static_cast<LPARAM>(dy));
}

void CWaitThread::WindowDestroyed()
{
    std::lock_guard lock(m_lock);
    m_hWindow = nullptr;
}

BOOL CWaitThread::PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_WAIT_PROGRESS && message != WM_WAIT_MOVE)
        return FALSE;
    std::lock_guard lock(m_lock);
    if (m_hWindow)
        return ::PostMessage(m_hWindow, message, wParam, lParam);
    if (message == WM_WAIT_PROGRESS)
        m_nPendingPercent = static_cast<int>(wParam);
    else
    {
        m_nPendingDx += static_cast<int>(wParam);
        m_nPendingDy += static_cast<int>(lParam);
    }
    return TRUE;
}

void CWaitThread::Close()
{
    m_closeEvent.SetEvent();
}

HWND CWaitThread::GetWindow() const
{
    std::lock_guard lock(m_lock);
    return m_hWindow;
}
