#pragma once

#include "platform/dshowbase/DShow.h"

/// What an encoder needs of the filter that hosts it: delivery buffers and delivery downstream. The
/// pins reach the encoder through it too. Failures are thrown.
class IAudioEncoderHost
{
public:
    virtual ~IAudioEncoderHost() = default;
    /// Makes the encoder for the connected input type; CDirectShowException(VFW_E_ALREADY_CONNECTED)
    /// when one exists.
    virtual void CreateEncoder(const CMediaType& input) = 0;
    virtual void DestroyEncoder() = 0;
    /// CDirectShowException(VFW_E_NOT_CONNECTED) without an encoder.
    virtual CMediaType GetOutputMediaType() = 0;
    /// CDirectShowException(VFW_E_NOT_CONNECTED) without an encoder.
    virtual ALLOCATOR_PROPERTIES GetAllocatorProperties() = 0;
    /// A buffer of the output pin's allocator, with a reference the caller releases.
    virtual IMediaSample* GetDeliveryBuffer(REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags) = 0;
    virtual HRESULT Encode(IMediaSample* sample) = 0;
    virtual HRESULT Deliver(IMediaSample* sample) = 0;
    /// The filter's stream time, 0 when it has no clock.
    virtual REFERENCE_TIME GetStreamTime() = 0;
};

/// An encoder of the input media type it was made for.
class CAudioEncoder
{
public:
    explicit CAudioEncoder(const CMediaType& input) : m_inputType(input) {}
    virtual ~CAudioEncoder() = default;
    CAudioEncoder(const CAudioEncoder&) = delete;
    CAudioEncoder& operator=(const CAudioEncoder&) = delete;

    /// Drops buffered input and restarts the codec's stream state.
    virtual void Reset() = 0;
    /// Encodes one input sample and delivers what it gives through the host.
    virtual HRESULT Encode(IMediaSample* input) = 0;
    /// The bytes one output sample may need.
    virtual unsigned GetOutputBufferSize() const = 0;
    virtual CMediaType GetOutputMediaType() const = 0;

protected:
    CMediaType m_inputType;
};
