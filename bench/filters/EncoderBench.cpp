// Encoding throughput of the two encoder plug-ins, driven through the test bench of source and sink
// filters, each run at the same time as the same codec used without them, over the same input:
// - AMR-NB: the filter beside the bare AMR-NB library behind the same rate converter (this ffmpeg has no
//   AMR encoder), in two threads, each timed by its own processor time;
// - MPEG-4: the filter beside ffmpeg's own mpeg4 encoder with one thread and with as many as it chooses,
//   at 320x240 and 640x480, ffmpeg timed by its -benchmark figures (its start-up left out), and the PSNR
//   of both decoded streams against the frames.
// Each pair runs `rounds` times; the ratios print as min / median / max. Above 1 we are faster.
//
//   encoder_bench [rounds (5)] [frames (100)] [passes over the frames (5)]
//
// The plug-ins are loaded from the program's own folder, wherever it is started from.
#include "bench/support/BenchSupport.h"

#include "DirectShowFilters/tolquin/SpeechEncoderSettings.h"
#include "DirectShowFilters/vardell/VideoEncoderBitrate.h"
#include "tests/DirectShowFilters/MediaChecks.h"
#include "tests/DirectShowFilters/PinHarness.h"
#include "tests/support/TempDir.h"

#include <opencore-amrnb/interf_enc.h>
#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <thread>
#include <utility>

namespace
{
using harness::ComPtr;

/// The filter of `classId` from the plug-in `name` beside this program; null, with the reason printed,
/// when the plug-in or the class is missing.
ComPtr<IBaseFilter> LoadPlugin(const char* name, REFCLSID classId)
{
    const auto path = bench::ProgramFolder() / name;
    // Kept loaded for the rest of the process, as the object model keeps its plug-ins.
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module)
    {
        std::fprintf(stderr, "cannot load the plug-in %s: %s\n", path.c_str(), dlerror());
        return {};
    }
    const auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(module, "DllGetClassObject"));
    ComPtr<IClassFactory> factory;
    ComPtr<IBaseFilter> filter;
    if (!getClassObject || FAILED(getClassObject(classId, IID_IClassFactory, factory.PutVoid())) ||
        FAILED(factory->CreateInstance(nullptr, IID_IBaseFilter, filter.PutVoid())) || !filter)
    {
        std::fprintf(stderr, "the plug-in %s makes no filter of the class asked for\n", path.c_str());
        return {};
    }
    return filter;
}

CMediaType PcmType()
{
    CMediaType type;
    type.SetType(&MEDIATYPE_Audio);
    type.SetSubtype(&MEDIASUBTYPE_PCM);
    type.SetFormatType(&FORMAT_WaveFormatEx);
    type.SetSampleSize(2);
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0};
    type.SetFormat(reinterpret_cast<const BYTE*>(&format), sizeof(format));
    return type;
}

CMediaType Rgb24Type(int width, int height)
{
    CMediaType type;
    type.SetType(&MEDIATYPE_Video);
    type.SetSubtype(&MEDIASUBTYPE_RGB24);
    type.SetFormatType(&FORMAT_VideoInfo);
    VIDEOINFOHEADER header{};
    header.AvgTimePerFrame = 333333;
    header.bmiHeader = {40, width, -height, 1, 24, BI_RGB, static_cast<DWORD>(width * height * 3),
                        0,  0,     0,       0};
    type.SetFormat(reinterpret_cast<const BYTE*>(&header), sizeof(header));
    return type;
}

/// Seconds of processor time the filter took for the chunks; negative when it did not start.
double AmrFilter(const std::vector<std::vector<BYTE>>& input)
{
    const ComPtr<IBaseFilter> filter = LoadPlugin("tolquin.so", CLSID_SpeechEncoderFilter);
    if (!filter)
        return -1;
    harness::Bench bench(filter, PcmType(), 44100);
    harness::ComPtr<ISpeechEncoderSettings> settings;
    bench.Filter()->QueryInterface(IID_ISpeechEncoderSettings, settings.PutVoid());
    if (!settings || FAILED(settings->SetDTX(FALSE)) || FAILED(bench.Connect()) || FAILED(bench.Run()))
        return -1;
    const double start = bench::ThreadCpuSeconds();
    for (const auto& chunk : input)
        bench.Push(chunk);
    const double used = bench::ThreadCpuSeconds() - start;
    bench.Stop();
    return used;
}

