#pragma once

#include "platform/com/ComPtr.h"
#include "platform/dshowbase/DShow.h"

#include <filesystem>
#include <string>
#include <vector>

/// A test bench for one media filter: a source filter of ours feeds the filter's input pin and a sink
/// filter of ours records what its output pin delivers. Everything runs on the calling thread: Push
/// returns when the filter under test has handled the sample.
namespace harness
{
using platform::com::ComPtr;

/// One sample that reached the sink.
struct ReceivedSample
{
    std::vector<BYTE> data;
    bool hasTime = false;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    bool syncPoint = false;
};

class CSourceFilter;
class CSinkFilter;

class CSourceOutputPin final : public CBaseOutputPin
{
public:
    CSourceOutputPin(CSourceFilter* filter, CCritSec* lock, const CMediaType& type, long bufferSize);
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

private:
    CMediaType m_type;
    long m_bufferSize;
};

/// Offers one media type and pushes samples of it.
class CSourceFilter final : public CBaseFilter
{
public:
    CSourceFilter(const CMediaType& type, long bufferSize);
    ~CSourceFilter() override;
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override;

    /// Copies `bytes` into a delivery buffer and hands it downstream; the downstream pin's result. A
    /// negative `start` sends the sample without times.
    HRESULT Push(const std::vector<BYTE>& bytes, REFERENCE_TIME start = -1, REFERENCE_TIME stop = -1);
    IPin* Output() { return m_pin; }

private:
    CCritSec m_lock;
    CSourceOutputPin* m_pin;
};

class CSinkInputPin final : public CBaseInputPin
{
public:
    CSinkInputPin(CSinkFilter* filter, CCritSec* lock);
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    STDMETHODIMP Receive(IMediaSample* sample) override;
    STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
    STDMETHODIMP EndOfStream() override;

    /// Offered to the output pin when it connects (GUID_NULL major type: nothing offered).
    CMediaType m_offered;
    std::vector<ReceivedSample> m_samples;
    int m_endOfStreams = 0;
    /// The allocator this pin made, for counting the samples that are out.
    CMemAllocator* m_ownAllocator = nullptr;
};

/// Accepts any media type and records every sample.
class CSinkFilter final : public CBaseFilter
{
public:
    CSinkFilter();
    ~CSinkFilter() override;
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override;
    CSinkInputPin* Input() { return m_pin; }
    const std::vector<ReceivedSample>& Samples() const { return m_pin->m_samples; }
    /// All received data, concatenated.
    std::vector<BYTE> Bytes() const;
    /// Samples of the sink's allocator that have not come back.
    long Outstanding() const;

private:
    CCritSec m_lock;
    CSinkInputPin* m_pin;
};

/// The filter's pins by direction.
ComPtr<IPin> FindPin(IBaseFilter* filter, PIN_DIRECTION direction);

/// Loads a plug-in file and makes an object of `classId` through its own class factory, without the
/// registry. Fails the calling test when it cannot.
ComPtr<IBaseFilter> LoadFilter(const std::filesystem::path& plugin, REFCLSID classId);

/// The path of a plug-in built beside the tests.
std::filesystem::path PluginPath(const std::string& name);

/// source → filter → sink, connected and stepped through the states.
class Bench
{
public:
    Bench(ComPtr<IBaseFilter> filter, const CMediaType& inputType, long inputBufferSize);
    ~Bench();
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    HRESULT ConnectInput();
    HRESULT ConnectOutput();
    /// Both connections; the first failure.
    HRESULT Connect();
    HRESULT Run();
    HRESULT Pause();
    HRESULT Stop();
    void Disconnect();

    HRESULT Push(const std::vector<BYTE>& bytes, REFERENCE_TIME start = -1, REFERENCE_TIME stop = -1)
    {
        return m_source->Push(bytes, start, stop);
    }

    IBaseFilter* Filter() const { return m_filter.Get(); }
    CSourceFilter& Source() { return *m_source.Get(); }
    CSinkFilter& Sink() { return *m_sink.Get(); }
    /// The type the filter's output connected with.
    CMediaType OutputType();

private:
    ComPtr<IBaseFilter> m_filter;
    ComPtr<CSourceFilter> m_source;
    ComPtr<CSinkFilter> m_sink;
};
} // namespace harness
