// GIF through giflib: the encoder of animations and the decoder of a file's first frame.
#include "Codecs.h"
#include "CxImageGIF.h"

#include <gif_lib.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <system_error>

namespace
{
using namespace platform::image::detail;

constexpr int MaxFrames = 10000;

int WriteToVector(GifFileType* gif, const GifByteType* bytes, int length)
{
    auto* out = static_cast<std::vector<BYTE>*>(gif->UserData);
    try
    {
        out->insert(out->end(), bytes, bytes + length);
    }
    catch (const std::bad_alloc&)
    {
        return 0;
    }
    return length;
}

struct MapDeleter
{
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};
using MapPtr = std::unique_ptr<ColorMapObject, MapDeleter>;

// Entries of the colour table written for `colours` colours: a power of two, at least 2.
int TableSize(unsigned colours)
{
    int size = 2;
    while (static_cast<unsigned>(size) < colours)
        size *= 2;
    return size;
}

MapPtr MakeMap(const RGBQUAD* palette, unsigned colours)
{
    const int size = TableSize(colours);
    GifColorType entries[256] = {};
    for (unsigned i = 0; i < colours; ++i)
        entries[i] = {palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue};
    return MapPtr(GifMakeMapObject(size, entries));
}

// The frame's pixels as indices into `palette`, rows from the top of the picture down.
bool Indices(const CxImage& frame, const RGBQUAD* palette, unsigned colours, std::vector<GifPixelType>& out,
             std::string& error)
{
    const CxImage* source = &frame;
    CxImage mapped;
    const bool same = frame.GetBpp() == 8 && frame.GetNumColors() <= colours &&
                      std::memcmp(frame.GetPalette(), palette, frame.GetNumColors() * sizeof(RGBQUAD)) == 0;
    if (!same)
    {
        mapped = frame;
        if (!mapped.IncreaseBpp(24) || !mapped.DecreaseBpp(8, true, palette, colours))
        {
            error = mapped.GetLastError();
            return false;
        }
        source = &mapped;
    }
    const DWORD width = source->GetWidth();
    const DWORD height = source->GetHeight();
    out.resize(static_cast<std::size_t>(width) * height);
    for (DWORD y = 0; y < height; ++y)
        std::memcpy(out.data() + static_cast<std::size_t>(y) * width, source->GetBits(height - 1 - y), width);
    return true;
}

/// The part of a frame that is written: its rectangle on the canvas, and the index that stands for the
/// pixels inside it that stay as the frames before left them (NO_TRANSPARENT_COLOR: none does).
struct Patch
{
    DWORD left = 0;
    DWORD top = 0;
    DWORD width = 0;
    DWORD height = 0;
    int transparent = NO_TRANSPARENT_COLOR;
};

// The rectangle around every pixel whose index differs from the canvas, which holds the indices the
// frames before left; the top left pixel alone when nothing changed, as a frame covers at least one.
Patch ChangedPatch(const std::vector<GifPixelType>& canvas, const std::vector<GifPixelType>& frame,
                   DWORD width, DWORD height, int tableSize)
{
    DWORD left = width;
    DWORD right = 0;
    DWORD top = height;
    DWORD bottom = 0;
    for (DWORD y = 0; y < height; ++y)
    {
        const GifPixelType* was = canvas.data() + static_cast<std::size_t>(y) * width;
        const GifPixelType* is = frame.data() + static_cast<std::size_t>(y) * width;
        DWORD first = 0;
        while (first < width && was[first] == is[first])
            ++first;
        if (first == width)
            continue;
        DWORD last = width;
        while (was[last - 1] == is[last - 1])
            --last;
        left = std::min(left, first);
        right = std::max(right, last);
        top = std::min(top, y);
        bottom = y + 1;
    }
    if (left == width)
        return Patch{0, 0, 1, 1, NO_TRANSPARENT_COLOR};
    Patch patch{left, top, right - left, bottom - top, NO_TRANSPARENT_COLOR};
    // Only a slot that none of the changed pixels uses may mark the unchanged ones; with every slot of
    // the table in use the rectangle is written whole.
    bool used[256] = {};
    for (DWORD y = top; y < bottom; ++y)
    {
        const std::size_t row = static_cast<std::size_t>(y) * width;
        for (DWORD x = left; x < right; ++x)
            if (frame[row + x] != canvas[row + x])
                used[frame[row + x]] = true;
    }
    for (int index = tableSize - 1; index >= 0; --index)
        if (!used[index])
        {
            patch.transparent = index;
            break;
        }
    return patch;
}

/// The GIF flavour of LZW, as giflib codes it (one clear code first, the table restarted with a clear
/// code when it holds `limit` codes), but with the limit left to the caller: on noise, a small table
/// that keeps the codes short beats a large one whose long strings never come back.
class LzwCoder
{
public:
    LzwCoder() : m_codes(std::size_t{1} << 20), m_stamps(std::size_t{1} << 20) {}

