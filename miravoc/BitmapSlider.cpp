#include "miravoc/BitmapSlider.h"

#include "Controls/MemDC.h"

#include <algorithm>
#include <cstdlib>

namespace
{
constexpr COLORREF kColourOfCorner = 0xFF000000;

/// A DC with one bitmap selected for the lifetime of the object.
class SelectedBitmap
{
public:
    SelectedBitmap(CDC* compatible, CBitmap* bitmap)
    {
        m_dc.CreateCompatibleDC(compatible);
        m_old = m_dc.SelectObject(bitmap);
    }
    ~SelectedBitmap() { m_dc.SelectObject(m_old); }
    SelectedBitmap(const SelectedBitmap&) = delete;
    SelectedBitmap& operator=(const SelectedBitmap&) = delete;
    CDC* operator->() { return &m_dc; }
    CDC* Dc() { return &m_dc; }

private:
    CDC m_dc;
    CBitmap* m_old = nullptr;
};

CSize SizeOf(const CBitmap& bitmap)
{
    BITMAP info{};
    bitmap.GetBitmap(&info);
    return CSize(info.bmWidth, info.bmHeight);
}
} // namespace

BEGIN_MESSAGE_MAP(CBitmapSlider, CSliderCtrl)
ON_WM_PAINT()
ON_WM_ERASEBKGND()
ON_WM_LBUTTONDOWN()
ON_WM_MOUSEMOVE()
ON_WM_LBUTTONUP()
ON_WM_MOUSEWHEEL()
ON_WM_KEYDOWN()
ON_WM_SETCURSOR()
ON_WM_DESTROY()
END_MESSAGE_MAP()

CBitmapSlider::CBitmapSlider() = default;

CBitmapSlider::~CBitmapSlider()
{
    UnloadChannel();
    UnloadThumb();
    m_bmThumbBg.DeleteObject();
}

// ---------------------------------------------------------------------------------------------------------
// Range, position and notifications
// ---------------------------------------------------------------------------------------------------------

void CBitmapSlider::SetValueRange(int minimum, int maximum, BOOL redraw)
{
    m_nMin = minimum;
    m_nMax = maximum;
    SendMessage(TBM_SETRANGEMIN, FALSE, minimum);
    SendMessage(TBM_SETRANGEMAX, static_cast<WPARAM>(redraw), maximum);
    if (redraw)
        Invalidate(TRUE);
}

void CBitmapSlider::SetValue(int value, bool clamp)
{
    if (clamp)
        value = std::clamp(value, m_nMin, std::max(m_nMin, m_nMax));
    if (value < m_nMin || value > m_nMax)
    {
        m_bValueAccepted = false;
        return;
    }
    m_nPos = value;
    SendMessage(TBM_SETPOS, TRUE, value);
    Invalidate(TRUE);
    const int native = GetPos();
    if (native != m_nLastNotified)
    {
        m_nLastNotified = native;
        NotifyParent();
    }
    m_bValueAccepted = true;
}

LPARAM CBitmapSlider::NotificationBlock()
{
    m_nmhdr.hwndFrom = m_hWnd;
    m_nmhdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID());
    m_nmhdr.code = 0;
    return reinterpret_cast<LPARAM>(&m_nmhdr);
}

void CBitmapSlider::NotifyParent()
{
    if (!m_bNotify || !m_hWnd)
        return;
    if (CWnd* parent = GetParent())
        parent->SendMessage(WM_BITMAPSLIDER_MOVED, 0, NotificationBlock());
}

void CBitmapSlider::EnableSlider(bool on)
{
    m_bEnable = on;
    if (!on && m_bLButtonDown)
    {
        m_bLButtonDown = false;
        m_bPressOnThumb = false;
        if (GetCapture() == this)
            ReleaseCapture();
    }
    Invalidate(TRUE);
}

void CBitmapSlider::SetVertical(bool vertical)
{
    m_bVertical = vertical;
}

// ---------------------------------------------------------------------------------------------------------
// Geometry
// ---------------------------------------------------------------------------------------------------------

int CBitmapSlider::SizeAlong() const
{
    return m_bVertical ? m_nHeight : m_nWidth;
}

int CBitmapSlider::ThumbAlong() const
{
    return m_bVertical ? m_nThumbHeight : m_nThumbWidth;
}

int CBitmapSlider::StartMargin() const
{
    return m_bVertical ? m_nMarginTop : m_nMarginLeft;
}

int CBitmapSlider::EndMargin() const
{
    return m_bVertical ? m_nMarginBottom : m_nMarginRight;
}

int CBitmapSlider::Along(CPoint point) const
{
    return m_bVertical ? point.y : point.x;
}

