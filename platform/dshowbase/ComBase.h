#pragma once

#include "platform/com/Unknown.h"
#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

#include <atomic>
#include <mutex>

/// The object base of media filters: non-delegating reference counting (so that an object can be
/// aggregated), class factories over a table of templates, and the counting of live objects per
/// plug-in that DllCanUnloadNow reports.

struct AMOVIESETUP_FILTER;

/// The IUnknown of an object itself, as opposed to the one of the object that aggregates it.
struct INonDelegatingUnknown
{
    STDMETHOD(NonDelegatingQueryInterface)(REFIID iid, void** object) PURE;
    STDMETHOD_(ULONG, NonDelegatingAddRef)() PURE;
    STDMETHOD_(ULONG, NonDelegatingRelease)() PURE;

protected:
    ~INonDelegatingUnknown() = default;
};

namespace platform::dshow
{
/// The live objects and server locks of one plug-in.
struct ModuleState
{
    std::atomic<LONG> objects{0};
    std::atomic<LONG> locks{0};
};

/// While one exists on a thread, objects constructed on that thread count for `module` (class factories
/// set it around the creation of an object, so that a filter and its pins count for their plug-in).
/// Objects made outside any scope count for the platform library itself.
class PLATFORM_API ModuleScope
{
public:
    explicit ModuleScope(ModuleState* module);
    ~ModuleScope();
    ModuleScope(const ModuleScope&) = delete;
    ModuleScope& operator=(const ModuleScope&) = delete;

private:
    ModuleState* m_previous;
};
} // namespace platform::dshow

/// Counts itself in the module it was made for while it exists.
class PLATFORM_API CBaseObject
{
public:
    explicit CBaseObject(LPCSTR name);
    virtual ~CBaseObject();
    CBaseObject(const CBaseObject&) = delete;
    CBaseObject& operator=(const CBaseObject&) = delete;

    /// Live objects counted for the platform library itself.
    static LONG ObjectsActive();

protected:
    /// Counts for `module` whatever scope is current.
    CBaseObject(LPCSTR name, platform::dshow::ModuleState* module);

private:
    platform::dshow::ModuleState* m_module;
};

/// Reference counting and QueryInterface of an object that may be aggregated: GetOwner() is the outer
/// object's IUnknown when there is one, else the object's own. New objects start with no reference.
class PLATFORM_API CUnknown : public INonDelegatingUnknown, public CBaseObject
{
public:
    CUnknown(LPCSTR name, LPUNKNOWN outer);
    CUnknown(LPCSTR name, LPUNKNOWN outer, HRESULT* result);
    ~CUnknown() override = default;

    /// Answers IID_IUnknown with the object's own IUnknown; E_NOINTERFACE otherwise.
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) NonDelegatingAddRef() override;
    /// Deletes the object with its last reference.
    STDMETHODIMP_(ULONG) NonDelegatingRelease() override;

    LPUNKNOWN GetOwner() const { return m_owner; }

protected:
    std::atomic<LONG> m_cRef{0};

private:
    /// The object's own IUnknown, forwarding to the non-delegating methods.
    struct Inner final : IUnknown
    {
        explicit Inner(CUnknown* self) : m_self(self) {}
        STDMETHODIMP QueryInterface(REFIID iid, void** object) override
        {
            return m_self->NonDelegatingQueryInterface(iid, object);
        }
        STDMETHODIMP_(ULONG) AddRef() override { return m_self->NonDelegatingAddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return m_self->NonDelegatingRelease(); }
        CUnknown* m_self;
    };
    Inner m_inner{this};
    LPUNKNOWN m_owner;
};

/// Hands out `unknown` (an interface pointer of the object) with a new reference.
PLATFORM_API HRESULT GetInterface(LPUNKNOWN unknown, void** object);

/// The IUnknown methods of a class derived from CUnknown that also implements interfaces: they go to
/// the owner, so that an aggregated object answers for its outer object.
#define DECLARE_IUNKNOWN                                                                                     \
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override                                          \
    {                                                                                                        \
        return GetOwner()->QueryInterface(iid, object);                                                      \
    }                                                                                                        \
    STDMETHODIMP_(ULONG) AddRef() override                                                                   \
    {                                                                                                        \
        return GetOwner()->AddRef();                                                                         \
    }                                                                                                        \
    STDMETHODIMP_(ULONG) Release() override                                                                  \
    {                                                                                                        \
        return GetOwner()->Release();                                                                        \
    }

/// A re-entrant lock.
class CCritSec
{
public:
    CCritSec() = default;
    CCritSec(const CCritSec&) = delete;
    CCritSec& operator=(const CCritSec&) = delete;
    void Lock() { m_mutex.lock(); }
    void Unlock() { m_mutex.unlock(); }

private:
    std::recursive_mutex m_mutex;
};

/// Holds a CCritSec for a scope.
class CAutoLock
{
public:
    explicit CAutoLock(CCritSec* lock) : m_lock(lock) { m_lock->Lock(); }
    ~CAutoLock() { m_lock->Unlock(); }
    CAutoLock(const CAutoLock&) = delete;
    CAutoLock& operator=(const CAutoLock&) = delete;

private:
    CCritSec* m_lock;
};

/// Makes an object of a class: a new object without references, or NULL; failures go to *result.
using LPFNNewCOMObject = CUnknown* (*)(LPUNKNOWN outer, HRESULT* result);
/// Called with TRUE when the plug-in is loaded and FALSE when it goes.
using LPFNInitRoutine = void (*)(BOOL loading, const CLSID* classId);

/// One class a plug-in serves: its name, class id, creation routine, load routine and filter data.
struct CFactoryTemplate
{
    const WCHAR* m_Name;
    const CLSID* m_ClsID;
    LPFNNewCOMObject m_lpfnNew;
    LPFNInitRoutine m_lpfnInit;
    const AMOVIESETUP_FILTER* m_pAMovieSetup_Filter;

    BOOL IsClassID(REFCLSID classId) const { return IsEqualCLSID(*m_ClsID, classId); }
    CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* result) const { return m_lpfnNew(outer, result); }
};

/// The class factory of one template; objects it makes (and the factory itself) count for `module`.
class PLATFORM_API CClassFactory final : public IClassFactory, public CBaseObject
{
public:
    CClassFactory(const CFactoryTemplate* factoryTemplate, platform::dshow::ModuleState* module);
    ~CClassFactory() override = default;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    /// An outer object requires IID_IUnknown (else E_NOINTERFACE). A routine that returns no object
    /// reports its failure, or E_OUTOFMEMORY when it gave none; no exception leaves this method.
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    std::atomic<LONG> m_cRef{0};
    const CFactoryTemplate* m_template;
    platform::dshow::ModuleState* m_module;
};
