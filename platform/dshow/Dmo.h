#pragma once

#include "platform/dshow/Strmif.h"

/// Media objects in the DMO wrapper filter. The wrapper serves the video encoder the recording graph
/// configures: it keeps its output type, private data and property-bag settings. It does not encode;
/// the ASF writer encodes with its profile.

DEFINE_GUID(CLSID_DMOWrapperFilter, 0x94297043, 0xBD82, 0x4DFD, 0xB0, 0xDE, 0x81, 0x77, 0x73, 0x9C, 0x6D,
            0x20);
/// The Windows Media Video 8 encoder.
DEFINE_GUID(CLSID_CWMV8EncMediaObject, 0x7E320092, 0x596A, 0x41B2, 0xBB, 0xEB, 0x17, 0x5D, 0x10, 0x50, 0x4E,
            0xB6);
DEFINE_GUID(DMOCATEGORY_VIDEO_ENCODER, 0x33D9A760, 0x90C8, 0x11D0, 0xBD, 0x43, 0x00, 0xA0, 0xC9, 0x11, 0xCE,
            0x86);
DEFINE_GUID(IID_IDMOWrapperFilter, 0x52D6F586, 0x9F0F, 0x4824, 0x8F, 0xC8, 0xE3, 0x2C, 0xA0, 0x49, 0x30,
            0xC2);
DEFINE_GUID(IID_IMediaObject, 0xD8AD0F58, 0x5494, 0x4102, 0x97, 0xC5, 0xEC, 0x79, 0x8E, 0x59, 0xBC, 0xF4);
DEFINE_GUID(IID_IWMCodecPrivateData, 0x73F0BE8E, 0x57F7, 0x4F01, 0xAA, 0x66, 0x9F, 0x57, 0x34, 0x0C, 0xFE,
            0x0E);

using DMO_MEDIA_TYPE = AM_MEDIA_TYPE;

constexpr HRESULT DMO_E_INVALIDSTREAMINDEX = static_cast<HRESULT>(0x80040201u);
constexpr HRESULT DMO_E_INVALIDTYPE = static_cast<HRESULT>(0x80040202u);
constexpr HRESULT DMO_E_TYPE_NOT_SET = static_cast<HRESULT>(0x80040203u);
constexpr DWORD DMO_SET_TYPEF_TEST_ONLY = 0x1;
constexpr DWORD DMO_SET_TYPEF_CLEAR = 0x2;

struct IDMOWrapperFilter : IUnknown
{
    /// Loads the media object `dmo` of `category`; REGDB_E_CLASSNOTREG for one we do not have.
    STDMETHOD(Init)(REFCLSID dmo, REFCLSID category) PURE;

protected:
    ~IDMOWrapperFilter() = default;
};

struct IMediaObject : IUnknown
{
    STDMETHOD(GetStreamCount)(DWORD* inputs, DWORD* outputs) PURE;
    STDMETHOD(SetInputType)(DWORD stream, const DMO_MEDIA_TYPE* type, DWORD flags) PURE;
    STDMETHOD(SetOutputType)(DWORD stream, const DMO_MEDIA_TYPE* type, DWORD flags) PURE;
    STDMETHOD(GetInputCurrentType)(DWORD stream, DMO_MEDIA_TYPE* type) PURE;
    STDMETHOD(GetOutputCurrentType)(DWORD stream, DMO_MEDIA_TYPE* type) PURE;
    STDMETHOD(GetInputSizeInfo)(DWORD stream, DWORD* size, DWORD* lookahead, DWORD* alignment) PURE;
    STDMETHOD(GetOutputSizeInfo)(DWORD stream, DWORD* size, DWORD* alignment) PURE;

protected:
    ~IMediaObject() = default;
};

struct IWMCodecPrivateData : IUnknown
{
    STDMETHOD(SetPartialOutputType)(DMO_MEDIA_TYPE* type) PURE;
    /// With a NULL buffer, the size in *size.
    STDMETHOD(GetPrivateData)(BYTE* data, ULONG* size) PURE;

protected:
    ~IWMCodecPrivateData() = default;
};
