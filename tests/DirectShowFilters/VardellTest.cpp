#include "MediaChecks.h"
#include "PinHarness.h"

#include "DirectShowFilters/vardell/VideoEncoderBitrate.h"
#include "platform/registry/Registry.h"
#include "tests/support/RegistryProbe.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <dlfcn.h>
#include <numbers>
#include <random>
#include <string>
#include <utility>

using harness::Bench;
using harness::ComPtr;

namespace
{
constexpr REFERENCE_TIME kFrameTime = 333333; // 30 frames per second
const GUID kMp4v = FOURCCMap(MAKEFOURCC('M', 'P', '4', 'V'));
const GUID kRgb8 = {0xE436EB7A, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};

/// A top-down RGB picture, three bytes per pixel.
struct Rgb
{
    int width;
    int height;
    std::vector<BYTE> pixels;
    const BYTE* At(int x, int y) const { return &pixels[(static_cast<std::size_t>(y) * width + x) * 3]; }
};

/// Smooth colour waves and a bright square, moving with `frame`; asymmetric, so that a picture turned
/// upside down or mirrored does not match.
Rgb TestPicture(int width, int height, int frame)
{
    constexpr double pi = std::numbers::pi;
    Rgb picture{width, height, std::vector<BYTE>(static_cast<std::size_t>(width) * height * 3)};
    const int squareX = 20 + 3 * frame;
    const int squareY = height / 6;
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            BYTE* p = &picture.pixels[(static_cast<std::size_t>(y) * width + x) * 3];
            const bool square = x >= squareX && x < squareX + 40 && y >= squareY && y < squareY + 40;
            p[0] = square ? 240 : static_cast<BYTE>(128 + 90 * std::sin(2 * pi * (x + 2 * frame) / 160.0));
            p[1] = square ? 230 : static_cast<BYTE>(40 + 180.0 * y / height);
            p[2] = square ? 40 : static_cast<BYTE>(128 + 90 * std::cos(2 * pi * (x + y - frame) / 200.0));
        }
    }
    return picture;
}

struct Yuv
{
    int y, u, v;
};

Yuv ToYuv(const BYTE* rgb)
{
    const double r = rgb[0], g = rgb[1], b = rgb[2];
    return {static_cast<int>(std::lround(16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255)),
            static_cast<int>(std::lround(128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255)),
            static_cast<int>(std::lround(128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255))};
}

enum class Layout
{
    Bgr24,
    Bgra32,
    Rgb565,
    Rgb555,
    Iyuv,
    Yv12,
    Uyvy,
    Yuy2
};

/// The frame bytes of `picture` in `layout`; RGB lines go bottom-up when `bottomUp`.
std::vector<BYTE> Frame(const Rgb& picture, Layout layout, bool bottomUp)
{
    const int w = picture.width;
    const int h = picture.height;
    std::vector<BYTE> out;
    auto line = [&](int y) { return bottomUp ? h - 1 - y : y; };
    switch (layout)
    {
    case Layout::Bgr24:
    case Layout::Bgra32:
    case Layout::Rgb565:
    case Layout::Rgb555:
    {
        const int bytes = layout == Layout::Bgr24 ? 3 : layout == Layout::Bgra32 ? 4 : 2;
        out.resize(static_cast<std::size_t>(w) * h * bytes);
        for (int y = 0; y < h; ++y)
        {
            for (int x = 0; x < w; ++x)
            {
                const BYTE* p = picture.At(x, line(y));
                BYTE* o = &out[(static_cast<std::size_t>(y) * w + x) * bytes];
                if (bytes >= 3)
                {
                    o[0] = p[2];
                    o[1] = p[1];
                    o[2] = p[0];
                    if (bytes == 4)
                        o[3] = 255;
                }
                else
                {
                    const unsigned v = layout == Layout::Rgb565
                                           ? ((p[0] >> 3) << 11) | ((p[1] >> 2) << 5) | (p[2] >> 3)
                                           : ((p[0] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[2] >> 3);
                    o[0] = static_cast<BYTE>(v & 0xFF);
                    o[1] = static_cast<BYTE>(v >> 8);
                }
            }
        }
        return out;
    }
    case Layout::Iyuv:
    case Layout::Yv12:
    {
        out.resize(static_cast<std::size_t>(w) * h * 3 / 2);
        BYTE* yPlane = out.data();
        BYTE* uPlane = yPlane + w * h;
        BYTE* vPlane = uPlane + w * h / 4;
        if (layout == Layout::Yv12)
            std::swap(uPlane, vPlane);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                yPlane[y * w + x] = static_cast<BYTE>(ToYuv(picture.At(x, y)).y);
        for (int y = 0; y < h / 2; ++y)
        {
            for (int x = 0; x < w / 2; ++x)
            {
                int u = 0, v = 0;
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx)
                    {
                        const Yuv c = ToYuv(picture.At(2 * x + dx, 2 * y + dy));
                        u += c.u;
                        v += c.v;
                    }
                uPlane[y * (w / 2) + x] = static_cast<BYTE>((u + 2) / 4);
                vPlane[y * (w / 2) + x] = static_cast<BYTE>((v + 2) / 4);
            }
        }
        return out;
    }
    case Layout::Uyvy:
    case Layout::Yuy2:
    {
        out.resize(static_cast<std::size_t>(w) * h * 2);
        for (int y = 0; y < h; ++y)
        {
            for (int x = 0; x < w; x += 2)
            {
                const Yuv a = ToYuv(picture.At(x, y));
                const Yuv b = ToYuv(picture.At(x + 1, y));
                const auto u = static_cast<BYTE>((a.u + b.u + 1) / 2);
                const auto v = static_cast<BYTE>((a.v + b.v + 1) / 2);
                BYTE* o = &out[(static_cast<std::size_t>(y) * w + x) * 2];
                if (layout == Layout::Uyvy)
                {
                    o[0] = u;
                    o[1] = static_cast<BYTE>(a.y);
                    o[2] = v;
                    o[3] = static_cast<BYTE>(b.y);
                }
                else
                {
                    o[0] = static_cast<BYTE>(a.y);
                    o[1] = u;
                    o[2] = static_cast<BYTE>(b.y);
                    o[3] = v;
                }
            }
        }
        return out;
    }
    }
    return out;
}

