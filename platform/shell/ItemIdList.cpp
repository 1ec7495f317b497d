#include "platform/shell/ItemIdList.h"

#include "platform/com/Com.h"
#include "platform/shell/ShellInternal.h"

#include <cstring>
#include <limits>
#include <sys/stat.h>

namespace
{
constexpr std::size_t kHeader = sizeof(USHORT);

const SHITEMID* First(LPCITEMIDLIST list)
{
    return &list->mkid;
}

const SHITEMID* Next(const SHITEMID* id)
{
    return reinterpret_cast<const SHITEMID*>(reinterpret_cast<const BYTE*>(id) + id->cb);
}

std::size_t RecordsSize(LPCITEMIDLIST list)
{
    std::size_t size = 0;
    for (const SHITEMID* id = First(list); id->cb != 0; id = Next(id))
        size += id->cb;
    return size;
}

LPITEMIDLIST Allocate(std::size_t bytes)
{
    return static_cast<LPITEMIDLIST>(CoTaskMemAlloc(bytes));
}

bool SameRecord(const SHITEMID* a, const SHITEMID* b)
{
    return a->cb == b->cb && std::memcmp(a, b, a->cb) == 0;
}
} // namespace

UINT ILGetSize(LPCITEMIDLIST list)
{
    if (!list)
        return 0;
    return static_cast<UINT>(RecordsSize(list) + kHeader);
}

LPITEMIDLIST ILGetNext(LPCITEMIDLIST list)
{
    if (!list || list->mkid.cb == 0)
        return nullptr;
    const SHITEMID* next = Next(First(list));
    return next->cb == 0 ? nullptr : reinterpret_cast<LPITEMIDLIST>(const_cast<SHITEMID*>(next));
}

LPITEMIDLIST ILFindLastID(LPCITEMIDLIST list)
{
    if (!list)
        return nullptr;
    const SHITEMID* last = First(list);
    for (const SHITEMID* id = last; id->cb != 0; id = Next(id))
        last = id;
    return reinterpret_cast<LPITEMIDLIST>(const_cast<SHITEMID*>(last));
}

LPITEMIDLIST ILClone(LPCITEMIDLIST list)
{
    if (!list)
        return nullptr;
    const UINT size = ILGetSize(list);
    LPITEMIDLIST copy = Allocate(size);
    if (copy)
        std::memcpy(copy, list, size);
    return copy;
}

LPITEMIDLIST ILCloneFirst(LPCITEMIDLIST list)
{
    if (!list)
        return nullptr;
    const std::size_t first = list->mkid.cb;
    LPITEMIDLIST copy = Allocate(first + kHeader);
    if (!copy)
        return nullptr;
    std::memcpy(copy, list, first);
    std::memset(reinterpret_cast<BYTE*>(copy) + first, 0, kHeader);
    return copy;
}

LPITEMIDLIST ILCombine(LPCITEMIDLIST first, LPCITEMIDLIST second)
{
    if (!first)
        return ILClone(second);
    if (!second)
        return ILClone(first);
    const std::size_t a = RecordsSize(first);
    const std::size_t b = RecordsSize(second);
    if (a + b + kHeader > std::numeric_limits<UINT>::max())
        return nullptr;
    LPITEMIDLIST combined = Allocate(a + b + kHeader);
    if (!combined)
        return nullptr;
    auto* bytes = reinterpret_cast<BYTE*>(combined);
    std::memcpy(bytes, first, a);
    std::memcpy(bytes + a, second, b + kHeader);
    return combined;
}

void ILFree(LPITEMIDLIST list)
{
    CoTaskMemFree(list);
}

BOOL ILIsEqual(LPCITEMIDLIST first, LPCITEMIDLIST second)
{
    if (!first || !second)
        return FALSE;
    const SHITEMID* a = First(first);
    const SHITEMID* b = First(second);
    for (; a->cb != 0 && b->cb != 0; a = Next(a), b = Next(b))
        if (!SameRecord(a, b))
            return FALSE;
    return a->cb == 0 && b->cb == 0;
}

