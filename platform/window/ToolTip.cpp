// The tooltip control: tools registered by window or rectangle, relayed or subclassed mouse messages, delay
// timers, text by callback, and a tip window drawn by the layer.

#include "platform/resources/Resources.h"
#include "platform/win/CString.h"
#include "platform/win/Kernel.h"
#include "platform/window/CommCtrl.h"
#include "platform/window/WinGdi.h"
#include "platform/window/WindowInternal.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace platform::window::detail
{
namespace
{
constexpr UINT_PTR kShowTimer = 1;
constexpr UINT_PTR kPopTimer = 2;
constexpr UINT_PTR kWatchTimer = 3;
// A balloon: its stem's height and width, how far from the balloon's edge the stem stands, the corners'
// roundness and the room around its text.
constexpr int kStemHeight = 12;
constexpr int kStemWidth = 12;
constexpr int kStemInset = 16;
constexpr int kBalloonRound = 12;
constexpr int kBalloonPad = 6;
constexpr int kTitleIconSize = 16;

struct Tool
{
    UINT flags = 0;
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    RECT rect{};
    HINSTANCE instance = nullptr;
    bool callback = false;
    bool unicode = false; // the tool's window asks for its callback text in wide characters
    std::string text;
    LPARAM lParam = 0;
};

struct TipState
{
    std::vector<Tool> tools;
    bool active = true;
    UINT initialMs = 500;
    UINT popMs = 5000;
    UINT reshowMs = 100;
    int maxWidth = -1;
    int current = -1; // index of the tool under the pointer
    bool shown = false;
    DWORD lastHidden = 0;
    bool suppressed = false; // a click hid the tip; it stays away until the pointer leaves the tool
    HFONT font = nullptr;
    std::string title;
    WPARAM titleIcon = TTI_NONE; // TTI_x or an icon handle
    bool balloon = false;        // as last shown
    bool stemAbove = true;       // the stem points up from the balloon's top edge, else down from its bottom
    int stemX = kStemInset;      // where the stem leaves the balloon's edge
    COLORREF back = CLR_DEFAULT;
    COLORREF fore = CLR_DEFAULT;
    RECT margin{4, 2, 4, 2};
};

struct Subclass
{
    WNDPROC previous = nullptr;
    std::vector<HWND> tips;
};

// User-interface thread only.
std::unordered_map<HWND, Subclass> g_subclassed;

TipState* StateOf(HWND hwnd)
{
    auto w = Find(hwnd);
    return w && w->controlState ? static_cast<TipState*>(w->controlState.get()) : nullptr;
}

int FindTool(const TipState& st, HWND hwnd, UINT_PTR id)
{
    for (std::size_t i = 0; i < st.tools.size(); ++i)
        if (st.tools[i].hwnd == hwnd && st.tools[i].id == id)
            return static_cast<int>(i);
    return -1;
}

bool ReadInfo(LPARAM lParam, const TOOLINFOA*& info)
{
    info = reinterpret_cast<const TOOLINFOA*>(lParam);
    return info && info->cbSize >= offsetof(TOOLINFOA, lParam);
}

void SetText(Tool& tool, const TOOLINFOA& info)
{
    tool.callback = info.lpszText == LPSTR_TEXTCALLBACKA;
    tool.instance = info.hinst;
    if (tool.callback || !info.lpszText)
        tool.text.clear();
    else if (IS_INTRESOURCE(info.lpszText))
    {
        char buffer[1024];
        const int n =
            LoadStringA(info.hinst, static_cast<UINT>(reinterpret_cast<std::uintptr_t>(info.lpszText)),
                        buffer, sizeof buffer);
        tool.text.assign(buffer, static_cast<std::size_t>(std::max(n, 0)));
    }
    else
        tool.text = info.lpszText;
}

LRESULT CALLBACK ToolSubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

void SubclassTool(HWND tip, HWND tool)
{
    auto it = g_subclassed.find(tool);
    if (it == g_subclassed.end())
    {
        Subclass s;
        s.previous = reinterpret_cast<WNDPROC>(
            SetWindowLongPtr(tool, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ToolSubclassProc)));
        it = g_subclassed.emplace(tool, s).first;
    }
    if (std::find(it->second.tips.begin(), it->second.tips.end(), tip) == it->second.tips.end())
        it->second.tips.push_back(tip);
}

bool ToolContains(const Tool& tool, POINT clientPoint)
{
    if (tool.flags & TTF_IDISHWND)
    {
        RECT rc;
        GetClientRect(reinterpret_cast<HWND>(tool.id), &rc);
        POINT p = clientPoint;
        MapWindowPoints(tool.hwnd, reinterpret_cast<HWND>(tool.id), &p, 1);
        return PtInRect(&rc, p) != FALSE;
    }
    return PtInRect(&tool.rect, clientPoint) != FALSE;
}

RECT ToolScreenRect(const Tool& tool)
{
    RECT r{};
    if (tool.flags & TTF_IDISHWND)
        GetWindowRect(reinterpret_cast<HWND>(tool.id), &r);
    else
    {
        r = tool.rect;
        MapWindowPoints(tool.hwnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
    }
    return r;
}

void Notify(HWND tip, const Tool& tool, UINT code)
{
    NMHDR hdr{tip, tool.id, code};
    SendMessage(tool.hwnd, WM_NOTIFY, static_cast<WPARAM>(tool.id), reinterpret_cast<LPARAM>(&hdr));
}

std::string ResourceText(HINSTANCE instance, const void* id)
{
    char buffer[1024];
    const int n =
        LoadStringA(instance, static_cast<UINT>(reinterpret_cast<std::uintptr_t>(id)), buffer, sizeof buffer);
    return std::string(buffer, static_cast<std::size_t>(std::max(n, 0)));
}

/// Asks the tool's window for its text in the form the window chose, and reads the answer from wherever
/// the window put it: its own string, a string resource or the buffer of the request.
template <class Info, class Char>
std::string AskText(HWND tip, const Tool& tool, UINT code, Char* noText, UINT& flags)
{
    Info info{};
    info.hdr = NMHDR{tip, tool.id, code};
    info.uFlags = tool.flags & TTF_IDISHWND;
    info.lParam = tool.lParam;
    SendMessage(tool.hwnd, WM_NOTIFY, static_cast<WPARAM>(tool.id), reinterpret_cast<LPARAM>(&info));
    flags = info.uFlags;
    std::basic_string_view<Char> text;
    if (info.lpszText && info.lpszText != noText)
    {
        if (IS_INTRESOURCE(info.lpszText))
            return ResourceText(info.hinst, info.lpszText);
        text = info.lpszText;
    }
    else
    {
        const Char* end = std::find(std::begin(info.szText), std::end(info.szText), Char{});
        text = std::basic_string_view<Char>(info.szText, static_cast<std::size_t>(end - info.szText));
    }
    if constexpr (std::is_same_v<Char, wchar_t>)
        return platform::WideToUtf8(text);
    else
        return std::string(text);
}

std::string TextOf(HWND tip, Tool& tool)
{
    if (!tool.callback)
        return tool.text;
    UINT flags = 0;
    const std::string text =
        tool.unicode ? AskText<NMTTDISPINFOW>(tip, tool, TTN_GETDISPINFOW, LPSTR_TEXTCALLBACKW, flags)
                     : AskText<NMTTDISPINFOA>(tip, tool, TTN_GETDISPINFOA, LPSTR_TEXTCALLBACKA, flags);
    if (flags & TTF_DI_SETITEM)
    {
        tool.text = text;
        tool.callback = false;
    }
    return text;
}

UINT TextFormat(HWND tip)
{
    UINT format = DT_LEFT | DT_EXPANDTABS;
    if (GetWindowLongPtr(tip, GWL_STYLE) & TTS_NOPREFIX)
        format |= DT_NOPREFIX;
    return format;
}

bool IsBalloon(HWND tip)
{
    return (GetWindowLongPtr(tip, GWL_STYLE) & TTS_BALLOON) != 0;
}

/// The part of a balloon tip that holds its text: the window without the stem.
RECT BalloonBody(const TipState& st, int width, int height)
{
    return st.stemAbove ? RECT{0, kStemHeight, width, height} : RECT{0, 0, width, height - kStemHeight};
}

/// The balloon's outline: a rounded body and its stem.
HRGN BalloonRegion(const TipState& st, int width, int height)
{
    const RECT body = BalloonBody(st, width, height);
    HRGN shape = CreateRoundRectRgn(body.left, body.top, body.right + 1, body.bottom + 1, kBalloonRound,
                                    kBalloonRound);
    const int edge = st.stemAbove ? body.top : body.bottom;
    const int apex = st.stemAbove ? 0 : height;
    const POINT stem[] = {{st.stemX, edge + (st.stemAbove ? 1 : -1)},
                          {st.stemX + kStemWidth, edge + (st.stemAbove ? 1 : -1)},
                          {st.stemX, apex}};
    HRGN point = CreatePolygonRgn(stem, 3, WINDING);
    CombineRgn(shape, shape, point, RGN_OR);
    DeleteObject(point);
    return shape;
}

HFONT TitleFont(HFONT base)
{
    LOGFONTA font{};
    GetObject(base ? static_cast<HGDIOBJ>(base) : GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    font.lfWeight = FW_BOLD;
    return CreateFontIndirect(&font);
}

/// The title's icon: the three standard ones are drawn here (a blue "i", a yellow "!", a red bar), any
/// other value is an icon handle.
void DrawTitleIcon(HDC dc, int x, int y, WPARAM icon)
{
    const int kind = icon >= TTI_INFO_LARGE && icon <= TTI_ERROR_LARGE ? static_cast<int>(icon - 3)
                                                                       : static_cast<int>(icon);
    if (kind < static_cast<int>(TTI_INFO) || kind > static_cast<int>(TTI_ERROR))
    {
        DrawIconEx(dc, x, y, reinterpret_cast<HICON>(icon), kTitleIconSize, kTitleIconSize, 0, nullptr,
                   DI_NORMAL);
        return;
    }
    const COLORREF colour = kind == static_cast<int>(TTI_INFO)      ? RGB(0x1E, 0x6F, 0xD9)
                            : kind == static_cast<int>(TTI_WARNING) ? RGB(0xF2, 0xB7, 0x05)
                                                                    : RGB(0xD9, 0x2B, 0x2B);
    const COLORREF mark = kind == static_cast<int>(TTI_WARNING) ? RGB(0x30, 0x30, 0x30) : RGB(255, 255, 255);
    HBRUSH fill = CreateSolidBrush(colour);
    HPEN outline = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ oldBrush = SelectObject(dc, fill);
    HGDIOBJ oldPen = SelectObject(dc, outline);
    if (kind == static_cast<int>(TTI_WARNING))
    {
        const POINT triangle[] = {{x + 8, y}, {x + 15, y + 15}, {x, y + 15}};
        Polygon(dc, triangle, 3);
    }
    else
        Ellipse(dc, x, y, x + kTitleIconSize, y + kTitleIconSize);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(outline);
    DeleteObject(fill);
    HBRUSH ink = CreateSolidBrush(mark);
    const RECT parts[2][2] = {{{x + 7, y + 3, x + 9, y + 5}, {x + 7, y + 6, x + 9, y + 13}},
                              {{x + 7, y + 5, x + 9, y + 10}, {x + 7, y + 11, x + 9, y + 13}}};
    if (kind == static_cast<int>(TTI_ERROR))
    {
        const RECT bar{x + 4, y + 7, x + 12, y + 9};
        FillRect(dc, &bar, ink);
    }
    else
        for (const RECT& part : parts[kind == static_cast<int>(TTI_WARNING) ? 1 : 0])
            FillRect(dc, &part, ink);
    DeleteObject(ink);
}

void Hide(HWND tip)
{
    auto* st = StateOf(tip);
    if (!st)
        return;
    KillTimer(tip, kPopTimer);
    KillTimer(tip, kWatchTimer);
    if (st->shown)
    {
        st->shown = false;
        st->lastHidden = GetTickCount();
        ShowWindow(tip, SW_HIDE);
        if (st->current >= 0 && st->current < static_cast<int>(st->tools.size()))
            Notify(tip, st->tools[static_cast<std::size_t>(st->current)], TTN_POP);
    }
}

bool ToolIsReachable(HWND tip, const Tool& tool)
{
    if (!IsWindow(tool.hwnd) || !IsWindowVisible(tool.hwnd))
        return false;
    // Without TTS_ALWAYSTIP a tip shows only over the active window's tools.
    if (GetWindowLongPtr(tip, GWL_STYLE) & TTS_ALWAYSTIP)
        return true;
    return GetAncestor(tool.hwnd, GA_ROOT) == GetActiveWindow();
}

void Show(HWND tip)
{
    auto* st = StateOf(tip);
    if (!st || !st->active || st->current < 0 || st->current >= static_cast<int>(st->tools.size()))
        return;
    Tool& tool = st->tools[static_cast<std::size_t>(st->current)];
    if (!ToolIsReachable(tip, tool))
        return;
    const std::string text = TextOf(tip, tool);
    st = StateOf(tip);
    if (!st || text.empty())
        return;
    SetWindowText(tip, text.c_str());
    // The text request may have restyled the control or given it a title.
    const bool balloon = IsBalloon(tip);
    const int pad = balloon ? kBalloonPad : 0;
    HDC dc = GetDC(tip);
    HGDIOBJ old = SelectObject(dc, st->font ? st->font : GetStockObject(DEFAULT_GUI_FONT));
    RECT r{0, 0, st->maxWidth > 0 ? st->maxWidth : 4096, 0};
    UINT format = TextFormat(tip) | DT_CALCRECT;
    if (st->maxWidth > 0)
        format |= DT_WORDBREAK;
    DrawText(dc, text.c_str(), -1, &r, format);
    int titleHeight = 0, titleWidth = 0;
    if (!st->title.empty())
    {
        HFONT bold = TitleFont(st->font);
        SelectObject(dc, bold);
        RECT t{0, 0, 0, 0};
        DrawText(dc, st->title.c_str(), -1, &t, DT_CALCRECT | DT_SINGLELINE);
        SelectObject(dc, st->font ? st->font : GetStockObject(DEFAULT_GUI_FONT));
        DeleteObject(bold);
        const bool icon = st->titleIcon != TTI_NONE;
        titleHeight = std::max<int>(t.bottom, icon ? kTitleIconSize : 0) + 2;
        titleWidth = t.right + (icon ? kTitleIconSize + 4 : 0);
    }
    SelectObject(dc, old);
    ReleaseDC(tip, dc);
    const int width = std::max<int>(r.right, titleWidth) + st->margin.left + st->margin.right + 2 + 2 * pad;
    const int height = r.bottom + titleHeight + st->margin.top + st->margin.bottom + 2 + 2 * pad +
                       (balloon ? kStemHeight : 0);
    POINT cursor;
    GetCursorPos(&cursor);
    RECT work;
    SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
    int x = cursor.x, y = cursor.y + 20;
    POINT apex = cursor;
    if (tool.flags & TTF_CENTERTIP)
    {
        const RECT tr = ToolScreenRect(tool);
        x = (tr.left + tr.right - width) / 2;
        y = tr.bottom + 2;
        apex = POINT{(tr.left + tr.right) / 2, tr.bottom};
    }
    if (balloon)
    {
        // The stem points at the pointer (or the tool), from below it when there is room, else from above.
        st->stemAbove = apex.y + height <= work.bottom;
        x = apex.x - kStemInset;
        y = st->stemAbove ? apex.y : apex.y - height;
    }
    x = std::clamp<int>(x, work.left, std::max<int>(work.left, work.right - width));
    if (!balloon && y + height > work.bottom)
        y = cursor.y - height - 4;
    if (balloon)
        st->stemX = std::clamp<int>(apex.x - x, kBalloonRound,
                                    std::max(kBalloonRound, width - kBalloonRound - kStemWidth));
    if (balloon || st->balloon)
        SetWindowRgn(tip, balloon ? BalloonRegion(*st, width, height) : nullptr, FALSE);
    st->balloon = balloon;
    SetWindowPos(tip, HWND_TOPMOST, x, y, width, height, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    InvalidateRect(tip, nullptr, TRUE);
    st = StateOf(tip);
    if (!st)
        return;
    st->shown = true;
    Notify(tip, tool, TTN_SHOW);
    SetTimer(tip, kPopTimer, st->popMs, nullptr);
    SetTimer(tip, kWatchTimer, 100, nullptr);
}

void Relay(HWND tip, const MSG& msg)
{
    auto* st = StateOf(tip);
    if (!st)
        return;
    switch (msg.message)
    {
    case WM_MOUSEMOVE:
    {
        const POINT p{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
        int hit = -1;
        for (std::size_t i = 0; i < st->tools.size(); ++i)
        {
            const Tool& t = st->tools[i];
            if (t.hwnd == msg.hwnd && !(t.flags & TTF_TRACK) && ToolContains(t, p))
            {
                hit = static_cast<int>(i);
                break;
            }
            if ((t.flags & TTF_IDISHWND) && reinterpret_cast<HWND>(t.id) == msg.hwnd)
            {
                hit = static_cast<int>(i);
                break;
            }
        }
        if (hit == st->current)
        {
            if (hit >= 0 && !st->shown && !st->suppressed)
                SetTimer(tip, kShowTimer, st->initialMs, nullptr);
            return;
        }
        const bool wasShown = st->shown;
        Hide(tip);
        st = StateOf(tip);
        if (!st)
            return;
        st->current = hit;
        st->suppressed = false;
        KillTimer(tip, kShowTimer);
        if (hit >= 0)
        {
            const bool recently = wasShown || GetTickCount() - st->lastHidden < st->reshowMs * 5;
            SetTimer(tip, kShowTimer, recently ? st->reshowMs : st->initialMs, nullptr);
        }
        return;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
    case WM_LBUTTONDBLCLK:
        KillTimer(tip, kShowTimer);
        Hide(tip);
        if (auto* s = StateOf(tip))
            s->suppressed = s->current >= 0;
        return;
    case WM_MOUSELEAVE:
        KillTimer(tip, kShowTimer);
        Hide(tip);
        if (auto* s = StateOf(tip))
        {
            s->current = -1;
            s->suppressed = false;
        }
        return;
    default:
        return;
    }
}

LRESULT CALLBACK ToolSubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto it = g_subclassed.find(hwnd);
    if (it == g_subclassed.end())
        return DefWindowProc(hwnd, msg, wParam, lParam);
    const WNDPROC previous = it->second.previous;
    if ((msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST) || msg == WM_MOUSELEAVE)
    {
        if (msg == WM_MOUSEMOVE)
        {
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE | TME_QUERY, hwnd, 0};
            TrackMouseEvent(&track);
            if (!(track.dwFlags & TME_LEAVE) || track.hwndTrack != hwnd)
            {
                TRACKMOUSEEVENT leave{sizeof leave, TME_LEAVE, hwnd, 0};
                TrackMouseEvent(&leave);
            }
        }
        MSG m{hwnd, msg, wParam, lParam, GetMessageTime(), {}};
        for (HWND tip : std::vector<HWND>(it->second.tips))
            if (IsWindow(tip))
                Relay(tip, m);
    }
    if (msg == WM_NCDESTROY)
    {
        g_subclassed.erase(hwnd);
        SetWindowLongPtr(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    }
    return CallWindowProc(previous, hwnd, msg, wParam, lParam);
}

void Paint(HWND tip)
{
    auto* st = StateOf(tip);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(tip, &ps);
    if (!dc || !st)
    {
        if (dc)
            EndPaint(tip, &ps);
        return;
    }
    RECT rc;
    GetClientRect(tip, &rc);
    const COLORREF back = st->back == CLR_DEFAULT ? GetSysColor(COLOR_INFOBK) : st->back;
    const COLORREF fore = st->fore == CLR_DEFAULT ? GetSysColor(COLOR_INFOTEXT) : st->fore;
    HBRUSH brush = CreateSolidBrush(back);
    RECT body = rc;
    int pad = 0;
    if (st->balloon)
    {
        body = BalloonBody(*st, rc.right, rc.bottom);
        pad = kBalloonPad;
        HRGN shape = BalloonRegion(*st, rc.right, rc.bottom);
        FillRgn(dc, shape, brush);
        FrameRgn(dc, shape, GetSysColorBrush(COLOR_WINDOWFRAME), 1, 1);
        DeleteObject(shape);
    }
    else
    {
        FillRect(dc, &rc, brush);
        FrameRect(dc, &rc, GetSysColorBrush(COLOR_WINDOWFRAME));
    }
    DeleteObject(brush);
    HGDIOBJ old = SelectObject(dc, st->font ? st->font : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, fore);
    RECT text{body.left + 1 + st->margin.left + pad, body.top + 1 + st->margin.top + pad,
              body.right - 1 - st->margin.right - pad, body.bottom - 1 - st->margin.bottom - pad};
    if (!st->title.empty())
    {
        RECT title = text;
        int rowHeight = 0;
        if (st->titleIcon != TTI_NONE)
        {
            DrawTitleIcon(dc, title.left, title.top, st->titleIcon);
            title.left += kTitleIconSize + 4;
            rowHeight = kTitleIconSize;
        }
        HFONT bold = TitleFont(st->font);
        SelectObject(dc, bold);
        DrawText(dc, st->title.c_str(), -1, &title, DT_SINGLELINE | DT_LEFT);
        RECT t{0, 0, 0, 0};
        DrawText(dc, st->title.c_str(), -1, &t, DT_CALCRECT | DT_SINGLELINE);
        SelectObject(dc, st->font ? st->font : GetStockObject(DEFAULT_GUI_FONT));
        DeleteObject(bold);
        text.top += std::max<int>(rowHeight, t.bottom) + 2;
    }
    char buffer[2048];
    GetWindowText(tip, buffer, sizeof buffer);
    DrawText(dc, buffer, -1, &text, TextFormat(tip) | (st->maxWidth > 0 ? DT_WORDBREAK : 0));
    SelectObject(dc, old);
    EndPaint(tip, &ps);
}
} // namespace

LRESULT CALLBACK ToolTipProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* st = msg == WM_NCCREATE ? nullptr : StateOf(hwnd);
    switch (msg)
    {
    case WM_NCCREATE:
    {
        auto w = Find(hwnd);
        if (!w)
            return FALSE;
        w->controlState = std::make_shared<TipState>();
        // A tooltip is a top-most pop-up whatever its creator asked for.
        w->style = (w->style & ~WS_CHILD) | WS_POPUP;
        w->exStyle |= WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE;
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
    case WM_PAINT:
        Paint(hwnd);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_NCHITTEST:
        return HTTRANSPARENT;
    case WM_MOUSEACTIVATE:
        return 3; // MA_NOACTIVATE
    case WM_TIMER:
        if (!st)
            return 0;
        if (wParam == kShowTimer)
        {
            KillTimer(hwnd, kShowTimer);
            Show(hwnd);
        }
        else if (wParam == kPopTimer)
        {
            Hide(hwnd);
            if (auto* s = StateOf(hwnd))
                s->suppressed = true;
        }
        else if (wParam == kWatchTimer && st->shown && st->current >= 0 &&
                 st->current < static_cast<int>(st->tools.size()))
        {
            // A tip stays only while the pointer is over its tool and the tool's window is still shown (a
            // pop-up list may close under a tip, or go away altogether).
            const Tool& tool = st->tools[static_cast<std::size_t>(st->current)];
            POINT cursor;
            GetCursorPos(&cursor);
            const RECT r = ToolScreenRect(tool);
            if (!IsWindowVisible(tool.hwnd) || !PtInRect(&r, cursor))
            {
                Hide(hwnd);
                if (auto* s = StateOf(hwnd))
                    s->current = -1;
            }
        }
        return 0;
    case WM_SETFONT:
        if (st)
            st->font = reinterpret_cast<HFONT>(wParam);
        return 0;
    case WM_GETFONT:
        return st ? reinterpret_cast<LRESULT>(st->font) : 0;
    case WM_NCDESTROY:
        for (auto& [tool, s] : g_subclassed)
            s.tips.erase(std::remove(s.tips.begin(), s.tips.end(), hwnd), s.tips.end());
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case TTM_ACTIVATE:
        if (st)
        {
            st->active = wParam != 0;
            if (!st->active)
            {
                KillTimer(hwnd, kShowTimer);
                Hide(hwnd);
            }
        }
        return 0;
    case TTM_SETDELAYTIME:
    {
        if (!st)
            return 0;
        const int ms = static_cast<int>(static_cast<short>(LOWORD(static_cast<DWORD_PTR>(lParam))));
        switch (wParam)
        {
        case TTDT_AUTOMATIC:
        {
            const UINT base = ms < 0 ? 500u : static_cast<UINT>(ms);
            st->initialMs = base;
            st->popMs = base * 10;
            st->reshowMs = base / 5;
            break;
        }
        case TTDT_INITIAL:
            st->initialMs = ms < 0 ? 500u : static_cast<UINT>(ms);
            break;
        case TTDT_AUTOPOP:
            st->popMs = ms < 0 ? 5000u : static_cast<UINT>(ms);
            break;
        case TTDT_RESHOW:
            st->reshowMs = ms < 0 ? 100u : static_cast<UINT>(ms);
            break;
        default:
            break;
        }
        return 0;
    }
    case TTM_GETDELAYTIME:
        if (!st)
            return 0;
        switch (wParam)
        {
        case TTDT_INITIAL:
        case TTDT_AUTOMATIC:
            return st->initialMs;
        case TTDT_AUTOPOP:
            return st->popMs;
        default:
            return st->reshowMs;
        }
    case TTM_ADDTOOLA:
    {
        const TOOLINFOA* info;
        if (!st || !ReadInfo(lParam, info) || !IsWindow(info->hwnd))
            return FALSE;
        Tool tool;
        tool.flags = info->uFlags;
        tool.hwnd = info->hwnd;
        tool.id = info->uId;
        tool.rect = info->rect;
        tool.lParam = info->cbSize >= sizeof(TOOLINFOA) - sizeof(void*) ? info->lParam : 0;
        tool.unicode =
            SendMessage(tool.hwnd, WM_NOTIFYFORMAT, reinterpret_cast<WPARAM>(hwnd), NF_QUERY) == NFR_UNICODE;
        SetText(tool, *info);
        const int existing = FindTool(*st, tool.hwnd, tool.id);
        if (existing >= 0)
            st->tools[static_cast<std::size_t>(existing)] = tool;
        else
            st->tools.push_back(tool);
        if (tool.flags & TTF_SUBCLASS)
            SubclassTool(hwnd, (tool.flags & TTF_IDISHWND) ? reinterpret_cast<HWND>(tool.id) : tool.hwnd);
        return TRUE;
    }
    case TTM_DELTOOLA:
    {
        const TOOLINFOA* info;
        if (!st || !ReadInfo(lParam, info))
            return 0;
        const int i = FindTool(*st, info->hwnd, info->uId);
        if (i < 0)
            return 0;
        if (i == st->current)
        {
            KillTimer(hwnd, kShowTimer);
            Hide(hwnd);
            st->current = -1;
        }
        else if (i < st->current)
            --st->current;
        st->tools.erase(st->tools.begin() + i);
        return 0;
    }
    case TTM_NEWTOOLRECTA:
    {
        const TOOLINFOA* info;
        if (!st || !ReadInfo(lParam, info))
            return 0;
        const int i = FindTool(*st, info->hwnd, info->uId);
        if (i >= 0)
            st->tools[static_cast<std::size_t>(i)].rect = info->rect;
        return 0;
    }
    case TTM_UPDATETIPTEXTA:
    {
        const TOOLINFOA* info;
        if (!st || !ReadInfo(lParam, info))
            return 0;
        const int i = FindTool(*st, info->hwnd, info->uId);
        if (i < 0)
            return 0;
        SetText(st->tools[static_cast<std::size_t>(i)], *info);
        if (st->shown && i == st->current)
        {
            SetWindowText(hwnd, st->tools[static_cast<std::size_t>(i)].text.c_str());
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        return 0;
    }
    case TTM_GETTOOLINFOA:
    case TTM_GETTEXTA:
    {
        auto* info = reinterpret_cast<TOOLINFOA*>(lParam);
        if (!st || !info)
            return FALSE;
        const int i = FindTool(*st, info->hwnd, info->uId);
        if (i < 0)
            return FALSE;
        const Tool& t = st->tools[static_cast<std::size_t>(i)];
        if (msg == TTM_GETTEXTA)
        {
            if (info->lpszText)
                platform::CopyTruncated(info->lpszText, wParam ? wParam : 80, t.text);
            return TRUE;
        }
        info->uFlags = t.flags;
        info->rect = t.rect;
        info->hinst = t.instance;
        if (t.callback)
            info->lpszText = LPSTR_TEXTCALLBACKA;
        return TRUE;
    }
    case TTM_SETTOOLINFOA:
    {
        const TOOLINFOA* info;
        if (!st || !ReadInfo(lParam, info))
            return 0;
        const int i = FindTool(*st, info->hwnd, info->uId);
        if (i >= 0)
        {
            Tool& t = st->tools[static_cast<std::size_t>(i)];
            t.flags = info->uFlags;
            t.rect = info->rect;
            SetText(t, *info);
        }
        return 0;
    }
    case TTM_GETTOOLCOUNT:
        return st ? static_cast<LRESULT>(st->tools.size()) : 0;
    case TTM_ENUMTOOLSA:
    {
        auto* info = reinterpret_cast<TOOLINFOA*>(lParam);
        if (!st || !info || wParam >= st->tools.size())
            return FALSE;
        const Tool& t = st->tools[wParam];
        info->uFlags = t.flags;
        info->hwnd = t.hwnd;
        info->uId = t.id;
        info->rect = t.rect;
        info->hinst = t.instance;
        return TRUE;
    }
    case TTM_RELAYEVENT:
        if (lParam)
            Relay(hwnd, *reinterpret_cast<const MSG*>(lParam));
        return 0;
    case TTM_SETMAXTIPWIDTH:
    {
        if (!st)
            return -1;
        const int old = st->maxWidth;
        st->maxWidth = static_cast<int>(lParam);
        return old;
    }
    case TTM_GETMAXTIPWIDTH:
        return st ? st->maxWidth : -1;
    case TTM_SETTIPBKCOLOR:
        if (st)
            st->back = static_cast<COLORREF>(wParam);
        return 0;
    case TTM_SETTIPTEXTCOLOR:
        if (st)
            st->fore = static_cast<COLORREF>(wParam);
        return 0;
    case TTM_GETTIPBKCOLOR:
        return st ? static_cast<LRESULT>(st->back == CLR_DEFAULT ? GetSysColor(COLOR_INFOBK) : st->back) : 0;
    case TTM_GETTIPTEXTCOLOR:
        return st ? static_cast<LRESULT>(st->fore == CLR_DEFAULT ? GetSysColor(COLOR_INFOTEXT) : st->fore)
                  : 0;
    case TTM_SETMARGIN:
        if (st && lParam)
            st->margin = *reinterpret_cast<const RECT*>(lParam);
        return 0;
    case TTM_GETMARGIN:
        if (st && lParam)
            *reinterpret_cast<RECT*>(lParam) = st->margin;
        return 0;
    case TTM_SETTITLEA:
        if (st)
        {
            st->title = lParam ? reinterpret_cast<const char*>(lParam) : "";
            st->titleIcon = st->title.empty() ? TTI_NONE : wParam;
        }
        return TRUE;
    case WM_STYLECHANGING:
        // Only the control's own styles change: it stays a pop-up, shown or hidden as it was.
        if (wParam == static_cast<WPARAM>(GWL_STYLE) && lParam)
        {
            auto* change = reinterpret_cast<STYLESTRUCT*>(lParam);
            change->styleNew =
                (change->styleNew & 0xFFFF) | (change->styleOld & ~0xFFFFu & ~WS_CHILD) | WS_POPUP;
        }
        return 0;
    case TTM_POP:
        KillTimer(hwnd, kShowTimer);
        Hide(hwnd);
        return 0;
    case TTM_POPUP:
        if (st && st->current >= 0)
            Show(hwnd);
        return 0;
    case TTM_UPDATE:
        if (st && st->shown)
            InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case TTM_GETCURRENTTOOLA:
    {
        if (!st || st->current < 0 || !st->shown)
            return FALSE;
        if (auto* info = reinterpret_cast<TOOLINFOA*>(lParam))
        {
            const Tool& t = st->tools[static_cast<std::size_t>(st->current)];
            info->hwnd = t.hwnd;
            info->uId = t.id;
            info->uFlags = t.flags;
            info->rect = t.rect;
        }
        return TRUE;
    }
    case TTM_WINDOWFROMPOINT:
        return lParam ? reinterpret_cast<LRESULT>(WindowFromPoint(*reinterpret_cast<const POINT*>(lParam)))
                      : 0;
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}
} // namespace platform::window::detail
