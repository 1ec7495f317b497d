#pragma once

#include "platform/dshowbase/ComBase.h"
#include "platform/dshowbase/Interfaces.h"
#include "platform/dshowbase/MediaType.h"
#include "platform/win/Export.h"

#include <string>
#include <vector>

class CBasePin;
struct AMOVIESETUP_FILTER;

/// A media filter: its state (stopped, paused, running), clock, graph and pins. Derived classes give the
/// pins through GetPinCount and GetPin; the pins are part of the filter and share its reference count.
/// State changes take the filter lock given at construction. Stop makes every connected pin inactive,
/// Pause from stopped makes them active (committing allocators).
class PLATFORM_API CBaseFilter : public CUnknown, public IBaseFilter
{
public:
    CBaseFilter(LPCSTR name, LPUNKNOWN outer, CCritSec* lock, REFCLSID classId);
    CBaseFilter(LPCSTR name, LPUNKNOWN outer, CCritSec* lock, REFCLSID classId, HRESULT* result);
    ~CBaseFilter() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

    STDMETHODIMP GetClassID(CLSID* classId) override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME start) override;
    STDMETHODIMP GetState(DWORD timeoutMs, FILTER_STATE* state) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
    STDMETHODIMP EnumPins(IEnumPins** pins) override;
    /// Finds a pin by its name.
    STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
    /// Keeps the graph pointer without a reference (the graph owns its filters).
    STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR* vendorInfo) override;

    /// The time since Run's start on the filter's clock; VFW_E_NO_CLOCK without a clock.
    virtual HRESULT StreamTime(REFERENCE_TIME& streamTime);
    BOOL IsActive();
    BOOL IsStopped();

    virtual int GetPinCount() = 0;
    /// The pin at `index` (no reference added), NULL past the last.
    virtual CBasePin* GetPin(int index) = 0;
    /// The filter's registration data; NULL when it has none.
    virtual const AMOVIESETUP_FILTER* GetSetupData();

protected:
    FILTER_STATE m_State = State_Stopped;
    IReferenceClock* m_pClock = nullptr;
    REFERENCE_TIME m_tStart = 0;
    CLSID m_clsid;
    CCritSec* m_pLock;
    std::wstring m_pName;
    IFilterGraph* m_pGraph = nullptr;
};

/// A pin: connection, media type negotiation and the stream notifications. Derived classes check and
/// offer media types (CheckMediaType, GetMediaType) and hook connection and activation. Connecting and
/// disconnecting take the filter lock; they are refused while the filter is not stopped.
class PLATFORM_API CBasePin : public CUnknown, public IPin
{
public:
    CBasePin(LPCSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* result, LPCWSTR pinName,
             PIN_DIRECTION direction);
    ~CBasePin() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;
    /// The pin lives and dies with its filter: references go to the filter.
    STDMETHODIMP_(ULONG) NonDelegatingAddRef() override;
    STDMETHODIMP_(ULONG) NonDelegatingRelease() override;

    STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** pin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
    STDMETHODIMP QueryId(LPWSTR* id) override;
    /// S_OK when CheckMediaType accepts the type, S_FALSE otherwise.
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
    STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    /// S_OK accepts the type; anything else refuses it.
    virtual HRESULT CheckMediaType(const CMediaType* type) = 0;
    /// Records the connection's type.
    virtual HRESULT SetMediaType(const CMediaType* type);
    /// Refuses a pin of the same direction.
    virtual HRESULT CheckConnect(IPin* pin);
    virtual HRESULT BreakConnect();
    virtual HRESULT CompleteConnect(IPin* receivePin);
    /// The preferred type at `position`: S_OK, VFW_S_NO_MORE_ITEMS past the last, or a failure.
    virtual HRESULT GetMediaType(int position, CMediaType* type);
    virtual HRESULT Active();
    virtual HRESULT Inactive();
    virtual HRESULT Run(REFERENCE_TIME start);

    BOOL IsConnected() const { return m_Connected != nullptr; }
    IPin* GetConnected() const { return m_Connected; }
    BOOL IsStopped() { return m_pFilter->IsStopped(); }
    LPCWSTR Name() const { return m_pName.c_str(); }
    const CMediaType& CurrentMediaType() const { return m_mt; }
    REFERENCE_TIME CurrentStartTime() const { return m_tStart; }
    REFERENCE_TIME CurrentStopTime() const { return m_tStop; }
    double CurrentRate() const { return m_dRate; }

protected:
    HRESULT AgreeMediaType(IPin* receivePin, const CMediaType* type);
    HRESULT TryMediaTypes(IPin* receivePin, const CMediaType* type, IEnumMediaTypes* types,
                          HRESULT* specific);
    HRESULT AttemptConnection(IPin* receivePin, const CMediaType* type);
    HRESULT DisconnectInternal();

