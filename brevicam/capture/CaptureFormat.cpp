#include "CaptureFormat.h"

#include "CaptureGraph.h"
#include "ComErrors.h"
#include "DeviceGraph.h"

#include "platform/com/ComPtr.h"

using platform::com::ComPtr;

namespace
{
constexpr REFERENCE_TIME kReducedRateFrameTime = 666666;
constexpr REFERENCE_TIME kModel22FrameTime = 322580;
constexpr DWORD kMjpgCompression = MAKEFOURCC('M', 'J', 'P', 'G');

ComPtr<ICaptureGraphBuilder2> MakeBuilder(IGraphBuilder* graph)
{
    ComPtr<IUnknown> unknown;
    HRESULT hr =
        CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.PutVoid());
    if (FAILED(hr))
        AtlThrow(hr);
    hr = OleRun(unknown.Get());
    if (FAILED(hr))
        AtlThrow(hr);
    ComPtr<ICaptureGraphBuilder2> builder;
    hr = unknown->QueryInterface(IID_ICaptureGraphBuilder2, builder.PutVoid());
    if (FAILED(hr))
        AtlThrow(hr);
    hr = builder->SetFiltergraph(graph);
    if (FAILED(hr))
        AtlThrow(hr);
    return builder;
}

HRESULT FindStreamConfig(ICaptureGraphBuilder2* builder, const GUID& category, const GUID& type,
                         IBaseFilter* filter, ComPtr<IAMStreamConfig>& config)
{
    return builder->FindInterface(&category, &type, filter, IID_IAMStreamConfig, config.PutVoid());
}

/// The bitmap header of a video-info format block, null for other format types.
BITMAPINFOHEADER* BitmapHeader(CMediaType& type, REFERENCE_TIME** frameTime, RECT** source, RECT** target)
{
    if (type.formattype == FORMAT_VideoInfo && type.cbFormat >= sizeof(VIDEOINFOHEADER) && type.pbFormat)
    {
        auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type.pbFormat);
        *frameTime = &info->AvgTimePerFrame;
        *source = &info->rcSource;
        *target = &info->rcTarget;
        return &info->bmiHeader;
    }
    if (type.formattype == FORMAT_VideoInfo2 && type.cbFormat >= sizeof(VIDEOINFOHEADER2) && type.pbFormat)
    {
        auto* info = reinterpret_cast<VIDEOINFOHEADER2*>(type.pbFormat);
        *frameTime = &info->AvgTimePerFrame;
        *source = &info->rcSource;
        *target = &info->rcTarget;
        return &info->bmiHeader;
    }
    return nullptr;
}

BITMAPINFOHEADER* BitmapHeader(CMediaType& type, REFERENCE_TIME** frameTime = nullptr)
{
    REFERENCE_TIME* time = nullptr;
    RECT* source = nullptr;
    RECT* target = nullptr;
    BITMAPINFOHEADER* header = BitmapHeader(type, &time, &source, &target);
    if (frameTime)
        *frameTime = time;
    return header;
}
} // namespace

bool CCaptureGraph::IsReducedRateSize(int width, int height)
{
    if (!IsWebcamModel(18))
        return false;
    return (width == 800 && height == 600) || (width == 1024 && height == 768) ||
           (width == 1280 && height == 720) || (width == 1280 && height == 960) ||
           (width == 1280 && height == 1024);
}

CMediaType GetStreamFormat(IGraphBuilder* graph, IBaseFilter* captureFilter)
{
    ComPtr<ICaptureGraphBuilder2> builder = MakeBuilder(graph);
    ComPtr<IAMStreamConfig> config;
    HRESULT hr =
        FindStreamConfig(builder.Get(), PIN_CATEGORY_CAPTURE, MEDIATYPE_Interleaved, captureFilter, config);
    if (FAILED(hr))
        hr = FindStreamConfig(builder.Get(), PIN_CATEGORY_CAPTURE, MEDIATYPE_Video, captureFilter, config);
    if (FAILED(hr))
        AtlThrow(hr);
    AM_MEDIA_TYPE* current = nullptr;
    hr = config->GetFormat(&current);
    if (FAILED(hr))
        AtlThrow(hr);
    CMediaType result(*current);
    DeleteMediaType(current);
    return result;
}

