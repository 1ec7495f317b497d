// The exports of a filter plug-in over its g_Templates table. Compiled into every plug-in, so that each
// counts its own objects and names its own path when it registers.
#include "platform/com/Com.h"
#include "platform/com/ComPtr.h"
#include "platform/dshowbase/Setup.h"

#include <new>

namespace
{
platform::dshow::ModuleState g_module;

/// Runs the templates' load routines when the plug-in is loaded and again when it goes.
struct TemplateInit
{
    TemplateInit()
    {
        for (int i = 0; i < g_cTemplates; ++i)
            if (g_Templates[i].m_lpfnInit)
                g_Templates[i].m_lpfnInit(TRUE, g_Templates[i].m_ClsID);
    }
    ~TemplateInit()
    {
        for (int i = 0; i < g_cTemplates; ++i)
            if (g_Templates[i].m_lpfnInit)
                g_Templates[i].m_lpfnInit(FALSE, g_Templates[i].m_ClsID);
    }
    TemplateInit(const TemplateInit&) = delete;
    TemplateInit& operator=(const TemplateInit&) = delete;
};
const TemplateInit g_templateInit;
} // namespace

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IClassFactory)
        return E_NOINTERFACE;
    for (int i = 0; i < g_cTemplates; ++i)
    {
        if (!g_Templates[i].IsClassID(classId))
            continue;
        auto* factory = new (std::nothrow) CClassFactory(&g_Templates[i], &g_module);
        if (!factory)
            return E_OUTOFMEMORY;
        factory->AddRef();
        *object = static_cast<IClassFactory*>(factory);
        return S_OK;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow()
{
    return g_module.objects == 0 && g_module.locks == 0 ? S_OK : S_FALSE;
}

HRESULT AMovieDllRegisterServer2(BOOL registering)
{
    return platform::dshow::RegisterTemplates(
        g_Templates, g_cTemplates, platform::com::ModulePathOf(static_cast<const void*>(g_Templates)),
        registering);
}

HRESULT AMovieRegisterInCategory(BOOL registering, REFCLSID filter, const WCHAR* name, REFCLSID category,
                                 DWORD merit, UINT pinCount, const AMOVIESETUP_PIN* pins)
{
    HRESULT hr = AMovieDllRegisterServer2(registering);
    if (FAILED(hr))
        return hr;
    platform::com::ComPtr<IFilterMapper2> mapper;
    hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                          mapper.PutVoid());
    if (FAILED(hr))
        return hr;
    if (!registering)
        return mapper->UnregisterFilter(&category, name, filter);
    const REGFILTER2 data{1, merit, pinCount, pins};
    return mapper->RegisterFilter(filter, name, nullptr, &category, name, &data);
}
