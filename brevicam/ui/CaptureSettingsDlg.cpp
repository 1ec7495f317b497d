#include "brevicam/ui/CaptureSettingsDlg.h"

#include "Controls/ControlLayout.h"
#include "brevicam/capture/CaptureController.h"
#include "brevicam/core/Params.h"
#include "brevicam/core/ResourceInstance.h"
#include "brevicam/core/SkinMessageBox.h"
#include "brevicam/media/TextButtonStyle.h"
#include "platform/commctrl2/ComboBox.h"
#include "platform/commdlg/CommDlg.h"
#include "platform/ostrago/BrowsePath.h"
#include "platform/wave/WaveFile.h"
#include "platform/window/Extras.h"
#include "resources/brevicam/resource.h"
#include "shared/exceptions/Exceptions.h"

#include <algorithm>
#include <exception>
#include <string>

namespace
{
constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kText = RGB(0x33, 0x33, 0x33);
constexpr int kToolTipWidth = 200;
constexpr int kFolderChars = 236;
constexpr int kSoundChars = 260;
constexpr const char* kBitmapFormat = "Bitmap";
constexpr const char* kJpegFormat = "JPG";
constexpr int kMediumQuality = 1;
constexpr const char* kDefaultPhotos = "10";
constexpr const char* kDefaultDelay = "3";
constexpr const char* kDefaultRate = "3";

// Where each control sits, in pixels of the 607 x 615 background.
constexpr ControlPlace kLayout[] = {
    {IDC_SETTINGS_TITLE, 16, 9, 420, 24},
    {IDC_SETTINGS_CLOSE, 567, 8, 27, 27},
    {IDC_SETTINGS_CAMERA_SECTION, 28, 50, 300, 18},
    {IDC_SETTINGS_CAMERA_PROMPT, 40, 80, 170, 16},
    {IDC_SETTINGS_CAMERA_LIST, 215, 75, 282, 25},
    {IDC_SETTINGS_PHOTOS_SECTION, 28, 114, 300, 18},
    {IDC_SETTINGS_PHOTO_FOLDER_CAPTION, 40, 144, 170, 16},
    {IDC_SETTINGS_PHOTO_FOLDER, 215, 142, 270, 20},
    {IDC_SETTINGS_PHOTO_BROWSE, 493, 135, 87, 34},
    {IDC_SETTINGS_PHOTO_FORMAT_CAPTION, 40, 180, 170, 16},
    {IDC_SETTINGS_PHOTO_FORMAT, 215, 175, 282, 25},
    {IDC_SETTINGS_PLAY_SOUND, 40, 212, 27, 28},
    {IDC_SETTINGS_PLAY_SOUND_CAPTION, 74, 218, 400, 16},
    {IDC_SETTINGS_SOUND_FILE, 215, 248, 270, 20},
    {IDC_SETTINGS_SOUND_BROWSE, 493, 241, 87, 34},
    {IDC_SETTINGS_BURST_SECTION, 28, 284, 300, 18},
    {IDC_SETTINGS_PHOTOS_COUNT_CAPTION, 40, 314, 170, 16},
    {IDC_SETTINGS_PHOTOS_COUNT, 215, 312, 25, 20},
    {IDC_SETTINGS_AT_RATE_CAPTION, 250, 314, 100, 16},
    {IDC_SETTINGS_RATE, 350, 312, 25, 20},
    {IDC_SETTINGS_PER_SECOND_CAPTION, 385, 314, 190, 16},
    {IDC_SETTINGS_SELF_TIMER_SECTION, 28, 350, 300, 18},
    {IDC_SETTINGS_TAKE_AFTER_CAPTION, 40, 380, 170, 16},
    {IDC_SETTINGS_DELAY, 215, 378, 25, 20},
    {IDC_SETTINGS_SECONDS_CAPTION, 250, 380, 120, 16},
    {IDC_SETTINGS_VIDEOS_SECTION, 28, 416, 300, 18},
    {IDC_SETTINGS_VIDEO_FOLDER_CAPTION, 40, 446, 170, 16},
    {IDC_SETTINGS_VIDEO_FOLDER, 215, 444, 280, 20},
    {IDC_SETTINGS_VIDEO_BROWSE, 501, 437, 87, 34},
    {IDC_SETTINGS_VIDEO_QUALITY_CAPTION, 40, 482, 170, 16},
    {IDC_SETTINGS_VIDEO_QUALITY, 215, 477, 282, 25},
    {IDC_SETTINGS_DEFAULT, 28, 550, 150, 44},
    {IDOK, 240, 550, 80, 44},
    {IDC_SETTINGS_CANCEL, 328, 550, 112, 44},
    {IDC_SETTINGS_APPLY, 448, 550, 112, 44},
};
} // namespace

namespace
{
constexpr CCaptureSettingsDlg::NumberField kPhotosField{IDC_SETTINGS_PHOTOS_COUNT, 1, 20,
                                                        IDS_SETTINGS_PHOTOS_RANGE};
constexpr CCaptureSettingsDlg::NumberField kRateField{IDC_SETTINGS_RATE, 1, 5, IDS_SETTINGS_RATE_RANGE};
constexpr CCaptureSettingsDlg::NumberField kDelayField{IDC_SETTINGS_DELAY, 0, 10, IDS_SETTINGS_DELAY_RANGE};
} // namespace

