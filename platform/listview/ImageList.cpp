#include "platform/listview/ImageList.h"

#include "platform/window/Extras.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

struct _IMAGELIST
{
    int cx = 0;
    int cy = 0;
    UINT flags = 0;
    COLORREF background = CLR_NONE;
    int overlays[16] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    std::vector<std::vector<uint32_t>> images; // premultiplied BGRA, top-down rows
};

namespace
{
/// The bitmap's pixels as 32-bit top-down BGRA, with whether its alpha channel carries anything.
bool ReadPixels(HBITMAP bitmap, int& width, int& height, std::vector<uint32_t>& pixels, bool& hasAlpha)
{
    BITMAP info{};
    if (!bitmap || !GetObject(bitmap, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight == 0)
        return false;
    width = info.bmWidth;
    height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
    BITMAPINFO bi = Dib32Info(width, -height);
    pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    HDC dc = CreateCompatibleDC(nullptr);
    const int lines = GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), pixels.data(), &bi, DIB_RGB_COLORS);
    DeleteDC(dc);
    if (lines <= 0)
        return false;
    hasAlpha = info.bmBitsPixel == 32 &&
               std::any_of(pixels.begin(), pixels.end(), [](uint32_t p) { return (p >> 24) != 0; });
    return true;
}

uint32_t Premultiply(uint32_t p)
{
    const uint32_t a = p >> 24;
    auto scale = [a](uint32_t c) { return (c * a + 127) / 255; };
    return (a << 24) | (scale((p >> 16) & 0xFF) << 16) | (scale((p >> 8) & 0xFF) << 8) | scale(p & 0xFF);
}

uint32_t Bgr(COLORREF c)
{
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

/// Cuts the bitmap into images of the list's size; mask pixels (set bits of `mask`, or `maskColour`)
/// become transparent. Returns false when the bitmap cannot be read or is narrower than one image.
bool Slice(const HIMAGELIST list, HBITMAP image, HBITMAP mask, const COLORREF* maskColour,
           std::vector<std::vector<uint32_t>>& out)
{
    int width = 0;
    int height = 0;
    bool hasAlpha = false;
    std::vector<uint32_t> pixels;
    if (!ReadPixels(image, width, height, pixels, hasAlpha) || width < list->cx)
        return false;
    std::vector<uint32_t> maskPixels;
    int maskWidth = 0;
    int maskHeight = 0;
    bool maskAlpha = false;
    if (mask && !ReadPixels(mask, maskWidth, maskHeight, maskPixels, maskAlpha))
        maskPixels.clear();
    // A straight-alpha bitmap has colour above its alpha somewhere; premultiplied ones never do.
    bool straight = false;
    if (hasAlpha)
        for (uint32_t p : pixels)
        {
            const uint32_t a = p >> 24;
            if (((p >> 16) & 0xFF) > a || ((p >> 8) & 0xFF) > a || (p & 0xFF) > a)
            {
                straight = true;
                break;
            }
        }
    const int count = width / list->cx;
    for (int n = 0; n < count; ++n)
    {
        std::vector<uint32_t> img(static_cast<size_t>(list->cx) * static_cast<size_t>(list->cy), 0);
        for (int y = 0; y < std::min(list->cy, height); ++y)
            for (int x = 0; x < list->cx; ++x)
            {
                const int sx = n * list->cx + x;
                uint32_t p =
                    pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(sx)];
                bool transparent = false;
                if (!maskPixels.empty() && sx < maskWidth && y < maskHeight)
                    transparent = (maskPixels[static_cast<size_t>(y) * static_cast<size_t>(maskWidth) +
                                              static_cast<size_t>(sx)] &
                                   0xFFFFFF) != 0;
                if (maskColour && (p & 0xFFFFFF) == Bgr(*maskColour))
                    transparent = true;
                if (transparent)
                    p = 0;
                else if (!hasAlpha)
                    p = 0xFF000000u | (p & 0xFFFFFF);
                else if (straight)
                    p = Premultiply(p);
                img[static_cast<size_t>(y) * static_cast<size_t>(list->cx) + static_cast<size_t>(x)] = p;
            }
        out.push_back(std::move(img));
    }
    return true;
}

bool Valid(HIMAGELIST list, int index)
{
    return list && index >= 0 && index < static_cast<int>(list->images.size());
}

