#pragma once

#include "Controls/GdipButton.h"
#include "Controls/Label.h"
#include "Controls/TransparentDialogBase.h"

/// The offer of a newer version: OK or Cancel, and "Don't warn me in the future.". Run modally on the
/// user-interface thread, owned by the update dialog, which it disables while it is shown.
class CUpdateQuestionDlg : public CTransparentDialogBase
{
public:
    static constexpr UINT IDD = 1230;
    static constexpr UINT kBackgroundPng = 1011;

    CUpdateQuestionDlg(const CString& applicationName, CWnd* parent);

    /// Whether "Don't warn me in the future." was ticked when a button ended the dialog; 1 until then, so
    /// that closing the dialog otherwise (Esc) counts as ticked.
    int m_nAnswer = 1;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;

    afx_msg void OnYes();
    afx_msg void OnNo();

    DECLARE_MESSAGE_MAP()

private:
    void End(int result);

    CString m_applicationName;
    CLabel m_question;      // 1228
    CLabel m_name;          // 1002
    CGdipButton m_dontWarn; // 1227
    CLabel m_dontWarnText;  // 1250
    CLabel m_edition;       // 1238
    CGdipButton m_yes;      // 6
    CGdipButton m_no;       // 7
};
