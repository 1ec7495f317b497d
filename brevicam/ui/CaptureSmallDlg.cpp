#include "brevicam/ui/CaptureSmallDlg.h"

#include "Controls/ControlLayout.h"
#include "brevicam/capture/CaptureController.h"
#include "brevicam/capture/DeviceGraph.h"
#include "brevicam/core/Params.h"
#include "brevicam/core/ResourceInstance.h"
#include "brevicam/core/SkinMessageBox.h"
#include "brevicam/core/StartupObjects.h"
#include "brevicam/core/WndMediator.h"
#include "brevicam/ui/CaptureSteps.h"
#include "brevicam/ui/FullscreenWnd.h"
#include "brevicam/ui/ResChangeDlg.h"
#include "brevicam/ui/ResolutionChoice.h"
#include "platform/ostrago/Ostrago.h"
#include "resources/brevicam/resource.h"

#include <cstdio>
#include <exception>

namespace
{
constexpr COLORREF kCaptionInk = 0xDCDCDC;
constexpr int kToolTipWidth = 200;
constexpr int kListWidth = 167;
constexpr int kListWidthMirrored = 185;
constexpr int kListHeight = 25;
constexpr int kListFaceWidth = 142;
constexpr int kListFaceWidthMirrored = 157;
/// The model whose picture is repainted at once when a recording starts or stops.
constexpr int kRepaintModel = 18;

// In pixels of the 208 x 246 background: the mode captions and buttons under the title strip, the list,
// then the capture caption with the countdown, the clock and the REC indicator beside the capture button.
constexpr ControlPlace kLayout[] = {
    {IDC_SMALL_MODE_CAPTION, 10, 8, 154, 25},
    {IDC_SMALL_PHOTO, 10, 38, 42, 44},
    {IDC_SMALL_BURST, 57, 38, 42, 44},
    {IDC_SMALL_TIMER, 104, 38, 42, 44},
    {IDC_SMALL_VIDEO, 151, 38, 42, 44},
    {IDC_SMALL_RESOLUTION_CAPTION, 6, 86, 200, 25},
    {IDC_SMALL_RESOLUTION, 10, 110, kListWidth, kListHeight},
    {IDC_SMALL_CAPTURE_CAPTION, 6, 142, 150, 70},
    {IDC_SMALL_CAPTURE, 146, 176, 56, 56},
    {IDC_SMALL_COUNTDOWN, 10, 172, 20, 20},
    {IDC_SMALL_CHRONO, 36, 174, 100, 16},
    {IDC_SMALL_REC_DOT, 10, 206, 12, 12},
    {IDC_SMALL_REC_LABEL, 26, 203, 80, 18},
};

constexpr UINT kPhotoImages[] = {8898, 8899, 8900, 8898};
constexpr UINT kBurstImages[] = {771, 772, 773, 771};
constexpr UINT kTimerImages[] = {774, 775, 776, 774};
constexpr UINT kVideoImages[] = {777, 778, 779, 777};
constexpr UINT kCaptureImages[] = {449, 450, 451, 452};

void LoadFour(CGdipButton& button, const UINT (&images)[4])
{
    button.LoadImages(images[0], images[1], images[2], images[3]);
}

void Caption(CLabel& label, const CString& text)
{
    label.SetTransparent(TRUE);
    label.SetFontName("Arial");
    label.SetFontSize(9);
    label.SetFontBold(TRUE);
    label.SetTextColor(kCaptionInk);
    label.SetText(text);
}
} // namespace

IMPLEMENT_DYNAMIC(CCaptureSmallDlg, CTransparentDialogBase)

BEGIN_MESSAGE_MAP(CCaptureSmallDlg, CTransparentDialogBase)
ON_BN_CLICKED(IDC_SMALL_CAPTURE, OnCapture)
ON_BN_CLICKED(IDC_SMALL_PHOTO, OnPhotoMode)
ON_BN_CLICKED(IDC_SMALL_BURST, OnBurstMode)
ON_BN_CLICKED(IDC_SMALL_TIMER, OnTimerMode)
ON_BN_CLICKED(IDC_SMALL_VIDEO, OnVideoMode)
ON_CBN_SELCHANGE(IDC_SMALL_RESOLUTION, OnResolutionChange)
ON_WM_DESTROY()
ON_MESSAGE(WM_TICK, OnTick)
ON_MESSAGE(WM_DEVICE_CHECK, OnDeviceCheck)
END_MESSAGE_MAP()

