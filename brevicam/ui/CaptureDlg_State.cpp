// The capture panel's half that follows the capture controller: its reactions to the video and program
// states, the showing of what was just captured, the resolution notices and the device check.

#include "CaptureDlg.h"

#include "brevicam/capture/CaptureController.h"
#include "brevicam/core/Params.h"
#include "brevicam/core/SkinMessageBox.h"
#include "brevicam/core/WndMediator.h"
#include "brevicam/explorer/ShellList.h"
#include "brevicam/explorer/ShellTree.h"
#include "brevicam/ui/BrevicamDlg.h"
#include "brevicam/ui/ResChangeDlg.h"
#include "resources/brevicam/resource.h"
#include "shared/exceptions/Exceptions.h"

void CCaptureDlg::Update(CSubject* subject)
{
    if (!WindowAlive() || !m_pController)
        return;
    if (subject == m_pController->m_pVideoState)
        OnVideoState(m_pController->m_pVideoState->m_state);
    else if (subject == m_pController->m_pProgState)
        OnProgramState(m_pController->m_pProgState->m_state);
}

void CCaptureDlg::SetCaptureCheck(int check)
{
    if (m_captureButton.GetSafeHwnd())
        m_captureButton.SendMessage(BM_SETCHECK, static_cast<WPARAM>(check), 0);
}

void CCaptureDlg::StartSeriesTimer()
{
    m_seriesTimer.SetInterval(kSeriesStepMs);
    m_seriesTimer.Start();
    m_bSeriesTimerRunning = true;
}

void CCaptureDlg::StopSeriesTimer()
{
    m_seriesTimer.Pause();
    m_bSeriesTimerRunning = false;
}

void CCaptureDlg::ResetClock()
{
    StopSeriesTimer();
    m_nElapsedMs = 0;
    m_chrono.Display(0);
}

void CCaptureDlg::EnableModeButtons(bool photo, bool burst, bool selfTimer, bool video)
{
    m_photoButton.EnableWindow(photo ? TRUE : FALSE);
    m_burstButton.EnableWindow(burst ? TRUE : FALSE);
    m_selfTimerButton.EnableWindow(selfTimer ? TRUE : FALSE);
    m_videoButton.EnableWindow(video ? TRUE : FALSE);
}

void CCaptureDlg::EnableFileButtons(bool on)
{
    for (CWnd* button : std::initializer_list<CWnd*>{&m_selectAllButton, &m_deleteButton, &m_openButton})
        button->EnableWindow(on ? TRUE : FALSE);
}

void CCaptureDlg::OnVideoState(int state)
{
    switch (state)
    {
    case VS_RUNNING:
        SetCaptureCheck(m_pController->IsBurstRunning() || m_pController->m_graph.GetGraphMode() == 1 ? 1
                                                                                                      : 0);
        UpdateButtons();
        FillResolutionCombo();
        break;
    case VS_IN_USE:
    case VS_MISSING:
    case VS_LOST:
    case VS_RES_CHANGE:
        SetCaptureCheck(0);
        m_captureButton.EnableWindow(FALSE);
        m_resolutionList.EnableWindow(FALSE);
        m_recordStartTick = 0;
        ResetClock();
        EnableModeButtons(true, true, true, true);
        EnableFileButtons(true);
        if (state == VS_RES_CHANGE)
            break;
        if (m_bFileActionBusy)
        {
            // The running file action closes the panel when it ends.
            if (m_pMainDialog && m_pMainDialog->GetHwnd())
                ::EnableWindow(m_pMainDialog->GetHwnd(), FALSE);
            m_nCloseRequested = 1;
        }
        else
            DestroyWindow();
        break;
    default:
        break;
    }
}