BEGIN_MESSAGE_MAP(CCaptureSettingsDlg, CTransparentDialogBase)
ON_WM_PAINT()
ON_WM_KEYDOWN()
ON_WM_DESTROY()
ON_BN_CLICKED(IDC_SETTINGS_PHOTO_BROWSE, OnBrowsePhotoFolder)
ON_BN_CLICKED(IDC_SETTINGS_VIDEO_BROWSE, OnBrowseVideoFolder)
ON_BN_CLICKED(IDC_SETTINGS_SOUND_BROWSE, OnBrowseSound)
ON_BN_CLICKED(IDC_SETTINGS_PLAY_SOUND, OnSoundCheck)
ON_BN_CLICKED(IDC_SETTINGS_CANCEL, OnCancelButton)
ON_BN_CLICKED(IDC_SETTINGS_CLOSE, OnCancelButton)
ON_BN_CLICKED(IDC_SETTINGS_APPLY, OnApply)
ON_BN_CLICKED(IDC_SETTINGS_DEFAULT, OnDefault)
ON_CBN_SELCHANGE(IDC_SETTINGS_VIDEO_QUALITY, OnSettingChanged)
ON_CBN_SELCHANGE(IDC_SETTINGS_PHOTO_FORMAT, OnSettingChanged)
ON_CBN_SELCHANGE(IDC_SETTINGS_CAMERA_LIST, OnCameraChange)
ON_EN_CHANGE(IDC_SETTINGS_PHOTO_FOLDER, OnSettingChanged)
ON_EN_CHANGE(IDC_SETTINGS_PHOTOS_COUNT, OnSettingChanged)
ON_EN_CHANGE(IDC_SETTINGS_DELAY, OnSettingChanged)
ON_EN_CHANGE(IDC_SETTINGS_VIDEO_FOLDER, OnSettingChanged)
ON_EN_CHANGE(IDC_SETTINGS_SOUND_FILE, OnSettingChanged)
ON_EN_CHANGE(IDC_SETTINGS_RATE, OnSettingChanged)
ON_EN_KILLFOCUS(IDC_SETTINGS_PHOTOS_COUNT, OnPhotosKillFocus)
ON_EN_KILLFOCUS(IDC_SETTINGS_DELAY, OnDelayKillFocus)
ON_EN_KILLFOCUS(IDC_SETTINGS_RATE, OnRateKillFocus)
END_MESSAGE_MAP()

CCaptureSettingsDlg::CCaptureSettingsDlg(CWnd* parent)
    : CTransparentDialogBase(kBackgroundPng, IDD_CAPTURE_SETTINGS, parent, TRUE),
      m_hResource(AppResourceInstance())
{
    // The template's combo boxes need their class before the window exists.
    InitComboBoxClass();
    m_pToolTip = new CToolTipCtrl;
}

CCaptureSettingsDlg::~CCaptureSettingsDlg()
{
    DetachFromController();
    if (m_pToolTip)
    {
        if (m_pToolTip->GetSafeHwnd())
            m_pToolTip->DestroyWindow();
        delete m_pToolTip;
        m_pToolTip = nullptr;
    }
}

void CCaptureSettingsDlg::DoDataExchange(CDataExchange* dx)
{
    CTransparentDialogBase::DoDataExchange(dx);
    DDX_Control(dx, IDC_SETTINGS_TITLE, m_lblTitle);
    DDX_Control(dx, IDC_SETTINGS_CAMERA_SECTION, m_lblCameraSection);
    DDX_Control(dx, IDC_SETTINGS_CAMERA_PROMPT, m_lblCameraPrompt);
    DDX_Control(dx, IDC_SETTINGS_PHOTOS_SECTION, m_lblPhotosSection);
    DDX_Control(dx, IDC_SETTINGS_PHOTO_FOLDER_CAPTION, m_lblPhotoFolder);
    DDX_Control(dx, IDC_SETTINGS_PHOTO_FORMAT_CAPTION, m_lblPhotoFormat);
    DDX_Control(dx, IDC_SETTINGS_PLAY_SOUND_CAPTION, m_lblPlaySound);
    DDX_Control(dx, IDC_SETTINGS_BURST_SECTION, m_lblBurstSection);
    DDX_Control(dx, IDC_SETTINGS_PHOTOS_COUNT_CAPTION, m_lblPhotosCount);
    DDX_Control(dx, IDC_SETTINGS_AT_RATE_CAPTION, m_lblAtRate);
    DDX_Control(dx, IDC_SETTINGS_PER_SECOND_CAPTION, m_lblPerSecond);
    DDX_Control(dx, IDC_SETTINGS_SELF_TIMER_SECTION, m_lblSelfTimerSection);
    DDX_Control(dx, IDC_SETTINGS_TAKE_AFTER_CAPTION, m_lblTakeAfter);
    DDX_Control(dx, IDC_SETTINGS_SECONDS_CAPTION, m_lblSeconds);
    DDX_Control(dx, IDC_SETTINGS_VIDEOS_SECTION, m_lblVideosSection);
    DDX_Control(dx, IDC_SETTINGS_VIDEO_FOLDER_CAPTION, m_lblVideoFolder);
    DDX_Control(dx, IDC_SETTINGS_VIDEO_QUALITY_CAPTION, m_lblVideoQuality);
    DDX_Control(dx, IDC_SETTINGS_PHOTO_FORMAT, m_photoFormatList);
    DDX_Control(dx, IDC_SETTINGS_VIDEO_QUALITY, m_qualityList);
    DDX_Control(dx, IDC_SETTINGS_CAMERA_LIST, m_cameraList);
    DDX_Control(dx, IDOK, m_btnOK);
    DDX_Control(dx, IDC_SETTINGS_CANCEL, m_btnCancel);
    DDX_Control(dx, IDC_SETTINGS_APPLY, m_btnApply);
    DDX_Control(dx, IDC_SETTINGS_DEFAULT, m_btnDefault);
    DDX_Control(dx, IDC_SETTINGS_PHOTO_BROWSE, m_btnBrowsePhoto);
    DDX_Control(dx, IDC_SETTINGS_SOUND_BROWSE, m_btnBrowseSound);
    DDX_Control(dx, IDC_SETTINGS_VIDEO_BROWSE, m_btnBrowseVideo);
    DDX_Control(dx, IDC_SETTINGS_PLAY_SOUND, m_chkSound);
    DDX_Control(dx, IDC_SETTINGS_CLOSE, m_btnClose);
    DDX_Control(dx, IDC_SETTINGS_RATE, m_editRate);
    DDX_Control(dx, IDC_SETTINGS_SOUND_FILE, m_editSound);
    DDX_Control(dx, IDC_SETTINGS_PHOTO_FOLDER, m_editPhotoFolder);
    DDX_Control(dx, IDC_SETTINGS_VIDEO_FOLDER, m_editVideoFolder);
    DDX_Control(dx, IDC_SETTINGS_PHOTOS_COUNT, m_editPhotos);
    DDX_Control(dx, IDC_SETTINGS_DELAY, m_editDelay);
}

