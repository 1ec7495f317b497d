#include "Filter.h"

#include "platform/com/Com.h"
#include "platform/dshowbase/Allocator.h"

#include <algorithm>
#include <cwchar>
#include <new>

namespace
{
/// Failures that only say "not this type"; a connection that fails for every type reports something
/// more telling when one attempt gave it.
bool IsPlainRefusal(HRESULT hr)
{
    return hr == E_FAIL || hr == E_INVALIDARG || hr == VFW_E_TYPE_NOT_ACCEPTED || hr == S_FALSE;
}
} // namespace

CBasePin::CBasePin(LPCSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT*, LPCWSTR pinName,
                   PIN_DIRECTION direction)
    : CUnknown(objectName, nullptr), m_pName(pinName ? pinName : L""), m_dir(direction), m_pLock(lock),
      m_pFilter(filter)
{
}

CBasePin::~CBasePin()
{
    if (m_Connected)
        m_Connected->Release();
}

STDMETHODIMP CBasePin::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (iid == IID_IPin)
        return GetInterface(static_cast<IPin*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

STDMETHODIMP_(ULONG) CBasePin::NonDelegatingAddRef()
{
    return m_pFilter->AddRef();
}

STDMETHODIMP_(ULONG) CBasePin::NonDelegatingRelease()
{
    return m_pFilter->Release();
}

STDMETHODIMP CBasePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type)
{
    if (!receivePin)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    if (m_Connected)
        return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped())
        return VFW_E_NOT_STOPPED;
    const CMediaType wanted = type ? CMediaType(*type) : CMediaType();
    return AgreeMediaType(receivePin, type ? &wanted : nullptr);
}

HRESULT CBasePin::AgreeMediaType(IPin* receivePin, const CMediaType* type)
{
    if (type && !type->IsPartiallySpecified())
        return AttemptConnection(receivePin, type);

    HRESULT specific = S_OK;
    for (int round = 0; round < 2; ++round)
    {
        const bool mine = (round == 0) == m_bTryMyTypesFirst;
        IEnumMediaTypes* types = nullptr;
        const HRESULT hr = mine ? EnumMediaTypes(&types) : receivePin->EnumMediaTypes(&types);
        if (FAILED(hr) || !types)
            continue;
        const HRESULT tried = TryMediaTypes(receivePin, type, types, &specific);
        types->Release();
        if (SUCCEEDED(tried))
            return S_OK;
    }
    return FAILED(specific) ? specific : VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT CBasePin::TryMediaTypes(IPin* receivePin, const CMediaType* type, IEnumMediaTypes* types,
                                HRESULT* specific)
{
    for (;;)
    {
        AM_MEDIA_TYPE* offered = nullptr;
        ULONG fetched = 0;
        if (types->Next(1, &offered, &fetched) != S_OK || fetched != 1 || !offered)
            return VFW_E_NO_ACCEPTABLE_TYPES;
        const CMediaType candidate(*offered);
        DeleteMediaType(offered);
        if (type && !type->MatchesPartial(&candidate))
            continue;
        const HRESULT hr = AttemptConnection(receivePin, &candidate);
        if (SUCCEEDED(hr))
            return hr;
        if (SUCCEEDED(*specific) && !IsPlainRefusal(hr))
            *specific = hr;
    }
}

HRESULT CBasePin::AttemptConnection(IPin* receivePin, const CMediaType* type)
{
    HRESULT hr = CheckConnect(receivePin);
    if (FAILED(hr))
    {
        BreakConnect();
        return hr;
    }
    hr = CheckMediaType(type);
    if (hr == S_OK)
    {
        m_Connected = receivePin;
        m_Connected->AddRef();
        hr = SetMediaType(type);
        if (SUCCEEDED(hr))
        {
            hr = receivePin->ReceiveConnection(this, type);
            if (SUCCEEDED(hr))
            {
                hr = CompleteConnect(receivePin);
                if (SUCCEEDED(hr))
                    return S_OK;
                receivePin->Disconnect();
            }
        }
    }
    else if (SUCCEEDED(hr))
    {
        hr = VFW_E_TYPE_NOT_ACCEPTED;
    }
    if (m_Connected)
    {
        m_Connected->Release();
        m_Connected = nullptr;
    }
    BreakConnect();
    return hr;
}

STDMETHODIMP CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type)
{
    if (!connector || !type)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    if (m_Connected)
        return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped())
        return VFW_E_NOT_STOPPED;
    HRESULT hr = CheckConnect(connector);
    if (FAILED(hr))
    {
        BreakConnect();
        return hr;
    }
    const CMediaType offered(*type);
    hr = CheckMediaType(&offered);
    if (hr != S_OK)
    {
        BreakConnect();
        return SUCCEEDED(hr) ? VFW_E_TYPE_NOT_ACCEPTED : hr;
    }
    m_Connected = connector;
    m_Connected->AddRef();
    hr = SetMediaType(&offered);
    if (SUCCEEDED(hr))
    {
        hr = CompleteConnect(connector);
        if (SUCCEEDED(hr))
            return S_OK;
    }
    m_Connected->Release();
    m_Connected = nullptr;
    BreakConnect();
    return hr;
}

