// GDI+ over QImage: decoding by Qt's image readers, drawing through a premultiplied DIB section and
// AlphaBlend, so the images land on any DC of the window layer.

#include "platform/gdiplus/GdiPlus.h"

#include <QByteArray>
#include <QImage>

#include <cstring>

namespace Gdiplus
{
struct Bitmap::Impl
{
    QImage image; // ARGB32, not premultiplied
};

namespace
{
/// A bottom-up 32-bit DIB section holding `image` premultiplied, as AlphaBlend with AC_SRC_ALPHA wants it.
HBITMAP MakeDib(const QImage& image)
{
    const QImage pre = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    BITMAPINFO info = Dib32Info(pre.width(), pre.height());
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib || !bits)
        return nullptr;
    const int stride = pre.width() * 4;
    for (int y = 0; y < pre.height(); ++y)
        std::memcpy(static_cast<BYTE*>(bits) + static_cast<std::size_t>(pre.height() - 1 - y) * stride,
                    pre.constScanLine(y), static_cast<std::size_t>(stride));
    return dib;
}
} // namespace

Bitmap::Bitmap(const void* data, std::size_t size) : m_impl(std::make_unique<Impl>())
{
    if (!data || size == 0 || size > static_cast<std::size_t>(INT32_MAX))
    {
        m_status = InvalidParameter;
        return;
    }
    QImage image;
    if (!image.loadFromData(static_cast<const uchar*>(data), static_cast<int>(size)) || image.isNull())
    {
        m_status = UnknownImageFormat;
        return;
    }
    m_impl->image = image.convertToFormat(QImage::Format_ARGB32);
}

Bitmap::Bitmap() : m_impl(std::make_unique<Impl>()) {}

Bitmap::~Bitmap() = default;

Bitmap* Bitmap::GetThumbnailImage(UINT width, UINT height) const
{
    if (m_status != Ok || width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX)
        return nullptr;
    auto* thumbnail = new Bitmap();
    thumbnail->m_impl->image = m_impl->image.scaled(static_cast<int>(width), static_cast<int>(height),
                                                    Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return thumbnail;
}

UINT Bitmap::GetWidth() const
{
    return m_status == Ok ? static_cast<UINT>(m_impl->image.width()) : 0;
}

UINT Bitmap::GetHeight() const
{
    return m_status == Ok ? static_cast<UINT>(m_impl->image.height()) : 0;
}

Status Bitmap::GetPixel(int x, int y, Color* color) const
{
    if (m_status != Ok)
        return WrongState;
    if (!color || x < 0 || y < 0 || x >= m_impl->image.width() || y >= m_impl->image.height())
        return InvalidParameter;
    color->SetValue(m_impl->image.pixel(x, y));
    return Ok;
}

Status Bitmap::GetHBITMAP(const Color& background, HBITMAP* bitmap) const
{
    if (!bitmap)
        return InvalidParameter;
    *bitmap = nullptr;
    if (m_status != Ok)
        return WrongState;
    QImage composed(m_impl->image.size(), QImage::Format_ARGB32);
    const QRgb back = background.GetValue();
    const int ba = qAlpha(back);
    for (int y = 0; y < composed.height(); ++y)
    {
        const auto* src = reinterpret_cast<const QRgb*>(m_impl->image.constScanLine(y));
        auto* dst = reinterpret_cast<QRgb*>(composed.scanLine(y));
        for (int x = 0; x < composed.width(); ++x)
        {
            const int a = qAlpha(src[x]);
            auto mix = [&](int s, int b) { return (s * a + b * (255 - a) + 127) / 255; };
            dst[x] = qRgba(mix(qRed(src[x]), qRed(back)), mix(qGreen(src[x]), qGreen(back)),
                           mix(qBlue(src[x]), qBlue(back)), a + (ba * (255 - a) + 127) / 255);
        }
    }
    *bitmap = MakeDib(composed);
    return *bitmap ? Ok : OutOfMemory;
}

Status Graphics::SetPageUnit(Unit unit)
{
    // The kit only ever draws in pixels; other units are not offered.
    return m_status = unit == UnitPixel || unit == UnitDisplay ? Ok : NotImplemented;
}

Status Graphics::SetPageScale(REAL scale)
{
    return m_status = scale == 1.0f ? Ok : NotImplemented;
}

Status Graphics::SetSmoothingMode(SmoothingMode)
{
    return m_status = Ok;
}

Status Graphics::DrawImage(Bitmap* image, int x, int y)
{
    if (!image || image->GetLastStatus() != Ok)
        return m_status = InvalidParameter;
    return DrawImage(image, x, y, static_cast<int>(image->GetWidth()), static_cast<int>(image->GetHeight()));
}

Status Graphics::DrawImage(Bitmap* image, int x, int y, int width, int height)
{
    if (!image || image->GetLastStatus() != Ok || !m_dc)
        return m_status = InvalidParameter;
    if (width == 0 || height == 0)
        return m_status = Ok;
    QImage picture = image->m_impl->image;
    if (width < 0 || height < 0)
        picture = picture.mirrored(width < 0, height < 0);
    if (width < 0)
    {
        x += width;
        width = -width;
    }
    if (height < 0)
    {
        y += height;
        height = -height;
    }
    HBITMAP dib = MakeDib(picture);
    if (!dib)
        return m_status = OutOfMemory;
    HDC source = CreateCompatibleDC(m_dc);
    HGDIOBJ old = SelectObject(source, dib);
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    const BOOL done =
        AlphaBlend(m_dc, x, y, width, height, source, 0, 0, picture.width(), picture.height(), blend);
    SelectObject(source, old);
    DeleteDC(source);
    DeleteObject(dib);
    return m_status = done ? Ok : GenericError;
}

Status GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput*, void*)
{
    if (!token)
        return InvalidParameter;
    *token = 1;
    return Ok;
}

void GdiplusShutdown(ULONG_PTR) {}
} // namespace Gdiplus
