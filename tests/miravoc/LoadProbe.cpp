// A program that links the audio library at load time, as the main program does. With "--load-only" it
// ends at once: loading and unloading the library must not need a window system. With "--one-call" it
// calls one export (which builds the library's engine and window) and returns without the window layer's
// closing call, as a host that knows nothing of it does. Otherwise it opens the
// named device, waits for the level to move, and ends with the capture still running, leaving the
// library's end to stop it. Prints what it saw; exits 0 when the library worked.

#include "miravoc/Miravoc.h"
#include "platform/window/Extras.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

int main(int argc, char** argv)
{
    std::string name = argc > 1 ? argv[1] : "";
    if (name == "--load-only")
        return 0;
    if (name == "--one-call")
    {
        std::printf("devices %u\n", GetNumDevices());
        std::fflush(stdout);
        return 0;
    }
    // The first call builds the library's engine on this thread, which then serves its window.
    std::printf("devices %u\n", GetNumDevices());
    std::printf("check %d\n", CheckDevice(name.data()));
    const int index = SetDevice(name.data());
    std::printf("device %d\n", index);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(8);
    DWORD level = 0;
    while (level == 0 && std::chrono::steady_clock::now() < deadline)
    {
        platform::window::PumpPendingMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(33));
        level = GetVolumeMeterValue();
    }
    std::printf("level %s\n", level > 0 ? "moving" : "still");
    std::fflush(stdout);
    // As the class library's program start does when the program ends.
    platform::window::BeginShutdown();
    return index >= 0 && level > 0 ? 0 : 1;
}
