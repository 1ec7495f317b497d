#include "shared/faldra/SkinListBox.h"

#include "platform/win/CString.h"
#include "platform/win/Kernel.h"

#include <iterator>

namespace faldra
{
BEGIN_MESSAGE_MAP(CSkinListBox, CListBox)
ON_WM_NCPAINT()
ON_WM_MOUSEMOVE()
ON_NOTIFY_EX_RANGE(TTN_NEEDTEXTA, 0, 0xFFFF, OnToolTipText)
ON_NOTIFY_EX_RANGE(TTN_NEEDTEXTW, 0, 0xFFFF, OnToolTipText)
END_MESSAGE_MAP()

CSkinListBox::CSkinListBox() = default;
CSkinListBox::~CSkinListBox() = default;

void CSkinListBox::ApplyRightToLeft(ITEMCONTEXT& item, HWND ancestor)
{
    if (!ancestor || !(::GetWindowLongPtr(ancestor, GWL_EXSTYLE) & WS_EX_LAYOUTRTL))
        return;
    m_context.SetFormat(m_context.GetFormat() | DT_RIGHT);
    if (m_scrollVisible)
        item.rcItem.left += m_scrollWidth;
}

void CSkinListBox::DrawItem(LPDRAWITEMSTRUCT drawItem)
{
    if (!drawItem || drawItem->itemID == static_cast<UINT>(-1))
        return;
    CString text;
    GetText(static_cast<int>(drawItem->itemID), text);
    DRAWITEMSTRUCT dis = *drawItem;
    if (m_tracking && m_trackedItem >= 0)
    {
        if (dis.itemID == static_cast<UINT>(m_trackedItem))
            dis.itemState |= ODS_SELECTED;
        else
            dis.itemState &= ~ODS_SELECTED;
    }
    ITEMCONTEXT item;
    CDrawContext::FillItemContextHlp(item, &dis, text);
    ApplyRightToLeft(item, ::GetParent(::GetParent(m_hWnd)));
    m_context.DrawItem(&item);
}

void CSkinListBox::MeasureItem(LPMEASUREITEMSTRUCT measureItem)
{
    if (!measureItem || measureItem->itemID == static_cast<UINT>(-1))
        return;
    CString text;
    GetText(static_cast<int>(measureItem->itemID), text);
    HDC dc = ::GetDC(m_hWnd);
    SIZE size{};
    if (dc && ::GetTextExtentPoint32(dc, text, text.GetLength(), &size) && size.cy > 0)
        measureItem->itemHeight = static_cast<UINT>(size.cy);
    if (dc)
        ::ReleaseDC(m_hWnd, dc);
}

void CSkinListBox::DrawTracked(int index, UINT state, HWND ancestor)
{
    ITEMCONTEXT item;
    item.hwndItem = m_hWnd;
    item.itemAction = ODA_SELECT;
    item.itemState = state;
    if (GetItemRect(index, &item.rcItem) == LB_ERR)
        return;
    CString text;
    GetText(index, text);
    item.text = text;
    item.itemData = GetItemData(index);
    item.hDC = ::GetDC(m_hWnd);
    ApplyRightToLeft(item, ancestor);
    m_context.DrawItem(&item);
    ::ReleaseDC(m_hWnd, item.hDC);
}

void CSkinListBox::OnMouseMove(UINT, CPoint point)
{
    if (!m_tracking)
    {
        Default();
        return;
    }
    BOOL outside = FALSE;
    const UINT index = ItemFromPoint(point, outside);
    if (index == 0xFFFF || static_cast<int>(index) == m_trackedItem)
        return;
    const HWND ancestor = ::GetParent(::GetParent(m_hWnd));
    DrawTracked(static_cast<int>(index), ODS_SELECTED, ancestor);
    if (m_trackedItem >= 0 && m_trackedItem < GetCount())
        DrawTracked(m_trackedItem, 0, ancestor);
    m_trackedItem = static_cast<int>(index);
}

int CSkinListBox::SetCurSel(int item)
{
    if (m_tracking && m_trackedItem >= 0 && m_trackedItem < GetCount())
        DrawTracked(m_trackedItem, 0, ::GetParent(m_hWnd));
    m_trackedItem = item;
    return CListBox::SetCurSel(item);
}

LRESULT CSkinListBox::Notify(UINT code, UINT, LPARAM)
{
    if (code == CBN_DROPDOWN && m_tracking)
        m_trackedItem = GetCurSel();
    return 0;
}

INT_PTR CSkinListBox::OnToolHitTest(CPoint point, TOOLINFO* info) const
{
    BOOL outside = FALSE;
    const UINT index = ItemFromPoint(point, outside);
    if (index == 0xFFFF || outside)
        return -1;
    if (info)
    {
        info->hwnd = m_hWnd;
        info->uId = index;
        GetItemRect(static_cast<int>(index), &info->rect);
        info->lpszText = LPSTR_TEXTCALLBACK;
    }
    return static_cast<INT_PTR>(index);
}

BOOL CSkinListBox::OnToolTipText(UINT, NMHDR* header, LRESULT* result)
{
    if (!header || (header->code != TTN_NEEDTEXTA && header->code != TTN_NEEDTEXTW))
        return FALSE;
    CString text;
    GetText(static_cast<int>(header->idFrom), text);
    if (header->code == TTN_NEEDTEXTA)
    {
        // Cut at a character boundary: half a character would not be text at all.
        auto* info = reinterpret_cast<NMTTDISPINFOA*>(header);
        platform::CopyTruncated(info->szText, std::size(info->szText), text.GetString());
    }
    else
    {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
        const int size = static_cast<int>(std::size(info->szText));
        // A text too long for the buffer fills it; the last place then takes the terminator.
        ::MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, info->szText, size);
        info->szText[size - 1] = L'\0';
    }
    if (result)
        *result = 0;
    return TRUE;
}
} // namespace faldra
