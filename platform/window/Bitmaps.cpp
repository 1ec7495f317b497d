// Bitmaps from BITMAP resources and .bmp files.

#include "platform/resources/Resources.h"
#include "platform/win/LastError.h"
#include "platform/window/GdiInternal.h"
#include "platform/window/WinGdi.h"
#include "platform/window/WinUser.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

using namespace platform::gdi::detail;

namespace
{
constexpr std::size_t kMaxBytes = std::size_t{1} << 30;

struct Dib
{
    BITMAPINFOHEADER header{};
    std::vector<RGBQUAD> palette;
    const BYTE* bits = nullptr;
    std::size_t stride = 0;
};

/// Reads a packed DIB (header, colour table, bits) of `size` bytes; false when it is damaged or of a kind
/// we do not read (compressed, or an old core header).
bool ParseDib(const BYTE* data, std::size_t size, Dib& dib)
{
    if (size < sizeof(BITMAPINFOHEADER))
        return false;
    std::memcpy(&dib.header, data, sizeof dib.header);
    const auto& h = dib.header;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biSize > size || h.biWidth <= 0 || h.biHeight == 0 ||
        h.biHeight == INT32_MIN)
        return false;
    if (h.biCompression != BI_RGB &&
        !(h.biCompression == BI_BITFIELDS && (h.biBitCount == 16 || h.biBitCount == 32)))
        return false;
    const int bpp = h.biBitCount;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return false;
    const std::size_t width = static_cast<std::size_t>(h.biWidth);
    const std::size_t height = static_cast<std::size_t>(std::abs(static_cast<long long>(h.biHeight)));
    dib.stride = ((width * static_cast<std::size_t>(bpp) + 31) / 32) * 4;
    if (width > 65535 || height > 65535 || dib.stride * height > kMaxBytes)
        return false;
    std::size_t offset = h.biSize;
    if (h.biCompression == BI_BITFIELDS && h.biSize == sizeof(BITMAPINFOHEADER))
        offset += 12;
    if (bpp <= 8)
    {
        const std::size_t colours =
            h.biClrUsed ? std::min<std::size_t>(h.biClrUsed, 256) : (std::size_t{1} << bpp);
        if (offset + colours * 4 > size)
            return false;
        dib.palette.resize(colours);
        std::memcpy(dib.palette.data(), data + offset, colours * 4);
        offset += colours * 4;
    }
    else if (h.biClrUsed && h.biClrUsed < 4096)
        offset += static_cast<std::size_t>(h.biClrUsed) * 4;
    if (offset > size || size - offset < dib.stride * height)
        return false;
    dib.bits = data + offset;
    return true;
}

HBITMAP MakeBitmap(const Dib& dib, bool dibSection)
{
    const auto& h = dib.header;
    if (dibSection && (h.biBitCount == 24 || h.biBitCount == 32) && h.biCompression == BI_RGB)
    {
        // The picture keeps its own bits and row order.
        BITMAPINFO info{};
        info.bmiHeader = h;
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (bitmap && bits)
            std::memcpy(bits, dib.bits, dib.stride * static_cast<std::size_t>(std::abs(h.biHeight)));
        return bitmap;
    }
    std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + std::max<std::size_t>(dib.palette.size(), 3) * 4);
    auto* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
    bmi->bmiHeader = h;
    bmi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    if (!dib.palette.empty())
        std::memcpy(bmi->bmiColors, dib.palette.data(), dib.palette.size() * 4);
    const int height = std::abs(h.biHeight);
    HBITMAP bitmap = nullptr;
    if (dibSection)
    {
        BITMAPINFO rgb{};
        rgb.bmiHeader = h;
        rgb.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        rgb.bmiHeader.biBitCount = 24;
        rgb.bmiHeader.biCompression = BI_RGB;
        rgb.bmiHeader.biClrUsed = 0;
        void* bits = nullptr;
        bitmap = CreateDIBSection(nullptr, &rgb, DIB_RGB_COLORS, &bits, nullptr, 0);
    }
    else
        bitmap = CreateCompatibleBitmap(nullptr, h.biWidth, height);
    if (bitmap && !SetDIBits(nullptr, bitmap, 0, static_cast<UINT>(height), dib.bits, bmi, DIB_RGB_COLORS))
    {
        DeleteObject(bitmap);
        return nullptr;
    }
    return bitmap;
}
} // namespace

HANDLE LoadImage(HINSTANCE instance, LPCSTR name, UINT type, int, int, UINT flags)
{
    if (type != IMAGE_BITMAP)
    {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    const bool dibSection = (flags & LR_CREATEDIBSECTION) != 0;
    Dib dib;
    if (flags & LR_LOADFROMFILE)
    {
        if (!name || IS_INTRESOURCE(name))
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        std::ifstream in(name, std::ios::binary);
        if (!in)
        {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return nullptr;
        }
        std::vector<BYTE> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        BITMAPFILEHEADER fh{};
        if (file.size() < sizeof fh + sizeof(BITMAPINFOHEADER))
        {
            SetLastError(ERROR_INVALID_DATA);
            return nullptr;
        }
        std::memcpy(&fh, file.data(), sizeof fh);
        if (fh.bfType != 0x4D42 || !ParseDib(file.data() + sizeof fh, file.size() - sizeof fh, dib))
        {
            SetLastError(ERROR_INVALID_DATA);
            return nullptr;
        }
        return MakeBitmap(dib, dibSection);
    }
    HRSRC resource = FindResourceA(instance, name, RT_BITMAP);
    if (!resource)
        return nullptr;
    HGLOBAL loaded = LoadResource(instance, resource);
    const auto* data = static_cast<const BYTE*>(LockResource(loaded));
    const DWORD size = SizeofResource(instance, resource);
    if (!data || !ParseDib(data, size, dib))
    {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    return MakeBitmap(dib, dibSection);
}

HBITMAP LoadBitmap(HINSTANCE instance, LPCSTR name)
{
    return reinterpret_cast<HBITMAP>(LoadImage(instance, name, IMAGE_BITMAP, 0, 0, 0));
}
