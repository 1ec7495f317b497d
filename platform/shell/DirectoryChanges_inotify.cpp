// Change reading of a folder tree over one inotify descriptor per open folder, with an eventfd that a
// cancel writes to so that a blocked read returns.

#include "platform/shell/DirectoryChanges.h"
#include "platform/shell/ShellInternal.h"
#include "platform/win/LastError.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <map>
#include <memory>
#include <mutex>
#include <poll.h>
#include <set>
#include <string>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
constexpr uint32_t kWatchMask = IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK;

struct Change
{
    DWORD action;
    std::string name;
};

struct FolderWatch
{
    ~FolderWatch()
    {
        close(inotifyFd);
        close(cancelFd);
    }

    int inotifyFd = -1;
    int cancelFd = -1;
    std::string root;
    /// Watch descriptor to the folder's path relative to the root ("" for the root).
    std::map<int, std::string> folders;
    bool subtreeDecided = false;
    bool subtree = false;
    bool rootGone = false;
    bool overflowed = false;
    std::deque<Change> pending;
    /// One read at a time; a cancel needs no lock.
    std::mutex readLock;
};

std::mutex g_liveLock;
std::set<FolderWatch*> g_live;

/// The open folder behind `handle`, or null (ERROR_INVALID_HANDLE set).
FolderWatch* Lookup(HANDLE handle)
{
    std::lock_guard lock(g_liveLock);
    auto* watch = static_cast<FolderWatch*>(handle);
    if (!handle || handle == INVALID_HANDLE_VALUE || !g_live.count(watch))
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return watch;
}

std::string Join(const std::string& folder, const std::string& name)
{
    return folder.empty() ? name : folder + "/" + name;
}

/// The full path of a folder or file named relative to the watched folder.
std::string FullPath(const FolderWatch& watch, const std::string& relative)
{
    if (relative.empty())
        return watch.root;
    return watch.root == "/" ? "/" + relative : watch.root + "/" + relative;
}

/// Watches `relative` and, below it, every folder that is neither hidden nor a link, breadth first, until
/// the limit.
void WatchTree(FolderWatch& watch, const std::string& relative)
{
    std::deque<std::string> queue{relative};
    while (!queue.empty() && static_cast<int>(watch.folders.size()) < platform::shell::MaxWatchedFolders)
    {
        const std::string folder = queue.front();
        queue.pop_front();
        const std::string path = FullPath(watch, folder);
        if (!folder.empty())
        {
            const int wd = inotify_add_watch(watch.inotifyFd, path.c_str(), kWatchMask);
            if (wd < 0)
                continue;
            watch.folders[wd] = folder;
        }
        DIR* dir = opendir(path.c_str());
        if (!dir)
            continue;
        while (const dirent* entry = readdir(dir))
        {
            if (platform::shell::detail::IsHiddenName(entry->d_name))
                continue;
            struct stat st
            {
            };
            const std::string child = Join(folder, entry->d_name);
            if (lstat(FullPath(watch, child).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                queue.push_back(child);
        }
        closedir(dir);
    }
}

bool Wanted(DWORD action, bool isFolder, DWORD filter)
{
    if (action == FILE_ACTION_MODIFIED)
        return (filter & (FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE)) != 0;
    return (filter & (isFolder ? FILE_NOTIFY_CHANGE_DIR_NAME : FILE_NOTIFY_CHANGE_FILE_NAME)) != 0;
}

/// Turns the inotify events waiting on the descriptor into changes.
void Collect(FolderWatch& watch, DWORD filter)
{
    alignas(inotify_event) char buffer[16384];
    for (;;)
    {
        const ssize_t n = read(watch.inotifyFd, buffer, sizeof buffer);
        if (n <= 0)
            return;
        for (ssize_t at = 0; at < n;)
        {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW)
            {
                watch.overflowed = true;
                continue;
            }
            const auto folder = watch.folders.find(event->wd);
            if (folder == watch.folders.end())
                continue;
            if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT))
            {
                if (folder->second.empty())
                    watch.rootGone = true;
                if (event->mask & IN_IGNORED)
                    watch.folders.erase(folder);
                continue;
            }
            if (event->len == 0)
                continue;
            const std::string name = Join(folder->second, event->name);
            const bool isFolder = (event->mask & IN_ISDIR) != 0;
            DWORD action = 0;
            if (event->mask & IN_CLOSE_WRITE)
                action = FILE_ACTION_MODIFIED;
            else if (event->mask & IN_CREATE)
                action = FILE_ACTION_ADDED;
            else if (event->mask & IN_DELETE)
                action = FILE_ACTION_REMOVED;
            else if (event->mask & IN_MOVED_FROM)
                action = FILE_ACTION_RENAMED_OLD_NAME;
            else if (event->mask & IN_MOVED_TO)
                action = FILE_ACTION_RENAMED_NEW_NAME;
            if (action == 0)
                continue;
            if (isFolder && watch.subtree &&
                (action == FILE_ACTION_ADDED || action == FILE_ACTION_RENAMED_NEW_NAME) &&
                !platform::shell::detail::IsHiddenName(event->name))
                WatchTree(watch, name);
            if (Wanted(action, isFolder, filter))
                watch.pending.push_back({action, name});
        }
    }
}

