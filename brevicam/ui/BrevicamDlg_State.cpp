// The main window's half that follows the capture controller and the microphone: the state display, the
// window timers, the device refresh, the microphone wait and the mute buttons.

#include "BrevicamDlg.h"

#include "brevicam/capture/CaptureController.h"
#include "brevicam/capture/WindowlessRenderer.h"
#include "brevicam/core/Params.h"
#include "brevicam/core/SkinMessageBox.h"
#include "brevicam/ui/AboutDlg.h"
#include "miravoc/Miravoc.h"
#include "resources/brevicam/resource.h"
#include "shared/exceptions/Exceptions.h"

#include <cstdio>

namespace
{
constexpr UINT kMouseFirst = 0x200;
constexpr UINT kMouseLast = 0x20D;
constexpr int kParkedPosition = -30000;
constexpr DWORD kRefreshSettleMs = 500;

/// The wait cursor from construction until the object goes, on every path out of the refresh.
class WaitCursor
{
public:
    WaitCursor() : m_previous(SetCursor(LoadCursor(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { SetCursor(m_previous); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR m_previous;
};
} // namespace

// ---------------------------------------------------------------------------------------------------------
// State display
// ---------------------------------------------------------------------------------------------------------

void CBrevicamDlg::Update(CSubject* subject)
{
    if (!m_hWnd || !::IsWindow(m_hWnd) || !m_pController)
        return;
    if (subject == m_pController->m_pProgState)
        OnProgramState(m_pController->m_pProgState->m_state);
    else if (subject == m_pController->m_pVideoState)
        OnVideoState(m_pController->m_pVideoState->m_state);
}

void CBrevicamDlg::OnProgramState(int state)
{
    switch (state)
    {
    case PS_READY:
        if (m_liveVideo.GetSafeHwnd())
            m_liveVideo.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        m_statusLabel.SetText("");
        break;
    case PS_INITIAL:
        m_statusLabel.SetText("");
        break;
    case PS_DEVICE_CHANGED:
        m_statusLabel.SetText(LoadText(IDS_APPLYING_SETTINGS));
        break;
    case PS_DEVICE_RESELECTED:
        m_statusLabel.SetText(LoadText(IDS_DEVICE_DETECTED));
        break;
    case PS_DISK_FULL:
        // The box runs its own message loop: shown once the notification has returned.
        PostMessage(WM_DEFERRED_STATE_BOX, IDS_DISK_FULL_CAPTURE_STOPS, 0);
        break;
    case PS_VMR_FAILED:
        m_statusLabel.SetText("");
        for (CWnd* button :
             std::initializer_list<CWnd*>{&m_captureButton, &m_videoSettingsButton, &m_audioSettingsButton,
                                          &m_fullScreenButton, &m_muteButton, &m_unmuteButton})
            button->EnableWindow(FALSE);
        KillTimer(kVolumeTimer);
        break;
    case PS_FATAL:
    {
        // The controller ends the process as soon as this notification returns, so the box is shown
        // now; graph events that arrive meanwhile are held back.
        ++m_nNotificationBoxes;
        const CString text = LoadStringWithText(IDS_NEED_24BIT_COLOUR, CParams::GetAppTitle().GetString());
        SkinMessageBox(g_params.GetMainWnd(), text.GetString(), CParams::GetAppTitle().GetString(), MB_OK);
        --m_nNotificationBoxes;
        break;
    }
    default:
        break;
    }
    if (m_stateLabel.GetSafeHwnd())
    {
        // Every message change notifies: the label is redrawn only when its text changes.
        const CString message(m_pController->m_pProgState->GetMessage());
        CString shown;
        m_stateLabel.GetWindowText(shown);
        if (shown.Str() != message.Str())
            m_stateLabel.SetText(message);
    }
}

LRESULT CBrevicamDlg::OnDeferredStateBox(WPARAM wParam, LPARAM)
{
    const UINT textId = static_cast<UINT>(wParam);
    if (textId == IDS_DISK_FULL_CAPTURE_STOPS)
    {
        // The compact capture window owns the box while it is shown, once it exists.
        if (CaptureWindowExists())
            m_captureDlg.m_seriesTimer.Pause();
        ++m_nNotificationBoxes;
        SkinMessageBoxId(g_params.GetMainWnd(), textId, CParams::GetAppTitle().GetString(),
                         MB_ICONEXCLAMATION);
        --m_nNotificationBoxes;
    }
    // Graph events that came while the box was open.
    for (; m_nPendingGraphEvents > 0 && m_nNotificationBoxes == 0; --m_nPendingGraphEvents)
        Guarded([this] { m_pController->OnGraphEvent(); });
    return 0;
}

void CBrevicamDlg::OnVideoState(int state)
{
    switch (state)
    {
    case VS_RUNNING:
        for (CWnd* button : std::initializer_list<CWnd*>{&m_captureButton, &m_videoSettingsButton,
                                                         &m_audioSettingsButton, &m_fullScreenButton})
            button->EnableWindow(TRUE);
        SetTimer(kVolumeTimer, kVolumePeriodMs);
        RefreshVolumeControls();
        m_refreshButton.ShowWindow(SW_HIDE);
        m_refreshButton.Invalidate(TRUE);
        break;
    case VS_IN_USE:
    case VS_MISSING:
    case VS_LOST:
        if (state == VS_LOST && m_bFullScreen)
        {
            // Left at once rather than through a posted F11: the surface would otherwise show the lost
            // camera's message over the whole screen first, under a compact window that no longer works.
            m_bFullScreen = FALSE;
            LeaveFullScreen();
        }
        m_captureButton.EnableWindow(FALSE);
        DisableLiveControls();
        if (state == VS_LOST && CaptureWindowExists())
        {
            // A running file action keeps the panel until it ends; the panel closes itself then.
            m_captureDlg.EndModalChild();
            if (!m_captureDlg.m_bFileActionBusy)
            {
                m_captureDlg.ShowWindow(SW_HIDE);
                m_captureDlg.DestroyWindow();
            }
        }
        m_refreshButton.ShowWindow(SW_SHOW);
        m_refreshButton.SetWindowPos(&CWnd::wndTop, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        if (m_liveVideo.GetSafeHwnd())
            m_liveVideo.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        break;
    case VS_RES_CHANGE:
        DisableLiveControls();
        if (m_exitDlg.GetSafeHwnd())
        {
            // The way out of full screen stays on the screen while the picture is away.
            LiftExitWindow();
            if (m_liveVideo.GetSafeHwnd())
                m_liveVideo.ShowWindow(SW_HIDE);
            m_exitDlg.SetForegroundWindow();
            m_exitDlg.ShowWindow(SW_SHOW);
            m_exitDlg.RedrawWindow(nullptr, nullptr,
                                   RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        }
        if (m_liveVideo.GetSafeHwnd())
            m_liveVideo.SetWindowPos(nullptr, kParkedPosition, kParkedPosition, 0, 0,
                                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        SetTimer(kResolutionTimer, kResolutionDelayMs);
        break;
    default:
        break;
    }
}

void CBrevicamDlg::DisableLiveControls()
{
    for (CWnd* button :
         std::initializer_list<CWnd*>{&m_videoSettingsButton, &m_audioSettingsButton, &m_fullScreenButton})
        button->EnableWindow(FALSE);
    CloseVolumeDialog();
    KillTimer(kVolumeTimer);
    m_muteButton.EnableWindow(FALSE);
    m_unmuteButton.EnableWindow(FALSE);
    if (m_pAboutDlg && m_pAboutDlg->GetSafeHwnd())
        m_pAboutDlg->EndDialog(0);
    m_pAboutDlg = nullptr;
}

// ---------------------------------------------------------------------------------------------------------
// Timers
// ---------------------------------------------------------------------------------------------------------

void CBrevicamDlg::OnTimer(UINT_PTR id)
{
    switch (id)
    {
    case kVolumeTimer:
        RefreshVolumeControls();
        break;
    case kDockTimer:
        if (CaptureWindowExists())
            m_captureDlg.DockToMainWindow();
        KillTimer(kDockTimer);
        break;
    case kCompactWindowTimer:
        ShowCompactWindowByInput();
        break;
    case kResolutionTimer:
        BringVideoBack();
        break;
    default:
        break;
    }
    Default();
}

void CBrevicamDlg::BringVideoBack()
{
    if (m_liveVideo.GetSafeHwnd())
    {
        m_liveVideo.ShowWindow(SW_SHOW);
        const bool full = g_params.IsFullScreen();
        m_liveVideo.SetWindowPos(nullptr, full ? 0 : kVideoLeft, full ? 0 : kVideoTop, 0, 0,
                                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (CWindowlessRenderer* renderer = m_pController->m_graph.GetRenderer())
        Guarded([renderer] { renderer->Repaint(); });
    if (m_exitDlg.GetSafeHwnd())
    {
        LiftExitWindow();
        if (m_smallDlg.GetSafeHwnd())
            m_smallDlg.RedrawWindow(nullptr, nullptr,
                                    RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
    KillTimer(kResolutionTimer);
}

// ---------------------------------------------------------------------------------------------------------
// Microphone and live picture
// ---------------------------------------------------------------------------------------------------------

void CBrevicamDlg::RefreshVolumeControls()
{
    if (!m_muteButton.GetSafeHwnd() || !m_unmuteButton.GetSafeHwnd())
        return;
    if (IsMuteAvailable())
    {
        if (!m_unmuteButton.IsWindowEnabled())
            m_unmuteButton.EnableWindow(TRUE);
        if (!m_muteButton.IsWindowEnabled())
            m_muteButton.EnableWindow(TRUE);
        // A state that cannot be read (0xFFFFFFFF) shows as muted.
        const bool muted = GetVolumeMute() != 0;
        m_muteButton.ShowWindow(muted ? SW_HIDE : SW_SHOW);
        m_unmuteButton.ShowWindow(muted ? SW_SHOW : SW_HIDE);
    }
    else
    {
        m_muteButton.ShowWindow(SW_HIDE);
        m_unmuteButton.ShowWindow(SW_SHOW);
        m_unmuteButton.EnableWindow(FALSE);
    }
    m_muteButton.SendMessage(BM_SETCHECK, 0, 0);
    m_unmuteButton.SendMessage(BM_SETCHECK, 0, 0);
}

void CBrevicamDlg::OnMute()
{
    SetVolumeMute(1);
    RefreshVolumeControls();
}

void CBrevicamDlg::OnUnmute()
{
    SetVolumeMute(0);
    RefreshVolumeControls();
}

void CBrevicamDlg::RefitVideo(BOOL stretch)
{
    if (m_pController->m_pVideoState->GetState() != VS_RUNNING || !m_liveVideo.GetSafeHwnd())
        return;
    if (CWindowlessRenderer* renderer = m_pController->m_graph.GetRenderer())
        renderer->UpdateVideoPosition(stretch != FALSE);
    else
        m_pController->FitVideoWindow(stretch);
}

// ---------------------------------------------------------------------------------------------------------
// Devices
// ---------------------------------------------------------------------------------------------------------

void CBrevicamDlg::StartMicrophoneWait()
{
    m_micWaitTimer.SetInterval(kMicWaitIntervalMs);
    m_nMicWaitRetries = 0;
    m_micWaitTimer.Start();
}

void CBrevicamDlg::OnRefreshDevices()
{
    CCaptureGraph& graph = m_pController->m_graph;
    bool refreshed = false;
    {
        WaitCursor wait;
        Guarded(
            [&]
            {
                graph.EnumerateDevices(CDeviceGraph::kVideo);
                if (graph.GetVideoDevices().GetCount() == 0)
                {
                    m_pController->m_pVideoState->SetState(VS_MISSING);
                    return;
                }
                Sleep(kRefreshSettleMs);
                graph.EnumerateDevices(CDeviceGraph::kAudio);
                CDevicesSubj& audio = graph.GetAudioDevices();
                CDevicesSubj& video = graph.GetVideoDevices();
                audio.Notify();
                video.Notify();

                CString microphone = audio.GetLastSelectedName();
                if (microphone.IsEmpty())
                    microphone = g_params.GetAudioDevice();
                int position = audio.IndexOf(microphone);
                if (position < 0)
                {
                    position = 0;
                    StartMicrophoneWait();
                }
                if (audio.GetCount() == 0)
                    audio.SetSelectionNone();

                auto select = [&](int videoIndex)
                {
                    if (!audio.HasSelection())
                        m_pController->SelectDevices(videoIndex, position);
                    else
                        m_pController->SelectDevice(CDeviceGraph::kVideo, videoIndex);
                };
                try
                {
                    select(0);
                }
                catch (const CVideoInUseException&)
                {
                    if (video.GetCount() >= 2)
                    {
                        try
                        {
                            select(1);
                        }
                        catch (const CVideoInUseException&)
                        {
                            // The controller's states report the busy camera.
                        }
                    }
                }

                // Clicks made on the button during the refresh are dropped.
                MSG pending{};
                const HWND button = m_refreshButton.GetSafeHwnd();
                while (PeekMessage(&pending, button, kMouseFirst, kMouseLast, PM_REMOVE))
                {
                }
                while (PeekMessage(&pending, button, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE))
                {
                }
                m_statusLabel.SetText("");
                refreshed = true;
            });
    }
    if (!refreshed)
        return;
    Guarded([&graph] { graph.DetectWebcamModel(); });
    OpenCaptureWindow();
}

void CBrevicamDlg::OnAudioSettings()
{
    CCaptureGraph& graph = m_pController->m_graph;
    CString microphone = graph.GetAudioDevices().GetSelectedName();
    CWnd* owner = CaptureWindowExists() ? static_cast<CWnd*>(&m_captureDlg) : this;
    if (!ShowVolumeSlider(1, microphone, owner, 1, 30, 950, 900, 0) || graph.GetGraphMode() != 0)
        return;
    Guarded(
        [&]
        {
            graph.EnumerateDevices(CDeviceGraph::kAudio);
            const int position = graph.GetAudioDevices().IndexOf(microphone);
            if (position < 0)
                StartMicrophoneWait();
            else
                m_pController->SelectDevice(CDeviceGraph::kAudio, position);
        });
}

LRESULT CBrevicamDlg::OnMicWaitTick(WPARAM, LPARAM)
{
    m_micWaitTimer.Pause();
    bool found = false;
    const bool asked = Guarded(
        [this, &found]
        {
            CCaptureGraph& graph = m_pController->m_graph;
            graph.EnumerateDevices(CDeviceGraph::kAudio);
            const CDevicesSubj& audio = graph.GetAudioDevices();
            std::vector<CString> names;
            for (int i = 0; i < audio.GetCount(); ++i)
                names.push_back(audio.GetName(i));
            for (std::size_t i = 0; i < names.size() && !found; ++i)
            {
                if (names[i].Find(kBrandWord) < 0)
                    continue;
                found = true;
                if (graph.GetGraphMode() == 0)
                    m_pController->SelectDevices(0, static_cast<int>(i));
            }
        });
    // A microphone found (or a failure in selecting it) ends the wait; the timer stays paused.
    if (found || !asked)
        return 0;
    if (m_nMicWaitRetries < kMicWaitRetries)
    {
        ++m_nMicWaitRetries;
        m_micWaitTimer.Start();
    }
    return 0;
}
