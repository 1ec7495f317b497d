#pragma once

#include "platform/window/Afx.h"

/// A window timer of a control: SetTimer on start, KillTimer on stop. User-interface thread only.
class CControlTimer
{
public:
    CControlTimer(HWND window, UINT id, TIMERPROC procedure = nullptr);
    /// FALSE, starting nothing, without a window.
    bool Start(UINT ms);
    void Stop();
    bool IsRunning() const noexcept { return m_bRunning != 0; }

private:
    DWORD m_dwStart = 0;
    HWND m_hWnd;
    UINT m_nId;
    BYTE m_bRunning = 0;
    UINT m_nInterval = 0;
    TIMERPROC m_pProcedure;
};
