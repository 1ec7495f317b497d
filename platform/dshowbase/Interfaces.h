#pragma once

#include "platform/com/Unknown.h"
#include "platform/win/WinTypes.h"

/// The interfaces through which media filters, their pins, allocators and samples talk to each other.
/// Samples flow downstream by push: an output pin takes a buffer from the allocator agreed with the input
/// pin it is connected to, fills it and hands it to that pin's IMemInputPin::Receive on the streaming
/// thread. State changes and connections happen on the application's thread.

/// Media time in units of 100 ns.
using REFERENCE_TIME = LONGLONG;
constexpr REFERENCE_TIME UNITS = 10000000;

// Result codes of media filters, with the values Windows gives them.
constexpr HRESULT VFW_S_NO_MORE_ITEMS = 0x00040103;
constexpr HRESULT VFW_S_NO_STOP_TIME = 0x00040270;
constexpr HRESULT VFW_E_INVALIDMEDIATYPE = static_cast<HRESULT>(0x80040200u);
constexpr HRESULT VFW_E_ENUM_OUT_OF_SYNC = static_cast<HRESULT>(0x80040203u);
constexpr HRESULT VFW_E_ALREADY_CONNECTED = static_cast<HRESULT>(0x80040204u);
constexpr HRESULT VFW_E_FILTER_ACTIVE = static_cast<HRESULT>(0x80040205u);
constexpr HRESULT VFW_E_NO_ACCEPTABLE_TYPES = static_cast<HRESULT>(0x80040207u);
constexpr HRESULT VFW_E_INVALID_DIRECTION = static_cast<HRESULT>(0x80040208u);
constexpr HRESULT VFW_E_NOT_CONNECTED = static_cast<HRESULT>(0x80040209u);
constexpr HRESULT VFW_E_NO_ALLOCATOR = static_cast<HRESULT>(0x8004020Au);
constexpr HRESULT VFW_E_RUNTIME_ERROR = static_cast<HRESULT>(0x8004020Bu);
constexpr HRESULT VFW_E_BUFFER_NOTSET = static_cast<HRESULT>(0x8004020Cu);
constexpr HRESULT VFW_E_BUFFER_OVERFLOW = static_cast<HRESULT>(0x8004020Du);
constexpr HRESULT VFW_E_BADALIGN = static_cast<HRESULT>(0x8004020Eu);
constexpr HRESULT VFW_E_ALREADY_COMMITTED = static_cast<HRESULT>(0x8004020Fu);
constexpr HRESULT VFW_E_BUFFERS_OUTSTANDING = static_cast<HRESULT>(0x80040210u);
constexpr HRESULT VFW_E_NOT_COMMITTED = static_cast<HRESULT>(0x80040211u);
constexpr HRESULT VFW_E_SIZENOTSET = static_cast<HRESULT>(0x80040212u);
constexpr HRESULT VFW_E_NO_CLOCK = static_cast<HRESULT>(0x80040213u);
constexpr HRESULT VFW_E_NOT_FOUND = static_cast<HRESULT>(0x80040216u);
constexpr HRESULT VFW_E_CANNOT_CONNECT = static_cast<HRESULT>(0x80040217u);
constexpr HRESULT VFW_E_NOT_STOPPED = static_cast<HRESULT>(0x80040224u);
constexpr HRESULT VFW_E_WRONG_STATE = static_cast<HRESULT>(0x80040227u);
constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = static_cast<HRESULT>(0x8004022Au);
constexpr HRESULT VFW_E_TIMEOUT = static_cast<HRESULT>(0x8004022Eu);
constexpr HRESULT VFW_E_SAMPLE_REJECTED_EOS = static_cast<HRESULT>(0x8004022Cu);
constexpr HRESULT VFW_E_SAMPLE_TIME_NOT_SET = static_cast<HRESULT>(0x80040249u);

