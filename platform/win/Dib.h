#pragma once

#include "platform/win/WinTypes.h"

/// The device-independent bitmap records, laid out byte for byte as Windows stores them in .bmp files and
/// in packed DIB blocks (a BITMAPINFOHEADER, then the colour table or bit masks, then the pixel rows, each
/// row padded to a multiple of four bytes, the bottom row first unless biHeight is negative). Drawing,
/// media types and images all share these.

constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_RLE8 = 1;
constexpr DWORD BI_RLE4 = 2;
constexpr DWORD BI_BITFIELDS = 3;

struct RGBQUAD
{
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};
static_assert(sizeof(RGBQUAD) == 4);

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
using LPBITMAPINFOHEADER = BITMAPINFOHEADER*;

struct BITMAPINFO
{
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};
using LPBITMAPINFO = BITMAPINFO*;

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

/// The header of an uncompressed 32-bit picture: rows top-down for a negative height, bottom-up for a
/// positive one.
inline BITMAPINFO Dib32Info(LONG width, LONG height)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}
