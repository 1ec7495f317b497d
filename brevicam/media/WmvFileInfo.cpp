#include "brevicam/media/WmvFileInfo.h"

#include "brevicam/media/VideoFileProbe.h"
#include "platform/com/ComPtr.h"
#include "platform/wmformat/WmReader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using platform::com::ComPtr;

namespace
{
/// The names of the Windows Media Video generations; other codes have none here.
const char* WmvCodecName(DWORD fourcc)
{
    if (fourcc == MAKEFOURCC('W', 'M', 'V', '1') || fourcc == MAKEFOURCC('W', 'M', 'V', 'I'))
        return "Windows Media Video V7";
    if (fourcc == MAKEFOURCC('W', 'M', 'V', '2'))
        return "Windows Media Video V8";
    if (fourcc == MAKEFOURCC('W', 'M', 'V', '3'))
        return "Windows Media Video 9 Series";
    return "N/A";
}

/// The media type of an output, with its format block behind it; empty when it cannot be read.
std::vector<BYTE> ReadMediaType(IWMOutputMediaProps* props)
{
    DWORD size = 0;
    if (FAILED(props->GetMediaType(nullptr, &size)) || size < sizeof(WM_MEDIA_TYPE))
        return {};
    std::vector<BYTE> buffer(size);
    if (FAILED(props->GetMediaType(reinterpret_cast<WM_MEDIA_TYPE*>(buffer.data()), &size)))
        return {};
    return buffer;
}

/// The file's play time in 100-ns units from its header, through the metadata editor.
bool ReadDuration(const std::wstring& path, ULONGLONG& duration)
{
    ComPtr<IWMMetadataEditor> editor;
    if (FAILED(WMCreateEditor(editor.Put())) || FAILED(editor->Open(path.c_str())))
        return false;
    const ComPtr<IWMHeaderInfo> header = editor.As<IWMHeaderInfo>(IID_IWMHeaderInfo);
    bool read = false;
    if (header)
    {
        WORD stream = 0;
        WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
        WORD length = 0;
        if (SUCCEEDED(header->GetAttributeByName(&stream, g_wszWMDuration, &type, nullptr, &length)) &&
            type == WMT_TYPE_QWORD && length == sizeof duration)
            read = SUCCEEDED(header->GetAttributeByName(&stream, g_wszWMDuration, &type,
                                                        reinterpret_cast<BYTE*>(&duration), &length));
    }
    editor->Close();
    return read;
}
} // namespace

transcoder::VideoFileInfo& GetWmvFileInfo(transcoder::VideoFileInfo& info, const CString& path)
{
    SetUnknownVideoInfo(info);
    std::strcpy(info.container, "WMV");
    const std::wstring widePath = platform::Utf8ToWide(path.Str());
    ComPtr<IWMSyncReader> reader;
    if (FAILED(WMCreateSyncReader(nullptr, 0, reader.Put())) || FAILED(reader->Open(widePath.c_str())))
        return info;

    DWORD outputs = 0;
    reader->GetOutputCount(&outputs);
    WORD videoStream = 0;
    for (DWORD output = 0; output < outputs; ++output)
    {
        ComPtr<IWMOutputMediaProps> props;
        if (FAILED(reader->GetOutputProps(output, props.Put())))
            return info;
        const std::vector<BYTE> buffer = ReadMediaType(props.Get());
        if (buffer.empty())
            return info;
        WM_MEDIA_TYPE type;
        std::memcpy(&type, buffer.data(), sizeof type);
        if (type.majortype != MEDIATYPE_Video)
            continue;
        reader->GetStreamNumberForOutput(output, &videoStream);
        if (type.formattype != FORMAT_VideoInfo || type.cbFormat < sizeof(VIDEOINFOHEADER) || !type.pbFormat)
            continue;
        VIDEOINFOHEADER video;
        std::memcpy(&video, type.pbFormat, sizeof video);
        info.width = video.bmiHeader.biWidth;
        info.height = std::abs(video.bmiHeader.biHeight);
        // A stream that tells no frame rate has no time per frame; its rate stays unknown (0).
        info.frameRate =
            video.AvgTimePerFrame > 0 ? 10000000.0 / static_cast<double>(video.AvgTimePerFrame) : 0.0;
        info.fourcc = video.bmiHeader.biCompression;
    }

    ULONGLONG duration = 0;
    if (SUCCEEDED(reader->SetReadStreamSamples(videoStream, FALSE)) && ReadDuration(widePath, duration))
    {
        const unsigned long long seconds = duration / 10000000;
        info.seconds = static_cast<float>(seconds);
        std::snprintf(info.duration, sizeof info.duration, "%02llu:%02llu:%02llu", seconds / 3600,
                      (seconds / 60) % 60, seconds % 60);
        info.valid = true;
        std::snprintf(info.codec, sizeof info.codec, "%s", WmvCodecName(info.fourcc));
    }
    reader->Close();
    return info;
}
