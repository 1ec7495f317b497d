#include "miravoc/MiravocDlg.h"

#include "Controls/ControlLayout.h"
#include "miravoc/AudioDeviceEngine.h"
#include "miravoc/Languages.h"
#include "miravoc/Miravoc.h"
#include "miravoc/MiravocApp.h"
#include "miravoc/PelmoraLibrary.h"
#include "miravoc/SoundSettings.h"
#include "platform/commctrl/Progress.h"
#include "platform/commctrl2/ComboBox.h"
#include "platform/ostrago/Ostrago.h"
#include "platform/resources/Resources.h"
#include "resources/miravoc/resource.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>

namespace
{
constexpr UINT kBackgroundPng = 129;
constexpr UINT kIconId = IDI_AUDIO_SETTINGS;
constexpr UINT_PTR kMeterTimer = 1;
constexpr UINT kMeterPeriodMs = 33;
constexpr UINT_PTR kMuteTimer = 2;
constexpr UINT kMutePeriodMs = 500;
constexpr auto kRefreshLockWait = std::chrono::milliseconds(500);
constexpr DWORD kUnreadable = 0xFFFFFFFF;
constexpr COLORREF kWhite = 0xFFFFFF;
constexpr COLORREF kInk = 0x333333;
constexpr COLORREF kThumbKey = 0xF702FF;
constexpr int kToolTipWidth = 200;
constexpr int kVistaRestoreCalls = 7;
constexpr std::size_t kDeviceNameCompareBytes = 1023;

// Rows of the language table (their English ids).
constexpr int kTitleText = 151;
constexpr int kVolumeText = 152;
constexpr int kOkText = 153;
constexpr int kCancelText = 154;
constexpr int kNoneText = 157;
constexpr int kChooserText = 458;
constexpr int kNoiseCancellationText = 465;
constexpr int kMuteTip = 472;
constexpr int kNoiseCancellationTip = 479;

// Where each control sits, in pixels of the 360 x 520 background.
constexpr ControlPlace kLayout[] = {
    {IDC_TITLE, 16, 9, 280, 22},
    {IDC_CLOSE, 322, 6, 26, 26},
    {IDC_VOLUME_CAPTION, 24, 50, 200, 18},
    {IDC_VOLUME_SLIDER, 40, 78, 24, 222},
    {IDC_LEVEL_METER, 84, 78, 17, 222},
    {IDC_VOLUME_VALUE, 28, 306, 40, 18},
    {IDC_MUTE, 122, 270, 37, 30},
    {IDC_UNMUTE, 122, 270, 37, 30},
    {IDC_CHOOSER_CAPTION, 18, 340, 320, 16},
    {IDC_MIC_CHOOSER, 18, 360, 323, 25},
    {IDC_SOUND_SETTINGS, 18, 400, 37, 34},
    {IDC_SOUND_SETTINGS_CAPTION, 64, 409, 270, 18},
    {IDC_NOISE_CANCELLATION, 18, 404, 29, 29},
    {IDC_NOISE_CANCELLATION_CAPTION, 56, 409, 284, 18},
    {IDOK, 150, 462, 80, 44},
    {IDCANCEL, 236, 462, 112, 44},
};

/// The dialog that engine events are posted to; null while none runs.
std::atomic<CMiravocDlg*> g_pEventTarget{nullptr};
/// The percentage the value label last showed, library-wide.
int g_nLastPercent = 0;
bool g_bPercentShown = false;

bool IsVista()
{
    return isWindowsVista() != 0;
}

// Runs on the thread that raised the event: it only hands the event to the dialog's thread.
void OnEngineCallback(DWORD value, DWORD type)
{
    if (CMiravocDlg* dialog = g_pEventTarget.load())
    {
        if (HWND hwnd = dialog->GetSafeHwnd())
            ::PostMessage(hwnd, WM_MIRAVOC_ENGINE_EVENT, type, static_cast<LPARAM>(value));
    }
}

CString LanguageText(int key, HINSTANCE module = nullptr)
{
    CString text;
    LoadLanguageString(key, text, module);
    return text;
}

void SetUpLabel(CLabel& label, const CString& text, int points, COLORREF colour)
{
    label.SetTransparent(TRUE);
    label.SetFontBold(TRUE);
    label.SetFontName("Arial");
    label.SetFontSize(points);
    label.SetTextColor(colour);
    label.SetText(text);
}

void Resize(CWnd& control, int width, int height)
{
    if (control.GetSafeHwnd())
        control.SetWindowPos(nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

/// A device's name as the dialog compares it with the caller's: the whole name, never cut inside a
/// character.
std::string ComparableName(const std::string& name)
{
    return std::string(platform::Utf8Prefix(name, kDeviceNameCompareBytes));
}
} // namespace

BEGIN_MESSAGE_MAP(CMiravocDlg, CTransparentDialogBase)
ON_WM_TIMER()
ON_WM_QUERYDRAGICON()
ON_WM_VSCROLL()
ON_WM_DESTROY()
ON_MESSAGE(WM_BITMAPSLIDER_MOVED, OnSliderMoved)
ON_MESSAGE(WM_MIRAVOC_ENGINE_EVENT, OnEngineEvent)
ON_BN_CLICKED(IDC_MUTE, OnMute)
ON_BN_CLICKED(IDC_UNMUTE, OnUnmute)
ON_BN_CLICKED(IDC_NOISE_CANCELLATION, OnNoiseCancellation)
ON_BN_CLICKED(IDC_SOUND_SETTINGS, OnSoundSettings)
ON_BN_CLICKED(IDC_CLOSE, OnCloseButton)
ON_CBN_SELCHANGE(IDC_MIC_CHOOSER, OnChooserChanged)
ON_NOTIFY(NM_CUSTOMDRAW, IDC_VOLUME_SLIDER, OnSliderCustomDraw)
END_MESSAGE_MAP()

CMiravocDlg::CMiravocDlg(CWnd* parent, UINT templateId)
    : CTransparentDialogBase(kBackgroundPng, templateId, parent, TRUE),
      m_hModule(platform::resources::ThisModule())
{
    // The template's trackbar, progress bar and combo box need their classes before the window exists.
    InitTrackbarClass();
    InitProgressClass();
    InitComboBoxClass();
    const LPCSTR icon = MAKEINTRESOURCE(kIconId);
    m_hIcon = ::LoadIcon(AfxFindResourceHandle(icon, RT_GROUP_ICON), icon);
    g_pEventTarget.store(this);
    if (CAudioDeviceEngine* engine = AudioDeviceEngine())
        engine->SetEventCallback(&OnEngineCallback);
    m_pToolTip = new CToolTipCtrl;
    SetRefreshMessage(CGdipButton::GetRefreshMessage());
}

CMiravocDlg::~CMiravocDlg()
{
    // Once the callback is removed no event can reach this dialog any more.
    if (CAudioDeviceEngine* engine = AudioDeviceEngine())
    {
        engine->SetEventCallback(nullptr);
        if (!m_bMeterStarted)
            engine->StopMetering();
    }
    CMiravocDlg* self = this;
    g_pEventTarget.compare_exchange_strong(self, nullptr);
    if (m_pToolTip)
    {
        if (m_pToolTip->GetSafeHwnd())
            m_pToolTip->DestroyWindow();
        delete m_pToolTip;
        m_pToolTip = nullptr;
    }
    if (m_hWnd && ::IsWindow(m_hWnd))
        DestroyWindow();
}

void CMiravocDlg::DoDataExchange(CDataExchange* dx)
{
    CTransparentDialogBase::DoDataExchange(dx);
    DDX_Control(dx, IDC_VOLUME_SLIDER, m_slider);
    DDX_Control(dx, IDC_LEVEL_METER, m_meter);
    DDX_Control(dx, IDC_SOUND_SETTINGS, m_soundSettingsButton);
    DDX_Control(dx, IDOK, m_okButton);
    DDX_Control(dx, IDCANCEL, m_cancelButton);
    DDX_Control(dx, IDC_NOISE_CANCELLATION, m_ncCheck);
    DDX_Control(dx, IDC_CLOSE, m_closeButton);
    DDX_Control(dx, IDC_TITLE, m_title);
    DDX_Control(dx, IDC_VOLUME_CAPTION, m_volumeCaption);
    DDX_Control(dx, IDC_CHOOSER_CAPTION, m_chooserCaption);
    DDX_Control(dx, IDC_SOUND_SETTINGS_CAPTION, m_soundSettingsCaption);
    DDX_Control(dx, IDC_VOLUME_VALUE, m_volumeValue);
    DDX_Control(dx, IDC_NOISE_CANCELLATION_CAPTION, m_ncCaption);
    DDX_Control(dx, IDC_MUTE, m_muteButton);
    DDX_Control(dx, IDC_UNMUTE, m_unmuteButton);
    DDX_Control(dx, IDC_MIC_CHOOSER, m_chooser);
}

// ---------------------------------------------------------------------------------------------------------
// Initialisation
// ---------------------------------------------------------------------------------------------------------

BOOL CMiravocDlg::OnInitDialog()
{
    CTransparentDialogBase::OnInitDialog();
    const bool mirrored = (GetExStyle() & WS_EX_LAYOUTRTL) != 0;
    PlaceControls(*this, kLayout);
    if (CWnd* band = GetDlgItem(IDC_NOISE_CANCELLATION_BAND))
    {
        if (m_nMode != 0)
            band->ShowWindow(SW_HIDE);
        else
        {
            band->ShowWindow(SW_SHOW);
            band->SetWindowPos(nullptr, mirrored ? 16 : 12, 400, 0, 0,
                               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }

    m_nFilterId = GetDefaultMicFilterId();
    SetUpControls();
    m_muteButton.SetAutoRefresh();
    m_unmuteButton.SetAutoRefresh();
    m_ncCheck.SetAutoRefresh();

    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (engine)
    {
        if (IsVista())
            miravoc::pelmora::OpenDevice(m_strDeviceName.Str());
        else
        {
            // The caller's microphone, by the list as it is now.
            engine->RefreshDeviceList();
            engine->Open(engine->FindDeviceByName(m_strDeviceName.GetString()));
            m_nSavedDevice = engine->GetOpenDeviceIndex();
        }
    }
    UpdateMuteButtons();
    m_slider.EnableNotifications(true);

    if (m_nMode != 0)
    {
        for (int id : {IDC_MIC_CHOOSER, IDC_CHOOSER_CAPTION, IDC_SOUND_SETTINGS, IDC_SOUND_SETTINGS_CAPTION})
            GetDlgItem(id)->ShowWindow(SW_SHOW);
        for (int id : {IDC_NOISE_CANCELLATION, IDC_NOISE_CANCELLATION_CAPTION})
            GetDlgItem(id)->ShowWindow(SW_HIDE);
        m_bNcEditable = false;
        // The system's sound settings come from a program that may not be installed.
        m_soundSettingsButton.EnableWindow(IsSoundSettingsInstalled() ? TRUE : FALSE);
    }
    else
    {
        for (int id : {IDC_MIC_CHOOSER, IDC_CHOOSER_CAPTION, IDC_SOUND_SETTINGS, IDC_SOUND_SETTINGS_CAPTION})
            GetDlgItem(id)->ShowWindow(SW_HIDE);
        m_bNcEditable = m_nNcLocked != 1;
        if (!m_bNcEditable)
            m_ncCheck.EnableWindow(FALSE);
        else
        {
            m_bNcSaved = GetNoiseCancellation(m_nFilterId);
            m_ncCheck.SendMessage(BM_SETCHECK, m_bNcSaved ? BST_CHECKED : BST_UNCHECKED);
            // Without the webcam's driver instance there is nothing to switch.
            if (m_nFilterId < 0)
                m_ncCheck.EnableWindow(FALSE);
        }
        const int show = m_bNcEditable ? SW_SHOW : SW_HIDE;
        GetDlgItem(IDC_NOISE_CANCELLATION)->ShowWindow(show);
        GetDlgItem(IDC_NOISE_CANCELLATION_CAPTION)->ShowWindow(show);
    }

    UpdateVolumeControls();
    m_bMeterStarted = engine && engine->StartMetering();
    SetTimer(kMeterTimer, kMeterPeriodMs);
    RefreshDeviceChooser();
    SetTimer(kMuteTimer, kMutePeriodMs);
    SetWindowPos(nullptr, -13, -13, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    KeepInWorkArea();
    return TRUE;
}

void CMiravocDlg::KeepInWorkArea()
{
    // The corner the dialog goes to leaves part of it off the desktop; the whole window stays in view.
    CRect work(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
    CRect window;
    GetWindowRect(&window);
    const int x =
        std::clamp<int>(window.left, work.left, std::max<int>(work.left, work.right - window.Width()));
    const int y =
        std::clamp<int>(window.top, work.top, std::max<int>(work.top, work.bottom - window.Height()));
    if (x != window.left || y != window.top)
        SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CMiravocDlg::SetUpControls()
{
    const bool mirrored = (GetExStyle() & WS_EX_LAYOUTRTL) != 0;
    if (m_hIcon)
    {
        SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
        SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    }
    const CString title = LanguageText(kTitleText);
    SetWindowText(title.GetString());
    if (HWND layered = GetLayeredWindow())
        ::SetWindowText(layered, title.GetString());

    if (m_pToolTip && m_pToolTip->Create(this))
    {
        m_pToolTip->SetMaxTipWidth(kToolTipWidth);
        const CString tip = LanguageText(kMuteTip);
        m_pToolTip->AddTool(&m_muteButton, tip.GetString());
        m_pToolTip->AddTool(&m_unmuteButton, tip.GetString());
        m_pToolTip->Activate(TRUE);
    }

    SetUpLabel(m_title, title, 14, kWhite);
    SetUpLabel(m_chooserCaption, LanguageText(kChooserText), 9, kInk);
    SetUpLabel(m_soundSettingsCaption, title, 9, kInk);
    SetUpLabel(m_ncCaption, LanguageText(kNoiseCancellationText), 8, kInk);
    CString volume = LanguageText(kVolumeText);
    volume.Remove('\n');
    SetUpLabel(m_volumeCaption, volume, 9, kInk);
    SetUpLabel(m_volumeValue, "", 9, kInk);
    m_volumeValue.SetTransparent(FALSE);
    m_volumeValue.SetBkColor(kWhite);

    m_meter.SetBitmap(130u, 142u, FALSE);
    m_meter.ModifyStyleEx(WS_EX_STATICEDGE, 0);
    m_meter.ModifyStyle(WS_BORDER, 0);
    m_meter.SetRange(0, 100);
    m_meter.SetPos(0);
    Resize(m_meter, 17, 222);

    m_slider.EnableNotifications(false);
    m_slider.LoadChannelBitmaps(133, 0, FALSE, 0, 0, 0);
    m_slider.LoadThumbBitmaps(132, 131, 131, TRUE, kThumbKey, 0, 0);
    m_slider.SetVertical(true);
    m_slider.SetLineSize(0);
    m_slider.EnableWindow(FALSE);
    m_slider.EnableSlider(false);

    // Images before the font: a font change paints the button, which composes its looks from the images.
    m_okButton.SetWindowText(LanguageText(kOkText).GetString());
    m_okButton.LoadImages(134, 135, 136);
    Resize(m_okButton, 80, 44);
    m_cancelButton.SetWindowText(LanguageText(kCancelText).GetString());
    m_cancelButton.LoadImages(169, 170, 171);
    Resize(m_cancelButton, 112, 44);
    for (CGdipButton* button : {&m_okButton, &m_cancelButton})
    {
        button->SetTextColors(kWhite, 0x696969);
        button->SetFontName("Arial", DEFAULT_CHARSET);
        button->SetFontSize(85);
    }

    m_muteButton.LoadImages(1023, 1024, 1025, 1029);
    m_unmuteButton.LoadImages(1027, 1028, 1027, 1029);
    for (CGdipButton* button : {&m_muteButton, &m_unmuteButton})
    {
        button->SetPressedLook(TRUE);
        Resize(*button, 37, 30);
    }

    m_ncCheck.LoadImages(1030, 176, 1031, 1032);
    Resize(m_ncCheck, mirrored ? 27 : 29, 29);
    m_ncCheck.SetTooltipText(LanguageText(kNoiseCancellationTip));
    m_ncCheck.EnableWindow(TRUE);

    m_closeButton.SetSkin(165, 168, 167);
    Resize(m_closeButton, 26, 26);
    m_soundSettingsButton.SetSkin(138, 140, 139);
    Resize(m_soundSettingsButton, 37, 34);

    m_chooser.SetSkin(154, 153, 155, 12);
    try
    {
        m_chooser.SetVScrollSkin(160, 162, 164, 163, 164, 161);
    }
    catch (const std::exception&)
    {
        // A chooser without its popup keeps the plain scroll bar.
    }
    CRect text = m_chooser.GetEditRectangle();
    text.top += 2;
    text.bottom -= 2;
    text.left += 2;
    text.right = text.left + 297;
    m_chooser.SetEditRectangle(&text);
    m_chooser.SetTextColor(kInk);
    m_chooser.SetFont("Arial", 14, 5);
    m_chooser.SetIndentation(1);
    m_chooser.SetBackColor(0xE3E3E3);
    m_chooser.SetBackHighlight(0x8A8A8A);
    m_chooser.SetFontColor(kInk);
    m_chooser.GetDrawContext().m_bFixedTextColors = 1;
    Resize(m_chooser, 323, 25);
}

// ---------------------------------------------------------------------------------------------------------
// Devices, volume and mute
// ---------------------------------------------------------------------------------------------------------

bool CMiravocDlg::RefreshDeviceChooser()
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine)
        return false;
    engine->RefreshDeviceList();
    // The list is not rebuilt under someone else's feet: without the lock the refresh is left undone.
    std::unique_lock held(m_refreshLock, std::defer_lock);
    if (!held.try_lock_for(kRefreshLockWait))
        return false;
    if (!::IsWindow(m_hWnd))
        return false;
    m_chooser.ResetContent();
    if (!m_chooser.GetPopupCtrl())
        return false;
    const bool vista = IsVista();
    const auto devices = engine->GetDevices();
    const std::string wanted = ComparableName(m_strDeviceName.Str());
    // The device in use is shown once it is no longer the caller's (chosen here, or the caller's gone).
    const int open = vista ? -1 : engine->GetOpenDeviceIndex();
    m_deviceIds.clear();
    int named = -1;
    int opened = -1;
    for (const auto& device : devices)
    {
        const std::string& shown = vista ? device.displayName : device.fullName;
        const int entry = m_chooser.AddString(shown.c_str());
        if (entry < 0)
            continue;
        m_deviceIds.push_back(device.id);
        // The whole name decides: two microphones may share the beginning of their names.
        if (!wanted.empty() && ComparableName(device.fullName) == wanted)
            named = entry;
        if (open >= 0 && device.id == static_cast<UINT>(open))
            opened = entry;
    }
    if (opened >= 0 || named >= 0)
        m_chooser.SetCurSel(opened >= 0 ? opened : named);
    if (vista)
    {
        m_dwSavedVolume = static_cast<DWORD>(miravoc::pelmora::GetVolumeLevel());
        m_bSavedMute = miravoc::pelmora::IsMute();
    }
    else
    {
        m_dwSavedVolume = engine->GetCurrentVolume();
        m_bSavedMute = engine->GetVolumeMute() == 1;
    }
    if (!m_deviceIds.empty())
        m_chooser.EnableWindow(TRUE);
    else
    {
        m_chooser.AddString(LanguageText(kNoneText, m_hModule).GetString());
        m_chooser.SetCurSel(0);
        m_chooser.EnableWindow(FALSE);
    }
    m_chooser.ShowDropDown(FALSE);
    return true;
}

void CMiravocDlg::UpdateVolumeControls()
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    const bool vista = IsVista();
    const bool controllable =
        engine && (vista ? miravoc::pelmora::IsVolumeSupported() : engine->IsVolumeAvailable());
    if (controllable && vista)
    {
        m_slider.EnableWindow(TRUE);
        m_slider.EnableSlider(true);
        m_slider.SetValueRange(0, 100, FALSE);
        const int level = miravoc::pelmora::GetVolumeLevel();
        m_slider.SetValue(100 - level, false);
        m_bSliderInactive = false;
        if (m_slider.IsValueAccepted())
            UpdateVolumeLabel(static_cast<DWORD>(level), true);
    }
    else if (controllable)
    {
        m_slider.EnableWindow(TRUE);
        m_slider.EnableSlider(true);
        const int minimum = static_cast<int>(engine->GetMinimalVolume());
        const int maximum = static_cast<int>(engine->GetMaximalVolume());
        m_slider.SetValueRange(minimum, maximum, FALSE);
        m_slider.SetValue(static_cast<int>(static_cast<DWORD>(maximum) - engine->GetCurrentVolume()), false);
        UpdateVolumeLabel(0, true);
    }
    else
    {
        m_volumeValue.SetText("100");
        m_slider.EnableWindow(FALSE);
        m_slider.EnableSlider(false);
        m_slider.SetValue(0, true);
        UpdateVolumeLabel(0, true);
    }
}

void CMiravocDlg::UpdateVolumeLabel(DWORD vistaVolume, bool force)
{
    const int minimum = m_slider.GetMinimum();
    const int maximum = m_slider.GetMaximum();
    const int position = m_slider.GetPos();
    // An empty range, as of a control without travel, shows 0 %.
    const int percent = maximum == minimum
                            ? 0
                            : 100 - static_cast<int>((static_cast<double>(position) - minimum) * 100.0 /
                                                         (static_cast<double>(maximum) - minimum) +
                                                     0.5);
    if (!g_bPercentShown)
    {
        g_bPercentShown = true;
        g_nLastPercent = percent;
    }
    if (percent == g_nLastPercent && !force)
        return;
    g_nLastPercent = percent;
    char text[16] = {};
    std::snprintf(text, sizeof text, "%3d", IsVista() ? static_cast<int>(vistaVolume) : percent);
    CString shown;
    m_volumeValue.GetWindowText(shown);
    if (shown != text)
        m_volumeValue.SetText(text);
}

void CMiravocDlg::UpdateMuteButtons()
{
    if (IsMuteAvailable())
    {
        m_muteButton.EnableWindow(TRUE);
        m_unmuteButton.EnableWindow(TRUE);
        const bool muted = IsVista() ? miravoc::pelmora::IsMute() : GetVolumeMute() == 1;
        m_unmuteButton.ShowWindow(muted ? SW_SHOW : SW_HIDE);
        m_muteButton.ShowWindow(muted ? SW_HIDE : SW_SHOW);
    }
    else
    {
        m_unmuteButton.ShowWindow(SW_SHOW);
        m_unmuteButton.EnableWindow(FALSE);
        m_muteButton.ShowWindow(SW_HIDE);
    }
}

bool CMiravocDlg::GetNoiseCancellation(int instance) const
{
    return ::GetNoiseCancellation(instance);
}

void CMiravocDlg::SetNoiseCancellation(bool on, int instance) const
{
    ::SetNoiseCancellation(on, instance, m_ncParameters);
}

void CMiravocDlg::OpenChosenDevice(int entry)
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine || entry < 0 || static_cast<std::size_t>(entry) >= m_deviceIds.size())
        return;
    engine->Open(static_cast<int>(m_deviceIds[static_cast<std::size_t>(entry)]));
}

// ---------------------------------------------------------------------------------------------------------
// Handlers
// ---------------------------------------------------------------------------------------------------------

void CMiravocDlg::OnTimer(UINT_PTR id)
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (id == kMuteTimer)
    {
        UpdateMuteButtons();
        return;
    }
    if (id != kMeterTimer || !engine)
    {
        Default();
        return;
    }
    const bool vista = IsVista();
    const int level = vista ? miravoc::pelmora::GetVolume() : engine->GetMeterLevel();
    const int shown = GetVolumeMute() != 0 ? 0 : level;
    if (m_meter.GetPos() != shown)
    {
        m_meter.SetPos(shown);
        m_meter.Invalidate(TRUE);
    }
    if (vista)
    {
        m_slider.SetValueRange(0, 100, FALSE);
        const int volume = miravoc::pelmora::GetVolumeLevel();
        if (volume + m_slider.GetPos() != 100)
        {
            m_slider.SetValue(100 - volume, false);
            if (m_slider.IsValueAccepted())
                UpdateVolumeLabel(static_cast<DWORD>(volume), true);
        }
    }
    m_meter.Invalidate(FALSE);
}

void CMiravocDlg::SliderChanged()
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine)
        return;
    const int position = m_slider.GetPos();
    if (!IsVista())
    {
        engine->SetCurrentVolume(static_cast<DWORD>(m_slider.GetMaximum() - position));
        UpdateVolumeLabel(0, false);
        return;
    }
    if (m_bSliderInactive)
        return;
    miravoc::pelmora::SetVolumeLevel(100 - position);
    m_slider.SetValue(position, false);
    if (m_slider.IsValueAccepted())
        UpdateVolumeLabel(static_cast<DWORD>(100 - position), false);
}

