#include "WaveFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::wave
{
namespace
{
constexpr std::uint64_t kRiffHeaderBytes = 12;
constexpr std::uint64_t kChunkHeaderBytes = 8;
constexpr std::uint32_t kPlainFormatBytes = 16;
constexpr std::uint32_t kExtensibleFormatBytes = 40;
constexpr std::uint16_t kExtensibleExtraBytes = 22;
// The sub-format GUID of an extensible format is the format tag followed by these 12 bytes.
constexpr std::array<std::uint8_t, 12> kSubFormatTail = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                                         0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

class File
{
public:
    explicit File(int fd) : m_fd(fd) {}
    ~File()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    int Fd() const { return m_fd; }

    /// Reads exactly `bytes` at `offset`; false on an error or a short read.
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t bytes) const
    {
        auto* out = static_cast<std::uint8_t*>(buffer);
        while (bytes > 0)
        {
            const ssize_t n = pread(m_fd, out, bytes, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            out += n;
            offset += static_cast<std::uint64_t>(n);
            bytes -= static_cast<std::size_t>(n);
        }
        return true;
    }

private:
    int m_fd;
};

std::uint16_t Le16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::string ChunkName(const std::uint8_t* id)
{
    std::string name;
    for (int i = 0; i < 4; ++i)
    {
        const char ch = static_cast<char>(id[i]);
        name += (ch >= 0x20 && ch < 0x7F) ? ch : '?';
    }
    return "\"" + name + "\"";
}

bool Fail(std::string& error, std::string message)
{
    error = std::move(message);
    return false;
}

// Checks the body of a format chunk (`bytes` long, at most the 40 bytes read into `body`) and fills
// `format` with the plain PCM or float record it stands for.
bool ParseFormat(const std::uint8_t* body, std::uint32_t bytes, WAVEFORMATEX& format, std::string& error)
{
    if (bytes < kPlainFormatBytes)
        return Fail(error, "the format chunk is too short (" + std::to_string(bytes) + " bytes)");
    WORD tag = Le16(body);
    const WORD channels = Le16(body + 2);
    const DWORD rate = Le32(body + 4);
    const WORD blockAlign = Le16(body + 12);
    const WORD bits = Le16(body + 14);
    if (tag == WAVE_FORMAT_EXTENSIBLE)
    {
        const WORD extra = bytes >= 18 ? Le16(body + 16) : 0;
        if (bytes < kExtensibleFormatBytes || extra < kExtensibleExtraBytes)
            return Fail(error, "the extensible format chunk is too short");
        const WORD validBits = Le16(body + 18);
        const DWORD subFormat = Le32(body + 24);
        if (std::memcmp(body + 28, kSubFormatTail.data(), kSubFormatTail.size()) != 0 || subFormat > 0xFFFF)
            return Fail(error, "the extensible format has a sub-format that is not a wave format tag");
        if (validBits > bits)
            return Fail(error, "the extensible format claims " + std::to_string(validBits) +
                                   " valid bits in a " + std::to_string(bits) + "-bit sample");
        tag = static_cast<WORD>(subFormat);
    }
    if (tag != WAVE_FORMAT_PCM && tag != WAVE_FORMAT_IEEE_FLOAT)
    {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%04X", static_cast<unsigned>(tag));
        return Fail(error, std::string("unsupported format tag ") + hex + " (only PCM and IEEE float)");
    }
    if (channels == 0)
        return Fail(error, "the format has no channels");
    if (channels > kMaxWaveChannels)
        return Fail(error, "unsupported: " + std::to_string(channels) + " channels (at most " +
                               std::to_string(kMaxWaveChannels) + ")");
    if (rate == 0 || rate > kMaxWaveRate)
        return Fail(error, "sample rate " + std::to_string(rate) + " Hz out of range (1 to " +
                               std::to_string(kMaxWaveRate) + ")");
    const bool pcmBits = bits == 8 || bits == 16 || bits == 24 || bits == 32;
    if ((tag == WAVE_FORMAT_PCM && !pcmBits) || (tag == WAVE_FORMAT_IEEE_FLOAT && bits != 32))
        return Fail(error, "unsupported: " + std::to_string(bits) + "-bit " +
                               (tag == WAVE_FORMAT_PCM ? "PCM" : "float") + " samples");
    if (blockAlign != channels * (bits / 8))
        return Fail(error, "block align " + std::to_string(blockAlign) + " does not match " +
                               std::to_string(channels) + " channels of " + std::to_string(bits) + " bits");
    format = {};
    format.wFormatTag = tag;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.nBlockAlign = blockAlign;
    format.nAvgBytesPerSec = rate * blockAlign;
    format.wBitsPerSample = bits;
    format.cbSize = 0;
    return true;
}

bool ReadLayout(const File& file, std::uint64_t fileBytes, WaveLayout& layout, std::string& error)
{
    std::uint8_t header[kRiffHeaderBytes];
    if (fileBytes < kRiffHeaderBytes || !file.ReadAt(0, header, sizeof header))
        return Fail(error, "the file is too short to be a WAVE file");
    if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0)
        return Fail(error, "not a RIFF/WAVE file");
    const std::uint64_t riffEnd = kChunkHeaderBytes + Le32(header + 4);
    if (riffEnd > fileBytes)
        return Fail(error, "the file is truncated: its RIFF chunk claims " + std::to_string(riffEnd) +
                               " bytes, the file has " + std::to_string(fileBytes));

    bool haveFormat = false;
    std::uint64_t pos = kRiffHeaderBytes;
    while (pos + kChunkHeaderBytes <= riffEnd)
    {
        std::uint8_t chunk[kChunkHeaderBytes];
        if (!file.ReadAt(pos, chunk, sizeof chunk))
            return Fail(error, "the file cannot be read");
        const std::uint32_t size = Le32(chunk + 4);
        const std::uint64_t body = pos + kChunkHeaderBytes;
        if (size > riffEnd - body)
            return Fail(error, "the chunk " + ChunkName(chunk) + " at byte " + std::to_string(pos) +
                                   " claims " + std::to_string(size) + " bytes, beyond the end of the file");
        if (std::memcmp(chunk, "fmt ", 4) == 0)
        {
            if (haveFormat)
                return Fail(error, "the file has two format chunks");
            std::uint8_t fmt[kExtensibleFormatBytes] = {};
            const std::uint32_t wanted = std::min(size, kExtensibleFormatBytes);
            if (!file.ReadAt(body, fmt, wanted))
                return Fail(error, "the file cannot be read");
            if (!ParseFormat(fmt, size, layout.format, error))
                return false;
            haveFormat = true;
        }
        else if (std::memcmp(chunk, "data", 4) == 0)
        {
            if (!haveFormat)
                return Fail(error, "the sound data comes before its format");
            layout.dataOffset = body;
            layout.dataBytes = size - size % layout.format.nBlockAlign;
            return true;
        }
        // Chunks are padded to an even size.
        pos = body + size + (size & 1u);
    }
    return Fail(error, haveFormat ? "the file has no sound data chunk" : "the file has no format chunk");
}

// Opens `path` for reading when it is a regular file; its size in `bytes`.
int OpenRegular(const std::string& path, std::uint64_t& bytes, std::string& error)
{
    if (path.empty())
    {
        error = "no file name";
        return -1;
    }
    // Not blocking: opening a pipe would otherwise wait for a writer.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
    {
        error = "cannot open the file: " + std::string(std::strerror(errno));
        return -1;
    }
    struct stat st
    {
    };
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
    {
        close(fd);
        error = "not a regular file";
        return -1;
    }
    bytes = static_cast<std::uint64_t>(st.st_size);
    return fd;
}
} // namespace