double AmrLibrary(const std::vector<std::vector<BYTE>>& input, unsigned chunkSamples)
{
    const double start = bench::ThreadCpuSeconds();
    int error = 0;
    SRC_STATE* converter = src_new(SRC_LINEAR, 1, &error);
    void* encoder = Encoder_Interface_init(0);
    std::vector<float> in(chunkSamples);
    std::vector<float> out(800);
    std::vector<short> frame(800);
    unsigned char bytes[32];
    for (const auto& chunk : input)
    {
        for (unsigned i = 0; i < chunkSamples; ++i)
            in[i] = static_cast<short>(chunk[2 * i] | (chunk[2 * i + 1] << 8));
        SRC_DATA data{in.data(), out.data(), static_cast<long>(chunkSamples), 800, 0, 0, 0, 8000.0 / 22050};
        src_process(converter, &data);
        for (long j = 0; j < data.output_frames_gen; ++j)
            frame[static_cast<std::size_t>(j)] = static_cast<short>(out[static_cast<std::size_t>(j)]);
        for (long j = 0; j + 160 <= data.output_frames_gen; j += 160)
            Encoder_Interface_Encode(encoder, MR122, frame.data() + j, bytes, 0);
    }
    Encoder_Interface_exit(encoder);
    src_delete(converter);
    return bench::ThreadCpuSeconds() - start;
}

bool BenchAmr(int rounds, double seconds)
{
    constexpr unsigned kChunk = 2205;
    const auto chunks = static_cast<unsigned>(seconds * 10);
    std::vector<std::vector<BYTE>> input;
    for (unsigned i = 0; i < chunks; ++i)
        input.push_back(media_checks::SpeechPcm(22050, i * kChunk, kChunk));

    std::printf("AMR-NB 12.2 kbit/s, %.0f s of speech at 22050 Hz, filter and bare library side by side\n",
                seconds);
    std::vector<double> ratios;
    double filterCpu = 0;
    for (int round = 0; round < rounds; ++round)
    {
        double library = 0;
        std::thread reference([&] { library = AmrLibrary(input, kChunk); });
        filterCpu = AmrFilter(input);
        reference.join();
        if (filterCpu <= 0)
        {
            std::printf("  the filter did not start\n");
            return false;
        }
        ratios.push_back(library / filterCpu);
    }
    std::printf("  filter %.3f s CPU (%.0fx real time) in the last round\n", filterCpu, seconds / filterCpu);
    bench::PrintSpread("throughput filter / library", ratios);
    return true;
}

/// `count` moving pictures, top-down BGR.
std::vector<std::vector<BYTE>> Pictures(int width, int height, int count)
{
    std::vector<std::vector<BYTE>> pictures;
    for (int f = 0; f < count; ++f)
    {
        std::vector<BYTE> picture(static_cast<std::size_t>(width) * height * 3);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
            {
                BYTE* p = &picture[(static_cast<std::size_t>(y) * width + x) * 3];
                p[0] = static_cast<BYTE>(128 + 100 * std::sin((x + 3 * f) / 25.0));
                p[1] = static_cast<BYTE>(y + f);
                p[2] = static_cast<BYTE>(128 + 100 * std::cos((x + y - 2 * f) / 40.0));
            }
        pictures.push_back(std::move(picture));
    }
    return pictures;
}

struct FilterRun
{
    bool ok = false;
    double seconds = 0;
    double cpu = 0;
    std::vector<BYTE> stream;
};

/// The pictures pushed through the filter `passes` times over.
FilterRun Mpeg4Filter(const std::vector<std::vector<BYTE>>& pictures, int width, int height, int passes)
{
    FilterRun run;
    const ComPtr<IBaseFilter> filter = LoadPlugin("vardell.so", CLSID_Mpeg4EncoderFilter);
    if (!filter)
        return run;
    harness::Bench bench(filter, Rgb24Type(width, height), static_cast<long>(pictures.front().size()));
    if (FAILED(bench.Connect()) || FAILED(bench.Run()))
        return run;
    const double start = bench::Now();
    const double startCpu = bench::ThreadCpuSeconds();
    REFERENCE_TIME time = 0;
    for (int pass = 0; pass < passes; ++pass)
        for (const auto& picture : pictures)
        {
            if (FAILED(bench.Push(picture, time, time + 333333)))
                return run;
            time += 333333;
        }
    run.cpu = bench::ThreadCpuSeconds() - startCpu;
    run.seconds = bench::Now() - start;
    bench.Stop();
    run.stream = bench.Sink().Bytes();
    run.ok = true;
    return run;
}