LRESULT CMiravocDlg::OnSliderMoved(WPARAM, LPARAM)
{
    SliderChanged();
    return 0;
}

void CMiravocDlg::OnVScroll(UINT, UINT, CScrollBar*)
{
    SliderChanged();
    Default();
}

LRESULT CMiravocDlg::OnEngineEvent(WPARAM wParam, LPARAM lParam)
{
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (!engine)
        return 0;
    switch (static_cast<DWORD>(wParam))
    {
    case AUDIO_EVENT_VOLUME_CHANGED:
    {
        const int position = IsVista() ? 100 - miravoc::pelmora::GetVolumeLevel()
                                       : m_slider.GetMaximum() - static_cast<int>(lParam);
        m_slider.SetValue(position, false);
        if (m_slider.IsValueAccepted())
            UpdateVolumeLabel(static_cast<DWORD>(100 - position), false);
        break;
    }
    case AUDIO_EVENT_DEVICE_LOST:
    {
        RefreshDeviceChooser();
        std::unique_lock held(m_refreshLock, std::defer_lock);
        if (!held.try_lock_for(kRefreshLockWait))
            break;
        engine->SetPreferredDevice(0);
        m_chooser.SetCurSel(0);
        KillTimer(kMeterTimer);
        OpenChosenDevice(m_chooser.GetCurSel());
        UpdateVolumeControls();
        engine->StartMetering();
        m_meter.ShowWindow(SW_SHOW);
        SetTimer(kMeterTimer, kMeterPeriodMs);
        break;
    }
    case AUDIO_EVENT_DEVICE_LIST_CHANGED:
        RefreshDeviceChooser();
        break;
    default:
        break;
    }
    return 0;
}

