#pragma once

#include "platform/window/Afx.h"

#include <span>

/// Where a control of a skinned dialog sits, in pixels of the dialog's background image.
struct ControlPlace
{
    int id;
    int x;
    int y;
    int width;
    int height;
};

/// Moves and sizes each control of the dialog that exists to its place; the Z order stays.
inline void PlaceControls(CWnd& dialog, std::span<const ControlPlace> layout)
{
    for (const ControlPlace& place : layout)
        if (CWnd* control = dialog.GetDlgItem(place.id))
            control->SetWindowPos(nullptr, place.x, place.y, place.width, place.height,
                                  SWP_NOZORDER | SWP_NOACTIVATE);
}
