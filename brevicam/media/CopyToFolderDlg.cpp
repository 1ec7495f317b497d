#include "brevicam/media/CopyToFolderDlg.h"

#include "brevicam/core/Params.h"
#include "brevicam/core/ResourceInstance.h"
#include "brevicam/core/SkinMessageBox.h"
#include "brevicam/media/FileOperation.h"
#include "brevicam/media/TextButtonStyle.h"
#include "platform/ostrago/BrowsePath.h"
#include "platform/window/Extras.h"
#include "resources/brevicam/resource.h"

#include <chrono>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>

namespace
{
/// Posted by the worker when it has ended: wParam 1 closes the dialog.
constexpr UINT WM_COPY_FINISHED = WM_APP + 0x113;
constexpr int kFolderChars = 255;
constexpr int kCompactChars = 50;
constexpr COLORREF kCaption = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kText = RGB(0x33, 0x33, 0x33);
// Placed over the skin image (444 x 250, the dialog cut to (15, 14)-(429, 235)).
constexpr RECT kTitleRect{30, 20, 330, 46};
constexpr RECT kPromptRect{32, 68, 414, 88};
constexpr RECT kFolderRect{32, 104, 32 + 252, 104 + 20};
constexpr RECT kBrowseRect{295, 97, 295 + 119, 97 + 34};
constexpr RECT kOkRect{214, 172, 214 + 80, 172 + 44};
constexpr RECT kCancelRect{302, 172, 302 + 112, 172 + 44};

CString LoadText(HINSTANCE module, UINT id)
{
    CString text;
    text.LoadString(module, id);
    return text;
}

} // namespace

BEGIN_MESSAGE_MAP(CCopyToFolderDlg, CTransparentDialogBase)
ON_BN_CLICKED(IDC_COPY_BROWSE, OnBrowse)
ON_WM_DESTROY()
ON_MESSAGE(WM_COPY_FINISHED, OnCopyFinished)
END_MESSAGE_MAP()

CCopyToFolderDlg::CCopyToFolderDlg(std::vector<CString> files, CWnd* parent)
    : CTransparentDialogBase(IDP_COPY_TO_FOLDER_BACKGROUND, IDD_COPY_TO_FOLDER, parent, TRUE),
      m_files(std::move(files)), m_hResource(AppResourceInstance())
{
}

CCopyToFolderDlg::~CCopyToFolderDlg()
{
    m_bStopping = true;
    JoinWorker();
}

void CCopyToFolderDlg::DoDataExchange(CDataExchange* dx)
{
    CTransparentDialogBase::DoDataExchange(dx);
    DDX_Control(dx, IDC_COPY_FOLDER, m_editFolder);
    DDX_Control(dx, IDC_COPY_BROWSE, m_btnBrowse);
    DDX_Control(dx, IDOK, m_btnOK);
    DDX_Control(dx, IDCANCEL, m_btnCancel);
    DDX_Control(dx, IDC_COPY_PROMPT, m_lblPrompt);
    DDX_Control(dx, IDC_COPY_TITLE, m_lblTitle);
}

BOOL CCopyToFolderDlg::OnInitDialog()
{
    CTransparentDialogBase::OnInitDialog();
    CRgn region;
    region.CreateRoundRectRgn(15, 14, 429, 235, 10, 10);
    SetWindowRgn(static_cast<HRGN>(region.Detach()), TRUE);

    CString folder = g_params.GetCopyToFolderPath();
    if (folder.IsEmpty())
        folder = g_params.GetPhotoPath();
    m_editFolder.MoveWindow(&kFolderRect);
    m_editFolder.SetWindowText(folder);
    m_editFolder.CenterTextVertically();
    m_editFolder.SetTextColor(kText);
    m_editFolder.SetBkColor(CLR_INVALID);
    m_editFolder.LimitText(kFolderChars);
    m_editFolder.SendMessage(EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELONG(7, 9));

    const UINT okImages[4] = {IDP_COPY_OK, IDP_COPY_OK_HOVER, IDP_COPY_OK_PRESSED, IDP_COPY_OK_DISABLED};
    const UINT cancelImages[4] = {IDP_WIDE_BUTTON, IDP_WIDE_BUTTON_HOVER, IDP_WIDE_BUTTON_PRESSED,
                                  IDP_WIDE_BUTTON_DISABLED};
    const UINT browseImages[4] = {IDP_COPY_BROWSE, IDP_COPY_BROWSE_HOVER, IDP_COPY_BROWSE_PRESSED,
                                  IDP_COPY_BROWSE_DISABLED};
    m_btnOK.MoveWindow(&kOkRect);
    m_btnCancel.MoveWindow(&kCancelRect);
    m_btnBrowse.MoveWindow(&kBrowseRect);
    StyleTextButton(m_btnOK, LoadText(m_hResource, IDS_OK), okImages);
    StyleTextButton(m_btnCancel, LoadText(m_hResource, IDS_CANCEL), cancelImages);
    StyleTextButton(m_btnBrowse, LoadText(m_hResource, IDS_BROWSE), browseImages);

    m_lblPrompt.MoveWindow(&kPromptRect);
    m_lblPrompt.SetFontSize(9);
    m_lblPrompt.SetTextColor(kText, 255);
    m_lblPrompt.SetFontBold(TRUE);
    m_lblPrompt.SetTransparent(TRUE);
    m_lblPrompt.SetFontName("Arial");
    m_lblPrompt.SetText(LoadText(m_hResource, IDS_COPY_SELECT_FOLDER));

    m_lblTitle.MoveWindow(&kTitleRect);
    m_lblTitle.SetFontSize(14);
    m_lblTitle.SetTextColor(kCaption, 255);
    m_lblTitle.SetFontBold(TRUE);
    m_lblTitle.SetTransparent(TRUE);
    m_lblTitle.SetFontFace("Arial", TRUE);
    m_lblTitle.SetText(LoadText(m_hResource, IDS_COPY_FOLDER_TITLE));
    // Over the window that opened it (or the screen's middle); the layered background follows.
    CenterWindow(GetParent());
    return TRUE;
}

