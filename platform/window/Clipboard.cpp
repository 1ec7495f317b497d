#include "platform/window/WinUser.h"

#include <QString>

#include <map>
#include <mutex>

UINT RegisterClipboardFormatA(LPCSTR name)
{
    if (!name || !*name)
        return 0;
    static std::mutex lock;
    static std::map<QString, UINT> formats;
    std::lock_guard guard(lock);
    const QString key = QString::fromUtf8(name).toCaseFolded();
    auto [it, added] = formats.emplace(key, 0xC000u + UINT(formats.size()));
    return it->second;
}
