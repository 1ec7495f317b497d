#include "AudioDeviceEngine.h"

#include "PelmoraLibrary.h"

#include "platform/ostrago/Ostrago.h"
#include "platform/wave/PulseBackend.h"
#include "platform/win/Kernel.h"
#include "platform/win/LastError.h"
#include "platform/window/Extras.h"
#include "platform/window/WinUser.h"
#include "shared/exceptions/Exceptions.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <pthread.h>
#include <system_error>

namespace
{
constexpr DWORD kCaptureBufferBytes = 4096;
constexpr const char* kWindowClass = "Tavisk Webcam audio wnd class";
constexpr const char* kWindowTitle = "Tavisk Webcam audio callback wnd";
constexpr DWORD kCloserIdleWaitMs = 500;
constexpr DWORD kEngineLockWaitMs = 10000;
constexpr int kWatchPolls = 10;
constexpr DWORD kWatchPollMs = 50;
constexpr DWORD kUnreadable = 0xFFFFFFFF;

// The engine the hidden window's procedure serves.
std::atomic<CAudioDeviceEngine*> s_engine{nullptr};

struct FormatRow
{
    DWORD flag;
    DWORD rate;
    WORD bits;
    WORD channels;
};

// Tried in this order; the first format the device offers wins.
constexpr FormatRow kFormats[] = {
    {WAVE_FORMAT_2M16, 22050, 16, 1}, {WAVE_FORMAT_4M08, 44100, 8, 1},  {WAVE_FORMAT_2M08, 22050, 8, 1},
    {WAVE_FORMAT_1M16, 11025, 16, 1}, {WAVE_FORMAT_4M16, 44100, 16, 1}, {WAVE_FORMAT_1M08, 11025, 8, 1},
    {WAVE_FORMAT_1S16, 11025, 16, 2}, {WAVE_FORMAT_2S08, 22050, 8, 2},  {WAVE_FORMAT_2S16, 22050, 16, 2},
    {WAVE_FORMAT_4S08, 44100, 8, 2},  {WAVE_FORMAT_1S08, 11025, 8, 2},  {WAVE_FORMAT_4S16, 44100, 16, 2},
};
constexpr FormatRow kFallbackFormat = {0, 22050, 16, 1};

struct MicModel
{
    const char* vendorId;
    const char* productId;
    const char* name;
};

// The maker's webcams with a microphone of their own.
constexpr MicModel kMicModels[] = {
    {"046D", "0820", "Tavisk Webcam Mic 0820"}, {"046D", "0821", "Tavisk Webcam Mic 0821"},
    {"046D", "0822", "Tavisk Webcam Mic 0822"}, {"046D", "0823", "Tavisk Webcam Mic 0823"},
    {"046D", "0824", "Tavisk Webcam Mic 0824"}, {"046D", "0825", "Tavisk Webcam Mic 0825"},
    {"046D", "0826", "Tavisk Webcam Mic 0826"}, {"046D", "0827", "Tavisk Webcam Mic 0827"},
    {"046D", "0828", "Tavisk Webcam Mic 0828"}, {"046D", "0829", "Tavisk Webcam Mic 0829"},
    {"046D", "082A", "Tavisk Webcam Mic 082A"}, {"046D", "082B", "Tavisk Webcam Mic 082B"},
    {"046D", "082C", "Tavisk Webcam Mic 082C"}, {"046D", "082D", "Tavisk Webcam Mic 082D"},
    {"046D", "082E", "Tavisk Webcam Mic 082E"}, {"046D", "082F", "Tavisk Webcam Mic 082F"},
    {"046D", "0830", "Tavisk Webcam Mic 0830"}, {"046D", "0831", "Tavisk Webcam Mic 0831"},
    {"046D", "0832", "Tavisk Webcam Mic 0832"},
};

// Device numbers, WAVE_MAPPER for -1; anything below -1 names no device.
std::optional<UINT_PTR> DeviceId(int index)
{
    if (index < -1)
        return std::nullopt;
    return static_cast<UINT_PTR>(index == -1 ? WAVE_MAPPER : static_cast<UINT>(index));
}

std::string_view ProductName(const WAVEINCAPSA& caps)
{
    return std::string_view(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
}

// The whole name of a source is what the product name was cut from; anything else is another device.
std::string WholeName(const std::optional<platform::wave::SourceInfo>& source, const WAVEINCAPSA& caps)
{
    const std::string_view product = ProductName(caps);
    if (source && source->description.starts_with(product))
        return source->description;
    return std::string(product);
}
} // namespace

struct CAudioDeviceEngine::Session
{
    CAudioDeviceEngine* engine = nullptr;
    HWAVEIN handle = nullptr;
    WAVEFORMATEX format{};
    DWORD bufferLength = 0;
    // Each open device keeps buffers of its own until it is closed, so that a device still closing never
    // writes into the buffers of the next one.
    std::array<std::array<char, kCaptureBufferBytes>, 2> buffers{};
    std::array<WAVEHDR, 2> headers{};
    std::array<std::atomic<bool>, 2> withDevice{}; // queued and not handed back yet
    bool prepared = false;
    int next = 0;
};

CAudioDeviceEngine::CAudioDeviceEngine()
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = &CAudioDeviceEngine::WindowProc;
    wc.lpszClassName = kWindowClass;
    if (!RegisterClass(&wc))
        throw COSResourceException(THROW_SITE_MESSAGE("Cannot register the audio window class"),
                                   static_cast<int>(GetLastError()));
    m_hWnd = CreateWindowEx(0, kWindowClass, kWindowTitle, WS_POPUP | WS_DISABLED, 0, 0, 0, 0, nullptr,
                            nullptr, nullptr, nullptr);
    if (!m_hWnd)
    {
        const auto error = static_cast<int>(GetLastError());
        UnregisterClass(kWindowClass, nullptr);
        throw COSResourceException(THROW_SITE_MESSAGE("Cannot create the audio callback window"), error);
    }
    ShowWindow(m_hWnd, SW_HIDE);

