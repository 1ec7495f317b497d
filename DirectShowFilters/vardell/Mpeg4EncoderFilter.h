#pragma once

#include "VideoEncoderBitrate.h"

#include "platform/dshowbase/DShow.h"

extern "C"
{
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <memory>

/// Data pointers and line sizes of one picture, as libavcodec and swscale take them.
struct Picture
{
    uint8_t* data[4] = {};
    int linesize[4] = {};
};

/// Turns a bottom-up picture upright in place (height lines of linesize[0] bytes).
using UprightRoutine = void (*)(Picture& picture, int height);

/// The MPEG-4 encoder filter: one MPEG-4 part 2 frame out for each uncompressed frame in. Each frame is
/// copied, turned upright when it is a bottom-up RGB picture, converted to planar YUV 4:2:0 and encoded
/// straight into the output sample. Transform runs on the upstream streaming thread under the receive
/// lock; type changes and the bit-rate interface take the filter lock.
class CMpeg4EncoderFilter final : public CTransformFilter, public IVideoEncoderBitrate
{
public:
    /// The template's creation routine: failures (also thrown ones) go to *result, with no object.
    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* result);
    ~CMpeg4EncoderFilter() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;
    const AMOVIESETUP_FILTER* GetSetupData() override;

    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
    HRESULT CheckInputType(const CMediaType* type) override;
    HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* type) override;
    HRESULT BreakConnect(PIN_DIRECTION direction) override;

    /// Closes the codec before its type changes; vardell::CInvalidStateException while a pin is connected.
    virtual void PrepareCodecChange();

    STDMETHODIMP SetBitrate(unsigned short kbps) override;
    STDMETHODIMP GetBitrate(unsigned short* kbps) override;

private:
    struct ContextDeleter
    {
        void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
    };
    struct FrameDeleter
    {
        void operator()(AVFrame* frame) const { av_frame_free(&frame); }
    };
    struct PacketDeleter
    {
        void operator()(AVPacket* packet) const { av_packet_free(&packet); }
    };
    struct ScalerDeleter
    {
        void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
    };

    explicit CMpeg4EncoderFilter(LPUNKNOWN outer);
    HRESULT SetInputType(const CMediaType* type);
    HRESULT OpenCodec();
    void CloseCodec();
    void FreeBuffers();
    HRESULT Encode(IMediaSample* out);

    /// The encoder's settings; never opened itself. Each open makes a context from it, as libavcodec
    /// does not open a closed context again.
    std::unique_ptr<AVCodecContext, ContextDeleter> m_pCodecContext;
    const AVCodec* m_pCodec = nullptr;
    /// The open encoder, if any.
    std::unique_ptr<AVCodecContext, ContextDeleter> m_pOpenContext;
    std::unique_ptr<AVFrame, FrameDeleter> m_pFrame;
    std::unique_ptr<AVPacket, PacketDeleter> m_pPacket;
    std::unique_ptr<SwsContext, ScalerDeleter> m_pScaler;
    int m_yuvBufferSize = 0;
    int m_sourcePixelFormat = -1;
    Picture m_sourcePicture;
    UprightRoutine m_upright = nullptr;
    int m_inputBufferSize = 0;
    Picture m_yuvPicture;
    CMediaType m_outputType;
    std::unique_ptr<BYTE[]> m_inputBuffer;
    std::unique_ptr<BYTE[]> m_yuvBuffer;
    int m_width = 0;
    int m_height = 0;
    int64_t m_nextPts = 0;
};
