#pragma once

#include "platform/window/Afx.h"

/// Steps of the capture button that the capture panel and the compact capture window take alike, kept in
/// one place so that the two windows cannot drift apart. User-interface thread only.

/// True when the photo folder's volume has room for a photo or a self-timer shot (the capture controller's
/// minimum free space, 1,536,000 bytes, is enough). Otherwise unchecks
/// `captureButton` and shows message 701 owned by `owner`, and returns false.
bool EnsurePhotoSpace(HWND owner, HWND captureButton);

/// Milliseconds between two frames of a burst: 1000 / "ImagesPerSecond" (integer division). A rate below
/// one would divide by zero: one frame per second is the slowest taken.
UINT BurstFramePeriodMs();

/// The self-timer's delay in milliseconds, "NbSeconds" x 1000.
int SelfTimerDelayMs();

/// The capture button's press filter, for a WM_LBUTTONDOWN or WM_LBUTTONDBLCLK of the button `press.hwnd`:
/// drops the presses and double clicks queued behind it (they came while a capture held the window, and
/// each would start or stop the capture again); the button's other queued messages stay queued in their
/// order. Unchecks the button and returns true when the press is older than the current tick count.
bool FilterCapturePress(const MSG& press);
