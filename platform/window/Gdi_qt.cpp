// GDI objects, device contexts and drawing over QImage surfaces.

#include "platform/window/Extras.h"
#include "platform/window/GdiInternal.h"
#include "platform/window/WindowInternal.h"

#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace win = platform::window::detail;

namespace platform::gdi::detail
{
namespace
{
std::mutex g_lock;
std::unordered_map<std::uintptr_t, std::shared_ptr<Object>> g_objects; // under g_lock
std::uintptr_t g_next = 0x400000;                                      // under g_lock
std::function<void(void*)> g_closedHook;

void Closed(void* h)
{
    if (g_closedHook)
        g_closedHook(h);
}

std::shared_ptr<Object> MakeStock(int index)
{
    switch (index)
    {
    case WHITE_BRUSH:
    case LTGRAY_BRUSH:
    case GRAY_BRUSH:
    case DKGRAY_BRUSH:
    case BLACK_BRUSH:
    case NULL_BRUSH:
    case DC_BRUSH:
    {
        auto b = std::make_shared<Brush>();
        static const COLORREF colors[] = {RGB(255, 255, 255), RGB(192, 192, 192), RGB(128, 128, 128),
                                          RGB(64, 64, 64), RGB(0, 0, 0)};
        if (index == NULL_BRUSH)
            b->style = BS_NULL;
        else if (index == DC_BRUSH)
            b->dcBrush = true;
        else
            b->color = colors[index];
        return b;
    }
    case WHITE_PEN:
    case BLACK_PEN:
    case NULL_PEN:
    case DC_PEN:
    {
        auto p = std::make_shared<Pen>();
        if (index == NULL_PEN)
            p->style = PS_NULL;
        else if (index == DC_PEN)
            p->dcPen = true;
        else
            p->color = index == WHITE_PEN ? RGB(255, 255, 255) : RGB(0, 0, 0);
        return p;
    }
    case OEM_FIXED_FONT:
    case ANSI_FIXED_FONT:
    case ANSI_VAR_FONT:
    case SYSTEM_FONT:
    case DEVICE_DEFAULT_FONT:
    case SYSTEM_FIXED_FONT:
    case DEFAULT_GUI_FONT:
    {
        auto f = std::make_shared<Font>();
        LOGFONTA& lf = f->lf;
        lf.lfCharSet = DEFAULT_CHARSET;
        lf.lfWeight = FW_NORMAL;
        const bool fixed = index == OEM_FIXED_FONT || index == ANSI_FIXED_FONT || index == SYSTEM_FIXED_FONT;
        if (index == DEFAULT_GUI_FONT)
        {
            lf.lfHeight = -11;
            std::strcpy(lf.lfFaceName, "MS Shell Dlg");
        }
        else if (fixed)
        {
            lf.lfHeight = -12;
            lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
            std::strcpy(lf.lfFaceName, "Courier New");
        }
        else if (index == ANSI_VAR_FONT)
        {
            lf.lfHeight = -11;
            std::strcpy(lf.lfFaceName, "MS Sans Serif");
        }
        else
        {
            lf.lfHeight = 16;
            lf.lfWeight = FW_BOLD;
            std::strcpy(lf.lfFaceName, "System");
        }
        f->qfont = QFontFor(lf);
        return f;
    }
    default:
        return nullptr;
    }
}

std::shared_ptr<Object> Stock(int index)
{
    static std::mutex lock;
    static std::unordered_map<int, std::shared_ptr<Object>> stock;
    std::lock_guard guard(lock);
    auto it = stock.find(index);
    if (it != stock.end())
        return it->second;
    auto o = MakeStock(index);
    if (!o)
        return nullptr;
    o->stock = true;
    Register(o);
    stock[index] = o;
    return o;
}

std::shared_ptr<Bitmap> DefaultBitmap()
{
    static std::shared_ptr<Bitmap> bitmap = []
    {
        auto b = std::make_shared<Bitmap>();
        b->width = b->height = 1;
        b->bitsPerPixel = 1;
        b->image = QImage(1, 1, QImage::Format_ARGB32_Premultiplied);
        b->image.fill(Qt::black);
        b->stock = true;
        Register(b);
        return b;
    }();
    return bitmap;
}

COLORREF BrushColor(const Brush& b, const Dc* dc)
{
    if (b.sysColor >= 0)
        return GetSysColor(b.sysColor);
    if (b.dcBrush)
        return dc ? dc->state.dcBrushColor : RGB(255, 255, 255);
    return b.color;
}

QBrush QBrushFor(const Brush& b, const Dc* dc)
{
    switch (b.style)
    {
    case BS_NULL:
        return Qt::NoBrush;
    case BS_HATCHED:
    {
        static const Qt::BrushStyle styles[] = {Qt::HorPattern,   Qt::VerPattern,   Qt::FDiagPattern,
                                                Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
        return QBrush(ColorOf(BrushColor(b, dc)), styles[std::clamp(b.hatch, 0, 5)]);
    }
    case BS_PATTERN:
        if (b.pattern)
            return QBrush(TopDown(*b.pattern));
        return Qt::NoBrush;
    default:
        return QBrush(ColorOf(BrushColor(b, dc)));
    }
}

QPen QPenFor(const Pen& pen, const Dc& dc)
{
    if (pen.style == PS_NULL)
        return Qt::NoPen;
    QPen p(ColorOf(pen.dcPen ? dc.state.dcPenColor : pen.color));
    p.setWidth(std::max(pen.width, 1));
    if (pen.width <= 1)
        p.setCosmetic(true);
    p.setCapStyle(Qt::FlatCap);
    p.setJoinStyle(Qt::MiterJoin);
    switch (pen.style & PS_STYLE_MASK)
    {
    case PS_DASH:
        p.setStyle(Qt::DashLine);
        break;
    case PS_DOT:
        p.setStyle(Qt::DotLine);
        break;
    case PS_DASHDOT:
        p.setStyle(Qt::DashDotLine);
        break;
    case PS_DASHDOTDOT:
        p.setStyle(Qt::DashDotDotLine);
        break;
    default:
        break;
    }
    return p;
}

QPoint LogicalOffset(const Dc& dc)
{
    return QPoint(dc.state.viewportOrg.x - dc.state.windowOrg.x,
                  dc.state.viewportOrg.y - dc.state.windowOrg.y);
}
} // namespace

QRect Normal(int l, int t, int r, int b)
{
    if (r < l)
        std::swap(l, r);
    if (b < t)
        std::swap(t, b);
    return QRect(l, t, r - l, b - t);
}

namespace
{
/// Runs one drawing operation on the DC; `op` draws with logical coordinates and returns the logical area
/// it may have changed.
template <class F> bool Draw(HDC hdc, F&& op)
{
    auto dc = LookupDc(hdc);
    if (!dc)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    Surface s;
    if (!SurfaceOf(*dc, s))
        return false;
    QPainter p;
    BeginPainter(p, *dc, s);
    const QRect logical = op(p, *dc, s);
    p.end();
    if (!logical.isEmpty())
        Touched(*dc, QRegion(logical.translated(LogicalOffset(*dc))) & DeviceClip(*dc, s));
    return true;
}

/// Writes `pixels` (top-down, premultiplied) at device rectangle `r`, within the DC's clip.
void WritePixels(const Dc& dc, const Surface& s, const QRect& deviceRect, const QImage& pixels,
                 QPainter::CompositionMode mode)
{
    QPainter p;
    BeginPainter(p, dc, s);
    p.resetTransform();
    p.setTransform(DeviceTransform(s));
    p.setClipRegion(DeviceClip(dc, s));
    p.setCompositionMode(mode);
    p.drawImage(deviceRect, pixels);
    p.end();
    Touched(dc, QRegion(deviceRect) & DeviceClip(dc, s));
}

/// `part` of `pixels` halved (each pixel the average of two by two) until it is less than twice `target`'s
/// size, for a smooth reduction that lets every source pixel count. The halves are kept per thread for the
/// next call, as a live picture is reduced to the same size frame after frame. Returns the image to draw
/// from and sets `part` to the rectangle in it.
const QImage& Halved(const QImage& pixels, QRect& part, const QSize& target)
{
    thread_local QImage halves[2];
    const QImage* from = &pixels;
    for (int next = 0; part.width() > 2 * target.width() || part.height() > 2 * target.height(); next ^= 1)
    {
        const QSize half(part.width() > 2 * target.width() ? (part.width() + 1) / 2 : part.width(),
                         part.height() > 2 * target.height() ? (part.height() + 1) / 2 : part.height());
        QImage& to = halves[next];
        if (to.size() != half)
            to = QImage(half, QImage::Format_ARGB32_Premultiplied);
        QPainter p(&to);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRectF(to.rect()), *from, QRectF(part));
        p.end();
        from = &to;
        part = to.rect();
    }
    return *from;
}

/// Copies `part` of `pixels` row by row into device rectangle `deviceRect` of the same size, upside down
/// when `mirrorY`, where no painter is needed: same pixel layout, a surface neither flipped nor mirrored,
/// and the whole rectangle inside the clip. False, with nothing drawn, otherwise. A live picture arrives
/// at the size shown, frame after frame; a painter set up for each would cost more than the copy.
bool CopyRows(const Dc& dc, const Surface& s, const QRect& deviceRect, const QImage& pixels,
              const QRect& part, bool mirrorY)
{
    if (part.size() != deviceRect.size() || pixels.format() != s.image->format() || s.flipped || s.mirrored ||
        pixels.depth() != 32)
        return false;
    const QRect target = deviceRect.translated(s.origin);
    if (!s.image->rect().contains(target) || !(QRegion(deviceRect) - DeviceClip(dc, s)).isEmpty())
        return false;
    const std::size_t rowBytes = static_cast<std::size_t>(part.width()) * 4;
    for (int y = 0; y < part.height(); ++y)
    {
        const int from = mirrorY ? part.bottom() - y : part.top() + y;
        std::memcpy(s.image->scanLine(target.top() + y) + static_cast<std::size_t>(target.left()) * 4,
                    pixels.constScanLine(from) + static_cast<std::size_t>(part.left()) * 4, rowBytes);
    }
    return true;
}

/// Copies `part` of `pixels` into device rectangle `deviceRect` within the DC's clip, mirrored as asked and
/// scaled by the painter on the way (smoothly when `smooth`), so that the picture is not copied first.
void WritePart(const Dc& dc, const Surface& s, const QRect& deviceRect, const QImage& pixels, QRect part,
               bool mirrorX, bool mirrorY, bool smooth)
{
    if (!mirrorX && CopyRows(dc, s, deviceRect, pixels, part, mirrorY))
    {
        Touched(dc, QRegion(deviceRect));
        return;
    }
    const QImage& from = smooth ? Halved(pixels, part, deviceRect.size()) : pixels;
    QPainter p;
    // The clip is set here, in device coordinates, before the mirroring below.
    BeginPainter(p, dc, s);
    QTransform t = DeviceTransform(s);
    if (mirrorX || mirrorY)
        t = QTransform(mirrorX ? -1 : 1, 0, 0, mirrorY ? -1 : 1,
                       mirrorX ? 2 * deviceRect.left() + deviceRect.width() : 0,
                       mirrorY ? 2 * deviceRect.top() + deviceRect.height() : 0) *
            t;
    p.setTransform(t);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    p.drawImage(QRectF(deviceRect), from, QRectF(part));
    p.end();
    Touched(dc, QRegion(deviceRect) & DeviceClip(dc, s));
}

/// Applies a ternary raster operation to 24-bit colours: each result bit is the rop's truth table entry for
/// the pattern, source and destination bits.
quint32 Rop3(quint32 rop3, quint32 p, quint32 s, quint32 d)
{
    quint32 r = 0;
    for (int i = 0; i < 8; ++i)
        if (rop3 & (1u << i))
            r |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    return r & 0xFFFFFF;
}

bool NeedsSource(DWORD rop)
{
    const quint32 rop3 = (rop >> 16) & 0xFF;
    return ((rop3 >> 2) & 0x33) != (rop3 & 0x33);
}

std::optional<QPainter::CompositionMode> SourceRasterOp(DWORD rop)
{
    switch (rop)
    {
    case SRCAND:
        return QPainter::RasterOp_SourceAndDestination;
    case SRCPAINT:
        return QPainter::RasterOp_SourceOrDestination;
    case SRCINVERT:
        return QPainter::RasterOp_SourceXorDestination;
    default:
        return std::nullopt;
    }
}

bool IsMonochrome(const Dc& dc)
{
    return dc.dcKind == DcKind::Memory && (dc.bitmap ? dc.bitmap->bitsPerPixel : 1) == 1;
}

QRgb Opaque(COLORREF c)
{
    return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

/// Pixels crossing between a one-bit surface and a colour one change as GDI changes them: into one bit,
/// the source's background colour becomes white and every other colour black; out of one bit, black
/// becomes the target's text colour and white its background colour.
void ConvertDepth(const Dc& source, const Dc& target, QImage& pixels)
{
    const bool fromMono = IsMonochrome(source);
    if (fromMono == IsMonochrome(target))
        return;
    const QRgb key = Opaque(source.state.bkColor) & 0xFFFFFF;
    const QRgb black = fromMono ? Opaque(target.state.textColor) : qRgb(0, 0, 0);
    const QRgb white = fromMono ? Opaque(target.state.bkColor) : qRgb(255, 255, 255);
    for (int y = 0; y < pixels.height(); ++y)
    {
        auto* row = reinterpret_cast<QRgb*>(pixels.scanLine(y));
        for (int x = 0; x < pixels.width(); ++x)
        {
            const QRgb colour = row[x] & 0xFFFFFF;
            row[x] = (fromMono ? colour != 0 : colour == key) ? white : black;
        }
    }
}
} // namespace

bool StretchInternal(HDC hdst, QRect dstRect, const QImage* sourcePixels, DWORD rop, bool mirrorX,
                     bool mirrorY, const QRect* part)
{
    auto dc = LookupDc(hdst);
    if (!dc)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    Surface s;
    if (!SurfaceOf(*dc, s))
        return false;
    const QRect device = dstRect.translated(LogicalOffset(*dc));
    if (device.isEmpty())
        return true;
    // A right-to-left surface mirrors whatever is drawn on it; a bitmap that keeps its orientation is
    // mirrored once more beforehand.
    const bool keepOrientation = KeepsOrientation(*dc, rop);
    rop &= ~(NOMIRRORBITMAP | CAPTUREBLT);
    const bool smooth = dc->state.stretchMode == HALFTONE;
    if (rop == SRCCOPY && sourcePixels && part && !part->isEmpty() && sourcePixels->rect().contains(*part) &&
        (smooth || part->size() == device.size()))
    {
        WritePart(*dc, s, device, *sourcePixels, *part, mirrorX != keepOrientation, mirrorY, smooth);
        return true;
    }
    QImage source;
    if (sourcePixels)
    {
        source = part ? sourcePixels->copy(*part) : *sourcePixels;
        if (source.format() != QImage::Format_ARGB32_Premultiplied)
            source = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (mirrorX != keepOrientation || mirrorY)
            source = source.mirrored(mirrorX != keepOrientation, mirrorY);
        if (source.size() != device.size())
            source = source.scaled(device.size(), Qt::IgnoreAspectRatio,
                                   smooth ? Qt::SmoothTransformation : Qt::FastTransformation);
    }
    if (rop == SRCCOPY && sourcePixels)
    {
        WritePixels(*dc, s, device, source, QPainter::CompositionMode_Source);
        return true;
    }
    // The source operations of masked drawing are the painter's own raster operations, which combine the
    // colour bits as GDI does; the source is opaque for them, as a GDI source has no alpha.
    if (const auto mode = SourceRasterOp(rop); mode && sourcePixels)
    {
        QImage opaque = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < opaque.height(); ++y)
        {
            auto* row = reinterpret_cast<QRgb*>(opaque.scanLine(y));
            for (int x = 0; x < opaque.width(); ++x)
                row[x] |= 0xFF000000u;
        }
        WritePixels(*dc, s, device, opaque, *mode);
        return true;
    }
    const quint32 rop3 = (rop >> 16) & 0xFF;
    QImage dest = ReadPixels(*dc, device);
    const quint32 pattern = [&]
    {
        auto brush = dc->state.brush;
        if (!brush || brush->style == BS_NULL)
            return quint32{0};
        const COLORREF c = BrushColor(*brush, dc.get());
        return static_cast<quint32>(qRgb(GetRValue(c), GetGValue(c), GetBValue(c)) & 0xFFFFFF);
    }();
    for (int y = 0; y < dest.height(); ++y)
    {
        auto* d = reinterpret_cast<QRgb*>(dest.scanLine(y));
        const auto* sp = sourcePixels ? reinterpret_cast<const QRgb*>(source.constScanLine(y)) : nullptr;
        for (int x = 0; x < dest.width(); ++x)
        {
            const quint32 src = sp ? (sp[x] & 0xFFFFFF) : 0;
            d[x] = 0xFF000000u | Rop3(rop3, pattern, src, d[x] & 0xFFFFFF);
        }
    }
    WritePixels(*dc, s, device, dest, QPainter::CompositionMode_Source);
    return true;
}

namespace
{
void Bresenham(QPainter& p, QPoint a, QPoint b, const QColor& color)
{
    int dx = std::abs(b.x() - a.x()), sx = a.x() < b.x() ? 1 : -1;
    int dy = -std::abs(b.y() - a.y()), sy = a.y() < b.y() ? 1 : -1;
    int err = dx + dy;
    int x = a.x(), y = a.y();
    while (x != b.x() || y != b.y())
    {
        p.fillRect(QRect(x, y, 1, 1), color);
        const int e2 = 2 * err;
        if (e2 >= dy)
        {
            err += dy;
            x += sx;
        }
        if (e2 <= dx)
        {
            err += dx;
            y += sy;
        }
    }
}

int RegionType(const QRegion& r)
{
    if (r.isEmpty())
        return NULLREGION;
    return r.rectCount() == 1 ? SIMPLEREGION : COMPLEXREGION;
}
} // namespace

Bitmap::~Bitmap()
{
    image = QImage();
    if (dibSection)
        std::free(bits);
}

QColor ColorOf(COLORREF c)
{
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

HGDIOBJ Register(std::shared_ptr<Object> object)
{
    std::lock_guard lock(g_lock);
    const std::uintptr_t h = g_next;
    g_next += 4;
    object->handle = reinterpret_cast<HGDIOBJ>(h);
    g_objects[h] = std::move(object);
    return reinterpret_cast<HGDIOBJ>(h);
}

std::shared_ptr<Object> Lookup(HGDIOBJ h)
{
    if (!h)
        return nullptr;
    std::lock_guard lock(g_lock);
    auto it = g_objects.find(reinterpret_cast<std::uintptr_t>(h));
    return it == g_objects.end() ? nullptr : it->second;
}

std::shared_ptr<Dc> LookupDc(HDC dc)
{
    return LookupAs<Dc>(dc, Kind::Dc);
}

std::shared_ptr<Brush> BrushOf(HBRUSH brush)
{
    const auto v = reinterpret_cast<std::uintptr_t>(brush);
    if (v >= 1 && v <= 31)
        return LookupAs<Brush>(GetSysColorBrush(static_cast<int>(v) - 1), Kind::Brush);
    return LookupAs<Brush>(brush, Kind::Brush);
}

QImage TopDown(const Bitmap& b)
{
    QImage img = b.image;
    if (img.format() != QImage::Format_ARGB32_Premultiplied)
        img = img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (b.bottomUp)
        img = img.mirrored(false, true);
    return img;
}

bool SurfaceOf(const Dc& dc, Surface& s)
{
    switch (dc.dcKind)
    {
    case DcKind::Memory:
    {
        auto& b = dc.bitmap ? *dc.bitmap : *DefaultBitmap();
        s.image = &b.image;
        s.flipped = b.bottomUp;
        s.origin = QPoint(0, 0);
        s.width = b.width;
        s.height = b.height;
        s.area = QRegion(0, 0, b.width, b.height);
        s.mirrored = (dc.state.layout & LAYOUT_RTL) != 0;
        return true;
    }
    case DcKind::Screen:
    {
        static QImage screen(1, 1, QImage::Format_ARGB32_Premultiplied);
        s.image = &screen;
        s.width = s.height = 0;
        s.area = QRegion();
        return true;
    }
    default:
    {
        if (!dc.hwnd || !win::IsUiThread())
            return false;
        auto w = win::Find(dc.hwnd);
        if (!w || w->destroyed)
            return false;
        s.image = &w->buffer;
        s.flipped = false;
        if (dc.dcKind == DcKind::Window)
        {
            s.origin = QPoint(0, 0);
            s.width = w->rect.right - w->rect.left;
            s.height = w->rect.bottom - w->rect.top;
        }
        else
        {
            s.origin = QPoint(w->insets.left, w->insets.top);
            const RECT c = win::ClientRectOf(*w);
            s.width = c.right;
            s.height = c.bottom;
        }
        s.area = QRegion(0, 0, s.width, s.height);
        s.mirrored = (dc.state.layout & LAYOUT_RTL) != 0;
        // The paint area is kept as it lies in the window; device coordinates of a mirrored DC run the other
        // way.
        if (dc.dcKind == DcKind::Paint)
            s.area &= s.mirrored ? win::MirroredRegion(dc.paintArea, s.width) : dc.paintArea;
        return true;
    }
    }
}

QRegion DeviceClip(const Dc& dc, const Surface& s)
{
    QRegion r = s.area;
    if (dc.state.clip)
        r &= *dc.state.clip;
    return r;
}

QTransform DeviceTransform(const Surface& s)
{
    QTransform t;
    if (s.flipped)
        t = QTransform(1, 0, 0, -1, 0, s.image->height());
    t.translate(s.origin.x(), s.origin.y());
    if (s.mirrored)
    {
        t.translate(s.width, 0);
        t.scale(-1, 1);
    }
    return t;
}

bool KeepsOrientation(const Dc& dc, DWORD rop)
{
    return (dc.state.layout & LAYOUT_RTL) &&
           ((dc.state.layout & LAYOUT_BITMAPORIENTATIONPRESERVED) || (rop & NOMIRRORBITMAP));
}

void KeepOrientation(const Dc& dc, QImage& pixels, DWORD rop)
{
    if (KeepsOrientation(dc, rop))
        pixels = pixels.mirrored(true, false);
}

void BeginPainter(QPainter& p, const Dc& dc, const Surface& s)
{
    p.begin(s.image);
    p.setTransform(DeviceTransform(s));
    p.setClipRegion(DeviceClip(dc, s));
    p.translate(LogicalOffset(dc));
    p.setRenderHint(QPainter::Antialiasing, false);
}

void Touched(const Dc& dc, const QRegion& deviceArea)
{
    if (dc.dcKind == DcKind::Memory || dc.dcKind == DcKind::Screen || deviceArea.isEmpty())
        return;
    auto w = win::Find(dc.hwnd);
    if (!w)
        return;
    QRegion area = deviceArea;
    if (Surface s; (dc.state.layout & LAYOUT_RTL) && SurfaceOf(dc, s))
        area = win::MirroredRegion(deviceArea, s.width);
    const QPoint origin = dc.dcKind == DcKind::Window ? QPoint(0, 0) : QPoint(w->insets.left, w->insets.top);
    win::UpdateWidgetArea(*w, area.boundingRect().translated(origin));
}

QImage ReadPixels(const Dc& dc, const QRect& r)
{
    QImage out(std::max(r.width(), 1), std::max(r.height(), 1), QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    Surface s;
    if (r.isEmpty() || !SurfaceOf(dc, s) || s.width <= 0 || s.height <= 0)
        return out;
    const QRect inside = r & QRect(0, 0, s.width, s.height);
    if (inside.isEmpty())
        return out;
    // Device rectangle to rows of the image, which run the other way in a bottom-up bitmap, and to its
    // columns, which run the other way in a right-to-left DC.
    QRect imageRect = inside;
    if (s.mirrored)
        imageRect.moveLeft(s.width - inside.left() - inside.width());
    imageRect.translate(s.origin);
    if (s.flipped)
        imageRect.moveTop(s.image->height() - imageRect.top() - imageRect.height());
    QImage part = s.image->copy(imageRect);
    if (part.format() != QImage::Format_ARGB32_Premultiplied)
        part = part.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (s.flipped || s.mirrored)
        part = part.mirrored(s.mirrored, s.flipped);
    QPainter p(&out);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(inside.topLeft() - r.topLeft(), part);
    return out;
}

HDC CreateWindowDc(HWND hwnd, DcKind kind, const QRegion& paintArea)
{
    auto dc = std::make_shared<Dc>();
    dc->dcKind = kind;
    dc->hwnd = hwnd;
    dc->paintArea = paintArea;
    if (auto w = win::Find(hwnd); w && win::IsMirrored(*w))
        dc->state.layout = LAYOUT_RTL;
    dc->state.pen = LookupAs<Pen>(GetStockObject(BLACK_PEN), Kind::Pen);
    dc->state.brush = LookupAs<Brush>(GetStockObject(WHITE_BRUSH), Kind::Brush);
    dc->state.font = LookupAs<Font>(GetStockObject(SYSTEM_FONT), Kind::Font);
    return reinterpret_cast<HDC>(Register(dc));
}

void ReleaseWindowDcs(HWND hwnd)
{
    std::lock_guard lock(g_lock);
    for (auto& [h, o] : g_objects)
        if (o->kind == Kind::Dc)
            if (auto* dc = static_cast<Dc*>(o.get()); dc->hwnd == hwnd)
                dc->hwnd = nullptr;
}

HRGN CreateRegionHandle(const QRegion& r)
{
    auto region = std::make_shared<Region>();
    region->region = r;
    return reinterpret_cast<HRGN>(Register(region));
}

QRegion RegionOf(HRGN h, bool* ok)
{
    auto r = LookupAs<Region>(h, Kind::Region);
    if (ok)
        *ok = r != nullptr;
    return r ? r->region : QRegion();
}

void SetRegionOf(HRGN h, const QRegion& region)
{
    if (auto r = LookupAs<Region>(h, Kind::Region))
        r->region = region;
}
} // namespace platform::gdi::detail

using namespace platform::gdi::detail;

namespace platform::window
{
void SetGdiHandleClosedHook(std::function<void(void*)> hook)
{
    g_closedHook = std::move(hook);
}
} // namespace platform::window

int MulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0)
        return -1;
    const long long product = static_cast<long long>(number) * numerator;
    long long half = std::llabs(static_cast<long long>(denominator)) / 2;
    const bool negative = (product < 0) != (denominator < 0);
    long long result = (std::llabs(product) + half) / std::llabs(static_cast<long long>(denominator));
    if (negative)
        result = -result;
    if (result > INT32_MAX || result < INT32_MIN)
        return -1;
    return static_cast<int>(result);
}

