#include "platform/image/CxImageGIF.h"

#include "ImageTestSupport.h"

#include "platform/image/Quantizer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace
{
using image_test::DecodeWithFfmpeg;
using image_test::MakeImage;
using image_test::MaxDifference;
using image_test::ReadBytes;
using image_test::Rgb;
using image_test::Run;
using testing_support::TempDir;

const RGBQUAD kColours[6] = {Rgb(255, 0, 0),   Rgb(0, 200, 0), Rgb(20, 40, 250),
                             Rgb(250, 250, 0), Rgb(0, 0, 0),   Rgb(255, 255, 255)};

// A bar of six colours that moves right by eight pixels per frame.
CxImage BarFrame(int frame, int width = 64, int height = 48)
{
    return MakeImage(width, height,
                     [=](int x, int y) { return kColours[((x + 8 * frame) / 8 + y / 16) % 6]; });
}

CxImage PhotoFrame(int frame)
{
    return MakeImage(640, 480,
                     [=](int x, int y)
                     {
                         const double d = std::hypot(x - 320.0 - frame * 10, y - 240.0);
                         return Rgb(static_cast<int>(127 + 127 * std::sin(d / 40)), x * 255 / 639,
                                    y * 255 / 479);
                     });
}

struct Probe
{
    int frames = 0;
    int width = 0;
    int height = 0;
    std::vector<int> durations; // hundredths of a second
};

Probe ProbeGif(const std::string& path)
{
    Probe probe;
    std::istringstream stream(Run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                  "stream=nb_read_frames,width,height -of default=nw=1 '" +
                                  path + "'"));
    std::string line;
    while (std::getline(stream, line))
    {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const int value = std::atoi(line.c_str() + eq + 1);
        if (key == "nb_read_frames")
            probe.frames = value;
        else if (key == "width")
            probe.width = value;
        else if (key == "height")
            probe.height = value;
    }
    std::istringstream packets(
        Run("ffprobe -v error -select_streams v:0 -show_entries packet=duration -of csv=p=0 '" + path + "'"));
    while (std::getline(packets, line))
        if (!line.empty())
            probe.durations.push_back(std::atoi(line.c_str()));
    return probe;
}

double MeanDifference(const CxImage& a, const CxImage& b)
{
    double sum = 0;
    for (DWORD y = 0; y < a.GetHeight(); ++y)
        for (DWORD x = 0; x < a.GetWidth(); ++x)
        {
            const RGBQUAD p = a.GetPixelColor(static_cast<long>(x), static_cast<long>(y));
            const RGBQUAD q = b.GetPixelColor(static_cast<long>(x), static_cast<long>(y));
            sum += std::abs(p.rgbRed - q.rgbRed) + std::abs(p.rgbGreen - q.rgbGreen) +
                   std::abs(p.rgbBlue - q.rgbBlue);
        }
    return sum / (3.0 * a.GetWidth() * a.GetHeight());
}

bool HasEndlessLoopBlock(const std::vector<BYTE>& bytes)
{
    const std::string text(bytes.begin(), bytes.end());
    const std::string block = std::string("NETSCAPE2.0") + std::string("\x03\x01\x00\x00\x00", 5);
    return text.find(block) != std::string::npos;
}

// The conversion as the animated-GIF task runs it: one palette from the first frame, every frame
// diffused onto it, the encoder looping for ever with the frame delay of the burst rate.
bool EncodeLikeTheGifTask(std::vector<CxImage> frames, int imagesPerSecond, const std::string& path)
{
    CQuantizer quantizer(256, 8);
    if (!quantizer.ProcessImage(frames.front().GetDIB()))
        return false;
    RGBQUAD palette[256];
    quantizer.SetColorTable(palette);
    std::vector<CxImage*> pointers;
    for (CxImage& frame : frames)
    {
        if (!frame.DecreaseBpp(8, true, palette))
            return false;
        if (frame.GetWidth() > 640 && frame.GetHeight() > 480 && !frame.Resample(640, 480, 2))
            return false;
        pointers.push_back(&frame);
    }
    CxImageGIF gif;
    gif.SetLoops(0);
    gif.SetFrameDelay(static_cast<DWORD>(100 / imagesPerSecond));
    FILE* file = std::fopen(path.c_str(), "w+b");
    if (file == nullptr)
        return false;
    const bool ok = gif.Encode(file, pointers.data(), static_cast<int>(pointers.size()), false);
    std::fclose(file);
    return ok;
}