uint32_t Blend(uint32_t p, COLORREF with, int percent)
{
    const uint32_t a = p >> 24;
    if (a == 0)
        return p;
    // Tint towards the colour, kept premultiplied.
    auto mix = [&](uint32_t c, uint32_t t) {
        return (c * static_cast<uint32_t>(100 - percent) + t * a / 255 * static_cast<uint32_t>(percent)) /
               100;
    };
    return (a << 24) | (mix((p >> 16) & 0xFF, GetRValue(with)) << 16) |
           (mix((p >> 8) & 0xFF, GetGValue(with)) << 8) | mix(p & 0xFF, GetBValue(with));
}
} // namespace

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int)
{
    if (cx < 1 || cy < 1)
        return nullptr;
    auto* list = new _IMAGELIST;
    list->cx = cx;
    list->cy = cy;
    list->flags = flags;
    list->images.reserve(static_cast<size_t>(std::clamp(initial, 0, 1024)));
    return list;
}

BOOL ImageList_Destroy(HIMAGELIST list)
{
    if (!list)
        return FALSE;
    delete list;
    return TRUE;
}

int ImageList_GetImageCount(HIMAGELIST list)
{
    return list ? static_cast<int>(list->images.size()) : 0;
}

BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy)
{
    if (!list || !cx || !cy)
        return FALSE;
    *cx = list->cx;
    *cy = list->cy;
    return TRUE;
}

BOOL ImageList_SetIconSize(HIMAGELIST list, int cx, int cy)
{
    if (!list || cx < 1 || cy < 1)
        return FALSE;
    list->cx = cx;
    list->cy = cy;
    list->images.clear();
    return TRUE;
}

int ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP mask)
{
    if (!list)
        return -1;
    std::vector<std::vector<uint32_t>> added;
    if (!Slice(list, image, (list->flags & ILC_MASK) ? mask : nullptr, nullptr, added) || added.empty())
        return -1;
    const int first = static_cast<int>(list->images.size());
    for (auto& img : added)
        list->images.push_back(std::move(img));
    return first;
}

int ImageList_AddMasked(HIMAGELIST list, HBITMAP image, COLORREF mask)
{
    if (!list)
        return -1;
    std::vector<std::vector<uint32_t>> added;
    if (!Slice(list, image, nullptr, &mask, added) || added.empty())
        return -1;
    const int first = static_cast<int>(list->images.size());
    for (auto& img : added)
        list->images.push_back(std::move(img));
    return first;
}

BOOL ImageList_Replace(HIMAGELIST list, int index, HBITMAP image, HBITMAP mask)
{
    if (!Valid(list, index))
        return FALSE;
    std::vector<std::vector<uint32_t>> added;
    if (!Slice(list, image, (list->flags & ILC_MASK) ? mask : nullptr, nullptr, added) || added.empty())
        return FALSE;
    list->images[static_cast<size_t>(index)] = std::move(added.front());
    return TRUE;
}

int ImageList_ReplaceIcon(HIMAGELIST list, int index, HICON icon)
{
    if (!list || (index != -1 && !Valid(list, index)))
        return -1;
    std::vector<uint32_t> pixels;
    int width = 0;
    int height = 0;
    if (!platform::window::IconPixels(icon, list->cx, list->cy, pixels, width, height) || width != list->cx ||
        height != list->cy)
        return -1;
    if (index == -1)
    {
        list->images.push_back(std::move(pixels));
        return static_cast<int>(list->images.size()) - 1;
    }
    list->images[static_cast<size_t>(index)] = std::move(pixels);
    return index;
}

int ImageList_AddIcon(HIMAGELIST list, HICON icon)
{
    return ImageList_ReplaceIcon(list, -1, icon);
}