void SetStreamFormat(IGraphBuilder* graph, IBaseFilter* captureFilter, const CMediaType& type)
{
    ComPtr<ICaptureGraphBuilder2> builder = MakeBuilder(graph);
    const bool still = IsWebcamModel(24);
    ComPtr<IAMStreamConfig> capture;
    ComPtr<IAMStreamConfig> stillConfig;
    HRESULT stillFound = E_FAIL;
    HRESULT hr =
        FindStreamConfig(builder.Get(), PIN_CATEGORY_CAPTURE, MEDIATYPE_Interleaved, captureFilter, capture);
    if (still)
        stillFound = FindStreamConfig(builder.Get(), PIN_CATEGORY_STILL, MEDIATYPE_Interleaved, captureFilter,
                                      stillConfig);
    if (FAILED(hr))
    {
        hr = FindStreamConfig(builder.Get(), PIN_CATEGORY_CAPTURE, MEDIATYPE_Video, captureFilter, capture);
        if (still)
            stillFound = FindStreamConfig(builder.Get(), PIN_CATEGORY_STILL, MEDIATYPE_Video, captureFilter,
                                          stillConfig);
        if (FAILED(hr))
            AtlThrow(hr);
    }
    CMediaType copy(type);
    hr = capture->SetFormat(&copy);
    if (still && stillFound == S_OK)
        stillConfig->SetFormat(&copy);
    if (FAILED(hr))
        AtlThrow(hr);
}

void SetCaptureFormat(CResolution size, IBaseFilter* captureFilter, IGraphBuilder* graph)
{
    CMediaType requested = GetStreamFormat(graph, captureFilter);
    if (BITMAPINFOHEADER* header = BitmapHeader(requested))
    {
        REFERENCE_TIME* frameTime = nullptr;
        RECT* source = nullptr;
        RECT* target = nullptr;
        BitmapHeader(requested, &frameTime, &source, &target);
        header->biWidth = size.m_width;
        header->biHeight = size.m_height;
        header->biSizeImage = static_cast<DWORD>(header->biBitCount * size.m_height * size.m_width / 8);
        *source = RECT{0, 0, size.m_width, size.m_height};
        *target = *source;
    }
    const CMediaType sized(requested);

    requested.subtype = MEDIASUBTYPE_RGB24;
    REFERENCE_TIME* frameTime = nullptr;
    if (BITMAPINFOHEADER* header = BitmapHeader(requested, &frameTime))
    {
        header->biCompression = BI_RGB;
        header->biBitCount = 24;
        header->biSizeImage = static_cast<DWORD>(header->biWidth * header->biHeight * 24 / 8);
        if (CCaptureGraph::IsReducedRateSize(header->biWidth, header->biHeight))
            *frameTime = kReducedRateFrameTime;
        else if (IsWebcamModel(22))
            *frameTime = kModel22FrameTime;
    }
    try
    {
        SetStreamFormat(graph, captureFilter, requested);
        return;
    }
    catch (const CAtlException&)
    {
    }

    requested.subtype = MEDIASUBTYPE_MJPG;
    if (BITMAPINFOHEADER* header = BitmapHeader(requested))
    {
        header->biCompression = kMjpgCompression;
        header->biBitCount = 24;
        header->biSizeImage = static_cast<DWORD>(header->biWidth * header->biHeight * 24 / 8);
    }
    try
    {
        SetStreamFormat(graph, captureFilter, requested);
        return;
    }
    catch (const CAtlException&)
    {
    }

    SetStreamFormat(graph, captureFilter, sized);
}
