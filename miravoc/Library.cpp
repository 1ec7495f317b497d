// The library's start and end: what the class library's start-up does for a library, done by the loader.

#include "MiravocApp.h"

#include <atomic>

CMiravocApp theApp;

namespace
{
// Once the engine exists, the library also ends from an exit handler that runs before the window system's
// own (see AudioDeviceEngine); whichever of the two comes first ends it, the other finds nothing to do.
void EndLibrary()
{
    static std::atomic<bool> ended{false};
    if (ended.exchange(true))
        return;
    DeferInitInstance(nullptr);
    theApp.ExitInstance();
}

// Made right after the application object when the library is loaded, and gone before it when the
// library is unloaded or the program ends, so that the engine's threads are stopped and joined while the
// library's code is still there.
//
// The engine itself is built by the first call that needs it, on the calling thread (the user-interface
// thread, where the exports are called): a program linking the library is loaded before its main runs,
// and building the hidden window then would make the window system's application before the program
// chose how to show its windows, and abort where there is no display at all.
struct LibraryLifetime
{
    LibraryLifetime() { DeferInitInstance(&theApp, &EndLibrary); }
    ~LibraryLifetime() { EndLibrary(); }
    LibraryLifetime(const LibraryLifetime&) = delete;
    LibraryLifetime& operator=(const LibraryLifetime&) = delete;
};

LibraryLifetime g_lifetime;
} // namespace
