#pragma once

#include "platform/dshow/Strmif.h"

/// The sample grabber, which hands each sample passing through it to a callback, and the null renderer.

DEFINE_GUID(CLSID_SampleGrabber, 0xC1F400A0, 0x3F08, 0x11D3, 0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37);
DEFINE_GUID(IID_ISampleGrabber, 0x6B652FFF, 0x11FE, 0x4FCE, 0x92, 0xAD, 0x02, 0x66, 0xB5, 0xD7, 0xC7, 0x8F);
DEFINE_GUID(IID_ISampleGrabberCB, 0x0579154A, 0x2B53, 0x4994, 0xB0, 0xD0, 0xE7, 0x73, 0x14, 0x8E, 0xFF, 0x85);

/// Called on a streaming thread; must not block.
struct ISampleGrabberCB : IUnknown
{
    STDMETHOD(SampleCB)(double sampleTime, IMediaSample* sample) PURE;
    STDMETHOD(BufferCB)(double sampleTime, BYTE* buffer, long length) PURE;

protected:
    ~ISampleGrabberCB() = default;
};

struct ISampleGrabber : IUnknown
{
    /// After one sample the grabber passes nothing more (the stream ends there).
    STDMETHOD(SetOneShot)(BOOL oneShot) PURE;
    STDMETHOD(SetMediaType)(const AM_MEDIA_TYPE* type) PURE;
    STDMETHOD(GetConnectedMediaType)(AM_MEDIA_TYPE* type) PURE;
    /// Keeps a copy of the last sample for GetCurrentBuffer.
    STDMETHOD(SetBufferSamples)(BOOL buffer) PURE;
    /// With a NULL buffer, the size needed in *size; VFW_E_WRONG_STATE when no sample was kept.
    STDMETHOD(GetCurrentBuffer)(long* size, long* buffer) PURE;
    STDMETHOD(GetCurrentSample)(IMediaSample** sample) PURE;
    /// `method` 0 calls SampleCB, 1 BufferCB. The grabber holds a reference to the callback.
    STDMETHOD(SetCallback)(ISampleGrabberCB* callback, long method) PURE;

protected:
    ~ISampleGrabber() = default;
};
