// The capture panel: construction, controls and layout, docking, the capture modes, the resolution list and
// the capture settings.

#include "CaptureDlg.h"

#include "Controls/ControlLayout.h"
#include "brevicam/capture/CaptureController.h"
#include "brevicam/capture/CaptureMessages.h"
#include "brevicam/core/Params.h"
#include "brevicam/core/ResourceInstance.h"
#include "brevicam/core/StartupObjects.h"
#include "brevicam/explorer/ShellList.h"
#include "brevicam/explorer/ShellTree.h"
#include "brevicam/ui/AcceleratorWindows.h"
#include "brevicam/ui/BrevicamDlg.h"
#include "brevicam/ui/CaptureSettingsDlg.h"
#include "brevicam/ui/ResChangeDlg.h"
#include "brevicam/ui/ResolutionChoice.h"
#include "platform/commctrl2/ComboBox.h"
#include "platform/commctrl2/ListBox.h"
#include "platform/listview/ListView.h"
#include "platform/listview/TreeView.h"
#include "platform/session/WtsApi.h"
#include "resources/brevicam/resource.h"
#include "shared/exceptions/Exceptions.h"

#include <cstdio>
#include <cstdlib>
#include <new>

namespace
{
/// Brings a dialog back inside the desktop.
constexpr UINT kDmReposition = WM_USER + 2;
constexpr int kToolTipWidth = 200;
constexpr COLORREF kLight = 0xDCDCDC;
constexpr COLORREF kDark = 0x333333;
constexpr COLORREF kBlack = 0x000000;
constexpr COLORREF kWhite = 0xFFFFFF;

// Where each control sits, in pixels of the 300 x 475 background.
constexpr ControlPlace kLayout[] = {
    {IDC_PANEL_TITLE, 14, 4, 200, 30},
    {IDC_PANEL_CLOSE, 263, 6, 27, 27},
    {IDC_PANEL_MODE_CAPTION, 16, 40, 154, 18},
    {IDC_PANEL_PHOTO_MODE, 16, 58, 42, 44},
    {IDC_PANEL_BURST_MODE, 62, 58, 42, 44},
    {IDC_PANEL_SELF_TIMER_MODE, 108, 58, 42, 44},
    {IDC_PANEL_VIDEO_MODE, 154, 58, 42, 44},
    {IDC_COUNTDOWN, 200, 70, 20, 20},
    {IDC_CAPTURE_BORDER, 222, 46, 64, 64},
    {IDC_PANEL_CAPTURE, 226, 50, 56, 56},
    {IDC_PANEL_CAPTURE_CAPTION, 222, 112, 64, 16},
    {IDC_CHRONO, 210, 130, 90, 16},
    {IDC_PANEL_REC_DOT, 226, 150, 12, 12},
    {IDC_PANEL_REC_LABEL, 242, 148, 50, 16},
    {IDC_PANEL_RESOLUTION_CAPTION, 16, 106, 180, 27},
    {IDC_PANEL_RESOLUTION, 16, 136, 167, 25},
    {IDC_PANEL_SETTINGS, 16, 166, 39, 39},
    {IDC_PANEL_SETTINGS_CAPTION, 60, 176, 150, 18},
    {IDC_PANEL_TREE_CAPTION, 16, 208, 154, 16},
    // The views' skinned scroll bars (16 pixels) sit beside them, inside the same frame.
    {IDC_PANEL_TREE, 16, 224, 252, 60},
    {IDC_PANEL_LIST, 16, 302, 252, 68},
    {IDC_PANEL_SELECT_ALL, 16, 374, 119, 24},
    {IDC_PANEL_OPEN, 139, 374, 59, 24},
    {IDC_PANEL_DELETE, 202, 374, 79, 24},
    {IDC_PANEL_COPY_TO_CAPTION, 16, 418, 90, 18},
    {IDC_PANEL_COPY_TO_FOLDER, 112, 402, 68, 47},
    {IDC_PANEL_FOLDER_CAPTION, 109, 450, 74, 16},
    {IDC_PANEL_COPY_TO_EMAIL, 200, 402, 68, 47},
    {IDC_PANEL_EMAIL_CAPTION, 197, 450, 74, 16},
};

constexpr UINT kCaptureImages[] = {449, 450, 451, 452};
constexpr UINT kSettingsImages[] = {646, 647, 648, 646};
constexpr UINT kSelectAllImages[] = {422, 424, 425, 426};
constexpr UINT kOpenImages[] = {427, 428, 429, 430};
constexpr UINT kDeleteImages[] = {431, 432, 433, 434};

struct ModeButtonLook
{
    int id;
    UINT images[4];
};
constexpr ModeButtonLook kModeLooks[] = {
    {IDC_PANEL_PHOTO_MODE, {8898, 8899, 8900, 8898}},
    {IDC_PANEL_BURST_MODE, {771, 772, 773, 771}},
    {IDC_PANEL_SELF_TIMER_MODE, {774, 775, 776, 774}},
    {IDC_PANEL_VIDEO_MODE, {777, 778, 779, 777}},
};
constexpr int kModeButtonIds[] = {IDC_PANEL_PHOTO_MODE, IDC_PANEL_BURST_MODE, IDC_PANEL_SELF_TIMER_MODE,
                                  IDC_PANEL_VIDEO_MODE};
constexpr int kUnusedControls[] = {IDC_PANEL_UNUSED_1310, IDC_PANEL_UNUSED_1040, IDC_PANEL_UNUSED_1037,
                                   IDC_PANEL_UNUSED_1039, IDC_PANEL_UNUSED_1038};

void LoadImages(CGdipButton& button, const UINT (&images)[4])
{
    button.LoadImages(images[0], images[1], images[2], images[3]);
}

IAcceleratorWindows* Accelerators()
{
    return dynamic_cast<IAcceleratorWindows*>(AfxGetApp());
}

int CurrentCamMode()
{
    return g_params.GetCamMode();
}

CString ModelText()
{
    CString model;
    model.Format("%d", GetWebcamModel());
    return model;
}
} // namespace

