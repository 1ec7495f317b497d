#include "brevicam/ui/AboutDlg.h"

#include "brevicam/core/Params.h"
#include "brevicam/core/ResourceInstance.h"
#include "brevicam/core/SkinMessageBox.h"
#include "brevicam/ui/UpdateCheck.h"
#include "corrowin/Corrowin.h"
#include "platform/ostrago/Ostrago.h"
#include "platform/resources/Resources.h"
#include "platform/shell/ShellExecute.h"
#include "resources/brevicam/resource.h"
#include "shared/exceptions/Exceptions.h"

#include <memory>
#include <new>
#include <string>
#include <strings.h>

namespace
{
constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kDark = RGB(0x33, 0x33, 0x33);
constexpr std::size_t kPathSize = 261;

/// The program file's path, or null when its buffer cannot be had.
std::unique_ptr<char[]> ProgramPath()
{
    std::unique_ptr<char[]> path(new (std::nothrow) char[kPathSize]);
    if (path)
    {
        path[0] = '\0';
        GetModuleFileName(nullptr, path.get(), kPathSize - 1);
        path[kPathSize - 1] = '\0';
    }
    return path;
}

/// `pattern` with its "%s" replaced in turn by `first` and `second`; nothing else of it is read as a
/// format, as it may come from a language library.
CString FillTwice(const CString& pattern, const char* first, const char* second)
{
    std::string text = pattern.Str();
    std::size_t from = 0;
    for (const char* value : {first, second})
    {
        const auto at = text.find("%s", from);
        if (at == std::string::npos)
            break;
        text.replace(at, 2, value);
        from = at + std::string(value).size();
    }
    return CString(text);
}

void OpenDocument(const CString& target)
{
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_DDEWAIT;
    info.hwnd = nullptr;
    info.lpFile = target;
    info.nShow = SW_SHOWNORMAL;
    ShellExecuteExA(&info);
}
} // namespace

BEGIN_MESSAGE_MAP(CAboutDlg, CTransparentDialogBase)
ON_COMMAND(IDC_ABOUT_MANUAL, OnManual)
ON_COMMAND(IDC_ABOUT_UPDATE, OnUpdate)
ON_COMMAND(IDC_ABOUT_CLOSE, OnCloseButton)
END_MESSAGE_MAP()

CAboutDlg::CAboutDlg(CWnd* parent) : CTransparentDialogBase(kBackgroundPng, IDD, parent, TRUE) {}

CAboutDlg::~CAboutDlg() = default;

void CAboutDlg::DoDataExchange(CDataExchange* dx)
{
    CTransparentDialogBase::DoDataExchange(dx);
    DDX_Control(dx, IDOK, m_ok);
    DDX_Control(dx, IDC_ABOUT_CLOSE, m_close);
    DDX_Control(dx, IDC_ABOUT_CAPTION, m_caption);
    DDX_Control(dx, IDC_ABOUT_VERSION, m_version);
    DDX_Control(dx, IDC_ABOUT_UPDATE, m_update);
    DDX_Control(dx, IDC_ABOUT_MANUAL, m_manual);
}

BOOL CAboutDlg::OnInitDialog()
{
    CTransparentDialogBase::OnInitDialog();
    m_hResourceInstance = AppResourceInstance();
    auto text = [this](UINT id)
    {
        CString loaded;
        loaded.LoadString(m_hResourceInstance, id);
        return loaded;
    };
    m_ok.SetWindowText(text(IDS_OK));
    m_ok.SetSkin(IDB_ABOUT_OK, IDB_ABOUT_OK_DOWN, IDB_ABOUT_OK_OVER, IDB_ABOUT_OK_DISABLED, 0, 0, 1, 0);
    m_ok.SetFadeHover(FALSE);
    m_ok.SetTextColors(kWhite, kDark);
    m_ok.SetPressedTextColor(kWhite);
    m_ok.SetHoverTextColor(kWhite);
    m_ok.SetFontBold(TRUE);
    m_ok.SetFontSize(80);
    m_close.LoadImages(IDP_ABOUT_CLOSE, IDP_ABOUT_CLOSE_HOVER, IDP_ABOUT_CLOSE_PRESSED);
    for (auto [button, caption] :
         {std::pair{&m_update, IDS_UPDATE_BUTTON}, std::pair{&m_manual, IDS_MANUAL_BUTTON}})
    {
        button->SetWindowText(text(caption));
        button->LoadImages(IDP_ABOUT_BUTTON, IDP_ABOUT_BUTTON_HOVER, IDP_ABOUT_BUTTON_PRESSED,
                           IDP_ABOUT_BUTTON_DISABLED);
        button->SetTextColors(kWhite, kDark);
        button->SetPressedTextColor(kWhite);
        button->SetHoverTextColor(kWhite);
        button->SetFontBold(TRUE);
        button->SetFontSize(80);
    }
    char path[1024] = {};
    GetModuleFileName(nullptr, path, sizeof path - 1);
    char version[1000] = {};
    GetVersionInfo(path, version, sizeof version, 0);
    const CString product = CParams::GetAppTitle();
    m_version.SetTransparent(TRUE)
        .SetFontFace("Arial", TRUE)
        .SetFontBold(TRUE)
        .SetFontSize(9)
        .SetTextColor(kDark);
    m_version.SetText(FillTwice(text(IDS_ABOUT_VERSION), product, version));
    CString caption = text(IDS_ABOUT_MENU);
    caption.Remove('&');
    m_caption.SetTransparent(TRUE)
        .SetFontFace("Arial", TRUE)
        .SetFontBold(TRUE)
        .SetFontSize(14)
        .SetTextColor(kWhite);
    m_caption.SetText(caption);
    DrawLayeredBackground();
    return TRUE;
}

