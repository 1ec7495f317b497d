// The class library's control wrappers.

#include "platform/window/Controls.h"

IMPLEMENT_DYNAMIC(CButton, CWnd)
IMPLEMENT_DYNAMIC(CStatic, CWnd)
IMPLEMENT_DYNAMIC(CEdit, CWnd)
IMPLEMENT_DYNAMIC(CScrollBar, CWnd)
IMPLEMENT_DYNAMIC(CToolTipCtrl, CWnd)

BOOL CButton::Create(LPCTSTR caption, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CWnd::Create(WC_BUTTON, caption, style, rect, parent, id);
}

int CButton::GetCheck() const
{
    return static_cast<int>(SendMessage(BM_GETCHECK));
}

void CButton::SetCheck(int check)
{
    SendMessage(BM_SETCHECK, static_cast<WPARAM>(check));
}

UINT CButton::GetState() const
{
    return static_cast<UINT>(SendMessage(BM_GETSTATE));
}

void CButton::SetState(BOOL highlight)
{
    SendMessage(BM_SETSTATE, static_cast<WPARAM>(highlight));
}

UINT CButton::GetButtonStyle() const
{
    return GetStyle() & 0xFFFF;
}

void CButton::SetButtonStyle(UINT style, BOOL redraw)
{
    SendMessage(BM_SETSTYLE, style, redraw);
}

HBITMAP CButton::SetBitmap(HBITMAP bitmap)
{
    return reinterpret_cast<HBITMAP>(
        SendMessage(BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
}

HBITMAP CButton::GetBitmap() const
{
    return reinterpret_cast<HBITMAP>(SendMessage(BM_GETIMAGE, IMAGE_BITMAP));
}

void CButton::DrawItem(LPDRAWITEMSTRUCT) {}

BOOL CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message != WM_DRAWITEM)
        return CWnd::OnChildNotify(message, wParam, lParam, result);
    DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
    return TRUE;
}

BOOL CStatic::Create(LPCTSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CWnd::Create(WC_STATIC, text, style, rect, parent, id);
}

HBITMAP CStatic::SetBitmap(HBITMAP bitmap)
{
    return reinterpret_cast<HBITMAP>(
        SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
}

HBITMAP CStatic::GetBitmap() const
{
    return reinterpret_cast<HBITMAP>(SendMessage(STM_GETIMAGE, IMAGE_BITMAP));
}

void CStatic::DrawItem(LPDRAWITEMSTRUCT) {}

BOOL CStatic::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message != WM_DRAWITEM)
        return CWnd::OnChildNotify(message, wParam, lParam, result);
    DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
    return TRUE;
}

BOOL CEdit::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CWnd::Create(WC_EDIT, nullptr, style, rect, parent, id);
}

void CEdit::SetSel(int start, int end, BOOL noScroll)
{
    SendMessage(EM_SETSEL, static_cast<WPARAM>(start), end);
    if (!noScroll)
        SendMessage(EM_SCROLLCARET);
}

