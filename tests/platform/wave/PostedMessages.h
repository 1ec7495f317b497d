#pragma once

#include "platform/wave/MMSystem.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

// Collects what the audio layer posts to windows, as the window layer's PostMessage would receive it.
struct PostedMessage
{
    HWND window;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

class PostedMessages
{
public:
    PostedMessages() { platform::wave::SetWindowPoster(&PostedMessages::Post); }
    ~PostedMessages()
    {
        platform::wave::SetWindowPoster(nullptr);
        std::lock_guard held(Lock());
        All().clear();
    }

    /// Waits until a posted message satisfies `match`; true when one came within `timeoutMs`.
    bool WaitFor(const std::function<bool(const PostedMessage&)>& match, int timeoutMs = 5000)
    {
        std::unique_lock held(Lock());
        return Changed().wait_for(held, std::chrono::milliseconds(timeoutMs),
                                  [&]
                                  {
                                      for (const auto& m : All())
                                      {
                                          if (match(m))
                                              return true;
                                      }
                                      return false;
                                  });
    }

    std::vector<PostedMessage> Snapshot()
    {
        std::lock_guard held(Lock());
        return All();
    }

    void Clear()
    {
        std::lock_guard held(Lock());
        All().clear();
    }

    static bool IsDeviceChange(const PostedMessage& m)
    {
        return m.window == reinterpret_cast<HWND>(static_cast<UINT_PTR>(0xFFFF)) && m.msg == 0x0219 &&
               m.wParam == 7; // WM_DEVICECHANGE, DBT_DEVNODES_CHANGED
    }

private:
    static BOOL Post(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        {
            std::lock_guard held(Lock());
            All().push_back({window, msg, wParam, lParam});
        }
        Changed().notify_all();
        return TRUE;
    }
    static std::mutex& Lock()
    {
        static std::mutex m;
        return m;
    }
    static std::condition_variable& Changed()
    {
        static std::condition_variable c;
        return c;
    }
    static std::vector<PostedMessage>& All()
    {
        static std::vector<PostedMessage> v;
        return v;
    }
};
