#pragma once

#include "platform/com/ComPtr.h"
#include "platform/dshow/DShow.h"
#include "platform/dshow/VirtualCamera.h"
#include "tests/support/DeviceMonikers.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace capture_testing
{
using platform::com::ComPtr;

using testing_support::FindMoniker;

/// The photo and video folders of a capture test.
struct CaptureFolders
{
    std::filesystem::path photos;
    std::filesystem::path videos;
};

/// Makes `root` the test's home (HOME, XDG_CONFIG_HOME, so the GIF folder lands there too) with photos/ and
/// videos/ folders, and gives the settings store what a first start has: no devices chosen, photo mode at
/// 640 x 480, JPEG, 3 pictures at 5 a second, no shutter sound; the list of last files emptied and message
/// boxes recorded instead of shown.
CaptureFolders PrepareCaptureSettings(const std::filesystem::path& root);

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

/// From now on the recording's file writes fail for want of space (ENOSPC) once `bytes` have been written;
/// platform::dshow::SetFileWriteHook(nullptr) ends it.
void FillDiskAfter(long bytes);

/// A virtual camera with the USB ids and sizes given, named `name`.
std::shared_ptr<platform::VirtualCamera> MakeCamera(const std::string& name, unsigned short vendorId,
                                                    unsigned short productId, std::vector<SIZE> sizes = {});
} // namespace capture_testing
