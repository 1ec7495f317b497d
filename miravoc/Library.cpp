// The library's start and end: what the class library's start-up does for a library, done by the loader.

#include "MiravocApp.h"

CMiravocApp theApp;

namespace
{
// Built right after the application object when the library is loaded, on the loading thread, and gone
// before it when the library is unloaded or the program ends: the engine's threads are stopped and joined
// while the library's code is still there.
struct LibraryLifetime
{
    LibraryLifetime() { theApp.InitInstance(); }
    ~LibraryLifetime() { theApp.ExitInstance(); }
    LibraryLifetime(const LibraryLifetime&) = delete;
    LibraryLifetime& operator=(const LibraryLifetime&) = delete;
};

LibraryLifetime g_lifetime;
} // namespace