BOOL ILIsParent(LPCITEMIDLIST parent, LPCITEMIDLIST child, BOOL immediate)
{
    if (!parent || !child)
        return FALSE;
    const SHITEMID* a = First(parent);
    const SHITEMID* b = First(child);
    for (; a->cb != 0; a = Next(a), b = Next(b))
        if (b->cb == 0 || !SameRecord(a, b))
            return FALSE;
    if (b->cb == 0)
        return FALSE;
    return !immediate || Next(b)->cb == 0;
}

BOOL ILRemoveLastID(LPITEMIDLIST list)
{
    if (!list || list->mkid.cb == 0)
        return FALSE;
    ILFindLastID(list)->mkid.cb = 0;
    return TRUE;
}

LPITEMIDLIST ILCreateFromPathA(LPCSTR path)
{
    if (!path)
        return nullptr;
    const std::string clean = platform::shell::detail::CleanAbsolutePath(path);
    struct stat entry;
    if (clean.empty() || lstat(clean.c_str(), &entry) != 0)
        return nullptr;
    return platform::shell::detail::IDListFromPath(clean);
}

LPITEMIDLIST ILCreateFromPathW(LPCWSTR path)
{
    if (!path)
        return nullptr;
    return ILCreateFromPathA(platform::shell::detail::Utf8FromWide(path).c_str());
}

BOOL SHGetPathFromIDListA(LPCITEMIDLIST list, LPSTR path)
{
    if (!path)
        return FALSE;
    path[0] = '\0';
    const std::string full = platform::shell::PathFromIDList(list);
    if (full.empty() || full.size() >= MAX_PATH)
        return FALSE;
    std::memcpy(path, full.c_str(), full.size() + 1);
    return TRUE;
}

namespace platform::shell
{
std::string PathFromIDList(LPCITEMIDLIST list)
{
    if (!list)
        return {};
    if (list->mkid.cb == 0)
        return detail::DesktopFolderPath();
    std::string path;
    if (!detail::AppendIDListToPath({}, list, path))
        return {};
    return path;
}

LPITEMIDLIST MakeItemID(char kind, const std::string& text)
{
    if (text.empty() || text.find('\0') != std::string::npos)
        return nullptr;
    if (kind == 'N' && (text.find('/') != std::string::npos || text == "." || text == ".."))
        return nullptr;
    if (kind != 'N' && kind != 'R')
        return nullptr;
    const std::size_t cb = kHeader + 1 + text.size() + 1;
    if (cb > std::numeric_limits<USHORT>::max())
        return nullptr;
    LPITEMIDLIST list = Allocate(cb + kHeader);
    if (!list)
        return nullptr;
    list->mkid.cb = static_cast<USHORT>(cb);
    list->mkid.abID[0] = static_cast<BYTE>(kind);
    auto* bytes = reinterpret_cast<BYTE*>(list);
    std::memcpy(bytes + kHeader + 1, text.data(), text.size());
    bytes[kHeader + 1 + text.size()] = 0;
    std::memset(bytes + cb, 0, kHeader);
    return list;
}
} // namespace platform::shell

namespace platform::shell::detail
{
LPITEMIDLIST IDListFromPath(const std::string& clean)
{
    if (clean.empty() || clean.front() != '/')
        return nullptr;
    // The most specific desktop folder holding the path starts the chain, so that a path inside the
    // documents folder is reached through that folder rather than through the home folder.
    const auto roots = DesktopRoots();
    const DesktopRoot* best = nullptr;
    for (const auto& root : roots)
    {
        const bool holds = clean == root.path || root.path == "/" ||
                           (clean.starts_with(root.path) && clean[root.path.size()] == '/');
        if (holds && (!best || root.path.size() > best->path.size()))
            best = &root;
    }
    if (!best)
        return nullptr;
    LPITEMIDLIST list = MakeItemID('R', best->path);
    std::string_view rest = std::string_view(clean).substr(best->path == "/" ? 1 : best->path.size());
    while (list && !rest.empty())
    {
        if (rest.front() == '/')
            rest.remove_prefix(1);
        const auto slash = rest.find('/');
        LPITEMIDLIST id = MakeItemID('N', std::string(rest.substr(0, slash)));
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
        LPITEMIDLIST longer = id ? ILCombine(list, id) : nullptr;
        ILFree(id);
        ILFree(list);
        list = longer;
    }
    return list;
}
} // namespace platform::shell::detail
