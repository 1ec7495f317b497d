#pragma once

#include "platform/com/ComPtr.h"
#include "platform/dshow/DShow.h"
#include "platform/dshow/VirtualCamera.h"
#include "tests/support/DeviceMonikers.h"

#include <memory>
#include <string>
#include <vector>

namespace capture_testing
{
using platform::com::ComPtr;

using testing_support::FindMoniker;

/// The names of the filters in the graph, in the graph's order.
std::vector<std::string> FilterNames(IGraphBuilder* graph);

/// A main window with the live-video surface (control 1002) the renderer draws into, registered with
/// the settings store as the main window; both are destroyed with the object.
class VideoWindows
{
public:
    VideoWindows(int width = 640, int height = 480);
    ~VideoWindows();
    VideoWindows(const VideoWindows&) = delete;
    VideoWindows& operator=(const VideoWindows&) = delete;

    HWND Main() const { return m_main; }
    HWND Surface() const { return m_surface; }
    void ResizeSurface(int width, int height);

private:
    HWND m_main = nullptr;
    HWND m_surface = nullptr;
};

/// Dispatches the calling thread's messages for `ms` milliseconds; returns the messages of `message`
/// that arrived for `window` meanwhile (they are dispatched too).
int PumpMessages(int ms, HWND window = nullptr, UINT message = 0);

/// A virtual camera with the USB ids and sizes given, named `name`.
std::shared_ptr<platform::VirtualCamera> MakeCamera(const std::string& name, unsigned short vendorId,
                                                    unsigned short productId, std::vector<SIZE> sizes = {});
} // namespace capture_testing
