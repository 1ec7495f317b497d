#pragma once

#include "VideoEncoderBitrate.h"

#include "platform/dshowbase/DShow.h"

extern "C"
{
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include <cstddef>
#include <cstdint>
#include <memory>

/// Data pointers and line sizes of one picture, as libavcodec and swscale take them.
struct Picture
{
    uint8_t* data[4] = {};
    int linesize[4] = {};
};

/// The MPEG-4 encoder filter: one MPEG-4 part 2 frame out for each uncompressed frame in. Each frame is
/// converted to planar YUV 4:2:0 straight from the input sample's buffer (a bottom-up RGB picture read
/// from its last line up, with a negative line size) into the encoder's reference-counted frame, reused
/// from frame to frame, and encoded straight into the output sample.
/// Transform runs on the upstream streaming thread under the receive lock; type changes and the bit-rate
/// interface take the filter lock.
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
    /// The YUV picture handed to the encoder while streaming. Its buffer is reference-counted, so that
    /// the encoder takes a reference rather than a copy of it; a buffer the encoder still holds is
    /// replaced rather than written over.
    std::unique_ptr<AVFrame, FrameDeleter> m_pFrame;
    std::unique_ptr<AVPacket, PacketDeleter> m_pPacket;
    std::unique_ptr<SwsContext, ScalerDeleter> m_pScaler;
    int m_sourcePixelFormat = -1;
    /// Where each plane of an input frame starts in the sample's buffer, and its line size (negative for
    /// a bottom-up picture, whose first line shown is the last in memory).
    std::size_t m_sourceOffsets[4] = {};
    int m_sourceLineSizes[4] = {};
    /// Bytes of one input frame; 0 while no input type is set.
    int m_inputFrameSize = 0;
    CMediaType m_outputType;
    int m_width = 0;
    int m_height = 0;
    int64_t m_nextPts = 0;
};
