#include "platform/shell/ChangeNotify.h"
#include "platform/shell/ShellInternal.h"
#include "platform/win/Kernel.h"
#include "platform/win/LastError.h"
#include "platform/window/Extras.h"
#include "platform/window/WinUser.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <sys/inotify.h>
#include <tuple>
#include <unistd.h>
#include <utility>
#include <vector>

namespace
{
using namespace platform::shell;

/// One change as inotify told it, with the full path of the item it concerns.
struct RawEvent
{
    uint32_t mask;
    uint32_t cookie;
    std::string path;
};

/// One inotify descriptor and the folders it watches. The descriptor is read on the user-interface thread;
/// the folder table may grow from any thread.
class Watcher : public std::enable_shared_from_this<Watcher>
{
public:
    explicit Watcher(uint32_t mask) : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), m_mask(mask) {}
    virtual ~Watcher()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    bool IsValid() const { return m_fd >= 0; }

    /// Watches one more folder; false with errno when inotify refuses it.
    bool AddFolder(const std::string& path)
    {
        std::lock_guard lock(m_lock);
        if (m_closed)
            return false;
        const int wd = inotify_add_watch(m_fd, path.c_str(), m_mask | IN_ONLYDIR);
        if (wd < 0)
            return false;
        auto& paths = m_folders[wd];
        if (std::find(paths.begin(), paths.end(), path) == paths.end())
            paths.push_back(path);
        return true;
    }

    /// Starts reading; user-interface thread.
    void Start()
    {
        if (IsClosed() || m_notifier)
            return;
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        m_timer = std::make_unique<QTimer>();
        m_timer->setSingleShot(true);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                         [this]
                         {
                             ReadEvents();
                             if (!m_pending.empty() && !m_timer->isActive())
                                 m_timer->start(MergeDelayMs);
                         });
        QObject::connect(m_timer.get(), &QTimer::timeout, m_timer.get(),
                         [this]
                         {
                             ReadEvents();
                             std::vector<RawEvent> events;
                             events.swap(m_pending);
                             if (!events.empty() && !IsClosed())
                                 Deliver(events);
                         });
    }

    /// Starts reading on the user-interface thread, now when called there.
    void StartOnUiThread()
    {
        if (platform::window::IsUserInterfaceThread())
            Start();
        else
            platform::window::PostToUiThread([self = shared_from_this()] { self->Start(); });
    }

    /// No further deliveries; the reading ends on the user-interface thread without waiting for it.
    void Close()
    {
        {
            std::lock_guard lock(m_lock);
            m_closed = true;
        }
        if (platform::window::IsUserInterfaceThread())
            Stop();
        else
            platform::window::PostToUiThread([self = shared_from_this()] { self->Stop(); });
    }

    bool IsClosed()
    {
        std::lock_guard lock(m_lock);
        return m_closed;
    }

protected:
    /// Reports the merged events of one burst; user-interface thread.
    virtual void Deliver(const std::vector<RawEvent>& events) = 0;

    std::mutex m_lock;
    bool m_closed = false;

private:
    void Stop()
    {
        m_timer.reset();
        m_notifier.reset();
        m_pending.clear();
    }

    void ReadEvents()
    {
        alignas(inotify_event) char buffer[16384];
        for (;;)
        {
            const ssize_t got = read(m_fd, buffer, sizeof buffer);
            if (got <= 0)
                return;
            for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;)
            {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                Take(*event);
            }
        }
    }

    void Take(const inotify_event& event)
    {
        std::vector<std::string> folders;
        {
            std::lock_guard lock(m_lock);
            if (event.mask & IN_Q_OVERFLOW)
            {
                for (const auto& [wd, paths] : m_folders)
                    for (const auto& path : paths)
                        m_pending.push_back({IN_Q_OVERFLOW, 0, path});
                return;
            }
            auto found = m_folders.find(event.wd);
            if (found == m_folders.end())
                return;
            folders = found->second;
            // A folder that moved is no longer where its path says; it is watched again when it is
            // enumerated under its new name.
            if (event.mask & (IN_IGNORED | IN_MOVE_SELF | IN_DELETE_SELF))
            {
                if (!(event.mask & IN_IGNORED))
                    inotify_rm_watch(m_fd, event.wd);
                m_folders.erase(found);
            }
        }
        if (event.mask & IN_IGNORED)
            return;
        for (const auto& folder : folders)
        {
            std::string path = folder;
            if (event.len > 0 && event.name[0] != '\0')
            {
                if (folder != "/")
                    path += '/';
                path += event.name;
            }
            m_pending.push_back({event.mask, event.cookie, std::move(path)});
        }
    }

    int m_fd;
    uint32_t m_mask;
    std::map<int, std::vector<std::string>> m_folders;
    // User-interface thread only:
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::unique_ptr<QTimer> m_timer;
    std::vector<RawEvent> m_pending;
};

