#pragma once

#include "AudioEncoder.h"

#include <samplerate.h>

#include <memory>

/// One row of the AMR codec table, indexed by the wideband flag.
struct AmrCodecInfo
{
    GUID subtype;
    DWORD samplesPerFrame;
    DWORD sampleRate;
    BYTE highestMode;
    BYTE largestFrameBytes;
    /// Bytes of a stored frame by its frame type 0..15, the frame-type byte included.
    BYTE frameBytes[16];
    BYTE reserved[2];
};

/// Narrowband ("samr", 8 kHz, modes 0..7) and wideband ("sawb", 16 kHz, modes 0..8).
extern const AmrCodecInfo g_AmrCodecInfo[2];

/// Encodes 16-bit PCM to AMR frames in the storage format: the input is converted to the codec's rate,
/// cut into 20-ms frames and all frames of one input sample go out in one output sample. Input short of
/// a whole frame waits for the next sample. Runs on the streaming thread; no locks of its own.
class CAmrEncoder final : public CAudioEncoder
{
public:
    /// Throws CInvalidArgumentException for a mode above the codec's highest, CAudioEncoderException when
    /// a library cannot start, COutOfMemoryException when a buffer cannot be had.
    CAmrEncoder(IAudioEncoderHost* host, const CMediaType& input, unsigned short mode, BYTE wideband,
                BYTE dtx);
    ~CAmrEncoder() override;

    void Reset() override;
    /// Throws CBufferOverflowException when the sample would overflow one second of buffered input (the
    /// sample is then dropped whole and the carried input kept).
    HRESULT Encode(IMediaSample* input) override;
    unsigned GetOutputBufferSize() const override;
    CMediaType GetOutputMediaType() const override;

private:
    void FreeAll();
    int EncodeFrame(const short* samples, BYTE* out);

    IAudioEncoderHost* m_host;
    unsigned short m_mode;
    BYTE m_wideband;
    BYTE m_dtx;
    float* m_inputBuffer = nullptr;
    float* m_resampledBuffer = nullptr;
    short* m_frameBuffer = nullptr;
    void* m_codecState = nullptr;
    SRC_STATE* m_converter = nullptr;
    unsigned m_carried = 0;
    unsigned m_inputRate = 0;
    unsigned m_inputCapacity = 0;
    unsigned m_framesPerSecond = 50;
    double m_ratio = 0;
};
