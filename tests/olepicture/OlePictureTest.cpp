#include "platform/olepicture/OlePicture.h"

#include "platform/window/WinGdi.h"
#include "tests/olepicture/GifWriter.h"
#include "tests/support/GdiTestSupport.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace
{
using gif_test::Bytes;
using testing_support::Canvas;
using testing_support::Encoded;
using testing_support::Near;

/// 40 x 20 pixels: the top half red, the bottom half blue.
QImage TwoBands()
{
    return testing_support::TwoBands(40, 20);
}

/// The top half red, the bottom half blue, as a GIF.
Bytes TwoBandsGif()
{
    gif_test::Frame frame = gif_test::Solid(0, 0, 40, 20, gif_test::kRed, 0);
    frame.pixels.assign(40 * 20, gif_test::kRed);
    std::fill(frame.pixels.begin() + 40 * 10, frame.pixels.end(), gif_test::kBlue);
    return gif_test::Write(40, 20, {frame}, false);
}

/// Loads a picture from a copy of `data`; the result and the picture (null on failure).
HRESULT Load(const Bytes& data, IPicture** picture, LONG size = 0)
{
    *picture = nullptr;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, data.size());
    if (!data.empty())
        std::memcpy(GlobalLock(block), data.data(), data.size());
    GlobalUnlock(block);
    IStream* stream = nullptr;
    if (CreateStreamOnHGlobal(block, TRUE, &stream) != S_OK)
        return E_FAIL;
    const HRESULT hr = OleLoadPicture(stream, size, FALSE, IID_IPicture, reinterpret_cast<void**>(picture));
    stream->Release();
    return hr;
}

SIZE PixelSize(IPicture* picture)
{
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    picture->get_Width(&width);
    picture->get_Height(&height);
    return SIZE{MulDiv(width, 96, 2540), MulDiv(height, 96, 2540)};
}

/// Renders the whole picture upright at (x, y) with the given size, as callers do.
HRESULT RenderUpright(IPicture* picture, HDC dc, int x, int y, int cx, int cy)
{
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    picture->get_Width(&width);
    picture->get_Height(&height);
    return picture->Render(dc, x, y, cx, cy, 0, height, width, -height, nullptr);
}

struct FormatCase
{
    std::string name;
    Bytes data;
    int tolerance;
};

void PrintTo(const FormatCase& c, std::ostream* out)
{
    *out << c.name;
}

class StaticPictureTest : public testing::TestWithParam<FormatCase>
{
};
} // namespace

TEST_P(StaticPictureTest, DecodesItsSizeAndRendersUpright)
{
    IPicture* picture = nullptr;
    ASSERT_EQ(Load(GetParam().data, &picture), S_OK);
    ASSERT_NE(picture, nullptr);
    const SIZE size = PixelSize(picture);
    EXPECT_EQ(size.cx, 40);
    EXPECT_EQ(size.cy, 20);

    Canvas canvas(60, 30, RGB(0, 255, 0));
    ASSERT_EQ(RenderUpright(picture, canvas.dc(), 5, 5, 40, 20), S_OK);
    const int tolerance = GetParam().tolerance;
    EXPECT_TRUE(Near(canvas.at(20, 8), RGB(255, 0, 0), tolerance)) << std::hex << canvas.at(20, 8);
    EXPECT_TRUE(Near(canvas.at(20, 20), RGB(0, 0, 255), tolerance)) << std::hex << canvas.at(20, 20);
    EXPECT_EQ(canvas.at(2, 2), RGB(0, 255, 0));
    EXPECT_EQ(canvas.at(50, 27), RGB(0, 255, 0));
    picture->Release();
}

INSTANTIATE_TEST_SUITE_P(Formats, StaticPictureTest,
                         testing::Values(FormatCase{"png", Encoded(TwoBands(), "PNG"), 0},
                                         FormatCase{"bmp", Encoded(TwoBands(), "BMP"), 0},
                                         FormatCase{"jpeg", Encoded(TwoBands(), "JPEG"), 40},
                                         FormatCase{"gif", TwoBandsGif(), 0}),
                         [](const auto& info) { return info.param.name; });

