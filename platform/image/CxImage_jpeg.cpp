// JPEG through libjpeg-turbo. Its default error handler ends the process, so every call runs under a
// handler of ours that jumps back here; the frames between setjmp and the library hold no C++ objects
// that need destruction.
#include "Codecs.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jerror.h>
#include <memory>

namespace platform::image::detail
{
namespace
{
// Progressive files of many tiny scans cost time out of all proportion to their size.
constexpr int MaxScans = 1000;

struct ErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool truncated;
};

[[noreturn]] void OnError(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF)
        err->truncated = true;
}

void OnProgress(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor)
        return;
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > MaxScans)
    {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        std::snprintf(err->message, sizeof err->message, "The JPEG data has too many scans");
        std::longjmp(err->jump, 1);
    }
}

void InstallErrors(jpeg_error_mgr* pub, ErrorManager& err)
{
    jpeg_std_error(pub);
    pub->error_exit = OnError;
    pub->emit_message = OnMessage;
    err.message[0] = '\0';
    err.truncated = false;
}

struct DecodeState
{
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    jpeg_progress_mgr progress;
};

bool RunDecode(DecodeState& s, const BYTE* data, std::size_t size, CxImage& image, std::string& error)
{
    if (setjmp(s.err.jump))
    {
        jpeg_destroy_decompress(&s.cinfo);
        image.Destroy();
        error = std::string("The JPEG data is corrupt: ") + s.err.message;
        return false;
    }
    jpeg_create_decompress(&s.cinfo);
    s.progress.progress_monitor = OnProgress;
    s.cinfo.progress = &s.progress;
    jpeg_mem_src(&s.cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&s.cinfo, TRUE);
    if (!CheckDimensions(s.cinfo.image_width, s.cinfo.image_height, error))
    {
        jpeg_destroy_decompress(&s.cinfo);
        return false;
    }
    const bool grey = s.cinfo.jpeg_color_space == JCS_GRAYSCALE;
    const bool cmyk = s.cinfo.jpeg_color_space == JCS_CMYK || s.cinfo.jpeg_color_space == JCS_YCCK;
    s.cinfo.out_color_space = grey ? JCS_GRAYSCALE : (cmyk ? JCS_CMYK : JCS_EXT_BGR);
    jpeg_start_decompress(&s.cinfo);
    const JDIMENSION width = s.cinfo.output_width;
    const JDIMENSION height = s.cinfo.output_height;
    if (!image.Create(width, height, grey ? 8 : 24, CXIMAGE_FORMAT_JPG))
    {
        error = image.GetLastError();
        jpeg_destroy_decompress(&s.cinfo);
        return false;
    }
    JSAMPARRAY cmykRow = cmyk ? (*s.cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&s.cinfo),
                                                             JPOOL_IMAGE, width * 4, 1)
                              : nullptr;
    // Adobe writes CMYK inverted, as nearly every CMYK JPEG in the wild comes from its programs.
    const bool inverted = s.cinfo.saw_Adobe_marker;
    while (s.cinfo.output_scanline < height)
    {
        BYTE* row = image.GetBits(height - 1 - s.cinfo.output_scanline);
        if (!cmyk)
        {
            JSAMPROW rows[1] = {row};
            jpeg_read_scanlines(&s.cinfo, rows, 1);
            continue;
        }
        jpeg_read_scanlines(&s.cinfo, cmykRow, 1);
        for (JDIMENSION x = 0; x < width; ++x)
        {
            const BYTE* p = cmykRow[0] + x * 4;
            const unsigned k = inverted ? p[3] : 255u - p[3];
            for (int ch = 0; ch < 3; ++ch)
            {
                const unsigned c = inverted ? p[ch] : 255u - p[ch];
                row[x * 3 + (2 - ch)] = static_cast<BYTE>(c * k / 255u);
            }
        }
    }
    jpeg_finish_decompress(&s.cinfo);
    const bool truncated = s.err.truncated;
    jpeg_destroy_decompress(&s.cinfo);
    if (truncated)
    {
        image.Destroy();
        error = "The JPEG data is truncated";
        return false;
    }
    return true;
}

struct EncodeState
{
    jpeg_compress_struct cinfo;
    ErrorManager err;
    unsigned char* buffer = nullptr;
    unsigned long length = 0;
};

bool RunEncode(EncodeState& s, const CxImage& image, int quality, std::string& error)
{
    if (setjmp(s.err.jump))
    {
        jpeg_destroy_compress(&s.cinfo);
        error = std::string("The JPEG data could not be made: ") + s.err.message;
        return false;
    }
    jpeg_create_compress(&s.cinfo);
    jpeg_mem_dest(&s.cinfo, &s.buffer, &s.length);
    const bool grey = image.IsGrayScale();
    const JDIMENSION width = image.GetWidth();
    const JDIMENSION height = image.GetHeight();
    s.cinfo.image_width = width;
    s.cinfo.image_height = height;
    s.cinfo.input_components = grey ? 1 : 3;
    s.cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(&s.cinfo);
    jpeg_set_quality(&s.cinfo, quality, TRUE);
    jpeg_start_compress(&s.cinfo, TRUE);
    const bool direct = image.GetBpp() == 24;
    JSAMPARRAY scratch = direct ? nullptr
                                : (*s.cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&s.cinfo),
                                                               JPOOL_IMAGE, width * 3, 1);
    const RGBQUAD* palette = image.GetPalette();
    const DWORD colours = image.GetNumColors();
    while (s.cinfo.next_scanline < height)
    {
        const BYTE* src = image.GetBits(height - 1 - s.cinfo.next_scanline);
        JSAMPROW rows[1] = {const_cast<BYTE*>(src)};
        if (!direct)
        {
            for (JDIMENSION x = 0; x < width; ++x)
            {
                const RGBQUAD c = src[x] < colours ? palette[src[x]] : RGBQUAD{};
                if (grey)
                {
                    scratch[0][x] = c.rgbRed;
                }
                else
                {
                    scratch[0][x * 3] = c.rgbBlue;
                    scratch[0][x * 3 + 1] = c.rgbGreen;
                    scratch[0][x * 3 + 2] = c.rgbRed;
                }
            }
            rows[0] = scratch[0];
        }
        jpeg_write_scanlines(&s.cinfo, rows, 1);
    }
    jpeg_finish_compress(&s.cinfo);
    jpeg_destroy_compress(&s.cinfo);
    return true;
}
} // namespace

bool DecodeJpeg(const BYTE* data, std::size_t size, CxImage& image, std::string& error)
{
    DecodeState state;
    InstallErrors(&state.err.pub, state.err);
    state.cinfo.err = &state.err.pub;
    state.progress = {};
    return RunDecode(state, data, size, image, error);
}

bool EncodeJpeg(const CxImage& image, int quality, std::vector<BYTE>& out, std::string& error)
{
    if (!image.IsValid())
    {
        error = "The image is not valid";
        return false;
    }
    EncodeState state;
    InstallErrors(&state.err.pub, state.err);
    state.cinfo.err = &state.err.pub;
    const bool ok = RunEncode(state, image, quality, error);
    const std::unique_ptr<unsigned char, decltype(&std::free)> owned(state.buffer, &std::free);
    if (ok)
        out.insert(out.end(), state.buffer, state.buffer + state.length);
    return ok;
}
} // namespace platform::image::detail