void CCaptureDlg::OnProgramState(int state)
{
    switch (state)
    {
    case PS_GRAPH_RUNNING:
        m_deviceCheckTimer.SetInterval(kDeviceCheckDelayMs);
        m_deviceCheckTimer.Start();
        break;
    case PS_READY:
        m_nSelectedRecordingCount = 0;
        UpdateButtons();
        UpdateRecordControls();
        ShowRecordIndicator(false);
        m_pList->EnableThumbnails(TRUE);
        break;
    case PS_RESTARTING:
    case PS_INITIAL:
        m_nSelectedRecordingCount = 0;
        UpdateButtons();
        m_resolutionList.EnableWindow(FALSE);
        break;
    case PS_RECORD_STARTING:
        m_resolutionList.EnableWindow(FALSE);
        m_captureButton.EnableWindow(FALSE);
        m_pList->EnableThumbnails(FALSE);
        break;
    case PS_RECORDING:
        if (m_recordStartTick == 0)
        {
            StartSeriesTimer();
            m_recordStartTick = GetTickCount();
        }
        break;
    case PS_RECORD_ERROR:
        ResetClock();
        SetCaptureCheck(0);
        RefreshCaptureButton();
        FillResolutionCombo();
        // The box runs its own loop: shown once the notification has returned.
        PostMessage(WM_PANEL_DEFERRED_BOX, IDS_RECORD_ERROR, 0);
        break;
    case PS_RECORD_STOPPED:
        ResetClock();
        m_recordStartTick = 0;
        SetCaptureCheck(0);
        m_captureButton.EnableWindow(FALSE);
        --m_nSelectedRecordingCount;
        UpdateButtons();
        PostMessage(WM_RELEASE_CAPTURE_BUTTON, 0, 0);
        ShowNewVideo();
        break;
    case PS_MODE_CHANGED:
        FillResolutionCombo();
        break;
    case PS_SHOT_STARTED:
        switch (g_params.GetCamMode())
        {
        case 0:
            m_captureButton.EnableWindow(FALSE);
            break;
        case 1:
            m_resolutionList.EnableWindow(FALSE);
            break;
        case 2:
            m_resolutionList.EnableWindow(FALSE);
            m_captureButton.EnableWindow(FALSE);
            break;
        default:
            break;
        }
        break;
    case PS_SAVING_IMAGES:
        StopSeriesTimer();
        break;
    case PS_IMAGES_SAVED:
        StopSeriesTimer();
        EnableModeButtons(true, true, true, true);
        EnableFileButtons(true);
        m_pList->EnableContextMenu(TRUE);
        UpdateModeButtons();
        SetCaptureCheck(0);
        m_captureButton.EnableWindow(FALSE);
        ShowNewPictures();
        break;
    case PS_RES_LOWERED_800:
        PostMessage(WM_PANEL_DEFERRED_BOX, IDS_RES_LOWERED_VIDEO, 0);
        break;
    case PS_RES_LOWERED_640:
        PostMessage(WM_PANEL_DEFERRED_BOX, IDS_RES_LOWERED_BURST, 0);
        break;
    case PS_GRAPH_RESTARTED:
        m_nSelectedRecordingCount = 0;
        UpdateButtons();
        UpdateRecordControls();
        SetCaptureCheck(0);
        [[fallthrough]];
    case PS_DISK_FULL:
        m_pList->EnableThumbnails(TRUE);
        EnableModeButtons(true, true, true, true);
        EnableFileButtons(true);
        m_pList->EnableContextMenu(TRUE);
        break;
    case PS_SAVE_FAILED:
        m_nSelectedRecordingCount = 0;
        UpdateButtons();
        UpdateRecordControls();
        SetCaptureCheck(0);
        RefreshCaptureButton();
        if (g_params.GetCamMode() == 1)
            ResetClock();
        break;
    default:
        break;
    }
}

