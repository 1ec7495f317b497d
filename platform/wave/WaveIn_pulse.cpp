#include "MMSystem.h"
#include "PulseConnection.h"
#include "WaveDevices.h"

#include "platform/win/CString.h"
#include "platform/win/Kernel.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace
{
using platform::wave::SourceInfo;
using platform::wave::detail::Connection;

// Device numbers are small; anything above is an open handle passed where a number may stand.
constexpr UINT_PTR kFirstHandleValue = 0x10000;

bool IsMapper(UINT_PTR id)
{
    return id == WAVE_MAPPER || id == static_cast<UINT_PTR>(-1);
}

// One open wave-in handle: a record stream on its source, the queue of buffers the caller gave, and a
// thread of ours that hands finished buffers back.
class WaveIn
{
public:
    WaveIn(std::shared_ptr<Connection> c, std::string sourceName, const WAVEFORMATEX& fmt, DWORD type,
           DWORD_PTR cb, DWORD_PTR data)
        : connection(std::move(c)), source(std::move(sourceName)), format(fmt), callbackType(type),
          callback(cb), instance(data)
    {
    }

    HWAVEIN Handle() { return reinterpret_cast<HWAVEIN>(this); }

    void Notify(UINT msg, WAVEHDR* header)
    {
        switch (callbackType)
        {
        case CALLBACK_FUNCTION:
            reinterpret_cast<WAVEINPROC>(callback)(Handle(), msg, instance,
                                                   reinterpret_cast<DWORD_PTR>(header), 0);
            break;
        case CALLBACK_WINDOW:
            platform::wave::detail::Post(reinterpret_cast<HWND>(callback), msg,
                                         reinterpret_cast<WPARAM>(Handle()),
                                         reinterpret_cast<LPARAM>(header));
            break;
        case CALLBACK_EVENT:
            SetEvent(reinterpret_cast<HANDLE>(callback));
            break;
        default:
            break;
        }
    }

    // Under `lock`.
    void CompleteFront()
    {
        WAVEHDR* header = queued.front();
        queued.pop_front();
        header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        finished.push_back(header);
        changed.notify_all();
    }

    // Under `lock`: until every finished buffer has been handed back. The callback thread itself cannot
    // wait for its own deliveries.
    void WaitDelivered(std::unique_lock<std::mutex>& held)
    {
        if (std::this_thread::get_id() == callbackThreadId)
            return;
        changed.wait(held, [&] { return finished.empty() && !delivering; });
    }

    void Run()
    {
        std::unique_lock held(lock);
        for (;;)
        {
            changed.wait(held, [&] { return !finished.empty() || closing; });
            if (abandoned || finished.empty())
                break;
            WAVEHDR* header = finished.front();
            finished.pop_front();
            delivering = true;
            held.unlock();
            Notify(WIM_DATA, header);
            held.lock();
            delivering = false;
            changed.notify_all();
        }
    }

    // Main loop thread.
    void OnData(const void* data, size_t bytes)
    {
        std::lock_guard held(lock);
        if (!started || lost)
            return;
        const auto* in = static_cast<const char*>(data);
        size_t offset = 0;
        while (offset < bytes && !queued.empty())
        {
            WAVEHDR* header = queued.front();
            // Whole frames only, as the caller reads frames.
            const DWORD usable = header->dwBufferLength - header->dwBufferLength % format.nBlockAlign;
            const size_t n = std::min<size_t>(bytes - offset, usable - header->dwBytesRecorded);
            if (in)
                std::memcpy(header->lpData + header->dwBytesRecorded, in + offset, n);
            else
                std::memset(header->lpData + header->dwBytesRecorded, format.wBitsPerSample == 8 ? 0x80 : 0,
                            n);
            header->dwBytesRecorded += static_cast<DWORD>(n);
            offset += n;
            if (header->dwBytesRecorded >= usable)
                CompleteFront();
        }
    }

    // Main loop thread: the source went away or the server died. The caller's buffers come back at once, so
    // that nothing waits for data that will never come; adding more fails from now on.
    void OnLost()
    {
        std::lock_guard held(lock);
        lost = true;
        started = false;
        while (!queued.empty())
            CompleteFront();
    }

    static void OnRead(pa_stream* s, size_t, void* self)
    {
        const void* data = nullptr;
        size_t bytes = 0;
        while (pa_stream_readable_size(s) > 0)
        {
            if (pa_stream_peek(s, &data, &bytes) < 0 || bytes == 0)
                break;
            static_cast<WaveIn*>(self)->OnData(data, bytes);
            pa_stream_drop(s);
        }
    }

    static void OnState(pa_stream* s, void* userdata)
    {
        auto* self = static_cast<WaveIn*>(userdata);
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(s)))
            self->OnLost();
        self->connection->Signal();
    }

    // Lock of the connection held.
    bool Connect()
    {
        pa_sample_spec sampleSpec{format.wBitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE,
                                  format.nSamplesPerSec, static_cast<uint8_t>(format.nChannels)};
        pa_channel_map map;
        pa_channel_map_init_auto(&map, sampleSpec.channels, PA_CHANNEL_MAP_WAVEEX);
        stream.reset(pa_stream_new(connection->Context(), "Wave in", &sampleSpec, &map));
        pa_stream* s = stream.get();
        if (!s)
            return false;
        pa_stream_set_read_callback(s, &WaveIn::OnRead, this);
        pa_stream_set_state_callback(s, &WaveIn::OnState, this);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
        // Ten milliseconds per fragment keeps the buffers' completion close to real time.
        attr.fragsize = std::max<uint32_t>(format.nBlockAlign, format.nAvgBytesPerSec / 100 /
                                                                   format.nBlockAlign * format.nBlockAlign);
        // The handle belongs to its device: when the device goes, the stream must end, not move elsewhere.
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY |
                                                          PA_STREAM_DONT_MOVE);
        if (pa_stream_connect_record(s, source.c_str(), &attr, flags) < 0)
            return false;
        connection->WaitUntil(
            [&]
            {
                const auto state = pa_stream_get_state(s);
                return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
            });
        return pa_stream_get_state(s) == PA_STREAM_READY;
    }

    void Disconnect()
    {
        Connection::Lock held(*connection);
        stream.reset();
    }

    void Cork(bool pause, bool flush)
    {
        Connection::Lock held(*connection);
        pa_stream* s = stream.get();
        if (!s || pa_stream_get_state(s) != PA_STREAM_READY)
            return;
        const platform::wave::detail::OperationPtr cork(pa_stream_cork(s, pause ? 1 : 0, nullptr, nullptr));
        // What the server had captured before the reset must not open the next capture.
        const platform::wave::detail::OperationPtr flushing(flush ? pa_stream_flush(s, nullptr, nullptr)
                                                                  : nullptr);
    }

    const std::shared_ptr<Connection> connection;
    const std::string source;
    const WAVEFORMATEX format;
    const DWORD callbackType;
    const DWORD_PTR callback;
    const DWORD_PTR instance;

    platform::wave::detail::StreamPtr stream; // under the connection's lock

    std::mutex lock;
    std::condition_variable changed;
    std::deque<WAVEHDR*> queued;
    std::deque<WAVEHDR*> finished;
    bool started = false;
    bool lost = false;
    bool closing = false;
    bool abandoned = false;
    bool delivering = false;

    std::thread callbackThread;
    std::thread::id callbackThreadId;
};

