#pragma once

#include "platform/dshow/Strmif.h"

/// Windows Media profiles and the ASF writer's configuration. A profile is loaded from its XML text; the
/// ASF writer then writes WMV2 video and WMA2 audio with the profile's picture size, frame time, quality
/// and bit rates.

DEFINE_GUID(IID_IConfigAsfWriter, 0x45086030, 0xF7E4, 0x486A, 0xB5, 0x04, 0x82, 0x6B, 0xB5, 0x79, 0x2A, 0x3B);
DEFINE_GUID(IID_IWMProfileManager, 0xD16679F2, 0x6CA0, 0x472D, 0x8D, 0x31, 0x2F, 0x5D, 0x55, 0xAE, 0xE1,
            0x55);
DEFINE_GUID(IID_IWMProfile, 0x96406BDB, 0x2B2B, 0x11D3, 0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF);

/// The profile text is no well-formed profile, or lacks what a stream needs.
constexpr HRESULT NS_E_INVALID_PROFILE = static_cast<HRESULT>(0xC00D0BC6u);

struct IWMProfile : IUnknown
{
    /// The profile's name, as wide text with its terminator; with a NULL buffer the length in *length.
    STDMETHOD(GetName)(WCHAR* name, DWORD* length) PURE;
    STDMETHOD(GetStreamCount)(DWORD* count) PURE;

protected:
    ~IWMProfile() = default;
};

struct IWMProfileManager : IUnknown
{
    /// Parses a profile's XML text: its audio stream (bit rate, wave format) and video stream (bit rate,
    /// VBR quality, key frame spacing, picture size and frame time). NS_E_INVALID_PROFILE when it cannot.
    STDMETHOD(LoadProfileByData)(LPCWSTR xml, IWMProfile** profile) PURE;

protected:
    ~IWMProfileManager() = default;
};

struct IConfigAsfWriter : IUnknown
{
    /// Gives the writer its streams: one input pin per stream ("Audio Input 01", "Video Input 01").
    /// E_POINTER for NULL; VFW_E_ALREADY_CONNECTED while an input is connected.
    STDMETHOD(ConfigureFilterUsingProfile)(IWMProfile* profile) PURE;
    STDMETHOD(GetCurrentProfile)(IWMProfile** profile) PURE;

protected:
    ~IConfigAsfWriter() = default;
};

/// A profile manager.
PLATFORM_API HRESULT WMCreateProfileManager(IWMProfileManager** manager);
