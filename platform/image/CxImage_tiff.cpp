// TIFF through libtiff, read from memory. Messages go to handlers of this handle only, never to the
// process-wide ones (which print to standard error).
#include "Codecs.h"

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace platform::image::detail
{
namespace
{
struct Source
{
    const BYTE* data;
    std::size_t size;
    std::size_t position;
    char message[256];
};

tmsize_t OnRead(thandle_t handle, void* buffer, tmsize_t length)
{
    auto* source = static_cast<Source*>(handle);
    if (length <= 0 || source->position >= source->size)
        return 0;
    const std::size_t n =
        std::min<std::size_t>(static_cast<std::size_t>(length), source->size - source->position);
    std::memcpy(buffer, source->data + source->position, n);
    source->position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t OnWrite(thandle_t, void*, tmsize_t)
{
    return 0;
}

toff_t OnSeek(thandle_t handle, toff_t offset, int whence)
{
    auto* source = static_cast<Source*>(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR)
        base = source->position;
    else if (whence == SEEK_END)
        base = source->size;
    const std::uint64_t target = base + offset;
    if (target < base || target > source->size)
        return static_cast<toff_t>(-1);
    source->position = static_cast<std::size_t>(target);
    return target;
}

int OnClose(thandle_t)
{
    return 0;
}

toff_t OnSize(thandle_t handle)
{
    return static_cast<Source*>(handle)->size;
}

int OnMap(thandle_t handle, void** base, toff_t* size)
{
    auto* source = static_cast<Source*>(handle);
    *base = const_cast<BYTE*>(source->data);
    *size = source->size;
    return 1;
}

void OnUnmap(thandle_t, void*, toff_t) {}

int OnError(TIFF*, void* user, const char* module, const char* format, va_list args)
{
    auto* source = static_cast<Source*>(user);
    if (source->message[0] == '\0')
    {
        char text[200];
        std::vsnprintf(text, sizeof text, format, args);
        std::snprintf(source->message, sizeof source->message, "%s%s%s", module ? module : "",
                      module ? ": " : "", text);
    }
    return 1;
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

struct OptionsDeleter
{
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

struct TiffDeleter
{
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
} // namespace

bool DecodeTiff(const BYTE* data, std::size_t size, CxImage& image, std::string& error)
{
    Source source{data, size, 0, {}};
    std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (!options)
    {
        error = "The TIFF decoder could not start";
        return false;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnError, &source);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnWarning, &source);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), static_cast<tmsize_t>(MaxImagePixels * 4));
    auto fail = [&](const char* fallback)
    {
        error = std::string("The TIFF data is corrupt: ") + (source.message[0] ? source.message : fallback);
        image.Destroy();
        return false;
    };
    std::unique_ptr<TIFF, TiffDeleter> tif(TIFFClientOpenExt("memory", "r", &source, OnRead, OnWrite, OnSeek,
                                                             OnClose, OnSize, OnMap, OnUnmap, options.get()));
    if (!tif)
        return fail("not a TIFF file");
    std::uint32_t width = 0, height = 0;
    if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height))
        return fail("the size is missing");
    if (!CheckDimensions(width, height, error))
        return false;
    char reason[1024] = {};
    if (!TIFFRGBAImageOK(tif.get(), reason))
    {
        error = std::string("The TIFF layout is not supported: ") + reason;
        return false;
    }
    std::uint16_t photometric = 0, samples = 1;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric);
    const bool grey =
        samples == 1 && (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE);
    std::vector<std::uint32_t> raster(static_cast<std::size_t>(width) * height);
    if (!TIFFReadRGBAImageOriented(tif.get(), width, height, raster.data(), ORIENTATION_BOTLEFT, 1))
        return fail("the pixel data cannot be read");
    if (!image.Create(width, height, grey ? 8 : 24, CXIMAGE_FORMAT_TIF))
    {
        error = image.GetLastError();
        return false;
    }
    for (std::uint32_t y = 0; y < height; ++y)
    {
        BYTE* row = image.GetBits(y);
        const std::uint32_t* src = raster.data() + static_cast<std::size_t>(y) * width;
        for (std::uint32_t x = 0; x < width; ++x)
        {
            if (grey)
            {
                row[x] = static_cast<BYTE>(TIFFGetR(src[x]));
            }
            else
            {
                row[x * 3] = static_cast<BYTE>(TIFFGetB(src[x]));
                row[x * 3 + 1] = static_cast<BYTE>(TIFFGetG(src[x]));
                row[x * 3 + 2] = static_cast<BYTE>(TIFFGetR(src[x]));
            }
        }
    }
    return true;
}
} // namespace platform::image::detail