/// Writes the waiting changes that fit into `buffer`; the bytes written.
DWORD Hand(FolderWatch& watch, BYTE* buffer, DWORD length)
{
    DWORD used = 0;
    FILE_NOTIFY_INFORMATION* previous = nullptr;
    while (!watch.pending.empty())
    {
        const std::wstring name = platform::shell::detail::WideFromUtf8(watch.pending.front().name);
        const DWORD nameBytes = static_cast<DWORD>(name.size() * sizeof(WCHAR));
        DWORD size = static_cast<DWORD>(offsetof(FILE_NOTIFY_INFORMATION, FileName)) + nameBytes;
        size = (size + 7u) & ~7u;
        if (used + size > length)
            break;
        auto* record = reinterpret_cast<FILE_NOTIFY_INFORMATION*>(buffer + used);
        std::memset(record, 0, size);
        record->Action = watch.pending.front().action;
        record->FileNameLength = nameBytes;
        std::memcpy(record->FileName, name.data(), nameBytes);
        if (previous)
            previous->NextEntryOffset =
                static_cast<DWORD>(reinterpret_cast<BYTE*>(record) - reinterpret_cast<BYTE*>(previous));
        previous = record;
        used += size;
        watch.pending.pop_front();
    }
    return used;
}
} // namespace

BOOL ReadDirectoryChangesW(HANDLE folder, LPVOID buffer, DWORD length, BOOL subtree, DWORD filter,
                           DWORD* returned, LPOVERLAPPED overlapped, void* completion)
{
    FolderWatch* watch = Lookup(folder);
    if (!watch)
        return FALSE;
    if (overlapped || completion)
    {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (!buffer || !returned)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *returned = 0;
    std::lock_guard lock(watch->readLock);
    if (!watch->subtreeDecided)
    {
        watch->subtreeDecided = true;
        watch->subtree = subtree != FALSE;
        if (watch->subtree)
            WatchTree(*watch, "");
    }
    for (;;)
    {
        pollfd fds[2] = {{watch->cancelFd, POLLIN, 0}, {watch->inotifyFd, POLLIN, 0}};
        // Changes already collected go out at once; otherwise wait for the system or a cancel.
        const int ready = poll(fds, 2, watch->pending.empty() && !watch->overflowed ? -1 : 0);
        if (ready < 0 && errno != EINTR)
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (fds[0].revents & POLLIN)
        {
            // The counter stays set: every later read is cancelled too.
            SetLastError(ERROR_OPERATION_ABORTED);
            return FALSE;
        }
        if (fds[1].revents & POLLIN)
            Collect(*watch, filter);
        if (watch->overflowed)
        {
            watch->overflowed = false;
            watch->pending.clear();
            return TRUE;
        }
        if (!watch->pending.empty())
        {
            *returned = Hand(*watch, static_cast<BYTE*>(buffer), length);
            if (*returned == 0)
                watch->pending.clear(); // a record larger than the buffer: lost, as the caller is told
            return TRUE;
        }
        if (watch->rootGone)
        {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    }
}

BOOL CancelIoEx(HANDLE folder, LPOVERLAPPED)
{
    FolderWatch* watch = Lookup(folder);
    if (!watch)
        return FALSE;
    const uint64_t one = 1;
    return write(watch->cancelFd, &one, sizeof one) == sizeof one ? TRUE : FALSE;
}

namespace platform::shell
{
std::string NameOfChange(const FILE_NOTIFY_INFORMATION& record)
{
    return detail::Utf8FromWide(std::wstring_view(record.FileName, record.FileNameLength / sizeof(WCHAR)));
}

HANDLE OpenFolderForChanges(LPCSTR path)
{
    const std::string root = path ? detail::CleanAbsolutePath(path) : std::string();
    struct stat st
    {
    };
    if (root.empty() || stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    {
        SetLastError(root.empty() ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto watch = std::make_unique<FolderWatch>();
    watch->root = root;
    watch->inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    watch->cancelFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (watch->inotifyFd < 0 || watch->cancelFd < 0)
    {
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return INVALID_HANDLE_VALUE;
    }
    const int wd = inotify_add_watch(watch->inotifyFd, root.c_str(), kWatchMask & ~IN_DONT_FOLLOW);
    if (wd < 0)
    {
        SetLastError(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    watch->folders[wd] = "";
    std::lock_guard lock(g_liveLock);
    g_live.insert(watch.get());
    return watch.release();
}

BOOL CloseFolderForChanges(HANDLE folder)
{
    FolderWatch* watch = nullptr;
    {
        std::lock_guard lock(g_liveLock);
        watch = static_cast<FolderWatch*>(folder);
        if (!folder || folder == INVALID_HANDLE_VALUE || !g_live.erase(watch))
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
    }
    delete watch;
    return TRUE;
}
} // namespace platform::shell
