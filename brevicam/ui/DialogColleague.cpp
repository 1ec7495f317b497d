#include "DialogColleague.h"

#include "brevicam/core/WndMediator.h"
#include "platform/window/WinUser.h"

namespace
{
/// The least height of a dragged dialog that stays inside the work area, and the size below which a
/// dialog is moved without that test.
constexpr int kKeepVisible = 35;
} // namespace

IMPLEMENT_DYNAMIC(CDialogColleague, CTransparentDialogBase)

BEGIN_MESSAGE_MAP(CDialogColleague, CTransparentDialogBase)
ON_WM_MOUSEMOVE()
END_MESSAGE_MAP()

CDialogColleague::CDialogColleague(UINT templateId)
    : CTransparentDialogBase(0U), m_pMediator(GetWndMediator())
{
    m_nTemplateId = templateId;
    m_pMediator->Register(this);
}

CDialogColleague::CDialogColleague(UINT pngId, UINT templateId, CWnd* parent, void* unused, BOOL movable)
    : CTransparentDialogBase(pngId, templateId, parent, unused, movable), m_pMediator(GetWndMediator())
{
    m_pMediator->Register(this);
}

CDialogColleague::~CDialogColleague()
{
    // The mediator must never reach an object that is gone, even one whose window still exists here.
    if (m_pMediator)
        m_pMediator->Unregister(this);
}

LRESULT CDialogColleague::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    // A dialog opened again (the capture panel is closed and reopened) rejoins the group it left when its
    // window was destroyed.
    if ((message == WM_CREATE || message == WM_INITDIALOG) && m_pMediator)
        m_pMediator->Register(this);
    else if (message == WM_NCDESTROY && m_pMediator)
        m_pMediator->Unregister(this);
    return CTransparentDialogBase::WindowProc(message, wParam, lParam);
}

void CDialogColleague::OnMouseMove(UINT, CPoint point)
{
    if (!m_bDragging)
        return;
    if (IsWindowVisible())
    {
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        GetWindowPlacement(&placement);
        const RECT& normal = placement.rcNormalPosition;
        const int newTop = point.y - m_ptPress.y + normal.top;
        const int newBottom = point.y - m_ptPress.y + normal.bottom;
        if (normal.right - normal.left > kKeepVisible && newBottom - newTop > kKeepVisible)
        {
            RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
            SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
            bool follow = false;
            if (newBottom - work.top >= kKeepVisible)
                follow = work.bottom - newTop >= kKeepVisible || m_ptPress.y > point.y;
            else
                follow = m_ptPress.y < point.y;
            if (!follow)
            {
                m_ptPress = point;
                Default();
                return;
            }
        }
    }
    // After the move the pointer is at the press point of the moved dialog again, so the press point
    // stays.
    if (GetAsyncKeyState(VK_LBUTTON) < 0 && m_pMediator)
        m_pMediator->MoveAll(point.x - m_ptPress.x, point.y - m_ptPress.y);
}
