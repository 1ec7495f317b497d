#pragma once

#include "kestavo/Transcoder.h"
#include "platform/win/CString.h"

/// Fills `info` with what the Windows Media readers tell of a WMV (ASF) file, for the files that the
/// transcoder library's `get_info` cannot read, and returns it. The container text is "WMV"; picture size,
/// frame rate and four-character code come from the file's video stream (the last one when there are
/// several), the duration from its header. Only a file whose duration was read is valid and has a codec
/// text; anything unreadable leaves "N/A" texts and zero numbers.
transcoder::VideoFileInfo& GetWmvFileInfo(transcoder::VideoFileInfo& info, const CString& path);
