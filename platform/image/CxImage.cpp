#include "CxImage.h"

#include "Codecs.h"
#include "CxImageGIF.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <new>
#include <random>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace platform::image::detail
{
DWORD DetectFormat(const BYTE* data, std::size_t size)
{
    auto starts = [&](std::initializer_list<int> magic)
    {
        if (size < magic.size())
            return false;
        std::size_t i = 0;
        for (int byte : magic)
            if (data[i++] != static_cast<BYTE>(byte))
                return false;
        return true;
    };
    if (starts({'B', 'M'}))
        return CXIMAGE_FORMAT_BMP;
    if (starts({0xFF, 0xD8, 0xFF}))
        return CXIMAGE_FORMAT_JPG;
    if (starts({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}))
        return CXIMAGE_FORMAT_PNG;
    if (starts({'G', 'I', 'F', '8'}))
        return CXIMAGE_FORMAT_GIF;
    if (starts({'I', 'I', 42, 0}) || starts({'M', 'M', 0, 42}) || starts({'I', 'I', 43, 0}) ||
        starts({'M', 'M', 0, 43}))
        return CXIMAGE_FORMAT_TIF;
    if (starts({0, 0, 0, 0x0C, 'j', 'P', ' ', ' '}))
        return CXIMAGE_FORMAT_JP2;
    if (starts({0xFF, 0x4F, 0xFF, 0x51}))
        return CXIMAGE_FORMAT_JPC;
    return CXIMAGE_FORMAT_UNKNOWN;
}

bool CheckDimensions(std::uint64_t width, std::uint64_t height, std::string& error)
{
    if (width == 0 || height == 0)
    {
        error = "The image has no pixels";
        return false;
    }
    if (width > MaxImageDimension || height > MaxImageDimension || width * height > MaxImagePixels)
    {
        error = "The image is too large (" + std::to_string(width) + " x " + std::to_string(height) + ")";
        return false;
    }
    return true;
}

PaletteMapper::PaletteMapper(const RGBQUAD* palette, unsigned count)
    : m_cells(std::size_t{CellsPerSide} * CellsPerSide * CellsPerSide), m_cellKnown(m_cells.size(), false),
      m_cacheKey(CacheSize, 0xFFFFFFFFu), m_cacheValue(CacheSize, 0)
{
    m_entries.reserve(count);
    for (unsigned i = 0; i < count; ++i)
        m_entries.push_back(
            {palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue, static_cast<BYTE>(i)});
}

const std::vector<PaletteMapper::Entry>& PaletteMapper::Candidates(int r, int g, int b)
{
    const std::size_t cell =
        (static_cast<std::size_t>(r >> CellShift) * CellsPerSide + static_cast<std::size_t>(g >> CellShift)) *
            CellsPerSide +
        static_cast<std::size_t>(b >> CellShift);
    std::vector<Entry>& candidates = m_cells[cell];
    if (m_cellKnown[cell])
        return candidates;
    m_cellKnown[cell] = true;
    // An entry can be the nearest (or tie with it) for some colour of the cell only when its least
    // distance to the cell is within the largest distance of the entry whose largest distance is least.
    const int low[3] = {r >> CellShift << CellShift, g >> CellShift << CellShift,
                        b >> CellShift << CellShift};
    const int high[3] = {low[0] + (1 << CellShift) - 1, low[1] + (1 << CellShift) - 1,
                         low[2] + (1 << CellShift) - 1};
    auto least = [&](const Entry& e)
    {
        const int v[3] = {e.r, e.g, e.b};
        int d = 0;
        for (int ch = 0; ch < 3; ++ch)
        {
            const int gap = v[ch] < low[ch] ? low[ch] - v[ch] : v[ch] > high[ch] ? v[ch] - high[ch] : 0;
            d += gap * gap;
        }
        return d;
    };
    auto most = [&](const Entry& e)
    {
        const int v[3] = {e.r, e.g, e.b};
        int d = 0;
        for (int ch = 0; ch < 3; ++ch)
        {
            const int gap = std::max(std::abs(v[ch] - low[ch]), std::abs(v[ch] - high[ch]));
            d += gap * gap;
        }
        return d;
    };
    int bound = INT32_MAX;
    for (const Entry& e : m_entries)
        bound = std::min(bound, most(e));
    for (const Entry& e : m_entries)
        if (least(e) <= bound)
            candidates.push_back(e);
    return candidates;
}

BYTE PaletteMapper::Nearest(int r, int g, int b)
{
    if (m_entries.empty())
        return 0;
    const std::uint32_t key = (static_cast<std::uint32_t>(r) << 16) | (static_cast<std::uint32_t>(g) << 8) |
                              static_cast<std::uint32_t>(b);
    const std::uint32_t slot = (key * 2654435761u) >> (32 - CacheBits);
    if (m_cacheKey[slot] == key)
        return m_cacheValue[slot];
    int best = INT32_MAX;
    BYTE index = 0;
    // The candidates come in index order: of equal distances the first, the lowest index, stays.
    for (const Entry& e : Candidates(r, g, b))
    {
        const int dr = e.r - r, dg = e.g - g, db = e.b - b;
        const int d = dr * dr + dg * dg + db * db;
        if (d < best)
        {
            best = d;
            index = e.index;
        }
    }
    m_cacheKey[slot] = key;
    m_cacheValue[slot] = index;
    return index;
}
} // namespace platform::image::detail

