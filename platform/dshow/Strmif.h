#pragma once

#include "platform/com/Unknown.h"
#include "platform/dshow/OleAuto.h"
#include "platform/dshowbase/Interfaces.h"
#include "platform/dshowbase/MediaType.h"
#include "platform/dshowbase/MediaTypes.h"
#include "platform/win/WinTypes.h"

/// The application side of the capture layer: the filter graph manager and its control and event
/// interfaces, the capture graph builder, the system device enumerator, stream configuration of capture
/// pins and file sinks. Graph, builder and enumerator are made with CoCreateInstance; every object may be
/// used from any thread, but one graph is meant to be driven from one (the user-interface) thread, while
/// its events are queued from streaming threads.

// Result codes of the graph, with the values Windows gives them.
constexpr HRESULT VFW_S_DUPLICATE_NAME = 0x0004022D;
constexpr HRESULT VFW_S_STATE_INTERMEDIATE = 0x00040237;
constexpr HRESULT VFW_S_CANT_CUE = 0x00040268;
constexpr HRESULT VFW_E_NOT_IN_GRAPH = static_cast<HRESULT>(0x8004025Fu);
constexpr HRESULT VFW_E_CANNOT_RENDER = static_cast<HRESULT>(0x80040218u);

/// The device's HRESULT when a camera is held by another program (ERROR_BUSY): Run of a graph fails with
/// it, since a camera can only be found busy when its stream starts.
constexpr HRESULT VFW_E_DEVICE_IN_USE = static_cast<HRESULT>(0x800700AAu);
/// Run fails with it when a device of the graph is gone (ERROR_DEVICE_NOT_CONNECTED).
constexpr HRESULT VFW_E_DEVICE_NOT_CONNECTED = static_cast<HRESULT>(0x8007048Fu);

