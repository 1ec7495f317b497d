#include "Ostrago.h"

#include <QGuiApplication>
#include <QScreen>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace
{
std::atomic<int> g_profile{-1};
std::atomic<int> g_depth{-1}; // -1: not read yet, 0: the real one
std::once_flag g_environmentRead;

void ReadEnvironment()
{
    std::call_once(g_environmentRead,
                   []
                   {
                       platform::OsProfile profile = platform::OsProfile::Linux;
                       if (const char* text = std::getenv("BREVICAM_OS_PROFILE"))
                       {
                           if (std::strcmp(text, "vista") == 0)
                               profile = platform::OsProfile::Vista;
                           else if (std::strcmp(text, "win7") == 0)
                               profile = platform::OsProfile::Windows7;
                           else if (std::strcmp(text, "unsupported") == 0)
                               profile = platform::OsProfile::Unsupported;
                       }
                       int expected = -1;
                       g_profile.compare_exchange_strong(expected, static_cast<int>(profile));
                       int depth = 0;
                       if (const char* text = std::getenv("BREVICAM_DESKTOP_DEPTH"))
                           depth = std::atoi(text) > 0 ? std::atoi(text) : 0;
                       expected = -1;
                       g_depth.compare_exchange_strong(expected, depth);
                   });
}
} // namespace

namespace platform
{
OsProfile GetOsProfile()
{
    ReadEnvironment();
    return static_cast<OsProfile>(g_profile.load());
}

void SetOsProfile(OsProfile profile)
{
    ReadEnvironment();
    g_profile.store(static_cast<int>(profile));
}

void SetDesktopDepth(int bitsPerPixel)
{
    ReadEnvironment();
    g_depth.store(bitsPerPixel > 0 ? bitsPerPixel : 0);
}
} // namespace platform

int isOSVersionCorrect()
{
    return platform::GetOsProfile() != platform::OsProfile::Unsupported ? 1 : 0;
}

int isWindowsVista()
{
    return platform::GetOsProfile() == platform::OsProfile::Vista ? 1 : 0;
}

int isWindows7()
{
    return platform::GetOsProfile() == platform::OsProfile::Windows7 ? 1 : 0;
}

int IsDesktopIn16Bits()
{
    ReadEnvironment();
    int depth = g_depth.load();
    if (depth <= 0)
    {
        depth = 24;
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
            if (const QScreen* screen = QGuiApplication::primaryScreen())
                depth = screen->depth();
    }
    return depth >= 24 ? 1 : 0;
}
