#include "corrowin/WebUpdate.h"

#include "corrowin/CorrowinApp.h"
#include "corrowin/DummyDlg.h"
#include "corrowin/UpdateQuestionDlg.h"
#include "platform/commctrl/Progress.h"
#include "platform/window/Extras.h"
#include "resources/corrowin/resource.h"
#include "shared/exceptions/Exceptions.h"

#include <algorithm>
#include <mutex>

namespace
{
constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kDark = RGB(0x33, 0x33, 0x33);
constexpr int IDC_CANCEL_BUTTON = 2;
} // namespace

struct CWebUpdateDlg::Link
{
    Link()
        : cancel(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          finished(CreateEventA(nullptr, TRUE, FALSE, nullptr))
    {
    }
    ~Link()
    {
        CloseHandle(cancel);
        CloseHandle(finished);
    }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    HWND dialog = nullptr;
    DWORD uiThread = 0;
    std::mutex handshakeLock;
    int state = kIdle;
    std::mutex backgroundLock;
    BOOL background = FALSE;
    /// Manual reset: the worker and its transfer both look at it, and neither may consume it.
    HANDLE cancel;
    /// Set by the worker as its last act.
    HANDLE finished;
    // What the worker hands over with its sends, and what comes back.
    CString serverVersion;
    CString installedVersion;
    BOOL dontWarn = FALSE;
};

namespace
{
/// Serves the sends other threads are waiting on, leaving posted messages where they are.
void ServeSends()
{
    MSG msg;
    ::PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);
}

bool TrySet(CWebUpdateDlg::Link& link, int state)
{
    std::lock_guard<std::mutex> lock(link.handshakeLock);
    if (link.state == CWebUpdateDlg::kClosing)
        return false;
    link.state = state;
    return true;
}

/// The worker's view of its dialog: the dialog's window and the shared link, nothing else.
class WorkerHost : public IUpdateHost
{
public:
    explicit WorkerHost(std::shared_ptr<CWebUpdateDlg::Link> link) : m_link(std::move(link)) {}

    void ShowMessage(UINT stringId, BOOL final) override
    {
        ::PostMessage(m_link->dialog, CWebUpdateDlg::WM_UPDATE_STATUS, stringId, final);
    }
    void ShowVersions(const CString& server, const CString& installed) override
    {
        m_link->serverVersion = server;
        m_link->installedVersion = installed;
        ::SendMessage(m_link->dialog, CWebUpdateDlg::WM_UPDATE_VERSIONS, 0, 0);
    }
    BOOL IsBackground() override
    {
        std::lock_guard<std::mutex> lock(m_link->backgroundLock);
        return m_link->background;
    }
    void BringIntoView() override { ::SendMessage(m_link->dialog, CWebUpdateDlg::WM_UPDATE_INTO_VIEW, 0, 0); }
    bool TrySetState(int state) override { return TrySet(*m_link, state); }
    int AskQuestion(BOOL& dontWarn) override
    {
        const int answer =
            static_cast<int>(::SendMessage(m_link->dialog, CWebUpdateDlg::WM_UPDATE_QUESTION, 0, 0));
        dontWarn = m_link->dontWarn;
        return answer;
    }
    int AskYesNo(UINT stringId) override
    {
        return static_cast<int>(::SendMessage(m_link->dialog, CWebUpdateDlg::WM_UPDATE_YESNO, stringId, 0));
    }
    void ShowDialog() override { ::PostMessage(m_link->dialog, CWebUpdateDlg::WM_UPDATE_SHOW, 0, 0); }
    void PostAnswer(int answer) override
    {
        ::PostMessage(m_link->dialog, CWebUpdateDlg::WM_UPDATE_ANSWER, static_cast<WPARAM>(answer), 0);
    }
    void PostClose() override { ::PostMessage(m_link->dialog, WM_CLOSE, 0, 0); }
    void PostDownloaded() override
    {
        ::PostMessage(m_link->dialog, CWebUpdateDlg::WM_UPDATE_DOWNLOADED, 0, 0);
    }
    void SendProgress(int percent) override
    {
        ::SendMessage(m_link->dialog, CWebUpdateDlg::WM_UPDATE_PROGRESS, static_cast<WPARAM>(percent), 0);
    }

private:
    std::shared_ptr<CWebUpdateDlg::Link> m_link;
};

struct WorkerContext
{
    std::shared_ptr<CWebUpdateDlg::Link> link;
    CUpdateWorker::Settings settings;
};
} // namespace

