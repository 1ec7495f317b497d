#include "shared/faldra/SkinTreeCtrl.h"

#include "shared/exceptions/Exceptions.h"
#include "shared/faldra/SkinViewSupport.h"

#include <algorithm>
#include <new>

namespace faldra
{
BEGIN_MESSAGE_MAP(CSkinTreeCtrl, CTreeCtrl)
ON_WM_NCCALCSIZE()
ON_MESSAGE(TVM_INSERTITEMA, OnInsertItem)
ON_MESSAGE(TVM_DELETEITEM, OnDeleteItem)
ON_MESSAGE(TVM_ENSUREVISIBLE, OnEnsureVisible)
ON_NOTIFY_REFLECT(TVN_ITEMEXPANDEDA, OnItemExpanded)
ON_WM_MOUSEWHEEL()
ON_WM_VSCROLL()
ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CSkinTreeCtrl::CSkinTreeCtrl()
{
    m_scrollData = CreateScrollData(&m_barCount);
}

CSkinTreeCtrl::~CSkinTreeCtrl()
{
    delete[] m_scrollData;
}

tagScrollData* CSkinTreeCtrl::CreateScrollData(int* count)
{
    auto* data = new (std::nothrow) tagScrollData[2];
    if (!data)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate scroll data"));
    data[0].status = 0;
    data[1].status = 0;
    if (count)
        *count = 2;
    return data;
}

CSkinScrollbar& CSkinTreeCtrl::GetScrollBarCtl(int i) const
{
    if (i < 0 || i >= m_barCount || !m_scrollData)
        throw CInvalidArgumentException(THROW_SITE_MESSAGE("Invalid scrollbar id code"));
    return m_scrollData[i].bar;
}

DWORD CSkinTreeCtrl::GetDefaultSBStyle(int i) const
{
    if (i == 0)
        return 0x50000100; // WS_CHILD, WS_VISIBLE, SS_NOTIFY
    if (i == 1)
        return 0x50000101; // WS_CHILD, WS_VISIBLE, SS_NOTIFY, SBS_VERT
    return 0;
}

CRect CSkinTreeCtrl::CalcSBRect(const CRect& r, int thickness, int i)
{
    return view::BarRect(r, thickness, i);
}

void CSkinTreeCtrl::AdjustWindowRect(CRect&, int) {}

void CSkinTreeCtrl::UpdateScrollbarStatus()
{
    if (!GetSafeHwnd())
        throw CInvalidObjectException(THROW_SITE_MESSAGE("Tree control window not yet created"));
}

void CSkinTreeCtrl::InitControl(tagSCROLLSTARTINFO* const info)
{
    if (!GetSafeHwnd())
        throw CInvalidObjectException(THROW_SITE_MESSAGE("Tree control window not yet created"));
    if (!info)
        throw CNullPointerException(THROW_SITE_MESSAGE("No scrollbar start information"));
    const CRect rect = view::ControlRect(*this);
    m_controlRect = rect;
    for (int i = 0; i < m_barCount; ++i)
        view::InitBar(m_scrollData[i], *this, GetDefaultSBStyle(i), CalcSBRect(rect, info[i].thickness, i),
                      info[i]);
}

void CSkinTreeCtrl::OnNcCalcSize(BOOL, NCCALCSIZE_PARAMS*)
{
    view::DropStandardBars(*this);
    Default();
}

LRESULT CSkinTreeCtrl::OnInsertItem(WPARAM, LPARAM)
{
    const LRESULT result = Default();
    view::RepaintBar(m_scrollData[1].bar);
    return result;
}

LRESULT CSkinTreeCtrl::OnDeleteItem(WPARAM, LPARAM)
{
    const LRESULT result = Default();
    view::RepaintBar(m_scrollData[1].bar);
    return result;
}

LRESULT CSkinTreeCtrl::OnEnsureVisible(WPARAM, LPARAM)
{
    const LRESULT result = Default();
    view::RepaintBar(m_scrollData[1].bar);
    return result;
}

void CSkinTreeCtrl::OnItemExpanded(NMHDR*, LRESULT* result)
{
    view::RepaintBar(m_scrollData[1].bar);
    view::RepaintBar(m_scrollData[0].bar);
    *result = 0;
}

BOOL CSkinTreeCtrl::OnMouseWheel(UINT, short delta, CPoint)
{
    const int target = ::GetScrollPos(m_hWnd, SB_VERT) - delta / WHEEL_DELTA;
    SendMessage(WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(std::clamp(target, 0, 0xFFFF))));
    view::RepaintBar(m_scrollData[1].bar);
    return TRUE;
}

void CSkinTreeCtrl::OnVScroll(UINT code, UINT pos, CScrollBar*)
{
    // The tree follows the box while it is dragged, not only when it is let go.
    if (code == SB_THUMBTRACK && static_cast<int>(pos) != ::GetScrollPos(m_hWnd, SB_VERT))
    {
        SendMessage(WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(pos)));
        UpdateWindow();
        return;
    }
    Default();
}

BOOL CSkinTreeCtrl::OnEraseBkgnd(CDC*)
{
    view::RepaintBars(m_scrollData, m_barCount);
    return static_cast<BOOL>(Default());
}
} // namespace faldra
