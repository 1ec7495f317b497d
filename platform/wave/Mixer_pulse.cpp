#include "MMSystem.h"
#include "PulseConnection.h"
#include "WaveDevices.h"

#include "platform/win/CString.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace
{
using platform::wave::SourceInfo;

// Each mixer has the same two lines and two controls; the ids only need to be distinct within a mixer.
constexpr DWORD kDestinationLineId = 0xFFFF0000;
constexpr DWORD kMicrophoneLineId = 0x00010000;
constexpr DWORD kVolumeControlId = 1;
constexpr DWORD kMuteControlId = 2;
constexpr DWORD kVolumeMaximum = 65535;

struct Mixer
{
    std::string source;
    HWND window = nullptr; // receives MM_MIXM_CONTROL_CHANGE; null for none
};

std::mutex g_mixersLock;
std::map<HMIXER, std::unique_ptr<Mixer>> g_mixers;

DWORD ToMixerVolume(std::uint32_t volume)
{
    const auto v = (static_cast<std::uint64_t>(volume) * kVolumeMaximum + platform::wave::kVolumeNorm / 2) /
                   platform::wave::kVolumeNorm;
    return static_cast<DWORD>(std::min<std::uint64_t>(v, kVolumeMaximum));
}

std::uint32_t ToSourceVolume(DWORD value)
{
    const auto v = std::min<DWORD>(value, kVolumeMaximum);
    return static_cast<std::uint32_t>(
        (static_cast<std::uint64_t>(v) * platform::wave::kVolumeNorm + kVolumeMaximum / 2) / kVolumeMaximum);
}

// The source a mixer object stands for: a mixer or wave-in number, or an open mixer or wave-in handle.
MMRESULT ResolveSource(HMIXEROBJ object, DWORD flags, SourceInfo& source)
{
    using namespace platform::wave;
    const auto value = reinterpret_cast<UINT_PTR>(object);
    std::string name;
    switch (flags & MIXER_OBJECTF_TYPEMASK)
    {
    case MIXER_OBJECTF_MIXER:
    case MIXER_OBJECTF_WAVEIN:
    {
        if (value > 0xFFFFFFFFu ||
            ((flags & MIXER_OBJECTF_TYPEMASK) == MIXER_OBJECTF_MIXER && value == WAVE_MAPPER))
            return MMSYSERR_BADDEVICEID;
        auto found = detail::SourceOfDevice(static_cast<UINT>(value));
        if (!found)
            return MMSYSERR_BADDEVICEID;
        source = std::move(*found);
        return MMSYSERR_NOERROR;
    }
    case MIXER_OBJECTF_HMIXER:
    {
        std::lock_guard held(g_mixersLock);
        const auto it = g_mixers.find(reinterpret_cast<HMIXER>(object));
        if (it == g_mixers.end())
            return MMSYSERR_INVALHANDLE;
        name = it->second->source;
        break;
    }
    case MIXER_OBJECTF_HWAVEIN:
        if (!detail::SourceOfWaveIn(reinterpret_cast<HWAVEIN>(object), name))
            return MMSYSERR_INVALHANDLE;
        break;
    default:
        return MMSYSERR_INVALFLAG;
    }
    auto found = FindCaptureSource(name);
    if (!found)
        return MMSYSERR_NODRIVER;
    source = std::move(*found);
    return MMSYSERR_NOERROR;
}

MIXERLINEA MakeLine(const SourceInfo& source, bool destination)
{
    MIXERLINEA line{};
    line.cbStruct = sizeof line;
    line.dwDestination = 0;
    line.dwSource = 0;
    line.dwLineID = destination ? kDestinationLineId : kMicrophoneLineId;
    line.fdwLine = MIXERLINE_LINEF_ACTIVE | (destination ? 0 : MIXERLINE_LINEF_SOURCE);
    line.dwComponentType =
        destination ? MIXERLINE_COMPONENTTYPE_DST_WAVEIN : MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
    line.cChannels = std::max<DWORD>(source.channels, 1);
    line.cConnections = destination ? 1 : 0;
    // The source's volume and mute sit on the destination; the microphone line has none of its own.
    line.cControls = destination ? 2 : 0;
    const char* name = destination ? "Capture" : "Microphone";
    platform::CopyTruncated(line.szShortName, sizeof line.szShortName, name);
    platform::CopyTruncated(line.szName, sizeof line.szName, name);
    WAVEINCAPSA caps;
    platform::wave::detail::FillCaps(source, caps);
    line.Target.dwType = MIXERLINE_TARGETTYPE_WAVEIN;
    const int number = platform::wave::detail::DeviceNumberOf(source.name);
    line.Target.dwDeviceID = number < 0 ? static_cast<DWORD>(-1) : static_cast<DWORD>(number);
    line.Target.wMid = caps.wMid;
    line.Target.wPid = caps.wPid;
    line.Target.vDriverVersion = caps.vDriverVersion;
    std::memcpy(line.Target.szPname, caps.szPname, sizeof caps.szPname);
    return line;
}

MIXERCONTROLA MakeControl(DWORD id)
{
    MIXERCONTROLA control{};
    control.cbStruct = sizeof control;
    control.dwControlID = id;
    const char* name = id == kVolumeControlId ? "Volume" : "Mute";
    platform::CopyTruncated(control.szShortName, sizeof control.szShortName, name);
    platform::CopyTruncated(control.szName, sizeof control.szName, name);
    if (id == kVolumeControlId)
    {
        control.dwControlType = MIXERCONTROL_CONTROLTYPE_VOLUME;
        control.Bounds.dwMinimum = 0;
        control.Bounds.dwMaximum = kVolumeMaximum;
        control.Metrics.cSteps = kVolumeMaximum;
    }
    else
    {
        control.dwControlType = MIXERCONTROL_CONTROLTYPE_MUTE;
        control.fdwControl = MIXERCONTROL_CONTROLF_UNIFORM;
        control.Bounds.dwMinimum = 0;
        control.Bounds.dwMaximum = 1;
    }
    return control;
}

MMRESULT CheckDetails(HMIXEROBJ object, LPMIXERCONTROLDETAILS details, DWORD flags, SourceInfo& source)
{
    if (const auto r = ResolveSource(object, flags, source); r != MMSYSERR_NOERROR)
        return r;
    if (!details || details->cbStruct < sizeof(MIXERCONTROLDETAILS))
        return MMSYSERR_INVALPARAM;
    if (details->dwControlID != kVolumeControlId && details->dwControlID != kMuteControlId)
        return MIXERR_INVALCONTROL;
    if (details->cChannels == 0 || details->cChannels > std::max<DWORD>(source.channels, 1) ||
        details->cbDetails < sizeof(DWORD) || !details->paDetails)
        return MMSYSERR_INVALPARAM;
    return MMSYSERR_NOERROR;
}

DWORD& DetailAt(LPMIXERCONTROLDETAILS details, DWORD channel)
{
    return *reinterpret_cast<DWORD*>(static_cast<BYTE*>(details->paDetails) + channel * details->cbDetails);
}
} // namespace

