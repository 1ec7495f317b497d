#pragma once

#include "platform/deviceio/DeviceIo.h"

#include <mutex>
#include <vector>

namespace platform::testing
{
/// The webcam's audio lower-filter driver for tests: while it lives it answers the device path
/// "\\.\TaviskLowerFilter" with its instances (USB ids and noise-cancellation state) through the three
/// requests the driver knows (count, state of one instance, switch the noise cancellation of one
/// instance), and records every switch it is asked for. Any thread.
class FakeLowerFilter final : public platform::deviceio::IDeviceDriver
{
public:
    static constexpr const char* kDevicePath = "\\\\.\\TaviskLowerFilter";
    static constexpr DWORD kGetCount = 0x80104004;
    static constexpr DWORD kGetState = 0x80104008;
    static constexpr DWORD kSetNoiseCancellation = 0x8010000C;

    struct Instance
    {
        WORD vendorId = 0;
        WORD productId = 0;
        bool noiseCancellation = false;
    };
    /// One switch request as the driver received it.
    struct Switch
    {
        DWORD instance = 0;
        DWORD parameters[4] = {};
    };

    explicit FakeLowerFilter(std::vector<Instance> instances);
    ~FakeLowerFilter() override;
    FakeLowerFilter(const FakeLowerFilter&) = delete;
    FakeLowerFilter& operator=(const FakeLowerFilter&) = delete;

    std::vector<Instance> Instances() const;
    std::vector<Switch> Switches() const;

    BOOL Control(DWORD code, const void* in, DWORD inBytes, void* out, DWORD outBytes, DWORD* returned,
                 DWORD* error) override;

private:
    mutable std::mutex m_lock;
    std::vector<Instance> m_instances;
    std::vector<Switch> m_switches;
};
} // namespace platform::testing
