#include "CaptureGraph.h"

#include "brevicam/core/Params.h"
#include "platform/com/ComPtr.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

using platform::com::ComPtr;

tagWMVEncoderConfig g_wmvEncoderConfig = {};

namespace
{
// The program's own result codes of the encoder setup.
constexpr HRESULT E_WMV_BAD_FOURCC = static_cast<HRESULT>(0xC0046070u);
constexpr HRESULT E_WMV_BAD_FORMAT = static_cast<HRESULT>(0xC0046071u);
constexpr HRESULT E_WMV_NO_PRIVATE_DATA = static_cast<HRESULT>(0xC0046072u);
constexpr HRESULT E_WMV_PARTIAL_TYPE = static_cast<HRESULT>(0xC0046073u);
constexpr HRESULT E_WMV_PRIVATE_SIZE = static_cast<HRESULT>(0xC0046074u);
constexpr HRESULT E_WMV_PRIVATE_DATA = static_cast<HRESULT>(0xC0046075u);
constexpr HRESULT E_WMV_VBRENABLED = static_cast<HRESULT>(0xC0046076u);
constexpr HRESULT E_WMV_VBRQUALITY = static_cast<HRESULT>(0xC0046077u);
constexpr HRESULT E_WMV_RAVG = static_cast<HRESULT>(0xC0046079u);
constexpr HRESULT E_WMV_VIDEOWINDOW = static_cast<HRESULT>(0xC004607Au);
constexpr HRESULT E_WMV_DECODERCOMPLEXITY = static_cast<HRESULT>(0xC004607Du);
constexpr HRESULT E_WMV_KEYDIST = static_cast<HRESULT>(0xC004607Eu);
constexpr HRESULT E_WMV_CRISP = static_cast<HRESULT>(0xC004607Fu);
constexpr HRESULT E_WMV_COMPLEXITYEX = static_cast<HRESULT>(0xC0046082u);

constexpr DWORD kFourCCs[] = {MAKEFOURCC('M', 'S', 'S', '1'), MAKEFOURCC('W', 'M', 'V', '1'),
                              MAKEFOURCC('M', 'S', 'S', '2'), MAKEFOURCC('W', 'M', 'V', '2'),
                              MAKEFOURCC('W', 'M', 'V', '3'), MAKEFOURCC('W', 'M', 'V', 'P')};

bool IsWmv2Or3(DWORD fourCC)
{
    return fourCC == MAKEFOURCC('W', 'M', 'V', '2') || fourCC == MAKEFOURCC('W', 'M', 'V', '3');
}

// The custom profile: an audio stream of Windows Media Audio and a video stream of Windows Media Video 8.
constexpr wchar_t kProfileTemplate[] =
    L"<profile version=\"524288\" name=\"Custom profile\" description=\"Custom profile\">\n"
    L"  <streamconfig majortype=\"{73647561-0000-0010-8000-00AA00389B71}\" streamnumber=\"1\"\n"
    L"                streamname=\"Audio Stream\" inputname=\"Audio\" bitrate=\"128016\"\n"
    L"                bufferwindow=\"5000\" reliabletransport=\"0\" decodercomplexity=\"\"\n"
    L"                rfc1766langid=\"en-us\" vbrenabled=\"1\" vbrquality=\"100\" bitratemax=\"0\"\n"
    L"                bufferwindowmax=\"0\">\n"
    L"    <wmmediatype subtype=\"{00000161-0000-0010-8000-00AA00389B71}\" bfixedsizesamples=\"1\"\n"
    L"                 btemporalcompression=\"0\" lsamplesize=\"11889\">\n"
    L"      <waveformatex wFormatTag=\"353\" nChannels=\"2\" nSamplesPerSec=\"44100\"\n"
    L"                    nAvgBytesPerSec=\"2147483490\" nBlockAlign=\"11889\" wBitsPerSample=\"16\"\n"
    L"                    codecdata=\"008800000F00E95C0000\"/>\n"
    L"    </wmmediatype>\n"
    L"  </streamconfig>\n"
    L"  <streamconfig majortype=\"{73646976-0000-0010-8000-00AA00389B71}\" streamnumber=\"2\"\n"
    L"                streamname=\"Video Stream\" inputname=\"Video409\" bitrate=\"1000000\"\n"
    L"                bufferwindow=\"5000\" reliabletransport=\"1\" decodercomplexity=\"AU\"\n"
    L"                rfc1766langid=\"en-us\" vbrenabled=\"1\" vbrquality=\"QUALITY_VALUE\"\n"
    L"                bitratemax=\"0\" bufferwindowmax=\"0\">\n"
    L"    <videomediaprops maxkeyframespacing=\"80000000\" quality=\"0\"/>\n"
    L"    <wmmediatype subtype=\"{32564D57-0000-0010-8000-00AA00389B71}\" bfixedsizesamples=\"0\"\n"
    L"                 btemporalcompression=\"1\" lsamplesize=\"0\">\n"
    L"      <videoinfoheader dwbitrate=\"1000000\" dwbiterrorrate=\"0\"\n"
    L"                       avgtimeperframe=\"AVGTIMEPERFRAME_VALUE\">\n"
    L"        <rcsource left=\"0\" top=\"0\" right=\"WIDTH_VALUE\" bottom=\"HEIGHT_VALUE\"/>\n"
    L"        <rctarget left=\"0\" top=\"0\" right=\"WIDTH_VALUE\" bottom=\"HEIGHT_VALUE\"/>\n"
    L"        <bitmapinfoheader biwidth=\"WIDTH_VALUE\" biheight=\"HEIGHT_VALUE\" biplanes=\"1\"\n"
    L"                          bibitcount=\"24\" bicompression=\"WMV2\" bisizeimage=\"0\"\n"
    L"                          bixpelspermeter=\"0\" biypelspermeter=\"0\" biclrused=\"0\"\n"
    L"                          biclrimportant=\"0\"/>\n"
    L"      </videoinfoheader>\n"
    L"    </wmmediatype>\n"
    L"  </streamconfig>\n"
    L"  <streamprioritization>\n"
    L"    <stream number=\"1\" mandatory=\"0\"/>\n"
    L"    <stream number=\"2\" mandatory=\"0\"/>\n"
    L"  </streamprioritization>\n"
    L"</profile>\n";
static_assert(sizeof(kProfileTemplate) / sizeof(wchar_t) < CCaptureGraph::kProfileXmlSize);

/// The bitmap header and frame time of a video-info format block; null for another format.
const BITMAPINFOHEADER* VideoHeader(const AM_MEDIA_TYPE* type, REFERENCE_TIME* frameTime)
{
    if (!type->pbFormat)
        return nullptr;
    if (type->formattype == FORMAT_VideoInfo && type->cbFormat >= sizeof(VIDEOINFOHEADER))
    {
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
        if (frameTime)
            *frameTime = info->AvgTimePerFrame;
        return &info->bmiHeader;
    }
    if (type->formattype == FORMAT_VideoInfo2 && type->cbFormat >= sizeof(VIDEOINFOHEADER2))
    {
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER2*>(type->pbFormat);
        if (frameTime)
            *frameTime = info->AvgTimePerFrame;
        return &info->bmiHeader;
    }
    return nullptr;
}

HRESULT WriteProperty(IPropertyBag* bag, const wchar_t* name, VARIANT& value, HRESULT failure)
{
    HRESULT hr = bag->Write(name, &value);
    VariantClear(&value);
    return FAILED(hr) ? failure : hr;
}

VARIANT IntValue(int value)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}
} // namespace

