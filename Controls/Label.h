#pragma once

#include "platform/window/Afx.h"

#include <functional>

/// The notification code of a click on a label whose parent is notified (WM_NOTIFY, NMHDR).
constexpr UINT NM_LABEL_CLICK = 0x8200;

/// The kit's text control: a static that paints itself completely, double-buffered, with its own font,
/// text and background colours (solid or a horizontal gradient), 3-D or rotated text, transparency over
/// the parent, blinking text and hyperlink or e-mail behaviour. Attached to a dialog's static by
/// subclassing (it takes over the control's font) or created. Configuration calls return the label so
/// they can be chained. User-interface thread only.
class CLabel : public CStatic
{
public:
    CLabel();
    ~CLabel() override;

    virtual CLabel& SetBkColor(COLORREF back, COLORREF backEnd = 0, int fillMode = 0);
    /// `alpha` is accepted for the callers' sake and ignored.
    virtual CLabel& SetTextColor(COLORREF text, BYTE alpha = 255);
    virtual CLabel& SetText(const CString& text);
    /// Repaints only when `text` differs from the text painted last; a non-empty text is painted instead of
    /// the window text, an empty one lets the window text show again.
    virtual CLabel& UpdateText(const CString& text);
    virtual CLabel& SetFontBold(BOOL bold);
    virtual CLabel& SetFontUnderline(BOOL underline);
    virtual CLabel& SetFontItalic(BOOL italic);
    /// Height (int)(points * -96 / 72.0): 8 points -> -10.
    virtual CLabel& SetFontSize(int points);
    virtual CLabel& SetSunken(BOOL sunken);
    virtual CLabel& SetBorder(BOOL border);
    virtual CLabel& SetTransparent(BOOL transparent);
    /// Blinks the text every `intervalMs` for `count` blinks (count <= 0: until turned off).
    virtual CLabel& FlashText(BOOL on, UINT intervalMs = 500, int count = -1);
    virtual CLabel& FlashBackground(BOOL on);
    virtual CLabel& SetLink(BOOL link, BOOL notifyParent);
    virtual CLabel& SetLinkCursor(HCURSOR cursor);
    /// type 0 raised, non-zero sunken.
    virtual CLabel& SetFont3D(BOOL on, int type = 0);
    virtual CLabel& SetRotationAngle(int degrees, BOOL rotate);
    virtual CLabel& SetText3DHiliteColor(COLORREF colour);
    virtual CLabel& SetFont(const LOGFONT* font);
    virtual CLabel& SetMailLink(BOOL mail, BOOL notifyParent);
    virtual CLabel& SetLinkTarget(const CString& target);
    /// Face of at most 31 bytes.
    virtual CLabel& SetFontName(const CString& face, BYTE charset = DEFAULT_CHARSET);

    CLabel& SetFontFace(const CString& face, BOOL antialias, int reserved = 0);
    /// The label's own font, for measuring text as the label draws it.
    CFont& GetLabelFont() { return m_font; }

    /// Replaces the shell's opening of links (verb, target), for tests; nullptr restores it.
    static void SetShellOpenHook(std::function<void(const char* verb, const char* target)> hook);

    afx_msg void OnDestroy();

protected:
    void PreSubclassWindow() override;
    BOOL PreCreateWindow(CREATESTRUCT& cs) override;

    afx_msg void OnTimer(UINT_PTR id);
    afx_msg void OnLButtonDown(UINT flags, CPoint point);
    afx_msg BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message);
    afx_msg void OnSysColorChange();
    afx_msg void OnPaint();
    afx_msg BOOL OnEraseBkgnd(CDC* dc);
    afx_msg HBRUSH CtlColor(CDC* dc, UINT ctlColor);
    afx_msg void OnUpdateUIState(UINT action, UINT state);

    DECLARE_MESSAGE_MAP()

private:
    void Repaint();
    void ReconstructFont();
    void Paint(CDC* target);
    static void DrawGradient(CDC* dc, const RECT& rect, COLORREF start, COLORREF end);

    COLORREF m_crText;
    COLORREF m_cr3DHiliteColor = 0xFFFFFF;
    HBRUSH m_hwndBrush = nullptr;
    HBRUSH m_hBackBrush = nullptr;
    LOGFONT m_lf{};
    CFont m_font;
    BOOL m_bState = FALSE;
    BOOL m_bTimer = FALSE;
    int m_Link = 0;
    BOOL m_bTransparent = FALSE;
    BOOL m_bFontAntiAlias = FALSE;
    BOOL m_bFont3d = FALSE;
    BOOL m_bNotifyParent = FALSE;
    BOOL m_bRotation = FALSE;
    int m_Type = 0;
    HCURSOR m_hCursor = nullptr;
    int m_3dType = 0;
    int m_fillmode = 0;
    COLORREF m_crHiColor = 0;
    COLORREF m_crLoColor = 0;
    CString m_sLink;
    int m_nFlashCount = 0;
    CString m_strText;
    CString m_strPaintedText;
};
