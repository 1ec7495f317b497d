// Encoding throughput of the two encoder plug-ins, driven through the test bench of source and sink
// filters, next to the same codecs used without them: the bare AMR-NB library behind the same rate
// converter (this ffmpeg has no AMR encoder), and ffmpeg's own mpeg4 encoder on the same frames.
#include "DirectShowFilters/tolquin/SpeechEncoderSettings.h"
#include "DirectShowFilters/vardell/VideoEncoderBitrate.h"
#include "tests/DirectShowFilters/MediaChecks.h"
#include "tests/DirectShowFilters/PinHarness.h"
#include "tests/support/TempDir.h"

#include <opencore-amrnb/interf_enc.h>
#include <samplerate.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <regex>
#include <string>

namespace
{
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
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

void BenchAmr(double seconds)
{
    constexpr unsigned kChunk = 2205;
    const auto chunks = static_cast<unsigned>(seconds * 10);
    std::vector<std::vector<BYTE>> input;
    for (unsigned i = 0; i < chunks; ++i)
        input.push_back(media_checks::SpeechPcm(22050, i * kChunk, kChunk));

    harness::Bench bench(harness::LoadFilter(harness::PluginPath("tolquin.so"), CLSID_SpeechEncoderFilter),
                         PcmType(), 44100);
    harness::ComPtr<ISpeechEncoderSettings> settings;
    bench.Filter()->QueryInterface(IID_ISpeechEncoderSettings, settings.PutVoid());
    settings->SetDTX(FALSE);
    if (FAILED(bench.Connect()) || FAILED(bench.Run()))
    {
        std::printf("AMR-NB: the filter did not start\n");
        return;
    }
    const auto filterStart = Clock::now();
    for (const auto& chunk : input)
        bench.Push(chunk);
    const double filterTime = Seconds(filterStart);
    bench.Stop();

    const auto libraryStart = Clock::now();
    int error = 0;
    SRC_STATE* converter = src_new(SRC_LINEAR, 1, &error);
    void* encoder = Encoder_Interface_init(0);
    std::vector<float> in(kChunk);
    std::vector<float> out(800);
    std::vector<short> frame(800);
    unsigned char bytes[32];
    for (const auto& chunk : input)
    {
        for (unsigned i = 0; i < kChunk; ++i)
            in[i] = static_cast<short>(chunk[2 * i] | (chunk[2 * i + 1] << 8));
        SRC_DATA data{in.data(), out.data(), kChunk, 800, 0, 0, 0, 8000.0 / 22050};
        src_process(converter, &data);
        for (long j = 0; j < data.output_frames_gen; ++j)
            frame[static_cast<std::size_t>(j)] = static_cast<short>(out[static_cast<std::size_t>(j)]);
        for (long j = 0; j + 160 <= data.output_frames_gen; j += 160)
            Encoder_Interface_Encode(encoder, MR122, frame.data() + j, bytes, 0);
    }
    Encoder_Interface_exit(encoder);
    src_delete(converter);
    const double libraryTime = Seconds(libraryStart);

    std::printf("AMR-NB 12.2 kbit/s, %.0f s of speech: filter %.3f s (%.0fx real time), bare library %.3f s; "
                "filter/library time ratio %.2f\n",
                seconds, filterTime, seconds / filterTime, libraryTime, filterTime / libraryTime);
}

void BenchMpeg4(int frames)
{
    constexpr int kWidth = 320;
    constexpr int kHeight = 240;
    const std::size_t frameBytes = static_cast<std::size_t>(kWidth) * kHeight * 3;
    std::vector<std::vector<BYTE>> input;
    for (int f = 0; f < frames; ++f)
    {
        std::vector<BYTE> picture(frameBytes);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
            {
                BYTE* p = &picture[(static_cast<std::size_t>(y) * kWidth + x) * 3];
                p[0] = static_cast<BYTE>(128 + 100 * std::sin((x + 3 * f) / 25.0));
                p[1] = static_cast<BYTE>(y + f);
                p[2] = static_cast<BYTE>(128 + 100 * std::cos((x + y - 2 * f) / 40.0));
            }
        input.push_back(std::move(picture));
    }

    harness::Bench bench(harness::LoadFilter(harness::PluginPath("vardell.so"), CLSID_Mpeg4EncoderFilter),
                         Rgb24Type(kWidth, kHeight), static_cast<long>(frameBytes));
    if (FAILED(bench.Connect()) || FAILED(bench.Run()))
    {
        std::printf("MPEG-4: the filter did not start\n");
        return;
    }
    const auto filterStart = Clock::now();
    for (int f = 0; f < frames; ++f)
        bench.Push(input[static_cast<std::size_t>(f)], f * 333333LL, (f + 1) * 333333LL);
    const double filterTime = Seconds(filterStart);
    bench.Stop();

    testing_support::TempDir dir;
    std::vector<BYTE> all;
    for (const auto& picture : input)
        all.insert(all.end(), picture.begin(), picture.end());
    media_checks::WriteFile(dir / "frames.raw", all);
    std::string output;
    media_checks::Run(
        "ffmpeg -nostdin -hide_banner -benchmark -f rawvideo -pix_fmt bgr24 -s 320x240 -r 30 -i " +
            (dir / "frames.raw").string() +
            " -c:v mpeg4 -b:v 384k -g 15 -bf 0 -flags +mv4 -f null - >/dev/null",
        &output);
    std::smatch match;
    const std::regex rtime("rtime=([0-9.]+)s");
    if (!std::regex_search(output, match, rtime))
    {
        std::printf("MPEG-4: ffmpeg gave no timing:\n%s\n", output.c_str());
        return;
    }
    const double ffmpegTime = std::stod(match[1].str());
    std::printf("MPEG-4 320x240 RGB24 at 384 kbit/s, %d frames: filter %.3f s (%.0f frames/s), ffmpeg mpeg4 "
                "%.3f s; filter/ffmpeg time ratio %.2f\n",
                frames, filterTime, frames / filterTime, ffmpegTime, filterTime / ffmpegTime);
}
} // namespace

int main()
{
    BenchAmr(60);
    BenchMpeg4(600);
    return 0;
}
