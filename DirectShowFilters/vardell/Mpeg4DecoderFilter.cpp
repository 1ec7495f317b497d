#include "Mpeg4DecoderFilter.h"

#include "VideoEncoderBitrate.h"

#include "DirectShowFilters/FilterErrors.h"

#include <new>

CMpeg4DecoderFilter::CMpeg4DecoderFilter(LPUNKNOWN outer)
    : CTransformFilter("MPEG-4 decoder filter", outer, CLSID_Mpeg4DecoderFilter)
{
}

CUnknown* CMpeg4DecoderFilter::CreateInstance(LPUNKNOWN outer, HRESULT* result)
{
    HRESULT ignored = S_OK;
    if (!result)
        result = &ignored;
    *result = S_OK;
    try
    {
        auto* filter = new (std::nothrow) CMpeg4DecoderFilter(outer);
        if (!filter)
            *result = E_OUTOFMEMORY;
        return filter;
    }
    catch (...)
    {
        *result = HResultFromException();
        return nullptr;
    }
}

const AMOVIESETUP_FILTER* CMpeg4DecoderFilter::GetSetupData()
{
    return nullptr;
}

HRESULT CMpeg4DecoderFilter::Transform(IMediaSample*, IMediaSample*)
{
    return S_OK;
}

HRESULT CMpeg4DecoderFilter::CheckInputType(const CMediaType*)
{
    return S_OK;
}

HRESULT CMpeg4DecoderFilter::CheckTransform(const CMediaType*, const CMediaType*)
{
    return S_OK;
}

HRESULT CMpeg4DecoderFilter::DecideBufferSize(IMemAllocator*, ALLOCATOR_PROPERTIES*)
{
    return S_OK;
}

HRESULT CMpeg4DecoderFilter::GetMediaType(int, CMediaType*)
{
    // Answering every position with success and no type would keep a connecting pin enumerating forever.
    return VFW_S_NO_MORE_ITEMS;
}