BEGIN_MESSAGE_MAP(CCaptureDlg, CDialogColleague)
ON_MESSAGE(WM_DISPLAYCHANGE, OnDisplayChangeMessage)
ON_COMMAND(IDC_PANEL_CAPTURE, OnCaptureButton)
ON_WM_DESTROY()
ON_CBN_SELCHANGE(IDC_PANEL_RESOLUTION, OnResolutionSelChange)
ON_COMMAND(IDC_PANEL_OPEN, OnOpen)
ON_COMMAND(IDC_PANEL_SELECT_ALL, OnSelectAll)
ON_COMMAND(IDC_PANEL_DELETE, OnDelete)
ON_COMMAND(IDC_PANEL_COPY_TO_FOLDER, OnCopyToFolder)
ON_COMMAND(IDC_PANEL_COPY_TO_EMAIL, OnBnClickedButtonCopyToEmail)
ON_MESSAGE(WM_PANEL_DELETE_DONE, OnDeleteDone)
ON_NOTIFY(LVN_ITEMCHANGED, IDC_PANEL_LIST, OnListItemChanged)
ON_NOTIFY(LVN_INSERTITEM, IDC_PANEL_LIST, OnListItemChanged)
ON_NOTIFY(LVN_DELETEITEM, IDC_PANEL_LIST, OnListDeleteItem)
ON_COMMAND(ID_EDIT_CLEAR, OnEditClear)
ON_COMMAND(ID_EDIT_SELECT_ALL, OnSelectAll)
ON_COMMAND(ID_FILE_OPEN, OnOpen)
ON_MESSAGE(WM_SERIES_TICK, OnCaptureTimer)
ON_MESSAGE(WM_DEVICE_CHECK, OnDeviceCheckTimer)
ON_MESSAGE(WM_RELEASE_CAPTURE_BUTTON, OnReleaseCaptureButton)
ON_COMMAND(IDC_PANEL_SETTINGS, OnSettings)
ON_WM_CLOSE()
ON_COMMAND(ID_CAPTURE_ACCELERATOR, OnCaptureAccelerator)
ON_COMMAND(IDC_PANEL_PHOTO_MODE, OnPhotoMode)
ON_COMMAND(IDC_PANEL_BURST_MODE, OnBurstMode)
ON_COMMAND(IDC_PANEL_SELF_TIMER_MODE, OnSelfTimerMode)
ON_COMMAND(IDC_PANEL_VIDEO_MODE, OnVideoMode)
ON_COMMAND(IDC_PANEL_CLOSE, OnCloseButton)
ON_MESSAGE(WM_CAMERA_SNAPSHOT, OnCameraSnapshot)
ON_MESSAGE(WM_PANEL_DEFERRED_BOX, OnDeferredBox)
ON_MESSAGE(WM_PANEL_REBUILD_PREVIEW, OnRebuildPreview)
ON_WM_ENABLE()
END_MESSAGE_MAP()

