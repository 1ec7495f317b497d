#pragma once

#include "platform/window/Afx.h"

/// An off-screen DC over a rectangle of a target DC (its clip box when none is given) that copies itself
/// to the target when it goes away. Drawing uses the target's logical coordinates. The off-screen bitmap
/// is not cleared: callers paint every pixel they need. A printing target is drawn into directly.
class CMemDC : public CDC
{
public:
    explicit CMemDC(CDC* target, const RECT* rect = nullptr);
    ~CMemDC() override;
    CMemDC* operator->() noexcept { return this; }
    operator CMemDC*() noexcept { return this; }

private:
    CBitmap m_bitmap;
    CBitmap* m_oldBitmap = nullptr;
    CDC* m_pDC;
    CRect m_rect;
    BOOL m_bMemDC;
};
