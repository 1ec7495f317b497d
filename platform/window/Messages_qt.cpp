// Message queues, sends and posts across threads, timers and the message loop over Qt's event loop.

#include "platform/win/Kernel.h"
#include "platform/window/Extras.h"
#include "platform/window/WindowInternal.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <set>
#include <unordered_map>

namespace platform::window::detail
{
namespace
{
using Clock = std::chrono::steady_clock;

struct Timer
{
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    UINT intervalMs = 0;
    TIMERPROC proc = nullptr;
    Clock::time_point due;
};

enum class CallState
{
    Waiting,
    Running,
    Done,
    Abandoned
};

/// One piece of work for the user-interface thread: a cross-thread send, or a function another thread
/// wants run there. It owns everything it needs, so that a sender that gives up does not leave it
/// pointing at a gone stack.
struct Call
{
    HWND hwnd = nullptr;
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    LRESULT result = 0;
    std::function<void()> fn;
    bool waited = false;
    CallState state = CallState::Waiting; // under g_callLock
};

class Pump;

/// A queued message; mouse input is bound to its window when it is taken, as the capture then decides.
struct Queued
{
    MSG msg;
    bool mouse = false;
};

struct Queue
{
    DWORD threadId = 0;
    bool ui = false;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Queued> messages;                 // under lock
    std::deque<std::shared_ptr<Call>> calls;     // under lock; user-interface thread only
    bool quit = false;                           // under lock
    int quitCode = 0;                            // under lock
    bool closed = false;                         // under lock
    std::uint64_t generation = 0;                // under lock; counts arrivals
    std::vector<Timer> timers;                   // owning thread only
    std::vector<std::function<void()>> deferred; // owning thread only
    Pump* pump = nullptr;
    std::atomic<bool> wakePending{false};
    MSG current{};
    int sendDepth = 0;
    /// Since when posted messages have been taken without the queue running dry; owning thread only.
    std::optional<Clock::time_point> streamSince;
};

/// How long a stream of posted messages that never runs dry (a handler slower than the messages come,
/// as on a loaded machine) may hold back the window system's events, paints and timers before they get
/// a turn ahead of it.
constexpr auto kStreamSlice = std::chrono::milliseconds(50);

constexpr QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::User + 0x5A1);

std::mutex g_queuesLock;
std::unordered_map<DWORD, std::shared_ptr<Queue>> g_queues;
std::shared_ptr<Queue> g_uiQueue;

std::mutex g_callLock;
std::condition_variable g_callChanged;
std::atomic<bool> g_shutdown{false};
std::atomic<UINT_PTR> g_nextThreadTimer{0x7FFF0000};

void ProcessCalls(Queue& q);

/// Lives on the user-interface thread: other threads post it a wake-up, and it runs their calls at once,
/// in whatever loop the thread happens to be (ours or a Qt dialog's).
class Pump : public QObject
{
public:
    explicit Pump(Queue& q) : m_queue(q)
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
    }
    bool event(QEvent* e) override
    {
        if (e->type() == kWakeEvent)
        {
            m_queue.wakePending.store(false);
            ProcessCalls(m_queue);
            return true;
        }
        return QObject::event(e);
    }
    QTimer& Timer() { return m_timer; }

private:
    Queue& m_queue;
    QTimer m_timer;
};

struct QueueHolder
{
    std::shared_ptr<Queue> queue;
    ~QueueHolder()
    {
        if (!queue)
            return;
        std::deque<std::shared_ptr<Call>> orphans;
        {
            std::lock_guard lock(queue->lock);
            queue->closed = true;
            orphans.swap(queue->calls);
        }
        {
            std::lock_guard lock(g_callLock);
            for (auto& c : orphans)
                if (c->state == CallState::Waiting)
                    c->state = CallState::Abandoned;
        }
        g_callChanged.notify_all();
        {
            std::lock_guard lock(g_queuesLock);
            g_queues.erase(queue->threadId);
            if (g_uiQueue == queue)
                g_uiQueue.reset();
            // The pump lives on this thread, which is ending.
            delete queue->pump;
            queue->pump = nullptr;
        }
        // Windows destroyed later in this thread's exit (by static destructors) must find no queue rather
        // than a freed one.
        queue.reset();
    }
};
thread_local QueueHolder t_queue;

