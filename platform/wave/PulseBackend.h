#pragma once

#include "platform/win/Export.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

/// The PulseAudio capture sources as the audio layer sees them, shared by the wave-in functions and the
/// audio-mixer library. All functions may be called from any thread; they connect on first use to the
/// server named by `PULSE_SERVER` (else the default one), reconnect when that changes or the connection
/// dies, wait at most a few seconds for the server, and report failure by an empty result or false.
namespace platform::wave
{
/// The source volume that stands for 100 %.
constexpr std::uint32_t kVolumeNorm = 0x10000;

struct SourceInfo
{
    std::uint32_t index = 0;
    std::string name;        ///< the server's name of the source
    std::string description; ///< the name shown to people (UTF-8)
    std::string vendorId;    ///< USB vendor id as 4 lower-case hex digits, empty when unknown
    std::string productId;   ///< USB product id as 4 lower-case hex digits, empty when unknown
    std::string serial;      ///< the device's serial or bus path, empty when unknown
    std::uint32_t rate = 0;
    std::uint8_t channels = 0;
    std::vector<std::uint32_t> volume; ///< per channel, kVolumeNorm = 100 %
    bool muted = false;
};

/// The capture sources (monitors of sinks left out) in the server's index order; empty without a server.
PLATFORM_API std::vector<SourceInfo> ListCaptureSources();
/// The server's default source when it is a capture source, else the first one.
PLATFORM_API std::optional<SourceInfo> DefaultCaptureSource();
/// A capture source by its server name.
PLATFORM_API std::optional<SourceInfo> FindCaptureSource(const std::string& name);
/// Sets every channel of the source to `volume`.
PLATFORM_API bool SetSourceVolume(const std::string& name, std::uint32_t volume);
/// Sets the channels one by one; the count must be the source's channel count.
PLATFORM_API bool SetSourceChannelVolumes(const std::string& name, const std::vector<std::uint32_t>& volume);
PLATFORM_API bool SetSourceMute(const std::string& name, bool muted);

/// The average of the channel volumes (0 for none).
PLATFORM_API std::uint32_t AverageVolume(const std::vector<std::uint32_t>& volume);

/// A peak meter on one source: a small record stream in which the server sends one peak per 1/30 s.
/// The peak is 0 to 1 (linear, after the source's volume and mute); it falls to 0 when the source goes
/// away. Stops on destruction.
class PLATFORM_API PeakMeter
{
public:
    explicit PeakMeter(const std::string& sourceName);
    ~PeakMeter();
    PeakMeter(const PeakMeter&) = delete;
    PeakMeter& operator=(const PeakMeter&) = delete;

    /// Whether the stream runs (false when the source was not found or has gone away).
    bool IsRunning() const;
    /// The highest peak since the last call (the latest one when none came in between).
    float TakePeak();

private:
    struct Impl;
    std::shared_ptr<Impl> m_impl;
};
} // namespace platform::wave