HICON ImageList_GetIcon(HIMAGELIST list, int index, UINT style)
{
    if (!Valid(list, index))
        return nullptr;
    std::vector<uint32_t> pixels = list->images[static_cast<size_t>(index)];
    const UINT overlay = (style & ILD_OVERLAYMASK) >> 8;
    if (overlay && Valid(list, list->overlays[overlay]))
    {
        const auto& over = list->images[static_cast<size_t>(list->overlays[overlay])];
        for (size_t i = 0; i < pixels.size(); ++i)
        {
            const uint32_t keep = 255 - (over[i] >> 24);
            auto channel = [&](int shift)
            { return (((over[i] >> shift) & 0xFF) + ((pixels[i] >> shift) & 0xFF) * keep / 255) << shift; };
            pixels[i] = channel(24) | channel(16) | channel(8) | channel(0);
        }
    }
    BITMAPINFO bi = Dib32Info(list->cx, -list->cy);
    void* bits = nullptr;
    HBITMAP colour = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!colour || !bits)
    {
        if (colour)
            DeleteObject(colour);
        return nullptr;
    }
    std::memcpy(bits, pixels.data(), pixels.size() * sizeof(uint32_t));
    ICONINFO info{TRUE, 0, 0, nullptr, colour};
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(colour);
    return icon;
}

BOOL ImageList_Remove(HIMAGELIST list, int index)
{
    if (!list)
        return FALSE;
    if (index == -1)
    {
        list->images.clear();
        return TRUE;
    }
    if (!Valid(list, index))
        return FALSE;
    list->images.erase(list->images.begin() + index);
    for (int& overlay : list->overlays)
        if (overlay == index)
            overlay = -1;
        else if (overlay > index)
            --overlay;
    return TRUE;
}

BOOL ImageList_RemoveAll(HIMAGELIST list)
{
    return ImageList_Remove(list, -1);
}

COLORREF ImageList_SetBkColor(HIMAGELIST list, COLORREF color)
{
    if (!list)
        return CLR_NONE;
    const COLORREF old = list->background;
    list->background = color;
    return old;
}

COLORREF ImageList_GetBkColor(HIMAGELIST list)
{
    return list ? list->background : CLR_NONE;
}

BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style)
{
    return ImageList_DrawEx(list, index, dc, x, y, 0, 0, CLR_DEFAULT, CLR_DEFAULT, style);
}

BOOL ImageList_DrawEx(HIMAGELIST list, int index, HDC dc, int x, int y, int dx, int dy, COLORREF background,
                      COLORREF foreground, UINT style)
{
    if (!Valid(list, index) || !dc)
        return FALSE;
    const int w = dx > 0 ? std::min(dx, list->cx) : list->cx;
    const int h = dy > 0 ? std::min(dy, list->cy) : list->cy;
    const COLORREF fill = background == CLR_DEFAULT ? list->background : background;
    if (fill != CLR_NONE && !(style & ILD_TRANSPARENT))
    {
        HBRUSH brush = CreateSolidBrush(fill);
        const RECT r{x, y, x + w, y + h};
        FillRect(dc, &r, brush);
        DeleteObject(brush);
    }
    BITMAPINFO bi = Dib32Info(list->cx, -list->cy);
    void* bits = nullptr;
    HBITMAP surface = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!surface || !bits)
    {
        if (surface)
            DeleteObject(surface);
        return FALSE;
    }
    const auto& img = list->images[static_cast<size_t>(index)];
    auto* out = static_cast<uint32_t*>(bits);
    const int blend = (style & ILD_BLEND50) ? 50 : (style & ILD_BLEND25) ? 25 : 0;
    const COLORREF tint =
        foreground == CLR_DEFAULT || foreground == CLR_NONE ? GetSysColor(COLOR_HIGHLIGHT) : foreground;
    for (size_t i = 0; i < img.size(); ++i)
    {
        uint32_t p = img[i];
        if (style & ILD_MASK)
            p = (p >> 24) ? 0xFF000000u : 0xFFFFFFFFu;
        else if (blend)
            p = Blend(p, tint, blend);
        out[i] = p;
    }
    HDC src = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(src, surface);
    const BLENDFUNCTION f{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    const BOOL ok = AlphaBlend(dc, x, y, w, h, src, 0, 0, w, h, f);
    SelectObject(src, old);
    DeleteDC(src);
    DeleteObject(surface);
    const UINT overlay = (style & ILD_OVERLAYMASK) >> 8;
    if (ok && overlay && Valid(list, list->overlays[overlay]))
        ImageList_DrawEx(list, list->overlays[overlay], dc, x, y, dx, dy, CLR_NONE, CLR_NONE,
                         style & ~(ILD_OVERLAYMASK | ILD_BLEND25 | ILD_BLEND50));
    return ok;
}

BOOL ImageList_SetOverlayImage(HIMAGELIST list, int image, int overlay)
{
    if (!Valid(list, image) || overlay < 1 || overlay > 15)
        return FALSE;
    list->overlays[overlay] = image;
    return TRUE;
}