int CBitmapSlider::ValueToPixel(int value) const
{
    const double span = static_cast<double>(m_nMax) - m_nMin;
    const int first = StartMargin() + ThumbAlong() / 2;
    // An empty range (no volume control reports the same bound twice) has its only value at the start.
    if (span == 0)
        return first;
    const int travel = SizeAlong() - EndMargin() - ThumbAlong() - StartMargin();
    return static_cast<int>((value - static_cast<double>(m_nMin)) / span * travel) + first;
}

int CBitmapSlider::PixelToValue(int pixel) const
{
    const int travel = SizeAlong() - EndMargin() - StartMargin() - ThumbAlong();
    if (travel <= 0 || m_nMax == m_nMin)
        return m_nMin;
    const double span = static_cast<double>(m_nMax) - m_nMin;
    return static_cast<int>((pixel - ThumbAlong() / 2 - StartMargin()) / static_cast<double>(travel) * span +
                            m_nMin);
}

// ---------------------------------------------------------------------------------------------------------
// Bitmaps
// ---------------------------------------------------------------------------------------------------------

BOOL CBitmapSlider::LoadWithMask(UINT id, CBitmap& bitmap, CBitmap& mask, BOOL transparent,
                                 COLORREF transparentColour, int x, int y)
{
    bitmap.DeleteObject();
    mask.DeleteObject();
    if (!bitmap.LoadBitmap(id))
        return FALSE;
    if (!transparent)
        return TRUE;
    const CSize size = SizeOf(bitmap);
    if (!mask.CreateBitmap(size.cx, size.cy, 1, 1, nullptr))
    {
        bitmap.DeleteObject();
        return FALSE;
    }
    SelectedBitmap picture(nullptr, &bitmap);
    SelectedBitmap bits(nullptr, &mask);
    const COLORREF key = transparentColour == kColourOfCorner ? picture->GetPixel(x, y) : transparentColour;
    // The key colour becomes white in the mask, the rest black; then the key pixels of the picture black,
    // so that the mask (AND) and the picture (OR) together leave the key colour out.
    picture->SetBkColor(key);
    bits->BitBlt(0, 0, size.cx, size.cy, picture.Dc(), 0, 0, SRCCOPY);
    picture->SetTextColor(RGB(255, 255, 255));
    picture->SetBkColor(RGB(0, 0, 0));
    picture->BitBlt(0, 0, size.cx, size.cy, bits.Dc(), 0, 0, SRCAND);
    return TRUE;
}

void CBitmapSlider::UnloadChannel()
{
    m_bmChannel.DeleteObject();
    m_bmChannelMask.DeleteObject();
    m_bmChannelActive.DeleteObject();
    m_bmChannelActiveMask.DeleteObject();
    m_bChannel = m_bChannelActive = false;
}

void CBitmapSlider::UnloadThumb()
{
    m_bmThumb.DeleteObject();
    m_bmThumbMask.DeleteObject();
    m_bmThumbActive.DeleteObject();
    m_bmThumbActiveMask.DeleteObject();
    m_bmThumbDisabled.DeleteObject();
    m_bmThumbDisabledMask.DeleteObject();
    m_bThumb = m_bThumbActive = m_bThumbDisabled = false;
}