    s_engine.store(this);
    for (int t = 0; t < 3; ++t)
    {
        m_wake[t] = CreateEvent(nullptr, TRUE, FALSE, nullptr);
        m_idle[t] = CreateEvent(nullptr, FALSE, TRUE, nullptr);
    }
    m_quit = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    try
    {
        for (int t = 0; t < 3; ++t)
            m_threads[t] = std::thread([this, t] { RunThread(static_cast<Thread>(t)); });
    }
    catch (const std::system_error& e)
    {
        Shutdown();
        s_engine.store(nullptr);
        throw COSResourceException(THROW_SITE_MESSAGE("Cannot start the engine threads"), e.code().value());
    }

    // Device arrivals and removals, and mixer changes, reach the hidden window as posted messages.
    platform::wave::SetWindowPoster(&PostMessage);
    RefreshDeviceList();
}

CAudioDeviceEngine::~CAudioDeviceEngine()
{
    Shutdown();
    CAudioDeviceEngine* self = this;
    s_engine.compare_exchange_strong(self, nullptr);
}

void CAudioDeviceEngine::Shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    if (m_hWaveIn.load())
        Close();
    platform::wave::SetWindowPoster(nullptr);
    // Once the program is closing, its user-interface thread's message queue may be gone already; the
    // window then goes with the process.
    if (m_hWnd && !platform::window::IsShuttingDown())
    {
        DestroyWindow(m_hWnd);
        // The class's procedure lives in this library, which may be unloaded next.
        UnregisterClass(kWindowClass, nullptr);
    }
    m_hWnd = nullptr;
    SetEvent(m_quit);
    // A thread busy with a job finishes it first; none waits without a bound.
    for (auto& thread : m_threads)
    {
        if (thread.joinable())
            thread.join();
    }
    // Devices the closer did not get to are closed here, so that no capture callback outlives the engine.
    CloseQueued();
    for (int t = 0; t < 3; ++t)
    {
        CloseHandle(m_wake[t]);
        CloseHandle(m_idle[t]);
        m_wake[t] = m_idle[t] = nullptr;
    }
    CloseHandle(m_quit);
    m_quit = nullptr;
}

// ---------------------------------------------------------------------------------------------------------
// Device list
// ---------------------------------------------------------------------------------------------------------

void CAudioDeviceEngine::RefreshDeviceList()
{
    std::lock_guard held(m_listLock);
    const UINT count = waveInGetNumDevs();
    const auto sources = platform::wave::ListCaptureSources();
    const bool vista = isWindowsVista() != 0;
    std::vector<std::string> endpoints;
    if (vista)
    {
        for (UINT e = 0; e < count; ++e)
        {
            std::string name;
            miravoc::pelmora::GetListDeviceName(static_cast<int>(e), name);
            endpoints.push_back(std::move(name));
        }
    }
    std::vector<Device> devices;
    for (UINT id = 0; id < count; ++id)
    {
        Device device;
        device.id = id;
        if (waveInGetDevCaps(id, &device.caps, sizeof device.caps) != MMSYSERR_NOERROR)
            continue;
        device.fullName =
            WholeName(id < sources.size() ? std::optional(sources[id]) : std::nullopt, device.caps);
        if (vista)
        {
            const std::string_view product = ProductName(device.caps);
            const auto endpoint =
                std::find_if(endpoints.begin(), endpoints.end(),
                             [&](const std::string& e) { return e.find(product) != e.npos; });
            // An endpoint that names none of the devices leaves the device its own name.
            device.displayName = endpoint != endpoints.end() ? *endpoint : device.fullName;
        }
        devices.push_back(std::move(device));
    }
    m_devices = std::move(devices);
}

