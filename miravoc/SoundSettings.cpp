#include "miravoc/SoundSettings.h"

#include "platform/ostrago/Ostrago.h"
#include "platform/win/Process.h"

#include <string>

namespace
{
constexpr const char* kProgram = "pavucontrol";
// The program and its arguments; its fourth tab lists the input devices.
constexpr const char* kCommandLine = "pavucontrol --tab=4";
} // namespace

bool IsSoundSettingsInstalled()
{
    return !platform::FindProgramOnPath(kProgram).empty();
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