    /// The code stream of `pixels`, each below 1 << minCodeSize, without the code size byte and without
    /// sub-block lengths. `limit` at most 4095, the most GIF allows.
    void Code(const std::vector<GifPixelType>& pixels, int minCodeSize, int limit,
              std::vector<GifByteType>& out)
    {
        out.clear();
        m_out = &out;
        m_bits = 0;
        m_pending = 0;
        const int clear = 1 << minCodeSize;
        const int end = clear + 1;
        auto restart = [&]
        {
            m_next = end + 1;
            m_width = minCodeSize + 1;
            m_widthLimit = 1 << m_width;
            ++m_generation;
        };
        restart();
        Put(clear);
        if (pixels.empty())
        {
            Put(end);
            Flush();
            return;
        }
        int current = pixels[0];
        for (std::size_t i = 1; i < pixels.size(); ++i)
        {
            const std::uint32_t key = (static_cast<std::uint32_t>(current) << 8) | pixels[i];
            if (m_stamps[key] == m_generation)
            {
                current = m_codes[key];
                continue;
            }
            Put(current);
            current = pixels[i];
            if (m_next >= limit)
            {
                Put(clear);
                restart();
            }
            else
            {
                m_stamps[key] = m_generation;
                m_codes[key] = static_cast<std::uint16_t>(m_next++);
            }
        }
        Put(current);
        Put(end);
        Flush();
    }

private:
    void Put(int code)
    {
        m_pending |= static_cast<std::uint32_t>(code) << m_bits;
        m_bits += m_width;
        while (m_bits >= 8)
        {
            m_out->push_back(static_cast<GifByteType>(m_pending & 0xFF));
            m_pending >>= 8;
            m_bits -= 8;
        }
        // The decoder widens its codes once the next free code no longer fits.
        if (m_next >= m_widthLimit && m_width < 12)
            m_widthLimit = 1 << ++m_width;
    }

    void Flush()
    {
        if (m_bits > 0)
            m_out->push_back(static_cast<GifByteType>(m_pending & 0xFF));
        m_bits = 0;
        m_pending = 0;
    }

