#pragma once

#include "platform/gdiplus/GdiPlus.h"
#include "platform/window/Afx.h"

#include <cstddef>
#include <memory>

/// Owner of one block of memory holding a copy of a PNG resource's bytes; freed with its owner.
/// Throws COutOfMemoryException when the block cannot be allocated.
class GlobalBuffer
{
public:
    explicit GlobalBuffer(std::size_t size);
    BYTE* Data() noexcept { return m_data.get(); }
    std::size_t Size() const noexcept { return m_size; }

private:
    std::unique_ptr<BYTE[]> m_data;
    std::size_t m_size = 0;
};

/// One GDI+ bitmap, owned; empty when null. User-interface thread only.
class CGdiPlusBitmap
{
public:
    CGdiPlusBitmap() = default;
    CGdiPlusBitmap(const CGdiPlusBitmap&) = delete;
    CGdiPlusBitmap& operator=(const CGdiPlusBitmap&) = delete;
    virtual ~CGdiPlusBitmap();

    /// Deletes the bitmap and the resource copy it was made from.
    void Empty();
    BOOL IsLoaded() const noexcept { return m_pBitmap != nullptr; }
    /// Pixel size; 0 when empty.
    UINT GetWidth() const;
    UINT GetHeight() const;
    /// The fully opaque pixels (alpha 255) as a region owned by the caller; `mirrored` reads each row from
    /// the right, for right-to-left windows. Null when empty.
    HRGN CreateRegion(BOOL mirrored) const;
    Gdiplus::Bitmap* GetBitmap() const noexcept { return m_pBitmap; }
    operator Gdiplus::Bitmap*() const noexcept { return m_pBitmap; }

protected:
    Gdiplus::Bitmap* m_pBitmap = nullptr;
    std::unique_ptr<GlobalBuffer> m_buffer;
};

/// A CGdiPlusBitmap loaded from a resource of type "PNG" of the module the class library's resource
/// search finds for the id.
class CPNGResource : public CGdiPlusBitmap
{
public:
    CPNGResource() = default;
    explicit CPNGResource(UINT id);
    /// TRUE when the resource was found and decoded; otherwise the object is left empty.
    BOOL Load(UINT id);
};
