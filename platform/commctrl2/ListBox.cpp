#include "platform/commctrl2/ListBox.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

namespace
{
constexpr int kDefaultItemHeight = 16;

struct Item
{
    std::string text;
    ULONG_PTR data = 0;
    int height = kDefaultItemHeight;
};

struct ListState
{
    std::vector<Item> items;
    int current = -1;
    int top = 0;
    int itemHeight = kDefaultItemHeight; // fixed-height lists
    bool measured = false;               // WM_MEASUREITEM answered for a fixed owner-drawn list
    HFONT font = nullptr;
};

DWORD Style(HWND hwnd)
{
    return static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
}

bool OwnerDrawn(HWND hwnd)
{
    return (Style(hwnd) & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) != 0;
}

bool Variable(HWND hwnd)
{
    return (Style(hwnd) & LBS_OWNERDRAWVARIABLE) != 0;
}

bool Valid(const ListState& s, long long index)
{
    return index >= 0 && index < static_cast<long long>(s.items.size());
}

void Notify(HWND hwnd, UINT code)
{
    if (!(Style(hwnd) & LBS_NOTIFY))
        return;
    HWND parent = GetParent(hwnd);
    if (parent)
        SendMessage(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(hwnd)), code),
                    reinterpret_cast<LPARAM>(hwnd));
}

void MeasureFixed(HWND hwnd, ListState& s)
{
    if (s.measured || !OwnerDrawn(hwnd) || Variable(hwnd))
        return;
    s.measured = true;
    MEASUREITEMSTRUCT mis{};
    mis.CtlType = ODT_LISTBOX;
    mis.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
    mis.itemID = 0;
    mis.itemHeight = static_cast<UINT>(s.itemHeight);
    if (HWND parent = GetParent(hwnd))
        SendMessage(parent, WM_MEASUREITEM, mis.CtlID, reinterpret_cast<LPARAM>(&mis));
    if (mis.itemHeight > 0)
        s.itemHeight = static_cast<int>(mis.itemHeight);
}

int HeightOf(HWND hwnd, const ListState& s, size_t index)
{
    return Variable(hwnd) ? s.items[index].height : s.itemHeight;
}

int ClientHeight(HWND hwnd)
{
    RECT r{};
    GetClientRect(hwnd, &r);
    return r.bottom - r.top;
}

/// How many items from `top` fit wholly in the client area (at least one while there are items).
int VisibleCount(HWND hwnd, const ListState& s, int top)
{
    const int height = ClientHeight(hwnd);
    int used = 0;
    int count = 0;
    for (size_t i = static_cast<size_t>(std::max(top, 0)); i < s.items.size(); ++i)
    {
        used += HeightOf(hwnd, s, i);
        if (used > height)
            break;
        ++count;
    }
    return std::max(count, s.items.empty() ? 0 : 1);
}

void UpdateScroll(HWND hwnd, ListState& s)
{
    const int count = static_cast<int>(s.items.size());
    // The last top index is the one that shows the last item at the bottom.
    const int height = ClientHeight(hwnd);
    int lastTop = count - 1;
    for (int used = 0; lastTop >= 0; --lastTop)
    {
        used += HeightOf(hwnd, s, static_cast<size_t>(lastTop));
        if (used > height)
            break;
    }
    lastTop = std::clamp(lastTop + 1, 0, std::max(count - 1, 0));
    s.top = std::clamp(s.top, 0, lastTop);
    const int page = VisibleCount(hwnd, s, s.top);
    SCROLLINFO info{sizeof(SCROLLINFO),
                    SIF_ALL,
                    0,
                    std::max(count - 1, 0),
                    static_cast<UINT>(std::max(page, 1)),
                    s.top,
                    0};
    SetScrollInfo(hwnd, SB_VERT, &info, FALSE);
}

bool ItemRect(HWND hwnd, const ListState& s, int index, RECT* rect)
{
    if (!Valid(s, index))
        return false;
    RECT client{};
    GetClientRect(hwnd, &client);
    int y = 0;
    if (index >= s.top)
        for (int i = s.top; i < index; ++i)
            y += HeightOf(hwnd, s, static_cast<size_t>(i));
    else
        for (int i = index; i < s.top; ++i)
            y -= HeightOf(hwnd, s, static_cast<size_t>(i));
    *rect = RECT{client.left, y, client.right, y + HeightOf(hwnd, s, static_cast<size_t>(index))};
    return true;
}

