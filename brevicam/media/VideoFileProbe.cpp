#include "brevicam/media/VideoFileProbe.h"

#include "brevicam/media/DllAccessor.h"
#include "shared/exceptions/Exceptions.h"

#include <cstring>
#include <stdexcept>

void SetUnknownVideoInfo(transcoder::VideoFileInfo& info)
{
    std::memset(&info, 0, sizeof info);
    std::strcpy(info.container, "N/A");
    std::strcpy(info.codec, "N/A");
    std::strcpy(info.duration, "N/A");
}

VideoFileProbe::VideoFileProbe(const CString& path) : transcoder::VideoFileInfo{}
{
    SetUnknownVideoInfo(*this);
    CDllAccessor library(GetTranscoderLibraryPath());
    // Paths are used as written: there are no drive letters whose case could differ.
    probedPath = path;
    try
    {
        const transcoder::VideoFileInfo info =
            library.GetGenericFn<transcoder::GetInfoFn>("get_info", probedPath.GetString());
        static_cast<transcoder::VideoFileInfo&>(*this) = info;
    }
    catch (const std::runtime_error&)
    {
        // CDynamicLinkException among them: the defaults stand.
    }
}