void CCopyToFolderDlg::OnBrowse()
{
    CString current;
    m_editFolder.GetWindowText(current);
    char chosen[MAX_PATH] = {};
    const std::wstring initial = platform::Utf8ToWide(current.Str());
    GetBrowsePath(m_hWnd, LoadText(m_hResource, IDS_COPY_SELECT_FOLDER), chosen, initial.c_str());
    if (chosen[0])
        m_editFolder.SetWindowText(chosen);
}

void CCopyToFolderDlg::EnableControls(BOOL enable)
{
    EnableWindow(enable);
    m_btnOK.EnableWindow(enable);
    m_btnCancel.EnableWindow(enable);
}

void CCopyToFolderDlg::OnOK()
{
    if (m_worker.joinable())
        return;
    CString folder;
    m_editFolder.GetWindowText(folder);
    EnableControls(FALSE);
    m_bWorkerDone = false;
    m_worker = std::thread(
        [this, folder]
        {
            bool close = false;
            try
            {
                close = CopyWorker(folder);
            }
            catch (...)
            {
                // Failures travel as results inside the copy; anything else leaves the dialog open.
            }
            FinishCopy(close);
        });
}

void CCopyToFolderDlg::OnCancel()
{
    // While copying, the dialog waits for the copy's own end.
    if (m_worker.joinable())
        return;
    CTransparentDialogBase::OnCancel();
}

void CCopyToFolderDlg::ReportText(const CString& text, UINT icon)
{
    if (m_bStopping)
        return;
    SkinMessageBox(m_hWnd, text, CParams::GetAppTitle(), MB_OK | icon);
}

void CCopyToFolderDlg::FinishCopy(bool close)
{
    HWND dialog = m_hWnd;
    m_bWorkerDone = true;
    ::PostMessage(dialog, WM_COPY_FINISHED, close ? 1 : 0, 0);
}

bool CCopyToFolderDlg::CopyWorker(CString folderText)
{
    std::string text = folderText.Str();
    CParams::NormalizePath(text.data());
    CString folder(text.c_str());
    if (!CParams::IsValidPath(folder))
    {
        ReportText(LoadStringWithText(IDS_DIRECTORY_INVALID, CParams::CompactPath(folder, kCompactChars)),
                   MB_ICONHAND);
        return false;
    }
    if (folder.Right(1) != "/")
        folder += "/";

    CFileOperation operation;
    operation.SetCancelFlag(&m_bStopping);
    if (CParams::PathExists(folder, TRUE))
    {
        operation.m_bOverwriteMode = true;
        operation.m_bAskIfOverwrite = true;
        operation.m_bNoCancel = 1;
    }
    else
    {
        const CString shown = CParams::CompactPath(folder, kCompactChars);
        if (m_bStopping || SkinMessageBox(m_hWnd, LoadStringWithText(IDS_FOLDER_MISSING_CREATE, shown),
                                          CParams::GetAppTitle(), MB_YESNO | MB_ICONHAND) != IDYES)
        {
            return false;
        }
        std::error_code error;
        std::filesystem::create_directories(folder.Str(), error);
        if (!CParams::PathExists(folder, TRUE))
        {
            ReportText(LoadStringWithText(IDS_FOLDER_CREATE_FAILED, shown), MB_ICONHAND);
            return false;
        }
    }

    bool allSucceeded = true;
    bool anyCopied = false;
    bool anyMissing = false;
    for (const CString& file : m_files)
    {
        if (m_bStopping)
            break;
        struct stat st;
        if (::stat(file.Str().c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        {
            anyMissing = true;
            continue;
        }
        const bool showProgress =
            static_cast<std::uint64_t>(st.st_size) > CFileOperation::kProgressThresholdBytes;
        if (operation.Copy(file, folder, showProgress, this))
        {
            if (operation.m_bCopied)
                anyCopied = true;
        }
        else if (CParams::IsSameFolder(file, folder))
            anyCopied = true;
        else
            allSucceeded = false;
    }

    if (!allSucceeded)
        ReportText(LoadText(m_hResource, IDS_COPY_FAILED), MB_ICONHAND);
    else if (anyCopied)
    {
        {
            CSingleLock lock(&g_params.m_cs, TRUE);
            g_params.m_CopyToFolderPath = folder;
        }
        ReportText(LoadText(m_hResource, IDS_COPY_DONE), MB_ICONASTERISK);
    }
    else if (anyMissing)
        ReportText(LoadText(m_hResource, IDS_ERROR_COPYING), MB_ICONHAND);
    return true;
}

LRESULT CCopyToFolderDlg::OnCopyFinished(WPARAM wParam, LPARAM)
{
    JoinWorker();
    EnableControls(TRUE);
    if (wParam)
        PostMessage(WM_CLOSE);
    return 0;
}

void CCopyToFolderDlg::JoinWorker()
{
    if (!m_worker.joinable())
        return;
    // The worker may be waiting for a prompt or a box of this thread; they keep their turn until it ends.
    while (!m_bWorkerDone)
    {
        platform::window::PumpPendingMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    m_worker.join();
}

void CCopyToFolderDlg::OnDestroy()
{
    m_bStopping = true;
    JoinWorker();
    CTransparentDialogBase::OnDestroy();
}
