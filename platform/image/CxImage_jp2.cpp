// JPEG 2000 (.jp2 files and bare code streams) through OpenJPEG, read from memory in strict mode so a
// truncated stream is an error rather than a partly grey picture.
#include "Codecs.h"

#include <openjpeg.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

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

OPJ_SIZE_T OnRead(void* buffer, OPJ_SIZE_T length, void* user)
{
    auto* source = static_cast<Source*>(user);
    if (source->position >= source->size)
        return static_cast<OPJ_SIZE_T>(-1);
    const std::size_t n = std::min<std::size_t>(length, source->size - source->position);
    std::memcpy(buffer, source->data + source->position, n);
    source->position += n;
    return n;
}

OPJ_OFF_T OnSkip(OPJ_OFF_T length, void* user)
{
    auto* source = static_cast<Source*>(user);
    if (length < 0 || static_cast<std::uint64_t>(length) > source->size - source->position)
        return -1;
    source->position += static_cast<std::size_t>(length);
    return length;
}

OPJ_BOOL OnSeek(OPJ_OFF_T position, void* user)
{
    auto* source = static_cast<Source*>(user);
    if (position < 0 || static_cast<std::uint64_t>(position) > source->size)
        return OPJ_FALSE;
    source->position = static_cast<std::size_t>(position);
    return OPJ_TRUE;
}

void OnError(const char* message, void* user)
{
    auto* source = static_cast<Source*>(user);
    if (source->message[0] == '\0')
    {
        std::snprintf(source->message, sizeof source->message, "%s", message);
        // OpenJPEG ends its messages with a line break.
        const std::size_t n = std::strlen(source->message);
        if (n > 0 && source->message[n - 1] == '\n')
            source->message[n - 1] = '\0';
    }
}

void OnQuiet(const char*, void*) {}

struct StreamDeleter
{
    void operator()(opj_stream_t* stream) const { opj_stream_destroy(stream); }
};
struct CodecDeleter
{
    void operator()(opj_codec_t* codec) const { opj_destroy_codec(codec); }
};
struct ImageDeleter
{
    void operator()(opj_image_t* image) const { opj_image_destroy(image); }
};

int Sample(const opj_image_comp_t& comp, OPJ_UINT32 x, OPJ_UINT32 y, OPJ_UINT32 width, OPJ_UINT32 height)
{
    // Components may be subsampled; find the sample that covers (x, y) of the full picture.
    const OPJ_UINT32 cx = static_cast<OPJ_UINT32>(static_cast<std::uint64_t>(x) * comp.w / width);
    const OPJ_UINT32 cy = static_cast<OPJ_UINT32>(static_cast<std::uint64_t>(y) * comp.h / height);
    int v = comp.data[static_cast<std::size_t>(cy) * comp.w + cx];
    if (comp.sgnd)
        v += 1 << (comp.prec - 1);
    if (comp.prec > 8)
        v >>= comp.prec - 8;
    else if (comp.prec < 8)
        v = v * 255 / ((1 << comp.prec) - 1);
    return std::clamp(v, 0, 255);
}
} // namespace

