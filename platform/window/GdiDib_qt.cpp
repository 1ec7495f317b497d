// Device-independent bitmaps: their bits read into and written from bitmaps, and drawn onto device
// contexts.

#include "platform/win/LastError.h"
#include "platform/window/GdiInternal.h"

#include <algorithm>
#include <cstdlib>

namespace platform::gdi::detail
{
/// Reads one pixel of a packed DIB row in its own format; palette formats go through the colour table.
QRgb DibPixel(const BYTE* row, int x, int bits, const RGBQUAD* palette, int paletteSize)
{
    switch (bits)
    {
    case 32:
        return qRgba(row[x * 4 + 2], row[x * 4 + 1], row[x * 4], row[x * 4 + 3]);
    case 24:
        return qRgb(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
    case 16:
    {
        const int v = row[x * 2] | (row[x * 2 + 1] << 8);
        return qRgb(((v >> 10) & 31) * 255 / 31, ((v >> 5) & 31) * 255 / 31, (v & 31) * 255 / 31);
    }
    case 8:
    case 4:
    case 1:
    {
        int index = 0;
        if (bits == 8)
            index = row[x];
        else if (bits == 4)
            index = (row[x / 2] >> ((1 - x % 2) * 4)) & 15;
        else
            index = (row[x / 8] >> (7 - x % 8)) & 1;
        if (!palette || index >= paletteSize)
            return bits == 1 ? (index ? qRgb(255, 255, 255) : qRgb(0, 0, 0)) : qRgb(0, 0, 0);
        return qRgb(palette[index].rgbRed, palette[index].rgbGreen, palette[index].rgbBlue);
    }
    default:
        return 0;
    }
}
} // namespace platform::gdi::detail

using namespace platform::gdi::detail;

namespace
{
/// A packed DIB (header, colours, bits) as a top-down image; 32-bit pixels keep their alpha byte as it is,
/// premultiplied as a DIB section's are.
QImage ImageFromDib(const BITMAPINFO* info, const void* bits)
{
    if (!info || !bits)
        return QImage();
    const BITMAPINFOHEADER& h = info->bmiHeader;
    const int width = h.biWidth;
    const int height = std::abs(h.biHeight);
    const int bpp = h.biBitCount;
    if (width <= 0 || height <= 0 || (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS))
        return QImage();
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return QImage();
    if (static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4 > kMaxBitmapBytes)
        return QImage();
    const int stride = ((width * bpp + 31) / 32) * 4;
    const int paletteSize = bpp <= 8 ? (h.biClrUsed ? static_cast<int>(h.biClrUsed) : (1 << bpp)) : 0;
    QImage img(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y)
    {
        const int memoryRow = h.biHeight > 0 ? height - 1 - y : y;
        const BYTE* row = static_cast<const BYTE*>(bits) + static_cast<std::size_t>(memoryRow) * stride;
        auto* out = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < width; ++x)
            out[x] = DibPixel(row, x, bpp, info->bmiColors, paletteSize);
    }
    return img;
}

/// The pixels of a 32-bit or 24-bit DIB where they lie, read as ImageFromDib reads them (32-bit as
/// premultiplied BGRA, 24-bit as BGR); rows in memory order, so a bottom-up DIB's bottom row comes first.
/// Null for other depths. The image borrows `bits`.
QImage WrapDib(const BITMAPINFO* info, const void* bits)
{
    const BITMAPINFOHEADER& h = info->bmiHeader;
    const int width = h.biWidth;
    const int height = std::abs(h.biHeight);
    const int bpp = h.biBitCount;
    if (width <= 0 || height <= 0 || (bpp != 32 && bpp != 24) ||
        (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS) ||
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4 > kMaxBitmapBytes)
        return QImage();
    const int stride = ((width * bpp + 31) / 32) * 4;
    return QImage(static_cast<const uchar*>(bits), width, height, stride,
                  bpp == 32 ? QImage::Format_ARGB32_Premultiplied : QImage::Format_BGR888);
}
} // namespace