/// MAKELONG(index, 1 when the point lies outside every item); 0xFFFF for an empty list.
LRESULT ItemFromPoint(HWND hwnd, const ListState& s, POINT p)
{
    if (s.items.empty())
        return MAKELONG(0xFFFF, 1);
    RECT client{};
    GetClientRect(hwnd, &client);
    const bool inClient = PtInRect(&client, p) != FALSE;
    int y = 0;
    for (size_t i = static_cast<size_t>(s.top); i < s.items.size(); ++i)
    {
        const int h = HeightOf(hwnd, s, i);
        if (p.y < y + h)
            return MAKELONG(static_cast<WORD>(p.y < y ? s.top : static_cast<int>(i)),
                            inClient && p.y >= y ? 0 : 1);
        y += h;
    }
    return MAKELONG(static_cast<WORD>(s.items.size() - 1), 1);
}

void EnsureVisible(HWND hwnd, ListState& s, int index)
{
    if (!Valid(s, index))
        return;
    if (index < s.top)
        s.top = index;
    else
        while (s.top < index && index >= s.top + VisibleCount(hwnd, s, s.top))
            ++s.top;
}

int Insert(HWND hwnd, ListState& s, long long at, const char* text, bool sorted)
{
    Item item;
    if (text && (!OwnerDrawn(hwnd) || (Style(hwnd) & LBS_HASSTRINGS)))
        item.text = text;
    else if (text)
        item.data = reinterpret_cast<ULONG_PTR>(text); // owner-drawn lists without strings keep the value
    size_t index = s.items.size();
    if (sorted && text)
        index = static_cast<size_t>(std::upper_bound(s.items.begin(), s.items.end(), item.text,
                                                     [](const std::string& t, const Item& i)
                                                     { return strcasecmp(t.c_str(), i.text.c_str()) < 0; }) -
                                    s.items.begin());
    else if (at >= 0 && at <= static_cast<long long>(s.items.size()))
        index = static_cast<size_t>(at);
    MeasureFixed(hwnd, s);
    item.height = s.itemHeight;
    s.items.insert(s.items.begin() + static_cast<ptrdiff_t>(index), item);
    if (s.current >= static_cast<int>(index))
        ++s.current;
    if (Variable(hwnd))
    {
        MEASUREITEMSTRUCT mis{};
        mis.CtlType = ODT_LISTBOX;
        mis.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
        mis.itemID = static_cast<UINT>(index);
        mis.itemHeight = kDefaultItemHeight;
        mis.itemData = s.items[index].data;
        if (HWND parent = GetParent(hwnd))
            SendMessage(parent, WM_MEASUREITEM, mis.CtlID, reinterpret_cast<LPARAM>(&mis));
        // A zero height would make the item unreachable and every division by item height unsafe.
        s.items[index].height = std::max<int>(static_cast<int>(mis.itemHeight), 1);
    }
    UpdateScroll(hwnd, s);
    InvalidateRect(hwnd, nullptr, TRUE);
    return static_cast<int>(index);
}

