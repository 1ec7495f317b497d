#pragma once

#include "platform/win/WinTypes.h"
#include "platform/window/WinGdi.h"

#include <string>

/// A new bitmap of the same size as `bitmap` (32 bits, as the screen) holding its picture mirrored
/// left-right (`leftRight` TRUE) or upside down; the source is left unchanged. Null when `bitmap` is no
/// bitmap.
HBITMAP MirrorBitmap(HBITMAP bitmap, BOOL leftRight);

/// The file list's thumbnail of a picture: 100 x 90 filled with COLOR_WINDOW, the picture copied
/// unscaled and centred (a larger one loses equal parts on both sides) and a one-pixel COLOR_BTNFACE
/// frame around the whole. A new bitmap for the caller; null when `picture` is no bitmap.
HBITMAP MakeThumbnailPicture(HBITMAP picture);

/// A frame of the video at `path` taken by the transcoder library's converter, as a bitmap 100 pixels
/// wide of the frame's proportions over opaque black. The frame goes through a private temporary folder
/// that is removed before this returns. `cancel` (an event; may be null) ends the wait for the frame and
/// the converter at once. Returns 0 with the bitmap, -1 when the library or the converter failed or the
/// frame could not be read, or `soFar` when no frame came.
HRESULT ExtractVideoFrame(const std::string& path, HANDLE cancel, HRESULT soFar, HBITMAP* frame);

/// Ends the converter that the thread `systemThreadId` (the kernel's id) started and still runs, with
/// everything it started in turn; the thread itself reaps it.
void EndConverterOfThread(int systemThreadId);