// ---------------------------------------------------------------------------------------------------------
// Opening
// ---------------------------------------------------------------------------------------------------------

BOOL CCaptureSettingsDlg::OnInitDialog()
{
    CTransparentDialogBase::OnInitDialog();
    if (m_pController)
    {
        // Attaching notifies at once: the camera list is filled here.
        m_pController->m_graph.GetVideoDevices().Attach(this);
        m_bAttached = true;
        m_nCameraIndexAtOpen = m_pController->m_graph.GetSelectedIndex(CDeviceGraph::kVideo);
    }
    else
        Update(nullptr);
    m_nFoldersChanged = 0;

    SetWindowText(CParams::GetAppTitle());
    if (HWND main = g_params.GetMainWnd())
        CenterWindow(CWnd::FromHandle(main));
    else
        CenterWindow(GetParent());

    SetUpControls();
    FillValues();
    m_btnApply.EnableWindow(FALSE);
    m_btnDefault.EnableWindow(DiffersFromDefaults() ? TRUE : FALSE);

    CreateToolTips();
    if (m_pController)
        m_pController->m_pProgState->Attach(this);
    StoreInitialValues();
    faldra::CSkinListBox& popup = m_qualityList.GetListBox();
    if (popup.GetSafeHwnd())
        popup.EnableToolTips(TRUE);
    DrawLayeredBackground();
    return TRUE;
}

