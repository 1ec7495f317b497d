#pragma once

#include "platform/win/WinTypes.h"
// IDC_LIVE_VIDEO: the live-video surface of the main dialog, into which the renderer draws.
#include "resources/brevicam/resource.h"

/// Posted by the Filter Graph Manager to the main window for each queued graph event (wParam 0).
constexpr UINT WM_GRAPH_NOTIFY = 0x8100;
/// Posted by the still-pin callback to its target window for each press of the camera button (wParam 0,
/// lParam 0).
constexpr UINT WM_CAMERA_SNAPSHOT = 5170;
/// The renderer's repaint timer of the main window.
constexpr UINT_PTR IDT_RENDERER_REPAINT = 200;
