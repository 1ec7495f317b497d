#include "MediaType.h"

#include "platform/com/Com.h"

#include <cstring>

void FreeMediaType(AM_MEDIA_TYPE& type)
{
    if (type.cbFormat != 0 || type.pbFormat)
    {
        CoTaskMemFree(type.pbFormat);
        type.cbFormat = 0;
        type.pbFormat = nullptr;
    }
    if (type.pUnk)
    {
        type.pUnk->Release();
        type.pUnk = nullptr;
    }
}

void DeleteMediaType(AM_MEDIA_TYPE* type)
{
    if (!type)
        return;
    FreeMediaType(*type);
    CoTaskMemFree(type);
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source)
{
    if (!target || !source)
        return E_POINTER;
    *target = *source;
    if (source->cbFormat != 0 && source->pbFormat)
    {
        target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
        if (!target->pbFormat)
        {
            target->cbFormat = 0;
            target->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
    }
    else
    {
        target->cbFormat = 0;
        target->pbFormat = nullptr;
    }
    if (target->pUnk)
        target->pUnk->AddRef();
    return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source)
{
    if (!source)
        return nullptr;
    auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!type)
        return nullptr;
    if (FAILED(CopyMediaType(type, source)))
    {
        CoTaskMemFree(type);
        return nullptr;
    }
    return type;
}

CMediaType::CMediaType() : AM_MEDIA_TYPE()
{
    InitMediaType();
}

CMediaType::CMediaType(const GUID* majorType) : CMediaType()
{
    if (majorType)
        majortype = *majorType;
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& other) : CMediaType()
{
    Set(other);
}

CMediaType::CMediaType(const CMediaType& other) : CMediaType()
{
    Set(other);
}

CMediaType::~CMediaType()
{
    FreeMediaType(*this);
}

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& other)
{
    Set(other);
    return *this;
}

CMediaType& CMediaType::operator=(const CMediaType& other)
{
    Set(other);
    return *this;
}

bool CMediaType::operator==(const CMediaType& other) const
{
    if (majortype != other.majortype || subtype != other.subtype || formattype != other.formattype ||
        cbFormat != other.cbFormat)
        return false;
    return cbFormat == 0 ||
           (pbFormat && other.pbFormat && std::memcmp(pbFormat, other.pbFormat, cbFormat) == 0);
}

HRESULT CMediaType::Set(const CMediaType& other)
{
    return Set(static_cast<const AM_MEDIA_TYPE&>(other));
}

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& other)
{
    if (&other == this)
        return S_OK;
    FreeMediaType(*this);
    return CopyMediaType(this, &other);
}

BOOL CMediaType::IsValid() const
{
    return majortype != GUID_NULL;
}

void CMediaType::SetType(const GUID* type)
{
    majortype = type ? *type : GUID_NULL;
}

void CMediaType::SetSubtype(const GUID* type)
{
    subtype = type ? *type : GUID_NULL;
}

void CMediaType::SetFormatType(const GUID* type)
{
    formattype = type ? *type : GUID_NULL;
}

ULONG CMediaType::GetSampleSize() const
{
    return bFixedSizeSamples ? lSampleSize : 0;
}

void CMediaType::SetSampleSize(ULONG size)
{
    if (size == 0)
    {
        SetVariableSize();
        return;
    }
    bFixedSizeSamples = TRUE;
    lSampleSize = size;
}

void CMediaType::SetVariableSize()
{
    bFixedSizeSamples = FALSE;
}

void CMediaType::SetTemporalCompression(BOOL compressed)
{
    bTemporalCompression = compressed;
}

BOOL CMediaType::SetFormat(const BYTE* format, ULONG length)
{
    if (length == 0)
    {
        ResetFormatBuffer();
        return TRUE;
    }
    BYTE* block = AllocFormatBuffer(length);
    if (!block)
        return FALSE;
    std::memcpy(block, format, length);
    return TRUE;
}

void CMediaType::ResetFormatBuffer()
{
    CoTaskMemFree(pbFormat);
    pbFormat = nullptr;
    cbFormat = 0;
}

BYTE* CMediaType::AllocFormatBuffer(ULONG length)
{
    if (length == 0)
        return nullptr;
    if (pbFormat && cbFormat == length)
        return pbFormat;
    auto* block = static_cast<BYTE*>(CoTaskMemAlloc(length));
    if (!block)
        return nullptr;
    ResetFormatBuffer();
    pbFormat = block;
    cbFormat = length;
    return block;
}

BYTE* CMediaType::ReallocFormatBuffer(ULONG length)
{
    if (length == 0)
        return nullptr;
    auto* block = static_cast<BYTE*>(CoTaskMemRealloc(pbFormat, length));
    if (!block)
        return nullptr;
    pbFormat = block;
    cbFormat = length;
    return block;
}

void CMediaType::InitMediaType()
{
    FreeMediaType(*this);
    majortype = GUID_NULL;
    subtype = GUID_NULL;
    formattype = GUID_NULL;
    bFixedSizeSamples = TRUE;
    bTemporalCompression = FALSE;
    lSampleSize = 1;
    pUnk = nullptr;
}

BOOL CMediaType::MatchesPartial(const CMediaType* other) const
{
    if (!other)
        return FALSE;
    if (majortype != GUID_NULL && majortype != other->majortype)
        return FALSE;
    if (subtype != GUID_NULL && subtype != other->subtype)
        return FALSE;
    if (formattype != GUID_NULL)
    {
        if (formattype != other->formattype || cbFormat != other->cbFormat)
            return FALSE;
        if (cbFormat && std::memcmp(pbFormat, other->pbFormat, cbFormat) != 0)
            return FALSE;
    }
    return TRUE;
}

BOOL CMediaType::IsPartiallySpecified() const
{
    return majortype == GUID_NULL || subtype == GUID_NULL || formattype == GUID_NULL;
}