BEGIN_MESSAGE_MAP(CWebUpdateDlg, CTransparentDialogBase)
ON_MESSAGE(WM_UPDATE_DOWNLOADED, OnDownloaded)
ON_MESSAGE(WM_UPDATE_ANSWER, OnAnswer)
ON_MESSAGE(WM_UPDATE_PROGRESS, OnProgress)
ON_MESSAGE(WM_UPDATE_STATUS, OnStatus)
ON_MESSAGE(WM_UPDATE_VERSIONS, OnVersions)
ON_MESSAGE(WM_UPDATE_QUESTION, OnQuestion)
ON_MESSAGE(WM_UPDATE_YESNO, OnYesNo)
ON_MESSAGE(WM_UPDATE_SHOW, OnShow)
ON_MESSAGE(WM_UPDATE_INTO_VIEW, OnIntoView)
ON_WM_DESTROY()
ON_BN_CLICKED(IDC_CLOSE, OnCloseButton)
ON_BN_CLICKED(IDC_BYPASS, OnCloseButton)
ON_BN_CLICKED(IDC_NEXT, OnCloseButton)
END_MESSAGE_MAP()

CWebUpdateDlg::CWebUpdateDlg(const UpdateRequest* request, CWnd* parent, int background)
    : CTransparentDialogBase(kBackgroundPng), m_link(std::make_shared<Link>())
{
    if (!request)
        throw CNullPointerException(THROW_SITE_MESSAGE("No update info received"));
    if (!request->lpszApplicationName)
        throw CNullPointerException(THROW_SITE_MESSAGE("Missing application name"));
    if (!request->lpszFileName)
        throw CNullPointerException(THROW_SITE_MESSAGE("Missing filename"));
    m_applicationName = request->lpszApplicationName;
    m_server = request->strFtpServer.IsEmpty() ? CString("localhost") : request->strFtpServer;
    m_ftpDirectory = request->strFtpDirectory;
    m_fileName = request->lpszFileName;
    m_bAsk = request->bAsk;
    m_bInstallerMode = request->bInstallerMode;
    m_registrySubKey = request->strRegistrySubKey;
    m_installed = VersionInfo(request->dwVersionMS, request->dwVersionLS);
    m_link->background = background != 0;
    m_hResourceInstance = CorrowinApp().GetResourceInstance();
    // The template's progress bar must have its class before the window exists.
    InitProgressClass();
    if (!Create(IDD, parent))
        throw CUserInterfaceException(THROW_SITE_MESSAGE("Cannot create update dialog"));
    if (background)
    {
        m_pDummy = new CDummyDlg(m_applicationName, parent);
        if (m_pDummy->CreatePlaceholder())
            m_pDummy->ShowWindow(SW_SHOW);
        else
        {
            delete m_pDummy;
            m_pDummy = nullptr;
        }
    }
}

CWebUpdateDlg::~CWebUpdateDlg()
{
    if (m_hWnd && ::IsWindow(m_hWnd))
    {
        // Deleted with its window still there: the window goes now, without releasing this object again.
        m_nNested = 1;
        DestroyWindow();
        m_nNested = 0;
    }
    StopWorker();
}

void CWebUpdateDlg::DoDataExchange(CDataExchange* dx)
{
    CTransparentDialogBase::DoDataExchange(dx);
    DDX_Control(dx, IDC_STATUS, m_status);
    DDX_Control(dx, IDC_TITLE, m_title);
    DDX_Control(dx, IDC_TITLE_LABEL, m_label);
    DDX_Control(dx, IDC_NAME, m_name);
    DDX_Control(dx, IDC_INSTALLED_VERSION, m_installedVersion);
    DDX_Control(dx, IDC_SERVER_VERSION, m_serverVersion);
    DDX_Control(dx, IDC_PROGRESS, m_progress);
    DDX_Control(dx, IDC_CANCEL_BUTTON, m_cancel);
    DDX_Control(dx, IDC_CLOSE, m_close);
    DDX_Control(dx, IDC_BYPASS, m_bypass);
    DDX_Control(dx, IDC_NEXT, m_next);
}

