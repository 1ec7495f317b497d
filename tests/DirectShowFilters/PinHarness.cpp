#include "PinHarness.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <dlfcn.h>

namespace harness
{
CSourceOutputPin::CSourceOutputPin(CSourceFilter* filter, CCritSec* lock, const CMediaType& type,
                                   long bufferSize)
    : CBaseOutputPin("Source output", filter, lock, nullptr, L"Out"), m_type(type), m_bufferSize(bufferSize)
{
}

HRESULT CSourceOutputPin::CheckMediaType(const CMediaType* type)
{
    return *type == m_type ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CSourceOutputPin::GetMediaType(int position, CMediaType* type)
{
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    return type->Set(m_type);
}

HRESULT CSourceOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    request->cbBuffer = std::max(request->cbBuffer, m_bufferSize);
    request->cBuffers = std::max(request->cBuffers, 2L);
    ALLOCATOR_PROPERTIES actual{};
    return allocator->SetProperties(request, &actual);
}

CSourceFilter::CSourceFilter(const CMediaType& type, long bufferSize)
    : CBaseFilter("Source", nullptr, &m_lock, GUID_NULL),
      m_pin(new CSourceOutputPin(this, &m_lock, type, bufferSize))
{
}

CSourceFilter::~CSourceFilter()
{
    delete m_pin;
}

CBasePin* CSourceFilter::GetPin(int index)
{
    return index == 0 ? m_pin : nullptr;
}

HRESULT CSourceFilter::Push(const std::vector<BYTE>& bytes, REFERENCE_TIME start, REFERENCE_TIME stop)
{
    IMediaSample* taken = nullptr;
    HRESULT hr = m_pin->GetDeliveryBuffer(&taken, nullptr, nullptr, AM_GBF_NOWAIT);
    if (FAILED(hr))
        return hr;
    const auto sample = ComPtr<IMediaSample>::Adopt(taken);
    if (static_cast<long>(bytes.size()) > sample->GetSize())
        return VFW_E_BUFFER_OVERFLOW;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    if (!bytes.empty())
        std::memcpy(data, bytes.data(), bytes.size());
    sample->SetActualDataLength(static_cast<long>(bytes.size()));
    if (start >= 0)
        sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    return m_pin->Deliver(sample.Get());
}

CSinkInputPin::CSinkInputPin(CSinkFilter* filter, CCritSec* lock)
    : CBaseInputPin("Sink input", filter, lock, nullptr, L"In")
{
}

HRESULT CSinkInputPin::CheckMediaType(const CMediaType* type)
{
    return type->majortype != GUID_NULL ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CSinkInputPin::GetMediaType(int position, CMediaType* type)
{
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0 || m_offered.majortype == GUID_NULL)
        return VFW_S_NO_MORE_ITEMS;
    return type->Set(m_offered);
}

STDMETHODIMP CSinkInputPin::Receive(IMediaSample* sample)
{
    const HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK)
        return hr;
    ReceivedSample received;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    received.data.assign(data, data + sample->GetActualDataLength());
    received.hasTime = SUCCEEDED(sample->GetTime(&received.start, &received.stop));
    received.syncPoint = sample->IsSyncPoint() == S_OK;
    m_samples.push_back(std::move(received));
    return S_OK;
}

STDMETHODIMP CSinkInputPin::GetAllocator(IMemAllocator** allocator)
{
    const HRESULT hr = CBaseInputPin::GetAllocator(allocator);
    if (SUCCEEDED(hr))
        m_ownAllocator = static_cast<CMemAllocator*>(*allocator);
    return hr;
}

STDMETHODIMP CSinkInputPin::EndOfStream()
{
    ++m_endOfStreams;
    return S_OK;
}

CSinkFilter::CSinkFilter()
    : CBaseFilter("Sink", nullptr, &m_lock, GUID_NULL), m_pin(new CSinkInputPin(this, &m_lock))
{
}

CSinkFilter::~CSinkFilter()
{
    delete m_pin;
}

CBasePin* CSinkFilter::GetPin(int index)
{
    return index == 0 ? m_pin : nullptr;
}

std::vector<BYTE> CSinkFilter::Bytes() const
{
    std::vector<BYTE> all;
    for (const auto& sample : m_pin->m_samples)
        all.insert(all.end(), sample.data.begin(), sample.data.end());
    return all;
}

