#include "shared/faldra/CoreDialog.h"

#include "platform/resources/Resources.h"

namespace faldra
{
IMPLEMENT_DYNAMIC(CCoreDialog, CDialog)

BEGIN_MESSAGE_MAP(CCoreDialog, CDialog)
ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CCoreDialog::CCoreDialog(CWnd*) : CDialog() {}

CCoreDialog::~CCoreDialog()
{
    FreeResources();
}

void CCoreDialog::FreeResources()
{
    if (m_bitmap)
        ::DeleteObject(m_bitmap);
    m_bitmap = nullptr;
}

BOOL CCoreDialog::SetBitmap(int id)
{
    const LPCSTR name = MAKEINTRESOURCE(id);
    auto bitmap = static_cast<HBITMAP>(
        ::LoadImage(AfxFindResourceHandle(name, RT_BITMAP), name, IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    return SetBitmap(bitmap);
}

BOOL CCoreDialog::SetBitmap(HBITMAP bitmap)
{
    FreeResources();
    if (bitmap)
    {
        BITMAP desc{};
        if (::GetObject(bitmap, sizeof(desc), &desc) == 0)
        {
            ::DeleteObject(bitmap);
            return 0;
        }
        m_bitmap = bitmap;
        m_width = desc.bmWidth;
        m_height = desc.bmHeight;
    }
    if (GetSafeHwnd())
    {
        Invalidate(TRUE);
        FitWindow();
    }
    return 1;
}

void CCoreDialog::FitWindow()
{
    if (m_style == Normal && m_bitmap && GetSafeHwnd())
        SetWindowPos(nullptr, 0, 0, m_width, m_height, SWP_NOMOVE | SWP_NOOWNERZORDER);
}

void CCoreDialog::SetStyle(LayoutStyle style)
{
    m_style = style;
    FitWindow();
}

BOOL CCoreDialog::OnEraseBkgnd(CDC* dc)
{
    const auto result = static_cast<BOOL>(Default());
    if (!m_bitmap || !dc)
        return result;
    CRect client;
    GetClientRect(&client);
    CDC memory;
    memory.CreateCompatibleDC(dc);
    HGDIOBJ old = ::SelectObject(memory.GetSafeHdc(), m_bitmap);
    switch (m_style)
    {
    case Normal:
        dc->BitBlt(0, 0, m_width, m_height, &memory, 0, 0, SRCCOPY);
        break;
    case Tile:
        // A bitmap without width or height would never advance the loops.
        if (m_width > 0 && m_height > 0)
            for (int y = 0; y < client.Height(); y += m_height)
                for (int x = 0; x < client.Width(); x += m_width)
                    dc->BitBlt(x, y, m_width, m_height, &memory, 0, 0, SRCCOPY);
        break;
    case Center:
        dc->BitBlt((client.Width() - m_width) / 2, (client.Height() - m_height) / 2, m_width, m_height,
                   &memory, 0, 0, SRCCOPY);
        break;
    case Stretch:
        dc->StretchBlt(0, 0, client.Width(), client.Height(), &memory, 0, 0, m_width, m_height, SRCCOPY);
        break;
    default:
        break;
    }
    ::SelectObject(memory.GetSafeHdc(), old);
    return result;
}
} // namespace faldra