TEST(CxImageGIFTest, BurstBecomesAnEndlessAnimationWithTheBurstRate)
{
    TempDir dir;
    std::vector<CxImage> frames;
    for (int i = 0; i < 5; ++i)
        frames.push_back(BarFrame(i));
    const std::string path = (dir / "burst.gif").string();
    ASSERT_TRUE(EncodeLikeTheGifTask(frames, 5, path));

    const Probe probe = ProbeGif(path);
    EXPECT_EQ(probe.frames, 5);
    EXPECT_EQ(probe.width, 64);
    EXPECT_EQ(probe.height, 48);
    EXPECT_EQ(probe.durations, std::vector<int>(5, 20));
    EXPECT_TRUE(HasEndlessLoopBlock(ReadBytes(path)));

    // Six colours fit the table, so every frame comes back exactly.
    const std::vector<CxImage> decoded = DecodeWithFfmpeg(path, 64, 48);
    ASSERT_EQ(decoded.size(), 5u);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(MaxDifference(decoded[static_cast<std::size_t>(i)], frames[static_cast<std::size_t>(i)]), 0)
            << "frame " << i;

    // Our own decoder reads the first frame with its delay.
    CxImage first(path.c_str(), CXIMAGE_FORMAT_UNKNOWN);
    ASSERT_TRUE(first.IsValid()) << first.GetLastError();
    EXPECT_EQ(first.GetType(), CXIMAGE_FORMAT_GIF);
    EXPECT_EQ(first.GetBpp(), 8u);
    EXPECT_EQ(first.GetFrameDelay(), 20u);
    EXPECT_EQ(MaxDifference(first, frames[0]), 0);
}

TEST(CxImageGIFTest, PhotoFramesKeepTheirColoursClose)
{
    TempDir dir;
    std::vector<CxImage> frames;
    for (int i = 0; i < 3; ++i)
        frames.push_back(PhotoFrame(i));
    const std::string path = (dir / "photo.gif").string();
    ASSERT_TRUE(EncodeLikeTheGifTask(frames, 10, path));
    const std::vector<CxImage> decoded = DecodeWithFfmpeg(path, 640, 480);
    ASSERT_EQ(decoded.size(), 3u);
    for (std::size_t i = 0; i < decoded.size(); ++i)
    {
        // Dithering trades per-pixel error for the right average, so compare the means of 8 x 8 blocks.
        // Only the extreme corners of the colour cube, which no averaged table colour reaches, stay off.
        CxImage a = frames[i], b = decoded[i];
        ASSERT_TRUE(a.QIShrink(80, 60));
        ASSERT_TRUE(b.QIShrink(80, 60));
        EXPECT_LE(MeanDifference(a, b), 3.0) << "frame " << i;
    }
}

TEST(CxImageGIFTest, LargeFramesAreBroughtToVgaAndEveryFrameKeepsItsOwnDelay)
{
    TempDir dir;
    std::vector<CxImage> frames{BarFrame(0, 800, 600), BarFrame(1, 800, 600)};
    const std::string path = (dir / "large.gif").string();
    ASSERT_TRUE(EncodeLikeTheGifTask(frames, 3, path));
    const Probe probe = ProbeGif(path);
    EXPECT_EQ(probe.width, 640);
    EXPECT_EQ(probe.height, 480);
    EXPECT_EQ(probe.durations, std::vector<int>(2, 33));

    CxImage a = BarFrame(0), b = BarFrame(1), c = BarFrame(2);
    a.SetFrameDelay(5);
    CxImage* frames3[] = {&a, &b, &c};
    CxImageGIF gif;
    gif.SetFrameDelay(7);
    const std::string mixed = (dir / "mixed.gif").string();
    ASSERT_TRUE(gif.Save(mixed.c_str(), frames3, 3)) << gif.GetLastError();
    EXPECT_EQ(ProbeGif(mixed).durations, (std::vector<int>{5, 7, 7}));
}

TEST(CxImageGIFTest, LocalColourTablesKeepEachFramesColours)
{
    TempDir dir;
    CxImage red = MakeImage(16, 16, [](int x, int) { return Rgb(x * 16, 0, 0); });
    CxImage blue = MakeImage(16, 16, [](int, int y) { return Rgb(0, 0, y * 16); });
    CxImage* frames[] = {&red, &blue};
    CxImageGIF gif;
    const std::string path = (dir / "local.gif").string();
    ASSERT_TRUE(gif.Save(path.c_str(), frames, 2, true)) << gif.GetLastError();
    const std::vector<CxImage> decoded = DecodeWithFfmpeg(path, 16, 16);
    ASSERT_EQ(decoded.size(), 2u);
    EXPECT_EQ(MaxDifference(decoded[0], red), 0);
    EXPECT_EQ(MaxDifference(decoded[1], blue), 0);
}