HBRUSH GetSysColorBrush(int index)
{
    if (index < 0 || index > 30)
        return nullptr;
    static std::mutex lock;
    static std::unordered_map<int, HBRUSH> brushes;
    std::lock_guard guard(lock);
    auto it = brushes.find(index);
    if (it != brushes.end())
        return it->second;
    auto b = std::make_shared<Brush>();
    b->sysColor = index;
    b->stock = true;
    auto h = reinterpret_cast<HBRUSH>(Register(b));
    brushes[index] = h;
    return h;
}

HGDIOBJ GetStockObject(int index)
{
    auto o = Stock(index);
    return o ? o->handle : nullptr;
}

// ---------------------------------------------------------------------------------------------------------
// Device contexts
// ---------------------------------------------------------------------------------------------------------

HDC CreateCompatibleDC(HDC reference)
{
    auto dc = std::make_shared<Dc>();
    dc->dcKind = DcKind::Memory;
    // A DC made for a right-to-left one is right-to-left too, so that copies between the two keep bitmaps
    // the right way round.
    if (auto r = LookupDc(reference))
        dc->state.layout = r->state.layout;
    dc->bitmap = DefaultBitmap();
    dc->state.pen = LookupAs<Pen>(GetStockObject(BLACK_PEN), Kind::Pen);
    dc->state.brush = LookupAs<Brush>(GetStockObject(WHITE_BRUSH), Kind::Brush);
    dc->state.font = LookupAs<Font>(GetStockObject(SYSTEM_FONT), Kind::Font);
    return reinterpret_cast<HDC>(Register(dc));
}

