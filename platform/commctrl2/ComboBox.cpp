#include "platform/commctrl2/ComboBox.h"

#include <algorithm>
#include <strings.h>
#include <vector>

namespace
{
constexpr int kButtonWidth = 16;
constexpr int kListHeight = 120;

struct ComboState
{
    HWND list = nullptr;
    bool dropped = false;
};

ComboState* StateOf(HWND hwnd)
{
    return reinterpret_cast<ComboState*>(GetWindowLongPtr(hwnd, 0));
}

DWORD Style(HWND hwnd)
{
    return static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
}

void Notify(HWND hwnd, UINT code)
{
    if (HWND parent = GetParent(hwnd))
        SendMessage(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(hwnd)), code),
                    reinterpret_cast<LPARAM>(hwnd));
}

void Rects(HWND hwnd, RECT* item, RECT* button)
{
    RECT client{};
    GetClientRect(hwnd, &client);
    if (button)
        *button =
            RECT{std::max(client.left, client.right - kButtonWidth), client.top, client.right, client.bottom};
    if (item)
        *item =
            RECT{client.left + 3, client.top + 3, std::max(client.left + 3, client.right - kButtonWidth - 2),
                 std::max(client.top + 3, client.bottom - 3)};
}

void SyncText(HWND hwnd, ComboState& s)
{
    const auto index = SendMessage(s.list, LB_GETCURSEL, 0, 0);
    std::vector<char> text(1, '\0');
    if (index >= 0)
    {
        const auto length = SendMessage(s.list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
        if (length > 0)
        {
            text.resize(static_cast<size_t>(length) + 1);
            SendMessage(s.list, LB_GETTEXT, static_cast<WPARAM>(index),
                        reinterpret_cast<LPARAM>(text.data()));
        }
    }
    DefWindowProc(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.data()));
    InvalidateRect(hwnd, nullptr, TRUE);
}

void ShowDropDown(HWND hwnd, ComboState& s, bool show)
{
    if (show == s.dropped)
        return;
    s.dropped = show;
    if (show)
    {
        RECT window{};
        GetWindowRect(hwnd, &window);
        SetWindowPos(s.list, HWND_TOPMOST, window.left, window.bottom, window.right - window.left,
                     kListHeight, SWP_SHOWWINDOW | SWP_NOACTIVATE);
        Notify(hwnd, CBN_DROPDOWN);
    }
    else
    {
        ShowWindow(s.list, SW_HIDE);
        Notify(hwnd, CBN_CLOSEUP);
    }
    InvalidateRect(hwnd, nullptr, TRUE);
}

