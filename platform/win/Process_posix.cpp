#include "platform/win/Process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace platform
{
namespace
{
/// posix_spawn's file actions and attributes, and the copies of descriptors they use, freed with the scope.
class SpawnSetup
{
public:
    SpawnSetup()
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup()
    {
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        for (int fd : copies)
            close(fd);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    std::vector<int> copies;
};

bool IsExecutableFile(const std::string& path)
{
    struct stat info
    {
    };
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}
} // namespace

int SpawnProgram(const std::vector<std::string>& arguments, const std::array<int, 3>& stdio, pid_t* pid)
{
    if (arguments.empty() || arguments.front().empty() || !pid)
        return EINVAL;
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    SpawnSetup setup;
    for (int target = 0; target < 3; ++target)
    {
        const int fd = stdio[static_cast<std::size_t>(target)];
        if (fd == kStdioInherit)
            continue;
        // A copy above the standard descriptors, so that moving one into place cannot clobber another that
        // happens to sit there; the copies are close-on-exec and go with this call.
        const int copy = fd < 0 ? -1 : fcntl(fd, F_DUPFD_CLOEXEC, 3);
        if (copy >= 0)
        {
            setup.copies.push_back(copy);
            posix_spawn_file_actions_adddup2(&setup.actions, copy, target);
        }
        else
            posix_spawn_file_actions_addopen(&setup.actions, target, "/dev/null",
                                             target == 0 ? O_RDONLY : O_WRONLY, 0);
    }
    // Only the standard descriptors reach the child, also of those that some library or our own parent
    // left inheritable: a program started here may live long after us.
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setsigdefault(&setup.attributes, &all);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const bool hasFolder = arguments.front().find('/') != std::string::npos;
    return hasFolder ? posix_spawn(pid, argv[0], &setup.actions, &setup.attributes, argv.data(), environ)
                     : posix_spawnp(pid, argv[0], &setup.actions, &setup.attributes, argv.data(), environ);
}

std::string FindProgramOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    if (!path || name.empty() || name.find('/') != std::string::npos)
        return {};
    const std::string folders(path);
    std::size_t start = 0;
    while (start <= folders.size())
    {
        const std::size_t end = folders.find(':', start);
        const std::string folder =
            folders.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
        if (IsExecutableFile(candidate))
            return candidate;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return {};
}
} // namespace platform
