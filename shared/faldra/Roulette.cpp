#include "shared/faldra/Roulette.h"

#include "platform/resources/Resources.h"

namespace faldra
{
CRoulette::CRegion::CRegion(UINT over, const CString& tooltip) : m_tooltip(tooltip)
{
    m_over.LoadBitmap(over);
}

CRoulette::CRegion::CRegion(UINT over, UINT pressed, const CString& tooltip) : m_tooltip(tooltip)
{
    m_over.LoadBitmap(over);
    m_pressed.LoadBitmap(pressed);
}

CRoulette::CRegion::CRegion(UINT over, UINT pressed, UINT disabled, const CString& tooltip)
    : m_tooltip(tooltip)
{
    m_over.LoadBitmap(over);
    m_pressed.LoadBitmap(pressed);
    m_disabled.LoadBitmap(disabled);
}

CRoulette::CRegion::~CRegion() = default;

IMPLEMENT_DYNAMIC(CRoulette, CStatic)

BEGIN_MESSAGE_MAP(CRoulette, CStatic)
ON_WM_MOUSEMOVE()
ON_MESSAGE(WM_MOUSELEAVE, OnMouseLeave)
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONUP()
ON_MESSAGE(WM_SETTEXT, OnSetText)
ON_WM_CTLCOLOR_REFLECT()
END_MESSAGE_MAP()

CRoulette::CRoulette(UINT bitmap, CToolTipCtrl& tooltip) : m_tooltip(&tooltip)
{
    const LPCSTR name = MAKEINTRESOURCE(bitmap);
    if (HANDLE image = ::LoadImage(AfxFindResourceHandle(name, RT_BITMAP), name, IMAGE_BITMAP, 0, 0,
                                   LR_CREATEDIBSECTION))
        m_main.Attach(image);
}

CRoulette::~CRoulette()
{
    for (auto& entry : m_regions)
        delete entry.second;
}

void CRoulette::AddRegion(const CString& name, UINT over, UINT pressed, UINT disabled, const CString& tooltip)
{
    auto* region = new CRegion(over, pressed, disabled, tooltip);
    CRegion*& slot = m_regions[name];
    delete slot;
    slot = region;
}

void CRoulette::AddRegion(const CString& name, UINT over, UINT pressed, const CString& tooltip)
{
    auto* region = new CRegion(over, pressed, tooltip);
    CRegion*& slot = m_regions[name];
    delete slot;
    slot = region;
}

void CRoulette::AddRegion(const CString& name, UINT over, const CString& tooltip)
{
    auto* region = new CRegion(over, tooltip);
    CRegion*& slot = m_regions[name];
    delete slot;
    slot = region;
}

void CRoulette::Enable(const CString& name)
{
    if (auto it = m_regions.find(name); it != m_regions.end())
        it->second->Enable();
}

void CRoulette::Disable(const CString& name)
{
    if (auto it = m_regions.find(name); it != m_regions.end())
        it->second->Disable();
}

const CRoulette::CRegion* CRoulette::Find(const CString& name) const
{
    auto it = m_regions.find(name);
    return it == m_regions.end() ? nullptr : it->second;
}

void CRoulette::Show(HBITMAP bitmap)
{
    if (GetSafeHwnd())
        SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
}

HRGN CRoulette::GetTransparentRgn(HBITMAP bitmap)
{
    DIBSECTION dib{};
    const int got = bitmap ? ::GetObject(bitmap, sizeof(dib), &dib) : 0;
    const int width = got ? dib.dsBm.bmWidth : 0;
    const int height = got ? dib.dsBm.bmHeight : 0;
    HRGN region = ::CreateRectRgn(0, 0, width, height);
    if (got != sizeof(DIBSECTION) || dib.dsBm.bmBitsPixel != 32 || !dib.dsBm.bmBits || width <= 0 ||
        height <= 0)
        return region;
    const bool mirrored = GetSafeHwnd() && (GetExStyle() & WS_EX_LAYOUTRTL);
    const bool topDown = dib.dsBmih.biHeight < 0;
    auto* bits = static_cast<BYTE*>(dib.dsBm.bmBits);
    const LONG stride = dib.dsBm.bmWidthBytes > 0 ? dib.dsBm.bmWidthBytes : width * 4;
    for (int i = 0; i < height; ++i)
    {
        const int y = topDown ? i : height - 1 - i;
        BYTE* row = bits + static_cast<ptrdiff_t>(i) * stride;
        int start = -1;
        // x runs one step past the last pixel to close a run that reaches the edge; that step reads nothing.
        for (int x = 0; x <= width; ++x)
        {
            bool transparent = false;
            if (x < width)
            {
                BYTE* pixel = row + static_cast<ptrdiff_t>(mirrored ? width - 1 - x : x) * 4;
                transparent = pixel[3] < 255;
                if (transparent)
                    pixel[3] = 255;
            }
            if (transparent && start < 0)
                start = x;
            else if (!transparent && start >= 0)
            {
                HRGN cut = ::CreateRectRgn(start, y, x, y + 1);
                ::CombineRgn(region, region, cut, RGN_DIFF);
                ::DeleteObject(cut);
                start = -1;
            }
        }
    }
    return region;
}

void CRoulette::PreSubclassWindow()
{
    ::SetWindowLongPtr(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(GetStyle() | SS_NOTIFY));
    if (m_tooltip && m_tooltip->GetSafeHwnd() && m_tooltip->AddTool(this, LPSTR_TEXTCALLBACK))
        m_tooltip->Activate(TRUE);
    // A right-to-left control reads its picture from the right edge, and its region counts from its
    // upper-right corner: the two turns leave the cut where the picture is seen. Moved further, by the
    // window's width, the region would lie wholly outside the window and the control would vanish.
    m_windowRgn = GetTransparentRgn(static_cast<HBITMAP>(m_main.GetSafeHandle()));
    ::SetWindowRgn(m_hWnd, m_windowRgn, TRUE);
    Show(static_cast<HBITMAP>(m_main.GetSafeHandle()));
    CStatic::PreSubclassWindow();
}

void CRoulette::RelayEvent(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!m_tooltip || !m_tooltip->GetSafeHwnd())
        return;
    const CPoint point(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
    MSG msg{};
    msg.hwnd = m_hWnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = 0;
    msg.pt = point;
    if (const CRegion* region = Find(GetRegion(point)))
        m_tooltip->UpdateTipText(region->GetToolTip(), this);
    m_tooltip->RelayEvent(&msg);
    m_lastX = point.x;
    m_lastY = point.y;
}

void CRoulette::OnMouseMove(UINT flags, CPoint point)
{
    if (point.x != m_lastX || point.y != m_lastY)
        RelayEvent(WM_MOUSEMOVE, flags, MAKELPARAM(point.x, point.y));
    const CString name = GetRegion(point);
    const CRegion* region = Find(name);
    if (region && region->IsEnabled())
    {
        if (name != m_current)
        {
            Show(static_cast<HBITMAP>(region->GetOverImage().GetSafeHandle()));
            m_current = name;
        }
    }
    else
    {
        Show(static_cast<HBITMAP>(m_main.GetSafeHandle()));
        m_current.Empty();
    }
    if (!m_tracking)
    {
        TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, m_hWnd, 0};
        ::TrackMouseEvent(&track);
        m_tracking = TRUE;
    }
    Default();
}

