#pragma once

#include "platform/window/Afx.h"

/// The placeholder of a check that runs out of view: an empty pop-up far off the screen, behind the window
/// that asked for the check and titled with the product's name. Closing it closes that window's request
/// too (WM_CLOSE is passed on to it). It deletes itself once its window is gone. User-interface thread.
class CDummyDlg : public CDialog
{
public:
    static constexpr UINT IDD = 1019;

    /// `title` is the product's name; `parent` the window that asked for the check (not owned).
    CDummyDlg(const CString& title, CWnd* parent);

    /// Creates the window from the library's template, without a parent window of its own.
    BOOL CreatePlaceholder();

protected:
    BOOL OnInitDialog() override;
    void PostNcDestroy() override;
    void OnCancel() override;
    void OnOK() override {}

    afx_msg void OnClose();

    DECLARE_MESSAGE_MAP()

private:
    CString m_title;
    HWND m_hLogicalParent;
};