    // The code of each (prefix code, pixel) string, valid where its stamp is the current generation, so
    // that a restart costs nothing.
    std::vector<std::uint16_t> m_codes;
    std::vector<std::uint32_t> m_stamps;
    std::uint32_t m_generation = 0;
    std::vector<GifByteType>* m_out = nullptr;
    std::uint32_t m_pending = 0;
    int m_bits = 0;
    int m_next = 0;
    int m_width = 0;
    int m_widthLimit = 0;
};

// The code size byte of an image whose colour table has room for `colours` colours.
int MinCodeSize(unsigned colours)
{
    int bits = 1;
    while ((1 << bits) < TableSize(colours))
        ++bits;
    return std::max(2, bits);
}

// Replaces `best` with the stream of `pixels` at whichever table limit codes them shortest, when that is
// shorter (or `best` is empty); true when it did.
bool CodeShortest(LzwCoder& coder, const std::vector<GifPixelType>& pixels, int minCodeSize,
                  std::vector<GifByteType>& best, std::vector<GifByteType>& stream)
{
    bool replaced = false;
    for (const int limit : {4095, 3071, 2047, 1535, 1023, 767, 511})
    {
        if (limit <= (1 << minCodeSize) + 2)
            break;
        coder.Code(pixels, minCodeSize, limit, stream);
        if (best.empty() || stream.size() < best.size())
        {
            best.swap(stream);
            replaced = true;
        }
    }
    return replaced;
}

// Writes the code stream of the image just described, as sub-blocks of at most 255 bytes.
bool PutStream(GifFileType* gif, const std::vector<GifByteType>& stream)
{
    GifByteType block[256];
    for (std::size_t at = 0; at < stream.size(); at += 255)
    {
        const std::size_t length = std::min<std::size_t>(255, stream.size() - at);
        block[0] = static_cast<GifByteType>(length);
        std::memcpy(block + 1, stream.data() + at, length);
        if (EGifPutCodeNext(gif, block) == GIF_ERROR)
            return false;
    }
    return EGifPutCodeNext(gif, nullptr) != GIF_ERROR;
}

struct EncoderCloser
{
    void operator()(GifFileType* gif) const
    {
        int code = 0;
        EGifCloseFile(gif, &code);
    }
};

struct DecoderCloser
{
    void operator()(GifFileType* gif) const
    {
        int code = 0;
        DGifCloseFile(gif, &code);
    }
};

struct Source
{
    const BYTE* data;
    std::size_t size;
    std::size_t position;
};

int ReadFromMemory(GifFileType* gif, GifByteType* out, int length)
{
    auto* source = static_cast<Source*>(gif->UserData);
    const std::size_t n =
        std::min<std::size_t>(static_cast<std::size_t>(std::max(length, 0)), source->size - source->position);
    std::memcpy(out, source->data + source->position, n);
    source->position += n;
    return static_cast<int>(n);
}
} // namespace

