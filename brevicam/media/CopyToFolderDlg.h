#pragma once

#include "Controls/EditTrans.h"
#include "Controls/GdipButton.h"
#include "Controls/Label.h"
#include "Controls/TransparentDialogBase.h"

#include <atomic>
#include <thread>
#include <vector>

/// Copy to folder: asks for a destination folder (typed, or chosen in the folder browser) and copies the
/// given files into it on a worker thread, creating the folder on request, asking before a file is
/// replaced and reporting the outcome in message boxes. The dialog is disabled while it copies and
/// closes itself once a copy has been attempted. Runs modally (DoModal) on the user-interface thread; the
/// worker is joined before the dialog goes away.
class CCopyToFolderDlg : public CTransparentDialogBase
{
public:
    /// `files`: full paths, copied in this order.
    CCopyToFolderDlg(std::vector<CString> files, CWnd* parent);
    ~CCopyToFolderDlg() override;

    BOOL OnInitDialog() override;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    /// OK: disables the dialog and starts copying.
    void OnOK() override;
    void OnCancel() override;
    afx_msg void OnBrowse();
    afx_msg void OnDestroy();
    afx_msg LRESULT OnCopyFinished(WPARAM wParam, LPARAM lParam);

    /// The copy itself, on the worker thread, into the folder typed in the edit; true when a copy was
    /// attempted and the dialog is to close.
    bool CopyWorker(CString folderText);
    /// Hands the end of the copy back to the dialog, which enables itself again and closes when `close`.
    void FinishCopy(bool close);
    /// Shows a box owned by the dialog, captioned with the program's title; from the worker thread.
    void ReportText(const CString& text, UINT icon);
    void EnableControls(BOOL enable);
    /// Waits for the worker, giving the user-interface thread's calls their turn meanwhile.
    void JoinWorker();

    CEditTrans m_editFolder;
    CGdipButton m_btnBrowse;
    CGdipButton m_btnOK;
    CGdipButton m_btnCancel;
    CLabel m_lblPrompt;
    CLabel m_lblTitle;
    std::vector<CString> m_files;
    HINSTANCE m_hResource;
    std::thread m_worker;
    std::atomic<bool> m_bWorkerDone{false};
    /// The dialog is going away: the worker stops copying and reports nothing more.
    std::atomic<bool> m_bStopping{false};

    DECLARE_MESSAGE_MAP()
};
