#include "brevicam/media/WaitDialogWindow.h"

#include "brevicam/core/ResourceInstance.h"
#include "brevicam/media/WaitThread.h"
#include "platform/commctrl/Progress.h"
#include "platform/window/CommCtrl.h"
#include "resources/brevicam/resource.h"

namespace
{
constexpr int kWaitWidth = 484;
constexpr int kWaitHeight = 130;
constexpr UINT_PTR kCloseTimer = 1;
constexpr UINT kCloseTimerMs = 500;
// Placed over the wait skin (as large as the window): the text above the bar, both centred.
constexpr int kTextTop = 36;
constexpr int kTextHeight = 20;
constexpr int kBarWidth = 249;
constexpr int kBarHeight = 17;
constexpr int kBarTop = 72;
} // namespace

BEGIN_MESSAGE_MAP(CWaitDialogWindow, CTransparentDialogBase)
ON_WM_TIMER()
ON_WM_DESTROY()
ON_MESSAGE(WM_HELP, OnHelp)
ON_MESSAGE(WM_WAIT_PROGRESS, OnWaitProgress)
ON_MESSAGE(WM_WAIT_MOVE, OnWaitMove)
END_MESSAGE_MAP()

CWaitDialogWindow::CWaitDialogWindow(std::shared_ptr<CWaitThread> thread, CWnd* parent, int textId,
                                     const CString& text)
    : CTransparentDialogBase(IDP_WAIT_BACKGROUND), m_pThread(std::move(thread)), m_nTextId(textId),
      m_strText(text), m_hResource(AppResourceInstance()), m_pLogicalParent(parent)
{
    m_nTemplateId = IDD_WAIT_PROGRESS;
    // The template's bar is a progress control, whose class must exist before the window does.
    InitProgressClass();
    if (m_nTextId != -1)
        m_strText.LoadString(m_hResource, static_cast<UINT>(m_nTextId));
}

void CWaitDialogWindow::DoDataExchange(CDataExchange* dx)
{
    CTransparentDialogBase::DoDataExchange(dx);
    DDX_Control(dx, IDC_WAIT_TEXT, m_label);
    DDX_Control(dx, IDC_WAIT_PROGRESS, m_progress);
}

BOOL CWaitDialogWindow::OnInitDialog()
{
    SetWindowPos(nullptr, 0, 0, kWaitWidth, kWaitHeight, SWP_NOMOVE | SWP_NOZORDER);
    CTransparentDialogBase::OnInitDialog();
    // Without a parent the window belongs to no other: it must not go with whichever window happened to
    // be active when it was made (the base would have that one own it).
    if (!m_pLogicalParent && m_hLayered)
        ::SetWindowLongPtr(m_hLayered, GWLP_HWNDPARENT, 0);

    CRect client;
    GetClientRect(&client);
    m_label.MoveWindow(16, kTextTop, client.Width() - 32, kTextHeight);
    m_label.SetTransparent(TRUE);
    m_label.SetTextColor(RGB(0x33, 0x33, 0x33), 255);
    m_label.SetFontBold(TRUE);
    m_label.SetFontSize(9);
    m_label.SetFontName("Arial");
    m_label.SetText(m_strText);

    m_progress.ModifyStyleEx(WS_EX_CLIENTEDGE | WS_EX_STATICEDGE, 0, SWP_FRAMECHANGED);
    m_progress.SetWindowPos(nullptr, (client.Width() - kBarWidth) / 2, kBarTop, kBarWidth, kBarHeight,
                            SWP_NOZORDER | SWP_FRAMECHANGED);
    m_progress.SetBitmap(IDB_WAIT_PROGRESS_BAR, IDB_WAIT_PROGRESS_TROUGH, FALSE);
    m_progress.SendMessage(PBM_SETBKCOLOR, 0, 0);
    m_progress.SetRange(0, 100);
    m_progress.SetStep(1);

    CenterWindow(m_pLogicalParent);
    ShowWindow(SW_SHOW);
    if (m_hLayered)
        ::ShowWindow(m_hLayered, SW_SHOWNOACTIVATE);
    if (m_pLogicalParent && m_pLogicalParent->IsWindowEnabled())
    {
        m_pLogicalParent->EnableWindow(FALSE);
        m_bParentDisabled = true;
    }
    SetTimer(kCloseTimer, kCloseTimerMs, nullptr);
    m_pThread->WindowCreated(m_hWnd);
    m_bAutoDelete = true;
    return TRUE;
}

void CWaitDialogWindow::OnTimer(UINT_PTR id)
{
    if (id != kCloseTimer)
        return;
    if (m_pThread->GetCloseEvent().Lock(0))
        DestroyWindow();
}

LRESULT CWaitDialogWindow::OnHelp(WPARAM, LPARAM)
{
    return TRUE;
}

LRESULT CWaitDialogWindow::OnWaitProgress(WPARAM wParam, LPARAM)
{
    m_progress.SetPos(static_cast<int>(wParam));
    m_progress.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    return 0;
}

LRESULT CWaitDialogWindow::OnWaitMove(WPARAM wParam, LPARAM lParam)
{
    CRect rect;
    GetWindowRect(&rect);
    rect.OffsetRect(static_cast<int>(wParam), static_cast<int>(lParam));
    MoveWindow(rect);
    return 0;
}

void CWaitDialogWindow::OnDestroy()
{
    KillTimer(kCloseTimer);
    if (m_bParentDisabled && m_pLogicalParent && ::IsWindow(m_pLogicalParent->GetSafeHwnd()))
        m_pLogicalParent->EnableWindow(TRUE);
    m_bParentDisabled = false;
    m_pThread->WindowDestroyed();
    CTransparentDialogBase::OnDestroy();
}

void CWaitDialogWindow::PostNcDestroy()
{
    CTransparentDialogBase::PostNcDestroy();
    // A window that never got as far as its initialisation is deleted by whoever tried to create it.
    if (m_bAutoDelete)
        delete this;
}
