#include "brevicam/media/WaitableTask.h"

#include "brevicam/core/Params.h"
#include "brevicam/core/ResourceInstance.h"
#include "brevicam/core/SkinMessageBox.h"
#include "brevicam/media/PhotoResizeTask.h"

WndSubclassRegistry<CWaitableTask<CGIFWaitDialog>> g_GIFTaskRegistry;
WndSubclassRegistry<CWaitableTask<CPhotoResizeDialog>> g_PhotoResizeTaskRegistry;

namespace
{
constexpr int kWaitWidth = 484;
constexpr int kWaitHeight = 130;

IWaitableTask* CheckedTask(IWaitableTask* task)
{
    if (!task)
        throw CNullPointerException(THROW_SITE_MESSAGE("No IWaitableTask interface received"));
    return task;
}
} // namespace

CDefWaitDialog::CDefWaitDialog(IWaitableTask* task, CWnd* parent, UINT textId, UINT templateId)
    : CTransparentDialogBase(IDP_WAIT_BACKGROUND, templateId, parent, TRUE), m_pTask(CheckedTask(task))
{
    m_strText.LoadString(AppResourceInstance(), textId);
}

void CDefWaitDialog::DoDataExchange(CDataExchange* dx)
{
    CTransparentDialogBase::DoDataExchange(dx);
    DDX_Control(dx, IDC_WAIT_TEXT, m_label);
    DDX_Text(dx, IDC_WAIT_TEXT, m_strText);
}

CSize CDefWaitDialog::MeasureText()
{
    CClientDC dc(this);
    CFont* previous = dc.SelectObject(GetFont());
    const CSize size = dc.GetTextExtent(m_strText);
    dc.SelectObject(previous);
    return size;
}

BOOL CDefWaitDialog::OnInitDialog()
{
    SetWindowPos(nullptr, 0, 0, kWaitWidth, kWaitHeight, SWP_NOMOVE | SWP_NOZORDER);
    CTransparentDialogBase::OnInitDialog();
    m_pTask->Attach(m_hWnd);
    m_label.SetTransparent(TRUE);
    m_label.SetTextColor(RGB(0x33, 0x33, 0x03), 255);
    m_label.SetFontName("Arial");
    m_label.SetFontBold(TRUE);
    m_label.SetFontSize(9);
    if (!(GetExStyle() & WS_EX_LAYOUTRTL))
    {
        const CSize text = MeasureText();
        m_label.MoveWindow((kWaitWidth - text.cx) / 2, (kWaitHeight - text.cy) / 2, text.cx, text.cy);
    }
    return TRUE;
}

BEGIN_MESSAGE_MAP(CGIFWaitDialog, CDefWaitDialog)
ON_MESSAGE(WM_TASK_COMPLETE, OnTaskComplete)
END_MESSAGE_MAP()

CGIFWaitDialog::CGIFWaitDialog(IWaitableTask* task, CWnd* parent)
    : CDefWaitDialog(task, parent, IDS_GENERATING_GIF, IDD_WAIT_TASK)
{
}

void CGIFWaitDialog::DoDataExchange(CDataExchange* dx)
{
    CDefWaitDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_WAIT_ANIMATION, m_animation);
}

BOOL CGIFWaitDialog::OnInitDialog()
{
    CDefWaitDialog::OnInitDialog();
    if (GetExStyle() & WS_EX_LAYOUTRTL)
        return TRUE;
    CRect client;
    GetClientRect(&client);
    CRect animation;
    m_animation.GetWindowRect(&animation);
    ScreenToClient(&animation);
    const int top = (client.Height() - animation.Height()) / 2;
    m_animation.SetWindowPos(nullptr, animation.left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    const CSize text = MeasureText();
    const int x = std::max<int>((client.Width() - text.cx) / 2, animation.right + 10);
    m_label.MoveWindow(x, (client.Height() - text.cy) / 2, text.cx, text.cy);
    return TRUE;
}

LRESULT CGIFWaitDialog::OnTaskComplete(WPARAM wParam, LPARAM)
{
    if (static_cast<int>(wParam) == kTaskFolderRefused)
        SkinMessageBox(m_hWnd, "", CParams::GetAppTitle().Str().c_str(), MB_OK);
    return 0;
}

BEGIN_MESSAGE_MAP(CPhotoResizeDialog, CDefWaitDialog)
ON_MESSAGE(WM_TASK_COMPLETE, OnTaskComplete)
END_MESSAGE_MAP()

CPhotoResizeDialog::CPhotoResizeDialog(IWaitableTask* task, CWnd* parent)
    : CDefWaitDialog(task, parent, IDS_PLEASE_WAIT, IDD_WAIT_TASK)
{
}

void CPhotoResizeDialog::DoDataExchange(CDataExchange* dx)
{
    CDefWaitDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_WAIT_ANIMATION, m_animation);
}

BOOL CPhotoResizeDialog::OnInitDialog()
{
    CDefWaitDialog::OnInitDialog();
    m_animation.ShowWindow(SW_HIDE);
    return TRUE;
}

LRESULT CPhotoResizeDialog::OnTaskComplete(WPARAM wParam, LPARAM)
{
    if (auto* task = dynamic_cast<CPhotoResizeTask*>(m_pTask))
        task->m_nResult = static_cast<int>(static_cast<INT_PTR>(wParam));
    return 0;
}