std::vector<CAudioDeviceEngine::Device> CAudioDeviceEngine::GetDevices() const
{
    std::lock_guard held(m_listLock);
    return m_devices;
}

int CAudioDeviceEngine::FindDeviceByName(const char* name) const
{
    if (!name)
        return -1;
    const std::string_view wanted(name);
    std::lock_guard held(m_listLock);
    // The whole name counts as well: a name longer than the product name field is never found by its cut.
    for (const auto& device : m_devices)
    {
        if (ProductName(device.caps) == wanted || device.fullName == wanted)
            return static_cast<int>(device.id);
    }
    return -1;
}

int CAudioDeviceEngine::SelectDeviceByName(const char* name)
{
    m_preferredIndex = -1;
    m_preferredIndex = FindDeviceByName(name);
    return m_preferredIndex;
}

void CAudioDeviceEngine::SetPreferredDevice(int index)
{
    m_preferredIndex = index;
}

int CAudioDeviceEngine::GetOpenDeviceIndex()
{
    if (!m_hWaveIn.load())
        return m_preferredIndex;
    const int open = m_openIndex.load();
    if (open == -1)
        return -1;
    const std::string name = open == -2 ? std::string("N/A") : std::string(ProductName(m_openCaps));
    const int found = FindDeviceByName(name.c_str());
    if (found != open)
        m_openIndex.store(found);
    return m_openIndex.load();
}

bool CAudioDeviceEngine::GetOpenDeviceName(char* dst, int len) const
{
    const bool open = m_openIndex.load() != -2;
    if (!dst || len <= 0)
        return open;
    if (!open)
    {
        std::memset(dst, 0, static_cast<size_t>(len));
        platform::CopyTruncated(dst, static_cast<size_t>(len), "N/A");
        return false;
    }
    platform::CopyTruncated(dst, std::min<size_t>(static_cast<size_t>(len), MAXPNAMELEN),
                            ProductName(m_openCaps));
    return true;
}

bool CAudioDeviceEngine::GetDeviceName(int index, char* dst, size_t len)
{
    if (!dst || len == 0)
        return false;
    WAVEINCAPSA caps{};
    const auto id = DeviceId(index);
    if (!id || waveInGetDevCaps(*id, &caps, sizeof caps) != MMSYSERR_NOERROR)
    {
        platform::CopyTruncated(dst, len, "0");
        return false;
    }
    platform::CopyTruncated(dst, std::min<size_t>(len, MAXPNAMELEN), ProductName(caps));
    return true;
}

std::string CAudioDeviceEngine::GetDeviceFullName(int index)
{
    WAVEINCAPSA caps{};
    const auto id = DeviceId(index);
    if (!id || waveInGetDevCaps(*id, &caps, sizeof caps) != MMSYSERR_NOERROR)
        return {};
    if (index == -1)
        return WholeName(platform::wave::DefaultCaptureSource(), caps);
    auto sources = platform::wave::ListCaptureSources();
    return WholeName(static_cast<size_t>(index) < sources.size() ? std::optional(std::move(sources[index]))
                                                                 : std::nullopt,
                     caps);
}

unsigned CAudioDeviceEngine::GetDeviceCount() const
{
    return waveInGetNumDevs();
}

// ---------------------------------------------------------------------------------------------------------
// Opening and closing
// ---------------------------------------------------------------------------------------------------------

