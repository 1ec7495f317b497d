// The capture panel's capture actions: the capture button and the other ways to press it, the series and
// recording timer, the release of the capture button, the message filter and the session changes.

#include "CaptureDlg.h"

#include "brevicam/capture/CaptureController.h"
#include "brevicam/core/Params.h"
#include "brevicam/core/SkinMessageBox.h"
#include "brevicam/core/StartupObjects.h"
#include "brevicam/explorer/ShellList.h"
#include "brevicam/ui/BrevicamDlg.h"
#include "brevicam/ui/CaptureSteps.h"
#include "platform/ostrago/Ostrago.h"
#include "platform/session/WtsApi.h"
#include "resources/brevicam/resource.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace
{
constexpr UINT kMouseFirst = 0x200;
constexpr UINT kMouseLast = 0x20D;
constexpr UINT kKeyFirst = 0x100;
constexpr UINT kKeyLast = 0x109;

/// Runs a controller call; what it throws is reported and ends nothing else.
template <typename Action> bool Guard(Action action)
{
    try
    {
        action();
        return true;
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "brevicam: %s\n", error.what());
    }
    catch (...)
    {
        std::fprintf(stderr, "brevicam: unknown failure\n");
    }
    return false;
}

int PhotoFormat()
{
    CSingleLock lock(&g_params.m_cs, TRUE);
    return g_params.m_PhotoFormat;
}
} // namespace

bool CCaptureDlg::IsRecording() const
{
    return m_pController && m_pController->m_graph.GetGraphMode() == 1 && m_pController->m_graph.IsRunning();
}

bool CCaptureDlg::HasEnoughPhotoSpace()
{
    return EnsurePhotoSpace(m_hWnd, m_captureButton.GetSafeHwnd());
}

void CCaptureDlg::OnCaptureButton()
{
    OnCapture();
}

void CCaptureDlg::OnCapture()
{
    if (!m_pController || !WindowAlive())
        return;
    const int mode = g_params.GetCamMode();
    const bool photoOk = CParams::PathExists(g_params.GetPhotoPath(), TRUE);
    const bool videoOk = CParams::PathExists(g_params.GetVideoPath(), TRUE);
    if (mode >= 0 && mode <= 2 && !photoOk)
    {
        SetCaptureCheck(0);
        SkinMessageBoxId(m_hWnd, IDS_PHOTO_FOLDER_INVALID, CParams::GetAppTitle().GetString(), MB_ICONERROR);
        return;
    }
    if (mode == 3 && !videoOk)
    {
        SetCaptureCheck(0);
        SkinMessageBoxId(m_hWnd, IDS_VIDEO_FOLDER_INVALID, CParams::GetAppTitle().GetString(), MB_ICONERROR);
        return;
    }

    switch (mode)
    {
    case 0:
        if (!HasEnoughPhotoSpace())
            return;
        EnableModeButtons(true, false, false, false);
        EnableFileButtons(false);
        m_pController->m_pProgState->SetState(PS_SHOT_STARTED);
        Guard([this] { m_pController->Shoot(PhotoFormat()); });
        break;
    case 1:
        EnableModeButtons(false, true, false, false);
        if (m_pController->IsBurstRunning())
        {
            StopSeriesTimer();
            m_nElapsedMs = 0;
            EnableModeButtons(true, true, true, true);
        }
        else
            StartSeriesTimer();
        Guard([this] { m_pController->Shoot(PhotoFormat()); });
        break;
    case 2:
        if (!HasEnoughPhotoSpace())
            return;
        EnableModeButtons(false, false, true, false);
        EnableFileButtons(false);
        StartSeriesTimer();
        m_pController->m_pProgState->SetState(PS_SHOT_STARTED);
        break;
    case 3:
        EnableModeButtons(false, false, false, true);
        EnableFileButtons(false);
        m_pList->EnableContextMenu(FALSE);
        Guard([this] { m_pController->ToggleRecording(PS_RECORD_STOPPED); });
        if (!WindowAlive())
            return;
        if (GetWebcamModel() == 18 && m_pMainDialog && m_pMainDialog->GetHwnd())
            if (HWND surface = ::GetDlgItem(m_pMainDialog->GetHwnd(), IDC_LIVE_VIDEO))
                ::RedrawWindow(surface, nullptr, nullptr, RDW_UPDATENOW);
        if (g_bCaptureDlgButtonsRestored == 0)
        {
            EnableModeButtons(true, true, true, true);
            EnableFileButtons(true);
            g_bCaptureDlgButtonsRestored = 1;
            m_pList->EnableContextMenu(TRUE);
        }
        break;
    default:
        break;
    }
}