namespace platform::wave::detail
{
void NotifySourceControlsChanged(const std::string& sourceName, bool volumeChanged, bool muteChanged)
{
    std::lock_guard held(g_mixersLock);
    for (const auto& [handle, mixer] : g_mixers)
    {
        if (mixer->source != sourceName || !mixer->window)
            continue;
        if (volumeChanged)
            Post(mixer->window, MM_MIXM_CONTROL_CHANGE, reinterpret_cast<WPARAM>(handle), kVolumeControlId);
        if (muteChanged)
            Post(mixer->window, MM_MIXM_CONTROL_CHANGE, reinterpret_cast<WPARAM>(handle), kMuteControlId);
    }
}
} // namespace platform::wave::detail

using namespace platform::wave;

UINT mixerGetNumDevs()
{
    return waveInGetNumDevs();
}

MMRESULT mixerGetID(HMIXEROBJ object, UINT* mixerId, DWORD flags)
{
    if (!mixerId)
        return MMSYSERR_INVALPARAM;
    SourceInfo source;
    if (const auto r = ResolveSource(object, flags, source); r != MMSYSERR_NOERROR)
        return r;
    const int number = detail::DeviceNumberOf(source.name);
    if (number < 0)
        return MMSYSERR_NODRIVER;
    *mixerId = static_cast<UINT>(number);
    return MMSYSERR_NOERROR;
}