CCaptureSmallDlg::CCaptureSmallDlg() : CTransparentDialogBase(kBackgroundPng), m_pToolTip(new CToolTipCtrl)
{
    m_bMovable = FALSE;
    m_hResourceInstance = AppResourceInstance();
    // The template's resolution list is a combo box, whose class must exist before the window does.
    InitComboBoxClass();
}

CCaptureSmallDlg::~CCaptureSmallDlg()
{
    // The timers' threads end before the window and the fields they reach go.
    m_tickTimer.SetTarget(nullptr, 0);
    m_deviceTimer.SetTarget(nullptr, 0);
    EndOpenNotice();
    Detach();
    if (m_hWnd && ::IsWindow(m_hWnd))
        DestroyWindow();
    delete m_pToolTip;
}

void CCaptureSmallDlg::DoDataExchange(CDataExchange* dx)
{
    CTransparentDialogBase::DoDataExchange(dx);
    DDX_Control(dx, IDC_SMALL_MODE_CAPTION, m_modeCaption);
    DDX_Control(dx, IDC_SMALL_RESOLUTION_CAPTION, m_resolutionCaption);
    DDX_Control(dx, IDC_SMALL_CAPTURE_CAPTION, m_captureCaption);
    DDX_Control(dx, IDC_SMALL_PHOTO, m_photoButton);
    DDX_Control(dx, IDC_SMALL_BURST, m_burstButton);
    DDX_Control(dx, IDC_SMALL_TIMER, m_timerButton);
    DDX_Control(dx, IDC_SMALL_VIDEO, m_videoButton);
    DDX_Control(dx, IDC_SMALL_CAPTURE, m_captureButton);
    DDX_Control(dx, IDC_SMALL_CHRONO, m_chrono);
    DDX_Control(dx, IDC_SMALL_REC_LABEL, m_recLabel);
    DDX_Control(dx, IDC_SMALL_RESOLUTION, m_resolutionList);
    DDX_Control(dx, IDC_SMALL_REC_DOT, m_recDot);
    DDX_Control(dx, IDC_SMALL_COUNTDOWN, m_countdown);
}

CString CCaptureSmallDlg::LoadText(UINT id) const
{
    CString text;
    text.LoadString(m_hResourceInstance, id);
    return text;
}

// ---------------------------------------------------------------------------------------------------------
// Opening and closing
// ---------------------------------------------------------------------------------------------------------

BOOL CCaptureSmallDlg::OnInitDialog()
{
    CTransparentDialogBase::OnInitDialog();
    m_tickTimer.SetTarget(m_hWnd, WM_TICK);
    m_deviceTimer.SetTarget(m_hWnd, WM_DEVICE_CHECK);
    PlaceControls(*this, kLayout);
    SetUpToolTips();
    SetUpControls();

    FillResolutionList();
    m_chrono.SetController(m_pController);
    ShowElapsed();

    const int mode = g_params.GetCamMode();
    if (mode == 3)
        ShowRecordIndicator(false);
    else
    {
        m_recLabel.ShowWindow(SW_HIDE);
        m_recDot.ShowWindow(SW_HIDE);
    }

    if (m_pController && !m_bAttached)
    {
        m_bAttached = true;
        m_pController->m_pVideoState->Attach(this);
        m_pController->m_pProgState->Attach(this);
    }
    g_bCaptureSmallDlgReenable = 0;
    g_bSmallDlgButtonsRestored = 1;

    CGdipButton* modes[] = {&m_photoButton, &m_burstButton, &m_timerButton, &m_videoButton};
    for (int i = 0; i < 4; ++i)
        modes[i]->SetCheck(i == mode ? BST_CHECKED : BST_UNCHECKED);
    if (mode == 3)
    {
        const bool recording = m_pController && m_pController->m_graph.GetGraphMode() == 1;
        ShowRecordIndicator(recording);
        m_recLabel.ShowWindow(SW_SHOW);
        if (!recording)
            m_chrono.Display(0);
    }
    else
        m_recLabel.ShowWindow(SW_HIDE);

    if (!m_bTimerRunning)
        m_countdown.ShowWindow(SW_HIDE);
    DrawLayeredBackground();
    return TRUE;
}

