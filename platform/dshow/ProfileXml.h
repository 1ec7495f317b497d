#pragma once

#include "platform/dshowbase/Interfaces.h"
#include "platform/win/Export.h"

#include <optional>
#include <string>

namespace platform::dshow
{
struct AudioStream
{
    int bitrate = 128016;
    int sampleRate = 44100;
    int channels = 2;
};

struct VideoStream
{
    int bitrate = 1000000;
    bool vbr = false;
    int quality = 0;
    /// Longest time between key frames, in 100 ns units.
    REFERENCE_TIME keyFrameSpacing = 80000000;
    int width = 0;
    int height = 0;
    REFERENCE_TIME frameTime = 333667;
    /// "WMV2" and so on.
    std::string compression = "WMV2";
};

/// What the ASF writer takes from a Windows Media profile.
struct Profile
{
    std::string name;
    std::optional<AudioStream> audio;
    std::optional<VideoStream> video;
};

/// Reads a profile's XML text (UTF-8): a "profile" element with "streamconfig" elements of the audio
/// and the video major type. False for text that is not such a profile, for a stream whose numbers are
/// missing or not numbers (a placeholder left in), for a video stream without a positive size or frame
/// time, and for codecs other than Windows Media Audio 2 and Video 8 (WMV2).
PLATFORM_API bool ParseProfileXml(const std::string& xml, Profile* profile);
} // namespace platform::dshow