STDMETHODIMP CBasePin::Disconnect()
{
    CAutoLock lock(m_pLock);
    if (!IsStopped())
        return VFW_E_NOT_STOPPED;
    return DisconnectInternal();
}

HRESULT CBasePin::DisconnectInternal()
{
    if (!m_Connected)
        return S_FALSE;
    const HRESULT hr = BreakConnect();
    if (FAILED(hr))
        return hr;
    m_Connected->Release();
    m_Connected = nullptr;
    return S_OK;
}

STDMETHODIMP CBasePin::ConnectedTo(IPin** pin)
{
    if (!pin)
        return E_POINTER;
    IPin* connected = m_Connected;
    *pin = connected;
    if (!connected)
        return VFW_E_NOT_CONNECTED;
    connected->AddRef();
    return S_OK;
}

STDMETHODIMP CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    if (!m_Connected)
    {
        *type = AM_MEDIA_TYPE{};
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(type, &m_mt);
}

STDMETHODIMP CBasePin::QueryPinInfo(PIN_INFO* info)
{
    if (!info)
        return E_POINTER;
    info->pFilter = m_pFilter;
    m_pFilter->AddRef();
    info->dir = m_dir;
    const std::size_t length = std::min<std::size_t>(m_pName.size(), 127);
    std::wmemcpy(info->achName, m_pName.c_str(), length);
    info->achName[length] = L'\0';
    return S_OK;
}

STDMETHODIMP CBasePin::QueryDirection(PIN_DIRECTION* direction)
{
    if (!direction)
        return E_POINTER;
    *direction = m_dir;
    return S_OK;
}

STDMETHODIMP CBasePin::QueryId(LPWSTR* id)
{
    if (!id)
        return E_POINTER;
    const std::size_t bytes = (m_pName.size() + 1) * sizeof(WCHAR);
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*id)
        return E_OUTOFMEMORY;
    std::wmemcpy(*id, m_pName.c_str(), m_pName.size() + 1);
    return S_OK;
}

STDMETHODIMP CBasePin::QueryAccept(const AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    const CMediaType offered(*type);
    const HRESULT hr = CheckMediaType(&offered);
    return hr == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP CBasePin::EnumMediaTypes(IEnumMediaTypes** types)
{
    if (!types)
        return E_POINTER;
    auto* enumerator = new (std::nothrow) CEnumMediaTypes(this, nullptr);
    if (!enumerator)
    {
        *types = nullptr;
        return E_OUTOFMEMORY;
    }
    return GetInterface(enumerator, reinterpret_cast<void**>(types));
}

STDMETHODIMP CBasePin::QueryInternalConnections(IPin**, ULONG*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CBasePin::EndOfStream()
{
    return S_OK;
}

STDMETHODIMP CBasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    m_tStart = start;
    m_tStop = stop;
    m_dRate = rate;
    return S_OK;
}

HRESULT CBasePin::SetMediaType(const CMediaType* type)
{
    return m_mt.Set(*type);
}

HRESULT CBasePin::CheckConnect(IPin* pin)
{
    PIN_DIRECTION direction;
    const HRESULT hr = pin->QueryDirection(&direction);
    if (FAILED(hr))
        return hr;
    return direction == m_dir ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::BreakConnect()
{
    return S_OK;
}

HRESULT CBasePin::CompleteConnect(IPin*)
{
    return S_OK;
}

HRESULT CBasePin::GetMediaType(int, CMediaType*)
{
    return E_UNEXPECTED;
}

HRESULT CBasePin::Active()
{
    return S_OK;
}

HRESULT CBasePin::Inactive()
{
    m_bRunTimeError = false;
    return S_OK;
}

HRESULT CBasePin::Run(REFERENCE_TIME)
{
    return S_OK;
}

CBaseInputPin::CBaseInputPin(LPCSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* result,
                             LPCWSTR pinName)
    : CBasePin(objectName, filter, lock, result, pinName, PINDIR_INPUT)
{
}

CBaseInputPin::~CBaseInputPin()
{
    if (m_pAllocator)
        m_pAllocator->Release();
}

STDMETHODIMP CBaseInputPin::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (iid == IID_IMemInputPin)
        return GetInterface(static_cast<IMemInputPin*>(this), object);
    return CBasePin::NonDelegatingQueryInterface(iid, object);
}

STDMETHODIMP CBaseInputPin::GetAllocator(IMemAllocator** allocator)
{
    if (!allocator)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    if (!m_pAllocator)
    {
        HRESULT hr = S_OK;
        auto* created = new (std::nothrow) CMemAllocator("Input allocator", nullptr, &hr);
        if (!created)
            return E_OUTOFMEMORY;
        created->NonDelegatingAddRef();
        m_pAllocator = created;
    }
    return GetInterface(m_pAllocator, reinterpret_cast<void**>(allocator));
}

STDMETHODIMP CBaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly)
{
    if (!allocator)
        return E_POINTER;
    CAutoLock lock(m_pLock);
    allocator->AddRef();
    if (m_pAllocator)
        m_pAllocator->Release();
    m_pAllocator = allocator;
    m_bReadOnly = readOnly;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*)
{
    return E_NOTIMPL;
}

