#pragma once

#include "platform/window/Afx.h"

/// An edit control without a background of its own: the skinned dialog's background shows through and is
/// repainted under it while the user types, scrolls, selects and changes focus. Uses BITMAP 861 (caret)
/// and CURSOR 860 of the module the resource search finds. User-interface thread only.
class CEditTrans : public CEdit
{
public:
    static constexpr UINT kCaretBitmap = 861;
    static constexpr UINT kCursor = 860;

    CEditTrans();
    ~CEditTrans() override;

    void SetTextColor(COLORREF color);
    /// CLR_INVALID (-1): none, the parent shows through.
    void SetBkColor(COLORREF color);
    /// Repaints the parent's area under the edit.
    void InvalidateParentArea();
    /// Places one line of text in the vertical middle of the edit.
    void CenterTextVertically();

    afx_msg HBRUSH CtlColor(CDC* dc, UINT ctlColor);
    afx_msg BOOL OnUpdate();
    afx_msg void OnLButtonDown(UINT flags, CPoint point);
    afx_msg BOOL OnKillFocus();
    afx_msg BOOL OnSetFocus();
    afx_msg void OnMouseMove(UINT flags, CPoint point);
    afx_msg void OnHScroll();
    afx_msg void OnStyleChanged(int type, STYLESTRUCT* style);
    afx_msg BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message);
    afx_msg void OnKeyDown(UINT key, UINT repeat, UINT flags);

protected:
    COLORREF m_crText = RGB(0, 0, 0);
    COLORREF m_crBack = CLR_INVALID;
    CBrush m_brush;
    CBitmap m_caret;

    DECLARE_MESSAGE_MAP()
};