BOOL DeleteDC(HDC hdc)
{
    std::shared_ptr<Object> o;
    {
        std::lock_guard lock(g_lock);
        auto it = g_objects.find(reinterpret_cast<std::uintptr_t>(hdc));
        if (it == g_objects.end() || it->second->kind != Kind::Dc)
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        o = it->second;
        g_objects.erase(it);
    }
    auto dc = std::static_pointer_cast<Dc>(o);
    if (dc->bitmap && dc->bitmap->selectedInto == hdc)
        dc->bitmap->selectedInto = nullptr;
    Closed(hdc);
    return TRUE;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object)
{
    auto dc = LookupDc(hdc);
    auto o = Lookup(object);
    if (!dc || !o)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto& st = dc->state;
    switch (o->kind)
    {
    case Kind::Pen:
    {
        HGDIOBJ old = st.pen ? st.pen->handle : nullptr;
        st.pen = std::static_pointer_cast<Pen>(o);
        return old;
    }
    case Kind::Brush:
    {
        HGDIOBJ old = st.brush ? st.brush->handle : nullptr;
        st.brush = std::static_pointer_cast<Brush>(o);
        return old;
    }
    case Kind::Font:
    {
        HGDIOBJ old = st.font ? st.font->handle : nullptr;
        st.font = std::static_pointer_cast<Font>(o);
        return old;
    }
    case Kind::Bitmap:
    {
        if (dc->dcKind != DcKind::Memory)
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        auto b = std::static_pointer_cast<Bitmap>(o);
        if (b->selectedInto && b->selectedInto != hdc && !b->stock)
        {
            // A bitmap is drawn on through one DC at a time.
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        HGDIOBJ old = dc->bitmap ? dc->bitmap->handle : nullptr;
        if (dc->bitmap && dc->bitmap->selectedInto == hdc)
            dc->bitmap->selectedInto = nullptr;
        dc->bitmap = b;
        if (!b->stock)
            b->selectedInto = hdc;
        return old;
    }
    case Kind::Region:
        return reinterpret_cast<HGDIOBJ>(
            static_cast<std::intptr_t>(SelectClipRgn(hdc, reinterpret_cast<HRGN>(object))));
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT type)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return nullptr;
    switch (type)
    {
    case OBJ_PEN:
        return dc->state.pen ? dc->state.pen->handle : nullptr;
    case OBJ_BRUSH:
        return dc->state.brush ? dc->state.brush->handle : nullptr;
    case OBJ_FONT:
        return dc->state.font ? dc->state.font->handle : nullptr;
    case OBJ_BITMAP:
        return dc->bitmap ? dc->bitmap->handle : nullptr;
    default:
        return nullptr;
    }
}

int SaveDC(HDC hdc)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return 0;
    dc->saved.push_back(dc->state);
    return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC hdc, int saved)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return FALSE;
    const int count = static_cast<int>(dc->saved.size());
    const int index = saved < 0 ? count + saved + 1 : saved;
    if (index < 1 || index > count)
        return FALSE;
    dc->state = dc->saved[static_cast<std::size_t>(index - 1)];
    dc->saved.resize(static_cast<std::size_t>(index - 1));
    return TRUE;
}

