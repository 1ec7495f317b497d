#include "PulseBackend.h"
#include "PulseConnection.h"

#include <pulse/rtclock.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <mutex>

namespace platform::wave
{
namespace detail
{
namespace
{
constexpr pa_usec_t kWaitTickUs = 50 * 1000;

void TickWaiters(pa_mainloop_api* api, pa_time_event* e, const struct timeval*, void* userdata)
{
    auto* self = static_cast<Connection*>(userdata);
    self->Signal();
    // A steady tick rather than one event at the deadline: the waiter rechecks the clock each time.
    pa_context_rttime_restart(self->Context(), e, pa_rtclock_now() + kWaitTickUs);
    (void)api;
}

// Four lower-case hex digits, or empty when `id` is not a 16-bit hex number.
std::string NormaliseUsbId(const char* id)
{
    if (!id)
        return {};
    std::string s = id;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        s.erase(0, 2);
    if (s.empty() || s.size() > 4)
        return {};
    for (char& ch : s)
    {
        if (!std::isxdigit(static_cast<unsigned char>(ch)))
            return {};
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    }
    return std::string(4 - s.size(), '0') + s;
}

std::string Property(const pa_proplist* props, const char* key)
{
    const char* v = props ? pa_proplist_gets(props, key) : nullptr;
    return v ? v : "";
}
} // namespace

Connection::Connection(std::string server) : m_server(std::move(server)) {}

Connection::~Connection()
{
    if (m_context)
    {
        Lock lock(*this);
        m_context.reset();
    }
}

std::shared_ptr<Connection> Connection::Open(const std::string& server, bool watchSources)
{
    std::shared_ptr<Connection> c(new Connection(server));
    pa_threaded_mainloop* loop = pa_threaded_mainloop_new();
    if (!loop)
        return nullptr;
    pa_threaded_mainloop_set_name(loop, "pulse-wave");
    if (pa_threaded_mainloop_start(loop) < 0)
    {
        pa_threaded_mainloop_free(loop);
        return nullptr;
    }
    c->m_loop.reset(loop);
    Lock lock(*c);
    c->m_context.reset(pa_context_new(pa_threaded_mainloop_get_api(loop), "Brevicam audio"));
    if (!c->m_context)
        return nullptr;
    pa_context* context = c->Context();
    pa_context_set_state_callback(context, &Connection::OnState, c.get());
    // Never start a server of our own: no server means no devices.
    if (pa_context_connect(context, server.empty() ? nullptr : server.c_str(), PA_CONTEXT_NOAUTOSPAWN,
                           nullptr) < 0)
        return nullptr;
    const bool settled = c->WaitUntil(
        [&]
        {
            const auto s = pa_context_get_state(context);
            return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
        });
    if (!settled || !c->IsReady())
        return nullptr;
    c->m_wasReady = true;
    if (!watchSources)
        return c;

    pa_context_set_subscribe_callback(context, &Connection::OnSubscription, c.get());
    c->Complete(pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_SOURCE, nullptr, nullptr));
    // Learn the sources present now, so that removals and volume changes can be told apart later.
    c->Complete(pa_context_get_source_info_list(
        context,
        [](pa_context*, const pa_source_info* info, int eol, void* self)
        {
            if (eol == 0 && info)
                static_cast<Connection*>(self)->Track(*info);
        },
        c.get()));
    c->m_announce = true;
    return c;
}

bool Connection::IsReady() const noexcept
{
    return m_context && pa_context_get_state(m_context.get()) == PA_CONTEXT_READY;
}

bool Connection::WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    if (done())
        return true;
    if (pa_threaded_mainloop_in_thread(Loop()))
        return false;
    const pa_usec_t deadline = pa_rtclock_now() + static_cast<pa_usec_t>(timeoutMs) * 1000;
    pa_time_event* tick =
        pa_context_rttime_new(Context(), pa_rtclock_now() + kWaitTickUs, &TickWaiters, this);
    bool ok = false;
    while (!(ok = done()) && pa_rtclock_now() < deadline)
        pa_threaded_mainloop_wait(Loop());
    if (tick)
        pa_threaded_mainloop_get_api(Loop())->time_free(tick);
    return ok;
}

