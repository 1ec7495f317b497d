#include "SmallDisk.h"

#include <fstream>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

namespace testing_support
{
bool MountSmallTmpfs(const std::filesystem::path& where, int kilobytes)
{
    if (unshare(CLONE_NEWNS) != 0)
    {
        const uid_t uid = getuid();
        const gid_t gid = getgid();
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return false;
        std::ofstream("/proc/self/setgroups") << "deny";
        std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
        std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
    }
    if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    std::filesystem::create_directories(where);
    const std::string options = "size=" + std::to_string(kilobytes) + "k";
    return mount("tmpfs", where.c_str(), "tmpfs", 0, options.c_str()) == 0;
}
} // namespace testing_support
