#include "shared/faldra/Switch.h"

namespace faldra
{
IMPLEMENT_DYNAMIC(CSwitch, CStatic)

BEGIN_MESSAGE_MAP(CSwitch, CStatic)
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONUP()
ON_WM_MOUSEMOVE()
END_MESSAGE_MAP()

CSwitch::CSwitch(int band2, int band1, int band4, int band8)
    : m_band2(band2), m_band1(band1), m_band4(band4), m_band8(band8)
{
}

CSwitch::~CSwitch()
{
    if (GetSafeHwnd())
        SendMessage(STM_SETIMAGE, IMAGE_BITMAP, 0);
}

void CSwitch::SetToolTips(CToolTipCtrl* tooltip, const CString& text1, const CString& text2,
                          const CString& text3, const CString& text4)
{
    m_tooltip = tooltip;
    m_text2 = text1;
    m_text1 = text2;
    m_text4 = text3;
    m_text8 = text4;
    if (m_tooltip && m_tooltip->GetSafeHwnd() && m_tooltip->AddTool(this, text2))
        m_tooltip->Activate(TRUE);
}

void CSwitch::SetActive(ERegion band)
{
    m_previous = m_active;
    m_active = band;
    RefreshDisplay();
}

int CSwitch::Height(const CWnd& wnd)
{
    CRect window;
    wnd.GetWindowRect(&window);
    return window.Height();
}

CSwitch::ERegion CSwitch::GetRegionForPoint(CPoint point) const
{
    const int height = Height(*this);
    if (point.y < height / 4)
        return Band1;
    if (point.y < 2 * height / 4)
        return Band2;
    if (point.y < 3 * height / 4)
        return Band4;
    return Band8;
}

void CSwitch::ShowBitmap(int id)
{
    CBitmap next;
    if (id)
        next.LoadBitmap(static_cast<UINT>(id));
    if (GetSafeHwnd())
        SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(next.GetSafeHandle()));
    // The static shows the new picture before the old one is deleted.
    m_picture.DeleteObject();
    if (next.GetSafeHandle())
        m_picture.Attach(next.Detach());
}

void CSwitch::RefreshDisplay()
{
    switch (m_active)
    {
    case Band1:
        ShowBitmap(m_band1);
        break;
    case Band2:
        ShowBitmap(m_band2);
        break;
    case Band4:
        ShowBitmap(m_band4);
        break;
    case Band8:
        ShowBitmap(m_band8);
        break;
    default:
        ShowBitmap(0);
        break;
    }
}

void CSwitch::Relay(UINT message, WPARAM wParam, LPARAM lParam, const CString* text)
{
    if (!m_tooltip || !m_tooltip->GetSafeHwnd())
        return;
    MSG msg{};
    msg.hwnd = m_hWnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.pt = CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
    if (text)
        m_tooltip->UpdateTipText(*text, this);
    m_tooltip->RelayEvent(&msg);
}

void CSwitch::RelayEvent(UINT message, WPARAM wParam, LPARAM lParam)
{
    const CPoint point(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
    const CString* text = nullptr;
    switch (GetRegionForPoint(point))
    {
    case Band1:
        text = &m_text1;
        break;
    case Band2:
        text = &m_text2;
        break;
    case Band4:
        text = &m_text4;
        break;
    case Band8:
        text = &m_text8;
        break;
    default:
        break;
    }
    Relay(message, wParam, lParam, text);
}

void CSwitch::OnLButtonDown(UINT flags, CPoint point)
{
    SetActive(GetRegionForPoint(point));
    RelayEvent(WM_LBUTTONDOWN, flags, MAKELPARAM(point.x, point.y));
    Default();
}

void CSwitch::OnLButtonUp(UINT flags, CPoint point)
{
    RelayEvent(WM_LBUTTONUP, flags, MAKELPARAM(point.x, point.y));
    Default();
}

void CSwitch::OnMouseMove(UINT flags, CPoint point)
{
    RelayEvent(WM_MOUSEMOVE, flags, MAKELPARAM(point.x, point.y));
    Default();
}

IMPLEMENT_DYNAMIC(CSwitch5, CSwitch)

CSwitch5::CSwitch5(int band2, int band1, int band4, int band8, int band16)
    : CSwitch(band2, band1, band4, band8), m_band16(band16)
{
}

CSwitch5::~CSwitch5() = default;

void CSwitch5::SetToolTips(CToolTipCtrl* tooltip, const CString& text1, const CString& text2,
                           const CString& text3, const CString& text4, const CString& text5)
{
    m_text16 = text5;
    CSwitch::SetToolTips(tooltip, text1, text2, text3, text4);
}

void CSwitch5::RefreshDisplay()
{
    if (m_active == Band16)
        ShowBitmap(m_band16);
    else
        CSwitch::RefreshDisplay();
}

CSwitch::ERegion CSwitch5::GetRegionForPoint(CPoint point) const
{
    const int height = Height(*this);
    if (point.y < height / 5)
        return Band1;
    if (point.y < 2 * height / 5)
        return Band2;
    if (point.y < 3 * height / 5)
        return Band4;
    if (point.y < 4 * height / 5)
        return Band8;
    return Band16;
}

void CSwitch5::RelayEvent(UINT message, WPARAM wParam, LPARAM lParam)
{
    const CPoint point(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
    if (GetRegionForPoint(point) == Band16)
        Relay(message, wParam, lParam, &m_text16);
    else
        CSwitch::RelayEvent(message, wParam, lParam);
}
} // namespace faldra