void Paint(HWND hwnd)
{
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client{};
    GetClientRect(hwnd, &client);
    RECT item{};
    RECT button{};
    Rects(hwnd, &item, &button);
    FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
    FillRect(dc, &button, GetSysColorBrush(COLOR_BTNFACE));
    ComboState* s = StateOf(hwnd);
    if (Style(hwnd) & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE))
    {
        DRAWITEMSTRUCT dis{};
        dis.CtlType = ODT_COMBOBOX;
        dis.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
        const auto index = s ? SendMessage(s->list, LB_GETCURSEL, 0, 0) : LB_ERR;
        dis.itemID = static_cast<UINT>(index);
        dis.itemAction = ODA_DRAWENTIRE;
        dis.itemState = ODS_COMBOBOXEDIT | (GetFocus() == hwnd ? ODS_SELECTED | ODS_FOCUS : 0) |
                        (IsWindowEnabled(hwnd) ? 0 : ODS_DISABLED);
        dis.hwndItem = hwnd;
        dis.hDC = dc;
        dis.rcItem = item;
        dis.itemData =
            index >= 0
                ? static_cast<ULONG_PTR>(SendMessage(s->list, LB_GETITEMDATA, static_cast<WPARAM>(index), 0))
                : 0;
        if (HWND parent = GetParent(hwnd))
            SendMessage(parent, WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
    }
    else
    {
        char text[256] = {};
        GetWindowText(hwnd, text, sizeof text);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        DrawText(dc, text, -1, &item, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        SelectObject(dc, old);
    }
    EndPaint(hwnd, &ps);
}

LRESULT Forward(ComboState& s, UINT msg, WPARAM wParam, LPARAM lParam)
{
    const LRESULT r = SendMessage(s.list, msg, wParam, lParam);
    return r == LB_ERR ? CB_ERR : r;
}

LRESULT CALLBACK ComboBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    ComboState* state = platform::window::ControlStateFor<ComboState>(hwnd, msg);
    if (!state)
        return DefWindowProc(hwnd, msg, wParam, lParam);
    ComboState& s = *state;
    if (msg == WM_CREATE)
    {
        const DWORD style = Style(hwnd);
        DWORD listStyle = WS_POPUP | WS_BORDER | LBS_NOTIFY;
        if (style & CBS_SORT)
            listStyle |= LBS_SORT;
        if (style & CBS_OWNERDRAWFIXED)
            listStyle |= LBS_OWNERDRAWFIXED;
        if (style & CBS_OWNERDRAWVARIABLE)
            listStyle |= LBS_OWNERDRAWVARIABLE;
        if (style & CBS_HASSTRINGS)
            listStyle |= LBS_HASSTRINGS;
        if (style & CBS_NOINTEGRALHEIGHT)
            listStyle |= LBS_NOINTEGRALHEIGHT;
        s.list = CreateWindowEx(WS_EX_TOOLWINDOW, WC_LISTBOX, "", listStyle, 0, 0, 100, kListHeight, hwnd,
                                nullptr, nullptr, nullptr);
        return s.list ? 0 : -1;
    }
    if (!s.list)
        return DefWindowProc(hwnd, msg, wParam, lParam);
    switch (msg)
    {
    case CB_ADDSTRING:
        return Forward(s, LB_ADDSTRING, wParam, lParam);
    case CB_INSERTSTRING:
        return Forward(s, LB_INSERTSTRING, wParam, lParam);
    case CB_DELETESTRING:
    {
        const LRESULT r = Forward(s, LB_DELETESTRING, wParam, lParam);
        SyncText(hwnd, s);
        return r;
    }
    case CB_RESETCONTENT:
        SendMessage(s.list, LB_RESETCONTENT, 0, 0);
        SyncText(hwnd, s);
        return CB_OKAY;
    case CB_DIR:
        return CB_ERR;
    case CB_GETCOUNT:
        return Forward(s, LB_GETCOUNT, wParam, lParam);
    case CB_GETCURSEL:
        return Forward(s, LB_GETCURSEL, wParam, lParam);
    case CB_SETCURSEL:
    {
        const LRESULT r = Forward(s, LB_SETCURSEL, wParam, lParam);
        SyncText(hwnd, s);
        return r;
    }
    case CB_SELECTSTRING:
    {
        const LRESULT r = Forward(s, LB_SELECTSTRING, wParam, lParam);
        SyncText(hwnd, s);
        return r;
    }
    case CB_GETLBTEXT:
        return Forward(s, LB_GETTEXT, wParam, lParam);
    case CB_GETLBTEXTLEN:
        return Forward(s, LB_GETTEXTLEN, wParam, lParam);
    case CB_FINDSTRING:
        return Forward(s, LB_FINDSTRING, wParam, lParam);
    case CB_FINDSTRINGEXACT:
        return Forward(s, LB_FINDSTRINGEXACT, wParam, lParam);
    case CB_GETITEMDATA:
        return Forward(s, LB_GETITEMDATA, wParam, lParam);
    case CB_SETITEMDATA:
        return Forward(s, LB_SETITEMDATA, wParam, lParam);
    case CB_GETITEMHEIGHT:
        if (static_cast<int>(wParam) == -1)
        {
            RECT item{};
            Rects(hwnd, &item, nullptr);
            return item.bottom - item.top;
        }
        return Forward(s, LB_GETITEMHEIGHT, wParam, lParam);
    case CB_SETITEMHEIGHT:
        if (static_cast<int>(wParam) == -1)
            return CB_OKAY;
        return Forward(s, LB_SETITEMHEIGHT, wParam, lParam);
    case CB_SHOWDROPDOWN:
        ShowDropDown(hwnd, s, wParam != 0);
        return TRUE;
    case CB_GETDROPPEDSTATE:
        return s.dropped ? TRUE : FALSE;
    case CB_GETDROPPEDCONTROLRECT:
        if (lParam)
            GetWindowRect(s.list, reinterpret_cast<RECT*>(lParam));
        return CB_OKAY;
    case WM_COMMAND:
        if (reinterpret_cast<HWND>(lParam) == s.list && HIWORD(wParam) == LBN_SELCHANGE)
        {
            SyncText(hwnd, s);
            ShowDropDown(hwnd, s, false);
            Notify(hwnd, CBN_SELCHANGE);
        }
        return 0;
    case WM_MEASUREITEM:
    case WM_DRAWITEM:
        // The list's owner-draw requests go to the combo's parent in the combo's name.
        if (HWND parent = GetParent(hwnd))
        {
            const auto id = static_cast<UINT>(GetDlgCtrlID(hwnd));
            if (msg == WM_MEASUREITEM)
            {
                auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
                mis->CtlType = ODT_COMBOBOX;
                mis->CtlID = id;
            }
            else
            {
                auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
                dis->CtlType = ODT_COMBOBOX;
                dis->CtlID = id;
            }
            return SendMessage(parent, msg, id, lParam);
        }
        return 0;
    case WM_LBUTTONDOWN:
        if (GetFocus() != hwnd)
            SetFocus(hwnd);
        ShowDropDown(hwnd, s, !s.dropped);
        return 0;
    case WM_KEYDOWN:
    {
        if (wParam == VK_F4)
        {
            ShowDropDown(hwnd, s, !s.dropped);
            return 0;
        }
        if (wParam != VK_UP && wParam != VK_DOWN)
            return 0;
        const auto count = SendMessage(s.list, LB_GETCOUNT, 0, 0);
        const auto current = SendMessage(s.list, LB_GETCURSEL, 0, 0);
        const auto next = wParam == VK_UP ? (current < 0 ? 0 : current - 1) : current + 1;
        if (next >= 0 && next < count && next != current)
        {
            SendMessage(s.list, LB_SETCURSEL, static_cast<WPARAM>(next), 0);
            SyncText(hwnd, s);
            Notify(hwnd, CBN_SELCHANGE);
        }
        return 0;
    }
    case WM_PAINT:
        Paint(hwnd);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SETFONT:
        SendMessage(s.list, WM_SETFONT, wParam, lParam);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    case WM_DESTROY:
        if (IsWindow(s.list))
            DestroyWindow(s.list);
        s.list = nullptr;
        return 0;
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}
} // namespace

