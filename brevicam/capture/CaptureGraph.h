#pragma once

#include "DeviceGraph.h"

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

/// The one capture graph of the program: mode 0 shows the live picture, mode 1 also records a WMV file.
class CCaptureGraph : public CDeviceGraph
{
public:
    static constexpr std::size_t kProfileXmlSize = 4096;

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
};
