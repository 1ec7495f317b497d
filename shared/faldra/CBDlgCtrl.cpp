#include "shared/faldra/CBDlgCtrl.h"

#include <algorithm>
#include <vector>

namespace faldra
{
namespace
{
constexpr int kScrollWidth = 16;
constexpr int kArrowLength = 23;
constexpr UINT_PTR kRedrawTimer = 1;
constexpr UINT_PTR kHideTimer = 2;
constexpr UINT kRedrawDelayMs = 10;
constexpr UINT kRedraw = RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW;

/// A dialog template without controls: borderless pop-up, 1 x 1 units, 8-point "MS Sans Serif".
std::vector<WORD> PopupTemplate()
{
    std::vector<WORD> words(9, 0);
    const DWORD style = WS_POPUP | WS_CLIPSIBLINGS | DS_SETFONT;
    const DWORD exStyle = WS_EX_TOOLWINDOW;
    words[0] = LOWORD(style);
    words[1] = HIWORD(style);
    words[2] = LOWORD(exStyle);
    words[3] = HIWORD(exStyle);
    words[4] = 0;                            // no controls
    words[5] = 0;                            // x
    words[6] = 0;                            // y
    words[7] = 1;                            // cx
    words[8] = 1;                            // cy
    words.insert(words.end(), {0, 0, 0, 8}); // menu, class, title, point size
    for (const char* c = "MS Sans Serif"; *c; ++c)
        words.push_back(static_cast<WORD>(*c));
    words.push_back(0);
    return words;
}
} // namespace

BEGIN_MESSAGE_MAP(CCBDlgCtrl, CDialog)
ON_WM_SIZE()
ON_WM_ACTIVATE()
ON_LBN_SELCHANGE(1, OnListSelChange)
ON_WM_PAINT()
ON_WM_SHOWWINDOW()
ON_MESSAGE(WM_DELETEITEM, OnDeleteItem)
ON_MESSAGE(WM_COMPAREITEM, OnCompareItem)
ON_WM_MOUSEWHEEL()
ON_WM_KEYDOWN()
ON_MESSAGE(WM_CB_SCROLL_REDRAW, OnScrollRedraw)
ON_WM_TIMER()
END_MESSAGE_MAP()

CCBDlgCtrl::CCBDlgCtrl(CComboBox& owner) : m_owner(owner) {}

CCBDlgCtrl::~CCBDlgCtrl()
{
    Destroy();
}

bool CCBDlgCtrl::ScrollShown() const
{
    // The bar's own flag: the popup itself is hidden while it is filled.
    return m_scroll.GetSafeHwnd() && (m_scroll.GetStyle() & WS_VISIBLE);
}

bool CCBDlgCtrl::IsRightToLeft() const
{
    const HWND parent = ::GetParent(m_owner.GetSafeHwnd());
    return parent && (::GetWindowLongPtr(parent, GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
}

bool CCBDlgCtrl::Create(CRect rect, DWORD listStyle, CSize margins)
{
    const int width = rect.Width();
    const int height = rect.Height();
    m_marginX = margins.cx;
    m_marginY = margins.cy;
    m_width = width;
    m_listStyle = listStyle;
    const std::vector<WORD> words = PopupTemplate();
    if (!CreateIndirect(reinterpret_cast<LPCDLGTEMPLATE>(words.data()), m_owner.GetParent(),
                        words.size() * sizeof(WORD)))
        return false;
    SetWindowPos(nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const bool rtl = IsRightToLeft();
    const int mx = m_marginX;
    const int my = m_marginY;
    const CRect bar = rtl ? CRect(width - mx, my, width - mx + kScrollWidth, height - 2 * my)
                          : CRect(width - mx - kScrollWidth, my, width - mx, height - 2 * my);
    m_scroll.Create(nullptr, WS_CHILD | SBS_VERT | SS_NOTIFY, bar, this, 2);
    try
    {
        m_scroll.InitControl(kArrowLength, kArrowLength);
    }
    catch (const std::exception&)
    {
        // A bar too small for its arrows stays without elements; the list still works.
    }
    m_scroll.SetBuddy(m_list);
    const CRect list(mx, my, rtl ? width - 2 * mx + kScrollWidth : width - 2 * mx - kScrollWidth,
                     height - 2 * my);
    m_list.Create(WS_CHILD | WS_VISIBLE | LBS_NOTIFY | LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS, list, this, 1);
    m_maxListHeight = height - 3 * my;
    m_list.EnableMouseTracking(true);
    return true;
}

BOOL CCBDlgCtrl::OnInitDialog()
{
    CDialog::OnInitDialog();
    return TRUE;
}

void CCBDlgCtrl::SetScrollBitmaps(DWORD up, DWORD down, DWORD box, DWORD channel)
{
    m_scroll.SetVSkin(up, channel, static_cast<UINT>(-1), box, static_cast<UINT>(-1), down);
}

void CCBDlgCtrl::SetFont(HFONT font, bool copy)
{
    if (HFONT previous = m_list.GetDrawContext().SetFont(font, copy))
        ::DeleteObject(previous);
}

LRESULT CCBDlgCtrl::List(UINT message, WPARAM wParam, LPARAM lParam) const
{
    if (!m_list.GetSafeHwnd())
        return LB_ERR;
    return ::SendMessage(m_list.GetSafeHwnd(), message, wParam, lParam);
}

// --- list operations ---------------------------------------------------------------------------------------

int CCBDlgCtrl::InitStorage(int items, UINT bytes)
{
    return static_cast<int>(List(LB_INITSTORAGE, static_cast<WPARAM>(items), bytes));
}
int CCBDlgCtrl::GetCount() const
{
    return static_cast<int>(List(LB_GETCOUNT));
}
int CCBDlgCtrl::GetHorizontalExtent() const
{
    return static_cast<int>(List(LB_GETHORIZONTALEXTENT));
}
DWORD CCBDlgCtrl::GetItemData(int index) const
{
    return static_cast<DWORD>(List(LB_GETITEMDATA, static_cast<WPARAM>(index)));
}
void* CCBDlgCtrl::GetItemDataPtr(int index) const
{
    return reinterpret_cast<void*>(List(LB_GETITEMDATA, static_cast<WPARAM>(index)));
}
int CCBDlgCtrl::GetItemHeight(int index) const
{
    return static_cast<int>(List(LB_GETITEMHEIGHT, static_cast<WPARAM>(index)));
}
int CCBDlgCtrl::GetItemRect(int index, RECT* rect) const
{
    return static_cast<int>(List(LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(rect)));
}
LCID CCBDlgCtrl::GetLocale() const
{
    return static_cast<LCID>(List(LB_GETLOCALE));
}
int CCBDlgCtrl::GetSel(int index) const
{
    return static_cast<int>(List(LB_GETSEL, static_cast<WPARAM>(index)));
}
void CCBDlgCtrl::GetText(int index, CString& text) const
{
    if (m_list.GetSafeHwnd())
        m_list.GetText(index, text);
    else
        text.Empty();
}
int CCBDlgCtrl::GetText(int index, char* buffer) const
{
    return static_cast<int>(List(LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer)));
}
int CCBDlgCtrl::GetTextLen(int index) const
{
    return static_cast<int>(List(LB_GETTEXTLEN, static_cast<WPARAM>(index)));
}
int CCBDlgCtrl::GetTopIndex() const
{
    return static_cast<int>(List(LB_GETTOPINDEX));
}
void CCBDlgCtrl::SetHorizontalExtent(int extent)
{
    List(LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(extent));
}
int CCBDlgCtrl::SetItemData(int index, DWORD data)
{
    return static_cast<int>(List(LB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data)));
}
int CCBDlgCtrl::SetItemDataPtr(int index, void* data)
{
    return static_cast<int>(List(LB_SETITEMDATA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(data)));
}
int CCBDlgCtrl::SetItemHeight(int index, UINT height)
{
    return static_cast<int>(
        List(LB_SETITEMHEIGHT, static_cast<WPARAM>(index), MAKELPARAM(LOWORD(height), 0)));
}
LCID CCBDlgCtrl::SetLocale(LCID locale)
{
    return static_cast<LCID>(List(LB_SETLOCALE, locale));
}
int CCBDlgCtrl::SetTopIndex(int index)
{
    const auto result = static_cast<int>(List(LB_SETTOPINDEX, static_cast<WPARAM>(index)));
    if (result != LB_ERR)
        m_scroll.SetScrollPos(index, TRUE);
    return result;
}
int CCBDlgCtrl::GetCurSel() const
{
    return static_cast<int>(List(LB_GETCURSEL));
}
int CCBDlgCtrl::SetCurSel(int index)
{
    return m_list.GetSafeHwnd() ? m_list.SetCurSel(index) : LB_ERR;
}

void CCBDlgCtrl::SetScrollRange(int count)
{
    m_scroll.SetScrollRange(0, std::max(count - 1, 0), TRUE);
}

int CCBDlgCtrl::AddString(const char* text)
{
    const auto result = static_cast<int>(List(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
    if (result != LB_ERR)
    {
        AdjustHeight();
        SetScrollRange(GetCount());
    }
    return result;
}
int CCBDlgCtrl::InsertString(int index, const char* text)
{
    const auto result =
        static_cast<int>(List(LB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text)));
    if (result != LB_ERR)
    {
        AdjustHeight();
        SetScrollRange(GetCount());
    }
    return result;
}
int CCBDlgCtrl::DeleteString(UINT index)
{
    const auto result = static_cast<int>(List(LB_DELETESTRING, index));
    if (result != LB_ERR)
    {
        AdjustHeight();
        SetScrollRange(GetCount());
    }
    return result;
}
int CCBDlgCtrl::Dir(UINT attributes, const char* pattern)
{
    return static_cast<int>(List(LB_DIR, attributes, reinterpret_cast<LPARAM>(pattern)));
}
int CCBDlgCtrl::FindString(int start, const char* text) const
{
    return static_cast<int>(List(LB_FINDSTRING, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(text)));
}
int CCBDlgCtrl::FindStringExact(int start, const char* text) const
{
    return static_cast<int>(
        List(LB_FINDSTRINGEXACT, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(text)));
}
void CCBDlgCtrl::ResetContent()
{
    List(LB_RESETCONTENT);
    AdjustHeight();
    SetScrollRange(0);
}
int CCBDlgCtrl::SelectString(int start, const char* text)
{
    return static_cast<int>(
        List(LB_SELECTSTRING, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(text)));
}
void CCBDlgCtrl::Destroy()
{
    if (GetSafeHwnd())
        DestroyWindow();
}

// --- height and layout
// --------------------------------------------------------------------------------------

void CCBDlgCtrl::AdjustHeight()
{
    const int count = GetCount();
    if ((m_listStyle & LBS_NOINTEGRALHEIGHT) || count <= 0)
        return;
    const int itemHeight = GetItemHeight(0);
    // An unmeasured or failed item height cannot divide the list into rows.
    if (itemHeight <= 0)
        return;
    int rows = m_maxListHeight / itemHeight;
    const bool wasVisible = ScrollShown();
    const bool visible = count > rows;
    if (m_scroll.GetSafeHwnd())
        m_scroll.ShowWindow(visible ? SW_SHOW : SW_HIDE);
    m_list.SetIsScrollVisible(visible);
    if (!visible)
        rows = count;
    SCROLLINFO info{sizeof(SCROLLINFO), SIF_PAGE, 0, 0, static_cast<UINT>(std::max(rows, 0)), 0, 0};
    m_scroll.SetScrollInfo(&info, TRUE);
    SetWindowPos(nullptr, 0, 0, m_width, rows * itemHeight + 2 * m_marginY,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (visible != wasVisible)
    {
        CRect client;
        GetClientRect(&client);
        Layout(client.Width(), client.Height());
    }
}

void CCBDlgCtrl::Layout(int cx, int cy)
{
    if (!m_scroll.GetSafeHwnd() || !m_list.GetSafeHwnd())
        return;
    const bool visible = ScrollShown();
    const bool rtl = IsRightToLeft();
    const int mx = m_marginX;
    const int my = m_marginY;
    if (visible)
        m_scroll.SetWindowPos(nullptr, rtl ? 0 : cx - mx - kScrollWidth, my, kScrollWidth, cy - 2 * my,
                              SWP_NOZORDER | SWP_NOACTIVATE);
    const int listWidth = rtl ? cx - 2 * mx : cx - 2 * mx - (visible ? kScrollWidth : 0);
    m_list.SetWindowPos(nullptr, 0, 0, std::max(listWidth, 0), std::max(cy - 2 * my, 0),
                        SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CCBDlgCtrl::OnSize(UINT type, int cx, int cy)
{
    Default();
    if (type == SIZE_RESTORED)
        Layout(cx, cy);
}

// --- notifications
// ------------------------------------------------------------------------------------------

void CCBDlgCtrl::NotifyParent(UINT code)
{
    if (HWND parent = ::GetParent(m_owner.GetSafeHwnd()))
        ::SendMessage(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(m_owner.GetDlgCtrlID()), code),
                      reinterpret_cast<LPARAM>(m_owner.GetSafeHwnd()));
}

LRESULT CCBDlgCtrl::Notify(UINT code, WPARAM wParam, LPARAM lParam)
{
    if (code != CBN_DROPDOWN)
        return 0;
    m_list.Notify(code, static_cast<UINT>(wParam), lParam);
    const int selection = GetCurSel();
    if (selection != -1)
    {
        List(LB_SETTOPINDEX, static_cast<WPARAM>(selection));
        m_scroll.SetScrollPos(selection, FALSE);
    }
    if (IsRightToLeft() && GetSafeHwnd())
        SetTimer(kRedrawTimer, kRedrawDelayMs);
    return 0;
}

void CCBDlgCtrl::OnTimer(UINT_PTR id)
{
    if (id == kHideTimer)
    {
        KillTimer(kHideTimer);
        if (!m_owner.SendMessage(CB_GETDROPPEDSTATE))
            ShowWindow(SW_HIDE);
        return;
    }
    PostMessage(WM_CB_SCROLL_REDRAW);
    KillTimer(kRedrawTimer);
}

LRESULT CCBDlgCtrl::OnScrollRedraw(WPARAM, LPARAM)
{
    m_scroll.SetScrollPos(m_scroll.GetScrollPos() - 1, TRUE);
    return 1;
}

void CCBDlgCtrl::OnListSelChange()
{
    const int selection = GetCurSel();
    m_owner.SendMessage(CB_SETCURSEL, static_cast<WPARAM>(selection));
    m_owner.SendMessage(CB_SHOWDROPDOWN, FALSE);
    NotifyParent(CBN_SELENDOK);
    NotifyParent(CBN_SELCHANGE);
}

BOOL CCBDlgCtrl::PreTranslateMessage(MSG* msg)
{
    if (msg && msg->message >= WM_KEYDOWN && msg->message <= 0x108)
    {
        m_owner.SendMessage(msg->message, msg->wParam, msg->lParam);
        return TRUE;
    }
    return CDialog::PreTranslateMessage(msg);
}

void CCBDlgCtrl::OnKeyDown(UINT key, UINT, UINT)
{
    if (key != VK_UP && key != VK_DOWN)
        return;
    const int count = GetCount();
    const int start = m_list.IsTracking() ? m_list.GetTrackedItem() : GetCurSel();
    const int next = start + (key == VK_DOWN ? 1 : -1);
    if (next < 0 || next >= count)
        return;
    m_owner.SendMessage(CB_SETCURSEL, static_cast<WPARAM>(next));
    NotifyParent(CBN_SELCHANGE);
}

BOOL CCBDlgCtrl::OnMouseWheel(UINT, short delta, CPoint)
{
    const int position = m_scroll.GetScrollPos() - delta / WHEEL_DELTA;
    List(WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(std::max(position, 0))));
    m_scroll.SetScrollPos(position, TRUE);
    return TRUE;
}

void CCBDlgCtrl::OnActivate(UINT state, CWnd* other, BOOL)
{
    Default();
    if (state != WA_INACTIVE)
    {
        if (m_scroll.GetSafeHwnd())
            m_scroll.SetFocus();
        return;
    }
    const HWND combo = m_owner.GetSafeHwnd();
    if (!combo)
        return;
    if (m_owner.SendMessage(CB_GETDROPPEDSTATE))
        m_owner.SendMessage(CB_SHOWDROPDOWN, FALSE);
    const HWND otherWnd = other ? other->GetSafeHwnd() : nullptr;
    if (otherWnd != ::GetAncestor(combo, GA_PARENT))
        m_owner.SendMessage(WM_KILLFOCUS, reinterpret_cast<WPARAM>(otherWnd));
    const HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    if (owner)
        if (HWND above = ::GetParent(owner) ? ::GetParent(owner) : ::GetWindow(owner, GW_OWNER))
            ::SetWindowPos(owner, above, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
}

void CCBDlgCtrl::OnShowWindow(BOOL show, UINT)
{
    if (show && !m_owner.SendMessage(CB_GETDROPPEDSTATE))
    {
        // Hiding inside the show request would be undone when it completes; hide right after it.
        SetTimer(kHideTimer, 0);
        return;
    }
    Default();
}

void CCBDlgCtrl::OnPaint()
{
    CPaintDC dc(this);
    CRect client;
    GetClientRect(&client);
    CBrush black(RGB(0, 0, 0));
    dc.FrameRect(&client, &black);
}

LRESULT CCBDlgCtrl::OnDeleteItem(WPARAM, LPARAM lParam)
{
    const HWND parent = ::GetParent(m_owner.GetSafeHwnd());
    return parent ? ::SendMessage(parent, WM_DELETEITEM, static_cast<WPARAM>(m_owner.GetDlgCtrlID()), lParam)
                  : 0;
}

LRESULT CCBDlgCtrl::OnCompareItem(WPARAM, LPARAM lParam)
{
    const HWND parent = ::GetParent(m_owner.GetSafeHwnd());
    return parent ? ::SendMessage(parent, WM_COMPAREITEM, static_cast<WPARAM>(m_owner.GetDlgCtrlID()), lParam)
                  : 0;
}
} // namespace faldra