std::shared_ptr<Queue> QueueOf(DWORD threadId)
{
    std::lock_guard lock(g_queuesLock);
    auto it = g_queues.find(threadId);
    return it == g_queues.end() ? nullptr : it->second;
}

std::shared_ptr<Queue> UiQueue()
{
    std::lock_guard lock(g_queuesLock);
    return g_uiQueue;
}

Queue& OwnQueue()
{
    if (!t_queue.queue)
    {
        auto q = std::make_shared<Queue>();
        q->threadId = GetCurrentThreadId();
        std::lock_guard lock(g_queuesLock);
        g_queues[q->threadId] = q;
        t_queue.queue = q;
    }
    Queue& q = *t_queue.queue;
    // The thread may have had a queue before it started the Qt application.
    if (!q.ui && IsUiThread())
    {
        q.pump = new Pump(q);
        q.ui = true;
        std::lock_guard lock(g_queuesLock);
        g_uiQueue = t_queue.queue;
    }
    return q;
}

void Wake(Queue& q)
{
    if (q.ui)
    {
        if (!q.wakePending.exchange(true) && q.pump)
            QCoreApplication::postEvent(q.pump, new QEvent(kWakeEvent));
    }
    q.changed.notify_all();
}

void RunCall(Call& c)
{
    if (c.fn)
    {
        try
        {
            c.fn();
        }
        catch (const std::exception& e)
        {
            Log("an exception ended a call on the user-interface thread: %s", e.what());
        }
        catch (...)
        {
            Log("an exception ended a call on the user-interface thread");
        }
        return;
    }
    auto w = Find(c.hwnd);
    if (!w || w->destroyed)
        return;
    ++OwnQueue().sendDepth;
    c.result = CallGuarded(c.hwnd, w->proc, c.msg, c.wParam, c.lParam);
    --OwnQueue().sendDepth;
}

void ProcessCalls(Queue& q)
{
    for (;;)
    {
        std::shared_ptr<Call> c;
        {
            std::lock_guard lock(q.lock);
            if (q.calls.empty())
                return;
            c = q.calls.front();
            q.calls.pop_front();
        }
        {
            std::lock_guard lock(g_callLock);
            if (c->state != CallState::Waiting)
                continue;
            c->state = CallState::Running;
        }
        RunCall(*c);
        {
            std::lock_guard lock(g_callLock);
            c->state = CallState::Done;
        }
        g_callChanged.notify_all();
    }
}

/// Hands `call` to the user-interface thread and waits until it is done, or until it can no longer
/// matter: the window it targets is gone (the call was not started), the program is closing, the
/// canceller fired, or the deadline passed. Returns true when the call ran to its end.
bool Submit(const std::shared_ptr<Call>& call, const SendCanceller* canceller,
            const Clock::time_point* deadline)
{
    if (g_shutdown.load() || (canceller && canceller->IsCancelled()))
        return false;
    auto q = UiQueue();
    if (!q)
        return false;
    call->waited = true;
    {
        std::lock_guard lock(q->lock);
        if (q->closed)
            return false;
        q->calls.push_back(call);
    }
    Wake(*q);
    std::unique_lock lock(g_callLock);
    for (;;)
    {
        if (call->state == CallState::Done)
            return true;
        if (call->state == CallState::Abandoned)
            return false;
        const bool cancelled = canceller && canceller->IsCancelled();
        const bool expired = deadline && Clock::now() >= *deadline;
        // A running call is only left behind when the caller asked for it (cancel or time-out): the
        // handler may be waiting for this very thread. Shutdown leaves only calls not yet started.
        if (cancelled || expired || (g_shutdown.load() && call->state == CallState::Waiting))
        {
            call->state = CallState::Abandoned;
            return false;
        }
        if (deadline)
            g_callChanged.wait_until(lock, std::min(*deadline, Clock::now() + std::chrono::milliseconds(50)));
        else
            g_callChanged.wait_for(lock, std::chrono::milliseconds(canceller ? 20 : 200));
    }
}

