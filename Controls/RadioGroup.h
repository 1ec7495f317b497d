#pragma once

#include "platform/window/Afx.h"

/// The message that tells a kit button of a radio group to uncheck itself. Its number means other things
/// to other windows (the shell list's populate message), so it goes to the kit's own buttons only.
constexpr UINT WM_KIT_RADIO_UNCHECK = WM_USER + 0x100;

/// Sends WM_KIT_RADIO_UNCHECK to every other kit button of `button`'s group, stepping forward through
/// the group from the button until the walk comes back to it.
void UncheckRadioGroup(CWnd* button);
