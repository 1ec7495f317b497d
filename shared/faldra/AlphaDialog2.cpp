#include "shared/faldra/AlphaDialog2.h"

#include "platform/resources/Resources.h"

namespace faldra
{
IMPLEMENT_DYNAMIC(CAlphaDialog2, CDialog)

BEGIN_MESSAGE_MAP(CAlphaDialog2, CDialog)
ON_WM_ERASEBKGND()
ON_WM_MOVE()
ON_WM_CLOSE()
END_MESSAGE_MAP()

CAlphaDialog2::CAlphaDialog2() = default;
CAlphaDialog2::CAlphaDialog2(LPCSTR templateName, CWnd* parent) : CDialog(templateName, parent) {}
CAlphaDialog2::CAlphaDialog2(UINT templateId, CWnd* parent) : CDialog(templateId, parent) {}

CAlphaDialog2::~CAlphaDialog2()
{
    DestroyBackground();
    if (m_alphaBitmap)
        ::DeleteObject(m_alphaBitmap);
    if (m_backBitmap)
        ::DeleteObject(m_backBitmap);
}

void CAlphaDialog2::DestroyBackground()
{
    if (m_background && ::IsWindow(m_background))
        ::DestroyWindow(m_background);
    m_background = nullptr;
}

BOOL CAlphaDialog2::CreateBackgroundWindow(HWND owner)
{
    m_background = ::CreateWindowEx(WS_EX_LAYERED, "#32770", "159CC00C-7573-4d8a-942E-DA26BC108E9D",
                                    WS_POPUP | WS_VISIBLE, 100, 100, 100, 100, owner, nullptr,
                                    GetModuleHandle(nullptr), nullptr);
    if (!m_background)
        return FALSE;
    ::SetWindowText(m_background, "XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX");
    ::ShowWindow(m_background, SW_SHOW);
    return TRUE;
}

BOOL CAlphaDialog2::Create(UINT templateId, CWnd* parent)
{
    return Create(MAKEINTRESOURCE(templateId), parent);
}

BOOL CAlphaDialog2::Create(LPCTSTR templateName, CWnd* parent)
{
    if (!CreateBackgroundWindow(parent ? parent->GetSafeHwnd() : nullptr))
        return FALSE;
    const BOOL created = CDialog::Create(templateName, CWnd::FromHandle(m_background));
    if (created)
    {
        CRect client;
        GetClientRect(&client);
        ::SetWindowPos(m_background, nullptr, 0, 0, client.Width(), client.Height(),
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (m_alphaBitmap)
        UpdateAlphaBitmap();
    return created;
}

HBITMAP CAlphaDialog2::CreateOnePixelBitmap(COLORREF color)
{
    HDC window = ::GetDC(m_hWnd);
    if (!window)
        return nullptr;
    HBITMAP bitmap = ::CreateCompatibleBitmap(window, 1, 1);
    if (bitmap)
    {
        BITMAPINFO info = Dib32Info(1, 1);
        const DWORD pixel = (static_cast<DWORD>(GetRValue(color)) << 16) |
                            (static_cast<DWORD>(GetGValue(color)) << 8) | GetBValue(color);
        ::SetDIBits(window, bitmap, 0, 1, &pixel, &info, DIB_RGB_COLORS);
        ::SetBitmapDimensionEx(bitmap, 1, 1, nullptr);
    }
    ::ReleaseDC(m_hWnd, window);
    return bitmap;
}

void CAlphaDialog2::SetBitmapStreched(HBITMAP bitmap)
{
    if (m_backBitmap && m_backBitmap != bitmap)
        ::DeleteObject(m_backBitmap);
    m_backBitmap = bitmap;
    Invalidate();
}

void CAlphaDialog2::SetTransparentColor(COLORREF color)
{
    ::SetWindowLongPtr(m_hWnd, GWL_EXSTYLE, static_cast<LONG_PTR>(GetExStyle() | WS_EX_LAYERED));
    ::SetLayeredWindowAttributes(m_hWnd, color, 0, LWA_COLORKEY);
}

BOOL CAlphaDialog2::OnInitDialog()
{
    CDialog::OnInitDialog();
    HBITMAP pixel = CreateOnePixelBitmap(kKeyColor);
    if (!pixel)
        return TRUE;
    SetBitmapStreched(pixel);
    SetTransparentColor(kKeyColor);
    return TRUE;
}

void CAlphaDialog2::PreMultiplyRGBChannels(HBITMAP bitmap, BYTE* bits)
{
    BITMAP desc{};
    if (!bitmap || !bits || ::GetObject(bitmap, sizeof(desc), &desc) == 0)
        return;
    const LONG stride = desc.bmWidthBytes > 0 ? desc.bmWidthBytes : desc.bmWidth * 4;
    for (LONG y = 0; y < desc.bmHeight; ++y)
    {
        BYTE* pixel = bits + static_cast<ptrdiff_t>(y) * stride;
        for (LONG x = 0; x < desc.bmWidth; ++x, pixel += 4)
        {
            const unsigned alpha = pixel[3];
            for (int c = 0; c < 3; ++c)
                pixel[c] = static_cast<BYTE>(pixel[c] * alpha / 255);
        }
    }
}

int CAlphaDialog2::SetAlphaBitmap(UINT id)
{
    if (m_alphaBitmap)
        ::DeleteObject(m_alphaBitmap);
    m_alphaBitmap = static_cast<HBITMAP>(
        ::LoadImage(GetModuleHandle(nullptr), MAKEINTRESOURCE(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!m_alphaBitmap)
        return 0;
    DIBSECTION dib{};
    if (::GetObject(m_alphaBitmap, sizeof(dib), &dib) == 0 || dib.dsBm.bmBitsPixel != 32 || !dib.dsBm.bmBits)
    {
        ::DeleteObject(m_alphaBitmap);
        m_alphaBitmap = nullptr;
        return 0;
    }
    PreMultiplyRGBChannels(m_alphaBitmap, static_cast<BYTE*>(dib.dsBm.bmBits));
    if (m_background)
        UpdateAlphaBitmap();
    return 1;
}

void CAlphaDialog2::UpdateAlphaBitmap(SIZE* size, POINT* position)
{
    if (!m_background || !m_alphaBitmap)
        return;
    CRect window;
    ::GetWindowRect(m_background, &window);
    SIZE wanted = size ? *size : SIZE{window.Width(), window.Height()};
    POINT at = position ? *position : POINT{window.left, window.top};
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HGDIOBJ old = ::SelectObject(memory, m_alphaBitmap);
    POINT source{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::UpdateLayeredWindow(m_background, screen, &at, &wanted, memory, &source, 0, &blend, ULW_ALPHA);
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
}

BOOL CAlphaDialog2::OnEraseBkgnd(CDC* dc)
{
    const auto result = static_cast<BOOL>(Default());
    if (m_backBitmap && dc)
    {
        SIZE dimension{1, 1};
        ::GetBitmapDimensionEx(m_backBitmap, &dimension);
        CRect client;
        GetClientRect(&client);
        CDC memory;
        memory.CreateCompatibleDC(dc);
        HGDIOBJ old = ::SelectObject(memory.GetSafeHdc(), m_backBitmap);
        dc->StretchBlt(0, 0, client.Width(), client.Height(), &memory, 0, 0, dimension.cx, dimension.cy,
                       SRCCOPY);
        ::SelectObject(memory.GetSafeHdc(), old);
    }
    return result;
}

void CAlphaDialog2::OnMove(int x, int y)
{
    Default();
    if (m_background)
        ::SetWindowPos(m_background, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CAlphaDialog2::OnClose()
{
    DestroyBackground();
    Default();
}

void CAlphaDialog2::OnOK()
{
    CDialog::OnOK();
    DestroyBackground();
}

void CAlphaDialog2::OnCancel()
{
    CDialog::OnCancel();
    DestroyBackground();
}
} // namespace faldra