CCaptureDlg::CCaptureDlg(CBrevicamDlg* mainDialog)
    : CDialogColleague(IDD), m_pMainDialog(mainDialog), m_hResources(AppResourceInstance())
{
    // The template's list, views and the unused list box need their classes before the window exists.
    InitComboBoxClass();
    InitListBoxClass();
    InitListViewClass();
    InitTreeViewClass();
    m_pTree = new (std::nothrow) CShellTreeCtrl(this);
    if (!m_pTree)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate the TreeView object"));
    m_pList = new (std::nothrow) CShellListCtrl(this);
    if (!m_pList)
    {
        delete m_pTree;
        m_pTree = nullptr;
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate the ListControl object"));
    }
    m_pToolTip = new CToolTipCtrl;
}

CCaptureDlg::~CCaptureDlg()
{
    m_seriesTimer.SetTarget(nullptr, 0);
    m_deviceCheckTimer.SetTarget(nullptr, 0);
    if (m_hWnd && ::IsWindow(m_hWnd))
        DestroyWindow();
    JoinDeleteThread();
    delete m_pList;
    delete m_pTree;
    delete m_pToolTip;
}

CString CCaptureDlg::LoadText(UINT id) const
{
    CString text;
    text.LoadString(m_hResources, id);
    return text;
}

bool CCaptureDlg::WindowAlive() const
{
    return m_hWnd && ::IsWindow(m_hWnd);
}

void CCaptureDlg::DoDataExchange(CDataExchange* dx)
{
    CDialogColleague::DoDataExchange(dx);
    DDX_Control(dx, IDC_PANEL_CAPTURE, m_captureButton);
    DDX_Control(dx, IDC_PANEL_PHOTO_MODE, m_photoButton);
    DDX_Control(dx, IDC_PANEL_BURST_MODE, m_burstButton);
    DDX_Control(dx, IDC_PANEL_SELF_TIMER_MODE, m_selfTimerButton);
    DDX_Control(dx, IDC_PANEL_VIDEO_MODE, m_videoButton);
    DDX_Control(dx, IDC_PANEL_RESOLUTION, m_resolutionList);
    DDX_Control(dx, IDC_PANEL_SETTINGS, m_settingsButton);
    DDX_Control(dx, IDC_PANEL_CLOSE, m_closeButton);
    DDX_Control(dx, IDC_PANEL_SELECT_ALL, m_selectAllButton);
    DDX_Control(dx, IDC_PANEL_OPEN, m_openButton);
    DDX_Control(dx, IDC_PANEL_DELETE, m_deleteButton);
    DDX_Control(dx, IDC_PANEL_COPY_TO_FOLDER, m_copyToFolderButton);
    DDX_Control(dx, IDC_PANEL_COPY_TO_EMAIL, m_copyToEmailButton);
    DDX_Control(dx, IDC_PANEL_TREE, *m_pTree);
    DDX_Control(dx, IDC_PANEL_LIST, *m_pList);
    DDX_Control(dx, IDC_CHRONO, m_chrono);
    DDX_Control(dx, IDC_COUNTDOWN, m_anim);
    DDX_Control(dx, IDC_CAPTURE_BORDER, m_border);
    DDX_Control(dx, IDC_PANEL_REC_LABEL, m_recLabel);
    DDX_Control(dx, IDC_PANEL_REC_DOT, m_recDot);
    DDX_Control(dx, IDC_PANEL_FOLDER_CAPTION, m_folderCaption);
    DDX_Control(dx, IDC_PANEL_EMAIL_CAPTION, m_emailCaption);
    DDX_Control(dx, IDC_PANEL_COPY_TO_CAPTION, m_copyToCaption);
    DDX_Control(dx, IDC_PANEL_RESOLUTION_CAPTION, m_resolutionCaption);
    DDX_Control(dx, IDC_PANEL_TITLE, m_titleLabel);
    DDX_Control(dx, IDC_PANEL_CAPTURE_CAPTION, m_captureCaption);
    DDX_Control(dx, IDC_PANEL_SETTINGS_CAPTION, m_settingsCaption);
    DDX_Control(dx, IDC_PANEL_MODE_CAPTION, m_modeCaption);
    DDX_Control(dx, IDC_PANEL_TREE_CAPTION, m_treeCaption);
}

