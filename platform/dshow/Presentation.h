#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

#include <functional>
#include <memory>
#include <string>

/// Where the capture layer meets the window layer: the windowless renderer hands its frames to a frame
/// sink that draws them into the clipping window, and the graph posts its notify messages through a
/// poster. The window layer installs both at start-up; until then frames are only kept (for
/// GetCurrentImage) and no message is posted.
namespace platform::dshow
{
/// One picture: top-down rows of 32-bit pixels, bytes B, G, R, X.
struct VideoFrame
{
    int width = 0;
    int height = 0;
    int stride = 0;
    const BYTE* pixels = nullptr;
    /// Keeps the pixels alive for as long as the frame is held.
    std::shared_ptr<const void> owner;
};

/// Draws `frame`'s `source` rectangle into `destination` of `window`'s client area. Called on a
/// streaming thread for each new frame and on the caller's thread by RepaintVideo; must not block.
using VideoFrameSink =
    std::function<void(HWND window, const VideoFrame& frame, const RECT& source, const RECT& destination)>;
PLATFORM_API void SetVideoFrameSink(VideoFrameSink sink);

/// PostMessage of the window layer.
using MessagePoster = BOOL (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
PLATFORM_API void SetMessagePoster(MessagePoster poster);

/// Checks that every GStreamer element the capture layer needs is installed; false with the first
/// missing one's name in `missing` (the program names it to the user instead of showing a black
/// picture).
PLATFORM_API bool CheckElementFactories(std::string* missing);
} // namespace platform::dshow