void DrawOne(HWND hwnd, ListState& s, HDC dc, int index, const RECT& rect, UINT action, bool focused)
{
    const bool selected = index == s.current;
    if (OwnerDrawn(hwnd))
    {
        DRAWITEMSTRUCT dis{};
        dis.CtlType = ODT_LISTBOX;
        dis.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
        dis.itemID = static_cast<UINT>(index);
        dis.itemAction = action;
        dis.itemState = (selected ? ODS_SELECTED : 0) | (selected && focused ? ODS_FOCUS : 0) |
                        (IsWindowEnabled(hwnd) ? 0 : ODS_DISABLED);
        dis.hwndItem = hwnd;
        dis.hDC = dc;
        dis.rcItem = rect;
        dis.itemData = index >= 0 ? s.items[static_cast<size_t>(index)].data : 0;
        if (HWND parent = GetParent(hwnd))
            SendMessage(parent, WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
        return;
    }
    FillRect(dc, &rect, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    HGDIOBJ old = SelectObject(dc, s.font ? s.font : GetStockObject(DEFAULT_GUI_FONT));
    RECT text = rect;
    text.left += 2;
    const std::string& t = s.items[static_cast<size_t>(index)].text;
    DrawText(dc, t.c_str(), static_cast<int>(t.size()), &text, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SelectObject(dc, old);
}

void Paint(HWND hwnd, ListState& s)
{
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client{};
    GetClientRect(hwnd, &client);
    const bool focused = GetFocus() == hwnd;
    int y = 0;
    for (size_t i = static_cast<size_t>(std::max(s.top, 0)); i < s.items.size() && y < client.bottom; ++i)
    {
        RECT rect{client.left, y, client.right, y + HeightOf(hwnd, s, i)};
        DrawOne(hwnd, s, dc, static_cast<int>(i), rect, ODA_DRAWENTIRE, focused);
        y = rect.bottom;
    }
    if (y < client.bottom && !OwnerDrawn(hwnd))
    {
        RECT rest{client.left, y, client.right, client.bottom};
        FillRect(dc, &rest, GetSysColorBrush(COLOR_WINDOW));
    }
    if (s.items.empty() && OwnerDrawn(hwnd) && focused)
        DrawOne(hwnd, s, dc, -1, RECT{client.left, 0, client.right, s.itemHeight}, ODA_FOCUS, focused);
    EndPaint(hwnd, &ps);
}

void Select(HWND hwnd, ListState& s, int index, bool notify)
{
    if (!Valid(s, index) || index == s.current)
        return;
    s.current = index;
    EnsureVisible(hwnd, s, index);
    UpdateScroll(hwnd, s);
    InvalidateRect(hwnd, nullptr, TRUE);
    if (notify)
        Notify(hwnd, LBN_SELCHANGE);
}

LRESULT CALLBACK ListBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    ListState* state = platform::window::ControlStateFor<ListState>(hwnd, msg);
    if (!state)
        return DefWindowProc(hwnd, msg, wParam, lParam);
    ListState& s = *state;
    const auto index = static_cast<long long>(static_cast<INT_PTR>(wParam));
    switch (msg)
    {
    case LB_ADDSTRING:
        return Insert(hwnd, s, -1, reinterpret_cast<const char*>(lParam), (Style(hwnd) & LBS_SORT) != 0);
    case LB_INSERTSTRING:
        return Insert(hwnd, s, index, reinterpret_cast<const char*>(lParam), false);
    case LB_DELETESTRING:
        if (!Valid(s, index))
            return LB_ERR;
        s.items.erase(s.items.begin() + static_cast<ptrdiff_t>(index));
        if (s.current == index)
            s.current = -1;
        else if (s.current > index)
            --s.current;
        UpdateScroll(hwnd, s);
        InvalidateRect(hwnd, nullptr, TRUE);
        return static_cast<LRESULT>(s.items.size());
    case LB_RESETCONTENT:
        s.items.clear();
        s.current = -1;
        s.top = 0;
        UpdateScroll(hwnd, s);
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case LB_GETCOUNT:
        return static_cast<LRESULT>(s.items.size());
    case LB_GETCURSEL:
        return s.current;
    case LB_SETCURSEL:
        if (index == -1 || !Valid(s, index))
        {
            s.current = -1;
            InvalidateRect(hwnd, nullptr, TRUE);
            return LB_ERR;
        }
        s.current = static_cast<int>(index);
        EnsureVisible(hwnd, s, s.current);
        UpdateScroll(hwnd, s);
        InvalidateRect(hwnd, nullptr, TRUE);
        return s.current;
    case LB_GETSEL:
        return Valid(s, index) ? (index == s.current ? 1 : 0) : LB_ERR;
    case LB_GETTEXT:
        if (!Valid(s, index) || !lParam)
            return LB_ERR;
        std::memcpy(reinterpret_cast<char*>(lParam), s.items[static_cast<size_t>(index)].text.c_str(),
                    s.items[static_cast<size_t>(index)].text.size() + 1);
        return static_cast<LRESULT>(s.items[static_cast<size_t>(index)].text.size());
    case LB_GETTEXTLEN:
        return Valid(s, index) ? static_cast<LRESULT>(s.items[static_cast<size_t>(index)].text.size())
                               : LB_ERR;
    case LB_FINDSTRING:
    case LB_FINDSTRINGEXACT:
    case LB_SELECTSTRING:
    {
        const char* text = reinterpret_cast<const char*>(lParam);
        if (!text || s.items.empty())
            return LB_ERR;
        const size_t n = s.items.size();
        const size_t first = Valid(s, index) ? static_cast<size_t>(index) + 1 : 0;
        const size_t len = std::strlen(text);
        for (size_t k = 0; k < n; ++k)
        {
            const size_t i = (first + k) % n;
            const std::string& t = s.items[i].text;
            const bool hit = msg == LB_FINDSTRINGEXACT ? strcasecmp(t.c_str(), text) == 0
                                                       : strncasecmp(t.c_str(), text, len) == 0;
            if (hit)
            {
                if (msg == LB_SELECTSTRING)
                    Select(hwnd, s, static_cast<int>(i), false);
                return static_cast<LRESULT>(i);
            }
        }
        return LB_ERR;
    }
    case LB_GETTOPINDEX:
        return s.top;
    case LB_SETTOPINDEX:
        if (!Valid(s, index))
            return LB_ERR;
        s.top = static_cast<int>(index);
        UpdateScroll(hwnd, s);
        InvalidateRect(hwnd, nullptr, TRUE);
        return LB_OKAY;
    case LB_GETITEMRECT:
        return lParam && ItemRect(hwnd, s, static_cast<int>(index), reinterpret_cast<RECT*>(lParam)) ? 1
                                                                                                     : LB_ERR;
    case LB_GETITEMDATA:
        return Valid(s, index) ? static_cast<LRESULT>(s.items[static_cast<size_t>(index)].data) : LB_ERR;
    case LB_SETITEMDATA:
        if (!Valid(s, index))
            return LB_ERR;
        s.items[static_cast<size_t>(index)].data = static_cast<ULONG_PTR>(lParam);
        return LB_OKAY;
    case LB_GETITEMHEIGHT:
        MeasureFixed(hwnd, s);
        if (Variable(hwnd))
            return Valid(s, index) ? s.items[static_cast<size_t>(index)].height : LB_ERR;
        return s.itemHeight;
    case LB_SETITEMHEIGHT:
    {
        const int height = std::clamp(static_cast<int>(LOWORD(static_cast<DWORD_PTR>(lParam))), 1, 255);
        if (Variable(hwnd))
        {
            if (!Valid(s, index))
                return LB_ERR;
            s.items[static_cast<size_t>(index)].height = height;
        }
        else
        {
            s.measured = true;
            s.itemHeight = height;
        }
        UpdateScroll(hwnd, s);
        InvalidateRect(hwnd, nullptr, TRUE);
        return LB_OKAY;
    }
    case LB_ITEMFROMPOINT:
        return ItemFromPoint(hwnd, s, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    case WM_SETFONT:
        s.font = reinterpret_cast<HFONT>(wParam);
        if (LOWORD(static_cast<DWORD_PTR>(lParam)))
            InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(s.font);
    case WM_SIZE:
        UpdateScroll(hwnd, s);
        return 0;
    case WM_PAINT:
        Paint(hwnd, s);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    {
        if (GetFocus() != hwnd)
            SetFocus(hwnd);
        const LRESULT hit = ItemFromPoint(hwnd, s, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        if (HIWORD(hit) == 0 && !(Style(hwnd) & LBS_NOSEL))
        {
            Select(hwnd, s, LOWORD(hit), true);
            if (msg == WM_LBUTTONDBLCLK)
                Notify(hwnd, LBN_DBLCLK);
        }
        return 0;
    }
    case WM_KEYDOWN:
    {
        if (s.items.empty())
            return 0;
        const int last = static_cast<int>(s.items.size()) - 1;
        const int page = VisibleCount(hwnd, s, s.top);
        int next = s.current;
        switch (wParam)
        {
        case VK_UP:
            next = s.current < 0 ? 0 : s.current - 1;
            break;
        case VK_DOWN:
            next = s.current + 1;
            break;
        case VK_PRIOR:
            next = s.current - std::max(page - 1, 1);
            break;
        case VK_NEXT:
            next = s.current + std::max(page - 1, 1);
            break;
        case VK_HOME:
            next = 0;
            break;
        case VK_END:
            next = last;
            break;
        default:
            return 0;
        }
        Select(hwnd, s, std::clamp(next, 0, last), true);
        return 0;
    }
    case WM_MOUSEWHEEL:
    {
        const int lines = -GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA * 3;
        if (!s.items.empty())
            SendMessage(
                hwnd, LB_SETTOPINDEX,
                static_cast<WPARAM>(std::clamp(s.top + lines, 0, static_cast<int>(s.items.size()) - 1)), 0);
        return 0;
    }
    case WM_VSCROLL:
    {
        int top = s.top;
        const int page = VisibleCount(hwnd, s, s.top);
        if (!platform::window::ScrollRequestPosition(LOWORD(wParam), 1, page, HIWORD(wParam),
                                                     static_cast<int>(s.items.size()), top))
            return 0;
        s.top = std::max(top, 0);
        UpdateScroll(hwnd, s);
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    }
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}
} // namespace

BOOL InitListBoxClass()
{
    static const BOOL registered = platform::window::RegisterControlClass(WC_LISTBOX, ListBoxProc);
    return registered;
}

IMPLEMENT_DYNAMIC(CListBox, CWnd)

BOOL CListBox::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    InitListBoxClass();
    return CWnd::Create(WC_LISTBOX, nullptr, style, rect, parent, id);
}

int CListBox::GetCount() const
{
    return static_cast<int>(SendMessage(LB_GETCOUNT));
}
int CListBox::GetCurSel() const
{
    return static_cast<int>(SendMessage(LB_GETCURSEL));
}
int CListBox::SetCurSel(int index)
{
    return static_cast<int>(SendMessage(LB_SETCURSEL, static_cast<WPARAM>(index)));
}
int CListBox::GetTopIndex() const
{
    return static_cast<int>(SendMessage(LB_GETTOPINDEX));
}
int CListBox::SetTopIndex(int index)
{
    return static_cast<int>(SendMessage(LB_SETTOPINDEX, static_cast<WPARAM>(index)));
}
int CListBox::GetText(int index, LPSTR buffer) const
{
    return static_cast<int>(
        SendMessage(LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer)));
}
void CListBox::GetText(int index, CString& text) const
{
    const int length = GetTextLen(index);
    if (length < 0)
    {
        text.Empty();
        return;
    }
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    GetText(index, buffer.data());
    text = buffer.data();
}
int CListBox::GetTextLen(int index) const
{
    return static_cast<int>(SendMessage(LB_GETTEXTLEN, static_cast<WPARAM>(index)));
}
int CListBox::AddString(LPCTSTR text)
{
    return static_cast<int>(SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
}
int CListBox::InsertString(int index, LPCTSTR text)
{
    return static_cast<int>(
        SendMessage(LB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text)));
}
int CListBox::DeleteString(UINT index)
{
    return static_cast<int>(SendMessage(LB_DELETESTRING, index));
}
void CListBox::ResetContent()
{
    SendMessage(LB_RESETCONTENT);
}
int CListBox::FindStringExact(int start, LPCTSTR text) const
{
    return static_cast<int>(
        SendMessage(LB_FINDSTRINGEXACT, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(text)));
}
DWORD_PTR CListBox::GetItemData(int index) const
{
    return static_cast<DWORD_PTR>(SendMessage(LB_GETITEMDATA, static_cast<WPARAM>(index)));
}
int CListBox::SetItemData(int index, DWORD_PTR data)
{
    return static_cast<int>(
        SendMessage(LB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data)));
}
int CListBox::GetItemRect(int index, LPRECT rect) const
{
    return static_cast<int>(
        SendMessage(LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(rect)));
}
int CListBox::GetItemHeight(int index) const
{
    return static_cast<int>(SendMessage(LB_GETITEMHEIGHT, static_cast<WPARAM>(index)));
}
int CListBox::SetItemHeight(int index, UINT height)
{
    return static_cast<int>(SendMessage(LB_SETITEMHEIGHT, static_cast<WPARAM>(index), MAKELPARAM(height, 0)));
}
UINT CListBox::ItemFromPoint(CPoint point, BOOL& outside) const
{
    const auto result = static_cast<DWORD>(SendMessage(LB_ITEMFROMPOINT, 0, MAKELPARAM(point.x, point.y)));
    outside = HIWORD(result) != 0;
    return LOWORD(result);
}

void CListBox::DrawItem(LPDRAWITEMSTRUCT) {}
void CListBox::MeasureItem(LPMEASUREITEMSTRUCT) {}

BOOL CListBox::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_DRAWITEM)
    {
        DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
        if (result)
            *result = TRUE;
        return TRUE;
    }
    if (message == WM_MEASUREITEM)
    {
        MeasureItem(reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam));
        if (result)
            *result = TRUE;
        return TRUE;
    }
    return CWnd::OnChildNotify(message, wParam, lParam, result);
}
