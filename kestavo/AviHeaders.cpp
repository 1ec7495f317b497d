#include "AviHeaders.h"

#include <algorithm>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace transcoder
{
namespace
{
constexpr DWORD kRiff = MakeFourCC('R', 'I', 'F', 'F');
constexpr DWORD kAvi = MakeFourCC('A', 'V', 'I', ' ');
constexpr DWORD kList = MakeFourCC('L', 'I', 'S', 'T');
constexpr DWORD kHeaderList = MakeFourCC('h', 'd', 'r', 'l');
constexpr DWORD kMovieList = MakeFourCC('m', 'o', 'v', 'i');
constexpr DWORD kStreamList = MakeFourCC('s', 't', 'r', 'l');
constexpr DWORD kMainHeader = MakeFourCC('a', 'v', 'i', 'h');
constexpr DWORD kStreamHeader = MakeFourCC('s', 't', 'r', 'h');

// The main header holds the frame count at 16 and the frame size at 32 and 36; a stream header its length
// at 32, the last field read.
constexpr std::size_t kMainHeaderMinSize = 40;
constexpr std::size_t kStreamHeaderMinSize = 36;
// Real header lists are a few kilobytes; a bigger one is taken for damage.
constexpr std::size_t kMaxHeaderListBytes = 4 * 1024 * 1024;
// Bounds the walk over chunks whatever sizes a file claims.
constexpr int kMaxTopLevelChunks = 64;
constexpr int kMaxHeaderChunks = 4096;

DWORD ReadLE32(std::string_view bytes, std::size_t offset)
{
    return static_cast<DWORD>(static_cast<BYTE>(bytes[offset])) |
           (static_cast<DWORD>(static_cast<BYTE>(bytes[offset + 1])) << 8) |
           (static_cast<DWORD>(static_cast<BYTE>(bytes[offset + 2])) << 16) |
           (static_cast<DWORD>(static_cast<BYTE>(bytes[offset + 3])) << 24);
}

/// Calls `visit(id, data)` for every complete chunk of a chunk list; stops at the first chunk that claims
/// more than the list holds.
template <typename Visit> void ForEachChunk(std::string_view list, Visit visit)
{
    std::size_t pos = 0;
    for (int count = 0; count < kMaxHeaderChunks && list.size() - pos >= 8; ++count)
    {
        const DWORD id = ReadLE32(list, pos);
        const std::uint64_t size = ReadLE32(list, pos + 4);
        if (size > list.size() - pos - 8)
            return;
        visit(id, list.substr(pos + 8, static_cast<std::size_t>(size)));
        // Chunks are padded to an even length; the pad of the last chunk may be missing.
        const std::uint64_t next = pos + 8 + size + (size & 1);
        if (next >= list.size())
            return;
        pos = static_cast<std::size_t>(next);
    }
}

std::optional<AviStreamHeader> ReadStreamList(std::string_view list)
{
    std::optional<AviStreamHeader> header;
    ForEachChunk(list,
                 [&](DWORD id, std::string_view data)
                 {
                     if (header || id != kStreamHeader || data.size() < kStreamHeaderMinSize)
                         return;
                     AviStreamHeader h;
                     h.type = ReadLE32(data, 0);
                     h.handler = ReadLE32(data, 4);
                     h.scale = ReadLE32(data, 20);
                     h.rate = ReadLE32(data, 24);
                     h.length = ReadLE32(data, 32);
                     header = h;
                 });
    return header;
}

bool ParseHeaderList(std::string_view list, AviHeaders& headers)
{
    bool haveMain = false;
    ForEachChunk(list,
                 [&](DWORD id, std::string_view data)
                 {
                     if (id == kMainHeader && !haveMain && data.size() >= kMainHeaderMinSize)
                     {
                         headers.totalFrames = ReadLE32(data, 16);
                         headers.width = ReadLE32(data, 32);
                         headers.height = ReadLE32(data, 36);
                         haveMain = true;
                     }
                     else if (id == kList && data.size() >= 4 && ReadLE32(data, 0) == kStreamList)
                     {
                         headers.streams.push_back(ReadStreamList(data.substr(4)));
                     }
                 });
    return haveMain;
}

class FileReader
{
public:
    // Non-blocking, so that a FIFO or device under a video's name never holds the caller; only regular
    // files are read.
    explicit FileReader(const char* path) : m_fd(open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)) {}
    ~FileReader()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    /// The size of a regular file, or nothing for anything else.
    std::optional<std::uint64_t> Size() const
    {
        struct stat st
        {
        };
        if (m_fd < 0 || fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))
            return std::nullopt;
        return static_cast<std::uint64_t>(st.st_size);
    }

    /// Exactly `length` bytes from `offset`, or an empty text when the file holds fewer.
    std::string ReadAt(std::uint64_t offset, std::size_t length) const
    {
        std::string bytes(length, '\0');
        std::size_t done = 0;
        while (done < length)
        {
            const ssize_t got =
                pread(m_fd, bytes.data() + done, length - done, static_cast<off_t>(offset + done));
            if (got <= 0)
                return {};
            done += static_cast<std::size_t>(got);
        }
        return bytes;
    }

private:
    int m_fd;
};
} // namespace

bool ReadAviHeaders(const char* path, AviHeaders& headers)
{
    headers = AviHeaders();
    if (!path)
        return false;
    FileReader file(path);
    const auto fileSize = file.Size();
    if (!fileSize || *fileSize < 12)
        return false;
    const std::string riff = file.ReadAt(0, 12);
    if (riff.size() != 12 || ReadLE32(riff, 0) != kRiff || ReadLE32(riff, 8) != kAvi)
        return false;
    // A cut file claims more than it holds; what it holds is read.
    const std::uint64_t end =
        std::min<std::uint64_t>(8 + static_cast<std::uint64_t>(ReadLE32(riff, 4)), *fileSize);

    std::uint64_t pos = 12;
    for (int count = 0; count < kMaxTopLevelChunks && pos + 12 <= end; ++count)
    {
        const std::string head = file.ReadAt(pos, 12);
        if (head.size() != 12)
            return false;
        const DWORD id = ReadLE32(head, 0);
        const std::uint64_t size = ReadLE32(head, 4);
        const DWORD listType = ReadLE32(head, 8);
        if (id == kList && size >= 4 && listType == kHeaderList)
        {
            // Headers cut short (or claiming more than the file) may lack any of what follows the main
            // header; such a file is not reported on at all.
            if (pos + 8 + size > end || size - 4 > kMaxHeaderListBytes)
                return false;
            const std::uint64_t length = size - 4;
            const std::string list = file.ReadAt(pos + 12, static_cast<std::size_t>(length));
            if (list.size() != length)
                return false;
            return ParseHeaderList(list, headers);
        }
        if (id == kList && size >= 4 && listType == kMovieList)
            return false;
        pos += 8 + size + (size & 1);
    }
    return false;
}
} // namespace transcoder
