#include "MMSystem.h"
#include "PulseConnection.h"
#include "WaveFile.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <mutex>

namespace platform::wave
{
namespace
{
using detail::Connection;

constexpr DWORD kKnownFlags = SND_ASYNC | SND_NODEFAULT | SND_PURGE | SND_FILENAME;
constexpr pa_usec_t kBufferUs = 100 * 1000;

struct ProplistFree
{
    void operator()(pa_proplist* p) const noexcept { pa_proplist_free(p); }
};

pa_sample_format_t SampleFormatOf(const WAVEFORMATEX& format)
{
    if (format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT)
        return PA_SAMPLE_FLOAT32LE;
    switch (format.wBitsPerSample)
    {
    case 8:
        return PA_SAMPLE_U8;
    case 16:
        return PA_SAMPLE_S16LE;
    case 24:
        return PA_SAMPLE_S24LE;
    case 32:
        return PA_SAMPLE_S32LE;
    default:
        return PA_SAMPLE_INVALID;
    }
}

std::string BaseName(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

/// One sound on its way to the server. Its stream's callbacks run on the connection's main loop thread with
/// the lock held; every member but `connection` and `sound` is touched only under that lock.
struct Playback
{
    std::shared_ptr<Connection> connection;
    WaveSound sound;
    detail::StreamPtr stream;
    detail::OperationPtr drain;
    std::size_t written = 0;
    bool ready = false;
    bool ended = false; // played out, failed or stopped

    static void OnWrite(pa_stream* s, std::size_t bytes, void* userdata)
    {
        auto* self = static_cast<Playback*>(userdata);
        const auto& samples = self->sound.samples;
        const std::size_t count = std::min(bytes, samples.size() - self->written);
        // Null free callback: the server library copies the bytes.
        if (count > 0 &&
            pa_stream_write(s, samples.data() + self->written, count, nullptr, 0, PA_SEEK_RELATIVE) < 0)
        {
            self->End(s);
            return;
        }
        self->written += count;
        if (self->written == samples.size() && !self->drain)
            self->drain.reset(pa_stream_drain(s, &Playback::OnDrained, self));
    }

    static void OnDrained(pa_stream* s, int, void* userdata) { static_cast<Playback*>(userdata)->End(s); }

    static void OnState(pa_stream* s, void* userdata)
    {
        auto* self = static_cast<Playback*>(userdata);
        const auto state = pa_stream_get_state(s);
        if (state == PA_STREAM_READY)
            self->ready = true;
        if (!PA_STREAM_IS_GOOD(state))
            self->ended = true;
        self->connection->Signal();
    }

    /// Under the lock: leaves the server (its sink input goes away) and wakes a waiting caller.
    void End(pa_stream* s)
    {
        ended = true;
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(s)))
            pa_stream_disconnect(s);
        connection->Signal();
    }

    /// Under the lock: after it none of the stream's callbacks runs.
    void Release()
    {
        ended = true;
        if (drain && pa_operation_get_state(drain.get()) == PA_OPERATION_RUNNING)
            pa_operation_cancel(drain.get());
        drain.reset();
        if (stream)
            pa_stream_set_write_callback(stream.get(), nullptr, nullptr);
        stream.reset();
        connection->Signal();
    }
};

class Player
{
public:
    BOOL Play(const char* path, DWORD flags)
    {
        std::unique_lock guard(m_mutex);
        if (m_closed)
            return FALSE;
        StopLocked();
        auto playback = std::make_shared<Playback>();
        std::string error;
        if (!ReadWaveFile(path, playback->sound, error))
            return FALSE;
        if (playback->sound.samples.empty())
            return TRUE;
        playback->connection = ConnectionLocked();
        if (!playback->connection || !Start(*playback, path))
            return FALSE;
        m_current = playback;
        if (flags & SND_ASYNC)
            return TRUE;

        guard.unlock();
        const std::uint64_t waitMs = playback->sound.layout.DurationMs() + detail::kServerTimeoutMs;
        Connection::Lock lock(*playback->connection);
        playback->connection->WaitUntil([&] { return playback->ended; },
                                        static_cast<int>(std::min<std::uint64_t>(waitMs, INT_MAX)));
        return TRUE;
    }