void ReplaceAllWide(wchar_t* text, std::size_t capacity, const wchar_t* pattern, const wchar_t* replacement)
{
    if (!text || !pattern || !*pattern || !replacement || capacity == 0)
        return;
    const std::size_t patternLength = std::wcslen(pattern);
    const std::size_t replacementLength = std::wcslen(replacement);
    const std::wstring source(text, wcsnlen(text, capacity - 1));
    std::wstring result;
    for (std::size_t at = 0; at < source.size();)
    {
        if (source.compare(at, patternLength, pattern) == 0)
        {
            result.append(replacement, replacementLength);
            at += patternLength;
        }
        else
            result.push_back(source[at++]);
    }
    // The buffer is fixed; a text that outgrows it is cut rather than written past its end.
    const std::size_t length = std::min(result.size(), capacity - 1);
    std::wmemcpy(text, result.data(), length);
    text[length] = L'\0';
}

void CCaptureGraph::ParseResolutionText(const CString& text, int* width, int* height)
{
    int position = 0;
    CString first = text.Tokenize(" x", position);
    CString second = position >= 0 ? text.Tokenize(" x", position) : CString();
    *width = std::atoi(first);
    *height = std::atoi(second);
}

void CCaptureGraph::GetProfileValues(const CResolution& current, int* width, int* height, int* quality,
                                     long long* frameTime)
{
    int videoQuality = 0;
    CString sizeText;
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        videoQuality = g_params.m_VideoQuality;
        sizeText = g_params.GetVideoResolution();
    }
    *quality = videoQuality == 1 ? 90 : videoQuality == 2 ? 80 : 100;
    ParseResolutionText(sizeText, width, height);
    *frameTime = IsReducedRateSize(current.m_width, current.m_height) ? 666666 : 333667;
}

