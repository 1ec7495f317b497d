#include "brevicam/explorer/ShellList.h"
#include "platform/menu/Menu.h"

// Placeholder bodies: drag and drop, context menu and tooltips.

CShellListCtrl::CDropTarget::CDropTarget(CShellListCtrl* list) : m_pList(list) {}
CShellListCtrl::CDropTarget::~CDropTarget() = default;
DROPEFFECT CShellListCtrl::CDropTarget::OnDragEnter(CWnd*, COleDataObject* data, DWORD, CPoint)
{
    return EffectFor(data);
}
DROPEFFECT CShellListCtrl::CDropTarget::OnDragOver(CWnd*, COleDataObject* data, DWORD, CPoint)
{
    return EffectFor(data);
}
BOOL CShellListCtrl::CDropTarget::OnDrop(CWnd*, COleDataObject* data, DROPEFFECT, CPoint)
{
    return DropFiles(data);
}
void CShellListCtrl::CDropTarget::OnDragLeave(CWnd*) {}
BOOL CShellListCtrl::CDropTarget::DropFiles(COleDataObject*)
{
    return FALSE;
}
DROPEFFECT CShellListCtrl::CDropTarget::EffectFor(COleDataObject*)
{
    return DROPEFFECT_NONE;
}

void CShellListCtrl::EnableContextMenu(int enable)
{
    m_bContextMenuEnabled = enable;
}
void CShellListCtrl::PreSubclassWindow()
{
    faldra::CSkinListCtrl::PreSubclassWindow();
}
INT_PTR CShellListCtrl::OnToolHitTest(CPoint, TOOLINFO*) const
{
    return -1;
}
void CShellListCtrl::OnBeginDrag(NMHDR*, LRESULT* result)
{
    *result = 0;
}
void CShellListCtrl::OnBeginRDrag(NMHDR*, LRESULT* result)
{
    *result = 0;
}
void CShellListCtrl::OnContextMenu(CWnd*, CPoint) {}
void CShellListCtrl::OnMeasureItem(int controlId, MEASUREITEMSTRUCT* measure)
{
    faldra::CSkinListCtrl::OnMeasureItem(controlId, measure);
}
void CShellListCtrl::OnDrawItem(int controlId, DRAWITEMSTRUCT* draw)
{
    faldra::CSkinListCtrl::OnDrawItem(controlId, draw);
}
LRESULT CShellListCtrl::OnMenuChar(UINT, UINT, CMenu*)
{
    return 0;
}
void CShellListCtrl::OnInitMenuPopup(CMenu*, UINT, BOOL) {}
BOOL CShellListCtrl::OnNeedToolTipText(UINT, NMHDR*, LRESULT* result)
{
    *result = 0;
    return FALSE;
}