void CWebUpdateDlg::SetUpControls()
{
    const CCorrowinApp& app = CorrowinApp();
    m_status.SetFontFace("Arial", TRUE)
        .SetFontSize(9)
        .SetFontBold(TRUE)
        .SetTextColor(kDark)
        .SetTransparent(TRUE);
    const CString title = app.LoadTextWith(IDS_UPDATE_TITLE, m_applicationName);
    m_title.SetFontFace("Arial", TRUE)
        .SetFontSize(12)
        .SetFontBold(TRUE)
        .SetTextColor(kBlack)
        .SetTransparent(TRUE);
    m_title.SetText(title);
    m_label.SetFontFace("Arial", TRUE)
        .SetFontSize(12)
        .SetFontBold(TRUE)
        .SetTextColor(kWhite)
        .SetTransparent(TRUE);
    m_name.SetFontFace("Arial", TRUE).SetFontSize(14).SetTextColor(kWhite).SetTransparent(TRUE);
    m_name.SetText(m_bInstallerMode ? app.LoadText(IDS_INSTALLATION_ASSISTANT) : m_applicationName);
    m_installedVersion.SetFontFace("Arial", TRUE)
        .SetFontSize(9)
        .SetFontBold(TRUE)
        .SetTextColor(kDark)
        .SetTransparent(TRUE);
    m_serverVersion.SetFontFace("Arial", TRUE)
        .SetFontSize(9)
        .SetFontBold(TRUE)
        .SetTextColor(kBlack)
        .SetTransparent(TRUE);
    m_progress.SetBitmap(IDB_PROGRESS_BAR, IDB_PROGRESS_BACKGROUND, FALSE);
    m_progress.SetRange(0, 100);
    m_cancel.SetSkin(IDB_CANCEL, IDB_CANCEL_PRESSED, IDB_CANCEL_HOVER, IDB_CANCEL_DISABLED, 0, 0, 2);
    m_cancel.SetWindowText(app.LoadText(IDS_CANCEL));
    m_cancel.SetTextColors(kWhite, GetSysColor(COLOR_GRAYTEXT));
    m_close.SetSkin(IDB_CLOSE, IDB_CLOSE_PRESSED, IDB_CLOSE_HOVER, 0, 0, 0, 2);
    for (CGdipButton* button : {&m_bypass, &m_next})
    {
        button->LoadImages(IDP_BUTTON, IDP_BUTTON_HOVER, IDP_BUTTON_PRESSED);
        button->SetTextColors(kWhite, kDark);
        button->SetFontBold(TRUE);
        button->SetFontSize(90);
    }
    m_bypass.SetWindowText(app.LoadText(IDS_BYPASS));
    m_next.SetWindowText(app.LoadText(IDS_NEXT));
}