long CSinkFilter::Outstanding() const
{
    return m_pin->m_ownAllocator ? m_pin->m_ownAllocator->SamplesOutstanding() : 0;
}

ComPtr<IPin> FindPin(IBaseFilter* filter, PIN_DIRECTION direction)
{
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.Put())))
        return {};
    for (;;)
    {
        IPin* pin = nullptr;
        ULONG fetched = 0;
        if (pins->Next(1, &pin, &fetched) != S_OK)
            return {};
        auto held = ComPtr<IPin>::Adopt(pin);
        PIN_DIRECTION d;
        if (SUCCEEDED(held->QueryDirection(&d)) && d == direction)
            return held;
    }
}

ComPtr<IBaseFilter> LoadFilter(const std::filesystem::path& plugin, REFCLSID classId)
{
    // Kept loaded for the rest of the process, as the object model keeps its plug-ins.
    void* module = dlopen(plugin.c_str(), RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(module, nullptr) << dlerror();
    if (!module)
        return {};
    const auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(module, "DllGetClassObject"));
    EXPECT_NE(getClassObject, nullptr);
    if (!getClassObject)
        return {};
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(getClassObject(classId, IID_IClassFactory, factory.PutVoid()), S_OK);
    if (!factory)
        return {};
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, filter.PutVoid()), S_OK);
    return filter;
}

std::filesystem::path PluginPath(const std::string& name)
{
    return testing_support::BinaryDir() / "bin" / name;
}

Bench::Bench(ComPtr<IBaseFilter> filter, const CMediaType& inputType, long inputBufferSize)
    : m_filter(std::move(filter)), m_source(new CSourceFilter(inputType, inputBufferSize)),
      m_sink(new CSinkFilter)
{
}

Bench::~Bench()
{
    Stop();
    Disconnect();
}

HRESULT Bench::ConnectInput()
{
    const auto input = FindPin(m_filter.Get(), PINDIR_INPUT);
    if (!input)
        return E_NOINTERFACE;
    // With the source's one type given, the result is the filter's own answer to it.
    CMediaType type;
    m_source->GetPin(0)->GetMediaType(0, &type);
    return m_source->Output()->Connect(input.Get(), &type);
}

HRESULT Bench::ConnectOutput()
{
    const auto output = FindPin(m_filter.Get(), PINDIR_OUTPUT);
    if (!output)
        return E_NOINTERFACE;
    return output->Connect(m_sink->Input(), nullptr);
}

HRESULT Bench::Connect()
{
    const HRESULT hr = ConnectInput();
    return FAILED(hr) ? hr : ConnectOutput();
}

HRESULT Bench::Pause()
{
    HRESULT hr = m_sink->Pause();
    if (SUCCEEDED(hr))
        hr = m_filter->Pause();
    if (SUCCEEDED(hr))
        hr = m_source->Pause();
    return hr;
}

HRESULT Bench::Run()
{
    HRESULT hr = m_sink->Run(0);
    if (SUCCEEDED(hr))
        hr = m_filter->Run(0);
    if (SUCCEEDED(hr))
        hr = m_source->Run(0);
    return hr;
}

HRESULT Bench::Stop()
{
    const HRESULT source = m_source->Stop();
    const HRESULT filter = m_filter->Stop();
    const HRESULT sink = m_sink->Stop();
    return FAILED(source) ? source : FAILED(filter) ? filter : sink;
}

void Bench::Disconnect()
{
    // Each connection holds references both ways; breaking them lets all three filters go.
    for (IPin* pin : {static_cast<IPin*>(m_source->Output()), static_cast<IPin*>(m_sink->Input())})
    {
        ComPtr<IPin> other;
        if (pin->ConnectedTo(other.Put()) == S_OK)
        {
            other->Disconnect();
            pin->Disconnect();
        }
    }
}

CMediaType Bench::OutputType()
{
    AM_MEDIA_TYPE type{};
    CMediaType result;
    if (SUCCEEDED(m_sink->Input()->ConnectionMediaType(&type)))
    {
        result.Set(type);
        FreeMediaType(type);
    }
    return result;
}
} // namespace harness
