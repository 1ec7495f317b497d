#pragma once

#include "platform/win/Export.h"
#include "platform/win/WaveFormat.h"
#include "platform/win/WinTypes.h"

/// The wave-in and mixer functions of the multimedia system, over PulseAudio.
///
/// Wave-in devices are the PulseAudio sources that are not monitors of a sink, in the server's index order,
/// numbered from 0; `WAVE_MAPPER` is the server's default source. Each wave-in device has one mixer of the
/// same number: a wave-in destination line carrying the source's volume (0 to 65535 = 0 to 100 % of the
/// source's nominal volume) and mute, and one microphone source line without controls of its own.
///
/// Every function may be called from any thread, reports by its result code and never throws. The server
/// is the one named by `PULSE_SERVER` (else the user's default) when the call is made; no server means no
/// devices. Callbacks of open devices run on a thread of ours, one per open wave-in handle; window
/// callbacks and broadcasts are posted through the poster set with `platform::wave::SetWindowPoster`.

DECLARE_HANDLE(HWAVEIN);
DECLARE_HANDLE(HMIXER);
DECLARE_HANDLE(HMIXEROBJ);
using LPHWAVEIN = HWAVEIN*;
using LPHMIXER = HMIXER*;
using MMRESULT = UINT;
using MMVERSION = UINT;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MMSYSERR_HANDLEBUSY = 12;
constexpr MMRESULT MMSYSERR_MOREDATA = 21;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;
constexpr MMRESULT MIXERR_INVALLINE = 1024;
constexpr MMRESULT MIXERR_INVALCONTROL = 1025;
constexpr MMRESULT MIXERR_INVALVALUE = 1026;

constexpr UINT WAVE_MAPPER = static_cast<UINT>(-1);
constexpr UINT MAXPNAMELEN = 32;

constexpr DWORD CALLBACK_TYPEMASK = 0x00070000;
constexpr DWORD CALLBACK_NULL = 0x00000000;
constexpr DWORD CALLBACK_WINDOW = 0x00010000;
constexpr DWORD CALLBACK_FUNCTION = 0x00030000;
constexpr DWORD CALLBACK_EVENT = 0x00050000;
constexpr DWORD WAVE_FORMAT_QUERY = 0x0001;
constexpr DWORD WAVE_ALLOWSYNC = 0x0002;
constexpr DWORD WAVE_MAPPED = 0x0004;
constexpr DWORD WAVE_FORMAT_DIRECT = 0x0008;

// Messages to wave-in callbacks (the same numbers go to callback windows).
constexpr UINT MM_WIM_OPEN = 0x3BE;
constexpr UINT MM_WIM_CLOSE = 0x3BF;
constexpr UINT MM_WIM_DATA = 0x3C0;
constexpr UINT WIM_OPEN = MM_WIM_OPEN;
constexpr UINT WIM_CLOSE = MM_WIM_CLOSE;
constexpr UINT WIM_DATA = MM_WIM_DATA;
constexpr UINT MM_MIXM_LINE_CHANGE = 0x3D0;
constexpr UINT MM_MIXM_CONTROL_CHANGE = 0x3D1;

constexpr DWORD WAVE_INVALIDFORMAT = 0x00000000;
constexpr DWORD WAVE_FORMAT_1M08 = 0x00000001;
constexpr DWORD WAVE_FORMAT_1S08 = 0x00000002;
constexpr DWORD WAVE_FORMAT_1M16 = 0x00000004;
constexpr DWORD WAVE_FORMAT_1S16 = 0x00000008;
constexpr DWORD WAVE_FORMAT_2M08 = 0x00000010;
constexpr DWORD WAVE_FORMAT_2S08 = 0x00000020;
constexpr DWORD WAVE_FORMAT_2M16 = 0x00000040;
constexpr DWORD WAVE_FORMAT_2S16 = 0x00000080;
constexpr DWORD WAVE_FORMAT_4M08 = 0x00000100;
constexpr DWORD WAVE_FORMAT_4S08 = 0x00000200;
constexpr DWORD WAVE_FORMAT_4M16 = 0x00000400;
constexpr DWORD WAVE_FORMAT_4S16 = 0x00000800;

constexpr DWORD WHDR_DONE = 0x00000001;
constexpr DWORD WHDR_PREPARED = 0x00000002;
constexpr DWORD WHDR_BEGINLOOP = 0x00000004;
constexpr DWORD WHDR_ENDLOOP = 0x00000008;
constexpr DWORD WHDR_INQUEUE = 0x00000010;

// Driver messages for waveInMessage: the device-interface path, a wide string whose size in bytes
// (terminator included) the first one gives.
constexpr UINT DRV_RESERVED = 0x0800;
constexpr UINT DRV_QUERYDEVICEINTERFACE = DRV_RESERVED + 12;
constexpr UINT DRV_QUERYDEVICEINTERFACESIZE = DRV_RESERVED + 13;