void CEdit::GetSel(int& start, int& end) const
{
    DWORD s = 0, e = 0;
    SendMessage(EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
    start = static_cast<int>(s);
    end = static_cast<int>(e);
}

DWORD CEdit::GetSel() const
{
    return static_cast<DWORD>(SendMessage(EM_GETSEL));
}

void CEdit::ReplaceSel(LPCTSTR text, BOOL canUndo)
{
    SendMessage(EM_REPLACESEL, static_cast<WPARAM>(canUndo), reinterpret_cast<LPARAM>(text));
}

void CEdit::LimitText(int chars)
{
    SendMessage(EM_LIMITTEXT, static_cast<WPARAM>(chars));
}

void CEdit::SetLimitText(UINT chars)
{
    SendMessage(EM_SETLIMITTEXT, chars);
}

UINT CEdit::GetLimitText() const
{
    return static_cast<UINT>(SendMessage(EM_GETLIMITTEXT));
}

BOOL CEdit::SetReadOnly(BOOL readOnly)
{
    return static_cast<BOOL>(SendMessage(EM_SETREADONLY, static_cast<WPARAM>(readOnly)));
}

BOOL CEdit::GetModify() const
{
    return static_cast<BOOL>(SendMessage(EM_GETMODIFY));
}

void CEdit::SetModify(BOOL modified)
{
    SendMessage(EM_SETMODIFY, static_cast<WPARAM>(modified));
}

BOOL CEdit::CanUndo() const
{
    return static_cast<BOOL>(SendMessage(EM_CANUNDO));
}

BOOL CEdit::Undo()
{
    return static_cast<BOOL>(SendMessage(EM_UNDO));
}

void CEdit::EmptyUndoBuffer()
{
    SendMessage(EM_EMPTYUNDOBUFFER);
}

void CEdit::SetRect(LPCRECT rect)
{
    SendMessage(EM_SETRECT, 0, reinterpret_cast<LPARAM>(rect));
}

void CEdit::SetRectNP(LPCRECT rect)
{
    SendMessage(EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(rect));
}

void CEdit::GetRect(LPRECT rect) const
{
    SendMessage(EM_GETRECT, 0, reinterpret_cast<LPARAM>(rect));
}

void CEdit::Cut()
{
    SendMessage(WM_CUT);
}

void CEdit::Copy()
{
    SendMessage(WM_COPY);
}

void CEdit::Paste()
{
    SendMessage(WM_PASTE);
}

void CEdit::Clear()
{
    SendMessage(WM_CLEAR);
}

BOOL CToolTipCtrl::Create(CWnd* parent, DWORD style)
{
    return CWnd::CreateEx(WS_EX_TOPMOST, TOOLTIPS_CLASS, nullptr, WS_POPUP | style, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, parent ? parent->m_hWnd : nullptr,
                          nullptr);
}

void CToolTipCtrl::FillInToolInfo(TOOLINFO& info, CWnd* wnd, UINT_PTR toolId) const
{
    info = TOOLINFO{};
    info.cbSize = sizeof info;
    HWND hwnd = wnd ? wnd->m_hWnd : nullptr;
    if (toolId == 0)
    {
        info.hwnd = ::GetParent(hwnd);
        if (!info.hwnd)
            info.hwnd = hwnd;
        info.uFlags = TTF_IDISHWND;
        info.uId = reinterpret_cast<UINT_PTR>(hwnd);
    }
    else
    {
        info.hwnd = hwnd;
        info.uId = toolId;
    }
}

BOOL CToolTipCtrl::AddTool(CWnd* wnd, LPCTSTR text, LPCRECT toolRect, UINT_PTR toolId)
{
    TOOLINFO info;
    FillInToolInfo(info, wnd, toolId);
    if (toolRect)
        info.rect = *toolRect;
    info.lpszText = const_cast<LPSTR>(text);
    return static_cast<BOOL>(SendMessage(TTM_ADDTOOL, 0, reinterpret_cast<LPARAM>(&info)));
}

BOOL CToolTipCtrl::AddTool(CWnd* wnd, UINT textId, LPCRECT toolRect, UINT_PTR toolId)
{
    TOOLINFO info;
    FillInToolInfo(info, wnd, toolId);
    if (toolRect)
        info.rect = *toolRect;
    // The text is looked up as the class library looks up every string: language library first.
    CString text;
    text.LoadString(textId);
    info.lpszText = const_cast<LPSTR>(text.GetString());
    return static_cast<BOOL>(SendMessage(TTM_ADDTOOL, 0, reinterpret_cast<LPARAM>(&info)));
}

void CToolTipCtrl::DelTool(CWnd* wnd, UINT_PTR toolId)
{
    TOOLINFO info;
    FillInToolInfo(info, wnd, toolId);
    SendMessage(TTM_DELTOOL, 0, reinterpret_cast<LPARAM>(&info));
}

void CToolTipCtrl::UpdateTipText(LPCTSTR text, CWnd* wnd, UINT_PTR toolId)
{
    TOOLINFO info;
    FillInToolInfo(info, wnd, toolId);
    info.lpszText = const_cast<LPSTR>(text);
    SendMessage(TTM_UPDATETIPTEXT, 0, reinterpret_cast<LPARAM>(&info));
}

void CToolTipCtrl::UpdateTipText(UINT textId, CWnd* wnd, UINT_PTR toolId)
{
    TOOLINFO info;
    FillInToolInfo(info, wnd, toolId);
    CString text;
    text.LoadString(textId);
    info.lpszText = const_cast<LPSTR>(text.GetString());
    SendMessage(TTM_UPDATETIPTEXT, 0, reinterpret_cast<LPARAM>(&info));
}

void CToolTipCtrl::SetToolRect(CWnd* wnd, UINT_PTR toolId, LPCRECT rect)
{
    TOOLINFO info;
    FillInToolInfo(info, wnd, toolId);
    if (rect)
        info.rect = *rect;
    SendMessage(TTM_NEWTOOLRECT, 0, reinterpret_cast<LPARAM>(&info));
}

void CToolTipCtrl::Activate(BOOL activate)
{
    SendMessage(TTM_ACTIVATE, static_cast<WPARAM>(activate));
}

void CToolTipCtrl::SetDelayTime(UINT delay)
{
    SendMessage(TTM_SETDELAYTIME, TTDT_AUTOMATIC, static_cast<LPARAM>(delay));
}

void CToolTipCtrl::SetDelayTime(DWORD duration, int time)
{
    SendMessage(TTM_SETDELAYTIME, duration, MAKELPARAM(time, 0));
}

int CToolTipCtrl::GetDelayTime(DWORD duration) const
{
    return static_cast<int>(SendMessage(TTM_GETDELAYTIME, duration));
}

int CToolTipCtrl::SetMaxTipWidth(int width)
{
    return static_cast<int>(SendMessage(TTM_SETMAXTIPWIDTH, 0, width));
}

int CToolTipCtrl::GetToolCount() const
{
    return static_cast<int>(SendMessage(TTM_GETTOOLCOUNT));
}

void CToolTipCtrl::RelayEvent(LPMSG msg)
{
    SendMessage(TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg));
}

BOOL CToolTipCtrl::SetTitle(UINT icon, LPCTSTR title)
{
    return static_cast<BOOL>(SendMessage(TTM_SETTITLE, icon, reinterpret_cast<LPARAM>(title)));
}

void CToolTipCtrl::SetTipBkColor(COLORREF color)
{
    SendMessage(TTM_SETTIPBKCOLOR, color);
}

void CToolTipCtrl::SetTipTextColor(COLORREF color)
{
    SendMessage(TTM_SETTIPTEXTCOLOR, color);
}

void CToolTipCtrl::Pop()
{
    SendMessage(TTM_POP);
}

void CToolTipCtrl::Update()
{
    SendMessage(TTM_UPDATE);
}
