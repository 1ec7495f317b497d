// Image extraction over Qt's image readers (the project's image object for JPEG 2000), with a short
// inotify watch that tells a file still being written from a damaged one.

#include "platform/com/ComObject.h"
#include "platform/image/CxImage.h"
#include "platform/shell/ExtractImage.h"
#include "platform/win/Dib.h"
#include "platform/win/LastError.h"
#include "platform/window/WinGdi.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
enum class Format
{
    None,
    Jpeg,
    Png,
    Bmp,
    Gif,
    Tiff,
    Jpeg2000
};

/// The picture format of a file's first bytes; None for anything else (videos, texts...).
Format FormatOf(const QByteArray& head)
{
    const auto starts = [&](const char* magic, std::size_t size) {
        return static_cast<std::size_t>(head.size()) >= size &&
               std::memcmp(head.constData(), magic, size) == 0;
    };
    if (starts("\xFF\xD8\xFF", 3))
        return Format::Jpeg;
    if (starts("\x89PNG\r\n\x1A\n", 8))
        return Format::Png;
    if (starts("BM", 2) && head.size() >= 26)
        return Format::Bmp;
    if (starts("GIF87a", 6) || starts("GIF89a", 6))
        return Format::Gif;
    if (starts("II*\0", 4) || starts("MM\0*", 4))
        return Format::Tiff;
    if (starts("\0\0\0\x0CjP  \r\n\x87\n", 12) || starts("\xFF\x4F\xFF\x51", 4))
        return Format::Jpeg2000;
    return Format::None;
}

const char* QtFormatName(Format format)
{
    switch (format)
    {
    case Format::Jpeg:
        return "jpeg";
    case Format::Png:
        return "png";
    case Format::Bmp:
        return "bmp";
    case Format::Gif:
        return "gif";
    case Format::Tiff:
        return "tiff";
    default:
        return nullptr;
    }
}

/// Whether the file holds its format's end: a decoder may hand out a picture whose lower part is missing
/// without calling it an error. Formats without an end mark count as whole.
bool LooksComplete(QFile& file, Format format)
{
    const qint64 size = file.size();
    const qint64 tailSize = std::min<qint64>(size, 64 * 1024);
    if (!file.seek(size - tailSize))
        return false;
    const QByteArray tail = file.read(tailSize);
    switch (format)
    {
    case Format::Jpeg:
        // Makers append their own data after the end marker; inside the coded data 0xFF is never followed
        // by 0xD9, so the marker anywhere in the tail means the picture ended.
        return tail.contains(QByteArray("\xFF\xD9", 2));
    case Format::Png:
        return tail.contains(QByteArray("IEND\xAE\x42\x60\x82", 8));
    case Format::Gif:
    {
        qsizetype end = tail.size();
        while (end > 0 && tail[end - 1] == '\0')
            --end;
        return end > 0 && tail[end - 1] == '\x3B';
    }
    case Format::Bmp:
    {
        if (!file.seek(2))
            return false;
        quint32 declared = 0;
        return file.read(reinterpret_cast<char*>(&declared), 4) == 4 && static_cast<qint64>(declared) <= size;
    }
    default:
        return true;
    }
}

/// Whether somebody is still writing to `path`: within `ms` it is written to and not closed after.
/// Returns -1 when the writer closed it meanwhile (worth another read), 1 while written, 0 otherwise.
int WatchForWrites(const std::string& path, int ms)
{
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0)
        return 0;
    int verdict = 0;
    if (inotify_add_watch(fd, path.c_str(), IN_MODIFY | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF) >= 0)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        bool written = false;
        bool closed = false;
        bool gone = false;
        for (;;)
        {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || gone)
                break;
            pollfd p{fd, POLLIN, 0};
            const int ready = poll(&p, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno != EINTR)
                break;
            if (ready <= 0)
                continue;
            alignas(inotify_event) char buffer[4096];
            const ssize_t n = read(fd, buffer, sizeof buffer);
            for (ssize_t at = 0; n > 0 && at < n;)
            {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->mask & IN_MODIFY)
                {
                    written = true;
                    closed = false;
                }
                if (event->mask & IN_CLOSE_WRITE)
                    closed = true;
                if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED))
                    gone = true;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
            // A writer that closed the file is done: reading again beats waiting out the watch.
            if (closed)
                break;
        }
        verdict = gone ? 0 : closed ? -1 : written ? 1 : 0;
    }
    close(fd);
    return verdict;
}

/// A JPEG 2000 picture through the image object, as a Qt image (null when it cannot be decoded).
QImage DecodeWithImageObject(const std::string& path)
{
    CxImage image(path.c_str(), CXIMAGE_FORMAT_UNKNOWN);
    if (!image.IsValid())
        return {};
    const int width = static_cast<int>(image.GetWidth());
    const int height = static_cast<int>(image.GetHeight());
    QImage result(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
    {
        auto* row = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < width; ++x)
        {
            const RGBQUAD c = image.GetPixelColor(x, height - 1 - y);
            row[x] = qRgb(c.rgbRed, c.rgbGreen, c.rgbBlue);
        }
    }
    return result;
}

