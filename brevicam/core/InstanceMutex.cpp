#include "InstanceMutex.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
struct InstanceLock
{
    int fd;
};

std::string LockFolder()
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return runtime;
    std::string folder = "/tmp/brevicam-" + std::to_string(::getuid());
    ::mkdir(folder.c_str(), 0700);
    return folder;
}

/// Keeps the handle open until the program ends, after every other static object of this unit.
struct InstanceMutexHolder
{
    InstanceMutexHolder()
    {
        g_hInstanceMutex = OpenInstanceMutex("WebCam Vistrel 2", &g_dwInstanceMutexError);
    }
    ~InstanceMutexHolder()
    {
        CloseInstanceMutex(g_hInstanceMutex);
        g_hInstanceMutex = nullptr;
    }
};
} // namespace

HANDLE g_hInstanceMutex = nullptr;
DWORD g_dwInstanceMutexError = 0;

HANDLE OpenInstanceMutex(const char* name, DWORD* error)
{
    const std::string path = LockFolder() + "/" + name + ".lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
    {
        *error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    *error = 0;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        *error = errno == EWOULDBLOCK ? ERROR_ALREADY_EXISTS : ERROR_ACCESS_DENIED;
    if (*error == ERROR_ACCESS_DENIED)
    {
        ::close(fd);
        return nullptr;
    }
    return new InstanceLock{fd};
}

void CloseInstanceMutex(HANDLE mutex)
{
    if (!mutex)
        return;
    auto* lock = static_cast<InstanceLock*>(mutex);
    ::close(lock->fd); // releases the lock when this process held it
    delete lock;
}

static InstanceMutexHolder g_instanceMutexHolder;
