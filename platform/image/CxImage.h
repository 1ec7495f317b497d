#pragma once

#include "platform/image/CxMemFile.h"
#include "platform/image/Dib.h"
#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

/// Image format identifiers; the numbers are the ones the file-type tables of the program store.
constexpr DWORD CXIMAGE_FORMAT_UNKNOWN = 0;
constexpr DWORD CXIMAGE_FORMAT_BMP = 1;
constexpr DWORD CXIMAGE_FORMAT_GIF = 2;
constexpr DWORD CXIMAGE_FORMAT_JPG = 3;
constexpr DWORD CXIMAGE_FORMAT_PNG = 4;
constexpr DWORD CXIMAGE_FORMAT_ICO = 5;
constexpr DWORD CXIMAGE_FORMAT_TIF = 6;
constexpr DWORD CXIMAGE_FORMAT_TGA = 7;
constexpr DWORD CXIMAGE_FORMAT_PCX = 8;
constexpr DWORD CXIMAGE_FORMAT_WBMP = 9;
constexpr DWORD CXIMAGE_FORMAT_WMF = 10;
/// A JPEG 2000 file (.jp2); the decoder also accepts a bare code stream under this number.
constexpr DWORD CXIMAGE_FORMAT_JP2 = 11;
/// A JPEG 2000 code stream (.j2k, .jpc); the decoder also accepts a .jp2 file under this number.
constexpr DWORD CXIMAGE_FORMAT_JPC = 12;
constexpr DWORD CXIMAGE_FORMAT_PGX = 13;
constexpr DWORD CXIMAGE_FORMAT_PNM = 14;
constexpr DWORD CXIMAGE_FORMAT_RAS = 15;

namespace platform::image
{
/// Images wider or taller than this, or with more pixels than MaxImagePixels, are refused by every
/// decoder and operation before any pixel memory is taken, whatever a file header claims.
constexpr DWORD MaxImageDimension = 32768;
constexpr std::uint64_t MaxImagePixels = std::uint64_t{1} << 26;
/// Encoded inputs longer than this are refused before they are read.
constexpr std::size_t MaxEncodedBytes = std::size_t{512} << 20;
} // namespace platform::image

/// A raster image: decoding from BMP (also a packed DIB without file header), JPEG, PNG, TIFF, GIF (first
/// frame) and JPEG 2000; encoding to BMP, JPEG and GIF; depth changes, bicubic resampling and a quick
/// shrink.
///
/// Pixels are held as one packed device-independent bitmap (GetDIB): a BITMAPINFOHEADER, the colour
/// table, then the rows bottom-up, each padded to four bytes. Two depths exist: 24 bits (blue, green, red
/// bytes) and 8 bits (an index into a table of 1 to 256 colours; a greyscale image is an 8-bit image whose
/// table holds only greys). Decoders map every input to one of them: 1, 2 and 4-bit and greyscale inputs
/// become 8-bit, everything else (16 bits per channel, alpha, CMYK, YCC) 24-bit with alpha dropped, so
/// GetBpp reports 8 or 24. Pixel coordinates count from the bottom-left corner, as the rows are stored.
///
/// Failures are reported by result: false (or null) and a short English text in GetLastError. A failed
/// decode leaves the image empty (invalid); a failed conversion leaves it unchanged. Files are written to
/// a temporary file beside the target and renamed over it only once complete. An object is not
/// thread-safe; distinct objects may be used on distinct threads at once.
class PLATFORM_API CxImage
{
public:
    /// An empty (invalid) image; `imagetype` is the format reported by GetType until something is decoded.
    explicit CxImage(DWORD imagetype = CXIMAGE_FORMAT_UNKNOWN);
    /// Loads `filename` as Load does; check IsValid.
    CxImage(const char* filename, DWORD imagetype);
    CxImage(const CxImage& other);
    CxImage& operator=(const CxImage& other);
    CxImage(CxImage&& other) noexcept;
    CxImage& operator=(CxImage&& other) noexcept;
    ~CxImage();

    /// Makes a black image of `dwWidth` × `dwHeight` at 8 (with a grey colour table) or 24 bits per pixel
    /// and returns its pixel rows, or null (the image left as it was) for a size out of range or another
    /// depth.
    BYTE* Create(DWORD dwWidth, DWORD dwHeight, DWORD wBpp, DWORD imagetype = CXIMAGE_FORMAT_UNKNOWN);
    /// Empties the image; always true.
    bool Destroy();

    bool IsValid() const;
    DWORD GetWidth() const;
    DWORD GetHeight() const;
    /// 8 or 24, 0 when invalid.
    DWORD GetBpp() const;
    /// The format last decoded (found from the content when decoding as CXIMAGE_FORMAT_UNKNOWN), or the
    /// one given at construction or to Create.
    DWORD GetType() const;
    /// Bytes of one stored pixel row.
    DWORD GetEffWidth() const;
    /// Entries of the colour table; 0 for 24-bit images.
    DWORD GetNumColors() const;
    /// True for an 8-bit image whose colour table holds only greys.
    bool IsGrayScale() const;