    void Stop()
    {
        std::lock_guard guard(m_mutex);
        StopLocked();
    }

    /// At exit: cuts the sound off and stops the main loop's thread, which must not run on while the
    /// server library frees its own state; later calls play nothing.
    void Close()
    {
        std::lock_guard guard(m_mutex);
        m_closed = true;
        StopLocked();
        if (m_connection)
            pa_threaded_mainloop_stop(m_connection->Loop());
    }

private:
    void StopLocked()
    {
        const auto playback = std::move(m_current);
        if (!playback)
            return;
        Connection::Lock lock(*playback->connection);
        playback->Release();
    }

    // Our own connection, so that sounds never wait behind the device functions; it watches no sources,
    // since the device functions' connection already announces their changes.
    std::shared_ptr<Connection> ConnectionLocked()
    {
        const char* env = std::getenv("PULSE_SERVER");
        const std::string server = env ? env : "";
        if (m_connection && m_connection->Server() == server)
        {
            Connection::Lock lock(*m_connection);
            if (m_connection->IsReady())
                return m_connection;
        }
        m_connection.reset();
        m_connection = Connection::Open(server, false);
        return m_connection;
    }

    static bool Start(Playback& playback, const std::string& path)
    {
        const WAVEFORMATEX& format = playback.sound.layout.format;
        const pa_sample_spec sampleSpec{SampleFormatOf(format), format.nSamplesPerSec,
                                        static_cast<std::uint8_t>(format.nChannels)};
        pa_channel_map map;
        if (!pa_sample_spec_valid(&sampleSpec) ||
            !pa_channel_map_init_extend(&map, sampleSpec.channels, PA_CHANNEL_MAP_WAVEEX))
            return false;
        Connection& c = *playback.connection;
        Connection::Lock lock(c);
        if (!c.IsReady())
            return false;
        std::unique_ptr<pa_proplist, ProplistFree> props(pa_proplist_new());
        pa_proplist_sets(props.get(), PA_PROP_MEDIA_ROLE, "event");
        pa_proplist_sets(props.get(), PA_PROP_MEDIA_FILENAME, path.c_str());
        playback.stream.reset(
            pa_stream_new_with_proplist(c.Context(), BaseName(path).c_str(), &sampleSpec, &map, props.get()));
        pa_stream* stream = playback.stream.get();
        if (!stream)
            return false;
        pa_stream_set_state_callback(stream, &Playback::OnState, &playback);
        pa_stream_set_write_callback(stream, &Playback::OnWrite, &playback);
        // A short buffer, so that the sound starts with the shot and ends soon after its last frame rather
        // than when a long default buffer has run through.
        pa_buffer_attr attr;
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kBufferUs, &sampleSpec));
        attr.prebuf = static_cast<std::uint32_t>(-1);
        attr.minreq = static_cast<std::uint32_t>(-1);
        attr.fragsize = static_cast<std::uint32_t>(-1);
        if (pa_stream_connect_playback(stream, nullptr, &attr, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr) <
                0 ||
            !c.WaitUntil([&] { return playback.ready || playback.ended; }) || !playback.ready)
        {
            playback.Release();
            return false;
        }
        return true;
    }

    std::mutex m_mutex;
    std::shared_ptr<Connection> m_connection;
    std::shared_ptr<Playback> m_current;
    bool m_closed = false;
};

Player& ThePlayer()
{
    // Never destroyed, as a thread may still call while the process ends; it is only closed then.
    static Player* const player = []
    {
        auto* p = new Player;
        std::atexit([] { ThePlayer().Close(); });
        return p;
    }();
    return *player;
}
} // namespace
} // namespace platform::wave

BOOL PlaySoundA(LPCSTR sound, HMODULE, DWORD flags)
{
    auto& player = platform::wave::ThePlayer();
    if ((flags & ~platform::wave::kKnownFlags) != 0)
        return FALSE;
    if (!sound || (flags & SND_PURGE))
    {
        player.Stop();
        return TRUE;
    }
    return player.Play(sound, flags);
}
