#pragma once

#include "platform/win/CString.h"
#include "platform/win/Sync.h"
#include "platform/win/WinTypes.h"
#include "platform/window/WinUser.h"

#include <memory>
#include <mutex>

class CWnd;

/// Sets the copy wait window's bar to wParam percent (clamped to 0..100).
constexpr UINT WM_WAIT_PROGRESS = WM_USER + 100;
/// Moves the copy wait window by wParam pixels across and lParam pixels down, keeping its size.
constexpr UINT WM_WAIT_MOVE = WM_USER + 101;

/// The side of the copy wait window that a blocked caller talks to: it asks the user-interface thread to
/// build and run the window (windows live on that thread only), forwards progress and moves to it, and
/// holds the close event the window watches. Shared by the CWaitDialog that made it and the window, so
/// either may go first.
class CWaitThread : public std::enable_shared_from_this<CWaitThread>
{
public:
    /// `textId` -1: the window shows `text` instead of a string of the resource module.
    CWaitThread(CWnd* parent, int textId, const CString& text);
    CWaitThread(const CWaitThread&) = delete;
    CWaitThread& operator=(const CWaitThread&) = delete;

    /// Has the window built on the user-interface thread the next time that thread handles its queue;
    /// returns at once. Nothing is built once the program is closing.
    void CreateThread();
    /// WM_WAIT_PROGRESS and WM_WAIT_MOVE, from any thread: handed to the window, or kept for it until it
    /// exists. FALSE for other messages.
    BOOL PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam);
    /// Asks the window to close; it does so on its next timer tick, within 500 ms. Any thread.
    void Close();
    /// The window's handle while it exists, else null. Any thread.
    HWND GetWindow() const;

    /// The close event the window tests on its timer (manual reset, not set at first).
    CEvent& GetCloseEvent() noexcept { return m_closeEvent; }

private:
    friend class CWaitDialogWindow;
    /// Builds and shows the window; user-interface thread.
    BOOL InitInstance();
    /// Called by the window on the user-interface thread once it exists and when it goes.
    void WindowCreated(HWND window);
    void WindowDestroyed();

    CString m_strText;
    CEvent m_closeEvent{FALSE, TRUE};
    CWnd* m_pParent;
    int m_nTextId;

    mutable std::mutex m_lock;
    HWND m_hWindow = nullptr;
    /// Progress and moves that came before the window.
    int m_nPendingPercent = -1;
    int m_nPendingDx = 0;
    int m_nPendingDy = 0;
};
