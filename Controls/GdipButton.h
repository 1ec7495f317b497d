#pragma once

#include "Controls/GdiPlusBitmap.h"
#include "Controls/MemDC.h"
#include "platform/window/Afx.h"

#include <memory>

/// The kit's owner-drawn image button: one PNG per state (normal, hover, pressed, pressed while
/// hovered, disabled) drawn over a copy of the dialog background with the caption on top, composed once
/// off screen and afterwards only copied. Check-box and radio behaviour come from the template style
/// (BS_AUTOCHECKBOX, BS_AUTORADIOBUTTON). User-interface thread only.
class CGdipButton : public CButton
{
public:
    CGdipButton();
    ~CGdipButton() override;

    /// Loads each non-zero PNG id as that state's image; 0 leaves the image as it was.
    void LoadImages(UINT normal, UINT hover = 0, UINT pressed = 0, UINT disabled = 0, UINT pressedHover = 0);
    void SetTextColors(COLORREF normal, COLORREF disabled);
    void SetPressedTextColor(COLORREF color);
    void SetHoverTextColor(COLORREF color);
    void SetTextOffset(int dx, int dy);
    /// With a hover image, shows the pressed (TRUE) or normal (FALSE) state image until the next paint.
    void SetPressedLook(BOOL pressed);
    void SetFontBold(BOOL bold);
    void SetFontName(const CString& face, BYTE charset);
    void SetFontSize(int tenthsOfPoint);
    void SetTooltipText(const CString& text, BOOL activate = TRUE);
    /// The string-table text `stringId`; nothing when it is empty.
    void SetTooltipText(UINT stringId, BOOL activate = TRUE);
    /// The refresh message the skinned dialog base sends: WM_REFRESH_BUTTON_BKGND.
    static UINT GetRefreshMessage();
    /// From now on a background refresh also discards the state images, so they are rebuilt on it.
    void SetAutoRefresh();
    BOOL IsChecked() const noexcept { return m_bChecked; }
    BOOL IsHovering() const noexcept { return m_bHover; }

    void PreSubclassWindow() override;
    BOOL PreTranslateMessage(MSG* msg) override;
    void DrawItem(LPDRAWITEMSTRUCT drawItem) override;

    afx_msg BOOL OnEraseBkgnd(CDC* dc);
    afx_msg void OnLButtonDown(UINT flags, CPoint point);
    afx_msg void OnLButtonUp(UINT flags, CPoint point);
    afx_msg void OnMouseMove(UINT flags, CPoint point);
    afx_msg void OnKillFocus(CWnd* newFocus);
    afx_msg void OnKeyDown(UINT key, UINT repeat, UINT flags);
    afx_msg BOOL OnClicked();
    afx_msg HBRUSH CtlColor(CDC* dc, UINT ctlColor);
    afx_msg void OnMouseLeave();
    afx_msg LRESULT OnRadioUncheck(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnSetCheck(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnGetCheck(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnRefreshBackground(WPARAM wParam, LPARAM lParam);
    afx_msg void OnDestroy();

protected:
    /// A memory DC with a bitmap of the button's client size selected.
    struct StateImage
    {
        CDC dc;
        CBitmap bitmap;
        CBitmap* old = nullptr;
        bool Exists() const noexcept { return dc.GetSafeHdc() != nullptr; }
        void Create(CDC* compatible, int width, int height);
        void Delete();
    };

    void PaintCaption(CDC* dc, COLORREF color);
    void RecreateFont();
    void Repaint();
    void DeleteStateImages();
    void DeleteImages();
    void ClickAction();

    BOOL m_bImagesReady = FALSE;
    COLORREF m_crNormal;
    COLORREF m_crHover;
    COLORREF m_crDisabled;
    COLORREF m_crPressed;
    UINT m_nAlign = DT_CENTER;
    BOOL m_bLButtonDown = FALSE;
    BOOL m_bChecked = FALSE;
    BOOL m_bHover = FALSE;
    int m_nKind = 0; // 0 push button, 2 check box, 4 radio button
    CFont m_font;
    LOGFONT m_lf{};
    std::unique_ptr<CPNGResource> m_pNormal;
    std::unique_ptr<CPNGResource> m_pHover;
    std::unique_ptr<CPNGResource> m_pPressed;
    std::unique_ptr<CPNGResource> m_pPressedHover;
    std::unique_ptr<CPNGResource> m_pDisabled;
    CString m_strTooltip;
    std::unique_ptr<CToolTipCtrl> m_pToolTip;
    StateImage m_background;
    StateImage m_imgNormal;
    StateImage m_imgHover;
    StateImage m_imgPressed;
    StateImage m_imgPressedHover;
    StateImage m_imgDisabled;
    StateImage* m_pCurrent = nullptr;
    BOOL m_bAutoRefresh = FALSE;
    CPoint m_textOffset;

    DECLARE_MESSAGE_MAP()
};