LRESULT CCaptureDlg::OnDeferredBox(WPARAM wParam, LPARAM)
{
    const UINT textId = static_cast<UINT>(wParam);
    if (textId == IDS_RES_LOWERED_VIDEO || textId == IDS_RES_LOWERED_BURST)
        WarnResolutionLowered(textId == IDS_RES_LOWERED_VIDEO ? PS_RES_LOWERED_800 : PS_RES_LOWERED_640);
    else if (textId == IDS_RECORD_ERROR)
    {
        EnableWindow(FALSE);
        const HWND owner = m_pMainDialog ? m_pMainDialog->GetHwnd() : m_hWnd;
        SkinMessageBoxId(owner, textId, CParams::GetAppTitle().GetString(), MB_ICONERROR);
        if (WindowAlive())
            EnableWindow(TRUE);
    }
    else
        SkinMessageBoxId(m_hWnd, textId, CParams::GetAppTitle().GetString(), MB_ICONERROR);
    return 0;
}

LRESULT CCaptureDlg::OnDeviceCheckTimer(WPARAM, LPARAM)
{
    m_deviceCheckTimer.Pause();
    RefreshCaptureButton();
    return 0;
}

void CCaptureDlg::ExploreIfElsewhere(const CString& folder)
{
    if (m_pList->GetCurrentFolderPath().Str() != folder.Str())
        m_pTree->Explore(folder);
    else if (const LRESULT caret = m_pTree->SendMessage(TVM_GETNEXTITEM, TVGN_CARET, 0))
        m_pTree->SendMessage(TVM_ENSUREVISIBLE, 0, caret);
}

void CCaptureDlg::SelectFileInList(const CString& path)
{
    const int index = m_pList->FindItem(path.GetString());
    if (index < 0)
        return;
    m_pList->RefreshThumbnail(index);
    m_pList->EnsureVisible(index, FALSE);
    m_pList->ClearSelection();
    m_pList->SetItemState(index, LVIS_SELECTED, LVIS_SELECTED);
}

void CCaptureDlg::ShowNewVideo()
{
    try
    {
        m_pList->ShowFolder(nullptr);
        m_pList->EnableThumbnails(TRUE);
        ExploreIfElsewhere(g_params.GetVideoPath());
        SelectFileInList(g_params.GetCaptureFileName());
    }
    catch (const CUserInterfaceException&)
    {
        // The list shows what it can; the panel stays usable.
    }
    if (!WindowAlive())
        return;
    m_pList->SetFocus();
    RefreshCaptureButton();
}

void CCaptureDlg::ShowNewPictures()
{
    try
    {
        ExploreIfElsewhere(g_params.GetPhotoPath());
        m_pList->ShowFolder(nullptr);
        for (const CString& path : g_params.GetLastFiles())
            SelectFileInList(path);
    }
    catch (const CUserInterfaceException&)
    {
        // The list shows what it can; the panel stays usable.
    }
    if (!WindowAlive())
        return;
    m_pList->SetFocus();
    RefreshCaptureButton();
    PostMessage(WM_RELEASE_CAPTURE_BUTTON, 0, 0);
    const int mode = g_params.GetCamMode();
    if (mode == 1 || mode == 2)
    {
        UpdateRecordControls();
        m_nElapsedMs = 0;
        m_chrono.Display(0);
        m_anim.Update(0);
    }
}

void CCaptureDlg::WarnResolutionLowered(int state)
{
    if (g_params.IsFullScreen())
        return;
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        if ((state == PS_RES_LOWERED_800 ? g_params.m_ResWarning : g_params.m_BMResWarning) == 0)
            return;
    }
    CWndMediator* mediator = GetWndMediator();
    if (mediator)
        mediator->EnableAll(FALSE);
    if (m_pMainDialog)
        m_pMainDialog->m_bNoticeOpen = true;
    CResChangeDlg::WarnResolutionLowered(this, state, 0, &m_pResolutionNotice);
    m_pResolutionNotice = nullptr;
    if (CWndMediator* after = GetWndMediator())
        after->EnableAll(TRUE);
    if (m_pMainDialog)
        m_pMainDialog->m_bNoticeOpen = false;
}
