#include "platform/commctrl/Progress.h"

#include "platform/window/CommCtrl.h"

#include <algorithm>
#include <map>

namespace
{
struct ProgressState
{
    int lower = 0;
    int upper = 100;
    int pos = 0;
    int step = 10;
    COLORREF back = CLR_DEFAULT;
};

std::map<HWND, ProgressState>& States()
{
    static std::map<HWND, ProgressState> states;
    return states;
}

int SetClamped(HWND hwnd, ProgressState& s, long long pos)
{
    const int old = s.pos;
    const int lo = std::min(s.lower, s.upper);
    const int hi = std::max(s.lower, s.upper);
    s.pos = static_cast<int>(std::clamp<long long>(pos, lo, hi));
    if (s.pos != old)
        InvalidateRect(hwnd, nullptr, TRUE);
    return old;
}

void Paint(HWND hwnd, const ProgressState& s)
{
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client{};
    GetClientRect(hwnd, &client);
    if (s.back == CLR_DEFAULT)
        FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    else
    {
        HBRUSH back = CreateSolidBrush(s.back);
        FillRect(dc, &client, back);
        DeleteObject(back);
    }
    const long long span = static_cast<long long>(s.upper) - s.lower;
    if (span != 0)
    {
        const bool vertical = (GetWindowLongPtr(hwnd, GWL_STYLE) & PBS_VERTICAL) != 0;
        const long long done = static_cast<long long>(s.pos) - s.lower;
        RECT fill = client;
        if (vertical)
            fill.top = fill.bottom - static_cast<LONG>((fill.bottom - fill.top) * done / span);
        else
            fill.right = fill.left + static_cast<LONG>((fill.right - fill.left) * done / span);
        FillRect(dc, &fill, GetSysColorBrush(COLOR_HIGHLIGHT));
    }
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK ProgressProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCDESTROY)
    {
        States().erase(hwnd);
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
    ProgressState& s = States()[hwnd];
    switch (msg)
    {
    case PBM_SETRANGE:
    {
        const LRESULT old = MAKELPARAM(s.lower, s.upper);
        s.lower = static_cast<short>(LOWORD(static_cast<DWORD_PTR>(lParam)));
        s.upper = static_cast<short>(HIWORD(static_cast<DWORD_PTR>(lParam)));
        SetClamped(hwnd, s, s.pos);
        InvalidateRect(hwnd, nullptr, TRUE);
        return old;
    }
    case PBM_SETRANGE32:
    {
        const LRESULT old = MAKELPARAM(s.lower, s.upper);
        s.lower = static_cast<int>(wParam);
        s.upper = static_cast<int>(lParam);
        SetClamped(hwnd, s, s.pos);
        InvalidateRect(hwnd, nullptr, TRUE);
        return old;
    }
    case PBM_GETRANGE:
        if (auto* range = reinterpret_cast<PBRANGE*>(lParam))
            *range = PBRANGE{s.lower, s.upper};
        return wParam ? s.lower : s.upper;
    case PBM_SETPOS:
        return SetClamped(hwnd, s, static_cast<int>(wParam));
    case PBM_DELTAPOS:
        return SetClamped(hwnd, s, static_cast<long long>(s.pos) + static_cast<int>(wParam));
    case PBM_SETSTEP:
    {
        const int old = s.step;
        s.step = static_cast<int>(wParam);
        return old;
    }
    case PBM_STEPIT:
    {
        // Stepping past the end starts over from the lower bound, as the control does.
        long long next = static_cast<long long>(s.pos) + s.step;
        if (next > std::max(s.lower, s.upper))
            next = s.lower + (next - std::max(s.lower, s.upper));
        return SetClamped(hwnd, s, next);
    }
    case PBM_GETPOS:
        return s.pos;
    case PBM_SETBKCOLOR:
    {
        const COLORREF old = s.back;
        s.back = static_cast<COLORREF>(lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return static_cast<LRESULT>(old);
    }
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

BOOL InitProgressClass()
{
    static const BOOL registered = []
    {
        WNDCLASSEX wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_GLOBALCLASS | CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = ProgressProc;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpszClassName = PROGRESS_CLASS;
        return RegisterClassEx(&wc) != 0 ? TRUE : FALSE;
    }();
    return registered;
}

IMPLEMENT_DYNAMIC(CProgressCtrl, CWnd)

BOOL CProgressCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    InitProgressClass();
    return CWnd::Create(PROGRESS_CLASS, nullptr, style, rect, parent, id);
}

void CProgressCtrl::SetRange(short lower, short upper)
{
    SendMessage(PBM_SETRANGE, 0, MAKELPARAM(lower, upper));
}

void CProgressCtrl::SetRange32(int lower, int upper)
{
    SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(lower), upper);
}

void CProgressCtrl::GetRange(int& lower, int& upper) const
{
    PBRANGE range{};
    SendMessage(PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    lower = range.iLow;
    upper = range.iHigh;
}

int CProgressCtrl::GetPos() const
{
    return static_cast<int>(SendMessage(PBM_GETPOS));
}

int CProgressCtrl::SetPos(int pos)
{
    return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(pos)));
}

int CProgressCtrl::OffsetPos(int pos)
{
    return static_cast<int>(SendMessage(PBM_DELTAPOS, static_cast<WPARAM>(pos)));
}

int CProgressCtrl::SetStep(int step)
{
    return static_cast<int>(SendMessage(PBM_SETSTEP, static_cast<WPARAM>(step)));
}

int CProgressCtrl::StepIt()
{
    return static_cast<int>(SendMessage(PBM_STEPIT));
}
