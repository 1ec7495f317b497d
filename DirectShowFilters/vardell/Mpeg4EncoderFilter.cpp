#include "Mpeg4EncoderFilter.h"

#include "VardellExceptions.h"
#include "VideoInfoHeader.h"

#include "DirectShowFilters/FilterErrors.h"

extern "C"
{
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <new>

namespace
{
constexpr GUID kMp4v = FOURCCMap(MAKEFOURCC('M', 'P', '4', 'V'));

/// Larger pictures are refused before any buffer is sized for them; MPEG-4 part 2 stops below this.
constexpr LONG kMaxDimension = 8192;

/// The encoder's own bound for one frame: no macroblock takes more than 30 bits for each of its 384
/// coefficients plus 120 bytes of side information, and 100 more are kept for it; 10000 bytes hold the
/// picture and stream headers. Below this, noisy pictures at a high bit rate are dropped.
constexpr long kMacroblockBytes = 30 * 16 * 16 * 3 / 8 + 120 + 100;
constexpr long kFrameHeaderBytes = 10000;

/// One accepted input format: how its frame lies in memory. Each term is a factor of the width (line
/// sizes) or of width × height (offsets and the frame size).
struct PixelFormatRow
{
    GUID subtype;
    AVPixelFormat format;
    double lineSize[3];
    double offset[3];
    double frameSize;
    /// A bottom-up picture of this format (RGB, positive height) is read from its last line up.
    bool readBottomUp;
    /// Chroma shared by two columns (and two lines): the width (and height) must be even.
    bool evenWidth;
    bool evenHeight;
};

const PixelFormatRow kPixelFormats[] = {
    {MEDIASUBTYPE_RGB24, AV_PIX_FMT_BGR24, {3, 0, 0}, {0, 0, 0}, 3, true, false, false},
    {MEDIASUBTYPE_ARGB32, AV_PIX_FMT_RGB32, {4, 0, 0}, {0, 0, 0}, 4, true, false, false},
    {MEDIASUBTYPE_RGB565, AV_PIX_FMT_RGB565, {2, 0, 0}, {0, 0, 0}, 2, true, false, false},
    {MEDIASUBTYPE_RGB555, AV_PIX_FMT_RGB555, {2, 0, 0}, {0, 0, 0}, 2, true, false, false},
    {MEDIASUBTYPE_IYUV, AV_PIX_FMT_YUV420P, {1, 0.5, 0.5}, {0, 1, 1.25}, 1.5, false, true, true},
    {MEDIASUBTYPE_YV12, AV_PIX_FMT_YUV420P, {1, 0.5, 0.5}, {0, 1.25, 1}, 1.5, false, true, true},
    {MEDIASUBTYPE_UYVY, AV_PIX_FMT_UYVY422, {2, 0, 0}, {0, 0, 0}, 2, false, true, false},
    {MEDIASUBTYPE_YUY2, AV_PIX_FMT_YUYV422, {2, 0, 0}, {0, 0, 0}, 2, false, true, false},
    {MEDIASUBTYPE_YUYV, AV_PIX_FMT_YUYV422, {2, 0, 0}, {0, 0, 0}, 2, false, true, false},
};

const PixelFormatRow* FindRow(const GUID& subtype)
{
    for (const auto& row : kPixelFormats)
        if (row.subtype == subtype)
            return &row;
    return nullptr;
}
} // namespace

CMpeg4EncoderFilter::CMpeg4EncoderFilter(LPUNKNOWN outer)
    : CTransformFilter("MPEG-4 encoder filter", outer, CLSID_Mpeg4EncoderFilter)
{
    m_pCodecContext.reset(avcodec_alloc_context3(nullptr));
    if (!m_pCodecContext)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate AVCodecContext"));
    AVCodecContext* context = m_pCodecContext.get();
    context->bit_rate = 384000;
    context->bit_rate_tolerance = static_cast<int>(context->bit_rate / 4);
    context->flags = AV_CODEC_FLAG_4MV;
    context->gop_size = 15;
    context->qcompress = 0.5f;
    context->qblur = 0.5f;
    context->qmin = 2;
    context->qmax = 31;
    context->max_qdiff = 3;
    context->max_b_frames = 0;
    context->pix_fmt = AV_PIX_FMT_YUV420P;

    std::srand(static_cast<unsigned>(std::time(nullptr)));

    PrepareCodecChange();
    m_outputType.SetType(&MEDIATYPE_Video);
    m_outputType.SetSubtype(&kMp4v);
    m_outputType.SetVariableSize();
    m_outputType.SetTemporalCompression(TRUE);
    m_outputType.SetFormatType(&FORMAT_VideoInfo);
    CVideoInfoHeader header;
    header.bmiHeader()->biSize = sizeof(BITMAPINFOHEADER);
    header.bmiHeader()->biPlanes = 1;
    header.bmiHeader()->biCompression = MAKEFOURCC('M', 'P', '4', 'V');
    if (!m_outputType.SetFormat(reinterpret_cast<const BYTE*>(header.rcSource()), sizeof(VIDEOINFOHEADER)))
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate media format buffer"));
    m_pCodec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (!m_pCodec)
        throw CVideoEncoderException(THROW_SITE_MESSAGE("Unable to find the codec"));
}

CMpeg4EncoderFilter::~CMpeg4EncoderFilter()
{
    FreeBuffers();
    CloseCodec();
}

CUnknown* CMpeg4EncoderFilter::CreateInstance(LPUNKNOWN outer, HRESULT* result)
{
    HRESULT ignored = S_OK;
    if (!result)
        result = &ignored;
    *result = S_OK;
    try
    {
        auto* filter = new (std::nothrow) CMpeg4EncoderFilter(outer);
        if (!filter)
            *result = E_OUTOFMEMORY;
        return filter;
    }
    catch (...)
    {
        *result = HResultFromException();
        return nullptr;
    }
}

STDMETHODIMP CMpeg4EncoderFilter::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (iid == IID_IVideoEncoderBitrate)
        return GetInterface(static_cast<IVideoEncoderBitrate*>(this), object);
    return CTransformFilter::NonDelegatingQueryInterface(iid, object);
}

