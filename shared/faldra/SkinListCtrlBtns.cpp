#include "shared/faldra/SkinListCtrlBtns.h"

#include "shared/exceptions/Exceptions.h"
#include "shared/faldra/SkinViewSupport.h"

#include <algorithm>
#include <new>

namespace faldra
{
BEGIN_MESSAGE_MAP(CSkinListCtrlBtns, CListCtrl)
ON_WM_NCCALCSIZE()
ON_MESSAGE(LVM_INSERTITEMA, OnInsertItem)
ON_MESSAGE(LVM_DELETEITEM, OnDeleteItem)
ON_MESSAGE(LVM_DELETEALLITEMS, OnDeleteAllItems)
ON_MESSAGE(LVM_ENSUREVISIBLE, OnEnsureVisible)
ON_MESSAGE(WM_SETREDRAW, OnSetRedraw)
ON_NOTIFY_REFLECT(NM_CUSTOMDRAW, OnNMCustomdraw)
ON_WM_VSCROLL()
ON_WM_HSCROLL()
ON_WM_MOUSEWHEEL()
ON_WM_ERASEBKGND()
ON_WM_MOUSEMOVE()
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONUP()
ON_WM_MOUSELEAVE()
END_MESSAGE_MAP()

CSkinListCtrlBtns::CSkinListCtrlBtns()
{
    m_scrollData = CreateScrollData(&m_barCount);
}

CSkinListCtrlBtns::~CSkinListCtrlBtns()
{
    delete[] m_scrollData;
}

tagScrollData* CSkinListCtrlBtns::CreateScrollData(int* count)
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

CSkinScrollbar& CSkinListCtrlBtns::GetScrollBarCtl(int i) const
{
    if (i < 0 || i >= m_barCount || !m_scrollData)
        throw CInvalidArgumentException(THROW_SITE_MESSAGE("Invalid scrollbar id code"));
    return m_scrollData[i].bar;
}

DWORD CSkinListCtrlBtns::GetDefaultSBStyle(int i) const
{
    if (i == 0)
        return 0x50000000; // WS_CHILD, WS_VISIBLE
    if (i == 1)
        return 0x50000101; // WS_CHILD, WS_VISIBLE, SS_NOTIFY, SBS_VERT
    return 0;
}

CRect CSkinListCtrlBtns::CalcSBRect(const CRect& r, int thickness, int i)
{
    return view::BarRect(r, thickness, i);
}

void CSkinListCtrlBtns::AdjustWindowRect(CRect&, int) {}

void CSkinListCtrlBtns::InitControl(tagSCROLLSTARTINFO* const info)
{
    if (!GetSafeHwnd())
        throw CInvalidObjectException(THROW_SITE_MESSAGE("List control window not yet created"));
    if (!info)
        throw CNullPointerException(THROW_SITE_MESSAGE("No scrollbar start information"));
    m_redrawOff = 0;
    const CRect rect = view::ControlRect(*this);
    m_controlRect = rect;
    for (int i = 0; i < m_barCount; ++i)
        view::InitBar(m_scrollData[i], *this, GetDefaultSBStyle(i), CalcSBRect(rect, info[i].thickness, i),
                      info[i]);
}

BOOL CSkinListCtrlBtns::ShowScrollBar(int i, int cmd)
{
    if (i < 0 || i >= m_barCount)
        throw CInvalidArgumentException(THROW_SITE_MESSAGE("Invalid scrollbar id code"));
    return view::ShowBar(m_scrollData[i].bar, cmd);
}

void CSkinListCtrlBtns::SetHighlightColor(COLORREF color)
{
    m_highlight = color;
    m_highlightSet = true;
}

bool CSkinListCtrlBtns::HasState(int item) const
{
    return item >= 0 && static_cast<size_t>(item) < m_states.size();
}

void CSkinListCtrlBtns::SetItemEnabled(int item, bool enable)
{
    if (HasState(item))
        m_states[static_cast<size_t>(item)] = enable ? IS_NORMAL : IS_DISABLED;
}

bool CSkinListCtrlBtns::GetItemEnabled(int item) const
{
    return HasState(item) && m_states[static_cast<size_t>(item)] != IS_DISABLED;
}

void CSkinListCtrlBtns::ClearStates()
{
    for (int& state : m_states)
        if (state != IS_DISABLED)
            state = IS_NORMAL;
}

void CSkinListCtrlBtns::SetTextBackgroundColor(COLORREF color)
{
    m_textBackground = color;
    m_textBackgroundSet = true;
}

void CSkinListCtrlBtns::SetTextHighlightColor(COLORREF color)
{
    m_textHighlight = color;
    m_textHighlightSet = true;
}

void CSkinListCtrlBtns::InvalidateItem(int item)
{
    CRect bounds;
    if (GetItemRect(item, &bounds, LVIR_BOUNDS))
        InvalidateRect(&bounds, FALSE);
}

void CSkinListCtrlBtns::RepaintVisibleBars()
{
    for (int i : {1, 0})
        if (view::BarVisible(m_scrollData[i].bar))
            view::RepaintBar(m_scrollData[i].bar);
}

void CSkinListCtrlBtns::OnNcCalcSize(BOOL, NCCALCSIZE_PARAMS*)
{
    view::DropStandardBars(*this);
    Default();
}

LRESULT CSkinListCtrlBtns::OnInsertItem(WPARAM, LPARAM)
{
    const LRESULT index = Default();
    if (m_redrawOff == 0)
        RepaintVisibleBars();
    // The state goes where the list put the item (a sorted list may choose another place than asked); a
    // failed insertion adds none.
    if (index >= 0 && static_cast<size_t>(index) <= m_states.size())
        m_states.insert(m_states.begin() + index, IS_NORMAL);
    return index;
}

LRESULT CSkinListCtrlBtns::OnDeleteItem(WPARAM wParam, LPARAM)
{
    const LRESULT result = Default();
    view::ResetVerticalWhenAllFit(*this);
    if (m_redrawOff != 0)
        view::RepaintBar(m_scrollData[1].bar);
    const auto item = static_cast<INT_PTR>(wParam);
    if (result && item >= 0 && static_cast<size_t>(item) < m_states.size())
        m_states.erase(m_states.begin() + item);
    return result;
}

LRESULT CSkinListCtrlBtns::OnDeleteAllItems(WPARAM, LPARAM)
{
    const LRESULT result = Default();
    view::ResetBars(*this, m_scrollData, m_barCount, m_redrawOff != 0);
    m_states.clear();
    return result;
}

LRESULT CSkinListCtrlBtns::OnEnsureVisible(WPARAM, LPARAM)
{
    const LRESULT result = Default();
    if (m_redrawOff != 0)
        RepaintVisibleBars();
    return result;
}

LRESULT CSkinListCtrlBtns::OnSetRedraw(WPARAM wParam, LPARAM)
{
    Default();
    view::CountRedraw(m_redrawOff, wParam);
    return 0;
}

void CSkinListCtrlBtns::OnVScroll(UINT code, UINT, CScrollBar*)
{
    if ((code == SB_THUMBTRACK || code == SB_THUMBPOSITION) &&
        view::ScrollListTo(*this, true,
                           IsInternalMessage() ? m_internalTarget : m_scrollData[1].bar.GetDynamicPosition()))
        return;
    Default();
}

void CSkinListCtrlBtns::OnHScroll(UINT code, UINT, CScrollBar*)
{
    if ((code == SB_THUMBTRACK || code == SB_THUMBPOSITION) &&
        view::ScrollListTo(*this, false,
                           IsInternalMessage() ? m_internalTarget : m_scrollData[0].bar.GetDynamicPosition()))
        return;
    Default();
}

BOOL CSkinListCtrlBtns::OnMouseWheel(UINT, short delta, CPoint)
{
    const int bar = view::ListWheel(*this, m_scrollData[0].bar, m_scrollData[1].bar, delta, m_internalScroll,
                                    m_internalTarget);
    if (bar >= 0 && m_redrawOff == 0)
        view::RepaintBar(m_scrollData[bar].bar);
    return TRUE;
}

BOOL CSkinListCtrlBtns::OnEraseBkgnd(CDC*)
{
    if (m_redrawOff == 0)
        view::RepaintBars(m_scrollData, m_barCount);
    return static_cast<BOOL>(Default());
}

void CSkinListCtrlBtns::OnMouseMove(UINT flags, CPoint point)
{
    if (!m_tracking)
    {
        TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_HOVER | TME_LEAVE, m_hWnd, 1};
        m_tracking = ::TrackMouseEvent(&track);
    }
    const int hit = HitTest(point);
    for (int i = 0; i < static_cast<int>(m_states.size()); ++i)
    {
        int& state = m_states[static_cast<size_t>(i)];
        if (i != hit && (state == IS_HOVER || state == IS_PRESSED))
        {
            state = IS_NORMAL;
            InvalidateItem(i);
        }
    }
    if (HasState(hit))
    {
        int& state = m_states[static_cast<size_t>(hit)];
        if (state != IS_HOVER && state != IS_DISABLED)
        {
            state = flags ? IS_PRESSED : IS_HOVER;
            InvalidateItem(hit);
        }
    }
    Default();
}