std::mutex g_handlesLock;
std::map<HWAVEIN, std::shared_ptr<WaveIn>> g_handles;

std::shared_ptr<WaveIn> Find(HWAVEIN handle)
{
    std::lock_guard held(g_handlesLock);
    const auto it = g_handles.find(handle);
    return it != g_handles.end() ? it->second : nullptr;
}

bool IsValidFormat(const WAVEFORMATEX& f)
{
    return f.wFormatTag == WAVE_FORMAT_PCM && (f.nChannels == 1 || f.nChannels == 2) &&
           (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) && f.nSamplesPerSec >= 1000 &&
           f.nSamplesPerSec <= PA_RATE_MAX && f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8 &&
           f.nAvgBytesPerSec == f.nSamplesPerSec * f.nBlockAlign;
}

MMRESULT CheckHeader(HWAVEIN handle, LPWAVEHDR header, UINT headerSize, std::shared_ptr<WaveIn>& device)
{
    device = Find(handle);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    if (!header || headerSize < sizeof(WAVEHDR))
        return MMSYSERR_INVALPARAM;
    return MMSYSERR_NOERROR;
}

// The formats a source delivers without upsampling or upmixing: every standard rate up to its own, mono
// always and stereo when it has two channels or more, 8 and 16 bits alike.
DWORD FormatsOf(const SourceInfo& s)
{
    struct Family
    {
        DWORD rate;
        DWORD m08, s08, m16, s16;
    };
    static constexpr Family kFamilies[] = {
        {11025, WAVE_FORMAT_1M08, WAVE_FORMAT_1S08, WAVE_FORMAT_1M16, WAVE_FORMAT_1S16},
        {22050, WAVE_FORMAT_2M08, WAVE_FORMAT_2S08, WAVE_FORMAT_2M16, WAVE_FORMAT_2S16},
        {44100, WAVE_FORMAT_4M08, WAVE_FORMAT_4S08, WAVE_FORMAT_4M16, WAVE_FORMAT_4S16},
    };
    DWORD formats = 0;
    const DWORD top = std::max<DWORD>(s.rate, 11025);
    for (const auto& f : kFamilies)
    {
        if (f.rate > top)
            continue;
        formats |= f.m08 | f.m16;
        if (s.channels >= 2)
            formats |= f.s08 | f.s16;
    }
    return formats;
}

