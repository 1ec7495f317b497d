#pragma once

#include "platform/commctrl/Trackbar.h"
#include "platform/window/Afx.h"

/// Sent (or posted, after a key step) to the parent when the slider's position changed: wParam 0, or the
/// control id after a key step; lParam the address of the slider's notification block (NMHDR).
constexpr UINT WM_BITMAPSLIDER_MOVED = WM_APP + 0x21;
/// Sent to the parent at every left-button release while the slider is enabled; wParam and lParam 0.
constexpr UINT WM_BITMAPSLIDER_RELEASED = WM_APP + 0x22;

/// A trackbar painted entirely from bitmap resources of the current resource module: a channel (with an
/// optional active channel before the thumb) and a thumb with optional active (dragged) and disabled
/// looks, each opaque or with a transparent colour. The native trackbar underneath keeps the range and
/// the position and gets the mouse and keys after the slider's own handling; the slider adds capture and
/// focus on a press, its own wheel and key steps, a hand cursor and an enable flag of its own. Bound to a
/// template's trackbar with SubclassDlgItem; the bitmaps are loaded once its window exists (the window
/// takes the channel bitmap's size). User-interface thread only.
class CBitmapSlider : public CSliderCtrl
{
public:
    CBitmapSlider();
    ~CBitmapSlider() override;

    void SetValueRange(int minimum, int maximum, BOOL redraw);
    /// Moves to `value` (forced into the range with `clamp`, else rejected when outside it); whether it was
    /// taken is told by IsValueAccepted.
    void SetValue(int value, bool clamp);
    bool IsValueAccepted() const noexcept { return m_bValueAccepted; }
    int GetMinimum() const noexcept { return m_nMin; }
    int GetMaximum() const noexcept { return m_nMax; }
    /// Off, every input handler does nothing and the thumb is not drawn; switching off ends a drag.
    void EnableSlider(bool on);
    bool IsSliderEnabled() const noexcept { return m_bEnable; }
    void SetVertical(bool vertical);
    /// Whether position changes are sent to the parent (WM_BITMAPSLIDER_MOVED).
    void EnableNotifications(bool on) { m_bNotify = on; }

    /// Channel id 0 unloads the channel bitmaps. `transparentColour` 0xFF000000 takes the colour of pixel
    /// (x, y). FALSE when a bitmap cannot be loaded; nothing of this call stays loaded then.
    BOOL LoadChannelBitmaps(UINT channel, UINT activeChannel, BOOL transparent, COLORREF transparentColour,
                            int x, int y);
    /// Thumb id 0 unloads the thumb bitmaps; otherwise as LoadChannelBitmaps.
    BOOL LoadThumbBitmaps(UINT disabledThumb, UINT thumb, UINT activeThumb, BOOL transparent,
                          COLORREF transparentColour, int x, int y);

    /// The pixel along the slider of the thumb's centre at `value`, and back. An empty range maps every
    /// value to the first pixel and every pixel to the minimum.
    int ValueToPixel(int value) const;
    int PixelToValue(int pixel) const;
    void NotifyParent();

    BOOL PreTranslateMessage(MSG* msg) override;

    afx_msg void OnPaint();
    afx_msg BOOL OnEraseBkgnd(CDC* dc);
    afx_msg void OnLButtonDown(UINT flags, CPoint point);
    afx_msg void OnMouseMove(UINT flags, CPoint point);
    afx_msg void OnLButtonUp(UINT flags, CPoint point);
    afx_msg BOOL OnMouseWheel(UINT flags, short delta, CPoint point);
    afx_msg void OnKeyDown(UINT key, UINT repeat, UINT flags);
    afx_msg BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message);
    afx_msg void OnDestroy();

protected:
    void DrawBitmap(CDC* dc, int x, int y, int width, int height, CBitmap* bitmap, CBitmap* mask, int srcX,
                    int srcY, bool transparent);
    void DrawThumb(CDC* dc, CBitmap* thumb, CBitmap* mask);
    BOOL LoadWithMask(UINT id, CBitmap& bitmap, CBitmap& mask, BOOL transparent, COLORREF transparentColour,
                      int x, int y);
    void SaveBackground(CDC* dc, int x, int y);
    void TrackTo(CPoint point);
    LPARAM NotificationBlock();
    void UnloadChannel();
    void UnloadThumb();
    int SizeAlong() const;
    int ThumbAlong() const;
    int StartMargin() const;
    int EndMargin() const;
    int Along(CPoint point) const;

    NMHDR m_nmhdr{};
    int m_nLastNotified = -1;
    bool m_bNotify = true;
    int m_nMax = 100;
    int m_nMin = 0;
    int m_nPos = 0;
    int m_nPageDivisor = 10;
    bool m_bValueAccepted = false;
    CRect m_rect;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nThumbWidth = 0;
    int m_nThumbHeight = 0;
    int m_nMarginLeft = 0;
    int m_nMarginRight = 0;
    int m_nMarginTop = 0;
    int m_nMarginBottom = 0;
    int m_nThumbBgX = -1;
    int m_nThumbBgY = -1;
    int m_nDragOffset = 0;
    bool m_bVertical = false;
    bool m_bChannelActive = false;
    bool m_bThumbActive = false;
    bool m_bThumbDisabled = false;
    bool m_bTransparentChannel = false;
    bool m_bTransparentThumb = false;
    bool m_bThumb = false;
    bool m_bChannel = false;
    bool m_bLButtonDown = false;
    bool m_bEnable = true;
    CBitmap m_bmChannel;
    CBitmap m_bmChannelMask;
    CBitmap m_bmChannelActive;
    CBitmap m_bmChannelActiveMask;
    CBitmap m_bmThumb;
    CBitmap m_bmThumbMask;
    CBitmap m_bmThumbActive;
    CBitmap m_bmThumbActiveMask;
    CBitmap m_bmThumbDisabled;
    CBitmap m_bmThumbDisabledMask;
    CBitmap m_bmThumbBg;
    bool m_bPressOnThumb = false;

    DECLARE_MESSAGE_MAP()
};
