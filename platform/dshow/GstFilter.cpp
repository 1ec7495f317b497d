#include "GstFilter.h"

#include "Gst.h"

#include "platform/win/CString.h"

namespace platform::dshow
{
CGstInputPin::CGstInputPin(CGstFilter* filter, CCritSec* lock, LPCWSTR name, const GUID& majorType)
    : CBaseInputPin("input pin", filter, lock, nullptr, name), m_owner(filter), m_major(majorType)
{
}

STDMETHODIMP CGstInputPin::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (iid == IID_IGstPinPrivate)
        return GetInterface(static_cast<IPin*>(this), object);
    return CBaseInputPin::NonDelegatingQueryInterface(iid, object);
}

HRESULT CGstInputPin::CheckMediaType(const CMediaType* type)
{
    if (!type)
        return E_POINTER;
    if (m_major != GUID_NULL && type->majortype != m_major)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return m_owner->CheckInputType(this, type);
}

HRESULT CGstInputPin::CompleteConnect(IPin* receivePin)
{
    HRESULT hr = CBaseInputPin::CompleteConnect(receivePin);
    if (SUCCEEDED(hr))
        m_owner->OnInputChanged(this);
    return hr;
}

HRESULT CGstInputPin::BreakConnect()
{
    HRESULT hr = CBaseInputPin::BreakConnect();
    m_mt.InitMediaType();
    return hr;
}

void CGstInputPin::Retype(const CMediaType& type)
{
    {
        CAutoLock lock(m_pLock);
        m_mt = type;
    }
    m_owner->OnInputChanged(this);
}

IPin* CGstInputPin::LivePeer() const
{
    IPin* peer = GetConnected();
    CGstOutputPin* output = peer ? CGstFilter::OutputFrom(peer) : nullptr;
    if (output && output->GetConnected() != static_cast<const IPin*>(this))
        return nullptr;
    return peer;
}

CGstOutputPin::CGstOutputPin(CGstFilter* filter, CCritSec* lock, LPCWSTR name, const GUID& category)
    : CBaseOutputPin("output pin", filter, lock, nullptr, name), m_owner(filter), m_category(category)
{
}

STDMETHODIMP CGstOutputPin::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (iid == IID_IGstPinPrivate)
        return GetInterface(static_cast<IPin*>(this), object);
    return CBaseOutputPin::NonDelegatingQueryInterface(iid, object);
}

HRESULT CGstOutputPin::CheckMediaType(const CMediaType* type)
{
    if (!type)
        return E_POINTER;
    return m_owner->CheckOutputType(this, type);
}

HRESULT CGstOutputPin::GetMediaType(int position, CMediaType* type)
{
    return m_owner->GetOutputType(this, position, type);
}

HRESULT CGstOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    MinimalBuffers(request);
    ALLOCATOR_PROPERTIES actual{};
    return allocator->SetProperties(request, &actual);
}

HRESULT CGstOutputPin::CompleteConnect(IPin* receivePin)
{
    return CBaseOutputPin::CompleteConnect(receivePin);
}

void CGstOutputPin::Retype(const CMediaType& type)
{
    {
        CAutoLock lock(m_pLock);
        m_mt = type;
    }
    if (CGstInputPin* peer = LivePeer())
        peer->Retype(type);
}

CGstInputPin* CGstOutputPin::LivePeer() const
{
    IPin* peer = GetConnected();
    CGstInputPin* input = peer ? CGstFilter::InputFrom(peer) : nullptr;
    if (input && input->GetConnected() != static_cast<const IPin*>(this))
        return nullptr;
    return input;
}

CGstFilter::CGstFilter(LPCSTR name, LPUNKNOWN outer, REFCLSID classId)
    : CBaseFilter(name, outer, &m_filterLock, classId)
{
}

STDMETHODIMP CGstFilter::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (iid == IID_IGstFilterPrivate)
        return GetInterface(static_cast<IBaseFilter*>(this), object);
    return CBaseFilter::NonDelegatingQueryInterface(iid, object);
}

CGstFilter* CGstFilter::From(IBaseFilter* filter)
{
    if (!filter)
        return nullptr;
    void* object = nullptr;
    if (FAILED(filter->QueryInterface(IID_IGstFilterPrivate, &object)) || !object)
        return nullptr;
    auto* base = static_cast<IBaseFilter*>(object);
    base->Release();
    return static_cast<CGstFilter*>(base);
}