CMediaType VideoType(const GUID& subtype, LONG width, LONG height, WORD bitCount, DWORD compression,
                     REFERENCE_TIME frameTime = kFrameTime)
{
    CMediaType type;
    type.SetType(&MEDIATYPE_Video);
    type.SetSubtype(&subtype);
    type.SetFormatType(&FORMAT_VideoInfo);
    VIDEOINFOHEADER header{};
    header.AvgTimePerFrame = frameTime;
    header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header.bmiHeader.biWidth = width;
    header.bmiHeader.biHeight = height;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = bitCount;
    header.bmiHeader.biCompression = compression;
    header.bmiHeader.biSizeImage = static_cast<DWORD>(std::abs(width * height) * bitCount / 8);
    type.SetFormat(reinterpret_cast<const BYTE*>(&header), sizeof(header));
    type.SetSampleSize(header.bmiHeader.biSizeImage);
    return type;
}

ComPtr<IBaseFilter> NewEncoder()
{
    return harness::LoadFilter(harness::PluginPath("vardell.so"), CLSID_Mpeg4EncoderFilter);
}

ComPtr<IVideoEncoderBitrate> BitrateOf(IBaseFilter* filter)
{
    ComPtr<IVideoEncoderBitrate> bitrate;
    filter->QueryInterface(IID_IVideoEncoderBitrate, bitrate.PutVoid());
    return bitrate;
}

/// Decodes a raw MPEG-4 stream with ffmpeg into top-down RGB frames.
std::vector<Rgb> Decode(const std::vector<BYTE>& stream, int width, int height, std::string* errors)
{
    testing_support::TempDir dir;
    media_checks::WriteFile(dir / "video.m4v", stream);
    if (media_checks::Run("ffmpeg -nostdin -v error -y -f m4v -i " + (dir / "video.m4v").string() +
                              " -f rawvideo -pix_fmt rgb24 " + (dir / "video.rgb").string(),
                          errors) != 0)
        return {};
    const auto raw = media_checks::ReadFile(dir / "video.rgb");
    const std::size_t frameBytes = static_cast<std::size_t>(width) * height * 3;
    std::vector<Rgb> frames;
    for (std::size_t pos = 0; pos + frameBytes <= raw.size(); pos += frameBytes)
        frames.push_back(Rgb{width, height,
                             std::vector<BYTE>(raw.begin() + static_cast<long>(pos),
                                               raw.begin() + static_cast<long>(pos + frameBytes))});
    return frames;
}

/// Runs `frames` pictures through a connected, running bench.
void Feed(Bench& bench, Layout layout, bool bottomUp, int width, int height, int frames, int first = 0)
{
    for (int i = first; i < first + frames; ++i)
    {
        const REFERENCE_TIME start = i * kFrameTime;
        ASSERT_EQ(
            bench.Push(Frame(TestPicture(width, height, i), layout, bottomUp), start, start + kFrameTime),
            S_OK)
            << "frame " << i;
    }
}
} // namespace

struct FormatCase
{
    const char* name;
    GUID subtype;
    Layout layout;
    WORD bitCount;
    DWORD compression;
    bool bottomUp;
    friend void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }
};