LRESULT CRoulette::OnMouseLeave(WPARAM, LPARAM)
{
    m_tracking = FALSE;
    Show(static_cast<HBITMAP>(m_main.GetSafeHandle()));
    m_current.Empty();
    return 1;
}

void CRoulette::OnLButtonDown(UINT flags, CPoint point)
{
    RelayEvent(WM_LBUTTONDOWN, flags, MAKELPARAM(point.x, point.y));
    const CRegion* region = Find(GetRegion(point));
    if (region && region->IsEnabled())
        Default();
}

void CRoulette::OnLButtonUp(UINT flags, CPoint point)
{
    RelayEvent(WM_LBUTTONUP, flags, MAKELPARAM(point.x, point.y));
    const HWND parent = ::GetParent(m_hWnd);
    if (!parent || ::SendMessage(parent, WM_ROULETTE_LBUTTONUP, 0, 0) == 0)
        Default();
}

LRESULT CRoulette::OnSetText(WPARAM, LPARAM)
{
    const LRESULT result = Default();
    if (CWnd* parent = GetParent())
    {
        CRect rect;
        GetWindowRect(&rect);
        parent->ScreenToClient(&rect);
        parent->InvalidateRect(&rect, TRUE);
        parent->UpdateWindow();
    }
    return result;
}

HBRUSH CRoulette::CtlColor(CDC* dc, UINT)
{
    if (dc)
        dc->SetBkMode(TRANSPARENT);
    return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
}

IMPLEMENT_DYNAMIC(CPetalsRoulette, CRoulette)

BEGIN_MESSAGE_MAP(CPetalsRoulette, CRoulette)
END_MESSAGE_MAP()

CPetalsRoulette::CPetalsRoulette(UINT bitmap, CToolTipCtrl& tooltip) : CRoulette(bitmap, tooltip) {}
CPetalsRoulette::~CPetalsRoulette() = default;

CString CPetalsRoulette::GetRegion(CPoint point) const
{
    CRect window;
    GetWindowRect(&window);
    const int height = window.Height();
    if (point.y < height / 4)
        return "Video";
    if (point.y < 2 * height / 4)
        return "Audio";
    return "About";
}
} // namespace faldra
