#pragma once

#include "brevicam/core/Resolution.h"
#include "platform/commctrl2/ComboBox.h"
#include "platform/window/Afx.h"

class CCaptureController;

/// The resolution list of the capture windows: the supported sizes of the current webcam model and capture
/// mode, each shown by its quality label. User-interface thread only.

/// The string id of the quality label that stands for `size` in the photo (`video` false) or video list of
/// webcam `model`; 0 when no label stands for it, and such a size is not listed.
UINT ResolutionLabelId(int model, bool video, const CResolution& size);

/// Empties `list` and adds the label of every supported size of the controller (ascending by area) that has
/// one, texts taken from `texts`; selects the current capture size, or the first item when it is not
/// listed. Returns the number of items.
int FillResolutionList(CComboBox& list, CCaptureController& controller, HINSTANCE texts);

/// Maps the chosen label of `list` back to its size, changes the controller to it and stores its text
/// ("1280 x 720") as the current camera's video (capture mode 3) or photo resolution, saving the camera
/// settings. False, changing nothing, when nothing is chosen or the label names no supported size. What
/// the controller throws reaches the caller.
bool ApplyChosenResolution(CComboBox& list, CCaptureController& controller, HINSTANCE texts);