TEST(OlePictureTest, SourceExtentsStretchAndTurnThePicture)
{
    IPicture* picture = nullptr;
    ASSERT_EQ(Load(Encoded(TwoBands(), "PNG"), &picture), S_OK);
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    picture->get_Width(&width);
    picture->get_Height(&height);

    Canvas canvas(80, 40, RGB(0, 0, 0));
    // A positive source height reads the picture from its bottom: upside down.
    ASSERT_EQ(picture->Render(canvas.dc(), 0, 0, 80, 40, 0, 0, width, height, nullptr), S_OK);
    EXPECT_EQ(canvas.at(40, 2), RGB(0, 0, 255));
    EXPECT_EQ(canvas.at(40, 37), RGB(255, 0, 0));
    EXPECT_EQ(canvas.at(79, 39), RGB(255, 0, 0)); // stretched to the whole canvas

    // The lower half of the picture alone, upright.
    Canvas lower(10, 10, RGB(0, 0, 0));
    ASSERT_EQ(picture->Render(lower.dc(), 0, 0, 10, 10, 0, height / 2, width, -height / 2, nullptr), S_OK);
    EXPECT_EQ(lower.at(5, 1), RGB(0, 0, 255));
    EXPECT_EQ(lower.at(5, 8), RGB(0, 0, 255));

    EXPECT_EQ(picture->Render(canvas.dc(), 0, 0, 0, 40, 0, height, width, -height, nullptr), E_INVALIDARG);
    EXPECT_EQ(picture->Render(nullptr, 0, 0, 10, 10, 0, height, width, -height, nullptr), E_INVALIDARG);
    picture->Release();
}

TEST(OlePictureTest, TransparentPixelsLeaveTheDestination)
{
    QImage image(20, 10, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter(&image).fillRect(10, 0, 10, 10, QColor(255, 0, 0));
    gif_test::Frame frame = gif_test::Solid(0, 0, 20, 10, gif_test::kBlue, 0);
    frame.pixels.assign(200, gif_test::kBlue);
    for (int y = 0; y < 10; ++y)
        std::fill(frame.pixels.begin() + y * 20 + 10, frame.pixels.begin() + y * 20 + 20, gif_test::kRed);
    frame.transparent = gif_test::kBlue;

    for (const Bytes& data : {Encoded(image, "PNG"), gif_test::Write(20, 10, {frame}, false)})
    {
        IPicture* picture = nullptr;
        ASSERT_EQ(Load(data, &picture), S_OK);
        Canvas canvas(20, 10, RGB(0, 255, 0));
        ASSERT_EQ(RenderUpright(picture, canvas.dc(), 0, 0, 20, 10), S_OK);
        EXPECT_EQ(canvas.at(3, 5), RGB(0, 255, 0));
        EXPECT_EQ(canvas.at(15, 5), RGB(255, 0, 0));
        picture->Release();
    }
}

TEST(OlePictureTest, AGifPictureIsItsFirstImageRectangle)
{
    const Bytes data = gif_test::Write(30, 30,
                                       {gif_test::Solid(10, 5, 8, 6, gif_test::kGreen, 10),
                                        gif_test::Solid(0, 0, 30, 30, gif_test::kRed, 10)});
    IPicture* picture = nullptr;
    ASSERT_EQ(Load(data, &picture), S_OK);
    const SIZE size = PixelSize(picture);
    EXPECT_EQ(size.cx, 8);
    EXPECT_EQ(size.cy, 6);
    Canvas canvas(8, 6, RGB(0, 0, 0));
    ASSERT_EQ(RenderUpright(picture, canvas.dc(), 0, 0, 8, 6), S_OK);
    EXPECT_EQ(canvas.at(0, 0), RGB(0, 255, 0));
    EXPECT_EQ(canvas.at(7, 5), RGB(0, 255, 0));
    picture->Release();
}

TEST(OlePictureTest, ReadsOnlyTheGivenSizeFromTheStreamPosition)
{
    Bytes data = {'x', 'y', 'z'};
    const Bytes png = Encoded(TwoBands(), "PNG");
    data.insert(data.end(), png.begin(), png.end());
    data.insert(data.end(), 50, 0xEE);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, data.size());
    std::memcpy(GlobalLock(block), data.data(), data.size());
    GlobalUnlock(block);
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(block, TRUE, &stream), S_OK);
    LARGE_INTEGER skip{};
    skip.QuadPart = 3;
    stream->Seek(skip, STREAM_SEEK_SET, nullptr);
    IPicture* picture = nullptr;
    ASSERT_EQ(OleLoadPicture(stream, static_cast<LONG>(png.size()), FALSE, IID_IPicture,
                             reinterpret_cast<void**>(&picture)),
              S_OK);
    ULARGE_INTEGER position{};
    LARGE_INTEGER none{};
    stream->Seek(none, STREAM_SEEK_CUR, &position);
    EXPECT_EQ(position.QuadPart, 3 + png.size());
    picture->Release();

    // More than the stream holds is refused.
    stream->Seek(skip, STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(OleLoadPicture(stream, static_cast<LONG>(data.size()), FALSE, IID_IPicture,
                             reinterpret_cast<void**>(&picture)),
              CTL_E_INVALIDPICTURE);
    EXPECT_EQ(picture, nullptr);
    EXPECT_EQ(OleLoadPicture(stream, 0, FALSE, IID_IStream, reinterpret_cast<void**>(&picture)),
              E_NOINTERFACE);
    EXPECT_EQ(OleLoadPicture(nullptr, 0, FALSE, IID_IPicture, reinterpret_cast<void**>(&picture)), E_POINTER);
    stream->Release();
}

