#pragma once

#include "platform/dshowbase/DShow.h"

#include <memory>

/// The video-information part of a media type's format block (FORMAT_VideoInfo, FORMAT_VideoInfo2,
/// FORMAT_MPEGVideo, FORMAT_MPEG2Video), seen in place so that writes change the type; or, built without
/// a type, a zeroed 88-byte header of its own.
class CVideoInfoHeader
{
public:
    /// Owns a zeroed VIDEOINFOHEADER; COutOfMemoryException when it cannot be had.
    CVideoInfoHeader();
    /// Views `type`'s format block. CInvalidObjectException for a NULL block, and for a format type it does
    /// not know or a block too short for the header of its type.
    explicit CVideoInfoHeader(AM_MEDIA_TYPE& type);

    RECT* rcSource() const { return reinterpret_cast<RECT*>(m_base); }
    RECT* rcTarget() const { return reinterpret_cast<RECT*>(m_base + 16); }
    DWORD* dwBitRate() const { return reinterpret_cast<DWORD*>(m_base + 32); }
    DWORD* dwBitErrorRate() const { return reinterpret_cast<DWORD*>(m_base + 36); }
    REFERENCE_TIME* AvgTimePerFrame() const { return reinterpret_cast<REFERENCE_TIME*>(m_base + 40); }
    BITMAPINFOHEADER* bmiHeader() const
    {
        return reinterpret_cast<BITMAPINFOHEADER*>(m_base + m_headerOffset);
    }

private:
    std::unique_ptr<VIDEOINFOHEADER> m_owned;
    BYTE* m_base;
    std::size_t m_headerOffset;
};
