#include "Pelmora.h"

#include "platform/wave/PulseBackend.h"
#include "platform/win/CString.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace
{
using platform::wave::SourceInfo;

struct Endpoint
{
    std::string source;
    std::string name;
    std::unique_ptr<platform::wave::PeakMeter> meter;
};

std::mutex g_lock;
std::optional<Endpoint> g_endpoint;

// Copies `text` with its terminator into `chars` wide characters, cut to fit.
bool CopyWide(const std::string& text, wchar_t* out, int chars)
{
    if (!out || chars <= 0)
        return false;
    const std::wstring wide = platform::Utf8ToWide(text);
    const size_t n = std::min(wide.size(), static_cast<size_t>(chars - 1));
    std::copy_n(wide.begin(), n, out);
    out[n] = L'\0';
    return true;
}

void Clear(wchar_t* out, int chars)
{
    if (out && chars > 0)
        out[0] = L'\0';
}

// The endpoint's source as it is now; nothing when no endpoint is open or its source has gone.
std::optional<SourceInfo> OpenSource()
{
    std::string source;
    {
        std::lock_guard held(g_lock);
        if (!g_endpoint)
            return std::nullopt;
        source = g_endpoint->source;
    }
    return platform::wave::FindCaptureSource(source);
}

std::optional<std::string> OpenSourceName()
{
    std::lock_guard held(g_lock);
    return g_endpoint ? std::optional(g_endpoint->source) : std::nullopt;
}
} // namespace

void OpenDevice(BSTR name)
{
    const std::string wanted = name ? platform::WideToUtf8(name) : std::string();
    const auto sources = platform::wave::ListCaptureSources();
    const SourceInfo* match = nullptr;
    if (!wanted.empty())
    {
        auto find = [&](auto pred)
        {
            const auto it = std::find_if(sources.begin(), sources.end(), pred);
            return it != sources.end() ? &*it : nullptr;
        };
        match = find([&](const SourceInfo& s) { return s.description == wanted; });
        if (!match)
            match = find([&](const SourceInfo& s) { return s.description.rfind(wanted, 0) == 0; });
        if (!match)
            match =
                find([&](const SourceInfo& s) { return s.description.find(wanted) != std::string::npos; });
    }
    std::optional<Endpoint> opened;
    if (match)
    {
        opened.emplace();
        opened->source = match->name;
        opened->name = match->description;
        opened->meter = std::make_unique<platform::wave::PeakMeter>(match->name);
    }
    // The old meter stops outside the lock.
    std::optional<Endpoint> previous;
    {
        std::lock_guard held(g_lock);
        previous = std::move(g_endpoint);
        g_endpoint = std::move(opened);
    }
}

bool GetListDeviceName(int index, wchar_t* name, int chars)
{
    Clear(name, chars);
    const auto sources = platform::wave::ListCaptureSources();
    if (index < 0 || static_cast<size_t>(index) >= sources.size())
        return false;
    return CopyWide(sources[static_cast<size_t>(index)].description, name, chars);
}

bool GetCurrentDeviceName(wchar_t* name, int chars)
{
    Clear(name, chars);
    std::string current;
    {
        std::lock_guard held(g_lock);
        if (!g_endpoint)
            return false;
        current = g_endpoint->name;
    }
    return CopyWide(current, name, chars);
}

int GetVolumeLevel()
{
    const auto source = OpenSource();
    if (!source)
        return 0;
    const auto volume = platform::wave::AverageVolume(source->volume);
    const auto percent = (static_cast<std::uint64_t>(volume) * 100 + platform::wave::kVolumeNorm / 2) /
                         platform::wave::kVolumeNorm;
    return static_cast<int>(std::min<std::uint64_t>(percent, 100));
}

void SetVolumeLevel(int level)
{
    const auto source = OpenSourceName();
    if (!source)
        return;
    const auto percent = static_cast<std::uint32_t>(std::clamp(level, 0, 100));
    platform::wave::SetSourceVolume(*source, (percent * platform::wave::kVolumeNorm + 50) / 100);
}

int GetVolume()
{
    std::lock_guard held(g_lock);
    if (!g_endpoint || !g_endpoint->meter)
        return 0;
    const float peak = g_endpoint->meter->TakePeak();
    return std::clamp(static_cast<int>(std::lround(peak * 100.0f)), 0, 100);
}

bool IsVolumeSupported()
{
    // Every capture source has a volume: the server applies it in software where the hardware has none.
    return OpenSource().has_value();
}

bool IsMuteSupported()
{
    return OpenSource().has_value();
}

bool IsMute()
{
    const auto source = OpenSource();
    return source && source->muted;
}

void Mute()
{
    if (const auto source = OpenSourceName())
        platform::wave::SetSourceMute(*source, true);
}

void UnMute()
{
    if (const auto source = OpenSourceName())
        platform::wave::SetSourceMute(*source, false);
}

int CloseDevice()
{
    std::optional<Endpoint> previous;
    {
        std::lock_guard held(g_lock);
        previous = std::move(g_endpoint);
        g_endpoint.reset();
    }
    return 1;
}
