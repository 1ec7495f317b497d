#pragma once

#include "Controls/GdipButton.h"

/// The look of the captioned buttons of the file-operation dialogs: the caption in white (0x333333 while
/// disabled), Arial 8.5 points bold, one pixel low, over the four state images (normal, hover, pressed,
/// disabled). The button rebuilds its cached state images on the dialog's background refresh, so that the
/// caption and font set here are the ones shown, whatever painted the button before its dialog showed.
/// User-interface thread.
inline void StyleTextButton(CGdipButton& button, const CString& caption, const UINT (&images)[4])
{
    constexpr COLORREF kCaption = RGB(0xFF, 0xFF, 0xFF);
    constexpr COLORREF kDisabledCaption = RGB(0x33, 0x33, 0x33);
    button.SetWindowText(caption);
    button.LoadImages(images[0], images[1], images[2], images[3]);
    button.SetTextColors(kCaption, kDisabledCaption);
    button.SetHoverTextColor(kCaption);
    button.SetPressedTextColor(kCaption);
    button.SetTextOffset(0, 1);
    button.SetFontName("Arial", DEFAULT_CHARSET);
    button.SetFontBold(TRUE);
    button.SetFontSize(85);
    button.SetAutoRefresh();
}
