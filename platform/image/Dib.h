#pragma once

#include "platform/win/Dib.h"
#include "platform/win/WinTypes.h"

#include <cstddef>
#include <cstdint>

/// Sizes of packed DIB blocks; the records themselves are the base layer's.

namespace platform::image
{
/// Bytes of one pixel row of `width` pixels at `bitCount` bits, padded to four bytes.
constexpr std::size_t DibStride(std::size_t width, unsigned bitCount)
{
    return ((width * bitCount + 31) / 32) * 4;
}

/// The length of a packed DIB as its header describes it: the header (biSize), the colour table (biClrUsed
/// entries, or 2^biBitCount when that is 0, for 8 bits or fewer), the three bit masks of a BI_BITFIELDS
/// block with a 40-byte header, and the pixel rows (biSizeImage for compressed blocks, stride × height for
/// BI_RGB and BI_BITFIELDS). 0 when the header does not describe a bitmap (sizes zero, negative width,
/// unknown depth) or the length would exceed `limit`. Callers that receive a block bound it by the block's
/// own size, so a header never makes them read past it.
constexpr std::size_t PackedDibSize(const BITMAPINFOHEADER& header, std::size_t limit = SIZE_MAX)
{
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biSize > 4096 || header.biWidth <= 0 ||
        header.biHeight == 0 || header.biHeight == INT32_MIN)
        return 0;
    switch (header.biBitCount)
    {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        break;
    default:
        return 0;
    }
    std::size_t colours = 0;
    if (header.biBitCount <= 8)
    {
        colours = header.biClrUsed != 0 ? header.biClrUsed : (std::size_t{1} << header.biBitCount);
        if (colours > 256)
            return 0;
    }
    std::size_t size = header.biSize + colours * sizeof(RGBQUAD);
    if (header.biCompression == BI_BITFIELDS && header.biSize == sizeof(BITMAPINFOHEADER))
        size += 3 * sizeof(DWORD);
    const std::size_t width = static_cast<std::size_t>(header.biWidth);
    const std::size_t height = header.biHeight < 0 ? static_cast<std::size_t>(-header.biHeight)
                                                   : static_cast<std::size_t>(header.biHeight);
    std::size_t pixels = 0;
    if (header.biCompression == BI_RGB || header.biCompression == BI_BITFIELDS)
    {
        // Both factors fit 31 bits, so the product cannot wrap on a 64-bit size_t.
        pixels = DibStride(width, header.biBitCount) * height;
    }
    else
    {
        pixels = header.biSizeImage;
    }
    if (pixels > limit || size > limit - pixels)
        return 0;
    return size + pixels;
}
} // namespace platform::image
