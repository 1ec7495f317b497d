#pragma once

#include "platform/image/CxImage.h"
#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

#include <cstdio>

/// The GIF encoder: writes one or more images as a GIF89a file, several of them as an animation.
///
/// All frames must have the same size (at most 65535 × 65535). With one global colour table (the default)
/// the table is the first frame's when that frame has 8 bits, else an octree table of the first frame's
/// colours; every frame whose table differs is mapped onto it with Floyd-Steinberg error diffusion. With
/// local colour tables each frame keeps its own (24-bit frames get an octree table of their own). Each frame
/// is shown for its own frame delay (CxImage::SetFrameDelay, hundredths of a second), or for the encoder's
/// own frame delay when the frame's is 0. An animation of two or more frames carries the NETSCAPE2.0 loop
/// block with the loop count (0 repeats without end).
///
/// With the one global table, each frame after the first is stored as the rectangle around the pixels
/// whose colour index differs from the frame before it (a single pixel when none does), drawn over that
/// frame ("do not dispose"); inside the rectangle the unchanged pixels are written in a transparent slot
/// of the table that none of the frame's changed pixels uses, when there is one and that codes shorter.
/// Every frame shows the same picture as if it were stored whole.
class PLATFORM_API CxImageGIF : public CxImage
{
public:
    CxImageGIF();

    /// The loop count of an animation: 0 (the default) repeats without end, n > 0 plays n more times,
    /// a negative value writes no loop block (the animation plays once).
    void SetLoops(int loops);
    int GetLoops() const;

    using CxImage::Encode;
    using CxImage::Save;

    /// Encodes `pagecount` frames into a stream; false, with GetLastError set, when a frame is invalid,
    /// the sizes differ, or the encoding or any write failed.
    bool Encode(CxFile* fp, CxImage** pImages, int pagecount, bool bLocalColorMap = false);
    bool Encode(FILE* fp, CxImage** pImages, int pagecount, bool bLocalColorMap = false);
    /// Encodes into `filename` through a temporary file renamed over it at the end; on failure nothing is
    /// left under either name.
    bool Save(const char* filename, CxImage** pImages, int pagecount, bool bLocalColorMap = false);

private:
    bool Build(CxImage** pImages, int pagecount, bool bLocalColorMap, std::vector<BYTE>& out);

    int m_loops = 0;
};