/// `size` fitted into `box` keeping its proportions (at least one pixel a side); never enlarged when
/// `shrinkOnly`.
QSize Fit(const QSize& size, const QSize& box, bool shrinkOnly)
{
    if (shrinkOnly && size.width() <= box.width() && size.height() <= box.height())
        return size;
    QSize fitted = size.scaled(box, Qt::KeepAspectRatio);
    return fitted.expandedTo(QSize(1, 1));
}

/// A 32-bit top-down bitmap of the picture composed over opaque black.
HBITMAP BitmapOf(const QImage& picture)
{
    const QImage pixels = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    BITMAPINFO info = Dib32Info(pixels.width(), -pixels.height());
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits)
        return nullptr;
    for (int y = 0; y < pixels.height(); ++y)
    {
        const auto* src = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        auto* dst = static_cast<quint32*>(bits) + static_cast<std::size_t>(y) * pixels.width();
        for (int x = 0; x < pixels.width(); ++x)
            dst[x] = 0xFF000000u | (src[x] & 0x00FFFFFFu);
    }
    return bitmap;
}

class ImageExtractor : public platform::com::ComObject<IExtractImage, IID_IExtractImage>
{
public:
    explicit ImageExtractor(std::string path) : m_path(std::move(path)) {}

    STDMETHODIMP GetLocation(LPSTR path, DWORD size, DWORD* priority, const SIZE* wanted, DWORD,
                             DWORD* flags) override
    {
        if (!path || size == 0 || !wanted || wanted->cx <= 0 || wanted->cy <= 0)
            return E_INVALIDARG;
        const std::size_t n = std::min<std::size_t>(m_path.size(), size - 1);
        std::memcpy(path, m_path.data(), n);
        path[n] = '\0';
        if (priority)
            *priority = 0;
        m_box = QSize(wanted->cx, wanted->cy);
        m_shrinkOnly = flags && (*flags & IEIFLAG_ORIGSIZE) != 0;
        if (flags)
            *flags &= IEIFLAG_ASPECT | IEIFLAG_ORIGSIZE | IEIFLAG_CACHE | IEIFLAG_SCREEN;
        return S_OK;
    }

    STDMETHODIMP Extract(HBITMAP* bitmap) override
    {
        if (!bitmap)
            return E_POINTER;
        *bitmap = nullptr;
        if (m_box.isEmpty())
            return E_UNEXPECTED;
        // One more read after a writer closed the file during the watch.
        for (int attempt = 0; attempt < 2; ++attempt)
        {
            bool picture = false;
            QImage image = Decode(picture);
            if (!picture)
                return E_FAIL;
            if (!image.isNull())
            {
                *bitmap = BitmapOf(image);
                return *bitmap ? S_OK : E_OUTOFMEMORY;
            }
            const int writes = WatchForWrites(m_path, platform::shell::WriteWatchMs);
            if (writes > 0)
                return HRESULT_SHARING_VIOLATION;
            if (writes == 0)
                break;
        }
        return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    }

private:
    /// The picture at the asked size; null when it could not be read whole. `picture` tells whether the
    /// file is a picture at all.
    QImage Decode(bool& picture) const
    {
        picture = false;
        QFile file(QString::fromStdString(m_path));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const Format format = FormatOf(file.peek(32));
        if (format == Format::None)
            return {};
        picture = true;
        if (!LooksComplete(file, format) || !file.seek(0))
            return {};
        if (format == Format::Jpeg2000)
        {
            file.close();
            const QImage whole = DecodeWithImageObject(m_path);
            if (whole.isNull())
                return {};
            return whole.scaled(Fit(whole.size(), m_box, m_shrinkOnly), Qt::IgnoreAspectRatio,
                                Qt::SmoothTransformation);
        }
        QImageReader reader(&file, QtFormatName(format));
        reader.setAutoTransform(true);
        // The size comes from the header; the decoder then scales while it reads (JPEG's fast path).
        QSize size = reader.size();
        if (!size.isValid() || size.isEmpty())
            return {};
        if (reader.transformation() & QImageIOHandler::TransformationRotate90)
            size.transpose();
        QSize target = Fit(size, m_box, m_shrinkOnly);
        if (reader.transformation() & QImageIOHandler::TransformationRotate90)
            target.transpose();
        reader.setScaledSize(target);
        QImage image = reader.read();
        if (image.isNull())
            return {};
        return image;
    }

    std::string m_path;
    QSize m_box;
    bool m_shrinkOnly = false;
};
} // namespace

namespace platform::shell
{
HRESULT CreateImageExtractor(const std::string& path, IExtractImage** extractor)
{
    if (!extractor)
        return E_POINTER;
    *extractor = nullptr;
    struct stat st
    {
    };
    if (path.empty() || path[0] != '/' || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return E_FAIL;
    *extractor = new ImageExtractor(path);
    return S_OK;
}
} // namespace platform::shell