bool CAudioDeviceEngine::Open(int index)
{
    if (isWindowsVista())
        return OpenVista(index);
    if (m_hWaveIn.load())
        Close();
    // Still open: its capture may still be using its buffers, which the next device must not replace.
    if (m_hWaveIn.load())
        return false;
    bool closing = false;
    {
        std::lock_guard held(m_lock);
        closing = !m_closeQueue.empty();
    }
    // Give the closer a moment with the device it is closing; it does not share buffers with the next one.
    if (closing)
        WaitForSingleObject(m_idle[CLOSER], kCloserIdleWaitMs);

    if (index == -2)
        index = m_preferredIndex;
    const auto id = DeviceId(index);
    WAVEINCAPSA caps{};
    if (!id || waveInGetDevCaps(*id, &caps, sizeof caps) != MMSYSERR_NOERROR)
        return false;

    const FormatRow* row = &kFallbackFormat;
    for (const auto& candidate : kFormats)
    {
        if (caps.dwFormats & candidate.flag)
        {
            row = &candidate;
            break;
        }
    }
    auto session = std::make_unique<Session>();
    session->engine = this;
    WAVEFORMATEX& format = session->format;
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = row->channels;
    format.nSamplesPerSec = row->rate;
    format.wBitsPerSample = row->bits;
    format.nBlockAlign = static_cast<WORD>(row->bits * row->channels / 8);
    format.nAvgBytesPerSec = row->rate * format.nBlockAlign;
    format.cbSize = 0;
    // One thirtieth of a second per buffer.
    session->bufferLength = std::min<DWORD>(format.nAvgBytesPerSec / 30, kCaptureBufferBytes);

    HWAVEIN handle = nullptr;
    if (waveInOpen(&handle, static_cast<UINT>(*id), &format, reinterpret_cast<DWORD_PTR>(&WaveInProc),
                   reinterpret_cast<DWORD_PTR>(session.get()), CALLBACK_FUNCTION) != MMSYSERR_NOERROR)
        return false;
    session->handle = handle;
    {
        std::lock_guard held(m_lock);
        if (m_session)
        {
            m_closeQueue.push_back(std::move(m_session));
            Wake(CLOSER);
        }
        m_session = std::move(session);
        m_hWaveIn.store(handle);
    }
    return OpenMixer(index, caps);
}

bool CAudioDeviceEngine::OpenMixer(int index, const WAVEINCAPSA& caps)
{
    const HWAVEIN handle = m_hWaveIn.load();
    UINT mixerId = 0;
    if (mixerGetID(reinterpret_cast<HMIXEROBJ>(handle), &mixerId, MIXER_OBJECTF_HWAVEIN) != MMSYSERR_NOERROR)
        return false;
    HMIXER mixer = nullptr;
    if (mixerOpen(&mixer, mixerId, reinterpret_cast<DWORD_PTR>(m_hWnd), 0, CALLBACK_WINDOW) !=
        MMSYSERR_NOERROR)
        return false;
    m_hMixer.store(mixer);
    m_mixerId = mixerId;
    const auto object = reinterpret_cast<HMIXEROBJ>(mixer);

    MIXERLINEA destination{};
    destination.cbStruct = sizeof destination;
    destination.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
    if (mixerGetLineInfo(object, &destination, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_COMPONENTTYPE) !=
        MMSYSERR_NOERROR)
    {
        CloseMixer();
        return false;
    }
    m_destinationLineId = destination.dwLineID;

    MIXERCONTROLA control{};
    if (FindControl(destination.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME, control))
    {
        m_destinationVolumeFound.store(true);
        m_destinationVolumeControlId = control.dwControlID;
        m_destinationVolumeMin = control.Bounds.dwMinimum;
        m_destinationVolumeMax = control.Bounds.dwMaximum;
    }
    else
        m_destinationVolumeFound.store(false);
    if (FindControl(destination.dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE, control))
    {
        m_muteAvailable.store(true);
        m_muteControlId = control.dwControlID;
        m_muteMin = control.Bounds.dwMinimum;
        m_muteMax = control.Bounds.dwMaximum;
    }
    else
        m_muteAvailable.store(false);

    m_channels = std::max<DWORD>(destination.cChannels, 1);
    m_openIndex.store(index);
    m_openCaps = caps;

    MIXERLINEA source{};
    m_microphoneSource = -1;
    for (DWORD i = 0; i < destination.cConnections; ++i)
    {
        source = {};
        source.cbStruct = sizeof source;
        source.dwDestination = destination.dwDestination;
        source.dwSource = i;
        if (mixerGetLineInfo(object, &source, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_SOURCE) !=
            MMSYSERR_NOERROR)
        {
            CloseMixer();
            return false;
        }
        if (source.dwComponentType == MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE)
        {
            m_microphoneSource = static_cast<int>(i);
            break;
        }
    }
    if (m_microphoneSource < 0)
        return false;
    source = {};
    source.cbStruct = sizeof source;
    source.dwDestination = destination.dwDestination;
    source.dwSource = static_cast<DWORD>(m_microphoneSource);
    if (mixerGetLineInfo(object, &source, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_SOURCE) !=
        MMSYSERR_NOERROR)
        return false;

    if (m_meteringWanted.load())
        StartMetering();

    if (FindControl(source.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME, control))
    {
        m_volumeAvailable.store(true);
        m_useSourceVolume = true;
        m_channels = std::max<DWORD>(source.cChannels, 1);
        m_sourceVolumeControlId = control.dwControlID;
        m_sourceVolumeMin = control.Bounds.dwMinimum;
        m_sourceVolumeMax = control.Bounds.dwMaximum;
        GetCurrentVolume(); // clears the flag again when the control cannot be read
        if (FindControl(source.dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE, control))
        {
            m_muteControlId = control.dwControlID;
            m_muteMin = control.Bounds.dwMinimum;
            m_muteMax = control.Bounds.dwMaximum;
        }
        return true;
    }
    m_useSourceVolume = false;
    m_volumeAvailable.store(m_destinationVolumeFound.load());
    return true;
}