    std::wstring m_pName;
    IPin* m_Connected = nullptr;
    PIN_DIRECTION m_dir;
    CCritSec* m_pLock;
    bool m_bRunTimeError = false;
    /// Offer this pin's own types before the other pin's when connecting.
    bool m_bTryMyTypesFirst = false;
    CBaseFilter* m_pFilter;
    CMediaType m_mt;
    REFERENCE_TIME m_tStart = 0;
    REFERENCE_TIME m_tStop = 0x7FFFFFFFFFFFFFFFLL;
    double m_dRate = 1.0;
};

/// An input pin that receives samples by IMemInputPin. It offers a memory allocator to the output pin
/// it connects to; Receive checks the streaming state and takes on a media type attached to a sample.
class PLATFORM_API CBaseInputPin : public CBasePin, public IMemInputPin
{
public:
    CBaseInputPin(LPCSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* result, LPCWSTR pinName);
    ~CBaseInputPin() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

    STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
    /// S_OK when the sample may be processed: VFW_E_WRONG_STATE while stopped, S_FALSE while flushing,
    /// VFW_E_INVALIDMEDIATYPE for an attached type the pin refuses.
    STDMETHODIMP Receive(IMediaSample* sample) override;
    STDMETHODIMP ReceiveMultiple(IMediaSample** samples, long count, long* processed) override;
    STDMETHODIMP ReceiveCanBlock() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;

    HRESULT BreakConnect() override;
    HRESULT Inactive() override;
    /// S_OK while samples may flow, else the reason (see Receive).
    virtual HRESULT CheckStreaming();
    BOOL IsFlushing() const { return m_bFlushing; }
    BOOL IsReadOnly() const { return m_bReadOnly; }

protected:
    IMemAllocator* m_pAllocator = nullptr;
    BOOL m_bReadOnly = FALSE;
    BOOL m_bFlushing = FALSE;
};

/// An output pin that delivers samples to the IMemInputPin of the input pin it is connected to, from an
/// allocator agreed at connection (the input pin's when it has one, else one of its own).
class PLATFORM_API CBaseOutputPin : public CBasePin
{
public:
    CBaseOutputPin(LPCSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* result, LPCWSTR pinName);
    ~CBaseOutputPin() override;

    HRESULT CompleteConnect(IPin* receivePin) override;
    /// Also requires the other pin's IMemInputPin.
    HRESULT CheckConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    virtual HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator);
    /// Sets the allocator's properties for this connection.
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
    virtual HRESULT InitAllocator(IMemAllocator** allocator);
    /// A free sample of the agreed allocator (waiting for one when all are out).
    virtual HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                      DWORD flags);
    /// Hands a sample to the connected input pin; its result.
    virtual HRESULT Deliver(IMediaSample* sample);
    virtual HRESULT DeliverEndOfStream();
    virtual HRESULT DeliverBeginFlush();
    virtual HRESULT DeliverEndFlush();
    virtual HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    /// Stream notifications do not travel upstream: E_UNEXPECTED.
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;

    IMemInputPin* m_pInputPin = nullptr;

protected:
    IMemAllocator* m_pAllocator = nullptr;
};

/// Enumerates a filter's pins; holds a reference to the filter.
class PLATFORM_API CEnumPins final : public IEnumPins
{
public:
    CEnumPins(CBaseFilter* filter, const CEnumPins* copy);
    virtual ~CEnumPins();

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumPins** clone) override;

private:
    std::atomic<LONG> m_cRef{0};
    int m_position = 0;
    CBaseFilter* m_pFilter;
};

/// Enumerates a pin's preferred media types through its GetMediaType; holds a reference to the pin.
class PLATFORM_API CEnumMediaTypes final : public IEnumMediaTypes
{
public:
    CEnumMediaTypes(CBasePin* pin, const CEnumMediaTypes* copy);
    virtual ~CEnumMediaTypes();

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumMediaTypes** clone) override;

private:
    std::atomic<LONG> m_cRef{0};
    int m_position = 0;
    CBasePin* m_pPin;
};
