// Burst-to-GIF and photo-save costs of the image object, side by side with ffmpeg's palettegen and
// paletteuse on the same frames when ffmpeg is on the PATH: each round runs both at the same time, ffmpeg
// on the raw frames in one process, timed by its own -benchmark figures (its start-up left out).
//
//   bench_image [frames (10)] [width (640)] [height (480)] [rounds (5)]

#include "bench/support/BenchSupport.h"

#include "platform/image/CxImageGIF.h"
#include "platform/image/Quantizer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// A camera-like scene: soft lighting, a moving bright object and sensor noise.
CxImage Frame(int index, int width, int height, std::mt19937& random)
{
    CxImage image;
    image.Create(static_cast<DWORD>(width), static_cast<DWORD>(height), 24);
    std::normal_distribution<double> noise(0.0, 3.0);
    const double cx = width * (0.3 + 0.04 * index), cy = height * 0.5;
    for (int y = 0; y < height; ++y)
    {
        BYTE* row = image.GetBits(static_cast<DWORD>(height - 1 - y));
        for (int x = 0; x < width; ++x)
        {
            const double light = 0.6 + 0.4 * std::cos((x - width / 2.0) / width * 2.5);
            const double d = std::hypot(x - cx, y - cy) / (height * 0.2);
            const double ball = d < 1.0 ? 1.0 - d * d : 0.0;
            const double r = 170 * light + 80 * ball + noise(random);
            const double g = 120 * light + 20 * ball + noise(random);
            const double b = 90 * light + 140 * ball * (y % 40 < 20) + noise(random);
            row[x * 3] = static_cast<BYTE>(std::clamp(b, 0.0, 255.0));
            row[x * 3 + 1] = static_cast<BYTE>(std::clamp(g, 0.0, 255.0));
            row[x * 3 + 2] = static_cast<BYTE>(std::clamp(r, 0.0, 255.0));
        }
    }
    return image;
}

