#pragma once

// The application's message loop for tests: messages are offered to the class library's pre-translation
// (the thread's tooltip, the windows' PreTranslateMessage) before they are dispatched, as CWinApp::Run and
// the modal loops do. Header-only: include it from tests that link the window layer.

#include "platform/window/Wnd.h"

#include <chrono>
#include <functional>
#include <thread>

namespace testing_support
{
/// Runs the application's loop until `done` holds or `limitMs` pass; false when it never held.
inline bool PumpAppUntil(const std::function<bool()>& done, int limitMs = 10000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;)
    {
        MSG msg;
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            if (msg.message == WM_QUIT)
            {
                PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            if (!AfxPreTranslateMessage(&msg))
            {
                TranslateMessage(&msg);
                DispatchMessage(&msg);
            }
        }
        if (done())
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
} // namespace testing_support
