#include "Controls/MemDC.h"

CMemDC::CMemDC(CDC* target, const RECT* rect) : m_pDC(target), m_bMemDC(!target->IsPrinting())
{
    if (rect)
        m_rect = *rect;
    else
        target->GetClipBox(&m_rect);

    if (m_bMemDC)
    {
        CreateCompatibleDC(target);
        m_bitmap.CreateCompatibleBitmap(target, m_rect.Width(), m_rect.Height());
        m_oldBitmap = SelectObject(&m_bitmap);
        SetWindowOrg(m_rect.left, m_rect.top);
    }
    else
    {
        m_bPrinting = target->m_bPrinting;
        m_hDC = target->m_hDC;
        m_hAttribDC = target->m_hAttribDC;
    }
}

CMemDC::~CMemDC()
{
    if (m_bMemDC)
    {
        m_pDC->BitBlt(m_rect.left, m_rect.top, m_rect.Width(), m_rect.Height(), this, m_rect.left, m_rect.top,
                      SRCCOPY);
        SelectObject(m_oldBitmap);
    }
    else
    {
        // The handles are the target's: give them back instead of deleting them.
        m_hDC = nullptr;
        m_hAttribDC = nullptr;
    }
}
