#include "brevicam/ui/FullscreenWnd.h"

#include "brevicam/core/Params.h"

BOOL ForwardFullScreenKey(const MSG* msg, HWND mainDialog)
{
    if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) ||
        (msg->wParam != VK_F11 && msg->wParam != VK_ESCAPE))
        return FALSE;
    // Posted: the main window may destroy the window that had the key before it is done with it.
    if (mainDialog && ::IsWindow(mainDialog))
        ::PostMessage(mainDialog, msg->message, msg->wParam, 0);
    return TRUE;
}

IMPLEMENT_DYNAMIC(FullscreenWnd, CDialog)

BEGIN_MESSAGE_MAP(FullscreenWnd, CDialog)
END_MESSAGE_MAP()

FullscreenWnd::FullscreenWnd() = default;

FullscreenWnd::~FullscreenWnd()
{
    if (m_hWnd && ::IsWindow(m_hWnd))
        DestroyWindow();
}

BOOL FullscreenWnd::PreTranslateMessage(MSG* msg)
{
    // Detached from its parent, the host keeps the main dialog as its owner.
    HWND main = ::GetParent(m_hWnd);
    if (!main)
        main = ::GetWindow(m_hWnd, GW_OWNER);
    if (ForwardFullScreenKey(msg, main))
        return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

BOOL FullscreenWnd::OnInitDialog()
{
    CDialog::OnInitDialog();
    // A taskbar button of its own while the main window is hidden.
    ModifyStyleEx(0, WS_EX_APPWINDOW);
    SetWindowText(CParams::GetAppTitle());
    return TRUE;
}
