#include "MiravocApp.h"

#include "AudioDeviceEngine.h"
#include "PelmoraLibrary.h"

#include <atomic>

CAudioDeviceEngine* g_pAudioDeviceEngine = nullptr;

namespace
{
std::atomic<CMiravocApp*> g_deferredApp{nullptr};
} // namespace

void DeferInitInstance(CMiravocApp* app)
{
    g_deferredApp.store(app);
}

CAudioDeviceEngine* AudioDeviceEngine()
{
    if (CMiravocApp* app = g_deferredApp.exchange(nullptr))
        app->InitInstance();
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
