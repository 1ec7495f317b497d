#include "platform/image/CxImageGIF.h"

#include "ImageTestSupport.h"

#include "platform/image/Quantizer.h"
#include "tests/support/TempDir.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
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

// Frames of GStreamer's test source with a running time stamp in the bottom right corner, as the virtual
// camera gives the burst: "smpte" is colour bars with a block of noise, "colors" a still colour sweep.
std::vector<CxImage> TestSourceFrames(const std::string& pattern, int count, int width, int height)
{
    TempDir dir;
    const std::string raw = (dir / "frames.bgr").string();
    int status = -1;
    const std::string output =
        Run("gst-launch-1.0 -q videotestsrc pattern=" + pattern + " num-buffers=" + std::to_string(count) +
                " ! timeoverlay halignment=right valignment=bottom font-desc=\"Sans 10\" ! videoconvert"
                " ! video/x-raw,format=RGB,width=" +
                std::to_string(width) + ",height=" + std::to_string(height) + " ! filesink location='" + raw +
                "' 2>&1",
            &status);
    EXPECT_EQ(status, 0) << output;
    const std::vector<BYTE> bytes = ReadBytes(raw);
    const std::size_t frameBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
    std::vector<CxImage> frames;
    for (std::size_t at = 0; at + frameBytes <= bytes.size(); at += frameBytes)
        frames.push_back(MakeImage(width, height,
                                   [&](int x, int y)
                                   {
                                       const BYTE* p =
                                           bytes.data() + at + (static_cast<std::size_t>(y) * width + x) * 3;
                                       return Rgb(p[0], p[1], p[2]);
                                   }));
    return frames;
}

// The frames as the animated-GIF task hands them to the encoder, each diffused on its own onto one table
// made of the first frame's colours: the pictures a GIF of whole frames shows.
std::vector<CxImage> OnTheFirstFramesTable(std::vector<CxImage> frames)
{
    CQuantizer quantizer(256, 8);
    EXPECT_TRUE(quantizer.ProcessImage(frames.front().GetDIB()));
    RGBQUAD palette[256];
    quantizer.SetColorTable(palette);
    for (CxImage& frame : frames)
        EXPECT_TRUE(frame.DecreaseBpp(8, true, palette));
    return frames;
}

bool SaveAnimation(std::vector<CxImage>& frames, const std::string& path)
{
    std::vector<CxImage*> pages;
    for (CxImage& frame : frames)
        pages.push_back(&frame);
    CxImageGIF gif;
    gif.SetLoops(0);
    gif.SetFrameDelay(20);
    return gif.Save(path.c_str(), pages.data(), static_cast<int>(pages.size()));
}

// How each frame of a GIF is stored, as giflib reads it.
struct StoredFrame
{
    int left, top, width, height;
    int disposal;
    int transparent;
    int delay;
    bool localTable;
};

struct StoredGif
{
    bool globalTable = false;
    std::vector<StoredFrame> frames;
};

StoredGif ReadStored(const std::string& path)
{
    StoredGif stored;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (gif == nullptr || DGifSlurp(gif) != GIF_OK)
    {
        ADD_FAILURE() << "giflib cannot read " << path;
        if (gif)
            DGifCloseFile(gif, &error);
        return stored;
    }
    stored.globalTable = gif->SColorMap != nullptr;
    for (int i = 0; i < gif->ImageCount; ++i)
    {
        const GifImageDesc& desc = gif->SavedImages[i].ImageDesc;
        GraphicsControlBlock control{};
        DGifSavedExtensionToGCB(gif, i, &control);
        stored.frames.push_back({desc.Left, desc.Top, desc.Width, desc.Height, control.DisposalMode,
                                 control.TransparentColor, control.DelayTime, desc.ColorMap != nullptr});
    }
    DGifCloseFile(gif, &error);
    return stored;
}

