#pragma once

#include "kestavo/Transcoder.h"
#include "platform/win/CString.h"

/// The video information of one file as the transcoder library reads it, with the path it was asked for.
/// Information that cannot be read leaves the texts "N/A", the numbers 0 and the valid flag false.
struct VideoFileProbe : transcoder::VideoFileInfo
{
    /// Loads the transcoder library (GetTranscoderLibraryPath) for the call and frees it again. Throws
    /// CDynamicLinkException when the library cannot be loaded; a library without `get_info`, or one that
    /// fails, leaves the defaults.
    explicit VideoFileProbe(const CString& path);

    /// The path as it was probed (any length).
    CString probedPath;
};

/// The record's defaults: "N/A" texts, zero numbers, not valid.
void SetUnknownVideoInfo(transcoder::VideoFileInfo& info);
