#pragma once

#include "Controls/Label.h"
#include "Controls/ProgressCtrlST.h"
#include "Controls/TransparentDialogBase.h"

#include <memory>

class CWaitThread;

/// The copy wait window: a text over a progress bar, modeless on the user-interface thread while its
/// caller copies. It closes itself on the first tick of its 500 ms timer after its thread's close event
/// is set; Enter, Escape and F1 never close it. It deletes itself when its window is destroyed.
class CWaitDialogWindow : public CTransparentDialogBase
{
public:
    /// `textId` -1: shows `text`. A `parent` is disabled while the window is up.
    CWaitDialogWindow(std::shared_ptr<CWaitThread> thread, CWnd* parent, int textId, const CString& text);

    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override {}

protected:
    void DoDataExchange(CDataExchange* dx) override;
    void PostNcDestroy() override;
    afx_msg void OnTimer(UINT_PTR id);
    afx_msg void OnDestroy();
    afx_msg LRESULT OnHelp(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnWaitProgress(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnWaitMove(WPARAM wParam, LPARAM lParam);

    std::shared_ptr<CWaitThread> m_pThread;
    CLabel m_label;
    int m_nTextId;
    CString m_strText;
    HINSTANCE m_hResource;
    CProgressCtrlST m_progress;
    CWnd* m_pLogicalParent;
    bool m_bParentDisabled = false;
    /// Set once the window is up: from then on it deletes itself when it is destroyed.
    bool m_bAutoDelete = false;

    DECLARE_MESSAGE_MAP()
};
