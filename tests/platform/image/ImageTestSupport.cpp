#include "ImageTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sys/wait.h>

namespace image_test
{
RGBQUAD Rgb(int r, int g, int b)
{
    return RGBQUAD{static_cast<BYTE>(b), static_cast<BYTE>(g), static_cast<BYTE>(r), 0};
}

std::vector<BYTE> MakePackedDib(int width, int height, int bpp, bool topDown, const Painter& paint)
{
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = topDown ? -height : height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(bpp);
    header.biCompression = BI_RGB;
    const std::size_t stride =
        platform::image::DibStride(static_cast<std::size_t>(width), static_cast<unsigned>(bpp));
    header.biSizeImage = static_cast<DWORD>(stride * static_cast<std::size_t>(height));
    std::vector<BYTE> dib(sizeof header + header.biSizeImage, 0);
    std::memcpy(dib.data(), &header, sizeof header);
    for (int row = 0; row < height; ++row)
    {
        // Stored row `row` shows picture row `row` from the top when top-down, from the bottom otherwise.
        const int yFromTop = topDown ? row : height - 1 - row;
        BYTE* out = dib.data() + sizeof header + static_cast<std::size_t>(row) * stride;
        for (int x = 0; x < width; ++x)
        {
            const RGBQUAD c = paint(x, yFromTop);
            BYTE* p = out + static_cast<std::size_t>(x) * static_cast<std::size_t>(bpp / 8);
            p[0] = c.rgbBlue;
            p[1] = c.rgbGreen;
            p[2] = c.rgbRed;
            if (bpp == 32)
                p[3] = 0xAB;
        }
    }
    return dib;
}

CxImage MakeImage(int width, int height, const Painter& paint)
{
    CxImage image;
    image.Create(static_cast<DWORD>(width), static_cast<DWORD>(height), 24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.SetPixelColor(x, height - 1 - y, paint(x, y));
    return image;
}

RGBQUAD PixelFromTop(const CxImage& image, int x, int yFromTop)
{
    return image.GetPixelColor(x, static_cast<long>(image.GetHeight()) - 1 - yFromTop);
}

int MaxDifference(const CxImage& a, const CxImage& b)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return -1;
    int worst = 0;
    for (DWORD y = 0; y < a.GetHeight(); ++y)
        for (DWORD x = 0; x < a.GetWidth(); ++x)
        {
            const RGBQUAD p = a.GetPixelColor(static_cast<long>(x), static_cast<long>(y));
            const RGBQUAD q = b.GetPixelColor(static_cast<long>(x), static_cast<long>(y));
            worst = std::max({worst, std::abs(p.rgbRed - q.rgbRed), std::abs(p.rgbGreen - q.rgbGreen),
                              std::abs(p.rgbBlue - q.rgbBlue)});
        }
    return worst;
}

std::string Run(const std::string& command, int* status)
{
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
    {
        if (status)
            *status = -1;
        return output;
    }
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    const int result = ::pclose(pipe);
    if (status)
        *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    return output;
}

std::vector<CxImage> DecodeWithFfmpeg(const std::string& path, int width, int height)
{
    const std::string raw =
        Run("ffmpeg -nostdin -v error -i '" + path + "' -fps_mode passthrough -f rawvideo -pix_fmt rgb24 -");
    std::vector<CxImage> frames;
    const std::size_t frameBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
    for (std::size_t at = 0; at + frameBytes <= raw.size(); at += frameBytes)
        frames.push_back(MakeImage(width, height,
                                   [&](int x, int y)
                                   {
                                       const auto* p = reinterpret_cast<const BYTE*>(
                                           raw.data() + at + (static_cast<std::size_t>(y) * width + x) * 3);
                                       return Rgb(p[0], p[1], p[2]);
                                   }));
    return frames;
}

std::vector<BYTE> ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& path, const std::vector<BYTE>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> OtherFiles(const std::filesystem::path& folder,
                                    const std::vector<std::string>& expected)
{
    std::vector<std::string> others;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
    {
        const std::string name = entry.path().filename().string();
        if (std::find(expected.begin(), expected.end(), name) == expected.end())
            others.push_back(name);
    }
    return others;
}
} // namespace image_test
