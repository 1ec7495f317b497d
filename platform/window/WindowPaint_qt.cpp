// Painting of windows: invalid areas, WM_PAINT, window DCs over the back buffers, window shapes and
// layered windows.

#include "platform/window/GdiInternal.h"
#include "platform/window/WinGdi.h"
#include "platform/window/WindowInternal.h"

#include <QGuiApplication>
#include <QPaintEvent>

#if BREVICAM_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>
#endif

#include <algorithm>
#include <cstring>
#include <string>

namespace gdi = platform::gdi::detail;

namespace platform::window::detail
{
namespace
{
bool g_idleWork = false;

/// The client area a caller names (all of it for no rectangle), as the window table keeps it.
QRegion AreaOf(const Window& w, LPCRECT rect)
{
    const RECT c = ClientRectOf(w);
    if (!rect)
        return QRegion(0, 0, c.right, c.bottom);
    return ClientArea(
        w, QRegion(QRect(QPoint(rect->left, rect->top), QPoint(rect->right - 1, rect->bottom - 1))));
}

RECT RectOf(const QRect& box)
{
    return RECT{box.left(), box.top(), box.left() + box.width(), box.top() + box.height()};
}

/// What a layered window shows: its UpdateLayeredWindow picture, or its own painting with the colour key
/// and constant alpha of SetLayeredWindowAttributes applied.
QImage LayeredPicture(const Window& w, const QRect& area)
{
    if (w.layeredImage)
        return w.layered.copy(area);
    QImage picture = w.buffer.copy(area);
    if (w.layeredFlags & LWA_COLORKEY)
    {
        const QRgb key = qRgb(GetRValue(w.colorKey), GetGValue(w.colorKey), GetBValue(w.colorKey)) & 0xFFFFFF;
        for (int y = 0; y < picture.height(); ++y)
        {
            auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
            for (int x = 0; x < picture.width(); ++x)
                if ((row[x] & 0xFFFFFF) == key)
                    row[x] = 0;
        }
    }
    return picture;
}
} // namespace

void PaintWidget(Window& w, QWidget& widget, const QRegion& area)
{
    QPainter p(&widget);
    const bool layered = (w.exStyle & WS_EX_LAYERED) && !w.parent;
    if (!w.parent || w.opaque)
        p.setCompositionMode(QPainter::CompositionMode_Source);
    // Qt draws nothing beneath these windows first. Where their picture does not reach yet (the window
    // system resized the window before the picture follows it), the window's colour shows.
    if ((!w.parent && !layered) || w.opaque)
        for (const QRect& r : area - QRegion(w.buffer.rect()))
            p.fillRect(r, widget.palette().window());
    for (const QRect& r : area)
    {
        if (!layered)
        {
            p.drawImage(r.topLeft(), w.buffer, r);
            continue;
        }
        QImage picture = LayeredPicture(w, r);
        if (!CompositingAvailable())
        {
            // The window is cut to its visible pixels; inside, show their colour unblended, since without a
            // compositor a blended pixel would be darkened against black.
            picture = picture.convertToFormat(QImage::Format_ARGB32).convertToFormat(QImage::Format_RGB32);
        }
        p.drawImage(r.topLeft(), picture);
    }
}

void ScheduleIdleWork()
{
    g_idleWork = true;
}

void RunIdleWork()
{
    if (!g_idleWork)
        return;
    g_idleWork = false;
    for (HWND h : TopLevelWindows())
        if (auto w = Find(h); w && w->maskDirty && (w->exStyle & WS_EX_LAYERED))
            RebuildLayeredMask(*w);
}

void RebuildLayeredMask(Window& w)
{
    ApplyShape(w);
    if (!CompositingAvailable() && !w.layeredImage && (w.layeredFlags & LWA_COLORKEY) && w.widget)
    {
        // The controls on a keyed window are part of what it shows, whatever the colour beneath them.
        QRegion mask = w.widget->mask();
        for (HWND c : w.children)
            if (auto child = Find(c); child && child->visible)
            {
                QRect r(child->rect.left + w.insets.left, child->rect.top + w.insets.top,
                        child->rect.right - child->rect.left, child->rect.bottom - child->rect.top);
                mask |= r;
            }
        if (w.hasRegion)
            mask &= w.shape;
        w.widget->setMask(mask);
    }
}

bool CompositingAvailable()
{
    static int available = -1;
    if (available >= 0)
        return available == 1;
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal") ||
        platform == QLatin1String("vnc") || platform == QLatin1String("linuxfb"))
        available = 0;
    else if (platform.startsWith(QLatin1String("wayland")))
        available = 1;
    else
    {
        available = 1;
#if BREVICAM_HAVE_XCB
        // An X server has a compositing manager when someone owns the _NET_WM_CM_S<screen> selection.
        if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
        {
            xcb_connection_t* c = x11->connection();
            const std::string name = "_NET_WM_CM_S0";
            auto atomCookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.c_str());
            if (auto* atom = xcb_intern_atom_reply(c, atomCookie, nullptr))
            {
                auto ownerCookie = xcb_get_selection_owner(c, atom->atom);
                if (auto* owner = xcb_get_selection_owner_reply(c, ownerCookie, nullptr))
                {
                    available = owner->owner != XCB_NONE ? 1 : 0;
                    std::free(owner);
                }
                std::free(atom);
            }
        }
#endif
    }
    return available == 1;
}
} // namespace platform::window::detail