double Psnr(const std::vector<CxImage>& reference, const std::vector<std::vector<BYTE>>& rgb, int width,
            int height)
{
    double squared = 0;
    std::size_t samples = 0;
    for (std::size_t i = 0; i < reference.size() && i < rgb.size(); ++i)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
            {
                const RGBQUAD c = reference[i].GetPixelColor(x, height - 1 - y);
                const BYTE* p = rgb[i].data() + (static_cast<std::size_t>(y) * width + x) * 3;
                for (auto [a, b] :
                     {std::pair{c.rgbRed, p[0]}, std::pair{c.rgbGreen, p[1]}, std::pair{c.rgbBlue, p[2]}})
                {
                    squared += (a - b) * (a - b);
                    ++samples;
                }
            }
    if (samples == 0)
        return 0;
    const double mse = squared / static_cast<double>(samples);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

std::vector<std::vector<BYTE>> DecodeGif(const std::string& path, int width, int height)
{
    std::vector<std::vector<BYTE>> frames;
    const std::string command =
        "ffmpeg -nostdin -v error -i '" + path + "' -fps_mode passthrough -f rawvideo -pix_fmt rgb24 -";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return frames;
    std::vector<BYTE> frame(static_cast<std::size_t>(width) * height * 3);
    while (std::fread(frame.data(), 1, frame.size(), pipe) == frame.size())
        frames.push_back(frame);
    ::pclose(pipe);
    return frames;
}

bool Run(const std::string& command)
{
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
struct BurstFigures
{
    bool ok = false;
    double quantiseMs = 0;
    double reduceMs = 0;
    double encodeMs = 0;
    double totalMs = 0;
};

// The burst road: one table from the first frame, every frame diffused onto it, one looping GIF.
BurstFigures BurstToGif(const std::vector<CxImage>& frames, const std::string& path)
{
    BurstFigures figures;
    const auto start = Clock::now();
    CQuantizer quantizer(256, 8);
    quantizer.ProcessImage(frames.front().GetDIB());
    RGBQUAD palette[256];
    quantizer.SetColorTable(palette);
    figures.quantiseMs = Ms(start);
    std::vector<CxImage> reduced = frames;
    std::vector<CxImage*> pointers;
    const auto reduceStart = Clock::now();
    for (CxImage& frame : reduced)
    {
        frame.DecreaseBpp(8, true, palette);
        if (frame.GetWidth() > 640 && frame.GetHeight() > 480)
            frame.Resample(640, 480, 2);
        pointers.push_back(&frame);
    }
    figures.reduceMs = Ms(reduceStart);
    const auto encodeStart = Clock::now();
    CxImageGIF gif;
    gif.SetLoops(0);
    gif.SetFrameDelay(20);
    if (!gif.Save(path.c_str(), pointers.data(), static_cast<int>(pointers.size())))
    {
        std::fprintf(stderr, "encoding failed: %s\n", gif.GetLastError());
        return figures;
    }
    figures.encodeMs = Ms(encodeStart);
    figures.totalMs = Ms(start);
    figures.ok = true;
    return figures;
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int width = argc > 2 ? std::max(16, std::atoi(argv[2])) : 640;
    const int height = argc > 3 ? std::max(16, std::atoi(argv[3])) : 480;
    const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("bench_image_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);

    std::mt19937 random(1);
    std::vector<CxImage> frames;
    for (int i = 0; i < count; ++i)
        frames.push_back(Frame(i, width, height, random));
    std::printf("%d frames of %dx%d\n\n", count, width, height);

    const std::string ours = (folder / "ours.gif").string();
    const BurstFigures first = BurstToGif(frames, ours);
    if (!first.ok)
        return 1;
    const auto oursBytes = std::filesystem::file_size(ours);
    std::printf("ours:   quantise %.1f ms, diffuse %.1f ms, encode %.1f ms, total %.1f ms, %.1f KiB",
                first.quantiseMs, first.reduceMs, first.encodeMs, first.totalMs, oursBytes / 1024.0);

    const bool haveFfmpeg = Run("ffmpeg -version > /dev/null 2>&1");
    double oursPsnr = 0;
    if (haveFfmpeg)
    {
        oursPsnr = Psnr(frames, DecodeGif(ours, width, height), width, height);
        std::printf(", PSNR %.2f dB", oursPsnr);
    }
    std::printf("\n");

    // Photo save: a frame as BMP, as JPEG at quality 99, and resampled to twice its size first.
    {
        CxImage photo = frames.front();
        const auto bmpStart = Clock::now();
        photo.Save((folder / "photo.bmp").c_str(), CXIMAGE_FORMAT_BMP);
        const double bmpMs = Ms(bmpStart);
        photo.SetJpegQuality(99);
        const auto jpgStart = Clock::now();
        photo.Save((folder / "photo.jpg").c_str(), CXIMAGE_FORMAT_JPG);
        const double jpgMs = Ms(jpgStart);
        const auto resampleStart = Clock::now();
        photo.Resample(width * 2, height * 2, 2);
        const double resampleMs = Ms(resampleStart);
        const auto bigStart = Clock::now();
        photo.Save((folder / "big.jpg").c_str(), CXIMAGE_FORMAT_JPG);
        const double bigMs = Ms(bigStart);
        std::printf("photo:  BMP %.1f ms, JPEG q99 %.1f ms, bicubic to %dx%d %.1f ms, its JPEG %.1f ms\n",
                    bmpMs, jpgMs, width * 2, height * 2, resampleMs, bigMs);
    }

    if (haveFfmpeg)
    {
        const std::string raw = (folder / "frames.bgr").string();
        std::FILE* file = std::fopen(raw.c_str(), "wb");
        for (const CxImage& frame : frames)
            for (int y = 0; y < height && file; ++y)
                std::fwrite(frame.GetBits(static_cast<DWORD>(height - 1 - y)), 1,
                            static_cast<std::size_t>(width) * 3, file);
        if (file)
            std::fclose(file);
        const std::string theirs = (folder / "ffmpeg.gif").string();
        const std::vector<std::string> command = bench::FfmpegPaletteGif(raw, width, height, theirs);
        std::vector<double> timeRatios;
        std::vector<double> cpuRatios;
        double ffMs = 0;
        for (int round = 0; round < rounds; ++round)
        {
            bench::Reference ffmpeg(command);
            const double startCpu = bench::ThreadCpuSeconds();
            const BurstFigures again = BurstToGif(frames, (folder / "again.gif").string());
            const double oursCpu = bench::ThreadCpuSeconds() - startCpu;
            const bool ended = ffmpeg.Wait();
            const bench::FfmpegTimes times = bench::ParseFfmpegBenchmark(ffmpeg.Output());
            if (!again.ok || !ended || !times.ok)
            {
                std::printf("ffmpeg gave no timing:\n%s\n", ffmpeg.Output().c_str());
                break;
            }
            ffMs = times.real * 1000.0;
            timeRatios.push_back(again.totalMs / ffMs);
            cpuRatios.push_back(oursCpu / (times.user + times.system));
        }
        if (!timeRatios.empty())
        {
            const auto ffBytes = std::filesystem::file_size(theirs);
            const double ffPsnr = Psnr(frames, DecodeGif(theirs, width, height), width, height);
            std::printf("ffmpeg: palettegen+paletteuse %.1f ms (in-process rtime), %.1f KiB, PSNR %.2f dB\n",
                        ffMs, ffBytes / 1024.0, ffPsnr);
            std::printf("ratios ours/ffmpeg: size %.2f, PSNR %+.2f dB\n",
                        static_cast<double>(oursBytes) / static_cast<double>(ffBytes), oursPsnr - ffPsnr);
            bench::PrintSpread("time ours / ffmpeg, side by side", timeRatios);
            bench::PrintSpread("CPU ours / ffmpeg, side by side", cpuRatios);
        }
    }
    std::filesystem::remove_all(folder);
    return 0;
}
