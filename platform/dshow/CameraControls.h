#pragma once

#include "Devices.h"

#include <memory>

namespace platform::dshow
{
struct ControlRange
{
    long min = 0;
    long max = 0;
    long step = 1;
    long defaultValue = 0;
    bool hasAuto = false;
};

/// The picture controls of one camera, numbered as VideoProcAmpProperty.
class CameraControls
{
public:
    virtual ~CameraControls() = default;
    virtual bool Range(long property, ControlRange* range) = 0;
    virtual bool Get(long property, long* value, bool* automatic) = 0;
    virtual bool Set(long property, long value, bool automatic) = 0;
};

/// The controls of a v4l2 camera (through its node) or of a virtual camera (kept with the camera).
std::unique_ptr<CameraControls> OpenCameraControls(const DeviceRecord& device);
} // namespace platform::dshow
