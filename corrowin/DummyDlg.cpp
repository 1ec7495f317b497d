#include "corrowin/DummyDlg.h"

#include "Controls/KitResources.h"

BEGIN_MESSAGE_MAP(CDummyDlg, CDialog)
ON_WM_CLOSE()
END_MESSAGE_MAP()

CDummyDlg::CDummyDlg(const CString& title, CWnd* parent)
    : m_title(title), m_hLogicalParent(parent ? parent->GetSafeHwnd() : nullptr)
{
}

BOOL CDummyDlg::CreatePlaceholder()
{
    std::size_t size = 0;
    const DLGTEMPLATE* own = FindKitDialogTemplate(IDD, size);
    return own ? CreateIndirect(own, nullptr, size) : Create(IDD, nullptr);
}

BOOL CDummyDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetWindowPos(m_hLogicalParent ? CWnd::FromHandle(m_hLogicalParent) : nullptr, -1000, -1000, 0, 0,
                 SWP_NOSIZE | SWP_NOACTIVATE | (m_hLogicalParent ? 0 : SWP_NOZORDER));
    SetWindowText(m_title);
    return TRUE;
}

void CDummyDlg::OnClose()
{
    if (m_hLogicalParent && ::IsWindow(m_hLogicalParent))
        ::PostMessage(m_hLogicalParent, WM_CLOSE, 0, 0);
    DestroyWindow();
}

void CDummyDlg::OnCancel()
{
    DestroyWindow();
}

void CDummyDlg::PostNcDestroy()
{
    CDialog::PostNcDestroy();
    delete this;
}
