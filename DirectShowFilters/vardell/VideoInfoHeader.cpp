#include "VideoInfoHeader.h"

#include "shared/exceptions/Exceptions.h"

#include <cstddef>
#include <new>

CVideoInfoHeader::CVideoInfoHeader()
    : m_owned(new (std::nothrow) VIDEOINFOHEADER{}), m_base(reinterpret_cast<BYTE*>(m_owned.get())),
      m_headerOffset(offsetof(VIDEOINFOHEADER, bmiHeader))
{
    if (!m_owned)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate VideoInfoHeader object"));
}

CVideoInfoHeader::CVideoInfoHeader(AM_MEDIA_TYPE& type) : m_base(type.pbFormat), m_headerOffset(0)
{
    if (!type.pbFormat)
        throw CInvalidObjectException(
            THROW_SITE_MESSAGE("The format block of the media type object is NULL"));
    std::size_t needed = 0;
    if (type.formattype == FORMAT_VideoInfo || type.formattype == FORMAT_MPEGVideo)
    {
        m_headerOffset = offsetof(VIDEOINFOHEADER, bmiHeader);
        needed = sizeof(VIDEOINFOHEADER);
    }
    else if (type.formattype == FORMAT_VideoInfo2 || type.formattype == FORMAT_MPEG2Video)
    {
        m_headerOffset = offsetof(VIDEOINFOHEADER2, bmiHeader);
        needed = sizeof(VIDEOINFOHEADER2);
    }
    // A block shorter than its header would be read past its end.
    if (needed == 0 || type.cbFormat < needed)
        throw CInvalidObjectException(
            THROW_SITE_MESSAGE("The media type object does not contain a recognizable VideoInfoHeader"));
}
