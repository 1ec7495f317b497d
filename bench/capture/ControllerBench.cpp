// The capture controller's still pictures, measured end to end with the preview of the virtual camera
// running: the time from the shutter to the photo on disk (JPEG and BMP, 640 x 480 and 1280 x 720), and
// a burst of frames turned into an animated GIF, side by side with ffmpeg's palettegen and paletteuse on
// the same frames (time, size, and PSNR of the decoded frames against the camera's frames). Each round
// runs our conversion and ffmpeg's at the same time; ffmpeg reads the raw frames and is timed by its own
// -benchmark figures, its start-up left out.
//
//   bench_capture [shots per series (20)] [burst frames (20)] [rounds (5)] [patterns (smpte colors)...]
//
// The patterns are those of GStreamer's videotestsrc, one burst for each.
// Runs headless (the offscreen Qt platform is chosen when QT_QPA_PLATFORM is unset); every file, the
// settings and the home folder are kept in a temporary folder that is removed at the end. The GIF part
// needs ffmpeg on the PATH for its comparison.

#include "bench/support/BenchSupport.h"

#include "brevicam/capture/CaptureController.h"
#include "brevicam/capture/CaptureMessages.h"
#include "brevicam/core/Params.h"
#include "brevicam/media/GIFConversionTask.h"
#include "platform/dshow/VirtualCamera.h"
#include "platform/window/Extras.h"
#include "platform/window/WinApp.h"
#include "platform/window/WinUser.h"
#include "platform/window/Wnd.h"
#include "platform/zorneth/Zorneth.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace
{
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

/// The value below which `fraction` of the sorted samples lie (nearest rank).
double Percentile(std::vector<double> samples, double fraction)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(samples.size())));
    return samples[std::clamp<std::size_t>(rank, 1, samples.size()) - 1];
}

void PumpMessages(int ms)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    do
    {
        MSG msg;
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessage(&msg);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (Clock::now() < deadline);
}

LRESULT PlainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProc(hwnd, message, wParam, lParam);
}

/// The main window with the live-video surface the renderer draws into.
struct Windows
{
    Windows()
    {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &PlainProc;
        wc.lpszClassName = "CaptureBenchWindow";
        RegisterClassEx(&wc);
        main = CreateWindowEx(0, "CaptureBenchWindow", "Main", WS_POPUP | WS_VISIBLE, 0, 0, 680, 520, nullptr,
                              nullptr, nullptr, nullptr);
        surface =
            CreateWindowEx(0, "CaptureBenchWindow", "", WS_CHILD | WS_VISIBLE, 10, 10, 640, 480, main,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_LIVE_VIDEO)), nullptr, nullptr);
        g_params.SetMainWnd(main);
    }
    ~Windows()
    {
        g_params.SetMainWnd(nullptr);
        DestroyWindow(main);
    }
    Windows(const Windows&) = delete;
    Windows& operator=(const Windows&) = delete;

    HWND main = nullptr;
    HWND surface = nullptr;
};

std::vector<std::string> s_gifs;

void RecordGif(const CString& path)
{
    s_gifs.push_back(path.Str());
}

/// A controller of the virtual camera with its preview running at `photoSize` ("1280 x 720"), once a
/// frame is on screen; null when the preview did not come up.
std::unique_ptr<CCaptureController> Previewing(CWinApp& app, const Windows& windows, const char* photoSize)
{
    // The virtual camera is model 25; its first graph reads the sizes stored for that model.
    app.WriteProfileString("Settings", "PhotoResolution_25", photoSize);
    app.WriteProfileString("Settings", "VideoResolution_25", "640 x 480");
    app.WriteProfileInt("Settings", "CamMode_25", 0);
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_CamMode = 0;
        g_params.m_PhotoResolution = photoSize;
    }
    auto controller = std::make_unique<CCaptureController>();
    controller->m_graph.DetectWebcamModel();
    controller->StartPreview();
    controller->SetMainWindow(windows.surface);
    for (int i = 0; i < 100 && controller->m_pVideoState->GetState() == VS_RUNNING; ++i)
    {
        CWindowlessRenderer* renderer = controller->m_graph.GetRenderer();
        if (renderer && renderer->GetCurrentImage())
        {
            renderer->FreeCurrentImage();
            return controller;
        }
        PumpMessages(50);
    }
    controller->StopPreview();
    return nullptr;
}

