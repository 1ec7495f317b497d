// The main window: construction, layout, the message map, commands and closing.

#include "BrevicamDlg.h"

#include "Controls/ControlLayout.h"
#include "brevicam/capture/CaptureController.h"
#include "brevicam/capture/CaptureMessages.h"
#include "brevicam/core/Params.h"
#include "brevicam/core/ResourceInstance.h"
#include "brevicam/core/SkinMessageBox.h"
#include "brevicam/ui/AboutDlg.h"
#include "brevicam/ui/UpdateCheck.h"
#include "corrowin/Corrowin.h"
#include "miravoc/Miravoc.h"
#include "platform/commctrl/Progress.h"
#include "platform/ostrago/Ostrago.h"
#include "platform/resources/Resources.h"
#include "platform/window/WinApp.h"
#include "resources/brevicam/resource.h"
#include "shared/exceptions/Exceptions.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <memory>
#include <new>

namespace
{
// Images of the main window's buttons.
constexpr UINT kCaptureImages[] = {634, 8903, 633, 635, 632};
constexpr UINT kVideoSettingsImages[] = {195, 196, 196, 195};
constexpr UINT kAudioSettingsImages[] = {199, 200, 199};
constexpr UINT kCloseImages[] = {252, 253, 254, 255};
constexpr UINT kMinimizeImages[] = {2261, 2262, 2263};
constexpr UINT kAboutImages[] = {8894, 8895, 8894};
constexpr UINT kMuteImages[] = {8888, 8889, 8890, 8914};
constexpr UINT kUnmuteImages[] = {8892, 8893, 8892, 8914};
constexpr UINT kFullScreenImages[] = {873, 875, 873};
constexpr UINT kRefreshNormal = 397;
constexpr UINT kRefreshDown = 400;
constexpr UINT kRefreshOver = 398;
constexpr UINT kLevelBar = 636;
constexpr UINT kLevelTrough = 638;
constexpr UINT kIconId = 7;
constexpr int kToolTipWidth = 200;
constexpr WPARAM kIconBig = 1;
constexpr WPARAM kIconSmall = 0;
/// Brings a dialog back inside the desktop.
constexpr UINT kDmReposition = WM_USER + 2;

// Where each control sits, in pixels of the 433 x 475 background.
constexpr ControlPlace kLayout[] = {
    {IDC_PRODUCT_TITLE, 14, 8, 220, 26},
    {IDC_EDITION, 236, 11, 30, 20},
    {IDC_MINIMIZE, 355, 3, 31, 32},
    {IDC_CLOSE_APP, 390, 3, 31, 32},
    {IDC_REFRESH_DEVICES, 180, 200, 87, 97},
    {IDC_LIVE_VIDEO, CBrevicamDlg::kVideoLeft, CBrevicamDlg::kVideoTop, CBrevicamDlg::kVideoWidth,
     CBrevicamDlg::kVideoHeight},
    {IDC_STATUS_LINE, 63, 322, 320, 16},
    {IDC_STATE_MESSAGE, 63, 340, 320, 16},
    {IDC_CAPTURE_WINDOW, 63, 362, 40, 40},
    {IDC_VIDEO_SETTINGS, 113, 366, 32, 32},
    {IDC_AUDIO_SETTINGS, 153, 366, 32, 32},
    {IDC_FULLSCREEN, 193, 366, 32, 32},
    {IDC_ABOUT, 233, 366, 32, 32},
    {IDC_VOLUME_INDICATOR, 275, 377, 68, 10},
    {IDC_MUTE, 351, 366, 32, 32},
    {IDC_UNMUTE, 351, 366, 32, 32},
    {IDC_CAPTURE_MODE_CAPTION, 63, 412, 150, 18},
    {IDC_VERSION_CAPTION, 250, 448, 60, 16},
    {IDC_VERSION, 310, 448, 100, 16},
};

template <std::size_t N> void LoadButtonImages(CGdipButton& button, const UINT (&images)[N])
{
    UINT ids[5] = {};
    for (std::size_t i = 0; i < N && i < 5; ++i)
        ids[i] = images[i];
    button.LoadImages(ids[0], ids[1], ids[2], ids[3], ids[4]);
}

/// The question before a capture ends is on the screen: a second close request is refused.
bool g_bAskingEndOfCapture = false;

} // namespace