bool InRange(UINT msg, UINT lo, UINT hi)
{
    if (lo == 0 && hi == 0)
        return true;
    if (lo > hi)
        return msg >= lo || msg <= hi;
    return msg >= lo && msg <= hi;
}

bool MatchesWindow(HWND msgHwnd, HWND filter)
{
    if (!filter)
        return true;
    if (filter == reinterpret_cast<HWND>(-1))
        return msgHwnd == nullptr;
    return msgHwnd == filter || (msgHwnd && IsChild(filter, msgHwnd));
}

/// Whether a window may owe a paint. Looking for one walks every window, and the loop looks each time it
/// has nothing else to do (many times per live frame), so the walk only runs after a paint was owed and
/// until it finds none. User-interface thread only.
bool g_paintOwed = true;

HWND FindPaintWindow(HWND filter)
{
    if (!g_paintOwed)
        return nullptr;
    bool owed = false;
    HWND best = nullptr;
    int bestDepth = 1 << 30;
    // Parents before children, so that a child's picture never waits for its parent's.
    std::vector<HWND> stack = TopLevelWindows();
    std::vector<std::pair<HWND, int>> todo;
    for (auto it = stack.rbegin(); it != stack.rend(); ++it)
        todo.emplace_back(*it, 0);
    while (!todo.empty())
    {
        auto [h, depth] = todo.back();
        todo.pop_back();
        auto w = Find(h);
        if (!w || w->destroyed)
            continue;
        if (!w->update.isEmpty() || w->internalPaint || w->ncPaint)
        {
            owed = true;
            if (depth < bestDepth && MatchesWindow(h, filter))
            {
                best = h;
                bestDepth = depth;
            }
        }
        for (auto c = w->children.rbegin(); c != w->children.rend(); ++c)
            todo.emplace_back(*c, depth + 1);
    }
    g_paintOwed = owed;
    return best;
}

void RunDeferred(Queue& q)
{
    while (!q.deferred.empty())
    {
        auto work = std::move(q.deferred);
        q.deferred.clear();
        for (auto& fn : work)
            fn();
    }
}

/// The window a mouse message goes to is settled when it is taken: a window that captured the mouse since
/// gets it, in its own client coordinates.
MSG BindMouse(MSG m)
{
    if (!IsUiThread())
        return m;
    const HWND capture = GetCapture();
    const bool nonClient = m.message == WM_NCMOUSEMOVE || m.message == WM_NCLBUTTONDOWN ||
                           m.message == WM_NCLBUTTONUP || m.message == WM_NCLBUTTONDBLCLK;
    if (!capture || (capture != m.hwnd && m.message == WM_MOUSEWHEEL) || m.message == WM_MOUSELEAVE ||
        m.message == WM_MOUSEHOVER)
        return m;
    if (capture == m.hwnd && !nonClient)
        return m;
    auto w = Find(capture);
    if (!w)
        return m;
    if (nonClient)
    {
        switch (m.message)
        {
        case WM_NCMOUSEMOVE:
            m.message = WM_MOUSEMOVE;
            break;
        case WM_NCLBUTTONDOWN:
            m.message = WM_LBUTTONDOWN;
            break;
        case WM_NCLBUTTONUP:
            m.message = WM_LBUTTONUP;
            break;
        default:
            m.message = WM_LBUTTONDBLCLK;
            break;
        }
        WPARAM keys = 0;
        if (GetKeyState(VK_LBUTTON) < 0)
            keys |= MK_LBUTTON;
        if (GetKeyState(VK_RBUTTON) < 0)
            keys |= MK_RBUTTON;
        m.wParam = keys;
    }
    const QPoint client = ScreenToClientPoint(*w, QPoint(m.pt.x, m.pt.y));
    m.hwnd = capture;
    m.lParam = MAKELPARAM(client.x(), client.y());
    return m;
}

