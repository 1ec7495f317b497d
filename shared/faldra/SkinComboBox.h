#pragma once

#include "platform/commctrl2/ComboBox.h"
#include "shared/faldra/CBDlgCtrl.h"
#include "shared/faldra/DrawContext.h"
#include "shared/faldra/Export.h"
#include "shared/faldra/SkinWidget.h"

namespace faldra
{
/// Makes the drop-down popup of a combo box from its native list.
template <class TPopup> class CCBCtlFactory
{
public:
    virtual ~CCBCtlFactory() = default;
    /// A new popup filled from `list` (the caller owns it), or null.
    virtual TPopup* CreateCBPopupCtl(CListBox* list, CComboBox& combo) = 0;
};

template <class TPopup> class CCustomComboBox;

/// A combo box whose native list is replaced at subclassing by a popup made by the factory; the list
/// messages are answered from the popup (0 without one). User-interface thread only.
template <> class FALDRA_API CCustomComboBox<CCBDlgCtrl> : public CComboBox
{
public:
    explicit CCustomComboBox(CCBCtlFactory<CCBDlgCtrl>& factory) : m_factory(factory) {}
    CCustomComboBox(const CCustomComboBox&) = delete;
    CCustomComboBox& operator=(const CCustomComboBox&) = delete;
    ~CCustomComboBox() override;

    CCBDlgCtrl* GetPopupCtrl() const { return m_popup; }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

protected:
    void PreSubclassWindow() override;
    /// Throws COutOfMemoryException when the factory makes no popup.
    void ReplaceStdCtrl();

private:
    void Redraw();
    void SetTextFromItem(int index);
    LRESULT DoShowDropDown(WPARAM show);
    void Notify(UINT code);

    CCBCtlFactory<CCBDlgCtrl>& m_factory;
    CCBDlgCtrl* m_popup = nullptr;
    bool m_dropped = false;
};

/// The skinned drop-down list: its face is painted from three bitmaps of the calling program and its
/// draw context, its list is the skinned popup widened by the extra popup width.
class FALDRA_API CSkinComboBox : public CCustomComboBox<CCBDlgCtrl>, public CSkinWidget
{
public:
    class FALDRA_API CPopupInternalFactory : public CCBCtlFactory<CCBDlgCtrl>
    {
    public:
        explicit CPopupInternalFactory(int extraWidth) : m_extraWidth(extraWidth) {}
        /// Throws CInvalidArgumentException for a null list.
        CCBDlgCtrl* CreateCBPopupCtl(CListBox* list, CComboBox& combo) override;

    private:
        int m_extraWidth;
    };

    explicit CSkinComboBox(int extraPopupWidth = 0);
    ~CSkinComboBox() override;

    void SetSkin(UINT left, UINT centre, UINT right, UINT style);
    /// These throw CNullPointerException while there is no popup.
    void SetVScrollSkin(UINT up, UINT channel, UINT boxTop, UINT boxCentre, UINT boxBottom, UINT down);
    COLORREF SetTextColor(COLORREF color);
    COLORREF SetTextHighlight(COLORREF color);
    COLORREF SetBackColor(COLORREF color);
    COLORREF SetBackHighlight(COLORREF color);
    void SetIndentation(int indentation);
    /// The combo takes `image`; the popup gets a copy.
    void SetHighlightImage(CModularImage* image);
    CSkinListBox& GetListBox();

    void SetFont(CString face, int height, int width);
    void SetFontColor(COLORREF color) { m_context.SetTextColor(color); }
    /// Adjusted at 120 dots per inch; nothing before the window exists.
    void SetEditRectangle(const RECT* rect);
    const CRect& GetEditRectangle() const { return m_editRect; }
    const CRect& GetButtonRectangle() const { return m_buttonRect; }
    CDrawContext& GetDrawContext() { return m_context; }
    CModularImage* GetBackground() const { return m_context.GetBackground(); }
    CModularImage* GetHighlight() const { return m_context.GetHighlight(); }
    int GetIndentation() const { return m_context.GetIndentation(); }
    COLORREF GetTextColor(COLORREF* highlight = nullptr) const { return m_context.GetTextColor(highlight); }
    COLORREF GetBackColor(COLORREF* highlight = nullptr) const { return m_context.GetBackColor(highlight); }
    /// Closes the drop-down first.
    BOOL EnableWindow(BOOL enable = TRUE);

    void DrawItem(LPDRAWITEMSTRUCT drawItem) override;
    void MeasureItem(LPMEASUREITEMSTRUCT measureItem) override;

protected:
    void PreSubclassWindow() override;
    afx_msg void OnPaint();
    DECLARE_MESSAGE_MAP()

private:
    void SetBackgroundImage(CModularImage* image) { m_context.SetBackground(image); }
    /// The edit rectangle fitted into the window, where the closed face shows the chosen item.
    CRect FaceRectangle() const;

    CRect m_editRect;
    CRect m_buttonRect;
    CCBDrawContext m_context;
    CPopupInternalFactory m_factory;
};
} // namespace faldra
