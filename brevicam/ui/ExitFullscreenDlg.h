#pragma once

#include "Controls/GdipButton.h"
#include "brevicam/ui/DialogColleague.h"

/// The small window with the leave-full-screen button (1304) that floats at the upper left of the screen
/// while full screen is on; one of the window mediator's colleagues. Its window is created at every entry
/// into full screen and destroyed at every exit; the object lives with the main dialog. The button, F11
/// and Escape post the key to the main dialog (the logical parent), which toggles or leaves full screen.
/// User-interface thread only.
class ExitFullscreenDlg : public CDialogColleague
{
    DECLARE_DYNAMIC(ExitFullscreenDlg)
public:
    static constexpr UINT IDD = 876;
    static constexpr UINT kBackgroundPng = 881;

    ExitFullscreenDlg();
    ~ExitFullscreenDlg() override;
    ExitFullscreenDlg(const ExitFullscreenDlg&) = delete;
    ExitFullscreenDlg& operator=(const ExitFullscreenDlg&) = delete;

    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnInitDialog() override;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    void OnOK() override {}
    void OnCancel() override {}
    afx_msg void OnExitButton();

    DECLARE_MESSAGE_MAP()

private:
    CGdipButton m_exitButton;
};