CGstOutputPin* CGstFilter::OutputFrom(IPin* pin)
{
    if (!pin)
        return nullptr;
    void* object = nullptr;
    if (FAILED(pin->QueryInterface(IID_IGstPinPrivate, &object)) || !object)
        return nullptr;
    auto* base = static_cast<IPin*>(object);
    base->Release();
    PIN_DIRECTION direction;
    base->QueryDirection(&direction);
    return direction == PINDIR_OUTPUT ? static_cast<CGstOutputPin*>(static_cast<CBasePin*>(base)) : nullptr;
}

CGstInputPin* CGstFilter::InputFrom(IPin* pin)
{
    if (!pin)
        return nullptr;
    void* object = nullptr;
    if (FAILED(pin->QueryInterface(IID_IGstPinPrivate, &object)) || !object)
        return nullptr;
    auto* base = static_cast<IPin*>(object);
    base->Release();
    PIN_DIRECTION direction;
    base->QueryDirection(&direction);
    return direction == PINDIR_INPUT ? static_cast<CGstInputPin*>(static_cast<CBasePin*>(base)) : nullptr;
}

HRESULT CGstFilter::GetOutputType(CGstOutputPin*, int, CMediaType*)
{
    return VFW_S_NO_MORE_ITEMS;
}

HRESULT CGstFilter::CheckOutputType(CGstOutputPin* pin, const CMediaType* type)
{
    // By default an output offers what it lists.
    for (int position = 0;; ++position)
    {
        CMediaType offered;
        HRESULT hr = GetOutputType(pin, position, &offered);
        if (hr != S_OK)
            return VFW_E_TYPE_NOT_ACCEPTED;
        if (offered.majortype == type->majortype && offered.subtype == type->subtype &&
            offered.formattype == type->formattype)
            return S_OK;
    }
}

HRESULT CGstFilter::CheckInputType(CGstInputPin*, const CMediaType*)
{
    return S_OK;
}

void CGstFilter::OnInputChanged(CGstInputPin*) {}

void CGstFilter::PassTypeDownstream(CGstInputPin* input)
{
    CMediaType type = input->CurrentMediaType();
    for (int i = 0; i < GetPinCount(); ++i)
    {
        auto* pin = GetPin(i);
        PIN_DIRECTION direction;
        pin->QueryDirection(&direction);
        if (direction == PINDIR_OUTPUT && pin->IsConnected())
            static_cast<CGstOutputPin*>(pin)->Retype(type);
    }
}

void CGstFilter::Unrealise()
{
    m_elements.clear();
}

GstPad* CGstFilter::OutputPad(CGstOutputPin*)
{
    return nullptr;
}

GstPad* CGstFilter::InputPad(CGstInputPin*)
{
    return nullptr;
}

std::unique_ptr<gst::RecordingBin> CGstFilter::MakeRecording(bool, HRESULT* hr, std::string*)
{
    *hr = E_NOTIMPL;
    return nullptr;
}

bool CGstFilter::Owns(GstObject* object) const
{
    for (GstElement* element : m_elements)
        if (object == GST_OBJECT(element) || gst_object_has_as_ancestor(object, GST_OBJECT(element)))
            return true;
    return false;
}

void CGstFilter::Adopt(Realisation& realisation, GstElement* element)
{
    gst_bin_add(realisation.pipeline, element);
    m_elements.push_back(element);
}

void MinimalBuffers(ALLOCATOR_PROPERTIES* request)
{
    request->cBuffers = 1;
    request->cbBuffer = 1;
    request->cbAlign = 1;
    request->cbPrefix = 0;
}

namespace
{
struct FormatName
{
    const char* format;
    GUID subtype;
    WORD bits;
    DWORD compression;
};

const FormatName kFormats[] = {
    {"YUY2", MEDIASUBTYPE_YUY2, 16, MAKEFOURCC('Y', 'U', 'Y', '2')},
    {"MJPG", MEDIASUBTYPE_MJPG, 24, MAKEFOURCC('M', 'J', 'P', 'G')},
    {"UYVY", MEDIASUBTYPE_UYVY, 16, MAKEFOURCC('U', 'Y', 'V', 'Y')},
    {"NV12", MEDIASUBTYPE_NV12, 12, MAKEFOURCC('N', 'V', '1', '2')},
    {"I420", MEDIASUBTYPE_I420, 12, MAKEFOURCC('I', '4', '2', '0')},
    {"YV12", MEDIASUBTYPE_YV12, 12, MAKEFOURCC('Y', 'V', '1', '2')},
    {"GRAY8", MEDIASUBTYPE_Y800, 8, MAKEFOURCC('Y', '8', '0', '0')},
    {"BGR", MEDIASUBTYPE_RGB24, 24, BI_RGB},
    {"BGRx", MEDIASUBTYPE_RGB32, 32, BI_RGB},
};

const FormatName* ByFormat(const std::string& format)
{
    for (const auto& entry : kFormats)
        if (format == entry.format)
            return &entry;
    return nullptr;
}
} // namespace

