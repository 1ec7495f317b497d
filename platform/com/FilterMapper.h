#pragma once

#include "platform/com/Unknown.h"

/// Registration of media filters: a filter is entered in a category under
/// HKEY_CLASSES_ROOT "CLSID\{category}\Instance\{instance}" with the values "FriendlyName" (text), "CLSID"
/// (text form of the class id) and "Merit" (number), and one sub-key "Pins\<n>" per pin with "Name",
/// "Output", "Rendered", "Zero", "Many", "ConnectsToFilter", "ConnectsToPin" and the pin's media types
/// under "Types\<n>" ("MajorType", "SubType"). The mapper object is a built-in class, made with
/// CoCreateInstance(CLSID_FilterMapper2, NULL, CLSCTX_INPROC_SERVER, IID_IFilterMapper2, ...).

// Merits: how eagerly a graph builder picks a filter when it looks for one by media type.
constexpr DWORD MERIT_PREFERRED = 0x800000;
constexpr DWORD MERIT_NORMAL = 0x600000;
constexpr DWORD MERIT_UNLIKELY = 0x400000;
constexpr DWORD MERIT_DO_NOT_USE = 0x200000;
constexpr DWORD MERIT_SW_COMPRESSOR = 0x100000;
constexpr DWORD MERIT_HW_COMPRESSOR = 0x100050;

DEFINE_GUID(CLSID_FilterMapper2, 0xCDA42200, 0xBD88, 0x11D0, 0xBD, 0x4E, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86);
DEFINE_GUID(IID_IFilterMapper2, 0xB79BB0B0, 0x33C1, 0x11D1, 0xAB, 0xE1, 0x00, 0xA0, 0xC9, 0x05, 0xF3, 0x75);
/// The default category of media filters.
DEFINE_GUID(CLSID_LegacyAmFilterCategory, 0x083863F1, 0x70DE, 0x11D0, 0xBD, 0x40, 0x00, 0xA0, 0xC9, 0x11,
            0xCE, 0x86);
DEFINE_GUID(CLSID_VideoCompressorCategory, 0x33D9A760, 0x90C8, 0x11D0, 0xBD, 0x43, 0x00, 0xA0, 0xC9, 0x11,
            0xCE, 0x86);
DEFINE_GUID(CLSID_AudioCompressorCategory, 0x33D9A761, 0x90C8, 0x11D0, 0xBD, 0x43, 0x00, 0xA0, 0xC9, 0x11,
            0xCE, 0x86);

/// One media type of a registered pin; a NULL pointer stands for any.
struct REGPINTYPES
{
    const CLSID* clsMajorType;
    const CLSID* clsMinorType;
};

/// One registered pin.
struct REGFILTERPINS
{
    const WCHAR* strName;
    BOOL bRendered;
    BOOL bOutput;
    BOOL bZero;
    BOOL bMany;
    const CLSID* clsConnectsToFilter;
    const WCHAR* strConnectsToPin;
    UINT nMediaTypes;
    const REGPINTYPES* lpMediaType;
};

/// A filter's registration data; only version 1 (pins as REGFILTERPINS) exists here.
struct REGFILTER2
{
    DWORD dwVersion;
    DWORD dwMerit;
    ULONG cPins;
    const REGFILTERPINS* rgPins;
};

/// Monikers are not kept; RegisterFilter hands none out.
struct IMoniker;

struct IFilterMapper2 : IUnknown
{
    /// Enters the filter in `category` (NULL: the default category) under `instance` (NULL: the text
    /// form of the class id), replacing an earlier entry of that name. `moniker`, when given, receives NULL.
    /// E_POINTER for a missing name or data, E_NOTIMPL for data of another version, else S_OK or the
    /// registry's error.
    STDMETHOD(RegisterFilter)
    (REFCLSID classId, LPCWSTR name, IMoniker** moniker, const CLSID* category, LPCWSTR instance,
     const REGFILTER2* data) PURE;
    /// Removes the entry; HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when there is none.
    STDMETHOD(UnregisterFilter)(const CLSID* category, LPCWSTR instance, REFCLSID classId) PURE;

protected:
    ~IFilterMapper2() = default;
};
