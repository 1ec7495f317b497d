#pragma once

#include "platform/win/Export.h"

#include <functional>
#include <memory>
#include <string>
#include <thread>

/// The snapshot button of a USB camera: on Linux an input device of the same USB device that reports
/// KEY_CAMERA.
namespace platform::dshow
{
/// The event node ("/dev/input/eventN") of the input device with KEY_CAMERA that belongs to the same
/// USB device as the v4l2 node, found below `sysfsRoot` ("/sys"); empty when the camera has none.
PLATFORM_API std::string CameraButtonNode(const std::string& sysfsRoot, const std::string& videoNodeName);

/// Reads input events from `fd` (which it owns) on a thread of its own and calls `pressed` for each
/// press of KEY_CAMERA. Stops and joins the thread on destruction.
class PLATFORM_API CameraButtonReader
{
public:
    CameraButtonReader(int fd, std::function<void()> pressed);
    ~CameraButtonReader();
    CameraButtonReader(const CameraButtonReader&) = delete;
    CameraButtonReader& operator=(const CameraButtonReader&) = delete;

private:
    void Run();

    int m_fd;
    int m_wake[2] = {-1, -1};
    std::function<void()> m_pressed;
    std::thread m_thread;
};
} // namespace platform::dshow
