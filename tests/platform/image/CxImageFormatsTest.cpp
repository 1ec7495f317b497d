#include "ImageTestSupport.h"

#include "platform/image/CxImage.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <zlib.h>

namespace
{
using image_test::MakeImage;
using image_test::MaxDifference;
using image_test::ReadBytes;
using image_test::Rgb;
using image_test::WriteBytes;
using testing_support::TempDir;

RGBQUAD Smooth(int x, int y)
{
    return Rgb(x * 6, y * 10, 200 - x * 4);
}

struct FormatCase
{
    const char* name;
    const char* file;
    /// ffmpeg options that turn the BMP original into `file`; empty for the original itself.
    const char* ffmpeg;
    DWORD type;
    DWORD bpp;
    bool grey;
    /// Largest channel difference from the original, -1 where the conversion changes the colours on purpose.
    int tolerance;
    /// Largest channel difference from ffmpeg's own decoding of the same file.
    int ffmpegTolerance = 0;
};

const FormatCase kFormats[] = {
    {"Bmp", "t.bmp", "", CXIMAGE_FORMAT_BMP, 24, false, 0},
    {"Bmp32Bits", "a.bmp", "-pix_fmt bgra", CXIMAGE_FORMAT_BMP, 24, false, 0},
    {"Bmp16BitMasks", "m.bmp", "-pix_fmt rgb565le", CXIMAGE_FORMAT_BMP, 24, false, -1, 1},
    {"BmpPalette", "p.bmp", "-pix_fmt pal8", CXIMAGE_FORMAT_BMP, 8, false, -1},
    {"BmpGrey", "g.bmp", "-pix_fmt gray", CXIMAGE_FORMAT_BMP, 8, true, -1},
    {"BmpOneBit", "1.bmp", "-pix_fmt monob", CXIMAGE_FORMAT_BMP, 8, true, -1},
    {"Png", "t.png", "", CXIMAGE_FORMAT_PNG, 24, false, 0},
    {"PngWithAlpha", "a.png", "-pix_fmt rgba", CXIMAGE_FORMAT_PNG, 24, false, 0},
    {"Png16BitsPerChannel", "w.png", "-pix_fmt rgb48be", CXIMAGE_FORMAT_PNG, 24, false, 1, 1},
    {"PngGrey", "g.png", "-pix_fmt gray", CXIMAGE_FORMAT_PNG, 8, true, -1},
    {"PngPalette", "p.png", "-pix_fmt pal8", CXIMAGE_FORMAT_PNG, 8, false, -1},
    {"Tiff", "t.tif", "", CXIMAGE_FORMAT_TIF, 24, false, 0},
    {"TiffGrey", "g.tif", "-pix_fmt gray", CXIMAGE_FORMAT_TIF, 8, true, -1},
    {"Jpeg", "t.jpg", "-q:v 2 -pix_fmt yuvj444p", CXIMAGE_FORMAT_JPG, 24, false, 12, 4},
    {"Jpeg2000File", "t.jp2", "-c:v libopenjpeg -numresolution 3 -format jp2", CXIMAGE_FORMAT_JP2, 24, false,
     2},
    {"Jpeg2000CodeStream", "t.j2k", "-c:v libopenjpeg -numresolution 3 -format j2k", CXIMAGE_FORMAT_JPC, 24,
     false, 2},
    {"Jpeg2000Grey", "g.jp2", "-c:v libopenjpeg -numresolution 3 -pix_fmt gray", CXIMAGE_FORMAT_JP2, 8, true,
     -1},
    {"Gif", "t.gif", "", CXIMAGE_FORMAT_GIF, 8, false, -1},
};

void PrintTo(const FormatCase& c, std::ostream* os)
{
    *os << c.name;
}

// Fixtures are made on demand from one small original, by our BMP writer and the real ffmpeg.
class Fixtures
{
public:
    Fixtures()
    {
        m_original = MakeImage(37, 23, Smooth);
        m_original.Save((m_dir / "t.bmp").c_str(), CXIMAGE_FORMAT_BMP);
    }

    std::filesystem::path Get(const FormatCase& format)
    {
        const auto path = m_dir / format.file;
        if (!std::filesystem::exists(path))
        {
            int status = 0;
            image_test::Run("ffmpeg -nostdin -v error -y -i '" + (m_dir / "t.bmp").string() + "' " +
                                format.ffmpeg + " '" + path.string() + "' 2>&1",
                            &status);
            EXPECT_EQ(status, 0) << "ffmpeg could not make " << format.file;
        }
        return path;
    }

