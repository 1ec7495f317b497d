#pragma once

#include "platform/listview/ListView.h"
#include "shared/faldra/SkinListCtrl.h"

/// What the skinned list, tree and button list views share: bar placement and creation, scroll-state
/// resets and the list views' thumb and wheel scrolling. Internal to the library.
namespace faldra::view
{
/// The view's window rectangle in its parent's client coordinates.
CRect ControlRect(CWnd& view);
/// The strip below (bar 0) or to the right of (bar 1) `r`, `thickness` wide; empty for another index.
CRect BarRect(const CRect& r, int thickness, int i);
/// Creates the bar's window beside the view (once), lays it out with the arrows of `info` and makes it
/// mirror the view.
void InitBar(tagScrollData& data, CWnd& view, DWORD style, const CRect& rect, const tagSCROLLSTARTINFO& info);
/// RedrawWindow (invalidate, erase, update now) of the bar's window, when it has one.
void RepaintBar(CSkinScrollbar& bar);
/// RepaintBar on each of the `count` bars of `data`.
void RepaintBars(tagScrollData* data, int count);
/// A bar counts as visible with WS_VISIBLE or SS_NOTIFY.
bool BarVisible(const CSkinScrollbar& bar);
/// Adds or removes WS_VISIBLE and SS_NOTIFY; FALSE for a command other than SW_SHOW and SW_HIDE.
BOOL ShowBar(CSkinScrollbar& bar, int cmd);
/// Range 0 to 0, page 1, position 0 for one orientation (SB_HORZ, SB_VERT) of the view's scroll state.
void ResetScrollState(CWnd& view, int orientation);
/// Resets the scroll state of every bar's orientation (bar 1 vertical, the others horizontal) and, with
/// `repaint`, repaints the bar.
void ResetBars(CWnd& view, tagScrollData* data, int count, bool repaint);
/// Counts the WM_SETREDRAW calls still to be undone: FALSE adds one (up to INT_MAX), TRUE takes one off
/// (down to 0).
void CountRedraw(int& redrawOff, WPARAM redraw);
/// Removes WS_HSCROLL and WS_VSCROLL from the view's style, so it keeps no room for standard bars.
void DropStandardBars(CWnd& view);
/// The height LVM_APPROXIMATEVIEWRECT(-1, -1) gives for all items.
int ApproximateHeight(CListCtrl& list);
/// Resets the vertical scroll state once every item fits the client area (after a deletion).
void ResetVerticalWhenAllFit(CListCtrl& list);
/// Thumb notifications of a list view: scrolls from the current position to `target` with LVM_SCROLL,
/// rows turned into pixels with the average item height in report and list views. False when the
/// notification is left to the default handling (the target is the current position).
bool ScrollListTo(CListCtrl& list, bool vertical, int target);
/// The list views' wheel: moves by 2 rows (report, list) or 20 pixels (icon views) a notch through the
/// vertical bar, or 30 pixels through the horizontal one, by sending a thumb position whose target the
/// handler reads from `internalTarget`. Returns the bar used: 1 vertical, 0 horizontal, -1 none.
int ListWheel(CListCtrl& list, const CSkinScrollbar& horizontal, const CSkinScrollbar& vertical, short delta,
              BOOL& internalScroll, int& internalTarget);
} // namespace faldra::view
