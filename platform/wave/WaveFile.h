#pragma once

#include "platform/win/Export.h"
#include "platform/win/WaveFormat.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

constexpr WORD WAVE_FORMAT_IEEE_FLOAT = 0x0003;
constexpr WORD WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

/// Our reader of RIFF/WAVE sound files, shared by PlaySound and whoever needs a sound file's length.
///
/// Accepted: PCM of 8 (unsigned), 16, 24 or 32 bits and IEEE float of 32 bits, little-endian, 1 to 8
/// channels, 1 to 384000 frames per second; WAVE_FORMAT_EXTENSIBLE with a PCM or float sub-format (the
/// container size counts, valid bits may be fewer). Every chunk must lie within the RIFF chunk and the RIFF
/// chunk within the file; the format chunk must come before the data chunk. A partial frame at the end of
/// the data is left out. Anything else is refused with a message saying why; no function throws and all
/// may be called from any thread.
namespace platform::wave
{
/// Files at most this fast; the fastest rate PulseAudio plays.
constexpr std::uint32_t kMaxWaveRate = 384000;
constexpr WORD kMaxWaveChannels = 8;

/// Where a file's sound lies and how it is coded.
struct WaveLayout
{
    /// wFormatTag is WAVE_FORMAT_PCM or WAVE_FORMAT_IEEE_FLOAT (an extensible file gives its sub-format
    /// here), wBitsPerSample the container size, nBlockAlign one frame of all channels, nAvgBytesPerSec
    /// recomputed from those, cbSize 0.
    WAVEFORMATEX format{};
    std::uint64_t dataOffset = 0; ///< byte offset of the first frame in the file
    std::uint64_t dataBytes = 0;  ///< whole frames only

    std::uint64_t Frames() const { return format.nBlockAlign ? dataBytes / format.nBlockAlign : 0; }
    /// The playing time, rounded down to whole milliseconds.
    std::uint64_t DurationMs() const
    {
        return format.nSamplesPerSec ? Frames() * 1000 / format.nSamplesPerSec : 0;
    }
};

/// A whole sound read into memory: `samples` holds exactly `layout.dataBytes` bytes as stored in the file.
struct WaveSound
{
    WaveLayout layout;
    std::vector<std::uint8_t> samples;
};

/// Reads the format and finds the sound data of the file at `path` (a regular file; devices and pipes are
/// refused without being read). False with the reason in `error` when the file is missing, unreadable,
/// truncated, malformed or of a format not listed above.
PLATFORM_API bool ReadWaveLayout(const std::string& path, WaveLayout& layout, std::string& error);

/// ReadWaveLayout, then the sound data itself.
PLATFORM_API bool ReadWaveFile(const std::string& path, WaveSound& sound, std::string& error);

/// The playing time of the file at `path` in whole milliseconds (reads only its header); none when
/// ReadWaveLayout refuses it, with the reason in `error` when given.
PLATFORM_API std::optional<std::uint64_t> WaveFileDurationMs(const std::string& path,
                                                             std::string* error = nullptr);
} // namespace platform::wave