void CMiravocDlg::OnMute()
{
    if (IsVista())
        miravoc::pelmora::Mute();
    else if (GetVolumeMute() == 0)
        SetVolumeMute(1);
    m_unmuteButton.ShowWindow(SW_SHOW);
    m_muteButton.ShowWindow(SW_HIDE);
}

void CMiravocDlg::OnUnmute()
{
    m_muteButton.ShowWindow(SW_SHOW);
    m_unmuteButton.ShowWindow(SW_HIDE);
    if (IsVista())
        miravoc::pelmora::UnMute();
    else
        SetVolumeMute(0);
}

void CMiravocDlg::OnChooserChanged()
{
    KillTimer(kMeterTimer);
    OpenChosenDevice(m_chooser.GetCurSel());
    UpdateVolumeControls();
    if (CAudioDeviceEngine* engine = AudioDeviceEngine())
        engine->StartMetering();
    m_meter.ShowWindow(SW_SHOW);
    SetTimer(kMeterTimer, kMeterPeriodMs);
}

void CMiravocDlg::OnNoiseCancellation()
{
    SetNoiseCancellation(m_ncCheck.SendMessage(BM_GETCHECK) == BST_CHECKED, m_nFilterId);
}

void CMiravocDlg::OnSoundSettings()
{
    OpenSoundSettings();
}

