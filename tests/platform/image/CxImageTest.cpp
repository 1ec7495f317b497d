#include "platform/image/CxImage.h"

#include "ImageTestSupport.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <random>
#include <sys/resource.h>

namespace
{
using image_test::MakeImage;
using image_test::MakePackedDib;
using image_test::MaxDifference;
using image_test::PixelFromTop;
using image_test::Rgb;
using testing_support::ReadFile;
using testing_support::TempDir;

bool Same(RGBQUAD a, RGBQUAD b)
{
    return a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue;
}

RGBQUAD Pattern(int x, int y)
{
    return Rgb(x * 40, y * 100, 200 - x * 30);
}

RGBQUAD Gradient(int x, int y)
{
    return Rgb(x * 255 / 639, y * 255 / 479, 77);
}

struct DibCase
{
    const char* name;
    int bpp;
    bool topDown;
};

void PrintTo(const DibCase& c, std::ostream* os)
{
    *os << c.name;
}

class CxImageDibTest : public ::testing::TestWithParam<DibCase>
{
};

TEST_P(CxImageDibTest, DecodesTheRenderersFrameUpright)
{
    // An odd width makes the rows padded; the block carries spare bytes at its end, as allocators round up.
    std::vector<BYTE> dib = MakePackedDib(5, 3, GetParam().bpp, GetParam().topDown, Pattern);
    dib.resize(dib.size() + 100, 0xEE);
    CxMemFile file(dib.data(), static_cast<DWORD>(dib.size()));
    CxImage image(CXIMAGE_FORMAT_UNKNOWN);
    ASSERT_TRUE(image.Decode(&file, CXIMAGE_FORMAT_BMP)) << image.GetLastError();
    EXPECT_EQ(image.GetWidth(), 5u);
    EXPECT_EQ(image.GetHeight(), 3u);
    EXPECT_EQ(image.GetBpp(), 24u);
    EXPECT_EQ(image.GetType(), CXIMAGE_FORMAT_BMP);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_TRUE(Same(PixelFromTop(image, x, y), Pattern(x, y))) << "at " << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Layouts, CxImageDibTest,
                         ::testing::Values(DibCase{"BottomUp24", 24, false}, DibCase{"TopDown24", 24, true},
                                           DibCase{"BottomUp32", 32, false}, DibCase{"TopDown32", 32, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PackedDibSizeTest, CountsHeaderColoursMasksAndRowsOnly)
{
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = 5;
    header.biHeight = -3;
    header.biPlanes = 1;
    header.biBitCount = 24;
    EXPECT_EQ(platform::image::PackedDibSize(header), 40u + 16u * 3u);
    header.biBitCount = 32;
    header.biCompression = BI_BITFIELDS;
    EXPECT_EQ(platform::image::PackedDibSize(header), 40u + 12u + 20u * 3u);
    header.biBitCount = 8;
    header.biCompression = BI_RGB;
    EXPECT_EQ(platform::image::PackedDibSize(header), 40u + 1024u + 8u * 3u);
    header.biClrUsed = 2;
    EXPECT_EQ(platform::image::PackedDibSize(header), 40u + 8u + 8u * 3u);
    EXPECT_EQ(platform::image::PackedDibSize(header, 50), 0u);

    header.biClrUsed = 300;
    EXPECT_EQ(platform::image::PackedDibSize(header), 0u);
    header.biClrUsed = 0;
    header.biBitCount = 7;
    EXPECT_EQ(platform::image::PackedDibSize(header), 0u);
    header.biBitCount = 24;
    header.biWidth = 0;
    EXPECT_EQ(platform::image::PackedDibSize(header), 0u);
    header.biWidth = 5;
    header.biHeight = INT32_MIN;
    EXPECT_EQ(platform::image::PackedDibSize(header), 0u);
    header.biHeight = 3;
    header.biSize = 0x7FFFFFFF;
    EXPECT_EQ(platform::image::PackedDibSize(header), 0u);
}

TEST(CxImageTest, BmpSaveAndLoadAreExact)
{
    TempDir dir;
    CxImage colour = MakeImage(7, 5, Pattern);
    const std::string path = (dir / "colour.bmp").string();
    ASSERT_TRUE(colour.Save(path.c_str(), CXIMAGE_FORMAT_BMP));
    EXPECT_EQ(std::filesystem::file_size(path), 14u + 40u + 24u * 5u);
    CxImage loaded(path.c_str(), CXIMAGE_FORMAT_UNKNOWN);
    ASSERT_TRUE(loaded.IsValid()) << loaded.GetLastError();
    EXPECT_EQ(loaded.GetType(), CXIMAGE_FORMAT_BMP);
    EXPECT_EQ(loaded.GetBpp(), 24u);
    EXPECT_EQ(MaxDifference(colour, loaded), 0);

    CxImage indexed;
    ASSERT_NE(indexed.Create(3, 2, 8), nullptr);
    const RGBQUAD table[3] = {Rgb(255, 0, 0), Rgb(0, 255, 0), Rgb(10, 20, 30)};
    ASSERT_TRUE(indexed.SetPalette(table, 3));
    for (DWORD y = 0; y < 2; ++y)
        for (DWORD x = 0; x < 3; ++x)
            indexed.GetBits(y)[x] = static_cast<BYTE>((x + y) % 3);
    const std::string indexedPath = (dir / "indexed.bmp").string();
    ASSERT_TRUE(indexed.Save(indexedPath.c_str(), CXIMAGE_FORMAT_BMP));
    CxImage reloaded(indexedPath.c_str(), CXIMAGE_FORMAT_BMP);
    ASSERT_TRUE(reloaded.IsValid()) << reloaded.GetLastError();
    EXPECT_EQ(reloaded.GetBpp(), 8u);
    EXPECT_EQ(reloaded.GetNumColors(), 3u);
    EXPECT_EQ(MaxDifference(indexed, reloaded), 0);
}

TEST(CxImageTest, JpegAtQuality99ReloadsCloseToTheOriginal)
{
    TempDir dir;
    CxImage image = MakeImage(64, 48, [](int x, int y) { return Rgb(x * 4, y * 5, 255 - x * 2); });
    image.SetJpegQuality(99);
    const std::string fine = (dir / "fine.jpg").string();
    ASSERT_TRUE(image.Save(fine.c_str(), CXIMAGE_FORMAT_JPG)) << image.GetLastError();
    CxImage loaded(fine.c_str(), CXIMAGE_FORMAT_JPG);
    ASSERT_TRUE(loaded.IsValid()) << loaded.GetLastError();
    EXPECT_EQ(loaded.GetType(), CXIMAGE_FORMAT_JPG);
    EXPECT_EQ(loaded.GetWidth(), 64u);
    EXPECT_EQ(loaded.GetHeight(), 48u);
    EXPECT_EQ(loaded.GetBpp(), 24u);
    EXPECT_LE(MaxDifference(image, loaded), 12);

    // The quality setting reaches the encoder: a coarse copy of a detailed picture is much smaller.
    std::mt19937 random(7);
    CxImage noisy =
        MakeImage(64, 48, [&](int, int) { return Rgb(random() & 255, random() & 255, random() & 255); });
    const std::string noisyFine = (dir / "noisy99.jpg").string();
    const std::string noisyCoarse = (dir / "noisy30.jpg").string();
    noisy.SetJpegQuality(99);
    ASSERT_TRUE(noisy.Save(noisyFine.c_str(), CXIMAGE_FORMAT_JPG));
    noisy.SetJpegQuality(30);
    ASSERT_TRUE(noisy.Save(noisyCoarse.c_str(), CXIMAGE_FORMAT_JPG));
    EXPECT_LT(std::filesystem::file_size(noisyCoarse) * 2, std::filesystem::file_size(noisyFine));
}

TEST(CxImageTest, GreyImagesAreDetectedAndStayGreyInJpeg)
{
    CxImage grey;
    ASSERT_NE(grey.Create(16, 8, 8), nullptr);
    EXPECT_TRUE(grey.IsGrayScale());
    for (DWORD y = 0; y < 8; ++y)
        for (DWORD x = 0; x < 16; ++x)
            grey.GetBits(y)[x] = static_cast<BYTE>(x * 16);
    EXPECT_FALSE(MakeImage(4, 4, Pattern).IsGrayScale());
    CxImage tinted;
    tinted.Create(2, 2, 8);
    const RGBQUAD table[2] = {Rgb(0, 0, 0), Rgb(200, 10, 10)};
    tinted.SetPalette(table, 2);
    EXPECT_FALSE(tinted.IsGrayScale());

    TempDir dir;
    const std::string path = (dir / "grey.jpg").string();
    grey.SetJpegQuality(99);
    ASSERT_TRUE(grey.Save(path.c_str(), CXIMAGE_FORMAT_JPG));
    CxImage loaded(path.c_str(), CXIMAGE_FORMAT_JPG);
    ASSERT_TRUE(loaded.IsValid()) << loaded.GetLastError();
    EXPECT_EQ(loaded.GetBpp(), 8u);
    EXPECT_TRUE(loaded.IsGrayScale());
    EXPECT_LE(MaxDifference(grey, loaded), 3);
}

TEST(CxImageTest, DepthChangesKeepTheColours)
{
    CxImage few = MakeImage(9, 7,
                            [](int x, int y)
                            {
                                static const RGBQUAD colours[4] = {Rgb(255, 0, 0), Rgb(0, 128, 255),
                                                                   Rgb(250, 250, 250), Rgb(3, 60, 9)};
                                return colours[(x + 2 * y) % 4];
                            });
    CxImage own = few;
    ASSERT_TRUE(own.DecreaseBpp(8, false));
    EXPECT_EQ(own.GetBpp(), 8u);
    EXPECT_EQ(MaxDifference(few, own), 0);
    ASSERT_TRUE(own.IncreaseBpp(24));
    EXPECT_EQ(own.GetBpp(), 24u);
    EXPECT_EQ(MaxDifference(few, own), 0);

    EXPECT_FALSE(own.IncreaseBpp(32));
    EXPECT_FALSE(own.DecreaseBpp(4, false));
    EXPECT_STRNE(own.GetLastError(), "");
    EXPECT_EQ(own.GetBpp(), 24u);
}

TEST(CxImageTest, EveryColourGoesToTheNearestPaletteEntryAndTiesToTheLowestIndex)
{
    // A palette with duplicates and near neighbours, and colours all over the cube, cell edges included.
    std::mt19937 random(7);
    std::uniform_int_distribution<int> level(0, 255);
    std::vector<RGBQUAD> palette;
    for (int i = 0; i < 200; ++i)
        palette.push_back(Rgb(static_cast<BYTE>(level(random)), static_cast<BYTE>(level(random)),
                              static_cast<BYTE>(level(random))));
    for (int i = 0; i < 56; ++i)
        palette.push_back(palette[static_cast<std::size_t>(i * 3)]);
    const int side = 64;
    auto colourAt = [&](int x, int y)
    {
        const int n = y * side + x;
        if (n % 5 == 0)
            return Rgb(static_cast<BYTE>((n * 16) % 256), static_cast<BYTE>((n / 16 * 15) % 256),
                       static_cast<BYTE>((n * 31 + 15) % 256));
        return Rgb(static_cast<BYTE>(level(random)), static_cast<BYTE>(level(random)),
                   static_cast<BYTE>(level(random)));
    };
    const CxImage colours = MakeImage(side, side, colourAt);
    CxImage mapped = colours;
    ASSERT_TRUE(mapped.DecreaseBpp(8, false, palette.data(), static_cast<DWORD>(palette.size())));
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
        {
            const RGBQUAD c = PixelFromTop(colours, x, y);
            int best = INT32_MAX;
            std::size_t expected = 0;
            for (std::size_t i = 0; i < palette.size(); ++i)
            {
                const int dr = palette[i].rgbRed - c.rgbRed, dg = palette[i].rgbGreen - c.rgbGreen,
                          db = palette[i].rgbBlue - c.rgbBlue;
                const int d = dr * dr + dg * dg + db * db;
                if (d < best)
                {
                    best = d;
                    expected = i;
                }
            }
            // The index itself: of equal colours the first entry is taken.
            ASSERT_EQ(mapped.GetBits(static_cast<DWORD>(side - 1 - y))[x], expected) << x << "," << y;
        }
}

TEST(CxImageTest, ErrorDiffusionKeepsTheAverageColour)
{
    const CxImage flat = MakeImage(32, 32, [](int, int) { return Rgb(96, 96, 96); });
    const RGBQUAD blackAndWhite[2] = {Rgb(0, 0, 0), Rgb(255, 255, 255)};
    auto mean = [](const CxImage& image)
    {
        double sum = 0;
        for (DWORD y = 0; y < image.GetHeight(); ++y)
            for (DWORD x = 0; x < image.GetWidth(); ++x)
                sum += image.GetPixelColor(static_cast<long>(x), static_cast<long>(y)).rgbRed;
        return sum / (image.GetWidth() * image.GetHeight());
    };
    CxImage diffused = flat;
    ASSERT_TRUE(diffused.DecreaseBpp(8, true, blackAndWhite, 2));
    EXPECT_EQ(diffused.GetNumColors(), 2u);
    EXPECT_NEAR(mean(diffused), 96.0, 4.0);
    CxImage nearest = flat;
    ASSERT_TRUE(nearest.DecreaseBpp(8, false, blackAndWhite, 2));
    EXPECT_EQ(mean(nearest), 0.0);
}

TEST(CxImageTest, CopiesAreIndependent)
{
    CxImage original = MakeImage(4, 4, Pattern);
    std::vector<CxImage> frames{original, original};
    frames[0].SetPixelColor(0, 0, Rgb(1, 2, 3));
    EXPECT_TRUE(Same(original.GetPixelColor(0, 0), Pattern(0, 3)));
    EXPECT_TRUE(Same(frames[1].GetPixelColor(0, 0), Pattern(0, 3)));
}

// The expected value of a channel that runs 0..255 over `size` source pixels, at target pixel `i` of
// `target`.
double RampAt(int i, int size, int target)
{
    const double source = std::clamp((i + 0.5) * size / target - 0.5, 0.0, size - 1.0);
    return source * 255.0 / (size - 1);
}

TEST(CxImageTest, BicubicResampleFollowsAGradient)
{
    CxImage source = MakeImage(640, 480, Gradient);
    for (auto [width, height] : {std::pair{1280, 960}, std::pair{160, 120}})
    {
        CxImage scaled;
        ASSERT_TRUE(source.Resample(width, height, 2, &scaled)) << source.GetLastError();
        ASSERT_EQ(scaled.GetWidth(), static_cast<DWORD>(width));
        ASSERT_EQ(scaled.GetHeight(), static_cast<DWORD>(height));
        int worst = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
            {
                const RGBQUAD c = PixelFromTop(scaled, x, y);
                // The source ramp is quantised to whole steps, hence the allowance of two.
                worst = std::max({worst, static_cast<int>(std::abs(c.rgbRed - RampAt(x, 640, width))),
                                  static_cast<int>(std::abs(c.rgbGreen - RampAt(y, 480, height))),
                                  std::abs(c.rgbBlue - 77)});
            }
        EXPECT_LE(worst, 2) << width << "x" << height;
    }
    EXPECT_EQ(source.GetWidth(), 640u);

    CxImage inPlace = source;
    ASSERT_TRUE(inPlace.Resample(1280, 960, 2));
    EXPECT_EQ(inPlace.GetWidth(), 1280u);
    EXPECT_EQ(inPlace.GetBpp(), 24u);
}

TEST(CxImageTest, ResampleKeepsGreyImagesGreyAndWidensOtherPalettes)
{
    CxImage grey;
    grey.Create(8, 8, 8);
    ASSERT_TRUE(grey.Resample(16, 16, 2));
    EXPECT_EQ(grey.GetBpp(), 8u);
    EXPECT_TRUE(grey.IsGrayScale());

    CxImage indexed = MakeImage(8, 8, Pattern);
    ASSERT_TRUE(indexed.DecreaseBpp(8, false));
    ASSERT_TRUE(indexed.Resample(16, 16, 2));
    EXPECT_EQ(indexed.GetBpp(), 24u);
}

TEST(CxImageTest, QIShrinkAveragesEachBlock)
{
    CxImage blocks = MakeImage(4, 4,
                               [](int x, int y)
                               {
                                   if (x < 2 && y < 2)
                                       return Rgb(100, 0, 0);
                                   if (x >= 2 && y < 2)
                                       return Rgb(0, 200, 0);
                                   if (x < 2)
                                       return Rgb(0, 0, 50);
                                   return (x + y) % 2 ? Rgb(255, 255, 255) : Rgb(1, 1, 1);
                               });
    CxImage small;
    ASSERT_TRUE(blocks.QIShrink(2, 2, &small));
    EXPECT_TRUE(Same(PixelFromTop(small, 0, 0), Rgb(100, 0, 0)));
    EXPECT_TRUE(Same(PixelFromTop(small, 1, 0), Rgb(0, 200, 0)));
    EXPECT_TRUE(Same(PixelFromTop(small, 0, 1), Rgb(0, 0, 50)));
    EXPECT_TRUE(Same(PixelFromTop(small, 1, 1), Rgb(128, 128, 128)));

    CxImage photo = MakeImage(1000, 600, Gradient);
    ASSERT_TRUE(photo.QIShrink(640, 384));
    EXPECT_EQ(photo.GetWidth(), 640u);
    EXPECT_EQ(photo.GetHeight(), 384u);
}

struct ScaleCase
{
    const char* name;
    bool valid;
    bool shrink;
    long width;
    long height;
    int mode;
};

void PrintTo(const ScaleCase& c, std::ostream* os)
{
    *os << c.name;
}

class CxImageScaleFailureTest : public ::testing::TestWithParam<ScaleCase>
{
};

TEST_P(CxImageScaleFailureTest, FailsCleanlyAndLeavesTheImage)
{
    const ScaleCase& c = GetParam();
    CxImage image;
    if (c.valid)
        image = MakeImage(40, 30, Pattern);
    const bool ok = c.shrink ? image.QIShrink(c.width, c.height) : image.Resample(c.width, c.height, c.mode);
    EXPECT_FALSE(ok);
    EXPECT_STRNE(image.GetLastError(), "");
    EXPECT_EQ(image.IsValid(), c.valid);
    if (c.valid)
    {
        EXPECT_EQ(image.GetWidth(), 40u);
        EXPECT_EQ(image.GetHeight(), 30u);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CxImageScaleFailureTest,
                         ::testing::Values(ScaleCase{"ResampleEmptyImage", false, false, 10, 10, 2},
                                           ScaleCase{"ResampleToZeroWidth", true, false, 0, 10, 2},
                                           ScaleCase{"ResampleToNegativeHeight", true, false, 10, -5, 2},
                                           ScaleCase{"ResampleToAbsurdSize", true, false, 100000, 100000, 2},
                                           ScaleCase{"ResampleInAnotherMode", true, false, 10, 10, 1},
                                           ScaleCase{"ShrinkEmptyImage", false, true, 10, 10, 0},
                                           ScaleCase{"ShrinkToZeroSize", true, true, 0, 0, 0},
                                           ScaleCase{"ShrinkToALargerSize", true, true, 41, 30, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CxImageSaveTest, SaveIntoAMissingFolderFailsAndLeavesNothing)
{
    TempDir dir;
    CxImage image = MakeImage(8, 8, Pattern);
    const std::string path = (dir / "gone" / "photo.jpg").string();
    EXPECT_FALSE(image.Save(path.c_str(), CXIMAGE_FORMAT_JPG));
    EXPECT_STRNE(image.GetLastError(), "");
    EXPECT_FALSE(std::filesystem::exists(dir / "gone"));
    EXPECT_FALSE(image.Save((dir / "photo.png").c_str(), CXIMAGE_FORMAT_PNG));
    EXPECT_TRUE(image_test::OtherFiles(dir.Path(), {}).empty());
}

// Files may grow to 4 KiB only, as on a disk that fills up during the write.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

TEST(CxImageSaveTest, AFailedWriteLeavesNoFileAndKeepsTheOldOne)
{
    TempDir dir;
    const auto existing = dir.WriteFile("old.bmp", "previous photo");
    std::mt19937 random(3);
    CxImage noisy =
        MakeImage(200, 200, [&](int, int) { return Rgb(random() & 255, random() & 255, random() & 255); });
    {
        FileSizeLimit limit(4096);
        EXPECT_FALSE(noisy.Save(existing.c_str(), CXIMAGE_FORMAT_BMP));
        EXPECT_STRNE(noisy.GetLastError(), "");
        EXPECT_FALSE(noisy.Save((dir / "new.jpg").c_str(), CXIMAGE_FORMAT_JPG));
    }
    EXPECT_EQ(ReadFile(existing), "previous photo");
    EXPECT_EQ(image_test::OtherFiles(dir.Path(), {"old.bmp"}), std::vector<std::string>{});

    ASSERT_TRUE(noisy.Save(existing.c_str(), CXIMAGE_FORMAT_BMP)) << noisy.GetLastError();
    CxImage replaced(existing.c_str(), CXIMAGE_FORMAT_BMP);
    EXPECT_EQ(MaxDifference(noisy, replaced), 0);
    EXPECT_EQ(image_test::OtherFiles(dir.Path(), {"old.bmp"}), std::vector<std::string>{});
}

TEST(CxImageSaveTest, EncodingIntoAFullStreamFails)
{
    CxImage image = MakeImage(64, 64, Pattern);
    FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    EXPECT_FALSE(image.Encode(full, CXIMAGE_FORMAT_BMP));
    EXPECT_STRNE(image.GetLastError(), "");
    std::clearerr(full);
    EXPECT_FALSE(image.Encode(full, CXIMAGE_FORMAT_JPG));
    std::fclose(full);

    BYTE small[100];
    CxMemFile memory(small, sizeof small);
    EXPECT_FALSE(image.Encode(&memory, CXIMAGE_FORMAT_BMP));
    CxMemFile growing;
    EXPECT_TRUE(image.Encode(&growing, CXIMAGE_FORMAT_BMP));
    EXPECT_EQ(growing.Size(), 14u + image.GetSize());
}
} // namespace
