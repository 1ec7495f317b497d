#pragma once

#include "platform/win/Export.h"

#include <gst/gst.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform
{
class VirtualCamera;
class VirtualMicrophone;
} // namespace platform

/// The capture devices of the machine as the DirectShow layer sees them: cameras found by GStreamer's
/// device monitor (v4l2) and the virtual cameras, microphones found by the device monitor (PulseAudio,
/// monitor sources left out) and the virtual microphones.
namespace platform::dshow
{
struct Fraction
{
    int num = 0;
    int den = 1;
    double Value() const { return den ? static_cast<double>(num) / den : 0.0; }
    friend bool operator==(const Fraction&, const Fraction&) = default;
};

/// One size of one pixel format that a camera delivers, with its frame rates, fastest first.
struct VideoMode
{
    /// The GStreamer raw format name ("YUY2", "NV12", ...) or "MJPG" for Motion JPEG.
    std::string format;
    int width = 0;
    int height = 0;
    std::vector<Fraction> rates;
};

enum class DeviceKind
{
    Video,
    Audio
};

struct DeviceRecord
{
    DeviceKind kind = DeviceKind::Video;
    std::string friendlyName;
    /// Video: the Windows form "\\?\usb#vid_xxxx&pid_yyyy&mi_nn#instance#{category}\global" for USB
    /// cameras, "\\?\v4l#..." for others; audio: "pulse:<source name>" or the virtual microphone's path.
    std::string devicePath;
    std::vector<VideoMode> modes;
    /// The v4l2 node (/dev/videoN) or the PulseAudio source name; empty for virtual devices.
    std::string node;
    std::shared_ptr<GstDevice> device;
    std::shared_ptr<VirtualCamera> virtualCamera;
    std::shared_ptr<VirtualMicrophone> virtualMicrophone;
    /// A camera button gives the camera a still pin: the virtual camera's, or an input device's
    /// KEY_CAMERA read from `buttonNode`.
    bool stillButton = false;
    std::string buttonNode;
};

/// Lists the devices of a kind in a stable order: real devices first in the monitor's order, then the
/// virtual ones in creation order. Never throws; a missing device provider gives fewer devices.
PLATFORM_API std::vector<DeviceRecord> EnumerateDevices(DeviceKind kind);

/// The modes described by a device's caps (video/x-raw and image/jpeg structures); duplicates merged,
/// rate ranges turned into the usual rates they contain.
PLATFORM_API std::vector<VideoMode> ModesFromCaps(const GstCaps* caps);

/// The caps that select exactly one mode at one rate from a source.
GstCaps* CapsForMode(const VideoMode& mode, Fraction rate);

/// The Windows device path of a USB video interface ("\\?\usb#vid_046d&pid_0825&mi_00#...\global").
PLATFORM_API std::string UsbVideoDevicePath(unsigned vendorId, unsigned productId, unsigned interfaceNumber,
                                            const std::string& instance);

/// USB ids of a v4l2 node read from sysfs below `sysfsRoot` ("/sys" on a real system): the interface
/// folder of class/video4linux/<node>/device and the USB device folder above it. False when the node
/// is not a USB device.
struct UsbIds
{
    unsigned vendorId = 0;
    unsigned productId = 0;
    unsigned interfaceNumber = 0;
    std::string instance;
};
PLATFORM_API bool UsbIdsFromSysfs(const std::string& sysfsRoot, const std::string& videoNodeName,
                                  UsbIds* ids);

/// Makes the source bin of a device (always "src" pad, raw video or audio), delivering `mode` at
/// `rate` for a camera; null with `missing` naming the absent element factory when it cannot be made.
PLATFORM_API GstElement* CreateVideoSource(const DeviceRecord& device, const VideoMode& mode, Fraction rate,
                                           std::string* missing);
PLATFORM_API GstElement* CreateAudioSource(const DeviceRecord& device, std::string* missing);

/// Device arrival and removal, by device path, for graphs that hold a device's filter. Listeners are
/// called on the thread that noticed the change and must not block.
class PLATFORM_API DeviceWatch
{
public:
    using Listener = std::function<void(DeviceKind kind, const std::string& devicePath, bool arrived)>;
    static int Subscribe(Listener listener);
    static void Unsubscribe(int id);
    static void Announce(DeviceKind kind, const std::string& devicePath, bool arrived);
    /// Whether the device is still there (its node exists, or the virtual device is plugged).
    static bool IsPresent(const DeviceRecord& device);
};

/// The virtual devices plugged in now, in creation order (VirtualCamera.cpp).
std::vector<std::shared_ptr<VirtualCamera>> PluggedVirtualCameras();
std::vector<std::shared_ptr<VirtualMicrophone>> PluggedVirtualMicrophones();
} // namespace platform::dshow