MMRESULT mixerOpen(LPHMIXER mixer, UINT mixerId, DWORD_PTR callback, DWORD_PTR, DWORD flags)
{
    if (!mixer)
        return MMSYSERR_INVALPARAM;
    const DWORD type = flags & CALLBACK_TYPEMASK;
    if (type != CALLBACK_NULL && type != CALLBACK_WINDOW)
        return MMSYSERR_INVALFLAG;
    const DWORD objectType = flags & MIXER_OBJECTF_TYPEMASK;
    // A handle does not fit the 32-bit number; callers get the number with mixerGetID first.
    if (objectType != MIXER_OBJECTF_MIXER && objectType != MIXER_OBJECTF_WAVEIN)
        return MMSYSERR_INVALFLAG;
    SourceInfo source;
    if (const auto r =
            ResolveSource(reinterpret_cast<HMIXEROBJ>(static_cast<UINT_PTR>(mixerId)), objectType, source);
        r != MMSYSERR_NOERROR)
        return r;
    auto opened = std::make_unique<Mixer>();
    opened->source = source.name;
    opened->window = type == CALLBACK_WINDOW ? reinterpret_cast<HWND>(callback) : nullptr;
    const auto handle = reinterpret_cast<HMIXER>(opened.get());
    {
        std::lock_guard held(g_mixersLock);
        g_mixers.emplace(handle, std::move(opened));
    }
    *mixer = handle;
    return MMSYSERR_NOERROR;
}