int GetDIBits(HDC, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, LPBITMAPINFO info, UINT)
{
    auto b = LookupAs<Bitmap>(bitmap, Kind::Bitmap);
    if (!b || !info)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    BITMAPINFOHEADER& h = info->bmiHeader;
    if (!bits)
    {
        const int bpp = b->bitsPerPixel == 24 ? 24 : 32;
        h.biWidth = b->width;
        h.biHeight = b->height;
        h.biPlanes = 1;
        h.biBitCount = static_cast<WORD>(bpp);
        h.biCompression = BI_RGB;
        h.biSizeImage = static_cast<DWORD>(((b->width * bpp + 31) / 32) * 4 * b->height);
        return 1;
    }
    const int bpp = h.biBitCount;
    if ((bpp != 32 && bpp != 24) || h.biWidth != b->width)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const QImage picture = TopDown(*b);
    const int height = b->height;
    const int stride = ((b->width * bpp + 31) / 32) * 4;
    const bool bottomUp = h.biHeight > 0;
    int copied = 0;
    for (UINT i = start; i < start + lines && static_cast<int>(i) < height; ++i)
    {
        // Scan line i counts from the bottom in a bottom-up layout.
        const int y = bottomUp ? height - 1 - static_cast<int>(i) : static_cast<int>(i);
        auto* row = static_cast<BYTE*>(bits) + static_cast<std::size_t>(i - start) * stride;
        const auto* in = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        for (int x = 0; x < b->width; ++x)
        {
            const QRgb p = in[x];
            if (bpp == 32)
            {
                row[x * 4] = static_cast<BYTE>(qBlue(p));
                row[x * 4 + 1] = static_cast<BYTE>(qGreen(p));
                row[x * 4 + 2] = static_cast<BYTE>(qRed(p));
                row[x * 4 + 3] = static_cast<BYTE>(qAlpha(p));
            }
            else
            {
                row[x * 3] = static_cast<BYTE>(qBlue(p));
                row[x * 3 + 1] = static_cast<BYTE>(qGreen(p));
                row[x * 3 + 2] = static_cast<BYTE>(qRed(p));
            }
        }
        ++copied;
    }
    return copied;
}

int SetDIBits(HDC, HBITMAP bitmap, UINT start, UINT lines, const void* bits, const BITMAPINFO* info, UINT)
{
    auto b = LookupAs<Bitmap>(bitmap, Kind::Bitmap);
    if (!b || !info || !bits)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const QImage source = ImageFromDib(info, bits);
    if (source.isNull())
        return 0;
    const int height = std::abs(info->bmiHeader.biHeight);
    const bool bottomUp = info->bmiHeader.biHeight > 0;
    QPainter p(&b->image);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    if (b->bottomUp)
        p.setTransform(QTransform(1, 0, 0, -1, 0, b->image.height()));
    int copied = 0;
    for (UINT i = start; i < start + lines && static_cast<int>(i) < height; ++i)
    {
        const int y = bottomUp ? height - 1 - static_cast<int>(i) : static_cast<int>(i);
        if (y >= b->height)
            continue;
        p.drawImage(QPoint(0, y), source, QRect(0, y, std::min(source.width(), b->width), 1));
        ++copied;
    }
    return copied;
}

int StretchDIBits(HDC dc, int xDst, int yDst, int wDst, int hDst, int xSrc, int ySrc, int wSrc, int hSrc,
                  const void* bits, const BITMAPINFO* info, UINT, DWORD rop)
{
    if (!info || !bits)
        return 0;
    const QRect from = QRect(xSrc, ySrc, std::abs(wSrc), std::abs(hSrc));
    const bool bottomUp = info->bmiHeader.biHeight > 0;
    const bool mirrorX = (wDst < 0) != (wSrc < 0);
    bool mirrorY = (hDst < 0) != (hSrc < 0);
    QRect picked = from;
    // A frame in the painter's own layout is drawn from where it lies, without converting or copying it.
    // Source coordinates of a bottom-up DIB count from its lower left corner, as its rows lie in memory;
    // its picture is the memory's rows upside down.
    QImage source = WrapDib(info, bits);
    if (source.isNull())
    {
        source = ImageFromDib(info, bits);
        if (source.isNull())
            return 0;
        if (bottomUp)
            picked.moveTop(source.height() - from.top() - from.height());
    }
    else if (bottomUp)
        mirrorY = !mirrorY;
    return StretchInternal(dc, Normal(xDst, yDst, xDst + wDst, yDst + hDst), &source, rop, mirrorX, mirrorY,
                           &picked)
               ? std::abs(hSrc)
               : 0;
}

int SetDIBitsToDevice(HDC dc, int xDst, int yDst, DWORD w, DWORD h, int xSrc, int ySrc, UINT, UINT,
                      const void* bits, const BITMAPINFO* info, UINT usage)
{
    return StretchDIBits(dc, xDst, yDst, static_cast<int>(w), static_cast<int>(h), xSrc, ySrc,
                         static_cast<int>(w), static_cast<int>(h), bits, info, usage, SRCCOPY);
}