DEFINE_GUID(IID_IReferenceClock, 0x56A86897, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IFilterGraph, 0x56A8689F, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IMediaFilter, 0x56A86899, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IBaseFilter, 0x56A86895, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IPin, 0x56A86891, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IEnumPins, 0x56A86892, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IEnumMediaTypes, 0x89C31040, 0x846B, 0x11CE, 0x97, 0xD3, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A);
DEFINE_GUID(IID_IMemInputPin, 0x56A8689D, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IMemAllocator, 0x56A8689C, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IMediaSample, 0x56A8689A, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(CLSID_MemoryAllocator, 0x1E651CC0, 0xB199, 0x11D0, 0x82, 0x12, 0x00, 0xC0, 0x4F, 0xC3, 0x2C,
            0x45);

/// A media type: major type, subtype, sample layout and a format block (allocated with CoTaskMemAlloc,
/// owned by whoever owns the structure).
struct AM_MEDIA_TYPE
{
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown* pUnk;
    ULONG cbFormat;
    BYTE* pbFormat;
};

enum FILTER_STATE
{
    State_Stopped = 0,
    State_Paused = 1,
    State_Running = 2
};

enum PIN_DIRECTION
{
    PINDIR_INPUT = 0,
    PINDIR_OUTPUT = 1
};

struct ALLOCATOR_PROPERTIES
{
    long cBuffers;
    long cbBuffer;
    long cbAlign;
    long cbPrefix;
};

struct IBaseFilter;
struct IFilterGraph;
struct IPin;

struct PIN_INFO
{
    IBaseFilter* pFilter; // with a reference the caller releases
    PIN_DIRECTION dir;
    WCHAR achName[128];
};

struct FILTER_INFO
{
    WCHAR achName[128];
    IFilterGraph* pGraph; // with a reference the caller releases
};

struct IReferenceClock : IUnknown
{
    /// The clock's current time.
    STDMETHOD(GetTime)(REFERENCE_TIME* time) PURE;

protected:
    ~IReferenceClock() = default;
};

struct IEnumFilters;

/// The graph a filter belongs to; filters keep only a pointer to it, the program builds graphs through it.
struct IFilterGraph : IUnknown
{
    /// Adds a filter under a unique name (a taken name gets a number appended, VFW_S_DUPLICATE_NAME).
    STDMETHOD(AddFilter)(IBaseFilter* filter, LPCWSTR name) PURE;
    /// Disconnects the filter's pins on both sides and releases it; VFW_E_NOT_IN_GRAPH for a stranger.
    STDMETHOD(RemoveFilter)(IBaseFilter* filter) PURE;
    STDMETHOD(EnumFilters)(IEnumFilters** filters) PURE;
    STDMETHOD(FindFilterByName)(LPCWSTR name, IBaseFilter** filter) PURE;
    /// Connects an output pin to an input pin of filters in the graph, with `type` when given.
    STDMETHOD(ConnectDirect)(IPin* output, IPin* input, const AM_MEDIA_TYPE* type) PURE;
    STDMETHOD(Reconnect)(IPin* pin) PURE;
    /// Breaks this pin's side of a connection only.
    STDMETHOD(Disconnect)(IPin* pin) PURE;
    STDMETHOD(SetDefaultSyncSource)() PURE;

protected:
    ~IFilterGraph() = default;
};

struct IEnumPins : IUnknown
{
    STDMETHOD(Next)(ULONG count, IPin** pins, ULONG* fetched) PURE;
    STDMETHOD(Skip)(ULONG count) PURE;
    STDMETHOD(Reset)() PURE;
    STDMETHOD(Clone)(IEnumPins** clone) PURE;

protected:
    ~IEnumPins() = default;
};

struct IEnumMediaTypes : IUnknown
{
    /// Hands out types made with CreateMediaType; the caller frees them with DeleteMediaType.
    STDMETHOD(Next)(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) PURE;
    STDMETHOD(Skip)(ULONG count) PURE;
    STDMETHOD(Reset)() PURE;
    STDMETHOD(Clone)(IEnumMediaTypes** clone) PURE;

protected:
    ~IEnumMediaTypes() = default;
};

struct IMediaFilter : IPersist
{
    STDMETHOD(Stop)() PURE;
    STDMETHOD(Pause)() PURE;
    STDMETHOD(Run)(REFERENCE_TIME start) PURE;
    STDMETHOD(GetState)(DWORD timeoutMs, FILTER_STATE* state) PURE;
    STDMETHOD(SetSyncSource)(IReferenceClock* clock) PURE;
    STDMETHOD(GetSyncSource)(IReferenceClock** clock) PURE;

protected:
    ~IMediaFilter() = default;
};

struct IBaseFilter : IMediaFilter
{
    STDMETHOD(EnumPins)(IEnumPins** pins) PURE;
    STDMETHOD(FindPin)(LPCWSTR id, IPin** pin) PURE;
    STDMETHOD(QueryFilterInfo)(FILTER_INFO* info) PURE;
    STDMETHOD(JoinFilterGraph)(IFilterGraph* graph, LPCWSTR name) PURE;
    STDMETHOD(QueryVendorInfo)(LPWSTR* vendorInfo) PURE;

protected:
    ~IBaseFilter() = default;
};

struct IPin : IUnknown
{
    /// Called on an output pin: connects it to `receivePin`, with `type` when given (a type with
    /// GUID_NULL parts matches any value there).
    STDMETHOD(Connect)(IPin* receivePin, const AM_MEDIA_TYPE* type) PURE;
    /// Called by the output pin on the input pin it connects to.
    STDMETHOD(ReceiveConnection)(IPin* connector, const AM_MEDIA_TYPE* type) PURE;
    STDMETHOD(Disconnect)() PURE;
    STDMETHOD(ConnectedTo)(IPin** pin) PURE;
    STDMETHOD(ConnectionMediaType)(AM_MEDIA_TYPE* type) PURE;
    STDMETHOD(QueryPinInfo)(PIN_INFO* info) PURE;
    STDMETHOD(QueryDirection)(PIN_DIRECTION* direction) PURE;
    /// The pin's name in a buffer from CoTaskMemAlloc.
    STDMETHOD(QueryId)(LPWSTR* id) PURE;
    STDMETHOD(QueryAccept)(const AM_MEDIA_TYPE* type) PURE;
    STDMETHOD(EnumMediaTypes)(IEnumMediaTypes** types) PURE;
    STDMETHOD(QueryInternalConnections)(IPin** pins, ULONG* count) PURE;
    STDMETHOD(EndOfStream)() PURE;
    STDMETHOD(BeginFlush)() PURE;
    STDMETHOD(EndFlush)() PURE;
    STDMETHOD(NewSegment)(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) PURE;

protected:
    ~IPin() = default;
};

struct IMediaSample : IUnknown
{
    STDMETHOD(GetPointer)(BYTE** buffer) PURE;
    STDMETHOD_(long, GetSize)() PURE;
    /// S_OK with both times, VFW_S_NO_STOP_TIME with the start only (stop = start + 1),
    /// VFW_E_SAMPLE_TIME_NOT_SET without times.
    STDMETHOD(GetTime)(REFERENCE_TIME* start, REFERENCE_TIME* stop) PURE;
    /// NULL start clears the times.
    STDMETHOD(SetTime)(REFERENCE_TIME* start, REFERENCE_TIME* stop) PURE;
    STDMETHOD(IsSyncPoint)() PURE;
    STDMETHOD(SetSyncPoint)(BOOL syncPoint) PURE;
    STDMETHOD(IsPreroll)() PURE;
    STDMETHOD(SetPreroll)(BOOL preroll) PURE;
    STDMETHOD_(long, GetActualDataLength)() PURE;
    /// VFW_E_BUFFER_OVERFLOW for a length beyond the buffer's size.
    STDMETHOD(SetActualDataLength)(long length) PURE;
    /// S_FALSE with NULL when the type did not change since the previous sample.
    STDMETHOD(GetMediaType)(AM_MEDIA_TYPE** type) PURE;
    STDMETHOD(SetMediaType)(AM_MEDIA_TYPE* type) PURE;
    STDMETHOD(IsDiscontinuity)() PURE;
    STDMETHOD(SetDiscontinuity)(BOOL discontinuity) PURE;
    STDMETHOD(GetMediaTime)(LONGLONG* start, LONGLONG* end) PURE;
    STDMETHOD(SetMediaTime)(LONGLONG* start, LONGLONG* end) PURE;

protected:
    ~IMediaSample() = default;
};

// Flags of IMemAllocator::GetBuffer.
constexpr DWORD AM_GBF_PREVFRAMESKIPPED = 1;
constexpr DWORD AM_GBF_NOTASYNCPOINT = 2;
constexpr DWORD AM_GBF_NOWAIT = 4;

struct IMemAllocator : IUnknown
{
    /// Asks for buffers; *actual receives what the allocator will give. VFW_E_ALREADY_COMMITTED while
    /// committed, VFW_E_BUFFERS_OUTSTANDING while samples are out.
    STDMETHOD(SetProperties)(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) PURE;
    STDMETHOD(GetProperties)(ALLOCATOR_PROPERTIES* props) PURE;
    STDMETHOD(Commit)() PURE;
    /// Makes waiting and later GetBuffer calls fail with VFW_E_NOT_COMMITTED; the memory goes when the
    /// last sample comes back.
    STDMETHOD(Decommit)() PURE;
    /// A free sample (with a reference), waiting for one to come back when all are out; with
    /// AM_GBF_NOWAIT, VFW_E_TIMEOUT instead of waiting. VFW_E_NOT_COMMITTED when not committed.
    STDMETHOD(GetBuffer)
    (IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags) PURE;
    /// Called by a sample when its last reference goes.
    STDMETHOD(ReleaseBuffer)(IMediaSample* sample) PURE;

protected:
    ~IMemAllocator() = default;
};

struct IMemInputPin : IUnknown
{
    STDMETHOD(GetAllocator)(IMemAllocator** allocator) PURE;
    STDMETHOD(NotifyAllocator)(IMemAllocator* allocator, BOOL readOnly) PURE;
    STDMETHOD(GetAllocatorRequirements)(ALLOCATOR_PROPERTIES* props) PURE;
    /// Takes a sample on the streaming thread; the pin AddRefs it if it keeps it beyond the call.
    STDMETHOD(Receive)(IMediaSample* sample) PURE;
    STDMETHOD(ReceiveMultiple)(IMediaSample** samples, long count, long* processed) PURE;
    STDMETHOD(ReceiveCanBlock)() PURE;

protected:
    ~IMemInputPin() = default;
};