void CCaptureSmallDlg::SetUpControls()
{
    CString resolution = LoadText(IDS_RESOLUTION_SELECTION);
    const int lineBreak = resolution.Find('\n');
    if (lineBreak >= 0)
        resolution.SetAt(lineBreak, ' ');
    Caption(m_modeCaption, LoadText(IDS_MODE_SELECTION));
    Caption(m_resolutionCaption, resolution);
    Caption(m_captureCaption, LoadText(IDS_CAPTURE_CAPTION));

    LoadFour(m_photoButton, kPhotoImages);
    LoadFour(m_burstButton, kBurstImages);
    LoadFour(m_timerButton, kTimerImages);
    LoadFour(m_videoButton, kVideoImages);
    LoadFour(m_captureButton, kCaptureImages);

    const bool mirrored = (GetExStyle() & WS_EX_LAYOUTRTL) != 0;
    m_resolutionList.SetSkin(623, 622, 624, 12);
    try
    {
        m_resolutionList.SetVScrollSkin(602, 785, 784, 600, 690, 598);
    }
    catch (const std::exception&)
    {
        // A list without its popup keeps the plain scroll bar.
    }
    const CRect& edit = m_resolutionList.GetEditRectangle();
    const CRect face(edit.left + 1, edit.top + 2,
                     edit.left + 1 + (mirrored ? kListFaceWidthMirrored : kListFaceWidth), edit.bottom - 2);
    m_resolutionList.SetEditRectangle(&face);
    m_resolutionList.SetIndentation(1);
    m_resolutionList.SetBackColor(0xE3E3E3);
    m_resolutionList.SetBackHighlight(0x8A8A8A);
    m_resolutionList.SetFont("Arial", 14, 5);
    m_resolutionList.SetFontColor(0xFFFFFF);
    m_resolutionList.GetDrawContext().m_bFixedTextColors = 1;
    m_resolutionList.SetWindowPos(nullptr, 0, 0, mirrored ? kListWidthMirrored : kListWidth, kListHeight,
                                  SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    m_chrono.SetTransparent(TRUE);
    m_chrono.SetFontName("Arial");
    m_chrono.SetFontSize(8);
    m_chrono.SetFontBold(TRUE);
    m_chrono.SetTextColor(kCaptionInk);
}

void CCaptureSmallDlg::SetUpToolTips()
{
    if (!m_pToolTip || m_pToolTip->GetSafeHwnd() || !m_pToolTip->Create(this))
        return;
    m_pToolTip->SetMaxTipWidth(kToolTipWidth);
    const std::pair<CWnd*, UINT> tools[] = {
        {&m_photoButton, IDS_PHOTO_MODE_TIP},         {&m_burstButton, IDS_BURST_MODE_TIP},
        {&m_timerButton, IDS_SELF_TIMER_MODE_TIP},    {&m_videoButton, IDS_VIDEO_MODE_TIP},
        {&m_resolutionList, IDS_RESOLUTION_LIST_TIP}, {&m_captureButton, IDS_CAPTURE_TIP},
    };
    for (const auto& [control, text] : tools)
        m_pToolTip->AddTool(control, LoadText(text).GetString());
    m_pToolTip->Activate(TRUE);
}

void CCaptureSmallDlg::Detach()
{
    if (!m_bAttached || !m_pController)
        return;
    m_bAttached = false;
    m_pController->m_pVideoState->Detach(this);
    m_pController->m_pProgState->Detach(this);
}

void CCaptureSmallDlg::EndOpenNotice()
{
    if (!m_pOpenNotice)
        return;
    if (m_pOpenNotice->GetSafeHwnd())
        m_pOpenNotice->EndDialog(0);
    m_pOpenNotice = nullptr;
    if (m_pNoticeOpen)
        *m_pNoticeOpen = false;
}

void CCaptureSmallDlg::OnDestroy()
{
    Detach();
    m_deviceTimer.Pause();
    CTransparentDialogBase::OnDestroy();
    if (m_pToolTip && m_pToolTip->GetSafeHwnd())
        m_pToolTip->DestroyWindow();
    EndOpenNotice();
}

// ---------------------------------------------------------------------------------------------------------
// Hand-over and the list
// ---------------------------------------------------------------------------------------------------------

void CCaptureSmallDlg::StartTickTimer(UINT intervalMs, bool series)
{
    m_tickTimer.Pause();
    m_tickTimer.SetInterval(intervalMs);
    m_tickTimer.Start();
    m_bTimerRunning = series ? 1 : 0;
}

void CCaptureSmallDlg::PauseTickTimer()
{
    m_tickTimer.Pause();
    m_bTimerRunning = 0;
}

void CCaptureSmallDlg::HideCountdown()
{
    if (m_countdown.GetSafeHwnd())
        m_countdown.ShowWindow(SW_HIDE);
}

void CCaptureSmallDlg::ContinueSeries(int elapsedMs)
{
    m_nElapsedMs = elapsedMs;
    StartTickTimer(kTickMs, true);
    if (!m_hWnd)
        return;
    EnableOtherModes(g_params.GetCamMode(), FALSE);
    ShowElapsed();
}

void CCaptureSmallDlg::ContinueRecording(DWORD startTick)
{
    m_dwRecordStartTick = startTick;
    if (startTick == 0)
    {
        PauseTickTimer();
        return;
    }
    StartTickTimer(kTickMs, true);
    if (m_hWnd)
        EnableOtherModes(3, FALSE);
}

void CCaptureSmallDlg::ClearSeries()
{
    PauseTickTimer();
    // A count left from a series that ended elsewhere would cut the next burst's countdown short.
    m_nElapsedMs = 0;
    HideCountdown();
}

BOOL CCaptureSmallDlg::IsResolutionListOpen()
{
    return m_resolutionList.GetSafeHwnd() && m_resolutionList.GetDroppedState();
}

void CCaptureSmallDlg::FillResolutionList()
{
    if (m_pController && m_resolutionList.GetSafeHwnd())
        ::FillResolutionList(m_resolutionList, *m_pController, m_hResourceInstance);
    UpdateListState();
}

void CCaptureSmallDlg::UpdateListState()
{
    if (!m_pController || !m_resolutionList.GetSafeHwnd())
        return;
    ShowRecordIndicator(UpdateResolutionListState(m_resolutionList, *m_pController));
}

void CCaptureSmallDlg::ShowRecordIndicator(bool recording)
{
    if (!m_recLabel.GetSafeHwnd())
        return;
    if (recording)
    {
        m_recBitmap.DeleteObject();
        m_recBitmap.LoadBitmap(IDB_REC_DOT);
        m_recDot.SetBitmap(static_cast<HBITMAP>(m_recBitmap.GetSafeHandle()));
        m_recLabel.SetText(LoadText(IDS_REC));
        m_recLabel.FlashText(TRUE, 500, -1);
    }
    else
    {
        m_recDot.SetBitmap(nullptr);
        m_recBitmap.DeleteObject();
        m_recLabel.SetText(LoadText(IDS_PAUSE));
        m_recLabel.FlashText(FALSE);
    }
    m_recLabel.SetTransparent(TRUE);
    m_recLabel.SetTextColor(kCaptionInk);
    m_recLabel.SetFontBold(TRUE);
    m_recLabel.SetFontSize(9);
    m_recLabel.SetFontName("Arial");
}

void CCaptureSmallDlg::OnResolutionChange()
{
    if (!m_pController)
        return;
    bool applied = false;
    try
    {
        applied = ApplyChosenResolution(m_resolutionList, *m_pController, m_hResourceInstance);
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "brevicam: %s\n", error.what());
    }
    if (applied)
        m_resolutionList.SetFocus();
}