bool CAudioDeviceEngine::OpenVista(int index)
{
    if (index == -2)
    {
        if (waveInGetNumDevs() == 0)
            return false;
        index = 0;
    }
    // The whole name, so that two devices whose names begin alike are told apart.
    const std::string name = GetDeviceFullName(index);
    if (name.empty())
        return false;
    miravoc::pelmora::OpenDevice(name);
    return true;
}

bool CAudioDeviceEngine::FindControl(DWORD lineId, DWORD type, MIXERCONTROLA& control) const
{
    control = {};
    control.cbStruct = sizeof control;
    MIXERLINECONTROLSA controls{};
    controls.cbStruct = sizeof controls;
    controls.dwLineID = lineId;
    controls.dwControlType = type;
    controls.cControls = 1;
    controls.cbmxctrl = sizeof control;
    controls.pamxctrl = &control;
    return mixerGetLineControls(reinterpret_cast<HMIXEROBJ>(m_hMixer.load()), &controls,
                                MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE) ==
               MMSYSERR_NOERROR &&
           !(control.fdwControl & MIXERCONTROL_CONTROLF_DISABLED);
}

void CAudioDeviceEngine::CloseMixer()
{
    if (const HMIXER mixer = m_hMixer.exchange(nullptr))
        mixerClose(mixer);
}

void CAudioDeviceEngine::Close()
{
    std::unique_lock held(m_lock, std::defer_lock);
    // Left open rather than closed under the feet of a thread that holds the lock this long.
    if (!held.try_lock_for(std::chrono::milliseconds(kEngineLockWaitMs)))
        return;
    const bool closed = CloseLocked();
    held.unlock();
    if (closed)
        Raise(0, AUDIO_EVENT_DEVICE_CLOSED);
}

bool CAudioDeviceEngine::CloseLocked()
{
    m_meteringRunning.store(false);
    CloseMixer();
    if (!m_hWaveIn.load())
        return false;
    m_closeQueue.push_back(std::move(m_session));
    m_hWaveIn.store(nullptr);
    m_volumeAvailable.store(false);
    m_openIndex.store(-2);
    Wake(CLOSER);
    return true;
}

void CAudioDeviceEngine::CloseQueued()
{
    for (;;)
    {
        std::unique_ptr<Session> session;
        {
            std::lock_guard held(m_lock);
            if (m_closeQueue.empty())
                return;
            session = std::move(m_closeQueue.front());
            m_closeQueue.pop_front();
        }
        CloseSession(std::move(session));
    }
}

void CAudioDeviceEngine::CloseSession(std::unique_ptr<Session> session)
{
    if (!session)
        return;
    const HWAVEIN handle = session->handle;
    waveInStop(handle);
    waveInReset(handle);
    if (session->prepared)
    {
        waveInUnprepareHeader(handle, &session->headers[0], sizeof(WAVEHDR));
        waveInUnprepareHeader(handle, &session->headers[1], sizeof(WAVEHDR));
    }
    MMRESULT result = waveInClose(handle);
    if (result == WAVERR_STILLPLAYING)
    {
        waveInReset(handle);
        result = waveInClose(handle);
    }
    // A device that would not close may still hand its buffers back; they must stay valid.
    if (result == WAVERR_STILLPLAYING)
        static_cast<void>(session.release());
}

// ---------------------------------------------------------------------------------------------------------
// Volume and mute
// ---------------------------------------------------------------------------------------------------------

DWORD CAudioDeviceEngine::VolumeControlId() const
{
    return m_useSourceVolume ? m_sourceVolumeControlId : m_destinationVolumeControlId;
}

DWORD CAudioDeviceEngine::ReadControl(DWORD controlId)
{
    const HMIXER mixer = m_hMixer.load();
    if (!mixer)
        return kUnreadable;
    try
    {
        std::vector<MIXERCONTROLDETAILS_UNSIGNED> values(m_channels);
        MIXERCONTROLDETAILS details{};
        details.cbStruct = sizeof details;
        details.dwControlID = controlId;
        details.cChannels = m_channels;
        details.cbDetails = sizeof(MIXERCONTROLDETAILS_UNSIGNED);
        details.paDetails = values.data();
        if (mixerGetControlDetails(reinterpret_cast<HMIXEROBJ>(mixer), &details,
                                   MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE) != MMSYSERR_NOERROR)
            return kUnreadable;
        return values[0].dwValue;
    }
    catch (const std::bad_alloc&)
    {
        return kUnreadable;
    }
}