int GetDeviceCaps(HDC hdc, int index)
{
    auto dc = LookupDc(hdc);
    switch (index)
    {
    case LOGPIXELSX:
    case LOGPIXELSY:
        return 96;
    case BITSPIXEL:
        return dc && dc->bitmap && !dc->bitmap->stock ? dc->bitmap->bitsPerPixel : 32;
    case PLANES:
        return 1;
    case HORZRES:
        return GetSystemMetrics(SM_CXSCREEN);
    case VERTRES:
        return GetSystemMetrics(SM_CYSCREEN);
    case HORZSIZE:
        return GetSystemMetrics(SM_CXSCREEN) * 254 / 960;
    case VERTSIZE:
        return GetSystemMetrics(SM_CYSCREEN) * 254 / 960;
    case TECHNOLOGY:
        return DT_RASDISPLAY;
    case NUMCOLORS:
        return -1;
    case RASTERCAPS:
        return 0x7E99;
    default:
        return 0;
    }
}

#define PW_DC_SETTER(Name, Type, field)                                                                      \
    Type Name(HDC hdc, Type value)                                                                           \
    {                                                                                                        \
        auto dc = LookupDc(hdc);                                                                             \
        if (!dc)                                                                                             \
            return 0;                                                                                        \
        Type old = dc->state.field;                                                                          \
        dc->state.field = value;                                                                             \
        return old;                                                                                          \
    }

PW_DC_SETTER(SetTextColor, COLORREF, textColor)
PW_DC_SETTER(SetBkColor, COLORREF, bkColor)
PW_DC_SETTER(SetTextAlign, UINT, textAlign)
PW_DC_SETTER(SetROP2, int, rop2)
PW_DC_SETTER(SetStretchBltMode, int, stretchMode)
PW_DC_SETTER(SetLayout, DWORD, layout)
PW_DC_SETTER(SetDCBrushColor, COLORREF, dcBrushColor)
PW_DC_SETTER(SetDCPenColor, COLORREF, dcPenColor)
#undef PW_DC_SETTER

int SetBkMode(HDC hdc, int mode)
{
    auto dc = LookupDc(hdc);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE))
        return 0;
    const int old = dc->state.bkMode;
    dc->state.bkMode = mode;
    return old;
}

COLORREF GetTextColor(HDC hdc)
{
    auto dc = LookupDc(hdc);
    return dc ? dc->state.textColor : CLR_INVALID;
}

COLORREF GetBkColor(HDC hdc)
{
    auto dc = LookupDc(hdc);
    return dc ? dc->state.bkColor : CLR_INVALID;
}

int GetBkMode(HDC hdc)
{
    auto dc = LookupDc(hdc);
    return dc ? dc->state.bkMode : 0;
}

UINT GetTextAlign(HDC hdc)
{
    auto dc = LookupDc(hdc);
    return dc ? dc->state.textAlign : GDI_ERROR;
}

int GetStretchBltMode(HDC hdc)
{
    auto dc = LookupDc(hdc);
    return dc ? dc->state.stretchMode : 0;
}

DWORD GetLayout(HDC hdc)
{
    auto dc = LookupDc(hdc);
    return dc ? dc->state.layout : GDI_ERROR;
}

int SetMapMode(HDC hdc, int mode)
{
    return LookupDc(hdc) && mode == MM_TEXT ? MM_TEXT : 0;
}

namespace
{
/// Replaces one of a DC's points (the viewport origin, the window origin or the pen position), handing back
/// the old one when asked.
BOOL SetDcPoint(HDC hdc, POINT DcState::*field, POINT value, LPPOINT old)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return FALSE;
    if (old)
        *old = dc->state.*field;
    dc->state.*field = value;
    return TRUE;
}