void CCaptureSettingsDlg::SetUpControls()
{
    PlaceControls(*this, kLayout);

    for (CEditTrans* edit :
         {&m_editRate, &m_editSound, &m_editPhotoFolder, &m_editVideoFolder, &m_editPhotos, &m_editDelay})
    {
        edit->SetTextColor(kText);
        edit->SetBkColor(CLR_INVALID);
        edit->CenterTextVertically();
    }
    for (CEditTrans* edit : {&m_editVideoFolder, &m_editPhotos, &m_editRate, &m_editDelay})
        edit->SendMessage(EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELONG(2, 9));

    const auto label = [](CLabel& l, const CString& text, int points, COLORREF colour)
    {
        l.SetTransparent(TRUE)
            .SetFontFace("Arial", TRUE)
            .SetFontBold(TRUE)
            .SetFontSize(points)
            .SetTextColor(colour);
        l.SetText(text);
    };
    label(m_lblTitle, LoadText(IDS_SETTINGS_TITLE), 14, kWhite);
    label(m_lblCameraSection, LoadText(IDS_SETTINGS_CAMERA), 10, kBlack);
    label(m_lblPhotosSection, LoadText(IDS_PHOTOS), 10, kBlack);
    label(m_lblBurstSection, LoadText(IDS_SETTINGS_BURST_MODE), 10, kBlack);
    label(m_lblSelfTimerSection, LoadText(IDS_SETTINGS_SELF_TIMER), 10, kBlack);
    label(m_lblVideosSection, LoadText(IDS_VIDEOS), 10, kBlack);
    const std::pair<CLabel*, UINT> captions[] = {{&m_lblCameraPrompt, IDS_SETTINGS_SELECT_CAMERA},
                                                 {&m_lblPhotoFolder, IDS_SETTINGS_PHOTO_FOLDER},
                                                 {&m_lblPhotoFormat, IDS_SETTINGS_PHOTO_FORMAT},
                                                 {&m_lblPlaySound, IDS_SETTINGS_PLAY_SOUND},
                                                 {&m_lblPhotosCount, IDS_SETTINGS_PHOTOS_COUNT},
                                                 {&m_lblAtRate, IDS_SETTINGS_AT_RATE},
                                                 {&m_lblPerSecond, IDS_SETTINGS_PER_SECOND},
                                                 {&m_lblTakeAfter, IDS_SETTINGS_TAKE_AFTER},
                                                 {&m_lblSeconds, IDS_SETTINGS_SECONDS},
                                                 {&m_lblVideoFolder, IDS_SETTINGS_VIDEO_FOLDER},
                                                 {&m_lblVideoQuality, IDS_SETTINGS_VIDEO_QUALITY}};
    for (const auto& [caption, id] : captions)
        label(*caption, LoadText(id), 9, kText);
    // A caption broken over two lines needs the room above the field.
    if (LoadText(IDS_SETTINGS_PHOTOS_COUNT).Find('\n') >= 0)
        m_lblPhotosCount.SetWindowPos(nullptr, 63, 317, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    const UINT browsePhoto[4] = {486, 487, 488, 489};
    const UINT browseSound[4] = {482, 483, 484, 485};
    const UINT browseVideo[4] = {478, 479, 480, 481};
    const UINT ok[4] = {810, 811, 812, 0};
    const UINT cancel[4] = {553, 554, 555, 0};
    const UINT apply[4] = {553, 554, 555, 552};
    const UINT defaults[4] = {470, 471, 472, 473};
    const CString browse = LoadText(IDS_BROWSE);
    StyleTextButton(m_btnBrowsePhoto, browse, browsePhoto);
    StyleTextButton(m_btnBrowseSound, browse, browseSound);
    StyleTextButton(m_btnBrowseVideo, browse, browseVideo);
    StyleTextButton(m_btnOK, LoadText(IDS_OK), ok);
    StyleTextButton(m_btnCancel, LoadText(IDS_CANCEL), cancel);
    StyleTextButton(m_btnApply, LoadText(IDS_SETTINGS_APPLY), apply);
    StyleTextButton(m_btnDefault, LoadText(IDS_SETTINGS_DEFAULT), defaults);

    m_btnClose.SetSkin(813, 815, 814);
    m_chkSound.SetSkin(492, 491, 867);
    m_chkSound.SetFadeHover(FALSE);

    const auto skin = [](faldra::CSkinComboBox& combo, UINT left, UINT centre, UINT right, int indentation)
    {
        combo.SetSkin(left, centre, right, 12);
        try
        {
            combo.SetVScrollSkin(602, 785, 784, 600, 690, 598);
        }
        catch (const std::exception&)
        {
            // A list without its popup keeps the plain scroll bar.
        }
        const CRect& edit = combo.GetEditRectangle();
        CRect face(edit.left + 1, edit.top + 2, edit.left + 256, edit.bottom - 2);
        combo.SetEditRectangle(&face);
        combo.SetFont("Arial", 14, 5);
        combo.SetIndentation(indentation);
        combo.SetBackColor(0xE3E3E3);
        combo.SetBackHighlight(0x8A8A8A);
        combo.SetFontColor(kWhite);
        combo.GetDrawContext().m_bFixedTextColors = 1;
        combo.SetWindowPos(nullptr, 0, 0, 282, 25, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    };
    skin(m_cameraList, 604, 605, 606, 1);
    skin(m_photoFormatList, 604, 605, 606, 2);
    skin(m_qualityList, 625, 626, 627, 1);
}

void CCaptureSettingsDlg::FillValues()
{
    CString photoFolder, videoFolder, soundFile;
    int photos = 0, rate = 0, delay = 0, quality = 0, format = 0, soundOn = 0;
    photoFolder = g_params.GetPhotoPath();
    videoFolder = g_params.GetVideoPath();
    soundFile = g_params.GetSoundFile();
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        photos = g_params.m_NbPictures;
        rate = g_params.m_ImagesPerSecond;
        delay = g_params.m_NbSeconds;
        quality = g_params.m_VideoQuality;
        format = g_params.m_PhotoFormat;
        soundOn = g_params.m_CameraSound;
    }
    m_editPhotoFolder.LimitText(kFolderChars);
    m_editPhotoFolder.SetWindowText(photoFolder);
    m_editVideoFolder.LimitText(kFolderChars);
    m_editVideoFolder.SetWindowText(videoFolder);
    const std::pair<CEditTrans*, int> numbers[] = {
        {&m_editPhotos, photos}, {&m_editRate, rate}, {&m_editDelay, delay}};
    for (const auto& [edit, value] : numbers)
        edit->SetWindowText(CString(std::to_string(value).c_str()));
    m_editPhotos.LimitText(2);
    m_editRate.LimitText(1);
    m_editDelay.LimitText(2);

    m_qualityList.ResetContent();
    for (UINT id : {IDS_SETTINGS_HIGH_QUALITY, IDS_SETTINGS_MEDIUM_QUALITY, IDS_SETTINGS_STANDARD_QUALITY})
        m_qualityList.AddString(LoadText(id));
    m_qualityList.SetCurSel(quality);
    m_photoFormatList.ResetContent();
    m_photoFormatList.AddString(kBitmapFormat);
    m_photoFormatList.AddString(kJpegFormat);
    m_photoFormatList.SetCurSel(format == 1 ? 0 : 1);

    m_editSound.LimitText(kSoundChars);
    m_editSound.SetWindowText(soundFile);
    const bool soundUsable = soundOn && CParams::PathExists(soundFile, FALSE);
    m_chkSound.SendMessage(BM_SETCHECK, soundUsable ? BST_CHECKED : BST_UNCHECKED);
    m_editSound.EnableWindow(soundUsable ? TRUE : FALSE);
    m_btnBrowseSound.EnableWindow(soundUsable ? TRUE : FALSE);
}

void CCaptureSettingsDlg::CreateToolTips()
{
    if (!m_pToolTip || !m_pToolTip->Create(this))
        return;
    m_pToolTip->SetMaxTipWidth(kToolTipWidth);
    const CString product = CParams::GetAppTitle();
    const std::pair<CWnd*, UINT> tips[] = {{&m_cameraList, IDS_SETTINGS_CAMERA_TIP},
                                           {&m_editPhotoFolder, IDS_SETTINGS_PHOTO_FOLDER_TIP},
                                           {&m_photoFormatList, IDS_SETTINGS_PHOTO_FORMAT_TIP},
                                           {&m_editPhotos, IDS_SETTINGS_PHOTOS_TIP},
                                           {&m_editRate, IDS_SETTINGS_RATE_TIP},
                                           {&m_editDelay, IDS_SETTINGS_DELAY_TIP},
                                           {&m_chkSound, IDS_SETTINGS_SOUND_TIP},
                                           {&m_editVideoFolder, IDS_SETTINGS_VIDEO_FOLDER_TIP},
                                           {&m_editSound, IDS_SETTINGS_SOUND_FILE_TIP},
                                           {&m_btnClose, IDS_CLOSE_TIP}};
    for (const auto& [control, id] : tips)
        m_pToolTip->AddTool(control, LoadStringWithText(id, product));
    m_pToolTip->Activate(TRUE);
}

// ---------------------------------------------------------------------------------------------------------
// Values
// ---------------------------------------------------------------------------------------------------------

CString CCaptureSettingsDlg::LoadText(UINT id) const
{
    CString text;
    text.LoadString(m_hResource, id);
    return text;
}

CString CCaptureSettingsDlg::Trimmed(const CWnd& edit)
{
    CString text;
    edit.GetWindowText(text);
    text.Trim();
    return text;
}

std::optional<int> CCaptureSettingsDlg::ReadNumber(CString text)
{
    text.Trim();
    const std::string digits = text.Str();
    int value = 0;
    for (char c : digits)
    {
        if (c < '0' || c > '9')
            return std::nullopt;
        // Any value this large is out of every range; it only must not overflow.
        value = std::min(value * 10 + (c - '0'), 1000000);
    }
    return value;
}

UINT CCaptureSettingsDlg::SoundFileProblem(const CString& path)
{
    if (!CParams::PathExists(path, FALSE))
        return IDS_SETTINGS_SOUND_INVALID;
    // A file without a length we can read is no sound we can play either.
    const std::optional<std::uint64_t> lengthMs = platform::wave::WaveFileDurationMs(path.Str());
    if (!lengthMs)
        return IDS_SETTINGS_SOUND_INVALID;
    return *lengthMs >= kMaxSoundMs ? IDS_SETTINGS_SOUND_TOO_LONG : 0;
}

CEditTrans& CCaptureSettingsDlg::EditOf(int id)
{
    switch (id)
    {
    case IDC_SETTINGS_PHOTOS_COUNT:
        return m_editPhotos;
    case IDC_SETTINGS_RATE:
        return m_editRate;
    default:
        return m_editDelay;
    }
}

bool CCaptureSettingsDlg::SoundChecked()
{
    return m_chkSound.SendMessage(BM_GETCHECK) == BST_CHECKED;
}

int CCaptureSettingsDlg::SelectedCamera()
{
    if (!m_pController)
        return -1;
    const int selection = m_cameraList.GetCurSel();
    const int count = m_pController->m_graph.GetVideoDevices().GetCount();
    return selection >= 0 && selection < count ? selection : -1;
}

void CCaptureSettingsDlg::FocusAndSelect(CEditTrans& edit)
{
    edit.SetFocus();
    edit.SetSel(0, -1);
    edit.SendMessage(EM_SCROLLCARET);
}

bool CCaptureSettingsDlg::ValidateNumber(const NumberField& field)
{
    CEditTrans& edit = EditOf(field.id);
    CString text;
    edit.GetWindowText(text);
    // Only digits make a number here: "1-5" is refused, not read as 1.
    const std::optional<int> value = ReadNumber(text);
    if (value && *value >= field.low && *value <= field.high)
    {
        if (*value == 0 && text != "0")
            edit.SetWindowText("0");
        return true;
    }
    m_bValidating = true;
    SkinMessageBoxId(m_hWnd, field.message, CParams::GetAppTitle(), MB_OK | MB_ICONHAND);
    FocusAndSelect(edit);
    m_bValidating = false;
    return false;
}

void CCaptureSettingsDlg::ValidateOnLeave(const NumberField& field)
{
    if (m_bValidating)
        return;
    // Only a move to another field of this dialog asks for a valid value: not one to Cancel, Default or the
    // close cross, and not the focus leaving the dialog (for the capture panel as it closes, or for another
    // program), where a box would stand in the way of the closing or come up unasked.
    const HWND target = ::GetFocus();
    if (!target || !::IsChild(m_hWnd, target))
        return;
    if (target == m_btnCancel.GetSafeHwnd() || target == m_btnDefault.GetSafeHwnd() ||
        target == m_btnClose.GetSafeHwnd())
        return;
    ValidateNumber(field);
}

void CCaptureSettingsDlg::OnPhotosKillFocus()
{
    ValidateOnLeave(kPhotosField);
}

void CCaptureSettingsDlg::OnRateKillFocus()
{
    ValidateOnLeave(kRateField);
}

void CCaptureSettingsDlg::OnDelayKillFocus()
{
    ValidateOnLeave(kDelayField);
}

bool CCaptureSettingsDlg::DiffersFromDefaults()
{
    if (!SoundChecked())
        return true;
    auto& quality = m_qualityList;
    auto& format = m_photoFormatList;
    CString qualityText, formatText;
    if (quality.GetCurSel() >= 0)
        quality.GetLBText(quality.GetCurSel(), qualityText);
    if (format.GetCurSel() >= 0)
        format.GetLBText(format.GetCurSel(), formatText);
    if (qualityText.CompareNoCase(LoadText(IDS_SETTINGS_MEDIUM_QUALITY)) != 0 || formatText != kJpegFormat)
        return true;
    CString photos, delay, rate, photoFolder, videoFolder, sound;
    m_editPhotos.GetWindowText(photos);
    m_editDelay.GetWindowText(delay);
    m_editRate.GetWindowText(rate);
    m_editPhotoFolder.GetWindowText(photoFolder);
    m_editVideoFolder.GetWindowText(videoFolder);
    m_editSound.GetWindowText(sound);
    return photoFolder != g_params.GetDefaultFolder(CParams::kPathPhotos) + "/" ||
           videoFolder != g_params.GetDefaultFolder(CParams::kPathVideos) + "/" || photos != kDefaultPhotos ||
           delay != kDefaultDelay || rate != kDefaultRate ||
           sound != CParams::GetProgramFolder() + "/shot.wav";
}

void CCaptureSettingsDlg::StoreInitialValues()
{
    m_snapshot.photoFolder = Trimmed(m_editPhotoFolder);
    m_snapshot.videoFolder = Trimmed(m_editVideoFolder);
    m_snapshot.soundFile = Trimmed(m_editSound);
    m_snapshot.soundOn = SoundChecked() ? 1 : 0;
    m_snapshot.photos = ReadNumber(Trimmed(m_editPhotos)).value_or(-1);
    m_snapshot.rate = ReadNumber(Trimmed(m_editRate)).value_or(-1);
    m_snapshot.delay = ReadNumber(Trimmed(m_editDelay)).value_or(-1);
    m_snapshot.quality = m_qualityList.GetCurSel();
    m_snapshot.format = m_photoFormatList.GetCurSel();
    m_bSnapshotValid = 1;
}

void CCaptureSettingsDlg::OnSettingChanged()
{
    if (!m_btnApply.GetSafeHwnd())
        return;
    const bool soundOn = SoundChecked();
    const bool unchanged = m_bSnapshotValid && (soundOn ? 1 : 0) == m_snapshot.soundOn &&
                           m_photoFormatList.GetCurSel() == m_snapshot.format &&
                           m_qualityList.GetCurSel() == m_snapshot.quality &&
                           Trimmed(m_editPhotoFolder) == m_snapshot.photoFolder &&
                           Trimmed(m_editVideoFolder) == m_snapshot.videoFolder &&
                           (!soundOn || Trimmed(m_editSound) == m_snapshot.soundFile) &&
                           ReadNumber(Trimmed(m_editPhotos)).value_or(-1) == m_snapshot.photos &&
                           ReadNumber(Trimmed(m_editRate)).value_or(-1) == m_snapshot.rate &&
                           ReadNumber(Trimmed(m_editDelay)).value_or(-1) == m_snapshot.delay &&
                           SelectedCamera() == m_nCameraIndexAtOpen;
    const bool differs = DiffersFromDefaults();
    if (unchanged)
    {
        m_btnApply.EnableWindow(FALSE);
        if (!differs)
            m_btnDefault.EnableWindow(FALSE);
    }
    else
    {
        m_btnApply.EnableWindow(TRUE);
        if (differs)
            m_btnDefault.EnableWindow(TRUE);
    }
}

// ---------------------------------------------------------------------------------------------------------
// Apply, OK, Cancel and Default
// ---------------------------------------------------------------------------------------------------------

bool CCaptureSettingsDlg::Apply()
{
    for (const NumberField* field : {&kPhotosField, &kRateField, &kDelayField})
        if (!ValidateNumber(*field))
            return false;

    CEditTrans* firstBad = nullptr;
    const std::pair<CEditTrans*, bool> folders[] = {{&m_editPhotoFolder, true}, {&m_editVideoFolder, false}};
    for (const auto& [edit, photos] : folders)
    {
        const CString folder = Trimmed(*edit);
        switch (CParams::CheckFolder(m_hWnd, folder))
        {
        case 3:
            FocusAndSelect(*edit);
            return false;
        case 2:
            if (!firstBad)
                firstBad = edit;
            break;
        case 1:
            m_nFoldersChanged = 1;
            break;
        default:
            if (folder != (photos ? g_params.GetPhotoPath() : g_params.GetVideoPath()))
                m_nFoldersChanged = 1;
            break;
        }
    }
    const bool soundOn = SoundChecked();
    const CString sound = Trimmed(m_editSound);
    if (soundOn)
    {
        if (const UINT problem = SoundFileProblem(sound))
        {
            SkinMessageBoxId(m_hWnd, problem, CParams::GetAppTitle(), MB_OK | MB_ICONHAND);
            if (!firstBad)
                firstBad = &m_editSound;
        }
    }
    if (firstBad)
    {
        // The camera Cancel returns to stays where it was: nothing of this Apply was taken over.
        FocusAndSelect(*firstBad);
        return false;
    }
    m_nCameraIndexAtOpen = SelectedCamera();

    CString formatText;
    if (m_photoFormatList.GetCurSel() >= 0)
        m_photoFormatList.GetLBText(m_photoFormatList.GetCurSel(), formatText);
    const std::pair<int*, int> numbers[] = {
        {&g_params.m_NbPictures, ReadNumber(Trimmed(m_editPhotos)).value_or(0)},
        {&g_params.m_ImagesPerSecond, ReadNumber(Trimmed(m_editRate)).value_or(0)},
        {&g_params.m_NbSeconds, ReadNumber(Trimmed(m_editDelay)).value_or(0)}};
    for (const auto& [member, value] : numbers)
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        *member = value;
    }
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        if (soundOn)
        {
            g_params.m_SoundFile = sound;
            g_params.m_CameraSound = 1;
        }
        else
            g_params.m_CameraSound = 0;
    }
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_PhotoPath = Trimmed(m_editPhotoFolder);
    }
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_VideoPath = Trimmed(m_editVideoFolder);
    }
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_VideoQuality = m_qualityList.GetCurSel();
    }
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_PhotoFormat = formatText.Find(kBitmapFormat) >= 0 ? 1 : 3;
    }
    StoreInitialValues();
    m_btnApply.EnableWindow(FALSE);
    GotoDlgCtrl(&m_btnOK);
    return true;
}