MMRESULT mixerClose(HMIXER mixer)
{
    std::lock_guard held(g_mixersLock);
    return g_mixers.erase(mixer) ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

MMRESULT mixerGetLineInfoA(HMIXEROBJ object, LPMIXERLINEA line, DWORD flags)
{
    if (!line || line->cbStruct < sizeof(MIXERLINEA))
        return MMSYSERR_INVALPARAM;
    SourceInfo source;
    if (const auto r = ResolveSource(object, flags, source); r != MMSYSERR_NOERROR)
        return r;
    bool destination = false;
    switch (flags & MIXER_GETLINEINFOF_QUERYMASK)
    {
    case MIXER_GETLINEINFOF_DESTINATION:
        if (line->dwDestination != 0)
            return MIXERR_INVALLINE;
        destination = true;
        break;
    case MIXER_GETLINEINFOF_SOURCE:
        if (line->dwDestination != 0 || line->dwSource != 0)
            return MIXERR_INVALLINE;
        break;
    case MIXER_GETLINEINFOF_LINEID:
        if (line->dwLineID != kDestinationLineId && line->dwLineID != kMicrophoneLineId)
            return MIXERR_INVALLINE;
        destination = line->dwLineID == kDestinationLineId;
        break;
    case MIXER_GETLINEINFOF_COMPONENTTYPE:
        if (line->dwComponentType != MIXERLINE_COMPONENTTYPE_DST_WAVEIN &&
            line->dwComponentType != MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE)
            return MIXERR_INVALLINE;
        destination = line->dwComponentType == MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
        break;
    case MIXER_GETLINEINFOF_TARGETTYPE:
        if (line->Target.dwType != MIXERLINE_TARGETTYPE_WAVEIN)
            return MIXERR_INVALLINE;
        destination = true;
        break;
    default:
        return MMSYSERR_INVALFLAG;
    }
    const DWORD size = line->cbStruct;
    *line = MakeLine(source, destination);
    line->cbStruct = size;
    return MMSYSERR_NOERROR;
}

MMRESULT mixerGetLineControlsA(HMIXEROBJ object, LPMIXERLINECONTROLSA controls, DWORD flags)
{
    if (!controls || controls->cbStruct < sizeof(MIXERLINECONTROLSA) ||
        controls->cbmxctrl < sizeof(MIXERCONTROLA) || !controls->pamxctrl)
        return MMSYSERR_INVALPARAM;
    SourceInfo source;
    if (const auto r = ResolveSource(object, flags, source); r != MMSYSERR_NOERROR)
        return r;
    auto put = [&](DWORD index, const MIXERCONTROLA& control)
    {
        std::memcpy(reinterpret_cast<BYTE*>(controls->pamxctrl) + index * controls->cbmxctrl, &control,
                    sizeof control);
    };
    switch (flags & MIXER_GETLINECONTROLSF_QUERYMASK)
    {
    case MIXER_GETLINECONTROLSF_ALL:
        if (controls->dwLineID == kMicrophoneLineId)
            return controls->cControls == 0 ? MMSYSERR_NOERROR : MMSYSERR_INVALPARAM;
        if (controls->dwLineID != kDestinationLineId)
            return MIXERR_INVALLINE;
        if (controls->cControls != 2)
            return MMSYSERR_INVALPARAM;
        put(0, MakeControl(kVolumeControlId));
        put(1, MakeControl(kMuteControlId));
        return MMSYSERR_NOERROR;
    case MIXER_GETLINECONTROLSF_ONEBYID:
        if (controls->dwControlID != kVolumeControlId && controls->dwControlID != kMuteControlId)
            return MIXERR_INVALCONTROL;
        put(0, MakeControl(controls->dwControlID));
        controls->dwLineID = kDestinationLineId;
        return MMSYSERR_NOERROR;
    case MIXER_GETLINECONTROLSF_ONEBYTYPE:
        if (controls->dwLineID == kMicrophoneLineId)
            return MIXERR_INVALCONTROL;
        if (controls->dwLineID != kDestinationLineId)
            return MIXERR_INVALLINE;
        if (controls->dwControlType == MIXERCONTROL_CONTROLTYPE_VOLUME)
            put(0, MakeControl(kVolumeControlId));
        else if (controls->dwControlType == MIXERCONTROL_CONTROLTYPE_MUTE)
            put(0, MakeControl(kMuteControlId));
        else
            return MIXERR_INVALCONTROL;
        return MMSYSERR_NOERROR;
    default:
        return MMSYSERR_INVALFLAG;
    }
}

MMRESULT mixerGetControlDetailsA(HMIXEROBJ object, LPMIXERCONTROLDETAILS details, DWORD flags)
{
    if ((flags & MIXER_GETCONTROLDETAILSF_QUERYMASK) != MIXER_GETCONTROLDETAILSF_VALUE)
        return MMSYSERR_NOTSUPPORTED;
    SourceInfo source;
    if (const auto r = CheckDetails(object, details, flags, source); r != MMSYSERR_NOERROR)
        return r;
    const DWORD value = details->dwControlID == kVolumeControlId ? ToMixerVolume(AverageVolume(source.volume))
                                                                 : (source.muted ? 1u : 0u);
    for (DWORD i = 0; i < details->cChannels; ++i)
        DetailAt(details, i) = value;
    return MMSYSERR_NOERROR;
}

MMRESULT mixerSetControlDetails(HMIXEROBJ object, LPMIXERCONTROLDETAILS details, DWORD flags)
{
    if ((flags & MIXER_SETCONTROLDETAILSF_QUERYMASK) != MIXER_SETCONTROLDETAILSF_VALUE)
        return MMSYSERR_NOTSUPPORTED;
    SourceInfo source;
    if (const auto r = CheckDetails(object, details, flags, source); r != MMSYSERR_NOERROR)
        return r;
    bool done = false;
    if (details->dwControlID == kMuteControlId)
        done = SetSourceMute(source.name, DetailAt(details, 0) != 0);
    else if (details->cChannels == 1)
        done = SetSourceVolume(source.name, ToSourceVolume(DetailAt(details, 0)));
    else if (details->cChannels == source.channels)
    {
        std::vector<std::uint32_t> volume;
        for (DWORD i = 0; i < details->cChannels; ++i)
            volume.push_back(ToSourceVolume(DetailAt(details, i)));
        done = SetSourceChannelVolumes(source.name, volume);
    }
    else
        return MMSYSERR_INVALPARAM;
    return done ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}