namespace
{
using namespace platform::image;
using namespace platform::image::detail;

BITMAPINFOHEADER ReadHeader(const std::vector<BYTE>& dib)
{
    BITMAPINFOHEADER header{};
    if (dib.size() >= sizeof header)
        std::memcpy(&header, dib.data(), sizeof header);
    return header;
}

std::uint8_t ClampByte(float v)
{
    if (!(v > 0.0f))
        return 0;
    if (v >= 255.0f)
        return 255;
    return static_cast<std::uint8_t>(v + 0.5f);
}

// Keys' cubic convolution kernel (a = -0.5): interpolates the samples and reproduces straight ramps.
float Cubic(float x)
{
    x = std::fabs(x);
    if (x < 1.0f)
        return (1.5f * x - 2.5f) * x * x + 1.0f;
    if (x < 2.0f)
        return ((-0.5f * x + 2.5f) * x - 4.0f) * x + 2.0f;
    return 0.0f;
}

struct Taps
{
    std::vector<int> first;
    std::vector<int> count;
    std::vector<float> weights; // count.size() rows of `stride` weights
    int stride = 0;
};

Taps MakeTaps(int source, int target)
{
    Taps taps;
    const float scale = static_cast<float>(source) / static_cast<float>(target);
    // Shrinking widens the kernel over the source pixels each target pixel covers.
    const float widen = std::max(1.0f, scale);
    const float support = 2.0f * widen;
    taps.stride = static_cast<int>(std::ceil(support)) * 2 + 1;
    taps.first.resize(static_cast<std::size_t>(target));
    taps.count.resize(static_cast<std::size_t>(target));
    taps.weights.assign(static_cast<std::size_t>(target) * static_cast<std::size_t>(taps.stride), 0.0f);
    for (int i = 0; i < target; ++i)
    {
        const float centre = (static_cast<float>(i) + 0.5f) * scale - 0.5f;
        const int lo = static_cast<int>(std::floor(centre - support)) + 1;
        const int hi = std::min(lo + taps.stride - 1, static_cast<int>(std::floor(centre + support)));
        float* w = &taps.weights[static_cast<std::size_t>(i) * static_cast<std::size_t>(taps.stride)];
        float sum = 0.0f;
        for (int k = lo; k <= hi; ++k)
        {
            w[k - lo] = Cubic((static_cast<float>(k) - centre) / widen);
            sum += w[k - lo];
        }
        for (int k = 0; k <= hi - lo; ++k)
            w[k] /= sum;
        taps.first[static_cast<std::size_t>(i)] = lo;
        taps.count[static_cast<std::size_t>(i)] = hi - lo + 1;
    }
    return taps;
}

// Channels of one pixel, top-level helper for the scalers: grey images work on one channel, others on
// blue, green, red.
struct Plane
{
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<BYTE> pixels; // rows bottom-up, tightly packed
};

Plane ToPlane(const CxImage& image, bool grey)
{
    Plane plane;
    plane.width = static_cast<int>(image.GetWidth());
    plane.height = static_cast<int>(image.GetHeight());
    plane.channels = grey ? 1 : 3;
    plane.pixels.resize(static_cast<std::size_t>(plane.width) * static_cast<std::size_t>(plane.height) *
                        static_cast<std::size_t>(plane.channels));
    BYTE* out = plane.pixels.data();
    for (int y = 0; y < plane.height; ++y)
    {
        const BYTE* row = image.GetBits(static_cast<DWORD>(y));
        for (int x = 0; x < plane.width; ++x)
        {
            if (image.GetBpp() == 24)
            {
                *out++ = row[x * 3];
                *out++ = row[x * 3 + 1];
                *out++ = row[x * 3 + 2];
            }
            else
            {
                const RGBQUAD c = image.GetPixelColor(x, y);
                if (grey)
                {
                    *out++ = c.rgbRed;
                }
                else
                {
                    *out++ = c.rgbBlue;
                    *out++ = c.rgbGreen;
                    *out++ = c.rgbRed;
                }
            }
        }
    }
    return plane;
}

bool FromPlane(const Plane& plane, CxImage& image, DWORD type)
{
    if (!image.Create(static_cast<DWORD>(plane.width), static_cast<DWORD>(plane.height),
                      plane.channels == 1 ? 8 : 24, type))
        return false;
    const std::size_t rowBytes =
        static_cast<std::size_t>(plane.width) * static_cast<std::size_t>(plane.channels);
    for (int y = 0; y < plane.height; ++y)
        std::memcpy(image.GetBits(static_cast<DWORD>(y)),
                    plane.pixels.data() + static_cast<std::size_t>(y) * rowBytes, rowBytes);
    return true;
}

Plane Bicubic(const Plane& in, int newx, int newy)
{
    const Taps horizontal = MakeTaps(in.width, newx);
    const Taps vertical = MakeTaps(in.height, newy);
    const int c = in.channels;
    std::vector<float> middle(static_cast<std::size_t>(newx) * static_cast<std::size_t>(in.height) *
                              static_cast<std::size_t>(c));
    for (int y = 0; y < in.height; ++y)
    {
        const BYTE* src =
            in.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(in.width) * c;
        float* dst = middle.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(newx) * c;
        for (int x = 0; x < newx; ++x)
        {
            const float* w = &horizontal.weights[static_cast<std::size_t>(x) * horizontal.stride];
            const int first = horizontal.first[static_cast<std::size_t>(x)];
            const int count = horizontal.count[static_cast<std::size_t>(x)];
            for (int ch = 0; ch < c; ++ch)
            {
                float sum = 0.0f;
                for (int k = 0; k < count; ++k)
                {
                    const int sx = std::clamp(first + k, 0, in.width - 1);
                    sum += w[k] * static_cast<float>(src[sx * c + ch]);
                }
                dst[x * c + ch] = sum;
            }
        }
    }
    Plane out;
    out.width = newx;
    out.height = newy;
    out.channels = c;
    out.pixels.resize(static_cast<std::size_t>(newx) * static_cast<std::size_t>(newy) * c);
    const std::size_t rowFloats = static_cast<std::size_t>(newx) * c;
    std::vector<float> accum(rowFloats);
    for (int y = 0; y < newy; ++y)
    {
        std::fill(accum.begin(), accum.end(), 0.0f);
        const float* w = &vertical.weights[static_cast<std::size_t>(y) * vertical.stride];
        const int first = vertical.first[static_cast<std::size_t>(y)];
        const int count = vertical.count[static_cast<std::size_t>(y)];
        for (int k = 0; k < count; ++k)
        {
            const int sy = std::clamp(first + k, 0, in.height - 1);
            const float* src = middle.data() + static_cast<std::size_t>(sy) * rowFloats;
            for (std::size_t i = 0; i < rowFloats; ++i)
                accum[i] += w[k] * src[i];
        }
        BYTE* dst = out.pixels.data() + static_cast<std::size_t>(y) * rowFloats;
        for (std::size_t i = 0; i < rowFloats; ++i)
            dst[i] = ClampByte(accum[i]);
    }
    return out;
}

Plane BoxShrink(const Plane& in, int newx, int newy)
{
    const int c = in.channels;
    std::vector<std::uint64_t> sums(static_cast<std::size_t>(newx) * static_cast<std::size_t>(newy) * c, 0);
    std::vector<std::uint32_t> counts(static_cast<std::size_t>(newx) * static_cast<std::size_t>(newy), 0);
    std::vector<int> column(static_cast<std::size_t>(in.width));
    for (int x = 0; x < in.width; ++x)
        column[static_cast<std::size_t>(x)] =
            static_cast<int>(static_cast<std::int64_t>(x) * newx / in.width);
    for (int y = 0; y < in.height; ++y)
    {
        const int ty = static_cast<int>(static_cast<std::int64_t>(y) * newy / in.height);
        const BYTE* src =
            in.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(in.width) * c;
        for (int x = 0; x < in.width; ++x)
        {
            const std::size_t t = static_cast<std::size_t>(ty) * newx + column[static_cast<std::size_t>(x)];
            for (int ch = 0; ch < c; ++ch)
                sums[t * c + ch] += src[x * c + ch];
            ++counts[t];
        }
    }
    Plane out;
    out.width = newx;
    out.height = newy;
    out.channels = c;
    out.pixels.resize(sums.size());
    for (std::size_t t = 0; t < counts.size(); ++t)
        for (int ch = 0; ch < c; ++ch)
            out.pixels[t * c + ch] = static_cast<BYTE>((sums[t * c + ch] + counts[t] / 2) / counts[t]);
    return out;
}

// Writes the whole buffer; false on any failure (EINTR is retried).
bool WriteAll(int fd, const std::vector<BYTE>& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size())
    {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string Errno(const char* what, int code)
{
    return std::string(what) + ": " + std::error_code(code, std::generic_category()).message();
}
} // namespace

CxImage::CxImage(DWORD imagetype) : m_type(imagetype) {}

CxImage::CxImage(const char* filename, DWORD imagetype) : m_type(imagetype)
{
    Load(filename, imagetype);
}

CxImage::CxImage(const CxImage& other) = default;
CxImage& CxImage::operator=(const CxImage& other) = default;

CxImage::CxImage(CxImage&& other) noexcept
    : m_dib(std::move(other.m_dib)), m_type(other.m_type), m_frameDelay(other.m_frameDelay),
      m_jpegQuality(other.m_jpegQuality), m_lastError(std::move(other.m_lastError))
{
    other.m_dib.clear();
}

CxImage& CxImage::operator=(CxImage&& other) noexcept
{
    if (this != &other)
    {
        m_dib = std::move(other.m_dib);
        other.m_dib.clear();
        m_type = other.m_type;
        m_frameDelay = other.m_frameDelay;
        m_jpegQuality = other.m_jpegQuality;
        m_lastError = std::move(other.m_lastError);
    }
    return *this;
}

CxImage::~CxImage() = default;

bool CxImage::Fail(const std::string& text) const
{
    m_lastError = text;
    return false;
}

void CxImage::ClearError() const
{
    m_lastError.clear();
}

void CxImage::WriteHeader(DWORD width, DWORD height, DWORD bpp, DWORD colours)
{
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = static_cast<LONG>(width);
    header.biHeight = static_cast<LONG>(height);
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(bpp);
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(DibStride(width, bpp) * height);
    header.biXPelsPerMeter = 3780; // 96 dots per inch
    header.biYPelsPerMeter = 3780;
    header.biClrUsed = colours;
    header.biClrImportant = 0;
    std::memcpy(m_dib.data(), &header, sizeof header);
}

BYTE* CxImage::Create(DWORD dwWidth, DWORD dwHeight, DWORD wBpp, DWORD imagetype)
{
    std::string error;
    if (!CheckDimensions(dwWidth, dwHeight, error))
    {
        Fail(error);
        return nullptr;
    }
    if (wBpp != 8 && wBpp != 24)
    {
        Fail("Only 8 and 24 bits per pixel are supported");
        return nullptr;
    }
    const DWORD colours = wBpp == 8 ? 256 : 0;
    const std::size_t size =
        sizeof(BITMAPINFOHEADER) + colours * sizeof(RGBQUAD) + DibStride(dwWidth, wBpp) * dwHeight;
    try
    {
        std::vector<BYTE> dib(size, 0);
        m_dib.swap(dib);
    }
    catch (const std::bad_alloc&)
    {
        Fail("Not enough memory for the image");
        return nullptr;
    }
    WriteHeader(dwWidth, dwHeight, wBpp, colours);
    if (wBpp == 8)
        SetGrayPalette();
    m_type = imagetype;
    ClearError();
    return GetBits();
}

bool CxImage::Destroy()
{
    std::vector<BYTE>().swap(m_dib);
    return true;
}

bool CxImage::IsValid() const
{
    return !m_dib.empty();
}

DWORD CxImage::GetWidth() const
{
    return IsValid() ? static_cast<DWORD>(ReadHeader(m_dib).biWidth) : 0;
}

DWORD CxImage::GetHeight() const
{
    return IsValid() ? static_cast<DWORD>(ReadHeader(m_dib).biHeight) : 0;
}

DWORD CxImage::GetBpp() const
{
    return IsValid() ? ReadHeader(m_dib).biBitCount : 0;
}

DWORD CxImage::GetType() const
{
    return m_type;
}

DWORD CxImage::GetEffWidth() const
{
    return IsValid() ? static_cast<DWORD>(DibStride(GetWidth(), GetBpp())) : 0;
}

DWORD CxImage::GetNumColors() const
{
    return IsValid() ? ReadHeader(m_dib).biClrUsed : 0;
}

bool CxImage::IsGrayScale() const
{
    const RGBQUAD* palette = GetPalette();
    if (palette == nullptr)
        return false;
    for (DWORD i = 0; i < GetNumColors(); ++i)
        if (palette[i].rgbRed != palette[i].rgbGreen || palette[i].rgbGreen != palette[i].rgbBlue)
            return false;
    return true;
}

BYTE* CxImage::GetBits(DWORD row)
{
    return const_cast<BYTE*>(static_cast<const CxImage*>(this)->GetBits(row));
}

const BYTE* CxImage::GetBits(DWORD row) const
{
    if (!IsValid() || row >= GetHeight())
        return nullptr;
    return m_dib.data() + sizeof(BITMAPINFOHEADER) + GetNumColors() * sizeof(RGBQUAD) +
           static_cast<std::size_t>(row) * GetEffWidth();
}

const void* CxImage::GetDIB() const
{
    return IsValid() ? m_dib.data() : nullptr;
}

DWORD CxImage::GetSize() const
{
    return static_cast<DWORD>(m_dib.size());
}

RGBQUAD* CxImage::GetPalette()
{
    return const_cast<RGBQUAD*>(static_cast<const CxImage*>(this)->GetPalette());
}

const RGBQUAD* CxImage::GetPalette() const
{
    if (GetBpp() != 8)
        return nullptr;
    return reinterpret_cast<const RGBQUAD*>(m_dib.data() + sizeof(BITMAPINFOHEADER));
}

bool CxImage::SetPalette(const RGBQUAD* pPal, DWORD nColors)
{
    if (GetBpp() != 8)
        return Fail("Only an 8-bit image has a colour table");
    if (pPal == nullptr || nColors == 0 || nColors > 256)
        return Fail("A colour table has 1 to 256 entries");
    const DWORD old = GetNumColors();
    if (nColors != old)
    {
        const std::size_t offset = sizeof(BITMAPINFOHEADER);
        try
        {
            std::vector<BYTE> dib(m_dib.size() - old * sizeof(RGBQUAD) + nColors * sizeof(RGBQUAD));
            std::memcpy(dib.data(), m_dib.data(), offset);
            std::memcpy(dib.data() + offset + nColors * sizeof(RGBQUAD),
                        m_dib.data() + offset + old * sizeof(RGBQUAD),
                        m_dib.size() - offset - old * sizeof(RGBQUAD));
            m_dib.swap(dib);
        }
        catch (const std::bad_alloc&)
        {
            return Fail("Not enough memory for the image");
        }
        BITMAPINFOHEADER header = ReadHeader(m_dib);
        header.biClrUsed = nColors;
        std::memcpy(m_dib.data(), &header, sizeof header);
    }
    RGBQUAD* palette = GetPalette();
    std::memcpy(palette, pPal, nColors * sizeof(RGBQUAD));
    for (DWORD i = 0; i < nColors; ++i)
        palette[i].rgbReserved = 0;
    ClearError();
    return true;
}

bool CxImage::SetGrayPalette()
{
    RGBQUAD grey[256];
    for (int i = 0; i < 256; ++i)
        grey[i] = {static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
    return SetPalette(grey, 256);
}

RGBQUAD CxImage::GetPixelColor(long x, long y) const
{
    RGBQUAD c{};
    if (!IsValid() || x < 0 || y < 0 || static_cast<DWORD>(x) >= GetWidth() ||
        static_cast<DWORD>(y) >= GetHeight())
        return c;
    const BYTE* row = GetBits(static_cast<DWORD>(y));
    if (GetBpp() == 24)
    {
        c.rgbBlue = row[x * 3];
        c.rgbGreen = row[x * 3 + 1];
        c.rgbRed = row[x * 3 + 2];
        return c;
    }
    const BYTE index = row[x];
    if (index < GetNumColors())
        c = GetPalette()[index];
    c.rgbReserved = 0;
    return c;
}

bool CxImage::SetPixelColor(long x, long y, RGBQUAD c)
{
    if (!IsValid() || x < 0 || y < 0 || static_cast<DWORD>(x) >= GetWidth() ||
        static_cast<DWORD>(y) >= GetHeight())
        return false;
    BYTE* row = GetBits(static_cast<DWORD>(y));
    if (GetBpp() == 24)
    {
        row[x * 3] = c.rgbBlue;
        row[x * 3 + 1] = c.rgbGreen;
        row[x * 3 + 2] = c.rgbRed;
    }
    else
    {
        PaletteMapper mapper(GetPalette(), GetNumColors());
        row[x] = mapper.Nearest(c.rgbRed, c.rgbGreen, c.rgbBlue);
    }
    return true;
}

bool CxImage::IncreaseBpp(DWORD nbit)
{
    if (!IsValid())
        return Fail("The image is not valid");
    if (nbit != 24)
        return Fail("Only 24 bits per pixel can be reached");
    if (GetBpp() == 24)
    {
        ClearError();
        return true;
    }
    CxImage wide(m_type);
    if (!wide.Create(GetWidth(), GetHeight(), 24, m_type))
        return Fail(wide.GetLastError());
    for (DWORD y = 0; y < GetHeight(); ++y)
    {
        const BYTE* src = GetBits(y);
        BYTE* dst = wide.GetBits(y);
        const RGBQUAD* palette = GetPalette();
        const DWORD colours = GetNumColors();
        for (DWORD x = 0; x < GetWidth(); ++x)
        {
            const RGBQUAD c = src[x] < colours ? palette[src[x]] : RGBQUAD{};
            dst[x * 3] = c.rgbBlue;
            dst[x * 3 + 1] = c.rgbGreen;
            dst[x * 3 + 2] = c.rgbRed;
        }
    }
    m_dib.swap(wide.m_dib);
    ClearError();
    return true;
}

bool CxImage::DecreaseBpp(DWORD nbit, bool errordiffusion, const RGBQUAD* ppal, DWORD clrimportant)
{
    if (!IsValid())
        return Fail("The image is not valid");
    if (nbit != 8)
        return Fail("Only 8 bits per pixel can be reached");
    try
    {
        RGBQUAD own[256] = {};
        DWORD colours = 256;
        if (ppal != nullptr)
        {
            colours = clrimportant != 0 ? std::min<DWORD>(clrimportant, 256) : 256;
            std::memcpy(own, ppal, colours * sizeof(RGBQUAD));
        }
        else
        {
            colours = std::max(1u, OctreePalette(*this, own, 256));
        }
        const int width = static_cast<int>(GetWidth());
        const int height = static_cast<int>(GetHeight());
        CxImage narrow(m_type);
        if (!narrow.Create(GetWidth(), GetHeight(), 8, m_type) || !narrow.SetPalette(own, colours))
            return Fail(narrow.GetLastError());
        PaletteMapper mapper(own, colours);
        const RGBQUAD* sourcePalette = GetPalette();
        const DWORD sourceColours = GetBpp() == 8 ? GetNumColors() : 0;
        // Floyd-Steinberg over the rows from the top of the picture down; errors of the current and next
        // row, with one guard cell at each end.
        std::vector<int> current(static_cast<std::size_t>(width + 2) * 3, 0);
        std::vector<int> next(current.size(), 0);
        for (int y = height - 1; y >= 0; --y)
        {
            BYTE* dst = narrow.GetBits(static_cast<DWORD>(y));
            const BYTE* src = GetBits(static_cast<DWORD>(y));
            for (int x = 0; x < width; ++x)
            {
                int sr = 0, sg = 0, sb = 0;
                if (sourceColours == 0)
                {
                    sb = src[x * 3];
                    sg = src[x * 3 + 1];
                    sr = src[x * 3 + 2];
                }
                else if (src[x] < sourceColours)
                {
                    sb = sourcePalette[src[x]].rgbBlue;
                    sg = sourcePalette[src[x]].rgbGreen;
                    sr = sourcePalette[src[x]].rgbRed;
                }
                const int* e = &current[static_cast<std::size_t>(x + 1) * 3];
                const int r = std::clamp(sr + (errordiffusion ? e[0] / 16 : 0), 0, 255);
                const int g = std::clamp(sg + (errordiffusion ? e[1] / 16 : 0), 0, 255);
                const int b = std::clamp(sb + (errordiffusion ? e[2] / 16 : 0), 0, 255);
                const BYTE index = mapper.Nearest(r, g, b);
                dst[x] = index;
                if (!errordiffusion)
                    continue;
                const int err[3] = {r - own[index].rgbRed, g - own[index].rgbGreen, b - own[index].rgbBlue};
                for (int ch = 0; ch < 3; ++ch)
                {
                    current[static_cast<std::size_t>(x + 2) * 3 + ch] += err[ch] * 7;
                    next[static_cast<std::size_t>(x) * 3 + ch] += err[ch] * 3;
                    next[static_cast<std::size_t>(x + 1) * 3 + ch] += err[ch] * 5;
                    next[static_cast<std::size_t>(x + 2) * 3 + ch] += err[ch];
                }
            }
            current.swap(next);
            std::fill(next.begin(), next.end(), 0);
        }
        m_dib.swap(narrow.m_dib);
    }
    catch (const std::bad_alloc&)
    {
        return Fail("Not enough memory for the image");
    }
    ClearError();
    return true;
}

bool CxImage::ScaleCommon(long newx, long newy, CxImage* iDst, bool shrink)
{
    if (!IsValid())
        return Fail("The image is not valid");
    std::string error;
    if (newx <= 0 || newy <= 0 ||
        !CheckDimensions(static_cast<std::uint64_t>(newx), static_cast<std::uint64_t>(newy), error))
        return Fail(error.empty() ? "The target size is not valid" : error);
    if (shrink && (static_cast<DWORD>(newx) > GetWidth() || static_cast<DWORD>(newy) > GetHeight()))
        return Fail("A shrink cannot enlarge the image");
    try
    {
        const bool grey = IsGrayScale();
        const Plane in = ToPlane(*this, grey);
        const Plane out = shrink ? BoxShrink(in, static_cast<int>(newx), static_cast<int>(newy))
                                 : Bicubic(in, static_cast<int>(newx), static_cast<int>(newy));
        CxImage result(m_type);
        if (!FromPlane(out, result, m_type))
            return Fail(result.GetLastError());
        result.m_frameDelay = m_frameDelay;
        result.m_jpegQuality = m_jpegQuality;
        if (iDst != nullptr)
        {
            *iDst = std::move(result);
            iDst->ClearError();
        }
        else
        {
            m_dib.swap(result.m_dib);
        }
    }
    catch (const std::bad_alloc&)
    {
        return Fail("Not enough memory for the image");
    }
    ClearError();
    return true;
}

bool CxImage::Resample(long newx, long newy, int mode, CxImage* iDst)
{
    if (mode != 2)
        return Fail("Only bicubic resampling (mode 2) is supported");
    return ScaleCommon(newx, newy, iDst, false);
}

bool CxImage::QIShrink(long newx, long newy, CxImage* iDst)
{
    return ScaleCommon(newx, newy, iDst, true);
}

void CxImage::SetFrameDelay(DWORD d)
{
    m_frameDelay = d;
}

DWORD CxImage::GetFrameDelay() const
{
    return m_frameDelay;
}

void CxImage::SetJpegQuality(BYTE q)
{
    m_jpegQuality = std::clamp<BYTE>(q, 1, 100);
}

BYTE CxImage::GetJpegQuality() const
{
    return m_jpegQuality;
}

bool CxImage::DecodeBytes(const BYTE* data, std::size_t size, DWORD imagetype)
{
    Destroy();
    if (data == nullptr || size == 0)
        return Fail("The data is empty");
    if (size > MaxEncodedBytes)
        return Fail("The data is too large");
    DWORD type = imagetype;
    if (type == CXIMAGE_FORMAT_UNKNOWN)
    {
        type = DetectFormat(data, size);
        if (type == CXIMAGE_FORMAT_UNKNOWN)
            return Fail("Unknown image format");
    }
    std::string error;
    bool ok = false;
    CxImage decoded(type);
    try
    {
        switch (type)
        {
        case CXIMAGE_FORMAT_BMP:
            ok = DecodeBmp(data, size, decoded, error);
            break;
        case CXIMAGE_FORMAT_JPG:
            ok = DecodeJpeg(data, size, decoded, error);
            break;
        case CXIMAGE_FORMAT_PNG:
            ok = DecodePng(data, size, decoded, error);
            break;
        case CXIMAGE_FORMAT_TIF:
            ok = DecodeTiff(data, size, decoded, error);
            break;
        case CXIMAGE_FORMAT_GIF:
            ok = DecodeGif(data, size, decoded, error);
            break;
        case CXIMAGE_FORMAT_JP2:
        case CXIMAGE_FORMAT_JPC:
            ok = DecodeJpeg2000(data, size, decoded, error);
            if (ok)
                type =
                    DetectFormat(data, size) == CXIMAGE_FORMAT_JPC ? CXIMAGE_FORMAT_JPC : CXIMAGE_FORMAT_JP2;
            break;
        default:
            error = "Image format " + std::to_string(type) + " is not supported";
            break;
        }
    }
    catch (const std::bad_alloc&)
    {
        ok = false;
        error = "Not enough memory for the image";
    }
    if (!ok || !decoded.IsValid())
        return Fail(error.empty() ? "The image could not be decoded" : error);
    m_dib.swap(decoded.m_dib);
    m_type = type;
    if (type == CXIMAGE_FORMAT_GIF)
        m_frameDelay = decoded.m_frameDelay;
    ClearError();
    return true;
}

bool CxImage::Decode(const BYTE* buffer, DWORD size, DWORD imagetype)
{
    return DecodeBytes(buffer, size, imagetype);
}

bool CxImage::Decode(CxFile* hFile, DWORD imagetype)
{
    if (hFile == nullptr)
    {
        Destroy();
        return Fail("No stream to decode");
    }
    if (auto* memory = dynamic_cast<CxMemFile*>(hFile))
    {
        const std::size_t at = memory->Tell();
        return DecodeBytes(memory->GetBuffer() + at, memory->Size() - at, imagetype);
    }
    std::vector<BYTE> bytes;
    BYTE chunk[65536];
    for (;;)
    {
        const std::size_t n = hFile->Read(chunk, 1, sizeof chunk);
        if (n == 0)
            break;
        if (bytes.size() + n > MaxEncodedBytes)
        {
            Destroy();
            return Fail("The data is too large");
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    if (hFile->Error())
    {
        Destroy();
        return Fail("The stream could not be read");
    }
    return DecodeBytes(bytes.data(), bytes.size(), imagetype);
}

bool CxImage::Decode(FILE* hFile, DWORD imagetype)
{
    if (hFile == nullptr)
    {
        Destroy();
        return Fail("No file to decode");
    }
    std::vector<BYTE> bytes;
    BYTE chunk[65536];
    for (;;)
    {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, hFile);
        if (n == 0)
            break;
        if (bytes.size() + n > MaxEncodedBytes)
        {
            Destroy();
            return Fail("The file is too large");
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    if (std::ferror(hFile))
    {
        Destroy();
        return Fail("The file could not be read");
    }
    return DecodeBytes(bytes.data(), bytes.size(), imagetype);
}

bool CxImage::Load(const char* filename, DWORD imagetype)
{
    if (filename == nullptr || *filename == '\0')
    {
        Destroy();
        return Fail("No file name");
    }
    std::error_code ec;
    if (std::filesystem::is_directory(filename, ec))
    {
        Destroy();
        return Fail("The path is a folder");
    }
    FILE* file = std::fopen(filename, "rb");
    if (file == nullptr)
    {
        Destroy();
        return Fail(Errno("The file could not be opened", errno));
    }
    const bool ok = Decode(file, imagetype);
    std::fclose(file);
    return ok;
}

bool CxImage::EncodeBytes(std::vector<BYTE>& out, DWORD imagetype)
{
    if (!IsValid())
        return Fail("The image is not valid");
    std::string error;
    bool ok = false;
    try
    {
        switch (imagetype)
        {
        case CXIMAGE_FORMAT_BMP:
            ok = EncodeBmp(*this, out, error);
            break;
        case CXIMAGE_FORMAT_JPG:
            ok = EncodeJpeg(*this, m_jpegQuality, out, error);
            break;
        case CXIMAGE_FORMAT_GIF:
        {
            CxImageGIF gif;
            CxImage* frames[] = {this};
            CxMemFile memory;
            ok = gif.Encode(&memory, frames, 1, false);
            if (ok)
                out.assign(memory.GetBuffer(), memory.GetBuffer() + memory.Size());
            else
                error = gif.GetLastError();
            break;
        }
        default:
            error = "Saving as image format " + std::to_string(imagetype) + " is not supported";
            break;
        }
    }
    catch (const std::bad_alloc&)
    {
        ok = false;
        error = "Not enough memory to encode the image";
    }
    if (!ok)
        return Fail(error.empty() ? "The image could not be encoded" : error);
    return true;
}

bool CxImage::Encode(CxFile* hFile, DWORD imagetype)
{
    if (hFile == nullptr)
        return Fail("No stream to encode into");
    std::vector<BYTE> bytes;
    if (!EncodeBytes(bytes, imagetype))
        return false;
    if (hFile->Write(bytes.data(), 1, bytes.size()) != bytes.size() || !hFile->Flush())
        return Fail("The image could not be written");
    ClearError();
    return true;
}

bool CxImage::Encode(FILE* hFile, DWORD imagetype)
{
    if (hFile == nullptr)
        return Fail("No file to encode into");
    std::vector<BYTE> bytes;
    if (!EncodeBytes(bytes, imagetype))
        return false;
    if (std::fwrite(bytes.data(), 1, bytes.size(), hFile) != bytes.size() || std::fflush(hFile) != 0 ||
        std::ferror(hFile))
        return Fail(Errno("The image could not be written", errno));
    ClearError();
    return true;
}

namespace platform::image::detail
{
bool WriteFileAtomically(const char* filename, const std::vector<BYTE>& bytes, std::string& error)
{
    const std::filesystem::path target(filename);
    std::filesystem::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    // A hidden name beside the target, so the rename stays on one file system and folder watchers that
    // list images ignore it.
    static std::atomic<unsigned> sequence{0};
    std::random_device random;
    int fd = -1;
    std::filesystem::path temporary;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt)
    {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".%ld-%u-%u.tmp", static_cast<long>(::getpid()), sequence++,
                      static_cast<unsigned>(random() & 0xFFFFu));
        std::string name(".");
        name += target.filename().string();
        name += suffix;
        temporary = folder / name;
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
    {
        error = Errno("The file could not be created", errno);
        return false;
    }
    const bool written = WriteAll(fd, bytes);
    const int writeErrno = errno;
    const bool closed = ::close(fd) == 0;
    const int closeErrno = errno;
    if (!written || !closed)
    {
        ::unlink(temporary.c_str());
        error = Errno("The file could not be written", !written ? writeErrno : closeErrno);
        return false;
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0)
    {
        const int code = errno;
        ::unlink(temporary.c_str());
        error = Errno("The file could not be put in place", code);
        return false;
    }
    return true;
}
} // namespace platform::image::detail

bool CxImage::Save(const char* filename, DWORD imagetype)
{
    if (filename == nullptr || *filename == '\0')
        return Fail("No file name");
    std::vector<BYTE> bytes;
    if (!EncodeBytes(bytes, imagetype))
        return false;
    std::string error;
    if (!WriteFileAtomically(filename, bytes, error))
        return Fail(error);
    ClearError();
    return true;
}

const char* CxImage::GetLastError() const
{
    return m_lastError.c_str();
}
