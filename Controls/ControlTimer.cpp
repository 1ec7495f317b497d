#include "Controls/ControlTimer.h"

CControlTimer::CControlTimer(HWND window, UINT id, TIMERPROC procedure)
    : m_hWnd(window), m_nId(id), m_pProcedure(procedure)
{
}

bool CControlTimer::Start(UINT ms)
{
    if (!m_hWnd)
        return false;
    m_nInterval = ms;
    ::SetTimer(m_hWnd, m_nId, ms, m_pProcedure);
    m_bRunning = 1;
    m_dwStart = GetTickCount();
    return true;
}

void CControlTimer::Stop()
{
    ::KillTimer(m_hWnd, m_nId);
    m_bRunning = 0;
}