const AMOVIESETUP_FILTER* CMpeg4EncoderFilter::GetSetupData()
{
    return nullptr;
}

void CMpeg4EncoderFilter::PrepareCodecChange()
{
    if ((m_pInput && m_pInput->IsConnected()) || (m_pOutput && m_pOutput->IsConnected()))
        throw vardell::CInvalidStateException(THROW_SITE_MESSAGE("Dynamic codec type changes not supported"));
    CloseCodec();
}

void CMpeg4EncoderFilter::CloseCodec()
{
    m_pOpenContext.reset();
}

void CMpeg4EncoderFilter::FreeBuffers()
{
    m_pScaler.reset();
    m_inputFrameSize = 0;
    std::fill(std::begin(m_sourceOffsets), std::end(m_sourceOffsets), 0);
    std::fill(std::begin(m_sourceLineSizes), std::end(m_sourceLineSizes), 0);
}

HRESULT CMpeg4EncoderFilter::CheckInputType(const CMediaType* type)
{
    if (!type)
        return E_POINTER;
    if (type->majortype != MEDIATYPE_Video)
        return VFW_E_TYPE_NOT_ACCEPTED;
    const PixelFormatRow* row = FindRow(type->subtype);
    if (!row)
        return VFW_E_TYPE_NOT_ACCEPTED;
    try
    {
        CVideoInfoHeader header(const_cast<CMediaType&>(*type));
        const LONG width = header.bmiHeader()->biWidth;
        const LONG height = header.bmiHeader()->biHeight;
        if (width == 0 || height == 0 || *header.AvgTimePerFrame() == 0)
            return VFW_E_TYPE_NOT_ACCEPTED;
        // Sizes that could not be laid out as the row says, or would overflow the buffer arithmetic, and
        // frame durations that give no frame rate, are refused here rather than met in Transform.
        if (width <= -kMaxDimension || width >= kMaxDimension || height <= -kMaxDimension ||
            height >= kMaxDimension || *header.AvgTimePerFrame() < 0)
            return VFW_E_TYPE_NOT_ACCEPTED;
        if ((row->evenWidth && width % 2 != 0) || (row->evenHeight && height % 2 != 0))
            return VFW_E_TYPE_NOT_ACCEPTED;
        return S_OK;
    }
    catch (const CInvalidObjectException&)
    {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    catch (...)
    {
        return HResultFromException();
    }
}

HRESULT CMpeg4EncoderFilter::CheckTransform(const CMediaType*, const CMediaType* out)
{
    if (!out)
        return E_POINTER;
    return *out == m_outputType ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CMpeg4EncoderFilter::GetMediaType(int position, CMediaType* type)
{
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    if (!type)
        return E_POINTER;
    return type->Set(m_outputType);
}

HRESULT CMpeg4EncoderFilter::SetMediaType(PIN_DIRECTION direction, const CMediaType* type)
{
    try
    {
        if (direction == PINDIR_INPUT)
        {
            const HRESULT hr = SetInputType(type);
            if (FAILED(hr))
                return hr;
        }
        return OpenCodec();
    }
    catch (...)
    {
        return HResultFromException();
    }
}

HRESULT CMpeg4EncoderFilter::SetInputType(const CMediaType* type)
{
    CVideoInfoHeader input(const_cast<CMediaType&>(*type));
    CVideoInfoHeader output(m_outputType);
    const REFERENCE_TIME frameTime = *input.AvgTimePerFrame();
    if (frameTime <= 0)
        return VFW_E_TYPE_NOT_ACCEPTED;
    const int width = std::abs(static_cast<int>(input.bmiHeader()->biWidth));
    const int height = std::abs(static_cast<int>(input.bmiHeader()->biHeight));
    *output.AvgTimePerFrame() = frameTime;
    *output.dwBitRate() = static_cast<DWORD>(m_pCodecContext->bit_rate);
    output.bmiHeader()->biWidth = width;
    output.bmiHeader()->biHeight = height;
    m_pCodecContext->width = width;
    m_pCodecContext->height = height;
    // A frame time above one second would give a rate of zero; one frame per second is the slowest.
    const auto framesPerSecond = static_cast<int>(std::max<REFERENCE_TIME>(1, UNITS / frameTime));
    m_pCodecContext->time_base = AVRational{1, framesPerSecond};
    m_width = width;
    m_height = height;

    const PixelFormatRow* row = FindRow(type->subtype);
    if (!row)
        return VFW_E_TYPE_NOT_ACCEPTED;
    m_sourcePixelFormat = row->format;
    const DWORD compression = input.bmiHeader()->biCompression;
    const bool bottomUp = (compression == BI_RGB || compression == BI_BITFIELDS) &&
                          input.bmiHeader()->biHeight >= 1 && row->readBottomUp;

    const double area = static_cast<double>(width) * height;
    m_pScaler.reset();
    m_inputFrameSize = static_cast<int>(row->frameSize * area);
    for (int i = 0; i < 4; ++i)
    {
        m_sourceOffsets[i] = i < 3 ? static_cast<std::size_t>(row->offset[i] * area) : 0;
        m_sourceLineSizes[i] = i < 3 ? static_cast<int>(row->lineSize[i] * width) : 0;
    }
    if (bottomUp)
    {
        // The picture is read in place from its last line up rather than turned upright in a copy.
        m_sourceOffsets[0] +=
            static_cast<std::size_t>(height - 1) * static_cast<std::size_t>(m_sourceLineSizes[0]);
        m_sourceLineSizes[0] = -m_sourceLineSizes[0];
    }

    // With an odd width, the converter's half-width chroma reader pairs each line's last pixel with one
    // beyond the line, which for the last line in memory lies past the end of the frame: chroma is read
    // at full width instead.
    const int flags = SWS_BICUBIC | (width % 2 != 0 ? SWS_FULL_CHR_H_INP : 0);
    m_pScaler.reset(sws_getContext(width, height, row->format, width, height, m_pCodecContext->pix_fmt, flags,
                                   nullptr, nullptr, nullptr));
    if (!m_pScaler)
    {
        FreeBuffers();
        return VFW_E_RUNTIME_ERROR;
    }
    return S_OK;
}

HRESULT CMpeg4EncoderFilter::OpenCodec()
{
    CloseCodec();
    if (m_pCodec)
    {
        std::unique_ptr<AVCodecContext, ContextDeleter> context(avcodec_alloc_context3(m_pCodec));
        if (context)
        {
            const AVCodecContext* settings = m_pCodecContext.get();
            context->bit_rate = settings->bit_rate;
            context->bit_rate_tolerance = settings->bit_rate_tolerance;
            context->flags = settings->flags;
            context->gop_size = settings->gop_size;
            context->qcompress = settings->qcompress;
            context->qblur = settings->qblur;
            context->qmin = settings->qmin;
            context->qmax = settings->qmax;
            context->max_qdiff = settings->max_qdiff;
            context->max_b_frames = settings->max_b_frames;
            context->pix_fmt = settings->pix_fmt;
            context->width = settings->width;
            context->height = settings->height;
            context->time_base = settings->time_base;
            if (avcodec_open2(context.get(), m_pCodec, nullptr) >= 0)
            {
                m_pOpenContext = std::move(context);
                m_nextPts = 0;
                return S_OK;
            }
        }
    }
    FreeBuffers();
    return VFW_E_RUNTIME_ERROR;
}

HRESULT CMpeg4EncoderFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    if (!allocator || !request)
        return E_POINTER;
    // Room for the largest frame the encoder can make of a picture of this size, so that no frame is ever
    // lost for want of space (the frames after it would be decoded against a picture that never came).
    const long macroblocks =
        (static_cast<long>(m_width) + 15) / 16 * ((static_cast<long>(m_height) + 15) / 16);
    request->cbBuffer = std::max<long>(request->cbBuffer, macroblocks * kMacroblockBytes + kFrameHeaderBytes);
    request->cBuffers = request->cBuffers > 1 ? request->cBuffers : 2;
    ALLOCATOR_PROPERTIES actual{};
    allocator->SetProperties(request, &actual);
    return actual.cbBuffer < request->cbBuffer ? E_FAIL : S_OK;
}

HRESULT CMpeg4EncoderFilter::StartStreaming()
{
    m_pFrame.reset(av_frame_alloc());
    m_pPacket.reset(av_packet_alloc());
    if (!m_pFrame || !m_pPacket)
    {
        m_pFrame.reset();
        m_pPacket.reset();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT CMpeg4EncoderFilter::StopStreaming()
{
    m_pFrame.reset();
    m_pPacket.reset();
    return S_OK;
}

HRESULT CMpeg4EncoderFilter::BreakConnect(PIN_DIRECTION direction)
{
    if (direction == PINDIR_INPUT)
        FreeBuffers();
    return S_OK;
}

HRESULT CMpeg4EncoderFilter::Transform(IMediaSample* in, IMediaSample* out)
{
    try
    {
        if (!m_pFrame || !m_pOpenContext || m_inputFrameSize <= 0 || !m_pScaler)
            return VFW_E_WRONG_STATE;
        BYTE* data = nullptr;
        HRESULT hr = in->GetPointer(&data);
        if (FAILED(hr))
            return hr;
        if (!data)
            return E_POINTER;
        const long length = in->GetActualDataLength();
        if (length > m_inputFrameSize)
            return VFW_E_BUFFER_OVERFLOW;
        // A short sample is no whole frame; converting it would read past its data.
        if (length < m_inputFrameSize)
            return E_INVALIDARG;

        Picture source;
        for (int i = 0; i < 4; ++i)
        {
            source.data[i] = m_sourceLineSizes[i] != 0 ? data + m_sourceOffsets[i] : nullptr;
            source.linesize[i] = m_sourceLineSizes[i];
        }
        AVFrame* frame = m_pFrame.get();
        if (!av_frame_is_writable(frame))
        {
            // No buffer yet, or the encoder still holds the last picture: this one gets a buffer of its
            // own (odd sizes round the chroma planes up, so the last column and line have chroma too).
            av_frame_unref(frame);
            frame->format = m_pOpenContext->pix_fmt;
            frame->width = m_width;
            frame->height = m_height;
            if (av_frame_get_buffer(frame, 0) < 0)
                return E_OUTOFMEMORY;
        }
        if (sws_scale(m_pScaler.get(), source.data, source.linesize, 0, m_height, frame->data,
                      frame->linesize) <= 0)
            return VFW_E_RUNTIME_ERROR;
        return Encode(out);
    }
    catch (...)
    {
        return HResultFromException();
    }
}

HRESULT CMpeg4EncoderFilter::Encode(IMediaSample* out)
{
    AVFrame* frame = m_pFrame.get();
    frame->pts = m_nextPts++;

    BYTE* buffer = nullptr;
    HRESULT hr = out->GetPointer(&buffer);
    if (FAILED(hr))
        return hr;
    const long size = out->GetSize();

    if (avcodec_send_frame(m_pOpenContext.get(), frame) < 0)
        return VFW_E_RUNTIME_ERROR;
    AVPacket* packet = m_pPacket.get();
    const int received = avcodec_receive_packet(m_pOpenContext.get(), packet);
    if (received == AVERROR(EAGAIN))
    {
        // The encoder holds the frame back; nothing to deliver for it yet.
        out->SetActualDataLength(0);
        return S_FALSE;
    }
    if (received < 0)
        return VFW_E_RUNTIME_ERROR;
    hr = S_OK;
    if (packet->size > size)
        hr = VFW_E_BUFFER_OVERFLOW;
    else
    {
        std::memcpy(buffer, packet->data, static_cast<std::size_t>(packet->size));
        out->SetActualDataLength(packet->size);
        out->SetSyncPoint((packet->flags & AV_PKT_FLAG_KEY) != 0);
    }
    av_packet_unref(packet);
    return hr;
}

STDMETHODIMP CMpeg4EncoderFilter::SetBitrate(unsigned short kbps)
{
    const unsigned bits = static_cast<unsigned>(kbps) * 1000;
    CAutoLock lock(&m_csFilter);
    try
    {
        if (bits == 0 || bits > 1000000)
            throw CVideoEncoderException(THROW_SITE_MESSAGE("Invalid bitrate value"));
        m_pCodecContext->bit_rate = bits;
        m_pCodecContext->bit_rate_tolerance = static_cast<int>(bits * 0.25);
        return S_OK;
    }
    catch (const CVideoEncoderException&)
    {
        return E_INVALIDARG;
    }
    catch (...)
    {
        return HResultFromException();
    }
}

STDMETHODIMP CMpeg4EncoderFilter::GetBitrate(unsigned short* kbps)
{
    if (!kbps)
        return E_POINTER;
    CAutoLock lock(&m_csFilter);
    *kbps = static_cast<unsigned short>(static_cast<unsigned>(m_pCodecContext->bit_rate) / 1000);
    return S_OK;
}
