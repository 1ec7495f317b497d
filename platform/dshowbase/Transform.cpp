#include "Transform.h"

#include "platform/com/ComPtr.h"

#include <cwchar>
#include <new>

CTransformInputPin::CTransformInputPin(LPCSTR objectName, CTransformFilter* filter, HRESULT* result,
                                       LPCWSTR pinName)
    : CBaseInputPin(objectName, filter, &filter->m_csFilter, result, pinName), m_pTransformFilter(filter)
{
}

HRESULT CTransformInputPin::CheckConnect(IPin* pin)
{
    const HRESULT hr = m_pTransformFilter->CheckConnect(PINDIR_INPUT, pin);
    if (FAILED(hr))
        return hr;
    return CBaseInputPin::CheckConnect(pin);
}

HRESULT CTransformInputPin::BreakConnect()
{
    m_pTransformFilter->BreakConnect(PINDIR_INPUT);
    return CBaseInputPin::BreakConnect();
}

HRESULT CTransformInputPin::CompleteConnect(IPin* receivePin)
{
    const HRESULT hr = m_pTransformFilter->CompleteConnect(PINDIR_INPUT, receivePin);
    if (FAILED(hr))
        return hr;
    return CBaseInputPin::CompleteConnect(receivePin);
}

HRESULT CTransformInputPin::CheckMediaType(const CMediaType* type)
{
    HRESULT hr = m_pTransformFilter->CheckInputType(type);
    if (hr != S_OK)
        return hr;
    CTransformOutputPin* output = m_pTransformFilter->m_pOutput;
    if (output && output->IsConnected())
        hr = m_pTransformFilter->CheckTransform(type, &output->CurrentMediaType());
    return hr;
}

HRESULT CTransformInputPin::SetMediaType(const CMediaType* type)
{
    const HRESULT hr = CBasePin::SetMediaType(type);
    if (FAILED(hr))
        return hr;
    return m_pTransformFilter->SetMediaType(PINDIR_INPUT, type);
}

STDMETHODIMP CTransformInputPin::Receive(IMediaSample* sample)
{
    CAutoLock lock(&m_pTransformFilter->m_csReceive);
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK)
        return hr;
    // Nothing thrown by a derived filter may reach the upstream filter's streaming thread.
    try
    {
        return m_pTransformFilter->Receive(sample);
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    catch (...)
    {
        return E_UNEXPECTED;
    }
}

STDMETHODIMP CTransformInputPin::EndOfStream()
{
    CAutoLock lock(&m_pTransformFilter->m_csReceive);
    const HRESULT hr = CheckStreaming();
    if (hr != S_OK)
        return hr;
    return m_pTransformFilter->EndOfStream();
}

STDMETHODIMP CTransformInputPin::BeginFlush()
{
    CAutoLock lock(&m_pTransformFilter->m_csFilter);
    if (!IsConnected() || !m_pTransformFilter->m_pOutput->IsConnected())
        return VFW_E_NOT_CONNECTED;
    const HRESULT hr = CBaseInputPin::BeginFlush();
    if (FAILED(hr))
        return hr;
    return m_pTransformFilter->BeginFlush();
}

STDMETHODIMP CTransformInputPin::EndFlush()
{
    CAutoLock lock(&m_pTransformFilter->m_csFilter);
    if (!IsConnected() || !m_pTransformFilter->m_pOutput->IsConnected())
        return VFW_E_NOT_CONNECTED;
    const HRESULT hr = m_pTransformFilter->EndFlush();
    if (FAILED(hr))
        return hr;
    return CBaseInputPin::EndFlush();
}

STDMETHODIMP CTransformInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    CBasePin::NewSegment(start, stop, rate);
    return m_pTransformFilter->NewSegment(start, stop, rate);
}

CTransformOutputPin::CTransformOutputPin(LPCSTR objectName, CTransformFilter* filter, HRESULT* result,
                                         LPCWSTR pinName)
    : CBaseOutputPin(objectName, filter, &filter->m_csFilter, result, pinName), m_pTransformFilter(filter)
{
}

HRESULT CTransformOutputPin::CheckConnect(IPin* pin)
{
    if (!m_pTransformFilter->m_pInput->IsConnected())
        return E_UNEXPECTED;
    const HRESULT hr = m_pTransformFilter->CheckConnect(PINDIR_OUTPUT, pin);
    if (FAILED(hr))
        return hr;
    return CBaseOutputPin::CheckConnect(pin);
}

