// The dialog manager: dialog templates (DLGTEMPLATE and DLGTEMPLATEEX), the dialog class and its default
// procedure, modal loops, keyboard navigation and the dialog item helpers.

#include "platform/win/CString.h"
#include "platform/window/Dialogs.h"
#include "platform/window/GdiInternal.h"
#include "platform/window/WinGdi.h"
#include "platform/window/WindowInternal.h"

#include <cstring>
#include <memory>
#include <string>
#include <strings.h>
#include <unordered_map>

namespace platform::window
{
namespace
{
using detail::Find;
using detail::Log;

struct DialogState
{
    HFONT font = nullptr;
    bool ownsFont = false;
    int defId = IDOK;
    HWND focus = nullptr;
    bool ended = false;
    INT_PTR result = 0;
    int baseX = 0;
    int baseY = 0;
};

// User-interface thread only.
std::unordered_map<HWND, std::shared_ptr<DialogState>> g_dialogs;

std::shared_ptr<DialogState> StateOf(HWND hwnd)
{
    auto it = g_dialogs.find(hwnd);
    return it == g_dialogs.end() ? nullptr : it->second;
}

/// Reads a template within its bounds; any read past the end marks it broken.
class Reader
{
public:
    Reader(const BYTE* data, std::size_t size) : m_base(data), m_pos(data), m_end(data + size) {}
    bool Ok() const { return m_ok; }
    WORD Word()
    {
        WORD v = 0;
        Read(&v, sizeof v);
        return v;
    }
    DWORD Dword()
    {
        DWORD v = 0;
        Read(&v, sizeof v);
        return v;
    }
    short Short() { return static_cast<short>(Word()); }
    BYTE Byte()
    {
        BYTE v = 0;
        Read(&v, sizeof v);
        return v;
    }
    void Align4()
    {
        const auto offset = static_cast<std::size_t>(m_pos - m_base);
        Skip((4 - offset % 4) % 4);
    }
    void Skip(std::size_t n)
    {
        if (static_cast<std::size_t>(m_end - m_pos) < n)
        {
            m_ok = false;
            m_pos = m_end;
            return;
        }
        m_pos += n;
    }
    std::string String()
    {
        std::u16string s;
        for (;;)
        {
            const WORD c = Word();
            if (!m_ok || c == 0)
                break;
            s += static_cast<char16_t>(c);
        }
        return platform::Utf16ToUtf8(s);
    }
    /// A name or ordinal field: none (0), an ordinal (0xFFFF then the number), or a string.
    DialogName Name()
    {
        DialogName n;
        if (static_cast<std::size_t>(m_end - m_pos) < 2)
        {
            m_ok = false;
            return n;
        }
        WORD first;
        std::memcpy(&first, m_pos, 2);
        if (first == 0)
        {
            Skip(2);
            return n;
        }
        if (first == 0xFFFF)
        {
            Skip(2);
            n.ordinal = Word();
            n.isOrdinal = true;
            return n;
        }
        n.text = String();
        return n;
    }
    const BYTE* Position() const { return m_pos; }

private:
    void Read(void* out, std::size_t n)
    {
        if (static_cast<std::size_t>(m_end - m_pos) < n)
        {
            m_ok = false;
            m_pos = m_end;
            return;
        }
        std::memcpy(out, m_pos, n);
        m_pos += n;
    }
    const BYTE* m_base;
    const BYTE* m_pos;
    const BYTE* m_end;
    bool m_ok = true;
};

const char* ControlClass(WORD atom)
{
    switch (atom)
    {
    case 0x80:
        return "Button";
    case 0x81:
        return "Edit";
    case 0x82:
        return "Static";
    case 0x83:
        return "ListBox";
    case 0x84:
        return "ScrollBar";
    case 0x85:
        return "ComboBox";
    default:
        return nullptr;
    }
}

void BaseUnitsOf(HFONT font, int& x, int& y)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
    SIZE size{};
    GetTextExtentPoint32(dc, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &size);
    TEXTMETRIC tm{};
    GetTextMetrics(dc, &tm);
    SelectObject(dc, old);
    DeleteDC(dc);
    x = std::max<int>(1, (size.cx / 26 + 1) / 2);
    y = std::max<int>(1, tm.tmHeight);
}

bool IsTabStop(HWND h)
{
    // The control's own flags count, so that a dialog not shown yet has its tab order too.
    const auto style = static_cast<DWORD>(GetWindowLongPtr(h, GWL_STYLE));
    return (style & WS_TABSTOP) && (style & WS_VISIBLE) && !(style & WS_DISABLED);
}

std::vector<HWND> Children(HWND dialog)
{
    std::vector<HWND> out;
    for (HWND h = GetWindow(dialog, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT))
        out.push_back(h);
    return out;
}

HWND FirstTabItem(HWND dialog)
{
    return GetNextDlgTabItem(dialog, nullptr, FALSE);
}

/// Whether `control` and its parents up to `dialog` are shown and enabled by their own flags.
bool CanTakeFocus(HWND dialog, HWND control)
{
    for (HWND h = control; h && h != dialog; h = GetParent(h))
    {
        const auto style = static_cast<DWORD>(GetWindowLongPtr(h, GWL_STYLE));
        if (!(style & WS_VISIBLE) || (style & WS_DISABLED))
            return false;
    }
    return true;
}

/// The direct child of `dialog` that holds `control`.
HWND ItemOf(HWND dialog, HWND control)
{
    HWND item = control;
    while (item && GetParent(item) != dialog)
        item = GetParent(item);
    return item;
}

/// The control after `from` that can take the focus; null when there is none.
HWND NextFocusable(HWND dialog, HWND from)
{
    const HWND next = GetNextDlgTabItem(dialog, from, FALSE);
    return next && next != from && CanTakeFocus(dialog, next) ? next : nullptr;
}

void RestoreFocus(HWND dialog)
{
    // A control hidden or disabled since it had the focus passes it on to the next one; focusing it again
    // would leave the focus where nobody can see or use it.
    auto st = StateOf(dialog);
    HWND target = nullptr;
    if (st && st->focus && IsChild(dialog, st->focus))
        target =
            CanTakeFocus(dialog, st->focus) ? st->focus : NextFocusable(dialog, ItemOf(dialog, st->focus));
    else
        target = FirstTabItem(dialog);
    if (target && CanTakeFocus(dialog, target))
        SetFocus(target);
}
} // namespace