BOOL GetDcPoint(HDC hdc, POINT DcState::*field, LPPOINT point)
{
    auto dc = LookupDc(hdc);
    if (!dc || !point)
        return FALSE;
    *point = dc->state.*field;
    return TRUE;
}
} // namespace

BOOL SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT old)
{
    return SetDcPoint(hdc, &DcState::viewportOrg, POINT{x, y}, old);
}

BOOL GetViewportOrgEx(HDC hdc, LPPOINT origin)
{
    return GetDcPoint(hdc, &DcState::viewportOrg, origin);
}

BOOL OffsetViewportOrgEx(HDC hdc, int dx, int dy, LPPOINT old)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return FALSE;
    if (old)
        *old = dc->state.viewportOrg;
    dc->state.viewportOrg.x += dx;
    dc->state.viewportOrg.y += dy;
    return TRUE;
}

BOOL SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT old)
{
    return SetDcPoint(hdc, &DcState::windowOrg, POINT{x, y}, old);
}

BOOL GetWindowOrgEx(HDC hdc, LPPOINT origin)
{
    return GetDcPoint(hdc, &DcState::windowOrg, origin);
}

BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT old)
{
    return SetDcPoint(hdc, &DcState::position, POINT{x, y}, old);
}

BOOL GetCurrentPositionEx(HDC hdc, LPPOINT point)
{
    return GetDcPoint(hdc, &DcState::position, point);
}

BOOL LineTo(HDC hdc, int x, int y)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return FALSE;
    const QPoint from(dc->state.position.x, dc->state.position.y);
    const QPoint to(x, y);
    dc->state.position = POINT{x, y};
    auto pen = dc->state.pen;
    if (!pen || pen->style == PS_NULL)
        return TRUE;
    return Draw(hdc,
                [&](QPainter& p, Dc& d, Surface&)
                {
                    const QColor color = ColorOf(pen->dcPen ? d.state.dcPenColor : pen->color);
                    // The last point is not drawn, so that joined lines do not touch a pixel twice.
                    if (pen->width <= 1 && (pen->style & PS_STYLE_MASK) == PS_SOLID)
                        Bresenham(p, from, to, color);
                    else
                    {
                        p.setPen(QPenFor(*pen, d));
                        p.drawLine(from, to);
                    }
                    const int w = std::max(pen->width, 1);
                    return QRect(from, to).normalized().adjusted(-w, -w, w, w);
                })
               ? TRUE
               : FALSE;
}

BOOL LPtoDP(HDC hdc, LPPOINT points, int count)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return FALSE;
    const QPoint o = LogicalOffset(*dc);
    for (int i = 0; points && i < count; ++i)
    {
        points[i].x += o.x();
        points[i].y += o.y();
    }
    return TRUE;
}

BOOL DPtoLP(HDC hdc, LPPOINT points, int count)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return FALSE;
    const QPoint o = LogicalOffset(*dc);
    for (int i = 0; points && i < count; ++i)
    {
        points[i].x -= o.x();
        points[i].y -= o.y();
    }
    return TRUE;
}

// ---------------------------------------------------------------------------------------------------------
// Clipping
// ---------------------------------------------------------------------------------------------------------

int SelectClipRgn(HDC hdc, HRGN region)
{
    return ExtSelectClipRgn(hdc, region, RGN_COPY);
}

int ExtSelectClipRgn(HDC hdc, HRGN region, int mode)
{
    auto dc = LookupDc(hdc);
    if (!dc)
        return ERROR;
    Surface s;
    if (!SurfaceOf(*dc, s))
        return ERROR;
    if (!region)
    {
        if (mode != RGN_COPY)
            return ERROR;
        dc->state.clip.reset();
        return RegionType(s.area);
    }
    bool ok = true;
    const QRegion r = RegionOf(region, &ok);
    if (!ok)
        return ERROR;
    const QRegion current = dc->state.clip ? *dc->state.clip : QRegion(0, 0, s.width, s.height);
    QRegion next;
    switch (mode)
    {
    case RGN_AND:
        next = current & r;
        break;
    case RGN_OR:
        next = current | r;
        break;
    case RGN_XOR:
        next = current ^ r;
        break;
    case RGN_DIFF:
        next = current - r;
        break;
    case RGN_COPY:
        next = r;
        break;
    default:
        return ERROR;
    }
    dc->state.clip = next;
    return RegionType(DeviceClip(*dc, s));
}

int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom)
{
    auto dc = LookupDc(hdc);
    Surface s;
    if (!dc || !SurfaceOf(*dc, s))
        return ERROR;
    const QRect r = Normal(left, top, right, bottom).translated(LogicalOffset(*dc));
    const QRegion current = dc->state.clip ? *dc->state.clip : QRegion(0, 0, s.width, s.height);
    dc->state.clip = current & r;
    return RegionType(DeviceClip(*dc, s));
}

int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom)
{
    auto dc = LookupDc(hdc);
    Surface s;
    if (!dc || !SurfaceOf(*dc, s))
        return ERROR;
    const QRect r = Normal(left, top, right, bottom).translated(LogicalOffset(*dc));
    const QRegion current = dc->state.clip ? *dc->state.clip : QRegion(0, 0, s.width, s.height);
    dc->state.clip = current - r;
    return RegionType(DeviceClip(*dc, s));
}

int GetClipBox(HDC hdc, LPRECT rect)
{
    auto dc = LookupDc(hdc);
    Surface s;
    if (!dc || !rect || !SurfaceOf(*dc, s))
        return ERROR;
    const QRegion clip = DeviceClip(*dc, s);
    const QRect box = clip.boundingRect().translated(-LogicalOffset(*dc));
    *rect = RECT{box.left(), box.top(), box.left() + box.width(), box.top() + box.height()};
    return RegionType(clip);
}

int GetClipRgn(HDC hdc, HRGN region)
{
    auto dc = LookupDc(hdc);
    if (!dc || !region)
        return -1;
    if (!dc->state.clip)
        return 0;
    SetRegionOf(region, *dc->state.clip);
    return 1;
}

// ---------------------------------------------------------------------------------------------------------
// Objects
// ---------------------------------------------------------------------------------------------------------

BOOL DeleteObject(HGDIOBJ object)
{
    std::shared_ptr<Object> o;
    {
        std::lock_guard lock(g_lock);
        auto it = g_objects.find(reinterpret_cast<std::uintptr_t>(object));
        if (it == g_objects.end() || it->second->kind == Kind::Dc)
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (it->second->stock)
            return TRUE;
        o = it->second;
        g_objects.erase(it);
    }
    // A bitmap still selected into a DC lives on with the DC; its handle is gone already.
    Closed(object);
    return TRUE;
}

DWORD GetObjectType(HGDIOBJ object)
{
    auto o = Lookup(object);
    if (!o)
        return 0;
    switch (o->kind)
    {
    case Kind::Pen:
        return OBJ_PEN;
    case Kind::Brush:
        return OBJ_BRUSH;
    case Kind::Font:
        return OBJ_FONT;
    case Kind::Bitmap:
        return OBJ_BITMAP;
    case Kind::Region:
        return OBJ_REGION;
    case Kind::Dc:
        return static_cast<Dc*>(o.get())->dcKind == DcKind::Memory ? OBJ_MEMDC : OBJ_DC;
    }
    return 0;
}