HRESULT CTransformOutputPin::BreakConnect()
{
    m_pTransformFilter->BreakConnect(PINDIR_OUTPUT);
    return CBaseOutputPin::BreakConnect();
}

HRESULT CTransformOutputPin::CompleteConnect(IPin* receivePin)
{
    const HRESULT hr = m_pTransformFilter->CompleteConnect(PINDIR_OUTPUT, receivePin);
    if (FAILED(hr))
        return hr;
    return CBaseOutputPin::CompleteConnect(receivePin);
}

HRESULT CTransformOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    return m_pTransformFilter->DecideBufferSize(allocator, request);
}

HRESULT CTransformOutputPin::CheckMediaType(const CMediaType* type)
{
    CTransformInputPin* input = m_pTransformFilter->m_pInput;
    if (!input->IsConnected())
        return E_UNEXPECTED;
    return m_pTransformFilter->CheckTransform(&input->CurrentMediaType(), type);
}

HRESULT CTransformOutputPin::SetMediaType(const CMediaType* type)
{
    const HRESULT hr = CBasePin::SetMediaType(type);
    if (FAILED(hr))
        return hr;
    return m_pTransformFilter->SetMediaType(PINDIR_OUTPUT, type);
}

HRESULT CTransformOutputPin::GetMediaType(int position, CMediaType* type)
{
    if (!m_pTransformFilter->m_pInput->IsConnected())
        return E_UNEXPECTED;
    return m_pTransformFilter->GetMediaType(position, type);
}

CTransformFilter::CTransformFilter(LPCSTR name, LPUNKNOWN outer, REFCLSID classId)
    : CBaseFilter(name, outer, &m_csFilter, classId)
{
}

CTransformFilter::~CTransformFilter()
{
    delete m_pInput;
    delete m_pOutput;
}

bool CTransformFilter::CreatePins()
{
    if (m_pInput && m_pOutput)
        return true;
    HRESULT hr = S_OK;
    if (!m_pInput)
    {
        m_pInput = new (std::nothrow) CTransformInputPin("Transform input pin", this, &hr, L"XForm In");
        if (!m_pInput)
            return false;
    }
    if (!m_pOutput)
    {
        m_pOutput = new (std::nothrow) CTransformOutputPin("Transform output pin", this, &hr, L"XForm Out");
        if (!m_pOutput)
        {
            delete m_pInput;
            m_pInput = nullptr;
            return false;
        }
    }
    return true;
}

int CTransformFilter::GetPinCount()
{
    return 2;
}

CBasePin* CTransformFilter::GetPin(int index)
{
    if (!CreatePins())
        return nullptr;
    if (index == 0)
        return m_pInput;
    if (index == 1)
        return m_pOutput;
    return nullptr;
}

STDMETHODIMP CTransformFilter::FindPin(LPCWSTR id, IPin** pin)
{
    if (!id || !pin)
        return E_POINTER;
    CBasePin* found = nullptr;
    if (std::wcscmp(id, L"In") == 0)
        found = GetPin(0);
    else if (std::wcscmp(id, L"Out") == 0)
        found = GetPin(1);
    *pin = found;
    if (!found)
        return VFW_E_NOT_FOUND;
    found->AddRef();
    return S_OK;
}

STDMETHODIMP CTransformFilter::Stop()
{
    CAutoLock lock(&m_csFilter);
    if (m_State == State_Stopped)
        return S_OK;
    if (!m_pInput || !m_pInput->IsConnected() || !m_pOutput->IsConnected())
    {
        m_State = State_Stopped;
        m_bEOSDelivered = false;
        return S_OK;
    }
    // Decommitting the input's allocator first releases an upstream thread waiting for a buffer; the
    // receive lock then waits for a Receive in progress to end.
    m_pInput->Inactive();
    CAutoLock receiveLock(&m_csReceive);
    m_pOutput->Inactive();
    const HRESULT hr = StopStreaming();
    if (SUCCEEDED(hr))
    {
        m_State = State_Stopped;
        m_bEOSDelivered = false;
    }
    return hr;
}