/// The watch behind a FindFirstChangeNotification handle: a manual-reset event.
class FolderWatcher final : public Watcher
{
public:
    FolderWatcher(uint32_t mask, DWORD filter, HANDLE event) : Watcher(mask), m_filter(filter), m_event(event)
    {
    }

    HANDLE Event() const { return m_event; }

    void Rearm()
    {
        std::lock_guard lock(m_lock);
        // Changes reported while the handle was already signalled may have come after the waiter woke:
        // it stays signalled for one more round.
        if (m_whileSet > 0)
        {
            m_whileSet = 0;
            return;
        }
        m_set = false;
        ResetEvent(m_event);
    }

    void CloseHandleOnce()
    {
        Close();
        std::lock_guard lock(m_lock);
        if (m_event)
            CloseHandle(std::exchange(m_event, nullptr));
    }

protected:
    void Deliver(const std::vector<RawEvent>& events) override
    {
        const bool wanted =
            std::any_of(events.begin(), events.end(), [this](const RawEvent& e) { return Wanted(e); });
        std::lock_guard lock(m_lock);
        if (!wanted || m_closed || !m_event)
            return;
        if (m_set)
            ++m_whileSet;
        m_set = true;
        SetEvent(m_event);
    }

private:
    bool Wanted(const RawEvent& e) const
    {
        if (e.mask & (IN_Q_OVERFLOW | IN_DELETE_SELF | IN_MOVE_SELF | IN_ATTRIB | IN_MODIFY | IN_CLOSE_WRITE))
            return true;
        const bool folder = (e.mask & IN_ISDIR) != 0;
        return (m_filter & (folder ? FILE_NOTIFY_CHANGE_DIR_NAME : FILE_NOTIFY_CHANGE_FILE_NAME)) != 0;
    }

    DWORD m_filter;
    HANDLE m_event;
    bool m_set = false;
    int m_whileSet = 0;
};

/// Where a registration's entry points: a folder (empty: the desktop root) and whether it covers the
/// folders below it.
struct Entry
{
    std::string path;
    bool recursive;
};

/// One item of a posted notification: the two ID lists the message's wParam points to.
struct Posted
{
    LPITEMIDLIST lists[2] = {nullptr, nullptr};
    Posted() = default;
    Posted(const Posted&) = delete;
    Posted& operator=(const Posted&) = delete;
    ~Posted()
    {
        ILFree(lists[0]);
        ILFree(lists[1]);
    }
};

class Registration final : public Watcher
{
public:
    static constexpr uint32_t kMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE |
                                      IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;
    static constexpr std::size_t kKeptNotifications = 32;

    Registration(HWND window, LONG events, UINT message, std::vector<Entry> entries)
        : Watcher(kMask), m_window(window), m_events(events), m_message(message),
          m_entries(std::move(entries))
    {
    }

    /// Watches the entries' own folders; false when none can be watched.
    bool WatchEntries()
    {
        bool any = false;
        for (const Entry& entry : m_entries)
        {
            if (entry.path.empty())
            {
                for (const auto& root : detail::DesktopRoots())
                    any = AddFolder(root.path) || any;
            }
            else
                any = AddFolder(entry.path) || any;
        }
        return any;
    }