class VardellFormatTest : public testing::TestWithParam<FormatCase>
{
};

TEST_P(VardellFormatTest, EncodesFramesThatFfmpegDecodesFaithfully)
{
    const auto& c = GetParam();
    constexpr int kWidth = 320;
    constexpr int kHeight = 240;
    constexpr int kFrames = 30;
    Bench bench(NewEncoder(),
                VideoType(c.subtype, kWidth, c.bottomUp ? kHeight : -kHeight, c.bitCount, c.compression),
                kWidth * kHeight * 4);
    ASSERT_EQ(bench.Connect(), S_OK);
    ASSERT_EQ(bench.Run(), S_OK);
    Feed(bench, c.layout, c.bottomUp, kWidth, kHeight, kFrames);
    ASSERT_EQ(bench.Stop(), S_OK);

    const auto& samples = bench.Sink().Samples();
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(kFrames));
    for (int i = 0; i < kFrames; ++i)
    {
        EXPECT_EQ(samples[i].syncPoint, i % 15 == 0) << "frame " << i;
        EXPECT_EQ(samples[i].start, i * kFrameTime);
        EXPECT_FALSE(samples[i].data.empty());
    }

    std::string errors;
    const auto decoded = Decode(bench.Sink().Bytes(), kWidth, kHeight, &errors);
    ASSERT_EQ(decoded.size(), static_cast<std::size_t>(kFrames)) << errors;
    EXPECT_EQ(errors, "");
    double worst = 100;
    for (int i = 0; i < kFrames; ++i)
        worst =
            std::min(worst, media_checks::Psnr(decoded[i].pixels, TestPicture(kWidth, kHeight, i).pixels));
    RecordProperty("psnr", std::to_string(worst));
    EXPECT_GT(worst, 28.0);
}

