#pragma once

#include "platform/image/CxImage.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

/// The codecs and pixel helpers behind CxImage; internal to the image library.
namespace platform::image::detail
{
/// The format the bytes start like, or CXIMAGE_FORMAT_UNKNOWN.
DWORD DetectFormat(const BYTE* data, std::size_t size);

/// False, with `error` set, when a width × height image would be empty or exceed the limits.
bool CheckDimensions(std::uint64_t width, std::uint64_t height, std::string& error);

// Each decoder fills `image` (Create, then the rows bottom-up) or returns false with `error` set.
bool DecodeBmp(const BYTE* data, std::size_t size, CxImage& image, std::string& error);
bool DecodeJpeg(const BYTE* data, std::size_t size, CxImage& image, std::string& error);
bool DecodePng(const BYTE* data, std::size_t size, CxImage& image, std::string& error);
bool DecodeTiff(const BYTE* data, std::size_t size, CxImage& image, std::string& error);
bool DecodeJpeg2000(const BYTE* data, std::size_t size, CxImage& image, std::string& error);
bool DecodeGif(const BYTE* data, std::size_t size, CxImage& image, std::string& error);

// Each encoder appends the whole file to `out` or returns false with `error` set.
bool EncodeBmp(const CxImage& image, std::vector<BYTE>& out, std::string& error);
bool EncodeJpeg(const CxImage& image, int quality, std::vector<BYTE>& out, std::string& error);

/// Writes `bytes` to a temporary file beside `filename` and renames it over `filename`; on failure
/// neither file remains changed or created.
bool WriteFileAtomically(const char* filename, const std::vector<BYTE>& bytes, std::string& error);

/// Finds the nearest entry of a colour table (squared RGB distance; of equal ones, the lowest index),
/// remembering recent answers. The colour cube is cut into cells, and each cell keeps, once first asked,
/// the entries that can be nearest to some colour inside it; a colour is looked for among those only.
class PaletteMapper
{
public:
    PaletteMapper(const RGBQUAD* palette, unsigned count);
    BYTE Nearest(int r, int g, int b);

private:
    struct Entry
    {
        int r, g, b;
        BYTE index;
    };
    static constexpr unsigned CacheBits = 15;
    static constexpr std::size_t CacheSize = std::size_t{1} << CacheBits;
    /// Cells of 16 levels a side: 16 x 16 x 16 of them.
    static constexpr int CellShift = 4;
    static constexpr int CellsPerSide = 256 >> CellShift;
    /// The candidates of a cell, in index order, found on its first use.
    const std::vector<Entry>& Candidates(int r, int g, int b);

    std::vector<Entry> m_entries; // in index order
    std::vector<std::vector<Entry>> m_cells;
    std::vector<bool> m_cellKnown;
    std::vector<std::uint32_t> m_cacheKey;
    std::vector<BYTE> m_cacheValue;
};

/// An octree colour quantiser: feed it colours, then read at most `maxColors` averaged colours back.
class Octree
{
public:
    Octree(unsigned maxColors, unsigned colorBits);
    ~Octree();
    Octree(const Octree&) = delete;
    Octree& operator=(const Octree&) = delete;

    void Add(BYTE r, BYTE g, BYTE b);
    /// Brings the tree down to `maxColors` leaves and returns their number; more colours may follow.
    unsigned Finish();
    /// Writes Finish() colours.
    void Palette(RGBQUAD* out);

private:
    struct Node;
    bool ReduceDeepest();

    unsigned m_maxColors;
    unsigned m_depth;
    unsigned m_leafCount = 0;
    std::unique_ptr<Node> m_root;
    std::vector<std::vector<Node*>> m_reducible;
};

/// Fills `out` with the colours of a 24-bit or 8-bit image into an octree table of at most 256 colours;
/// returns the number written.
unsigned OctreePalette(const CxImage& image, RGBQUAD* out, unsigned maxColors);
} // namespace platform::image::detail