DEFINE_GUID(CLSID_FilterGraph, 0xE436EBB3, 0x524F, 0x11CE, 0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(CLSID_CaptureGraphBuilder2, 0xBF87B6E1, 0x8C27, 0x11D0, 0xB3, 0xF0, 0x00, 0xAA, 0x00, 0x37, 0x61,
            0xC5);
DEFINE_GUID(CLSID_SystemDeviceEnum, 0x62BE5D10, 0x60EB, 0x11D0, 0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE,
            0x86);
DEFINE_GUID(CLSID_VideoInputDeviceCategory, 0x860BB310, 0x5D01, 0x11D0, 0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11,
            0xCE, 0x86);
DEFINE_GUID(CLSID_AudioInputDeviceCategory, 0x33D9A762, 0x90C8, 0x11D0, 0xBD, 0x43, 0x00, 0xA0, 0xC9, 0x11,
            0xCE, 0x86);
DEFINE_GUID(CLSID_SmartTee, 0xCC58E280, 0x8AA1, 0x11D1, 0xB3, 0xF1, 0x00, 0xAA, 0x00, 0x37, 0x61, 0xC5);
DEFINE_GUID(CLSID_Colour, 0x1643E180, 0x90F5, 0x11CE, 0x97, 0xD5, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A);
DEFINE_GUID(CLSID_NullRenderer, 0xC1F400A4, 0x3F08, 0x11D3, 0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37);
DEFINE_GUID(CLSID_WMAsfWriter, 0x7C23220E, 0x55BB, 0x11D3, 0x8B, 0x16, 0x00, 0xC0, 0x4F, 0xB6, 0xBD, 0x3D);

DEFINE_GUID(PIN_CATEGORY_CAPTURE, 0xFB6C4281, 0x0353, 0x11D1, 0x90, 0x5F, 0x00, 0x00, 0xC0, 0xCC, 0x16, 0xBA);
DEFINE_GUID(PIN_CATEGORY_PREVIEW, 0xFB6C4282, 0x0353, 0x11D1, 0x90, 0x5F, 0x00, 0x00, 0xC0, 0xCC, 0x16, 0xBA);
DEFINE_GUID(PIN_CATEGORY_STILL, 0xFB6C428A, 0x0353, 0x11D1, 0x90, 0x5F, 0x00, 0x00, 0xC0, 0xCC, 0x16, 0xBA);
DEFINE_GUID(LOOK_UPSTREAM_ONLY, 0xAC798BE0, 0x98E3, 0x11D1, 0xB3, 0xF1, 0x00, 0xAA, 0x00, 0x37, 0x61, 0xC5);
DEFINE_GUID(LOOK_DOWNSTREAM_ONLY, 0xAC798BE1, 0x98E3, 0x11D1, 0xB3, 0xF1, 0x00, 0xAA, 0x00, 0x37, 0x61, 0xC5);

DEFINE_GUID(MEDIATYPE_Interleaved, 0x73766169, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B,
            0x71);
inline constexpr GUID MEDIASUBTYPE_MJPG = FOURCCMap(MAKEFOURCC('M', 'J', 'P', 'G'));
inline constexpr GUID MEDIASUBTYPE_NV12 = FOURCCMap(MAKEFOURCC('N', 'V', '1', '2'));
inline constexpr GUID MEDIASUBTYPE_I420 = FOURCCMap(MAKEFOURCC('I', '4', '2', '0'));
inline constexpr GUID MEDIASUBTYPE_Y800 = FOURCCMap(MAKEFOURCC('Y', '8', '0', '0'));
inline constexpr GUID MEDIASUBTYPE_WMV2 = FOURCCMap(MAKEFOURCC('W', 'M', 'V', '2'));

DEFINE_GUID(IID_IGraphBuilder, 0x56A868A9, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IFilterGraph2, 0x36B73882, 0xC2C8, 0x11CF, 0x8B, 0x46, 0x00, 0x80, 0x5F, 0x6C, 0xEF, 0x60);
DEFINE_GUID(IID_IEnumFilters, 0x56A86893, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IMediaControl, 0x56A868B1, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IMediaEvent, 0x56A868B6, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IMediaEventEx, 0x56A868C0, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IAMGraphStreams, 0x632105FA, 0x072E, 0x11D3, 0x8A, 0xF9, 0x00, 0xC0, 0x4F, 0xB6, 0xBD, 0x3D);
DEFINE_GUID(IID_ICaptureGraphBuilder2, 0x93E5A4E0, 0x2D50, 0x11D2, 0xAB, 0xFA, 0x00, 0xA0, 0xC9, 0xC6, 0xE3,
            0x8D);
DEFINE_GUID(IID_ICreateDevEnum, 0x29840822, 0x5B84, 0x11D0, 0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86);
DEFINE_GUID(IID_IEnumMoniker, 0x00000102, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IMoniker, 0x0000000F, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IAMStreamConfig, 0xC6E13340, 0x30AC, 0x11D0, 0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56);
DEFINE_GUID(IID_IFileSinkFilter, 0xA2104830, 0x7C70, 0x11CF, 0x8B, 0xCE, 0x00, 0xAA, 0x00, 0xA3, 0xF1, 0xA6);

// Graph events (IMediaEvent::GetEvent codes), with the values Windows gives them.
constexpr long EC_COMPLETE = 0x01;
constexpr long EC_USERABORT = 0x02;
constexpr long EC_ERRORABORT = 0x03;
constexpr long EC_TIME = 0x04;
constexpr long EC_REPAINT = 0x05;
constexpr long EC_STREAM_ERROR_STOPPED = 0x06;
constexpr long EC_STREAM_ERROR_STILLPLAYING = 0x07;
constexpr long EC_ERROR_STILLPLAYING = 0x08;
constexpr long EC_PALETTE_CHANGED = 0x09;
constexpr long EC_VIDEO_SIZE_CHANGED = 0x0A;
constexpr long EC_QUALITY_CHANGE = 0x0B;
constexpr long EC_SHUTTING_DOWN = 0x0C;
constexpr long EC_CLOCK_CHANGED = 0x0D;
constexpr long EC_PAUSED = 0x0E;
constexpr long EC_OPENING_FILE = 0x10;
constexpr long EC_BUFFERING_DATA = 0x11;
constexpr long EC_FULLSCREEN_LOST = 0x12;
constexpr long EC_ACTIVATE = 0x13;
constexpr long EC_NEED_RESTART = 0x14;
constexpr long EC_WINDOW_DESTROYED = 0x15;
constexpr long EC_DISPLAY_CHANGED = 0x16;
constexpr long EC_STARVATION = 0x17;
constexpr long EC_OLE_EVENT = 0x18;
constexpr long EC_NOTIFY_WINDOW = 0x19;
constexpr long EC_STREAM_CONTROL_STOPPED = 0x1A;
constexpr long EC_STREAM_CONTROL_STARTED = 0x1B;
constexpr long EC_END_OF_SEGMENT = 0x1C;
constexpr long EC_SEGMENT_STARTED = 0x1D;
constexpr long EC_LENGTH_CHANGED = 0x1E;
constexpr long EC_DEVICE_LOST = 0x1F;

/// The graph's state as IMediaControl reports it (a FILTER_STATE value).
using OAFilterState = long;
/// A window handle or event handle carried through the automation-style interfaces.
using OAHWND = LONG_PTR;
using OAEVENT = LONG_PTR;

struct IEnumFilters : IUnknown
{
    STDMETHOD(Next)(ULONG count, IBaseFilter** filters, ULONG* fetched) PURE;
    STDMETHOD(Skip)(ULONG count) PURE;
    STDMETHOD(Reset)() PURE;
    STDMETHOD(Clone)(IEnumFilters** clone) PURE;

protected:
    ~IEnumFilters() = default;
};

/// The filter graph manager. Filters are owned by the graph from AddFilter to RemoveFilter.
struct IGraphBuilder : IFilterGraph
{
    /// Connects two pins, inserting no filter: our filters convert formats themselves.
    STDMETHOD(Connect)(IPin* output, IPin* input) PURE;
    STDMETHOD(Render)(IPin* output) PURE;
    STDMETHOD(RenderFile)(LPCWSTR file, LPCWSTR playList) PURE;
    STDMETHOD(AddSourceFilter)(LPCWSTR file, LPCWSTR name, IBaseFilter** filter) PURE;
    STDMETHOD(SetLogFile)(DWORD_PTR file) PURE;
    STDMETHOD(Abort)() PURE;
    STDMETHOD(ShouldOperationContinue)() PURE;

protected:
    ~IGraphBuilder() = default;
};

struct IFilterGraph2 : IGraphBuilder
{
    STDMETHOD(AddSourceFilterForMoniker)
    (struct IMoniker* moniker, struct IBindCtx* context, LPCWSTR name, IBaseFilter** filter) PURE;
    STDMETHOD(ReconnectEx)(IPin* pin, const AM_MEDIA_TYPE* type) PURE;
    STDMETHOD(RenderEx)(IPin* output, DWORD flags, DWORD* context) PURE;

protected:
    ~IFilterGraph2() = default;
};

/// Running, pausing and stopping the whole graph. Run from stopped builds the GStreamer pipeline of the
/// graph's connected filters and waits until it streams or fails: a camera held by another program
/// fails Run with VFW_E_DEVICE_IN_USE, a missing GStreamer element with REGDB_E_CLASSNOTREG. A Run
/// that does not complete within 5 s returns S_FALSE and GetState reports VFW_S_STATE_INTERMEDIATE.
struct IMediaControl : IUnknown
{
    STDMETHOD(Run)() PURE;
    STDMETHOD(Pause)() PURE;
    STDMETHOD(Stop)() PURE;
    /// S_OK with the state; VFW_S_STATE_INTERMEDIATE while a change is under way; VFW_S_CANT_CUE when
    /// paused with live sources.
    STDMETHOD(GetState)(LONG timeoutMs, OAFilterState* state) PURE;
    STDMETHOD(StopWhenReady)() PURE;

protected:
    ~IMediaControl() = default;
};

/// The graph's event queue. Events are queued from streaming threads: EC_ERRORABORT (parameter 1 the
/// failure's HRESULT: HRESULT_FROM_WIN32(ERROR_DISK_FULL) for a full disk; only the first failure of a
/// run is reported), EC_DEVICE_LOST (parameter 1 the device filter's IUnknown, parameter 2 0 when the
/// device went, 1 when it came back), EC_COMPLETE, EC_PAUSED. Each queued event posts the notify
/// window's message once.
struct IMediaEvent : IUnknown
{
    /// A manual-reset event handle (platform/win Kernel.h), signalled while events are queued; the graph
    /// owns it.
    STDMETHOD(GetEventHandle)(OAEVENT* handle) PURE;
    /// Takes the oldest event, waiting up to `timeoutMs`; E_ABORT when none came. The parameters must be
    /// given back with FreeEventParams.
    STDMETHOD(GetEvent)(long* code, LONG_PTR* param1, LONG_PTR* param2, long timeoutMs) PURE;
    STDMETHOD(WaitForCompletion)(long timeoutMs, long* code) PURE;
    STDMETHOD(CancelDefaultHandling)(long code) PURE;
    STDMETHOD(RestoreDefaultHandling)(long code) PURE;
    /// Releases the interface of an EC_DEVICE_LOST event.
    STDMETHOD(FreeEventParams)(long code, LONG_PTR param1, LONG_PTR param2) PURE;

protected:
    ~IMediaEvent() = default;
};

struct IMediaEventEx : IMediaEvent
{
    /// Posts `message` (wParam 0, lParam `instance`) to `window` for every queued event, through the
    /// poster installed with platform::dshow::SetMessagePoster; a null window stops the posts.
    STDMETHOD(SetNotifyWindow)(OAHWND window, long message, LONG_PTR instance) PURE;
    STDMETHOD(SetNotifyFlags)(long flags) PURE;
    STDMETHOD(GetNotifyFlags)(long* flags) PURE;

protected:
    ~IMediaEventEx() = default;
};

struct IAMGraphStreams : IUnknown
{
    STDMETHOD(FindUpstreamInterface)(IPin* pin, REFIID iid, void** object, DWORD flags) PURE;
    STDMETHOD(SyncUsingStreamOffset)(BOOL useOffset) PURE;
    STDMETHOD(SetMaxGraphLatency)(REFERENCE_TIME latency) PURE;

protected:
    ~IAMGraphStreams() = default;
};

struct IBindCtx;

/// A device of the system device enumerator.
struct IMoniker : IUnknown
{
    /// IID_IBaseFilter: makes the device's capture filter. Fails with VFW_E_DEVICE_NOT_CONNECTED when
    /// the device has gone since it was listed.
    STDMETHOD(BindToObject)(IBindCtx* context, IMoniker* left, REFIID iid, void** object) PURE;
    /// IID_IPropertyBag: "FriendlyName" and (video) "DevicePath", as VT_BSTR.
    STDMETHOD(BindToStorage)(IBindCtx* context, IMoniker* left, REFIID iid, void** object) PURE;
    /// S_OK when both name the same device, S_FALSE otherwise.
    STDMETHOD(IsEqual)(IMoniker* other) PURE;
    /// "@device:pnp:" and the device path, in memory from CoTaskMemAlloc.
    STDMETHOD(GetDisplayName)(IBindCtx* context, IMoniker* left, LPOLESTR* name) PURE;

protected:
    ~IMoniker() = default;
};

struct IEnumMoniker : IUnknown
{
    STDMETHOD(Next)(ULONG count, IMoniker** monikers, ULONG* fetched) PURE;
    STDMETHOD(Skip)(ULONG count) PURE;
    STDMETHOD(Reset)() PURE;
    STDMETHOD(Clone)(IEnumMoniker** clone) PURE;

protected:
    ~IEnumMoniker() = default;
};

/// The system device enumerator: CLSID_VideoInputDeviceCategory lists the cameras (virtual ones too
/// when enabled), CLSID_AudioInputDeviceCategory the microphones. Each call lists the devices anew.
struct ICreateDevEnum : IUnknown
{
    /// S_OK with an enumerator, or S_FALSE with NULL when the category has no device.
    STDMETHOD(CreateClassEnumerator)(REFCLSID category, IEnumMoniker** monikers, DWORD flags) PURE;

protected:
    ~ICreateDevEnum() = default;
};

/// Capabilities of one format of a video capture pin.
struct VIDEO_STREAM_CONFIG_CAPS
{
    GUID guid;
    ULONG VideoStandard;
    SIZE InputSize;
    SIZE MinCroppingSize;
    SIZE MaxCroppingSize;
    int CropGranularityX;
    int CropGranularityY;
    int CropAlignX;
    int CropAlignY;
    SIZE MinOutputSize;
    SIZE MaxOutputSize;
    int OutputGranularityX;
    int OutputGranularityY;
    int StretchTapsX;
    int StretchTapsY;
    int ShrinkTapsX;
    int ShrinkTapsY;
    LONGLONG MinFrameInterval;
    LONGLONG MaxFrameInterval;
    LONG MinBitsPerSecond;
    LONG MaxBitsPerSecond;
};

struct AUDIO_STREAM_CONFIG_CAPS
{
    GUID guid;
    ULONG MinimumChannels;
    ULONG MaximumChannels;
    ULONG ChannelsGranularity;
    ULONG MinimumBitsPerSample;
    ULONG MaximumBitsPerSample;
    ULONG BitsPerSampleGranularity;
    ULONG MinimumSampleFrequency;
    ULONG MaximumSampleFrequency;
    ULONG SampleFrequencyGranularity;
};

/// The output format of a capture pin (and of an encoder's output pin).
struct IAMStreamConfig : IUnknown
{
    /// Chooses the pin's format: the subtype and size must be one the device offers; the frame interval
    /// snaps to the nearest rate it offers at that size. VFW_E_INVALIDMEDIATYPE for a format the device
    /// does not deliver, VFW_E_NOT_STOPPED while the graph runs. Takes effect at the next run.
    STDMETHOD(SetFormat)(AM_MEDIA_TYPE* type) PURE;
    /// The current format, made with CreateMediaType (free with DeleteMediaType).
    STDMETHOD(GetFormat)(AM_MEDIA_TYPE** type) PURE;
    STDMETHOD(GetNumberOfCapabilities)(int* count, int* size) PURE;
    /// Format `index` at its fastest rate, with its VIDEO_STREAM_CONFIG_CAPS in `caps`.
    STDMETHOD(GetStreamCaps)(int index, AM_MEDIA_TYPE** type, BYTE* caps) PURE;

protected:
    ~IAMStreamConfig() = default;
};

struct IFileSinkFilter : IUnknown
{
    STDMETHOD(SetFileName)(LPCOLESTR fileName, const AM_MEDIA_TYPE* type) PURE;
    /// The name in memory from CoTaskMemAlloc; `type` may be NULL.
    STDMETHOD(GetCurFile)(LPOLESTR* fileName, AM_MEDIA_TYPE* type) PURE;

protected:
    ~IFileSinkFilter() = default;
};

/// The capture graph builder: finds capture, preview and still pins by category and connects streams.
struct ICaptureGraphBuilder2 : IUnknown
{
    STDMETHOD(SetFiltergraph)(IGraphBuilder* graph) PURE;
    STDMETHOD(GetFiltergraph)(IGraphBuilder** graph) PURE;
    STDMETHOD(SetOutputFileName)
    (const GUID* type, LPCOLESTR file, IBaseFilter** multiplexer, IFileSinkFilter** sink) PURE;
    /// The interface on the pin of `category` and major `type` of `filter` (or on the filter itself
    /// without a category); E_NOINTERFACE when there is none.
    STDMETHOD(FindInterface)
    (const GUID* category, const GUID* type, IBaseFilter* filter, REFIID iid, void** object) PURE;
    /// Connects the source's pin of `category` and `type` through `intermediate` (when given) to `sink`.
    /// A preview request on a camera without a preview pin splits its capture pin with a Smart Tee.
    STDMETHOD(RenderStream)
    (const GUID* category, const GUID* type, IUnknown* source, IBaseFilter* intermediate,
     IBaseFilter* sink) PURE;
    /// Holds back (start MAXLONGLONG) or releases (start NULL) the capture streams of the graph: the file
    /// stream into an ASF writer starts when it is released while the graph runs.
    STDMETHOD(ControlStream)
    (const GUID* category, const GUID* type, IBaseFilter* filter, REFERENCE_TIME* start, REFERENCE_TIME* stop,
     WORD startCookie, WORD stopCookie) PURE;
    STDMETHOD(AllocCapFile)(LPCOLESTR file, ULONGLONG size) PURE;
    STDMETHOD(CopyCaptureFile)(LPOLESTR oldFile, LPOLESTR newFile, int allowEscAbort, void* callback) PURE;
    STDMETHOD(FindPin)
    (IUnknown* source, PIN_DIRECTION direction, const GUID* category, const GUID* type, BOOL unconnected,
     int index, IPin** pin) PURE;

protected:
    ~ICaptureGraphBuilder2() = default;
};

DEFINE_GUID(IID_IAMVideoProcAmp, 0xC6E13360, 0x30AC, 0x11D0, 0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56);

/// A property the camera does not have (HRESULT_FROM_WIN32(ERROR_NOT_FOUND)).
constexpr HRESULT E_PROP_ID_UNSUPPORTED = static_cast<HRESULT>(0x80070490u);

enum VideoProcAmpProperty
{
    VideoProcAmp_Brightness = 0,
    VideoProcAmp_Contrast = 1,
    VideoProcAmp_Hue = 2,
    VideoProcAmp_Saturation = 3,
    VideoProcAmp_Sharpness = 4,
    VideoProcAmp_Gamma = 5,
    VideoProcAmp_ColorEnable = 6,
    VideoProcAmp_WhiteBalance = 7,
    VideoProcAmp_BacklightCompensation = 8,
    VideoProcAmp_Gain = 9
};

enum VideoProcAmpFlags
{
    VideoProcAmp_Flags_Auto = 0x1,
    VideoProcAmp_Flags_Manual = 0x2
};

/// The picture controls of a camera (its V4L2 controls), on the capture filter. Values take effect at
/// once, also while the graph runs, and stay with the camera.
struct IAMVideoProcAmp : IUnknown
{
    /// E_PROP_ID_UNSUPPORTED for a control the camera lacks. `capsFlags` tells whether it has an
    /// automatic mode (VideoProcAmp_Flags_Auto) besides the manual one.
    STDMETHOD(GetRange)
    (long property, long* min, long* max, long* step, long* defaultValue, long* capsFlags) PURE;
    /// E_INVALIDARG for a value out of range or not on a step.
    STDMETHOD(Set)(long property, long value, long flags) PURE;
    STDMETHOD(Get)(long property, long* value, long* flags) PURE;

protected:
    ~IAMVideoProcAmp() = default;
};
