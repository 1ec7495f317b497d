#pragma once

#include "platform/com/Unknown.h"
#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

/// The automation types that device property bags and encoder settings travel in: counted wide strings
/// (BSTR) and tagged values (VARIANT), with the functions that make, convert and free them.

using OLECHAR = WCHAR;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
/// A wide string from SysAllocString; its length in bytes is stored just before the first character.
using BSTR = OLECHAR*;
using VARTYPE = unsigned short;
using VARIANT_BOOL = short;
using SHORT = short;
using USHORT = unsigned short;
using FLOAT = float;
using DOUBLE = double;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

enum VARENUM : VARTYPE
{
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23
};

constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);
constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);

struct VARIANT
{
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union
    {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        HRESULT scode;
        BSTR bstrVal;
        IUnknown* punkVal;
        char cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
    };
};
using VARIANTARG = VARIANT;

#define V_VT(v) ((v)->vt)
#define V_BSTR(v) ((v)->bstrVal)
#define V_I4(v) ((v)->lVal)
#define V_BOOL(v) ((v)->boolVal)
#define V_UNKNOWN(v) ((v)->punkVal)

PLATFORM_API BSTR SysAllocString(const OLECHAR* text);
/// `length` characters of `text` (or uninitialised when `text` is NULL) and a terminator.
PLATFORM_API BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
PLATFORM_API void SysFreeString(BSTR text);
/// Characters, not counting the terminator; 0 for NULL.
PLATFORM_API UINT SysStringLen(BSTR text);

PLATFORM_API void VariantInit(VARIANT* value);
/// Frees what the value owns (its string, its interface reference) and makes it VT_EMPTY.
PLATFORM_API HRESULT VariantClear(VARIANT* value);
PLATFORM_API HRESULT VariantCopy(VARIANT* target, const VARIANT* source);
/// Converts between the numbers, VT_BOOL and VT_BSTR (decimal text; "True"/"False" for booleans).
/// DISP_E_TYPEMISMATCH for text that is no number, DISP_E_OVERFLOW for a number out of range.
PLATFORM_API HRESULT VariantChangeType(VARIANT* target, const VARIANT* source, USHORT flags, VARTYPE type);

/// Puts an object in its running state; our objects are always running, so this only checks the pointer.
PLATFORM_API HRESULT OleRun(IUnknown* object);

struct IErrorLog;

DEFINE_GUID(IID_IPropertyBag, 0x55272A00, 0x42CB, 0x11CE, 0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51);

/// Named values of an object (a device's "FriendlyName" and "DevicePath", an encoder's settings).
struct IPropertyBag : IUnknown
{
    /// Reads `name` into `value` (VT_EMPTY in: the stored type; another type: converted to it).
    /// E_INVALIDARG for an unknown name.
    STDMETHOD(Read)(LPCOLESTR name, VARIANT* value, IErrorLog* log) PURE;
    STDMETHOD(Write)(LPCOLESTR name, VARIANT* value) PURE;

protected:
    ~IPropertyBag() = default;
};
