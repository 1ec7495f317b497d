#include "BrevicamApp.h"

#include "platform/resources/Resources.h"

CBrevicamApp::CBrevicamApp() = default;

HINSTANCE CBrevicamApp::GetResourceInstance() const
{
    if (m_hLangResourceDLL)
        return m_hLangResourceDLL;
    return m_hInstance ? m_hInstance : AfxGetInstanceHandle();
}
