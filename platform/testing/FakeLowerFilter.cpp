#include "platform/testing/FakeLowerFilter.h"

#include "platform/win/LastError.h"

#include <cstdint>
#include <cstring>
#include <utility>

namespace platform::testing
{
namespace
{
constexpr DWORD kStateBytes = 44;
constexpr DWORD kSwitchBytes = 20;
constexpr std::size_t kStateOn = 8;
constexpr std::size_t kStateVendor = 20;
constexpr std::size_t kStateProduct = 22;
} // namespace

FakeLowerFilter::FakeLowerFilter(std::vector<Instance> instances) : m_instances(std::move(instances))
{
    platform::deviceio::InstallDriver(kDevicePath, this);
}

FakeLowerFilter::~FakeLowerFilter()
{
    platform::deviceio::InstallDriver(kDevicePath, nullptr);
}

std::vector<FakeLowerFilter::Instance> FakeLowerFilter::Instances() const
{
    std::lock_guard held(m_lock);
    return m_instances;
}

std::vector<FakeLowerFilter::Switch> FakeLowerFilter::Switches() const
{
    std::lock_guard held(m_lock);
    return m_switches;
}

BOOL FakeLowerFilter::Control(DWORD code, const void* in, DWORD inBytes, void* out, DWORD outBytes,
                              DWORD* returned, DWORD* error)
{
    std::lock_guard held(m_lock);
    *returned = 0;
    auto refuse = [error](DWORD why)
    {
        *error = why;
        return FALSE;
    };
    switch (code)
    {
    case kGetCount:
    {
        if (!out || outBytes < sizeof(DWORD))
            return refuse(ERROR_INSUFFICIENT_BUFFER);
        const auto count = static_cast<DWORD>(m_instances.size());
        std::memcpy(out, &count, sizeof count);
        *returned = sizeof count;
        return TRUE;
    }
    case kGetState:
    {
        std::uint64_t index = 0;
        if (!in || inBytes < sizeof index)
            return refuse(ERROR_INVALID_PARAMETER);
        std::memcpy(&index, in, sizeof index);
        if (index >= m_instances.size())
            return refuse(ERROR_INVALID_PARAMETER);
        if (!out || outBytes < kStateBytes)
            return refuse(ERROR_INSUFFICIENT_BUFFER);
        auto* record = static_cast<BYTE*>(out);
        std::memset(record, 0, kStateBytes);
        const Instance& instance = m_instances[index];
        const DWORD on = instance.noiseCancellation ? 1 : 0;
        std::memcpy(record + kStateOn, &on, sizeof on);
        std::memcpy(record + kStateVendor, &instance.vendorId, sizeof instance.vendorId);
        std::memcpy(record + kStateProduct, &instance.productId, sizeof instance.productId);
        *returned = kStateBytes;
        return TRUE;
    }
    case kSetNoiseCancellation:
    {
        if (!in || inBytes < kSwitchBytes)
            return refuse(ERROR_INVALID_PARAMETER);
        Switch request;
        std::memcpy(&request.instance, in, sizeof request.instance);
        std::memcpy(request.parameters, static_cast<const BYTE*>(in) + 4, sizeof request.parameters);
        if (request.instance >= m_instances.size())
            return refuse(ERROR_INVALID_PARAMETER);
        m_switches.push_back(request);
        m_instances[request.instance].noiseCancellation = request.parameters[1] != 0;
        return TRUE;
    }
    default:
        return refuse(ERROR_INVALID_FUNCTION);
    }
}
} // namespace platform::testing
