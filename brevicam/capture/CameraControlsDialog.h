#pragma once

#include "platform/dshow/DShow.h"
#include "platform/win/WinTypes.h"

/// The settings of a capture filter: the camera's picture controls (brightness, contrast, ...) in a modal
/// dialog owned by `owner`, one row per control the camera has, with its automatic mode where it has one.
/// OK applies the values, kept inside each control's range and on its steps; Cancel changes nothing.
/// Returns false when the filter has no picture controls, else true once the dialog has been shown.
/// User-interface thread.
bool ShowCameraControls(HWND owner, IBaseFilter* filter);

/// The camera-controls dialog open now, null when there is none.
HWND GetOpenCameraControls();