namespace
{
struct HostileCase
{
    std::string name;
    Bytes data;
};

Bytes Truncated(Bytes data, std::size_t keep)
{
    data.resize(std::min(keep, data.size()));
    return data;
}

Bytes WithWord(Bytes data, std::size_t at, int value)
{
    data[at] = static_cast<std::uint8_t>(value & 0xFF);
    data[at + 1] = static_cast<std::uint8_t>(value >> 8);
    return data;
}

std::vector<HostileCase> HostileCases()
{
    const Bytes png = Encoded(TwoBands(), "PNG");
    const Bytes gif = gif_test::Write(20, 20, {gif_test::Solid(0, 0, 20, 20, gif_test::kRed, 10)}, false);
    const std::size_t descriptor = 13 + 768 + 8; // after the header, the table and the control extension
    return {
        {"empty", {}},
        {"garbage", Bytes(300, 0x5A)},
        {"png_header_only", Truncated(png, 30)},
        {"gif_header_only", Truncated(gif, 13)},
        {"gif_cut_before_image", Truncated(gif, descriptor + 4)},
        {"gif_zero_image", WithWord(WithWord(gif, descriptor + 5, 0), descriptor + 7, 0)},
        {"gif_huge_image_beyond_screen",
         WithWord(WithWord(WithWord(gif, descriptor + 1, 65000), descriptor + 5, 65535), descriptor + 7,
                  65535)},
        // Each side within the limit, a gigabyte of pixels in all.
        {"gif_image_of_16000_square_on_a_small_screen",
         WithWord(WithWord(gif, descriptor + 5, 16000), descriptor + 7, 16000)},
    };
}

void PrintTo(const HostileCase& c, std::ostream* out)
{
    *out << c.name;
}

class HostilePictureTest : public testing::TestWithParam<HostileCase>
{
};
} // namespace

TEST_P(HostilePictureTest, FailsCleanly)
{
    IPicture* picture = nullptr;
    EXPECT_EQ(Load(GetParam().data, &picture), CTL_E_INVALIDPICTURE);
    EXPECT_EQ(picture, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Data, HostilePictureTest, testing::ValuesIn(HostileCases()),
                         [](const auto& info) { return info.param.name; });