BEGIN_MESSAGE_MAP(CBrevicamDlg, CDialogColleague)
ON_WM_SYSCOMMAND()
ON_WM_QUERYDRAGICON()
ON_WM_DESTROY()
ON_WM_MOVE()
ON_WM_WINDOWPOSCHANGED()
ON_MESSAGE(WM_LIVE_VIDEO_PAINTED, OnLiveVideoPainted)
ON_WM_CLOSE()
ON_WM_COPYDATA()
ON_WM_DISPLAYCHANGE()
ON_COMMAND(IDC_CAPTURE_WINDOW, OnCaptureWindowButton)
ON_COMMAND(IDC_MINIMIZE, OnMinimize)
ON_COMMAND(IDC_CLOSE_APP, OnCloseButton)
ON_COMMAND(IDC_VIDEO_SETTINGS, OnVideoSettings)
ON_COMMAND(IDC_ABOUT, OnAbout)
ON_COMMAND(IDC_REFRESH_DEVICES, OnRefreshDevices)
ON_COMMAND(IDC_AUDIO_SETTINGS, OnAudioSettings)
ON_WM_POWERBROADCAST()
ON_MESSAGE(WM_GRAPH_NOTIFY, OnGraphNotify)
ON_MESSAGE(WM_UNUSED_50, OnAnswerZero)
ON_MESSAGE(WM_STARTUP_UPDATE_CHECK, OnStartupUpdateCheck)
ON_MESSAGE(WM_MODAL_TASK_STATE, OnAnswerZero)
ON_MESSAGE(WM_BRING_BACK_RESTORED, OnBringBackRestored)
ON_MESSAGE(WM_REBUILD_FOLDER_TREE, OnRebuildFolderTree)
ON_COMMAND(IDC_MUTE, OnMute)
ON_COMMAND(IDC_UNMUTE, OnUnmute)
ON_MESSAGE(WM_REFIT_VIDEO, OnRefitVideo)
ON_MESSAGE(WM_MIC_WAIT_TICK, OnMicWaitTick)
ON_MESSAGE(WM_DEFERRED_STATE_BOX, OnDeferredStateBox)
ON_WM_TIMER()
ON_WM_UPDATEUISTATE()
ON_WM_ENABLE()
ON_COMMAND(IDC_FULLSCREEN, OnFullScreenButton)
ON_WM_QUERYENDSESSION()
ON_WM_ENDSESSION()
ON_WM_SHOWWINDOW()
ON_WM_SIZE()
ON_WM_SETTINGCHANGE()
END_MESSAGE_MAP()

CBrevicamDlg::CBrevicamDlg(CCaptureController* controller, CWnd* parent)
    : CDialogColleague(kBackgroundPng, IDD, parent, nullptr, TRUE), m_pController(controller),
      m_liveVideo(controller), m_captureDlg(this), m_placeholder(nullptr), m_pToolTip(nullptr),
      m_hResourceInstance(AppResourceInstance())
{
    // The template's level bar is a progress control, whose class must exist before the window does.
    InitProgressClass();
    if (m_pController)
    {
        m_bAttached = true;
        m_pController->m_pProgState->Attach(this);
        m_pController->m_pVideoState->Attach(this);
    }
    m_pToolTip = new CToolTipCtrl;
}

CBrevicamDlg::~CBrevicamDlg()
{
    DetachFromController();
    m_micWaitTimer.SetTarget(nullptr, 0);
    if (m_hWnd && ::IsWindow(m_hWnd))
        DestroyWindow();
    if (m_pToolTip)
    {
        if (m_pToolTip->GetSafeHwnd())
            m_pToolTip->DestroyWindow();
        delete m_pToolTip;
        m_pToolTip = nullptr;
    }
}

HWND CBrevicamDlg::GetHwnd() const
{
    return m_hWnd;
}

void CBrevicamDlg::DetachFromController()
{
    if (!m_bAttached || !m_pController)
        return;
    m_bAttached = false;
    m_pController->m_pProgState->Detach(this);
    m_pController->m_pVideoState->Detach(this);
}

CString CBrevicamDlg::LoadText(UINT id) const
{
    CString text;
    text.LoadString(m_hResourceInstance, id);
    return text;
}

bool CBrevicamDlg::Guarded(const std::function<void()>& action)
{
    try
    {
        action();
        return true;
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "brevicam: %s\n", error.what());
        if (m_pController)
        {
            try
            {
                m_pController->m_pProgState->SetMessage(error.what());
            }
            catch (...)
            {
            }
        }
    }
    catch (...)
    {
        std::fprintf(stderr, "brevicam: unknown failure\n");
    }
    return false;
}