using LPWAVEFORMATEX = WAVEFORMATEX*;
using LPCWAVEFORMATEX = const WAVEFORMATEX*;

struct WAVEHDR
{
    LPSTR lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    DWORD dwLoops;
    WAVEHDR* lpNext;
    DWORD_PTR reserved;
};
using LPWAVEHDR = WAVEHDR*;

struct WAVEINCAPSA
{
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    CHAR szPname[MAXPNAMELEN];
    DWORD dwFormats;
    WORD wChannels;
    WORD wReserved1;
};
using LPWAVEINCAPSA = WAVEINCAPSA*;
using WAVEINCAPS = WAVEINCAPSA;
using LPWAVEINCAPS = WAVEINCAPSA*;

/// The function called for CALLBACK_FUNCTION: (handle, WIM_OPEN/WIM_DATA/WIM_CLOSE, instance data,
/// WAVEHDR* for WIM_DATA, 0). WIM_OPEN and WIM_CLOSE come on the thread calling waveInOpen/waveInClose,
/// WIM_DATA on the handle's callback thread. It may call no wave-in function but waveInAddBuffer.
using WAVEINPROC = void (*)(HWAVEIN hwi, UINT msg, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);

/// The number of wave-in devices.
PLATFORM_API UINT waveInGetNumDevs();
/// The device's capabilities: its description cut to 31 bytes at a character boundary, and the formats it
/// delivers without upsampling or upmixing. `WAVE_MAPPER` describes the default device.
PLATFORM_API MMRESULT waveInGetDevCapsA(UINT_PTR deviceId, LPWAVEINCAPSA caps, UINT capsSize);
/// Opens a device for PCM capture (8 or 16 bits, 1 or 2 channels, any rate); the server converts from the
/// device's own format. With WAVE_FORMAT_QUERY only checks. Capture starts with waveInStart.
PLATFORM_API MMRESULT waveInOpen(LPHWAVEIN handle, UINT deviceId, LPCWAVEFORMATEX format, DWORD_PTR callback,
                                 DWORD_PTR instance, DWORD flags);
/// Closes the handle; WAVERR_STILLPLAYING while buffers are queued. After it returns no callback runs.
PLATFORM_API MMRESULT waveInClose(HWAVEIN handle);
PLATFORM_API MMRESULT waveInPrepareHeader(HWAVEIN handle, LPWAVEHDR header, UINT headerSize);
/// WAVERR_STILLPLAYING while the header is queued.
PLATFORM_API MMRESULT waveInUnprepareHeader(HWAVEIN handle, LPWAVEHDR header, UINT headerSize);
/// Queues a prepared buffer; it comes back with WHDR_DONE and dwBytesRecorded when full, or on
/// waveInStop/waveInReset. MMSYSERR_NODRIVER once the device has gone away.
PLATFORM_API MMRESULT waveInAddBuffer(HWAVEIN handle, LPWAVEHDR header, UINT headerSize);
PLATFORM_API MMRESULT waveInStart(HWAVEIN handle);
/// Stops capture; a partly filled buffer comes back, empty ones stay queued.
PLATFORM_API MMRESULT waveInStop(HWAVEIN handle);
/// Stops capture and returns every queued buffer. When called outside the callback thread, their callbacks
/// have all run when it returns, so the buffers may be freed.
PLATFORM_API MMRESULT waveInReset(HWAVEIN handle);
/// The device number of an open handle; MMSYSERR_NODRIVER when its device has gone away.
PLATFORM_API MMRESULT waveInGetID(HWAVEIN handle, UINT* deviceId);
/// Driver messages on a device number (cast to HWAVEIN) or an open handle: DRV_QUERYDEVICEINTERFACESIZE
/// (param1: ULONG* receiving the size in bytes) and DRV_QUERYDEVICEINTERFACE (param1: WCHAR buffer,
/// param2: its size in bytes). The path reads `\\?\usb#vid_xxxx&pid_yyyy#<instance>#{<class>}\<source>`
/// for a device with USB ids, `\\?\swd#pulse#<source>#{<class>}\global` otherwise.
PLATFORM_API MMRESULT waveInMessage(HWAVEIN handle, UINT msg, DWORD_PTR param1, DWORD_PTR param2);

#define waveInGetDevCaps waveInGetDevCapsA

// Mixer.

constexpr UINT MIXER_SHORT_NAME_CHARS = 16;
constexpr UINT MIXER_LONG_NAME_CHARS = 64;

