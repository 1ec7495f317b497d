#pragma once

#include "platform/dshowbase/MediaTypes.h"
#include "platform/win/Export.h"

/// Frees the format block and the interface of a media type (not the structure itself).
PLATFORM_API void FreeMediaType(AM_MEDIA_TYPE& type);
/// Frees a media type made by CreateMediaType, with its format block; NULL does nothing.
PLATFORM_API void DeleteMediaType(AM_MEDIA_TYPE* type);
/// A copy in memory from CoTaskMemAlloc (with its own format block), or NULL when out of memory.
PLATFORM_API AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source);
/// Copies `source` over `target` (whose old contents are not freed); E_OUTOFMEMORY leaves no format.
PLATFORM_API HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);

/// A media type that owns its format block. Two types are equal when their major types, subtypes, format
/// types, format sizes and every format byte agree.
class PLATFORM_API CMediaType : public AM_MEDIA_TYPE
{
public:
    CMediaType();
    explicit CMediaType(const GUID* majorType);
    CMediaType(const AM_MEDIA_TYPE& other);
    CMediaType(const CMediaType& other);
    ~CMediaType();
    CMediaType& operator=(const AM_MEDIA_TYPE& other);
    CMediaType& operator=(const CMediaType& other);

    bool operator==(const CMediaType& other) const;
    bool operator!=(const CMediaType& other) const { return !(*this == other); }

    /// Copies another type; E_OUTOFMEMORY (and no format) when its format block cannot be copied.
    HRESULT Set(const CMediaType& other);
    HRESULT Set(const AM_MEDIA_TYPE& other);
    BOOL IsValid() const;

    const GUID* Type() const { return &majortype; }
    void SetType(const GUID* type);
    const GUID* Subtype() const { return &subtype; }
    void SetSubtype(const GUID* type);
    const GUID* FormatType() const { return &formattype; }
    void SetFormatType(const GUID* type);
    BOOL IsFixedSize() const { return bFixedSizeSamples; }
    BOOL IsTemporalCompressed() const { return bTemporalCompression; }
    ULONG GetSampleSize() const;
    /// A fixed sample size; 0 makes the size variable.
    void SetSampleSize(ULONG size);
    void SetVariableSize();
    void SetTemporalCompression(BOOL compressed);

    BYTE* Format() const { return pbFormat; }
    ULONG FormatLength() const { return cbFormat; }
    /// Replaces the format block with a copy of `length` bytes; FALSE when out of memory.
    BOOL SetFormat(const BYTE* format, ULONG length);
    /// Frees the format block.
    void ResetFormatBuffer();
    /// A format block of `length` bytes (the old one when it has that size already); NULL when out of
    /// memory. The new bytes are not initialised.
    BYTE* AllocFormatBuffer(ULONG length);
    /// Resizes the format block, keeping its leading bytes; NULL when out of memory.
    BYTE* ReallocFormatBuffer(ULONG length);
    /// Back to a fresh type: no format, fixed samples of size 1.
    void InitMediaType();

    /// GUID_NULL anywhere in this type matches any value of `other` there.
    BOOL MatchesPartial(const CMediaType* other) const;
    BOOL IsPartiallySpecified() const;
};