void CBrevicamDlg::DoDataExchange(CDataExchange* dx)
{
    CDialogColleague::DoDataExchange(dx);
    DDX_Control(dx, IDC_LIVE_VIDEO, m_liveVideo);
    DDX_Control(dx, IDC_EDITION, m_editionLabel);
    DDX_Control(dx, IDC_PRODUCT_TITLE, m_titleLabel);
    DDX_Control(dx, IDC_STATUS_LINE, m_statusLabel);
    DDX_Control(dx, IDC_STATE_MESSAGE, m_stateLabel);
    DDX_Control(dx, IDC_VERSION_CAPTION, m_versionCaption);
    DDX_Control(dx, IDC_VERSION, m_versionLabel);
    DDX_Control(dx, IDC_CAPTURE_MODE_CAPTION, m_captureModeLabel);
    DDX_Control(dx, IDC_CAPTURE_WINDOW, m_captureButton);
    DDX_Control(dx, IDC_VIDEO_SETTINGS, m_videoSettingsButton);
    DDX_Control(dx, IDC_AUDIO_SETTINGS, m_audioSettingsButton);
    DDX_Control(dx, IDC_CLOSE_APP, m_closeButton);
    DDX_Control(dx, IDC_MINIMIZE, m_minimizeButton);
    DDX_Control(dx, IDC_ABOUT, m_aboutButton);
    DDX_Control(dx, IDC_REFRESH_DEVICES, m_refreshButton);
    DDX_Control(dx, IDC_MUTE, m_muteButton);
    DDX_Control(dx, IDC_UNMUTE, m_unmuteButton);
    DDX_Control(dx, IDC_FULLSCREEN, m_fullScreenButton);
    DDX_Control(dx, IDC_VOLUME_INDICATOR, m_volumeIndicator);
}

BOOL CBrevicamDlg::OnInitDialog()
{
    CDialogColleague::OnInitDialog();

    m_hIcon = AfxGetApp() ? AfxGetApp()->LoadIcon(kIconId) : nullptr;
    if (m_hIcon)
    {
        SendMessage(WM_SETICON, kIconBig, reinterpret_cast<LPARAM>(m_hIcon));
        SendMessage(WM_SETICON, kIconSmall, reinterpret_cast<LPARAM>(m_hIcon));
    }

    CDevicesSubj& videoDevices = m_pController->m_graph.GetVideoDevices();
    if (videoDevices.GetCount() == 0)
        videoDevices.SetSelectionNone();
    m_bOpenPanelOnShow = videoDevices.HasSelection();

    g_params.SetMainWnd(m_hWnd);

    // The window manager's close, Alt+F4 and the taskbar reach the system-command handler, which is
    // the system menu's Close: the same closing routine.
    ModifyStyle(0, WS_SYSMENU | WS_MINIMIZEBOX);
    if (!isWindows7())
        m_liveVideo.ModifyStyle(0, WS_CLIPCHILDREN);

    const CString title = CParams::GetAppTitle();
    SetWindowText(title);
    if (HWND layered = GetLayeredWindow())
    {
        ::SetWindowText(layered, title.GetString());
        if (m_hIcon)
            ::SendMessage(layered, WM_SETICON, kIconBig, reinterpret_cast<LPARAM>(m_hIcon));
    }

    PlaceControls(*this, kLayout);

    try
    {
        m_pController->StartPreview();
    }
    catch (const CMissingModuleException&)
    {
        EndDialog(8);
        return TRUE;
    }
    catch (const std::exception& error)
    {
        // The subjects show what the controller made of it.
        std::fprintf(stderr, "brevicam: the preview did not start: %s\n", error.what());
    }
    catch (...)
    {
    }

    m_pController->SetMainWindow(m_liveVideo.GetSafeHwnd());
    m_liveVideo.SetWindowPos(nullptr, kVideoLeft, kVideoTop, kVideoWidth, kVideoHeight,
                             SWP_NOZORDER | SWP_NOACTIVATE);
    m_pController->m_pProgState->Notify();

    Guarded([this] { RefitVideo(FALSE); });
    RefreshVolumeControls();
    SetUpControls();
    SetUpToolTips();

    PostMessage(WM_STARTUP_UPDATE_CHECK, 0, 0);
    SetTimer(kVolumeTimer, kVolumePeriodMs);
    m_micWaitTimer.SetTarget(m_hWnd, WM_MIC_WAIT_TICK);
    m_nMicWaitRetries = 0;
    m_bNoticeOpen = false;

    m_muteButton.SetAutoRefresh();
    m_unmuteButton.SetAutoRefresh();

    if (isWindows7() && m_placeholder.Create(CDummyDlg::IDD, this))
    {
        m_placeholder.ShowWindow(SW_SHOW);
        m_placeholder.MoveToMainWindowCorner();
    }
    return TRUE;
}

