#include "BrevicamApp.h"

#include "platform/resources/Resources.h"

CBrevicamApp::CBrevicamApp() = default;

HINSTANCE CBrevicamApp::GetResourceInstance() const
{
    if (m_hLangResourceDLL)
        return m_hLangResourceDLL;
    return m_hInstance ? m_hInstance : AfxGetInstanceHandle();
}
// Built with the program's static objects. It reads nothing of the others while it is built, so the order
// against the settings store and the start-up objects of core does not matter; its InitInstance, which uses
// them, runs after all of them exist.
CBrevicamApp theApp;
