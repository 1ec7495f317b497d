#pragma once

#include "Controls/ControlTimer.h"
#include "Controls/TransparentControl.h"
#include "platform/window/Afx.h"

#include <memory>

/// The kit's bitmap-skinned owner-drawn button: up to seven BITMAP resources for its states, an optional
/// mask that shapes the window and keeps parts of the face transparent, three drawing modes (0 natural
/// size, 1 stretched, 2 tiled), an optional 3-D edge, and a hover image that fades in and out in 20 steps
/// of 15 ms. Every paint is composed off screen. User-interface thread only.
class CxSkinButton : public CButton, public CTransparentControl
{
public:
    static constexpr UINT kFadeInTimer = 167;
    static constexpr UINT kFadeOutTimer = 168;

    CxSkinButton();
    ~CxSkinButton() override;

    /// BITMAP ids (0 = none); a disabled id of 0 uses the normal bitmap. Drawing modes above 1 tile,
    /// negative ones draw at natural size; a negative margin counts as 0.
    void SetSkin(UINT normal, UINT down, UINT over = 0, UINT disabled = 0, UINT focus = 0, UINT mask = 0,
                 short drawMode = 1, short border = 0, int margin = 0, UINT overChecked = 0);
    void SetTextOffset(int dx, int dy);
    void SetTextColors(COLORREF normal, COLORREF disabled);
    void SetPressedTextColor(COLORREF color);
    void SetHoverTextColor(COLORREF color);
    void SetFadeHover(BOOL fade);
    void SetFontSize(int tenthsOfPoint);
    void SetFontBold(BOOL bold);
    BOOL IsChecked() const noexcept { return m_bChecked; }
    int GetFadeLevel() const noexcept { return m_nFadeLevel; }

    void PreSubclassWindow() override;
    void DrawItem(LPDRAWITEMSTRUCT drawItem) override;

    afx_msg BOOL OnEraseBkgnd(CDC* dc);
    afx_msg void OnLButtonDown(UINT flags, CPoint point);
    afx_msg void OnLButtonUp(UINT flags, CPoint point);
    afx_msg void OnMouseMove(UINT flags, CPoint point);
    afx_msg void OnLButtonDblClk(UINT flags, CPoint point);
    afx_msg void OnKillFocus(CWnd* newFocus);
    afx_msg BOOL OnClicked();
    afx_msg void OnKeyDown(UINT key, UINT repeat, UINT flags);
    afx_msg void OnMouseLeave();
    afx_msg LRESULT OnRadioUncheck(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnSetCheck(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnGetCheck(WPARAM wParam, LPARAM lParam);
    afx_msg void OnTimer(UINT_PTR id);
    afx_msg void OnDestroy();

protected:
    HRGN CreateRgnFromBitmap(CBitmap& bitmap, COLORREF key);
    void DrawBitmap(CDC* dc, CBitmap& bitmap, const CRect& rect);
    void DrawFadingHover(CDC* face, const CRect& client);
    void FadeOut();
    void RecreateFont();
    void Repaint();

    BYTE m_bChecked = 0;
    int m_nKind = 0; // 0 push button, 2 check box, 4 radio button
    BYTE m_bHover = 0;
    BYTE m_bLButtonDown = 0;
    BYTE m_bPressedLook = 0;
    CBitmap m_bNormal;
    CBitmap m_bDown;
    CBitmap m_bDisabled;
    CBitmap m_bMask;
    CBitmap m_bOver;
    CBitmap m_bFocus;
    CBitmap m_bOverChecked;
    short m_nMargin = 0;
    COLORREF m_crNormal;
    HRGN m_hRegion = nullptr;
    int m_nBorder = 0;
    short m_nDrawMode = 1;
    int m_nTextDx = 0;
    int m_nTextDy = 0;
    CFont m_font;
    LOGFONT m_lf{};
    UINT m_nAlign = DT_CENTER;
    COLORREF m_crHover;
    COLORREF m_crDisabled;
    COLORREF m_crPressed;
    BYTE m_bMultiLine = 0;
    int m_nFadeLevel = 0;
    std::unique_ptr<CControlTimer> m_pFadeIn;
    std::unique_ptr<CControlTimer> m_pFadeOut;
    BYTE m_bFadeHover = TRUE;

    DECLARE_MESSAGE_MAP()
};