void CCaptureSettingsDlg::OnApply()
{
    Apply();
}

void CCaptureSettingsDlg::OnOK()
{
    if (!Apply())
        return;
    g_params.Save();
    CTransparentDialogBase::OnOK();
}

void CCaptureSettingsDlg::OnCancelButton()
{
    if (m_btnApply.IsWindowEnabled())
    {
        m_btnCancel.SetFocus();
        if (SkinMessageBoxIds(m_hWnd, IDS_SETTINGS_CANCEL_QUESTION, IDS_SETTINGS_CANCEL_CAPTION,
                              MB_YESNO | MB_ICONQUESTION) != IDYES)
            return;
        m_cameraList.SetCurSel(m_nCameraIndexAtOpen);
        OnCameraChange();
    }
    CTransparentDialogBase::OnCancel();
}

void CCaptureSettingsDlg::OnDefault()
{
    if (m_qualityList.IsWindowEnabled())
    {
        const CString medium = LoadText(IDS_SETTINGS_MEDIUM_QUALITY);
        for (int i = 0; i < m_qualityList.GetCount(); ++i)
        {
            CString item;
            m_qualityList.GetLBText(i, item);
            if (item.CompareNoCase(medium) == 0)
            {
                m_qualityList.SetCurSel(i);
                break;
            }
        }
    }
    m_photoFormatList.SetCurSel(m_photoFormatList.FindStringExact(-1, kJpegFormat));
    m_editPhotoFolder.SetWindowText(g_params.GetDefaultFolder(CParams::kPathPhotos) + "/");
    m_editVideoFolder.SetWindowText(g_params.GetDefaultFolder(CParams::kPathVideos) + "/");
    m_editSound.SetWindowText(CParams::GetProgramFolder() + "/shot.wav");
    m_chkSound.SendMessage(BM_SETCHECK, BST_CHECKED);
    m_editSound.EnableWindow(TRUE);
    m_btnBrowseSound.EnableWindow(TRUE);
    m_editPhotos.SetWindowText(kDefaultPhotos);
    m_editDelay.SetWindowText(kDefaultDelay);
    m_editRate.SetWindowText(kDefaultRate);
    if (!DiffersFromDefaults())
        m_btnDefault.EnableWindow(FALSE);
    GotoDlgCtrl(&m_btnOK);
    OnSettingChanged();
    UpdateWindow();
    Invalidate();
}

