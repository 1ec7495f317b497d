#pragma once

#include "platform/win/WinTypes.h"

/// Posted by the Filter Graph Manager to the main window for each queued graph event (wParam 0).
constexpr UINT WM_GRAPH_NOTIFY = 0x8100;
/// Posted by the still-pin callback to its target window for each press of the camera button (wParam 0,
/// lParam 0).
constexpr UINT WM_CAMERA_SNAPSHOT = 5170;
/// The live-video surface of the main dialog, into which the renderer draws.
constexpr int IDC_LIVE_VIDEO = 1002;
/// The renderer's repaint timer of the main window.
constexpr UINT_PTR IDT_RENDERER_REPAINT = 200;
