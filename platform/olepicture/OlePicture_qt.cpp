// The picture object over QImage: decoding by Qt's image readers, drawing through a premultiplied DIB
// section and AlphaBlend, so pictures land on any DC of the window layer.

#include "platform/olepicture/OlePicture.h"
#include "platform/window/WinGdi.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>

namespace
{
// Pictures larger than this on either side, or in all (128 MB of pixels), are refused before anything is
// allocated for them.
constexpr int kMaxSide = 16384;
constexpr long long kMaxPixels = 1LL << 25;

bool TooLarge(const QSize& size)
{
    return size.width() > kMaxSide || size.height() > kMaxSide ||
           static_cast<long long>(size.width()) * size.height() > kMaxPixels;
}

/// The rectangle of a GIF's first image on its logical screen, found by walking the blocks; nothing for
/// data that ends or goes astray before an image descriptor.
std::optional<QRect> FirstGifImage(const QByteArray& data)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    const std::size_t size = static_cast<std::size_t>(data.size());
    if (size < 13)
        return std::nullopt;
    std::size_t at = 13;
    if (bytes[10] & 0x80)
        at += 3u * (1u << ((bytes[10] & 7) + 1));
    auto skipSubBlocks = [&](std::size_t& pos)
    {
        while (pos < size)
        {
            const unsigned length = bytes[pos];
            ++pos;
            if (length == 0)
                return true;
            pos += length;
        }
        return false;
    };
    while (at < size)
    {
        if (bytes[at] == 0x2C)
        {
            if (at + 10 > size)
                return std::nullopt;
            auto word = [&](std::size_t offset)
            { return bytes[at + offset] | (bytes[at + offset + 1] << 8); };
            return QRect(word(1), word(3), word(5), word(7));
        }
        if (bytes[at] != 0x21 || at + 2 > size)
            return std::nullopt;
        at += 2;
        if (!skipSubBlocks(at))
            return std::nullopt;
    }
    return std::nullopt;
}

/// A top-down 32-bit DIB section holding `image` (premultiplied), as AlphaBlend with AC_SRC_ALPHA wants it.
HBITMAP MakeDib(const QImage& image)
{
    BITMAPINFO info = Dib32Info(image.width(), -image.height());
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib || !bits)
    {
        if (dib)
            DeleteObject(dib);
        return nullptr;
    }
    const std::size_t stride = static_cast<std::size_t>(image.width()) * 4;
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(static_cast<BYTE*>(bits) + static_cast<std::size_t>(y) * stride, image.constScanLine(y),
                    stride);
    return dib;
}

class Picture final : public IPicture
{
public:
    explicit Picture(QImage image) : m_image(std::move(image)) {}

    bool MakeBitmap()
    {
        m_bitmap = MakeDib(m_image);
        return m_bitmap != nullptr;
    }

    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IPicture)
        {
            *object = static_cast<IPicture*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override
    {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT get_Type(SHORT_PICTYPE* type) override
    {
        if (!type)
            return E_POINTER;
        *type = PICTYPE_BITMAP;
        return S_OK;
    }
    HRESULT get_Width(OLE_XSIZE_HIMETRIC* width) override
    {
        if (!width)
            return E_POINTER;
        *width = Himetric(m_image.width());
        return S_OK;
    }
    HRESULT get_Height(OLE_YSIZE_HIMETRIC* height) override
    {
        if (!height)
            return E_POINTER;
        *height = Himetric(m_image.height());
        return S_OK;
    }

    HRESULT Render(HDC dc, LONG x, LONG y, LONG cx, LONG cy, OLE_XPOS_HIMETRIC xSrc, OLE_YPOS_HIMETRIC ySrc,
                   OLE_XSIZE_HIMETRIC cxSrc, OLE_YSIZE_HIMETRIC cySrc, LPCRECT) override
    {
        if (!dc || cx == 0 || cy == 0 || cxSrc == 0 || cySrc == 0)
            return E_INVALIDARG;
        const double hmWidth = Himetric(m_image.width());
        const double hmHeight = Himetric(m_image.height());
        auto px = [&](double hx) { return static_cast<int>(std::lround(hx * m_image.width() / hmWidth)); };
        auto py = [&](double hy)
        { return static_cast<int>(std::lround((hmHeight - hy) * m_image.height() / hmHeight)); };
        int left = px(xSrc);
        int right = px(static_cast<double>(xSrc) + cxSrc);
        int top = py(ySrc);
        int bottom = py(static_cast<double>(ySrc) + cySrc);
        bool flipX = right < left;
        bool flipY = bottom < top;
        if (flipX)
            std::swap(left, right);
        if (flipY)
            std::swap(top, bottom);
        if (cx < 0)
        {
            flipX = !flipX;
            x += cx;
            cx = -cx;
        }
        if (cy < 0)
        {
            flipY = !flipY;
            y += cy;
            cy = -cy;
        }
        const QRect source = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)) & m_image.rect();
        if (source.isEmpty())
            return S_OK;

        std::lock_guard guard(m_lock);
        HBITMAP bitmap = m_bitmap;
        HBITMAP flipped = nullptr;
        QRect from = source;
        if (flipX || flipY)
        {
            flipped = MakeDib(m_image.copy(source).mirrored(flipX, flipY));
            if (!flipped)
                return E_OUTOFMEMORY;
            bitmap = flipped;
            from = QRect(QPoint(0, 0), source.size());
        }
        HDC memory = CreateCompatibleDC(dc);
        if (!memory)
        {
            DeleteObject(flipped);
            return E_INVALIDARG;
        }
        HGDIOBJ old = SelectObject(memory, bitmap);
        const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        const BOOL done =
            AlphaBlend(dc, x, y, cx, cy, memory, from.x(), from.y(), from.width(), from.height(), blend);
        SelectObject(memory, old);
        DeleteDC(memory);
        if (flipped)
            DeleteObject(flipped);
        return done ? S_OK : E_INVALIDARG;
    }

