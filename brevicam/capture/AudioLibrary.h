#pragma once

#include "platform/win/CString.h"

/// The audio library's device functions as the capture engine calls them. The audio library is not
/// part of the program yet; until it is, each answers what the library answers without its device
/// engine: no device is known, none is found, and nothing is opened or closed.
namespace capture_audio
{
/// CheckDevice: the wave-in number of the device of that name, -1 when none.
inline int CheckDevice(const CString&)
{
    return -1;
}
/// SetDefaultMicVidPid: remembers the webcam's USB ids for GetDefaultMicName.
inline void SetDefaultMicVidPid(const CString&, const CString&) {}
/// GetDefaultMicName: the webcam's own microphone (its name into `name`), -1 when none.
inline int GetDefaultMicName(CString&)
{
    return -1;
}
/// SetDevice: makes the named device the one the library serves; -1 when it is not found.
inline int SetDevice(const CString&)
{
    return -1;
}
/// CloseAudioDevice: closes the library's open device; false without an engine.
inline bool CloseAudioDevice()
{
    return false;
}
} // namespace capture_audio