// A component of the path: no separators, nothing that is not plainly printable.
std::string PathComponent(const std::string& text)
{
    std::string out;
    for (const char ch : text)
    {
        const auto c = static_cast<unsigned char>(ch);
        out += (c <= 0x20 || c >= 0x7F || ch == '#' || ch == '\\' || ch == '/') ? '_' : ch;
    }
    return out.empty() ? "0" : out;
}
} // namespace

namespace platform::wave::detail
{
std::optional<SourceInfo> SourceOfDevice(UINT deviceId)
{
    if (IsMapper(deviceId))
        return DefaultCaptureSource();
    auto list = ListCaptureSources();
    if (deviceId >= list.size())
        return std::nullopt;
    return std::move(list[deviceId]);
}

int DeviceNumberOf(const std::string& sourceName)
{
    const auto list = ListCaptureSources();
    for (size_t i = 0; i < list.size(); ++i)
    {
        if (list[i].name == sourceName)
            return static_cast<int>(i);
    }
    return -1;
}

bool SourceOfWaveIn(HWAVEIN handle, std::string& sourceName)
{
    const auto device = Find(handle);
    if (!device)
        return false;
    sourceName = device->source;
    return true;
}

void FillCaps(const SourceInfo& source, WAVEINCAPSA& caps)
{
    caps = {};
    caps.wMid = 0xFFFF; // no registered maker or product number
    caps.wPid = 0xFFFF;
    caps.vDriverVersion = 0x0100;
    platform::CopyTruncated(caps.szPname, sizeof caps.szPname, source.description);
    caps.dwFormats = FormatsOf(source);
    caps.wChannels = source.channels >= 2 ? 2 : 1;
}

std::string DeviceInterfacePath(const SourceInfo& source)
{
    // The class part names the capture category, so the path reads like that of a capture device.
    static const std::string kCategory = "{65e8773d-8f56-11d0-a3b9-00a0c9223196}";
    if (!source.vendorId.empty() && !source.productId.empty())
    {
        const std::string instance = PathComponent(source.serial.empty() ? source.name : source.serial);
        return "\\\\?\\usb#vid_" + source.vendorId + "&pid_" + source.productId + "#" + instance + "#" +
               kCategory + "\\" + PathComponent(source.name);
    }
    return "\\\\?\\swd#pulse#" + PathComponent(source.name) + "#" + kCategory + "\\global";
}
} // namespace platform::wave::detail

