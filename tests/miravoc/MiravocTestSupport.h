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
