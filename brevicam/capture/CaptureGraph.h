#pragma once

#include "DeviceGraph.h"
#include "WindowlessRenderer.h"

#include "platform/dshow/DShow.h"

#include <cstddef>

/// The encoder values the recording graph gives the Windows Media Video 8 encoder: one process-wide
/// record, rewritten before each recording.
struct tagWMVEncoderConfig
{
    int bitRate;     ///< bits per second; 0 or less: computed from the input
    float frameRate; ///< for the bit-rate computation; 0: taken from the input type
    int keyDistance; ///< seconds between key frames
    int videoWindow; ///< buffer window in milliseconds
    int crispness;   ///< 0 to 100
    int vbrQuality;  ///< 0 to 100
    int complexity;
    int decoderComplexity; ///< 0 "MP", 1 "SP", 2 "CP"
    int vbrEnabled;
    DWORD fourCC;
};

extern tagWMVEncoderConfig g_wmvEncoderConfig;

/// Replaces every occurrence of `pattern` in the wide text `text`, which lives in a buffer of `capacity`
/// characters; replacements are not scanned again. A result that would not fit is cut to the buffer.
void ReplaceAllWide(wchar_t* text, std::size_t capacity, const wchar_t* pattern, const wchar_t* replacement);

/// Thrown by value by the capture graph; only catch-all handlers receive it.
enum EGraphError
{
    GE_AUDIO_NOT_CONNECTED = 1, ///< the microphone cannot be connected to the ASF writer
    GE_NO_GRAPH_BUILDER = 2,    ///< the capture graph builder cannot be made
};

/// The one capture graph of the program, owned by the capture controller for the whole run: mode 0
/// shows the live picture, mode 1 also records a WMV file. Only the filters change between modes; the
/// Filter Graph Manager and the device lists stay. User-interface thread only, except that the property
/// dialogs of the capture filters are shown under the graph mutex.
class CCaptureGraph : public CDeviceGraph
{
public:
    static constexpr std::size_t kProfileXmlSize = 4096;
    /// Fewer free bytes than this in the video folder's volume refuse a recording.
    static constexpr ULONGLONG kMinRecordingSpace = 10485760;

    /// Lists the devices and selects those of the settings (or the webcam's own microphone). Throws
    /// CAtlException when the graph cannot be made and `_com_error` when the devices cannot be listed.
    CCaptureGraph();
    ~CCaptureGraph();

    /// Builds mode 0 (preview) or 1 (recording); nothing when that mode is built already. Failures are
    /// thrown: CMissingVideoException, CMissingModuleException, CVMRInitException, CVideoCaptureException,
    /// CVideoInUseException, CNotEnoughSpaceException, CFolderMissing, CAtlException, `_com_error`,
    /// EGraphError. The filters made so far stay in the graph until TearDown.
    bool SetGraphMode(int mode);
    /// Removes and frees every filter of the graph; callers stop the graph first.
    bool TearDown();
    bool Stop();
    /// Kind 0 the audio capture filter, 1 the video capture filter: its settings, under the graph mutex.
    void ShowFilterProperties(int kind, HWND owner);
    /// The window the camera's snapshot button notifies.
    void SetOwnerWindow(HWND owner);

    CResolution GetResolution() const { return m_currentResolution; }
    /// Sets the capture size used by the next build (all three fields).
    void SetResolution(const CResolution& size) { m_currentResolution = size; }
    /// The largest offered size that is not interpolated; 0 x 0 when there is none.
    CResolution GetLargestNativeResolution() const;
    /// -1 without a native size; 1 when the size is scaled up from a smaller native one; else 0.
    int IsInterpolated(const CResolution& size) const;
    static bool IsAlwaysInterpolated(const CResolution& size);
    /// The size captured when the chosen one is interpolated.
    CResolution GetFallbackCaptureSize() const;
    int GetGraphMode() const { return m_nGraphMode; }
    bool IsBuilt() const { return m_bBuilt; }
    bool IsAudioAvailable() const { return m_bAudioAvailable; }
    CWindowlessRenderer* GetRenderer() const { return m_pRenderer; }

    /// Model 18 captures its larger sizes at 15 frames per second.
    static bool IsReducedRateSize(int width, int height);

    /// Width and height from a size text such as "640 x 480" (cut at blanks and "x"; a missing or
    /// non-numeric part reads as 0).
    static void ParseResolutionText(const CString& text, int* width, int* height);

    /// The recording profile's values: the video size text's width and height, the quality of the
    /// "VideoQuality" setting and the frame time for `current`, read under the settings lock.
    static void GetProfileValues(const CResolution& current, int* width, int* height, int* quality,
                                 long long* frameTime);
    /// Fills `buffer` (kProfileXmlSize wide characters) with the profile template and its values.
    static void BuildProfileXml(wchar_t* buffer, int width, int height, int quality, long long frameTime);

    /// Bit rate (when not configured), encoder properties and output type of the encoder DMO.
    static HRESULT SetEncoderTypes(IMediaObject* encoder, AM_MEDIA_TYPE* input, AM_MEDIA_TYPE* output);
    static HRESULT MakeEncoderOutputType(IMediaObject* encoder, const AM_MEDIA_TYPE* input,
                                         const tagWMVEncoderConfig* config, AM_MEDIA_TYPE* output);
    static HRESULT SetEncoderProperties(IMediaObject* encoder, const tagWMVEncoderConfig* config);
    static HRESULT ComputeBitRate(const AM_MEDIA_TYPE* input, double frameRate, tagWMVEncoderConfig* config);

    /// The connection steps of a build, public for the capture controller's checks.
    static HRESULT ConnectFilters(IBaseFilter* upstream, IBaseFilter* downstream, IGraphBuilder* graph,
                                  AM_MEDIA_TYPE* type);
    static HRESULT FindPinByMajorType(IBaseFilter* filter, PIN_DIRECTION direction, const GUID& majorType,
                                      IPin** pin);
    static HRESULT FindFirstPin(IBaseFilter* filter, PIN_DIRECTION direction, IPin** pin);
    static void ProbeCaptureType(IGraphBuilder* graph, IBaseFilter* upstream, AM_MEDIA_TYPE* type);

private:
    void SelectDevicesFromSettings();
    void BuildFilters(int mode);
    void ConfigureAsfWriter();
    void ConnectStreams();
    void SetCaptureFrameRate(float framesPerSecond, ICaptureGraphBuilder2* builder);
    void EnableStreamOffsetSync();
    void TapStillPin(ICaptureGraphBuilder2* builder);
    CString ChooseVideoFileName();
    template <class T> void RemoveHolder(T*& holder);

    int m_nGraphMode;
    bool m_bAudioAvailable;
    HANDLE m_hGraphMutex;
    CDSFilter* m_pSmartTee;
    CDSFilter* m_pColourConverter;
    CWindowlessRenderer* m_pRenderer;
    SnapShotCallback m_snapShotCallback;
    CDSFilter* m_pNullRenderer;
    CDSFilter* m_pAsfWriter;
    HWND m_hOwnerWindow;
    AM_MEDIA_TYPE m_captureMediaType;
    AM_MEDIA_TYPE m_encoderOutputMediaType;
};
