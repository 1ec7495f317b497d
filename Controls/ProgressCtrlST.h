#pragma once

#include "platform/commctrl/Progress.h"
#include "platform/window/Afx.h"

/// A progress bar painted from bitmaps: the foreground repeated over the filled part and an optional
/// background under the rest, from the left, or from the bottom with PBS_VERTICAL (the foreground then
/// anchored at its bottom). Without a foreground it paints as a plain progress bar. User-interface thread
/// only.
class CProgressCtrlST : public CProgressCtrl
{
public:
    CProgressCtrlST() = default;
    ~CProgressCtrlST() override;

    int SetRange(int lower, int upper);
    int SetStep(int step);
    /// Clamps `pos` into the range.
    int SetPos(int pos);
    /// Takes ownership of both bitmaps. 1, leaving the control without bitmaps, when one is unusable.
    int SetBitmap(HBITMAP foreground, HBITMAP background, BOOL repaint = TRUE);
    /// BITMAP resources; a background id of -1 means none.
    int SetBitmap(UINT foregroundId, UINT backgroundId, BOOL repaint = TRUE);
    /// Called at the end of every bitmap paint; draws nothing here.
    virtual void DrawOverlay(CDC* dc, int percent, CRect client, CRect filled, BOOL vertical);

    afx_msg BOOL OnEraseBkgnd(CDC* dc);
    afx_msg void OnPaint();
    afx_msg void OnNcPaint();

protected:
    void DeleteBitmaps();

    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nSpan = 100;
    int m_nStep = 10;
    int m_nPos = 0;
    HBITMAP m_hForeground = nullptr;
    HBITMAP m_hBackground = nullptr;
    int m_nForegroundWidth = 0;
    int m_nForegroundHeight = 0;

    DECLARE_MESSAGE_MAP()
};
