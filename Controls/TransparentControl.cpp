#include "Controls/TransparentControl.h"

#include <algorithm>

CTransparentControl::~CTransparentControl()
{
    for (const DrawPair& pair : m_pool)
        Free(pair);
}

CDC* CTransparentControl::AcquireDrawDC(CDC* target, const RECT& rect)
{
    auto* dc = new CDC;
    auto* bitmap = new CBitmap;
    dc->CreateCompatibleDC(target);
    bitmap->CreateCompatibleBitmap(target, std::max<int>(rect.right - rect.left, 1),
                                   std::max<int>(rect.bottom - rect.top, 1));
    CBitmap* old = dc->SelectObject(bitmap);
    m_pool.push_back({dc, bitmap, old});
    return dc;
}

bool CTransparentControl::ReleaseDrawDC(CDC* dc)
{
    // One turn round the pool at most: a DC that is not in it must not keep the search going for ever.
    for (std::size_t turns = m_pool.size(); turns > 0; --turns)
    {
        DrawPair pair = m_pool.front();
        m_pool.pop_front();
        if (pair.dc == dc)
        {
            Free(pair);
            return true;
        }
        m_pool.push_back(pair);
    }
    return false;
}

void CTransparentControl::FlushDrawDC(CDC* target, CDC* dc, const RECT& rect)
{
    target->BitBlt(0, 0, rect.right - rect.left, rect.bottom - rect.top, dc, 0, 0, SRCCOPY);
    ReleaseDrawDC(dc);
}

void CTransparentControl::Free(const DrawPair& pair)
{
    pair.dc->SelectObject(pair.old);
    pair.dc->DeleteDC();
    delete pair.dc;
    pair.bitmap->DeleteObject();
    delete pair.bitmap;
}