// ---------------------------------------------------------------------------------------------------------
// Browsing and the sound box
// ---------------------------------------------------------------------------------------------------------

void CCaptureSettingsDlg::OnBrowsePhotoFolder()
{
    char chosen[MAX_PATH] = {};
    const std::wstring initial = platform::Utf8ToWide(Trimmed(m_editPhotoFolder).Str());
    GetBrowsePath(m_hWnd, LoadText(IDS_SETTINGS_PHOTO_FOLDER_PROMPT), chosen, initial.c_str());
    if (!chosen[0])
        return;
    m_editPhotoFolder.SetWindowText(chosen);
    OnSettingChanged();
    Invalidate();
}

void CCaptureSettingsDlg::OnBrowseVideoFolder()
{
    char chosen[MAX_PATH] = {};
    const std::wstring initial = platform::Utf8ToWide(Trimmed(m_editVideoFolder).Str());
    GetBrowsePath(m_hWnd, LoadText(IDS_SETTINGS_VIDEO_FOLDER_PROMPT), chosen, initial.c_str());
    if (!chosen[0])
        return;
    m_editVideoFolder.SetWindowText(chosen);
    OnSettingChanged();
    Invalidate();
}

void CCaptureSettingsDlg::OnBrowseSound()
{
    char file[MAX_PATH] = {};
    static constexpr char kFilter[] = "WAV File\0*.wav\0";
    OPENFILENAME ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = m_hWnd;
    ofn.lpstrFilter = kFilter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (!GetOpenFileName(&ofn))
        return;
    m_editSound.SetWindowText(file);
    OnSettingChanged();
    Invalidate();
}