BOOL CBitmapSlider::LoadChannelBitmaps(UINT channel, UINT activeChannel, BOOL transparent,
                                       COLORREF transparentColour, int x, int y)
{
    if (channel == 0)
    {
        UnloadChannel();
        return TRUE;
    }
    UnloadChannel();
    if (!LoadWithMask(channel, m_bmChannel, m_bmChannelMask, transparent, transparentColour, x, y))
        return FALSE;
    if (activeChannel && !LoadWithMask(activeChannel, m_bmChannelActive, m_bmChannelActiveMask, transparent,
                                       transparentColour, x, y))
    {
        UnloadChannel();
        return FALSE;
    }
    const CSize size = SizeOf(m_bmChannel);
    m_nWidth = size.cx;
    m_nHeight = size.cy;
    if (m_hWnd)
    {
        SetWindowPos(nullptr, 0, 0, m_nWidth, m_nHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        GetClientRect(&m_rect);
    }
    m_bTransparentChannel = transparent != FALSE;
    m_bChannelActive = activeChannel != 0;
    m_bChannel = true;
    NotifyParent();
    return TRUE;
}

BOOL CBitmapSlider::LoadThumbBitmaps(UINT disabledThumb, UINT thumb, UINT activeThumb, BOOL transparent,
                                     COLORREF transparentColour, int x, int y)
{
    UnloadThumb();
    if (thumb == 0)
        return TRUE;
    if (!LoadWithMask(thumb, m_bmThumb, m_bmThumbMask, transparent, transparentColour, x, y) ||
        (activeThumb && !LoadWithMask(activeThumb, m_bmThumbActive, m_bmThumbActiveMask, transparent,
                                      transparentColour, x, y)) ||
        (disabledThumb && !LoadWithMask(disabledThumb, m_bmThumbDisabled, m_bmThumbDisabledMask, transparent,
                                        transparentColour, x, y)))
    {
        UnloadThumb();
        return FALSE;
    }
    const CSize size = SizeOf(m_bmThumb);
    m_nThumbWidth = size.cx;
    m_nThumbHeight = size.cy;
    if (!m_bChannel && m_hWnd)
    {
        GetClientRect(&m_rect);
        m_nWidth = m_rect.Width();
        m_nHeight = m_rect.Height();
    }
    m_bTransparentThumb = transparent != FALSE;
    m_bThumbActive = activeThumb != 0;
    m_bThumbDisabled = disabledThumb != 0;
    m_bThumb = true;
    NotifyParent();
    return TRUE;
}

// ---------------------------------------------------------------------------------------------------------
// Painting
// ---------------------------------------------------------------------------------------------------------

void CBitmapSlider::DrawBitmap(CDC* dc, int x, int y, int width, int height, CBitmap* bitmap, CBitmap* mask,
                               int srcX, int srcY, bool transparent)
{
    if (width <= 0 || height <= 0)
        return;
    SelectedBitmap picture(dc, bitmap);
    if (!transparent)
    {
        dc->BitBlt(x, y, width, height, picture.Dc(), srcX, srcY, SRCCOPY);
        return;
    }
    SelectedBitmap bits(dc, mask);
    dc->BitBlt(x, y, width, height, bits.Dc(), srcX, srcY, SRCAND);
    dc->BitBlt(x, y, width, height, picture.Dc(), srcX, srcY, SRCPAINT);
}

void CBitmapSlider::SaveBackground(CDC* dc, int x, int y)
{
    m_bmThumbBg.DeleteObject();
    if (!m_bmThumbBg.CreateCompatibleBitmap(dc, m_nThumbWidth, m_nThumbHeight))
        return;
    SelectedBitmap saved(dc, &m_bmThumbBg);
    saved->BitBlt(0, 0, m_nThumbWidth, m_nThumbHeight, dc, x, y, SRCCOPY);
    m_nThumbBgX = x;
    m_nThumbBgY = y;
}

void CBitmapSlider::DrawThumb(CDC* dc, CBitmap* thumb, CBitmap* mask)
{
    const int centre = ValueToPixel(GetPos());
    const int x = m_bVertical ? m_nMarginLeft : centre - m_nThumbWidth / 2;
    const int y = m_bVertical ? centre - m_nThumbHeight / 2 : m_nMarginTop;
    if (m_bTransparentChannel || !m_bChannel)
        SaveBackground(dc, x, y);
    DrawBitmap(dc, x, y, m_nThumbWidth, m_nThumbHeight, thumb, mask, 0, 0, m_bTransparentThumb);
}

void CBitmapSlider::OnPaint()
{
    CPaintDC paint(this);
    CRect client;
    GetClientRect(&client);
    CMemDC dc(&paint, &client);

    if (m_bChannel)
    {
        if (m_bChannelActive && m_bEnable)
        {
            const int split = std::clamp(ValueToPixel(GetPos()), 0, SizeAlong());
            if (m_bVertical)
            {
                DrawBitmap(dc, 0, 0, m_nWidth, split, &m_bmChannelActive, &m_bmChannelActiveMask, 0, 0,
                           m_bTransparentChannel);
                DrawBitmap(dc, 0, split, m_nWidth, m_nHeight - split, &m_bmChannel, &m_bmChannelMask, 0,
                           split, m_bTransparentChannel);
            }
            else
            {
                DrawBitmap(dc, 0, 0, split, m_nHeight, &m_bmChannelActive, &m_bmChannelActiveMask, 0, 0,
                           m_bTransparentChannel);
                DrawBitmap(dc, split, 0, m_nWidth - split, m_nHeight, &m_bmChannel, &m_bmChannelMask, split,
                           0, m_bTransparentChannel);
            }
        }
        else
            DrawBitmap(dc, 0, 0, m_nWidth, m_nHeight, &m_bmChannel, &m_bmChannelMask, 0, 0,
                       m_bTransparentChannel);
    }

    if (m_nThumbBgX >= 0 && m_bmThumbBg.GetSafeHandle())
    {
        DrawBitmap(dc, m_nThumbBgX, m_nThumbBgY, m_nThumbWidth, m_nThumbHeight, &m_bmThumbBg, nullptr, 0, 0,
                   false);
        m_nThumbBgX = m_nThumbBgY = -1;
    }

    if (m_bThumbDisabled && !IsWindowEnabled())
        DrawThumb(dc, &m_bmThumbDisabled, &m_bmThumbDisabledMask);
    else if (m_bThumb && m_bEnable)
    {
        if (m_bLButtonDown && m_bThumbActive)
            DrawThumb(dc, &m_bmThumbActive, &m_bmThumbActiveMask);
        else
            DrawThumb(dc, &m_bmThumb, &m_bmThumbMask);
    }
}

BOOL CBitmapSlider::OnEraseBkgnd(CDC*)
{
    // The painting covers the whole client area.
    return TRUE;
}

// ---------------------------------------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------------------------------------

void CBitmapSlider::TrackTo(CPoint point)
{
    const int first = StartMargin() + ThumbAlong() / 2;
    const int last = SizeAlong() - EndMargin() - ThumbAlong() / 2;
    const int pixel = std::clamp(Along(point) - m_nDragOffset, first, std::max(first, last));
    if (pixel != ValueToPixel(m_nPos) && PixelToValue(pixel) != GetPos())
    {
        SetValue(PixelToValue(pixel), true);
        Invalidate(TRUE);
    }
}

void CBitmapSlider::OnLButtonDown(UINT, CPoint point)
{
    if (!m_bEnable)
        return;
    SetCapture();
    SetFocus();
    m_bLButtonDown = true;
    const int offset = Along(point) - ValueToPixel(m_nPos);
    m_bPressOnThumb = std::abs(offset) <= ThumbAlong() / 2;
    m_nDragOffset = m_bPressOnThumb ? offset : 0;
    TrackTo(point);
    Default();
}

void CBitmapSlider::OnMouseMove(UINT, CPoint point)
{
    if (!m_bEnable || !m_bLButtonDown)
        return;
    TrackTo(point);
    Default();
}

void CBitmapSlider::OnLButtonUp(UINT, CPoint)
{
    if (!m_bEnable)
        return;
    m_bPressOnThumb = false;
    if (GetCapture() == this)
        ReleaseCapture();
    m_bLButtonDown = false;
    const int native = GetPos();
    if (native != m_nLastNotified)
    {
        m_nLastNotified = native;
        NotifyParent();
    }
    Invalidate(TRUE);
    Default();
    if (CWnd* parent = GetParent())
        parent->SendMessage(WM_BITMAPSLIDER_RELEASED, 0, 0);
}

BOOL CBitmapSlider::OnMouseWheel(UINT, short delta, CPoint)
{
    if (!m_bEnable)
        return FALSE;
    const int step = static_cast<int>((static_cast<long long>(m_nMax) - m_nMin) / 25);
    const long long moved = static_cast<long long>(GetPos()) + (delta > 0 ? -step : step);
    SetValue(static_cast<int>(std::clamp<long long>(moved, m_nMin, std::max(m_nMin, m_nMax))), true);
    Invalidate(TRUE);
    NotifyParent();
    return TRUE;
}

void CBitmapSlider::OnKeyDown(UINT key, UINT, UINT)
{
    if (!m_bEnable)
        return;
    const long long span = static_cast<long long>(m_nMax) - m_nMin;
    const int line = static_cast<int>(std::max<long long>(span / 100, 1));
    const int page = m_nPageDivisor ? static_cast<int>(span / m_nPageDivisor) : 0;
    const bool vertical = (GetStyle() & TBS_VERT) != 0;
    const int pos = GetPos();
    bool stepped = true;
    switch (key)
    {
    case VK_PRIOR:
    case VK_NEXT:
        SetValue(key == VK_PRIOR ? pos - page : pos + page, false);
        Invalidate(TRUE);
        UpdateWindow();
        break;
    case VK_HOME:
        SetValue(m_nMin, false);
        break;
    case VK_END:
        SetValue(m_nMax, false);
        break;
    case VK_DOWN:
    case VK_RIGHT:
        SetValue(vertical ? pos + line : pos - line, true);
        break;
    case VK_UP:
    case VK_LEFT:
        SetValue(vertical ? pos - line : pos + line, true);
        break;
    default:
        stepped = false;
        break;
    }
    if (stepped)
    {
        if (CWnd* parent = GetParent())
            parent->PostMessage(WM_BITMAPSLIDER_MOVED, static_cast<WPARAM>(GetDlgCtrlID()),
                                NotificationBlock());
    }
    Default();
}

BOOL CBitmapSlider::OnSetCursor(CWnd*, UINT, UINT)
{
    if (!m_bEnable)
        return FALSE;
    ::SetCursor(::LoadCursor(nullptr, IDC_HAND));
    return TRUE;
}

void CBitmapSlider::OnDestroy()
{
    Default();
}

BOOL CBitmapSlider::PreTranslateMessage(MSG* msg)
{
    return CSliderCtrl::PreTranslateMessage(msg);
}