bool Connection::Complete(pa_operation* op, int timeoutMs)
{
    if (!op)
        return false;
    OperationPtr holder(op);
    pa_operation_set_state_callback(
        op, [](pa_operation*, void* self) { static_cast<Connection*>(self)->Signal(); }, this);
    const bool ended =
        WaitUntil([&] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; }, timeoutMs);
    if (!ended)
        pa_operation_cancel(op);
    pa_operation_set_state_callback(op, nullptr, nullptr);
    return ended && pa_operation_get_state(op) == PA_OPERATION_DONE;
}

void Connection::OnState(pa_context* c, void* userdata)
{
    auto* self = static_cast<Connection*>(userdata);
    const auto state = pa_context_get_state(c);
    if (!PA_CONTEXT_IS_GOOD(state) && self->m_wasReady)
    {
        self->m_wasReady = false;
        // The server went away: every device we knew of is gone for us.
        const bool hadCapture = std::any_of(self->m_sources.begin(), self->m_sources.end(),
                                            [](const auto& s) { return s.second.capture; });
        self->m_sources.clear();
        if (hadCapture)
            NotifyDeviceListChanged();
    }
    self->Signal();
}

void Connection::OnSubscription(pa_context* c, pa_subscription_event_type_t type, uint32_t index,
                                void* userdata)
{
    auto* self = static_cast<Connection*>(userdata);
    if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SOURCE)
        return;
    if ((type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE)
    {
        const auto it = self->m_sources.find(index);
        if (it == self->m_sources.end())
            return;
        const bool capture = it->second.capture;
        self->m_sources.erase(it);
        if (capture)
            NotifyDeviceListChanged();
        return;
    }
    if (pa_operation* op = pa_context_get_source_info_by_index(c, index, &Connection::OnSourceInfo, self))
        pa_operation_unref(op);
}

void Connection::OnSourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata)
{
    if (eol == 0 && info)
        static_cast<Connection*>(userdata)->Track(*info);
}

void Connection::Track(const pa_source_info& info)
{
    Tracked now;
    now.name = info.name ? info.name : "";
    now.capture = IsCaptureSource(info);
    now.volume = pa_cvolume_avg(&info.volume);
    now.muted = info.mute != 0;
    const auto it = m_sources.find(info.index);
    if (it == m_sources.end())
    {
        const bool capture = now.capture;
        m_sources.emplace(info.index, std::move(now));
        if (capture && m_announce)
            NotifyDeviceListChanged();
        return;
    }
    const bool volumeChanged = it->second.volume != now.volume;
    const bool muteChanged = it->second.muted != now.muted;
    it->second = std::move(now);
    if (it->second.capture && (volumeChanged || muteChanged))
        NotifySourceControlsChanged(it->second.name, volumeChanged, muteChanged);
}

std::shared_ptr<Connection> Current()
{
    static std::mutex lock;
    static std::shared_ptr<Connection> current;
    const char* env = std::getenv("PULSE_SERVER");
    const std::string server = env ? env : "";
    std::lock_guard guard(lock);
    if (current && current->Server() == server)
    {
        Connection::Lock l(*current);
        if (current->IsReady())
            return current;
    }
    current = Connection::Open(server);
    return current;
}

bool IsCaptureSource(const pa_source_info& info)
{
    return info.monitor_of_sink == PA_INVALID_INDEX;
}

SourceInfo ToSourceInfo(const pa_source_info& info)
{
    SourceInfo s;
    s.index = info.index;
    s.name = info.name ? info.name : "";
    s.description = info.description ? info.description : s.name;
    s.vendorId = NormaliseUsbId(pa_proplist_gets(info.proplist, "device.vendor.id"));
    s.productId = NormaliseUsbId(pa_proplist_gets(info.proplist, "device.product.id"));
    if (s.vendorId.empty() || s.productId.empty())
    {
        s.vendorId.clear();
        s.productId.clear();
    }
    s.serial = Property(info.proplist, "device.serial");
    if (s.serial.empty())
        s.serial = Property(info.proplist, "device.bus_path");
    s.rate = info.sample_spec.rate;
    s.channels = info.sample_spec.channels;
    s.volume.assign(info.volume.values, info.volume.values + info.volume.channels);
    s.muted = info.mute != 0;
    return s;
}

