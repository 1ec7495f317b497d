#include "Controls/ProgressCtrlST.h"

#include "Controls/KitResources.h"
#include "platform/resources/Resources.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

BEGIN_MESSAGE_MAP(CProgressCtrlST, CProgressCtrl)
ON_WM_ERASEBKGND()
ON_WM_PAINT()
ON_WM_NCPAINT()
END_MESSAGE_MAP()

CProgressCtrlST::~CProgressCtrlST()
{
    DeleteBitmaps();
}

void CProgressCtrlST::DeleteBitmaps()
{
    if (m_hForeground)
        DeleteObject(m_hForeground);
    // One bitmap given as both foreground and background is freed once.
    if (m_hBackground && m_hBackground != m_hForeground)
        DeleteObject(m_hBackground);
    m_hForeground = m_hBackground = nullptr;
    m_nForegroundWidth = m_nForegroundHeight = 0;
}

int CProgressCtrlST::SetRange(int lower, int upper)
{
    m_nLower = lower;
    m_nUpper = upper;
    m_nSpan = std::abs(upper - lower);
    if (m_nSpan == 0)
        m_nSpan = 1;
    return static_cast<int>(SendMessage(PBM_SETRANGE, 0, MAKELPARAM(lower, upper)));
}

int CProgressCtrlST::SetStep(int step)
{
    m_nStep = step;
    return static_cast<int>(SendMessage(PBM_SETSTEP, static_cast<WPARAM>(step)));
}

int CProgressCtrlST::SetPos(int pos)
{
    m_nPos = std::clamp(pos, std::min(m_nLower, m_nUpper), std::max(m_nLower, m_nUpper));
    return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(m_nPos)));
}

int CProgressCtrlST::SetBitmap(HBITMAP foreground, HBITMAP background, BOOL repaint)
{
    DeleteBitmaps();
    BITMAP info{};
    bool usable = true;
    if (foreground)
    {
        if (GetObject(foreground, sizeof info, &info))
        {
            m_hForeground = foreground;
            m_nForegroundWidth = info.bmWidth;
            m_nForegroundHeight = info.bmHeight;
        }
        else
            usable = false;
    }
    if (background && usable)
    {
        if (GetObject(background, sizeof info, &info))
            m_hBackground = background;
        else
            usable = false;
    }
    if (!usable)
    {
        DeleteObject(foreground);
        if (background != foreground)
            DeleteObject(background);
        m_hForeground = m_hBackground = nullptr;
        m_nForegroundWidth = m_nForegroundHeight = 0;
        return 1;
    }
    if (repaint && m_hWnd)
        Invalidate(TRUE);
    return 0;
}

int CProgressCtrlST::SetBitmap(UINT foregroundId, UINT backgroundId, BOOL repaint)
{
    HBITMAP foreground = LoadKitBitmap(foregroundId);
    HBITMAP background = backgroundId == static_cast<UINT>(-1) ? nullptr : LoadKitBitmap(backgroundId);
    return SetBitmap(foreground, background, repaint);
}

void CProgressCtrlST::DrawOverlay(CDC*, int, CRect, CRect, BOOL) {}

BOOL CProgressCtrlST::OnEraseBkgnd(CDC*)
{
    if (m_hBackground)
        return TRUE;
    return static_cast<BOOL>(Default());
}

void CProgressCtrlST::OnNcPaint() {}

void CProgressCtrlST::OnPaint()
{
    if (!m_hForeground)
    {
        Default();
        return;
    }
    CPaintDC dc(this);
    CRect client;
    GetClientRect(&client);
    const BOOL vertical = (GetStyle() & PBS_VERTICAL) != 0;

    // The share of the range from its lower bound; a range that does not start at 0 would otherwise
    // overflow the bar.
    const int percent =
        std::clamp(static_cast<int>((static_cast<double>(m_nPos) - m_nLower) * 100.0 / m_nSpan), 0, 100);
    CRect filled = client;
    if (!vertical)
    {
        const int g = static_cast<int>(std::ceil((client.Width() * percent) / 100.0f));
        filled.right = client.left + g;
        if (client.left + g > client.right)
            filled.right = client.right - 1;
    }
    else
    {
        const int g = static_cast<int>(std::ceil((client.Height() * percent) / 100.0f));
        filled.top = client.bottom - g;
        if (filled.top < client.top)
            filled.top = client.top + 1;
    }

    CDC source;
    source.CreateCompatibleDC(&dc);
    CDC scratch;
    scratch.CreateCompatibleDC(&dc);
    CBitmap scratchBitmap;
    scratchBitmap.CreateCompatibleBitmap(&dc, std::max(client.Width(), 1), std::max(client.Height(), 1));
    CBitmap* oldScratch = scratch.SelectObject(&scratchBitmap);
    HGDIOBJ oldSource = source.SelectObject(m_hForeground);
    if (m_nForegroundWidth > 0 && m_nForegroundHeight > 0 && !filled.IsRectEmpty())
    {
        const int columns = (filled.Width() + m_nForegroundWidth - 1) / m_nForegroundWidth;
        const int rows = (filled.Height() + m_nForegroundHeight - 1) / m_nForegroundHeight;
        // A bar taller than its bitmap takes the tiles from the bitmap's top row instead of above it.
        const int sourceRow = vertical ? std::max(m_nForegroundHeight - filled.Height(), 0) : 0;
        for (int row = 0; row < rows; ++row)
            for (int column = 0; column < columns; ++column)
                scratch.BitBlt(column * m_nForegroundWidth, row * m_nForegroundHeight, m_nForegroundWidth,
                               m_nForegroundHeight, &source, 0, sourceRow, SRCCOPY);
    }

    auto drawBackground = [&](CDC* target)
    {
        if (m_hBackground)
        {
            source.SelectObject(m_hBackground);
            target->BitBlt(0, 0, client.Width(), client.Height(), &source, 0, 0, SRCCOPY);
        }
        else
            target->FillSolidRect(&client, GetSysColor(COLOR_BTNFACE));
    };
    if (filled.IsRectEmpty())
        drawBackground(&dc);
    else
    {
        CDC composite;
        composite.CreateCompatibleDC(&dc);
        CBitmap compositeBitmap;
        compositeBitmap.CreateCompatibleBitmap(&dc, std::max(client.Width(), 1),
                                               std::max(client.Height(), 1));
        CBitmap* oldComposite = composite.SelectObject(&compositeBitmap);
        drawBackground(&composite);
        composite.BitBlt(filled.left, filled.top, filled.Width(), filled.Height(), &scratch, 0, 0, SRCCOPY);
        dc.BitBlt(0, 0, client.Width(), client.Height(), &composite, 0, 0, SRCCOPY);
        composite.SelectObject(oldComposite);
    }
    DrawOverlay(&dc, percent, client, filled, vertical);
    source.SelectObject(oldSource);
    scratch.SelectObject(oldScratch);
}