bool CAudioDeviceEngine::WriteControl(DWORD controlId, DWORD value)
{
    const HMIXER mixer = m_hMixer.load();
    if (!mixer)
        return false;
    try
    {
        std::vector<MIXERCONTROLDETAILS_UNSIGNED> values(m_channels, MIXERCONTROLDETAILS_UNSIGNED{value});
        MIXERCONTROLDETAILS details{};
        details.cbStruct = sizeof details;
        details.dwControlID = controlId;
        details.cChannels = m_channels;
        details.cbDetails = sizeof(MIXERCONTROLDETAILS_UNSIGNED);
        details.paDetails = values.data();
        return mixerSetControlDetails(reinterpret_cast<HMIXEROBJ>(mixer), &details,
                                      MIXER_OBJECTF_HMIXER | MIXER_SETCONTROLDETAILSF_VALUE) ==
               MMSYSERR_NOERROR;
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
}

DWORD CAudioDeviceEngine::GetCurrentVolume()
{
    if (!m_volumeAvailable.load())
        return kUnreadable;
    const DWORD volume = ReadControl(VolumeControlId());
    if (volume == kUnreadable)
        m_volumeAvailable.store(false);
    return volume;
}

void CAudioDeviceEngine::SetCurrentVolume(DWORD volume)
{
    if (!m_volumeAvailable.load())
        return;
    if (!m_useSourceVolume && !m_destinationVolumeFound.load())
        return;
    const DWORD minimum = m_useSourceVolume ? m_sourceVolumeMin : m_destinationVolumeMin;
    const DWORD maximum = m_useSourceVolume ? m_sourceVolumeMax : m_destinationVolumeMax;
    if (volume < minimum || volume > maximum)
        return;
    WriteControl(VolumeControlId(), volume);
}

DWORD CAudioDeviceEngine::GetVolumeMute()
{
    if (!m_volumeAvailable.load() || !m_muteAvailable.load())
        return kUnreadable;
    const DWORD mute = ReadControl(m_muteControlId);
    if (mute == kUnreadable)
        m_muteAvailable.store(false);
    return mute;
}

void CAudioDeviceEngine::SetVolumeMute(DWORD mute)
{
    if (!m_volumeAvailable.load() || !m_muteAvailable.load() || mute < m_muteMin || mute > m_muteMax)
        return;
    WriteControl(m_muteControlId, mute);
}

DWORD CAudioDeviceEngine::GetMinimalVolume() const
{
    if (!m_volumeAvailable.load())
        return kUnreadable;
    if (m_useSourceVolume)
        return m_sourceVolumeMin;
    return m_destinationVolumeFound.load() ? m_destinationVolumeMin : kUnreadable;
}

DWORD CAudioDeviceEngine::GetMaximalVolume() const
{
    if (!m_volumeAvailable.load())
        return kUnreadable;
    if (m_useSourceVolume)
        return m_sourceVolumeMax;
    return m_destinationVolumeFound.load() ? m_destinationVolumeMax : kUnreadable;
}

// ---------------------------------------------------------------------------------------------------------
// Level metering
// ---------------------------------------------------------------------------------------------------------

bool CAudioDeviceEngine::StartMetering()
{
    m_meteringWanted.store(true);
    std::lock_guard held(m_lock);
    if (m_meteringRunning.load())
        return true;
    Session* session = m_session.get();
    const HWAVEIN handle = m_hWaveIn.load();
    if (!session || !handle)
        return false;
    if (!session->prepared)
    {
        for (int i = 0; i < 2; ++i)
        {
            WAVEHDR& header = session->headers[i];
            header = {};
            header.lpData = session->buffers[i].data();
            header.dwBufferLength = session->bufferLength;
            header.dwUser = reinterpret_cast<DWORD_PTR>(session);
        }
        if (waveInPrepareHeader(handle, &session->headers[0], sizeof(WAVEHDR)) != MMSYSERR_NOERROR)
            return false;
        if (waveInPrepareHeader(handle, &session->headers[1], sizeof(WAVEHDR)) != MMSYSERR_NOERROR)
        {
            waveInUnprepareHeader(handle, &session->headers[0], sizeof(WAVEHDR));
            return false;
        }
        session->prepared = true;
    }
    m_meteringRunning.store(true);
    // After a stop a buffer may still be with the device; it comes back and is re-queued then.
    for (int i = 0; i < 2; ++i)
    {
        if (session->withDevice[i].exchange(true))
            continue;
        if (waveInAddBuffer(handle, &session->headers[i], sizeof(WAVEHDR)) != MMSYSERR_NOERROR)
            session->withDevice[i].store(false);
    }
    session->next = 0;
    if (waveInStart(handle) != MMSYSERR_NOERROR)
    {
        // The buffers stay prepared; the closer unprepares them with the device.
        m_meteringRunning.store(false);
        return false;
    }
    return true;
}

bool CAudioDeviceEngine::StopMetering()
{
    m_meteringRunning.store(false);
    m_meteringWanted.store(false);
    return true;
}

int CAudioDeviceEngine::GetMeterLevel() const
{
    if (!m_meteringRunning.load() || !m_hWaveIn.load())
        return 0;
    return static_cast<int>(std::ceil(m_level.load() - 0.5f));
}

int CAudioDeviceEngine::LevelOfBuffer(const BYTE* data, DWORD bytes, WORD bitsPerSample)
{
    if (!data || bytes == 0)
        return 0;
    double x = -100.0;
    if (bitsPerSample == 8)
    {
        int smallest = 128;
        int largest = 128;
        for (DWORD i = 0; i < std::min<DWORD>(bytes, 100); ++i)
        {
            smallest = std::min<int>(smallest, data[i]);
            largest = std::max<int>(largest, data[i]);
        }
        const int amplitude = std::max(128 - smallest, largest - 128);
        if (amplitude > 0)
            x = 40.0 * std::log(amplitude / 127.0);
    }
    else
    {
        int largest = -32767;
        int smallest = 32767;
        for (DWORD i = 0; i + 1 < bytes; i += 2)
        {
            std::int16_t sample;
            std::memcpy(&sample, data + i, sizeof sample);
            largest = std::max<int>(largest, sample);
            smallest = std::min<int>(smallest, sample);
        }
        // A single sample, or none, is silence.
        const int range = largest > smallest ? largest - smallest : 1;
        x = 40.0 * std::log(range / 65535.0);
    }
    x = std::clamp(x, -100.0, 0.0);
    return static_cast<int>(x + 100.0);
}

void CAudioDeviceEngine::WaveInProc(HWAVEIN handle, UINT msg, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR)
{
    if (msg != WIM_DATA || !handle || !instance || !param1)
        return;
    auto* session = reinterpret_cast<Session*>(instance);
    if (session->engine)
        session->engine->OnBufferDone(*session, *reinterpret_cast<WAVEHDR*>(param1));
}

void CAudioDeviceEngine::OnBufferDone(Session& session, WAVEHDR& header)
{
    const int slot = &header == &session.headers[1] ? 1 : 0;
    if (&header != &session.headers[slot])
        return;
    if ((header.dwFlags & WHDR_DONE) && header.dwBytesRecorded != 0)
    {
        const int sample = LevelOfBuffer(reinterpret_cast<const BYTE*>(header.lpData),
                                         std::min(header.dwBytesRecorded, header.dwBufferLength),
                                         session.format.wBitsPerSample);
        const float level = m_level.load();
        m_level.store((3.0f * level + static_cast<float>(sample)) * 0.25f);
    }
    session.withDevice[slot].store(false);
    if (session.handle == m_hWaveIn.load() && m_meteringRunning.load())
        Wake(REQUEUE);
}

// ---------------------------------------------------------------------------------------------------------
// Threads, events and the hidden window
// ---------------------------------------------------------------------------------------------------------

void CAudioDeviceEngine::Wake(Thread thread)
{
    ResetEvent(m_idle[thread]);
    SetEvent(m_wake[thread]);
}

void CAudioDeviceEngine::RunThread(Thread thread)
{
    static constexpr const char* kNames[] = {"miravoc-closer", "miravoc-watcher", "miravoc-requeue"};
    pthread_setname_np(pthread_self(), kNames[thread]);
    const HANDLE handles[2] = {m_wake[thread], m_quit};
    for (;;)
    {
        SetEvent(m_idle[thread]);
        // A pending job comes before the quit, so that the closer empties its queue first.
        if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0)
            return;
        ResetEvent(m_wake[thread]);
        switch (thread)
        {
        case CLOSER:
            CloseQueued();
            break;
        case WATCHER:
            WatchDevices();
            break;
        case REQUEUE:
            Requeue();
            break;
        }
    }
}