void CCaptureDlg::OnCaptureAccelerator()
{
    if (m_pController && m_pController->m_graph.IsRunning() && m_captureButton.IsWindowEnabled())
        OnCapture();
}

LRESULT CCaptureDlg::OnCameraSnapshot(WPARAM, LPARAM)
{
    if (m_captureButton.GetSafeHwnd() && m_captureButton.IsWindowEnabled())
        OnCapture();
    return 0;
}

LRESULT CCaptureDlg::OnCaptureTimer(WPARAM, LPARAM)
{
    if (!m_pController)
        return 0;
    const bool fullScreen = m_pMainDialog && m_pMainDialog->m_bFullScreen;
    switch (g_params.GetCamMode())
    {
    case 1:
        if (m_nElapsedMs < static_cast<int>(kBurstCountdownMs))
        {
            if (WindowAlive())
            {
                m_anim.Update(static_cast<UINT>(m_nElapsedMs));
                m_chrono.Display(static_cast<UINT>(m_nElapsedMs));
            }
            m_nElapsedMs += kSeriesStepMs;
        }
        else
        {
            if (m_nElapsedMs == static_cast<int>(kBurstCountdownMs) && m_bSeriesTimerRunning)
            {
                StopSeriesTimer();
                m_seriesTimer.SetInterval(BurstFramePeriodMs());
                m_seriesTimer.Start();
                m_bSeriesTimerRunning = true;
                // From now on the clock stays at the end of the countdown.
                m_nElapsedMs = kBurstCountdownMs + 1;
            }
            bool ok = true;
            if (!fullScreen)
                Guard([this, &ok] { ok = m_pController->OnBurstTimer(); });
            if (g_bCaptureDlgReenable == 1)
            {
                EnableModeButtons(true, true, true, true);
                g_bCaptureDlgReenable = 0;
            }
            if (m_pController->GetBurstImageCount() == 0 || !ok)
            {
                StopSeriesTimer();
                m_nElapsedMs = 0;
            }
            if (WindowAlive())
            {
                const UINT shown = m_nElapsedMs == 0 ? 0 : kBurstCountdownMs;
                m_chrono.Display(shown);
                m_anim.Update(shown);
                if (m_nElapsedMs == 0)
                    m_chrono.ShowWindow(SW_HIDE);
            }
        }
        break;
    case 2:
    {
        m_nElapsedMs += kSeriesStepMs;
        if (m_nElapsedMs >= SelfTimerDelayMs())
        {
            StopSeriesTimer();
            bool ok = true;
            if (!fullScreen && !Guard([this, &ok] { ok = m_pController->OnBurstTimer(); }))
                ok = false;
            if (ok && WindowAlive())
            {
                EnableModeButtons(true, true, true, true);
                EnableFileButtons(true);
                m_pList->EnableContextMenu(TRUE);
            }
            m_nElapsedMs = 0;
        }
        if (WindowAlive())
            m_anim.Update(static_cast<UINT>(m_nElapsedMs));
        break;
    }
    case 3:
        if (m_recordStartTick != 0)
        {
            m_nElapsedMs = static_cast<int>(GetTickCount() - m_recordStartTick);
            if (WindowAlive())
                m_chrono.Display(static_cast<UINT>(m_nElapsedMs));
            EnableModeButtons(false, false, false, true);
            EnableFileButtons(false);
        }
        break;
    default:
        m_seriesTimer.Pause();
        break;
    }
    return 0;
}

LRESULT CCaptureDlg::OnReleaseCaptureButton(WPARAM, LPARAM)
{
    // Clicks and keys that came while a capture or a resolution change held the thread are dropped.
    const HWND windows[] = {m_hWnd, m_pMainDialog ? m_pMainDialog->GetHwnd() : nullptr,
                            m_captureButton.GetSafeHwnd()};
    MSG pending{};
    for (HWND window : windows)
    {
        if (!window)
            continue;
        while (::PeekMessage(&pending, window, kMouseFirst, kMouseLast, PM_REMOVE))
        {
        }
        while (::PeekMessage(&pending, window, kKeyFirst, kKeyLast, PM_REMOVE))
        {
        }
    }
    SetCaptureCheck(0);
    return 0;
}

