#pragma once

// Drawing helpers for the tests of the window, image-list and picture layers: bitmaps to draw with, a
// surface to draw into, and read-back of what windows paint. Header-only: include it from tests that link
// the window layer and Qt.

#include "platform/window/Extras.h"
#include "platform/window/QtHost.h"
#include "platform/window/WinGdi.h"
#include "platform/window/WinUser.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QPainter>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace testing_support
{
/// A top-down 32-bit DIB section of `width` x `height`; its pixels (BGRA) through `bits`.
inline HBITMAP TopDownBitmap(int width, int height, void** bits)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

/// A 32-bit bitmap of `width` x `height` filled with one colour (alpha 255).
inline HBITMAP SolidBitmap(int width, int height, COLORREF color)
{
    void* bits = nullptr;
    HBITMAP bitmap = TopDownBitmap(width, height, &bits);
    auto* p = static_cast<uint32_t*>(bits);
    for (int i = 0; i < width * height; ++i)
        p[i] = 0xFF000000u | (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
    return bitmap;
}

/// A top-down 32-bit surface with a DC, filled with one colour, to render into and read back.
class Canvas
{
public:
    Canvas(int width, int height, COLORREF fill)
    {
        m_bitmap = SolidBitmap(width, height, fill);
        m_dc = CreateCompatibleDC(nullptr);
        m_old = SelectObject(m_dc, m_bitmap);
    }
    ~Canvas()
    {
        SelectObject(m_dc, m_old);
        DeleteDC(m_dc);
        DeleteObject(m_bitmap);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    HDC dc() const { return m_dc; }
    COLORREF at(int x, int y) const { return GetPixel(m_dc, x, y) & 0xFFFFFF; }

private:
    HBITMAP m_bitmap = nullptr;
    HDC m_dc = nullptr;
    HGDIOBJ m_old = nullptr;
};

/// Delivers the messages posted so far, and those they post in turn.
inline void Pump()
{
    for (int i = 0; i < 5; ++i)
        platform::window::PumpPendingMessages();
}

/// The window's client pixels after every pending paint.
inline QImage Grab(HWND hwnd)
{
    UpdateWindow(hwnd);
    Pump();
    return platform::window::ClientImage(hwnd);
}

/// One pixel of a grabbed image as a COLORREF.
inline COLORREF Pixel(const QImage& image, int x, int y)
{
    const QRgb p = image.pixel(x, y);
    return RGB(qRed(p), qGreen(p), qBlue(p));
}

/// Whether every channel of the two colours differs by `tolerance` at most.
inline bool Near(COLORREF a, COLORREF b, int tolerance)
{
    for (int shift : {0, 8, 16})
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) >
            tolerance)
            return false;
    return true;
}

/// An image of `width` x `height`: the top half red, the bottom half blue.
inline QImage TwoBands(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(QColor(255, 0, 0));
    QPainter(&image).fillRect(0, height / 2, width, height - height / 2, QColor(0, 0, 255));
    return image;
}

/// The image encoded by Qt in `format` ("PNG", "JPG", "BMP"...).
inline std::vector<std::uint8_t> Encoded(const QImage& image, const char* format)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return std::vector<std::uint8_t>(data.begin(), data.end());
}
} // namespace testing_support
