#include "shared/faldra/HotTrackZone.h"

#include "shared/exceptions/Exceptions.h"
#include "shared/faldra/DrawContext.h"

namespace faldra
{
CHotTrackZone::CHotTrackZone(HRGN region, HWND support)
{
    if (!region)
        throw CInvalidArgumentException(THROW_SITE_MESSAGE("No region defined for hot-tracking"));
    if (!support)
    {
        ::DeleteObject(region);
        throw CInvalidArgumentException(
            THROW_SITE_MESSAGE("No support window defined for the hot-tracked region"));
    }
    if (!::IsWindow(support))
    {
        ::DeleteObject(region);
        throw CInvalidObjectException(THROW_SITE_MESSAGE("Invalid support window specified"));
    }
    m_region.Attach(region);
    m_support = support;
    m_supportDC.Attach(::GetDC(support));
}

CHotTrackZone::~CHotTrackZone()
{
    for (CModularImage*& image : m_images)
    {
        delete image;
        image = nullptr;
    }
    if (HDC dc = m_supportDC.Detach())
        ::ReleaseDC(m_support, dc);
}

CRect CHotTrackZone::GetBoundingBox() const
{
    CRect box;
    if (!m_region.GetSafeHandle() || m_region.GetRgnBox(&box) == ERROR)
        return CRect();
    return box;
}

BOOL CHotTrackZone::IsPtInside(int x, int y) const
{
    return m_region.GetSafeHandle() && m_region.PtInRegion(x, y);
}

void CHotTrackZone::UpdateZone(CRgn& other, int mode)
{
    m_region.CombineRgn(&m_region, &other, mode);
}

CModularImage** CHotTrackZone::GetImageRef(ETrackState state)
{
    const int index = static_cast<int>(state);
    return index >= 0 && index < 3 ? &m_images[index] : nullptr;
}

CModularImage* CHotTrackZone::GetImage(ETrackState state) const
{
    const int index = static_cast<int>(state);
    if (index < 0 || index > 2)
        throw CInvalidArgumentException(THROW_SITE_MESSAGE("Unknown state"));
    return m_images[index];
}

void CHotTrackZone::SetImage(CModularImage* image, ETrackState state)
{
    CModularImage** slot = GetImageRef(state);
    if (!slot)
    {
        // The zone owns what it is given, even when the state is unknown.
        delete image;
        return;
    }
    if (*slot == image)
        return;
    delete *slot;
    *slot = image;
    if (image)
        image->SetRefDC(&m_supportDC);
}

void CHotTrackZone::SetImage(HBITMAP bitmap, ETrackState state)
{
    CModularImage** slot = GetImageRef(state);
    if (!slot)
    {
        // The zone owns what it is given, even when the state is unknown.
        if (bitmap)
            ::DeleteObject(bitmap);
        return;
    }
    if (*slot)
    {
        (*slot)->Clear();
        (*slot)->SetBackground(bitmap);
    }
    else
    {
        *slot = new (std::nothrow) CModularImage(bitmap, GetSysColor(COLOR_WINDOW));
        if (!*slot)
        {
            if (bitmap)
                ::DeleteObject(bitmap);
            throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate internal image object"));
        }
        (*slot)->SetRefDC(&m_supportDC);
    }
    (*slot)->SetStyle(12);
}

void CHotTrackZone::SetImage(UINT id, ETrackState state)
{
    auto bitmap = static_cast<HBITMAP>(CDrawContext::LoadResourceHlp(MAKEINTRESOURCE(id), RT_BITMAP));
    if (!bitmap)
        throw COSResourceException(THROW_SITE_MESSAGE("Failed to load the indicated bitmap resource"),
                                   static_cast<int>(::GetLastError()));
    SetImage(bitmap, state);
}

void CHotTrackZone::DoDraw(CDC* dc, CSize /*size*/, ETrackState state, int clip)
{
    if (!dc)
        throw CNullPointerException(THROW_SITE_MESSAGE("No device context for drawing"));
    const CRect box = GetBoundingBox();
    if (box.IsRectEmpty())
        return;
    CModularImage* image = GetImage(state);
    if (!image && state != TS_NORMAL)
        image = m_images[TS_NORMAL];
    if (!image)
        return;
    if (clip)
    {
        CRgn previous;
        previous.CreateRectRgn(0, 0, 0, 0);
        const bool hadClip = ::GetClipRgn(dc->GetSafeHdc(), previous) == 1;
        dc->SelectClipRgn(&m_region, RGN_AND);
        image->DrawImage(*dc, box);
        dc->SelectClipRgn(hadClip ? &previous : nullptr);
    }
    else
        image->DrawImage(*dc, box);
}

void CHotTrackZone::DoMove(int dx, int dy)
{
    m_region.OffsetRgn(dx, dy);
}

void CHotTrackZone::RelayEvent(MSG* msg)
{
    if (!msg)
        throw CNullPointerException(THROW_SITE_MESSAGE("No event to relay"));
    if (msg->hwnd != m_support)
        return;
    const CPoint point(static_cast<short>(LOWORD(msg->lParam)), static_cast<short>(HIWORD(msg->lParam)));
    const auto flags = static_cast<UINT>(msg->wParam);
    switch (msg->message)
    {
    case WM_MOUSEMOVE:
        OnMouseMove(flags, point);
        break;
    case WM_LBUTTONDOWN:
        OnLButtonDown(flags, point);
        break;
    case WM_LBUTTONUP:
        OnLButtonUp(flags, point);
        break;
    case WM_LBUTTONDBLCLK:
        OnLButtonDblClk(flags, point);
        break;
    default:
        break;
    }
}

void CHotTrackZone::OnMouseMove(UINT, CPoint) {}
void CHotTrackZone::OnLButtonDown(UINT, CPoint) {}
void CHotTrackZone::OnLButtonUp(UINT, CPoint) {}
void CHotTrackZone::OnLButtonDblClk(UINT, CPoint) {}

CSimpleHTZone::CSimpleHTZone(CRect rect, HWND support)
    : CHotTrackZone(::CreateRectRgn(rect.left, rect.top, rect.right, rect.bottom), support), m_rect(rect)
{
}

void CSimpleHTZone::UpdateZone(CRgn&, int) {}

void CSimpleHTZone::DoMove(int dx, int dy)
{
    m_rect.OffsetRect(dx, dy);
    CHotTrackZone::DoMove(dx, dy);
}

void CSimpleHTZone::Resize(int cx, int cy)
{
    const CRect box = GetBoundingBox();
    const CPoint topLeft = box.IsRectEmpty() ? m_rect.TopLeft() : box.TopLeft();
    CRect next(topLeft.x, topLeft.y, topLeft.x + m_rect.Width(), topLeft.y + m_rect.Height());
    if (cx >= 0)
        next.right = next.left + cx;
    if (cy >= 0)
        next.bottom = next.top + cy;
    m_rect = next;
    Region().SetRectRgn(&m_rect);
}
} // namespace faldra