namespace detail
{
bool FocusNextDialogControl(HWND control)
{
    for (HWND dialog = GetAncestor(control, GA_PARENT); dialog; dialog = GetAncestor(dialog, GA_PARENT))
    {
        if (!StateOf(dialog))
            continue;
        const HWND item = ItemOf(dialog, control);
        const HWND next = NextFocusable(dialog, item);
        if (!next || IsChild(item, next))
            return false;
        SetFocus(next);
        return true;
    }
    return false;
}
} // namespace detail

DialogTemplate ParseDialogTemplate(const BYTE* data, std::size_t size)
{
    DialogTemplate t;
    if (!data || size < sizeof(DLGTEMPLATE))
        return t;
    Reader r(data, size);
    const DWORD first = r.Dword();
    t.extended = first == 0xFFFF0001u;
    DWORD count = 0;
    if (t.extended)
    {
        t.helpId = r.Dword();
        t.exStyle = r.Dword();
        t.style = r.Dword();
        count = r.Word();
    }
    else
    {
        t.style = first;
        t.exStyle = r.Dword();
        count = r.Word();
    }
    t.x = r.Short();
    t.y = r.Short();
    t.cx = r.Short();
    t.cy = r.Short();
    t.menu = r.Name();
    t.windowClass = r.Name();
    t.title = r.String();
    if (t.style & DS_SETFONT)
    {
        t.hasFont = true;
        t.pointSize = r.Word();
        if (t.extended)
        {
            t.weight = r.Word();
            t.italic = r.Byte();
            t.charset = r.Byte();
        }
        t.face = r.String();
    }
    for (DWORD i = 0; i < count && r.Ok(); ++i)
    {
        r.Align4();
        DialogItem item;
        if (t.extended)
        {
            item.helpId = r.Dword();
            item.exStyle = r.Dword();
            item.style = r.Dword();
        }
        else
        {
            item.style = r.Dword();
            item.exStyle = r.Dword();
        }
        item.x = r.Short();
        item.y = r.Short();
        item.cx = r.Short();
        item.cy = r.Short();
        item.id = t.extended ? r.Dword() : r.Word();
        item.windowClass = r.Name();
        item.title = r.Name();
        const WORD extra = r.Word();
        item.creationData = r.Position() - (r.Ok() ? 2 : 0);
        item.creationSize = extra;
        r.Skip(extra);
        if (r.Ok())
            t.items.push_back(std::move(item));
    }
    t.valid = r.Ok();
    return t;
}

