#pragma once

/// Our file sink element "brevicamfilesink": a plain file writer whose writes go through the hook of
/// FileWriteHook.h. After the first failed write it posts one error (NO_SPACE_LEFT for a full disk),
/// cuts the file back to the last whole buffer and from then on writes only inside what the file
/// already holds, so a muxer can still finish its header and the file stays playable. A file still
/// empty when the sink stops (nothing was ever written) is removed.
namespace platform::dshow::gst
{
constexpr const char* kFileSinkFactory = "brevicamfilesink";

/// Registers the element with GStreamer; called once by EnsureInit.
void RegisterFileSink();
} // namespace platform::dshow::gst
