#pragma once

// Internal to platform_window: GDI objects and device contexts over QImage surfaces.

#include "platform/window/WinGdi.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRegion>

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

namespace platform::gdi::detail
{
/// The most pixel memory one bitmap may take.
inline constexpr std::size_t kMaxBitmapBytes = std::size_t{1} << 30;

enum class Kind
{
    Pen,
    Brush,
    Font,
    Bitmap,
    Region,
    Dc
};

struct Object
{
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    Kind kind;
    bool stock = false;
    HGDIOBJ handle = nullptr;
};

struct Pen final : Object
{
    Pen() : Object(Kind::Pen) {}
    int style = PS_SOLID;
    int width = 1;
    COLORREF color = 0;
    bool dcPen = false;
};

struct Bitmap;

struct Brush final : Object
{
    Brush() : Object(Kind::Brush) {}
    UINT style = BS_SOLID;
    COLORREF color = 0;
    int hatch = 0;
    int sysColor = -1; // a system colour brush follows the colour
    bool dcBrush = false;
    std::shared_ptr<Bitmap> pattern;
};

struct Font final : Object
{
    Font() : Object(Kind::Font) {}
    LOGFONTA lf{};
    QFont qfont;
};

/// Pixels in the memory layout of a Windows bitmap. `image` wraps the same memory row by row (memory row
/// 0 first), so a bottom-up bitmap is drawn through a flipped painter.
struct Bitmap final : Object
{
    Bitmap() : Object(Kind::Bitmap) {}
    ~Bitmap() override;
    int width = 0;
    int height = 0;
    int bitsPerPixel = 32;
    int stride = 0;
    bool bottomUp = false;
    bool dibSection = false;
    BYTE* bits = nullptr;
    QImage image;
    SIZE dimension{};
    HDC selectedInto = nullptr;
};

struct Region final : Object
{
    Region() : Object(Kind::Region) {}
    QRegion region;
};

struct DcState
{
    std::shared_ptr<Pen> pen;
    std::shared_ptr<Brush> brush;
    std::shared_ptr<Font> font;
    COLORREF textColor = 0;
    COLORREF bkColor = 0xFFFFFF;
    int bkMode = OPAQUE;
    UINT textAlign = 0;
    int rop2 = R2_COPYPEN;
    int stretchMode = BLACKONWHITE;
    DWORD layout = 0;
    POINT position{};
    POINT viewportOrg{};
    POINT windowOrg{};
    std::optional<QRegion> clip; // device coordinates
    COLORREF dcBrushColor = 0xFFFFFF;
    COLORREF dcPenColor = 0;
};

enum class DcKind
{
    Memory,
    Client, // GetDC
    Window, // GetWindowDC
    Paint,  // BeginPaint
    Screen  // GetDC(NULL)
};

struct Dc final : Object
{
    Dc() : Object(Kind::Dc) {}
    DcKind dcKind = DcKind::Memory;
    HWND hwnd = nullptr;
    std::shared_ptr<Bitmap> bitmap; // memory DCs
    QRegion paintArea;              // device coordinates; Paint DCs only
    DcState state;
    std::vector<DcState> saved;
};

/// A surface prepared for one drawing operation: the image, how device coordinates map into it, and the
/// area the DC may touch (device coordinates).
struct Surface
{
    QImage* image = nullptr;
    bool flipped = false;
    bool mirrored = false; // LAYOUT_RTL: device x counts from the right edge, x -> width - x
    QPoint origin;         // device (0,0) in image coordinates, before flipping and mirroring
    QRegion area;          // device coordinates
    int width = 0;
    int height = 0;
};

std::shared_ptr<Object> Lookup(HGDIOBJ h);
template <class T> std::shared_ptr<T> LookupAs(HGDIOBJ h, Kind k)
{
    auto o = Lookup(h);
    return o && o->kind == k ? std::static_pointer_cast<T>(o) : nullptr;
}
std::shared_ptr<Dc> LookupDc(HDC dc);
HGDIOBJ Register(std::shared_ptr<Object> object);
std::shared_ptr<Brush> BrushOf(HBRUSH brush); // system colour indices (COLOR_x + 1) included
QFont QFontFor(const LOGFONTA& lf);
QColor ColorOf(COLORREF c);

/// Surface of a DC for one operation; false when the DC no longer has one (its window is gone).
bool SurfaceOf(const Dc& dc, Surface& s);
/// How device coordinates of the surface map onto its image.
QTransform DeviceTransform(const Surface& s);
/// Begins a painter on the surface with the DC's transform and clip; drawing uses logical coordinates.
void BeginPainter(QPainter& p, const Dc& dc, const Surface& s);
/// Pixels about to be drawn into a right-to-left DC that keeps bitmaps as they are
/// (LAYOUT_BITMAPORIENTATIONPRESERVED, or NOMIRRORBITMAP in `rop`) are flipped first, so that the DC's own
/// flip leaves them the right way round.
void KeepOrientation(const Dc& dc, QImage& pixels, DWORD rop = 0);
/// Whether KeepOrientation flips for this DC and `rop`.
bool KeepsOrientation(const Dc& dc, DWORD rop);
/// The effective clip in device coordinates.
QRegion DeviceClip(const Dc& dc, const Surface& s);
/// Tells the window of a window DC that its buffer changed in `deviceArea`.
void Touched(const Dc& dc, const QRegion& deviceArea);
/// Top-down copy of the pixels of the DC's surface in device rectangle `r` (ARGB32 premultiplied).
QImage ReadPixels(const Dc& dc, const QRect& r);

/// Window DCs, made by the window layer.
HDC CreateWindowDc(HWND hwnd, DcKind kind, const QRegion& paintArea);
void ReleaseWindowDcs(HWND hwnd);
HRGN CreateRegionHandle(const QRegion& r);
QRegion RegionOf(HRGN h, bool* ok = nullptr);
void SetRegionOf(HRGN h, const QRegion& r);
/// Pixels of a bitmap as a top-down premultiplied image (a copy for bottom-up or 24-bit bitmaps).
QImage TopDown(const Bitmap& b);

/// The rectangle between two corners given in any order.
QRect Normal(int l, int t, int r, int b);
/// Draws `sourcePixels` (top-down; null for operations without a source), or only its rectangle `part`,
/// into logical rectangle `dstRect` of the DC with raster operation `rop`, mirrored as asked and scaled to
/// fit; false when the DC is unusable. A plain copy of a part that needs no scaling, or that is scaled in
/// HALFTONE mode, is drawn straight from `sourcePixels` by the painter, without copying them first.
bool StretchInternal(HDC hdst, QRect dstRect, const QImage* sourcePixels, DWORD rop, bool mirrorX,
                     bool mirrorY, const QRect* part = nullptr);
/// Reads one pixel of a packed DIB row in its own format; palette formats go through the colour table.
QRgb DibPixel(const BYTE* row, int x, int bits, const RGBQUAD* palette, int paletteSize);
} // namespace platform::gdi::detail
