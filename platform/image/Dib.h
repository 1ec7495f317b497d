#pragma once

#include "platform/win/WinTypes.h"

#include <cstddef>
#include <cstdint>

/// The device-independent bitmap records, laid out byte for byte as Windows stores them in .bmp files and
/// in packed DIB blocks (a BITMAPINFOHEADER, then the colour table or bit masks, then the pixel rows, each
/// row padded to a multiple of four bytes, the bottom row first unless biHeight is negative).
///
/// Each record sits behind its own guard macro, so that another platform header that needs the same
/// records can define the macro (or include this header) instead of declaring them a second time.

#ifndef BREVICAM_HAVE_RGBQUAD
#define BREVICAM_HAVE_RGBQUAD
struct RGBQUAD
{
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};
static_assert(sizeof(RGBQUAD) == 4);
#endif

#ifndef BREVICAM_HAVE_BITMAPINFOHEADER
#define BREVICAM_HAVE_BITMAPINFOHEADER
struct BITMAPINFOHEADER
{
    DWORD biSize;
    LONG biWidth;
    /// Positive for bottom-up pictures, negative for top-down ones.
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);
#endif

#ifndef BREVICAM_HAVE_BITMAPINFO
#define BREVICAM_HAVE_BITMAPINFO
struct BITMAPINFO
{
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};
#endif

#ifndef BREVICAM_HAVE_BITMAPFILEHEADER
#define BREVICAM_HAVE_BITMAPFILEHEADER
#pragma pack(push, 2)
/// 14 bytes; bfType is "BM" (0x4D42).
struct BITMAPFILEHEADER
{
    WORD bfType;
    DWORD bfSize;
    WORD bfReserved1;
    WORD bfReserved2;
    DWORD bfOffBits;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14);
#endif

#ifndef BREVICAM_HAVE_BI_COMPRESSION
#define BREVICAM_HAVE_BI_COMPRESSION
constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_RLE8 = 1;
constexpr DWORD BI_RLE4 = 2;
constexpr DWORD BI_BITFIELDS = 3;
#endif

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
