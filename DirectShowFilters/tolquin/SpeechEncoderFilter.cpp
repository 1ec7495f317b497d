#include "SpeechEncoderFilter.h"

#include "AmrEncoder.h"
#include "TolquinExceptions.h"

#include "DirectShowFilters/FilterErrors.h"

#include <algorithm>
#include <new>

namespace
{
constexpr const WCHAR* kFilterName = L"Tavisk Speech Encoder";

/// The PCM rates the input accepts.
constexpr DWORD kAcceptedRates[] = {22050};

const AMOVIESETUP_MEDIATYPE kInputTypes[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM}};
const AMOVIESETUP_MEDIATYPE kOutputTypes[] = {{&MEDIATYPE_Audio, &g_AmrCodecInfo[0].subtype},
                                              {&MEDIATYPE_Audio, &g_AmrCodecInfo[1].subtype}};
const AMOVIESETUP_PIN kPins[] = {
    {L"", FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kInputTypes},
    {L"", FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 2, kOutputTypes},
};
const AMOVIESETUP_FILTER kSetup = {&CLSID_SpeechEncoderFilter, kFilterName, MERIT_NORMAL, 2, kPins};
} // namespace

CFactoryTemplate g_Templates[] = {
    {kFilterName, &CLSID_SpeechEncoderFilter, CSpeechEncoderFilter::CreateInstance, nullptr, &kSetup},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

STDAPI DllRegisterServer()
{
    try
    {
        return AMovieRegisterInCategory(TRUE, CLSID_SpeechEncoderFilter, kFilterName,
                                        CLSID_AudioCompressorCategory, MERIT_NORMAL, 2, kPins);
    }
    catch (...)
    {
        return HResultFromException();
    }
}

STDAPI DllUnregisterServer()
{
    try
    {
        return AMovieRegisterInCategory(FALSE, CLSID_SpeechEncoderFilter, kFilterName,
                                        CLSID_AudioCompressorCategory, MERIT_NORMAL, 2, kPins);
    }
    catch (...)
    {
        return HResultFromException();
    }
}

CSpeechEncoderInputPin::CSpeechEncoderInputPin(CSpeechEncoderFilter* filter, IAudioEncoderHost* host,
                                               CCritSec* lock, HRESULT* result)
    : CBaseInputPin("Speech encoder input pin", filter, lock, result, L"XForm In"), m_host(host)
{
}

HRESULT CSpeechEncoderInputPin::CheckMediaType(const CMediaType* type)
{
    if (!type)
        return E_POINTER;
    CMediaType accepted;
    const HRESULT hr = GetMediaType(0, &accepted);
    if (FAILED(hr))
        return hr;
    return *type == accepted ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CSpeechEncoderInputPin::GetMediaType(int position, CMediaType* type)
{
    if (position < 0)
        return E_INVALIDARG;
    if (!type)
        return E_POINTER;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    type->InitMediaType();
    type->SetType(&MEDIATYPE_Audio);
    type->SetSubtype(&MEDIASUBTYPE_PCM);
    type->SetTemporalCompression(FALSE);
    type->SetFormatType(&FORMAT_WaveFormatEx);
    auto* format = reinterpret_cast<WAVEFORMATEX*>(type->AllocFormatBuffer(sizeof(WAVEFORMATEX)));
    if (!format)
        return E_OUTOFMEMORY;
    format->wFormatTag = WAVE_FORMAT_PCM;
    format->nChannels = 1;
    format->nSamplesPerSec = kAcceptedRates[0];
    format->nAvgBytesPerSec = kAcceptedRates[0] * 2;
    format->nBlockAlign = 2;
    format->wBitsPerSample = 16;
    format->cbSize = 0;
    type->SetSampleSize(2);
    return S_OK;
}

HRESULT CSpeechEncoderInputPin::CompleteConnect(IPin* receivePin)
{
    const HRESULT hr = CBaseInputPin::CompleteConnect(receivePin);
    if (FAILED(hr))
        return hr;
    try
    {
        m_host->CreateEncoder(m_mt);
        return S_OK;
    }
    catch (...)
    {
        return HResultFromException();
    }
}

HRESULT CSpeechEncoderInputPin::BreakConnect()
{
    try
    {
        m_host->DestroyEncoder();
    }
    catch (...)
    {
    }
    return CBaseInputPin::BreakConnect();
}

STDMETHODIMP CSpeechEncoderInputPin::Receive(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    CAutoLock lock(&m_receiveLock);
    const HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK)
        return hr;
    try
    {
        m_host->Encode(sample);
    }
    catch (...)
    {
        return HResultFromException();
    }
    return hr;
}

STDMETHODIMP CSpeechEncoderInputPin::BeginFlush()
{
    CBaseInputPin::BeginFlush();
    // Waits for a state change and then for a Receive in progress to end.
    {
        CAutoLock filterLock(m_pLock);
    }
    {
        CAutoLock receiveLock(&m_receiveLock);
    }
    return S_OK;
}

STDMETHODIMP CSpeechEncoderInputPin::EndFlush()
{
    CAutoLock lock(m_pLock);
    return CBaseInputPin::EndFlush();
}

STDMETHODIMP CSpeechEncoderInputPin::EndOfStream()
{
    return S_OK;
}

CSpeechEncoderOutputPin::CSpeechEncoderOutputPin(CSpeechEncoderFilter* filter, IAudioEncoderHost* host,
                                                 CCritSec* lock, HRESULT* result)
    : CBaseOutputPin("Speech encoder output pin", filter, lock, result, L"XForm Out"), m_host(host)
{
    m_bTryMyTypesFirst = true;
}

HRESULT CSpeechEncoderOutputPin::CheckMediaType(const CMediaType* type)
{
    if (!type)
        return E_POINTER;
    try
    {
        return *type == m_host->GetOutputMediaType() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    catch (...)
    {
        return HResultFromException();
    }
}

HRESULT CSpeechEncoderOutputPin::GetMediaType(int position, CMediaType* type)
{
    if (position < 0)
        return E_INVALIDARG;
    if (!type)
        return E_POINTER;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    try
    {
        return type->Set(m_host->GetOutputMediaType());
    }
    catch (...)
    {
        return HResultFromException();
    }
}

HRESULT CSpeechEncoderOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    if (!allocator || !request)
        return E_POINTER;
    ALLOCATOR_PROPERTIES wanted{};
    try
    {
        wanted = m_host->GetAllocatorProperties();
    }
    catch (...)
    {
        return HResultFromException();
    }
    request->cbBuffer = std::max(request->cbBuffer, wanted.cbBuffer);
    request->cBuffers = std::max(request->cBuffers, wanted.cBuffers);
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr))
        return hr;
    if (actual.cbBuffer < request->cbBuffer || actual.cBuffers < request->cBuffers)
        return VFW_E_BUFFER_OVERFLOW;
    return S_OK;
}

