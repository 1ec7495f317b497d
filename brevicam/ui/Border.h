#pragma once

#include "platform/window/Afx.h"

/// The bitmap static that frames the capture button of the capture panel (control 1224). It has no
/// behaviour of its own; the bitmap it may be given is released with it. User-interface thread only.
class CBorder : public CStatic
{
public:
    CBorder() = default;
    ~CBorder() override;
    CBorder(const CBorder&) = delete;
    CBorder& operator=(const CBorder&) = delete;

protected:
    DECLARE_MESSAGE_MAP()

private:
    CBitmap m_bitmap;
};