// ---------------------------------------------------------------------------------------------------------
// Modes and capture
// ---------------------------------------------------------------------------------------------------------

void CCaptureSmallDlg::EnableOtherModes(int mode, BOOL enable)
{
    CGdipButton* modes[] = {&m_photoButton, &m_burstButton, &m_timerButton, &m_videoButton};
    for (int i = 0; i < 4; ++i)
        if (i != mode && modes[i]->GetSafeHwnd())
            modes[i]->EnableWindow(enable);
}

void CCaptureSmallDlg::EnableAllModes()
{
    for (CGdipButton* button : {&m_photoButton, &m_burstButton, &m_timerButton, &m_videoButton})
        if (button->GetSafeHwnd())
            button->EnableWindow(TRUE);
}

bool CCaptureSmallDlg::HasVideoDevice() const
{
    return m_pController && m_pController->m_graph.GetVideoDevices().GetSelection() >= 0;
}

void CCaptureSmallDlg::ResetCaptureButton()
{
    if (!m_captureButton.GetSafeHwnd())
        return;
    m_captureButton.SetCheck(BST_UNCHECKED);
    m_captureButton.EnableWindow(HasVideoDevice() ? TRUE : FALSE);
}

void CCaptureSmallDlg::ChooseMode(int mode)
{
    if (!m_pController)
        return;
    if (g_params.GetCamMode() != mode)
        m_resolutionList.SetCurSel(-1);
    try
    {
        m_pController->SetCamMode(mode);
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "brevicam: %s\n", error.what());
    }
    if (!m_hWnd)
        return;
    m_chrono.ShowWindow(SW_HIDE);
    if (mode == 3)
    {
        m_recLabel.ShowWindow(SW_SHOW);
        m_recDot.ShowWindow(SW_SHOW);
    }
    else
        m_recLabel.ShowWindow(SW_HIDE);
}