void CAudioDeviceEngine::Requeue()
{
    bool closed = false;
    {
        std::lock_guard held(m_lock);
        Session* session = m_session.get();
        // Woken for a device that was closed or stopped meanwhile: nothing to do, nothing was lost.
        if (!session || !m_hWaveIn.load() || !m_meteringRunning.load())
            return;
        bool failed = false;
        for (int k = 0; k < 2 && !failed; ++k)
        {
            const int i = (session->next + k) % 2;
            if (session->withDevice[i].exchange(true))
                continue;
            if (waveInAddBuffer(session->handle, &session->headers[i], sizeof(WAVEHDR)) == MMSYSERR_NOERROR)
                session->next = 1 - i;
            else
            {
                session->withDevice[i].store(false);
                failed = true;
            }
        }
        if (!failed)
            return;
        closed = CloseLocked();
    }
    if (closed)
        Raise(0, AUDIO_EVENT_DEVICE_CLOSED);
    Raise(0, AUDIO_EVENT_DEVICE_LOST);
}

void CAudioDeviceEngine::WatchDevices()
{
    size_t listed = 0;
    {
        std::lock_guard held(m_listLock);
        listed = m_devices.size();
    }
    for (int poll = 0; poll < kWatchPolls && waveInGetNumDevs() == listed; ++poll)
    {
        if (WaitForSingleObject(m_quit, kWatchPollMs) == WAIT_OBJECT_0)
            return;
    }
    RefreshDeviceList();

    // An open device that has gone is closed, whether or not its capture noticed.
    bool lost = false;
    {
        std::lock_guard held(m_lock);
        UINT id = 0;
        const HWAVEIN handle = m_hWaveIn.load();
        if (handle && waveInGetID(handle, &id) == MMSYSERR_NODRIVER)
            lost = CloseLocked();
    }
    if (lost)
    {
        Raise(0, AUDIO_EVENT_DEVICE_CLOSED);
        Raise(0, AUDIO_EVENT_DEVICE_LOST);
    }
    Raise(0, AUDIO_EVENT_DEVICE_LIST_CHANGED);
}

