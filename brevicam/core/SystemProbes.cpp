#include "SystemProbes.h"

#include "brevicam/core/RegKeyHolder.h"
#include "platform/registry/Registry.h"

#include <string>

namespace
{
constexpr DWORD kFailed = static_cast<DWORD>(-1);
constexpr const char* kProcessorsKey = "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\";
// Nothing needs to be started for drawing here; the token only marks the started state.
constexpr ULONG_PTR kStartedToken = 1;
} // namespace

ULONG_PTR g_gdiplusToken = 0;

DWORD GetTotalCpuMHz(DWORD* total)
{
    if (!total)
        return kFailed;
    CRegKeyHolder processors;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProcessorsKey, 0, KEY_READ, processors.Receive()) != ERROR_SUCCESS)
        return kFailed;

    *total = 0;
    for (DWORD index = 0;; ++index)
    {
        char name[MAX_PATH] = {};
        DWORD nameSize = MAX_PATH;
        const LONG rc = RegEnumKeyExA(processors, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            return *total;
        if (rc != ERROR_SUCCESS)
            return kFailed;

        CRegKeyHolder processor;
        const std::string path = std::string(kProcessorsKey) + name;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, processor.Receive()) !=
            ERROR_SUCCESS)
            return kFailed;
        DWORD type = REG_NONE;
        DWORD mhz = 0;
        DWORD size = sizeof mhz;
        if (RegQueryValueExA(processor, "~MHz", nullptr, &type, reinterpret_cast<BYTE*>(&mhz), &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD)
            return kFailed;
        *total += mhz;
    }
}

int StartupGdiPlus()
{
    g_gdiplusToken = kStartedToken;
    return 0;
}

void ShutdownGdiPlus()
{
    g_gdiplusToken = 0;
}