using namespace platform::wave;

UINT waveInGetNumDevs()
{
    return static_cast<UINT>(ListCaptureSources().size());
}

MMRESULT waveInGetDevCapsA(UINT_PTR deviceId, LPWAVEINCAPSA caps, UINT capsSize)
{
    if (!caps || capsSize == 0)
        return MMSYSERR_INVALPARAM;
    std::optional<SourceInfo> source;
    if (deviceId >= kFirstHandleValue && !IsMapper(deviceId))
    {
        std::string name;
        if (!detail::SourceOfWaveIn(reinterpret_cast<HWAVEIN>(deviceId), name))
            return MMSYSERR_INVALHANDLE;
        source = FindCaptureSource(name);
        if (!source)
            return MMSYSERR_NODRIVER;
    }
    else
    {
        source = detail::SourceOfDevice(static_cast<UINT>(deviceId));
        if (!source)
            return MMSYSERR_BADDEVICEID;
    }
    WAVEINCAPSA filled;
    detail::FillCaps(*source, filled);
    std::memcpy(caps, &filled, std::min<size_t>(capsSize, sizeof filled));
    return MMSYSERR_NOERROR;
}

MMRESULT waveInOpen(LPHWAVEIN handle, UINT deviceId, LPCWAVEFORMATEX format, DWORD_PTR callback,
                    DWORD_PTR instance, DWORD flags)
{
    const bool query = (flags & WAVE_FORMAT_QUERY) != 0;
    if (!format || (!query && !handle))
        return MMSYSERR_INVALPARAM;
    const DWORD type = flags & CALLBACK_TYPEMASK;
    if (type != CALLBACK_NULL && type != CALLBACK_WINDOW && type != CALLBACK_FUNCTION &&
        type != CALLBACK_EVENT)
        return MMSYSERR_INVALFLAG;
    if ((type == CALLBACK_FUNCTION || type == CALLBACK_EVENT) && !callback)
        return MMSYSERR_INVALPARAM;
    if (!IsValidFormat(*format))
        return WAVERR_BADFORMAT;
    const auto source = detail::SourceOfDevice(deviceId);
    if (!source)
        return MMSYSERR_BADDEVICEID;
    if (query)
        return MMSYSERR_NOERROR;

    auto connection = detail::Current();
    if (!connection)
        return MMSYSERR_NODRIVER;
    auto device = std::make_shared<WaveIn>(connection, source->name, *format, type, callback, instance);
    bool connected = false;
    {
        Connection::Lock held(*connection);
        connected = device->Connect();
    }
    if (!connected)
    {
        device->Disconnect();
        return MMSYSERR_NODRIVER;
    }
    device->callbackThread = std::thread([device] { device->Run(); });
    device->callbackThreadId = device->callbackThread.get_id();
    {
        std::lock_guard held(g_handlesLock);
        g_handles.emplace(device->Handle(), device);
    }
    *handle = device->Handle();
    device->Notify(WIM_OPEN, nullptr);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInClose(HWAVEIN handle)
{
    const auto device = Find(handle);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    const bool onCallbackThread = std::this_thread::get_id() == device->callbackThreadId;
    {
        std::lock_guard held(device->lock);
        if (!device->queued.empty())
            return WAVERR_STILLPLAYING;
        if (device->closing)
            return MMSYSERR_INVALHANDLE;
        device->closing = true;
        // Closed from its own callback: whatever is still waiting is not handed back after the close.
        device->abandoned = onCallbackThread;
        device->changed.notify_all();
    }
    {
        std::lock_guard held(g_handlesLock);
        g_handles.erase(handle);
    }
    device->Disconnect();
    if (onCallbackThread)
        device->callbackThread.detach();
    else
        device->callbackThread.join();
    device->Notify(WIM_CLOSE, nullptr);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInPrepareHeader(HWAVEIN handle, LPWAVEHDR header, UINT headerSize)
{
    std::shared_ptr<WaveIn> device;
    if (const auto r = CheckHeader(handle, header, headerSize, device); r != MMSYSERR_NOERROR)
        return r;
    if (!header->lpData)
        return MMSYSERR_INVALPARAM;
    std::lock_guard held(device->lock);
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInUnprepareHeader(HWAVEIN handle, LPWAVEHDR header, UINT headerSize)
{
    std::shared_ptr<WaveIn> device;
    if (const auto r = CheckHeader(handle, header, headerSize, device); r != MMSYSERR_NOERROR)
        return r;
    std::lock_guard held(device->lock);
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInAddBuffer(HWAVEIN handle, LPWAVEHDR header, UINT headerSize)
{
    std::shared_ptr<WaveIn> device;
    if (const auto r = CheckHeader(handle, header, headerSize, device); r != MMSYSERR_NOERROR)
        return r;
    std::lock_guard held(device->lock);
    if (device->closing)
        return MMSYSERR_INVALHANDLE;
    if (!(header->dwFlags & WHDR_PREPARED))
        return WAVERR_UNPREPARED;
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    if (device->lost)
        return MMSYSERR_NODRIVER;
    if (!header->lpData || header->dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    header->dwBytesRecorded = 0;
    header->lpNext = nullptr;
    device->queued.push_back(header);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInStart(HWAVEIN handle)
{
    const auto device = Find(handle);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    {
        std::lock_guard held(device->lock);
        if (device->lost)
            return MMSYSERR_NODRIVER;
        device->started = true;
    }
    device->Cork(false, false);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInStop(HWAVEIN handle)
{
    const auto device = Find(handle);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    {
        std::lock_guard held(device->lock);
        device->started = false;
        if (!device->queued.empty() && device->queued.front()->dwBytesRecorded > 0)
            device->CompleteFront();
    }
    device->Cork(true, false);
    std::unique_lock held(device->lock);
    device->WaitDelivered(held);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInReset(HWAVEIN handle)
{
    const auto device = Find(handle);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    {
        std::lock_guard held(device->lock);
        device->started = false;
        while (!device->queued.empty())
            device->CompleteFront();
    }
    device->Cork(true, true);
    std::unique_lock held(device->lock);
    device->WaitDelivered(held);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInGetID(HWAVEIN handle, UINT* deviceId)
{
    if (!deviceId)
        return MMSYSERR_INVALPARAM;
    const auto device = Find(handle);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    const int number = detail::DeviceNumberOf(device->source);
    if (number < 0)
        return MMSYSERR_NODRIVER;
    *deviceId = static_cast<UINT>(number);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInMessage(HWAVEIN handle, UINT msg, DWORD_PTR param1, DWORD_PTR param2)
{
    if (msg != DRV_QUERYDEVICEINTERFACESIZE && msg != DRV_QUERYDEVICEINTERFACE)
        return MMSYSERR_NOTSUPPORTED;
    const auto value = reinterpret_cast<UINT_PTR>(handle);
    std::optional<SourceInfo> source;
    if (value < kFirstHandleValue || IsMapper(value))
    {
        source = detail::SourceOfDevice(static_cast<UINT>(value));
        if (!source)
            return MMSYSERR_BADDEVICEID;
    }
    else
    {
        std::string name;
        if (!detail::SourceOfWaveIn(handle, name))
            return MMSYSERR_INVALHANDLE;
        source = FindCaptureSource(name);
        if (!source)
            return MMSYSERR_NODRIVER;
    }
    if (!param1)
        return MMSYSERR_INVALPARAM;
    const std::wstring path = platform::Utf8ToWide(detail::DeviceInterfacePath(*source));
    const size_t bytes = (path.size() + 1) * sizeof(WCHAR);
    if (msg == DRV_QUERYDEVICEINTERFACESIZE)
    {
        *reinterpret_cast<ULONG*>(param1) = static_cast<ULONG>(bytes);
        return MMSYSERR_NOERROR;
    }
    if (param2 < bytes)
        return MMSYSERR_MOREDATA;
    std::memcpy(reinterpret_cast<WCHAR*>(param1), path.c_str(), bytes);
    return MMSYSERR_NOERROR;
}