void CSkinListCtrlBtns::OnLButtonDown(UINT, CPoint point)
{
    const int hit = HitTest(point);
    if (HasState(hit) && m_states[static_cast<size_t>(hit)] != IS_DISABLED)
    {
        m_states[static_cast<size_t>(hit)] = IS_PRESSED;
        InvalidateItem(hit);
    }
    Default();
}

void CSkinListCtrlBtns::OnLButtonUp(UINT, CPoint point)
{
    const bool overItem = HitTest(point) >= 0;
    for (int i = 0; i < static_cast<int>(m_states.size()); ++i)
        if (m_states[static_cast<size_t>(i)] == IS_PRESSED)
        {
            m_states[static_cast<size_t>(i)] = overItem ? IS_HOVER : IS_NORMAL;
            InvalidateItem(i);
        }
    Default();
}

void CSkinListCtrlBtns::OnMouseLeave()
{
    ClearStates();
    m_tracking = FALSE;
    Invalidate(TRUE);
}

void CSkinListCtrlBtns::OnNMCustomdraw(NMHDR* header, LRESULT* result)
{
    auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
    *result = CDRF_DODEFAULT;
    if (draw->nmcd.dwDrawStage == CDDS_PREPAINT)
    {
        *result = CDRF_NOTIFYITEMDRAW;
        return;
    }
    if (draw->nmcd.dwDrawStage != CDDS_ITEMPREPAINT)
        return;
    const int item = static_cast<int>(draw->nmcd.dwItemSpec);
    LVITEM info{};
    info.mask = LVIF_IMAGE;
    info.iItem = item;
    // An item the list cannot describe, or one without a state, is left to the list's own drawing: nothing
    // may leave the window procedure.
    if (!GetItem(&info) || !HasState(item))
        return;
    const int state = m_states[static_cast<size_t>(item)];
    HIMAGELIST images = nullptr;
    if (state == IS_HOVER)
        images = reinterpret_cast<HIMAGELIST>(SendMessage(LVM_GETIMAGELIST, LVSIL_SMALL));
    else if (state == IS_PRESSED)
        images = reinterpret_cast<HIMAGELIST>(SendMessage(LVM_GETIMAGELIST, LVSIL_STATE));
    if (!images)
        images = reinterpret_cast<HIMAGELIST>(SendMessage(LVM_GETIMAGELIST, LVSIL_NORMAL));
    if (!images)
        return;
    CRect icon;
    GetItemRect(item, &icon, LVIR_ICON);
    int width = 0;
    int height = 0;
    ImageList_GetIconSize(images, &width, &height);
    const int x = icon.left + std::max(0, icon.Width() - width) / 2;
    const int y = icon.top + std::max(0, icon.Height() - height) / 2;
    HDC dc = draw->nmcd.hdc;
    ImageList_DrawEx(images, info.iImage, dc, x, y, width, height, CLR_NONE, CLR_NONE, ILD_NORMAL);

    const CString text = GetItemText(item, 0);
    CRect label;
    GetItemRect(item, &label, LVIR_LABEL);
    if (label.Height() > 15)
        label.bottom = label.top + 15;
    label.left -= 7;
    label.right += 10;
    if (text.Find('\n') >= 0)
        label.bottom += 10;
    const UINT itemState = GetItemState(item, LVIS_FOCUSED | LVIS_SELECTED);
    const bool focus = ::GetFocus() == m_hWnd;
    if (!m_highlightSet)
        m_highlight = ::GetSysColor(focus ? COLOR_HIGHLIGHT : COLOR_BTNFACE);
    const COLORREF selectedText =
        m_textHighlightSet ? m_textHighlight : ::GetSysColor(focus ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
    const int saved = ::SaveDC(dc);
    ::SetBkMode(dc, TRANSPARENT);
    if (itemState & LVIS_SELECTED)
    {
        if (focus || (GetStyle() & LVS_SHOWSELALWAYS))
        {
            if (!text.IsEmpty())
            {
                HBRUSH brush = ::CreateSolidBrush(m_highlight);
                ::FillRect(dc, &label, brush);
                ::DeleteObject(brush);
            }
            HPEN pen = ::CreatePen(PS_SOLID, 3, m_highlight);
            HGDIOBJ oldPen = ::SelectObject(dc, pen);
            const POINT frame[5] = {{x + 1, y + 1},
                                    {x + width - 2, y + 1},
                                    {x + width - 2, y + height - 2},
                                    {x + 1, y + height - 2},
                                    {x + 1, y + 1}};
            ::Polyline(dc, frame, 5);
            ::SelectObject(dc, oldPen);
            ::DeleteObject(pen);
            if (!text.IsEmpty())
                ::SetTextColor(dc, selectedText);
        }
    }
    else if (!text.IsEmpty())
    {
        HBRUSH brush = ::CreateSolidBrush(m_textBackgroundSet ? m_textBackground : RGB(255, 255, 255));
        ::FillRect(dc, &label, brush);
        ::DeleteObject(brush);
    }
    if (!text.IsEmpty())
        ::DrawText(dc, text, text.GetLength(), &label, DT_CENTER | DT_WORDBREAK);
    ::RestoreDC(dc, saved);
    *result = CDRF_SKIPDEFAULT;
}
} // namespace faldra
