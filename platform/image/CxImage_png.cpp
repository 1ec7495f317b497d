// PNG through libpng. Its errors jump back to the setjmp point of the one function that calls it, whose
// frame holds no C++ objects that need destruction.
#include "Codecs.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

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

void OnRead(png_structp png, png_bytep out, png_size_t length)
{
    auto* source = static_cast<Source*>(png_get_io_ptr(png));
    if (length > source->size - source->position)
        png_error(png, "The PNG data is truncated");
    std::memcpy(out, source->data + source->position, length);
    source->position += length;
}

[[noreturn]] void OnError(png_structp png, png_const_charp message)
{
    auto* source = static_cast<Source*>(png_get_error_ptr(png));
    std::snprintf(source->message, sizeof source->message, "%s", message ? message : "unknown error");
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

struct State
{
    png_structp png = nullptr;
    png_infop info = nullptr;
    Source source{};
};

bool Run(State& s, CxImage& image, std::string& error)
{
    if (setjmp(png_jmpbuf(s.png)))
    {
        image.Destroy();
        error = std::string("The PNG data is corrupt: ") + s.source.message;
        return false;
    }
    png_set_read_fn(s.png, &s.source, OnRead);
    png_set_user_limits(s.png, MaxImageDimension, MaxImageDimension);
    // Text and other ancillary chunks are not needed; this bounds what a hostile file can make us hold.
    png_set_chunk_malloc_max(s.png, 8u << 20);
    png_read_info(s.png, s.info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(s.png, s.info, &width, &height, &depth, &colourType, &interlace, nullptr, nullptr);
    if (!CheckDimensions(width, height, error))
        return false;
    const bool palette = colourType == PNG_COLOR_TYPE_PALETTE;
    const bool grey = (colourType & PNG_COLOR_MASK_COLOR) == 0;
    if (depth == 16)
        png_set_strip_16(s.png);
    if (depth < 8)
    {
        if (grey)
            png_set_expand_gray_1_2_4_to_8(s.png);
        else
            png_set_packing(s.png);
    }
    if (colourType & PNG_COLOR_MASK_ALPHA)
        png_set_strip_alpha(s.png);
    if (!palette && !grey)
        png_set_bgr(s.png);
    const int passes = png_set_interlace_handling(s.png);
    png_read_update_info(s.png, s.info);
    if (!image.Create(width, height, palette || grey ? 8 : 24, CXIMAGE_FORMAT_PNG))
    {
        error = image.GetLastError();
        return false;
    }
    if (palette)
    {
        png_colorp entries = nullptr;
        int count = 0;
        if (png_get_PLTE(s.png, s.info, &entries, &count) != PNG_INFO_PLTE || count <= 0 || count > 256)
            png_error(s.png, "The PNG colour table is missing");
        RGBQUAD table[256];
        for (int i = 0; i < count; ++i)
            table[i] = {entries[i].blue, entries[i].green, entries[i].red, 0};
        image.SetPalette(table, static_cast<DWORD>(count));
    }
    // Rows arrive top first; ours are stored bottom first, so point libpng at them in reverse.
    png_bytep rows[1];
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y)
        {
            rows[0] = image.GetBits(height - 1 - y);
            png_read_rows(s.png, rows, nullptr, 1);
        }
    png_read_end(s.png, nullptr);
    return true;
}
} // namespace

bool DecodePng(const BYTE* data, std::size_t size, CxImage& image, std::string& error)
{
    State state;
    state.source = {data, size, 0, {}};
    state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state.source, OnError, OnWarning);
    if (state.png == nullptr)
    {
        error = "The PNG decoder could not start";
        return false;
    }
    state.info = png_create_info_struct(state.png);
    if (state.info == nullptr)
    {
        png_destroy_read_struct(&state.png, nullptr, nullptr);
        error = "The PNG decoder could not start";
        return false;
    }
    const bool ok = Run(state, image, error);
    png_destroy_read_struct(&state.png, &state.info, nullptr);
    return ok;
}
} // namespace platform::image::detail
