#pragma once

#include "platform/dshowbase/Filter.h"
#include "platform/win/Export.h"

class CTransformFilter;

/// The input pin of a transform filter: type checks, connection hooks and samples go to the filter.
class PLATFORM_API CTransformInputPin : public CBaseInputPin
{
public:
    CTransformInputPin(LPCSTR objectName, CTransformFilter* filter, HRESULT* result, LPCWSTR pinName);

    HRESULT CheckConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    /// CheckInputType, then CheckTransform against the output's type when the output is connected.
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType* type) override;
    /// Under the filter's receive lock: the base checks, then the filter's Receive.
    STDMETHODIMP Receive(IMediaSample* sample) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

protected:
    CTransformFilter* m_pTransformFilter;
};

/// The output pin of a transform filter: it connects only after the input and offers the filter's types.
class PLATFORM_API CTransformOutputPin : public CBaseOutputPin
{
public:
    CTransformOutputPin(LPCSTR objectName, CTransformFilter* filter, HRESULT* result, LPCWSTR pinName);

    HRESULT CheckConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    /// E_UNEXPECTED while the input is not connected, else the filter's CheckTransform.
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType* type) override;
    /// E_UNEXPECTED while the input is not connected, else the filter's GetMediaType.
    HRESULT GetMediaType(int position, CMediaType* type) override;

protected:
    CTransformFilter* m_pTransformFilter;
};

/// A filter with one input and one output pin ("XForm In", "XForm Out", found as "In" and "Out") that
/// turns each input sample into one output sample. Receive takes a buffer from the output pin, copies the
/// input's times and flags to it, calls Transform and delivers the result (S_FALSE from Transform drops
/// the sample); the buffer is released on every path. Streaming starts at Pause from stopped
/// (StartStreaming) and ends at Stop (StopStreaming), both under the receive lock.
class PLATFORM_API CTransformFilter : public CBaseFilter
{
public:
    CTransformFilter(LPCSTR name, LPUNKNOWN outer, REFCLSID classId);
    ~CTransformFilter() override;

    int GetPinCount() override;
    CBasePin* GetPin(int index) override;
    STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;

    virtual HRESULT Transform(IMediaSample* in, IMediaSample* out);
    virtual HRESULT CheckInputType(const CMediaType* type) = 0;
    virtual HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) = 0;
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
    virtual HRESULT GetMediaType(int position, CMediaType* type) = 0;
    virtual HRESULT StartStreaming();
    virtual HRESULT StopStreaming();
    virtual HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* type);
    virtual HRESULT CheckConnect(PIN_DIRECTION direction, IPin* pin);
    virtual HRESULT BreakConnect(PIN_DIRECTION direction);
    virtual HRESULT CompleteConnect(PIN_DIRECTION direction, IPin* receivePin);
    virtual HRESULT Receive(IMediaSample* sample);
    virtual HRESULT EndOfStream();
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();
    virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    /// The filter's state lock and the lock that serialises Receive with streaming changes.
    CCritSec m_csFilter;
    CCritSec m_csReceive;

protected:
    /// A delivery buffer carrying the input's times, sync point, discontinuity, preroll and media times.
    HRESULT InitializeOutputSample(IMediaSample* sample, IMediaSample** out);
    /// Makes the two pins if they do not exist; false when out of memory.
    bool CreatePins();

    bool m_bEOSDelivered = false;
    bool m_bSampleSkipped = false;
    CTransformInputPin* m_pInput = nullptr;
    CTransformOutputPin* m_pOutput = nullptr;

    friend class CTransformInputPin;
    friend class CTransformOutputPin;
};