HIMAGELIST ImageList_Duplicate(HIMAGELIST list)
{
    if (!list)
        return nullptr;
    return new _IMAGELIST(*list);
}

// --- CImageList ----------------------------------------------------------------------------------------

CImageList::~CImageList()
{
    if (!m_temporary)
        DeleteImageList();
}

BOOL CImageList::Create(int cx, int cy, UINT flags, int initial, int grow)
{
    if (m_hImageList)
        return FALSE;
    m_hImageList = ImageList_Create(cx, cy, flags, initial, grow);
    return m_hImageList != nullptr;
}

BOOL CImageList::DeleteImageList()
{
    if (!m_hImageList)
        return FALSE;
    ImageList_Destroy(Detach());
    return TRUE;
}

BOOL CImageList::Attach(HIMAGELIST list)
{
    if (m_hImageList || !list)
        return FALSE;
    m_hImageList = list;
    return TRUE;
}

HIMAGELIST CImageList::Detach()
{
    HIMAGELIST list = m_hImageList;
    m_hImageList = nullptr;
    return list;
}

CImageList* CImageList::FromHandle(HIMAGELIST list)
{
    if (!list)
        return nullptr;
    thread_local std::map<HIMAGELIST, std::unique_ptr<CImageList>> temporaries;
    auto& slot = temporaries[list];
    if (!slot)
    {
        slot = std::make_unique<CImageList>();
        slot->m_temporary = true;
        slot->m_hImageList = list;
    }
    return slot.get();
}

int CImageList::GetImageCount() const
{
    return ImageList_GetImageCount(m_hImageList);
}

int CImageList::Add(CBitmap* image, CBitmap* mask)
{
    return ImageList_Add(m_hImageList, image ? static_cast<HBITMAP>(image->GetSafeHandle()) : nullptr,
                         mask ? static_cast<HBITMAP>(mask->GetSafeHandle()) : nullptr);
}

int CImageList::Add(CBitmap* image, COLORREF mask)
{
    return ImageList_AddMasked(m_hImageList, image ? static_cast<HBITMAP>(image->GetSafeHandle()) : nullptr,
                               mask);
}

int CImageList::Add(HICON icon)
{
    return ImageList_AddIcon(m_hImageList, icon);
}

int CImageList::Replace(int index, HICON icon)
{
    return ImageList_ReplaceIcon(m_hImageList, index, icon);
}

HICON CImageList::ExtractIcon(int index)
{
    return ImageList_GetIcon(m_hImageList, index, ILD_NORMAL);
}

BOOL CImageList::Replace(int index, CBitmap* image, CBitmap* mask)
{
    return ImageList_Replace(m_hImageList, index,
                             image ? static_cast<HBITMAP>(image->GetSafeHandle()) : nullptr,
                             mask ? static_cast<HBITMAP>(mask->GetSafeHandle()) : nullptr);
}

BOOL CImageList::Remove(int index)
{
    return ImageList_Remove(m_hImageList, index);
}

COLORREF CImageList::SetBkColor(COLORREF color)
{
    return ImageList_SetBkColor(m_hImageList, color);
}

COLORREF CImageList::GetBkColor() const
{
    return ImageList_GetBkColor(m_hImageList);
}

BOOL CImageList::Draw(CDC* dc, int index, POINT point, UINT style)
{
    return dc && ImageList_Draw(m_hImageList, index, dc->GetSafeHdc(), point.x, point.y, style);
}

BOOL CImageList::DrawEx(CDC* dc, int index, POINT point, SIZE size, COLORREF background, COLORREF foreground,
                        UINT style)
{
    return dc && ImageList_DrawEx(m_hImageList, index, dc->GetSafeHdc(), point.x, point.y, size.cx, size.cy,
                                  background, foreground, style);
}

BOOL CImageList::SetOverlayImage(int image, int overlay)
{
    return ImageList_SetOverlayImage(m_hImageList, image, overlay);
}

BOOL CImageList::SetImageCount(UINT count)
{
    if (!m_hImageList || count > 100000)
        return FALSE;
    m_hImageList->images.resize(count, std::vector<uint32_t>(static_cast<size_t>(m_hImageList->cx) *
                                                                 static_cast<size_t>(m_hImageList->cy),
                                                             0));
    return TRUE;
}