struct PhotoFigures
{
    std::vector<double> ms;
    double kib = 0;
    int width = 0;
    int height = 0;
    int failed = 0;
};

/// `shots` photos in `format` (1 BMP, 3 JPEG), each a fifth of a second after the last so that the
/// preview goes on meanwhile; the photo is on disk when Shoot returns at a native size.
PhotoFigures ShootSeries(CCaptureController& controller, int format, int shots)
{
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_PhotoFormat = format;
    }
    PhotoFigures figures;
    double bytes = 0;
    for (int i = 0; i < shots; ++i)
    {
        PumpMessages(200);
        const auto start = Clock::now();
        controller.Shoot();
        const double ms = Ms(start);
        const std::vector<CString> files = g_params.GetLastFiles();
        std::error_code ec;
        if (files.size() != 1 || fs::file_size(files[0].Str(), ec) == 0 || ec)
        {
            ++figures.failed;
            continue;
        }
        figures.ms.push_back(ms);
        bytes += static_cast<double>(fs::file_size(files[0].Str()));
        if (figures.width == 0)
        {
            CxImage photo;
            if (photo.Load(files[0].Str().c_str()))
            {
                figures.width = static_cast<int>(photo.GetWidth());
                figures.height = static_cast<int>(photo.GetHeight());
            }
        }
        fs::remove(files[0].Str(), ec);
    }
    if (!figures.ms.empty())
        figures.kib = bytes / static_cast<double>(figures.ms.size()) / 1024.0;
    return figures;
}

