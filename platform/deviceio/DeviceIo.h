#pragma once

#include "platform/win/Export.h"
#include "platform/win/Kernel.h"
#include "platform/win/WinTypes.h"

/// Device I/O: a driver opened by its device path ("\\.\Name") and asked with I/O control codes, each
/// request a buffered exchange of an input and an output block. The handle is closed with CloseHandle.
/// Drivers of Windows have no Linux counterpart: a device path opens only a driver installed in this
/// process (platform::deviceio::InstallDriver, used by the fakes of the tests), and otherwise fails with
/// ERROR_FILE_NOT_FOUND, which callers take as "no driver". Any thread; failures through GetLastError.

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD METHOD_BUFFERED = 0;
constexpr DWORD FILE_ANY_ACCESS = 0;
constexpr DWORD FILE_READ_ACCESS = 1;
constexpr DWORD FILE_WRITE_ACCESS = 2;

/// An I/O control code: device type, function, transfer method and access.
constexpr DWORD CTL_CODE(DWORD deviceType, DWORD function, DWORD method, DWORD access)
{
    return (deviceType << 16) | (access << 14) | (function << 2) | method;
}

/// Opens the driver of device path `path` ("\\.\Name"); only OPEN_EXISTING is meaningful. Other paths
/// are not files here: ERROR_INVALID_NAME. INVALID_HANDLE_VALUE on failure.
PLATFORM_API HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES attributes,
                                DWORD disposition, DWORD flags, HANDLE templateFile);
/// One request to the driver of `device`: `inBytes` of input, at most `outBytes` of output, whose length
/// goes to `*returned`. `overlapped` must be null. FALSE with the driver's error when it refuses.
PLATFORM_API BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inBytes, LPVOID out,
                                  DWORD outBytes, DWORD* returned, LPOVERLAPPED overlapped);

#define CreateFile CreateFileA

namespace platform::deviceio
{
/// A driver behind a device path: answers I/O control requests. Called on the requesting thread, one
/// request at a time per driver.
class IDeviceDriver
{
public:
    virtual ~IDeviceDriver() = default;
    /// Answers request `code`; sets `*returned` to the output bytes written. FALSE with an error code in
    /// `*error` when the request is refused.
    virtual BOOL Control(DWORD code, const void* in, DWORD inBytes, void* out, DWORD outBytes,
                         DWORD* returned, DWORD* error) = 0;
};

/// Makes `driver` (owned by the caller, which keeps it alive while installed) answer device path `path`,
/// compared ignoring case; null removes the driver of that path. Handles already open keep the driver
/// they opened until they are closed, so the caller removes a driver before it goes away.
PLATFORM_API void InstallDriver(const char* path, IDeviceDriver* driver);
} // namespace platform::deviceio