void CCaptureSmallDlg::OnPhotoMode()
{
    ChooseMode(0);
}

void CCaptureSmallDlg::OnBurstMode()
{
    ChooseMode(1);
}

void CCaptureSmallDlg::OnTimerMode()
{
    ChooseMode(2);
}

void CCaptureSmallDlg::OnVideoMode()
{
    ChooseMode(3);
}

void CCaptureSmallDlg::RestoreCaptureFolders()
{
    // Without a question: the compact window has no room for one, and the defaults always do.
    if (!CParams::PathExists(g_params.GetPhotoPath(), TRUE))
        g_params.SelectPath(IDS_PHOTOS);
    if (!CParams::PathExists(g_params.GetVideoPath(), TRUE))
        g_params.SelectPath(IDS_VIDEOS);
}

bool CCaptureSmallDlg::EnoughSpaceForPhoto()
{
    return EnsurePhotoSpace(m_hWnd, m_captureButton.GetSafeHwnd());
}

void CCaptureSmallDlg::OnCapture()
{
    if (!m_pController)
        return;
    const int mode = g_params.GetCamMode();
    try
    {
        RestoreCaptureFolders();
        switch (mode)
        {
        case 0:
            if (!EnoughSpaceForPhoto())
                return;
            EnableOtherModes(mode, FALSE);
            m_pController->m_pProgState->SetState(PS_SHOT_STARTED);
            m_pController->Shoot();
            break;
        case 1:
            EnableOtherModes(mode, FALSE);
            if (m_pController->IsBurstRunning())
            {
                PauseTickTimer();
                m_nElapsedMs = 0;
                EnableOtherModes(mode, TRUE);
            }
            else
                StartTickTimer(kTickMs, true);
            m_pController->Shoot();
            break;
        case 2:
            if (!EnoughSpaceForPhoto())
                return;
            EnableOtherModes(mode, FALSE);
            StartTickTimer(kTickMs, true);
            m_pController->m_pProgState->SetState(PS_SHOT_STARTED);
            break;
        case 3:
            EnableOtherModes(mode, FALSE);
            m_pController->ToggleRecording(PS_RECORD_STOPPED);
            if (GetWebcamModel() == 0 && m_videoButton.GetSafeHwnd())
                m_videoButton.EnableWindow(FALSE);
            if (GetWebcamModel() == kRepaintModel)
                if (HWND surface = g_params.GetFullscreenWnd())
                    ::RedrawWindow(surface, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
            if (g_bSmallDlgButtonsRestored == 0)
            {
                EnableOtherModes(mode, TRUE);
                g_bSmallDlgButtonsRestored = 1;
            }
            break;
        default:
            break;
        }
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "brevicam: %s\n", error.what());
    }
}

// ---------------------------------------------------------------------------------------------------------
// Timers
// ---------------------------------------------------------------------------------------------------------

void CCaptureSmallDlg::ShowElapsed()
{
    const UINT elapsed = m_nElapsedMs > 0 ? static_cast<UINT>(m_nElapsedMs) : 0;
    if (m_chrono.GetSafeHwnd())
        m_chrono.Display(elapsed);
    if (m_countdown.GetSafeHwnd())
        m_countdown.Update(elapsed);
}