bool Run(const std::string& command)
{
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

/// The frames of a GIF as ffmpeg decodes them, each `width` x `height` RGB, top row first.
std::vector<std::vector<BYTE>> DecodeGif(const std::string& path, int width, int height)
{
    std::vector<std::vector<BYTE>> frames;
    const std::string command =
        "ffmpeg -nostdin -v error -i '" + path + "' -fps_mode passthrough -f rawvideo -pix_fmt rgb24 -";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return frames;
    std::vector<BYTE> frame(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    while (std::fread(frame.data(), 1, frame.size(), pipe) == frame.size())
        frames.push_back(frame);
    ::pclose(pipe);
    return frames;
}

/// PSNR over every sample of the frames both sides have; 0 when there is none.
double Psnr(const std::vector<CxImage>& source, const std::vector<std::vector<BYTE>>& decoded)
{
    double squared = 0;
    std::size_t samples = 0;
    for (std::size_t i = 0; i < source.size() && i < decoded.size(); ++i)
    {
        const long width = static_cast<long>(source[i].GetWidth());
        const long height = static_cast<long>(source[i].GetHeight());
        if (decoded[i].size() != static_cast<std::size_t>(width * height * 3))
            continue;
        for (long y = 0; y < height; ++y)
            for (long x = 0; x < width; ++x)
            {
                const RGBQUAD c = source[i].GetPixelColor(x, height - 1 - y);
                const BYTE* p = decoded[i].data() + static_cast<std::size_t>(y * width + x) * 3;
                const int d[3] = {c.rgbRed - p[0], c.rgbGreen - p[1], c.rgbBlue - p[2]};
                for (int v : d)
                    squared += static_cast<double>(v * v);
                samples += 3;
            }
    }
    if (samples == 0)
        return 0;
    const double mse = squared / static_cast<double>(samples);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

struct GifFigures
{
    bool ok = false;
    double ms = 0;
    double kib = 0;
    double psnr = 0;
    std::size_t frames = 0;
};

void PrintGifRow(const char* name, const GifFigures& figures)
{
    if (!figures.ok)
    {
        std::printf("  %-30s failed\n", name);
        return;
    }
    std::printf("  %-30s %9.1f %9.1f %9.2f %7zu\n", name, figures.ms, figures.kib, figures.psnr,
                figures.frames);
}

GifFigures Measure(const std::string& gif, const std::vector<CxImage>& frames, double ms, bool haveFfmpeg)
{
    GifFigures figures;
    std::error_code ec;
    const auto bytes = fs::file_size(gif, ec);
    if (ec)
        return figures;
    figures.ok = true;
    figures.ms = ms;
    figures.kib = static_cast<double>(bytes) / 1024.0;
    if (haveFfmpeg)
    {
        const auto decoded = DecodeGif(gif, static_cast<int>(frames.front().GetWidth()),
                                       static_cast<int>(frames.front().GetHeight()));
        figures.frames = decoded.size();
        figures.psnr = Psnr(frames, decoded);
    }
    return figures;
}

/// Frames for an image a fifth of a second apart, as the burst timer takes them; the camera's clock
/// moves in between.
std::vector<CxImage> GrabFrames(CCaptureController& controller, int count)
{
    std::vector<CxImage> frames;
    for (int i = 0; i < count; ++i)
    {
        PumpMessages(200);
        CxImage frame;
        if (controller.TakeSnapshot(frame))
            frames.push_back(std::move(frame));
    }
    return frames;
}

/// The controller's own series: the capture button, then one timer tick per frame; the last tick saves
/// every frame as a JPEG photo and makes the GIF. Prints the ticks' cost and that of the last one.
bool ControllerSeries(CCaptureController& controller, int count)
{
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_CamMode = 1;
        g_params.m_NbPictures = count;
        g_params.m_PhotoFormat = 3;
    }
    s_gifs.clear();
    controller.Shoot();
    std::vector<double> ticks;
    bool ok = controller.IsBurstRunning();
    for (int i = 0; ok && i < count; ++i)
    {
        PumpMessages(200);
        const auto start = Clock::now();
        ok = controller.OnBurstTimer();
        ticks.push_back(Ms(start));
    }
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_CamMode = 0;
    }
    const std::vector<CString> photos = g_params.GetLastFiles();
    std::error_code ec;
    for (const CString& photo : photos)
        fs::remove(photo.Str(), ec);
    if (!ok || ticks.empty() || s_gifs.size() != 1 || controller.IsBurstRunning())
    {
        std::printf("  %-30s failed\n", "controller series");
        return false;
    }
    const double last = ticks.back();
    ticks.pop_back();
    const double gifKib = static_cast<double>(fs::file_size(s_gifs[0], ec)) / 1024.0;
    std::printf("  %-30s %9.1f %9.1f   (%zu photos + GIF on the last tick; other ticks median %.1f ms)\n",
                "controller series, last tick", last, gifKib, photos.size(), Percentile(ticks, 0.5));
    return true;
}

/// The frames as one raw file of top-down BGR pictures, as ffmpeg reads them.
bool WriteRawFrames(const std::vector<CxImage>& frames, const fs::path& path)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool ok = true;
    for (const CxImage& frame : frames)
    {
        const long width = static_cast<long>(frame.GetWidth());
        const long height = static_cast<long>(frame.GetHeight());
        std::vector<BYTE> line(static_cast<std::size_t>(width) * 3);
        for (long y = 0; y < height; ++y)
        {
            for (long x = 0; x < width; ++x)
            {
                const RGBQUAD c = frame.GetPixelColor(x, height - 1 - y);
                BYTE* p = &line[static_cast<std::size_t>(x) * 3];
                p[0] = c.rgbBlue;
                p[1] = c.rgbGreen;
                p[2] = c.rgbRed;
            }
            ok = ok && std::fwrite(line.data(), 1, line.size(), file) == line.size();
        }
    }
    return std::fclose(file) == 0 && ok;
}