HWND CreateDialogFromTemplate(HINSTANCE instance, const DialogTemplate& t, HWND parent, DLGPROC proc,
                              LPARAM initParam, const std::function<void(HWND)>& beforeControls)
{
    if (!t.valid)
    {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    auto state = std::make_shared<DialogState>();
    if (t.hasFont)
    {
        if (t.pointSize == 0x7FFF)
            state->font = reinterpret_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        else
        {
            state->font = CreateFont(-MulDiv(t.pointSize, 96, 72), 0, 0, 0, t.weight ? t.weight : FW_NORMAL,
                                     t.italic, FALSE, FALSE, t.charset, 0, 0, 0, 0, t.face.c_str());
            state->ownsFont = true;
        }
    }
    BaseUnitsOf(state->font, state->baseX, state->baseY);
    auto px = [&](int v, bool horizontal)
    { return horizontal ? MulDiv(v, state->baseX, 4) : MulDiv(v, state->baseY, 8); };

    DWORD style = t.style;
    const bool child = (style & WS_CHILD) != 0;
    HWND owner = parent;
    if (!child && owner)
        owner = GetAncestor(owner, GA_ROOT);
    DWORD exStyle = t.exStyle;
    if (style & DS_MODALFRAME)
        exStyle |= WS_EX_DLGMODALFRAME;
    RECT rc{0, 0, px(t.cx, true), px(t.cy, false)};
    AdjustWindowRectEx(&rc, style, FALSE, exStyle);
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;
    POINT pos{px(t.x, true), px(t.y, false)};
    if (style & DS_CENTER)
    {
        RECT area;
        if (owner && !child)
            GetWindowRect(owner, &area);
        else
            SystemParametersInfo(SPI_GETWORKAREA, 0, &area, 0);
        pos.x = area.left + (area.right - area.left - width) / 2;
        pos.y = area.top + (area.bottom - area.top - height) / 2;
    }
    else if (!(style & DS_ABSALIGN) && owner && !child)
        ClientToScreen(owner, &pos);
    const std::string className =
        t.windowClass.isOrdinal || t.windowClass.text.empty() ? "#32770" : t.windowClass.text;
    HWND dlg = CreateWindowEx(exStyle, className.c_str(), t.title.c_str(), style & ~WS_VISIBLE, pos.x, pos.y,
                              width, height, child ? parent : owner, nullptr, instance, nullptr);
    if (!dlg)
    {
        if (state->ownsFont)
            DeleteObject(state->font);
        return nullptr;
    }
    g_dialogs[dlg] = state;
    SetWindowLongPtr(dlg, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(proc));
    if (beforeControls)
        beforeControls(dlg);
    if (t.hasFont)
        SendMessage(dlg, WM_SETFONT, reinterpret_cast<WPARAM>(state->font), FALSE);

    for (const DialogItem& item : t.items)
    {
        const char* cls = item.windowClass.isOrdinal ? ControlClass(item.windowClass.ordinal)
                                                     : item.windowClass.text.c_str();
        if (!cls || !*cls)
            cls = "Static";
        const char* title = item.title.isOrdinal ? "" : item.title.text.c_str();
        HWND control =
            CreateWindowEx(item.exStyle | WS_EX_NOPARENTNOTIFY, cls, title, item.style | WS_CHILD,
                           px(item.x, true), px(item.y, false), px(item.cx, true), px(item.cy, false), dlg,
                           reinterpret_cast<HMENU>(static_cast<UINT_PTR>(item.id)), instance,
                           item.creationSize ? const_cast<BYTE*>(item.creationData) : nullptr);
        if (!IsWindow(dlg))
            return nullptr;
        if (!control)
        {
            Log("dialog control %u of class \"%s\" could not be made", static_cast<unsigned>(item.id), cls);
            if (!(style & DS_NOFAILCREATE))
            {
                DestroyWindow(dlg);
                SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
                return nullptr;
            }
            continue;
        }
        if (t.hasFont)
            SendMessage(control, WM_SETFONT, reinterpret_cast<WPARAM>(state->font), FALSE);
        if (item.title.isOrdinal)
        {
            const auto cstyle = static_cast<DWORD>(GetWindowLongPtr(control, GWL_STYLE));
            if ((cstyle & SS_TYPEMASK) == SS_BITMAP && !strcasecmp(cls, "Static"))
                if (HANDLE image =
                        LoadImage(instance, MAKEINTRESOURCE(item.title.ordinal), IMAGE_BITMAP, 0, 0, 0))
                    SendMessage(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(image));
        }
        if ((item.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON && !strcasecmp(cls, "Button"))
            state->defId = static_cast<int>(item.id);
    }
    HWND first = FirstTabItem(dlg);
    const LRESULT focusIt = SendMessage(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), initParam);
    if (!IsWindow(dlg))
        return nullptr;
    if (focusIt && first && IsWindow(first))
        SetFocus(first);
    if ((style & WS_VISIBLE) && !state->ended)
        ShowWindow(dlg, SW_SHOWNORMAL);
    return IsWindow(dlg) ? dlg : nullptr;
}

INT_PTR RunModalDialog(HWND dlg)
{
    auto state = StateOf(dlg);
    if (!state)
        return -1;
    if (!state->ended && !IsWindowVisible(dlg))
        ShowWindow(dlg, SW_SHOWNORMAL);
    MSG msg;
    while (IsWindow(dlg) && !state->ended)
    {
        const BOOL r = GetMessage(&msg, nullptr, 0, 0);
        if (r == 0)
        {
            // A quit asked for while the dialog runs ends the dialog and stays owed to the outer loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (r < 0)
            break;
        if (!IsDialogMessage(dlg, &msg))
        {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
    }
    return state->ended ? state->result : -1;
}

bool IsDialog(HWND hwnd)
{
    return StateOf(hwnd) != nullptr;
}

namespace detail
{
LRESULT CALLBACK DialogClassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefDlgProc(hwnd, msg, wParam, lParam);
}
} // namespace detail
} // namespace platform::window

using namespace platform::window;
using platform::window::detail::EnsureApplication;

HWND CreateDialogIndirectParam(HINSTANCE instance, LPCDLGTEMPLATE dlgTemplate, HWND parent, DLGPROC proc,
                               LPARAM initParam)
{
    PW_ON_UI_THREAD(CreateDialogIndirectParam(instance, dlgTemplate, parent, proc, initParam));
    if (!EnsureApplication())
        return nullptr;
    // A template in memory carries no size; its own counts bound the reading.
    const auto t = ParseDialogTemplate(reinterpret_cast<const BYTE*>(dlgTemplate), std::size_t{1} << 24);
    return CreateDialogFromTemplate(instance, t, parent, proc, initParam, nullptr);
}

INT_PTR DialogBoxIndirectParam(HINSTANCE instance, LPCDLGTEMPLATE dlgTemplate, HWND parent, DLGPROC proc,
                               LPARAM initParam)
{
    PW_ON_UI_THREAD(DialogBoxIndirectParam(instance, dlgTemplate, parent, proc, initParam));
    if (!EnsureApplication())
        return -1;
    HWND owner = parent ? GetAncestor(parent, GA_ROOT) : nullptr;
    const bool reenable = owner && IsWindowEnabled(owner);
    if (reenable)
        EnableWindow(owner, FALSE);
    const auto t = ParseDialogTemplate(reinterpret_cast<const BYTE*>(dlgTemplate), std::size_t{1} << 24);
    HWND dlg = CreateDialogFromTemplate(instance, t, parent, proc, initParam, nullptr);
    INT_PTR result = -1;
    if (dlg)
        result = RunModalDialog(dlg);
    if (reenable && IsWindow(owner))
        EnableWindow(owner, TRUE);
    if (IsWindow(dlg))
        DestroyWindow(dlg);
    return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result)
{
    PW_ON_UI_THREAD(EndDialog(dialog, result));
    auto state = StateOf(dialog);
    if (!state || !IsWindow(dialog))
    {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    state->ended = true;
    state->result = result;
    // Wakes the modal loop, which looks at the flag after each message.
    PostMessage(dialog, WM_NULL, 0, 0);
    return TRUE;
}

LRESULT DefDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    PW_ON_UI_THREAD(DefDlgProc(hwnd, msg, wParam, lParam));
    if (!IsWindow(hwnd))
        return 0;
    auto proc = reinterpret_cast<DLGPROC>(GetWindowLongPtr(hwnd, DWLP_DLGPROC));
    if (proc)
    {
        SetWindowLongPtr(hwnd, DWLP_MSGRESULT, 0);
        const INT_PTR handled = proc(hwnd, msg, wParam, lParam);
        if (!IsWindow(hwnd))
            return handled;
        if (handled)
        {
            switch (msg)
            {
            case WM_CTLCOLORMSGBOX:
            case WM_CTLCOLOREDIT:
            case WM_CTLCOLORLISTBOX:
            case WM_CTLCOLORBTN:
            case WM_CTLCOLORDLG:
            case WM_CTLCOLORSCROLLBAR:
            case WM_CTLCOLORSTATIC:
            case WM_COMPAREITEM:
            case WM_VKEYTOITEM:
            case WM_CHARTOITEM:
            case WM_QUERYDRAGICON:
            case WM_INITDIALOG:
                return handled;
            default:
                return GetWindowLongPtr(hwnd, DWLP_MSGRESULT);
            }
        }
    }
    auto state = StateOf(hwnd);
    switch (msg)
    {
    case WM_ERASEBKGND:
    {
        HDC dc = reinterpret_cast<HDC>(wParam);
        auto brush = reinterpret_cast<HBRUSH>(
            SendMessage(hwnd, WM_CTLCOLORDLG, wParam, reinterpret_cast<LPARAM>(hwnd)));
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(dc, &rc, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    case WM_CLOSE:
    {
        HWND cancel = GetDlgItem(hwnd, IDCANCEL);
        if (!cancel || IsWindowEnabled(cancel))
            PostMessage(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
        return 0;
    }
    case WM_SETFONT:
        if (state)
        {
            if (state->ownsFont && state->font != reinterpret_cast<HFONT>(wParam))
                state->ownsFont = false;
            state->font = reinterpret_cast<HFONT>(wParam);
            BaseUnitsOf(state->font, state->baseX, state->baseY);
        }
        return 0;
    case WM_GETFONT:
        return state ? reinterpret_cast<LRESULT>(state->font) : 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE)
            RestoreFocus(hwnd);
        else if (state)
        {
            HWND focus = GetFocus();
            if (focus && IsChild(hwnd, focus))
                state->focus = focus;
        }
        return 0;
    case WM_SETFOCUS:
        RestoreFocus(hwnd);
        return 0;
    case WM_SHOWWINDOW:
        if (!wParam && state)
        {
            HWND focus = GetFocus();
            if (focus && IsChild(hwnd, focus))
                state->focus = focus;
        }
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case WM_NEXTDLGCTL:
    {
        HWND target = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                                     : GetNextDlgTabItem(hwnd, GetFocus(), wParam != 0);
        if (target)
            SetFocus(target);
        return 0;
    }
    case DM_GETDEFID:
        return state ? MAKELRESULT(state->defId, DC_HASDEFID) : 0;
    case DM_SETDEFID:
        if (state)
            state->defId = static_cast<int>(wParam);
        return TRUE;
    case WM_NCDESTROY:
        if (state)
        {
            if (state->ownsFont)
                DeleteObject(state->font);
            state->ownsFont = false;
            g_dialogs.erase(hwnd);
        }
        return 0;
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

BOOL IsDialogMessage(HWND dialog, LPMSG msg)
{
    PW_ON_UI_THREAD(IsDialogMessage(dialog, msg));
    if (!msg || !IsWindow(dialog))
        return FALSE;
    if (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd))
        return FALSE;
    if (msg->message == WM_KEYDOWN)
    {
        const LRESULT code =
            msg->hwnd ? SendMessage(msg->hwnd, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg)) : 0;
        switch (msg->wParam)
        {
        case VK_TAB:
            if (!(code & (DLGC_WANTTAB | DLGC_WANTALLKEYS)))
            {
                HWND next = GetNextDlgTabItem(dialog, GetFocus(), GetKeyState(VK_SHIFT) < 0);
                if (next)
                {
                    SetFocus(next);
                    if (SendMessage(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
                        SendMessage(next, EM_SETSEL, 0, -1);
                }
                return TRUE;
            }
            break;
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN:
            if (!(code & (DLGC_WANTARROWS | DLGC_WANTALLKEYS)))
            {
                HWND next =
                    GetNextDlgGroupItem(dialog, GetFocus(), msg->wParam == VK_LEFT || msg->wParam == VK_UP);
                if (next && next != GetFocus())
                {
                    SetFocus(next);
                    if (SendMessage(next, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON)
                        SendMessage(next, BM_CLICK, 0, 0);
                }
                return TRUE;
            }
            break;
        case VK_RETURN:
            if (!(code & DLGC_WANTALLKEYS))
            {
                int id;
                if (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))
                    id = GetDlgCtrlID(msg->hwnd);
                else
                {
                    const LRESULT def = SendMessage(dialog, DM_GETDEFID, 0, 0);
                    id = HIWORD(static_cast<DWORD_PTR>(def)) == DC_HASDEFID
                             ? LOWORD(static_cast<DWORD_PTR>(def))
                             : IDOK;
                }
                HWND button = GetDlgItem(dialog, id);
                if (!button || IsWindowEnabled(button))
                    SendMessage(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                                reinterpret_cast<LPARAM>(button));
                return TRUE;
            }
            break;
        case VK_ESCAPE:
            if (!(code & DLGC_WANTALLKEYS))
            {
                HWND cancel = GetDlgItem(dialog, IDCANCEL);
                if (!cancel || IsWindowEnabled(cancel))
                    SendMessage(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                                reinterpret_cast<LPARAM>(cancel));
                return TRUE;
            }
            break;
        default:
            break;
        }
    }
    TranslateMessage(msg);
    DispatchMessage(msg);
    return TRUE;
}

BOOL MapDialogRect(HWND dialog, LPRECT rect)
{
    PW_ON_UI_THREAD(MapDialogRect(dialog, rect));
    if (!rect)
        return FALSE;
    int x = 0, y = 0;
    if (auto state = StateOf(dialog))
    {
        x = state->baseX;
        y = state->baseY;
    }
    else
    {
        const LONG units = GetDialogBaseUnits();
        x = LOWORD(static_cast<DWORD>(units));
        y = HIWORD(static_cast<DWORD>(units));
    }
    rect->left = MulDiv(rect->left, x, 4);
    rect->right = MulDiv(rect->right, x, 4);
    rect->top = MulDiv(rect->top, y, 8);
    rect->bottom = MulDiv(rect->bottom, y, 8);
    return TRUE;
}

LONG GetDialogBaseUnits()
{
    static int x = 0, y = 0;
    if (!x)
        BaseUnitsOf(nullptr, x, y);
    return static_cast<LONG>(MAKELONG(static_cast<WORD>(x), static_cast<WORD>(y)));
}

HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous)
{
    PW_ON_UI_THREAD(GetNextDlgTabItem(dialog, control, previous));
    const auto children = Children(dialog);
    if (children.empty())
        return nullptr;
    const auto n = static_cast<long>(children.size());
    long start = previous ? 0 : n - 1;
    if (control)
        for (long i = 0; i < n; ++i)
            if (children[static_cast<std::size_t>(i)] == control)
                start = i;
    for (long step = 1; step <= n; ++step)
    {
        const long i = ((previous ? start - step : start + step) % n + n) % n;
        if (IsTabStop(children[static_cast<std::size_t>(i)]))
            return children[static_cast<std::size_t>(i)];
    }
    return control;
}

HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous)
{
    PW_ON_UI_THREAD(GetNextDlgGroupItem(dialog, control, previous));
    const auto children = Children(dialog);
    if (children.empty())
        return nullptr;
    std::size_t at = 0;
    bool found = false;
    for (std::size_t i = 0; i < children.size(); ++i)
        if (children[i] == control)
        {
            at = i;
            found = true;
        }
    if (!found)
        return children.front();
    auto grouped = [&](std::size_t i) { return (GetWindowLongPtr(children[i], GWL_STYLE) & WS_GROUP) != 0; };
    // The group runs from a control with WS_GROUP up to the next such control. Every member counts, so
    // that walking the group always comes back to where it started.
    std::size_t first = at;
    while (first > 0 && !grouped(first))
        --first;
    std::size_t last = at;
    while (last + 1 < children.size() && !grouped(last + 1))
        ++last;
    std::size_t next;
    if (previous)
        next = at == first ? last : at - 1;
    else
        next = at == last ? first : at + 1;
    return children[next];
}

BOOL SetDlgItemText(HWND dialog, int id, LPCSTR text)
{
    HWND item = GetDlgItem(dialog, id);
    return item ? SetWindowText(item, text) : FALSE;
}

UINT GetDlgItemText(HWND dialog, int id, LPSTR buffer, int size)
{
    if (buffer && size > 0)
        buffer[0] = '\0';
    HWND item = GetDlgItem(dialog, id);
    return item ? static_cast<UINT>(GetWindowText(item, buffer, size)) : 0;
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned)
{
    const std::string text = isSigned ? std::to_string(static_cast<int>(value)) : std::to_string(value);
    return SetDlgItemText(dialog, id, text.c_str());
}

UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned)
{
    if (translated)
        *translated = FALSE;
    char buffer[64];
    if (!GetDlgItemText(dialog, id, buffer, sizeof buffer))
        return 0;
    const char* p = buffer;
    while (*p == ' ')
        ++p;
    bool negative = false;
    if (isSigned && *p == '-')
    {
        negative = true;
        ++p;
    }
    if (*p < '0' || *p > '9')
        return 0;
    unsigned long long v = 0;
    while (*p >= '0' && *p <= '9')
    {
        v = v * 10 + static_cast<unsigned>(*p++ - '0');
        if (v > (isSigned ? 0x80000000ull : 0xFFFFFFFFull))
            return 0;
    }
    while (*p == ' ')
        ++p;
    if (*p || (isSigned && !negative && v > 0x7FFFFFFFull))
        return 0;
    if (translated)
        *translated = TRUE;
    return negative ? static_cast<UINT>(-static_cast<long long>(v)) : static_cast<UINT>(v);
}

LRESULT SendDlgItemMessage(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam)
{
    HWND item = GetDlgItem(dialog, id);
    return item ? SendMessage(item, msg, wParam, lParam) : 0;
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check)
{
    HWND item = GetDlgItem(dialog, id);
    if (!item)
        return FALSE;
    SendMessage(item, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id)
{
    HWND item = GetDlgItem(dialog, id);
    return item ? static_cast<UINT>(SendMessage(item, BM_GETCHECK, 0, 0)) : 0;
}

BOOL CheckRadioButton(HWND dialog, int first, int last, int check)
{
    for (int id = first; id <= last; ++id)
        if (HWND item = GetDlgItem(dialog, id))
            SendMessage(item, BM_SETCHECK, id == check ? BST_CHECKED : BST_UNCHECKED, 0);
    return TRUE;
}