HRESULT CBaseInputPin::CheckStreaming()
{
    if (!IsConnected())
        return VFW_E_NOT_CONNECTED;
    if (IsStopped())
        return VFW_E_WRONG_STATE;
    if (m_bFlushing)
        return S_FALSE;
    if (m_bRunTimeError)
        return VFW_E_RUNTIME_ERROR;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::Receive(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    HRESULT hr = CheckStreaming();
    if (hr != S_OK)
        return hr;
    AM_MEDIA_TYPE* attached = nullptr;
    if (sample->GetMediaType(&attached) == S_OK && attached)
    {
        const CMediaType changed(*attached);
        DeleteMediaType(attached);
        hr = CheckMediaType(&changed);
        if (hr != S_OK)
        {
            m_bRunTimeError = true;
            return VFW_E_INVALIDMEDIATYPE;
        }
        hr = SetMediaType(&changed);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

STDMETHODIMP CBaseInputPin::ReceiveMultiple(IMediaSample** samples, long count, long* processed)
{
    if (!samples || !processed)
        return E_POINTER;
    HRESULT hr = S_OK;
    *processed = 0;
    while (count-- > 0)
    {
        hr = Receive(samples[*processed]);
        if (hr != S_OK)
            break;
        ++*processed;
    }
    return hr;
}

STDMETHODIMP CBaseInputPin::ReceiveCanBlock()
{
    return S_OK;
}

STDMETHODIMP CBaseInputPin::BeginFlush()
{
    CAutoLock lock(m_pLock);
    m_bFlushing = TRUE;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::EndFlush()
{
    CAutoLock lock(m_pLock);
    m_bFlushing = FALSE;
    m_bRunTimeError = false;
    return S_OK;
}

HRESULT CBaseInputPin::BreakConnect()
{
    if (m_pAllocator)
    {
        m_pAllocator->Decommit();
        m_pAllocator->Release();
        m_pAllocator = nullptr;
    }
    return S_OK;
}

HRESULT CBaseInputPin::Inactive()
{
    m_bRunTimeError = false;
    m_bFlushing = FALSE;
    if (!m_pAllocator)
        return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->Decommit();
}

CBaseOutputPin::CBaseOutputPin(LPCSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* result,
                               LPCWSTR pinName)
    : CBasePin(objectName, filter, lock, result, pinName, PINDIR_OUTPUT)
{
}

CBaseOutputPin::~CBaseOutputPin()
{
    if (m_pAllocator)
        m_pAllocator->Release();
    if (m_pInputPin)
        m_pInputPin->Release();
}

HRESULT CBaseOutputPin::CompleteConnect(IPin*)
{
    return DecideAllocator(m_pInputPin, &m_pAllocator);
}

HRESULT CBaseOutputPin::CheckConnect(IPin* pin)
{
    HRESULT hr = CBasePin::CheckConnect(pin);
    if (FAILED(hr))
        return hr;
    IMemInputPin* input = nullptr;
    hr = pin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input));
    if (FAILED(hr) || !input)
        return E_NOINTERFACE;
    if (m_pInputPin)
        m_pInputPin->Release();
    m_pInputPin = input;
    return S_OK;
}

HRESULT CBaseOutputPin::BreakConnect()
{
    if (m_pAllocator)
    {
        const HRESULT hr = m_pAllocator->Decommit();
        if (FAILED(hr))
            return hr;
        m_pAllocator->Release();
        m_pAllocator = nullptr;
    }
    if (m_pInputPin)
    {
        m_pInputPin->Release();
        m_pInputPin = nullptr;
    }
    return S_OK;
}

HRESULT CBaseOutputPin::Active()
{
    if (!m_pAllocator)
        return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->Commit();
}

HRESULT CBaseOutputPin::Inactive()
{
    m_bRunTimeError = false;
    if (!m_pAllocator)
        return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->Decommit();
}

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator)
{
    if (!pin || !allocator)
        return E_POINTER;
    if (*allocator)
    {
        (*allocator)->Release();
        *allocator = nullptr;
    }
    ALLOCATOR_PROPERTIES props{};
    pin->GetAllocatorRequirements(&props);
    if (props.cbAlign == 0)
        props.cbAlign = 1;

    HRESULT hr = pin->GetAllocator(allocator);
    if (SUCCEEDED(hr) && *allocator)
    {
        hr = DecideBufferSize(*allocator, &props);
        if (SUCCEEDED(hr))
        {
            hr = pin->NotifyAllocator(*allocator, FALSE);
            if (SUCCEEDED(hr))
                return S_OK;
        }
    }
    if (*allocator)
    {
        (*allocator)->Release();
        *allocator = nullptr;
    }
    hr = InitAllocator(allocator);
    if (SUCCEEDED(hr))
    {
        hr = DecideBufferSize(*allocator, &props);
        if (SUCCEEDED(hr))
        {
            hr = pin->NotifyAllocator(*allocator, FALSE);
            if (SUCCEEDED(hr))
                return S_OK;
        }
    }
    if (*allocator)
    {
        (*allocator)->Release();
        *allocator = nullptr;
    }
    return hr;
}

HRESULT CBaseOutputPin::InitAllocator(IMemAllocator** allocator)
{
    HRESULT hr = S_OK;
    auto* created = new (std::nothrow) CMemAllocator("Output allocator", nullptr, &hr);
    if (!created)
        return E_OUTOFMEMORY;
    created->NonDelegatingAddRef();
    *allocator = created;
    return S_OK;
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                          DWORD flags)
{
    if (!m_pAllocator)
        return E_NOINTERFACE;
    return m_pAllocator->GetBuffer(sample, start, stop, flags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* sample)
{
    if (!m_pInputPin)
        return VFW_E_NOT_CONNECTED;
    return m_pInputPin->Receive(sample);
}

HRESULT CBaseOutputPin::DeliverEndOfStream()
{
    if (!m_Connected)
        return VFW_E_NOT_CONNECTED;
    return m_Connected->EndOfStream();
}

HRESULT CBaseOutputPin::DeliverBeginFlush()
{
    if (!m_Connected)
        return VFW_E_NOT_CONNECTED;
    return m_Connected->BeginFlush();
}

HRESULT CBaseOutputPin::DeliverEndFlush()
{
    if (!m_Connected)
        return VFW_E_NOT_CONNECTED;
    return m_Connected->EndFlush();
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    if (!m_Connected)
        return VFW_E_NOT_CONNECTED;
    return m_Connected->NewSegment(start, stop, rate);
}

STDMETHODIMP CBaseOutputPin::EndOfStream()
{
    return E_UNEXPECTED;
}

STDMETHODIMP CBaseOutputPin::BeginFlush()
{
    return E_UNEXPECTED;
}

STDMETHODIMP CBaseOutputPin::EndFlush()
{
    return E_UNEXPECTED;
}

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pin, const CEnumMediaTypes* copy)
    : m_position(copy ? copy->m_position : 0), m_pPin(pin)
{
    m_pPin->AddRef();
}

CEnumMediaTypes::~CEnumMediaTypes()
{
    m_pPin->Release();
}

STDMETHODIMP CEnumMediaTypes::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IEnumMediaTypes)
        return GetInterface(static_cast<IEnumMediaTypes*>(this), object);
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEnumMediaTypes::AddRef()
{
    return static_cast<ULONG>(++m_cRef);
}

