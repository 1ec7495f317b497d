#include "platform/deviceio/DeviceIo.h"
#include "platform/win/LastError.h"

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <strings.h>

namespace
{
struct NoCase
{
    bool operator()(const std::string& a, const std::string& b) const
    {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    }
};

std::mutex g_lock;
std::map<std::string, platform::deviceio::IDeviceDriver*, NoCase> g_drivers; // under g_lock
// Open device handles and their drivers. A handle is a kernel event, so that CloseHandle ends it as any
// handle; an entry left behind by a closed handle is replaced when its value comes back.
std::map<HANDLE, platform::deviceio::IDeviceDriver*> g_open; // under g_lock

constexpr const char kDevicePrefix[] = "\\\\.\\";
} // namespace

HANDLE CreateFileA(LPCSTR path, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD, HANDLE)
{
    if (!path || strncmp(path, kDevicePrefix, sizeof kDevicePrefix - 1) != 0)
    {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    if (disposition != OPEN_EXISTING)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::lock_guard held(g_lock);
    const auto driver = g_drivers.find(path);
    if (driver == g_drivers.end())
    {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!handle)
        return INVALID_HANDLE_VALUE;
    g_open[handle] = driver->second;
    return handle;
}

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inBytes, LPVOID out, DWORD outBytes,
                     DWORD* returned, LPOVERLAPPED overlapped)
{
    if (overlapped)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    platform::deviceio::IDeviceDriver* driver = nullptr;
    {
        std::lock_guard held(g_lock);
        const auto open = g_open.find(device);
        if (open != g_open.end())
            driver = open->second;
    }
    if (!driver)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD written = 0;
    DWORD error = ERROR_SUCCESS;
    const BOOL done = driver->Control(code, in, inBytes, out, outBytes, &written, &error);
    if (returned)
        *returned = written;
    if (!done)
        SetLastError(error);
    return done;
}

namespace platform::deviceio
{
void InstallDriver(const char* path, IDeviceDriver* driver)
{
    if (!path)
        return;
    std::lock_guard held(g_lock);
    if (driver)
        g_drivers[path] = driver;
    else
        g_drivers.erase(path);
}
} // namespace platform::deviceio