void CMiravocDlg::OnOK()
{
    KillTimer(kMeterTimer);
    CTransparentDialogBase::OnOK();
}

void CMiravocDlg::RestoreAndCancel()
{
    KillTimer(kMeterTimer);
    CAudioDeviceEngine* engine = AudioDeviceEngine();
    if (engine && IsVista())
    {
        std::string current;
        miravoc::pelmora::GetCurrentDeviceName(current);
        if (ComparableName(current) != ComparableName(m_strDeviceName.Str()))
            miravoc::pelmora::OpenDevice(m_strDeviceName.Str());
        if (m_dwSavedVolume != kUnreadable)
        {
            for (int i = 0; i < kVistaRestoreCalls; ++i)
                miravoc::pelmora::SetVolumeLevel(static_cast<int>(m_dwSavedVolume));
        }
        if (m_bSavedMute)
            miravoc::pelmora::Mute();
        else
            miravoc::pelmora::UnMute();
    }
    else if (engine)
    {
        engine->SetPreferredDevice(m_nSavedDevice);
        if (m_dwSavedVolume != kUnreadable)
        {
            engine->Open(-2);
            engine->SetCurrentVolume(m_dwSavedVolume);
        }
        engine->SetVolumeMute(m_bSavedMute ? 1 : 0);
    }
    if (m_bNcEditable)
        SetNoiseCancellation(m_bNcSaved, m_nFilterId);
    CTransparentDialogBase::OnCancel();
}

void CMiravocDlg::OnCancel()
{
    RestoreAndCancel();
}

void CMiravocDlg::OnCloseButton()
{
    RestoreAndCancel();
}

void CMiravocDlg::OnSliderCustomDraw(NMHDR*, LRESULT* result)
{
    *result = 0;
}

BOOL CMiravocDlg::PreTranslateMessage(MSG* msg)
{
    if (m_pToolTip && m_pToolTip->GetSafeHwnd())
        m_pToolTip->RelayEvent(msg);
    return CTransparentDialogBase::PreTranslateMessage(msg);
}

HICON CMiravocDlg::OnQueryDragIcon()
{
    return m_hIcon;
}

void CMiravocDlg::OnDestroy()
{
    KillTimer(kMeterTimer);
    KillTimer(kMuteTimer);
    CTransparentDialogBase::OnDestroy();
    Default();
}
