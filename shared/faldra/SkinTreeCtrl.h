#pragma once

#include "platform/listview/TreeView.h"
#include "shared/faldra/Export.h"
#include "shared/faldra/SkinListCtrl.h"

namespace faldra
{
/// A tree view whose own scroll bars are replaced by two skinned bars, siblings in the same parent placed
/// against its bottom and right edges, which mirror the tree's scroll state and scroll it; the tree
/// follows the vertical box while it is dragged. User-interface thread only; the set-up calls raise
/// exceptions of the family, the window procedure raises nothing.
class FALDRA_API CSkinTreeCtrl : public CTreeCtrl
{
public:
    CSkinTreeCtrl();
    ~CSkinTreeCtrl() override;

    /// The bar of element `i` (0 horizontal, 1 vertical); CInvalidArgumentException for any other index.
    virtual CSkinScrollbar& GetScrollBarCtl(int i) const;
    /// Creates the bars beside the tree (once its window and parent exist) from `info[0]` and `info[1]`;
    /// CInvalidObjectException without a window.
    void InitControl(tagSCROLLSTARTINFO* const info);

protected:
    virtual tagScrollData* CreateScrollData(int* count);
    virtual DWORD GetDefaultSBStyle(int i) const;
    virtual CRect CalcSBRect(const CRect& r, int thickness, int i);
    virtual void AdjustWindowRect(CRect& r, int i);
    /// CInvalidObjectException when the tree has no window.
    void UpdateScrollbarStatus();

    afx_msg void OnNcCalcSize(BOOL calcValidRects, NCCALCSIZE_PARAMS* params);
    afx_msg LRESULT OnInsertItem(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnDeleteItem(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnEnsureVisible(WPARAM wParam, LPARAM lParam);
    afx_msg void OnItemExpanded(NMHDR* header, LRESULT* result);
    afx_msg BOOL OnMouseWheel(UINT flags, short delta, CPoint point);
    afx_msg void OnVScroll(UINT code, UINT pos, CScrollBar* bar);
    afx_msg BOOL OnEraseBkgnd(CDC* dc);
    DECLARE_MESSAGE_MAP()

private:
    RECT m_controlRect{0, 0, 0, 0};
    int m_barCount = 0;
    tagScrollData* m_scrollData = nullptr;
};
} // namespace faldra