std::vector<SourceInfo> ListCaptureSourcesOn(Connection& c)
{
    std::vector<SourceInfo> list;
    Connection::Lock lock(c);
    if (!c.IsReady())
        return {};
    const bool ok = c.Complete(pa_context_get_source_info_list(
        c.Context(),
        [](pa_context*, const pa_source_info* info, int eol, void* out)
        {
            if (eol == 0 && info && IsCaptureSource(*info))
                static_cast<std::vector<SourceInfo>*>(out)->push_back(ToSourceInfo(*info));
        },
        &list));
    if (!ok)
        return {};
    std::sort(list.begin(), list.end(),
              [](const SourceInfo& a, const SourceInfo& b) { return a.index < b.index; });
    return list;
}
} // namespace detail

using detail::Connection;

std::vector<SourceInfo> ListCaptureSources()
{
    const auto c = detail::Current();
    return c ? detail::ListCaptureSourcesOn(*c) : std::vector<SourceInfo>{};
}

std::optional<SourceInfo> DefaultCaptureSource()
{
    const auto c = detail::Current();
    if (!c)
        return std::nullopt;
    std::string defaultName;
    {
        Connection::Lock lock(*c);
        c->Complete(pa_context_get_server_info(
            c->Context(),
            [](pa_context*, const pa_server_info* info, void* out)
            {
                if (info && info->default_source_name)
                    *static_cast<std::string*>(out) = info->default_source_name;
            },
            &defaultName));
    }
    const auto list = detail::ListCaptureSourcesOn(*c);
    if (list.empty())
        return std::nullopt;
    const auto it =
        std::find_if(list.begin(), list.end(), [&](const SourceInfo& s) { return s.name == defaultName; });
    return it != list.end() ? *it : list.front();
}

std::optional<SourceInfo> FindCaptureSource(const std::string& name)
{
    const auto c = detail::Current();
    if (!c || name.empty())
        return std::nullopt;
    std::optional<SourceInfo> found;
    Connection::Lock lock(*c);
    c->Complete(pa_context_get_source_info_by_name(
        c->Context(), name.c_str(),
        [](pa_context*, const pa_source_info* info, int eol, void* out)
        {
            if (eol == 0 && info && detail::IsCaptureSource(*info))
                *static_cast<std::optional<SourceInfo>*>(out) = detail::ToSourceInfo(*info);
        },
        &found));
    return found;
}

namespace
{
// Runs a server call that answers with success or failure; `start` gets the answer callback and its data.
template <class Start> bool RunSuccessOperation(Connection& c, Start start)
{
    struct Result
    {
        bool success = false;
    } result;
    const bool done = c.Complete(start(
        [](pa_context*, int success, void* r) { static_cast<Result*>(r)->success = success != 0; }, &result));
    return done && result.success;
}

bool SetVolumes(const std::string& name, const std::vector<std::uint32_t>& volume, bool allChannels)
{
    const auto source = FindCaptureSource(name);
    const auto c = detail::Current();
    if (!source || !c || volume.empty())
        return false;
    if (!allChannels && volume.size() != source->channels)
        return false;
    pa_cvolume cv;
    pa_cvolume_init(&cv);
    cv.channels = source->channels;
    for (unsigned i = 0; i < cv.channels; ++i)
        cv.values[i] = std::min<std::uint32_t>(allChannels ? volume.front() : volume[i], PA_VOLUME_MAX);
    if (!pa_cvolume_valid(&cv))
        return false;
    Connection::Lock lock(*c);
    return RunSuccessOperation(
        *c, [&](pa_context_success_cb_t cb, void* r)
        { return pa_context_set_source_volume_by_name(c->Context(), name.c_str(), &cv, cb, r); });
}
} // namespace

bool SetSourceVolume(const std::string& name, std::uint32_t volume)
{
    return SetVolumes(name, {volume}, true);
}

bool SetSourceChannelVolumes(const std::string& name, const std::vector<std::uint32_t>& volume)
{
    return SetVolumes(name, volume, false);
}

