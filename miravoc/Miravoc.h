#pragma once

#include "platform/win/CString.h"
#include "platform/win/WinTypes.h"

class CWnd;

#include <cstddef>

/// The audio library's exported functions. The calling program links them by their C++ names. Call them
/// on the user-interface thread, the one that loaded the library. None throws: without the library's
/// engine each answers its "no engine" value, named below with the function; device failures answer
/// 0xFFFFFFFF, -1, false or 0 as described. Device numbers are wave-in device numbers; -1 stands for the
/// system's default capture device. On Windows Vista volume, mute, level and close go to the audio-mixer
/// library instead of the engine.
#define MIRAVOC_API __attribute__((visibility("default")))

/// The number of capture devices. No engine: 0.
MIRAVOC_API unsigned GetNumDevices();
/// Makes device `index` the preferred one and opens it; true even when it could not be opened. No
/// engine: false.
MIRAVOC_API bool SetDevice(int index);
/// Makes the named device (its product name or its whole name) the preferred one and opens it; its number,
/// -1 when no device has that name (the system's default device is opened then). No engine: -1.
MIRAVOC_API int SetDevice(char* name);
/// The number of the device with exactly this product name or whole name; -1 when none, or no engine.
/// Changes nothing.
MIRAVOC_API int CheckDevice(char* name);
/// The open device's product name into `dst` ("N/A" when none is open; at most `len` bytes with the
/// terminator) and the open device's number (the preferred one when none is open). No engine: -2, `dst`
/// untouched.
MIRAVOC_API int GetCurrentDevice(char* dst, size_t len);
/// Whether the last opened device's line has a volume control. No engine: false.
MIRAVOC_API bool IsDeviceVolumeControlAvailable();
/// The input level 0 to 100 (0 when not metering). No engine: 0.
MIRAVOC_API DWORD GetVolumeMeterValue();
/// Starts or stops metering the open device; starting fails without an open device. No engine: false.
MIRAVOC_API bool EnableVolumeMetering(bool on);
/// Opens the preferred device. No engine: false.
MIRAVOC_API bool OpenAudioDevice();
/// Closes the open device; true. No engine: false.
MIRAVOC_API bool CloseAudioDevice();
/// The product name of device `index` (at most 32 bytes with the terminator, and at most `len`); "0" and
/// false when the device cannot be asked. Needs no engine.
MIRAVOC_API bool GetDeviceNameById(int index, char* dst, size_t len);
/// The volume of the open device's line; 0xFFFFFFFF when there is none. No engine: 0xFFFFFFFF.
MIRAVOC_API DWORD GetCurrentVolume();
/// Sets the volume; values outside the control's bounds are ignored. No engine: nothing.
MIRAVOC_API void SetCurrentVolume(DWORD volume);
/// Whether the last opened device can be muted. No engine: false.
MIRAVOC_API bool IsMuteAvailable();
/// 1 muted, 0 not, 0xFFFFFFFF when it cannot be read. No engine: 0xFFFFFFFF.
MIRAVOC_API DWORD GetVolumeMute();
/// Mutes (1) or unmutes (0) the open device. No engine: nothing.
MIRAVOC_API void SetVolumeMute(DWORD mute);
/// The volume control's maximum; 0xFFFFFFFF without one. No engine: 0xFFFFFFFF.
MIRAVOC_API DWORD GetMaximalVolume();
/// The webcam's own microphone: the first device whose device-interface path holds "Vid_<vid>&Pid_<pid>"
/// as given to SetDefaultMicVidPid (ignoring case), else the first whose name holds "Tavisk", else the
/// first named "USB Audio Device" (ignoring case). Its number, and its whole name (at most 255 bytes) in
/// `name`; -1 with `name` unchanged when none matches, or no engine.
MIRAVOC_API int GetDefaultMicName(CString& name);
/// Opens the device GetDefaultMicName finds, when it finds one. No engine: nothing.
MIRAVOC_API void SetDefaultMic();
/// Remembers the webcam's USB vendor and product id texts (4 hexadecimal digits each) for
/// GetDefaultMicName. No engine: nothing.
MIRAVOC_API void SetDefaultMicVidPid(char* vid, char* pid);
/// The index of the noise-cancellation driver instance of the webcam whose ids were given to
/// SetDefaultMicVidPid; -1 when no instance has them, there is no driver (always so on Linux) or no engine.
MIRAVOC_API int GetDefaultMicFilterId();
/// Runs the audio settings dialog modally over `parent`, with the noise cancellation instead of the
/// microphone chooser. True when it ended with OK. No engine: false, no dialog.
MIRAVOC_API bool ShowVolumeDialog(CWnd* parent);
/// Runs the audio settings dialog modally over `parent`: `mode` non-zero shows the microphone chooser,
/// 0 the noise cancellation, switched with the four parameters and shown unswitchable when `lockNc` is 1.
/// `device` names the microphone in use, preselected; afterwards it holds the whole name of the device the
/// dialog left open (unchanged when that cannot be had). True when it ended with OK. No engine: false, no
/// dialog, `device` unchanged.
MIRAVOC_API bool ShowVolumeSlider(int mode, CString& device, CWnd* parent, int ncParam1, DWORD ncParam2,
                                  DWORD ncParam3, DWORD ncParam4, int lockNc);
/// Ends the running audio settings dialog as Cancel would, without putting anything back, when it is
/// shown. Always true.
MIRAVOC_API bool CloseVolumeDialog();
