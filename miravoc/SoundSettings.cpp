#include "miravoc/SoundSettings.h"

#include "platform/ostrago/Ostrago.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace
{
constexpr const char* kProgram = "pavucontrol";
// The program and its arguments; its fourth tab lists the input devices.
constexpr const char* kCommandLine = "pavucontrol --tab=4";
} // namespace

bool IsSoundSettingsInstalled()
{
    const char* path = std::getenv("PATH");
    if (!path)
        return false;
    const std::string folders = path;
    std::size_t start = 0;
    while (start <= folders.size())
    {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::filesystem::path candidate =
            std::filesystem::path(end > start ? folders.substr(start, end - start) : ".") / kProgram;
        std::error_code error;
        const auto status = std::filesystem::status(candidate, error);
        if (!error && std::filesystem::is_regular_file(status) &&
            (status.permissions() & (std::filesystem::perms::owner_exec | std::filesystem::perms::group_exec |
                                     std::filesystem::perms::others_exec)) != std::filesystem::perms::none)
            return true;
        start = end + 1;
    }
    return false;
}

bool OpenSoundSettings()
{
    std::string commandLine = kCommandLine;
    HANDLE process = nullptr;
    if (!ExecCommand(commandLine.data(), &process, nullptr, 0))
        return false;
    // It runs on by itself; its handle still reaps it when it ends.
    CloseHandle(process);
    return true;
}