constexpr DWORD MIXER_OBJECTF_HANDLE = 0x80000000;
constexpr DWORD MIXER_OBJECTF_MIXER = 0x00000000;
constexpr DWORD MIXER_OBJECTF_HMIXER = MIXER_OBJECTF_HANDLE | MIXER_OBJECTF_MIXER;
constexpr DWORD MIXER_OBJECTF_WAVEIN = 0x20000000;
constexpr DWORD MIXER_OBJECTF_HWAVEIN = MIXER_OBJECTF_HANDLE | MIXER_OBJECTF_WAVEIN;
constexpr DWORD MIXER_OBJECTF_TYPEMASK = 0xF0000000;

constexpr DWORD MIXER_GETLINEINFOF_DESTINATION = 0x0;
constexpr DWORD MIXER_GETLINEINFOF_SOURCE = 0x1;
constexpr DWORD MIXER_GETLINEINFOF_LINEID = 0x2;
constexpr DWORD MIXER_GETLINEINFOF_COMPONENTTYPE = 0x3;
constexpr DWORD MIXER_GETLINEINFOF_TARGETTYPE = 0x4;
constexpr DWORD MIXER_GETLINEINFOF_QUERYMASK = 0xF;

constexpr DWORD MIXER_GETLINECONTROLSF_ALL = 0x0;
constexpr DWORD MIXER_GETLINECONTROLSF_ONEBYID = 0x1;
constexpr DWORD MIXER_GETLINECONTROLSF_ONEBYTYPE = 0x2;
constexpr DWORD MIXER_GETLINECONTROLSF_QUERYMASK = 0xF;

constexpr DWORD MIXER_GETCONTROLDETAILSF_VALUE = 0x0;
constexpr DWORD MIXER_GETCONTROLDETAILSF_LISTTEXT = 0x1;
constexpr DWORD MIXER_GETCONTROLDETAILSF_QUERYMASK = 0xF;
constexpr DWORD MIXER_SETCONTROLDETAILSF_VALUE = 0x0;
constexpr DWORD MIXER_SETCONTROLDETAILSF_CUSTOM = 0x1;
constexpr DWORD MIXER_SETCONTROLDETAILSF_QUERYMASK = 0xF;

constexpr DWORD MIXERLINE_LINEF_ACTIVE = 0x00000001;
constexpr DWORD MIXERLINE_LINEF_DISCONNECTED = 0x00008000;
constexpr DWORD MIXERLINE_LINEF_SOURCE = 0x80000000;

constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_UNDEFINED = 0x0;
constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_WAVEIN = 0x7;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED = 0x1000;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE = 0x1003;

constexpr DWORD MIXERLINE_TARGETTYPE_UNDEFINED = 0;
constexpr DWORD MIXERLINE_TARGETTYPE_WAVEIN = 2;

constexpr DWORD MIXERCONTROL_CONTROLF_UNIFORM = 0x00000001;
constexpr DWORD MIXERCONTROL_CONTROLF_MULTIPLE = 0x00000002;
constexpr DWORD MIXERCONTROL_CONTROLF_DISABLED = 0x80000000;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_MUTE = 0x20010002;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_VOLUME = 0x50030001;

struct MIXERLINEA
{
    DWORD cbStruct;
    DWORD dwDestination;
    DWORD dwSource;
    DWORD dwLineID;
    DWORD fdwLine;
    DWORD_PTR dwUser;
    DWORD dwComponentType;
    DWORD cChannels;
    DWORD cConnections;
    DWORD cControls;
    CHAR szShortName[MIXER_SHORT_NAME_CHARS];
    CHAR szName[MIXER_LONG_NAME_CHARS];
    struct
    {
        DWORD dwType;
        DWORD dwDeviceID;
        WORD wMid;
        WORD wPid;
        MMVERSION vDriverVersion;
        CHAR szPname[MAXPNAMELEN];
    } Target;
};
using LPMIXERLINEA = MIXERLINEA*;
using MIXERLINE = MIXERLINEA;

struct MIXERCONTROLA
{
    DWORD cbStruct;
    DWORD dwControlID;
    DWORD dwControlType;
    DWORD fdwControl;
    DWORD cMultipleItems;
    CHAR szShortName[MIXER_SHORT_NAME_CHARS];
    CHAR szName[MIXER_LONG_NAME_CHARS];
    union
    {
        __extension__ struct
        {
            LONG lMinimum;
            LONG lMaximum;
        };
        __extension__ struct
        {
            DWORD dwMinimum;
            DWORD dwMaximum;
        };
        DWORD dwReserved[6];
    } Bounds;
    union
    {
        DWORD cSteps;
        DWORD cbCustomData;
        DWORD dwReserved[6];
    } Metrics;
};
using LPMIXERCONTROLA = MIXERCONTROLA*;
using MIXERCONTROL = MIXERCONTROLA;

