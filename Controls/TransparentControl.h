#pragma once

#include "platform/window/Afx.h"

#include <deque>

/// Off-screen drawing pairs (a memory DC and its bitmap) that a control takes for one paint and gives
/// back. User-interface thread only.
class CTransparentControl
{
public:
    CTransparentControl() = default;
    CTransparentControl(const CTransparentControl&) = delete;
    CTransparentControl& operator=(const CTransparentControl&) = delete;
    ~CTransparentControl();

    /// A memory DC compatible with `target` holding a new bitmap of the rectangle's size.
    CDC* AcquireDrawDC(CDC* target, const RECT& rect);
    /// Frees the pair of `dc`; FALSE, changing nothing, when it is not one of the pool's.
    bool ReleaseDrawDC(CDC* dc);
    /// Copies `dc` to `target` at (0, 0) with the rectangle's size, then releases it.
    void FlushDrawDC(CDC* target, CDC* dc, const RECT& rect);

protected:
    struct DrawPair
    {
        CDC* dc;
        CBitmap* bitmap;
        CBitmap* old;
    };
    std::deque<DrawPair> m_pool;

private:
    static void Free(const DrawPair& pair);
};