bool CCaptureDlg::RefreshDeviceSelection()
{
    if (!m_pController)
        return false;
    CDevicesSubj& videoDevices = m_pController->m_graph.GetVideoDevices();
    if (videoDevices.GetCount() == 0)
        videoDevices.SetSelectionNone();
    return videoDevices.HasSelection();
}

void CCaptureDlg::RefreshCaptureButton()
{
    const bool selected = RefreshDeviceSelection();
    if (m_captureButton.GetSafeHwnd())
        m_captureButton.EnableWindow(selected ? TRUE : FALSE);
}

BOOL CCaptureDlg::OnInitDialog()
{
    m_bFileActionBusy = false;
    m_nCloseRequested = 0;
    SetBackgroundImage(kBackgroundPng);
    CDialogColleague::OnInitDialog();
    SetWindowText(CParams::GetAppTitle());

    m_seriesTimer.SetTarget(m_hWnd, WM_SERIES_TICK);
    m_deviceCheckTimer.SetTarget(m_hWnd, WM_DEVICE_CHECK);

    const bool deviceSelected = RefreshDeviceSelection();
    if (m_pController)
        m_pController->SetSnapshotWindow(m_hWnd);
    g_params.LoadCameraSettings(ModelText());

    const int mode = CurrentCamMode();
    if (mode >= 0 && mode <= 3)
        SendDlgItemMessage(kModeButtonIds[mode], BM_SETCHECK, 1, 0);
    UpdateModeButtons();
    HCURSOR previousCursor = SetCursor(LoadCursor(nullptr, IDC_WAIT));

    PlaceControls(*this, kLayout);
    // The frame of the capture button has no image of its own: the background draws it.
    m_border.ShowWindow(SW_HIDE);
    SkinViews();

    m_chrono.SetController(m_pController);
    m_chrono.Display(static_cast<UINT>(m_nElapsedMs));
    m_anim.Update(static_cast<UINT>(m_nElapsedMs));

    DockToMainWindow();
    SendMessage(kDmReposition, 0, 0);
    MoveMainWindowToPanel();
    DockToMainWindow();

    SetUpControls();
    m_captureButton.EnableWindow(deviceSelected ? TRUE : FALSE);
    FillResolutionCombo();

    try
    {
        m_pList->InitializeCtrl();
        m_pList->AdjustIconSpacing();
        m_pList->SetMaxNameLength(18);
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "brevicam: the file list could not be set up: %s\n", error.what());
    }
    UpdateButtons();

    if (IAcceleratorWindows* accelerators = Accelerators())
        accelerators->AddAcceleratorWindow(m_hWnd);

    SetUpToolTips();
    for (int id : kUnusedControls)
        if (CWnd* unused = GetDlgItem(id))
            unused->ShowWindow(SW_HIDE);

    m_selectAllButton.SetWindowText(LoadText(IDS_SELECT_ALL));
    m_openButton.SetWindowText(LoadText(IDS_OPEN));
    m_deleteButton.SetWindowText(LoadText(IDS_DELETE));

    if (CurrentCamMode() == 3)
        ShowRecordIndicator(false);
    else
    {
        m_recLabel.ShowWindow(SW_HIDE);
        m_recDot.ShowWindow(SW_HIDE);
    }

    if (m_pController)
    {
        m_bAttached = true;
        m_pController->m_pVideoState->Attach(this);
        m_pController->m_pProgState->Attach(this);
    }
    g_bCaptureDlgReenable = 0;
    g_bCaptureDlgButtonsRestored = 1;
    WTSRegisterSessionNotification(m_hWnd, NOTIFY_FOR_THIS_SESSION);
    SetCursor(previousCursor);
    return TRUE;
}

