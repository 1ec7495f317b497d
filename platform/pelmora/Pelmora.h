#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

/// Pelmora, the audio-mixer library: one capture endpoint at a time, its volume (0 to 100), mute and input
/// level, over PulseAudio. The functions have C names, as callers bind them by name after loading
/// `libpelmora.so`. They may be called from any thread, never throw, and without an open endpoint answer
/// 0 / false and change nothing. Device names are full descriptions (UTF-8 inside, wide strings here).

using BSTR = wchar_t*;

extern "C"
{
    /// Opens the capture endpoint whose full name equals `name`, else the first one whose name begins with
    /// it (a name cut to 31 bytes), else the first one containing it; with none, no endpoint is open.
    PLATFORM_API void OpenDevice(BSTR name);
    /// The full name of endpoint `index` (capture sources in wave-in order), cut to fit `chars` characters
    /// with the terminator; false when there is no such endpoint (an empty name then).
    PLATFORM_API bool GetListDeviceName(int index, wchar_t* name, int chars);
    /// The full name of the open endpoint; false (an empty name) when none is open.
    PLATFORM_API bool GetCurrentDeviceName(wchar_t* name, int chars);
    /// Capture volume in percent of the nominal volume, 0 to 100.
    PLATFORM_API int GetVolumeLevel();
    /// Sets every channel to `level` percent (clamped to 0 to 100).
    PLATFORM_API void SetVolumeLevel(int level);
    /// The input level 0 to 100: the highest peak since the last call, linear, after volume and mute.
    PLATFORM_API int GetVolume();
    PLATFORM_API bool IsVolumeSupported();
    PLATFORM_API bool IsMuteSupported();
    PLATFORM_API bool IsMute();
    PLATFORM_API void Mute();
    PLATFORM_API void UnMute();
    /// Closes the endpoint; 1 (success) whether or not one was open.
    PLATFORM_API int CloseDevice();
}

namespace pelmora
{
// The shapes callers bind the functions with.
using OpenDeviceFn = void (*)(BSTR);
using GetListDeviceNameFn = bool (*)(int, wchar_t*, int);
using GetCurrentDeviceNameFn = bool (*)(wchar_t*, int);
using GetIntFn = int (*)();
using SetVolumeLevelFn = void (*)(int);
using GetBoolFn = bool (*)();
using ActionFn = void (*)();
} // namespace pelmora