/// A burst of `count` frames of the camera's `pattern` to a GIF: the controller's series, then our
/// conversion and ffmpeg's on the same frames, `rounds` times side by side, with their ratios.
bool BurstToGif(CWinApp& app, const Windows& windows, const fs::path& folder, int count, int rounds,
                const std::string& pattern)
{
    auto controller = Previewing(app, windows, "640 x 480");
    if (!controller)
    {
        std::printf("\nBurst to GIF (%s): the preview did not start\n", pattern.c_str());
        return false;
    }
    bool ok = true;
    std::printf("\nBurst of %d frames of the \"%s\" pattern to an animated GIF\n", count, pattern.c_str());
    std::printf("  %-30s %9s %9s %9s %7s\n", "", "ms", "KiB", "PSNR dB", "frames");
    ok = ControllerSeries(*controller, count) && ok;
    std::vector<CxImage> frames = GrabFrames(*controller, count);
    controller->StopPreview();
    controller.reset();
    if (frames.empty())
    {
        std::printf("  no frame could be taken\n");
        return false;
    }
    const bool haveFfmpeg = Run("ffmpeg -version > /dev/null 2>&1");
    const fs::path raw = folder / ("frames-" + pattern + ".bgr");
    if (haveFfmpeg && !WriteRawFrames(frames, raw))
    {
        std::printf("  the frames could not be written for ffmpeg\n");
        return false;
    }

    // Each round runs our conversion while ffmpeg makes its GIF of the same frames.
    std::vector<double> timeRatios;
    std::vector<double> cpuRatios;
    GifFigures ours;
    GifFigures theirs;
    for (int round = 0; round < rounds; ++round)
    {
        const fs::path gif = folder / ("ffmpeg-" + pattern + ".gif");
        std::unique_ptr<bench::Reference> ffmpeg;
        if (haveFfmpeg)
            ffmpeg = std::make_unique<bench::Reference>(
                bench::FfmpegPaletteGif(raw.string(), static_cast<int>(frames.front().GetWidth()),
                                        static_cast<int>(frames.front().GetHeight()), gif.string()));
        s_gifs.clear();
        const double startCpu = bench::ProcessCpuSeconds();
        const auto start = Clock::now();
        {
            CGIFConversionTask task(CWnd::FromHandle(windows.main));
            task.Convert(frames);
        }
        const double oursMs = Ms(start);
        const double oursCpu = bench::ProcessCpuSeconds() - startCpu;
        const bool ffmpegOk = ffmpeg && ffmpeg->Wait();
        const bench::FfmpegTimes times =
            ffmpeg ? bench::ParseFfmpegBenchmark(ffmpeg->Output()) : bench::FfmpegTimes{};
        if (s_gifs.size() != 1)
        {
            ok = false;
            break;
        }
        if (round == 0)
            ours = Measure(s_gifs[0], frames, oursMs, haveFfmpeg);
        std::error_code ec;
        fs::remove(s_gifs[0], ec);
        if (!ffmpegOk || !times.ok)
            continue;
        if (round == 0)
            theirs = Measure(gif.string(), frames, times.real * 1000.0, true);
        timeRatios.push_back(oursMs / (times.real * 1000.0));
        cpuRatios.push_back(oursCpu / (times.user + times.system));
    }
    PrintGifRow("ours (CGIFConversionTask)", ours);
    ok = ours.ok && ok;
    if (!haveFfmpeg)
    {
        std::printf("  (no ffmpeg on the PATH: no comparison, no PSNR)\n");
        return ok;
    }
    PrintGifRow("ffmpeg palettegen + paletteuse", theirs);
    if (!ours.ok || !theirs.ok)
        return false;
    std::printf("  %-30s %9s %9.2f %9.2f\n", "ratio ours / ffmpeg", "", ours.kib / theirs.kib,
                ours.psnr / theirs.psnr);
    bench::PrintSpread("time ours / ffmpeg, side by side", timeRatios);
    bench::PrintSpread("CPU ours / ffmpeg, side by side", cpuRatios);
    return ok;
}
} // namespace