BOOL InitComboBoxClass()
{
    static const BOOL registered = []
    {
        InitListBoxClass();
        return platform::window::RegisterControlClass(WC_COMBOBOX, ComboBoxProc);
    }();
    return registered;
}

BOOL GetComboBoxInfo(HWND combo, PCOMBOBOXINFO info)
{
    char name[32] = {};
    if (!info || !IsWindow(combo) || !GetClassName(combo, name, sizeof name) ||
        strcasecmp(name, WC_COMBOBOX) != 0)
        return FALSE;
    ComboState* s = StateOf(combo);
    if (!s)
        return FALSE;
    Rects(combo, &info->rcItem, &info->rcButton);
    info->stateButton = s->dropped ? 0x8 : 0; // STATE_SYSTEM_PRESSED
    info->hwndCombo = combo;
    info->hwndItem = combo;
    info->hwndList = s->list;
    return TRUE;
}

IMPLEMENT_DYNAMIC(CComboBox, CWnd)

BOOL CComboBox::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    InitComboBoxClass();
    return CWnd::Create(WC_COMBOBOX, nullptr, style, rect, parent, id);
}
int CComboBox::GetCount() const
{
    return static_cast<int>(SendMessage(CB_GETCOUNT));
}
int CComboBox::GetCurSel() const
{
    return static_cast<int>(SendMessage(CB_GETCURSEL));
}
int CComboBox::SetCurSel(int index)
{
    return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index)));
}
int CComboBox::AddString(LPCTSTR text)
{
    return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
}
int CComboBox::InsertString(int index, LPCTSTR text)
{
    return static_cast<int>(
        SendMessage(CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text)));
}
int CComboBox::DeleteString(UINT index)
{
    return static_cast<int>(SendMessage(CB_DELETESTRING, index));
}
void CComboBox::ResetContent()
{
    SendMessage(CB_RESETCONTENT);
}
int CComboBox::GetLBText(int index, LPSTR buffer) const
{
    return static_cast<int>(
        SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer)));
}
void CComboBox::GetLBText(int index, CString& text) const
{
    const int length = GetLBTextLen(index);
    if (length < 0)
    {
        // No item: nothing to allocate or copy.
        text.Empty();
        return;
    }
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    GetLBText(index, buffer.data());
    text = buffer.data();
}
int CComboBox::GetLBTextLen(int index) const
{
    return static_cast<int>(SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index)));
}
int CComboBox::FindStringExact(int start, LPCTSTR text) const
{
    return static_cast<int>(
        SendMessage(CB_FINDSTRINGEXACT, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(text)));
}
int CComboBox::SelectString(int start, LPCTSTR text)
{
    return static_cast<int>(
        SendMessage(CB_SELECTSTRING, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(text)));
}
DWORD_PTR CComboBox::GetItemData(int index) const
{
    return static_cast<DWORD_PTR>(SendMessage(CB_GETITEMDATA, static_cast<WPARAM>(index)));
}
int CComboBox::SetItemData(int index, DWORD_PTR data)
{
    return static_cast<int>(
        SendMessage(CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data)));
}
void CComboBox::ShowDropDown(BOOL show)
{
    SendMessage(CB_SHOWDROPDOWN, static_cast<WPARAM>(show));
}
BOOL CComboBox::GetDroppedState() const
{
    return static_cast<BOOL>(SendMessage(CB_GETDROPPEDSTATE));
}
BOOL CComboBox::GetComboBoxInfo(PCOMBOBOXINFO info) const
{
    return ::GetComboBoxInfo(m_hWnd, info);
}

void CComboBox::DrawItem(LPDRAWITEMSTRUCT) {}
void CComboBox::MeasureItem(LPMEASUREITEMSTRUCT) {}

BOOL CComboBox::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
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
