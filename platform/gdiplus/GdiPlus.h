#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"
#include "platform/window/WinGdi.h"

#include <cstddef>
#include <memory>

/// GDI+ as far as the control kit draws with it: a bitmap decoded from encoded bytes (PNG with its alpha
/// channel, BMP, JPEG), read pixel by pixel, converted to a GDI bitmap, and drawn onto a GDI device
/// context with per-pixel alpha. Objects may be used on any thread, one thread at a time. Nothing needs to
/// be started first; GdiplusStartup and GdiplusShutdown exist for the callers that pair them.
namespace Gdiplus
{
enum Status
{
    Ok = 0,
    GenericError = 1,
    InvalidParameter = 2,
    OutOfMemory = 3,
    ObjectBusy = 4,
    InsufficientBuffer = 5,
    NotImplemented = 6,
    Win32Error = 7,
    WrongState = 8,
    Aborted = 9,
    FileNotFound = 10,
    ValueOverflow = 11,
    AccessDenied = 12,
    UnknownImageFormat = 13,
};

enum Unit
{
    UnitWorld = 0,
    UnitDisplay = 1,
    UnitPixel = 2,
};

enum SmoothingMode
{
    SmoothingModeDefault = 0,
    SmoothingModeHighSpeed = 1,
    SmoothingModeHighQuality = 2,
    SmoothingModeNone = 3,
    SmoothingModeAntiAlias = 4,
};

using ARGB = DWORD;
using REAL = float;

/// A colour with alpha, stored as 0xAARRGGBB.
class Color
{
public:
    constexpr Color() = default;
    constexpr explicit Color(ARGB argb) : m_argb(argb) {}
    constexpr Color(BYTE a, BYTE r, BYTE g, BYTE b)
        : m_argb((ARGB(a) << 24) | (ARGB(r) << 16) | (ARGB(g) << 8) | ARGB(b))
    {
    }
    constexpr ARGB GetValue() const noexcept { return m_argb; }
    constexpr BYTE GetA() const noexcept { return BYTE(m_argb >> 24); }
    constexpr BYTE GetR() const noexcept { return BYTE(m_argb >> 16); }
    constexpr BYTE GetG() const noexcept { return BYTE(m_argb >> 8); }
    constexpr BYTE GetB() const noexcept { return BYTE(m_argb); }
    void SetValue(ARGB argb) noexcept { m_argb = argb; }

private:
    ARGB m_argb = 0xFF000000;
};

/// An image decoded from encoded bytes. Stands in for a bitmap made from a stream: the bytes are read
/// during construction and not kept. GetLastStatus tells whether the decoding succeeded
/// (UnknownImageFormat for bytes no reader understands, InvalidParameter for none).
class PLATFORM_API Bitmap
{
public:
    Bitmap(const void* data, std::size_t size);
    ~Bitmap();
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    Status GetLastStatus() const noexcept { return m_status; }
    /// 0 when the image could not be decoded.
    UINT GetWidth() const;
    UINT GetHeight() const;
    /// The pixel's colour, not premultiplied; InvalidParameter outside the image.
    Status GetPixel(int x, int y, Color* color) const;
    /// A new 32-bit GDI bitmap (owned by the caller) of the image composed over `background`.
    Status GetHBITMAP(const Color& background, HBITMAP* bitmap) const;
    /// A new image (owned by the caller) of the picture scaled smoothly to `width` x `height`; null for a
    /// picture that was not decoded or a size that is not positive.
    Bitmap* GetThumbnailImage(UINT width, UINT height) const;

private:
    Bitmap();
    friend class Graphics;
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    Status m_status = Ok;
};

/// Draws onto a GDI device context at its current logical coordinates, blending by the image's alpha.
class PLATFORM_API Graphics
{
public:
    explicit Graphics(HDC dc) : m_dc(dc) {}
    Status GetLastStatus() const noexcept { return m_status; }
    Status SetPageUnit(Unit unit);
    Status SetPageScale(REAL scale);
    Status SetSmoothingMode(SmoothingMode mode);
    /// At natural size.
    Status DrawImage(Bitmap* image, int x, int y);
    /// Scaled into the rectangle; a negative width or height mirrors the image across that side.
    Status DrawImage(Bitmap* image, int x, int y, int width, int height);

private:
    HDC m_dc;
    Status m_status = Ok;
};

struct GdiplusStartupInput
{
    UINT GdiplusVersion = 1;
    void* DebugEventCallback = nullptr;
    BOOL SuppressBackgroundThread = FALSE;
    BOOL SuppressExternalCodecs = FALSE;
};

PLATFORM_API Status GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, void* output);
PLATFORM_API void GdiplusShutdown(ULONG_PTR token);
} // namespace Gdiplus