bool TakePaintOrTimer(Queue& q, MSG& out, HWND filter, UINT lo, UINT hi, bool remove);

/// Takes the next message the filter admits, in the system's order: posted and input messages, quit,
/// paint, timers; with `lateFirst`, paint and timers come before the rest. Paint messages stay until the
/// window is validated; timers are re-armed when removed.
bool Take(Queue& q, MSG& out, HWND filter, UINT lo, UINT hi, bool remove, bool lateFirst = false)
{
    if (lateFirst && TakePaintOrTimer(q, out, filter, lo, hi, remove))
        return true;
    {
        std::lock_guard lock(q.lock);
        for (auto it = q.messages.begin(); it != q.messages.end(); ++it)
        {
            if (it->mouse)
                it->msg = BindMouse(it->msg);
            if (!MatchesWindow(it->msg.hwnd, filter) || !InRange(it->msg.message, lo, hi))
                continue;
            out = it->msg;
            if (remove)
            {
                q.messages.erase(it);
                if (!q.streamSince)
                    q.streamSince = Clock::now();
            }
            return true;
        }
        if (q.quit && q.messages.empty())
        {
            out = MSG{};
            out.message = WM_QUIT;
            out.wParam = static_cast<WPARAM>(q.quitCode);
            if (remove)
                q.quit = false;
            return true;
        }
        if (q.messages.empty())
            q.streamSince.reset();
    }
    return TakePaintOrTimer(q, out, filter, lo, hi, remove);
}

bool TakePaintOrTimer(Queue& q, MSG& out, HWND filter, UINT lo, UINT hi, bool remove)
{
    if (q.ui && InRange(WM_PAINT, lo, hi))
    {
        if (HWND h = FindPaintWindow(filter))
        {
            out = MSG{};
            out.hwnd = h;
            out.message = WM_PAINT;
            out.time = GetTickCount();
            return true;
        }
    }
    if (InRange(WM_TIMER, lo, hi))
    {
        const auto now = Clock::now();
        Timer* due = nullptr;
        for (auto& t : q.timers)
            if (t.due <= now && MatchesWindow(t.hwnd, filter) && (!due || t.due < due->due))
                due = &t;
        if (due)
        {
            out = MSG{};
            out.hwnd = due->hwnd;
            out.message = WM_TIMER;
            out.wParam = due->id;
            out.lParam = reinterpret_cast<LPARAM>(due->proc);
            out.time = GetTickCount();
            if (remove)
            {
                due->due += std::chrono::milliseconds(due->intervalMs);
                if (due->due <= now)
                    due->due = now + std::chrono::milliseconds(due->intervalMs);
            }
            return true;
        }
    }
    return false;
}

std::optional<Clock::time_point> NextTimer(const Queue& q)
{
    std::optional<Clock::time_point> next;
    for (auto& t : q.timers)
        if (!next || t.due < *next)
            next = t.due;
    return next;
}

void AfterRemove(Queue& q, const MSG& msg)
{
    q.current = msg;
    // The system asks the window for its cursor as each mouse message is taken.
    if (q.ui && msg.hwnd && msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST &&
        msg.message != WM_MOUSEWHEEL && msg.message != WM_MOUSEHWHEEL && !GetCapture())
        SendLocal(msg.hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(msg.hwnd),
                  MAKELPARAM(HTCLIENT, msg.message));
}