BOOL CWebUpdateDlg::OnInitDialog()
{
    CTransparentDialogBase::OnInitDialog();
    SetUpControls();
    SetWindowText(CorrowinApp().GetTitle());
    if (CWnd* animation = GetDlgItem(IDC_ANIMATION))
        animation->ShowWindow(SW_HIDE);
    m_status.SetText(CorrowinApp().LoadText(IDS_SEARCHING));
    DrawLayeredBackground();
    if (m_hLayered)
        ::SetWindowPos(m_hLayered, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    // The template centres the dialog on its owner, which here is the layered window, still empty: the
    // dialog is centred on the screen instead, or put out of view.
    if (IsBackground())
        SetWindowPos(nullptr, -1000, -1000, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOZORDER);
    else
        CentreOnScreen();

    m_link->dialog = m_hWnd;
    m_link->uiThread = GetCurrentThreadId();
    m_link->state = kIdle;
    auto* context = new WorkerContext{m_link, {}};
    CUpdateWorker::Settings& settings = context->settings;
    settings.applicationName = m_applicationName;
    settings.server = m_server;
    settings.ftpDirectory = m_ftpDirectory;
    settings.versionFileName = m_fileName;
    settings.installed = m_installed;
    settings.ask = m_bAsk;
    settings.installerMode = m_bInstallerMode;
    m_worker = std::thread([context] { WorkerProc(context); });

    m_next.ShowWindow(SW_HIDE);
    m_bypass.ShowWindow(m_bInstallerMode ? SW_SHOW : SW_HIDE);
    return TRUE;
}

UINT CWebUpdateDlg::WorkerProc(LPVOID context)
{
    std::unique_ptr<WorkerContext> own(static_cast<WorkerContext*>(context));
    WorkerHost host(own->link);
    try
    {
        CUpdateWorker(own->settings, host, CorrowinApp(), own->link->cancel).Run();
    }
    catch (...)
    {
        // A failure of the worker ends the check; the dialog stays for the user to close.
    }
    SetEvent(own->link->finished);
    return 0;
}

void CWebUpdateDlg::SetStatus(const char* text, BOOL final)
{
    m_status.SetText(text);
    if (final)
    {
        const CCorrowinApp& app = CorrowinApp();
        if (m_bInstallerMode)
        {
            m_next.SetWindowText(app.LoadText(IDS_NEXT));
            m_bypass.ShowWindow(SW_HIDE);
        }
        else
            m_next.SetWindowText(app.LoadText(IDS_OK));
        m_next.ShowWindow(SW_SHOW);
    }
    DrawLayeredBackground();
    RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void CWebUpdateDlg::ShowMessage(UINT stringId, BOOL final)
{
    if (m_bInstallerMode)
    {
        if (stringId == IDS_NO_SERVER)
            stringId = IDS_NO_SERVER_CD;
        else if (stringId == IDS_SERVER_ERROR)
            stringId = IDS_DOWNLOAD_ERROR_CD;
        else if (stringId == IDS_UPDATING)
            stringId = IDS_UPDATING_CD;
        if (CWnd* animation = GetDlgItem(IDC_ANIMATION))
            animation->ShowWindow(SW_HIDE);
    }
    SetStatus(CorrowinApp().LoadTextWith(stringId, m_applicationName), final);
}

BOOL CWebUpdateDlg::IsBackground()
{
    std::lock_guard<std::mutex> lock(m_link->backgroundLock);
    return m_link->background;
}

void CWebUpdateDlg::BringIntoView()
{
    {
        std::lock_guard<std::mutex> lock(m_link->backgroundLock);
        if (m_link->background)
            m_link->background = FALSE;
        else
        {
            SetActiveWindow();
            return;
        }
    }
    CentreOnScreen();
}

void CWebUpdateDlg::CentreOnScreen()
{
    CRect window;
    GetWindowRect(&window);
    SetWindowPos(nullptr, (GetSystemMetrics(SM_CXFULLSCREEN) - window.Width()) / 2,
                 (GetSystemMetrics(SM_CYFULLSCREEN) - window.Height()) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

bool CWebUpdateDlg::TrySetState(int state)
{
    return TrySet(*m_link, state);
}

void CWebUpdateDlg::OnCancel()
{
    m_cancel.EnableWindow(FALSE);
    const DWORD start = GetTickCount();
    std::unique_lock<std::mutex> lock(m_link->handshakeLock);
    for (;;)
    {
        if (GetTickCount() - start >= kStopWaitMs || m_link->state == kIdle)
            break;
        if (m_link->state == kClosing)
            return;
        // The user is being asked: this request is dropped. The Cancel button comes back, as with it
        // disabled the dialog manager would ignore every later WM_CLOSE, the worker's own included, and the
        // dialog could never close.
        if (m_link->state == kAsking)
        {
            lock.unlock();
            m_cancel.EnableWindow(TRUE);
            return;
        }
        // The worker waits for a send: serve it, then look again.
        lock.unlock();
        ServeSends();
        std::this_thread::yield();
        lock.lock();
    }
    m_link->state = kClosing;
    lock.unlock();
    CorrowinApp().NotifyClosed();
    DestroyWindow();
}

void CWebUpdateDlg::OnCloseButton()
{
    PostMessage(WM_CLOSE, 0, 0);
}

void CWebUpdateDlg::OnDestroy()
{
    if (m_pDummy && ::IsWindow(m_pDummy->GetSafeHwnd()))
        m_pDummy->PostMessage(WM_CLOSE, 0, 0);
    m_pDummy = nullptr;
    CTransparentDialogBase::OnDestroy();
    StopWorker();
}

void CWebUpdateDlg::StopWorker()
{
    if (!m_worker.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_link->handshakeLock);
        m_link->state = kClosing;
    }
    SetEvent(m_link->cancel);
    const DWORD start = GetTickCount();
    // The worker may be waiting for a send of its own; it is served while we wait.
    while (WaitForSingleObject(m_link->finished, 5) != WAIT_OBJECT_0 && GetTickCount() - start < kStopWaitMs)
        ServeSends();
    if (WaitForSingleObject(m_link->finished, 0) == WAIT_OBJECT_0)
        m_worker.join();
    else
        // Every wait of the worker is bounded and it holds nothing of ours but the shared link: it ends on
        // its own.
        m_worker.detach();
}

void CWebUpdateDlg::PostNcDestroy()
{
    CTransparentDialogBase::PostNcDestroy();
    if (m_nNested > 0)
        m_bReleasePending = true;
    else
        CorrowinApp().ReleaseUpdateDialog();
}

template <class F> bool CWebUpdateDlg::Nested(F&& run)
{
    ++m_nNested;
    run();
    if (--m_nNested == 0 && m_bReleasePending)
    {
        CorrowinApp().ReleaseUpdateDialog();
        return false;
    }
    return true;
}

LRESULT CWebUpdateDlg::OnDownloaded(WPARAM, LPARAM)
{
    PostMessage(WM_CLOSE, 0, 0);
    CorrowinApp().NotifyDownloaded();
    Nested([] { CorrowinApp().InstallDownloadedPackage(); });
    return 0;
}

LRESULT CWebUpdateDlg::OnAnswer(WPARAM wParam, LPARAM)
{
    CorrowinApp().NotifyAnswer(static_cast<int>(wParam));
    return 0;
}

LRESULT CWebUpdateDlg::OnProgress(WPARAM wParam, LPARAM)
{
    m_progress.SetPos(static_cast<int>(std::min<WPARAM>(wParam, 100)));
    m_progress.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    return 0;
}

LRESULT CWebUpdateDlg::OnStatus(WPARAM wParam, LPARAM lParam)
{
    ShowMessage(static_cast<UINT>(wParam), static_cast<BOOL>(lParam));
    return 0;
}

LRESULT CWebUpdateDlg::OnVersions(WPARAM, LPARAM)
{
    if (!m_bInstallerMode)
    {
        m_serverVersion.SetText(m_link->serverVersion);
        m_serverVersion.ShowWindow(SW_SHOW);
    }
    m_installedVersion.SetText(m_link->installedVersion);
    return 0;
}

LRESULT CWebUpdateDlg::OnQuestion(WPARAM, LPARAM)
{
    // The question counts as asking: a close request meanwhile is dropped, as for the Yes/No box.
    if (!TrySetState(kAsking))
        return 0;
    INT_PTR result = 0;
    int ticked = 1;
    const bool alive = Nested(
        [&]
        {
            CUpdateQuestionDlg question(m_applicationName, this);
            result = question.DoModal();
            ticked = question.m_nAnswer;
        });
    if (!alive)
        return 0;
    m_link->dontWarn = ticked ? TRUE : FALSE;
    TrySetState(kIdle);
    return result == IDYES || result == IDNO || result == IDCANCEL ? result : 0;
}

LRESULT CWebUpdateDlg::OnYesNo(WPARAM wParam, LPARAM)
{
    int answer = 0;
    const CString text = CorrowinApp().LoadTextWith(static_cast<UINT>(wParam), m_applicationName);
    const bool alive = Nested(
        [&]
        { answer = ShowSkinnedMessageBox(m_hWnd, text, m_applicationName, MB_YESNO | MB_ICONEXCLAMATION); });
    return alive ? answer : 0;
}

LRESULT CWebUpdateDlg::OnShow(WPARAM, LPARAM)
{
    ShowWindow(SW_SHOW);
    return 0;
}

LRESULT CWebUpdateDlg::OnIntoView(WPARAM, LPARAM)
{
    BringIntoView();
    return 0;
}
