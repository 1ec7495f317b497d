// The window classes the layer provides itself: buttons and statics (the edit, the dialog and the tooltip
// classes live in files of their own).

#include "platform/window/CommCtrl.h"
#include "platform/window/GdiInternal.h"
#include "platform/window/WinGdi.h"
#include "platform/window/WindowInternal.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace platform::window::detail
{
void RegisterClassInternal(const WNDCLASSEXA& wc, bool system);
void SetClassTooltip(const char* name);

namespace
{
struct ButtonState
{
    UINT state = 0; // BST_ flags
    HFONT font = nullptr;
    HANDLE image = nullptr;
    bool tracking = false;
};

struct StaticState
{
    HFONT font = nullptr;
    HANDLE image = nullptr;
};

template <class T> T& StateOf(HWND hwnd)
{
    auto w = Find(hwnd);
    if (!w->controlState)
        w->controlState = std::make_shared<T>();
    return *static_cast<T*>(w->controlState.get());
}

DWORD StyleOf(HWND hwnd)
{
    return static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
}

void Notify(HWND hwnd, UINT code)
{
    const HWND parent = GetParent(hwnd);
    if (parent)
        SendMessage(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), code), reinterpret_cast<LPARAM>(hwnd));
}

HBRUSH ControlColor(HWND hwnd, HDC dc, UINT msg)
{
    const HWND parent = GetParent(hwnd);
    HBRUSH brush = nullptr;
    if (parent)
        brush = reinterpret_cast<HBRUSH>(
            SendMessage(parent, msg, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd)));
    if (!brush)
        brush = reinterpret_cast<HBRUSH>(DefWindowProc(
            parent ? parent : hwnd, msg, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd)));
    return brush;
}

// --- buttons -------------------------------------------------------------------------------------------