STDMETHODIMP_(ULONG) CEnumMediaTypes::Release()
{
    const LONG left = --m_cRef;
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP CEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched)
{
    if (!types)
        return E_POINTER;
    if (!fetched && count > 1)
        return E_INVALIDARG;
    ULONG n = 0;
    HRESULT result = S_OK;
    while (n < count)
    {
        CMediaType type;
        if (m_pPin->GetMediaType(m_position, &type) != S_OK)
            break;
        ++m_position;
        types[n] = CreateMediaType(&type);
        if (!types[n])
        {
            result = E_OUTOFMEMORY;
            break;
        }
        ++n;
    }
    if (fetched)
        *fetched = n;
    if (FAILED(result))
        return result;
    return n == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumMediaTypes::Skip(ULONG count)
{
    while (count-- > 0)
    {
        CMediaType type;
        if (m_pPin->GetMediaType(m_position, &type) != S_OK)
            return S_FALSE;
        ++m_position;
    }
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Reset()
{
    m_position = 0;
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Clone(IEnumMediaTypes** clone)
{
    if (!clone)
        return E_POINTER;
    auto* copy = new (std::nothrow) CEnumMediaTypes(m_pPin, this);
    if (!copy)
    {
        *clone = nullptr;
        return E_OUTOFMEMORY;
    }
    return GetInterface(copy, reinterpret_cast<void**>(clone));
}
