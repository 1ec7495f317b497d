#pragma once

#include "platform/commctrl2/ComboBox.h"
#include "shared/faldra/CBPopupCtl.h"
#include "shared/faldra/Export.h"
#include "shared/faldra/SkinListBox.h"
#include "shared/faldra/SkinScrollbar.h"

namespace faldra
{
/// Posted by the popup to itself to redraw its scroll bar once after a right-to-left drop-down.
constexpr UINT WM_CB_SCROLL_REDRAW = WM_USER + 4145;

/// The drop-down popup of the skinned combo box: a borderless pop-up dialog holding a skinned owner-drawn
/// list (id 1) and a skinned vertical scroll bar (id 2). Reports choices to the combo and its parent as
/// combo notifications and forwards keyboard input to the combo. User-interface thread only; raises
/// nothing.
class FALDRA_API CCBDlgCtrl : public CDialog, public CCBPopupCtl
{
public:
    explicit CCBDlgCtrl(CComboBox& owner);
    CCBDlgCtrl(const CCBDlgCtrl&) = delete;
    CCBDlgCtrl& operator=(const CCBDlgCtrl&) = delete;
    ~CCBDlgCtrl() override;

    /// `rect` gives the width and height of the native list replaced; `margins` the space between the
    /// popup's edge and its children. False when the popup window cannot be made.
    bool Create(CRect rect, DWORD listStyle, CSize margins);
    CSkinListBox& GetListBox() { return m_list; }
    CSkinScrollbar& GetScrollbar() { return m_scroll; }

    void SetScrollBitmaps(DWORD up, DWORD down, DWORD box, DWORD channel);
    /// The list's draw context takes the font (or a copy); the font it gives back is deleted.
    void SetFont(HFONT font, bool copy);
    void SetHighlightImage(CModularImage* image) { m_list.SetHighlightImage(image); }
    void SetBackgroundImage(CModularImage* image) { m_list.SetBackgroundImage(image); }
    void SetIndentation(int indentation) { m_list.SetIndentation(indentation); }
    COLORREF SetTextColor(COLORREF color) { return m_list.SetTextColor(color); }
    COLORREF SetTextHighlight(COLORREF color) { return m_list.SetTextHighlight(color); }
    COLORREF SetBackColor(COLORREF color) { return m_list.SetBackColor(color); }
    COLORREF SetBackHighlight(COLORREF color) { return m_list.SetBackHighlight(color); }

    int InitStorage(int items, UINT bytes) override;
    int GetCount() const override;
    int GetHorizontalExtent() const override;
    DWORD GetItemData(int index) const override;
    void* GetItemDataPtr(int index) const override;
    int GetItemHeight(int index) const override;
    int GetItemRect(int index, RECT* rect) const override;
    LCID GetLocale() const override;
    int GetSel(int index) const override;
    void GetText(int index, CString& text) const override;
    int GetText(int index, char* buffer) const override;
    int GetTextLen(int index) const override;
    int GetTopIndex() const override;
    void SetHorizontalExtent(int extent) override;
    int SetItemData(int index, DWORD data) override;
    int SetItemDataPtr(int index, void* data) override;
    int SetItemHeight(int index, UINT height) override;
    LCID SetLocale(LCID locale) override;
    int SetTopIndex(int index) override;
    int GetCurSel() const override;
    int SetCurSel(int index) override;
    int AddString(const char* text) override;
    int DeleteString(UINT index) override;
    int Dir(UINT attributes, const char* pattern) override;
    int FindString(int start, const char* text) const override;
    int FindStringExact(int start, const char* text) const override;
    int InsertString(int index, const char* text) override;
    void ResetContent() override;
    int SelectString(int start, const char* text) override;
    void Destroy() override;

    /// CBN_DROPDOWN after the combo shows the popup: the list starts at the selection. Returns 0.
    virtual LRESULT Notify(UINT code, WPARAM wParam, LPARAM lParam);

    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override {}

protected:
    virtual void AdjustHeight();
    DWORD GetListStyle() const { return m_listStyle; }

    afx_msg void OnSize(UINT type, int cx, int cy);
    afx_msg void OnListSelChange();
    afx_msg void OnPaint();
    afx_msg void OnShowWindow(BOOL show, UINT status);
    afx_msg void OnActivate(UINT state, CWnd* other, BOOL minimized);
    afx_msg BOOL OnMouseWheel(UINT flags, short delta, CPoint point);
    afx_msg void OnKeyDown(UINT key, UINT repeat, UINT flags);
    afx_msg void OnTimer(UINT_PTR id);
    afx_msg LRESULT OnScrollRedraw(WPARAM, LPARAM);
    afx_msg LRESULT OnDeleteItem(WPARAM, LPARAM);
    afx_msg LRESULT OnCompareItem(WPARAM, LPARAM);
    DECLARE_MESSAGE_MAP()

private:
    LRESULT List(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    bool IsRightToLeft() const;
    bool ScrollShown() const;
    void Layout(int cx, int cy);
    void SetScrollRange(int count);
    void NotifyParent(UINT code);

    CSkinListBox m_list;
    CSkinScrollbar m_scroll;
    CComboBox& m_owner;
    int m_marginX = 0;
    int m_marginY = 0;
    int m_maxListHeight = 0;
    int m_width = 0;
    DWORD m_listStyle = 0;
};
} // namespace faldra
