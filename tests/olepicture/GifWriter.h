#pragma once

// Writes GIF files for the tests, block by block, so that sizes, delays, disposal, frame rectangles and
// damaged data can be chosen freely.

#include <cstdint>
#include <string>
#include <vector>

namespace gif_test
{
using Bytes = std::vector<std::uint8_t>;

struct Frame
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    /// One palette index per pixel, row by row; a single value fills the frame.
    std::vector<std::uint8_t> pixels;
    int delay = 0; // hundredths of a second
    int disposal = 0;
    bool control = true; // write a graphic control extension
    int transparent = -1;
};

/// Palette colours used by the tests (COLORREF order is built by the tests themselves).
constexpr std::uint32_t kPalette[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x000000, 0xFFFFFF};
constexpr std::uint8_t kRed = 0, kGreen = 1, kBlue = 2, kYellow = 3, kBlack = 4, kWhite = 5;

inline void Word(Bytes& out, int value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

/// LZW data of 8-bit indices, without compression: a clear code starts every run short enough that the
/// code width stays at 9 bits.
inline Bytes Lzw(const std::vector<std::uint8_t>& pixels)
{
    Bytes packed;
    std::uint32_t bits = 0;
    int count = 0;
    auto put = [&](unsigned code)
    {
        bits |= code << count;
        count += 9;
        while (count >= 8)
        {
            packed.push_back(static_cast<std::uint8_t>(bits & 0xFF));
            bits >>= 8;
            count -= 8;
        }
    };
    for (std::size_t i = 0; i < pixels.size(); ++i)
    {
        if (i % 250 == 0)
            put(256);
        put(pixels[i]);
    }
    put(257);
    if (count > 0)
        packed.push_back(static_cast<std::uint8_t>(bits & 0xFF));
    Bytes out{8};
    for (std::size_t at = 0; at < packed.size(); at += 255)
    {
        const std::size_t length = std::min<std::size_t>(255, packed.size() - at);
        out.push_back(static_cast<std::uint8_t>(length));
        out.insert(out.end(), packed.begin() + static_cast<long>(at),
                   packed.begin() + static_cast<long>(at + length));
    }
    out.push_back(0);
    return out;
}

/// A GIF of a 256-colour global table (the test palette first, black after) with the frames in order, and
/// a looping application extension when `loop`.
inline Bytes Write(int width, int height, const std::vector<Frame>& frames, bool loop = true,
                   const std::string& version = "89a")
{
    Bytes out;
    out.reserve(1024);
    for (const char c : "GIF" + version)
        out.push_back(static_cast<std::uint8_t>(c));
    Word(out, width);
    Word(out, height);
    out.push_back(0xF7); // global table of 256 entries
    out.push_back(0);
    out.push_back(0);
    for (int i = 0; i < 256; ++i)
    {
        const std::uint32_t rgb = i < static_cast<int>(std::size(kPalette)) ? kPalette[i] : 0;
        out.push_back(static_cast<std::uint8_t>(rgb >> 16));
        out.push_back(static_cast<std::uint8_t>(rgb >> 8));
        out.push_back(static_cast<std::uint8_t>(rgb));
    }
    if (loop)
    {
        const char* name = "NETSCAPE2.0";
        out.insert(out.end(), {0x21, 0xFF, 11});
        out.insert(out.end(), name, name + 11);
        out.insert(out.end(), {3, 1, 0, 0, 0});
    }
    for (const Frame& frame : frames)
    {
        if (frame.control)
        {
            out.insert(out.end(), {0x21, 0xF9, 4});
            out.push_back(
                static_cast<std::uint8_t>(((frame.disposal & 7) << 2) | (frame.transparent >= 0 ? 1 : 0)));
            Word(out, frame.delay);
            out.push_back(static_cast<std::uint8_t>(frame.transparent >= 0 ? frame.transparent : 0));
            out.push_back(0);
        }
        out.push_back(0x2C);
        Word(out, frame.left);
        Word(out, frame.top);
        Word(out, frame.width);
        Word(out, frame.height);
        out.push_back(0);
        std::vector<std::uint8_t> pixels = frame.pixels;
        const std::size_t area =
            static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height);
        if (pixels.size() == 1)
            pixels.assign(area, pixels[0]);
        pixels.resize(area, 0);
        const Bytes data = Lzw(pixels);
        out.insert(out.end(), data.begin(), data.end());
    }
    out.push_back(0x3B);
    return out;
}

/// A frame filling the rectangle with one palette colour.
inline Frame Solid(int left, int top, int width, int height, std::uint8_t index, int delay, int disposal = 0)
{
    Frame frame;
    frame.left = left;
    frame.top = top;
    frame.width = width;
    frame.height = height;
    frame.pixels = {index};
    frame.delay = delay;
    frame.disposal = disposal;
    return frame;
}
} // namespace gif_test