CSpeechEncoderFilter::CSpeechEncoderFilter(LPUNKNOWN outer)
    : CBaseFilter("Speech encoder filter", outer, &m_filterLock, CLSID_SpeechEncoderFilter)
{
    HRESULT hr = S_OK;
    m_inputPin = new (std::nothrow) CSpeechEncoderInputPin(this, this, &m_filterLock, &hr);
    if (!m_inputPin)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Failed creating input pin"));
    m_outputPin = new (std::nothrow) CSpeechEncoderOutputPin(this, this, &m_filterLock, &hr);
    if (!m_outputPin)
    {
        delete m_inputPin;
        m_inputPin = nullptr;
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Failed creating output pin"));
    }
}

CSpeechEncoderFilter::~CSpeechEncoderFilter()
{
    m_encoder.reset();
    delete m_inputPin;
    delete m_outputPin;
}

CUnknown* CSpeechEncoderFilter::CreateInstance(LPUNKNOWN outer, HRESULT* result)
{
    HRESULT ignored = S_OK;
    if (!result)
        result = &ignored;
    *result = S_OK;
    try
    {
        auto* filter = new (std::nothrow) CSpeechEncoderFilter(outer);
        if (!filter)
            *result = E_OUTOFMEMORY;
        return filter;
    }
    catch (...)
    {
        *result = HResultFromException();
        return nullptr;
    }
}

STDMETHODIMP CSpeechEncoderFilter::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (iid == IID_ISpeechEncoderSettings)
        return GetInterface(static_cast<ISpeechEncoderSettings*>(this), object);
    return CBaseFilter::NonDelegatingQueryInterface(iid, object);
}

int CSpeechEncoderFilter::GetPinCount()
{
    return 2;
}

CBasePin* CSpeechEncoderFilter::GetPin(int index)
{
    if (index == 0)
        return m_inputPin;
    if (index == 1)
        return m_outputPin;
    return nullptr;
}