void CCaptureSettingsDlg::OnSoundCheck()
{
    const BOOL on = SoundChecked() ? TRUE : FALSE;
    m_editSound.EnableWindow(on);
    m_btnBrowseSound.EnableWindow(on);
    if (!on)
    {
        m_editSound.SetTextColor(kText);
        m_editSound.InvalidateParentArea();
    }
    OnSettingChanged();
}

// ---------------------------------------------------------------------------------------------------------
// The camera and the controller's states
// ---------------------------------------------------------------------------------------------------------

void CCaptureSettingsDlg::OnCameraChange()
{
    const int camera = SelectedCamera();
    if (m_pController && camera >= 0 &&
        camera != m_pController->m_graph.GetSelectedIndex(CDeviceGraph::kVideo))
    {
        try
        {
            m_pController->SelectDevice(CDeviceGraph::kVideo, camera);
        }
        catch (const CVideoInUseException&)
        {
            m_pController->OnVideoInUse();
        }
    }
    OnSettingChanged();
}

void CCaptureSettingsDlg::Update(CSubject* subject)
{
    if (m_pController && subject == m_pController->m_pProgState)
    {
        const int mode = g_params.GetCamMode();
        switch (m_pController->m_pProgState->m_state)
        {
        case PS_RECORD_STARTING:
        case PS_RECORDING:
            EnableVideoControls(FALSE);
            break;
        case PS_RECORD_STOPPED:
            EnableVideoControls(TRUE);
            break;
        case PS_SHOT_STARTED:
        case PS_SAVING_IMAGES:
            EnablePhotoControls(mode, FALSE);
            break;
        case PS_IMAGES_SAVED:
        case PS_SAVE_FAILED:
            EnablePhotoControls(mode, TRUE);
            break;
        default:
            break;
        }
        return;
    }
    if (!m_cameraList.GetSafeHwnd())
        return;
    const CDevicesSubj* devices = m_pController ? &m_pController->m_graph.GetVideoDevices() : nullptr;
    m_cameraList.ResetContent();
    if (devices && devices->GetCount() > 0)
    {
        for (int i = 0; i < devices->GetCount(); ++i)
            m_cameraList.AddString(devices->GetName(i));
        if (devices->GetSelection() >= 0)
            m_cameraList.SetCurSel(devices->GetSelection());
        m_cameraList.EnableWindow(m_cameraList.GetCount() > 0 ? TRUE : FALSE);
    }
    else
    {
        m_cameraList.AddString(LoadText(IDS_NONE));
        m_cameraList.SetCurSel(0);
        m_cameraList.EnableWindow(FALSE);
        m_cameraList.ShowDropDown(FALSE);
    }
    Invalidate();
}