void CBrevicamDlg::SetUpControls()
{
    const CString product = CParams::GetAppTitle();

    LoadButtonImages(m_captureButton, kCaptureImages);
    m_captureButton.SetPressedLook(TRUE);
    m_captureButton.SetTooltipText(LoadStringWithText(IDS_CAPTURE_WINDOW_TIP, product.GetString()));
    LoadButtonImages(m_videoSettingsButton, kVideoSettingsImages);
    LoadButtonImages(m_audioSettingsButton, kAudioSettingsImages);
    LoadButtonImages(m_closeButton, kCloseImages);
    m_closeButton.SetTooltipText(LoadText(IDS_CLOSE_TIP));
    LoadButtonImages(m_minimizeButton, kMinimizeImages);
    m_minimizeButton.SetTooltipText(LoadText(IDS_MINIMIZE_TIP));
    LoadButtonImages(m_aboutButton, kAboutImages);
    m_aboutButton.SetTooltipText(LoadStringWithText(IDS_ABOUT_TIP, product.GetString()));

    m_refreshButton.SetSkin(kRefreshNormal, kRefreshDown, kRefreshOver, 0, 0, 0, 2, 0, 0, 0);
    m_refreshButton.SetFadeHover(FALSE);
    m_refreshButton.SetWindowPos(nullptr, 0, 0, 87, 97, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    LoadButtonImages(m_muteButton, kMuteImages);
    m_muteButton.SetPressedLook(FALSE);
    LoadButtonImages(m_unmuteButton, kUnmuteImages);
    m_unmuteButton.SetPressedLook(FALSE);
    LoadButtonImages(m_fullScreenButton, kFullScreenImages);
    m_fullScreenButton.ShowWindow(SW_SHOW);

    m_volumeIndicator.SetBitmap(kLevelBar, kLevelTrough, FALSE);
    m_volumeIndicator.ModifyStyleEx(WS_EX_STATICEDGE, 0);
    m_volumeIndicator.ModifyStyle(WS_BORDER, 0);
    m_volumeIndicator.SetRange(0, 100);
    m_volumeIndicator.SetPos(0);
    m_volumeIndicator.SetMetering(TRUE);

    m_titleLabel.SetBkColor(0x1A00E1);
    m_titleLabel.SetFontFace("Arial", TRUE);
    m_titleLabel.SetFontSize(20);
    m_titleLabel.SetTextColor(0xFFFFFF);
    m_titleLabel.SetText(LoadText(IDS_PRODUCT_TITLE));

    m_editionLabel.SetTransparent(TRUE);
    m_editionLabel.SetFontName("Arial");
    m_editionLabel.SetFontSize(12);
    m_editionLabel.SetFontItalic(TRUE);
    m_editionLabel.SetTextColor(0xFFFFFF);
    m_editionLabel.SetText("SE");

    m_statusLabel.SetTransparent(TRUE);
    m_statusLabel.SetFontName("Arial");
    m_statusLabel.SetFontSize(8);
    m_statusLabel.SetFontBold(TRUE);
    m_statusLabel.SetTextColor(0x808080);
    m_statusLabel.SetText("");

    for (CLabel* label : {&m_versionCaption, &m_versionLabel})
    {
        label->SetTransparent(TRUE);
        label->SetFontName("Arial");
        label->SetFontSize(9);
        label->SetFontBold(TRUE);
        label->SetTextColor(0xDCDCDC);
    }
    m_versionCaption.SetText(LoadText(IDS_VERSION_CAPTION));
    char program[PATH_MAX + 1] = {};
    GetModuleFileName(nullptr, program, PATH_MAX);
    char version[1000] = {};
    GetVersionInfo(program, version, sizeof version, 0);
    m_versionLabel.SetText(version);

    m_captureModeLabel.SetTransparent(TRUE);
    m_captureModeLabel.SetFontName("Arial");
    m_captureModeLabel.SetFontSize(11);
    m_captureModeLabel.SetFontBold(TRUE);
    m_captureModeLabel.SetTextColor(0xDCDCDC);
    m_captureModeLabel.SetText(LoadText(IDS_CAPTURE_MODE_CAPTION));
}

void CBrevicamDlg::SetUpToolTips()
{
    if (!m_pToolTip || !m_pToolTip->Create(this))
        return;
    m_pToolTip->SetMaxTipWidth(kToolTipWidth);
    const CString product = CParams::GetAppTitle();
    const struct
    {
        CWnd* control;
        CString text;
    } tools[] = {
        {&m_minimizeButton, LoadText(IDS_MINIMIZE_TIP)},
        {&m_closeButton, LoadText(IDS_CLOSE_TIP)},
        {&m_captureButton, LoadStringWithText(IDS_CAPTURE_WINDOW_TIP, product.GetString())},
        {&m_aboutButton, LoadStringWithText(IDS_ABOUT_TIP, product.GetString())},
        {&m_videoSettingsButton, LoadText(IDS_VIDEO_SETTINGS_TIP)},
        {&m_audioSettingsButton, LoadText(IDS_AUDIO_SETTINGS_TIP)},
        {&m_refreshButton, LoadText(IDS_REFRESH_TIP)},
        {&m_muteButton, LoadText(IDS_MUTE_TIP)},
        {&m_unmuteButton, LoadText(IDS_MUTE_TIP)},
        {&m_fullScreenButton, LoadText(IDS_FULLSCREEN_TIP)},
    };
    for (const auto& tool : tools)
        m_pToolTip->AddTool(tool.control, tool.text.GetString());
    m_pToolTip->Activate(TRUE);
}

BOOL CBrevicamDlg::PreTranslateMessage(MSG* msg)
{
    if (m_pToolTip && m_pToolTip->GetSafeHwnd())
        m_pToolTip->RelayEvent(msg);
    if (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN)
    {
        if (msg->wParam == VK_ESCAPE)
        {
            if (m_pAboutDlg)
            {
                // Esc over the About box stops the check it started, while checks are on.
                int updateAtStart = 0;
                {
                    CSingleLock lock(&g_params.m_cs, TRUE);
                    updateAtStart = g_params.m_UpdateAtStart;
                }
                if (updateAtStart && m_pAboutDlg->GetSafeHwnd() && m_pAboutDlg->IsWindowVisible())
                    m_pAboutDlg->StopUpdate();
            }
            else if (m_bFullScreen && (!m_smallDlg.GetSafeHwnd() || m_smallDlg.IsWindowEnabled()))
            {
                m_bFullScreen = FALSE;
                LeaveFullScreen();
            }
        }
        else if (msg->wParam == VK_F11)
        {
            m_bFullScreen = !m_bFullScreen;
            if (m_bFullScreen)
                EnterFullScreen();
            else
                LeaveFullScreen();
        }
    }
    return CDialogColleague::PreTranslateMessage(msg);
}

// ---------------------------------------------------------------------------------------------------------
// The capture panel and closing
// ---------------------------------------------------------------------------------------------------------

void CBrevicamDlg::OpenCaptureWindow()
{
    Guarded(
        [this]
        {
            if (!CParams::PathExists(g_params.GetPhotoPath(), TRUE))
                g_params.SelectPath(IDS_PHOTOS);
            if (!CParams::PathExists(g_params.GetVideoPath(), TRUE))
                g_params.SelectPath(IDS_VIDEOS);
        });
    if (m_captureButton.GetSafeHwnd())
        m_captureButton.SendMessage(BM_SETCHECK, 1, 0);
    CreateCaptureWindow();
    if (!CaptureWindowExists())
        return;
    if (m_nSavedElapsedMs != -1)
        m_captureDlg.SetElapsed(m_nSavedElapsedMs);
    else if (m_nSavedRecordStartTick != 0)
    {
        m_captureDlg.SetRecordStartTick(static_cast<DWORD>(m_nSavedRecordStartTick));
        m_nSavedRecordStartTick = 0;
    }
    // A self-timer handed back goes on like a burst: left alone, its shot would never be taken.
    const int mode = g_params.GetCamMode();
    if ((mode == 1 || mode == 2) && m_bSavedTimerRunning)
        m_captureDlg.StartSeriesTimer();
    // Taken once: the next entry into full screen would otherwise start the series a second time.
    m_nSavedElapsedMs = -1;
    m_bSavedTimerRunning = false;
    m_captureDlg.ShowWindow(SW_SHOWNORMAL);
    m_captureDlg.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    m_captureDlg.ExploreCaptureFolder();
}

bool CBrevicamDlg::CaptureWindowExists() const
{
    const HWND panel = m_captureDlg.GetSafeHwnd();
    return panel && ::IsWindow(panel);
}

void CBrevicamDlg::CreateCaptureWindow()
{
    if (CaptureWindowExists() || !m_hWnd)
        return;
    m_captureDlg.SetController(m_pController);
    if (!m_captureDlg.Create(CCaptureDlg::IDD, this))
        std::fprintf(stderr, "brevicam: the capture panel could not be created\n");
}

bool CBrevicamDlg::IsRecording() const
{
    return m_pController && m_pController->m_graph.GetGraphMode() == 1 && m_pController->m_graph.IsRunning();
}

bool CBrevicamDlg::IsBurstSeriesRunning() const
{
    return m_pController && m_pController->IsBurstRunning() && g_params.GetCamMode() == 1;
}

bool CBrevicamDlg::ConfirmEndOfCapture()
{
    if (g_bAskingEndOfCapture)
        return false;
    if (!IsRecording() && !IsBurstSeriesRunning())
        return true;
    g_bAskingEndOfCapture = true;
    const int answer = SkinMessageBox(MessageBoxOwner(), LoadText(IDS_END_CAPTURE_SESSION).GetString(),
                                      CParams::GetAppTitle().GetString(), MB_YESNO | MB_ICONEXCLAMATION);
    g_bAskingEndOfCapture = false;
    return answer == IDYES;
}

HWND CBrevicamDlg::MessageBoxOwner()
{
    // The capture panel owns the boxes while its explorer is ready.
    if (CaptureWindowExists() && m_captureDlg.IsReady())
        return m_captureDlg.GetSafeHwnd();
    return m_hWnd;
}

void CBrevicamDlg::StopRecordingIfRunning()
{
    // Only a recording graph is toggled: in any other mode the same call would start a recording.
    if (m_pController && m_pController->m_pProgState->GetState() == PS_RECORDING &&
        m_pController->m_graph.GetGraphMode() == 1)
        Guarded([this] { m_pController->ToggleRecording(PS_RECORD_STOPPED); });
}

void CBrevicamDlg::EndBurstSeries()
{
    // The capture command of a running series ends it: its frames are saved and become the GIF.
    if (!IsBurstSeriesRunning())
        return;
    if (CaptureWindowExists())
        Guarded([this] { m_captureDlg.OnCapture(); });
    else
        Guarded([this] { m_pController->Shoot(); });
}

void CBrevicamDlg::CloseCaptureWindow()
{
    CloseCaptureWindow(false);
}

void CBrevicamDlg::CloseCaptureWindow(bool confirmed)
{
    if (m_captureButton.GetSafeHwnd())
        m_captureButton.SendMessage(BM_SETCHECK, 0, 0);
    if (!confirmed && !ConfirmEndOfCapture())
        return;
    StopRecordingIfRunning();
    EndBurstSeries();
    if (CaptureWindowExists())
        m_captureDlg.DestroyWindow();
    if (m_hWnd)
        SendMessage(kDmReposition, 0, 0);
}

void CBrevicamDlg::CloseApplication()
{
    if (m_bClosing)
        return;
    // One question covers the whole close: the recording, the burst series and the panel. When the
    // session ends there is nobody to answer it.
    if (!m_bSessionEnding && !ConfirmEndOfCapture())
        return;
    m_bClosing = true;
    StopRecordingIfRunning();
    CloseCaptureWindow(true);
    if (m_pToolTip)
    {
        if (m_pToolTip->GetSafeHwnd())
            m_pToolTip->DestroyWindow();
        delete m_pToolTip;
        m_pToolTip = nullptr;
    }
    Guarded([this] { m_pController->StopPreview(); });
    if (isWindows7() && m_liveVideo.GetSafeHwnd())
        m_liveVideo.MoveWindow(0, 0, 0, 0);
    EndDialog(IDOK);
}

void CBrevicamDlg::OnCaptureWindowButton()
{
    if (CaptureWindowExists())
        CloseCaptureWindow();
    else
        OpenCaptureWindow();
}

void CBrevicamDlg::OnCloseButton()
{
    CloseApplication();
}

void CBrevicamDlg::OnMinimize()
{
    ShowWindow(SW_MINIMIZE);
}

void CBrevicamDlg::OnClose()
{
    // Closing goes through CloseApplication only, which asks before a capture ends.
}

void CBrevicamDlg::OnSysCommand(UINT id, LPARAM)
{
    switch (id & 0xFFF0)
    {
    case kAboutSysCommand:
        OnAbout();
        break;
    case SC_CLOSE:
        if (IsWindowEnabled())
            CloseApplication();
        break;
    case SC_RESTORE:
        PostMessage(WM_BRING_BACK_RESTORED, 0, 0);
        break;
    default:
        break;
    }
    Default();
}

void CBrevicamDlg::OnAbout()
{
    CAboutDlg about(CaptureWindowExists() ? static_cast<CWnd*>(&m_captureDlg) : this);
    m_pAboutDlg = &about;
    about.DoModal();
    m_pAboutDlg = nullptr;
}

void CBrevicamDlg::OnEnable(BOOL enable)
{
    // The main window stays disabled under the About box.
    if (enable && m_pAboutDlg && m_pAboutDlg->GetSafeHwnd() && m_pAboutDlg->IsWindowVisible())
        EnableWindow(FALSE);
    else if (CaptureWindowExists() && (m_captureDlg.IsWindowEnabled() != FALSE) != (enable != FALSE))
        m_captureDlg.EnableWindow(enable);
}

void CBrevicamDlg::OnSize(UINT type, int cx, int cy)
{
    CDialogColleague::OnSize(type, cx, cy);
    if (CaptureWindowExists())
        m_captureDlg.DockToMainWindow();
}

void CBrevicamDlg::OnSettingChange(UINT flags, LPCTSTR section)
{
    CDialogColleague::OnSettingChange(flags, section);
    if (flags == SPI_SETWORKAREA && CaptureWindowExists())
        m_captureDlg.DockToMainWindow();
}

void CBrevicamDlg::OnFullScreenButton()
{
    m_bFullScreen = TRUE;
    EnterFullScreen();
}

void CBrevicamDlg::CheckUpdate(HWND owner, BOOL background, BOOL ask)
{
    std::unique_ptr<char[]> path(new (std::nothrow) char[261]);
    if (!path)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate filename string"));
    path[0] = '\0';
    GetModuleFileName(nullptr, path.get(), 260);
    path[260] = '\0';
    const CString title = CParams::GetAppTitle();
    UpdateRequest request;
    FillUpdateRequest(request, title, path.get(), ask);
    CheckForUpdates(owner, &request, owner, background);
}

void CBrevicamDlg::OnVideoSettings()
{
    Guarded([this] { m_pController->m_graph.ShowFilterProperties(CDeviceGraph::kVideo, MessageBoxOwner()); });
}

// ---------------------------------------------------------------------------------------------------------
// System-level messages
// ---------------------------------------------------------------------------------------------------------

void CBrevicamDlg::OnDestroy()
{
    // Notifications after this point would reach a window that is gone.
    DetachFromController();
    DropFullScreenWindows();
    m_micWaitTimer.Pause();
    m_micWaitTimer.SetTarget(nullptr, 0);
    // Boxes and graph events must not name a window that is gone.
    if (g_params.GetMainWnd() == m_hWnd)
        g_params.SetMainWnd(nullptr);
    for (UINT_PTR timer : {kVolumeTimer, kDockTimer, kCompactWindowTimer, kResolutionTimer})
        KillTimer(timer);
    if (m_placeholder.GetSafeHwnd())
        m_placeholder.DestroyWindow();
    if (CaptureWindowExists())
        m_captureDlg.DestroyWindow();
    CDialogColleague::OnDestroy();
}

void CBrevicamDlg::OnMove(int x, int y)
{
    if (IsWindowVisible() && m_liveVideo.GetSafeHwnd())
        m_liveVideo.Invalidate(TRUE);
    CDialogColleague::OnMove(x, y);
}

void CBrevicamDlg::OnWindowPosChanged(WINDOWPOS*)
{
    Default();
    if (isWindows7() && m_placeholder.GetSafeHwnd())
        m_placeholder.MoveToMainWindowCorner();
}

LRESULT CBrevicamDlg::OnLiveVideoPainted(WPARAM, LPARAM)
{
    // What lies around the surface; repainting the surface itself would make it paint again.
    RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_NOCHILDREN);
    return 0;
}