LRESULT CCaptureSmallDlg::OnTick(WPARAM, LPARAM)
{
    if (!m_pController)
        return 0;
    try
    {
        switch (g_params.GetCamMode())
        {
        case 1:
            if (m_nElapsedMs < static_cast<int>(CChrono::kBurstCountdownMs))
            {
                m_countdown.ShowWindow(SW_SHOW);
                ShowElapsed();
                m_nElapsedMs += kTickMs;
                break;
            }
            m_nElapsedMs = CChrono::kBurstCountdownMs;
            StartTickTimer(BurstFramePeriodMs(), true);
            {
                const bool more = m_pController->OnBurstTimer();
                if (g_bCaptureSmallDlgReenable == 1)
                {
                    if (m_hWnd)
                        EnableOtherModes(1, TRUE);
                    g_bCaptureSmallDlgReenable = 0;
                }
                if (m_pController->GetBurstImageCount() == 0 || !more)
                {
                    PauseTickTimer();
                    m_nElapsedMs = 0;
                }
            }
            ShowElapsed();
            if (m_nElapsedMs == 0)
                m_chrono.ShowWindow(SW_HIDE);
            break;
        case 2:
        {
            m_nElapsedMs += kTickMs;
            if (m_nElapsedMs >= SelfTimerDelayMs())
            {
                PauseTickTimer();
                if (m_hWnd && m_pController->OnBurstTimer())
                    EnableOtherModes(2, TRUE);
                m_nElapsedMs = 0;
            }
            if (m_countdown.GetSafeHwnd())
                m_countdown.Update(static_cast<UINT>(m_nElapsedMs));
            break;
        }
        case 3:
            if (m_dwRecordStartTick != 0)
            {
                m_nElapsedMs = static_cast<int>(GetTickCount() - m_dwRecordStartTick);
                m_chrono.Display(static_cast<UINT>(m_nElapsedMs));
                EnableOtherModes(3, FALSE);
            }
            break;
        default:
            break;
        }
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "brevicam: %s\n", error.what());
    }
    return 0;
}

LRESULT CCaptureSmallDlg::OnDeviceCheck(WPARAM, LPARAM)
{
    m_deviceTimer.Pause();
    if (m_captureButton.GetSafeHwnd())
        m_captureButton.EnableWindow(HasVideoDevice() ? TRUE : FALSE);
    return 0;
}

// ---------------------------------------------------------------------------------------------------------
// The controller's states
// ---------------------------------------------------------------------------------------------------------

void CCaptureSmallDlg::Update(CSubject* subject)
{
    if (!m_hWnd || !::IsWindow(m_hWnd) || !m_pController)
        return;
    if (subject == m_pController->m_pProgState)
        OnProgramState(m_pController->m_pProgState->m_state);
    else if (subject == m_pController->m_pVideoState)
        OnVideoState(m_pController->m_pVideoState->m_state);
}

void CCaptureSmallDlg::OnVideoState(int state)
{
    if (state == VS_RUNNING)
    {
        const bool busy = m_pController->IsBurstRunning() || m_pController->m_graph.GetGraphMode() == 1;
        m_captureButton.SetCheck(busy ? BST_CHECKED : BST_UNCHECKED);
        FillResolutionList();
        return;
    }
    m_captureButton.SetCheck(BST_UNCHECKED);
    m_captureButton.EnableWindow(FALSE);
    m_resolutionList.EnableWindow(FALSE);
    m_dwRecordStartTick = 0;
    PauseTickTimer();
    m_nElapsedMs = 0;
    m_chrono.Display(0);
    EnableAllModes();
}

