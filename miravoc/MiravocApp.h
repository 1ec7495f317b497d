#pragma once

#include "platform/win/WinTypes.h"

class CAudioDeviceEngine;

/// The library's one capture-device engine, which every export works on; null while the engine does not
/// exist (before InitInstance, after ExitInstance, or when it could not be built).
extern CAudioDeviceEngine* g_pAudioDeviceEngine;

/// The audio library's application object: builds the engine when the library is loaded and takes it
/// down when the library goes. Both run on the thread that loads and unloads the library, which then
/// serves the engine's hidden window.
class CMiravocApp
{
public:
    CMiravocApp();
    virtual ~CMiravocApp();
    CMiravocApp(const CMiravocApp&) = delete;
    CMiravocApp& operator=(const CMiravocApp&) = delete;

    /// Builds the engine unless one exists; TRUE whether or not it could be built.
    virtual BOOL InitInstance();
    /// Closes the device, shuts the engine down and destroys it.
    virtual int ExitInstance();
};
