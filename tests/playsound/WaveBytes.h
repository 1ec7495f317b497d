#pragma once

#include <cmath>
#include <cstdint>
#include <string>

// Builds RIFF/WAVE files byte by byte, including malformed ones.
namespace wave_bytes
{
inline std::string Le16(unsigned v)
{
    return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

inline std::string Le32(std::uint32_t v)
{
    return Le16(v & 0xFFFF) + Le16(v >> 16);
}

/// A chunk with its header; an odd-sized body gets its pad byte. `claimed` overrides the size field.
inline std::string Chunk(const std::string& id, const std::string& body, long long claimed = -1)
{
    const auto size =
        static_cast<std::uint32_t>(claimed >= 0 ? claimed : static_cast<long long>(body.size()));
    return id + Le32(size) + body + (body.size() % 2 ? std::string(1, '\0') : std::string());
}

/// The 16-byte body of a plain format chunk; `blockAlign` 0 means the matching one.
inline std::string FormatBody(unsigned tag, unsigned channels, std::uint32_t rate, unsigned bits,
                              unsigned blockAlign = 0)
{
    if (blockAlign == 0)
        blockAlign = channels * bits / 8;
    return Le16(tag) + Le16(channels) + Le32(rate) + Le32(rate * blockAlign) + Le16(blockAlign) + Le16(bits);
}

inline const std::string kSubFormatTail("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);

/// The 40-byte body of an extensible format chunk with the sub-format `subTag`.
inline std::string ExtensibleBody(unsigned subTag, unsigned channels, std::uint32_t rate, unsigned bits,
                                  unsigned validBits, const std::string& guidTail = kSubFormatTail)
{
    return FormatBody(0xFFFE, channels, rate, bits) + Le16(22) + Le16(validBits) + Le32(0) + Le16(subTag) +
           guidTail;
}

/// A RIFF/WAVE file around `chunks`; `claimed` overrides the RIFF size field.
inline std::string Riff(const std::string& chunks, long long claimed = -1)
{
    return Chunk("RIFF", "WAVE" + chunks, claimed);
}

/// `bytes` of recognisable sample data.
inline std::string Pattern(std::size_t bytes)
{
    std::string data(bytes, '\0');
    for (std::size_t i = 0; i < bytes; ++i)
        data[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    return data;
}

/// A plain 16-bit PCM file of a sine at three quarters of full scale.
inline std::string Tone(std::uint32_t rate, unsigned channels, std::uint32_t frames, double frequency = 440)
{
    std::string data;
    data.reserve(static_cast<std::size_t>(frames) * channels * 2);
    for (std::uint32_t i = 0; i < frames; ++i)
    {
        const auto v = static_cast<int>(std::lround(24000 * std::sin(2 * M_PI * frequency * i / rate)));
        for (unsigned c = 0; c < channels; ++c)
            data += Le16(static_cast<unsigned>(v) & 0xFFFF);
    }
    return Riff(Chunk("fmt ", FormatBody(1, channels, rate, 16)) + Chunk("data", data));
}
} // namespace wave_bytes
