#pragma once

#include "platform/com/Unknown.h"

/// The MPEG-4 encoder filter "Tavisk MPEG-4 Encoder" (RGB and YUV video in, MPEG-4 part 2 "MP4V" out)
/// and the stub filter "Tavisk MPEG-4 Decoder", which accepts MPEG-4 family streams and produces nothing.
DEFINE_GUID(CLSID_Mpeg4EncoderFilter, 0xFFB50620, 0xE602, 0x43A5, 0xB1, 0x33, 0x46, 0x59, 0x04, 0x9A, 0x9B,
            0x1A);
DEFINE_GUID(CLSID_Mpeg4DecoderFilter, 0x5C8958B0, 0x7CAC, 0x41CE, 0x89, 0x75, 0xFA, 0xF5, 0xC1, 0x3D, 0x99,
            0x6C);
DEFINE_GUID(IID_IVideoEncoderBitrate, 0x7AE8D08E, 0xC2D9, 0x4D71, 0xAE, 0xC5, 0xE1, 0x8C, 0x9F, 0x5B, 0x2A,
            0x0F);

/// The encoder's target bit rate in kbit/s (default 384). A new rate applies from the next time the input
/// type is set (the next connection).
struct IVideoEncoderBitrate : IUnknown
{
    /// 1..1000; E_INVALIDARG otherwise.
    STDMETHOD(SetBitrate)(unsigned short kbps) PURE;
    /// E_POINTER for NULL.
    STDMETHOD(GetBitrate)(unsigned short* kbps) PURE;

protected:
    ~IVideoEncoderBitrate() = default;
};