int GetObject(HGDIOBJ object, int size, LPVOID buffer)
{
    auto o = Lookup(object);
    if (!o)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    auto put = [&](const void* data, int n)
    {
        if (!buffer)
            return n;
        const int copied = std::min(n, size);
        if (copied <= 0)
            return 0;
        std::memcpy(buffer, data, static_cast<std::size_t>(copied));
        return copied;
    };
    switch (o->kind)
    {
    case Kind::Pen:
    {
        auto& p = static_cast<Pen&>(*o);
        LOGPEN lp{static_cast<UINT>(p.style), POINT{p.width, 0}, p.color};
        return put(&lp, sizeof lp);
    }
    case Kind::Brush:
    {
        auto& b = static_cast<Brush&>(*o);
        LOGBRUSH lb{b.style, BrushColor(b, nullptr), static_cast<ULONG_PTR>(b.hatch)};
        return put(&lb, sizeof lb);
    }
    case Kind::Font:
        return put(&static_cast<Font&>(*o).lf, sizeof(LOGFONTA));
    case Kind::Bitmap:
    {
        auto& b = static_cast<Bitmap&>(*o);
        DIBSECTION ds{};
        ds.dsBm.bmType = 0;
        ds.dsBm.bmWidth = b.width;
        ds.dsBm.bmHeight = b.height;
        ds.dsBm.bmWidthBytes = b.dibSection ? b.stride : ((b.width * b.bitsPerPixel + 15) / 16) * 2;
        ds.dsBm.bmPlanes = 1;
        ds.dsBm.bmBitsPixel = static_cast<WORD>(b.bitsPerPixel);
        ds.dsBm.bmBits = b.dibSection ? b.bits : nullptr;
        if (!b.dibSection || size < static_cast<int>(sizeof(DIBSECTION)))
            return put(&ds.dsBm, sizeof(BITMAP));
        ds.dsBmih.biSize = sizeof(BITMAPINFOHEADER);
        ds.dsBmih.biWidth = b.width;
        ds.dsBmih.biHeight = b.bottomUp ? b.height : -b.height;
        ds.dsBmih.biPlanes = 1;
        ds.dsBmih.biBitCount = static_cast<WORD>(b.bitsPerPixel);
        ds.dsBmih.biCompression = BI_RGB;
        ds.dsBmih.biSizeImage = static_cast<DWORD>(b.stride * b.height);
        return put(&ds, sizeof ds);
    }
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
}

HPEN CreatePen(int style, int width, COLORREF color)
{
    auto p = std::make_shared<Pen>();
    p->style = style;
    p->width = std::max(0, width);
    p->color = color;
    return reinterpret_cast<HPEN>(Register(p));
}

HPEN CreatePenIndirect(const LOGPEN* pen)
{
    if (!pen)
        return nullptr;
    return CreatePen(static_cast<int>(pen->lopnStyle), pen->lopnWidth.x, pen->lopnColor);
}

HBRUSH CreateSolidBrush(COLORREF color)
{
    auto b = std::make_shared<Brush>();
    b->color = color & 0xFFFFFF;
    return reinterpret_cast<HBRUSH>(Register(b));
}

HBRUSH CreateHatchBrush(int hatch, COLORREF color)
{
    auto b = std::make_shared<Brush>();
    b->style = BS_HATCHED;
    b->hatch = hatch;
    b->color = color;
    return reinterpret_cast<HBRUSH>(Register(b));
}

HBRUSH CreatePatternBrush(HBITMAP bitmap)
{
    auto src = LookupAs<Bitmap>(bitmap, Kind::Bitmap);
    if (!src)
        return nullptr;
    auto copy = std::make_shared<Bitmap>();
    copy->width = src->width;
    copy->height = src->height;
    copy->bitsPerPixel = src->bitsPerPixel;
    copy->image = TopDown(*src);
    auto b = std::make_shared<Brush>();
    b->style = BS_PATTERN;
    b->pattern = copy;
    return reinterpret_cast<HBRUSH>(Register(b));
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* brush)
{
    if (!brush)
        return nullptr;
    switch (brush->lbStyle)
    {
    case BS_NULL:
        return reinterpret_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    case BS_HATCHED:
        return CreateHatchBrush(static_cast<int>(brush->lbHatch), brush->lbColor);
    case BS_PATTERN:
        return CreatePatternBrush(reinterpret_cast<HBITMAP>(brush->lbHatch));
    default:
        return CreateSolidBrush(brush->lbColor);
    }
}

// ---------------------------------------------------------------------------------------------------------
// Bitmaps
// ---------------------------------------------------------------------------------------------------------

namespace
{
std::shared_ptr<Bitmap> NewDeviceBitmap(int width, int height, int bitsPerPixel)
{
    if (width <= 0 || height <= 0)
    {
        width = height = 1;
        bitsPerPixel = 1;
    }
    if (static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4 > kMaxBitmapBytes)
        return nullptr;
    auto b = std::make_shared<Bitmap>();
    b->width = width;
    b->height = height;
    b->bitsPerPixel = bitsPerPixel;
    b->image = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
    if (b->image.isNull())
        return nullptr;
    b->image.fill(Qt::black);
    b->stride = static_cast<int>(b->image.bytesPerLine());
    return b;
}
} // namespace

HBITMAP CreateCompatibleBitmap(HDC, int width, int height)
{
    auto b = NewDeviceBitmap(width, height, 32);
    if (!b)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return reinterpret_cast<HBITMAP>(Register(b));
}

HBITMAP CreateBitmap(int width, int height, UINT, UINT bitsPerPixel, const void* bits)
{
    if (bitsPerPixel != 1 && bitsPerPixel != 24 && bitsPerPixel != 32)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto b = NewDeviceBitmap(width, height, static_cast<int>(bitsPerPixel));
    if (!b)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (bits && width > 0 && height > 0)
    {
        const int stride = ((width * static_cast<int>(bitsPerPixel) + 15) / 16) * 2;
        for (int y = 0; y < height; ++y)
        {
            const BYTE* row = static_cast<const BYTE*>(bits) + static_cast<std::size_t>(y) * stride;
            auto* out = reinterpret_cast<QRgb*>(b->image.scanLine(y));
            for (int x = 0; x < width; ++x)
                out[x] = DibPixel(row, x, static_cast<int>(bitsPerPixel), nullptr, 0);
        }
    }
    return reinterpret_cast<HBITMAP>(Register(b));
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT, void** bitsOut, HANDLE, DWORD)
{
    if (bitsOut)
        *bitsOut = nullptr;
    if (!info)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const BITMAPINFOHEADER& h = info->bmiHeader;
    const int width = h.biWidth;
    const int height = std::abs(h.biHeight);
    const int bpp = h.biBitCount;
    bool formatOk = (bpp == 32 || bpp == 24) && h.biCompression == BI_RGB;
    if (bpp == 32 && h.biCompression == BI_BITFIELDS)
    {
        const auto* masks = reinterpret_cast<const DWORD*>(info->bmiColors);
        formatOk = masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF;
    }
    if (!formatOk || width <= 0 || height <= 0)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::size_t stride = ((static_cast<std::size_t>(width) * bpp + 31) / 32) * 4;
    if (stride * static_cast<std::size_t>(height) > kMaxBitmapBytes)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto b = std::make_shared<Bitmap>();
    b->width = width;
    b->height = height;
    b->bitsPerPixel = bpp;
    b->stride = static_cast<int>(stride);
    b->bottomUp = h.biHeight > 0;
    b->dibSection = true;
    b->bits = static_cast<BYTE*>(std::calloc(stride * static_cast<std::size_t>(height), 1));
    if (!b->bits)
    {
        b->dibSection = false;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    b->image = QImage(b->bits, width, height, static_cast<qsizetype>(stride),
                      bpp == 32 ? QImage::Format_ARGB32_Premultiplied : QImage::Format_BGR888);
    if (bitsOut)
        *bitsOut = b->bits;
    return reinterpret_cast<HBITMAP>(Register(b));
}

HBITMAP CreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                       const BITMAPINFO* info, UINT usage)
{
    if (!header)
        return nullptr;
    HBITMAP bitmap = CreateCompatibleBitmap(dc, header->biWidth, std::abs(header->biHeight));
    if (bitmap && (init & CBM_INIT) && bits && info)
        SetDIBits(dc, bitmap, 0, static_cast<UINT>(std::abs(header->biHeight)), bits, info, usage);
    return bitmap;
}

BOOL SetBitmapDimensionEx(HBITMAP bitmap, int width, int height, SIZE* old)
{
    auto b = LookupAs<Bitmap>(bitmap, Kind::Bitmap);
    if (!b)
        return FALSE;
    if (old)
        *old = b->dimension;
    b->dimension = SIZE{width, height};
    return TRUE;
}

BOOL GetBitmapDimensionEx(HBITMAP bitmap, SIZE* size)
{
    auto b = LookupAs<Bitmap>(bitmap, Kind::Bitmap);
    if (!b || !size)
        return FALSE;
    *size = b->dimension;
    return TRUE;
}

COLORREF GetPixel(HDC hdc, int x, int y)
{
    auto dc = LookupDc(hdc);
    Surface s;
    if (!dc || !SurfaceOf(*dc, s))
        return CLR_INVALID;
    const QPoint device = QPoint(x, y) + LogicalOffset(*dc);
    if (!QRect(0, 0, s.width, s.height).contains(device))
        return CLR_INVALID;
    const QImage one = ReadPixels(*dc, QRect(device, QSize(1, 1)));
    const QRgb p = one.pixel(0, 0);
    return RGB(static_cast<BYTE>(qRed(p)), static_cast<BYTE>(qGreen(p)), static_cast<BYTE>(qBlue(p)));
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color)
{
    const bool ok = Draw(hdc,
                         [&](QPainter& p, Dc&, Surface&)
                         {
                             p.setCompositionMode(QPainter::CompositionMode_Source);
                             p.fillRect(QRect(x, y, 1, 1), ColorOf(color));
                             return QRect(x, y, 1, 1);
                         });
    return ok ? (color & 0xFFFFFF) : CLR_INVALID;
}

// ---------------------------------------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------------------------------------

int FillRect(HDC hdc, LPCRECT rect, HBRUSH brush)
{
    auto b = BrushOf(brush);
    if (!rect || !b)
        return 0;
    if (rect->right <= rect->left || rect->bottom <= rect->top)
        return 1;
    return Draw(hdc,
                [&](QPainter& p, Dc& d, Surface&)
                {
                    const QRect r(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
                    p.fillRect(r, QBrushFor(*b, &d));
                    return r;
                })
               ? 1
               : 0;
}

int FrameRect(HDC hdc, LPCRECT rect, HBRUSH brush)
{
    auto b = BrushOf(brush);
    if (!rect || !b)
        return 0;
    if (rect->right <= rect->left || rect->bottom <= rect->top)
        return 1;
    return Draw(hdc,
                [&](QPainter& p, Dc& d, Surface&)
                {
                    const QRect r(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
                    const QBrush qb = QBrushFor(*b, &d);
                    p.fillRect(QRect(r.left(), r.top(), r.width(), 1), qb);
                    p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), qb);
                    p.fillRect(QRect(r.left(), r.top(), 1, r.height()), qb);
                    p.fillRect(QRect(r.right(), r.top(), 1, r.height()), qb);
                    return r;
                })
               ? 1
               : 0;
}

BOOL InvertRect(HDC hdc, LPCRECT rect)
{
    if (!rect)
        return FALSE;
    return PatBlt(hdc, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, DSTINVERT);
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom)
{
    return Draw(hdc,
                [&](QPainter& p, Dc& d, Surface&)
                {
                    const QRect r = Normal(left, top, right, bottom);
                    auto pen = d.state.pen;
                    auto brush = d.state.brush;
                    const bool noPen = !pen || pen->style == PS_NULL;
                    const QBrush qb = brush ? QBrushFor(*brush, &d) : QBrush(Qt::NoBrush);
                    if (noPen)
                    {
                        // Without a pen the filled area ends one pixel short on the right and at the bottom.
                        p.fillRect(r.adjusted(0, 0, -1, -1), qb);
                        return r;
                    }
                    const int w = std::max(pen->width, 1);
                    p.fillRect(r.adjusted(w, w, -w, -w), qb);
                    const QColor c = ColorOf(pen->dcPen ? d.state.dcPenColor : pen->color);
                    p.fillRect(QRect(r.left(), r.top(), r.width(), w), c);
                    p.fillRect(QRect(r.left(), r.top() + r.height() - w, r.width(), w), c);
                    p.fillRect(QRect(r.left(), r.top(), w, r.height()), c);
                    p.fillRect(QRect(r.left() + r.width() - w, r.top(), w, r.height()), c);
                    return r;
                })
               ? TRUE
               : FALSE;
}

namespace
{
BOOL Shape(HDC hdc, const QRect& bounds, const std::function<void(QPainter&)>& draw)
{
    return Draw(hdc,
                [&](QPainter& p, Dc& d, Surface&)
                {
                    auto pen = d.state.pen;
                    auto brush = d.state.brush;
                    p.setPen(pen ? QPenFor(*pen, d) : QPen(Qt::NoPen));
                    p.setBrush(brush ? QBrushFor(*brush, &d) : QBrush(Qt::NoBrush));
                    draw(p);
                    return bounds.adjusted(-2, -2, 2, 2);
                })
               ? TRUE
               : FALSE;
}
} // namespace

BOOL RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height)
{
    const QRect r = Normal(left, top, right, bottom);
    return Shape(
        hdc, r, [&](QPainter& p) { p.drawRoundedRect(r.adjusted(0, 0, -1, -1), width / 2.0, height / 2.0); });
}

BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom)
{
    const QRect r = Normal(left, top, right, bottom);
    return Shape(hdc, r, [&](QPainter& p) { p.drawEllipse(r.adjusted(0, 0, -1, -1)); });
}

BOOL Polygon(HDC hdc, const POINT* points, int count)
{
    if (!points || count < 2)
        return FALSE;
    QPolygon poly;
    for (int i = 0; i < count; ++i)
        poly << QPoint(points[i].x, points[i].y);
    return Shape(hdc, poly.boundingRect(), [&](QPainter& p) { p.drawPolygon(poly); });
}

BOOL Polyline(HDC hdc, const POINT* points, int count)
{
    if (!points || count < 2)
        return FALSE;
    QPolygon poly;
    for (int i = 0; i < count; ++i)
        poly << QPoint(points[i].x, points[i].y);
    return Shape(hdc, poly.boundingRect(),
                 [&](QPainter& p)
                 {
                     p.setBrush(Qt::NoBrush);
                     p.drawPolyline(poly);
                 });
}

BOOL DrawEdge(HDC hdc, LPRECT rect, UINT edge, UINT flags)
{
    if (!rect)
        return FALSE;
    const COLORREF light = GetSysColor(COLOR_3DLIGHT), hilight = GetSysColor(COLOR_BTNHIGHLIGHT);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW), dark = GetSysColor(COLOR_3DDKSHADOW);
    RECT r = *rect;
    auto line = [&](COLORREF topLeft, COLORREF bottomRight)
    {
        Draw(hdc,
             [&](QPainter& p, Dc&, Surface&)
             {
                 const QRect q(r.left, r.top, r.right - r.left, r.bottom - r.top);
                 if (flags & BF_TOP)
                     p.fillRect(QRect(q.left(), q.top(), q.width(), 1), ColorOf(topLeft));
                 if (flags & BF_LEFT)
                     p.fillRect(QRect(q.left(), q.top(), 1, q.height()), ColorOf(topLeft));
                 if (flags & BF_BOTTOM)
                     p.fillRect(QRect(q.left(), q.bottom(), q.width(), 1), ColorOf(bottomRight));
                 if (flags & BF_RIGHT)
                     p.fillRect(QRect(q.right(), q.top(), 1, q.height()), ColorOf(bottomRight));
                 return q;
             });
        InflateRect(&r, -1, -1);
    };
    if (edge & (BDR_RAISEDOUTER | BDR_SUNKENOUTER))
        line((edge & BDR_RAISEDOUTER) ? light : shadow, (edge & BDR_RAISEDOUTER) ? dark : hilight);
    if (edge & (BDR_RAISEDINNER | BDR_SUNKENINNER))
        line((edge & BDR_RAISEDINNER) ? hilight : dark, (edge & BDR_RAISEDINNER) ? shadow : light);
    if (flags & BF_ADJUST)
        *rect = r;
    return TRUE;
}

BOOL DrawFocusRect(HDC hdc, LPCRECT rect)
{
    if (!rect)
        return FALSE;
    return Draw(hdc,
                [&](QPainter& p, Dc&, Surface&)
                {
                    const QRect r(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
                    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
                    QPen pen(Qt::white);
                    pen.setStyle(Qt::DotLine);
                    pen.setCosmetic(true);
                    p.setPen(pen);
                    p.setBrush(Qt::NoBrush);
                    p.drawRect(r.adjusted(0, 0, -1, -1));
                    return r;
                })
               ? TRUE
               : FALSE;
}

BOOL PatBlt(HDC hdc, int x, int y, int width, int height, DWORD rop)
{
    const QRect r = Normal(x, y, x + width, y + height);
    if (rop == PATCOPY)
    {
        auto dc = LookupDc(hdc);
        if (!dc || !dc->state.brush)
            return FALSE;
        auto brush = dc->state.brush;
        return Draw(hdc,
                    [&](QPainter& p, Dc& d, Surface&)
                    {
                        p.setCompositionMode(QPainter::CompositionMode_Source);
                        p.fillRect(r, QBrushFor(*brush, &d));
                        return r;
                    })
                   ? TRUE
                   : FALSE;
    }
    return StretchInternal(hdc, r, nullptr, rop, false, false) ? TRUE : FALSE;
}

BOOL StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, int wSrc, int hSrc,
                DWORD rop)
{
    if (!NeedsSource(rop & ~(NOMIRRORBITMAP | CAPTUREBLT)))
        return PatBlt(dst, x, y, width, height, rop);
    auto s = LookupDc(src);
    if (!s)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const QRect from = Normal(xSrc, ySrc, xSrc + wSrc, ySrc + hSrc).translated(LogicalOffset(*s));
    QImage pixels = ReadPixels(*s, from);
    if (auto d = LookupDc(dst))
        ConvertDepth(*s, *d, pixels);
    const bool mirrorX = (width < 0) != (wSrc < 0);
    const bool mirrorY = (height < 0) != (hSrc < 0);
    return StretchInternal(dst, Normal(x, y, x + width, y + height), &pixels, rop, mirrorX, mirrorY) ? TRUE
                                                                                                     : FALSE;
}

BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, DWORD rop)
{
    return StretchBlt(dst, x, y, width, height, src, xSrc, ySrc, width, height, rop);
}

BOOL AlphaBlend(HDC dst, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, int wSrc, int hSrc,
                BLENDFUNCTION blend)
{
    auto s = LookupDc(src);
    if (!s || width < 0 || height < 0 || wSrc < 0 || hSrc < 0 || blend.BlendOp != AC_SRC_OVER)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    QImage pixels = ReadPixels(*s, QRect(xSrc, ySrc, wSrc, hSrc).translated(LogicalOffset(*s)));
    if (!(blend.AlphaFormat & AC_SRC_ALPHA))
        for (int yy = 0; yy < pixels.height(); ++yy)
        {
            auto* row = reinterpret_cast<QRgb*>(pixels.scanLine(yy));
            for (int xx = 0; xx < pixels.width(); ++xx)
                row[xx] |= 0xFF000000u;
        }
    const QRect target(x, y, width, height);
    return Draw(dst,
                [&](QPainter& p, Dc& d, Surface&)
                {
                    KeepOrientation(d, pixels);
                    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
                    p.setOpacity(blend.SourceConstantAlpha / 255.0);
                    p.drawImage(target, pixels);
                    return target;
                })
               ? TRUE
               : FALSE;
}

