#pragma once

#include "platform/image/CxImage.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace image_test
{
/// A colour for the pixel at column x, row y counted from the top of the picture.
using Painter = std::function<RGBQUAD(int x, int yFromTop)>;

RGBQUAD Rgb(int r, int g, int b);

/// A packed DIB (header, then rows, no file header) of 24 or 32 bits, bottom-up or top-down.
std::vector<BYTE> MakePackedDib(int width, int height, int bpp, bool topDown, const Painter& paint);

/// A 24-bit image painted with `paint`.
CxImage MakeImage(int width, int height, const Painter& paint);

/// The colour at column x, row y counted from the top.
RGBQUAD PixelFromTop(const CxImage& image, int x, int yFromTop);

/// The largest channel difference between two images of the same size (-1 when the sizes differ).
int MaxDifference(const CxImage& a, const CxImage& b);

/// Runs a shell command; returns its standard output and sets `status` to its exit status.
std::string Run(const std::string& command, int* status = nullptr);

/// Every frame of a picture or animation as the real ffmpeg decodes it, as 24-bit images.
std::vector<CxImage> DecodeWithFfmpeg(const std::string& path, int width, int height);

std::vector<BYTE> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<BYTE>& bytes);

/// Names left in `folder` besides `expected` (temporary files a save left behind, for instance).
std::vector<std::string> OtherFiles(const std::filesystem::path& folder,
                                    const std::vector<std::string>& expected);
} // namespace image_test