    const CxImage& Original() const { return m_original; }
    const TempDir& Dir() const { return m_dir; }

private:
    TempDir m_dir;
    CxImage m_original;
};

class CxImageFormatTest : public ::testing::TestWithParam<FormatCase>
{
protected:
    Fixtures m_fixtures;
};

TEST_P(CxImageFormatTest, LoadsTypeSizeAndDepth)
{
    const FormatCase& format = GetParam();
    const std::string path = m_fixtures.Get(format).string();
    // As the file list does: the format found from the content.
    CxImage found(path.c_str(), CXIMAGE_FORMAT_UNKNOWN);
    ASSERT_TRUE(found.IsValid()) << found.GetLastError();
    EXPECT_EQ(found.GetType(), format.type);
    EXPECT_EQ(found.GetWidth(), 37u);
    EXPECT_EQ(found.GetHeight(), 23u);
    EXPECT_EQ(found.GetBpp(), format.bpp);
    EXPECT_EQ(found.IsGrayScale(), format.grey);
    if (format.tolerance >= 0)
    {
        EXPECT_LE(MaxDifference(found, m_fixtures.Original()), format.tolerance);
    }
    const std::vector<CxImage> reference = image_test::DecodeWithFfmpeg(path, 37, 23);
    ASSERT_FALSE(reference.empty());
    EXPECT_LE(MaxDifference(found, reference.front()), format.ffmpegTolerance);

    // As the e-mail copy does: the format named by the extension.
    CxImage named(path.c_str(), format.type);
    ASSERT_TRUE(named.IsValid()) << named.GetLastError();
    EXPECT_EQ(MaxDifference(found, named), 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, CxImageFormatTest, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CxImageFormatsTest, ContentOfAnotherFormatThanNamedIsRefused)
{
    Fixtures fixtures;
    const std::string png = fixtures.Get(kFormats[1]).string();
    CxImage image(png.c_str(), CXIMAGE_FORMAT_JPG);
    EXPECT_FALSE(image.IsValid());
    EXPECT_STRNE(image.GetLastError(), "");

    for (DWORD unsupported : {CXIMAGE_FORMAT_ICO, CXIMAGE_FORMAT_TGA, CXIMAGE_FORMAT_PCX, CXIMAGE_FORMAT_RAS})
    {
        CxImage other(png.c_str(), unsupported);
        EXPECT_FALSE(other.IsValid());
        EXPECT_STRNE(other.GetLastError(), "");
    }
    CxImage missing((fixtures.Dir() / "missing.png").c_str(), CXIMAGE_FORMAT_UNKNOWN);
    EXPECT_FALSE(missing.IsValid());
    EXPECT_STRNE(missing.GetLastError(), "");
}

struct CutCase
{
    const FormatCase* format;
    int percent;
};

void PrintTo(const CutCase& c, std::ostream* os)
{
    *os << c.format->name << " cut at " << c.percent << "%";
}

class CxImageTruncatedTest : public ::testing::TestWithParam<CutCase>
{
protected:
    Fixtures m_fixtures;
};

TEST_P(CxImageTruncatedTest, TruncatedFileIsRefused)
{
    const CutCase& cut = GetParam();
    std::vector<BYTE> bytes = ReadBytes(m_fixtures.Get(*cut.format));
    ASSERT_GT(bytes.size(), 100u);
    bytes.resize(bytes.size() * static_cast<std::size_t>(cut.percent) / 100);
    for (DWORD type : {cut.format->type, CXIMAGE_FORMAT_UNKNOWN})
    {
        CxImage image;
        EXPECT_FALSE(image.Decode(bytes.data(), static_cast<DWORD>(bytes.size()), type));
        EXPECT_FALSE(image.IsValid());
        EXPECT_STRNE(image.GetLastError(), "");
    }
}

std::vector<CutCase> Cuts()
{
    std::vector<CutCase> cuts;
    for (const char* name : {"Bmp", "Png", "Tiff", "Jpeg", "Jpeg2000File", "Jpeg2000CodeStream", "Gif"})
        for (int percent : {10, 50, 90})
            for (const FormatCase& format : kFormats)
                if (std::strcmp(format.name, name) == 0)
                    cuts.push_back({&format, percent});
    return cuts;
}

INSTANTIATE_TEST_SUITE_P(Cuts, CxImageTruncatedTest, ::testing::ValuesIn(Cuts()),
                         [](const auto& info) {
                             return std::string(info.param.format->name) + "At" +
                                    std::to_string(info.param.percent) + "Percent";
                         });

class CxImageDamageTest : public ::testing::TestWithParam<FormatCase>
{
protected:
    Fixtures m_fixtures;
};

TEST_P(CxImageDamageTest, DamagedBytesGiveAPictureOrAClearError)
{
    const std::vector<BYTE> original = ReadBytes(m_fixtures.Get(GetParam()));
    ASSERT_FALSE(original.empty());
    std::mt19937 random(5);
    for (int round = 0; round < 300; ++round)
    {
        std::vector<BYTE> bytes = original;
        for (int n = 1 + static_cast<int>(random() % 8); n > 0; --n)
            bytes[random() % bytes.size()] ^= static_cast<BYTE>(1 + random() % 255);
        if (round % 4 == 0)
            bytes.resize(1 + random() % bytes.size());
        CxImage image;
        if (image.Decode(bytes.data(), static_cast<DWORD>(bytes.size()), GetParam().type))
        {
            EXPECT_LE(static_cast<std::uint64_t>(image.GetWidth()) * image.GetHeight(),
                      platform::image::MaxImagePixels);
            EXPECT_TRUE(image.GetBpp() == 8 || image.GetBpp() == 24);
            EXPECT_TRUE(image.Resample(5, 5, 2));
        }
        else
        {
            EXPECT_FALSE(image.IsValid());
            EXPECT_STRNE(image.GetLastError(), "");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, CxImageDamageTest, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CxImageFormatsTest, GarbageAfterEachSignatureIsRefused)
{
    std::mt19937 random(11);
    const std::vector<std::pair<std::vector<BYTE>, DWORD>> starts = {
        {{'B', 'M'}, CXIMAGE_FORMAT_BMP},
        {{0xFF, 0xD8, 0xFF}, CXIMAGE_FORMAT_JPG},
        {{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, CXIMAGE_FORMAT_PNG},
        {{'G', 'I', 'F', '8', '9', 'a'}, CXIMAGE_FORMAT_GIF},
        {{'I', 'I', 42, 0}, CXIMAGE_FORMAT_TIF},
        {{0, 0, 0, 0x0C, 'j', 'P', ' ', ' '}, CXIMAGE_FORMAT_JP2},
        {{0xFF, 0x4F, 0xFF, 0x51}, CXIMAGE_FORMAT_JPC},
        {{}, CXIMAGE_FORMAT_UNKNOWN},
    };
    for (int round = 0; round < 20; ++round)
        for (const auto& [start, type] : starts)
        {
            std::vector<BYTE> bytes = start;
            const std::size_t length = 1 + random() % 3000;
            while (bytes.size() < length)
                bytes.push_back(static_cast<BYTE>(random()));
            CxImage image;
            EXPECT_FALSE(image.Decode(bytes.data(), static_cast<DWORD>(bytes.size()), type))
                << "type " << type;
            EXPECT_STRNE(image.GetLastError(), "");
        }
    CxImage empty;
    EXPECT_FALSE(empty.Decode(nullptr, 0, CXIMAGE_FORMAT_BMP));
    EXPECT_STRNE(empty.GetLastError(), "");
}

// Little-endian writers for hand-made headers.
void Put16(std::vector<BYTE>& out, unsigned v)
{
    out.push_back(static_cast<BYTE>(v));
    out.push_back(static_cast<BYTE>(v >> 8));
}
void Put32(std::vector<BYTE>& out, std::uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
void PutBig32(std::vector<BYTE>& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<BYTE>(v >> shift));
}

std::vector<BYTE> Bitmap(std::int32_t width, std::int32_t height, unsigned bpp, std::uint32_t colours = 0,
                         std::uint32_t headerSize = 40, bool fileHeader = true, std::size_t pixelBytes = 64)
{
    std::vector<BYTE> out;
    if (fileHeader)
    {
        out = {'B', 'M'};
        Put32(out, 0);
        Put32(out, 0);
        Put32(out, 0);
    }
    Put32(out, headerSize);
    Put32(out, static_cast<std::uint32_t>(width));
    Put32(out, static_cast<std::uint32_t>(height));
    Put16(out, 1);
    Put16(out, bpp);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, colours);
    Put32(out, 0);
    out.resize(out.size() + pixelBytes, 0x55);
    return out;
}

std::vector<BYTE> PngWithSize(std::uint32_t width, std::uint32_t height)
{
    std::vector<BYTE> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<BYTE> chunk = {'I', 'H', 'D', 'R'};
    PutBig32(chunk, width);
    PutBig32(chunk, height);
    chunk.insert(chunk.end(), {8, 2, 0, 0, 0});
    PutBig32(out, 13);
    out.insert(out.end(), chunk.begin(), chunk.end());
    PutBig32(out, static_cast<std::uint32_t>(crc32(0, chunk.data(), static_cast<uInt>(chunk.size()))));
    // An empty IDAT ends the header chunks, so the size is judged before any pixels are looked for.
    PutBig32(out, 0);
    const BYTE data[] = {'I', 'D', 'A', 'T'};
    out.insert(out.end(), data, data + 4);
    PutBig32(out, static_cast<std::uint32_t>(crc32(0, data, 4)));
    PutBig32(out, 0);
    const BYTE end[] = {'I', 'E', 'N', 'D'};
    out.insert(out.end(), end, end + 4);
    PutBig32(out, static_cast<std::uint32_t>(crc32(0, end, 4)));
    return out;
}

std::vector<BYTE> GifWithSize(unsigned width, unsigned height)
{
    std::vector<BYTE> out = {'G', 'I', 'F', '8', '9', 'a'};
    Put16(out, width);
    Put16(out, height);
    out.insert(out.end(), {0x80, 0, 0, 0, 0, 0, 255, 255, 255, ','});
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, width);
    Put16(out, height);
    out.insert(out.end(), {0, 2, 2, 0x4C, 0x01, 0, ';'});
    return out;
}

std::vector<BYTE> TiffWithSize(std::uint32_t width, std::uint32_t height, std::size_t fileSize = 216)
{
    std::vector<BYTE> out = {'I', 'I', 42, 0};
    Put32(out, 8);
    const std::pair<unsigned, std::uint32_t> entries[] = {{256, width}, {257, height}, {258, 8},
                                                          {259, 1},     {262, 1},      {273, 200},
                                                          {277, 1},     {278, height}, {279, 16}};
    Put16(out, 9);
    for (const auto& [tag, value] : entries)
    {
        const bool isShort = tag == 258 || tag == 259 || tag == 262 || tag == 277;
        Put16(out, tag);
        Put16(out, isShort ? 3 : 4);
        Put32(out, 1);
        Put32(out, value);
    }
    Put32(out, 0);
    // The 16 bytes of pixels sit at 200; a shorter file cuts them off.
    out.resize(fileSize, 0x80);
    return out;
}

// Sets the size fields of the first marker `marker` (JPEG SOF0 or JPEG 2000 SIZ) of a real file.
std::vector<BYTE> Patched(std::vector<BYTE> bytes, BYTE marker, std::uint32_t width, std::uint32_t height)
{
    for (std::size_t i = 0; i + 16 < bytes.size(); ++i)
    {
        if (bytes[i] != 0xFF || bytes[i + 1] != marker)
            continue;
        if (marker == 0xC0)
        {
            bytes[i + 5] = static_cast<BYTE>(height >> 8);
            bytes[i + 6] = static_cast<BYTE>(height);
            bytes[i + 7] = static_cast<BYTE>(width >> 8);
            bytes[i + 8] = static_cast<BYTE>(width);
        }
        else
        {
            for (int k = 0; k < 4; ++k)
            {
                bytes[i + 6 + k] = static_cast<BYTE>(width >> (24 - 8 * k));
                bytes[i + 10 + k] = static_cast<BYTE>(height >> (24 - 8 * k));
            }
        }
        return bytes;
    }
    ADD_FAILURE() << "marker not found";
    return bytes;
}

struct HostileCase
{
    const char* name;
    std::function<std::vector<BYTE>(Fixtures&)> make;
    DWORD type;
    /// A piece of the expected error, or null when any clear error will do.
    const char* error;
};

void PrintTo(const HostileCase& c, std::ostream* os)
{
    *os << c.name;
}

class CxImageHostileTest : public ::testing::TestWithParam<HostileCase>
{
protected:
    Fixtures m_fixtures;
};

TEST_P(CxImageHostileTest, HeaderIsRefusedBeforeAnyPixelMemory)
{
    const std::vector<BYTE> bytes = GetParam().make(m_fixtures);
    CxImage image;
    EXPECT_FALSE(image.Decode(bytes.data(), static_cast<DWORD>(bytes.size()), GetParam().type));
    EXPECT_FALSE(image.IsValid());
    const std::string error = image.GetLastError();
    EXPECT_FALSE(error.empty());
    if (GetParam().error)
    {
        EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
    }
}

const FormatCase& Format(const char* name)
{
    for (const FormatCase& format : kFormats)
        if (std::strcmp(format.name, name) == 0)
            return format;
    throw std::runtime_error(name);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, CxImageHostileTest,
    ::testing::Values(
        HostileCase{"BmpHugeSize", [](Fixtures&) { return Bitmap(30000, 30000, 24); }, CXIMAGE_FORMAT_BMP,
                    "too large"},
        HostileCase{"BmpTooWide", [](Fixtures&) { return Bitmap(1 << 30, 1, 24); }, CXIMAGE_FORMAT_BMP,
                    "too large"},
        HostileCase{"BmpZeroWidth", [](Fixtures&) { return Bitmap(0, 10, 24); }, CXIMAGE_FORMAT_BMP, nullptr},
        HostileCase{"BmpZeroHeight", [](Fixtures&) { return Bitmap(10, 0, 24); }, CXIMAGE_FORMAT_BMP,
                    nullptr},
        HostileCase{"BmpNegativeWidth", [](Fixtures&) { return Bitmap(-10, 10, 24); }, CXIMAGE_FORMAT_BMP,
                    nullptr},
        HostileCase{"BmpLowestHeight", [](Fixtures&) { return Bitmap(10, INT32_MIN, 24); },
                    CXIMAGE_FORMAT_BMP, nullptr},
        HostileCase{"BmpOddDepth", [](Fixtures&) { return Bitmap(4, 4, 7); }, CXIMAGE_FORMAT_BMP, nullptr},
        HostileCase{"BmpColourTableTooLong", [](Fixtures&) { return Bitmap(4, 4, 8, 1000); },
                    CXIMAGE_FORMAT_BMP, nullptr},
        HostileCase{"BmpHeaderLongerThanFile", [](Fixtures&) { return Bitmap(4, 4, 24, 0, 0x7FFFFFFF); },
                    CXIMAGE_FORMAT_BMP, nullptr},
        HostileCase{"DibPixelsTruncated", [](Fixtures&) { return Bitmap(640, 480, 32, 0, 40, false, 1000); },
                    CXIMAGE_FORMAT_BMP, "truncated"},
        HostileCase{"DibHeaderTruncated",
                    [](Fixtures&)
                    {
                        auto b = Bitmap(4, 4, 24, 0, 40, false, 0);
                        b.resize(20);
                        return b;
                    },
                    CXIMAGE_FORMAT_BMP, "truncated"},
        HostileCase{"PngHugeSize", [](Fixtures&) { return PngWithSize(30000, 30000); }, CXIMAGE_FORMAT_PNG,
                    "too large"},
        HostileCase{"PngBeyondTheLimit", [](Fixtures&) { return PngWithSize(1000000, 10); },
                    CXIMAGE_FORMAT_PNG, nullptr},
        HostileCase{"PngWithoutPixels", [](Fixtures&) { return PngWithSize(10, 10); }, CXIMAGE_FORMAT_PNG,
                    nullptr},
        HostileCase{"GifHugeScreen", [](Fixtures&) { return GifWithSize(65535, 65535); }, CXIMAGE_FORMAT_GIF,
                    "too large"},
        HostileCase{"TiffHugeSize", [](Fixtures&) { return TiffWithSize(100000, 100000); },
                    CXIMAGE_FORMAT_TIF, "too large"},
        HostileCase{"TiffStripBeyondTheFile", [](Fixtures&) { return TiffWithSize(4, 4, 208); },
                    CXIMAGE_FORMAT_TIF, nullptr},
        HostileCase{"JpegHugeSize",
                    [](Fixtures& f) { return Patched(ReadBytes(f.Get(Format("Jpeg"))), 0xC0, 60000, 60000); },
                    CXIMAGE_FORMAT_JPG, "too large"},
        HostileCase{"Jpeg2000HugeSize",
                    [](Fixtures& f)
                    { return Patched(ReadBytes(f.Get(Format("Jpeg2000CodeStream"))), 0x51, 100000, 100000); },
                    CXIMAGE_FORMAT_JPC, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });
} // namespace
