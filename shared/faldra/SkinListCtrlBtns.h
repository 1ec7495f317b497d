#pragma once

#include "platform/listview/ListView.h"
#include "shared/faldra/Export.h"
#include "shared/faldra/SkinListCtrl.h"

#include <vector>

namespace faldra
{
/// An icon list view whose items behave like push buttons: each item has a state (0 normal, 1 hover,
/// 2 pressed, 3 disabled) that follows the mouse, and hover and pressed items take their icon from the
/// small and the state image lists. It carries the two skinned scroll bars of CSkinListCtrl, set up and
/// driven the same way. User-interface thread only; the set-up calls raise exceptions of the family, the
/// window procedure raises nothing.
class FALDRA_API CSkinListCtrlBtns : public CListCtrl
{
public:
    enum EItemState
    {
        IS_NORMAL = 0,
        IS_HOVER = 1,
        IS_PRESSED = 2,
        IS_DISABLED = 3,
    };

    CSkinListCtrlBtns();
    ~CSkinListCtrlBtns() override;

    /// The bar of element `i` (0 horizontal, 1 vertical); CInvalidArgumentException for any other index.
    virtual CSkinScrollbar& GetScrollBarCtl(int i) const;
    /// Creates the bars beside the view from `info[0]` and `info[1]`; CInvalidObjectException without a
    /// window.
    void InitControl(tagSCROLLSTARTINFO* const info);
    BOOL ShowScrollBar(int i, int cmd);
    void SetHighlightColor(COLORREF color);

    /// Ignored for an item without a state; otherwise normal when enabling, disabled when disabling.
    void SetItemEnabled(int item, bool enable);
    /// False for an item without a state.
    bool GetItemEnabled(int item) const;
    /// Every state that is not disabled becomes normal.
    void ClearStates();
    void SetTextBackgroundColor(COLORREF color);
    void SetTextHighlightColor(COLORREF color);

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
    afx_msg void OnMouseMove(UINT flags, CPoint point);
    afx_msg void OnLButtonDown(UINT flags, CPoint point);
    afx_msg void OnLButtonUp(UINT flags, CPoint point);
    afx_msg void OnMouseLeave();
    DECLARE_MESSAGE_MAP()

private:
    BOOL IsInternalMessage() const { return m_internalScroll; }
    bool HasState(int item) const;
    void InvalidateItem(int item);
    void RepaintVisibleBars();

    int m_redrawOff = 0;
    RECT m_controlRect{0, 0, 0, 0};
    int m_barCount = 0;
    BOOL m_internalScroll = FALSE;
    int m_internalTarget = 0;
    tagScrollData* m_scrollData = nullptr;
    COLORREF m_highlight = 0;
    bool m_highlightSet = false;
    COLORREF m_textBackground = 0;
    bool m_textBackgroundSet = false;
    COLORREF m_textHighlight = 0;
    bool m_textHighlightSet = false;
    BOOL m_tracking = FALSE;
    std::vector<int> m_states; // one per item, in item order
};
} // namespace faldra
