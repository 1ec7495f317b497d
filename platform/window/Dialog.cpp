// The class library's dialogs.

#include "platform/window/Dialog.h"

#include "platform/resources/Resources.h"
#include "platform/window/Dialogs.h"
#include "platform/window/Extras.h"
#include "platform/window/WinApp.h"

#include <cstdio>
#include <cstdlib>

namespace
{
struct DataExchangeFailure
{
};

/// Attaches the dialog object to the dialog window the next CreateWindowEx of this thread makes.
class DialogHook
{
public:
    explicit DialogHook(CDialog* dialog)
    {
        platform::window::SetCreateHook(
            [dialog](HWND hwnd)
            {
                dialog->Attach(hwnd);
                dialog->PreSubclassWindow();
                auto old = reinterpret_cast<WNDPROC>(
                    ::SetWindowLongPtr(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AfxWndProc)));
                if (old != AfxWndProc)
                    dialog->m_pfnSuper = old;
            });
    }
    ~DialogHook() { platform::window::SetCreateHook(nullptr); }
    DialogHook(const DialogHook&) = delete;
    DialogHook& operator=(const DialogHook&) = delete;
};
} // namespace

HWND CDataExchange::PrepareCtrl(int id)
{
    HWND control = m_pDlgWnd ? ::GetDlgItem(m_pDlgWnd->m_hWnd, id) : nullptr;
    if (!control)
    {
        std::fprintf(stderr, "brevicam: the dialog has no control %d to exchange data with\n", id);
        Fail();
    }
    return control;
}

void CDataExchange::Fail()
{
    throw DataExchangeFailure{};
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control)
{
    if (control.m_hWnd)
        return;
    if (!control.SubclassWindow(dx->PrepareCtrl(id)))
        dx->Fail();
}

void DDX_Text(CDataExchange* dx, int id, CString& value)
{
    HWND control = dx->PrepareCtrl(id);
    if (dx->m_bSaveAndValidate)
    {
        const int length = ::GetWindowTextLength(control);
        char* buffer = value.GetBuffer(length);
        ::GetWindowText(control, buffer, length + 1);
        value.ReleaseBuffer();
    }
    else
        ::SetWindowText(control, value);
}

void DDX_Text(CDataExchange* dx, int id, int& value)
{
    HWND control = dx->PrepareCtrl(id);
    if (dx->m_bSaveAndValidate)
    {
        char buffer[64];
        ::GetWindowText(control, buffer, sizeof buffer);
        char* end = nullptr;
        const long v = std::strtol(buffer, &end, 10);
        if (end == buffer || *end != '\0')
            dx->Fail();
        value = static_cast<int>(v);
    }
    else
        ::SetWindowText(control, std::to_string(value).c_str());
}

void DDX_Check(CDataExchange* dx, int id, int& value)
{
    HWND control = dx->PrepareCtrl(id);
    if (dx->m_bSaveAndValidate)
        value = static_cast<int>(::SendMessage(control, BM_GETCHECK, 0, 0));
    else
        ::SendMessage(control, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

INT_PTR CALLBACK AfxDlgProc(HWND hwnd, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG)
    {
        CDialog* dialog = DYNAMIC_DOWNCAST(CDialog, CWnd::FromHandlePermanent(hwnd));
        return dialog ? dialog->OnInitDialog() : TRUE;
    }
    return FALSE;
}

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog() = default;

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_nIDHelp(templateId), m_lpszTemplateName(MAKEINTRESOURCE(templateId)), m_pParentWnd(parent)
{
}

CDialog::CDialog(LPCTSTR templateName, CWnd* parent) : m_lpszTemplateName(templateName), m_pParentWnd(parent)
{
    if (IS_INTRESOURCE(templateName))
        m_nIDHelp = static_cast<UINT>(reinterpret_cast<std::uintptr_t>(templateName));
}

CDialog::~CDialog()
{
    if (m_hWnd && ::IsWindow(m_hWnd))
        CDialog::DestroyWindow();
}

BOOL CDialog::CreateFromTemplate(const BYTE* data, std::size_t size, HWND parent, HINSTANCE instance)
{
    const auto parsed = platform::window::ParseDialogTemplate(data, size ? size : (std::size_t{1} << 24));
    if (!parsed.valid)
        return FALSE;
    HWND dialog;
    {
        DialogHook hook(this);
        dialog = platform::window::CreateDialogFromTemplate(instance, parsed, parent, AfxDlgProc, 0, nullptr);
    }
    if (!dialog)
    {
        if (m_hWnd && !::IsWindow(m_hWnd))
            Detach();
        return FALSE;
    }
    return TRUE;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent)
{
    return Create(MAKEINTRESOURCE(templateId), parent);
}

BOOL CDialog::Create(LPCTSTR templateName, CWnd* parent)
{
    m_lpszTemplateName = templateName;
    if (IS_INTRESOURCE(templateName) && !m_nIDHelp)
        m_nIDHelp = static_cast<UINT>(reinterpret_cast<std::uintptr_t>(templateName));
    m_pParentWnd = parent;
    HINSTANCE instance = AfxFindResourceHandle(templateName, RT_DIALOG);
    HRSRC resource = FindResourceA(instance, templateName, RT_DIALOG);
    if (!resource)
        return FALSE;
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(instance, resource)));
    if (!data)
        return FALSE;
    return CreateFromTemplate(data, SizeofResource(instance, resource), parent ? parent->m_hWnd : nullptr,
                              instance);
}

