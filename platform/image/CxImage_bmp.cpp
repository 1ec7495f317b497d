// BMP files and packed DIBs, read and written by us.
#include "Codecs.h"

#include <bit>
#include <cstring>

namespace platform::image::detail
{
namespace
{
DWORD ReadU32(const BYTE* p)
{
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
           (static_cast<DWORD>(p[3]) << 24);
}

struct Channel
{
    DWORD mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(DWORD m) : mask(m)
    {
        if (mask != 0)
        {
            shift = std::countr_zero(mask);
            bits = std::popcount(mask);
        }
    }

    BYTE Extract(DWORD pixel) const
    {
        if (bits == 0)
            return 0;
        const DWORD value = (pixel & mask) >> shift;
        if (bits >= 8)
            return static_cast<BYTE>(value >> (bits - 8));
        return static_cast<BYTE>(value * 255u / ((1u << bits) - 1u));
    }
};
} // namespace

bool DecodeBmp(const BYTE* data, std::size_t size, CxImage& image, std::string& error)
{
    std::size_t offset = 0;
    std::size_t pixelOffset = 0;
    if (size >= 2 && data[0] == 'B' && data[1] == 'M')
    {
        if (size < sizeof(BITMAPFILEHEADER))
        {
            error = "The bitmap file header is truncated";
            return false;
        }
        BITMAPFILEHEADER file;
        std::memcpy(&file, data, sizeof file);
        offset = sizeof file;
        pixelOffset = file.bfOffBits;
    }
    if (size - offset < sizeof(BITMAPINFOHEADER))
    {
        error = "The bitmap header is truncated";
        return false;
    }
    BITMAPINFOHEADER header;
    std::memcpy(&header, data + offset, sizeof header);
    if (header.biSize < sizeof header || header.biSize > size - offset)
    {
        error = "The bitmap header is not supported";
        return false;
    }
    if (header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == INT32_MIN)
    {
        error = "The bitmap has no valid size";
        return false;
    }
    const bool topDown = header.biHeight < 0;
    const std::uint64_t width = static_cast<std::uint64_t>(header.biWidth);
    const std::uint64_t height = topDown
                                     ? static_cast<std::uint64_t>(-static_cast<std::int64_t>(header.biHeight))
                                     : static_cast<std::uint64_t>(header.biHeight);
    if (!CheckDimensions(width, height, error))
        return false;
    const unsigned bpp = header.biBitCount;
    const bool masked = header.biCompression == BI_BITFIELDS && (bpp == 16 || bpp == 32);
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
    {
        error = "The bitmap depth of " + std::to_string(bpp) + " bits is not supported";
        return false;
    }
    if (header.biCompression != BI_RGB && !masked)
    {
        error = "Compressed bitmaps are not supported";
        return false;
    }
    std::size_t tableAt = offset + header.biSize;
    DWORD masks[3] = {0x00FF0000u, 0x0000FF00u, 0x000000FFu};
    if (bpp == 16)
    {
        masks[0] = 0x7C00u;
        masks[1] = 0x03E0u;
        masks[2] = 0x001Fu;
    }
    if (masked)
    {
        // Version 2 headers and later carry the masks; a 40-byte header is followed by them.
        const std::size_t at = header.biSize >= 52 ? offset + sizeof header : tableAt;
        if (at > size || size - at < 12)
        {
            error = "The bitmap masks are truncated";
            return false;
        }
        for (int i = 0; i < 3; ++i)
            masks[i] = ReadU32(data + at + 4 * i);
        if (header.biSize < 52)
            tableAt += 12;
    }
    std::size_t colours = 0;
    if (bpp <= 8)
    {
        colours = header.biClrUsed != 0 ? header.biClrUsed : (std::size_t{1} << bpp);
        if (colours > (std::size_t{1} << bpp))
        {
            error = "The bitmap colour table is too long";
            return false;
        }
        if (tableAt > size || (size - tableAt) / sizeof(RGBQUAD) < colours)
        {
            error = "The bitmap colour table is truncated";
            return false;
        }
    }
    if (pixelOffset == 0)
        pixelOffset = tableAt + colours * sizeof(RGBQUAD);
    const std::size_t stride = DibStride(width, bpp);
    if (pixelOffset > size || (size - pixelOffset) / stride < height)
    {
        error = "The bitmap data is truncated";
        return false;
    }

    const DWORD outBpp = bpp <= 8 ? 8 : 24;
    if (!image.Create(static_cast<DWORD>(width), static_cast<DWORD>(height), outBpp, CXIMAGE_FORMAT_BMP))
    {
        error = image.GetLastError();
        return false;
    }
    if (bpp <= 8)
    {
        RGBQUAD table[256];
        std::memcpy(table, data + tableAt, colours * sizeof(RGBQUAD));
        if (!image.SetPalette(table, static_cast<DWORD>(colours)))
        {
            error = image.GetLastError();
            return false;
        }
    }
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]);
    for (std::uint64_t y = 0; y < height; ++y)
    {
        const BYTE* src = data + pixelOffset + (topDown ? height - 1 - y : y) * stride;
        BYTE* dst = image.GetBits(static_cast<DWORD>(y));
        switch (bpp)
        {
        case 1:
        case 4:
        case 8:
        {
            const unsigned perByte = 8 / bpp;
            const unsigned valueMask = (1u << bpp) - 1u;
            for (std::uint64_t x = 0; x < width; ++x)
            {
                const unsigned shift = (perByte - 1 - static_cast<unsigned>(x % perByte)) * bpp;
                dst[x] = static_cast<BYTE>((src[x / perByte] >> shift) & valueMask);
            }
            break;
        }
        case 24:
            std::memcpy(dst, src, width * 3);
            break;
        default:
            for (std::uint64_t x = 0; x < width; ++x)
            {
                const DWORD pixel =
                    bpp == 16 ? static_cast<DWORD>(src[x * 2] | (src[x * 2 + 1] << 8)) : ReadU32(src + x * 4);
                dst[x * 3] = blue.Extract(pixel);
                dst[x * 3 + 1] = green.Extract(pixel);
                dst[x * 3 + 2] = red.Extract(pixel);
            }
            break;
        }
    }
    return true;
}

bool EncodeBmp(const CxImage& image, std::vector<BYTE>& out, std::string& error)
{
    if (!image.IsValid())
    {
        error = "The image is not valid";
        return false;
    }
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfSize = static_cast<DWORD>(sizeof file + image.GetSize());
    file.bfOffBits =
        static_cast<DWORD>(sizeof file + sizeof(BITMAPINFOHEADER) + image.GetNumColors() * sizeof(RGBQUAD));
    const auto* fileBytes = reinterpret_cast<const BYTE*>(&file);
    const auto* dib = static_cast<const BYTE*>(image.GetDIB());
    out.insert(out.end(), fileBytes, fileBytes + sizeof file);
    out.insert(out.end(), dib, dib + image.GetSize());
    return true;
}
} // namespace platform::image::detail