/// One pass over everything the user-interface thread has to hand, then a wait when `wait` and nothing
/// came up. Returns true when a message was found.
bool UiPass(Queue& q, MSG& out, HWND filter, UINT lo, UINT hi, bool remove, bool wait)
{
    for (;;)
    {
        ProcessCalls(q);
        RunDeferred(q);
        // A stream that never runs dry would otherwise keep the window system's input, Qt's timers,
        // paints and timers waiting for as long as it lasts.
        const bool turn = q.streamSince && Clock::now() - *q.streamSince >= kStreamSlice;
        if (turn)
        {
            q.streamSince = Clock::now();
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            ProcessCalls(q);
            RunDeferred(q);
        }
        if (Take(q, out, filter, lo, hi, remove, turn))
            return true;
        RunIdleWork();
        if (!q.deferred.empty())
            continue;
        if (!wait)
        {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            ProcessCalls(q);
            RunDeferred(q);
            return Take(q, out, filter, lo, hi, remove);
        }
        if (auto next = NextTimer(q))
        {
            const auto ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(*next - Clock::now()).count();
            q.pump->Timer().start(static_cast<int>(std::clamp<long long>(ms + 1, 0, 1 << 30)));
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

bool WorkerPass(Queue& q, MSG& out, HWND filter, UINT lo, UINT hi, bool remove, bool wait)
{
    for (;;)
    {
        std::uint64_t seen;
        {
            std::lock_guard lock(q.lock);
            seen = q.generation;
        }
        if (Take(q, out, filter, lo, hi, remove))
            return true;
        if (!wait)
            return false;
        std::unique_lock lock(q.lock);
        const auto next = NextTimer(q);
        auto arrived = [&] { return q.generation != seen || (next && Clock::now() >= *next); };
        if (next)
            q.changed.wait_until(lock, *next, arrived);
        else
            q.changed.wait(lock, arrived);
    }
}

std::mutex g_logLock;
std::set<std::string> g_logged;
} // namespace

void Log(const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::lock_guard lock(g_logLock);
    if (g_logged.size() < 1000 && !g_logged.insert(text).second)
        return;
    std::fprintf(stderr, "brevicam: %s\n", text);
}

LRESULT CallGuarded(HWND hwnd, WNDPROC proc, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!proc)
        return 0;
    try
    {
        return proc(hwnd, msg, wParam, lParam);
    }
    catch (const std::exception& e)
    {
        Log("the window procedure of window %p threw on message 0x%04X: %s", static_cast<void*>(hwnd), msg,
            e.what());
    }
    catch (...)
    {
        Log("the window procedure of window %p threw on message 0x%04X", static_cast<void*>(hwnd), msg);
    }
    return 0;
}

LRESULT SendLocal(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto w = Find(hwnd);
    if (!w || w->destroyed)
        return 0;
    return CallGuarded(hwnd, w->proc, msg, wParam, lParam);
}

void EnsureOwnQueue()
{
    OwnQueue();
}

void PaintOwed()
{
    g_paintOwed = true;
}

void QueueUiMessage(const MSG& msg, bool mouse)
{
    Queue& q = OwnQueue();
    {
        std::lock_guard lock(q.lock);
        q.messages.push_back(Queued{msg, mouse});
        ++q.generation;
    }
    Wake(q);
}

bool RunOnUiThread(const std::function<void()>& fn)
{
    if (IsUiThread())
    {
        fn();
        return true;
    }
    auto call = std::make_shared<Call>();
    call->fn = fn;
    return Submit(call, nullptr, nullptr);
}

void PostUiCall(std::function<void()> fn)
{
    auto q = UiQueue();
    if (!q)
        return;
    auto call = std::make_shared<Call>();
    call->fn = std::move(fn);
    {
        std::lock_guard lock(q->lock);
        if (q->closed)
            return;
        q->calls.push_back(call);
    }
    Wake(*q);
}

void DeferUiWork(std::function<void()> fn)
{
    if (!IsUiThread())
        return;
    Queue& q = OwnQueue();
    q.deferred.push_back(std::move(fn));
    Wake(q);
}

void CancelSendsTo(HWND hwnd)
{
    auto q = UiQueue();
    if (!q)
        return;
    std::vector<std::shared_ptr<Call>> dropped;
    {
        std::lock_guard lock(q->lock);
        for (auto it = q->calls.begin(); it != q->calls.end();)
        {
            if ((*it)->hwnd == hwnd && !(*it)->fn)
            {
                dropped.push_back(*it);
                it = q->calls.erase(it);
            }
            else
                ++it;
        }
    }
    {
        std::lock_guard lock(g_callLock);
        for (auto& c : dropped)
            if (c->state == CallState::Waiting)
                c->state = CallState::Abandoned;
    }
    g_callChanged.notify_all();
}

void KillWindowTimers(HWND hwnd)
{
    if (!t_queue.queue)
        return;
    auto& timers = t_queue.queue->timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.hwnd == hwnd; }),
                 timers.end());
}

