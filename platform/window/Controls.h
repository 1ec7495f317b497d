#pragma once

#include "platform/window/CommCtrl.h"
#include "platform/window/Wnd.h"

/// The class library's wrappers of the layer's controls: buttons, statics, the edit control, scroll bars
/// and the tooltip control. Each is a CWnd whose member functions send the control's messages.

class PLATFORM_API CButton : public CWnd
{
    DECLARE_DYNAMIC(CButton)
public:
    BOOL Create(LPCTSTR caption, DWORD style, const RECT& rect, CWnd* parent, UINT id);
    int GetCheck() const;
    void SetCheck(int check);
    UINT GetState() const;
    void SetState(BOOL highlight);
    UINT GetButtonStyle() const;
    void SetButtonStyle(UINT style, BOOL redraw = TRUE);
    HBITMAP SetBitmap(HBITMAP bitmap);
    HBITMAP GetBitmap() const;
    /// Draws an owner-drawn button; called when the parent reflects WM_DRAWITEM.
    virtual void DrawItem(LPDRAWITEMSTRUCT drawItem);
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

class PLATFORM_API CStatic : public CWnd
{
    DECLARE_DYNAMIC(CStatic)
public:
    BOOL Create(LPCTSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id = 0xFFFF);
    HBITMAP SetBitmap(HBITMAP bitmap);
    HBITMAP GetBitmap() const;
    virtual void DrawItem(LPDRAWITEMSTRUCT drawItem);
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

class PLATFORM_API CEdit : public CWnd
{
    DECLARE_DYNAMIC(CEdit)
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    void SetSel(int start, int end, BOOL noScroll = FALSE);
    void GetSel(int& start, int& end) const;
    DWORD GetSel() const;
    void ReplaceSel(LPCTSTR text, BOOL canUndo = FALSE);
    void LimitText(int chars = 0);
    void SetLimitText(UINT chars);
    UINT GetLimitText() const;
    BOOL SetReadOnly(BOOL readOnly = TRUE);
    BOOL GetModify() const;
    void SetModify(BOOL modified = TRUE);
    BOOL CanUndo() const;
    BOOL Undo();
    void EmptyUndoBuffer();
    void SetRect(LPCRECT rect);
    void SetRectNP(LPCRECT rect);
    void GetRect(LPRECT rect) const;
    void Cut();
    void Copy();
    void Paste();
    void Clear();
};

class PLATFORM_API CScrollBar : public CWnd
{
    DECLARE_DYNAMIC(CScrollBar)
};

/// The tooltip control. AddTool without a tool id makes the window itself the tool (TTF_IDISHWND, owned by
/// its parent); with an id, the rectangle of the window is the tool.
class PLATFORM_API CToolTipCtrl : public CWnd
{
    DECLARE_DYNAMIC(CToolTipCtrl)
public:
    BOOL Create(CWnd* parent, DWORD style = 0);
    BOOL AddTool(CWnd* wnd, LPCTSTR text = LPSTR_TEXTCALLBACK, LPCRECT toolRect = nullptr,
                 UINT_PTR toolId = 0);
    BOOL AddTool(CWnd* wnd, UINT textId, LPCRECT toolRect = nullptr, UINT_PTR toolId = 0);
    void DelTool(CWnd* wnd, UINT_PTR toolId = 0);
    void UpdateTipText(LPCTSTR text, CWnd* wnd, UINT_PTR toolId = 0);
    void UpdateTipText(UINT textId, CWnd* wnd, UINT_PTR toolId = 0);
    void SetToolRect(CWnd* wnd, UINT_PTR toolId, LPCRECT rect);
    void Activate(BOOL activate);
    void SetDelayTime(UINT delay);
    void SetDelayTime(DWORD duration, int time);
    int GetDelayTime(DWORD duration) const;
    int SetMaxTipWidth(int width);
    int GetToolCount() const;
    void RelayEvent(LPMSG msg);
    BOOL SetTitle(UINT icon, LPCTSTR title);
    void SetTipBkColor(COLORREF color);
    void SetTipTextColor(COLORREF color);
    void Pop();
    void Update();

private:
    void FillInToolInfo(TOOLINFO& info, CWnd* wnd, UINT_PTR toolId) const;
};

namespace platform::window
{
/// The tooltip control that shows the tips of the windows with tooltips on (CWnd::EnableToolTips): one per
/// thread, made by the first EnableToolTips, TTS_ALWAYSTIP | TTS_NOPREFIX, owned by no window. Null before
/// that or once its window is destroyed. Handlers of TTN_NEEDTEXTA/W may restyle or retime it.
PLATFORM_API CToolTipCtrl* ThreadToolTip();
} // namespace platform::window
