#include "platform/win/CString.h"
#include "platform/window/WinUser.h"

#include <QString>

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace
{
struct Formats
{
    std::mutex lock;
    std::map<QString, UINT> byName;
    std::vector<std::string> names; // as first registered, by number - 0xC000
};

Formats& Registered()
{
    static Formats formats;
    return formats;
}
} // namespace

UINT RegisterClipboardFormatA(LPCSTR name)
{
    if (!name || !*name)
        return 0;
    Formats& f = Registered();
    std::lock_guard guard(f.lock);
    const QString key = QString::fromUtf8(name).toCaseFolded();
    auto [it, added] = f.byName.emplace(key, 0xC000u + UINT(f.names.size()));
    if (added)
        f.names.emplace_back(name);
    return it->second;
}

int GetClipboardFormatNameA(UINT format, LPSTR buffer, int size)
{
    Formats& f = Registered();
    std::lock_guard guard(f.lock);
    if (format < 0xC000u || format - 0xC000u >= f.names.size() || !buffer || size <= 0)
        return 0;
    return static_cast<int>(
        platform::CopyTruncated(buffer, static_cast<std::size_t>(size), f.names[format - 0xC000u]));
}
