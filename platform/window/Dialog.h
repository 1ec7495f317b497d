#pragma once

#include "platform/window/Wnd.h"

/// The class library's dialog: made from a dialog template resource (found through the class library's
/// resource search) or from a template in memory, run modally by DoModal with a loop of its own or made
/// modeless by Create. User-interface thread only.

class CDialog;

/// Moves data between a dialog's controls and its members (DoDataExchange).
class PLATFORM_API CDataExchange
{
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate) : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog)
    {
    }
    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
    /// The control `id` of the dialog; an exchange for a control the dialog lacks fails.
    HWND PrepareCtrl(int id);
    /// Ends a failed exchange: UpdateData returns FALSE.
    [[noreturn]] void Fail();
};

/// Attaches `control` to the dialog's control `id` (by subclassing) the first time data is exchanged.
PLATFORM_API void DDX_Control(CDataExchange* dx, int id, CWnd& control);
PLATFORM_API void DDX_Text(CDataExchange* dx, int id, CString& value);
PLATFORM_API void DDX_Text(CDataExchange* dx, int id, int& value);
PLATFORM_API void DDX_Check(CDataExchange* dx, int id, int& value);

class PLATFORM_API CDialog : public CWnd
{
    DECLARE_DYNAMIC(CDialog)
public:
    CDialog();
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    explicit CDialog(LPCTSTR templateName, CWnd* parent = nullptr);
    ~CDialog() override;

    /// Makes the dialog modeless from its template; FALSE when the template is missing or the dialog
    /// cannot be made.
    virtual BOOL Create(UINT templateId, CWnd* parent = nullptr);
    virtual BOOL Create(LPCTSTR templateName, CWnd* parent = nullptr);
    /// From a template in memory; `size` bounds the reading (0: unknown).
    virtual BOOL CreateIndirect(LPCDLGTEMPLATE dlgTemplate, CWnd* parent = nullptr, std::size_t size = 0);
    /// Uses a template in memory for a later DoModal.
    BOOL InitModalIndirect(LPCDLGTEMPLATE dlgTemplate, CWnd* parent = nullptr, std::size_t size = 0);
    /// Runs the dialog modally: its owner is disabled, the dialog's own loop runs until EndDialog, then the
    /// owner is enabled, the dialog destroyed (DestroyWindow) and EndDialog's result returned; -1 when the
    /// dialog cannot be made.
    virtual INT_PTR DoModal();
    void EndDialog(int result);

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    void NextDlgCtrl() const;
    void PrevDlgCtrl() const;
    void GotoDlgCtrl(CWnd* control);
    void SetDefID(UINT id);
    DWORD GetDefID() const;

    UINT m_nIDHelp = 0;
    LPCTSTR m_lpszTemplateName = nullptr;
    CWnd* m_pParentWnd = nullptr;

protected:
    virtual void DoDataExchange(CDataExchange* dx);
    /// The owner a modal run disables: the parent given, else the main window, else the active window.
    HWND PreModal();
    BOOL CreateFromTemplate(const BYTE* data, std::size_t size, HWND parent, HINSTANCE instance);

    const DLGTEMPLATE* m_lpDialogTemplate = nullptr;
    std::size_t m_dialogTemplateSize = 0;

    DECLARE_MESSAGE_MAP()
};

/// The dialog procedure of the class library's dialogs: WM_INITDIALOG goes to OnInitDialog.
PLATFORM_API INT_PTR CALLBACK AfxDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
