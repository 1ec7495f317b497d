#pragma once

#include "brevicam/core/Resolution.h"
#include "platform/dshow/DShow.h"

/// The output format of the camera's capture pin, read and set through the capture graph builder and
/// IAMStreamConfig while a graph mode is built. User-interface thread only. Failures raise CAtlException
/// with the failing HRESULT.

/// Puts `size` on the capture pin: uncompressed RGB24 first, then Motion JPEG, then the camera's own
/// subtype at that size; with the frame duration of the model's reduced-rate sizes (15 frames per
/// second) or of model 22 (31 frames per second).
void SetCaptureFormat(CResolution size, IBaseFilter* captureFilter, IGraphBuilder* graph);
/// The capture pin's current format.
CMediaType GetStreamFormat(IGraphBuilder* graph, IBaseFilter* captureFilter);
/// Applies `type` to the capture pin, and for model 24 to its still pin too (whose refusal is ignored).
void SetStreamFormat(IGraphBuilder* graph, IBaseFilter* captureFilter, const CMediaType& type);