void CCaptureDlg::SkinViews()
{
    faldra::tagSCROLLSTARTINFO scroll[2] = {{16, 23, 23, 11}, {16, 23, 23, 10}};
    try
    {
        m_pList->InitControl(scroll);
        m_pList->GetScrollBarCtl(1).SetVSkin(602, 785, 784, 600, 690, 598);
        m_pList->GetScrollBarCtl(0).SetHSkin(593, 595, 783, 596, 689, 594);
        m_pList->SendMessage(WM_SETREDRAW, TRUE, 0);
        m_pTree->InitControl(scroll);
        m_pTree->GetScrollBarCtl(1).SetVSkin(602, 785, 784, 600, 690, 598);
        m_pTree->GetScrollBarCtl(0).SetHSkin(593, 595, 783, 596, 689, 594);
    }
    catch (const std::exception& error)
    {
        // The views keep plain scroll bars.
        std::fprintf(stderr, "brevicam: the panel's scroll bars: %s\n", error.what());
    }
}

void CCaptureDlg::SetUpControls()
{
    LoadImages(m_captureButton, kCaptureImages);
    m_captureButton.SetPressedLook(TRUE);
    CGdipButton* modes[] = {&m_photoButton, &m_burstButton, &m_selfTimerButton, &m_videoButton};
    for (std::size_t i = 0; i < 4; ++i)
    {
        LoadImages(*modes[i], kModeLooks[i].images);
        modes[i]->SetPressedLook(TRUE);
    }
    LoadImages(m_settingsButton, kSettingsImages);
    m_closeButton.SetSkin(780, 782, 781);
    m_closeButton.SetFadeHover(FALSE);

    const struct
    {
        CGdipButton* button;
        const UINT (&images)[4];
    } textButtons[] = {{&m_selectAllButton, kSelectAllImages},
                       {&m_openButton, kOpenImages},
                       {&m_deleteButton, kDeleteImages}};
    for (const auto& text : textButtons)
    {
        LoadImages(*text.button, text.images);
        text.button->SetTextColors(kWhite, kDark);
        text.button->SetHoverTextColor(kWhite);
        text.button->SetPressedTextColor(kWhite);
        text.button->SetFontBold(TRUE);
        text.button->SetFontSize(85);
        text.button->SetTextOffset(0, 2);
    }
    m_copyToFolderButton.SetSkin(435, 454, 453, 455, 0, 0, 2);
    m_copyToFolderButton.SetFadeHover(FALSE);
    m_copyToEmailButton.SetSkin(436, 457, 456, 458, 0, 0, 0);
    m_copyToEmailButton.SetTextOffset(1, 14);
    m_copyToEmailButton.SetFadeHover(FALSE);

    const struct
    {
        CLabel* label;
        UINT text;
        int points;
        COLORREF colour;
        bool bold;
    } labels[] = {
        {&m_folderCaption, IDS_COPY_FOLDER_TITLE, 9, kBlack, false},
        {&m_emailCaption, IDS_EMAIL_CAPTION, 9, kBlack, false},
        {&m_copyToCaption, IDS_OR_COPY_TO, 9, kDark, true},
        {&m_resolutionCaption, IDS_RESOLUTION_SELECTION, 9, kLight, true},
        {&m_titleLabel, IDS_CAPTURE_CAPTION, 14, kLight, true},
        {&m_captureCaption, IDS_CAPTURE_CAPTION, 9, kLight, true},
        {&m_settingsCaption, IDS_SETTINGS_TITLE, 9, kLight, true},
        {&m_modeCaption, IDS_MODE_SELECTION, 9, kLight, true},
        {&m_treeCaption, IDS_TREE_FOLDER_CAPTION, 9, kDark, true},
    };
    for (const auto& caption : labels)
    {
        caption.label->SetTransparent(TRUE);
        caption.label->SetFontName("Arial");
        caption.label->SetFontSize(caption.points);
        caption.label->SetFontBold(caption.bold ? TRUE : FALSE);
        caption.label->SetTextColor(caption.colour);
        caption.label->SetText(LoadText(caption.text));
    }
    m_titleLabel.SetFontFace("Arial", TRUE);

    m_chrono.SetTransparent(TRUE);
    m_chrono.SetFontName("Arial");
    m_chrono.SetFontSize(8);
    m_chrono.SetFontBold(TRUE);
    m_chrono.SetTextColor(kLight);

    m_resolutionList.SetSkin(623, 622, 624, 12);
    try
    {
        m_resolutionList.SetVScrollSkin(602, 785, 784, 600, 690, 598);
    }
    catch (const std::exception&)
    {
        // A list without its popup keeps the plain scroll bar.
    }
    const CRect stored = m_resolutionList.GetEditRectangle();
    CRect face(stored.left + 1, stored.top + 2, stored.left + 1 + 143, stored.bottom - 2);
    m_resolutionList.SetEditRectangle(&face);
    m_resolutionList.SetIndentation(1);
    m_resolutionList.SetBackColor(0xE3E3E3);
    m_resolutionList.SetBackHighlight(0x8A8A8A);
    m_resolutionList.SetFont("Arial", 14, 5);
    m_resolutionList.SetFontColor(kWhite);
    m_resolutionList.GetDrawContext().m_bFixedTextColors = 1;
    m_resolutionList.SetWindowPos(nullptr, 0, 0, 167, 25, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CCaptureDlg::SetUpToolTips()
{
    if (!m_pToolTip || !m_pToolTip->Create(this))
        return;
    m_pToolTip->SetMaxTipWidth(kToolTipWidth);
    const struct
    {
        CWnd* control;
        UINT text;
    } tools[] = {
        {&m_copyToEmailButton, IDS_COPY_TO_EMAIL_TIP},
        {&m_copyToFolderButton, IDS_COPY_TO_FOLDER_TIP},
        {&m_captureButton, IDS_CAPTURE_TIP},
        {&m_selectAllButton, IDS_SELECT_ALL_TIP},
        {&m_openButton, IDS_OPEN_TIP},
        {&m_deleteButton, IDS_DELETE_TIP},
        {&m_settingsButton, IDS_SETTINGS_TIP},
        {&m_resolutionList, IDS_RESOLUTION_LIST_TIP},
        {&m_photoButton, IDS_PHOTO_MODE_TIP},
        {&m_burstButton, IDS_BURST_MODE_TIP},
        {&m_selfTimerButton, IDS_SELF_TIMER_MODE_TIP},
        {&m_videoButton, IDS_VIDEO_MODE_TIP},
        {&m_closeButton, IDS_PANEL_CLOSE_TIP},
    };
    for (const auto& tool : tools)
        m_pToolTip->AddTool(tool.control, LoadText(tool.text).GetString());
    m_pToolTip->Activate(TRUE);
}

// ---------------------------------------------------------------------------------------------------------
// Docking
// ---------------------------------------------------------------------------------------------------------

void CCaptureDlg::DockToMainWindow()
{
    if (!WindowAlive() || !m_pMainDialog || !m_pMainDialog->GetHwnd())
        return;
    CRect main;
    ::GetWindowRect(m_pMainDialog->GetHwnd(), &main);
    CRect panel;
    GetWindowRect(&panel);
    CRect dock;
    dock.top = main.top + kDockTopOffset;
    dock.bottom = dock.top + panel.Height();
    if (GetExStyle() & WS_EX_LAYOUTRTL)
    {
        dock.right = main.left + kDockOverlap;
        dock.left = dock.right - panel.Width();
    }
    else
    {
        dock.left = main.right - kDockOverlap;
        dock.right = dock.left + panel.Width();
    }
    CTransparentDialogBase::MoveWindow(dock, TRUE);
    UpdateWindow();
}

void CCaptureDlg::MoveMainWindowToPanel()
{
    if (!WindowAlive() || !m_pMainDialog || !m_pMainDialog->GetHwnd())
        return;
    CRect panel;
    GetWindowRect(&panel);
    CRect main;
    ::GetWindowRect(m_pMainDialog->GetHwnd(), &main);
    const int width = main.Width();
    const int height = main.Height();
    const int top = panel.top - kDockTopOffset;
    const int left =
        (GetExStyle() & WS_EX_LAYOUTRTL) ? panel.right - kDockOverlap : panel.left + kDockOverlap - width;
    m_pMainDialog->CTransparentDialogBase::MoveWindow(CRect(left, top, left + width, top + height), TRUE);
    m_pMainDialog->UpdateWindow();
}

LRESULT CCaptureDlg::OnDisplayChangeMessage(WPARAM, LPARAM)
{
    MoveMainWindowToPanel();
    DockToMainWindow();
    return 0;
}

void CCaptureDlg::OnEnable(BOOL enable)
{
    if (!m_pMainDialog || !m_pMainDialog->GetHwnd())
        return;
    const HWND main = m_pMainDialog->GetHwnd();
    if ((::IsWindowEnabled(main) != FALSE) != (enable != FALSE))
        ::EnableWindow(main, enable);
}

// ---------------------------------------------------------------------------------------------------------
// Folders, modes and resolutions
// ---------------------------------------------------------------------------------------------------------

void CCaptureDlg::ExploreCaptureFolder()
{
    try
    {
        m_pTree->InitializeCtrl();
        m_bExplorerReady = true;
        m_pTree->Explore(CurrentCamMode() == 3 ? g_params.GetVideoPath() : g_params.GetPhotoPath());
    }
    catch (const CUserInterfaceException&)
    {
        m_pTree->RedrawWindow(nullptr, nullptr, RDW_UPDATENOW | RDW_ERASE | RDW_INVALIDATE);
        const LRESULT root = m_pTree->SendMessage(TVM_GETNEXTITEM, TVGN_ROOT, 0);
        m_pTree->SendMessage(TVM_SELECTITEM, TVGN_CARET, root);
    }
}

void CCaptureDlg::RebuildFolderTree()
{
    if (m_bExplorerReady)
        m_pTree->Rebuild();
}

void CCaptureDlg::EndModalChild()
{
    if (!m_pModalChild)
        return;
    if (m_pModalChild->GetSafeHwnd())
        m_pModalChild->EndDialog(0);
    m_pModalChild = nullptr;
}

void CCaptureDlg::EnableCaptureControls(bool on)
{
    const BOOL enable = on ? TRUE : FALSE;
    for (CWnd* control : std::initializer_list<CWnd*>{&m_burstButton, &m_photoButton, &m_selfTimerButton,
                                                      &m_selectAllButton, &m_deleteButton, &m_openButton})
        control->EnableWindow(enable);
    m_pList->EnableContextMenu(enable);
}

void CCaptureDlg::UpdateModeButtons()
{
    const int mode = CurrentCamMode();
    if (mode < 0 || mode > 3)
        return;
    for (int i = 0; i < 4; ++i)
        SendDlgItemMessage(kModeButtonIds[i], BM_SETCHECK, i == mode ? 1 : 0, 0);
    const int show = mode == 3 ? SW_SHOW : SW_HIDE;
    if (m_recLabel.GetSafeHwnd())
        m_recLabel.ShowWindow(show);
    if (m_recDot.GetSafeHwnd())
        m_recDot.ShowWindow(show);
}

void CCaptureDlg::ShowRecordIndicator(bool recording)
{
    if (!m_recLabel.GetSafeHwnd() || !m_recDot.GetSafeHwnd())
        return;
    if (recording)
    {
        if (!m_recDotBitmap.GetSafeHandle())
            m_recDotBitmap.LoadBitmap(IDB_REC_DOT);
        m_recDot.SetBitmap(static_cast<HBITMAP>(m_recDotBitmap.GetSafeHandle()));
    }
    else
    {
        m_recDot.SetBitmap(nullptr);
        m_recDotBitmap.DeleteObject();
    }
    m_recLabel.SetTransparent(TRUE);
    m_recLabel.SetTextColor(kLight);
    m_recLabel.SetFontBold(TRUE);
    m_recLabel.SetFontSize(9);
    m_recLabel.SetFontName("Arial");
    m_recLabel.SetText(LoadText(recording ? IDS_REC : IDS_PAUSE));
    m_recLabel.FlashText(recording ? TRUE : FALSE, 500, -1);
}

void CCaptureDlg::OnModeButton(int mode)
{
    if (mode != 3)
        m_recLabel.ShowWindow(SW_HIDE);
    m_chrono.ShowWindow(SW_HIDE);
    if (CurrentCamMode() != mode)
        m_resolutionList.SendMessage(CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    if (!m_pController)
        return;
    try
    {
        m_pController->SetCamMode(mode);
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "brevicam: the capture mode did not change: %s\n", error.what());
    }
    if (!WindowAlive())
        return;
    // The buttons show the mode the controller took, also when it refused the change.
    UpdateModeButtons();
    if (mode == 3)
    {
        m_recLabel.ShowWindow(SW_SHOW);
        m_recDot.ShowWindow(SW_SHOW);
    }
    if (mode == 1)
    {
        m_pController->m_graph.DetectWebcamModel();
        if (GetWebcamModel() == 0 || !WindowAlive())
            return;
    }
    const CString folder = mode == 3 ? g_params.GetVideoPath() : g_params.GetPhotoPath();
    if (m_bExplorerReady && m_pList->GetCurrentFolderPath().Str() != folder.Str())
    {
        try
        {
            m_pTree->Explore(folder);
        }
        catch (const CUserInterfaceException&)
        {
            // The tree stays where it was.
        }
    }
}

void CCaptureDlg::OnPhotoMode()
{
    OnModeButton(0);
}

void CCaptureDlg::OnBurstMode()
{
    OnModeButton(1);
}

void CCaptureDlg::OnSelfTimerMode()
{
    OnModeButton(2);
}

void CCaptureDlg::OnVideoMode()
{
    OnModeButton(3);
}

void CCaptureDlg::FillResolutionCombo()
{
    if (!m_resolutionList.GetSafeHwnd())
        return;
    if (!m_pController)
    {
        m_resolutionList.ResetContent();
        return;
    }
    FillResolutionList(m_resolutionList, *m_pController, m_hResources);
    UpdateRecordControls();
}

void CCaptureDlg::UpdateRecordControls()
{
    if (!m_pController || !m_resolutionList.GetSafeHwnd())
        return;
    ShowRecordIndicator(UpdateResolutionListState(m_resolutionList, *m_pController));
}

void CCaptureDlg::OnResolutionSelChange()
{
    if (!m_pController)
        return;
    bool applied = false;
    try
    {
        applied = ApplyChosenResolution(m_resolutionList, *m_pController, m_hResources);
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "brevicam: the resolution did not change: %s\n", error.what());
    }
    if (!applied || !WindowAlive())
        return;
    if (m_pMainDialog && m_pMainDialog->GetHwnd())
        if (HWND surface = ::GetDlgItem(m_pMainDialog->GetHwnd(), IDC_LIVE_VIDEO))
            ::RedrawWindow(surface, nullptr, nullptr, RDW_UPDATENOW);
    m_pList->SetFocus();
    PostMessage(WM_RELEASE_CAPTURE_BUTTON, 0, 0);
}

void CCaptureDlg::OnSettings()
{
    m_settingsButton.EnableWindow(FALSE);
    int foldersChanged = 0;
    {
        CCaptureSettingsDlg settings(this);
        settings.SetController(m_pController);
        m_pSettingsDialog = &settings;
        settings.DoModal();
        foldersChanged = settings.GetFoldersChanged();
        m_pSettingsDialog = nullptr;
    }
    if (!WindowAlive())
        return;
    m_settingsButton.EnableWindow(TRUE);
    if (foldersChanged && m_bExplorerReady)
        m_pTree->Rebuild();
}

void CCaptureDlg::OnClose()
{
    if (m_pMainDialog)
        m_pMainDialog->CloseCaptureWindow();
    else
        Default();
}

void CCaptureDlg::OnCloseButton()
{
    if (m_pMainDialog)
        m_pMainDialog->CloseCaptureWindow();
}

void CCaptureDlg::OnDestroy()
{
    if (IAcceleratorWindows* accelerators = Accelerators())
        accelerators->RemoveAcceleratorWindow(m_hWnd);
    WTSUnRegisterSessionNotification(m_hWnd);
    if (m_bAttached && m_pController)
    {
        m_bAttached = false;
        m_pController->m_pVideoState->Detach(this);
        m_pController->m_pProgState->Detach(this);
        m_pController->SetSnapshotWindow(nullptr);
    }
    m_seriesTimer.Pause();
    m_deviceCheckTimer.Pause();
    // The delete thread only deletes and posts; the panel does not go before it has ended.
    JoinDeleteThread();
    CTransparentDialogBase::OnDestroy();
    m_bExplorerReady = false;
    if (m_pToolTip && m_pToolTip->GetSafeHwnd())
        m_pToolTip->DestroyWindow();
    if (m_pSettingsDialog)
    {
        if (m_pSettingsDialog->GetSafeHwnd())
            m_pSettingsDialog->EndDialog(0);
        m_pSettingsDialog = nullptr;
    }
    if (m_pResolutionNotice)
    {
        if (m_pResolutionNotice->GetSafeHwnd())
            m_pResolutionNotice->EndDialog(0);
        m_pResolutionNotice = nullptr;
        if (m_pMainDialog)
            m_pMainDialog->m_bNoticeOpen = false;
    }
    EndModalChild();
}
