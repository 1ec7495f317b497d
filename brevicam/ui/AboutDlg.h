#pragma once

#include "Controls/GdipButton.h"
#include "Controls/Label.h"
#include "Controls/TransparentDialogBase.h"
#include "Controls/xSkinButton.h"

/// The About box: the product's name and version with the maker's notice, the user manual, and a check for
/// a newer version through the web update library. Run modally by the main window (button 1003 or the
/// system menu's About item). User-interface thread.
class CAboutDlg : public CTransparentDialogBase
{
public:
    static constexpr UINT IDD = 8924;
    static constexpr UINT kBackgroundPng = 841;
    /// The maker's online folder of user manuals, and the manual installed beside the program.
    static constexpr const char* kManualFolderUrl = "https://www.tavisk.com/support/manuals/";
    static constexpr const char* kLocalManualName = "QPX manual.pdf";

    explicit CAboutDlg(CWnd* parent);
    ~CAboutDlg() override;
    CAboutDlg(const CAboutDlg&) = delete;
    CAboutDlg& operator=(const CAboutDlg&) = delete;

    /// Asks the web update library for a check with the program's request; TRUE when it started one.
    /// Throws COutOfMemoryException when the path buffer cannot be had.
    BOOL CheckUpdate(HWND owner, BOOL background, BOOL ask);
    /// Closes a check that the program's main window started.
    void StopUpdate();

    /// The manual's file name in the online folder for a language code (any case); empty for a code
    /// outside the table.
    static const char* ManualFileName(const char* languageCode);
    /// What the manual button opens: the manual beside the program when it is there, else the online
    /// manual of the language.
    static CString ManualTarget(const CString& programFolder, const char* languageCode);

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;

    afx_msg void OnManual();
    afx_msg void OnUpdate();
    afx_msg void OnCloseButton();

    DECLARE_MESSAGE_MAP()

private:
    CxSkinButton m_ok;    // 1
    CGdipButton m_close;  // 8921
    CLabel m_caption;     // 8922
    CLabel m_version;     // 8923
    CGdipButton m_update; // 8920
    CGdipButton m_manual; // 8919
    HINSTANCE m_hResourceInstance = nullptr;
};
