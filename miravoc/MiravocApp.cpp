#include "MiravocApp.h"

#include "AudioDeviceEngine.h"
#include "PelmoraLibrary.h"

#include <atomic>
#include <cstdlib>

CAudioDeviceEngine* g_pAudioDeviceEngine = nullptr;

namespace
{
std::atomic<CMiravocApp*> g_deferredApp{nullptr};
std::atomic<void (*)()> g_end{nullptr};
} // namespace

void DeferInitInstance(CMiravocApp* app, void (*end)())
{
    g_end.store(app ? end : nullptr);
    g_deferredApp.store(app);
}

CAudioDeviceEngine* AudioDeviceEngine()
{
    if (CMiravocApp* app = g_deferredApp.exchange(nullptr))
    {
        app->InitInstance();
        // The window system's exit handlers, registered while the engine's window was made, free what that
        // window is built on. A program may end without closing the window layer (no application object of
        // ours, or an early return); an end registered now runs before those handlers, whereas the
        // library's static destructor would destroy the window after them.
        if (void (*end)() = g_end.exchange(nullptr))
            std::atexit(end);
    }
    return g_pAudioDeviceEngine;
}

BEGIN_MESSAGE_MAP(CMiravocApp, CWinApp)
END_MESSAGE_MAP()

CMiravocApp::CMiravocApp() = default;

CMiravocApp::~CMiravocApp() = default;

BOOL CMiravocApp::InitInstance()
{
    CWinApp::InitInstance();
    if (!g_pAudioDeviceEngine)
    {
        try
        {
            g_pAudioDeviceEngine = new CAudioDeviceEngine();
        }
        catch (...)
        {
            // Without the engine every export answers "no engine"; the calling program goes on.
            g_pAudioDeviceEngine = nullptr;
        }
    }
    return TRUE;
}

int CMiravocApp::ExitInstance()
{
    if (CAudioDeviceEngine* engine = g_pAudioDeviceEngine)
    {
        engine->Close();
        engine->Shutdown();
        g_pAudioDeviceEngine = nullptr;
        delete engine;
    }
    miravoc::pelmora::Release();
    return CWinApp::ExitInstance();
}
