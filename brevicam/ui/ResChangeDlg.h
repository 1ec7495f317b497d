#pragma once

#include "Controls/GdipButton.h"
#include "Controls/Label.h"
#include "Controls/TransparentDialogBase.h"

/// The modal notice that the resolution the user chose is not available in the capture mode just
/// selected and has been lowered, with a check box that turns the notice off for the future. The caller
/// fills m_strMessage and m_strCheckCaption before DoModal and, when the result is IDOK and
/// m_nDontWarnAgain is not 0, turns its warning setting off (WarnResolutionLowered does all of it).
/// User-interface thread only.
class CResChangeDlg : public CTransparentDialogBase
{
    DECLARE_DYNAMIC(CResChangeDlg)
public:
    static constexpr UINT IDD = 653;
    static constexpr UINT kBackgroundPng = 868;

    explicit CResChangeDlg(CWnd* parent);
    ~CResChangeDlg() override;
    CResChangeDlg(const CResChangeDlg&) = delete;
    CResChangeDlg& operator=(const CResChangeDlg&) = delete;

    /// 1: the notice opens above every other window, at the screen's top-left corner.
    void SetTopMost(int topMost) { m_nTopMost = topMost; }

    /// The notice for a lowered resolution as the capture windows show it, for the program state
    /// PS_RES_LOWERED_800 (setting "ResWarning", text 717) or PS_RES_LOWERED_640 ("BMResWarning", text
    /// 702): nothing while that setting is 0; otherwise the notice runs modally over `parent` (topmost
    /// when asked), `*running` points at it while it runs (when given), and OK with the box ticked sets
    /// the setting to 0 (saved with the other settings). Returns the notice's result; 0 when it was not
    /// shown (another state, or the warning is off).
    static INT_PTR WarnResolutionLowered(CWnd* parent, int loweredState, int topMost = 0,
                                         CResChangeDlg** running = nullptr);

    BOOL OnInitDialog() override;

    CLabel m_message;       // 1228
    CLabel m_title;         // 1236
    CLabel m_checkCaption;  // 1285
    CGdipButton m_checkBox; // 1227
    CGdipButton m_ok;       // IDOK
    CString m_strMessage;
    CString m_strCheckCaption;
    /// 1 at construction; OK sets it to the check box's state.
    int m_nDontWarnAgain = 1;
    HINSTANCE m_hResourceInstance = nullptr;
    int m_nTopMost = 0;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    afx_msg void OnOKButton();

    DECLARE_MESSAGE_MAP()
};
