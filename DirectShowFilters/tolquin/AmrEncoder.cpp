#include "AmrEncoder.h"

#include "TolquinExceptions.h"

#include "platform/com/ComPtr.h"

#include <opencore-amrnb/interf_enc.h>
#include <vo-amrwbenc/enc_if.h>

#include <algorithm>
#include <cstring>
#include <new>

const AmrCodecInfo g_AmrCodecInfo[2] = {
    {FOURCCMap(MAKEFOURCC('s', 'a', 'm', 'r')),
     160,
     8000,
     7,
     32,
     {13, 14, 16, 18, 20, 21, 27, 32, 6, 0, 0, 0, 0, 0, 0, 1},
     {0, 0}},
    {FOURCCMap(MAKEFOURCC('s', 'a', 'w', 'b')),
     320,
     16000,
     8,
     61,
     {18, 24, 33, 37, 41, 47, 51, 59, 61, 6, 6, 0, 0, 0, 1, 1},
     {0, 0}},
};

CAmrEncoder::CAmrEncoder(IAudioEncoderHost* host, const CMediaType& input, unsigned short mode, BYTE wideband,
                         BYTE dtx)
    : CAudioEncoder(input), m_host(host), m_mode(mode), m_wideband(wideband ? 1 : 0), m_dtx(dtx ? 1 : 0)
{
    const AmrCodecInfo& codec = g_AmrCodecInfo[m_wideband];
    if (m_mode > codec.highestMode)
        throw CInvalidArgumentException(THROW_SITE_MESSAGE("Invalid audio encoder mode specified"));

    // The rates and channel count below divide and size buffers; a type without them cannot be encoded.
    const auto* format = reinterpret_cast<const WAVEFORMATEX*>(m_inputType.Format());
    if (!format || m_inputType.FormatLength() < sizeof(WAVEFORMATEX) || format->nSamplesPerSec == 0 ||
        format->nChannels == 0)
        throw CInvalidArgumentException(THROW_SITE_MESSAGE("Invalid audio input format"));

    m_codecState = m_wideband ? E_IF_init() : Encoder_Interface_init(m_dtx);
    if (!m_codecState)
        throw CAudioEncoderException(
            THROW_SITE_MESSAGE("Initialization of 3GPP AMR encoding libraries failed"));

    int error = 0;
    m_converter = src_new(SRC_LINEAR, format->nChannels, &error);
    if (!m_converter)
    {
        FreeAll();
        throw CAudioEncoderException(THROW_SITE_MESSAGE(
            std::string("Initialization of the SRC library failed: ") + src_strerror(error)));
    }

    m_inputRate = format->nSamplesPerSec;
    m_ratio = static_cast<double>(codec.sampleRate) / m_inputRate;
    m_inputCapacity = m_inputRate;
    m_framesPerSecond = 50;
    m_carried = 0;

    const std::size_t codecSamples = static_cast<std::size_t>(codec.samplesPerFrame) * m_framesPerSecond;
    m_frameBuffer = new (std::nothrow) short[codecSamples];
    if (!m_frameBuffer)
    {
        FreeAll();
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate resampling buffers"));
    }
    m_inputBuffer = new (std::nothrow) float[m_inputCapacity];
    if (!m_inputBuffer)
    {
        FreeAll();
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate input buffers"));
    }
    m_resampledBuffer = new (std::nothrow) float[codecSamples];
    if (!m_resampledBuffer)
    {
        FreeAll();
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate output buffers"));
    }
}

CAmrEncoder::~CAmrEncoder()
{
    FreeAll();
}

void CAmrEncoder::FreeAll()
{
    delete[] m_frameBuffer;
    m_frameBuffer = nullptr;
    delete[] m_inputBuffer;
    m_inputBuffer = nullptr;
    delete[] m_resampledBuffer;
    m_resampledBuffer = nullptr;
    if (m_converter)
        m_converter = src_delete(m_converter);
    if (m_codecState)
    {
        if (m_wideband)
            E_IF_exit(m_codecState);
        else
            Encoder_Interface_exit(m_codecState);
        m_codecState = nullptr;
    }
}

void CAmrEncoder::Reset()
{
    const int error = src_reset(m_converter);
    if (error != 0)
        throw CAudioEncoderException(
            THROW_SITE_MESSAGE(std::string("Failed to reset the SRC library: ") + src_strerror(error)));
    m_carried = 0;
}

int CAmrEncoder::EncodeFrame(const short* samples, BYTE* out)
{
    if (m_wideband)
        return E_IF_encode(m_codecState, m_mode, samples, out, m_dtx);
    return Encoder_Interface_Encode(m_codecState, static_cast<Mode>(m_mode), samples, out, 0);
}

