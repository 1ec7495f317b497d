#pragma once

#include "platform/win/WinTypes.h"

#include <span>

/// One capture size of a webcam model and the quality label (a string id) the resolution list shows for it.
struct tagResolutionLabel
{
    int width;
    int height;
    UINT label;
};

/// The sizes a webcam model offers under a label, in ascending order of area, for video mode (`video`) or
/// for the three photo modes. Models without a row of their own (0 included) get the default row; a model
/// whose sizes have no label at all gets an empty row.
std::span<const tagResolutionLabel> ResolutionLabelRow(int model, bool video);

/// The label of `width` x `height` in the model's row, 0 when the size has none.
UINT ResolutionLabelOf(int model, bool video, int width, int height);