HICON CBrevicamDlg::OnQueryDragIcon()
{
    return m_hIcon;
}

void CBrevicamDlg::OnUpdateUIState(UINT, UINT) {}

BOOL CBrevicamDlg::OnQueryEndSession()
{
    return TRUE;
}

void CBrevicamDlg::OnEndSession(BOOL ending)
{
    Default();
    if (ending)
    {
        m_bSessionEnding = true;
        // The About box's and the audio settings dialog's own loops run inside this window's: they end
        // first, or the program would wait for the user to close them.
        if (m_pAboutDlg && m_pAboutDlg->GetSafeHwnd())
            m_pAboutDlg->EndDialog(IDCANCEL);
        CloseVolumeDialog();
        CloseApplication();
    }
}

LRESULT CBrevicamDlg::OnAnswerZero(WPARAM, LPARAM)
{
    return 0;
}

LRESULT CBrevicamDlg::OnRebuildFolderTree(WPARAM, LPARAM)
{
    if (CaptureWindowExists())
        m_captureDlg.RebuildFolderTree();
    return 0;
}

LRESULT CBrevicamDlg::OnGraphNotify(WPARAM, LPARAM)
{
    // A box that a notification opened runs its own loop: the controller is not entered again from it.
    // The events wait and are handled once the box has closed.
    if (m_nNotificationBoxes > 0)
    {
        ++m_nPendingGraphEvents;
        return 0;
    }
    Guarded([this] { m_pController->OnGraphEvent(); });
    return 0;
}