GUID SubtypeForFormat(const std::string& format)
{
    if (const auto* entry = ByFormat(format))
        return entry->subtype;
    if (format.size() == 4)
        return FOURCCMap(MAKEFOURCC(format[0], format[1], format[2], format[3]));
    return GUID_NULL;
}

std::string FormatForSubtype(const GUID& subtype)
{
    for (const auto& entry : kFormats)
        if (entry.subtype == subtype)
            return entry.format;
    return {};
}

CMediaType VideoTypeForMode(const VideoMode& mode, Fraction rate)
{
    CMediaType type;
    type.SetType(&MEDIATYPE_Video);
    GUID subtype = SubtypeForFormat(mode.format);
    type.SetSubtype(&subtype);
    type.SetFormatType(&FORMAT_VideoInfo);
    VIDEOINFOHEADER info{};
    const FormatName* entry = ByFormat(mode.format);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = mode.width;
    info.bmiHeader.biHeight = mode.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = entry ? entry->bits : 16;
    info.bmiHeader.biCompression = entry ? entry->compression : subtype.Data1;
    info.bmiHeader.biSizeImage =
        static_cast<DWORD>(static_cast<LONGLONG>(mode.width) * mode.height * info.bmiHeader.biBitCount / 8);
    if (rate.num > 0)
        info.AvgTimePerFrame = static_cast<REFERENCE_TIME>(UNITS) * rate.den / rate.num;
    info.dwBitRate = info.AvgTimePerFrame > 0
                         ? static_cast<DWORD>(static_cast<double>(info.bmiHeader.biSizeImage) * 8.0 * UNITS /
                                              static_cast<double>(info.AvgTimePerFrame))
                         : 0;
    type.SetFormat(reinterpret_cast<const BYTE*>(&info), sizeof info);
    if (mode.format == "MJPG")
    {
        type.SetTemporalCompression(FALSE);
        type.SetVariableSize();
    }
    else
        type.SetSampleSize(info.bmiHeader.biSizeImage);
    return type;
}

CMediaType AudioType(int sampleRate, int channels)
{
    CMediaType type;
    type.SetType(&MEDIATYPE_Audio);
    type.SetSubtype(&MEDIASUBTYPE_PCM);
    type.SetFormatType(&FORMAT_WaveFormatEx);
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = static_cast<DWORD>(sampleRate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(channels * 2);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    type.SetFormat(reinterpret_cast<const BYTE*>(&format), sizeof format);
    type.SetSampleSize(format.nBlockAlign);
    return type;
}

bool VideoInfoOf(const AM_MEDIA_TYPE& type, int* width, int* height, REFERENCE_TIME* frameTime)
{
    const BITMAPINFOHEADER* header = nullptr;
    REFERENCE_TIME time = 0;
    if (type.formattype == FORMAT_VideoInfo && type.pbFormat && type.cbFormat >= sizeof(VIDEOINFOHEADER))
    {
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
        header = &info->bmiHeader;
        time = info->AvgTimePerFrame;
    }
    else if (type.formattype == FORMAT_VideoInfo2 && type.pbFormat &&
             type.cbFormat >= sizeof(VIDEOINFOHEADER2))
    {
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER2*>(type.pbFormat);
        header = &info->bmiHeader;
        time = info->AvgTimePerFrame;
    }
    if (!header)
        return false;
    if (width)
        *width = header->biWidth;
    if (height)
        *height = header->biHeight < 0 ? -header->biHeight : header->biHeight;
    if (frameTime)
        *frameTime = time;
    return true;
}

std::wstring Wide(const std::string& text)
{
    return platform::Utf8ToWide(text);
}

std::string Narrow(const std::wstring& text)
{
    return platform::WideToUtf8(text);
}
} // namespace platform::dshow
