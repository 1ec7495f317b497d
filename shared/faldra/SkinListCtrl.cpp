#include "shared/faldra/SkinListCtrl.h"

#include "shared/exceptions/Exceptions.h"
#include "shared/faldra/SkinViewSupport.h"

#include <algorithm>
#include <new>

namespace faldra
{
BEGIN_MESSAGE_MAP(CSkinListCtrl, CListCtrl)
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
END_MESSAGE_MAP()

CSkinListCtrl::CSkinListCtrl()
{
    m_scrollData = CreateScrollData(&m_barCount);
}

CSkinListCtrl::~CSkinListCtrl()
{
    delete[] m_scrollData;
}

tagScrollData* CSkinListCtrl::CreateScrollData(int* count)
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

CSkinScrollbar& CSkinListCtrl::GetScrollBarCtl(int i) const
{
    if (i < 0 || i >= m_barCount || !m_scrollData)
        throw CInvalidArgumentException(THROW_SITE_MESSAGE("Invalid scrollbar id code"));
    return m_scrollData[i].bar;
}

DWORD CSkinListCtrl::GetDefaultSBStyle(int i) const
{
    if (i == 0)
        return 0x40000000; // WS_CHILD, hidden
    if (i == 1)
        return 0x50000101; // WS_CHILD, WS_VISIBLE, SS_NOTIFY, SBS_VERT
    return 0;
}

CRect CSkinListCtrl::CalcSBRect(const CRect& r, int thickness, int i)
{
    return view::BarRect(r, thickness, i);
}

void CSkinListCtrl::AdjustWindowRect(CRect&, int) {}

void CSkinListCtrl::InitControl(tagSCROLLSTARTINFO* const info)
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

BOOL CSkinListCtrl::ShowScrollBar(int i, int cmd)
{
    if (i < 0 || i >= m_barCount)
        throw CInvalidArgumentException(THROW_SITE_MESSAGE("Invalid scrollbar id code"));
    return view::ShowBar(m_scrollData[i].bar, cmd);
}

void CSkinListCtrl::SetHighlightColor(COLORREF color)
{
    m_highlight = color;
    m_highlightSet = true;
}

void CSkinListCtrl::OnNcCalcSize(BOOL, NCCALCSIZE_PARAMS*)
{
    view::DropStandardBars(*this);
    Default();
}

LRESULT CSkinListCtrl::OnInsertItem(WPARAM, LPARAM)
{
    const LRESULT result = Default();
    if (m_redrawOff == 0)
        view::RepaintBar(m_scrollData[1].bar);
    return result;
}

LRESULT CSkinListCtrl::OnDeleteItem(WPARAM, LPARAM)
{
    const LRESULT result = Default();
    view::ResetVerticalWhenAllFit(*this);
    if (m_redrawOff != 0)
        view::RepaintBar(m_scrollData[1].bar);
    return result;
}

LRESULT CSkinListCtrl::OnDeleteAllItems(WPARAM, LPARAM)
{
    const LRESULT result = Default();
    view::ResetBars(*this, m_scrollData, m_barCount, m_redrawOff != 0);
    return result;
}

LRESULT CSkinListCtrl::OnEnsureVisible(WPARAM, LPARAM)
{
    const LRESULT result = Default();
    if (m_redrawOff != 0)
        view::RepaintBar(m_scrollData[1].bar);
    return result;
}

LRESULT CSkinListCtrl::OnSetRedraw(WPARAM wParam, LPARAM)
{
    Default();
    view::CountRedraw(m_redrawOff, wParam);
    return 0;
}

void CSkinListCtrl::OnVScroll(UINT code, UINT, CScrollBar*)
{
    if ((code == SB_THUMBTRACK || code == SB_THUMBPOSITION) &&
        view::ScrollListTo(*this, true,
                           m_internalScroll ? m_internalTarget : m_scrollData[1].bar.GetDynamicPosition()))
        return;
    Default();
}

void CSkinListCtrl::OnHScroll(UINT code, UINT, CScrollBar*)
{
    if ((code == SB_THUMBTRACK || code == SB_THUMBPOSITION) &&
        view::ScrollListTo(*this, false,
                           m_internalScroll ? m_internalTarget : m_scrollData[0].bar.GetDynamicPosition()))
        return;
    Default();
}

BOOL CSkinListCtrl::OnMouseWheel(UINT, short delta, CPoint)
{
    const int bar = view::ListWheel(*this, m_scrollData[0].bar, m_scrollData[1].bar, delta, m_internalScroll,
                                    m_internalTarget);
    if (bar >= 0 && m_redrawOff == 0)
        view::RepaintBar(m_scrollData[bar].bar);
    return TRUE;
}

BOOL CSkinListCtrl::OnEraseBkgnd(CDC*)
{
    if (m_redrawOff == 0)
        view::RepaintBars(m_scrollData, m_barCount);
    return static_cast<BOOL>(Default());
}

void CSkinListCtrl::OnNMCustomdraw(NMHDR* header, LRESULT* result)
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
    // An item the list cannot describe is left to the list's own drawing: nothing may leave the window
    // procedure, and the list draws what it has.
    if (!GetItem(&info))
        return;
    CRect icon;
    GetItemRect(item, &icon, LVIR_ICON);
    HIMAGELIST images = reinterpret_cast<HIMAGELIST>(SendMessage(LVM_GETIMAGELIST, LVSIL_NORMAL));
    if (!images)
        return;
    int width = 0;
    int height = 0;
    ImageList_GetIconSize(images, &width, &height);
    const int x = icon.left + std::max(0, icon.Width() - width) / 2;
    const int y = icon.top + std::max(0, icon.Height() - height) / 2;
    HDC dc = draw->nmcd.hdc;
    ImageList_DrawEx(images, info.iImage, dc, x, y, width, height, CLR_NONE, CLR_NONE, ILD_NORMAL);

    CRect label;
    GetItemRect(item, &label, LVIR_LABEL);
    if (label.Height() > 15)
        label.bottom = label.top + 15;
    const UINT state = GetItemState(item, LVIS_FOCUSED | LVIS_SELECTED);
    const bool focus = ::GetFocus() == m_hWnd;
    if (!m_highlightSet)
        m_highlight = ::GetSysColor(focus ? COLOR_HIGHLIGHT : COLOR_BTNFACE);
    const COLORREF selectedText = ::GetSysColor(focus ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
    const CString text = GetItemText(item, 0);
    const int saved = ::SaveDC(dc);
    ::SetBkMode(dc, TRANSPARENT);
    if (state & LVIS_SELECTED)
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
        HBRUSH white = ::CreateSolidBrush(RGB(255, 255, 255));
        ::FillRect(dc, &label, white);
        ::DeleteObject(white);
    }
    if (!text.IsEmpty())
        ::DrawText(dc, text, text.GetLength(), &label, DT_CENTER | DT_WORDBREAK | DT_END_ELLIPSIS);
    ::RestoreDC(dc, saved);
    *result = CDRF_SKIPDEFAULT;
}
} // namespace faldra
