#pragma once

#include "brevicam/media/WaitThread.h"
#include "platform/window/Afx.h"

#include <memory>

/// The copy wait window as its caller sees it: Start shows a text and a progress bar while the caller
/// goes on with a long operation, Stop closes it again. The window lives on the user-interface thread;
/// Start and Stop may be called from any thread and never wait for it.
class CWaitDialog : public CCmdTarget
{
public:
    /// `parent` (may be null) is disabled while the window is up.
    explicit CWaitDialog(CWnd* parent);
    /// Stops a started window.
    ~CWaitDialog() override;
    CWaitDialog(const CWaitDialog&) = delete;
    CWaitDialog& operator=(const CWaitDialog&) = delete;

    /// Shows the window with string `textId` of the resource module; nothing when already started.
    void Start(UINT textId);
    /// Lets the window close (within 500 ms); nothing when not started.
    void Stop();

    BOOL IsStarted() const noexcept { return m_bStarted; }
    /// The started window's thread side, for progress; null when not started.
    CWaitThread* GetWaitThread() const noexcept { return m_pWaitThread.get(); }

private:
    BOOL m_bStarted = FALSE;
    CWnd* m_pParent;
    std::shared_ptr<CWaitThread> m_pWaitThread;
};