int main(int argc, char** argv)
{
    const int shots = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int burst = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    // The default bars have few colours; the colour sweep is the hard case for one 256-colour table.
    std::vector<std::string> patterns{"smpte", "colors"};
    if (argc > 4)
        patterns.assign(argv + 4, argv + argc);

    const fs::path folder = fs::temp_directory_path() / ("bench_capture_" + std::to_string(::getpid()));
    const fs::path photos = folder / "photos";
    for (const fs::path& path : {folder / "home", folder / "registry", folder / "videos", photos})
        fs::create_directories(path);
    // Nothing of the user's settings, documents or sound server is touched.
    setenv("HOME", (folder / "home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder / "home" / ".config").c_str(), 1);
    setenv("BREVICAM_REGISTRY_DIR", (folder / "registry").c_str(), 1);
    setenv("PULSE_SERVER", "unix:/nonexistent/brevicam-no-pulse", 1);
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    int status = 0;
    {
        CWinApp app("QPX_SE");
        app.SetRegistryKey("Tavisk");
        {
            CSingleLock lock(&g_params.m_cs, TRUE);
            g_params.m_VideoDevice = "";
            g_params.m_AudioDevice = "";
            g_params.m_VideoQuality = 0;
            g_params.m_VideoResolution = "640 x 480";
            g_params.m_PhotoPath = (photos.string() + "/").c_str();
            g_params.m_VideoPath = ((folder / "videos").string() + "/").c_str();
            g_params.m_CaptureFileName = "";
            g_params.m_NbPictures = burst;
            g_params.m_ImagesPerSecond = 5;
            g_params.m_CameraSound = 0;
        }
        CGIFConversionTask::SetFileOpener(&RecordGif);
        // Headless, a message box would wait for ever: boxes are recorded and answered at once instead.
        platform::zorneth::SetScriptedAnswers({});
        Windows windows;
        auto camera = platform::VirtualCamera::Create();

        // Shutter to file ----------------------------------------------------------------------------------
        std::printf("Shutter to file, %d shots per row, preview running (ms)\n", shots);
        std::printf("  %-6s %-11s %9s %9s %9s %9s %9s\n", "format", "size", "median", "p90", "min", "max",
                    "KiB");
        for (const char* size : {"640 x 480", "1280 x 720"})
        {
            auto controller = Previewing(app, windows, size);
            if (!controller)
            {
                std::printf("  the preview at %s did not start\n", size);
                status = 1;
                continue;
            }
            for (const auto& [format, name] : {std::pair{3, "JPEG"}, std::pair{1, "BMP"}})
            {
                const PhotoFigures figures = ShootSeries(*controller, format, shots);
                if (figures.ms.empty())
                {
                    std::printf("  %-6s %-11s no photo was written\n", name, size);
                    status = 1;
                    continue;
                }
                char written[32];
                std::snprintf(written, sizeof written, "%dx%d", figures.width, figures.height);
                const auto [low, high] = std::minmax_element(figures.ms.begin(), figures.ms.end());
                std::printf("  %-6s %-11s %9.1f %9.1f %9.1f %9.1f %9.1f", name, written,
                            Percentile(figures.ms, 0.5), Percentile(figures.ms, 0.9), *low, *high,
                            figures.kib);
                if (figures.failed > 0)
                    std::printf("  (%d shots failed)", figures.failed);
                std::printf("\n");
            }
            controller->StopPreview();
        }

        // Burst to GIF -------------------------------------------------------------------------------------
        for (const std::string& pattern : patterns)
        {
            camera.reset();
            camera = platform::VirtualCamera::Create({.pattern = pattern});
            if (!BurstToGif(app, windows, folder, burst, rounds, pattern))
                status = 1;
        }
        std::printf(
            "\nours: frames in memory to a GIF on disk, wait window included; ffmpeg: raw frames on disk\n"
            "to a GIF on disk in one process, its own rtime and utime + stime. PSNR against the camera's\n"
            "frames, over all frames. Ratios below 1: ours is smaller or faster.\n");
        CGIFConversionTask::SetFileOpener(nullptr);
        for (const auto& box : platform::zorneth::ScriptedBoxes())
        {
            std::printf("message box: %s\n", box.Text.c_str());
            status = 1;
        }
        platform::zorneth::ClearScriptedAnswers();
    }
    // The audio library's engine, built by the device enumeration, closes its window while the window
    // system is still there.
    platform::window::BeginShutdown();
    std::error_code ec;
    fs::remove_all(folder, ec);
    return status;
}
