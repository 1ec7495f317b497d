#pragma once

#include "platform/window/WinApp.h"

class CAudioDeviceEngine;

/// The library's one capture-device engine, which every export works on; null while the engine does not
/// exist (before InitInstance, after ExitInstance, or when it could not be built).
extern CAudioDeviceEngine* g_pAudioDeviceEngine;

class CMiravocApp;

/// Leaves InitInstance of `app` to the first call of AudioDeviceEngine; null withdraws it. `end`, when
/// given, is registered as an exit handler (owned by this library, so it runs at unload too) once that
/// InitInstance has built the engine and its window; it must end the library and may run more than once.
void DeferInitInstance(CMiravocApp* app, void (*end)() = nullptr);
/// The engine, after running a deferred InitInstance once on the calling thread; null when there is none.
CAudioDeviceEngine* AudioDeviceEngine();

/// The audio library's application object: builds the engine (InitInstance, run by the first call that
/// needs the engine, on the user-interface thread, which then serves the engine's hidden window) and takes
/// it down when the library is unloaded or the program ends (ExitInstance). The calling program's own
/// application object stays the one AfxGetApp returns, as it is made after the library's.
class CMiravocApp : public CWinApp
{
public:
    CMiravocApp();
    ~CMiravocApp() override;
    CMiravocApp(const CMiravocApp&) = delete;
    CMiravocApp& operator=(const CMiravocApp&) = delete;

    /// Builds the engine unless one exists; TRUE whether or not it could be built.
    BOOL InitInstance() override;
    /// Closes the device, shuts the engine down and destroys it.
    int ExitInstance() override;

    DECLARE_MESSAGE_MAP()
};