void CCaptureGraph::BuildProfileXml(wchar_t* buffer, int width, int height, int quality, long long frameTime)
{
    std::wmemcpy(buffer, kProfileTemplate, sizeof(kProfileTemplate) / sizeof(wchar_t));
    const std::wstring qualityText = std::to_wstring(quality);
    const std::wstring heightText = std::to_wstring(height);
    const std::wstring widthText = std::to_wstring(width);
    const std::wstring frameTimeText = std::to_wstring(frameTime);
    ReplaceAllWide(buffer, kProfileXmlSize, L"QUALITY_VALUE", qualityText.c_str());
    ReplaceAllWide(buffer, kProfileXmlSize, L"HEIGHT_VALUE", heightText.c_str());
    ReplaceAllWide(buffer, kProfileXmlSize, L"WIDTH_VALUE", widthText.c_str());
    ReplaceAllWide(buffer, kProfileXmlSize, L"AVGTIMEPERFRAME_VALUE", frameTimeText.c_str());
}

HRESULT CCaptureGraph::ComputeBitRate(const AM_MEDIA_TYPE* input, double frameRate,
                                      tagWMVEncoderConfig* config)
{
    if (!input || !config || !input->pbFormat || input->cbFormat == 0)
        return E_INVALIDARG;
    REFERENCE_TIME frameTime = 0;
    const BITMAPINFOHEADER* header = VideoHeader(input, &frameTime);
    if (!header)
        return E_WMV_BAD_FORMAT;
    const int bitsPerFrame = header->biWidth * header->biHeight * 2 / 5;
    if (frameRate == 0)
        frameRate = frameTime > 0 ? 10000000.0 / static_cast<double>(frameTime) : 29.97;
    config->bitRate = static_cast<int>(bitsPerFrame * frameRate);
    return S_OK;
}

HRESULT CCaptureGraph::SetEncoderProperties(IMediaObject* encoder, const tagWMVEncoderConfig* config)
{
    if (!encoder || !config)
        return E_INVALIDARG;
    ComPtr<IPropertyBag> bag;
    HRESULT hr = encoder->QueryInterface(IID_IPropertyBag, bag.PutVoid());
    if (FAILED(hr))
        return hr;
    const bool wmv2Or3 = IsWmv2Or3(config->fourCC);
    if (config->vbrEnabled == 1)
    {
        VARIANT enabled;
        VariantInit(&enabled);
        enabled.vt = VT_BOOL;
        enabled.boolVal = VARIANT_TRUE;
        if (FAILED(hr = WriteProperty(bag.Get(), L"_VBRENABLED", enabled, E_WMV_VBRENABLED)))
            return hr;
        VARIANT quality = IntValue(config->vbrQuality);
        if (FAILED(hr = WriteProperty(bag.Get(), L"_VBRQUALITY", quality, E_WMV_VBRQUALITY)))
            return hr;
    }
    if (config->vbrEnabled == 0)
    {
        VARIANT rate = IntValue(config->bitRate);
        if (FAILED(hr = WriteProperty(bag.Get(), L"_RAVG", rate, E_WMV_RAVG)))
            return hr;
    }
    VARIANT window = IntValue(config->videoWindow);
    if (FAILED(hr = WriteProperty(bag.Get(), L"_VIDEOWINDOW", window, E_WMV_VIDEOWINDOW)))
        return hr;
    if (wmv2Or3)
    {
        static constexpr const wchar_t* kProfiles[] = {L"MP", L"SP", L"CP"};
        const int index =
            config->decoderComplexity >= 0 && config->decoderComplexity < 3 ? config->decoderComplexity : 0;
        VARIANT profile;
        VariantInit(&profile);
        profile.vt = VT_BSTR;
        profile.bstrVal = SysAllocString(kProfiles[index]);
        if (FAILED(hr = WriteProperty(bag.Get(), L"_DECODERCOMPLEXITYREQUESTED", profile,
                                      E_WMV_DECODERCOMPLEXITY)))
            return hr;
    }
    VARIANT complexity = IntValue(config->complexity);
    if (FAILED(hr = WriteProperty(bag.Get(), L"_COMPLEXITYEX", complexity, E_WMV_COMPLEXITYEX)))
        return hr;
    VARIANT keyDistance = IntValue(config->keyDistance * 1000);
    if (FAILED(hr = WriteProperty(bag.Get(), L"_KEYDIST", keyDistance, E_WMV_KEYDIST)))
        return hr;
    if (wmv2Or3)
    {
        VARIANT crisp = IntValue(config->crispness);
        if (FAILED(hr = WriteProperty(bag.Get(), L"_CRISP", crisp, E_WMV_CRISP)))
            return hr;
    }
    return hr;
}