void PaintButton(HWND hwnd, HDC dc)
{
    auto& st = StateOf<ButtonState>(hwnd);
    const DWORD style = StyleOf(hwnd);
    const DWORD type = style & BS_TYPEMASK;
    RECT rc;
    GetClientRect(hwnd, &rc);
    const bool enabled = IsWindowEnabled(hwnd) != FALSE;
    const bool pushed = (st.state & BST_PUSHED) != 0;
    const bool focus = (st.state & BST_FOCUS) != 0;
    const bool pushLike = type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || type == BS_OWNERDRAW ||
                          type == BS_USERBUTTON || type == BS_PUSHBOX;
    HBRUSH brush = ControlColor(hwnd, dc, pushLike ? WM_CTLCOLORBTN : WM_CTLCOLORSTATIC);
    if (type == BS_OWNERDRAW)
    {
        DRAWITEMSTRUCT di{};
        di.CtlType = ODT_BUTTON;
        di.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
        di.itemAction = ODA_DRAWENTIRE;
        di.itemState = (pushed ? ODS_SELECTED : 0) | (focus ? ODS_FOCUS : 0) | (enabled ? 0 : ODS_DISABLED) |
                       ((st.state & BST_CHECKED) ? ODS_CHECKED : 0);
        di.hwndItem = hwnd;
        di.hDC = dc;
        di.rcItem = rc;
        if (HWND parent = GetParent(hwnd))
            SendMessage(parent, WM_DRAWITEM, di.CtlID, reinterpret_cast<LPARAM>(&di));
        return;
    }
    char text[512];
    GetWindowText(hwnd, text, sizeof text);
    HGDIOBJ oldFont = SelectObject(dc, st.font ? st.font : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    UINT align = DT_CENTER;
    if ((style & BS_CENTER) == BS_LEFT)
        align = DT_LEFT;
    else if ((style & BS_CENTER) == BS_RIGHT)
        align = DT_RIGHT;
    const UINT lines = (style & BS_MULTILINE) ? DT_WORDBREAK : (DT_SINGLELINE | DT_VCENTER);
    if (pushLike)
    {
        FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
        RECT edge = rc;
        if (type == BS_DEFPUSHBUTTON)
        {
            FrameRect(dc, &edge, GetSysColorBrush(COLOR_WINDOWFRAME));
            InflateRect(&edge, -1, -1);
        }
        DrawEdge(dc, &edge, pushed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_ADJUST);
        RECT t = edge;
        if (pushed)
            OffsetRect(&t, 1, 1);
        DrawText(dc, text, -1, &t, (style & BS_MULTILINE) ? (align | DT_WORDBREAK) : (DT_CENTER | lines));
        if (focus)
        {
            RECT f = rc;
            InflateRect(&f, -4, -4);
            DrawFocusRect(dc, &f);
        }
    }
    else if (type == BS_GROUPBOX)
    {
        if (brush)
            FillRect(dc, &rc, brush);
        TEXTMETRIC tm{};
        GetTextMetrics(dc, &tm);
        RECT frame{rc.left, rc.top + tm.tmHeight / 2, rc.right, rc.bottom};
        DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
        if (text[0])
        {
            RECT label{rc.left + 8, rc.top, rc.left + 8, rc.top + tm.tmHeight};
            DrawText(dc, text, -1, &label, DT_SINGLELINE | DT_CALCRECT);
            label.right += 4;
            label.left -= 2;
            if (brush)
                FillRect(dc, &label, brush);
            label.left += 2;
            DrawText(dc, text, -1, &label, DT_SINGLELINE | DT_LEFT);
        }
    }
    else
    {
        if (brush)
            FillRect(dc, &rc, brush);
        const int box = 13;
        const bool leftText = (style & BS_LEFTTEXT) != 0;
        RECT mark{leftText ? rc.right - box : rc.left, rc.top + (rc.bottom - rc.top - box) / 2, 0, 0};
        mark.right = mark.left + box;
        mark.bottom = mark.top + box;
        const bool radio = type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
        const bool checked = (st.state & 3) != 0;
        SelectObject(dc, GetStockObject(BLACK_PEN));
        SelectObject(dc, GetSysColorBrush(pushed || !enabled ? COLOR_BTNFACE : COLOR_WINDOW));
        if (radio)
        {
            Ellipse(dc, mark.left, mark.top, mark.right, mark.bottom);
            if (checked)
            {
                SelectObject(dc, GetSysColorBrush(COLOR_WINDOWTEXT));
                Ellipse(dc, mark.left + 4, mark.top + 4, mark.right - 4, mark.bottom - 4);
            }
        }
        else
        {
            Rectangle(dc, mark.left, mark.top, mark.right, mark.bottom);
            if (checked)
            {
                HPEN pen = CreatePen(
                    PS_SOLID, 2,
                    GetSysColor((st.state & BST_INDETERMINATE) ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT));
                HGDIOBJ oldPen = SelectObject(dc, pen);
                MoveToEx(dc, mark.left + 3, mark.top + 6, nullptr);
                LineTo(dc, mark.left + 5, mark.top + 9);
                LineTo(dc, mark.left + 10, mark.top + 3);
                SelectObject(dc, oldPen);
                DeleteObject(pen);
            }
        }
        SelectObject(dc, GetStockObject(WHITE_BRUSH));
        RECT t = rc;
        if (leftText)
            t.right = mark.left - 4;
        else
            t.left = mark.right + 4;
        DrawText(dc, text, -1, &t,
                 align == DT_CENTER && !(style & BS_CENTER) ? (DT_LEFT | lines) : (align | lines));
        if (focus && text[0])
        {
            RECT f = t;
            DrawText(dc, text, -1, &f, DT_SINGLELINE | DT_CALCRECT);
            f.top = t.top + (t.bottom - t.top - (f.bottom - f.top)) / 2;
            f.bottom = f.top + (f.bottom - t.top);
            InflateRect(&f, 1, 0);
            DrawFocusRect(dc, &f);
        }
    }
    SelectObject(dc, oldFont);
}

bool IsAuto(DWORD type)
{
    return type == BS_AUTOCHECKBOX || type == BS_AUTO3STATE || type == BS_AUTORADIOBUTTON;
}

void SetCheck(HWND hwnd, UINT check)
{
    auto& st = StateOf<ButtonState>(hwnd);
    const DWORD type = StyleOf(hwnd) & BS_TYPEMASK;
    if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || type == BS_GROUPBOX || type == BS_USERBUTTON)
        return;
    if (check > 2 || (check == BST_INDETERMINATE && type != BS_3STATE && type != BS_AUTO3STATE))
        check = check ? BST_CHECKED : BST_UNCHECKED;
    if ((st.state & 3) != check)
    {
        st.state = (st.state & ~3u) | check;
        InvalidateRect(hwnd, nullptr, FALSE);
    }
}