void CBrevicamDlg::OnShowWindow(BOOL show, UINT status)
{
    CDialogColleague::OnShowWindow(show, status);
    // The panel is shown later, by the start-up message.
    if (m_bOpenPanelOnShow)
        CreateCaptureWindow();
    m_bOpenPanelOnShow = false;
}

void CBrevicamDlg::OnDisplayChange(UINT bitsPerPixel, int cx, int cy)
{
    CDialogColleague::OnDisplayChange(bitsPerPixel, cx, cy);
    if (m_pController->m_graph.GetGraphMode() == 0)
    {
        CDevicesSubj& videoDevices = m_pController->m_graph.GetVideoDevices();
        if (videoDevices.GetCount() == 0)
            videoDevices.SetSelectionNone();
        if (videoDevices.HasSelection())
            ShowWindow(SW_RESTORE);
    }
    if (IsRecording())
        Guarded([this] { m_pController->ToggleRecording(PS_RECORD_STOPPED); });
    SetTimer(kDockTimer, kDockDelayMs);
}

UINT CBrevicamDlg::OnPowerBroadcast(UINT event, LPARAM)
{
    // Asked at each event: the answer is cheap, and one taken once for the process would outlive a change.
    const bool vista = isWindowsVista() != 0;
    if (event == PBT_APMSUSPEND)
    {
        if (vista)
        {
            if (m_pController->m_pProgState->GetState() == PS_RECORDING)
                StopRecordingIfRunning();
            else
                Guarded([this] { m_pController->StopPreviewIfIdle(); });
            CloseCaptureWindow();
            EndDialog(IDOK);
        }
        else if (IsRecording())
            Guarded([this] { m_pController->ToggleRecording(PS_RECORD_STOPPED); });
    }
    else if (event == PBT_APMRESUMESUSPEND && !vista)
    {
        if (CWindowlessRenderer* renderer = m_pController->m_graph.GetRenderer())
            Guarded([renderer] { renderer->Repaint(); });
    }
    return 0;
}