bool ReadWaveLayout(const std::string& path, WaveLayout& layout, std::string& error)
{
    std::uint64_t bytes = 0;
    const File file(OpenRegular(path, bytes, error));
    if (file.Fd() < 0)
        return false;
    WaveLayout found;
    if (!ReadLayout(file, bytes, found, error))
        return false;
    layout = found;
    return true;
}

bool ReadWaveFile(const std::string& path, WaveSound& sound, std::string& error)
{
    std::uint64_t bytes = 0;
    const File file(OpenRegular(path, bytes, error));
    if (file.Fd() < 0)
        return false;
    WaveSound found;
    if (!ReadLayout(file, bytes, found.layout, error))
        return false;
    try
    {
        found.samples.resize(found.layout.dataBytes);
    }
    catch (const std::bad_alloc&)
    {
        return Fail(error,
                    "not enough memory for " + std::to_string(found.layout.dataBytes) + " bytes of sound");
    }
    if (!file.ReadAt(found.layout.dataOffset, found.samples.data(), found.samples.size()))
        return Fail(error, "the sound data cannot be read");
    sound = std::move(found);
    return true;
}

std::optional<std::uint64_t> WaveFileDurationMs(const std::string& path, std::string* error)
{
    WaveLayout layout;
    std::string reason;
    if (!ReadWaveLayout(path, layout, reason))
    {
        if (error)
            *error = std::move(reason);
        return std::nullopt;
    }
    return layout.DurationMs();
}
} // namespace platform::wave
