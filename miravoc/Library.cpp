// The library's start and end: what the class library's start-up does for a library, done by the loader.

#include "MiravocApp.h"

CMiravocApp theApp;

namespace
{
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
    LibraryLifetime() { DeferInitInstance(&theApp); }
    ~LibraryLifetime()
    {
        DeferInitInstance(nullptr);
        theApp.ExitInstance();
    }
    LibraryLifetime(const LibraryLifetime&) = delete;
    LibraryLifetime& operator=(const LibraryLifetime&) = delete;
};

LibraryLifetime g_lifetime;
} // namespace