BOOL CDialog::CreateIndirect(LPCDLGTEMPLATE dlgTemplate, CWnd* parent, std::size_t size)
{
    m_pParentWnd = parent;
    return CreateFromTemplate(reinterpret_cast<const BYTE*>(dlgTemplate), size,
                              parent ? parent->m_hWnd : nullptr, AfxGetInstanceHandle());
}

BOOL CDialog::InitModalIndirect(LPCDLGTEMPLATE dlgTemplate, CWnd* parent, std::size_t size)
{
    m_lpDialogTemplate = dlgTemplate;
    m_dialogTemplateSize = size;
    m_pParentWnd = parent;
    return dlgTemplate != nullptr;
}

HWND CDialog::PreModal()
{
    HWND parent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    if (!parent)
        if (CWinApp* app = AfxGetApp(); app && app->m_pMainWnd)
            parent = app->m_pMainWnd->m_hWnd;
    if (!parent)
        parent = ::GetActiveWindow();
    return parent ? ::GetAncestor(parent, GA_ROOT) : nullptr;
}

INT_PTR CDialog::DoModal()
{
    const BYTE* data = reinterpret_cast<const BYTE*>(m_lpDialogTemplate);
    std::size_t size = m_dialogTemplateSize;
    HINSTANCE instance = AfxGetInstanceHandle();
    if (!data && m_lpszTemplateName)
    {
        instance = AfxFindResourceHandle(m_lpszTemplateName, RT_DIALOG);
        HRSRC resource = FindResourceA(instance, m_lpszTemplateName, RT_DIALOG);
        if (resource)
        {
            data = static_cast<const BYTE*>(LockResource(LoadResource(instance, resource)));
            size = SizeofResource(instance, resource);
        }
    }
    if (!data)
        return -1;
    HWND owner = PreModal();
    bool enableOwner = false;
    if (owner && owner != ::GetDesktopWindow() && ::IsWindowEnabled(owner))
    {
        ::EnableWindow(owner, FALSE);
        enableOwner = true;
    }
    m_nModalResult = -1;
    m_nFlags |= WF_CONTINUEMODAL;
    if (CreateFromTemplate(data, size, owner, instance) && (m_nFlags & WF_CONTINUEMODAL))
    {
        DWORD flags = MLF_SHOWONIDLE;
        if (GetStyle() & DS_NOIDLEMSG)
            flags |= MLF_NOIDLEMSG;
        RunModalLoop(flags);
    }
    m_nFlags &= ~(WF_MODALLOOP | WF_CONTINUEMODAL);
    // Hidden before the owner comes back, so that the owner is the window that gets activated.
    if (m_hWnd)
        SetWindowPos(nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    if (enableOwner && ::IsWindow(owner))
        ::EnableWindow(owner, TRUE);
    if (owner && ::GetActiveWindow() == m_hWnd)
        ::SetActiveWindow(owner);
    DestroyWindow();
    return m_nModalResult;
}

void CDialog::EndDialog(int result)
{
    if (m_nFlags & (WF_MODALLOOP | WF_CONTINUEMODAL))
        EndModalLoop(result);
    else
        m_nModalResult = result;
    if (m_hWnd)
        ::EndDialog(m_hWnd, result);
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialog::PreTranslateMessage(MSG* msg)
{
    if (!m_hWnd || msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST)
        return FALSE;
    return ::IsDialogMessage(m_hWnd, msg);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    try
    {
        DoDataExchange(&dx);
    }
    catch (const DataExchangeFailure&)
    {
        return FALSE;
    }
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::NextDlgCtrl() const
{
    ::SendMessage(m_hWnd, WM_NEXTDLGCTL, 0, 0);
}

void CDialog::PrevDlgCtrl() const
{
    ::SendMessage(m_hWnd, WM_NEXTDLGCTL, 1, 0);
}

void CDialog::GotoDlgCtrl(CWnd* control)
{
    if (control)
        ::SendMessage(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control->m_hWnd), 1);
}

void CDialog::SetDefID(UINT id)
{
    ::SendMessage(m_hWnd, DM_SETDEFID, id, 0);
}

DWORD CDialog::GetDefID() const
{
    return static_cast<DWORD>(::SendMessage(m_hWnd, DM_GETDEFID, 0, 0));
}
