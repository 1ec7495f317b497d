#pragma once

#include "AudioEncoder.h"
#include "SpeechEncoderSettings.h"

#include "platform/dshowbase/DShow.h"

#include <memory>

class CSpeechEncoderFilter;

/// "XForm In": accepts exactly 16-bit mono PCM at 22,050 Hz with an 18-byte WAVEFORMATEX, makes the
/// encoder when connected and hands every sample to it under a receive lock of its own.
class CSpeechEncoderInputPin final : public CBaseInputPin
{
public:
    CSpeechEncoderInputPin(CSpeechEncoderFilter* filter, IAudioEncoderHost* host, CCritSec* lock,
                           HRESULT* result);

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT BreakConnect() override;
    STDMETHODIMP Receive(IMediaSample* sample) override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP EndOfStream() override;

    /// Serialises Receive with flushing and encoder resets.
    CCritSec m_receiveLock;

private:
    IAudioEncoderHost* m_host;
};

/// "XForm Out": offers the encoder's one output type (so it connects only after the input) and asks for
/// buffers of one second of frames.
class CSpeechEncoderOutputPin final : public CBaseOutputPin
{
public:
    CSpeechEncoderOutputPin(CSpeechEncoderFilter* filter, IAudioEncoderHost* host, CCritSec* lock,
                            HRESULT* result);

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

private:
    IAudioEncoderHost* m_host;
};

/// The speech encoder filter: PCM speech in, AMR frames out, one output sample per input sample.
class CSpeechEncoderFilter final : public CBaseFilter, public ISpeechEncoderSettings, public IAudioEncoderHost
{
public:
    /// The template's creation routine: failures (also thrown ones) go to *result, with no object.
    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* result);
    ~CSpeechEncoderFilter() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

    int GetPinCount() override;
    CBasePin* GetPin(int index) override;
    const AMOVIESETUP_FILTER* GetSetupData() override;
    /// Every transition into paused also resets the encoder.
    STDMETHODIMP Pause() override;

    STDMETHODIMP SetWideband(BOOL wideband) override;
    STDMETHODIMP GetWideband(BOOL* wideband) override;
    STDMETHODIMP SetMode(short mode) override;
    STDMETHODIMP GetMode(short* mode) override;
    STDMETHODIMP SetDTX(BOOL dtx) override;
    STDMETHODIMP GetDTX(BOOL* dtx) override;

    void CreateEncoder(const CMediaType& input) override;
    void DestroyEncoder() override;
    CMediaType GetOutputMediaType() override;
    ALLOCATOR_PROPERTIES GetAllocatorProperties() override;
    IMediaSample* GetDeliveryBuffer(REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags) override;
    HRESULT Encode(IMediaSample* sample) override;
    HRESULT Deliver(IMediaSample* sample) override;
    REFERENCE_TIME GetStreamTime() override;

private:
    explicit CSpeechEncoderFilter(LPUNKNOWN outer);

    CCritSec m_filterLock;
    short m_mode = 7;
    BYTE m_wideband = 0;
    BYTE m_dtx = 1;
    std::unique_ptr<CAudioEncoder> m_encoder;
    CSpeechEncoderInputPin* m_inputPin = nullptr;
    CSpeechEncoderOutputPin* m_outputPin = nullptr;
};
