// Right-to-left layout (WS_EX_LAYOUTRTL): the client x axis of such a window runs from its right edge. The
// window table keeps every rectangle, region and update area as it lies on the screen; the conversions here
// turn the coordinates that callers give and receive into those and back.

#include "platform/window/WindowInternal.h"

#include <algorithm>
#include <utility>

namespace platform::window::detail
{
namespace
{
LONG ClientWidth(const Window& w)
{
    return ClientRectOf(w).right;
}
} // namespace

bool IsMirrored(const Window& w)
{
    return (w.exStyle & WS_EX_LAYOUTRTL) != 0;
}

QRegion MirroredRegion(const QRegion& region, int width)
{
    QRegion out;
    for (const QRect& r : region)
        out += QRect(width - r.left() - r.width(), r.top(), r.width(), r.height());
    return out;
}

QRegion ClientArea(const Window& w, const QRegion& area)
{
    return IsMirrored(w) ? MirroredRegion(area, ClientWidth(w)) : area;
}

QRegion WindowArea(const Window& w, const QRegion& area)
{
    return IsMirrored(w) ? MirroredRegion(area, w.rect.right - w.rect.left) : area;
}

RECT MirroredInParent(const Window& parent, const RECT& r)
{
    if (!IsMirrored(parent))
        return r;
    const LONG width = ClientWidth(parent);
    return RECT{width - r.right, r.top, width - r.left, r.bottom};
}

RECT RectInParent(const Window& w)
{
    if (w.parent)
        if (auto p = Find(w.parent))
            return MirroredInParent(*p, w.rect);
    return w.rect;
}

QPoint ScreenToClientPoint(const Window& w, QPoint screen)
{
    QPoint p = screen - ClientOriginOnScreen(w);
    if (IsMirrored(w))
        p.setX(ClientWidth(w) - 1 - p.x());
    return p;
}

QPoint ClientToScreenPoint(const Window& w, QPoint client)
{
    if (IsMirrored(w))
        client.setX(ClientWidth(w) - 1 - client.x());
    return client + ClientOriginOnScreen(w);
}

void KeepChildrenAnchored(Window& w, LONG oldClientWidth)
{
    const LONG shift = ClientWidth(w) - oldClientWidth;
    if (!IsMirrored(w) || shift == 0)
        return;
    // The children keep their distance from the right edge, where their coordinates start.
    for (HWND c : w.children)
        if (auto child = Find(c))
        {
            child->rect.left += shift;
            child->rect.right += shift;
            if (child->widget)
                child->widget->move(child->widget->pos() + QPoint(shift, 0));
        }
}
} // namespace platform::window::detail

using namespace platform::window::detail;

namespace
{
BOOL MapOnePoint(HWND hwnd, LPPOINT point, QPoint (*map)(const Window&, QPoint))
{
    if (!point)
        return FALSE;
    if (hwnd == GetDesktopWindow())
        return TRUE;
    auto w = Get(hwnd);
    if (!w)
        return FALSE;
    const QPoint p = map(*w, QPoint(point->x, point->y));
    *point = POINT{p.x(), p.y()};
    return TRUE;
}
} // namespace

BOOL ScreenToClient(HWND hwnd, LPPOINT point)
{
    PW_ON_UI_THREAD(ScreenToClient(hwnd, point));
    return MapOnePoint(hwnd, point, ScreenToClientPoint);
}

BOOL ClientToScreen(HWND hwnd, LPPOINT point)
{
    PW_ON_UI_THREAD(ClientToScreen(hwnd, point));
    return MapOnePoint(hwnd, point, ClientToScreenPoint);
}

int MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count)
{
    PW_ON_UI_THREAD(MapWindowPoints(from, to, points, count));
    WindowPtr source, target;
    if (from && from != GetDesktopWindow() && !(source = Get(from)))
        return 0;
    if (to && to != GetDesktopWindow() && !(target = Get(to)))
        return 0;
    const QPoint a = source ? ClientOriginOnScreen(*source) : QPoint();
    const QPoint b = target ? ClientOriginOnScreen(*target) : QPoint();
    const bool mirrorFrom = source && IsMirrored(*source);
    const bool mirrorTo = target && IsMirrored(*target);
    // Two points through a mirrored window are a rectangle: its edges map, and left stays left of right.
    const bool rectangle = count == 2 && (mirrorFrom || mirrorTo);
    const int edge = rectangle ? 0 : 1;
    for (UINT i = 0; points && i < count; ++i)
    {
        LONG x = points[i].x;
        if (mirrorFrom)
            x = ClientRectOf(*source).right - edge - x;
        x += a.x() - b.x();
        if (mirrorTo)
            x = ClientRectOf(*target).right - edge - x;
        points[i].x = x;
        points[i].y += a.y() - b.y();
    }
    if (rectangle && points && points[0].x > points[1].x)
        std::swap(points[0].x, points[1].x);
    const QPoint d = a - b;
    SetLastError(0);
    return static_cast<int>(MAKELONG(static_cast<WORD>(d.x()), static_cast<WORD>(d.y())));
}