TEST(CxImageGIFTest, OneImageSavedAsGifIsAStillPicture)
{
    TempDir dir;
    CxImage still = BarFrame(0);
    const std::string path = (dir / "still.gif").string();
    ASSERT_TRUE(still.Save(path.c_str(), CXIMAGE_FORMAT_GIF)) << still.GetLastError();
    EXPECT_EQ(ProbeGif(path).frames, 1);
    EXPECT_FALSE(HasEndlessLoopBlock(ReadBytes(path)));
}

TEST(CxImageGIFTest, BadFrameListsAndFailedWritesAreReported)
{
    TempDir dir;
    CxImage a = BarFrame(0), b = BarFrame(1, 64, 40), empty;
    CxImageGIF gif;
    CxImage* sizes[] = {&a, &b};
    CxImage* invalid[] = {&a, &empty};
    CxImage* missing[] = {&a, nullptr};
    const std::string path = (dir / "bad.gif").string();
    EXPECT_FALSE(gif.Save(path.c_str(), sizes, 2));
    EXPECT_STRNE(gif.GetLastError(), "");
    EXPECT_FALSE(gif.Save(path.c_str(), invalid, 2));
    EXPECT_FALSE(gif.Save(path.c_str(), missing, 2));
    EXPECT_FALSE(gif.Save(path.c_str(), sizes, 0));
    EXPECT_FALSE(gif.Save((dir / "gone" / "x.gif").c_str(), sizes, 1));
    EXPECT_TRUE(image_test::OtherFiles(dir.Path(), {}).empty());

    FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    EXPECT_FALSE(gif.Encode(full, sizes, 1));
    EXPECT_STRNE(gif.GetLastError(), "");
    std::fclose(full);
}

TEST(CQuantizerTest, AFewColoursComeBackExactly)
{
    CxImage image = BarFrame(0);
    CQuantizer quantizer(256, 8);
    ASSERT_TRUE(quantizer.ProcessImage(image.GetDIB()));
    ASSERT_EQ(quantizer.GetColorCount(), 6u);
    RGBQUAD table[256];
    std::fill(std::begin(table), std::end(table), Rgb(1, 2, 3));
    quantizer.SetColorTable(table);
    for (const RGBQUAD& colour : kColours)
        EXPECT_NE(std::find_if(table, table + 6,
                               [&](const RGBQUAD& c) {
                                   return c.rgbRed == colour.rgbRed && c.rgbGreen == colour.rgbGreen &&
                                          c.rgbBlue == colour.rgbBlue;
                               }),
                  table + 6);
    for (int i = 6; i < 256; ++i)
        EXPECT_EQ(table[i].rgbRed + table[i].rgbGreen + table[i].rgbBlue, 0);
}

TEST(CQuantizerTest, ManyColoursAreBoundedAndRepresentative)
{
    CxImage photo = PhotoFrame(0);
    for (UINT colours : {256u, 16u})
    {
        CQuantizer quantizer(colours, 8);
        ASSERT_TRUE(quantizer.ProcessImage(photo.GetDIB()));
        EXPECT_LE(quantizer.GetColorCount(), colours);
        EXPECT_GE(quantizer.GetColorCount(), colours / 2);
        RGBQUAD table[256] = {};
        quantizer.SetColorTable(table);
        CxImage mapped = photo;
        ASSERT_TRUE(mapped.DecreaseBpp(8, false, table, quantizer.GetColorCount()));
        // The picture spans the colour cube on purpose; these bounds hold for a table that adapts to it.
        EXPECT_LE(MeanDifference(photo, mapped), colours == 256 ? 8.0 : 32.0) << colours << " colours";
    }
    CQuantizer quantizer(256, 8);
    EXPECT_FALSE(quantizer.ProcessImage(nullptr));
    BITMAPINFOHEADER odd{};
    odd.biSize = sizeof odd;
    odd.biWidth = 4;
    odd.biHeight = 4;
    odd.biBitCount = 16;
    EXPECT_FALSE(quantizer.ProcessImage(&odd));
}
} // namespace