    bool Covers(const std::string& path) const
    {
        for (const Entry& entry : m_entries)
        {
            if (!entry.recursive)
                continue;
            if (entry.path.empty() || entry.path == "/" || path == entry.path ||
                path.starts_with(entry.path + "/"))
                return true;
        }
        return false;
    }

protected:
    void Deliver(const std::vector<RawEvent>& raw) override
    {
        struct Change
        {
            LONG code;
            std::string path;
            std::string newPath;
            bool operator<(const Change& o) const
            {
                return std::tie(code, path, newPath) < std::tie(o.code, o.path, o.newPath);
            }
        };
        std::vector<Change> changes;
        std::set<std::size_t> paired;
        for (std::size_t i = 0; i < raw.size(); ++i)
        {
            const RawEvent& e = raw[i];
            const bool folder = (e.mask & IN_ISDIR) != 0;
            if (e.mask & IN_Q_OVERFLOW)
                changes.push_back({SHCNE_UPDATEDIR, e.path, {}});
            else if (e.mask & (IN_CREATE | IN_MOVED_TO))
            {
                if (!paired.count(i))
                    changes.push_back({folder ? SHCNE_MKDIR : SHCNE_CREATE, e.path, {}});
            }
            else if (e.mask & IN_MOVED_FROM)
            {
                // The other half of a rename carries the same cookie.
                std::size_t to = i + 1;
                while (to < raw.size() && !((raw[to].mask & IN_MOVED_TO) && raw[to].cookie == e.cookie))
                    ++to;
                if (to < raw.size())
                {
                    paired.insert(to);
                    changes.push_back({folder ? SHCNE_RENAMEFOLDER : SHCNE_RENAMEITEM, e.path, raw[to].path});
                }
                else
                    changes.push_back({folder ? SHCNE_RMDIR : SHCNE_DELETE, e.path, {}});
            }
            else if (e.mask & IN_DELETE)
                changes.push_back({folder ? SHCNE_RMDIR : SHCNE_DELETE, e.path, {}});
            else if (e.mask & IN_DELETE_SELF)
                changes.push_back({SHCNE_RMDIR, e.path, {}});
            else if (e.mask & (IN_CLOSE_WRITE | IN_ATTRIB))
                changes.push_back({SHCNE_UPDATEITEM, e.path, {}});
        }
        std::erase_if(changes, [this](const Change& c) { return (c.code & m_events) == 0; });
        std::sort(changes.begin(), changes.end());
        changes.erase(std::unique(changes.begin(), changes.end(),
                                  [](const Change& a, const Change& b) { return !(a < b) && !(b < a); }),
                      changes.end());
        if (changes.empty())
            return;
        if (changes.size() == 1)
        {
            Post(changes[0].code, changes[0].path, changes[0].newPath);
            return;
        }
        // Several changes at once: one update of the folder that holds them all.
        std::string common;
        bool first = true;
        for (const Change& c : changes)
            for (const std::string* path : {&c.path, &c.newPath})
            {
                if (path->empty())
                    continue;
                std::string parent = path->substr(0, std::max<std::size_t>(path->rfind('/'), 1));
                if (c.code == SHCNE_UPDATEDIR)
                    parent = *path;
                if (first)
                    common = parent;
                while (!(parent == common || parent.starts_with(common == "/" ? common : common + "/")))
                    common = common.substr(0, std::max<std::size_t>(common.rfind('/'), 1));
                first = false;
            }
        Post(SHCNE_UPDATEDIR, common, {});
    }

private:
    void Post(LONG code, const std::string& path, const std::string& newPath)
    {
        if (!IsWindow(m_window))
            return;
        auto posted = std::make_unique<Posted>();
        posted->lists[0] = detail::IDListFromPath(path);
        if (!newPath.empty())
            posted->lists[1] = detail::IDListFromPath(newPath);
        PostMessage(m_window, m_message, reinterpret_cast<WPARAM>(posted->lists), static_cast<LPARAM>(code));
        m_posted.push_back(std::move(posted));
        while (m_posted.size() > kKeptNotifications)
            m_posted.pop_front();
    }

    HWND m_window;
    LONG m_events;
    UINT m_message;
    std::vector<Entry> m_entries;
    std::deque<std::unique_ptr<Posted>> m_posted;
};

std::mutex g_lock;
std::map<ULONG, std::shared_ptr<Registration>> g_registrations;
std::map<HANDLE, std::shared_ptr<FolderWatcher>> g_folderWatchers;
ULONG g_nextId = 1;