STDMETHODIMP CTransformFilter::Pause()
{
    CAutoLock lock(&m_csFilter);
    HRESULT hr = S_OK;
    if (m_State == State_Paused)
        return S_OK;
    if (!m_pInput || !m_pInput->IsConnected())
    {
        if (m_pOutput && m_pOutput->IsConnected() && !m_bEOSDelivered)
        {
            m_pOutput->DeliverEndOfStream();
            m_bEOSDelivered = true;
        }
        m_State = State_Paused;
    }
    else if (!m_pOutput->IsConnected())
    {
        m_State = State_Paused;
    }
    else
    {
        if (m_State == State_Stopped)
        {
            CAutoLock receiveLock(&m_csReceive);
            hr = StartStreaming();
        }
        if (SUCCEEDED(hr))
            hr = CBaseFilter::Pause();
    }
    m_bSampleSkipped = false;
    return hr;
}

HRESULT CTransformFilter::Transform(IMediaSample*, IMediaSample*)
{
    return E_UNEXPECTED;
}

HRESULT CTransformFilter::StartStreaming()
{
    return S_OK;
}

HRESULT CTransformFilter::StopStreaming()
{
    return S_OK;
}

HRESULT CTransformFilter::SetMediaType(PIN_DIRECTION, const CMediaType*)
{
    return S_OK;
}

HRESULT CTransformFilter::CheckConnect(PIN_DIRECTION, IPin*)
{
    return S_OK;
}

HRESULT CTransformFilter::BreakConnect(PIN_DIRECTION)
{
    return S_OK;
}

HRESULT CTransformFilter::CompleteConnect(PIN_DIRECTION, IPin*)
{
    return S_OK;
}

HRESULT CTransformFilter::InitializeOutputSample(IMediaSample* sample, IMediaSample** out)
{
    *out = nullptr;
    DWORD flags = 0;
    if (sample->IsSyncPoint() != S_OK)
        flags |= AM_GBF_NOTASYNCPOINT;
    if (m_bSampleSkipped)
        flags |= AM_GBF_PREVFRAMESKIPPED;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    const HRESULT timed = sample->GetTime(&start, &stop);
    const bool hasTimes = SUCCEEDED(timed);
    HRESULT hr =
        m_pOutput->GetDeliveryBuffer(out, hasTimes ? &start : nullptr, hasTimes ? &stop : nullptr, flags);
    if (FAILED(hr))
        return hr;
    IMediaSample* o = *out;
    if (hasTimes)
        o->SetTime(&start, timed == S_OK ? &stop : nullptr);
    o->SetSyncPoint(sample->IsSyncPoint() == S_OK);
    o->SetDiscontinuity(sample->IsDiscontinuity() == S_OK || m_bSampleSkipped);
    o->SetPreroll(sample->IsPreroll() == S_OK);
    LONGLONG mediaStart = 0;
    LONGLONG mediaEnd = 0;
    if (sample->GetMediaTime(&mediaStart, &mediaEnd) == S_OK)
        o->SetMediaTime(&mediaStart, &mediaEnd);
    else
        o->SetMediaTime(nullptr, nullptr);
    return S_OK;
}

HRESULT CTransformFilter::Receive(IMediaSample* sample)
{
    IMediaSample* taken = nullptr;
    HRESULT hr = InitializeOutputSample(sample, &taken);
    if (FAILED(hr))
        return hr;
    // The buffer goes back to the allocator on every path; one kept by mistake would stall the stream
    // once all buffers are out.
    const auto out = platform::com::ComPtr<IMediaSample>::Adopt(taken);
    hr = Transform(sample, out.Get());
    if (hr == S_OK)
    {
        hr = m_pOutput->Deliver(out.Get());
        m_bSampleSkipped = false;
    }
    else if (hr == S_FALSE)
    {
        m_bSampleSkipped = true;
        hr = S_OK;
    }
    return hr;
}

HRESULT CTransformFilter::EndOfStream()
{
    return m_pOutput ? m_pOutput->DeliverEndOfStream() : S_OK;
}

HRESULT CTransformFilter::BeginFlush()
{
    return m_pOutput ? m_pOutput->DeliverBeginFlush() : S_OK;
}

HRESULT CTransformFilter::EndFlush()
{
    return m_pOutput ? m_pOutput->DeliverEndFlush() : S_OK;
}

HRESULT CTransformFilter::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    return m_pOutput ? m_pOutput->DeliverNewSegment(start, stop, rate) : S_OK;
}
