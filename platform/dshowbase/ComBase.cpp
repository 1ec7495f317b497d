#include "ComBase.h"

#include <new>

namespace
{
platform::dshow::ModuleState& LibraryModule()
{
    static platform::dshow::ModuleState state;
    return state;
}

thread_local platform::dshow::ModuleState* t_currentModule = nullptr;
} // namespace

namespace platform::dshow
{
ModuleScope::ModuleScope(ModuleState* module) : m_previous(t_currentModule)
{
    t_currentModule = module;
}

ModuleScope::~ModuleScope()
{
    t_currentModule = m_previous;
}
} // namespace platform::dshow

CBaseObject::CBaseObject(LPCSTR) : m_module(t_currentModule ? t_currentModule : &LibraryModule())
{
    ++m_module->objects;
}

CBaseObject::CBaseObject(LPCSTR, platform::dshow::ModuleState* module) : m_module(module)
{
    ++m_module->objects;
}

CBaseObject::~CBaseObject()
{
    --m_module->objects;
}

LONG CBaseObject::ObjectsActive()
{
    return LibraryModule().objects;
}

CUnknown::CUnknown(LPCSTR name, LPUNKNOWN outer) : CBaseObject(name), m_owner(outer ? outer : &m_inner) {}

CUnknown::CUnknown(LPCSTR name, LPUNKNOWN outer, HRESULT*) : CUnknown(name, outer) {}

STDMETHODIMP CUnknown::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown)
        return GetInterface(&m_inner, object);
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CUnknown::NonDelegatingAddRef()
{
    return static_cast<ULONG>(++m_cRef);
}

STDMETHODIMP_(ULONG) CUnknown::NonDelegatingRelease()
{
    const LONG left = --m_cRef;
    if (left == 0)
    {
        // A destructor that hands out and drops a reference must not delete the object a second time.
        m_cRef = 1;
        delete this;
        return 0;
    }
    return static_cast<ULONG>(left);
}

HRESULT GetInterface(LPUNKNOWN unknown, void** object)
{
    if (!object)
        return E_POINTER;
    *object = unknown;
    unknown->AddRef();
    return S_OK;
}

CClassFactory::CClassFactory(const CFactoryTemplate* factoryTemplate, platform::dshow::ModuleState* module)
    : CBaseObject("Class factory", module), m_template(factoryTemplate), m_module(module)
{
}

STDMETHODIMP CClassFactory::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory)
        return GetInterface(static_cast<IClassFactory*>(this), object);
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CClassFactory::AddRef()
{
    return static_cast<ULONG>(++m_cRef);
}

STDMETHODIMP_(ULONG) CClassFactory::Release()
{
    const LONG left = --m_cRef;
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP CClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (outer && iid != IID_IUnknown)
        return E_NOINTERFACE;
    HRESULT hr = S_OK;
    CUnknown* created = nullptr;
    try
    {
        platform::dshow::ModuleScope scope(m_module);
        created = m_template->CreateInstance(outer, &hr);
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    catch (...)
    {
        return E_UNEXPECTED;
    }
    if (!created)
        return FAILED(hr) ? hr : E_OUTOFMEMORY;
    if (FAILED(hr))
    {
        delete created;
        return hr;
    }
    created->NonDelegatingAddRef();
    hr = created->NonDelegatingQueryInterface(iid, object);
    created->NonDelegatingRelease();
    return hr;
}

STDMETHODIMP CClassFactory::LockServer(BOOL lock)
{
    if (lock)
        ++m_module->locks;
    else
        --m_module->locks;
    return S_OK;
}
