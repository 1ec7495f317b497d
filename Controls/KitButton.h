#pragma once

#include "platform/window/Afx.h"

/// Behaviour the kit's two owner-drawn buttons share.

/// The text alignment (DT_LEFT, DT_RIGHT or DT_CENTER) and the kind (0 push button, 2 check box, 4 radio
/// button) that a button's style bits ask for.
void ReadKitButtonStyle(DWORD style, UINT* align, int* kind);

/// While the mouse is captured, a pressed button looks pressed only while the pointer is over it: sets
/// the button's pushed state to whether `screenPoint` lies over it. True when the state changed.
bool PushedFollowsPointer(CWnd* button, CPoint screenPoint);