BOOL TransparentBlt(HDC dst, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, int wSrc,
                    int hSrc, UINT transparent)
{
    auto s = LookupDc(src);
    if (!s || width < 0 || height < 0 || wSrc < 0 || hSrc < 0)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    QImage pixels = ReadPixels(*s, QRect(xSrc, ySrc, wSrc, hSrc).translated(LogicalOffset(*s)));
    const QRgb key = qRgb(GetRValue(transparent), GetGValue(transparent), GetBValue(transparent)) & 0xFFFFFF;
    for (int yy = 0; yy < pixels.height(); ++yy)
    {
        auto* row = reinterpret_cast<QRgb*>(pixels.scanLine(yy));
        for (int xx = 0; xx < pixels.width(); ++xx)
            row[xx] = (row[xx] & 0xFFFFFF) == key ? 0 : (row[xx] | 0xFF000000u);
    }
    const QRect target(x, y, width, height);
    return Draw(dst,
                [&](QPainter& p, Dc& d, Surface&)
                {
                    KeepOrientation(d, pixels);
                    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
                    p.drawImage(target, pixels);
                    return target;
                })
               ? TRUE
               : FALSE;
}

BOOL GradientFill(HDC hdc, TRIVERTEX* vertices, ULONG count, PVOID mesh, ULONG meshCount, ULONG mode)
{
    if (!vertices || !mesh || (mode != GRADIENT_FILL_RECT_H && mode != GRADIENT_FILL_RECT_V))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto* rects = static_cast<const GRADIENT_RECT*>(mesh);
    for (ULONG i = 0; i < meshCount; ++i)
    {
        if (rects[i].UpperLeft >= count || rects[i].LowerRight >= count)
            return FALSE;
        const TRIVERTEX& a = vertices[rects[i].UpperLeft];
        const TRIVERTEX& b = vertices[rects[i].LowerRight];
        const QRect r = Normal(a.x, a.y, b.x, b.y);
        const bool horizontal = mode == GRADIENT_FILL_RECT_H;
        const TRIVERTEX& first = (horizontal ? a.x <= b.x : a.y <= b.y) ? a : b;
        const TRIVERTEX& last = &first == &a ? b : a;
        Draw(hdc,
             [&](QPainter& p, Dc&, Surface&)
             {
                 const int steps = horizontal ? r.width() : r.height();
                 for (int k = 0; k < steps; ++k)
                 {
                     auto mix = [&](COLOR16 c0, COLOR16 c1) {
                         return static_cast<int>(
                             (c0 + (static_cast<long long>(c1) - c0) * k / std::max(steps, 1)) >> 8);
                     };
                     const QColor c(mix(first.Red, last.Red), mix(first.Green, last.Green),
                                    mix(first.Blue, last.Blue));
                     if (horizontal)
                         p.fillRect(QRect(r.left() + k, r.top(), 1, r.height()), c);
                     else
                         p.fillRect(QRect(r.left(), r.top() + k, r.width(), 1), c);
                 }
                 return r;
             });
    }
    return TRUE;
}

// ---------------------------------------------------------------------------------------------------------
// Regions
// ---------------------------------------------------------------------------------------------------------

HRGN CreateRectRgn(int left, int top, int right, int bottom)
{
    return CreateRegionHandle(QRegion(Normal(left, top, right, bottom)));
}

HRGN CreateRectRgnIndirect(LPCRECT rect)
{
    if (!rect)
        return nullptr;
    return CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom);
}

HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int width, int height)
{
    const QRect r = Normal(left, top, right, bottom);
    QPainterPath path;
    path.addRoundedRect(QRectF(r), width / 2.0, height / 2.0);
    return CreateRegionHandle(QRegion(path.toFillPolygon().toPolygon()));
}

HRGN CreateEllipticRgn(int left, int top, int right, int bottom)
{
    return CreateRegionHandle(QRegion(Normal(left, top, right, bottom), QRegion::Ellipse));
}

HRGN CreatePolygonRgn(const POINT* points, int count, int fillMode)
{
    if (!points || count < 3)
        return nullptr;
    QPolygon poly;
    for (int i = 0; i < count; ++i)
        poly << QPoint(points[i].x, points[i].y);
    return CreateRegionHandle(QRegion(poly, fillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill));
}

int CombineRgn(HRGN dst, HRGN a, HRGN b, int mode)
{
    bool okA = true, okB = true, okDst = true;
    RegionOf(dst, &okDst);
    const QRegion ra = RegionOf(a, &okA);
    const QRegion rb = mode == RGN_COPY ? QRegion() : RegionOf(b, &okB);
    if (!okDst || !okA || !okB)
        return ERROR;
    QRegion r;
    switch (mode)
    {
    case RGN_AND:
        r = ra & rb;
        break;
    case RGN_OR:
        r = ra | rb;
        break;
    case RGN_XOR:
        r = ra ^ rb;
        break;
    case RGN_DIFF:
        r = ra - rb;
        break;
    case RGN_COPY:
        r = ra;
        break;
    default:
        return ERROR;
    }
    SetRegionOf(dst, r);
    return RegionType(r);
}

int OffsetRgn(HRGN region, int dx, int dy)
{
    bool ok = true;
    const QRegion r = RegionOf(region, &ok);
    if (!ok)
        return ERROR;
    SetRegionOf(region, r.translated(dx, dy));
    return RegionType(r);
}

BOOL SetRectRgn(HRGN region, int left, int top, int right, int bottom)
{
    bool ok = true;
    RegionOf(region, &ok);
    if (!ok)
        return FALSE;
    SetRegionOf(region, QRegion(Normal(left, top, right, bottom)));
    return TRUE;
}

BOOL PtInRegion(HRGN region, int x, int y)
{
    return RegionOf(region).contains(QPoint(x, y)) ? TRUE : FALSE;
}

BOOL RectInRegion(HRGN region, LPCRECT rect)
{
    if (!rect)
        return FALSE;
    return RegionOf(region).intersects(Normal(rect->left, rect->top, rect->right, rect->bottom)) ? TRUE
                                                                                                 : FALSE;
}

int GetRgnBox(HRGN region, LPRECT rect)
{
    bool ok = true;
    const QRegion r = RegionOf(region, &ok);
    if (!ok || !rect)
        return ERROR;
    const QRect box = r.boundingRect();
    *rect = RECT{box.left(), box.top(), box.left() + box.width(), box.top() + box.height()};
    return RegionType(r);
}

BOOL EqualRgn(HRGN a, HRGN b)
{
    bool okA = true, okB = true;
    const QRegion ra = RegionOf(a, &okA);
    const QRegion rb = RegionOf(b, &okB);
    return okA && okB && ra == rb ? TRUE : FALSE;
}

BOOL FillRgn(HDC hdc, HRGN region, HBRUSH brush)
{
    auto b = BrushOf(brush);
    bool ok = true;
    const QRegion r = RegionOf(region, &ok);
    if (!b || !ok)
        return FALSE;
    return Draw(hdc,
                [&](QPainter& p, Dc& d, Surface&)
                {
                    const QBrush qb = QBrushFor(*b, &d);
                    for (const QRect& rect : r)
                        p.fillRect(rect, qb);
                    return r.boundingRect();
                })
               ? TRUE
               : FALSE;
}

BOOL PaintRgn(HDC hdc, HRGN region)
{
    auto dc = LookupDc(hdc);
    if (!dc || !dc->state.brush)
        return FALSE;
    return FillRgn(hdc, region, reinterpret_cast<HBRUSH>(dc->state.brush->handle));
}

BOOL FrameRgn(HDC hdc, HRGN region, HBRUSH brush, int width, int height)
{
    auto b = BrushOf(brush);
    bool ok = true;
    const QRegion r = RegionOf(region, &ok);
    if (!b || !ok)
        return FALSE;
    // The frame is the region minus the region shrunk by the frame's width and height.
    QRegion inner = r;
    inner &= r.translated(width, 0);
    inner &= r.translated(-width, 0);
    inner &= r.translated(0, height);
    inner &= r.translated(0, -height);
    const QRegion frame = r - inner;
    return Draw(hdc,
                [&](QPainter& p, Dc& d, Surface&)
                {
                    const QBrush qb = QBrushFor(*b, &d);
                    for (const QRect& rect : frame)
                        p.fillRect(rect, qb);
                    return r.boundingRect();
                })
               ? TRUE
               : FALSE;
}