INSTANTIATE_TEST_SUITE_P(
    InputFormats, VardellFormatTest,
    testing::Values(
        FormatCase{"Rgb24BottomUp", MEDIASUBTYPE_RGB24, Layout::Bgr24, 24, BI_RGB, true},
        FormatCase{"Rgb24TopDown", MEDIASUBTYPE_RGB24, Layout::Bgr24, 24, BI_RGB, false},
        FormatCase{"Argb32BottomUp", MEDIASUBTYPE_ARGB32, Layout::Bgra32, 32, BI_RGB, true},
        FormatCase{"Rgb565Bitfields", MEDIASUBTYPE_RGB565, Layout::Rgb565, 16, BI_BITFIELDS, true},
        FormatCase{"Rgb555BottomUp", MEDIASUBTYPE_RGB555, Layout::Rgb555, 16, BI_RGB, true},
        FormatCase{"Iyuv", MEDIASUBTYPE_IYUV, Layout::Iyuv, 12, MAKEFOURCC('I', 'Y', 'U', 'V'), false},
        FormatCase{"Yv12", MEDIASUBTYPE_YV12, Layout::Yv12, 12, MAKEFOURCC('Y', 'V', '1', '2'), false},
        FormatCase{"Uyvy", MEDIASUBTYPE_UYVY, Layout::Uyvy, 16, MAKEFOURCC('U', 'Y', 'V', 'Y'), false},
        FormatCase{"Yuy2", MEDIASUBTYPE_YUY2, Layout::Yuy2, 16, MAKEFOURCC('Y', 'U', 'Y', '2'), false},
        // A positive height of a YUV picture says nothing of its orientation: never turned.
        FormatCase{"Yuy2PositiveHeight", MEDIASUBTYPE_YUY2, Layout::Yuy2, 16, MAKEFOURCC('Y', 'U', 'Y', '2'),
                   true},
        FormatCase{"Yuyv", MEDIASUBTYPE_YUYV, Layout::Yuy2, 16, MAKEFOURCC('Y', 'U', 'Y', 'V'), false}),
    [](const testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

struct OrientationCase
{
    const char* name;
    GUID subtype;
    Layout layout;
    WORD bitCount;
    DWORD compression;
    int width;
    int height;
    friend void PrintTo(const OrientationCase& c, std::ostream* os) { *os << c.name; }
};

class VardellOrientationTest : public testing::TestWithParam<OrientationCase>
{
protected:
    /// The pictures of `frames` frames, decoded from the stream the encoder made of them given bottom-up
    /// or top-down.
    std::vector<Rgb> EncodeAndDecode(bool bottomUp, int frames)
    {
        const auto& c = GetParam();
        const int lineBytes = c.width * c.bitCount / 8;
        Bench bench(NewEncoder(),
                    VideoType(c.subtype, c.width, bottomUp ? c.height : -c.height, c.bitCount, c.compression),
                    lineBytes * c.height);
        EXPECT_EQ(bench.Connect(), S_OK);
        EXPECT_EQ(bench.Run(), S_OK);
        Feed(bench, c.layout, bottomUp, c.width, c.height, frames);
        EXPECT_EQ(bench.Stop(), S_OK);
        std::string errors;
        auto decoded = Decode(bench.Sink().Bytes(), c.width, c.height, &errors);
        EXPECT_EQ(errors, "");
        return decoded;
    }
};

TEST_P(VardellOrientationTest, BottomUpAndTopDownSamplesOfOnePictureDecodeAlike)
{
    // The picture is read where it lies in the sample, a bottom-up one from its last line up: both
    // orders of the same lines must give the same stream, upright.
    const auto& c = GetParam();
    constexpr int kFrames = 5;
    const std::vector<Rgb> bottomUp = EncodeAndDecode(true, kFrames);
    const std::vector<Rgb> topDown = EncodeAndDecode(false, kFrames);
    ASSERT_EQ(bottomUp.size(), static_cast<std::size_t>(kFrames));
    ASSERT_EQ(topDown.size(), static_cast<std::size_t>(kFrames));
    for (int i = 0; i < kFrames; ++i)
    {
        EXPECT_TRUE(bottomUp[i].pixels == topDown[i].pixels) << "frame " << i;
        EXPECT_GT(media_checks::Psnr(bottomUp[i].pixels, TestPicture(c.width, c.height, i).pixels), 28.0)
            << "frame " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    RgbFormats, VardellOrientationTest,
    testing::Values(OrientationCase{"Rgb24", MEDIASUBTYPE_RGB24, Layout::Bgr24, 24, BI_RGB, 320, 240},
                    OrientationCase{"Argb32", MEDIASUBTYPE_ARGB32, Layout::Bgra32, 32, BI_RGB, 320, 240},
                    OrientationCase{"Rgb565", MEDIASUBTYPE_RGB565, Layout::Rgb565, 16, BI_BITFIELDS, 320,
                                    240},
                    OrientationCase{"Rgb555", MEDIASUBTYPE_RGB555, Layout::Rgb555, 16, BI_RGB, 320, 240},
                    // An odd width: the last pixel of a line has no pair for its chroma.
                    OrientationCase{"Rgb24OddSize", MEDIASUBTYPE_RGB24, Layout::Bgr24, 24, BI_RGB, 321, 241}),
    [](const testing::TestParamInfo<OrientationCase>& info) { return std::string(info.param.name); });

TEST(VardellTest, OddSizedRgbPictureEncodesWithoutOverrun)
{
    constexpr int kWidth = 321;
    constexpr int kHeight = 241;
    Bench bench(NewEncoder(), VideoType(MEDIASUBTYPE_RGB24, kWidth, kHeight, 24, BI_RGB),
                kWidth * kHeight * 3);
    ASSERT_EQ(bench.Connect(), S_OK);
    ASSERT_EQ(bench.Run(), S_OK);
    Feed(bench, Layout::Bgr24, true, kWidth, kHeight, 5);
    std::string errors;
    const auto decoded = Decode(bench.Sink().Bytes(), kWidth, kHeight, &errors);
    ASSERT_EQ(decoded.size(), 5u) << errors;
    EXPECT_GT(media_checks::Psnr(decoded[4].pixels, TestPicture(kWidth, kHeight, 4).pixels), 28.0);
}

namespace
{
/// The test picture under strong sensor noise, different in every frame: the costliest input to code.
Rgb NoisyPicture(int width, int height, int frame)
{
    Rgb picture = TestPicture(width, height, frame);
    std::mt19937 random(static_cast<unsigned>(frame) + 1);
    std::uniform_int_distribution<int> noise(-40, 40);
    for (BYTE& value : picture.pixels)
        value = static_cast<BYTE>(std::clamp(value + noise(random), 0, 255));
    return picture;
}

/// The worst frame's PSNR when ffmpeg's own MPEG-4 encoder codes the same pictures at `kbps`, a frame in
/// 15 intra coded; 0 when ffmpeg fails.
double FfmpegWorstPsnr(const std::vector<Rgb>& pictures, int kbps, std::string* errors)
{
    const int width = pictures.front().width;
    const int height = pictures.front().height;
    testing_support::TempDir dir;
    std::vector<BYTE> raw;
    for (const Rgb& picture : pictures)
        raw.insert(raw.end(), picture.pixels.begin(), picture.pixels.end());
    media_checks::WriteFile(dir / "video.rgb", raw);
    if (media_checks::Run("ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt rgb24 -s " +
                              std::to_string(width) + "x" + std::to_string(height) + " -r 30 -i " +
                              (dir / "video.rgb").string() + " -c:v mpeg4 -g 15 -b:v " +
                              std::to_string(kbps) + "k -f m4v " + (dir / "video.m4v").string(),
                          errors) != 0)
        return 0;
    const auto decoded = Decode(media_checks::ReadFile(dir / "video.m4v"), width, height, errors);
    if (decoded.size() != pictures.size())
        return 0;
    double worst = 100;
    for (std::size_t i = 0; i < pictures.size(); ++i)
        worst = std::min(worst, media_checks::Psnr(decoded[i].pixels, pictures[i].pixels));
    return worst;
}

class VardellNoisyTest : public testing::TestWithParam<std::pair<int, int>>
{
};
} // namespace

TEST_P(VardellNoisyTest, SmallNoisyPicturesAtTheHighestBitRateLoseNoFrame)
{
    const auto [width, height] = GetParam();
    constexpr int kFrames = 10;
    const auto filter = NewEncoder();
    ASSERT_EQ(BitrateOf(filter.Get())->SetBitrate(1000), S_OK);
    Bench bench(filter, VideoType(MEDIASUBTYPE_RGB24, width, -height, 24, BI_RGB), width * height * 3);
    ASSERT_EQ(bench.Connect(), S_OK);
    ASSERT_EQ(bench.Run(), S_OK);
    for (int i = 0; i < kFrames; ++i)
    {
        const REFERENCE_TIME start = i * kFrameTime;
        EXPECT_EQ(bench.Push(Frame(NoisyPicture(width, height, i), Layout::Bgr24, false), start,
                             start + kFrameTime),
                  S_OK)
            << "frame " << i;
    }
    ASSERT_EQ(bench.Stop(), S_OK);
    ASSERT_EQ(bench.Sink().Samples().size(), static_cast<std::size_t>(kFrames));

    // A lost frame leaves the next ones predicted from a picture the decoder never had.
    std::string errors;
    const auto decoded = Decode(bench.Sink().Bytes(), width, height, &errors);
    ASSERT_EQ(decoded.size(), static_cast<std::size_t>(kFrames)) << errors;
    std::vector<Rgb> pictures;
    double worst = 100;
    for (int i = 0; i < kFrames; ++i)
    {
        pictures.push_back(NoisyPicture(width, height, i));
        worst = std::min(worst, media_checks::Psnr(decoded[i].pixels, pictures.back().pixels));
    }
    const double reference = FfmpegWorstPsnr(pictures, 1000, &errors);
    ASSERT_GT(reference, 0) << errors;
    RecordProperty("psnr", std::to_string(worst));
    RecordProperty("ffmpegPsnr", std::to_string(reference));
    EXPECT_GT(worst, reference - 3.0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, VardellNoisyTest, testing::Values(std::pair{160, 120}, std::pair{176, 144}),
                         [](const testing::TestParamInfo<std::pair<int, int>>& info) {
                             return std::to_string(info.param.first) + "x" +
                                    std::to_string(info.param.second);
                         });

TEST(VardellTest, SamplesOfTheWrongSizeAreRefusedAndTheStreamGoesOn)
{
    // 318 RGB pixels make 954 bytes a line; a bitmap pads its lines to 956.
    constexpr int kWidth = 318;
    constexpr int kHeight = 240;
    Bench bench(NewEncoder(), VideoType(MEDIASUBTYPE_RGB24, kWidth, kHeight, 24, BI_RGB), 956 * kHeight);
    ASSERT_EQ(bench.Connect(), S_OK);
    ASSERT_EQ(bench.Run(), S_OK);
    const std::vector<BYTE> padded(956 * kHeight, 0x40);
    const std::vector<BYTE> shortFrame(954 * (kHeight - 1), 0x40);
    for (int attempt = 0; attempt < 3; ++attempt)
    {
        EXPECT_EQ(bench.Push(padded), VFW_E_BUFFER_OVERFLOW);
        EXPECT_EQ(bench.Push(shortFrame), E_INVALIDARG);
        EXPECT_EQ(bench.Push({}), E_INVALIDARG);
        EXPECT_EQ(bench.Sink().Outstanding(), 0);
    }
    EXPECT_TRUE(bench.Sink().Samples().empty());
    Feed(bench, Layout::Bgr24, true, kWidth, kHeight, 1);
    ASSERT_EQ(bench.Sink().Samples().size(), 1u);
    EXPECT_TRUE(bench.Sink().Samples()[0].syncPoint);
}

struct RefusedVideoCase
{
    const char* name;
    CMediaType (*make)();
    friend void PrintTo(const RefusedVideoCase& c, std::ostream* os) { *os << c.name; }
};

class VardellRefusedInputTest : public testing::TestWithParam<RefusedVideoCase>
{
};

TEST_P(VardellRefusedInputTest, InputConnectionFailsAsTypeNotAccepted)
{
    Bench bench(NewEncoder(), GetParam().make(), 320 * 240 * 4);
    EXPECT_EQ(bench.ConnectInput(), VFW_E_TYPE_NOT_ACCEPTED);
}

INSTANTIATE_TEST_SUITE_P(
    BadTypes, VardellRefusedInputTest,
    testing::Values(
        RefusedVideoCase{"NoFrameTime",
                         [] { return VideoType(MEDIASUBTYPE_RGB24, 320, 240, 24, BI_RGB, 0); }},
        RefusedVideoCase{"NegativeFrameTime",
                         [] { return VideoType(MEDIASUBTYPE_RGB24, 320, 240, 24, BI_RGB, -kFrameTime); }},
        RefusedVideoCase{"NoWidth", [] { return VideoType(MEDIASUBTYPE_RGB24, 0, 240, 24, BI_RGB); }},
        RefusedVideoCase{"NoHeight", [] { return VideoType(MEDIASUBTYPE_RGB24, 320, 0, 24, BI_RGB); }},
        RefusedVideoCase{"HugeWidth", [] { return VideoType(MEDIASUBTYPE_RGB24, 100000, 240, 24, BI_RGB); }},
        RefusedVideoCase{"UnlistedSubtype", [] { return VideoType(kRgb8, 320, 240, 8, BI_RGB); }},
        RefusedVideoCase{"AudioMajorType",
                         []
                         {
                             CMediaType type = VideoType(MEDIASUBTYPE_RGB24, 320, 240, 24, BI_RGB);
                             type.SetType(&MEDIATYPE_Audio);
                             return type;
                         }},
        RefusedVideoCase{"NoFormatBlock",
                         []
                         {
                             CMediaType type = VideoType(MEDIASUBTYPE_RGB24, 320, 240, 24, BI_RGB);
                             type.ResetFormatBuffer();
                             return type;
                         }},
        RefusedVideoCase{"FormatBlockShorterThanItsHeader",
                         []
                         {
                             CMediaType type = VideoType(MEDIASUBTYPE_RGB24, 320, 240, 24, BI_RGB);
                             type.ReallocFormatBuffer(60);
                             return type;
                         }},
        RefusedVideoCase{"UnknownFormatType",
                         []
                         {
                             CMediaType type = VideoType(MEDIASUBTYPE_RGB24, 320, 240, 24, BI_RGB);
                             type.SetFormatType(&FORMAT_WaveFormatEx);
                             return type;
                         }},
        RefusedVideoCase{
            "OddWidthYuy2",
            [] { return VideoType(MEDIASUBTYPE_YUY2, 321, 240, 16, MAKEFOURCC('Y', 'U', 'Y', '2')); }},
        RefusedVideoCase{
            "OddHeightIyuv",
            [] { return VideoType(MEDIASUBTYPE_IYUV, 320, 241, 12, MAKEFOURCC('I', 'Y', 'U', 'V')); }}),
    [](const testing::TestParamInfo<RefusedVideoCase>& info) { return std::string(info.param.name); });

TEST(VardellTest, VideoInfo2FormatBlocksAreRead)
{
    CMediaType type = VideoType(MEDIASUBTYPE_RGB24, 160, 120, 24, BI_RGB);
    VIDEOINFOHEADER plain;
    std::memcpy(&plain, type.Format(), sizeof(plain));
    VIDEOINFOHEADER2 header{};
    header.AvgTimePerFrame = plain.AvgTimePerFrame;
    header.bmiHeader = plain.bmiHeader;
    type.SetFormatType(&FORMAT_VideoInfo2);
    type.SetFormat(reinterpret_cast<const BYTE*>(&header), sizeof(header));
    Bench bench(NewEncoder(), type, 160 * 120 * 3);
    ASSERT_EQ(bench.Connect(), S_OK);
    const CMediaType output = bench.OutputType();
    VIDEOINFOHEADER out;
    ASSERT_EQ(output.FormatLength(), sizeof(out));
    std::memcpy(&out, output.Format(), sizeof(out));
    EXPECT_EQ(out.bmiHeader.biWidth, 160);
    EXPECT_EQ(out.bmiHeader.biHeight, 120);
}

TEST(VardellTest, OutputTypeDescribesTheStreamAndBuffersHoldAFrame)
{
    Bench bench(NewEncoder(),
                VideoType(MEDIASUBTYPE_YUY2, 320, -240, 16, MAKEFOURCC('Y', 'U', 'Y', '2'), 400000),
                320 * 240 * 2);
    ASSERT_EQ(bench.Connect(), S_OK);
    const CMediaType output = bench.OutputType();
    EXPECT_EQ(output.majortype, MEDIATYPE_Video);
    EXPECT_EQ(output.subtype, kMp4v);
    EXPECT_EQ(output.formattype, FORMAT_VideoInfo);
    EXPECT_TRUE(output.bTemporalCompression);
    EXPECT_FALSE(output.bFixedSizeSamples);
    VIDEOINFOHEADER header;
    ASSERT_EQ(output.FormatLength(), sizeof(header));
    std::memcpy(&header, output.Format(), sizeof(header));
    EXPECT_EQ(header.AvgTimePerFrame, 400000);
    EXPECT_EQ(header.dwBitRate, 384000u);
    EXPECT_EQ(header.bmiHeader.biSize, 40u);
    EXPECT_EQ(header.bmiHeader.biWidth, 320);
    EXPECT_EQ(header.bmiHeader.biHeight, 240);
    EXPECT_EQ(header.bmiHeader.biPlanes, 1);
    EXPECT_EQ(header.bmiHeader.biCompression, MAKEFOURCC('M', 'P', '4', 'V'));

    ComPtr<IMemAllocator> allocator;
    ASSERT_EQ(bench.Sink().Input()->GetAllocator(allocator.Put()), S_OK);
    ALLOCATOR_PROPERTIES props{};
    allocator->GetProperties(&props);
    EXPECT_GE(props.cbBuffer, 57600);
    EXPECT_GE(props.cBuffers, 2);
}

TEST(VardellTest, BitrateIsCheckedAndKept)
{
    const auto filter = NewEncoder();
    const auto bitrate = BitrateOf(filter.Get());
    ASSERT_TRUE(bitrate);
    unsigned short kbps = 0;
    EXPECT_EQ(bitrate->GetBitrate(&kbps), S_OK);
    EXPECT_EQ(kbps, 384);
    EXPECT_EQ(bitrate->SetBitrate(0), E_INVALIDARG);
    EXPECT_EQ(bitrate->SetBitrate(1001), E_INVALIDARG);
    EXPECT_EQ(bitrate->SetBitrate(65535), E_INVALIDARG);
    bitrate->GetBitrate(&kbps);
    EXPECT_EQ(kbps, 384);
    EXPECT_EQ(bitrate->SetBitrate(1000), S_OK);
    bitrate->GetBitrate(&kbps);
    EXPECT_EQ(kbps, 1000);
    EXPECT_EQ(bitrate->GetBitrate(nullptr), E_POINTER);
}

TEST(VardellTest, BitrateSetWhileStreamingAppliesFromTheNextConnection)
{
    constexpr int kWidth = 320;
    constexpr int kHeight = 240;
    Bench bench(NewEncoder(), VideoType(MEDIASUBTYPE_RGB24, kWidth, -kHeight, 24, BI_RGB),
                kWidth * kHeight * 3);
    const auto bitrate = BitrateOf(bench.Filter());
    ASSERT_EQ(bitrate->SetBitrate(1000), S_OK);
    ASSERT_EQ(bench.Connect(), S_OK);
    ASSERT_EQ(bench.Run(), S_OK);
    Feed(bench, Layout::Bgr24, false, kWidth, kHeight, 30);
    EXPECT_EQ(bitrate->SetBitrate(64), S_OK);
    Feed(bench, Layout::Bgr24, false, kWidth, kHeight, 30, 30);
    ASSERT_EQ(bench.Stop(), S_OK);
    ASSERT_EQ(bench.Sink().Samples().size(), 60u);
    const std::size_t fastBytes = bench.Sink().Bytes().size();

    bench.Disconnect();
    bench.Sink().Input()->m_samples.clear();
    ASSERT_EQ(bench.Connect(), S_OK);
    VIDEOINFOHEADER header;
    std::memcpy(&header, bench.OutputType().Format(), sizeof(header));
    EXPECT_EQ(header.dwBitRate, 64000u);
    ASSERT_EQ(bench.Run(), S_OK);
    Feed(bench, Layout::Bgr24, false, kWidth, kHeight, 60);
    ASSERT_EQ(bench.Stop(), S_OK);
    const std::size_t slowBytes = bench.Sink().Bytes().size();
    EXPECT_LT(slowBytes * 3, fastBytes);
    std::string errors;
    EXPECT_EQ(Decode(bench.Sink().Bytes(), kWidth, kHeight, &errors).size(), 60u) << errors;
}

TEST(VardellRegistrationTest, RegistersBothFiltersAndListsOnlyTheEncoderAsCompressor)
{
    const auto path = std::filesystem::canonical(harness::PluginPath("vardell.so"));
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr);
    const auto registerServer = reinterpret_cast<LPFNREGISTERSERVER>(dlsym(module, "DllRegisterServer"));
    const auto unregisterServer = reinterpret_cast<LPFNREGISTERSERVER>(dlsym(module, "DllUnregisterServer"));
    ASSERT_TRUE(registerServer && unregisterServer);
    ASSERT_EQ(registerServer(), S_OK);

    const std::string encoder = "{FFB50620-E602-43A5-B133-4659049A9B1A}";
    const std::string decoder = "{5C8958B0-7CAC-41CE-8975-FAF5C13D996C}";
    for (const auto& id : {encoder, decoder})
    {
        EXPECT_EQ(testing_support::ReadClassesRootText("CLSID\\" + id + "\\InprocServer32", ""),
                  path.string());
        EXPECT_EQ(testing_support::ReadClassesRootText("CLSID\\" + id + "\\InprocServer32", "ThreadingModel"),
                  "Both");
    }
    EXPECT_EQ(testing_support::ReadClassesRootText("CLSID\\" + encoder, ""), "Tavisk MPEG-4 Encoder");
    EXPECT_EQ(testing_support::ReadClassesRootText("CLSID\\" + decoder, ""), "Tavisk MPEG-4 Decoder");
    const std::string filters = "CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\";
    EXPECT_EQ(testing_support::ReadClassesRootText(filters + encoder, "Merit"),
              std::to_string(MERIT_UNLIKELY));
    EXPECT_EQ(testing_support::ReadClassesRootText(filters + encoder + "\\Pins\\0\\Types\\8", "SubType"),
              "{32315659-0000-0010-8000-00AA00389B71}");
    EXPECT_EQ(testing_support::ReadClassesRootText(filters + decoder, "Merit"),
              std::to_string(MERIT_DO_NOT_USE));
    EXPECT_EQ(testing_support::ReadClassesRootText(filters + decoder + "\\Pins\\0\\Types\\0", "SubType"),
              "{5634504D-0000-0010-8000-00AA00389B71}");
    const std::string compressors = "CLSID\\{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\Instance\\";
    EXPECT_EQ(testing_support::ReadClassesRootText(compressors + "Tavisk MPEG-4 Encoder", "CLSID"), encoder);
    EXPECT_EQ(testing_support::ReadClassesRootText(compressors + "Tavisk MPEG-4 Decoder", "CLSID"),
              "<no key>");

    for (const GUID& id : {CLSID_Mpeg4EncoderFilter, CLSID_Mpeg4DecoderFilter})
    {
        ComPtr<IBaseFilter> filter;
        EXPECT_EQ(CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter.PutVoid()),
                  S_OK);
        CLSID reported{};
        ASSERT_TRUE(filter);
        filter->GetClassID(&reported);
        EXPECT_EQ(reported, id);
    }

    ASSERT_EQ(unregisterServer(), S_OK);
    EXPECT_EQ(testing_support::ReadClassesRootText("CLSID\\" + encoder, ""), "<no key>");
    EXPECT_EQ(testing_support::ReadClassesRootText("CLSID\\" + decoder, ""), "<no key>");
    EXPECT_EQ(testing_support::ReadClassesRootText(filters + decoder, "Merit"), "<no key>");
    EXPECT_EQ(testing_support::ReadClassesRootText(compressors + "Tavisk MPEG-4 Encoder", "CLSID"),
              "<no key>");
}

TEST(VardellTest, StubDecoderAcceptsAnyInputAndOffersNoOutputType)
{
    const auto decoder = harness::LoadFilter(harness::PluginPath("vardell.so"), CLSID_Mpeg4DecoderFilter);
    ASSERT_TRUE(decoder);
    CMediaType anything;
    anything.SetType(&MEDIATYPE_Audio);
    Bench bench(decoder, anything, 100);
    ASSERT_EQ(bench.ConnectInput(), S_OK);
    const auto output = harness::FindPin(decoder.Get(), PINDIR_OUTPUT);
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(output->EnumMediaTypes(types.Put()), S_OK);
    AM_MEDIA_TYPE* type = nullptr;
    ULONG fetched = 7;
    EXPECT_EQ(types->Next(1, &type, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(bench.ConnectOutput(), VFW_E_NO_ACCEPTABLE_TYPES);
}

TEST(VardellTest, TinyPicturesFitTheirOutputBuffers)
{
    for (const int size : {2, 16, 18})
    {
        Bench bench(NewEncoder(), VideoType(MEDIASUBTYPE_RGB24, size, size, 24, BI_RGB), size * size * 3);
        ASSERT_EQ(bench.Connect(), S_OK);
        ASSERT_EQ(bench.Run(), S_OK);
        Feed(bench, Layout::Bgr24, true, size, size, 3);
        std::string errors;
        EXPECT_EQ(Decode(bench.Sink().Bytes(), size, size, &errors).size(), 3u) << errors;
    }
}
