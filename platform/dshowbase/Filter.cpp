#include "Filter.h"

#include "platform/com/Com.h"
#include "platform/win/CString.h"

#include <algorithm>
#include <cwchar>
#include <new>

CBaseFilter::CBaseFilter(LPCSTR name, LPUNKNOWN outer, CCritSec* lock, REFCLSID classId)
    : CUnknown(name, outer), m_clsid(classId), m_pLock(lock)
{
}

CBaseFilter::CBaseFilter(LPCSTR name, LPUNKNOWN outer, CCritSec* lock, REFCLSID classId, HRESULT*)
    : CBaseFilter(name, outer, lock, classId)
{
}

CBaseFilter::~CBaseFilter()
{
    if (m_pClock)
        m_pClock->Release();
}

STDMETHODIMP CBaseFilter::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (iid == IID_IBaseFilter)
        return GetInterface(static_cast<IBaseFilter*>(this), object);
    if (iid == IID_IMediaFilter)
        return GetInterface(static_cast<IMediaFilter*>(this), object);
    if (iid == IID_IPersist)
        return GetInterface(static_cast<IPersist*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

STDMETHODIMP CBaseFilter::GetClassID(CLSID* classId)
{
    if (!classId)
        return E_POINTER;
    *classId = m_clsid;
    return S_OK;
}

STDMETHODIMP CBaseFilter::Stop()
{
    CAutoLock lock(m_pLock);
    HRESULT result = S_OK;
    if (m_State != State_Stopped)
    {
        for (int i = 0; i < GetPinCount(); ++i)
        {
            CBasePin* pin = GetPin(i);
            if (pin && pin->IsConnected())
            {
                const HRESULT hr = pin->Inactive();
                if (FAILED(hr) && SUCCEEDED(result))
                    result = hr;
            }
        }
    }
    m_State = State_Stopped;
    return result;
}

STDMETHODIMP CBaseFilter::Pause()
{
    CAutoLock lock(m_pLock);
    if (m_State == State_Stopped)
    {
        for (int i = 0; i < GetPinCount(); ++i)
        {
            CBasePin* pin = GetPin(i);
            if (pin && pin->IsConnected())
            {
                const HRESULT hr = pin->Active();
                if (FAILED(hr))
                    return hr;
            }
        }
    }
    m_State = State_Paused;
    return S_OK;
}

STDMETHODIMP CBaseFilter::Run(REFERENCE_TIME start)
{
    CAutoLock lock(m_pLock);
    m_tStart = start;
    if (m_State == State_Stopped)
    {
        const HRESULT hr = Pause();
        if (FAILED(hr))
            return hr;
    }
    if (m_State == State_Paused)
    {
        for (int i = 0; i < GetPinCount(); ++i)
        {
            CBasePin* pin = GetPin(i);
            if (pin && pin->IsConnected())
            {
                const HRESULT hr = pin->Run(start);
                if (FAILED(hr))
                    return hr;
            }
        }
    }
    m_State = State_Running;
    return S_OK;
}

STDMETHODIMP CBaseFilter::GetState(DWORD, FILTER_STATE* state)
{
    if (!state)
        return E_POINTER;
    *state = m_State;
    return S_OK;
}

STDMETHODIMP CBaseFilter::SetSyncSource(IReferenceClock* clock)
{
    CAutoLock lock(m_pLock);
    if (clock)
        clock->AddRef();
    if (m_pClock)
        m_pClock->Release();
    m_pClock = clock;
    return S_OK;
}

STDMETHODIMP CBaseFilter::GetSyncSource(IReferenceClock** clock)
{
    if (!clock)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    *clock = m_pClock;
    if (m_pClock)
        m_pClock->AddRef();
    return S_OK;
}

HRESULT CBaseFilter::StreamTime(REFERENCE_TIME& streamTime)
{
    CAutoLock lock(m_pLock);
    if (!m_pClock)
        return VFW_E_NO_CLOCK;
    REFERENCE_TIME now = 0;
    const HRESULT hr = m_pClock->GetTime(&now);
    if (FAILED(hr))
        return hr;
    streamTime = now - m_tStart;
    return S_OK;
}

BOOL CBaseFilter::IsActive()
{
    CAutoLock lock(m_pLock);
    return m_State != State_Stopped;
}

BOOL CBaseFilter::IsStopped()
{
    return m_State == State_Stopped;
}

STDMETHODIMP CBaseFilter::EnumPins(IEnumPins** pins)
{
    if (!pins)
        return E_POINTER;
    auto* enumerator = new (std::nothrow) CEnumPins(this, nullptr);
    if (!enumerator)
    {
        *pins = nullptr;
        return E_OUTOFMEMORY;
    }
    return GetInterface(enumerator, reinterpret_cast<void**>(pins));
}

STDMETHODIMP CBaseFilter::FindPin(LPCWSTR id, IPin** pin)
{
    if (!id || !pin)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    for (int i = 0; i < GetPinCount(); ++i)
    {
        CBasePin* candidate = GetPin(i);
        if (candidate && std::wcscmp(candidate->Name(), id) == 0)
            return GetInterface(static_cast<IPin*>(candidate), reinterpret_cast<void**>(pin));
    }
    *pin = nullptr;
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP CBaseFilter::QueryFilterInfo(FILTER_INFO* info)
{
    if (!info)
        return E_POINTER;
    const std::size_t length = std::min<std::size_t>(m_pName.size(), 127);
    std::wmemcpy(info->achName, m_pName.c_str(), length);
    info->achName[length] = L'\0';
    info->pGraph = m_pGraph;
    if (m_pGraph)
        m_pGraph->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name)
{
    CAutoLock lock(m_pLock);
    m_pGraph = graph;
    m_pName = graph && name ? name : L"";
    return S_OK;
}

STDMETHODIMP CBaseFilter::QueryVendorInfo(LPWSTR*)
{
    return E_NOTIMPL;
}

const AMOVIESETUP_FILTER* CBaseFilter::GetSetupData()
{
    return nullptr;
}

CEnumPins::CEnumPins(CBaseFilter* filter, const CEnumPins* copy)
    : m_position(copy ? copy->m_position : 0), m_pFilter(filter)
{
    m_pFilter->AddRef();
}

CEnumPins::~CEnumPins()
{
    m_pFilter->Release();
}

STDMETHODIMP CEnumPins::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IEnumPins)
        return GetInterface(static_cast<IEnumPins*>(this), object);
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEnumPins::AddRef()
{
    return static_cast<ULONG>(++m_cRef);
}

STDMETHODIMP_(ULONG) CEnumPins::Release()
{
    const LONG left = --m_cRef;
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP CEnumPins::Next(ULONG count, IPin** pins, ULONG* fetched)
{
    if (!pins)
        return E_POINTER;
    if (!fetched && count > 1)
        return E_INVALIDARG;
    ULONG n = 0;
    while (n < count && m_position < m_pFilter->GetPinCount())
    {
        CBasePin* pin = m_pFilter->GetPin(m_position++);
        if (!pin)
            break;
        pins[n] = pin;
        pins[n]->AddRef();
        ++n;
    }
    if (fetched)
        *fetched = n;
    return n == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumPins::Skip(ULONG count)
{
    const int left = m_pFilter->GetPinCount() - m_position;
    if (static_cast<long long>(count) > left)
    {
        m_position = m_pFilter->GetPinCount();
        return S_FALSE;
    }
    m_position += static_cast<int>(count);
    return S_OK;
}

STDMETHODIMP CEnumPins::Reset()
{
    m_position = 0;
    return S_OK;
}

STDMETHODIMP CEnumPins::Clone(IEnumPins** clone)
{
    if (!clone)
        return E_POINTER;
    auto* copy = new (std::nothrow) CEnumPins(m_pFilter, this);
    if (!copy)
    {
        *clone = nullptr;
        return E_OUTOFMEMORY;
    }
    return GetInterface(copy, reinterpret_cast<void**>(clone));
}