void CCaptureSmallDlg::OnProgramState(int state)
{
    const int mode = g_params.GetCamMode();
    switch (state)
    {
    case PS_GRAPH_RUNNING:
        m_deviceTimer.Pause();
        m_deviceTimer.SetInterval(kDeviceCheckMs);
        m_deviceTimer.Start();
        break;
    case PS_READY:
        UpdateListState();
        ShowRecordIndicator(false);
        break;
    case PS_RESTARTING:
    case PS_INITIAL:
        m_resolutionList.EnableWindow(FALSE);
        break;
    case PS_RECORD_STARTING:
        m_resolutionList.EnableWindow(FALSE);
        m_captureButton.EnableWindow(FALSE);
        break;
    case PS_RECORDING:
        if (m_dwRecordStartTick == 0)
        {
            StartTickTimer(kTickMs, true);
            m_dwRecordStartTick = GetTickCount();
        }
        break;
    case PS_RECORD_ERROR:
        PauseTickTimer();
        m_nElapsedMs = 0;
        m_chrono.Display(0);
        ResetCaptureButton();
        FillResolutionList();
        EnableWindow(FALSE);
        SkinMessageBox(g_params.GetMainWnd(), LoadText(IDS_RECORD_ERROR).GetString(),
                       CParams::GetAppTitle().GetString(), MB_ICONERROR);
        if (m_hWnd)
            EnableWindow(TRUE);
        break;
    case PS_RECORD_STOPPED:
        PauseTickTimer();
        m_nElapsedMs = 0;
        m_dwRecordStartTick = 0;
        m_chrono.Display(0);
        m_captureButton.SetCheck(BST_UNCHECKED);
        m_captureButton.EnableWindow(FALSE);
        m_captureButton.EnableWindow(HasVideoDevice() ? TRUE : FALSE);
        break;
    case PS_MODE_CHANGED:
        FillResolutionList();
        break;
    case PS_SHOT_STARTED:
        if (mode == 0 || mode == 2)
            m_captureButton.EnableWindow(FALSE);
        if (mode == 1 || mode == 2)
            m_resolutionList.EnableWindow(FALSE);
        break;
    case PS_SAVING_IMAGES:
        PauseTickTimer();
        break;
    case PS_IMAGES_SAVED:
        PauseTickTimer();
        EnableOtherModes(0, TRUE);
        ResetCaptureButton();
        if (mode == 1 || mode == 2)
        {
            UpdateListState();
            m_nElapsedMs = 0;
            ShowElapsed();
        }
        break;
    case PS_RES_LOWERED_800:
    case PS_RES_LOWERED_640:
        ShowLoweredResolutionNotice(state);
        break;
    case PS_GRAPH_RESTARTED:
        UpdateListState();
        m_captureButton.SetCheck(BST_UNCHECKED);
        EnableAllModes();
        break;
    case PS_SAVE_FAILED:
        UpdateListState();
        ResetCaptureButton();
        if (mode == 1)
        {
            PauseTickTimer();
            m_chrono.Display(0);
        }
        break;
    case PS_DISK_FULL:
        EnableAllModes();
        break;
    default:
        break;
    }
}

void CCaptureSmallDlg::ShowLoweredResolutionNotice(int state)
{
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        if ((state == PS_RES_LOWERED_800 ? g_params.m_ResWarning : g_params.m_BMResWarning) == 0)
            return;
    }
    CWndMediator* mediator = GetWndMediator();
    if (mediator)
        mediator->EnableAll(FALSE);
    if (m_pNoticeOpen)
        *m_pNoticeOpen = true;
    CResChangeDlg::WarnResolutionLowered(this, state, state == PS_RES_LOWERED_640 ? 1 : 0, &m_pOpenNotice);
    m_pOpenNotice = nullptr;
    if (mediator)
        mediator->EnableAll(TRUE);
    if (m_pNoticeOpen)
        *m_pNoticeOpen = false;
}

// ---------------------------------------------------------------------------------------------------------
// Keys
// ---------------------------------------------------------------------------------------------------------

BOOL CCaptureSmallDlg::PreTranslateMessage(MSG* msg)
{
    if (m_pToolTip && m_pToolTip->GetSafeHwnd())
        m_pToolTip->RelayEvent(msg);
    if ((msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN) &&
        (msg->wParam == VK_F11 || msg->wParam == VK_ESCAPE))
    {
        bool warningOn = false;
        {
            CSingleLock lock(&g_params.m_cs, TRUE);
            warningOn = g_params.m_ResWarning != 0 || g_params.m_BMResWarning != 0;
        }
        // While a lowered-resolution notice is open the keys would end full screen under it.
        if (warningOn && m_pNoticeOpen && *m_pNoticeOpen)
            return TRUE;
        CWnd* main = GetParent();
        return ForwardFullScreenKey(msg, main ? main->GetSafeHwnd() : nullptr);
    }
    const HWND button = m_captureButton.GetSafeHwnd();
    if (button && msg->hwnd == button && (msg->message == WM_LBUTTONDOWN || msg->message == WM_LBUTTONDBLCLK))
    {
        // The click itself always goes on to the button.
        FilterCapturePress(*msg);
    }
    return CTransparentDialogBase::PreTranslateMessage(msg);
}
