#pragma once

#include "platform/com/Unknown.h"
#include "platform/dshowbase/MediaTypes.h"
#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

/// Windows Media Format's file readers: the synchronous reader's outputs with their media types, and the
/// metadata editor's header attributes, for ASF files (.wmv, .wma, .asf) read with libavformat. Nothing
/// else is read as ASF: opening any other file fails. The reader describes its outputs but delivers no
/// samples. Objects are reference counted; any thread may use one object at a time.
///
/// Outputs are the file's audio and video streams in file order. A video output's media type is
/// MEDIATYPE_Video with a FORMAT_VideoInfo block: the picture size, the stream's own four-character code as
/// the subtype and as biCompression, and the average time per frame (0 when the file does not tell its
/// frame rate). An audio output's type is MEDIATYPE_Audio with a FORMAT_WaveFormatEx block.

using WM_MEDIA_TYPE = AM_MEDIA_TYPE;

enum WMT_ATTR_DATATYPE
{
    WMT_TYPE_DWORD = 0,
    WMT_TYPE_STRING = 1,
    WMT_TYPE_BINARY = 2,
    WMT_TYPE_BOOL = 3,
    WMT_TYPE_QWORD = 4,
    WMT_TYPE_WORD = 5,
    WMT_TYPE_GUID = 6
};

/// The play time of the file in 100-nanosecond units (QWORD), an attribute of stream 0.
inline constexpr WCHAR g_wszWMDuration[] = L"Duration";

// Result codes of the readers, with the values Windows gives them.
constexpr HRESULT ASF_E_BUFFERTOOSMALL = static_cast<HRESULT>(0xC00D07D2u);
constexpr HRESULT ASF_E_NOTFOUND = static_cast<HRESULT>(0xC00D07F0u);
constexpr HRESULT NS_E_FILE_NOT_FOUND = static_cast<HRESULT>(0xC00D001Au);
constexpr HRESULT NS_E_INVALID_REQUEST = static_cast<HRESULT>(0xC00D002Bu);
constexpr HRESULT NS_E_INVALID_INPUT_FORMAT = static_cast<HRESULT>(0xC00D0BB8u);

DEFINE_GUID(IID_IWMMediaProps, 0x96406BCE, 0x2B2B, 0x11D3, 0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF);
DEFINE_GUID(IID_IWMOutputMediaProps, 0x96406BD7, 0x2B2B, 0x11D3, 0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08,
            0xFF);
DEFINE_GUID(IID_IWMSyncReader, 0x9397F121, 0x7705, 0x4DC9, 0xB0, 0x49, 0x98, 0xB6, 0x98, 0x18, 0x84, 0x14);
DEFINE_GUID(IID_IWMMetadataEditor, 0x96406BD9, 0x2B2B, 0x11D3, 0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08,
            0xFF);
DEFINE_GUID(IID_IWMHeaderInfo, 0x96406BDA, 0x2B2B, 0x11D3, 0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF);

struct IWMMediaProps : IUnknown
{
    /// The major type.
    STDMETHOD(GetType)(GUID* type) PURE;
    /// With a NULL `type`, the bytes needed in *size: the structure followed by its format block.
    /// Otherwise copies both into `type` (pbFormat then points just behind the structure);
    /// ASF_E_BUFFERTOOSMALL when *size is less than needed.
    STDMETHOD(GetMediaType)(WM_MEDIA_TYPE* type, DWORD* size) PURE;

protected:
    ~IWMMediaProps() = default;
};

struct IWMOutputMediaProps : IWMMediaProps
{
protected:
    ~IWMOutputMediaProps() = default;
};

struct IWMSyncReader : IUnknown
{
    /// NS_E_FILE_NOT_FOUND when the file cannot be opened, NS_E_INVALID_INPUT_FORMAT when it is no ASF
    /// file; E_UNEXPECTED while a file is open.
    STDMETHOD(Open)(const WCHAR* fileName) PURE;
    STDMETHOD(Close)() PURE;
    STDMETHOD(GetOutputCount)(DWORD* outputs) PURE;
    /// NS_E_INVALID_REQUEST for an output that does not exist.
    STDMETHOD(GetOutputProps)(DWORD output, IWMOutputMediaProps** props) PURE;
    STDMETHOD(GetStreamNumberForOutput)(DWORD output, WORD* streamNumber) PURE;
    /// Whether samples of the stream would be delivered compressed; NS_E_INVALID_REQUEST for an unknown
    /// stream.
    STDMETHOD(SetReadStreamSamples)(WORD streamNumber, BOOL compressed) PURE;

protected:
    ~IWMSyncReader() = default;
};

struct IWMMetadataEditor : IUnknown
{
    /// As IWMSyncReader::Open. The editor answers IWMHeaderInfo through QueryInterface.
    STDMETHOD(Open)(const WCHAR* fileName) PURE;
    STDMETHOD(Close)() PURE;

protected:
    ~IWMMetadataEditor() = default;
};

struct IWMHeaderInfo : IUnknown
{
    /// The attribute `name` of the stream (*streamNumber; 0 for the file): with a NULL `value` its type
    /// and size in bytes; otherwise the value, ASF_E_BUFFERTOOSMALL when *length is less than its size.
    /// ASF_E_NOTFOUND when the file does not have it. Only g_wszWMDuration is known, and only when the
    /// file tells its play time (a length guessed from the bit rate does not count).
    STDMETHOD(GetAttributeByName)
    (WORD* streamNumber, const WCHAR* name, WMT_ATTR_DATATYPE* type, BYTE* value, WORD* length) PURE;

protected:
    ~IWMHeaderInfo() = default;
};

/// A new synchronous reader; `certificate` and `rights` are not used.
PLATFORM_API HRESULT WMCreateSyncReader(IUnknown* certificate, DWORD rights, IWMSyncReader** reader);
/// A new metadata editor.
PLATFORM_API HRESULT WMCreateEditor(IWMMetadataEditor** editor);