using namespace platform::window::detail;

HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT paint)
{
    auto w = Get(hwnd);
    if (!w || !paint || w->destroyed)
        return nullptr;
    std::memset(paint, 0, sizeof *paint);
    if (w->ncPaint)
    {
        w->ncPaint = false;
        SendLocal(hwnd, WM_NCPAINT, 1, 0);
        if (w->destroyed)
            return nullptr;
    }
    const RECT c = ClientRectOf(*w);
    const QRegion area = w->update & QRect(0, 0, c.right, c.bottom);
    const bool erase = w->erase;
    w->update = QRegion();
    w->erase = false;
    w->internalPaint = false;
    HDC dc = gdi::CreateWindowDc(hwnd, gdi::DcKind::Paint, area);
    if (!dc)
        return nullptr;
    if (w->exStyle & WS_EX_TRANSPARENT)
    {
        // A transparent window shows what lies beneath it wherever it draws nothing.
        QPainter p(&w->buffer);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        for (const QRect& r : area)
            p.fillRect(r.translated(w->insets.left, w->insets.top), Qt::transparent);
    }
    paint->hdc = dc;
    paint->fErase = FALSE;
    if (erase && !area.isEmpty())
        paint->fErase = SendLocal(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? FALSE : TRUE;
    paint->rcPaint = RectOf(ClientArea(*w, area).boundingRect());
    return dc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* paint)
{
    if (!paint || !paint->hdc)
        return FALSE;
    return DeleteDC(paint->hdc);
}

BOOL InvalidateRect(HWND hwnd, LPCRECT rect, BOOL erase)
{
    PW_ON_UI_THREAD(InvalidateRect(hwnd, rect, erase));
    if (!hwnd)
    {
        for (HWND h : TopLevelWindows())
            InvalidateRect(h, nullptr, erase);
        return TRUE;
    }
    auto w = Get(hwnd);
    if (!w)
        return FALSE;
    InvalidateClient(*w, AreaOf(*w, rect), erase != FALSE);
    return TRUE;
}

BOOL InvalidateRgn(HWND hwnd, HRGN region, BOOL erase)
{
    PW_ON_UI_THREAD(InvalidateRgn(hwnd, region, erase));
    auto w = Get(hwnd);
    if (!w)
        return FALSE;
    InvalidateClient(*w, region ? ClientArea(*w, gdi::RegionOf(region)) : AreaOf(*w, nullptr),
                     erase != FALSE);
    return TRUE;
}

BOOL ValidateRect(HWND hwnd, LPCRECT rect)
{
    PW_ON_UI_THREAD(ValidateRect(hwnd, rect));
    auto w = Get(hwnd);
    if (!w)
        return FALSE;
    if (!rect)
    {
        w->update = QRegion();
        w->erase = false;
    }
    else
        w->update -= AreaOf(*w, rect);
    return TRUE;
}

BOOL ValidateRgn(HWND hwnd, HRGN region)
{
    PW_ON_UI_THREAD(ValidateRgn(hwnd, region));
    auto w = Get(hwnd);
    if (!w)
        return FALSE;
    if (!region)
        return ValidateRect(hwnd, nullptr);
    w->update -= ClientArea(*w, gdi::RegionOf(region));
    return TRUE;
}

BOOL UpdateWindow(HWND hwnd)
{
    PW_ON_UI_THREAD(UpdateWindow(hwnd));
    if (!Get(hwnd))
        return FALSE;
    SendPaintNow(hwnd);
    return TRUE;
}

namespace
{
void Redraw(HWND hwnd, const QRegion* area, UINT flags, bool top)
{
    auto w = Find(hwnd);
    if (!w || w->destroyed)
        return;
    const RECT c = ClientRectOf(*w);
    const QRegion whole(0, 0, c.right, c.bottom);
    const QRegion region = area ? (*area & whole) : whole;
    if (flags & RDW_INVALIDATE)
    {
        InvalidateClient(*w, region, (flags & RDW_ERASE) != 0);
        if (flags & RDW_FRAME)
            OweFramePaint(*w);
    }
    if (flags & RDW_INTERNALPAINT)
    {
        w->internalPaint = true;
        PaintOwed();
    }
    if (flags & RDW_VALIDATE)
    {
        w->update -= region;
        if (flags & RDW_NOFRAME)
            w->ncPaint = false;
    }
    if (flags & RDW_NOERASE)
        w->erase = false;
    if (flags & RDW_NOINTERNALPAINT)
        w->internalPaint = false;
    // Children keep their own pictures, so a parent's repaint does not spoil them; they take part only when
    // asked to.
    if ((flags & RDW_ALLCHILDREN) && !(flags & RDW_NOCHILDREN))
        for (HWND ch : std::vector<HWND>(w->children))
            if (auto child = Find(ch))
            {
                const QRegion childArea = region.translated(-child->rect.left - child->insets.left,
                                                            -child->rect.top - child->insets.top);
                Redraw(ch, &childArea, flags & ~(RDW_UPDATENOW | RDW_ERASENOW), false);
            }
    if (top && (flags & (RDW_UPDATENOW | RDW_ERASENOW)))
    {
        std::vector<HWND> todo{hwnd};
        if ((flags & RDW_ALLCHILDREN) && !(flags & RDW_NOCHILDREN))
            for (std::size_t i = 0; i < todo.size(); ++i)
                if (auto x = Find(todo[i]))
                    todo.insert(todo.end(), x->children.begin(), x->children.end());
        for (HWND h : todo)
        {
            if (flags & RDW_UPDATENOW)
                SendPaintNow(h);
            else if (auto x = Find(h); x && x->erase)
            {
                HDC dc = GetDC(h);
                x->erase = false;
                SendLocal(h, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
                ReleaseDC(h, dc);
            }
        }
    }
}
} // namespace

BOOL RedrawWindow(HWND hwnd, LPCRECT rect, HRGN region, UINT flags)
{
    PW_ON_UI_THREAD(RedrawWindow(hwnd, rect, region, flags));
    if (!hwnd)
    {
        for (HWND h : TopLevelWindows())
            RedrawWindow(h, nullptr, nullptr, flags);
        return TRUE;
    }
    auto w = Get(hwnd);
    if (!w)
        return FALSE;
    QRegion area;
    const QRegion* areaPtr = nullptr;
    if (region)
    {
        area = ClientArea(*w, gdi::RegionOf(region));
        areaPtr = &area;
    }
    else if (rect)
    {
        area = AreaOf(*w, rect);
        areaPtr = &area;
    }
    Redraw(hwnd, areaPtr, flags, true);
    return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, LPRECT rect, BOOL erase)
{
    PW_ON_UI_THREAD(GetUpdateRect(hwnd, rect, erase));
    auto w = Get(hwnd);
    if (!w)
        return FALSE;
    const QRect box = w->update.boundingRect();
    if (rect)
        *rect = RectOf(ClientArea(*w, box).boundingRect());
    if (erase && w->erase && !box.isEmpty())
    {
        HDC dc = GetDC(hwnd);
        w->erase = false;
        SendLocal(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        ReleaseDC(hwnd, dc);
    }
    return box.isEmpty() ? FALSE : TRUE;
}

int GetUpdateRgn(HWND hwnd, HRGN region, BOOL)
{
    PW_ON_UI_THREAD(GetUpdateRgn(hwnd, region, FALSE));
    auto w = Get(hwnd);
    if (!w || !region)
        return ERROR;
    gdi::SetRegionOf(region, ClientArea(*w, w->update));
    if (w->update.isEmpty())
        return NULLREGION;
    return w->update.rectCount() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

HDC GetDC(HWND hwnd)
{
    if (!hwnd || hwnd == GetDesktopWindow())
        return gdi::CreateWindowDc(nullptr, gdi::DcKind::Screen, QRegion());
    PW_ON_UI_THREAD(GetDC(hwnd));
    if (!Get(hwnd))
        return nullptr;
    return gdi::CreateWindowDc(hwnd, gdi::DcKind::Client, QRegion());
}

HDC GetWindowDC(HWND hwnd)
{
    if (!hwnd || hwnd == GetDesktopWindow())
        return gdi::CreateWindowDc(nullptr, gdi::DcKind::Screen, QRegion());
    PW_ON_UI_THREAD(GetWindowDC(hwnd));
    if (!Get(hwnd))
        return nullptr;
    return gdi::CreateWindowDc(hwnd, gdi::DcKind::Window, QRegion());
}

HDC GetDCEx(HWND hwnd, HRGN, DWORD flags)
{
    constexpr DWORD DCX_WINDOW = 0x1;
    return (flags & DCX_WINDOW) ? GetWindowDC(hwnd) : GetDC(hwnd);
}

int ReleaseDC(HWND, HDC dc)
{
    return DeleteDC(dc) ? 1 : 0;
}

HWND WindowFromDC(HDC dc)
{
    auto d = gdi::LookupDc(dc);
    return d ? d->hwnd : nullptr;
}

int SetWindowRgn(HWND hwnd, HRGN region, BOOL redraw)
{
    PW_ON_UI_THREAD(SetWindowRgn(hwnd, region, redraw));
    auto w = Get(hwnd);
    if (!w)
        return 0;
    bool ok = true;
    QRegion shape;
    if (region)
    {
        shape = gdi::RegionOf(region, &ok);
        if (!ok)
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        // A mirrored window's region counts from its upper-right corner.
        shape = WindowArea(*w, shape);
    }
    if (w->shapeHandle && w->shapeHandle != region)
        DeleteObject(w->shapeHandle);
    w->shapeHandle = region;
    w->hasRegion = region != nullptr;
    w->shape = shape;
    ApplyShape(*w);
    if (redraw)
    {
        OweFramePaint(*w);
        InvalidateClient(*w, AreaOf(*w, nullptr), true);
    }
    return 1;
}

int GetWindowRgn(HWND hwnd, HRGN region)
{
    PW_ON_UI_THREAD(GetWindowRgn(hwnd, region));
    auto w = Get(hwnd);
    if (!w || !region || !w->hasRegion)
        return ERROR;
    gdi::SetRegionOf(region, WindowArea(*w, w->shape));
    if (w->shape.isEmpty())
        return NULLREGION;
    return w->shape.rectCount() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

BOOL UpdateLayeredWindow(HWND hwnd, HDC, POINT* position, SIZE* size, HDC src, POINT* srcPoint, COLORREF key,
                         BLENDFUNCTION* blend, DWORD flags)
{
    PW_ON_UI_THREAD(UpdateLayeredWindow(hwnd, nullptr, position, size, src, srcPoint, key, blend, flags));
    auto w = Get(hwnd);
    if (!w)
        return FALSE;
    if (!(w->exStyle & WS_EX_LAYERED))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (position || size)
    {
        UINT swp = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW;
        if (!position)
            swp |= SWP_NOMOVE;
        if (!size)
            swp |= SWP_NOSIZE;
        RECT r;
        GetWindowRect(hwnd, &r);
        SetWindowPos(hwnd, nullptr, position ? position->x : r.left, position ? position->y : r.top,
                     size ? size->cx : r.right - r.left, size ? size->cy : r.bottom - r.top, swp);
        if (w->destroyed)
            return FALSE;
    }
    if (src)
    {
        auto dc = gdi::LookupDc(src);
        if (!dc)
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        const int width = w->rect.right - w->rect.left;
        const int height = w->rect.bottom - w->rect.top;
        const QPoint from = srcPoint ? QPoint(srcPoint->x, srcPoint->y) : QPoint(0, 0);
        QImage picture = gdi::ReadPixels(*dc, QRect(from, QSize(width, height)));
        const bool alpha = (flags & ULW_ALPHA) && blend;
        if (alpha)
        {
            const int constant = blend->SourceConstantAlpha;
            for (int y = 0; y < picture.height(); ++y)
            {
                auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
                for (int x = 0; x < picture.width(); ++x)
                {
                    QRgb p = row[x];
                    if (!(blend->AlphaFormat & AC_SRC_ALPHA))
                        p = qPremultiply(qRgba(qRed(p), qGreen(p), qBlue(p), 255));
                    if (constant != 255)
                        p = qRgba(qRed(p) * constant / 255, qGreen(p) * constant / 255,
                                  qBlue(p) * constant / 255, qAlpha(p) * constant / 255);
                    row[x] = p;
                }
            }
        }
        else
        {
            for (int y = 0; y < picture.height(); ++y)
            {
                auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
                for (int x = 0; x < picture.width(); ++x)
                    row[x] |= 0xFF000000u;
            }
        }
        if ((flags & ULW_COLORKEY) && !(flags & ULW_OPAQUE))
        {
            const QRgb k = qRgb(GetRValue(key), GetGValue(key), GetBValue(key)) & 0xFFFFFF;
            for (int y = 0; y < picture.height(); ++y)
            {
                auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
                for (int x = 0; x < picture.width(); ++x)
                    if ((row[x] & 0xFFFFFF) == k)
                        row[x] = 0;
            }
        }
        w->layered = picture;
        w->layeredImage = true;
    }
    ApplyShape(*w);
    if (w->widget)
        w->widget->update();
    return TRUE;
}

BOOL SetLayeredWindowAttributes(HWND hwnd, COLORREF key, BYTE alpha, DWORD flags)
{
    PW_ON_UI_THREAD(SetLayeredWindowAttributes(hwnd, key, alpha, flags));
    auto w = Get(hwnd);
    if (!w)
        return FALSE;
    if (!(w->exStyle & WS_EX_LAYERED))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    w->layeredImage = false;
    w->layered = QImage();
    w->colorKey = key;
    w->alpha = alpha;
    w->layeredFlags = flags;
    if (w->widget && !w->parent)
        w->widget->setWindowOpacity((flags & LWA_ALPHA) ? alpha / 255.0 : 1.0);
    RebuildLayeredMask(*w);
    if (w->widget)
        w->widget->update();
    return TRUE;
}

BOOL GetLayeredWindowAttributes(HWND hwnd, COLORREF* key, BYTE* alpha, DWORD* flags)
{
    PW_ON_UI_THREAD(GetLayeredWindowAttributes(hwnd, key, alpha, flags));
    auto w = Get(hwnd);
    if (!w || !(w->exStyle & WS_EX_LAYERED) || w->layeredImage)
        return FALSE;
    if (key)
        *key = w->colorKey;
    if (alpha)
        *alpha = w->alpha;
    if (flags)
        *flags = w->layeredFlags;
    return TRUE;
}
