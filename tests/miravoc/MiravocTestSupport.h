#pragma once

#include "miravoc/AudioDeviceEngine.h"
#include "platform/window/Extras.h"
#include "tests/support/PulseDaemon.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <dirent.h>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace miravoc_test
{
/// Serves the calling thread's messages (the engine's hidden window lives on it) until `done` holds;
/// false when it did not within `timeoutMs`.
template <typename Done> bool PumpUntil(Done done, int timeoutMs = 8000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;)
    {
        platform::window::PumpPendingMessages();
        if (done())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

/// Serves messages for a while, for what must not happen.
inline void PumpFor(int ms)
{
    PumpUntil([] { return false; }, ms);
}

/// What the engine reported through its callback, in order.
class EngineEvents
{
public:
    static void Callback(DWORD value, DWORD type)
    {
        std::lock_guard held(Lock());
        All().emplace_back(value, type);
    }
    static std::vector<std::pair<DWORD, DWORD>> Snapshot()
    {
        std::lock_guard held(Lock());
        return All();
    }
    static void Clear()
    {
        std::lock_guard held(Lock());
        All().clear();
    }
    static int Count(DWORD type)
    {
        const auto all = Snapshot();
        return static_cast<int>(
            std::count_if(all.begin(), all.end(), [&](const auto& e) { return e.second == type; }));
    }
    /// Position of the first event of `type`; -1 when none came.
    static int First(DWORD type)
    {
        const auto all = Snapshot();
        for (size_t i = 0; i < all.size(); ++i)
        {
            if (all[i].second == type)
                return static_cast<int>(i);
        }
        return -1;
    }

private:
    static std::mutex& Lock()
    {
        static std::mutex lock;
        return lock;
    }
    static std::vector<std::pair<DWORD, DWORD>>& All()
    {
        static std::vector<std::pair<DWORD, DWORD>> all;
        return all;
    }
};

/// The raw channel volumes pactl reports for a source: the independent view of what the library wrote.
inline std::vector<unsigned> PactlVolumes(const testing_support::PulseDaemon& daemon,
                                          const std::string& source)
{
    std::string out;
    if (daemon.Pactl({"get-source-volume", source}, &out) != 0)
        return {};
    // "Volume: front-left: 32769 /  50% / -18.06 dB,   front-right: ...": the numbers between ':' and '/'.
    std::vector<unsigned> volumes;
    for (size_t colon = out.find(':'); colon != std::string::npos; colon = out.find(':', colon + 1))
    {
        size_t i = out.find_first_not_of(' ', colon + 1);
        const size_t digits = i;
        while (i < out.size() && std::isdigit(static_cast<unsigned char>(out[i])))
            ++i;
        if (i == digits || i == std::string::npos)
            continue;
        const size_t slash = out.find_first_not_of(' ', i);
        if (slash != std::string::npos && out[slash] == '/')
            volumes.push_back(static_cast<unsigned>(std::stoul(out.substr(digits, i - digits))));
    }
    return volumes;
}

inline bool PactlMuted(const testing_support::PulseDaemon& daemon, const std::string& source)
{
    std::string out;
    return daemon.Pactl({"get-source-mute", source}, &out) == 0 && out.find("Mute: yes") != std::string::npos;
}

/// The number of the engine's threads alive in this process, by their names.
inline int EngineThreadCount()
{
    int count = 0;
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks)
        return -1;
    while (const dirent* entry = readdir(tasks))
    {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string name;
        std::getline(comm, name);
        count += name.starts_with("miravoc-") ? 1 : 0;
    }
    closedir(tasks);
    return count;
}
} // namespace miravoc_test