BOOL CCaptureDlg::PreTranslateMessage(MSG* msg)
{
    // The Windows 7 check of a running recording is dormant here: the Linux profile is never Windows 7,
    // and a recording is never deleted for it.
    if (msg->message == WM_WTSSESSION_CHANGE)
        OnSessionChange(msg->wParam);
    else if (m_bRestartPending && IsWindowVisible())
    {
        m_bRestartPending = false;
        PostMessage(WM_PANEL_REBUILD_PREVIEW, kPreviewRebuildTries, 0);
    }

    if (m_pToolTip && m_pToolTip->GetSafeHwnd())
        m_pToolTip->RelayEvent(msg);

    if (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN)
    {
        if (msg->wParam == VK_DELETE && (m_pList->GetSelectedCount() == 0 || m_nSelectedRecordingCount != 0))
            return TRUE;
        if ((msg->wParam == VK_F11 || msg->wParam == VK_ESCAPE) && m_pMainDialog && m_pMainDialog->GetHwnd())
            ::PostMessage(m_pMainDialog->GetHwnd(), msg->message, msg->wParam, 0);
    }

    if ((msg->message == WM_LBUTTONDOWN || msg->message == WM_LBUTTONDBLCLK) &&
        msg->hwnd == m_captureButton.GetSafeHwnd())
    {
        const bool late = FilterCapturePress(*msg);
        // A double click makes one press: the second click of the pair is dropped.
        if (msg->message == WM_LBUTTONDBLCLK)
            return TRUE;
        if (late)
            return FALSE;
    }
    return CDialogColleague::PreTranslateMessage(msg);
}

void CCaptureDlg::OnSessionChange(WPARAM change)
{
    switch (change)
    {
    case WTS_CONSOLE_DISCONNECT:
    case WTS_SESSION_LOGOFF:
    case WTS_SESSION_LOCK:
        m_bRestartPending = true;
        if (g_params.GetCamMode() == 3 && m_pController && m_pController->m_graph.IsRunning() &&
            m_captureButton.IsWindowEnabled())
        {
            if (IsRecording())
                Guard([this] { m_pController->ToggleRecording(PS_RECORD_STOPPED); });
            if (!WindowAlive())
                return;
            m_pController->m_pProgState->SetState(PS_READY);
            StopSeriesTimer();
            m_deviceCheckTimer.Pause();
            m_nElapsedMs = 0;
            SetCaptureCheck(0);
            if (m_pMainDialog && m_pMainDialog->GetHwnd())
                if (HWND surface = ::GetDlgItem(m_pMainDialog->GetHwnd(), IDC_LIVE_VIDEO))
                    ::RedrawWindow(surface, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
            EnableModeButtons(true, true, true, true);
            EnableFileButtons(true);
            m_chrono.Display(0);
            m_recLabel.ShowWindow(SW_SHOW);
            m_recDot.ShowWindow(SW_SHOW);
            m_pController->m_pVideoState->SetState(VS_RUNNING);
            m_pList->EnableContextMenu(TRUE);
        }
        break;
    case WTS_CONSOLE_CONNECT:
    case WTS_SESSION_LOGON:
    case WTS_SESSION_UNLOCK:
        m_bRestartPending = false;
        PostMessage(WM_PANEL_REBUILD_PREVIEW, kPreviewRebuildTries, 0);
        break;
    default:
        break;
    }
}

LRESULT CCaptureDlg::OnRebuildPreview(WPARAM wParam, LPARAM)
{
    // One try per message, so that a busy camera never holds the user interface; at most a few tries.
    const int triesLeft = static_cast<int>(wParam);
    if (!m_pController || triesLeft <= 0)
        return 0;
    OAFilterState state = State_Stopped;
    m_pController->m_graph.GetState(0, &state);
    if (state == State_Running)
        return 0;
    const bool rebuilt = Guard(
        [this]
        {
            m_pController->ChangeResolution(CResolution(320, 240, false));
            CResolution stored;
            CCaptureGraph::ParseResolutionText(g_params.GetVideoResolution(), &stored.m_width,
                                               &stored.m_height);
            stored.m_interpolated = m_pController->m_graph.IsInterpolated(stored) != 0;
            m_pController->ChangeResolution(stored);
        });
    if (!WindowAlive())
        return 0;
    if (m_pMainDialog && m_pMainDialog->GetHwnd())
        if (HWND surface = ::GetDlgItem(m_pMainDialog->GetHwnd(), IDC_LIVE_VIDEO))
            ::RedrawWindow(surface, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    state = State_Stopped;
    m_pController->m_graph.GetState(0, &state);
    if ((!rebuilt || state != State_Running) && triesLeft > 1)
        PostMessage(WM_PANEL_REBUILD_PREVIEW, static_cast<WPARAM>(triesLeft - 1), 0);
    return 0;
}
