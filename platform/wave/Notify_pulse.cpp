#include "MMSystem.h"
#include "PulseConnection.h"
#include "WaveDevices.h"

#include <atomic>

namespace
{
std::atomic<platform::wave::WindowPoster> g_poster{nullptr};

// WM_DEVICECHANGE with DBT_DEVNODES_CHANGED to HWND_BROADCAST; the window layer names them.
constexpr UINT kDeviceChangeMessage = 0x0219;
constexpr WPARAM kDevicesChanged = 0x0007;
const HWND kBroadcastWindow = reinterpret_cast<HWND>(static_cast<UINT_PTR>(0xFFFF));
} // namespace

namespace platform::wave
{
void SetWindowPoster(WindowPoster poster)
{
    g_poster.store(poster);
    // Broadcasts need the connection's subscription running even before any device is used.
    if (poster)
        detail::Current();
}

namespace detail
{
bool Post(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    const WindowPoster poster = g_poster.load();
    return poster && window && poster(window, msg, wParam, lParam);
}

void NotifyDeviceListChanged()
{
    Post(kBroadcastWindow, kDeviceChangeMessage, kDevicesChanged, 0);
}
} // namespace detail
} // namespace platform::wave
