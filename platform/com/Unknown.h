#pragma once

#include "platform/com/Guid.h"
#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

/// The object model of in-process components: reference-counted interfaces found through QueryInterface,
/// and class factories that make objects of a class. Interfaces are abstract classes whose destructor is
/// protected: an object goes away only through its last Release.

#define STDMETHODCALLTYPE
#define STDMETHOD(method) virtual HRESULT method
#define STDMETHOD_(type, method) virtual type method
#define STDMETHODIMP HRESULT
#define STDMETHODIMP_(type) type
#define PURE = 0
/// An exported plain function of a plug-in, found by name.
#define STDAPI extern "C" PLATFORM_API HRESULT

// Result codes of the object model, with the values Windows gives them.
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT SELFREG_E_CLASS = static_cast<HRESULT>(0x80040201u);
constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9u);

DEFINE_GUID(IID_IUnknown, 0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IClassFactory, 0x00000001, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IPersist, 0x0000010C, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);

struct IUnknown
{
    /// S_OK with an added reference in *object, or E_NOINTERFACE with *object NULL; E_POINTER for NULL.
    STDMETHOD(QueryInterface)(REFIID iid, void** object) PURE;
    STDMETHOD_(ULONG, AddRef)() PURE;
    /// Drops a reference; the object destroys itself with the last one. Returns the count left.
    STDMETHOD_(ULONG, Release)() PURE;

protected:
    ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

struct IClassFactory : IUnknown
{
    /// Makes an object of the factory's class and asks it for `iid`. An outer object is refused unless the
    /// class can be aggregated, in which case `iid` must be IID_IUnknown.
    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** object) PURE;
    /// Keeps the plug-in loaded while locked (counted).
    STDMETHOD(LockServer)(BOOL lock) PURE;

protected:
    ~IClassFactory() = default;
};

struct IPersist : IUnknown
{
    STDMETHOD(GetClassID)(CLSID* classId) PURE;

protected:
    ~IPersist() = default;
};