bool SetSourceMute(const std::string& name, bool muted)
{
    const auto c = detail::Current();
    if (!c || !FindCaptureSource(name))
        return false;
    Connection::Lock lock(*c);
    return RunSuccessOperation(
        *c, [&](pa_context_success_cb_t cb, void* r)
        { return pa_context_set_source_mute_by_name(c->Context(), name.c_str(), muted, cb, r); });
}

std::uint32_t AverageVolume(const std::vector<std::uint32_t>& volume)
{
    if (volume.empty())
        return 0;
    std::uint64_t sum = 0;
    for (const auto v : volume)
        sum += v;
    return static_cast<std::uint32_t>(sum / volume.size());
}

// Peak meter.

struct PeakMeter::Impl
{
    std::shared_ptr<Connection> connection;
    detail::StreamPtr stream; // under the connection's lock
    std::mutex lock;
    bool running = false;
    bool fresh = false;
    float latest = 0;
    float highest = 0;

    static void OnRead(pa_stream* s, size_t, void* userdata)
    {
        auto* self = static_cast<Impl*>(userdata);
        const void* data = nullptr;
        size_t bytes = 0;
        while (pa_stream_readable_size(s) > 0 && pa_stream_peek(s, &data, &bytes) == 0 && bytes > 0)
        {
            float peak = 0;
            if (data)
            {
                const auto* samples = static_cast<const float*>(data);
                for (size_t i = 0; i < bytes / sizeof(float); ++i)
                    peak = std::max(peak, std::fabs(samples[i]));
            }
            pa_stream_drop(s);
            std::lock_guard guard(self->lock);
            self->latest = std::min(peak, 1.0f);
            self->highest = self->fresh ? std::max(self->highest, self->latest) : self->latest;
            self->fresh = true;
        }
    }

    static void OnState(pa_stream* s, void* userdata)
    {
        auto* self = static_cast<Impl*>(userdata);
        const auto state = pa_stream_get_state(s);
        {
            std::lock_guard guard(self->lock);
            self->running = state == PA_STREAM_READY;
            if (!PA_STREAM_IS_GOOD(state))
            {
                self->latest = self->highest = 0;
                self->fresh = false;
            }
        }
        self->connection->Signal();
    }
};

PeakMeter::PeakMeter(const std::string& sourceName) : m_impl(std::make_shared<Impl>())
{
    if (!FindCaptureSource(sourceName))
        return;
    m_impl->connection = detail::Current();
    if (!m_impl->connection)
        return;
    Connection::Lock lock(*m_impl->connection);
    // One float per 1/30 s: the server reduces the source to its peaks at this rate.
    const pa_sample_spec sampleSpec{PA_SAMPLE_FLOAT32NE, 30, 1};
    m_impl->stream.reset(pa_stream_new(m_impl->connection->Context(), "Peak meter", &sampleSpec, nullptr));
    pa_stream* stream = m_impl->stream.get();
    if (!stream)
        return;
    pa_stream_set_read_callback(stream, &Impl::OnRead, m_impl.get());
    pa_stream_set_state_callback(stream, &Impl::OnState, m_impl.get());
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.fragsize = sizeof(float);
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_PEAK_DETECT | PA_STREAM_ADJUST_LATENCY |
                                                      PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(stream, sourceName.c_str(), &attr, flags) < 0)
        return;
    m_impl->connection->WaitUntil(
        [&]
        {
            const auto s = pa_stream_get_state(stream);
            return s == PA_STREAM_READY || !PA_STREAM_IS_GOOD(s);
        });
}

PeakMeter::~PeakMeter()
{
    if (!m_impl->connection)
        return;
    Connection::Lock lock(*m_impl->connection);
    m_impl->stream.reset();
}

bool PeakMeter::IsRunning() const
{
    std::lock_guard guard(m_impl->lock);
    return m_impl->running;
}

float PeakMeter::TakePeak()
{
    std::lock_guard guard(m_impl->lock);
    if (!m_impl->fresh)
        return m_impl->latest;
    m_impl->fresh = false;
    return m_impl->highest;
}
} // namespace platform::wave
