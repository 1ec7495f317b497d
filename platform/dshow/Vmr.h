#pragma once

#include "platform/dshow/Strmif.h"

/// The video mixing renderers (7 and 9) in windowless mode: the picture is drawn into a window of the
/// application through the frame sink installed with platform::dshow::SetVideoFrameSink, and the frame
/// on screen can be taken as a packed DIB. Both flavours behave the same here.

DEFINE_GUID(CLSID_VideoMixingRenderer, 0xB87BEB7B, 0x8D29, 0x423F, 0xAE, 0x4D, 0x65, 0x82, 0xC1, 0x01, 0x75,
            0xAC);
DEFINE_GUID(CLSID_VideoMixingRenderer9, 0x51B4ABF3, 0x748F, 0x4E3B, 0xA2, 0x76, 0xC8, 0x28, 0x33, 0x0E, 0x92,
            0x6A);
DEFINE_GUID(IID_IVMRFilterConfig, 0x9E5530C5, 0x7034, 0x48B4, 0xBB, 0x46, 0x0B, 0x8A, 0x6E, 0xFC, 0x8E, 0x36);
DEFINE_GUID(IID_IVMRFilterConfig9, 0x5A804648, 0x4F66, 0x4867, 0x9C, 0x43, 0x4F, 0x5C, 0x82, 0x2C, 0xF1,
            0xB8);
DEFINE_GUID(IID_IVMRWindowlessControl, 0x0EB1088C, 0x4DCD, 0x46F0, 0x87, 0x8F, 0x39, 0xDA, 0xE8, 0x6A, 0x51,
            0xB7);
DEFINE_GUID(IID_IVMRWindowlessControl9, 0x8F537D09, 0xF85E, 0x4414, 0xB2, 0x3B, 0x50, 0x2E, 0x54, 0xC7, 0x99,
            0x27);

enum VMRMode
{
    VMRMode_Windowed = 0x1,
    VMRMode_Windowless = 0x2,
    VMRMode_Renderless = 0x4
};
enum VMR9Mode
{
    VMR9Mode_Windowed = 0x1,
    VMR9Mode_Windowless = 0x2,
    VMR9Mode_Renderless = 0x4
};

struct IVMRFilterConfig : IUnknown
{
    /// Only VMRMode_Windowless is offered; the windowless control exists once it is set.
    STDMETHOD(SetRenderingMode)(DWORD mode) PURE;
    STDMETHOD(GetRenderingMode)(DWORD* mode) PURE;
    STDMETHOD(SetNumberOfStreams)(DWORD streams) PURE;

protected:
    ~IVMRFilterConfig() = default;
};

struct IVMRFilterConfig9 : IUnknown
{
    STDMETHOD(SetRenderingMode)(DWORD mode) PURE;
    STDMETHOD(GetRenderingMode)(DWORD* mode) PURE;
    STDMETHOD(SetNumberOfStreams)(DWORD streams) PURE;

protected:
    ~IVMRFilterConfig9() = default;
};

/// Windowless control. The source rectangle is in video pixels (the whole picture once the input is
/// connected), the destination in the clipping window's client coordinates.
struct IVMRWindowlessControl : IUnknown
{
    STDMETHOD(GetNativeVideoSize)(LONG* width, LONG* height, LONG* aspectWidth, LONG* aspectHeight) PURE;
    /// A NULL rectangle leaves that rectangle as it is.
    STDMETHOD(SetVideoPosition)(const RECT* source, const RECT* destination) PURE;
    STDMETHOD(GetVideoPosition)(RECT* source, RECT* destination) PURE;
    STDMETHOD(SetVideoClippingWindow)(HWND window) PURE;
    /// Hands the last frame to the frame sink again, for the window's paint.
    STDMETHOD(RepaintVideo)(HWND window, HDC dc) PURE;
    /// The last frame as a packed DIB: a BITMAPINFOHEADER followed by bottom-up 24-bit BGR rows, each
    /// padded to 4 bytes, in one block from CoTaskMemAlloc that the caller frees with CoTaskMemFree.
    /// E_FAIL when no frame has arrived yet.
    STDMETHOD(GetCurrentImage)(BYTE** dib) PURE;
    STDMETHOD(SetBorderColor)(COLORREF colour) PURE;
    STDMETHOD(DisplayModeChanged)() PURE;

protected:
    ~IVMRWindowlessControl() = default;
};

struct IVMRWindowlessControl9 : IUnknown
{
    STDMETHOD(GetNativeVideoSize)(LONG* width, LONG* height, LONG* aspectWidth, LONG* aspectHeight) PURE;
    STDMETHOD(SetVideoPosition)(const RECT* source, const RECT* destination) PURE;
    STDMETHOD(GetVideoPosition)(RECT* source, RECT* destination) PURE;
    STDMETHOD(SetVideoClippingWindow)(HWND window) PURE;
    STDMETHOD(RepaintVideo)(HWND window, HDC dc) PURE;
    STDMETHOD(GetCurrentImage)(BYTE** dib) PURE;
    STDMETHOD(SetBorderColor)(COLORREF colour) PURE;
    STDMETHOD(DisplayModeChanged)() PURE;

protected:
    ~IVMRWindowlessControl9() = default;
};
