#include "shared/faldra/ModularImage.h"

#include "shared/faldra/DrawContext.h"

#include <algorithm>

namespace faldra
{
namespace
{
constexpr UINT kStretchStyle = 12;

/// A new bitmap of the same size, format and pixels as `source`, or null.
HBITMAP DuplicateBitmap(HBITMAP source)
{
    BITMAP desc{};
    if (!source || ::GetObject(source, sizeof(desc), &desc) == 0 || desc.bmWidth <= 0 || desc.bmHeight <= 0)
        return nullptr;
    HDC screen = ::GetDC(nullptr);
    HBITMAP copy = ::CreateBitmap(desc.bmWidth, desc.bmHeight, desc.bmPlanes, desc.bmBitsPixel, nullptr);
    if (!copy)
        copy = ::CreateCompatibleBitmap(screen, desc.bmWidth, desc.bmHeight);
    HDC src = ::CreateCompatibleDC(screen);
    HDC dst = ::CreateCompatibleDC(screen);
    if (copy && src && dst)
    {
        HGDIOBJ oldSrc = ::SelectObject(src, source);
        HGDIOBJ oldDst = ::SelectObject(dst, copy);
        ::BitBlt(dst, 0, 0, desc.bmWidth, desc.bmHeight, src, 0, 0, SRCCOPY);
        ::SelectObject(src, oldSrc);
        ::SelectObject(dst, oldDst);
    }
    if (src)
        ::DeleteDC(src);
    if (dst)
        ::DeleteDC(dst);
    ::ReleaseDC(nullptr, screen);
    return copy;
}

void AttachCopy(CBitmap& target, const CBitmap& source)
{
    if (HBITMAP copy = DuplicateBitmap(static_cast<HBITMAP>(source.GetSafeHandle())))
        target.Attach(copy);
}

CSize BitmapSize(const CBitmap& bitmap)
{
    BITMAP desc{};
    if (!bitmap.GetSafeHandle() || bitmap.GetBitmap(&desc) == 0)
        return CSize(0, 0);
    return CSize(desc.bmWidth, desc.bmHeight);
}
} // namespace

CModularImage::CModularImage(COLORREF back) : m_backColor(back) {}

CModularImage::CModularImage(HBITMAP centre, COLORREF back) : m_backColor(back)
{
    if (centre)
        m_center.Attach(centre);
}

CModularImage::CModularImage(const CModularImage& other) : m_backColor(other.m_backColor)
{
    CopyFrom(other);
}

CModularImage& CModularImage::operator=(const CModularImage& other)
{
    if (this != &other)
    {
        Clear();
        CopyFrom(other);
    }
    return *this;
}

CModularImage::~CModularImage() = default;

void CModularImage::CopyFrom(const CModularImage& other)
{
    m_refDC = other.m_refDC;
    m_backColor = other.m_backColor;
    m_style = other.m_style;
    m_erase = other.m_erase;
    for (int i = 0; i < 4; ++i)
        AttachCopy(m_frames[i], other.m_frames[i]);
    AttachCopy(m_center, other.m_center);
}

COLORREF CModularImage::SetBackgndColor(COLORREF color)
{
    const COLORREF old = m_backColor;
    m_backColor = color;
    return old;
}

CBitmap& CModularImage::GetFrame(EFrameType type)
{
    const int index = static_cast<int>(type);
    return m_frames[index >= 0 && index < 4 ? index : 0];
}

HBITMAP CModularImage::SetInternalImage(HBITMAP bitmap, CBitmap& target)
{
    HBITMAP old = static_cast<HBITMAP>(target.Detach());
    if (bitmap)
        target.Attach(bitmap);
    return old;
}

HBITMAP CModularImage::SetFrame(HBITMAP bitmap, EFrameType type)
{
    const int index = static_cast<int>(type);
    if (index < 0 || index > 3)
        return nullptr;
    return SetInternalImage(bitmap, m_frames[index]);
}

HBITMAP CModularImage::SetFrame(UINT id, EFrameType type, BOOL mirror)
{
    const int index = static_cast<int>(type);
    if (index < 0 || index > 3)
        return nullptr;
    auto loaded = static_cast<HBITMAP>(CDrawContext::LoadResourceHlp(MAKEINTRESOURCE(id), RT_BITMAP));
    if (loaded && mirror)
    {
        HBITMAP mirrored = CreateMirroredBitmap(loaded);
        ::DeleteObject(loaded);
        loaded = mirrored;
    }
    return SetInternalImage(loaded, m_frames[index]);
}

HBITMAP CModularImage::SetBackground(HBITMAP bitmap)
{
    return SetInternalImage(bitmap, m_center);
}

HBITMAP CModularImage::CreateMirroredBitmap(HBITMAP source)
{
    BITMAP desc{};
    if (!source || ::GetObject(source, sizeof(desc), &desc) == 0 || desc.bmWidth <= 0 || desc.bmHeight <= 0)
        return nullptr;
    HDC screen = ::GetDC(nullptr);
    if (!screen)
        return nullptr;
    HBITMAP mirrored = ::CreateCompatibleBitmap(screen, desc.bmWidth, desc.bmHeight);
    HDC src = ::CreateCompatibleDC(screen);
    HDC dst = ::CreateCompatibleDC(screen);
    bool ok = mirrored && src && dst;
    if (ok)
    {
        HGDIOBJ oldSrc = ::SelectObject(src, source);
        HGDIOBJ oldDst = ::SelectObject(dst, mirrored);
        // A right-to-left DC flips what is copied into it.
        ::SetLayout(dst, LAYOUT_RTL);
        ok = ::BitBlt(dst, 0, 0, desc.bmWidth, desc.bmHeight, src, 0, 0, SRCCOPY) != FALSE;
        ::SelectObject(src, oldSrc);
        ::SelectObject(dst, oldDst);
    }
    if (src)
        ::DeleteDC(src);
    if (dst)
        ::DeleteDC(dst);
    ::ReleaseDC(nullptr, screen);
    if (!ok && mirrored)
    {
        ::DeleteObject(mirrored);
        mirrored = nullptr;
    }
    return mirrored;
}

void CModularImage::Clear()
{
    for (CBitmap& frame : m_frames)
        frame.DeleteObject();
    m_center.DeleteObject();
}

void CModularImage::DrawImage(CDC& dc, int top, int left, int bottom, int right)
{
    DrawImage(dc, CRect(left, top, right, bottom));
}

void CModularImage::DrawImage(CDC& dc, CRect rect)
{
    dc.SetStretchBltMode(HALFTONE);
    if (m_erase)
        dc.FillSolidRect(&rect, m_backColor);

    CDC memory;
    memory.CreateCompatibleDC(m_refDC ? CDC::FromHandle(m_refDC) : &dc);
    HGDIOBJ original = nullptr;
    auto blit = [&](CBitmap& bitmap, int x, int y, int cx, int cy, CSize size, bool stretch)
    {
        HGDIOBJ previous = ::SelectObject(memory.GetSafeHdc(), bitmap.GetSafeHandle());
        if (!original)
            original = previous;
        if (stretch)
            dc.StretchBlt(x, y, cx, cy, &memory, 0, 0, size.cx, size.cy, SRCCOPY);
        else
            dc.BitBlt(x, y, cx, cy, &memory, 0, 0, SRCCOPY);
    };

    if (const CSize s = BitmapSize(m_frames[FT_TOP]); s.cx > 0)
    {
        blit(m_frames[FT_TOP], rect.left, rect.top, rect.Width(), s.cy, s, true);
        rect.top += s.cy;
    }
    if (const CSize s = BitmapSize(m_frames[FT_RIGHT]); s.cx > 0)
    {
        blit(m_frames[FT_RIGHT], rect.right - s.cx, rect.top, s.cx, rect.bottom - rect.top, s, true);
        rect.right -= s.cx;
    }
    if (const CSize s = BitmapSize(m_frames[FT_BOTTOM]); s.cx > 0)
    {
        blit(m_frames[FT_BOTTOM], rect.left, rect.bottom - s.cy, rect.Width(), s.cy, s, true);
        rect.bottom -= s.cy;
    }
    if (const CSize s = BitmapSize(m_frames[FT_LEFT]); s.cx > 0)
    {
        blit(m_frames[FT_LEFT], rect.left, rect.top, s.cx, rect.bottom - rect.top, s, true);
        rect.left += s.cx;
    }
    if (const CSize s = BitmapSize(m_center); s.cx > 0)
    {
        if (m_style == kStretchStyle)
            blit(m_center, rect.left, rect.top, rect.Width(), rect.Height(), s, true);
        else
        {
            const int cx = std::min<int>(s.cx, rect.Width());
            const int cy = std::min<int>(s.cy, rect.Height());
            int y = rect.top;
            if (m_style & 2)
                y = rect.bottom - cy;
            else if (m_style & 1)
                y = rect.top + (rect.Height() - cy) / 2;
            int x = rect.left;
            if (m_style & 8)
                x = rect.right - cx;
            else if (m_style & 4)
                x = rect.left + (rect.Width() - cx) / 2;
            if (cx > 0 && cy > 0)
                blit(m_center, x, y, cx, cy, s, false);
        }
    }
    if (original)
        ::SelectObject(memory.GetSafeHdc(), original);
}
} // namespace faldra
