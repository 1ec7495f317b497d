#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testing_support
{
/// What ffprobe and ffmpeg say about a media file.
struct MediaStream
{
    std::string type;
    std::string codec;
    int width = 0;
    int height = 0;
    double frameRate = 0;
};

struct MediaInfo
{
    bool readable = false;
    double duration = 0;
    std::vector<MediaStream> streams;
    const MediaStream* Stream(const std::string& type) const;
};

MediaInfo ProbeMedia(const std::filesystem::path& file);

/// Decodes every stream with ffmpeg; true when ffmpeg ends without an error. `videoFrames` receives
/// the number of decoded video frames.
bool DecodesCleanly(const std::filesystem::path& file, int* videoFrames, std::string* errors);

/// The frames of an animated GIF as ffprobe reads them.
struct GifProbe
{
    int frames = 0;
    int width = 0;
    int height = 0;
    std::vector<int> durations; ///< of each frame, in hundredths of a second
};

GifProbe ProbeGif(const std::filesystem::path& file);
} // namespace testing_support
