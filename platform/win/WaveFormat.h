#pragma once

#include "platform/win/WinTypes.h"

/// The PCM format record shared by the wave functions and the media types of the filter graph.

constexpr WORD WAVE_FORMAT_PCM = 1;

#pragma pack(push, 1)
/// 18 bytes, as stored in format blocks and files.
struct WAVEFORMATEX
{
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);
