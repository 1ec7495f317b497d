#pragma once

#include "PulseBackend.h"

#include <pulse/pulseaudio.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

// Internal to the audio layer: one connection to a PulseAudio server on a threaded main loop.
namespace platform::wave::detail
{
constexpr int kServerTimeoutMs = 5000;

struct OperationUnref
{
    void operator()(pa_operation* op) const noexcept { pa_operation_unref(op); }
};
using OperationPtr = std::unique_ptr<pa_operation, OperationUnref>;

/// Releases a stream with the connection's lock held: after it, none of the stream's callbacks runs.
struct StreamRelease
{
    void operator()(pa_stream* s) const noexcept
    {
        pa_stream_set_read_callback(s, nullptr, nullptr);
        pa_stream_set_state_callback(s, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(s)))
            pa_stream_disconnect(s);
        pa_stream_unref(s);
    }
};
using StreamPtr = std::unique_ptr<pa_stream, StreamRelease>;

struct LoopRelease
{
    void operator()(pa_threaded_mainloop* loop) const noexcept
    {
        pa_threaded_mainloop_stop(loop);
        pa_threaded_mainloop_free(loop);
    }
};

/// Releases a context with the lock of its main loop held.
struct ContextRelease
{
    void operator()(pa_context* c) const noexcept
    {
        pa_context_set_state_callback(c, nullptr, nullptr);
        pa_context_set_subscribe_callback(c, nullptr, nullptr);
        pa_context_disconnect(c);
        pa_context_unref(c);
    }
};

class Connection
{
public:
    /// Connects to `server` (empty: the default one); null when no server answers in time. Only a
    /// connection that watches sources announces device and control changes; one of them is enough.
    static std::shared_ptr<Connection> Open(const std::string& server, bool watchSources = true);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    /// Holds the main loop's lock: every call on the context or its streams needs it.
    class Lock
    {
    public:
        explicit Lock(Connection& c) : m_loop(c.m_loop.get()) { pa_threaded_mainloop_lock(m_loop); }
        ~Lock() { pa_threaded_mainloop_unlock(m_loop); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* m_loop;
    };

    pa_context* Context() const noexcept { return m_context.get(); }
    pa_threaded_mainloop* Loop() const noexcept { return m_loop.get(); }
    const std::string& Server() const noexcept { return m_server; }
    /// Under the lock.
    bool IsReady() const noexcept;

    /// Under the lock, never on the main loop's thread: waits until `done` holds, at most `timeoutMs`.
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs = kServerTimeoutMs);
    /// Under the lock: waits for the operation to end; false when it failed, was cancelled or timed out.
    bool Complete(pa_operation* op, int timeoutMs = kServerTimeoutMs);
    /// Wakes every waiter (from main loop callbacks).
    void Signal() noexcept { pa_threaded_mainloop_signal(m_loop.get(), 0); }

private:
    explicit Connection(std::string server);
    static void OnState(pa_context* c, void* self);
    static void OnSubscription(pa_context* c, pa_subscription_event_type_t type, uint32_t index, void* self);
    static void OnSourceInfo(pa_context* c, const pa_source_info* info, int eol, void* self);
    void Track(const pa_source_info& info);

    struct Tracked
    {
        std::string name;
        bool capture = false;
        std::uint32_t volume = 0;
        bool muted = false;
    };

    std::string m_server;
    std::unique_ptr<pa_threaded_mainloop, LoopRelease> m_loop;
    std::unique_ptr<pa_context, ContextRelease> m_context; // released under the lock, before the loop
    bool m_wasReady = false;
    // Set once the sources present at connection are known: later arrivals are announced.
    bool m_announce = false;
    // Sources seen, by index; touched only on the main loop's thread.
    std::map<std::uint32_t, Tracked> m_sources;
};

/// The process's connection to the server named by PULSE_SERVER now, reconnecting when that changed or the
/// connection died; null when no server answers.
std::shared_ptr<Connection> Current();

/// Raised on the main loop's thread with its lock held; they only post.
void NotifyDeviceListChanged();
void NotifySourceControlsChanged(const std::string& sourceName, bool volumeChanged, bool muteChanged);

SourceInfo ToSourceInfo(const pa_source_info& info);
bool IsCaptureSource(const pa_source_info& info);
/// Lists the capture sources on `c` (lock not held).
std::vector<SourceInfo> ListCaptureSourcesOn(Connection& c);
} // namespace platform::wave::detail
