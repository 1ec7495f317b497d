#pragma once

#include "platform/com/Unknown.h"

/// The speech encoder filter "Tavisk Speech Encoder": 16-bit mono PCM at 22,050 Hz in, AMR narrowband
/// ("samr") or wideband ("sawb") frames in the storage format out.
DEFINE_GUID(CLSID_SpeechEncoderFilter, 0xF160BAAC, 0x5A50, 0x473C, 0x8E, 0x22, 0xEC, 0x7E, 0xEE, 0x53, 0xCB,
            0xD8);
DEFINE_GUID(IID_ISpeechEncoderSettings, 0xFCD9CB4B, 0x6055, 0x4D54, 0xAB, 0x4F, 0x97, 0x3E, 0x9D, 0xD0, 0x77,
            0x10);

/// The encoder's settings, taken when the filter's input is connected; the setters return
/// VFW_E_ALREADY_CONNECTED while it is, and the getters E_POINTER for NULL.
struct ISpeechEncoderSettings : IUnknown
{
    /// Non-zero: AMR wideband at 16,000 Hz; zero (the default): narrowband at 8,000 Hz.
    STDMETHOD(SetWideband)(BOOL wideband) PURE;
    STDMETHOD(GetWideband)(BOOL* wideband) PURE;
    /// The AMR mode, 0 up to 7 (narrowband) or 8 (wideband); default 7. Checked only when the input
    /// connects, which fails with E_UNEXPECTED for a mode above the codec's highest.
    STDMETHOD(SetMode)(short mode) PURE;
    STDMETHOD(GetMode)(short* mode) PURE;
    /// Discontinuous transmission (silence descriptors instead of speech frames); on by default.
    STDMETHOD(SetDTX)(BOOL dtx) PURE;
    STDMETHOD(GetDTX)(BOOL* dtx) PURE;

protected:
    ~ISpeechEncoderSettings() = default;
};
