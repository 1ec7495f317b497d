#pragma once

#include "brevicam/core/ResourceInstance.h"
#include "platform/window/WinApp.h"

#include <set>

/// The program's application object, theApp. It is built with the program's static objects: no language
/// library yet, no accelerator windows.
class CBrevicamApp : public CWinApp, public IResourceInstanceProvider
{
public:
    CBrevicamApp();

    /// The language resource library (m_hLangResourceDLL) when one was loaded, else the program's own
    /// instance handle.
    HINSTANCE GetResourceInstance() const override;

    /// The language resource library loaded at start-up; null until then, or when none was found.
    HINSTANCE m_hLangResourceDLL = nullptr;
    /// Windows whose accelerators the application translates.
    std::set<HWND> m_accelWindows;
};

extern CBrevicamApp theApp;
