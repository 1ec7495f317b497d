#pragma once

#include "platform/win/WinTypes.h"

#include <optional>
#include <vector>

namespace transcoder
{
/// What a stream header ("strh") of an AVI file tells.
struct AviStreamHeader
{
    DWORD type = 0;    ///< "vids", "auds", ... as a code, first character in the lowest byte
    DWORD handler = 0; ///< the handler (codec) code
    DWORD scale = 0;
    DWORD rate = 0; ///< rate / scale is the sample (frame) rate
    DWORD length = 0;
};

/// The header list ("hdrl") of an AVI file.
struct AviHeaders
{
    DWORD width = 0;
    DWORD height = 0;
    DWORD totalFrames = 0;
    /// One entry per stream list, in file order; empty where the stream header cannot be read.
    std::vector<std::optional<AviStreamHeader>> streams;
};

constexpr DWORD MakeFourCC(char a, char b, char c, char d)
{
    return static_cast<DWORD>(static_cast<BYTE>(a)) | (static_cast<DWORD>(static_cast<BYTE>(b)) << 8) |
           (static_cast<DWORD>(static_cast<BYTE>(c)) << 16) |
           (static_cast<DWORD>(static_cast<BYTE>(d)) << 24);
}

inline constexpr DWORD kStreamTypeVideo = MakeFourCC('v', 'i', 'd', 's');

/// Reads the main and stream headers of a RIFF AVI file. Every size in the file is checked against its
/// enclosing chunk and the file's length, so a damaged or hostile file reads as far as it is sound and no
/// further. False when the file cannot be opened, is not an AVI file, has no readable main header, or its
/// header list runs past the file's end.
bool ReadAviHeaders(const char* path, AviHeaders& headers);
} // namespace transcoder