private:
    ~Picture()
    {
        if (m_bitmap)
            DeleteObject(m_bitmap);
    }
    static LONG Himetric(int pixels) { return MulDiv(pixels, 2540, 96); }

    std::atomic<ULONG> m_refs{1};
    QImage m_image; // ARGB32 premultiplied
    HBITMAP m_bitmap = nullptr;
    std::mutex m_lock; // the bitmap is selected into one DC at a time
};

/// Everything the stream holds from its position: `size` bytes, or to the end for 0. Nothing when the
/// stream has fewer than `size` bytes left.
std::optional<QByteArray> ReadAll(IStream* stream, LONG size)
{
    QByteArray data;
    if (size > 0)
    {
        data.resize(size);
        ULONG read = 0;
        if (FAILED(stream->Read(data.data(), static_cast<ULONG>(size), &read)) ||
            read != static_cast<ULONG>(size))
            return std::nullopt;
        return data;
    }
    char chunk[65536];
    for (;;)
    {
        ULONG read = 0;
        if (FAILED(stream->Read(chunk, sizeof chunk, &read)))
            return std::nullopt;
        data.append(chunk, static_cast<qsizetype>(read));
        if (read < sizeof chunk)
            return data;
    }
}
} // namespace

HRESULT OleLoadPicture(LPSTREAM stream, LONG size, BOOL, REFIID iid, LPVOID* object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!stream || size < 0)
        return E_POINTER;
    if (iid != IID_IPicture && iid != IID_IUnknown)
        return E_NOINTERFACE;
    const std::optional<QByteArray> data = ReadAll(stream, size);
    if (!data || data->isEmpty())
        return CTL_E_INVALIDPICTURE;

    QBuffer buffer;
    buffer.setData(*data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    const bool gif = reader.format() == "gif";
    const QSize declared = reader.size();
    if (declared.isValid() && (declared.width() <= 0 || declared.height() <= 0 || TooLarge(declared)))
        return CTL_E_INVALIDPICTURE;
    // The picture of a GIF is its first image's own rectangle, whatever the screen's size; parts of it off
    // the logical screen stay transparent. Its size is checked before anything is decoded.
    std::optional<QRect> first;
    if (gif)
    {
        first = FirstGifImage(*data);
        if (!first || first->isEmpty() || TooLarge(first->size()))
            return CTL_E_INVALIDPICTURE;
    }
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return CTL_E_INVALIDPICTURE;
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (first)
    {
        image = image.copy(*first);
        if (image.isNull())
            return CTL_E_INVALIDPICTURE;
    }
    if (image.width() > kMaxSide || image.height() > kMaxSide)
        return CTL_E_INVALIDPICTURE;

    auto* picture = new (std::nothrow) Picture(std::move(image));
    if (!picture)
        return E_OUTOFMEMORY;
    if (!picture->MakeBitmap())
    {
        picture->Release();
        return E_OUTOFMEMORY;
    }
    *object = static_cast<IPicture*>(picture);
    return S_OK;
}
