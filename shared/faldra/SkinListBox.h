#pragma once

#include "platform/commctrl2/ListBox.h"
#include "platform/window/CommCtrl.h"
#include "shared/faldra/DrawContext.h"
#include "shared/faldra/Export.h"
#include "shared/faldra/SkinWidget.h"

namespace faldra
{
/// An owner-drawn list box (create it with LBS_OWNERDRAWFIXED or LBS_OWNERDRAWVARIABLE and LBS_HASSTRINGS)
/// whose items its draw context paints, with optional hot tracking (the item under the mouse is drawn as
/// the selected one) and per-item tooltips. Paints no non-client area. User-interface thread only; raises
/// only the draw context's failures.
class FALDRA_API CSkinListBox : public CListBox, public CSkinWidget
{
public:
    CSkinListBox();
    ~CSkinListBox() override;

    CDrawContext& GetDrawContext() { return m_context; }
    COLORREF SetTextColor(COLORREF color) { return m_context.SetTextColor(color); }
    COLORREF GetTextColor(COLORREF* highlight = nullptr) const { return m_context.GetTextColor(highlight); }
    COLORREF SetTextHighlight(COLORREF color) { return m_context.SetTextHighlight(color); }
    COLORREF SetBackColor(COLORREF color) { return m_context.SetBackColor(color); }
    COLORREF SetBackHighlight(COLORREF color) { return m_context.SetBackHighlight(color); }
    COLORREF GetBackColor(COLORREF* highlight = nullptr) const { return m_context.GetBackColor(highlight); }
    void SetIndentation(int indentation) { m_context.SetIndentation(indentation); }
    int GetIndentation() const { return m_context.GetIndentation(); }
    /// The draw context takes ownership of the image.
    void SetHighlightImage(CModularImage* image) { m_context.SetHighlight(image); }
    void SetBackgroundImage(CModularImage* image) { m_context.SetBackground(image); }
    void SetBackMode() {}

    void EnableMouseTracking(bool enable) { m_tracking = enable; }
    bool IsTracking() const { return m_tracking; }
    int GetTrackedItem() const { return m_trackedItem; }
    void SetIsScrollVisible(bool visible) { m_scrollVisible = visible; }
    bool GetIsScrollVisible() const { return m_scrollVisible; }

    /// Draws the tracked item unselected while tracking, makes `item` the tracked item and selects it.
    int SetCurSel(int item);
    /// Combo-box notification codes from the owner: CBN_DROPDOWN while tracking makes the current
    /// selection the tracked item. Returns 0.
    virtual LRESULT Notify(UINT code, UINT id, LPARAM lParam);

    /// Each item is a tool of its own, its text given on request; returns the item index or -1. Tips show
    /// once the owner turns tooltips on for the list (EnableToolTips).
    INT_PTR OnToolHitTest(CPoint point, TOOLINFO* info) const override;
    /// The text of item idFrom for TTN_NEEDTEXTA (at most 79 bytes, cut between characters) and
    /// TTN_NEEDTEXTW (at most 79 wide characters); sets the result to 0 and returns TRUE.
    BOOL OnToolTipText(UINT id, NMHDR* header, LRESULT* result);

    void DrawItem(LPDRAWITEMSTRUCT drawItem) override;
    void MeasureItem(LPMEASUREITEMSTRUCT measureItem) override;

protected:
    afx_msg void OnNcPaint() {}
    afx_msg void OnMouseMove(UINT flags, CPoint point);
    DECLARE_MESSAGE_MAP()

private:
    /// Right-aligns the text and, with the scroll bar shown at the left, moves the item's left edge past it
    /// when `ancestor` lays out right to left.
    void ApplyRightToLeft(ITEMCONTEXT& item, HWND ancestor);
    void DrawTracked(int index, UINT state, HWND ancestor);

    CLBDrawContext m_context;
    bool m_tracking = false;
    int m_trackedItem = -1;
    int m_scrollWidth = 15;
    bool m_scrollVisible = false;
};
} // namespace faldra