HRESULT CAmrEncoder::Encode(IMediaSample* input)
{
    const AmrCodecInfo& codec = g_AmrCodecInfo[m_wideband];

    BYTE* inputData = nullptr;
    HRESULT hr = input->GetPointer(&inputData);
    if (FAILED(hr))
        throw CDirectShowException(THROW_SITE_MESSAGE("Failed to get input sample buffer"), hr);

    // The output sample goes back to its allocator on every path, thrown or not: a buffer kept by
    // mistake would stall the stream once all of them are out.
    const auto output =
        platform::com::ComPtr<IMediaSample>::Adopt(m_host->GetDeliveryBuffer(nullptr, nullptr, 0));
    BYTE* outputData = nullptr;
    hr = output->GetPointer(&outputData);
    if (FAILED(hr))
        throw CDirectShowException(THROW_SITE_MESSAGE("Failed to get output sample buffer"), hr);
    const long outputSize = output->GetSize();

    const long length = input->GetActualDataLength();
    const unsigned count = length > 0 ? static_cast<unsigned>(length) / 2 : 0;
    const unsigned total = m_carried + count;
    if (count > m_inputCapacity || total > m_inputCapacity)
        throw CBufferOverflowException(THROW_SITE_MESSAGE("Audio input buffer overflowed"));

    const auto* samples = reinterpret_cast<const short*>(inputData);
    for (unsigned i = 0; i < count; ++i)
    {
        short sample;
        std::memcpy(&sample, samples + i, sizeof(sample));
        m_inputBuffer[m_carried + i] = static_cast<float>(sample);
    }

    const auto duration = static_cast<unsigned>(static_cast<double>(total) * 1000000.0 / m_inputRate);
    const unsigned frames = duration / 20000;
    const unsigned outputSamples = frames * codec.samplesPerFrame;
    const unsigned used = static_cast<unsigned>(static_cast<unsigned long long>(m_inputRate) * outputSamples /
                                                codec.sampleRate);
    const unsigned carried = total - used;

    long generated = 0;
    if (outputSamples > 0)
    {
        SRC_DATA data{};
        data.data_in = m_inputBuffer;
        data.input_frames = used;
        data.data_out = m_resampledBuffer;
        data.output_frames = outputSamples;
        data.end_of_input = 0;
        data.src_ratio = m_ratio;
        const int error = src_process(m_converter, &data);
        if (error != 0)
            throw CAudioEncoderException(
                THROW_SITE_MESSAGE(std::string("Sample rate conversion failed: ") + src_strerror(error)));
        generated = data.output_frames_gen;
    }
    for (long j = 0; j < generated; ++j)
        m_frameBuffer[j] = static_cast<short>(std::clamp(m_resampledBuffer[j], -32768.0f, 32767.0f));

    std::memmove(m_inputBuffer, m_inputBuffer + used, carried * sizeof(float));
    m_carried = carried;

    // Only whole frames are encoded: a frame the converter left short would carry stale samples.
    long bytes = 0;
    for (long j = 0; j + static_cast<long>(codec.samplesPerFrame) <= generated;
         j += static_cast<long>(codec.samplesPerFrame))
    {
        if (bytes + codec.largestFrameBytes > outputSize)
            throw CBufferOverflowException(THROW_SITE_MESSAGE("Audio output buffer overflowed"));
        const int written = EncodeFrame(m_frameBuffer + j, outputData + bytes);
        if (written < 0 || written > codec.largestFrameBytes)
            throw CAudioEncoderException(THROW_SITE_MESSAGE("AMR frame encoding failed"));
        bytes += written;
    }

    output->SetSyncPoint(TRUE);
    output->SetActualDataLength(bytes);
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    if (FAILED(input->GetTime(&start, &stop)))
        start = stop = 0;
    output->SetTime(&start, &stop);
    return m_host->Deliver(output.Get());
}

unsigned CAmrEncoder::GetOutputBufferSize() const
{
    return static_cast<unsigned>(g_AmrCodecInfo[m_wideband].largestFrameBytes) * m_framesPerSecond;
}

CMediaType CAmrEncoder::GetOutputMediaType() const
{
    const AmrCodecInfo& codec = g_AmrCodecInfo[m_wideband];
    const BYTE frameBytes = codec.frameBytes[m_mode];
    CMediaType type;
    type.SetType(&MEDIATYPE_Audio);
    type.SetSubtype(&codec.subtype);
    type.SetTemporalCompression(FALSE);
    type.SetFormatType(&FORMAT_WaveFormatEx);
    auto* format = reinterpret_cast<WAVEFORMATEX*>(type.AllocFormatBuffer(sizeof(WAVEFORMATEX)));
    if (!format)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate media format buffer"));
    format->wFormatTag = static_cast<WORD>(codec.subtype.Data1 & 0xFFFF);
    format->nChannels = 1;
    format->nSamplesPerSec = codec.sampleRate;
    format->nAvgBytesPerSec = static_cast<DWORD>(frameBytes) * 50;
    format->nBlockAlign = 1;
    format->wBitsPerSample = 16;
    format->cbSize = 0;
    type.SetSampleSize(frameBytes);
    return type;
}
