#include "shared/faldra/SkinScrollbar.h"

#include "shared/exceptions/Exceptions.h"
#include "shared/faldra/DrawContext.h"

#include <algorithm>
#include <memory>

namespace faldra
{
namespace
{
constexpr int kMinBoxLength = 20;
constexpr UINT_PTR kRepeatDelayTimer = 1;
constexpr UINT_PTR kRepeatTimer = 2;
constexpr UINT kRepeatDelayMs = 250;
constexpr UINT kRepeatMs = 50;
constexpr UINT kRedrawFlags = RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW;

CSimpleHTZone* AsSimple(CHotTrackZone* zone)
{
    return dynamic_cast<CSimpleHTZone*>(zone);
}
} // namespace

// --- CUIElemWrapper ------------------------------------------------------------------------------------

CSkinScrollbar::CUIElemWrapper::CUIElemWrapper(CHotTrackZone* zone)
{
    AddPart(zone);
}

void CSkinScrollbar::CUIElemWrapper::AddPart(CHotTrackZone* zone)
{
    if (!zone)
        throw CNullPointerException(THROW_SITE_MESSAGE("Uninitialized UI element"));
    m_parts.push_back(zone);
}

void CSkinScrollbar::CUIElemWrapper::SetImage(CModularImage* image, CHotTrackZone::ETrackState state)
{
    if (m_parts.empty())
    {
        delete image;
        return;
    }
    m_parts.front()->SetImage(image, state);
    // Each zone owns its image, so the others get copies rather than a second owner of the same one.
    for (size_t i = 1; i < m_parts.size(); ++i)
        m_parts[i]->SetImage(image ? new CModularImage(*image) : nullptr, state);
}

void CSkinScrollbar::CUIElemWrapper::SetImage(HBITMAP bitmap, CHotTrackZone::ETrackState state)
{
    if (m_parts.empty())
    {
        if (bitmap)
            ::DeleteObject(bitmap);
        return;
    }
    m_parts.front()->SetImage(bitmap, state);
    const CModularImage* first = m_parts.front()->GetImage(state);
    for (size_t i = 1; i < m_parts.size(); ++i)
        m_parts[i]->SetImage(first ? new CModularImage(*first) : nullptr, state);
}

void CSkinScrollbar::CUIElemWrapper::SetImage(UINT id, CHotTrackZone::ETrackState state)
{
    for (CHotTrackZone* zone : m_parts)
        zone->SetImage(id, state);
}

void CSkinScrollbar::CUIElemWrapper::SetImageStyle(UINT style, CHotTrackZone::ETrackState state)
{
    for (CHotTrackZone* zone : m_parts)
    {
        CModularImage* image = zone->GetImage(state);
        if (!image)
            throw CNullPointerException(THROW_SITE_MESSAGE("Invalid image"));
        image->SetStyle(style);
    }
}

void CSkinScrollbar::CUIElemWrapper::EnableBkgndErase(BOOL erase, CHotTrackZone::ETrackState state)
{
    for (CHotTrackZone* zone : m_parts)
    {
        CModularImage* image = zone->GetImage(state);
        if (!image)
            throw CNullPointerException(THROW_SITE_MESSAGE("Invalid image"));
        image->EnableBkgndErase(erase);
    }
}

CModularImage* CSkinScrollbar::CUIElemWrapper::GetImage(CHotTrackZone::ETrackState state) const
{
    if (m_parts.empty())
        throw CInvalidObjectException(THROW_SITE_MESSAGE("Undefined UI element"));
    return m_parts.front()->GetImage(state);
}

// --- CSkinScrollbar --------------------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CSkinScrollbar, CStatic)
ON_WM_LBUTTONUP()
ON_WM_LBUTTONDOWN()
ON_WM_MOUSEMOVE()
ON_WM_PAINT()
ON_WM_TIMER()
AFX_MOUSE_ENTRY(WM_LBUTTONDBLCLK, OnLButtonDown)
ON_WM_DESTROY()
ON_WM_SIZE()
END_MESSAGE_MAP()

CSkinScrollbar::CSkinScrollbar() = default;

CSkinScrollbar::~CSkinScrollbar()
{
    // Normally gone with WM_DESTROY; a bar whose window was never destroyed frees them here.
    DeleteElements();
}

void CSkinScrollbar::DeleteElements()
{
    for (CHotTrackZone** zone : {&m_upperChannel, &m_lowerChannel, &m_box, &m_upArrow, &m_downArrow})
    {
        delete *zone;
        *zone = nullptr;
    }
}

bool CSkinScrollbar::HasAllElements() const
{
    return m_upperChannel && m_lowerChannel && m_box && m_upArrow && m_downArrow;
}

int CSkinScrollbar::Lead(const CRect& r) const
{
    return IsVertical() ? r.top : r.left;
}

int CSkinScrollbar::Trail(const CRect& r) const
{
    return IsVertical() ? r.bottom : r.right;
}

void CSkinScrollbar::Place(CHotTrackZone* zone, int lead, int length)
{
    CSimpleHTZone* simple = AsSimple(zone);
    if (!simple)
        return;
    const int delta = lead - Lead(simple->GetRect());
    if (IsVertical())
    {
        simple->Move(0, delta);
        simple->Resize(-1, std::max(length, 0));
    }
    else
    {
        simple->Move(delta, 0);
        simple->Resize(std::max(length, 0), -1);
    }
}

void CSkinScrollbar::InitControl(int upLength, int downLength)
{
    if (upLength < 1 || downLength < 1)
        throw CInvalidArgumentException(THROW_SITE_MESSAGE("Both arrows must have pozitive size"));
    if (!GetSafeHwnd())
        throw CInvalidStateException(THROW_SITE_MESSAGE("Scrollbar control window not yet created"));
    m_managed = TRUE;
    CRect client;
    GetClientRect(&client);
    const bool vertical = IsVertical();
    const int length = vertical ? client.Height() : client.Width();
    const int breadth = vertical ? client.Width() : client.Height();
    try
    {
        if (length < upLength + downLength)
            throw CInvalidArgumentException(THROW_SITE_MESSAGE("Control size to small; arrows out of space"));
        if (length - upLength - downLength < kMinBoxLength)
            throw CInvalidArgumentException(
                THROW_SITE_MESSAGE("Control size too small; scrollbox out of space"));
    }
    catch (const CInvalidArgumentException&)
    {
        return;
    }
    DeleteElements();
    m_boxStart = upLength;
    auto span = [&](int lead, int trail)
    { return vertical ? CRect(0, lead, breadth, trail) : CRect(lead, 0, trail, breadth); };
    const HWND self = GetSafeHwnd();
    std::unique_ptr<CHotTrackZone> up(new (std::nothrow) CSimpleHTZone(span(0, upLength), self));
    if (!up)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate UpArrow object"));
    std::unique_ptr<CHotTrackZone> down(new (std::nothrow)
                                            CSimpleHTZone(span(length - downLength, length), self));
    if (!down)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate DownArrow object"));
    std::unique_ptr<CHotTrackZone> box(new (std::nothrow)
                                           CSimpleHTZone(span(upLength, length - downLength), self));
    if (!box)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate TrackControl object"));
    std::unique_ptr<CHotTrackZone> upper(new (std::nothrow) CSimpleHTZone(span(upLength, upLength), self));
    if (!upper)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate Upper scrollbar channel object"));
    std::unique_ptr<CHotTrackZone> lower(
        new (std::nothrow) CSimpleHTZone(span(length - downLength, length - downLength), self));
    if (!lower)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate Lower scrollbar channel object"));
    m_upArrow = up.release();
    m_downArrow = down.release();
    m_box = box.release();
    m_upperChannel = upper.release();
    m_lowerChannel = lower.release();
}

void CSkinScrollbar::InitControl(CRgn& up, CRgn& down, CRgn& box)
{
    if (!GetSafeHwnd())
        throw CInvalidObjectException(THROW_SITE_MESSAGE("Scrollbar control window not yet created"));
    // The zones own copies; the caller keeps its regions.
    auto copyOf = [](CRgn& region)
    {
        HRGN copy = ::CreateRectRgn(0, 0, 0, 0);
        ::CombineRgn(copy, region, nullptr, RGN_COPY);
        return copy;
    };
    DeleteElements();
    m_managed = FALSE;
    const HWND self = GetSafeHwnd();
    std::unique_ptr<CHotTrackZone> upZone(new (std::nothrow) CHotTrackZone(copyOf(up), self));
    if (!upZone)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate UpArrow object"));
    std::unique_ptr<CHotTrackZone> downZone(new (std::nothrow) CHotTrackZone(copyOf(down), self));
    if (!downZone)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate DownArrow object"));
    std::unique_ptr<CHotTrackZone> boxZone(new (std::nothrow) CHotTrackZone(copyOf(box), self));
    if (!boxZone)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate TrackControl object"));
    m_upArrow = upZone.release();
    m_downArrow = downZone.release();
    m_box = boxZone.release();
}

void CSkinScrollbar::SetElemRegion(CRgn& region, EElemType type)
{
    if (type == ET_CHANNEL)
        return;
    if (m_managed)
    {
        m_managed = FALSE;
        return;
    }
    switch (type)
    {
    case ET_UPARROW:
        if (!m_upArrow)
            throw CNullPointerException(THROW_SITE_MESSAGE("No arrow-up element defined"));
        m_upArrow->UpdateZone(region, RGN_COPY);
        break;
    case ET_DOWNARROW:
        if (!m_downArrow)
            throw CNullPointerException(THROW_SITE_MESSAGE("No arrow-down element defined"));
        m_downArrow->UpdateZone(region, RGN_COPY);
        break;
    case ET_SCROLLBOX:
        if (!m_box)
            throw CNullPointerException(THROW_SITE_MESSAGE("No scrollbox element defined"));
        m_box->UpdateZone(region, RGN_COPY);
        break;
    default:
        break;
    }
}

void CSkinScrollbar::ResizeArrows(int upLength, int downLength, BOOL redraw)
{
    if (!GetSafeHwnd())
        throw CInvalidStateException(THROW_SITE_MESSAGE("Scrollbar control window not yet created"));
    if (!m_managed || !m_upArrow || !m_downArrow)
        return;
    CRect client;
    GetClientRect(&client);
    const int length = IsVertical() ? client.Height() : client.Width();
    const CRect upRect = m_upArrow->GetBoundingBox();
    const CRect downRect = m_downArrow->GetBoundingBox();
    if (upLength <= 0)
        upLength = Trail(upRect) - Lead(upRect);
    if (downLength <= 0)
        downLength = Trail(downRect) - Lead(downRect);
    if (length < upLength + downLength + kMinBoxLength)
        throw CInvalidArgumentException(THROW_SITE_MESSAGE("New element(s) size too big"));
    Place(m_upArrow, Lead(upRect), upLength);
    // The down arrow stays at the end of the bar, so a longer arrow grows toward the track.
    Place(m_downArrow, length - downLength, downLength);
    Layout();
    if (redraw)
        Redraw();
}

// --- skin ------------------------------------------------------------------------------------------------

CSkinScrollbar::CUIElemWrapper CSkinScrollbar::GetUIElem(EElemType type)
{
    CUIElemWrapper wrapper;
    switch (type)
    {
    case ET_UPARROW:
        wrapper.AddPart(m_upArrow);
        break;
    case ET_DOWNARROW:
        wrapper.AddPart(m_downArrow);
        break;
    case ET_SCROLLBOX:
        wrapper.AddPart(m_box);
        break;
    case ET_CHANNEL:
        wrapper.AddPart(m_upperChannel);
        wrapper.AddPart(m_lowerChannel);
        break;
    default:
        throw CInvalidArgumentException(THROW_SITE_MESSAGE("Unknown element type"));
    }
    return wrapper;
}

void CSkinScrollbar::SetElemImage(UINT id, EElemType type, CHotTrackZone::ETrackState state)
{
    auto bitmap = static_cast<HBITMAP>(CDrawContext::LoadResourceHlp(MAKEINTRESOURCE(id), RT_BITMAP));
    if (!bitmap)
        throw COSResourceException(THROW_SITE_MESSAGE("Failed to load the indicated bitmap resource"),
                                   static_cast<int>(::GetLastError()));
    SetElemImage(bitmap, type, state);
}

void CSkinScrollbar::SetElemImage(HBITMAP bitmap, EElemType type, CHotTrackZone::ETrackState state)
{
    bool taken = false;
    try
    {
        CUIElemWrapper wrapper = GetUIElem(type);
        taken = true;
        wrapper.SetImage(bitmap, state);
        wrapper.EnableBkgndErase(FALSE, state);
    }
    catch (const std::logic_error&)
    {
        if (!taken && bitmap)
            ::DeleteObject(bitmap);
    }
}

void CSkinScrollbar::SetElemImage(CModularImage* image, EElemType type, CHotTrackZone::ETrackState state)
{
    bool taken = false;
    try
    {
        CUIElemWrapper wrapper = GetUIElem(type);
        taken = true;
        wrapper.SetImage(image, state);
        wrapper.EnableBkgndErase(FALSE, state);
    }
    catch (const std::logic_error&)
    {
        if (!taken)
            delete image;
    }
}

CModularImage* CSkinScrollbar::GetElemImage(EElemType type, CHotTrackZone::ETrackState state)
{
    try
    {
        return GetUIElem(type).GetImage(state);
    }
    catch (const std::exception&)
    {
        return nullptr;
    }
}

void CSkinScrollbar::SetBoxStrip(UINT id, CModularImage::EFrameType frame)
{
    CModularImage* image = GetElemImage(ET_SCROLLBOX, CHotTrackZone::TS_NORMAL);
    if (!image)
        return;
    if (HBITMAP old = image->SetFrame(id, frame, FALSE))
        ::DeleteObject(old);
}

void CSkinScrollbar::SetVSkin(UINT upArrow, UINT channel, UINT boxTop, UINT boxCentre, UINT boxBottom,
                              UINT downArrow)
{
    const auto normal = CHotTrackZone::TS_NORMAL;
    if (upArrow)
        SetElemImage(upArrow, ET_UPARROW, normal);
    if (downArrow)
        SetElemImage(downArrow, ET_DOWNARROW, normal);
    if (boxCentre)
        SetElemImage(boxCentre, ET_SCROLLBOX, normal);
    if (channel)
        SetElemImage(channel, ET_CHANNEL, normal);
    if (boxTop)
        SetBoxStrip(boxTop, CModularImage::FT_TOP);
    if (boxBottom)
        SetBoxStrip(boxBottom, CModularImage::FT_BOTTOM);
}

void CSkinScrollbar::SetHSkin(UINT leftArrow, UINT channel, UINT boxLeft, UINT boxCentre, UINT boxRight,
                              UINT rightArrow)
{
    const auto normal = CHotTrackZone::TS_NORMAL;
    SetElemImage(boxCentre, ET_SCROLLBOX, normal);
    SetElemImage(channel, ET_CHANNEL, normal);
    if (GetExStyle() & WS_EX_LAYOUTRTL)
    {
        SetBoxStrip(boxRight, CModularImage::FT_LEFT);
        SetBoxStrip(boxLeft, CModularImage::FT_RIGHT);
        SetElemImage(rightArrow, ET_UPARROW, normal);
        SetElemImage(leftArrow, ET_DOWNARROW, normal);
    }
    else
    {
        SetElemImage(leftArrow, ET_UPARROW, normal);
        SetElemImage(rightArrow, ET_DOWNARROW, normal);
        SetBoxStrip(boxLeft, CModularImage::FT_LEFT);
        SetBoxStrip(boxRight, CModularImage::FT_RIGHT);
    }
}

// --- scroll state ----------------------------------------------------------------------------------------

int CSkinScrollbar::GetRealRange(int min, int max, UINT page)
{
    const long long range = static_cast<long long>(max) - min - static_cast<long long>(page) + 1;
    return static_cast<int>(std::clamp<long long>(range, 0, INT_MAX));
}

bool CSkinScrollbar::ReadState(SCROLLINFO& info) const
{
    info = SCROLLINFO{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
    return OnGetScrollInfo(&info) != FALSE;
}

BOOL CSkinScrollbar::SetScrollRange(int min, int max, BOOL redraw)
{
    return DoSetRange(min, max, redraw);
}

BOOL CSkinScrollbar::GetScrollInfo(SCROLLINFO* info, UINT mask)
{
    if (!info)
        return FALSE;
    info->cbSize = sizeof(SCROLLINFO);
    info->fMask = mask;
    return OnGetScrollInfo(info);
}

int CSkinScrollbar::GetScrollLimit() const
{
    int min = 0;
    int max = 0;
    OnGetRange(&min, &max);
    return max;
}

int CSkinScrollbar::OnGetPos() const
{
    if (m_mirror)
        return m_buddy ? ::GetScrollPos(m_buddy->GetSafeHwnd(), IsVertical() ? SB_VERT : SB_HORZ) : 0;
    return m_pos;
}

void CSkinScrollbar::OnGetRange(int* min, int* max) const
{
    if (m_mirror)
    {
        int a = 0;
        int b = 0;
        if (m_buddy)
            ::GetScrollRange(m_buddy->GetSafeHwnd(), IsVertical() ? SB_VERT : SB_HORZ, &a, &b);
        if (min)
            *min = a;
        if (max)
            *max = b;
        return;
    }
    if (min)
        *min = m_min;
    if (max)
        *max = m_max;
}

BOOL CSkinScrollbar::OnGetScrollInfo(SCROLLINFO* info) const
{
    if (!info)
        return FALSE;
    if (m_mirror)
        return m_buddy && ::GetScrollInfo(m_buddy->GetSafeHwnd(), IsVertical() ? SB_VERT : SB_HORZ, info);
    if (info->fMask & SIF_RANGE)
    {
        info->nMin = m_min;
        info->nMax = m_max;
    }
    if (info->fMask & SIF_POS)
        info->nPos = m_pos;
    if (info->fMask & SIF_PAGE)
        info->nPage = m_page;
    if (info->fMask & SIF_TRACKPOS)
        info->nTrackPos = m_trackPos;
    return TRUE;
}

int CSkinScrollbar::OnSetPos(int pos, BOOL redraw)
{
    if (m_mirror)
        return 0;
    const int top = static_cast<int>(
        std::min<long long>(static_cast<long long>(m_min) + GetRealRange(m_min, m_max, m_page), INT_MAX));
    const int next = std::clamp(pos, m_min, std::max(m_min, top));
    const int previous = m_pos;
    m_pos = next;
    if (m_refresh)
        Layout();
    if (redraw)
        Redraw();
    return previous != next ? previous : 0;
}

BOOL CSkinScrollbar::DoSetRange(int min, int max, BOOL redraw)
{
    if (m_mirror)
        return 0;
    m_min = std::min(min, max);
    m_max = std::max(min, max);
    OnSetPos(m_pos, FALSE);
    if (m_refresh)
        Layout();
    if (redraw)
        Redraw();
    return 1;
}

int CSkinScrollbar::OnSetScrollInfo(BOOL redraw, SCROLLINFO* info)
{
    if (m_mirror)
        return m_buddy ? ::GetScrollPos(m_buddy->GetSafeHwnd(), IsVertical() ? SB_VERT : SB_HORZ) : 0;
    if (!info)
        return m_pos;
    m_refresh = FALSE;
    if (info->fMask & SIF_RANGE)
        OnSetRange(info->nMin, info->nMax);
    if (info->fMask & SIF_PAGE)
    {
        m_page = info->nPage ? info->nPage : 1;
        // A larger page shortens the scrollable range; keep the position inside it.
        OnSetPos(m_pos, FALSE);
    }
    if (info->fMask & SIF_POS)
        OnSetPos(info->nPos, FALSE);
    m_refresh = TRUE;
    Layout();
    if (redraw)
        Redraw();
    return m_pos;
}

// --- geometry --------------------------------------------------------------------------------------------

void CSkinScrollbar::Layout()
{
    // Called from setters and window messages: a bar without its elements has nothing to lay out.
    if (HasAllElements())
        UpdateUI();
}

void CSkinScrollbar::Redraw()
{
    if (GetSafeHwnd())
        RedrawWindow(nullptr, nullptr, kRedrawFlags);
}

int CSkinScrollbar::GetScrollLength()
{
    if (!m_upArrow || !m_downArrow || !m_box)
        throw CNullPointerException(THROW_SITE_MESSAGE("Some UI elements undefined"));
    const int track = Lead(m_downArrow->GetBoundingBox()) - Trail(m_upArrow->GetBoundingBox());
    const CRect box = m_box->GetBoundingBox();
    return std::max(0, track - (Trail(box) - Lead(box)));
}

void CSkinScrollbar::UpdateUI()
{
    if (!HasAllElements())
        throw CNullPointerException(THROW_SITE_MESSAGE("Some UI elements undefined"));
    SCROLLINFO info;
    if (!ReadState(info))
        return;
    const int range = GetRealRange(info.nMin, info.nMax, info.nPage);
    const int shown = m_dragging ? m_trackPos : info.nPos;
    if (!m_managed)
        return;
    const int trackStart = Trail(m_upArrow->GetBoundingBox());
    const int trackEnd = std::max(trackStart, Lead(m_downArrow->GetBoundingBox()));
    const int track = trackEnd - trackStart;
    int boxLength = track;
    const long long span = static_cast<long long>(info.nMax) - info.nMin + 1;
    if (info.nPage != 0 && span > 0)
    {
        boxLength = static_cast<int>(
            std::max<long long>(track * static_cast<long long>(info.nPage) / span, kMinBoxLength));
        if (boxLength >= track)
            boxLength = track;
    }
    const int scrollLength = track - boxLength;
    long long start = trackStart;
    if (range != 0)
        start += static_cast<long long>(scrollLength) * (static_cast<long long>(shown) - info.nMin) / range;
    const int boxStart = static_cast<int>(std::clamp<long long>(start, trackStart, trackEnd - boxLength));
    Place(m_box, boxStart, boxLength);
    m_boxStart = boxStart;
    Place(m_upperChannel, trackStart, boxStart - trackStart);
    Place(m_lowerChannel, boxStart + boxLength, trackEnd - boxStart - boxLength);
}

CSkinScrollbar::EPointPos CSkinScrollbar::GetPositionInScrollbar(CPoint point)
{
    if (!HasAllElements())
        throw CNullPointerException(THROW_SITE_MESSAGE("Some UI elements undefined"));
    if (m_upArrow->IsPtInside(point))
        return PP_UPARROW;
    if (m_downArrow->IsPtInside(point))
        return PP_DOWNARROW;
    if (m_box->IsPtInside(point))
        return PP_SCROLLBOX;
    if (m_upperChannel->IsPtInside(point))
        return PP_UPPERCHANNEL;
    if (m_lowerChannel->IsPtInside(point))
        return PP_LOWERCHANNEL;
    return PP_NONE;
}

int CSkinScrollbar::GetTrackPos(CPoint point)
{
    if (!m_upArrow || !m_box || !m_managed)
        return 0;
    SCROLLINFO info;
    if (!ReadState(info))
        return 0;
    const int scrollLength = GetScrollLength();
    if (scrollLength == 0)
        return info.nMin;
    const int trackStart = Trail(m_upArrow->GetBoundingBox());
    const int p = std::clamp(static_cast<int>(IsVertical() ? point.y : point.x) - m_dragOffset, trackStart,
                             trackStart + scrollLength);
    if (m_mirror && p == m_boxStart)
        return info.nPos;
    const int range = GetRealRange(info.nMin, info.nMax, info.nPage);
    return static_cast<int>(static_cast<long long>(p - trackStart) * range / scrollLength + info.nMin);
}

// --- scrolling -------------------------------------------------------------------------------------------

void CSkinScrollbar::Scroll2(EScrollRequest request, CPoint point)
{
    static constexpr UINT kCodes[] = {SB_TOP,    SB_BOTTOM,   SB_LINEUP,        SB_LINEDOWN,
                                      SB_PAGEUP, SB_PAGEDOWN, SB_THUMBPOSITION, SB_THUMBTRACK};
    if (request < SR_TOP || request > SR_THUMBDRAGGED)
        return;
    SCROLLINFO info;
    if (!ReadState(info) || info.nPage == 0)
        return;
    m_refresh = FALSE;
    const UINT message = IsVertical() ? WM_VSCROLL : WM_HSCROLL;
    const UINT code = kCodes[request];
    bool send = true;
    int position = 0;
    if (m_mirror)
    {
        if (request == SR_THUMBRELEASED || request == SR_THUMBDRAGGED)
        {
            m_trackPos = GetTrackPos(point);
            position = m_trackPos;
        }
    }
    else if (request == SR_THUMBRELEASED)
    {
        m_trackPos = GetTrackPos(point);
        OnSetPos(m_trackPos, FALSE);
        position = m_trackPos;
    }
    else if (request == SR_THUMBDRAGGED)
    {
        m_trackPos = GetTrackPos(point);
        position = m_trackPos;
    }
    else
    {
        const int previous = m_pos;
        const auto page = static_cast<long long>(m_page);
        long long next = m_pos;
        switch (request)
        {
        case SR_TOP:
            next = m_min;
            break;
        case SR_BOTTOM:
            next = m_max;
            break;
        case SR_LINEBACK:
            next = static_cast<long long>(m_pos) - 1;
            break;
        case SR_LINEFORWARD:
            next = static_cast<long long>(m_pos) + 1;
            break;
        case SR_PAGEBACK:
            next = m_pos - page + 1;
            break;
        case SR_PAGEFORWARD:
            next = m_pos + page - 1;
            break;
        default:
            break;
        }
        OnSetPos(static_cast<int>(std::clamp<long long>(next, INT_MIN, INT_MAX)), FALSE);
        send = m_pos != previous || previous == 0;
    }
    m_refresh = TRUE;
    if (send && m_buddy && m_buddy->GetSafeHwnd())
    {
        const WORD high =
            (code == SB_THUMBPOSITION || code == SB_THUMBTRACK) ? static_cast<WORD>(position) : 0;
        m_buddy->SendMessage(message, MAKEWPARAM(code, high), 0);
    }
    if (!GetSafeHwnd())
        return;
    Layout();
    Redraw();
}

// --- messages --------------------------------------------------------------------------------------------

void CSkinScrollbar::OnLButtonDown(UINT, CPoint point)
{
    SetCapture();
    if (!HasAllElements())
        return;
    switch (GetPositionInScrollbar(point))
    {
    case PP_SCROLLBOX:
        m_dragOffset = (IsVertical() ? point.y : point.x) - m_boxStart;
        // A mirroring bar keeps no position of its own; the buddy's is where the box is.
        m_trackPos = OnGetPos();
        m_dragging = TRUE;
        break;
    case PP_UPARROW:
        m_upPressed = TRUE;
        SetTimer(kRepeatDelayTimer, kRepeatDelayMs);
        Scroll2(SR_LINEBACK, point);
        break;
    case PP_DOWNARROW:
        m_downPressed = TRUE;
        SetTimer(kRepeatDelayTimer, kRepeatDelayMs);
        Scroll2(SR_LINEFORWARD, point);
        break;
    case PP_UPPERCHANNEL:
        m_upperChannelPressed = TRUE;
        SetTimer(kRepeatDelayTimer, kRepeatDelayMs);
        Scroll2(SR_PAGEBACK, point);
        break;
    case PP_LOWERCHANNEL:
        m_lowerChannelPressed = TRUE;
        SetTimer(kRepeatDelayTimer, kRepeatDelayMs);
        Scroll2(SR_PAGEFORWARD, point);
        break;
    default:
        break;
    }
}

void CSkinScrollbar::OnTimer(UINT_PTR id)
{
    if (id != kRepeatDelayTimer && id != kRepeatTimer)
        return;
    if (HasAllElements())
    {
        CPoint cursor;
        ::GetCursorPos(&cursor);
        ScreenToClient(&cursor);
        switch (GetPositionInScrollbar(cursor))
        {
        case PP_UPARROW:
            if (m_upPressed)
                Scroll2(SR_LINEBACK, cursor);
            break;
        case PP_DOWNARROW:
            if (m_downPressed)
                Scroll2(SR_LINEFORWARD, cursor);
            break;
        case PP_UPPERCHANNEL:
            if (m_upperChannelPressed)
                Scroll2(SR_PAGEBACK, cursor);
            break;
        case PP_LOWERCHANNEL:
            if (m_lowerChannelPressed)
                Scroll2(SR_PAGEFORWARD, cursor);
            break;
        default:
            break;
        }
    }
    if (id == kRepeatDelayTimer && GetSafeHwnd())
    {
        KillTimer(kRepeatDelayTimer);
        SetTimer(kRepeatTimer, kRepeatMs);
    }
}

void CSkinScrollbar::OnMouseMove(UINT, CPoint point)
{
    if (m_dragging)
        Scroll2(SR_THUMBDRAGGED, point);
}

void CSkinScrollbar::OnLButtonUp(UINT, CPoint point)
{
    ::ReleaseCapture();
    KillTimer(kRepeatDelayTimer);
    KillTimer(kRepeatTimer);
    if (m_dragging)
    {
        Scroll2(SR_THUMBRELEASED, point);
        m_dragging = FALSE;
        Layout();
        Redraw();
    }
    m_dragging = FALSE;
    m_upPressed = m_downPressed = m_upperChannelPressed = m_lowerChannelPressed = FALSE;
}

void CSkinScrollbar::OnPaint()
{
    CPaintDC dc(this);
    if (m_mirror)
        Layout();
    OnDraw(&dc);
}

void CSkinScrollbar::OnDraw(CDC* dc)
{
    if (!dc)
        throw CNullPointerException(THROW_SITE_MESSAGE("No device context received"));
    CRect client;
    GetClientRect(&client);
    for (CHotTrackZone* zone : {m_upperChannel, m_lowerChannel, m_box, m_upArrow, m_downArrow})
        if (zone)
            zone->OnDraw(dc, client.Size(), 0);
}

void CSkinScrollbar::OnDestroy()
{
    KillTimer(kRepeatDelayTimer);
    KillTimer(kRepeatTimer);
    m_buddy = nullptr;
    DeleteElements();
    Default();
}

void CSkinScrollbar::OnSize(UINT type, int cx, int cy)
{
    Default();
    if (type != SIZE_RESTORED || !HasAllElements() || !m_managed)
        return;
    const bool vertical = IsVertical();
    const int length = vertical ? cy : cx;
    const int breadth = vertical ? cx : cy;
    const CRect upRect = m_upArrow->GetBoundingBox();
    const CRect downRect = m_downArrow->GetBoundingBox();
    const int upLength = Trail(upRect) - Lead(upRect);
    const int downLength = Trail(downRect) - Lead(downRect);
    // Too small for the arrows and a box: keep the old layout rather than fail inside the window procedure.
    if (upLength + downLength > length || length - upLength - downLength < kMinBoxLength)
        return;
    for (CHotTrackZone* zone : {m_upperChannel, m_lowerChannel, m_box, m_upArrow, m_downArrow})
        if (CSimpleHTZone* simple = AsSimple(zone))
            vertical ? simple->Resize(breadth, -1) : simple->Resize(-1, breadth);
    Place(m_downArrow, length - downLength, downLength);
    Layout();
}

BOOL CSkinScrollbar::PreTranslateMessage(MSG* msg)
{
    if (msg)
        for (CHotTrackZone* zone : {m_upperChannel, m_lowerChannel, m_box, m_upArrow, m_downArrow})
            if (zone)
                zone->RelayEvent(msg);
    return CStatic::PreTranslateMessage(msg);
}
} // namespace faldra
