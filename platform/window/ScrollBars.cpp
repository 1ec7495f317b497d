#include "platform/window/WindowInternal.h"

#include <algorithm>
#include <array>

using namespace platform::window::detail;

namespace
{
struct BarState
{
    int min = 0;
    int max = 0;
    UINT page = 0;
    int pos = 0;
    int trackPos = 0;
};
using BarStates = std::array<BarState, 3>; // SB_HORZ, SB_VERT, SB_CTL

BarState* StateOf(HWND hwnd, int bar)
{
    if (bar < SB_HORZ || bar > SB_CTL)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto w = Get(hwnd);
    if (!w)
        return nullptr;
    if (!w->scrollState)
        w->scrollState = std::make_shared<BarStates>();
    return &(*std::static_pointer_cast<BarStates>(w->scrollState))[static_cast<size_t>(bar)];
}

void Clamp(BarState& s)
{
    const long long span = static_cast<long long>(s.max) - s.min + 1;
    s.page = static_cast<UINT>(std::clamp<long long>(s.page, 0, std::max<long long>(span, 0)));
    const long long top =
        std::max<long long>(s.min, static_cast<long long>(s.max) - (s.page ? s.page - 1 : 0));
    s.pos = static_cast<int>(std::clamp<long long>(s.pos, s.min, top));
}
} // namespace

int SetScrollInfo(HWND hwnd, int bar, LPCSCROLLINFO info, BOOL redraw)
{
    PW_ON_UI_THREAD(SetScrollInfo(hwnd, bar, info, redraw));
    BarState* s = StateOf(hwnd, bar);
    if (!s || !info)
        return 0;
    if (info->fMask & SIF_RANGE)
    {
        s->min = std::min(info->nMin, info->nMax);
        s->max = std::max(info->nMin, info->nMax);
    }
    if (info->fMask & SIF_PAGE)
        s->page = info->nPage;
    if (info->fMask & SIF_POS)
        s->pos = info->nPos;
    Clamp(*s);
    if (redraw && bar == SB_CTL)
        InvalidateRect(hwnd, nullptr, TRUE);
    return s->pos;
}

BOOL GetScrollInfo(HWND hwnd, int bar, LPSCROLLINFO info)
{
    PW_ON_UI_THREAD(GetScrollInfo(hwnd, bar, info));
    BarState* s = StateOf(hwnd, bar);
    if (!s || !info)
        return FALSE;
    if (info->fMask & SIF_RANGE)
    {
        info->nMin = s->min;
        info->nMax = s->max;
    }
    if (info->fMask & SIF_PAGE)
        info->nPage = s->page;
    if (info->fMask & SIF_POS)
        info->nPos = s->pos;
    if (info->fMask & SIF_TRACKPOS)
        info->nTrackPos = s->trackPos;
    return TRUE;
}

int SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw)
{
    SCROLLINFO previous{sizeof(SCROLLINFO), SIF_POS, 0, 0, 0, 0, 0};
    if (!GetScrollInfo(hwnd, bar, &previous))
        return 0;
    SCROLLINFO info{sizeof(SCROLLINFO), SIF_POS, 0, 0, 0, pos, 0};
    SetScrollInfo(hwnd, bar, &info, redraw);
    return previous.nPos;
}

int GetScrollPos(HWND hwnd, int bar)
{
    SCROLLINFO info{sizeof(SCROLLINFO), SIF_POS, 0, 0, 0, 0, 0};
    return GetScrollInfo(hwnd, bar, &info) ? info.nPos : 0;
}

BOOL SetScrollRange(HWND hwnd, int bar, int min, int max, BOOL redraw)
{
    SCROLLINFO info{sizeof(SCROLLINFO), SIF_RANGE, min, max, 0, 0, 0};
    PW_ON_UI_THREAD(SetScrollRange(hwnd, bar, min, max, redraw));
    if (!StateOf(hwnd, bar))
        return FALSE;
    SetScrollInfo(hwnd, bar, &info, redraw);
    return TRUE;
}

BOOL GetScrollRange(HWND hwnd, int bar, LPINT min, LPINT max)
{
    SCROLLINFO info{sizeof(SCROLLINFO), SIF_RANGE, 0, 0, 0, 0, 0};
    if (!GetScrollInfo(hwnd, bar, &info))
        return FALSE;
    if (min)
        *min = info.nMin;
    if (max)
        *max = info.nMax;
    return TRUE;
}
