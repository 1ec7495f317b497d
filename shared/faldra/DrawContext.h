#pragma once

#include "platform/resources/Resources.h"
#include "shared/faldra/Export.h"
#include "shared/faldra/ModularImage.h"

namespace faldra
{
/// One owner-drawn item to paint, filled from a DRAWITEMSTRUCT.
struct FALDRA_API ITEMCONTEXT
{
    HWND hwndItem = nullptr;
    HDC hDC = nullptr;
    UINT itemAction = 0;
    UINT itemState = 0;
    RECT rcItem{};
    const char* text = nullptr; ///< not owned; null for none
    ULONG_PTR itemData = 0;
};

/// The painter of owner-drawn items: font, text format, colours and the background and highlight images.
/// Owns its font and images; used on the thread of the windows that own it.
class FALDRA_API CDrawContext
{
public:
    CDrawContext();
    CDrawContext(const CDrawContext& other);
    CDrawContext& operator=(const CDrawContext& other);
    virtual ~CDrawContext();

    /// While non-zero, selected text is drawn in 0xFFFFFF and all other text in 0x333333.
    BOOL m_bFixedTextColors = FALSE;

    /// Finds `name` of `type` in the calling program's resources (AfxFindResourceHandle) and loads it when
    /// `type` is RT_BITMAP; null otherwise or when it does not load. The caller owns the bitmap.
    static HANDLE LoadResourceHlp(const char* name, const char* type);
    /// Throws CNullPointerException for a null `dis`.
    static void FillItemContextHlp(ITEMCONTEXT& item, DRAWITEMSTRUCT* const dis, const char* text);

    /// Face names are cut to 31 characters; DEFAULT_CHARSET keeps the current character set.
    void SetFont(const CString& face, int height, int width, BYTE charset = DEFAULT_CHARSET);
    /// Returns a font made from the stored description (the caller owns it); the context then uses `font`
    /// itself (taking ownership) or, with `copy`, a font of its description. A null font stands for the
    /// system's icon-title font.
    HFONT SetFont(HFONT font, bool copy);
    void ReconstructFont();
    CFont& GetFont() { return m_font; }
    const LOGFONTA& GetLogFont() const { return m_logFont; }

    /// Keeps only the alignment, no-prefix, right-to-left and ellipsis flags, and adds DT_SINGLELINE.
    void SetFormat(UINT format) { m_format = (format & 0x6080F) | DT_SINGLELINE; }
    UINT GetFormat() const { return m_format; }
    void SetIndentation(int indentation) { m_indentation = indentation; }
    int GetIndentation() const { return m_indentation; }
    void SetHighlightOpacity(UINT percent) { m_highlightOpacity = percent > 100 ? 100 : percent; }
    UINT GetHighlightOpacity() const { return m_highlightOpacity; }

    /// The context takes ownership of the image and deletes the one held so far.
    void SetBackground(CModularImage* image);
    void SetHighlight(CModularImage* image);
    CModularImage* GetBackground() const { return m_background; }
    CModularImage* GetHighlight() const { return m_highlight; }
    /// A plain colour is an image without bitmaps; returns the previous colour.
    COLORREF SetBackColor(COLORREF color);
    COLORREF SetBackHighlight(COLORREF color);
    COLORREF GetBackColor(COLORREF* highlight = nullptr) const;

    COLORREF SetTextColor(COLORREF color) { return SetInternalColor(color, m_textColor); }
    COLORREF SetDisabledColor(COLORREF color) { return SetInternalColor(color, m_disabledColor); }
    /// Stores nothing: the text highlight colour stays as constructed.
    COLORREF SetTextHighlight(COLORREF color) { return SetInternalColor_New(color); }
    COLORREF GetTextColor(COLORREF* highlight = nullptr) const;
    COLORREF GetDisabledColor() const { return m_disabledColor; }
    void SetBackMode() {}

    /// Stores `value` into `member` and returns its old value. Public: calling programs set colours with it.
    COLORREF SetInternalColor(COLORREF value, COLORREF& member);
    COLORREF SetInternalColor_New(COLORREF value) { return value; }

    /// Throws CNullPointerException for a null item. Leaves the item's rectangle as the DC's clipping.
    virtual void DrawItem(ITEMCONTEXT* const item);
    virtual void DrawBackground(HWND hwnd, HDC hdc);

private:
    void CopyCommon(const CDrawContext& other);

    LOGFONTA m_logFont{};
    CFont m_font;
    UINT m_format = DT_SINGLELINE | DT_VCENTER;
    UINT m_highlightOpacity = 80;
    int m_indentation = 0;
    CModularImage* m_background = nullptr;
    CModularImage* m_highlight = nullptr;
    COLORREF m_textColor = 0;
    COLORREF m_textHighlightColor = 0xFFFFFFFF;
    COLORREF m_disabledColor = 0x88888888;
};

/// The draw context of the list box.
class FALDRA_API CLBDrawContext : public CDrawContext
{
public:
    CLBDrawContext() = default;
    CLBDrawContext(const CLBDrawContext& other) = default;
    CLBDrawContext& operator=(const CLBDrawContext& other) = default;
    ~CLBDrawContext() override = default;
};

/// The draw context of the combo box.
class FALDRA_API CCBDrawContext : public CDrawContext
{
public:
    CCBDrawContext() = default;
    CCBDrawContext(const CCBDrawContext& other) = default;
    CCBDrawContext& operator=(const CCBDrawContext& other) = default;
    ~CCBDrawContext() override = default;
};
} // namespace faldra
