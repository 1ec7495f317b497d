#pragma once

#include "Devices.h"

#include "platform/win/Export.h"

#include <gst/gst.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

namespace platform::dshow::gst
{
/// What a recording writes: WMV2 video (and WMA2 audio) in an ASF file.
struct RecordingFormat
{
    std::string path;
    /// The picture in the file; frames of another size are scaled to it.
    int width = 640;
    int height = 480;
    Fraction rate{30000, 1001};
    /// Quality-based variable bit rate from 1 to 100; 0 means constant `videoBitrate`.
    int quality = 0;
    int videoBitrate = 1000000;
    int keyFrameSeconds = 8;
    bool audio = false;
    int audioBitrate = 128000;
    int sampleRate = 44100;
    int channels = 2;
};

/// The recording branch of a running capture pipeline: `queue ! videoconvert ! videoscale ! videorate !
/// avenc_wmv2 ! identity single-segment=true ! queue ! avmux_asf` (and the same for audio with
/// `avenc_wmav2`) into our file sink. It is linked to the tees of a running pipeline when the file
/// stream starts and finished by EOS when it stops, while the preview goes on; a branch that waited
/// behind a closed valve from the start would give an unplayable file.
class PLATFORM_API RecordingBin
{
public:
    /// Null with `missing` naming the first absent element factory.
    static std::unique_ptr<RecordingBin> Create(const RecordingFormat& format, std::string* missing);
    ~RecordingBin();
    RecordingBin(const RecordingBin&) = delete;
    RecordingBin& operator=(const RecordingBin&) = delete;

    /// Adds the bin to the running `pipeline`, shifts its input so that the file starts at 0, and links
    /// it to new request pads of `videoTee` and (with audio) `audioTee`. False when it cannot start.
    bool Attach(GstElement* pipeline, GstElement* videoTee, GstElement* audioTee);
    bool IsAttached() const { return m_pipeline != nullptr; }
    /// Unlinks the bin, sends EOS into it and waits up to `timeout` for the file sink to receive it,
    /// then removes it. True when the file was finished. Safe to call again or without Attach.
    bool Finish(std::chrono::milliseconds timeout);
    /// The bin, for telling its messages apart.
    GstElement* Bin() const { return m_bin; }
    GstElement* FileSink() const { return m_sink; }

private:
    RecordingBin() = default;
    void OnEos();

    GstElement* m_bin = nullptr;
    GstElement* m_sink = nullptr;
    GstElement* m_pipeline = nullptr;
    GstPad* m_videoInput = nullptr;
    GstPad* m_audioInput = nullptr;
    GstElement* m_videoTee = nullptr;
    GstElement* m_audioTee = nullptr;
    GstPad* m_videoTeePad = nullptr;
    GstPad* m_audioTeePad = nullptr;
    std::mutex m_lock;
    std::condition_variable m_eosSeen;
    bool m_eos = false;
};
} // namespace platform::dshow::gst