LRESULT CBrevicamDlg::OnBringBackRestored(WPARAM, LPARAM)
{
    if (!m_hWnd || !IsWindowVisible())
        return 0;
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    GetWindowPlacement(&placement);
    RECT work{};
    if (!SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0))
        work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    CRect window(placement.rcNormalPosition);
    window.NormalizeRect();
    CRect area(work);
    area.NormalizeRect();
    CRect overlap;
    overlap.IntersectRect(&window, &area);
    if (overlap.Width() <= 10 || overlap.Height() <= 10)
        SetWindowPos(nullptr, area.left + 10, area.top + 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    return 0;
}

BOOL CBrevicamDlg::OnCopyData(CWnd*, COPYDATASTRUCT* data)
{
    constexpr ULONG_PTR kUpdateAnswer = 0x30;
    if (data && data->dwData == kUpdateAnswer)
    {
        // Any answer but 0 keeps the check on: only its low half would turn 1 << 32 into "off".
        g_params.SetUpdateAtStart(data->lpData ? 1 : 0);
        g_params.Save();
    }
    SetForegroundWindow();
    return static_cast<BOOL>(Default());
}

LRESULT CBrevicamDlg::OnStartupUpdateCheck(WPARAM, LPARAM)
{
    Guarded(
        [this]
        {
            int updateAtStart = 0;
            int index = 0;
            CString lastDate;
            {
                CSingleLock lock(&g_params.m_cs, TRUE);
                updateAtStart = g_params.m_UpdateAtStart;
                index = g_params.m_NoUpdateIndex;
                lastDate = g_params.m_LastUpdateDate;
            }
            if (updateAtStart)
            {
                const StartupUpdatePlan plan = PlanStartupUpdateCheck(index, lastDate, std::time(nullptr));
                if (plan.due)
                    CheckUpdate(m_hWnd, TRUE, TRUE);
                CSingleLock lock(&g_params.m_cs, TRUE);
                if (plan.storeToday)
                    g_params.m_LastUpdateDate = plan.today;
                g_params.m_NoUpdateIndex = plan.count;
            }
            g_params.Save();
        });
    if (m_pController->m_graph.GetVideoDevices().HasSelection())
        OpenCaptureWindow();
    return 0;
}

LRESULT CBrevicamDlg::OnRefitVideo(WPARAM wParam, LPARAM)
{
    if (m_liveVideo.GetSafeHwnd())
        m_liveVideo.Invalidate(TRUE);
    Guarded([this, wParam] { RefitVideo(static_cast<BOOL>(wParam)); });
    return 0;
}
