#include "WmReader.h"

#include "platform/win/CString.h"

extern "C"
{
#include <libavformat/avformat.h>
#include <libavutil/rational.h>
}

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace
{
struct InputCloser
{
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;

/// Opens an ASF file with its streams described; the demuxer is chosen, not guessed, so that no other
/// kind of file passes for one.
HRESULT OpenAsf(const WCHAR* fileName, InputPtr& input)
{
    if (!fileName)
        return E_POINTER;
    const AVInputFormat* asf = av_find_input_format("asf");
    if (!asf)
        return NS_E_INVALID_INPUT_FORMAT;
    // "file:" keeps a name with a colon from being read as a protocol.
    const std::string url = "file:" + platform::WideToUtf8(fileName);
    AVFormatContext* context = nullptr;
    const int opened = avformat_open_input(&context, url.c_str(), asf, nullptr);
    if (opened < 0)
        return opened == AVERROR(ENOENT) || opened == AVERROR(EACCES) || opened == AVERROR(EISDIR)
                   ? NS_E_FILE_NOT_FOUND
                   : NS_E_INVALID_INPUT_FORMAT;
    input.reset(context);
    if (avformat_find_stream_info(context, nullptr) < 0)
    {
        input.reset();
        return NS_E_INVALID_INPUT_FORMAT;
    }
    return S_OK;
}

/// A reference count shared by the objects below.
class RefCounted
{
protected:
    virtual ~RefCounted() = default;
    ULONG AddRefImpl() { return ++m_refs; }
    ULONG ReleaseImpl()
    {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }

private:
    std::atomic<ULONG> m_refs{1};
};

class CMediaProps final : public IWMOutputMediaProps, private RefCounted
{
public:
    CMediaProps(const WM_MEDIA_TYPE& type, std::vector<BYTE> format)
        : m_type(type), m_format(std::move(format))
    {
        m_type.cbFormat = static_cast<ULONG>(m_format.size());
        m_type.pbFormat = nullptr;
        m_type.pUnk = nullptr;
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IWMMediaProps || iid == IID_IWMOutputMediaProps)
        {
            *object = static_cast<IWMOutputMediaProps*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    STDMETHODIMP GetType(GUID* type) override
    {
        if (!type)
            return E_POINTER;
        *type = m_type.majortype;
        return S_OK;
    }

    STDMETHODIMP GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) override
    {
        if (!size)
            return E_POINTER;
        const DWORD needed = static_cast<DWORD>(sizeof(WM_MEDIA_TYPE) + m_format.size());
        if (!type)
        {
            *size = needed;
            return S_OK;
        }
        if (*size < needed)
        {
            *size = needed;
            return ASF_E_BUFFERTOOSMALL;
        }
        *type = m_type;
        if (!m_format.empty())
        {
            BYTE* format = reinterpret_cast<BYTE*>(type) + sizeof(WM_MEDIA_TYPE);
            std::memcpy(format, m_format.data(), m_format.size());
            type->pbFormat = format;
        }
        return S_OK;
    }

private:
    WM_MEDIA_TYPE m_type;
    std::vector<BYTE> m_format;
};

/// The average time per frame in 100-ns units, 0 when the stream tells no rate.
REFERENCE_TIME TimePerFrame(const AVStream& stream)
{
    AVRational rate = stream.avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = stream.r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        return 0;
    return static_cast<REFERENCE_TIME>(std::llround(10000000.0 * rate.den / rate.num));
}

CMediaProps* PropsOf(const AVStream& stream)
{
    const AVCodecParameters& codec = *stream.codecpar;
    WM_MEDIA_TYPE type{};
    std::vector<BYTE> format;
    if (codec.codec_type == AVMEDIA_TYPE_VIDEO)
    {
        VIDEOINFOHEADER info{};
        info.AvgTimePerFrame = TimePerFrame(stream);
        info.dwBitRate = static_cast<DWORD>(codec.bit_rate > 0 ? codec.bit_rate : 0);
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = codec.width;
        info.bmiHeader.biHeight = codec.height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biCompression = codec.codec_tag;
        info.rcSource = RECT{0, 0, codec.width, codec.height};
        info.rcTarget = info.rcSource;
        format.resize(sizeof info);
        std::memcpy(format.data(), &info, sizeof info);
        type.majortype = MEDIATYPE_Video;
        type.subtype = FOURCCMap(codec.codec_tag);
        type.formattype = FORMAT_VideoInfo;
        type.bTemporalCompression = TRUE;
    }
    else
    {
        WAVEFORMATEX wave{};
        wave.wFormatTag = static_cast<WORD>(codec.codec_tag);
        wave.nChannels = static_cast<WORD>(codec.ch_layout.nb_channels);
        wave.nSamplesPerSec = static_cast<DWORD>(codec.sample_rate);
        wave.nAvgBytesPerSec = static_cast<DWORD>(codec.bit_rate > 0 ? codec.bit_rate / 8 : 0);
        wave.nBlockAlign = static_cast<WORD>(codec.block_align);
        wave.wBitsPerSample = static_cast<WORD>(codec.bits_per_coded_sample);
        format.resize(sizeof wave);
        std::memcpy(format.data(), &wave, sizeof wave);
        type.majortype = MEDIATYPE_Audio;
        type.subtype = FOURCCMap(codec.codec_tag);
        type.formattype = FORMAT_WaveFormatEx;
        type.bFixedSizeSamples = TRUE;
    }
    return new CMediaProps(type, std::move(format));
}

class CSyncReader final : public IWMSyncReader, private RefCounted
{
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IWMSyncReader)
        {
            *object = static_cast<IWMSyncReader*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    STDMETHODIMP Open(const WCHAR* fileName) override
    {
        if (m_input)
            return E_UNEXPECTED;
        const HRESULT hr = OpenAsf(fileName, m_input);
        if (FAILED(hr))
            return hr;
        for (unsigned i = 0; i < m_input->nb_streams; ++i)
        {
            const AVMediaType kind = m_input->streams[i]->codecpar->codec_type;
            if (kind == AVMEDIA_TYPE_VIDEO || kind == AVMEDIA_TYPE_AUDIO)
                m_outputs.push_back(m_input->streams[i]);
        }
        return S_OK;
    }
    STDMETHODIMP Close() override
    {
        if (!m_input)
            return NS_E_INVALID_REQUEST;
        m_outputs.clear();
        m_input.reset();
        return S_OK;
    }
    STDMETHODIMP GetOutputCount(DWORD* outputs) override
    {
        if (!outputs)
            return E_POINTER;
        *outputs = static_cast<DWORD>(m_outputs.size());
        return S_OK;
    }
    STDMETHODIMP GetOutputProps(DWORD output, IWMOutputMediaProps** props) override
    {
        if (!props)
            return E_POINTER;
        *props = nullptr;
        if (output >= m_outputs.size())
            return NS_E_INVALID_REQUEST;
        try
        {
            *props = PropsOf(*m_outputs[output]);
        }
        catch (const std::bad_alloc&)
        {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }
    STDMETHODIMP GetStreamNumberForOutput(DWORD output, WORD* streamNumber) override
    {
        if (!streamNumber)
            return E_POINTER;
        if (output >= m_outputs.size())
            return NS_E_INVALID_REQUEST;
        *streamNumber = static_cast<WORD>(m_outputs[output]->id);
        return S_OK;
    }
    STDMETHODIMP SetReadStreamSamples(WORD streamNumber, BOOL) override
    {
        for (const AVStream* stream : m_outputs)
            if (stream->id == streamNumber)
                return S_OK;
        return NS_E_INVALID_REQUEST;
    }

private:
    InputPtr m_input;
    std::vector<const AVStream*> m_outputs;
};

class CMetadataEditor final : public IWMMetadataEditor, public IWMHeaderInfo, private RefCounted
{
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IWMMetadataEditor)
            *object = static_cast<IWMMetadataEditor*>(this);
        else if (iid == IID_IWMHeaderInfo)
            *object = static_cast<IWMHeaderInfo*>(this);
        else
        {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRefImpl();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    STDMETHODIMP Open(const WCHAR* fileName) override
    {
        if (m_input)
            return E_UNEXPECTED;
        return OpenAsf(fileName, m_input);
    }
    STDMETHODIMP Close() override
    {
        if (!m_input)
            return NS_E_INVALID_REQUEST;
        m_input.reset();
        return S_OK;
    }

    STDMETHODIMP GetAttributeByName(WORD* streamNumber, const WCHAR* name, WMT_ATTR_DATATYPE* type,
                                    BYTE* value, WORD* length) override
    {
        if (!streamNumber || !name || !type || !length)
            return E_POINTER;
        if (!m_input)
            return NS_E_INVALID_REQUEST;
        if (*streamNumber != 0 || std::wcscmp(name, g_wszWMDuration) != 0 ||
            m_input->duration == AV_NOPTS_VALUE || m_input->duration < 0 ||
            m_input->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE)
            return ASF_E_NOTFOUND;
        const ULONGLONG duration = static_cast<ULONGLONG>(m_input->duration) * (10000000 / AV_TIME_BASE);
        *type = WMT_TYPE_QWORD;
        if (!value)
        {
            *length = sizeof duration;
            return S_OK;
        }
        if (*length < sizeof duration)
        {
            *length = sizeof duration;
            return ASF_E_BUFFERTOOSMALL;
        }
        std::memcpy(value, &duration, sizeof duration);
        *length = sizeof duration;
        return S_OK;
    }

private:
    InputPtr m_input;
};
} // namespace

HRESULT WMCreateSyncReader(IUnknown*, DWORD, IWMSyncReader** reader)
{
    if (!reader)
        return E_POINTER;
    *reader = new (std::nothrow) CSyncReader();
    return *reader ? S_OK : E_OUTOFMEMORY;
}

HRESULT WMCreateEditor(IWMMetadataEditor** editor)
{
    if (!editor)
        return E_POINTER;
    *editor = new (std::nothrow) CMetadataEditor();
    return *editor ? S_OK : E_OUTOFMEMORY;
}