bool DecodeJpeg2000(const BYTE* data, std::size_t size, CxImage& image, std::string& error)
{
    Source source{data, size, 0, {}};
    auto fail = [&](const char* fallback)
    {
        error =
            std::string("The JPEG 2000 data is corrupt: ") + (source.message[0] ? source.message : fallback);
        image.Destroy();
        return false;
    };
    const DWORD kind = DetectFormat(data, size);
    if (kind != CXIMAGE_FORMAT_JP2 && kind != CXIMAGE_FORMAT_JPC)
        return fail("not a JPEG 2000 file or code stream");
    std::unique_ptr<opj_stream_t, StreamDeleter> stream(opj_stream_create(65536, OPJ_TRUE));
    std::unique_ptr<opj_codec_t, CodecDeleter> codec(
        opj_create_decompress(kind == CXIMAGE_FORMAT_JP2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
    if (!stream || !codec)
        return fail("the decoder could not start");
    opj_stream_set_read_function(stream.get(), OnRead);
    opj_stream_set_skip_function(stream.get(), OnSkip);
    opj_stream_set_seek_function(stream.get(), OnSeek);
    opj_stream_set_user_data(stream.get(), &source, nullptr);
    opj_stream_set_user_data_length(stream.get(), size);
    opj_set_error_handler(codec.get(), OnError, &source);
    opj_set_warning_handler(codec.get(), OnQuiet, nullptr);
    opj_set_info_handler(codec.get(), OnQuiet, nullptr);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    if (!opj_setup_decoder(codec.get(), &parameters) || !opj_decoder_set_strict_mode(codec.get(), OPJ_TRUE))
        return fail("the decoder could not start");
    opj_image_t* raw = nullptr;
    const bool header = opj_read_header(stream.get(), codec.get(), &raw);
    std::unique_ptr<opj_image_t, ImageDeleter> picture(raw);
    if (!header || !picture)
        return fail("the header cannot be read");
    if (picture->numcomps == 0 || picture->x1 <= picture->x0 || picture->y1 <= picture->y0)
        return fail("the picture has no pixels");
    if (!CheckDimensions(picture->x1 - picture->x0, picture->y1 - picture->y0, error))
        return false;
    for (OPJ_UINT32 c = 0; c < picture->numcomps; ++c)
        if (picture->comps[c].prec == 0 || picture->comps[c].prec > 31)
            return fail("a component has an unsupported precision");
    if (!opj_decode(codec.get(), stream.get(), picture.get()) ||
        !opj_end_decompress(codec.get(), stream.get()))
        return fail("the pixel data cannot be decoded");
    const opj_image_comp_t& first = picture->comps[0];
    const OPJ_UINT32 width = first.w;
    const OPJ_UINT32 height = first.h;
    if (!CheckDimensions(width, height, error))
        return false;
    const bool colour = picture->numcomps >= 3;
    const OPJ_UINT32 used = colour ? 3 : 1;
    for (OPJ_UINT32 c = 0; c < used; ++c)
        if (picture->comps[c].data == nullptr || picture->comps[c].w == 0 || picture->comps[c].h == 0)
            return fail("a component has no pixels");
    if (!image.Create(width, height, colour ? 24 : 8, kind))
    {
        error = image.GetLastError();
        return false;
    }
    const bool ycc = colour && picture->color_space == OPJ_CLRSPC_SYCC;
    for (OPJ_UINT32 y = 0; y < height; ++y)
    {
        BYTE* row = image.GetBits(height - 1 - y);
        for (OPJ_UINT32 x = 0; x < width; ++x)
        {
            if (!colour)
            {
                row[x] = static_cast<BYTE>(Sample(first, x, y, width, height));
                continue;
            }
            int r = Sample(picture->comps[0], x, y, width, height);
            int g = Sample(picture->comps[1], x, y, width, height);
            int b = Sample(picture->comps[2], x, y, width, height);
            if (ycc)
            {
                const float luma = static_cast<float>(r);
                const float cb = static_cast<float>(g) - 128.0f;
                const float cr = static_cast<float>(b) - 128.0f;
                r = std::clamp(static_cast<int>(luma + 1.402f * cr + 0.5f), 0, 255);
                g = std::clamp(static_cast<int>(luma - 0.344136f * cb - 0.714136f * cr + 0.5f), 0, 255);
                b = std::clamp(static_cast<int>(luma + 1.772f * cb + 0.5f), 0, 255);
            }
            row[x * 3] = static_cast<BYTE>(b);
            row[x * 3 + 1] = static_cast<BYTE>(g);
            row[x * 3 + 2] = static_cast<BYTE>(r);
        }
    }
    return true;
}
} // namespace platform::image::detail