struct MIXERLINECONTROLSA
{
    DWORD cbStruct;
    DWORD dwLineID;
    union
    {
        DWORD dwControlID;
        DWORD dwControlType;
    };
    DWORD cControls;
    DWORD cbmxctrl;
    LPMIXERCONTROLA pamxctrl;
};
using LPMIXERLINECONTROLSA = MIXERLINECONTROLSA*;
using MIXERLINECONTROLS = MIXERLINECONTROLSA;

struct MIXERCONTROLDETAILS
{
    DWORD cbStruct;
    DWORD dwControlID;
    DWORD cChannels;
    union
    {
        HWND hwndOwner;
        DWORD cMultipleItems;
    };
    DWORD cbDetails;
    LPVOID paDetails;
};
using LPMIXERCONTROLDETAILS = MIXERCONTROLDETAILS*;

struct MIXERCONTROLDETAILS_UNSIGNED
{
    DWORD dwValue;
};
struct MIXERCONTROLDETAILS_BOOLEAN
{
    LONG fValue;
};

/// One mixer per wave-in device, with the same number.
PLATFORM_API UINT mixerGetNumDevs();
/// The mixer number of a mixer number, mixer handle, wave-in number or wave-in handle (MIXER_OBJECTF_*).
PLATFORM_API MMRESULT mixerGetID(HMIXEROBJ object, UINT* mixerId, DWORD flags);
/// Opens a mixer (or the mixer of a wave-in device, by MIXER_OBJECTF_*). With CALLBACK_WINDOW, changes of
/// its volume and mute (by anyone) post MM_MIXM_CONTROL_CHANGE (wParam the mixer handle, lParam the
/// control id) to the window.
PLATFORM_API MMRESULT mixerOpen(LPHMIXER mixer, UINT mixerId, DWORD_PTR callback, DWORD_PTR instance,
                                DWORD flags);
PLATFORM_API MMRESULT mixerClose(HMIXER mixer);
PLATFORM_API MMRESULT mixerGetLineInfoA(HMIXEROBJ object, LPMIXERLINEA line, DWORD flags);
PLATFORM_API MMRESULT mixerGetLineControlsA(HMIXEROBJ object, LPMIXERLINECONTROLSA controls, DWORD flags);
/// Volume: one MIXERCONTROLDETAILS_UNSIGNED per channel asked for (1 or the line's count), each the
/// average over the source's channels. Mute: MIXERCONTROLDETAILS_BOOLEAN.
PLATFORM_API MMRESULT mixerGetControlDetailsA(HMIXEROBJ object, LPMIXERCONTROLDETAILS details, DWORD flags);
/// Volume: one value sets every channel; the line's count of values sets the channels one by one.
PLATFORM_API MMRESULT mixerSetControlDetails(HMIXEROBJ object, LPMIXERCONTROLDETAILS details, DWORD flags);

#define mixerGetLineInfo mixerGetLineInfoA
#define mixerGetLineControls mixerGetLineControlsA
#define mixerGetControlDetails mixerGetControlDetailsA

// Sounds.

constexpr DWORD SND_SYNC = 0x00000000;
constexpr DWORD SND_ASYNC = 0x00000001;
constexpr DWORD SND_NODEFAULT = 0x00000002;
constexpr DWORD SND_PURGE = 0x00000040;
constexpr DWORD SND_FILENAME = 0x00020000;

/// Plays the WAVE file at `sound` (a file name, with or without SND_FILENAME), read by our WAVE reader
/// (WaveFile.h), through a playback stream of its own on the server. A new sound first stops the one
/// playing; a null `sound`, or SND_PURGE, only stops it and returns TRUE. There is no system default sound:
/// a file that is missing, unreadable or refused gives FALSE and silence, with or without SND_NODEFAULT.
/// With SND_ASYNC the call returns once the server has taken the stream; with SND_SYNC once the sound has
/// played out or another call has stopped it. FALSE at once when no server answers (none is ever started)
/// and for flags other than these. `module` is not used. Any thread may call; calls take turns. A sound
/// still playing when the process ends is cut off.
PLATFORM_API BOOL PlaySoundA(LPCSTR sound, HMODULE module, DWORD flags);

#define PlaySound PlaySoundA

namespace platform::wave
{
/// Posts a message to a window (PostMessage's shape); HWND_BROADCAST ((HWND)0xFFFF) addresses every
/// top-level window.
using WindowPoster = BOOL (*)(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

/// Sets the function through which callback windows get MM_WIM_* and MM_MIXM_CONTROL_CHANGE, and through
/// which device arrivals and removals are broadcast to HWND_BROADCAST as WM_DEVICECHANGE (0x0219) with
/// wParam DBT_DEVNODES_CHANGED (7) and lParam 0. Null stops the posting. Called from any thread; the poster
/// itself is called from the layer's own threads and must not block.
PLATFORM_API void SetWindowPoster(WindowPoster poster);
} // namespace platform::wave
