// The library's application object and its lifetime: added to the window layer's module applications when
// the library is loaded, so that it ends from the program's orderly shutdown; it starts with the first
// export called, on the user-interface thread, once the program has set up its settings and windows.

#include "corrowin/CorrowinApp.h"

namespace
{
CCorrowinApp theApp;

struct LibraryLifetime
{
    LibraryLifetime() { platform::window::AddModuleApp(&theApp); }
    ~LibraryLifetime() { platform::window::RemoveModuleApp(&theApp); }
    LibraryLifetime(const LibraryLifetime&) = delete;
    LibraryLifetime& operator=(const LibraryLifetime&) = delete;
};

LibraryLifetime g_lifetime;
} // namespace

CCorrowinApp& CorrowinApp()
{
    return theApp;
}
