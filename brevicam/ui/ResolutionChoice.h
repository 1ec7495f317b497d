#pragma once

#include "brevicam/core/Resolution.h"
#include "platform/commctrl2/ComboBox.h"
#include "platform/window/Afx.h"

class CCaptureController;

/// The resolution list shared by the capture panel and the compact capture window: the supported sizes of
/// the current webcam model and capture mode, each shown by its quality label. Both windows fill, enable
/// and apply their list only through these functions, so that they offer the same sizes under the same
/// names. User-interface thread only.

/// The string id of the quality label that stands for `size` in the photo (`video` false) or video list of
/// webcam `model`; 0 when no label stands for it, and such a size is not listed.
UINT ResolutionLabelId(int model, bool video, const CResolution& size);

/// Empties `list` and adds the label of every supported size of the controller (ascending by area) that has
/// one, texts taken from `texts`; selects the current capture size, or the first item when it is not
/// listed. Returns the number of items.
int FillResolutionList(CComboBox& list, CCaptureController& controller, HINSTANCE texts);

/// Enables `list` when it holds a size and the graph records in neither recording mode (graph mode 1 or
/// 2), disables it otherwise. True while the graph is in a recording mode: the caller shows its REC
/// indicator then, PAUSE otherwise.
bool UpdateResolutionListState(CComboBox& list, CCaptureController& controller);

/// Maps the chosen label of `list` back, through the label row of the current webcam model and mode, to
/// its size and changes the controller to it. When the list's window outlived the change (the graph is
/// rebuilt meanwhile, and a lost camera closes the windows), stores the size's text ("1280 x 720") as the
/// current camera's video (capture mode 3) or photo resolution and saves the camera settings, and returns
/// true. False, changing nothing, when nothing is chosen or the label is not in the row.
bool ApplyChosenResolution(CComboBox& list, CCaptureController& controller, HINSTANCE texts);
