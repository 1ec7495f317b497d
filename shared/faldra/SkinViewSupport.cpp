#include "shared/faldra/SkinViewSupport.h"

#include <algorithm>
#include <climits>

namespace faldra::view
{
CRect ControlRect(CWnd& view)
{
    CRect rect;
    view.GetWindowRect(&rect);
    if (CWnd* parent = view.GetParent())
        parent->ScreenToClient(&rect);
    return rect;
}

CRect BarRect(const CRect& r, int thickness, int i)
{
    if (i == 0)
        return CRect(r.left, r.bottom, r.right, r.bottom + thickness);
    if (i == 1)
        return CRect(r.right, r.top, r.right + thickness, r.bottom);
    return CRect(0, 0, 0, 0);
}

void InitBar(tagScrollData& data, CWnd& view, DWORD style, const CRect& rect, const tagSCROLLSTARTINFO& info)
{
    CSkinScrollbar& bar = data.bar;
    if (!bar.GetSafeHwnd())
        bar.Create(nullptr, style, rect, view.GetParent(), static_cast<UINT>(info.controlId));
    bar.InitControl(info.upLength, info.downLength);
    bar.SetBuddy(view);
    bar.EnableAutoSet(TRUE);
    data.status = 0;
}

void RepaintBar(CSkinScrollbar& bar)
{
    if (bar.GetSafeHwnd())
        bar.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void RepaintBars(tagScrollData* data, int count)
{
    for (int i = 0; i < count; ++i)
        RepaintBar(data[i].bar);
}

bool BarVisible(const CSkinScrollbar& bar)
{
    return bar.GetSafeHwnd() && (bar.GetStyle() & (WS_VISIBLE | SS_NOTIFY)) != 0;
}

BOOL ShowBar(CSkinScrollbar& bar, int cmd)
{
    if (cmd != SW_SHOW && cmd != SW_HIDE)
        return FALSE;
    if (cmd == SW_SHOW)
        CWnd::ModifyStyle(bar.GetSafeHwnd(), 0, WS_VISIBLE | SS_NOTIFY, 0);
    else
        CWnd::ModifyStyle(bar.GetSafeHwnd(), WS_VISIBLE | SS_NOTIFY, 0, 0);
    return TRUE;
}

void ResetScrollState(CWnd& view, int orientation)
{
    SCROLLINFO info{sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE | SIF_POS, 0, 0, 1, 0, 0};
    ::SetScrollInfo(view.GetSafeHwnd(), orientation, &info, TRUE);
}

void ResetBars(CWnd& view, tagScrollData* data, int count, bool repaint)
{
    for (int i = 0; i < count; ++i)
    {
        ResetScrollState(view, i == 1 ? SB_VERT : SB_HORZ);
        if (repaint)
            RepaintBar(data[i].bar);
    }
}

void CountRedraw(int& redrawOff, WPARAM redraw)
{
    if (!redraw)
    {
        if (redrawOff < INT_MAX)
            ++redrawOff;
    }
    else if (redrawOff > 0)
        --redrawOff;
}

void DropStandardBars(CWnd& view)
{
    const HWND hwnd = view.GetSafeHwnd();
    const auto style = static_cast<DWORD>(::GetWindowLongPtr(hwnd, GWL_STYLE));
    if (style & (WS_HSCROLL | WS_VSCROLL))
        ::SetWindowLongPtr(hwnd, GWL_STYLE, static_cast<LONG_PTR>(style & ~(WS_HSCROLL | WS_VSCROLL)));
}

int ApproximateHeight(CListCtrl& list)
{
    const auto size = static_cast<DWORD>(
        list.SendMessage(LVM_APPROXIMATEVIEWRECT, static_cast<WPARAM>(-1), MAKELPARAM(0xFFFF, 0xFFFF)));
    return HIWORD(size);
}

void ResetVerticalWhenAllFit(CListCtrl& list)
{
    CRect client;
    list.GetClientRect(&client);
    if (ApproximateHeight(list) < client.Height())
        ResetScrollState(list, SB_VERT);
}

bool ScrollListTo(CListCtrl& list, bool vertical, int target)
{
    const int current = ::GetScrollPos(list.GetSafeHwnd(), vertical ? SB_VERT : SB_HORZ);
    if (target == current)
        return false;
    if (!vertical)
        list.Scroll(CSize(target - current, 0));
    else if (list.GetStyle() & LVS_REPORT)
    {
        // Rows become pixels through the average item height; with no items there is no height to use,
        // and nothing to scroll.
        const int count = list.GetItemCount();
        if (count > 0)
            list.Scroll(CSize(0, ApproximateHeight(list) / count * (target - current)));
    }
    else
        list.Scroll(CSize(0, target - current));
    list.UpdateWindow();
    return true;
}

int ListWheel(CListCtrl& list, const CSkinScrollbar& horizontal, const CSkinScrollbar& vertical, short delta,
              BOOL& internalScroll, int& internalTarget)
{
    int bar = -1;
    int target = 0;
    if (BarVisible(vertical))
    {
        const int step = (list.GetStyle() & LVS_REPORT) ? 2 : 20;
        target = ::GetScrollPos(list.GetSafeHwnd(), SB_VERT) - step * delta / WHEEL_DELTA;
        bar = 1;
    }
    else if (BarVisible(horizontal))
    {
        target = ::GetScrollPos(list.GetSafeHwnd(), SB_HORZ) - 30 * delta / WHEEL_DELTA;
        bar = 0;
    }
    if (bar < 0)
        return bar;
    internalTarget = target;
    internalScroll = TRUE;
    list.SendMessage(bar == 1 ? WM_VSCROLL : WM_HSCROLL,
                     MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(std::clamp(target, 0, 0xFFFF))));
    internalScroll = FALSE;
    internalTarget = 0;
    return bar;
}
} // namespace faldra::view
