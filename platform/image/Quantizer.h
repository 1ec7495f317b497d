#pragma once

#include "platform/image/Dib.h"
#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

#include <memory>

namespace platform::image::detail
{
class Octree;
}

/// An octree colour quantiser: it learns the colours of one or more bitmaps and hands back a table of at
/// most `nMaxColors` colours that represents them (each the average of the colours it stands for). An
/// image with no more distinct colours than that gets exactly its own colours. Not thread-safe.
class PLATFORM_API CQuantizer
{
public:
    /// `nMaxColors` 1 to 256 (clamped); `nColorBits` 1 to 8 (clamped) bits of each channel that tell
    /// colours apart.
    CQuantizer(UINT nMaxColors, UINT nColorBits);
    ~CQuantizer();
    CQuantizer(const CQuantizer&) = delete;
    CQuantizer& operator=(const CQuantizer&) = delete;

    /// Adds the colours of a packed DIB (a BITMAPINFOHEADER, its colour table, its rows, as
    /// CxImage::GetDIB gives) of 8, 24 or 32 bits per pixel, uncompressed. The block must hold everything
    /// its header describes. FALSE for a null handle or a header it does not take.
    BOOL ProcessImage(const void* hImage);
    /// Colours in the table so far.
    UINT GetColorCount() const;
    /// Writes the table to `prgb`, which has room for `nMaxColors` entries; entries past GetColorCount
    /// are zeroed.
    void SetColorTable(RGBQUAD* prgb) const;

private:
    UINT m_maxColors;
    std::unique_ptr<platform::image::detail::Octree> m_tree;
};
