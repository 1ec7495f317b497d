#pragma once

#include "platform/dshowbase/DShow.h"

/// A filter that accepts any input and produces nothing; registered so that it is never picked by itself.
class CMpeg4DecoderFilter final : public CTransformFilter
{
public:
    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* result);

    const AMOVIESETUP_FILTER* GetSetupData() override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
    HRESULT CheckInputType(const CMediaType* type) override;
    HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    /// Offers no type.
    HRESULT GetMediaType(int position, CMediaType* type) override;

private:
    explicit CMpeg4DecoderFilter(LPUNKNOWN outer);
};