/// The watch behind a change handle, taken out of the table with `remove`; null with
/// ERROR_INVALID_HANDLE for a handle that is none.
std::shared_ptr<FolderWatcher> FolderWatcherOf(HANDLE change, bool remove)
{
    std::lock_guard lock(g_lock);
    auto found = g_folderWatchers.find(change);
    if (found == g_folderWatchers.end())
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto watcher = found->second;
    if (remove)
        g_folderWatchers.erase(found);
    return watcher;
}
} // namespace

ULONG SHChangeNotifyRegister(HWND window, int sources, LONG events, UINT message, int count,
                             const SHChangeNotifyEntry* entries)
{
    if (!IsWindow(window) || count <= 0 || !entries || (sources & SHCNRF_NewDelivery) ||
        !platform::window::IsUserInterfaceThread())
        return 0;
    std::vector<Entry> list;
    for (int i = 0; i < count; ++i)
    {
        if (!entries[i].pidl)
            return 0;
        std::string path;
        if (entries[i].pidl->mkid.cb != 0 && !detail::AppendIDListToPath({}, entries[i].pidl, path))
            return 0;
        list.push_back({path, entries[i].fRecursive != FALSE});
    }
    auto registration = std::make_shared<Registration>(window, events, message, std::move(list));
    if (!registration->IsValid() || !registration->WatchEntries())
        return 0;
    registration->Start();
    std::lock_guard lock(g_lock);
    const ULONG id = g_nextId++;
    g_registrations.emplace(id, registration);
    return id;
}

BOOL SHChangeNotifyDeregister(ULONG id)
{
    std::shared_ptr<Registration> registration;
    {
        std::lock_guard lock(g_lock);
        auto found = g_registrations.find(id);
        if (found == g_registrations.end())
            return FALSE;
        registration = std::move(found->second);
        g_registrations.erase(found);
    }
    registration->Close();
    return TRUE;
}

HANDLE FindFirstChangeNotificationA(LPCSTR folder, BOOL subtree, DWORD filter)
{
    if (subtree)
    {
        SetLastError(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    const std::string path = folder ? detail::CleanAbsolutePath(folder) : std::string();
    if (path.empty() || filter == 0)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    uint32_t mask = IN_DELETE_SELF | IN_MOVE_SELF;
    if (filter & (FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME))
        mask |= IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
    if (filter & FILE_NOTIFY_CHANGE_ATTRIBUTES)
        mask |= IN_ATTRIB;
    if (filter & FILE_NOTIFY_CHANGE_SIZE)
        mask |= IN_MODIFY;
    if (filter & FILE_NOTIFY_CHANGE_LAST_WRITE)
        mask |= IN_CLOSE_WRITE;
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!event)
        return INVALID_HANDLE_VALUE;
    auto watcher = std::make_shared<FolderWatcher>(mask, filter, event);
    if (!watcher->IsValid() || !watcher->AddFolder(path))
    {
        const DWORD error = platform::ErrorFromErrno(errno);
        CloseHandle(event);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    {
        std::lock_guard lock(g_lock);
        g_folderWatchers.emplace(event, watcher);
    }
    watcher->StartOnUiThread();
    return event;
}

BOOL FindNextChangeNotification(HANDLE change)
{
    const auto watcher = FolderWatcherOf(change, false);
    if (!watcher)
        return FALSE;
    watcher->Rearm();
    return TRUE;
}

BOOL FindCloseChangeNotification(HANDLE change)
{
    const auto watcher = FolderWatcherOf(change, true);
    if (!watcher)
        return FALSE;
    watcher->CloseHandleOnce();
    return TRUE;
}

namespace platform::shell::detail
{
void NoteFolderEnumerated(const std::string& path)
{
    std::vector<std::shared_ptr<Registration>> covering;
    {
        std::lock_guard lock(g_lock);
        for (const auto& [id, registration] : g_registrations)
            if (registration->Covers(path))
                covering.push_back(registration);
    }
    for (const auto& registration : covering)
        registration->AddFolder(path);
}
} // namespace platform::shell::detail