    /// The pixel rows, from row `row` (0 = bottom) on; null when invalid or out of range.
    BYTE* GetBits(DWORD row = 0);
    const BYTE* GetBits(DWORD row = 0) const;
    /// The whole packed DIB (header, colour table, rows) and its length; null and 0 when invalid. The
    /// block belongs to the image and changes with it.
    const void* GetDIB() const;
    DWORD GetSize() const;
    /// The colour table of an 8-bit image (GetNumColors entries), else null.
    RGBQUAD* GetPalette();
    const RGBQUAD* GetPalette() const;
    /// Replaces the colour table of an 8-bit image with `nColors` (1 to 256) entries; indices of pixels
    /// past the new table then read as black. False for a 24-bit or invalid image.
    bool SetPalette(const RGBQUAD* pPal, DWORD nColors = 256);
    /// Gives an 8-bit image the 256-grey table.
    bool SetGrayPalette();

    /// The colour at (x, y), y counted from the bottom row; black outside the image.
    RGBQUAD GetPixelColor(long x, long y) const;
    /// Sets (x, y) to `c`, on an 8-bit image to the nearest colour of its table; false outside the image.
    bool SetPixelColor(long x, long y, RGBQUAD c);

    /// Raises an 8-bit image to 24 bits (true at once when already there). Only 24 is accepted.
    bool IncreaseBpp(DWORD nbit);
    /// Lowers the image to 8 bits against the colour table `ppal` (its first `clrimportant` entries, all
    /// 256 when 0), or against an octree table of its own colours when `ppal` is null, with Floyd-Steinberg
    /// error diffusion when `errordiffusion` is set and the nearest colour otherwise. Only 8 is accepted.
    bool DecreaseBpp(DWORD nbit, bool errordiffusion, const RGBQUAD* ppal = nullptr, DWORD clrimportant = 0);
    /// Scales to `newx` × `newy` with mode 2, bicubic interpolation (the kernel widened when shrinking, so
    /// nothing aliases); other modes are refused. The result goes to `iDst` when given, else replaces this
    /// image. A greyscale image stays 8-bit; another 8-bit image becomes 24-bit, as blended colours have no
    /// entry in its table.
    bool Resample(long newx, long newy, int mode = 2, CxImage* iDst = nullptr);
    /// Shrinks to `newx` × `newy` (each at most the current size) by averaging the block of source pixels
    /// that falls on each target pixel. Result and depth as for Resample.
    bool QIShrink(long newx, long newy, CxImage* iDst = nullptr);

    /// Display time of the image as an animation frame, in hundredths of a second.
    void SetFrameDelay(DWORD d);
    DWORD GetFrameDelay() const;
    /// JPEG quality for the next JPEG encoding, 1 to 100 (values outside are clamped); 90 by default.
    void SetJpegQuality(BYTE q);
    BYTE GetJpegQuality() const;

    /// Reads and decodes `filename`; `imagetype` CXIMAGE_FORMAT_UNKNOWN finds the format from the content.
    bool Load(const char* filename, DWORD imagetype = CXIMAGE_FORMAT_UNKNOWN);
    /// Decodes the rest of the stream as `imagetype`.
    bool Decode(CxFile* hFile, DWORD imagetype);
    bool Decode(FILE* hFile, DWORD imagetype);
    bool Decode(const BYTE* buffer, DWORD size, DWORD imagetype);
    /// Encodes as `imagetype` (BMP, JPG or GIF) into `filename` through a temporary file in the same
    /// folder renamed over it at the end; on failure nothing is left under either name and an existing
    /// file of that name is untouched.
    bool Save(const char* filename, DWORD imagetype);
    /// Encodes into a stream; false when the encoding or any write (including the final flush) failed.
    bool Encode(CxFile* hFile, DWORD imagetype);
    bool Encode(FILE* hFile, DWORD imagetype);

    /// Why the last failing call failed; empty after success.
    const char* GetLastError() const;

protected:
    bool Fail(const std::string& text) const;
    void ClearError() const;

private:
    void WriteHeader(DWORD width, DWORD height, DWORD bpp, DWORD colours);
    bool DecodeBytes(const BYTE* data, std::size_t size, DWORD imagetype);
    bool EncodeBytes(std::vector<BYTE>& out, DWORD imagetype);
    bool ScaleCommon(long newx, long newy, CxImage* iDst, bool shrink);

    std::vector<BYTE> m_dib;
    DWORD m_type;
    DWORD m_frameDelay = 0;
    BYTE m_jpegQuality = 90;
    mutable std::string m_lastError;
};
