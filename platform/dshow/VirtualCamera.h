#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

typedef struct _GstElement GstElement;

namespace platform
{
/// What a virtual camera looks like to the device enumerator.
struct VirtualCameraConfig
{
    std::string name = "Brevicam Virtual Camera";
    /// USB ids carried in the device path ("vid_1D6B&pid_0104" by default: a Linux USB gadget).
    WORD vendorId = 0x1D6B;
    WORD productId = 0x0104;
    /// Sizes the camera delivers, each offered in YUY2 and (when `offerMjpeg`) in MJPG.
    std::vector<SIZE> sizes = {{640, 480}, {320, 240}, {1280, 720}};
    bool offerYuy2 = true;
    bool offerMjpeg = true;
    /// Frames per second offered at every size (each size also offers half of it).
    int framesPerSecond = 30;
    /// A camera button, delivered as frames on a still pin.
    bool stillButton = false;
    /// The test pattern of videotestsrc ("smpte" bars by default) and whether a running clock is drawn
    /// over its lower right corner.
    std::string pattern = "smpte";
    bool clockOverlay = true;
};

/// A webcam of our own device provider, backed by `videotestsrc`, for tests, demonstrations and
/// machines without a camera. While plugged it is listed by the system device enumerator like a USB
/// camera; its faults (busy, unplugged, stream errors) reach a running graph as a real camera's would.
/// All members may be called from any thread.
class PLATFORM_API VirtualCamera
{
public:
    /// Creates a camera and plugs it in. It is listed until it is unplugged or the last reference goes.
    static std::shared_ptr<VirtualCamera> Create(VirtualCameraConfig config = {});

    /// The cameras created by BREVICAM_VIRTUAL_CAMERA=1 in the environment (one camera with the default
    /// configuration, kept for the life of the process; BREVICAM_VIRTUAL_CAMERA=raw offers no Motion JPEG);
    /// made on first call, empty without the variable.
    static void EnableFromEnvironment();

    ~VirtualCamera();
    VirtualCamera(const VirtualCamera&) = delete;
    VirtualCamera& operator=(const VirtualCamera&) = delete;

    const VirtualCameraConfig& Config() const { return m_config; }
    /// "\\?\usb#vid_xxxx&pid_yyyy&mi_00#...#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\global".
    const std::string& DevicePath() const { return m_devicePath; }

    /// While busy, a graph that starts this camera fails as with a camera in use by another program.
    void SetBusy(bool busy);
    bool IsBusy() const;
    /// Unplugging stops running streams with a lost-device error and takes the camera off the list;
    /// plugging it back lists it again and tells graphs that held it.
    void Unplug();
    void Plug();
    bool IsPlugged() const;
    /// The next frame of a running stream fails with a stream error.
    void InjectStreamError();
    /// Presses the camera button: a frame goes out on the still pin of running graphs.
    void PressStillButton();

    /// For the DirectShow layer: the source element (a bin with an always "src" pad) delivering
    /// `format` ("YUY2" or "MJPG") at the given size and rate.
    GstElement* CreateSource(const std::string& format, int width, int height, int rateNum, int rateDen);
    /// For the DirectShow layer: the camera's picture controls, kept with the camera.
    long ControlValue(long property, long fallback) const;
    void SetControlValue(long property, long value);
    /// For the DirectShow layer: called on every still-button press until removed.
    int AddStillListener(std::function<void()> listener);
    void RemoveStillListener(int id);

    struct State;

private:
    explicit VirtualCamera(VirtualCameraConfig config, int serial);

    VirtualCameraConfig m_config;
    std::string m_devicePath;
    std::shared_ptr<State> m_state;
};

/// A microphone of our own device provider, backed by `audiotestsrc` (a sine tone), listed by the
/// audio capture category while plugged.
class PLATFORM_API VirtualMicrophone
{
public:
    static std::shared_ptr<VirtualMicrophone> Create(std::string name = "Brevicam Virtual Microphone",
                                                     int sampleRate = 44100, int channels = 2);
    ~VirtualMicrophone();
    VirtualMicrophone(const VirtualMicrophone&) = delete;
    VirtualMicrophone& operator=(const VirtualMicrophone&) = delete;

    const std::string& Name() const { return m_name; }
    const std::string& DevicePath() const { return m_devicePath; }
    void Unplug();
    void Plug();
    bool IsPlugged() const;

    /// For the DirectShow layer: a live source bin with an always "src" pad.
    GstElement* CreateSource();

private:
    VirtualMicrophone(std::string name, int sampleRate, int channels, int serial);

    std::string m_name;
    std::string m_devicePath;
    int m_sampleRate;
    int m_channels;
    std::shared_ptr<std::atomic<bool>> m_plugged;
};
} // namespace platform
