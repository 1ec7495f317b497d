#include "platform/commctrl/Trackbar.h"

#include <algorithm>
#include <map>

namespace
{
// The thumb's length along the channel and the channel's thickness, in pixels. Bitmap sliders built on
// the control draw thumbs of this length, so that the thumb the control hit-tests is the one they show.
constexpr int kThumbLength = 20;
constexpr int kChannelThickness = 4;

struct TrackbarState
{
    int minimum = 0;
    int maximum = 100;
    int pos = 0;
    int lineSize = 1;
    int pageSize = 20;
    bool pageSizeSet = false;
    bool tracking = false;
    bool paging = false;
    int dragOffset = 0;
};

std::map<HWND, TrackbarState>& States()
{
    static std::map<HWND, TrackbarState> states;
    return states;
}

bool IsVertical(HWND hwnd)
{
    return (GetWindowLongPtr(hwnd, GWL_STYLE) & TBS_VERT) != 0;
}

/// The client area along the channel (length) and across it (breadth).
struct Axis
{
    int length = 0;
    int breadth = 0;
    int thumb = 0;
};

Axis AxisOf(HWND hwnd)
{
    RECT client{};
    GetClientRect(hwnd, &client);
    Axis a;
    a.length = IsVertical(hwnd) ? client.bottom : client.right;
    a.breadth = IsVertical(hwnd) ? client.right : client.bottom;
    a.thumb = std::min(kThumbLength, a.length);
    return a;
}

int PixelOf(const Axis& a, const TrackbarState& s)
{
    const int start = a.thumb / 2;
    const long long span = static_cast<long long>(s.maximum) - s.minimum;
    const int travel = std::max(0, a.length - a.thumb);
    // An empty range has its only position at the start of the channel.
    if (span <= 0)
        return start;
    return start + static_cast<int>((static_cast<long long>(s.pos) - s.minimum) * travel / span);
}

int PosOf(const Axis& a, const TrackbarState& s, int pixel)
{
    const int start = a.thumb / 2;
    const long long span = static_cast<long long>(s.maximum) - s.minimum;
    const int travel = std::max(0, a.length - a.thumb);
    if (span <= 0 || travel == 0)
        return s.minimum;
    const long long offset = std::clamp(pixel - start, 0, travel);
    return s.minimum + static_cast<int>(offset * span / travel);
}

RECT ThumbRect(HWND hwnd, const TrackbarState& s)
{
    const Axis a = AxisOf(hwnd);
    const int centre = PixelOf(a, s);
    const int from = centre - a.thumb / 2;
    if (IsVertical(hwnd))
        return RECT{2, from, std::max(2, a.breadth - 2), from + a.thumb};
    return RECT{from, 2, from + a.thumb, std::max(2, a.breadth - 2)};
}

RECT ChannelRect(HWND hwnd)
{
    const Axis a = AxisOf(hwnd);
    const int from = (a.breadth - kChannelThickness) / 2;
    const int start = a.thumb / 2;
    const int end = std::max(start, a.length - a.thumb / 2);
    if (IsVertical(hwnd))
        return RECT{from, start, from + kChannelThickness, end};
    return RECT{start, from, end, from + kChannelThickness};
}

int Clamped(const TrackbarState& s, long long pos)
{
    return static_cast<int>(std::clamp<long long>(pos, s.minimum, std::max(s.minimum, s.maximum)));
}

void SetRangeEnd(HWND hwnd, TrackbarState& s, bool minimum, int value, bool redraw)
{
    (minimum ? s.minimum : s.maximum) = value;
    if (!s.pageSizeSet)
        s.pageSize = std::max(1, static_cast<int>((static_cast<long long>(s.maximum) - s.minimum) / 5));
    s.pos = Clamped(s, s.pos);
    if (redraw)
        InvalidateRect(hwnd, nullptr, TRUE);
}

void Notify(HWND hwnd, UINT code, int pos = 0)
{
    const UINT message = IsVertical(hwnd) ? WM_VSCROLL : WM_HSCROLL;
    if (HWND parent = GetParent(hwnd))
        SendMessage(parent, message, MAKEWPARAM(code, static_cast<WORD>(pos)),
                    reinterpret_cast<LPARAM>(hwnd));
}

/// Moves the thumb on the user's behalf and tells the parent.
void Step(HWND hwnd, TrackbarState& s, long long pos, UINT code)
{
    const int moved = Clamped(s, pos);
    if (moved != s.pos)
    {
        s.pos = moved;
        InvalidateRect(hwnd, nullptr, TRUE);
    }
    Notify(hwnd, code, code == TB_THUMBTRACK || code == TB_THUMBPOSITION ? s.pos : 0);
}

int Along(HWND hwnd, LPARAM lParam)
{
    return IsVertical(hwnd) ? GET_Y_LPARAM(lParam) : GET_X_LPARAM(lParam);
}

void Paint(HWND hwnd, const TrackbarState& s)
{
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client{};
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    RECT channel = ChannelRect(hwnd);
    DrawEdge(dc, &channel, EDGE_SUNKEN, BF_RECT);
    RECT thumb = ThumbRect(hwnd, s);
    FillRect(dc, &thumb, GetSysColorBrush(IsWindowEnabled(hwnd) ? COLOR_BTNFACE : COLOR_BTNSHADOW));
    DrawEdge(dc, &thumb, s.tracking ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK TrackbarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCDESTROY)
    {
        States().erase(hwnd);
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
    TrackbarState& s = States()[hwnd];
    switch (msg)
    {
    case TBM_GETPOS:
        return s.pos;
    case TBM_GETRANGEMIN:
        return s.minimum;
    case TBM_GETRANGEMAX:
        return s.maximum;
    case TBM_SETPOS:
        s.pos = Clamped(s, static_cast<int>(lParam));
        if (wParam)
            InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case TBM_SETRANGE:
        SetRangeEnd(hwnd, s, true, static_cast<short>(LOWORD(static_cast<DWORD_PTR>(lParam))), false);
        SetRangeEnd(hwnd, s, false, static_cast<short>(HIWORD(static_cast<DWORD_PTR>(lParam))), wParam != 0);
        return 0;
    case TBM_SETRANGEMIN:
    case TBM_SETRANGEMAX:
        SetRangeEnd(hwnd, s, msg == TBM_SETRANGEMIN, static_cast<int>(lParam), wParam != 0);
        return 0;
    case TBM_SETPAGESIZE:
    {
        const int old = s.pageSize;
        s.pageSize = static_cast<int>(lParam);
        s.pageSizeSet = true;
        return old;
    }
    case TBM_GETPAGESIZE:
        return s.pageSize;
    case TBM_SETLINESIZE:
    {
        const int old = s.lineSize;
        s.lineSize = static_cast<int>(lParam);
        return old;
    }
    case TBM_GETLINESIZE:
        return s.lineSize;
    case TBM_GETTHUMBRECT:
    case TBM_GETCHANNELRECT:
        if (auto* rect = reinterpret_cast<RECT*>(lParam))
            *rect = msg == TBM_GETTHUMBRECT ? ThumbRect(hwnd, s) : ChannelRect(hwnd);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    case WM_LBUTTONDOWN:
    {
        SetFocus(hwnd);
        const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        const RECT thumb = ThumbRect(hwnd, s);
        SetCapture(hwnd);
        if (PtInRect(&thumb, point))
        {
            s.tracking = true;
            s.dragOffset = Along(hwnd, lParam) - PixelOf(AxisOf(hwnd), s);
            // The thumb shows that it is held.
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        }
        s.paging = true;
        const bool before = Along(hwnd, lParam) < PixelOf(AxisOf(hwnd), s);
        Step(hwnd, s, static_cast<long long>(s.pos) + (before ? -s.pageSize : s.pageSize),
             before ? TB_PAGEUP : TB_PAGEDOWN);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (s.tracking)
        {
            const int pos = PosOf(AxisOf(hwnd), s, Along(hwnd, lParam) - s.dragOffset);
            if (pos != s.pos)
                Step(hwnd, s, pos, TB_THUMBTRACK);
        }
        return 0;
    case WM_LBUTTONUP:
        if (s.tracking || s.paging)
        {
            const bool tracked = s.tracking;
            s.tracking = s.paging = false;
            InvalidateRect(hwnd, nullptr, TRUE);
            if (tracked)
                Notify(hwnd, TB_THUMBPOSITION, s.pos);
            if (GetCapture() == hwnd)
                ReleaseCapture();
            Notify(hwnd, TB_ENDTRACK);
        }
        return 0;
    case WM_CAPTURECHANGED:
        if (s.tracking)
            InvalidateRect(hwnd, nullptr, TRUE);
        s.tracking = s.paging = false;
        return 0;
    case WM_KEYDOWN:
        switch (wParam)
        {
        case VK_LEFT:
        case VK_UP:
            Step(hwnd, s, static_cast<long long>(s.pos) - s.lineSize, TB_LINEUP);
            return 0;
        case VK_RIGHT:
        case VK_DOWN:
            Step(hwnd, s, static_cast<long long>(s.pos) + s.lineSize, TB_LINEDOWN);
            return 0;
        case VK_PRIOR:
            Step(hwnd, s, static_cast<long long>(s.pos) - s.pageSize, TB_PAGEUP);
            return 0;
        case VK_NEXT:
            Step(hwnd, s, static_cast<long long>(s.pos) + s.pageSize, TB_PAGEDOWN);
            return 0;
        case VK_HOME:
            Step(hwnd, s, s.minimum, TB_TOP);
            return 0;
        case VK_END:
            Step(hwnd, s, s.maximum, TB_BOTTOM);
            return 0;
        default:
            return DefWindowProc(hwnd, msg, wParam, lParam);
        }
    case WM_KEYUP:
        switch (wParam)
        {
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN:
        case VK_PRIOR:
        case VK_NEXT:
        case VK_HOME:
        case VK_END:
            Notify(hwnd, TB_ENDTRACK);
            return 0;
        default:
            return DefWindowProc(hwnd, msg, wParam, lParam);
        }
    case WM_ENABLE:
    case WM_SIZE:
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_PAINT:
        Paint(hwnd, s);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}
} // namespace

BOOL InitTrackbarClass()
{
    static const BOOL registered = []
    {
        WNDCLASSEX wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_GLOBALCLASS | CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = TrackbarProc;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpszClassName = TRACKBAR_CLASS;
        return RegisterClassEx(&wc) != 0 ? TRUE : FALSE;
    }();
    return registered;
}

IMPLEMENT_DYNAMIC(CSliderCtrl, CWnd)

BOOL CSliderCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    InitTrackbarClass();
    return CWnd::Create(TRACKBAR_CLASS, nullptr, style, rect, parent, id);
}

int CSliderCtrl::GetRangeMin() const
{
    return static_cast<int>(SendMessage(TBM_GETRANGEMIN));
}

int CSliderCtrl::GetRangeMax() const
{
    return static_cast<int>(SendMessage(TBM_GETRANGEMAX));
}

void CSliderCtrl::GetRange(int& minimum, int& maximum) const
{
    minimum = GetRangeMin();
    maximum = GetRangeMax();
}

void CSliderCtrl::SetRangeMin(int minimum, BOOL redraw)
{
    SendMessage(TBM_SETRANGEMIN, static_cast<WPARAM>(redraw), minimum);
}

void CSliderCtrl::SetRangeMax(int maximum, BOOL redraw)
{
    SendMessage(TBM_SETRANGEMAX, static_cast<WPARAM>(redraw), maximum);
}

void CSliderCtrl::SetRange(int minimum, int maximum, BOOL redraw)
{
    SetRangeMin(minimum, FALSE);
    SetRangeMax(maximum, redraw);
}

int CSliderCtrl::GetPos() const
{
    return static_cast<int>(SendMessage(TBM_GETPOS));
}

void CSliderCtrl::SetPos(int pos)
{
    SendMessage(TBM_SETPOS, TRUE, pos);
}

int CSliderCtrl::GetLineSize() const
{
    return static_cast<int>(SendMessage(TBM_GETLINESIZE));
}

int CSliderCtrl::SetLineSize(int size)
{
    return static_cast<int>(SendMessage(TBM_SETLINESIZE, 0, size));
}

int CSliderCtrl::GetPageSize() const
{
    return static_cast<int>(SendMessage(TBM_GETPAGESIZE));
}

int CSliderCtrl::SetPageSize(int size)
{
    return static_cast<int>(SendMessage(TBM_SETPAGESIZE, 0, size));
}

void CSliderCtrl::GetThumbRect(LPRECT rect) const
{
    SendMessage(TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(rect));
}

void CSliderCtrl::GetChannelRect(LPRECT rect) const
{
    SendMessage(TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(rect));
}