/// ffmpeg coding the raw frames with the filter's encoder settings, `passes` times over with `threads`
/// threads (0: as many as it chooses), into `output` or nowhere.
std::vector<std::string> FfmpegMpeg4(const std::string& raw, int width, int height, int passes,
                                     const std::string& threads, const std::string& output)
{
    // One thread means one for the colour conversion too, as the filter has.
    std::vector<std::string> arguments =
        bench::Words("ffmpeg -nostdin -hide_banner -nostats -benchmark -y" +
                     std::string(threads == "1" ? " -filter_threads 1" : "") +
                     " -f rawvideo -pix_fmt bgr24 -s " + std::to_string(width) + "x" +
                     std::to_string(height) + " -r 30 -stream_loop " + std::to_string(passes - 1) + " -i");
    arguments.push_back(raw);
    for (std::string& word :
         bench::Words("-threads " + threads +
                      " -c:v mpeg4 -b:v 384k -bt 96k -g 15 -bf 0 -flags +mv4 -qcomp 0.5 -qblur 0.5 -qmin 2 "
                      "-qmax 31 -qdiff 3 -f " +
                      (output.empty() ? "null -" : "m4v")))
        arguments.push_back(std::move(word));
    if (!output.empty())
        arguments.push_back(output);
    return arguments;
}

/// PSNR of a decoded MPEG-4 stream against the pictures (top-down BGR); 0 when it does not decode.
double StreamPsnr(const std::filesystem::path& stream, const std::vector<std::vector<BYTE>>& pictures,
                  int width, int height)
{
    const auto decoded = stream.string() + ".bgr";
    if (!bench::RunQuietly({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "m4v", "-i", stream.string(),
                            "-f", "rawvideo", "-pix_fmt", "bgr24", decoded}))
        return 0;
    const std::vector<BYTE> frames = media_checks::ReadFile(decoded);
    const std::size_t frameBytes = static_cast<std::size_t>(width) * height * 3;
    if (frames.size() != frameBytes * pictures.size())
        return 0;
    std::vector<BYTE> all;
    for (const auto& picture : pictures)
        all.insert(all.end(), picture.begin(), picture.end());
    return media_checks::Psnr(all, frames);
}

bool BenchMpeg4(int rounds, int frames, int passes, int width, int height)
{
    const auto pictures = Pictures(width, height, frames);
    testing_support::TempDir dir;
    std::vector<BYTE> all;
    for (const auto& picture : pictures)
        all.insert(all.end(), picture.begin(), picture.end());
    const std::string raw = (dir / "frames.bgr").string();
    media_checks::WriteFile(raw, all);
    all.clear();
    all.shrink_to_fit();

    std::printf(
        "\nMPEG-4 %dx%d RGB24 at 384 kbit/s, %d frames %d times over, filter and ffmpeg mpeg4 side by "
        "side\n",
        width, height, frames, passes);
    // The quality both give, from one run each.
    const FilterRun quality = Mpeg4Filter(pictures, width, height, 1);
    if (!quality.ok)
    {
        std::printf("  the filter did not start\n");
        return false;
    }
    media_checks::WriteFile(dir / "ours.m4v", quality.stream);
    const auto theirs = dir / "ffmpeg.m4v";
    bench::RunQuietly(FfmpegMpeg4(raw, width, height, 1, "1", theirs.string()));
    std::printf("  PSNR: filter %.2f dB, ffmpeg (one thread) %.2f dB\n",
                StreamPsnr(dir / "ours.m4v", pictures, width, height),
                StreamPsnr(theirs, pictures, width, height));

    for (const char* count : {"1", "0"})
    {
        const std::string threads = count;
        std::vector<double> byTime;
        std::vector<double> byCpu;
        for (int round = 0; round < rounds; ++round)
        {
            bench::Reference ffmpeg(FfmpegMpeg4(raw, width, height, passes, threads, ""));
            const FilterRun ours = Mpeg4Filter(pictures, width, height, passes);
            const bool ended = ffmpeg.Wait();
            const bench::FfmpegTimes times = bench::ParseFfmpegBenchmark(ffmpeg.Output());
            if (!ours.ok || !ended || !times.ok)
            {
                std::printf("  ffmpeg -threads %s gave no timing:\n%s\n", threads.c_str(),
                            ffmpeg.Output().c_str());
                return false;
            }
            byTime.push_back(times.real / ours.seconds);
            byCpu.push_back((times.user + times.system) / ours.cpu);
            if (round == rounds - 1)
                std::printf(
                    "  ffmpeg -threads %s, last round: filter %.3f s (%.3f s CPU), ffmpeg %.3f s (%.3f s "
                    "CPU)\n",
                    threads.c_str(), ours.seconds, ours.cpu, times.real, times.user + times.system);
        }
        const std::string name = threads == "1" ? "one thread" : "threads auto";
        bench::PrintSpread(("throughput filter / ffmpeg " + name + ", time").c_str(), byTime);
        bench::PrintSpread(("throughput filter / ffmpeg " + name + ", CPU").c_str(), byCpu);
    }
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int frames = argc > 2 ? std::max(2, std::atoi(argv[2])) : 100;
    const int passes = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    bool ok = BenchAmr(rounds, 60);
    for (const auto& [width, height] : {std::pair{320, 240}, std::pair{640, 480}})
        ok = BenchMpeg4(rounds, frames, passes, width, height) && ok;
    return ok ? 0 : 1;
}