const AMOVIESETUP_FILTER* CSpeechEncoderFilter::GetSetupData()
{
    return nullptr;
}

STDMETHODIMP CSpeechEncoderFilter::Pause()
{
    CAutoLock lock(&m_filterLock);
    const HRESULT hr = CBaseFilter::Pause();
    if (FAILED(hr) || !m_encoder)
        return hr;
    // The reset waits for a sample being encoded, so that it never runs beside one.
    CAutoLock receiveLock(&m_inputPin->m_receiveLock);
    try
    {
        m_encoder->Reset();
    }
    catch (...)
    {
        return HResultFromException();
    }
    return hr;
}

STDMETHODIMP CSpeechEncoderFilter::SetWideband(BOOL wideband)
{
    CAutoLock lock(&m_filterLock);
    if (m_encoder)
        return VFW_E_ALREADY_CONNECTED;
    m_wideband = wideband ? 1 : 0;
    return S_OK;
}

STDMETHODIMP CSpeechEncoderFilter::GetWideband(BOOL* wideband)
{
    if (!wideband)
        return E_POINTER;
    *wideband = m_wideband ? TRUE : FALSE;
    return S_OK;
}

STDMETHODIMP CSpeechEncoderFilter::SetMode(short mode)
{
    CAutoLock lock(&m_filterLock);
    if (m_encoder)
        return VFW_E_ALREADY_CONNECTED;
    m_mode = mode;
    return S_OK;
}

STDMETHODIMP CSpeechEncoderFilter::GetMode(short* mode)
{
    if (!mode)
        return E_POINTER;
    *mode = m_mode;
    return S_OK;
}

STDMETHODIMP CSpeechEncoderFilter::SetDTX(BOOL dtx)
{
    CAutoLock lock(&m_filterLock);
    if (m_encoder)
        return VFW_E_ALREADY_CONNECTED;
    m_dtx = dtx ? 1 : 0;
    return S_OK;
}

STDMETHODIMP CSpeechEncoderFilter::GetDTX(BOOL* dtx)
{
    if (!dtx)
        return E_POINTER;
    *dtx = m_dtx ? TRUE : FALSE;
    return S_OK;
}

void CSpeechEncoderFilter::CreateEncoder(const CMediaType& input)
{
    if (m_encoder)
        throw CDirectShowException(VFW_E_ALREADY_CONNECTED);
    // A negative mode reads as a large unsigned one and is refused by the encoder as out of range.
    m_encoder.reset(new (std::nothrow)
                        CAmrEncoder(this, input, static_cast<unsigned short>(m_mode), m_wideband, m_dtx));
    if (!m_encoder)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot create speech encoder"));
}

void CSpeechEncoderFilter::DestroyEncoder()
{
    m_encoder.reset();
}

CMediaType CSpeechEncoderFilter::GetOutputMediaType()
{
    if (!m_encoder)
        throw CDirectShowException(VFW_E_NOT_CONNECTED);
    return m_encoder->GetOutputMediaType();
}

ALLOCATOR_PROPERTIES CSpeechEncoderFilter::GetAllocatorProperties()
{
    if (!m_encoder)
        throw CDirectShowException(VFW_E_NOT_CONNECTED);
    return ALLOCATOR_PROPERTIES{2, static_cast<long>(m_encoder->GetOutputBufferSize()), 0, 0};
}

IMediaSample* CSpeechEncoderFilter::GetDeliveryBuffer(REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                                      DWORD flags)
{
    IMediaSample* sample = nullptr;
    const HRESULT hr = m_outputPin->GetDeliveryBuffer(&sample, start, stop, flags);
    if (FAILED(hr) || !sample)
        throw CInvalidObjectException(THROW_SITE_MESSAGE("No delivery buffer available"));
    return sample;
}

HRESULT CSpeechEncoderFilter::Encode(IMediaSample* sample)
{
    if (!m_encoder)
        throw CDirectShowException(VFW_E_NOT_CONNECTED);
    return m_encoder->Encode(sample);
}

HRESULT CSpeechEncoderFilter::Deliver(IMediaSample* sample)
{
    return m_outputPin->Deliver(sample);
}

REFERENCE_TIME CSpeechEncoderFilter::GetStreamTime()
{
    REFERENCE_TIME time = 0;
    if (FAILED(StreamTime(time)))
        return 0;
    return time;
}