HRESULT CCaptureGraph::MakeEncoderOutputType(IMediaObject* encoder, const AM_MEDIA_TYPE* input,
                                             const tagWMVEncoderConfig* config, AM_MEDIA_TYPE* output)
{
    if (!encoder || !input || !config || !output || !input->pbFormat || input->cbFormat == 0)
        return E_INVALIDARG;
    output->majortype = MEDIATYPE_Video;
    output->formattype = FORMAT_VideoInfo;
    output->bFixedSizeSamples = FALSE;
    output->bTemporalCompression = TRUE;

    VIDEOINFOHEADER header{};
    if (input->formattype == FORMAT_VideoInfo && input->cbFormat >= sizeof(VIDEOINFOHEADER))
        header = *reinterpret_cast<const VIDEOINFOHEADER*>(input->pbFormat);
    else if (input->formattype == FORMAT_VideoInfo2 && input->cbFormat >= sizeof(VIDEOINFOHEADER2))
    {
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER2*>(input->pbFormat);
        header.rcSource = info->rcSource;
        header.rcTarget = info->rcTarget;
        header.AvgTimePerFrame = info->AvgTimePerFrame;
        header.bmiHeader = info->bmiHeader;
    }
    else
        return E_WMV_BAD_FORMAT;

    header.dwBitRate = static_cast<DWORD>(config->bitRate);
    header.dwBitErrorRate = 0;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 24;
    header.bmiHeader.biCompression = config->fourCC;
    bool known = false;
    for (DWORD fourCC : kFourCCs)
        known = known || fourCC == config->fourCC;
    if (!known)
        return E_WMV_BAD_FOURCC;
    output->subtype = FOURCCMap(config->fourCC);

    // The output type owns its format block; whatever it held before is given back first.
    if (output->pbFormat)
        CoTaskMemFree(output->pbFormat);
    output->pbFormat = nullptr;
    output->cbFormat = 0;
    output->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    if (!output->pbFormat)
        return E_OUTOFMEMORY;
    std::memcpy(output->pbFormat, &header, sizeof(header));
    output->cbFormat = sizeof(VIDEOINFOHEADER);

    ComPtr<IWMCodecPrivateData> privateData;
    if (FAILED(encoder->QueryInterface(IID_IWMCodecPrivateData, privateData.PutVoid())))
        return E_WMV_NO_PRIVATE_DATA;
    if (FAILED(privateData->SetPartialOutputType(output)))
        return E_WMV_PARTIAL_TYPE;
    ULONG size = 0;
    if (FAILED(privateData->GetPrivateData(nullptr, &size)))
        return E_WMV_PRIVATE_SIZE;
    std::vector<BYTE> data;
    if (size != 0)
    {
        try
        {
            data.resize(size);
        }
        catch (const std::bad_alloc&)
        {
            return E_OUTOFMEMORY;
        }
        if (FAILED(privateData->GetPrivateData(data.data(), &size)))
            return E_WMV_PRIVATE_DATA;
    }
    auto* block = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER) + data.size()));
    if (!block)
        return E_OUTOFMEMORY;
    header.bmiHeader.biSize += static_cast<DWORD>(data.size());
    std::memcpy(block, &header, sizeof(header));
    if (!data.empty())
        std::memcpy(block + sizeof(header), data.data(), data.size());
    CoTaskMemFree(output->pbFormat);
    output->pbFormat = block;
    output->cbFormat = static_cast<ULONG>(sizeof(VIDEOINFOHEADER) + data.size());
    return S_OK;
}

HRESULT CCaptureGraph::SetEncoderTypes(IMediaObject* encoder, AM_MEDIA_TYPE* input, AM_MEDIA_TYPE* output)
{
    if (input && input->formattype != FORMAT_VideoInfo && input->formattype != FORMAT_VideoInfo2)
    {
        FreeMediaType(*input);
        *input = AM_MEDIA_TYPE{};
        return E_FAIL;
    }
    if (!encoder || !input)
        return E_INVALIDARG;
    HRESULT hr = S_OK;
    if (g_wmvEncoderConfig.bitRate <= 0)
    {
        hr = ComputeBitRate(input, g_wmvEncoderConfig.frameRate, &g_wmvEncoderConfig);
        if (FAILED(hr))
            return hr;
    }
    // A property the encoder refuses does not stop the recording.
    SetEncoderProperties(encoder, &g_wmvEncoderConfig);
    hr = MakeEncoderOutputType(encoder, input, &g_wmvEncoderConfig, output);
    if (FAILED(hr))
        return hr;
    hr = encoder->SetOutputType(0, output, 0);
    if (FAILED(hr))
        return hr;
    DWORD size = 0;
    DWORD lookahead = 0;
    DWORD alignment = 0;
    hr = encoder->GetInputSizeInfo(0, &size, &lookahead, &alignment);
    if (FAILED(hr))
        return hr;
    return encoder->GetOutputSizeInfo(0, &size, &alignment);
}