void RemoveQueuedFor(HWND hwnd)
{
    if (!t_queue.queue)
        return;
    std::lock_guard lock(t_queue.queue->lock);
    auto& m = t_queue.queue->messages;
    m.erase(std::remove_if(m.begin(), m.end(), [&](const Queued& x) { return x.msg.hwnd == hwnd; }), m.end());
}

} // namespace platform::window::detail

using namespace platform::window::detail;

namespace platform::window
{
void SendCanceller::Cancel()
{
    m_cancelled.store(true);
    std::lock_guard lock(g_callLock);
    g_callChanged.notify_all();
}

LRESULT SendMessageCancellable(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                               const SendCanceller& canceller)
{
    if (canceller.IsCancelled())
    {
        SetLastError(ERROR_OPERATION_ABORTED);
        return 0;
    }
    if (IsUiThread())
        return SendMessage(hwnd, msg, wParam, lParam);
    if (!IsWindow(hwnd))
    {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    auto call = std::make_shared<Call>();
    call->hwnd = hwnd;
    call->msg = msg;
    call->wParam = wParam;
    call->lParam = lParam;
    if (!Submit(call, &canceller, nullptr))
    {
        SetLastError(ERROR_OPERATION_ABORTED);
        return 0;
    }
    std::lock_guard lock(g_callLock);
    return call->result;
}

void BeginShutdown()
{
    g_shutdown.store(true);
    std::lock_guard lock(g_callLock);
    g_callChanged.notify_all();
}

bool IsShuttingDown()
{
    return g_shutdown.load();
}

bool IsUserInterfaceThread()
{
    return detail::IsUiThread();
}

bool CallOnUiThread(const std::function<void()>& fn)
{
    return detail::RunOnUiThread(fn);
}

void PostToUiThread(std::function<void()> fn)
{
    detail::PostUiCall(std::move(fn));
}

int PumpPendingMessages()
{
    // What was queued at the call is handled whatever happens; a stream that keeps the queue from running
    // dry is followed for one slice, then the caller gets its turn.
    std::size_t queued = 0;
    {
        Queue& q = OwnQueue();
        std::lock_guard lock(q.lock);
        queued = q.messages.size();
    }
    const auto end = Clock::now() + kStreamSlice;
    int count = 0;
    MSG msg;
    while ((static_cast<std::size_t>(count) < queued || Clock::now() < end) &&
           PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
    {
        if (msg.message == WM_QUIT)
        {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessage(&msg);
        ++count;
    }
    return count;
}
} // namespace platform::window

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (hwnd == HWND_BROADCAST)
    {
        RunOnUiThread(
            [=]
            {
                for (HWND h : TopLevelWindows())
                    SendLocal(h, msg, wParam, lParam);
            });
        return 0;
    }
    if (IsUiThread())
    {
        auto w = Get(hwnd);
        if (!w || w->destroyed)
            return 0;
        return CallGuarded(hwnd, w->proc, msg, wParam, lParam);
    }
    if (!IsWindow(hwnd))
    {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    auto call = std::make_shared<Call>();
    call->hwnd = hwnd;
    call->msg = msg;
    call->wParam = wParam;
    call->lParam = lParam;
    if (!Submit(call, nullptr, nullptr))
        return 0;
    std::lock_guard lock(g_callLock);
    return call->result;
}

LRESULT SendMessageTimeout(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT, UINT timeoutMs,
                           PDWORD_PTR result)
{
    if (IsUiThread())
    {
        auto w = Get(hwnd);
        if (!w || w->destroyed)
            return 0;
        const LRESULT r = CallGuarded(hwnd, w->proc, msg, wParam, lParam);
        if (result)
            *result = static_cast<DWORD_PTR>(r);
        return 1;
    }
    if (!IsWindow(hwnd))
    {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    auto call = std::make_shared<Call>();
    call->hwnd = hwnd;
    call->msg = msg;
    call->wParam = wParam;
    call->lParam = lParam;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    if (!Submit(call, nullptr, &deadline))
    {
        SetLastError(ERROR_TIMEOUT);
        return 0;
    }
    std::lock_guard lock(g_callLock);
    if (result)
        *result = static_cast<DWORD_PTR>(call->result);
    return 1;
}

BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!hwnd)
        return PostThreadMessage(GetCurrentThreadId(), msg, wParam, lParam);
    if (hwnd == HWND_BROADCAST)
    {
        // Every top-level window gets its own copy; the list is read on the windows' own thread.
        if (!UiQueue())
            return TRUE;
        PostUiCall(
            [=]
            {
                for (HWND h : TopLevelWindows())
                    PostMessage(h, msg, wParam, lParam);
            });
        return TRUE;
    }
    if (!IsWindow(hwnd))
    {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    auto q = UiQueue();
    if (!q)
    {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    MSG m{};
    m.hwnd = hwnd;
    m.message = msg;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    {
        std::lock_guard lock(q->lock);
        if (q->closed)
            return FALSE;
        q->messages.push_back(Queued{m, false});
        ++q->generation;
    }
    Wake(*q);
    return TRUE;
}

BOOL PostThreadMessage(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto q = QueueOf(threadId);
    if (!q && threadId == GetCurrentThreadId())
    {
        OwnQueue();
        q = QueueOf(threadId);
    }
    if (!q)
    {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    MSG m{};
    m.message = msg;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    {
        std::lock_guard lock(q->lock);
        if (q->closed)
        {
            SetLastError(ERROR_INVALID_THREAD_ID);
            return FALSE;
        }
        q->messages.push_back(Queued{m, false});
        ++q->generation;
    }
    Wake(*q);
    return TRUE;
}

void PostQuitMessage(int exitCode)
{
    Queue& q = OwnQueue();
    {
        std::lock_guard lock(q.lock);
        q.quit = true;
        q.quitCode = exitCode;
        ++q.generation;
    }
    Wake(q);
}

BOOL GetMessage(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax)
{
    if (!msg)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (hwnd && hwnd != reinterpret_cast<HWND>(-1) && !IsWindow(hwnd))
    {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    Queue& q = OwnQueue();
    const bool found = q.ui ? UiPass(q, *msg, hwnd, filterMin, filterMax, true, true)
                            : WorkerPass(q, *msg, hwnd, filterMin, filterMax, true, true);
    if (found)
        AfterRemove(q, *msg);
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessage(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    if (!msg)
        return FALSE;
    Queue& q = OwnQueue();
    const bool remove = (removeFlags & PM_REMOVE) != 0;
    const bool found = q.ui ? UiPass(q, *msg, hwnd, filterMin, filterMax, remove, false)
                            : WorkerPass(q, *msg, hwnd, filterMin, filterMax, remove, false);
    if (found && remove)
        AfterRemove(q, *msg);
    return found ? TRUE : FALSE;
}

BOOL WaitMessage()
{
    Queue& q = OwnQueue();
    MSG msg;
    if (q.ui)
        UiPass(q, msg, nullptr, 0, 0, false, true);
    else
        WorkerPass(q, msg, nullptr, 0, 0, false, true);
    return TRUE;
}

namespace
{
struct KeyText
{
    HWND hwnd;
    WPARAM vk;
    LPARAM lParam;
    DWORD time;
    std::u32string text;
};
std::deque<KeyText> g_keyTexts;
} // namespace

namespace platform::window::detail
{
void RememberKeyText(const MSG& msg, const std::u32string& text)
{
    g_keyTexts.push_back({msg.hwnd, msg.wParam, msg.lParam, msg.time, text});
    if (g_keyTexts.size() > 64)
        g_keyTexts.pop_front();
}
} // namespace platform::window::detail

BOOL TranslateMessage(const MSG* msg)
{
    if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN))
        return FALSE;
    for (auto it = g_keyTexts.begin(); it != g_keyTexts.end(); ++it)
    {
        if (it->hwnd == msg->hwnd && it->vk == msg->wParam && it->lParam == msg->lParam &&
            it->time == msg->time)
        {
            const UINT charMsg = msg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
            for (char32_t ch : it->text)
                PostMessage(msg->hwnd, charMsg, static_cast<WPARAM>(ch), msg->lParam);
            g_keyTexts.erase(it);
            return TRUE;
        }
    }
    return FALSE;
}

LRESULT DispatchMessage(const MSG* msg)
{
    if (!msg)
        return 0;
    if (msg->message == WM_TIMER && msg->lParam)
    {
        auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
        try
        {
            proc(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
        }
        catch (const std::exception& e)
        {
            Log("a timer procedure threw: %s", e.what());
        }
        catch (...)
        {
            Log("a timer procedure threw");
        }
        return 0;
    }
    if (!msg->hwnd)
        return 0;
    auto w = Get(msg->hwnd);
    if (!w || w->destroyed)
        return 0;
    const LRESULT r = CallGuarded(msg->hwnd, w->proc, msg->message, msg->wParam, msg->lParam);
    if (msg->message == WM_PAINT && !w->destroyed)
    {
        // A handler that neither painted nor validated would be asked again for ever.
        w->update = QRegion();
        w->internalPaint = false;
        w->ncPaint = false;
    }
    return r;
}

DWORD GetMessageTime()
{
    return t_queue.queue ? t_queue.queue->current.time : 0;
}

DWORD GetMessagePos()
{
    if (!t_queue.queue)
        return 0;
    const POINT p = t_queue.queue->current.pt;
    return MAKELONG(static_cast<WORD>(p.x), static_cast<WORD>(p.y));
}

BOOL InSendMessage()
{
    return t_queue.queue && t_queue.queue->sendDepth > 0;
}

UINT RegisterWindowMessage(LPCSTR name)
{
    static std::mutex lock;
    static std::unordered_map<std::string, UINT> ids;
    if (!name || !*name)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string key(name);
    for (auto& ch : key)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    std::lock_guard guard(lock);
    auto [it, added] = ids.emplace(key, 0);
    if (added)
        it->second = 0xC000 + static_cast<UINT>(ids.size() - 1);
    return it->second;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc)
{
    if (hwnd)
    {
        PW_ON_UI_THREAD(SetTimer(hwnd, id, elapseMs, proc));
        if (!Get(hwnd))
            return 0;
    }
    Queue& q = OwnQueue();
    const UINT interval = std::max(elapseMs, USER_TIMER_MINIMUM);
    if (!hwnd)
    {
        auto existing = std::find_if(q.timers.begin(), q.timers.end(),
                                     [&](const Timer& t) { return !t.hwnd && t.id == id && id != 0; });
        if (existing == q.timers.end())
            id = g_nextThreadTimer.fetch_add(1);
    }
    auto it = std::find_if(q.timers.begin(), q.timers.end(),
                           [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    Timer t;
    {
        std::lock_guard lock(q.lock);
        ++q.generation;
    }
    t.hwnd = hwnd;
    t.id = id;
    t.intervalMs = interval;
    t.proc = proc;
    t.due = Clock::now() + std::chrono::milliseconds(interval);
    if (it != q.timers.end())
        *it = t;
    else
        q.timers.push_back(t);
    Wake(q);
    return id == 0 ? 1 : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id)
{
    if (hwnd)
        PW_ON_UI_THREAD(KillTimer(hwnd, id));
    if (!t_queue.queue)
        return FALSE;
    auto& timers = t_queue.queue->timers;
    auto it = std::find_if(timers.begin(), timers.end(),
                           [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (it == timers.end())
        return FALSE;
    timers.erase(it);
    return TRUE;
}
