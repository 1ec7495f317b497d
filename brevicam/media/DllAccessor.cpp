#include "brevicam/media/DllAccessor.h"

#include "brevicam/core/Params.h"
#include "platform/win/LastError.h"
#include "shared/exceptions/Exceptions.h"

#include <mutex>

CDllAccessor::CDllAccessor(const char* libraryName)
{
    m_hModule = LoadLibrary(libraryName);
    if (!m_hModule)
    {
        const int error = static_cast<int>(GetLastError());
        const std::string reason = platform::resources::LastLoadError();
        std::string text = "Failed to load the specified library ";
        text += libraryName ? libraryName : "(none)";
        if (!reason.empty())
            text += " (" + reason + ")";
        throw CDynamicLinkException(THROW_SITE_MESSAGE(text), error);
    }
}

CDllAccessor::~CDllAccessor()
{
    FreeLibrary(m_hModule);
}

FARPROC CDllAccessor::FindExport(const char* name) const
{
    FARPROC function = GetProcAddress(m_hModule, name);
    if (!function)
        // Named after the operation callers use, which finds and calls the export in one.
        throw CDynamicLinkException(
            ::exceptions::ThrowSiteMessage(__FILE__, "CDllAccessor::GetGenericFn",
                                           std::string("Failed to get method's address ") +
                                               (name ? name : "(none)")),
            static_cast<int>(GetLastError()));
    return function;
}

namespace
{
constexpr char kTranscoderLibrary[] = "libkestavo.so";

std::mutex g_transcoderPathLock;
CString g_transcoderPath;
} // namespace

CString GetTranscoderLibraryPath()
{
    {
        std::lock_guard lock(g_transcoderPathLock);
        if (!g_transcoderPath.IsEmpty())
            return g_transcoderPath;
    }
    // A full path, so that the program never binds another copy found along the system's library path.
    return CParams::GetProgramFolder() + "/" + kTranscoderLibrary;
}

void SetTranscoderLibraryPath(const CString& path)
{
    std::lock_guard lock(g_transcoderPathLock);
    g_transcoderPath = path;
}
