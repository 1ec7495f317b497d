#pragma once

// The custom-draw conversation the list and tree views hold with their parent while painting
// (NM_CUSTOMDRAW). Internal to the library.

#include "platform/listview/ListView.h"

namespace platform::listview::detail
{
/// Sends the control-wide stage `stage` (CDDS_PREPAINT, CDDS_POSTPAINT) over `rc` in a fresh `Draw`, the
/// control's NM..CUSTOMDRAW structure. The parent's answer.
template <class Draw> LRESULT NotifyPaintStage(HWND control, DWORD stage, HDC dc, const RECT& rc)
{
    Draw cd{};
    cd.nmcd.dwDrawStage = stage;
    cd.nmcd.hdc = dc;
    cd.nmcd.rc = rc;
    return platform::window::NotifyParent(control, cd.nmcd.hdr, NM_CUSTOMDRAW);
}

/// The item's CDDS_ITEMPREPAINT, asked only when the control-wide answer `wants` item notifications; the
/// DC comes back as it was. CDRF_DODEFAULT when not asked.
inline LRESULT NotifyItemPrePaint(HWND control, NMCUSTOMDRAW& cd, LRESULT wants)
{
    if (!(wants & CDRF_NOTIFYITEMDRAW))
        return CDRF_DODEFAULT;
    const int saved = SaveDC(cd.hdc);
    const LRESULT itemWants = platform::window::NotifyParent(control, cd.hdr, NM_CUSTOMDRAW);
    RestoreDC(cd.hdc, saved);
    return itemWants;
}

/// The item's CDDS_ITEMPOSTPAINT when its prepaint answer `itemWants` asks for it.
inline void NotifyItemPostPaint(HWND control, NMCUSTOMDRAW& cd, LRESULT itemWants)
{
    if (!(itemWants & CDRF_NOTIFYPOSTPAINT))
        return;
    cd.dwDrawStage = CDDS_ITEMPOSTPAINT;
    platform::window::NotifyParent(control, cd.hdr, NM_CUSTOMDRAW);
}
} // namespace platform::listview::detail