namespace platform::image::detail
{
bool DecodeGif(const BYTE* data, std::size_t size, CxImage& image, std::string& error)
{
    Source source{data, size, 0};
    int code = 0;
    std::unique_ptr<GifFileType, DecoderCloser> gif(DGifOpen(&source, ReadFromMemory, &code));
    auto fail = [&](int why)
    {
        image.Destroy();
        const char* text = GifErrorString(why);
        error = std::string("The GIF data is corrupt: ") + (text ? text : "unknown error");
        return false;
    };
    if (!gif)
        return fail(code);
    DWORD delay = 0;
    for (;;)
    {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR)
            return fail(gif->Error);
        if (type == TERMINATE_RECORD_TYPE)
        {
            error = "The GIF file holds no picture";
            return false;
        }
        if (type == EXTENSION_RECORD_TYPE)
        {
            int function = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif.get(), &function, &block) == GIF_ERROR)
                return fail(gif->Error);
            if (function == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] == 4)
            {
                GraphicsControlBlock control;
                if (DGifExtensionToGCB(4, block + 1, &control) == GIF_OK)
                    delay = static_cast<DWORD>(std::max(control.DelayTime, 0));
            }
            while (block != nullptr)
                if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR)
                    return fail(gif->Error);
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE)
            continue;
        if (DGifGetImageDesc(gif.get()) == GIF_ERROR)
            return fail(gif->Error);
        const GifImageDesc& desc = gif->Image;
        const std::uint64_t canvasWidth = gif->SWidth > 0 ? gif->SWidth : desc.Width;
        const std::uint64_t canvasHeight = gif->SHeight > 0 ? gif->SHeight : desc.Height;
        if (!CheckDimensions(canvasWidth, canvasHeight, error) ||
            !CheckDimensions(static_cast<std::uint64_t>(std::max(desc.Width, 0)),
                             static_cast<std::uint64_t>(std::max(desc.Height, 0)), error))
            return false;
        if (!image.Create(static_cast<DWORD>(canvasWidth), static_cast<DWORD>(canvasHeight), 8,
                          CXIMAGE_FORMAT_GIF))
        {
            error = image.GetLastError();
            return false;
        }
        const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        if (map != nullptr && map->ColorCount > 0 && map->ColorCount <= 256)
        {
            RGBQUAD table[256];
            for (int i = 0; i < map->ColorCount; ++i)
                table[i] = {map->Colors[i].Blue, map->Colors[i].Green, map->Colors[i].Red, 0};
            image.SetPalette(table, static_cast<DWORD>(map->ColorCount));
        }
        const BYTE background = gif->SColorMap ? static_cast<BYTE>(gif->SBackGroundColor) : 0;
        for (DWORD y = 0; y < image.GetHeight(); ++y)
            std::memset(image.GetBits(y), background, image.GetWidth());
        std::vector<GifPixelType> line(static_cast<std::size_t>(desc.Width));
        auto store = [&](int row)
        {
            const std::int64_t y = static_cast<std::int64_t>(desc.Top) + row;
            if (y < 0 || static_cast<std::uint64_t>(y) >= canvasHeight || desc.Left < 0)
                return;
            BYTE* dst = image.GetBits(static_cast<DWORD>(canvasHeight - 1 - static_cast<std::uint64_t>(y)));
            for (int x = 0; x < desc.Width; ++x)
                if (static_cast<std::uint64_t>(desc.Left) + static_cast<std::uint64_t>(x) < canvasWidth)
                    dst[desc.Left + x] = line[static_cast<std::size_t>(x)];
        };
        if (desc.Interlace)
        {
            static constexpr int Start[4] = {0, 4, 2, 1};
            static constexpr int Step[4] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int row = Start[pass]; row < desc.Height; row += Step[pass])
                {
                    if (DGifGetLine(gif.get(), line.data(), desc.Width) == GIF_ERROR)
                        return fail(gif->Error);
                    store(row);
                }
        }
        else
        {
            for (int row = 0; row < desc.Height; ++row)
            {
                if (DGifGetLine(gif.get(), line.data(), desc.Width) == GIF_ERROR)
                    return fail(gif->Error);
                store(row);
            }
        }
        image.SetFrameDelay(delay);
        return true;
    }
}
} // namespace platform::image::detail

CxImageGIF::CxImageGIF() : CxImage(CXIMAGE_FORMAT_GIF) {}

void CxImageGIF::SetLoops(int loops)
{
    m_loops = loops;
}

int CxImageGIF::GetLoops() const
{
    return m_loops;
}

