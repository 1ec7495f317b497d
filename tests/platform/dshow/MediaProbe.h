#pragma once

#include <gtest/gtest.h>

#include <chrono>
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
    /// The longest time between two consecutive video frames of the file, in seconds: a camera that
    /// could not deliver for a while (a starved test camera on a loaded machine) leaves such a pause.
    double longestVideoGap = 0;
    std::vector<double> videoTimes; ///< of each video frame, in seconds

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

/// When a call began and when it returned.
struct CallSpan
{
    std::chrono::steady_clock::time_point began;
    std::chrono::steady_clock::time_point returned;
};

template <class Call> CallSpan Timed(Call&& call)
{
    CallSpan span;
    span.began = std::chrono::steady_clock::now();
    call();
    span.returned = std::chrono::steady_clock::now();
    return span;
}

/// Whether the file fits a recording started during `start` and ended during `end`: no shorter than from
/// the start's return to the end's beginning and no longer than from the start's beginning to the end's
/// return, each by at most `slackSeconds` (a frame or two and the file's own rounding). A loaded machine
/// lengthens the calls and the waits between them, never this relation. Frames carry the time they were
/// taken, so a camera that paused (the file shows its longest pause) may have missed up to that long at
/// each end: the file may be that much shorter, never longer.
testing::AssertionResult DurationFits(const MediaInfo& file, const CallSpan& start, const CallSpan& end,
                                      double slackSeconds = 0.25);
} // namespace testing_support
