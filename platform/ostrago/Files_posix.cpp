#include "Ostrago.h"

#include "platform/resources/Resources.h"
#include "platform/win/CString.h"
#include "platform/win/LastError.h"

#include <atomic>
#include <cerrno>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>

DWORD GetModuleDirectory(char* buffer, DWORD size)
{
    if (!buffer || size == 0)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    buffer[0] = '\0';
    char path[4096];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return 0;
    std::string folder(path, length);
    const auto slash = folder.rfind('/');
    if (slash == std::string::npos)
    {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    folder.resize(slash == 0 ? 1 : slash);
    return static_cast<DWORD>(platform::CopyTruncated(buffer, size, folder));
}

namespace
{
std::atomic<long long> g_availableSpace{-1};
}

void platform::SetAvailableSpace(long long bytes)
{
    g_availableSpace = bytes;
}

ULARGE_INTEGER GetAvailableSpace(const char* path)
{
    ULARGE_INTEGER result{};
    if (!path || !*path)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return result;
    }
    if (const long long fixed = g_availableSpace.load(); fixed >= 0)
    {
        result.QuadPart = static_cast<ULONGLONG>(fixed);
        return result;
    }
    // The file (and folders above it) may not exist yet: the space is that of the volume that will
    // hold it, so walk up to the nearest folder that does exist.
    std::string where(path);
    struct statvfs vfs
    {
    };
    while (statvfs(where.c_str(), &vfs) != 0)
    {
        if ((errno != ENOENT && errno != ENOTDIR) || where == "/" || where == ".")
        {
            platform::SetLastErrorFromErrno();
            return result;
        }
        while (where.size() > 1 && where.back() == '/')
            where.pop_back();
        const auto slash = where.rfind('/');
        // assign(count, char): GCC 12 warns falsely (-Wrestrict) on a one-letter literal assigned here.
        if (slash == std::string::npos)
            where.assign(1, '.');
        else if (slash == 0)
            where.assign(1, '/');
        else
            where.resize(slash);
    }
    result.QuadPart = static_cast<ULONGLONG>(vfs.f_bavail) * vfs.f_frsize;
    return result;
}

LARGE_INTEGER GetFileSize(const char* path)
{
    LARGE_INTEGER result{};
    struct stat st
    {
    };
    if (!path)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return result;
    }
    if (stat(path, &st) != 0)
    {
        platform::SetLastErrorFromErrno();
        return result;
    }
    if (S_ISREG(st.st_mode))
        result.QuadPart = st.st_size;
    return result;
}

BOOL FileExists(const char* path, DWORD)
{
    struct stat st
    {
    };
    return path && stat(path, &st) == 0 && !S_ISDIR(st.st_mode) ? TRUE : FALSE;
}