bool CxImageGIF::Build(CxImage** pImages, int pagecount, bool bLocalColorMap, std::vector<BYTE>& out)
{
    if (pImages == nullptr || pagecount <= 0)
        return Fail("There are no frames to encode");
    if (pagecount > MaxFrames)
        return Fail("There are too many frames to encode");
    for (int i = 0; i < pagecount; ++i)
        if (pImages[i] == nullptr || !pImages[i]->IsValid())
            return Fail("Frame " + std::to_string(i + 1) + " is not a valid image");
    const DWORD width = pImages[0]->GetWidth();
    const DWORD height = pImages[0]->GetHeight();
    if (width > 65535 || height > 65535)
        return Fail("The frames are too large for a GIF file");
    for (int i = 1; i < pagecount; ++i)
        if (pImages[i]->GetWidth() != width || pImages[i]->GetHeight() != height)
            return Fail("Frame " + std::to_string(i + 1) + " differs in size from the first");

    RGBQUAD global[256] = {};
    unsigned globalColours = 0;
    if (!bLocalColorMap)
    {
        if (pImages[0]->GetBpp() == 8)
        {
            globalColours = pImages[0]->GetNumColors();
            std::memcpy(global, pImages[0]->GetPalette(), globalColours * sizeof(RGBQUAD));
        }
        else
        {
            globalColours = std::max(1u, OctreePalette(*pImages[0], global, 256));
        }
    }

    int code = 0;
    std::unique_ptr<GifFileType, EncoderCloser> gif(EGifOpen(&out, WriteToVector, &code));
    if (!gif)
        return Fail("The GIF encoder could not start");
    auto fail = [&](const char* what)
    {
        const char* text = GifErrorString(gif->Error);
        return Fail(std::string(what) + ": " + (text ? text : "unknown error"));
    };
    EGifSetGifVersion(gif.get(), true);
    {
        MapPtr map = bLocalColorMap ? nullptr : MakeMap(global, globalColours);
        if (!bLocalColorMap && !map)
            return Fail("Not enough memory for the colour table");
        if (EGifPutScreenDesc(gif.get(), static_cast<int>(width), static_cast<int>(height), 8, 0,
                              map.get()) == GIF_ERROR)
            return fail("The GIF header could not be written");
    }
    if (m_loops >= 0 && pagecount > 1)
    {
        const GifByteType loop[3] = {1, static_cast<GifByteType>(std::min(m_loops, 65535) & 0xFF),
                                     static_cast<GifByteType>((std::min(m_loops, 65535) >> 8) & 0xFF)};
        if (EGifPutExtensionLeader(gif.get(), APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
            EGifPutExtensionBlock(gif.get(), 11, "NETSCAPE2.0") == GIF_ERROR ||
            EGifPutExtensionBlock(gif.get(), 3, loop) == GIF_ERROR ||
            EGifPutExtensionTrailer(gif.get()) == GIF_ERROR)
            return fail("The loop block could not be written");
    }
    std::vector<GifPixelType> indices;
    // With one table for all frames, a frame after the first needs only what differs from the canvas
    // the frames before left, which is the previous frame's indices, since each frame leaves the canvas
    // showing exactly its own picture ("do not dispose").
    std::vector<GifPixelType> canvas;
    std::vector<GifPixelType> pixels;
    LzwCoder coder;
    std::vector<GifByteType> best;
    std::vector<GifByteType> stream;
    for (int i = 0; i < pagecount; ++i)
    {
        const CxImage& frame = *pImages[i];
        RGBQUAD local[256] = {};
        unsigned localColours = 0;
        std::string error;
        if (bLocalColorMap)
        {
            if (frame.GetBpp() == 8)
            {
                localColours = frame.GetNumColors();
                std::memcpy(local, frame.GetPalette(), localColours * sizeof(RGBQUAD));
            }
            else
            {
                localColours = std::max(1u, OctreePalette(frame, local, 256));
            }
        }
        if (!Indices(frame, bLocalColorMap ? local : global, bLocalColorMap ? localColours : globalColours,
                     indices, error))
            return Fail(error);
        Patch patch{0, 0, width, height, NO_TRANSPARENT_COLOR};
        if (!bLocalColorMap && i > 0)
            patch = ChangedPatch(canvas, indices, width, height, TableSize(globalColours));
        // The rectangle is coded as it is and, with a free slot, with its unchanged pixels transparent;
        // the shorter is written (on noise, where few pixels stay, the transparent slot may cost more).
        const int minCodeSize = MinCodeSize(bLocalColorMap ? localColours : globalColours);
        pixels.resize(static_cast<std::size_t>(patch.width) * patch.height);
        best.clear();
        for (int pass = 0; pass < (patch.transparent == NO_TRANSPARENT_COLOR ? 1 : 2); ++pass)
        {
            GifPixelType* to = pixels.data();
            for (DWORD y = patch.top; y < patch.top + patch.height; ++y, to += patch.width)
            {
                const std::size_t row = static_cast<std::size_t>(y) * width + patch.left;
                const GifPixelType* from = indices.data() + row;
                if (pass == 0)
                    std::memcpy(to, from, patch.width);
                else
                    for (DWORD x = 0; x < patch.width; ++x)
                        to[x] = from[x] == canvas[row + x] ? static_cast<GifPixelType>(patch.transparent)
                                                           : from[x];
            }
            const bool shorter = CodeShortest(coder, pixels, minCodeSize, best, stream);
            if (pass == 1 && !shorter)
                patch.transparent = NO_TRANSPARENT_COLOR;
        }
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSE_DO_NOT;
        control.UserInputFlag = false;
        control.DelayTime = static_cast<int>(
            std::min<DWORD>(frame.GetFrameDelay() ? frame.GetFrameDelay() : GetFrameDelay(), 65535));
        control.TransparentColor = patch.transparent;
        GifByteType extension[4];
        EGifGCBToExtension(&control, extension);
        if (EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_ERROR)
            return fail("The frame delay could not be written");
        MapPtr map = bLocalColorMap ? MakeMap(local, localColours) : nullptr;
        if (bLocalColorMap && !map)
            return Fail("Not enough memory for the colour table");
        if (EGifPutImageDesc(gif.get(), static_cast<int>(patch.left), static_cast<int>(patch.top),
                             static_cast<int>(patch.width), static_cast<int>(patch.height), false,
                             map.get()) == GIF_ERROR)
            return fail("The frame header could not be written");
        if (!PutStream(gif.get(), best))
            return fail("The frame could not be written");
        canvas.swap(indices);
    }
    GifFileType* raw = gif.release();
    if (EGifCloseFile(raw, &code) == GIF_ERROR)
    {
        const char* text = GifErrorString(code);
        return Fail(std::string("The GIF file could not be finished: ") + (text ? text : "unknown error"));
    }
    return true;
}

bool CxImageGIF::Encode(CxFile* fp, CxImage** pImages, int pagecount, bool bLocalColorMap)
{
    if (fp == nullptr)
        return Fail("No stream to encode into");
    std::vector<BYTE> bytes;
    try
    {
        if (!Build(pImages, pagecount, bLocalColorMap, bytes))
            return false;
    }
    catch (const std::bad_alloc&)
    {
        return Fail("Not enough memory to encode the frames");
    }
    if (fp->Write(bytes.data(), 1, bytes.size()) != bytes.size() || !fp->Flush())
        return Fail("The GIF file could not be written");
    ClearError();
    return true;
}

bool CxImageGIF::Encode(FILE* fp, CxImage** pImages, int pagecount, bool bLocalColorMap)
{
    if (fp == nullptr)
        return Fail("No file to encode into");
    std::vector<BYTE> bytes;
    try
    {
        if (!Build(pImages, pagecount, bLocalColorMap, bytes))
            return false;
    }
    catch (const std::bad_alloc&)
    {
        return Fail("Not enough memory to encode the frames");
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), fp) != bytes.size() || std::fflush(fp) != 0 ||
        std::ferror(fp))
        return Fail("The GIF file could not be written: " +
                    std::error_code(errno, std::generic_category()).message());
    ClearError();
    return true;
}

bool CxImageGIF::Save(const char* filename, CxImage** pImages, int pagecount, bool bLocalColorMap)
{
    if (filename == nullptr || *filename == '\0')
        return Fail("No file name");
    std::vector<BYTE> bytes;
    try
    {
        if (!Build(pImages, pagecount, bLocalColorMap, bytes))
            return false;
    }
    catch (const std::bad_alloc&)
    {
        return Fail("Not enough memory to encode the frames");
    }
    std::string error;
    if (!WriteFileAtomically(filename, bytes, error))
        return Fail(error);
    ClearError();
    return true;
}