// Decodes every frame with ffmpeg, which draws each over the ones before, and expects exactly `expected`.
void ExpectFramesShow(const std::string& path, const std::vector<CxImage>& expected)
{
    const auto width = static_cast<int>(expected.front().GetWidth());
    const auto height = static_cast<int>(expected.front().GetHeight());
    const std::vector<CxImage> decoded = DecodeWithFfmpeg(path, width, height);
    ASSERT_EQ(decoded.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(MaxDifference(decoded[i], expected[i]), 0) << "frame " << i;
}

class CxImageGIFBurstTest : public testing::TestWithParam<const char*>
{
};

TEST_P(CxImageGIFBurstTest, LaterFramesStoreTheChangedRectangleAndShowTheWholeFramesPictures)
{
    constexpr int kWidth = 640;
    constexpr int kHeight = 480;
    const std::vector<CxImage> camera = TestSourceFrames(GetParam(), 20, kWidth, kHeight);
    ASSERT_EQ(camera.size(), 20u);
    std::vector<CxImage> frames = OnTheFirstFramesTable(camera);
    TempDir dir;
    const std::string path = (dir / "burst.gif").string();
    ASSERT_TRUE(SaveAnimation(frames, path));

    ExpectFramesShow(path, frames);
    const StoredGif stored = ReadStored(path);
    EXPECT_TRUE(stored.globalTable);
    EXPECT_TRUE(HasEndlessLoopBlock(ReadBytes(path)));
    ASSERT_EQ(stored.frames.size(), 20u);
    const StoredFrame& first = stored.frames.front();
    EXPECT_EQ(first.width * first.height, kWidth * kHeight);
    EXPECT_EQ(first.transparent, NO_TRANSPARENT_COLOR);
    for (std::size_t i = 0; i < stored.frames.size(); ++i)
    {
        const StoredFrame& frame = stored.frames[i];
        EXPECT_EQ(frame.delay, 20) << "frame " << i;
        EXPECT_EQ(frame.disposal, DISPOSE_DO_NOT) << "frame " << i;
        EXPECT_FALSE(frame.localTable) << "frame " << i;
        // Only the time stamp, the noise and what their diffused error reaches change.
        if (i > 0)
        {
            EXPECT_LT(frame.width * frame.height, kWidth * kHeight / 2) << "frame " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(TestSource, CxImageGIFBurstTest, testing::Values("smpte", "colors"),
                         [](const testing::TestParamInfo<const char*>& info)
                         { return std::string(info.param); });

TEST(CxImageGIFTest, IdenticalFramesAfterTheFirstAreOnePixelEach)
{
    std::vector<CxImage> frames = OnTheFirstFramesTable(std::vector<CxImage>(4, PhotoFrame(0)));
    TempDir dir;
    const std::string path = (dir / "still.gif").string();
    ASSERT_TRUE(SaveAnimation(frames, path));
    ExpectFramesShow(path, frames);
    const StoredGif stored = ReadStored(path);
    ASSERT_EQ(stored.frames.size(), 4u);
    for (std::size_t i = 1; i < 4; ++i)
        EXPECT_EQ(stored.frames[i].width * stored.frames[i].height, 1) << "frame " << i;
}

TEST(CxImageGIFTest, AFrameThatDiffersInOneCornerPixelStoresThatPixel)
{
    // Six colours map exactly, so the frames come back as painted.
    CxImage base = BarFrame(0);
    CxImage corner = base;
    corner.SetPixelColor(63, 0, kColours[4]);
    std::vector<CxImage> frames{base, corner, base};
    TempDir dir;
    const std::string path = (dir / "corner.gif").string();
    ASSERT_TRUE(SaveAnimation(frames, path));
    ExpectFramesShow(path, frames);
    const StoredGif stored = ReadStored(path);
    ASSERT_EQ(stored.frames.size(), 3u);
    for (std::size_t i = 1; i < 3; ++i)
    {
        // Row 0 of the image is the bottom line of the picture.
        const StoredFrame& frame = stored.frames[i];
        EXPECT_EQ(frame.left, 63) << "frame " << i;
        EXPECT_EQ(frame.top, 47) << "frame " << i;
        EXPECT_EQ(frame.width, 1) << "frame " << i;
        EXPECT_EQ(frame.height, 1) << "frame " << i;
    }
}

TEST(CxImageGIFTest, ChangedPixelsUsingEveryColourOfAFullTableAreStoredWithoutTransparency)
{
    // 256 colours, each pixel of a 16 x 16 frame a different one.
    RGBQUAD table[256];
    for (int i = 0; i < 256; ++i)
        table[i] = Rgb(i, 255 - i, (i * 7) % 256);
    auto frame = [&](auto&& indexAt)
    {
        CxImage image;
        image.Create(16, 16, 8);
        image.SetPalette(table, 256);
        for (DWORD y = 0; y < 16; ++y)
            for (DWORD x = 0; x < 16; ++x)
                image.GetBits(y)[x] = static_cast<BYTE>(indexAt(static_cast<int>(x), static_cast<int>(y)));
        return image;
    };
    std::vector<CxImage> frames{
        frame([](int x, int y) { return y * 16 + x; }),
        // Every pixel changes and every colour is used: no slot is free to mark unchanged pixels.
        frame([](int x, int y) { return (y * 16 + x + 1) % 256; }),
        // Then only a 4 x 4 block changes, in colours of its own: the rest of the table is free.
        frame([](int x, int y) { return x < 4 && y < 4 ? 200 + x : (y * 16 + x + 1) % 256; })};
    TempDir dir;
    const std::string path = (dir / "full.gif").string();
    ASSERT_TRUE(SaveAnimation(frames, path));
    ExpectFramesShow(path, frames);
    const StoredGif stored = ReadStored(path);
    ASSERT_EQ(stored.frames.size(), 3u);
    EXPECT_EQ(stored.frames[1].width * stored.frames[1].height, 256);
    EXPECT_EQ(stored.frames[1].transparent, NO_TRANSPARENT_COLOR);
    EXPECT_EQ(stored.frames[2].width * stored.frames[2].height, 16);
}

TEST(CxImageGIFTest, PixelsThatStayInsideTheChangedRectangleAreTransparent)
{
    // Two opposite corners change: the rectangle is the whole frame, all but two of its pixels the same.
    std::vector<CxImage> frames = OnTheFirstFramesTable({PhotoFrame(0), PhotoFrame(0)});
    CxImage& second = frames[1];
    for (const auto& [x, y] : {std::pair{0L, 0L}, std::pair{639L, 479L}})
    {
        BYTE* index = second.GetBits(static_cast<DWORD>(y)) + x;
        *index = static_cast<BYTE>(*index ^ 1);
    }
    TempDir dir;
    const std::string path = (dir / "corners.gif").string();
    ASSERT_TRUE(SaveAnimation(frames, path));
    ExpectFramesShow(path, frames);
    const StoredGif stored = ReadStored(path);
    ASSERT_EQ(stored.frames.size(), 2u);
    EXPECT_EQ(stored.frames[1].width * stored.frames[1].height, 640 * 480);
    EXPECT_NE(stored.frames[1].transparent, NO_TRANSPARENT_COLOR);
}

TEST(CxImageGIFTest, NoiseInEveryColourOfTheTableDecodesExactly)
{
    // Noise is where a small string table codes shortest: frames of random indices, each different.
    RGBQUAD table[256];
    for (int i = 0; i < 256; ++i)
        table[i] = Rgb(i, (i * 37) % 256, 255 - i);
    std::mt19937 random(7);
    std::vector<CxImage> frames(4);
    for (CxImage& frame : frames)
    {
        frame.Create(96, 64, 8);
        frame.SetPalette(table, 256);
        for (DWORD y = 0; y < 64; ++y)
            for (DWORD x = 0; x < 96; ++x)
                frame.GetBits(y)[x] = static_cast<BYTE>(random() % 256);
    }
    TempDir dir;
    const std::string path = (dir / "noise.gif").string();
    ASSERT_TRUE(SaveAnimation(frames, path));
    ExpectFramesShow(path, frames);
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