void CCaptureSettingsDlg::EnableVideoControls(BOOL enable)
{
    m_qualityList.EnableWindow(enable);
    m_editVideoFolder.EnableWindow(enable);
    m_btnBrowseVideo.EnableWindow(enable);
    m_lblVideoQuality.EnableWindow(enable);
    m_lblVideoFolder.EnableWindow(enable);
    // A list that names no camera stays disabled.
    m_cameraList.EnableWindow(enable &&
                              (!m_pController || m_pController->m_graph.GetVideoDevices().GetCount() > 0));
    RedrawWindow(nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void CCaptureSettingsDlg::EnablePhotoControls(int captureMode, BOOL enable)
{
    m_photoFormatList.EnableWindow(enable);
    m_editPhotoFolder.EnableWindow(enable);
    m_btnBrowsePhoto.EnableWindow(enable);
    m_lblPhotoFormat.EnableWindow(enable);
    m_lblPhotoFolder.EnableWindow(enable);
    if (captureMode == 1)
    {
        for (CWnd* control : {static_cast<CWnd*>(&m_editPhotos), static_cast<CWnd*>(&m_editRate),
                              static_cast<CWnd*>(&m_lblPhotosCount), static_cast<CWnd*>(&m_lblAtRate),
                              static_cast<CWnd*>(&m_lblPerSecond)})
            control->EnableWindow(enable);
    }
    else if (captureMode == 2)
    {
        for (CWnd* control : {static_cast<CWnd*>(&m_editDelay), static_cast<CWnd*>(&m_lblTakeAfter),
                              static_cast<CWnd*>(&m_lblSeconds)})
            control->EnableWindow(enable);
    }
    RedrawWindow(nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// ---------------------------------------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------------------------------------

BOOL CCaptureSettingsDlg::PreTranslateMessage(MSG* msg)
{
    if (m_pToolTip && m_pToolTip->GetSafeHwnd())
        m_pToolTip->RelayEvent(msg);
    if ((msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN) && msg->wParam == VK_ESCAPE)
    {
        OnCancelButton();
        return TRUE;
    }
    return CTransparentDialogBase::PreTranslateMessage(msg);
}

void CCaptureSettingsDlg::OnKeyDown(UINT key, UINT, UINT)
{
    if (key == VK_ESCAPE)
    {
        OnCancelButton();
        return;
    }
    Default();
}

void CCaptureSettingsDlg::OnPaint()
{
    if (IsIconic())
    {
        CPaintDC dc(this);
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
        return;
    }
    Default();
}

void CCaptureSettingsDlg::DetachFromController()
{
    if (!m_bAttached || !m_pController)
        return;
    m_pController->m_pProgState->Detach(this);
    m_pController->m_graph.GetVideoDevices().Detach(this);
    m_bAttached = false;
}

void CCaptureSettingsDlg::OnDestroy()
{
    CTransparentDialogBase::OnDestroy();
    DetachFromController();
}
