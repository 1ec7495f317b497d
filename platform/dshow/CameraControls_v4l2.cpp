#include "CameraControls.h"
#include "VirtualCamera.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace platform::dshow
{
namespace
{
struct ControlId
{
    unsigned value;
    unsigned automatic;
};

/// The V4L2 controls behind each VideoProcAmpProperty (0 where there is none).
ControlId V4l2Control(long property)
{
    switch (property)
    {
    case 0:
        return {V4L2_CID_BRIGHTNESS, 0};
    case 1:
        return {V4L2_CID_CONTRAST, 0};
    case 2:
        return {V4L2_CID_HUE, V4L2_CID_HUE_AUTO};
    case 3:
        return {V4L2_CID_SATURATION, 0};
    case 4:
        return {V4L2_CID_SHARPNESS, 0};
    case 5:
        return {V4L2_CID_GAMMA, 0};
    case 7:
        return {V4L2_CID_WHITE_BALANCE_TEMPERATURE, V4L2_CID_AUTO_WHITE_BALANCE};
    case 8:
        return {V4L2_CID_BACKLIGHT_COMPENSATION, 0};
    case 9:
        return {V4L2_CID_GAIN, V4L2_CID_AUTOGAIN};
    default:
        return {0, 0};
    }
}

class V4l2Controls final : public CameraControls
{
public:
    explicit V4l2Controls(int fd) : m_fd(fd) {}
    ~V4l2Controls() override { close(m_fd); }

    bool Range(long property, ControlRange* range) override
    {
        ControlId id = V4l2Control(property);
        v4l2_queryctrl query{};
        if (!id.value || !Query(id.value, &query))
            return false;
        range->min = query.minimum;
        range->max = query.maximum;
        range->step = query.step > 0 ? query.step : 1;
        range->defaultValue = query.default_value;
        v4l2_queryctrl automatic{};
        range->hasAuto = id.automatic && Query(id.automatic, &automatic);
        return true;
    }
    bool Get(long property, long* value, bool* automatic) override
    {
        ControlId id = V4l2Control(property);
        v4l2_control control{};
        control.id = id.value;
        if (!id.value || Ioctl(VIDIOC_G_CTRL, &control) != 0)
            return false;
        *value = control.value;
        v4l2_control autoControl{};
        autoControl.id = id.automatic;
        *automatic = id.automatic && Ioctl(VIDIOC_G_CTRL, &autoControl) == 0 && autoControl.value != 0;
        return true;
    }
    bool Set(long property, long value, bool automatic) override
    {
        ControlId id = V4l2Control(property);
        if (!id.value)
            return false;
        if (id.automatic)
        {
            v4l2_control autoControl{};
            autoControl.id = id.automatic;
            autoControl.value = automatic ? 1 : 0;
            if (Ioctl(VIDIOC_S_CTRL, &autoControl) != 0 && automatic)
                return false;
            if (automatic)
                return true;
        }
        v4l2_control control{};
        control.id = id.value;
        control.value = static_cast<int>(value);
        return Ioctl(VIDIOC_S_CTRL, &control) == 0;
    }

private:
    int Ioctl(unsigned long request, void* argument)
    {
        int result;
        do
            result = ioctl(m_fd, request, argument);
        while (result < 0 && errno == EINTR);
        return result;
    }
    bool Query(unsigned id, v4l2_queryctrl* query)
    {
        query->id = id;
        return Ioctl(VIDIOC_QUERYCTRL, query) == 0 && !(query->flags & V4L2_CTRL_FLAG_DISABLED);
    }

    int m_fd;
};

/// The virtual camera's controls: values kept with the camera, no effect on the picture.
class VirtualControls final : public CameraControls
{
public:
    explicit VirtualControls(std::shared_ptr<VirtualCamera> camera) : m_camera(std::move(camera)) {}

    bool Range(long property, ControlRange* range) override { return Known(property, range); }
    bool Get(long property, long* value, bool* automatic) override
    {
        ControlRange range;
        if (!Known(property, &range))
            return false;
        long stored = m_camera->ControlValue(property, range.defaultValue);
        *automatic = range.hasAuto && stored == kAuto;
        *value = *automatic ? range.defaultValue : stored;
        return true;
    }
    bool Set(long property, long value, bool automatic) override
    {
        ControlRange range;
        if (!Known(property, &range) || (automatic && !range.hasAuto))
            return false;
        m_camera->SetControlValue(property, automatic ? kAuto : value);
        return true;
    }

private:
    static constexpr long kAuto = -0x7FFFFFFF;

    static bool Known(long property, ControlRange* range)
    {
        switch (property)
        {
        case 0:
        case 1:
        case 3:
            *range = {0, 255, 1, 128, false};
            return true;
        case 2:
            *range = {-180, 180, 1, 0, false};
            return true;
        case 4:
            *range = {0, 7, 1, 3, false};
            return true;
        case 5:
            *range = {72, 500, 1, 100, false};
            return true;
        case 7:
            *range = {2800, 6500, 10, 4600, true};
            return true;
        case 8:
            *range = {0, 2, 1, 1, false};
            return true;
        case 9:
            *range = {0, 255, 1, 0, false};
            return true;
        default:
            return false;
        }
    }

    std::shared_ptr<VirtualCamera> m_camera;
};
} // namespace

std::unique_ptr<CameraControls> OpenCameraControls(const DeviceRecord& device)
{
    if (device.virtualCamera)
        return std::make_unique<VirtualControls>(device.virtualCamera);
    if (device.node.empty())
        return nullptr;
    int fd = open(device.node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    return std::make_unique<V4l2Controls>(fd);
}
} // namespace platform::dshow
