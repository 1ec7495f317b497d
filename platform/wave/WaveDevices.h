#pragma once

#include "MMSystem.h"
#include "PulseBackend.h"

#include <optional>
#include <string>

// Internal to the audio layer: what the wave-in and mixer functions share.
namespace platform::wave::detail
{
/// Posts through the poster set by SetWindowPoster; false without one.
bool Post(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

/// The source behind a wave-in device number; WAVE_MAPPER is the default source.
std::optional<SourceInfo> SourceOfDevice(UINT deviceId);
/// The device number of a source now; -1 when it has gone away.
int DeviceNumberOf(const std::string& sourceName);
/// The source of an open wave-in handle; false for a handle that is not open.
bool SourceOfWaveIn(HWAVEIN handle, std::string& sourceName);

/// The capabilities of a source as a wave-in device.
void FillCaps(const SourceInfo& source, WAVEINCAPSA& caps);
/// The device-interface path (see waveInMessage).
std::string DeviceInterfacePath(const SourceInfo& source);
} // namespace platform::wave::detail