BOOL CAboutDlg::CheckUpdate(HWND owner, BOOL background, BOOL ask)
{
    const std::unique_ptr<char[]> path = ProgramPath();
    if (!path)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate filename string"));
    const CString title = CParams::GetAppTitle();
    UpdateRequest request;
    FillUpdateRequest(request, title, path.get(), ask);
    return CheckForUpdates(owner, &request, owner, background) != nullptr;
}

void CAboutDlg::StopUpdate()
{
    InterruptUpdate(g_params.GetMainWnd());
}

const char* CAboutDlg::ManualFileName(const char* languageCode)
{
    struct Manual
    {
        const char* code;
        const char* file;
    };
    static constexpr Manual kManuals[] = {
        {"ENU", "01-Eng_Tavisk_Webcam_Vistrel_Manual.pdf"},
        {"FRA", "02-Fra_Tavisk_Webcam_Vistrel_Manual.pdf"},
        {"DEU", "03-Deu_Tavisk_Webcam_Vistrel_Manual.pdf"},
        {"NLD", "04-Ned_Tavisk_Webcam_Vistrel_Manual.pdf"},
        {"ITA", "05-Ita_Tavisk_Webcam_Vistrel_Manual.pdf"},
        {"ESP", "06-Esp_Tavisk_Webcam_Vistrel_Manual.pdf"},
        {"PTB", "07-Por_Tavisk_Webcam_Vistrel_Manual.pdf"},
        {"RUS", "08-Rus_Tavisk_Webcam_Vistrel_Manual.pdf"},
        {"ELL", "09-Gr_Tavisk_Webcam_Vistrel_Manual.pdf"},
        {"TRK", "10-Tur_Tavisk_Webcam_Vistrel_Manual.pdf"},
        {"PLK", "11-Pol_Tavisk_Webcam_Vistrel_Manual.pdf"},
        {"ARA", "12-Ar_Tavisk_Webcam_Vistrel_Manual.pdf"},
    };
    if (languageCode)
        for (const Manual& manual : kManuals)
            if (strcasecmp(languageCode, manual.code) == 0)
                return manual.file;
    return "";
}

CString CAboutDlg::ManualTarget(const CString& programFolder, const char* languageCode)
{
    const CString local = programFolder + "/" + kLocalManualName;
    if (FileExists(local, 0))
        return local;
    return CString(kManualFolderUrl) + ManualFileName(languageCode);
}

void CAboutDlg::OnManual()
{
    char path[MAX_PATH] = {};
    GetModuleFileName(nullptr, path, sizeof path - 1);
    std::string folder = path;
    folder.erase(folder.rfind('/') == std::string::npos ? 0 : folder.rfind('/'));
    char code[4] = {};
    CParams::GetLanguageCode(code);
    OpenDocument(ManualTarget(CString(folder), code));
}

void CAboutDlg::OnUpdate()
{
    if (!CheckUpdate(g_params.GetMainWnd(), FALSE, FALSE))
    {
        const CString product = CParams::GetAppTitle();
        SkinMessageBoxId(m_hWnd, IDS_UPDATE_RUNNING, product, MB_OK | MB_ICONEXCLAMATION);
    }
}

void CAboutDlg::OnCloseButton()
{
    OnOK();
}