namespace
{
// Calls of the callback running on this thread, so that a callback may replace the callback itself.
thread_local int t_callbacksHere = 0;
} // namespace

void CAudioDeviceEngine::Raise(DWORD value, AudioEngineEvent type)
{
    AudioEngineCallback callback = nullptr;
    {
        std::lock_guard held(m_callbackLock);
        callback = m_callback;
        if (!callback)
            return;
        ++m_callbacksRunning;
    }
    ++t_callbacksHere;
    try
    {
        callback(value, type);
    }
    catch (...)
    {
        // A handler's failure stays with the handler; the engine's threads go on.
    }
    --t_callbacksHere;
    // Told under the lock: once it is released, the engine may be gone.
    std::lock_guard held(m_callbackLock);
    --m_callbacksRunning;
    m_callbackIdle.notify_all();
}

void CAudioDeviceEngine::SetEventCallback(AudioEngineCallback callback)
{
    std::unique_lock held(m_callbackLock);
    m_callback = callback;
    // Whoever removes a callback frees what it reaches next; no call of it may still be on its way.
    m_callbackIdle.wait(held, [this] { return m_callbacksRunning <= t_callbacksHere; });
}

bool CAudioDeviceEngine::HasEventCallback()
{
    std::lock_guard held(m_callbackLock);
    return m_callback != nullptr;
}

LRESULT CAudioDeviceEngine::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    CAudioDeviceEngine* engine = s_engine.load();
    if (engine && hwnd == engine->m_hWnd)
    {
        if (msg == WM_DEVICECHANGE && wParam == DBT_DEVNODES_CHANGED)
            engine->Wake(WATCHER);
        else if (msg == MM_MIXM_CONTROL_CHANGE &&
                 reinterpret_cast<HMIXER>(wParam) == engine->m_hMixer.load() && engine->HasEventCallback())
        {
            const auto control = static_cast<DWORD>(lParam);
            if (control == engine->m_sourceVolumeControlId || control == engine->m_destinationVolumeControlId)
            {
                const DWORD volume = engine->GetCurrentVolume();
                if (volume != kUnreadable)
                    engine->Raise(volume, AUDIO_EVENT_VOLUME_CHANGED);
            }
        }
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

// ---------------------------------------------------------------------------------------------------------
// The webcam's microphone
// ---------------------------------------------------------------------------------------------------------

void CAudioDeviceEngine::SetMicVidPid(const char* vid, const char* pid)
{
    std::lock_guard held(m_micLock);
    m_micVendorId = vid ? vid : "";
    m_micProductId = pid ? pid : "";
    m_micModelName.Empty();
    for (const auto& model : kMicModels)
    {
        if (m_micVendorId.CompareNoCase(model.vendorId) == 0 &&
            m_micProductId.CompareNoCase(model.productId) == 0)
        {
            m_micModelName = model.name;
            break;
        }
    }
}

CString CAudioDeviceEngine::GetMicVendorId() const
{
    std::lock_guard held(m_micLock);
    return m_micVendorId;
}

CString CAudioDeviceEngine::GetMicProductId() const
{
    std::lock_guard held(m_micLock);
    return m_micProductId;
}

CString CAudioDeviceEngine::GetMicModelName() const
{
    std::lock_guard held(m_micLock);
    return m_micModelName;
}
