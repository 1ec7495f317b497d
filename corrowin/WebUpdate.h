#pragma once

#include "Controls/GdipButton.h"
#include "Controls/Label.h"
#include "Controls/ProgressCtrlST.h"
#include "Controls/TransparentDialogBase.h"
#include "Controls/xSkinButton.h"
#include "corrowin/Corrowin.h"
#include "corrowin/UpdateWorker.h"

#include <memory>
#include <thread>

class CDummyDlg;

/// The update dialog: one check, run by a worker thread of its own (CUpdateWorker), shown in a skinned
/// modeless dialog owned by the window that asked for it, or out of view until the download begins.
///
/// The worker never touches the dialog: its requests come as messages (posted, or sent where it needs an
/// answer), and the question and the Yes/No box run here, on the user-interface thread. A handshake state
/// keeps the two apart when the dialog closes: closing waits (bounded, serving the worker's sends) while the
/// worker sends, is dropped while the user is being asked, and once closing begins the worker no longer
/// asks or sends. Destroying the dialog cancels the worker and waits a bounded time for it to end; the
/// worker holds nothing of the dialog but its window handle, so a worker still ending later harms nothing.
/// User-interface thread only, but for what the worker reaches through its messages.
class CWebUpdateDlg : public CTransparentDialogBase
{
public:
    static constexpr UINT IDD = 1000;
    static constexpr UINT kBackgroundPng = 1026;

    static constexpr UINT WM_UPDATE_DOWNLOADED = WM_USER + 16;
    static constexpr UINT WM_UPDATE_ANSWER = WM_USER + 17;
    static constexpr UINT WM_UPDATE_PROGRESS = WM_USER + 18;
    // Ours: the worker's requests that the user-interface thread carries out.
    /// Posted: status text, wParam the string id, lParam the `final` flag.
    static constexpr UINT WM_UPDATE_STATUS = WM_USER + 19;
    /// Sent: the versions the worker stored in the link.
    static constexpr UINT WM_UPDATE_VERSIONS = WM_USER + 20;
    /// Sent: the question dialog; the button that ended it, 0 when it could not be shown.
    static constexpr UINT WM_UPDATE_QUESTION = WM_USER + 21;
    /// Sent: the Yes/No box with string wParam; the button pressed, 0 when it could not be shown.
    static constexpr UINT WM_UPDATE_YESNO = WM_USER + 22;
    /// Posted: show the dialog.
    static constexpr UINT WM_UPDATE_SHOW = WM_USER + 23;
    /// Sent: BringIntoView from the worker.
    static constexpr UINT WM_UPDATE_INTO_VIEW = WM_USER + 24;

    /// How long closing waits for the worker's send, and destruction for the worker to end.
    static constexpr DWORD kStopWaitMs = 5000;

    /// Handshake states.
    static constexpr int kIdle = 0;
    static constexpr int kClosing = 1;
    static constexpr int kAsking = 2;
    static constexpr int kSending = 3;

    using VersionInfo = CUpdateWorker::VersionInfo;

    /// Copies what it keeps of the request and creates the dialog (and, out of view, its placeholder),
    /// which starts the worker. Throws CNullPointerException for a missing request, application name or
    /// file name, CUserInterfaceException when the dialog cannot be made.
    CWebUpdateDlg(const UpdateRequest* request, CWnd* parent, int background);
    ~CWebUpdateDlg() override;
    CWebUpdateDlg(const CWebUpdateDlg&) = delete;
    CWebUpdateDlg& operator=(const CWebUpdateDlg&) = delete;

    /// The status text; `final` turns the Next button into the way out.
    void SetStatus(const char* text, BOOL final);
    /// String `stringId` (the installer-mode variants in installer mode), "%s" filled with the
    /// application name, as the status.
    void ShowMessage(UINT stringId, BOOL final);
    BOOL IsBackground();
    /// Activates the dialog, or, while it is out of view, centres it on the screen.
    void BringIntoView();
    /// False once the dialog is closing; otherwise stores the state.
    bool TrySetState(int state);

    /// The worker thread's procedure; `context` is its own record, which it deletes. Returns 0.
    static UINT WorkerProc(LPVOID context);

    /// What the dialog and its worker share.
    struct Link;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    /// Closing: the Cancel button, WM_CLOSE and every button that posts it.
    void OnCancel() override;
    void OnOK() override {}
    void PostNcDestroy() override;

    afx_msg void OnDestroy();
    afx_msg void OnCloseButton();
    afx_msg LRESULT OnDownloaded(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnAnswer(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnProgress(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnStatus(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnVersions(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnQuestion(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnYesNo(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnShow(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnIntoView(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    void SetUpControls();
    /// Centres the dialog in the screen's full-screen area, as it comes into view.
    void CentreOnScreen();
    void StopWorker();
    /// Runs a nested loop (a box, the question) without the object being deleted under it: a window
    /// destroyed meanwhile is released afterwards. False when that happened (the object is then gone).
    template <class F> bool Nested(F&& run);

    CString m_applicationName;
    CString m_server;
    CString m_ftpDirectory;
    CString m_fileName;
    CString m_registrySubKey;
    VersionInfo m_installed;
    int m_bAsk = 0;
    int m_bInstallerMode = 0;
    HINSTANCE m_hResourceInstance = nullptr;

    std::shared_ptr<Link> m_link;
    std::thread m_worker;
    CDummyDlg* m_pDummy = nullptr;
    int m_nNested = 0;
    bool m_bReleasePending = false;

    CLabel m_status;            // 1001
    CLabel m_title;             // 1241
    CLabel m_label;             // 1242
    CLabel m_name;              // 1243
    CLabel m_installedVersion;  // 1244
    CLabel m_serverVersion;     // 1245
    CProgressCtrlST m_progress; // 1247
    CxSkinButton m_cancel;      // 2
    CxSkinButton m_close;       // 1240
    CGdipButton m_bypass;       // 1246
    CGdipButton m_next;         // 1248
};
