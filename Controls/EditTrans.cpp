#include "Controls/EditTrans.h"

#include "Controls/KitResources.h"
#include "platform/commctrl/Caret.h"
#include "platform/resources/Resources.h"

BEGIN_MESSAGE_MAP(CEditTrans, CEdit)
ON_WM_CTLCOLOR_REFLECT()
ON_CONTROL_REFLECT_EX(EN_UPDATE, OnUpdate)
ON_WM_LBUTTONDOWN()
ON_CONTROL_REFLECT_EX(EN_KILLFOCUS, OnKillFocus)
ON_CONTROL_REFLECT_EX(EN_SETFOCUS, OnSetFocus)
ON_WM_MOUSEMOVE()
ON_CONTROL_REFLECT(EN_HSCROLL, OnHScroll)
ON_WM_STYLECHANGED()
ON_WM_SETCURSOR()
ON_WM_KEYDOWN()
END_MESSAGE_MAP()

CEditTrans::CEditTrans() = default;

CEditTrans::~CEditTrans()
{
    if (m_caret.GetSafeHandle())
        DestroyCaret();
}

void CEditTrans::SetTextColor(COLORREF color)
{
    m_crText = color;
    InvalidateParentArea();
    // The edit keeps a picture of its own over the parent's; it asks for the new colours when it repaints.
    if (m_hWnd)
        Invalidate();
}

void CEditTrans::SetBkColor(COLORREF color)
{
    m_crBack = color;
    InvalidateParentArea();
    if (m_hWnd)
        Invalidate();
}

void CEditTrans::InvalidateParentArea()
{
    if (!m_hWnd)
        return;
    CWnd* parent = GetParent();
    if (!parent)
        return;
    CRect rect;
    GetWindowRect(&rect);
    parent->ScreenToClient(&rect);
    parent->InvalidateRect(&rect, TRUE);
}

void CEditTrans::CenterTextVertically()
{
    if (!m_hWnd)
        return;
    CDC* dc = GetDC();
    const int textHeight = dc ? dc->GetTextExtent("A").cy : 0;
    if (dc)
        ReleaseDC(dc);
    CRect rect;
    GetClientRect(&rect);
    const int inset = rect.Height() / 2 - textHeight / 2;
    rect.top += inset;
    rect.bottom -= inset;
    SetRect(&rect);
}

HBRUSH CEditTrans::CtlColor(CDC* dc, UINT)
{
    if (!m_caret.GetSafeHandle())
    {
        if (m_caret.Attach(LoadKitBitmap(kCaretBitmap)))
        {
            ::CreateCaret(m_hWnd, m_caret, 0, 0);
            ::SetCaretPos(0, 0);
            // A field that already has the focus has had its focus notice: showing the caret is left to
            // this request, or the field would have no caret until the focus leaves and returns.
            if (::GetFocus() == m_hWnd)
                ::ShowCaret(m_hWnd);
            else
                ::HideCaret(m_hWnd);
        }
    }
    m_brush.DeleteObject();
    if (m_crBack == CLR_INVALID)
    {
        m_brush.CreateStockObject(NULL_BRUSH);
        dc->SetBkMode(TRANSPARENT);
    }
    else
    {
        m_brush.CreateSolidBrush(m_crBack);
        dc->SetBkColor(m_crBack);
    }
    dc->SetTextColor(m_crText);
    return m_brush;
}

BOOL CEditTrans::OnSetFocus()
{
    if (m_caret.GetSafeHandle())
    {
        CString text;
        GetWindowText(text);
        SetWindowText(text);
        if (!text.IsEmpty())
        {
            SendMessage(EM_SETSEL, 0, -1);
            SendMessage(EM_SCROLLCARET);
        }
        ::ShowCaret(m_hWnd);
    }
    return FALSE;
}

BOOL CEditTrans::OnKillFocus()
{
    ::HideCaret(m_hWnd);
    SendMessage(EM_SETSEL, static_cast<WPARAM>(-1), 0);
    SendMessage(EM_SCROLLCARET);
    InvalidateParentArea();
    return FALSE;
}

BOOL CEditTrans::OnUpdate()
{
    SendMessage(EM_EMPTYUNDOBUFFER);
    InvalidateParentArea();
    return FALSE;
}

void CEditTrans::OnHScroll()
{
    InvalidateParentArea();
}

void CEditTrans::OnLButtonDown(UINT, CPoint)
{
    InvalidateParentArea();
    Default();
}

void CEditTrans::OnKeyDown(UINT, UINT, UINT)
{
    InvalidateParentArea();
    Default();
}

void CEditTrans::OnStyleChanged(int, STYLESTRUCT*)
{
    InvalidateParentArea();
    Default();
}

void CEditTrans::OnMouseMove(UINT flags, CPoint)
{
    if (flags & MK_LBUTTON)
        InvalidateParentArea();
    Default();
}

BOOL CEditTrans::OnSetCursor(CWnd*, UINT, UINT)
{
    const LPCSTR name = MAKEINTRESOURCE(kCursor);
    HCURSOR cursor = ::LoadCursor(FindKitResourceModule(name, RT_GROUP_CURSOR), name);
    // Without the module's own cursor the pointer would vanish over the field; the text cursor stands in.
    ::SetCursor(cursor ? cursor : ::LoadCursor(nullptr, IDC_IBEAM));
    return TRUE;
}
