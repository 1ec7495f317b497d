#pragma once

#include <string>

/// The audio-mixer library Pelmora, used on Windows Vista only. It is bound by name from "libpelmora.so"
/// beside this library (else wherever the loader finds it) at the first call. When it cannot be loaded,
/// or lacks a function, that function answers as for no open endpoint: nothing done, 0 or false. Names
/// are UTF-8 here and wide strings at Pelmora's interface. Any thread.
namespace miravoc::pelmora
{
void OpenDevice(const std::string& name);
/// The name of endpoint `index` (at most 255 characters); false and an empty name when there is none.
bool GetListDeviceName(int index, std::string& name);
/// The name of the open endpoint (at most 1023 characters); false and an empty name when none is open.
bool GetCurrentDeviceName(std::string& name);
int GetVolumeLevel();
void SetVolumeLevel(int level);
int GetVolume();
bool IsVolumeSupported();
bool IsMuteSupported();
bool IsMute();
void Mute();
void UnMute();
int CloseDevice();

/// Closes Pelmora's endpoint when the library was bound, and lets the library go. For the library's end.
void Release();
} // namespace miravoc::pelmora
