// The main window's full-screen mode: entering and leaving it, the hand-over of a running series or
// recording between the capture panel and the compact capture window, and the timers' full-screen duties.

#include "BrevicamDlg.h"

#include "brevicam/capture/CaptureController.h"
#include "brevicam/capture/DeviceGraph.h"
#include "brevicam/core/Params.h"
#include "platform/ostrago/Ostrago.h"

#include <initializer_list>

namespace
{
/// The model whose picture is repainted at once after the surface moved.
constexpr int kRepaintModel = 18;
constexpr int kExitWindowMargin = 5;
constexpr int kExitWindowMirroredLeft = 270;
constexpr int kExitWindowFromRight = 50;
constexpr int kSmallWindowMirroredShift = 104;

/// Moves a skinned window and its layered background to (x, y) without resizing and puts both above the
/// full-screen host: they are top-level windows drawn over the live picture, not children of it.
void PlaceOverPicture(CTransparentDialogBase& dialog, int x, int y)
{
    CRect rect;
    dialog.GetWindowRect(&rect);
    const RECT place{x, y, x + rect.Width(), y + rect.Height()};
    dialog.MoveWindow(place);
    const UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
    if (HWND layered = dialog.GetLayeredWindow())
        ::SetWindowPos(layered, HWND_TOPMOST, 0, 0, 0, 0, flags);
    dialog.SetWindowPos(&CWnd::wndTopMost, 0, 0, 0, 0, flags);
}

CRect DesktopRect()
{
    CRect desktop;
    ::GetWindowRect(::GetDesktopWindow(), &desktop);
    return desktop;
}

void Repaint(CWnd& window)
{
    window.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

/// The capture panel's timer counts a series or a recording's clock again, from a whole step.
void RestartPanelTimer(CCaptureDlg& panel)
{
    panel.StopSeriesTimer();
    panel.StartSeriesTimer();
}
} // namespace

void CBrevicamDlg::EnterFullScreen()
{
    const int video = m_pController ? m_pController->m_pVideoState->GetState() : VS_MISSING;
    if (video == VS_IN_USE || video == VS_MISSING || video == VS_LOST || !m_liveVideo.GetSafeHwnd())
    {
        // Refused silently; the next F11 tries again.
        m_bFullScreen = FALSE;
        return;
    }
    if (::GetParent(m_liveVideo.GetSafeHwnd()) != m_hWnd)
        return;
    if (isWindows7())
        m_liveVideo.ModifyStyle(0, WS_CLIPCHILDREN);
    const CRect desktop = DesktopRect();
    const int width = desktop.right;
    const int height = desktop.bottom;
    const bool mirrored = (GetExStyle() & WS_EX_LAYOUTRTL) != 0;

    if (!m_smallDlg.GetSafeHwnd())
    {
        m_smallDlg.SetController(m_pController);
        m_smallDlg.SetNoticeOpenFlag(&m_bNoticeOpen);
        m_smallDlg.Create(CCaptureSmallDlg::IDD, this);
        CRect rect;
        m_smallDlg.GetWindowRect(&rect);
        PlaceOverPicture(m_smallDlg,
                         mirrored ? rect.Width() - width + kSmallWindowMirroredShift : width - rect.Width(),
                         height - rect.Height());
    }
    if (!m_exitDlg.GetSafeHwnd())
    {
        m_exitDlg.Create(ExitFullscreenDlg::IDD, this);
        PlaceOverPicture(m_exitDlg, mirrored ? kExitWindowMirroredLeft : kExitWindowMargin,
                         kExitWindowMargin);
    }
    if (!m_fullscreenWnd.GetSafeHwnd())
        m_fullscreenWnd.Create(FullscreenWnd::IDD, this);
    m_fullscreenWnd.SetParent(nullptr);
    m_liveVideo.SetParent(&m_fullscreenWnd);

    m_fullscreenWnd.SetWindowPos(&CWnd::wndTopMost, 0, 0, width, height, SWP_SHOWWINDOW);
    m_liveVideo.ShowWindow(SW_SHOW);
    m_exitDlg.ShowWindow(SW_SHOW);
    m_smallDlg.ShowWindow(SW_SHOW);
    if (CaptureWindowExists())
        m_captureDlg.ShowWindow(SW_HIDE);
    ShowWindow(SW_HIDE);
    // The keyboard goes with the picture, not with a hidden window.
    m_fullscreenWnd.SetFocus();
    m_liveVideo.SetWindowPos(nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    m_liveVideo.SetBackgroundColor(0);

    const int mode = g_params.GetCamMode();
    if (!TakeCaptureFromPanel())
    {
        if (mode == 1 || mode == 2)
        {
            // Taken once: a series handed over twice would take its pictures twice.
            if (m_bSavedTimerRunning && m_nSavedElapsedMs >= 0)
                m_smallDlg.ContinueSeries(m_nSavedElapsedMs);
            else
                m_smallDlg.ClearSeries();
            m_nSavedElapsedMs = -1;
            m_bSavedTimerRunning = false;
        }
        else if (mode == 3)
        {
            const bool recording = m_pController->m_graph.GetGraphMode() == 1;
            // The clock goes on from the recording's start, not from this entry.
            m_smallDlg.ContinueRecording(recording ? static_cast<DWORD>(m_nSavedRecordStartTick) : 0);
            m_nSavedRecordStartTick = 0;
        }
    }

    PlaceOverPicture(m_exitDlg, mirrored ? kExitWindowMirroredLeft : kExitWindowMargin, kExitWindowMargin);
    CRect small;
    m_smallDlg.GetWindowRect(&small);
    PlaceOverPicture(m_smallDlg, small.left, small.top);
    m_smallDlg.ShowWindow(SW_SHOW);
    m_exitDlg.ShowWindow(SW_SHOW);
    g_params.SetFullscreenWnd(m_liveVideo.GetSafeHwnd());
    Guarded([this] { RefitVideo(FALSE); });
    SetTimer(kCompactWindowTimer, kCompactWindowPeriodMs);
    if (GetWebcamModel() == kRepaintModel)
        Repaint(m_liveVideo);
}

void CBrevicamDlg::LeaveFullScreen()
{
    m_bFullScreen = FALSE;
    if (!m_liveVideo.GetSafeHwnd() || ::GetParent(m_liveVideo.GetSafeHwnd()) == m_hWnd)
        return;
    if (isWindows7())
        m_liveVideo.ModifyStyle(WS_CLIPCHILDREN, 0);
    m_liveVideo.SetParent(this);
    m_fullscreenWnd.ShowWindow(SW_HIDE);
    // Shown and brought forward directly: a minimise and restore in quick succession reaches an X11
    // desktop out of order, and its late "minimised" would send the window off the screen again.
    ShowWindow(SW_SHOWNORMAL);
    SetForegroundWindow();
    RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    if (CaptureWindowExists())
    {
        m_captureDlg.ShowWindow(SW_SHOW);
        // The compact window may have changed the mode.
        m_captureDlg.UpdateModeButtons();
    }
    m_liveVideo.SetWindowPos(nullptr, kVideoLeft, kVideoTop, kVideoWidth, kVideoHeight,
                             SWP_NOZORDER | SWP_NOACTIVATE);
    m_liveVideo.SetBackgroundColor(0);

    const int mode = g_params.GetCamMode();
    if (!HandCaptureToPanel())
    {
        if (mode == 3)
            m_nSavedRecordStartTick = static_cast<int>(m_smallDlg.GetRecordStartTick());
        else if (mode == 1 || mode == 2)
        {
            m_nSavedElapsedMs = m_smallDlg.GetElapsed();
            m_bSavedTimerRunning = m_smallDlg.IsTimerRunning();
        }
    }
    // Whoever takes the series over counts it from here; two timers would take every picture twice.
    m_smallDlg.PauseTickTimer();

    Guarded([this] { RefitVideo(FALSE); });
    for (CWnd* window : std::initializer_list<CWnd*>{&m_smallDlg, &m_exitDlg})
        if (window->GetSafeHwnd())
        {
            window->ShowWindow(SW_HIDE);
            window->DestroyWindow();
        }
    SetFocus();
    g_params.SetFullscreenWnd(nullptr);
    KillTimer(kCompactWindowTimer);
    if (GetWebcamModel() == kRepaintModel)
        Repaint(m_liveVideo);
}

bool CBrevicamDlg::TakeCaptureFromPanel()
{
    if (!CaptureWindowExists())
        return false;
    const int mode = g_params.GetCamMode();
    if (mode == 1 || mode == 2)
    {
        if (m_captureDlg.m_bSeriesTimerRunning)
            m_smallDlg.ContinueSeries(m_captureDlg.GetElapsed());
        else
            m_smallDlg.ClearSeries();
    }
    else if (mode == 3)
        m_smallDlg.ContinueRecording(m_captureDlg.GetRecordStartTick());
    // The series moves rather than being copied: with both timers counting, a self-timer could fire in
    // either window and a burst's clock would run on in the hidden panel.
    m_captureDlg.StopSeriesTimer();
    return true;
}

bool CBrevicamDlg::HandCaptureToPanel()
{
    if (!CaptureWindowExists())
        return false;
    const int mode = g_params.GetCamMode();
    if (mode == 3)
    {
        const DWORD start = m_smallDlg.GetRecordStartTick();
        m_captureDlg.SetRecordStartTick(start);
        m_captureDlg.EnableCaptureControls(start == 0);
        if (start != 0)
            RestartPanelTimer(m_captureDlg);
        else
            m_captureDlg.StopSeriesTimer();
    }
    else if (mode == 1 || mode == 2)
    {
        if (m_smallDlg.IsTimerRunning())
        {
            m_captureDlg.SetElapsed(m_smallDlg.GetElapsed());
            RestartPanelTimer(m_captureDlg);
        }
        else
        {
            m_captureDlg.StopSeriesTimer();
            // A count left from a series that ended in full screen would cut the next countdown short.
            m_captureDlg.SetElapsed(0);
        }
    }
    return true;
}

void CBrevicamDlg::ShowCompactWindowByInput()
{
    if (!m_smallDlg.GetSafeHwnd())
        return;
    LASTINPUTINFO input{};
    input.cbSize = sizeof input;
    ::GetLastInputInfo(&input);
    const bool recent = GetTickCount() - input.dwTime <= kCompactWindowShowMs;
    const bool shown = m_smallDlg.IsWindowVisible() != FALSE;
    if (recent && !shown)
    {
        m_smallDlg.ShowWindow(SW_SHOWNOACTIVATE);
        CRect rect;
        m_smallDlg.GetWindowRect(&rect);
        PlaceOverPicture(m_smallDlg, rect.left, rect.top);
    }
    else if (!recent && shown && !m_smallDlg.IsResolutionListOpen())
        m_smallDlg.ShowWindow(SW_HIDE);
}

void CBrevicamDlg::LiftExitWindow()
{
    if (!m_exitDlg.GetSafeHwnd())
        return;
    const bool mirrored = (GetExStyle() & WS_EX_LAYOUTRTL) != 0;
    PlaceOverPicture(m_exitDlg, mirrored ? DesktopRect().right - kExitWindowFromRight : kExitWindowMargin,
                     kExitWindowMargin);
}

void CBrevicamDlg::DropFullScreenWindows()
{
    KillTimer(kCompactWindowTimer);
    m_smallDlg.PauseTickTimer();
    if (m_liveVideo.GetSafeHwnd() && ::GetParent(m_liveVideo.GetSafeHwnd()) != m_hWnd)
        m_liveVideo.SetParent(this);
    for (CWnd* window : std::initializer_list<CWnd*>{&m_smallDlg, &m_exitDlg, &m_fullscreenWnd})
        if (window->GetSafeHwnd())
            window->DestroyWindow();
    if (g_params.GetFullscreenWnd() == m_liveVideo.GetSafeHwnd())
        g_params.SetFullscreenWnd(nullptr);
}
