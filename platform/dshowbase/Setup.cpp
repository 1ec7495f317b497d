#include "Setup.h"

#include "platform/com/Com.h"
#include "platform/com/ComPtr.h"
#include "platform/win/CString.h"
#include "platform/win/LastError.h"

namespace platform::dshow
{
namespace
{
HRESULT RegisterFilterData(IFilterMapper2* mapper, const CFactoryTemplate& entry, BOOL registering)
{
    const AMOVIESETUP_FILTER* setup = entry.m_pAMovieSetup_Filter;
    HRESULT hr = mapper->UnregisterFilter(&CLSID_LegacyAmFilterCategory, nullptr, *entry.m_ClsID);
    if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
        hr = S_OK;
    if (FAILED(hr) || !registering)
        return hr;
    const REGFILTER2 data{1, setup->dwMerit, setup->nPins, setup->lpPin};
    return mapper->RegisterFilter(*entry.m_ClsID, entry.m_Name, nullptr, &CLSID_LegacyAmFilterCategory,
                                  nullptr, &data);
}
} // namespace

HRESULT RegisterTemplates(const CFactoryTemplate* templates, int count, const std::string& modulePath,
                          BOOL registering)
{
    if (!templates && count > 0)
        return E_POINTER;
    if (registering)
    {
        for (int i = 0; i < count; ++i)
        {
            const HRESULT hr = platform::com::RegisterInprocServer(
                *templates[i].m_ClsID, platform::WideToUtf8(templates[i].m_Name ? templates[i].m_Name : L""),
                modulePath, "Both");
            if (FAILED(hr))
                return hr;
        }
    }
    platform::com::ComPtr<IFilterMapper2> mapper;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                  mapper.PutVoid());
    if (FAILED(hr))
        return hr;
    for (int i = 0; i < count; ++i)
    {
        if (!templates[i].m_pAMovieSetup_Filter)
            continue;
        hr = RegisterFilterData(mapper.Get(), templates[i], registering);
        if (FAILED(hr))
            return hr;
    }
    if (!registering)
    {
        for (int i = 0; i < count; ++i)
        {
            hr = platform::com::UnregisterInprocServer(*templates[i].m_ClsID);
            if (FAILED(hr))
                return hr;
        }
    }
    return S_OK;
}
} // namespace platform::dshow