void Click(HWND hwnd)
{
    const DWORD type = StyleOf(hwnd) & BS_TYPEMASK;
    if (IsAuto(type))
    {
        auto& st = StateOf<ButtonState>(hwnd);
        if (type == BS_AUTORADIOBUTTON)
        {
            // The other automatic radio buttons of the group are cleared.
            const HWND parent = GetParent(hwnd);
            for (HWND h = GetNextDlgGroupItem(parent, hwnd, FALSE); h && h != hwnd;
                 h = GetNextDlgGroupItem(parent, h, FALSE))
                if ((StyleOf(h) & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
                    SendMessage(h, BM_SETCHECK, BST_UNCHECKED, 0);
            SetCheck(hwnd, BST_CHECKED);
        }
        else if (type == BS_AUTO3STATE)
            SetCheck(hwnd, ((st.state & 3) + 1) % 3);
        else
            SetCheck(hwnd, (st.state & 3) ? BST_UNCHECKED : BST_CHECKED);
    }
    Notify(hwnd, BN_CLICKED);
}

void SetPushed(HWND hwnd, bool pushed)
{
    auto& st = StateOf<ButtonState>(hwnd);
    if (((st.state & BST_PUSHED) != 0) == pushed)
        return;
    st.state = pushed ? (st.state | BST_PUSHED) : (st.state & ~BST_PUSHED);
    InvalidateRect(hwnd, nullptr, FALSE);
    UpdateWindow(hwnd);
}

bool InClient(HWND hwnd, LPARAM lParam)
{
    RECT rc;
    GetClientRect(hwnd, &rc);
    return PtInRect(&rc, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}) != FALSE;
}

// --- statics -------------------------------------------------------------------------------------------

void PaintStatic(HWND hwnd, HDC dc)
{
    auto& st = StateOf<StaticState>(hwnd);
    const DWORD style = StyleOf(hwnd);
    const DWORD type = style & SS_TYPEMASK;
    RECT rc;
    GetClientRect(hwnd, &rc);
    if (type == SS_OWNERDRAW)
    {
        DRAWITEMSTRUCT di{};
        di.CtlType = ODT_STATIC;
        di.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
        di.itemAction = ODA_DRAWENTIRE;
        di.itemState = IsWindowEnabled(hwnd) ? 0 : ODS_DISABLED;
        di.hwndItem = hwnd;
        di.hDC = dc;
        di.rcItem = rc;
        if (HWND parent = GetParent(hwnd))
            SendMessage(parent, WM_DRAWITEM, di.CtlID, reinterpret_cast<LPARAM>(&di));
        return;
    }
    if (type >= SS_BLACKRECT && type <= SS_WHITEFRAME)
    {
        static const int colors[] = {COLOR_3DDKSHADOW, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT};
        const int color = colors[(type - SS_BLACKRECT) % 3];
        if (type <= SS_WHITERECT)
            FillRect(dc, &rc, GetSysColorBrush(color));
        else
            FrameRect(dc, &rc, GetSysColorBrush(color));
        return;
    }
    if (type == SS_ETCHEDHORZ || type == SS_ETCHEDVERT || type == SS_ETCHEDFRAME)
    {
        DrawEdge(dc, &rc, EDGE_ETCHED,
                 type == SS_ETCHEDHORZ   ? BF_TOP
                 : type == SS_ETCHEDVERT ? BF_LEFT
                                         : BF_RECT);
        return;
    }
    HBRUSH brush = ControlColor(hwnd, dc, WM_CTLCOLORSTATIC);
    if (brush && !(GetWindowLongPtr(hwnd, GWL_EXSTYLE) & WS_EX_TRANSPARENT))
        FillRect(dc, &rc, brush);
    if (type == SS_BITMAP)
    {
        BITMAP bm{};
        if (st.image && GetObject(st.image, sizeof bm, &bm))
        {
            HDC mem = CreateCompatibleDC(dc);
            HGDIOBJ old = SelectObject(mem, st.image);
            int x = 0, y = 0;
            if (style & SS_CENTERIMAGE)
            {
                x = (rc.right - bm.bmWidth) / 2;
                y = (rc.bottom - std::abs(bm.bmHeight)) / 2;
            }
            BitBlt(dc, x, y, bm.bmWidth, std::abs(bm.bmHeight), mem, 0, 0, SRCCOPY);
            SelectObject(mem, old);
            DeleteDC(mem);
        }
        return;
    }
    if (type == SS_ICON || type == SS_ENHMETAFILE)
        return;
    char text[2048];
    GetWindowText(hwnd, text, sizeof text);
    HGDIOBJ oldFont = SelectObject(dc, st.font ? st.font : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    if (!IsWindowEnabled(hwnd))
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    UINT format = DT_EXPANDTABS;
    if (type == SS_CENTER)
        format |= DT_CENTER | DT_WORDBREAK;
    else if (type == SS_RIGHT)
        format |= DT_RIGHT | DT_WORDBREAK;
    else if (type == SS_LEFT)
        format |= DT_LEFT | DT_WORDBREAK;
    else
        format |= DT_LEFT | DT_SINGLELINE;
    if (style & SS_CENTERIMAGE)
        format = (format & ~DT_WORDBREAK) | DT_SINGLELINE | DT_VCENTER;
    if (style & SS_NOPREFIX)
        format |= DT_NOPREFIX;
    if ((style & SS_WORDELLIPSIS) == SS_ENDELLIPSIS)
        format |= DT_END_ELLIPSIS;
    else if ((style & SS_WORDELLIPSIS) == SS_PATHELLIPSIS)
        format |= DT_PATH_ELLIPSIS;
    else if ((style & SS_WORDELLIPSIS) == SS_WORDELLIPSIS)
        format |= DT_WORD_ELLIPSIS;
    DrawText(dc, text, -1, &rc, format);
    SelectObject(dc, oldFont);
}

void UpdateStaticHitTest(HWND hwnd)
{
    // A static without SS_NOTIFY lets the mouse through to what lies beneath, as its hit test answers
    // HTTRANSPARENT in the system.
    if (auto w = Find(hwnd); w && w->widget)
        w->widget->setAttribute(Qt::WA_TransparentForMouseEvents, !(w->style & SS_NOTIFY));
}
} // namespace

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg)
    {
    case WM_CREATE:
        StateOf<ButtonState>(hwnd);
        return 0;
    case WM_PAINT:
    {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (dc)
        {
            PaintButton(hwnd, dc);
            EndPaint(hwnd, &ps);
        }
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    {
        const DWORD type = StyleOf(hwnd) & BS_TYPEMASK;
        if (type == BS_GROUPBOX)
            return 0;
        SetFocus(hwnd);
        SetCapture(hwnd);
        StateOf<ButtonState>(hwnd).tracking = true;
        SetPushed(hwnd, true);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (StateOf<ButtonState>(hwnd).tracking && GetCapture() == hwnd)
            SetPushed(hwnd, InClient(hwnd, lParam));
        return 0;
    case WM_LBUTTONUP:
    {
        auto& st = StateOf<ButtonState>(hwnd);
        if (!st.tracking)
            return 0;
        st.tracking = false;
        const bool click = (st.state & BST_PUSHED) && InClient(hwnd, lParam);
        SetPushed(hwnd, false);
        if (GetCapture() == hwnd)
            ReleaseCapture();
        if (click)
            Click(hwnd);
        return 0;
    }
    case WM_CAPTURECHANGED:
    {
        auto& st = StateOf<ButtonState>(hwnd);
        if (st.tracking && reinterpret_cast<HWND>(lParam) != hwnd)
        {
            st.tracking = false;
            SetPushed(hwnd, false);
        }
        return 0;
    }
    case WM_KEYDOWN:
        if (wParam == VK_SPACE)
            SetPushed(hwnd, true);
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE && (StateOf<ButtonState>(hwnd).state & BST_PUSHED))
        {
            SetPushed(hwnd, false);
            Click(hwnd);
        }
        return 0;
    case WM_SETFOCUS:
        StateOf<ButtonState>(hwnd).state |= BST_FOCUS;
        InvalidateRect(hwnd, nullptr, FALSE);
        if (StyleOf(hwnd) & BS_NOTIFY)
            Notify(hwnd, BN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
    {
        auto& st = StateOf<ButtonState>(hwnd);
        st.state &= ~BST_FOCUS;
        if (st.tracking && GetCapture() == hwnd)
            ReleaseCapture();
        InvalidateRect(hwnd, nullptr, FALSE);
        if (StyleOf(hwnd) & BS_NOTIFY)
            Notify(hwnd, BN_KILLFOCUS);
        return 0;
    }
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_SETTEXT:
    {
        const LRESULT r = DefWindowProc(hwnd, msg, wParam, lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return r;
    }
    case WM_SETFONT:
        StateOf<ButtonState>(hwnd).font = reinterpret_cast<HFONT>(wParam);
        if (LOWORD(lParam))
            InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(StateOf<ButtonState>(hwnd).font);
    case WM_GETDLGCODE:
    {
        const DWORD type = StyleOf(hwnd) & BS_TYPEMASK;
        if (type == BS_DEFPUSHBUTTON)
            return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        if (type == BS_PUSHBUTTON || type == BS_OWNERDRAW)
            return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON)
            return DLGC_BUTTON | DLGC_RADIOBUTTON;
        if (type == BS_GROUPBOX)
            return DLGC_STATIC;
        return DLGC_BUTTON;
    }
    case BM_GETCHECK:
        return StateOf<ButtonState>(hwnd).state & 3;
    case BM_SETCHECK:
        SetCheck(hwnd, static_cast<UINT>(wParam));
        return 0;
    case BM_GETSTATE:
        return StateOf<ButtonState>(hwnd).state;
    case BM_SETSTATE:
        SetPushed(hwnd, wParam != 0);
        return 0;
    case BM_SETSTYLE:
    {
        const DWORD style = (StyleOf(hwnd) & ~0xFFFFu) | (static_cast<DWORD>(wParam) & 0xFFFF);
        SetWindowLongPtr(hwnd, GWL_STYLE, static_cast<LONG_PTR>(style));
        if (lParam)
            InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    }
    case BM_CLICK:
        if (IsWindowEnabled(hwnd))
            Click(hwnd);
        return 0;
    case BM_SETIMAGE:
    {
        auto& st = StateOf<ButtonState>(hwnd);
        HANDLE old = st.image;
        st.image = reinterpret_cast<HANDLE>(lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return reinterpret_cast<LRESULT>(old);
    }
    case BM_GETIMAGE:
        return reinterpret_cast<LRESULT>(StateOf<ButtonState>(hwnd).image);
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg)
    {
    case WM_CREATE:
        StateOf<StaticState>(hwnd);
        UpdateStaticHitTest(hwnd);
        return 0;
    case WM_STYLECHANGED:
        UpdateStaticHitTest(hwnd);
        return 0;
    case WM_PAINT:
    {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (dc)
        {
            PaintStatic(hwnd, dc);
            EndPaint(hwnd, &ps);
        }
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_NCHITTEST:
        return (StyleOf(hwnd) & SS_NOTIFY) ? HTCLIENT : HTTRANSPARENT;
    case WM_LBUTTONDOWN:
        if (StyleOf(hwnd) & SS_NOTIFY)
            Notify(hwnd, STN_CLICKED);
        return 0;
    case WM_LBUTTONDBLCLK:
        if (StyleOf(hwnd) & SS_NOTIFY)
            Notify(hwnd, STN_DBLCLK);
        return 0;
    case WM_SETTEXT:
    {
        const LRESULT r = DefWindowProc(hwnd, msg, wParam, lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return r;
    }
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_SETFONT:
        StateOf<StaticState>(hwnd).font = reinterpret_cast<HFONT>(wParam);
        if (LOWORD(lParam))
            InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(StateOf<StaticState>(hwnd).font);
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    case STM_SETIMAGE:
    {
        auto& st = StateOf<StaticState>(hwnd);
        HANDLE old = st.image;
        st.image = reinterpret_cast<HANDLE>(lParam);
        const DWORD style = StyleOf(hwnd);
        BITMAP bm{};
        if (st.image && (style & SS_TYPEMASK) == SS_BITMAP &&
            !(style & (SS_CENTERIMAGE | SS_REALSIZECONTROL)) && GetObject(st.image, sizeof bm, &bm))
            SetWindowPos(hwnd, nullptr, 0, 0, bm.bmWidth, std::abs(bm.bmHeight),
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(hwnd, nullptr, TRUE);
        return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETIMAGE:
        return reinterpret_cast<LRESULT>(StateOf<StaticState>(hwnd).image);
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

void RegisterSystemClasses()
{
    static std::once_flag once;
    std::call_once(once,
                   []
                   {
                       auto add = [](const char* name, WNDPROC proc, UINT style, int extra, HBRUSH background)
                       {
                           WNDCLASSEXA wc{};
                           wc.cbSize = sizeof wc;
                           wc.style = style;
                           wc.lpfnWndProc = proc;
                           wc.cbWndExtra = extra;
                           wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
                           wc.hbrBackground = background;
                           wc.lpszClassName = name;
                           RegisterClassInternal(wc, true);
                       };
                       add(WC_BUTTON, ButtonProc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, 0, nullptr);
                       add(WC_STATIC, StaticProc, CS_DBLCLKS, 0, nullptr);
                       add(WC_EDIT, EditProc, CS_DBLCLKS, 0, nullptr);
                       add("#32770", DialogClassProc, CS_DBLCLKS | CS_SAVEBITS, DLGWINDOWEXTRA, nullptr);
                       add(TOOLTIPS_CLASS, ToolTipProc, CS_DBLCLKS | CS_SAVEBITS, 0, nullptr);
                       SetClassTooltip(TOOLTIPS_CLASS);
                   });
}
} // namespace platform::window::detail

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX*)
{
    platform::window::detail::RegisterSystemClasses();
    return TRUE;
}

void InitCommonControls()
{
    platform::window::detail::RegisterSystemClasses();
}

namespace platform::window
{
BOOL RegisterControlClass(LPCSTR className, WNDPROC proc)
{
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = proc;
    wc.cbWndExtra = sizeof(void*);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = className;
    return RegisterClassEx(&wc) != 0;
}

int CopyTextOut(const char* text, std::size_t length, LPSTR buffer, int size)
{
    if (!buffer || size <= 0)
        return 0;
    const std::size_t n = std::min(length, static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

int TextLineHeight(HWND window, HGDIOBJ font)
{
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRIC tm{};
    GetTextMetrics(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return std::max<int>(static_cast<int>(tm.tmHeight), 1);
}

LRESULT NotifyParent(HWND control, NMHDR& header, UINT code)
{
    header.hwndFrom = control;
    header.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(control));
    header.code = code;
    HWND parent = GetParent(control);
    return parent ? SendMessage(parent, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header)) : 0;
}

BOOL ScrollRequestPosition(UINT code, int line, int page, int thumb, int bottom, int& pos)
{
    switch (code)
    {
    case SB_LINEUP:
        pos -= line;
        return TRUE;
    case SB_LINEDOWN:
        pos += line;
        return TRUE;
    case SB_PAGEUP:
        pos -= page;
        return TRUE;
    case SB_PAGEDOWN:
        pos += page;
        return TRUE;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        pos = thumb;
        return TRUE;
    case SB_TOP:
        pos = 0;
        return TRUE;
    case SB_BOTTOM:
        pos = bottom;
        return TRUE;
    default:
        return FALSE;
    }
}
} // namespace platform::window
