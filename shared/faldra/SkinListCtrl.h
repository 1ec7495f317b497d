#pragma once

#include "platform/listview/ListView.h"
#include "shared/faldra/Export.h"
#include "shared/faldra/SkinScrollbar.h"

namespace faldra
{
/// Set-up of one skinned scroll bar of a view: its breadth, its arrow lengths and its window id. Views take
/// an array of them in bar order: 0 the horizontal bar, 1 the vertical bar.
struct FALDRA_API tagSCROLLSTARTINFO
{
    int thickness = 0;
    int upLength = 0;
    int downLength = 0;
    int controlId = 0;
};

struct FALDRA_API tagSCROLLSTARTINFO_EX
{
    int thickness = 0;
    int upLength = 0;
    int downLength = 0;
    int controlId = 0;
    int reserved = 0;
};

/// One skinned scroll bar of a view with its status word.
struct FALDRA_API tagScrollData
{
    int status = 0;
    CSkinScrollbar bar;
};

/// A list view whose own scroll bars are replaced by two skinned bars, siblings in the same parent placed
/// against its bottom and right edges, which mirror the view's scroll state and scroll it. Icon-view items
/// are drawn by the control itself (centred icon, framed selection, centred label) when the list has a
/// normal image list. User-interface thread only; the set-up calls raise exceptions of the family, the
/// window procedure raises nothing.
class FALDRA_API CSkinListCtrl : public CListCtrl
{
public:
    CSkinListCtrl();
    ~CSkinListCtrl() override;

    /// The bar of element `i` (0 horizontal, 1 vertical); CInvalidArgumentException for any other index.
    virtual CSkinScrollbar& GetScrollBarCtl(int i) const;
    /// Creates the bars beside the view (once its window and parent exist) from `info[0]` and `info[1]`;
    /// CInvalidObjectException without a window.
    void InitControl(tagSCROLLSTARTINFO* const info);
    /// SW_SHOW or SW_HIDE for bar `i` (its WS_VISIBLE and SS_NOTIFY styles); FALSE for another command.
    BOOL ShowScrollBar(int i, int cmd);
    void SetHighlightColor(COLORREF color);

protected:
    virtual tagScrollData* CreateScrollData(int* count);
    virtual DWORD GetDefaultSBStyle(int i) const;
    virtual CRect CalcSBRect(const CRect& r, int thickness, int i);
    virtual void AdjustWindowRect(CRect& r, int i);
    void UpdateScrollbarStatus() {}

    afx_msg void OnNcCalcSize(BOOL calcValidRects, NCCALCSIZE_PARAMS* params);
    afx_msg LRESULT OnInsertItem(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnDeleteItem(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnDeleteAllItems(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnEnsureVisible(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnSetRedraw(WPARAM wParam, LPARAM lParam);
    afx_msg void OnNMCustomdraw(NMHDR* header, LRESULT* result);
    afx_msg void OnVScroll(UINT code, UINT pos, CScrollBar* bar);
    afx_msg void OnHScroll(UINT code, UINT pos, CScrollBar* bar);
    afx_msg BOOL OnMouseWheel(UINT flags, short delta, CPoint point);
    afx_msg BOOL OnEraseBkgnd(CDC* dc);
    DECLARE_MESSAGE_MAP()

private:
    int m_redrawOff = 0;
    RECT m_controlRect{0, 0, 0, 0};
    int m_barCount = 0;
    BOOL m_internalScroll = FALSE;
    int m_internalTarget = 0;
    tagScrollData* m_scrollData = nullptr;
    COLORREF m_highlight = 0;
    bool m_highlightSet = false;
};
} // namespace faldra
