#pragma once

#include "platform/com/FilterMapper.h"
#include "platform/dshowbase/ComBase.h"
#include "platform/win/Export.h"

#include <string>

/// The registration data of a filter, as its factory template carries it.
using AMOVIESETUP_MEDIATYPE = REGPINTYPES;
using AMOVIESETUP_PIN = REGFILTERPINS;

struct AMOVIESETUP_FILTER
{
    const CLSID* clsID;
    const WCHAR* strName;
    DWORD dwMerit;
    UINT nPins;
    const AMOVIESETUP_PIN* lpPin;
};
using LPAMOVIESETUP_FILTER = AMOVIESETUP_FILTER*;

/// Each plug-in defines its table of classes under these names; the plug-in's exports
/// (DllGetClassObject, DllCanUnloadNow) and AMovieDllRegisterServer2 serve them.
extern CFactoryTemplate g_Templates[];
extern int g_cTemplates;

/// Registers (TRUE) every class of the plug-in's table: the server entries with the plug-in's path and
/// ThreadingModel "Both", then the filter data in the default filter category (an earlier entry of the
/// class there is removed first). Unregistering (FALSE) removes the filters from the default category,
/// then the server entries. Returns the first failure.
HRESULT AMovieDllRegisterServer2(BOOL registering);

/// AMovieDllRegisterServer2, then one filter of the table entered in (TRUE) or removed from (FALSE) a further
/// category, such as a compressor category, with the given merit and pins. Returns the first failure.
HRESULT AMovieRegisterInCategory(BOOL registering, REFCLSID filter, const WCHAR* name, REFCLSID category,
                                 DWORD merit, UINT pinCount, const AMOVIESETUP_PIN* pins);

namespace platform::dshow
{
/// The work of AMovieDllRegisterServer2 over an explicit table and module path.
PLATFORM_API HRESULT RegisterTemplates(const CFactoryTemplate* templates, int count,
                                       const std::string& modulePath, BOOL registering);
} // namespace platform::dshow
