// Ends its process while a sound plays and another thread keeps starting and stopping sounds: the process
// must end, with status 0, neither hanging nor crashing. Exit status 2 when the first sound did not start.

#include "platform/wave/MMSystem.h"

#include <chrono>
#include <thread>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 3;
    const char* sound = argv[1];
    constexpr DWORD flags = SND_ASYNC | SND_NODEFAULT | SND_FILENAME;
    if (!PlaySoundA(sound, nullptr, flags))
        return 2;
    std::thread(
        [sound]
        {
            for (;;)
            {
                PlaySoundA(sound, nullptr, flags);
                PlaySoundA(nullptr, nullptr, flags);
            }
        })
        .detach();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return 0;
}
