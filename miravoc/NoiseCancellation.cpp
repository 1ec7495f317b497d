#include "miravoc/NoiseCancellation.h"

#include "platform/deviceio/DeviceIo.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace
{
constexpr const char* kDriverPath = "\\\\.\\TaviskLowerFilter";
constexpr DWORD kDriverDeviceType = 0x8010;
constexpr DWORD IOCTL_LOWERFILTER_GET_COUNT =
    CTL_CODE(kDriverDeviceType, 1, METHOD_BUFFERED, FILE_READ_ACCESS);
constexpr DWORD IOCTL_LOWERFILTER_GET_STATE =
    CTL_CODE(kDriverDeviceType, 2, METHOD_BUFFERED, FILE_READ_ACCESS);
constexpr DWORD IOCTL_LOWERFILTER_SET_NC = CTL_CODE(kDriverDeviceType, 3, METHOD_BUFFERED, FILE_ANY_ACCESS);
static_assert(IOCTL_LOWERFILTER_GET_COUNT == 0x80104004 && IOCTL_LOWERFILTER_GET_STATE == 0x80104008 &&
              IOCTL_LOWERFILTER_SET_NC == 0x8010000C);

constexpr DWORD kStateBytes = 44;
constexpr std::size_t kStateOn = 8;
constexpr std::size_t kStateVendor = 20;
constexpr std::size_t kStateProduct = 22;
constexpr DWORD kSwitchBytes = 20;

/// The driver, open for the lifetime of the object; not open when there is no driver.
class Driver
{
public:
    Driver()
        : m_handle(
              CreateFileA(kDriverPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    ~Driver()
    {
        if (IsOpen())
            CloseHandle(m_handle);
    }
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }

    /// The number of instances; 0 when it cannot be read.
    DWORD Count()
    {
        DWORD count = 0;
        DWORD returned = 0;
        if (!DeviceIoControl(m_handle, IOCTL_LOWERFILTER_GET_COUNT, nullptr, 0, &count, sizeof count,
                             &returned, nullptr) ||
            returned < sizeof count)
            return 0;
        return count;
    }

    /// The state record of instance `instance`; false when it cannot be read.
    bool State(DWORD instance, BYTE (&record)[kStateBytes])
    {
        std::uint64_t index = instance;
        DWORD returned = 0;
        std::memset(record, 0, sizeof record);
        return DeviceIoControl(m_handle, IOCTL_LOWERFILTER_GET_STATE, &index, sizeof index, record,
                               sizeof record, &returned, nullptr) &&
               returned >= kStateBytes;
    }

    void Switch(DWORD instance, bool on, const NoiseCancellationParameters& parameters)
    {
        BYTE request[kSwitchBytes] = {};
        const DWORD values[5] = {instance, parameters.values[0], on ? parameters.values[1] : 0,
                                 parameters.values[2], parameters.values[3]};
        std::memcpy(request, values, sizeof request);
        DWORD returned = 0;
        DeviceIoControl(m_handle, IOCTL_LOWERFILTER_SET_NC, request, sizeof request, nullptr, 0, &returned,
                        nullptr);
    }

private:
    HANDLE m_handle;
};
} // namespace

int FindMicFilter(const CString& vendorId, const CString& productId)
{
    Driver driver;
    if (!driver.IsOpen())
        return -1;
    CString target = vendorId;
    target += productId;
    const DWORD count = driver.Count();
    for (DWORD i = 0; i < count; ++i)
    {
        BYTE record[kStateBytes];
        if (!driver.State(i, record))
            continue;
        WORD vendor = 0;
        WORD product = 0;
        std::memcpy(&vendor, record + kStateVendor, sizeof vendor);
        std::memcpy(&product, record + kStateProduct, sizeof product);
        char ids[16] = {};
        std::snprintf(ids, sizeof ids, "%04x%04x", vendor, product);
        if (target.CompareNoCase(ids) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

bool GetNoiseCancellation(int instance)
{
    // Without an instance of the webcam there is nothing to read; no instance stands for all of them.
    if (instance < 0)
        return false;
    Driver driver;
    if (!driver.IsOpen() || static_cast<DWORD>(instance) >= driver.Count())
        return false;
    BYTE record[kStateBytes];
    if (!driver.State(static_cast<DWORD>(instance), record))
        return false;
    DWORD on = 0;
    std::memcpy(&on, record + kStateOn, sizeof on);
    return on != 0;
}

void SetNoiseCancellation(bool on, int instance, const NoiseCancellationParameters& parameters)
{
    // Switching "every instance" would change microphones that are not the webcam's.
    if (instance < 0)
        return;
    Driver driver;
    if (!driver.IsOpen() || static_cast<DWORD>(instance) >= driver.Count())
        return;
    driver.Switch(static_cast<DWORD>(instance), on, parameters);
}
