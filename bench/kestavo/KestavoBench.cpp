// Transcoder library costs next to the converter alone: one e-mail job through the library against the
// same ffmpeg command run directly at the same time, and get_info over many AVI files against reading the
// same files' stream information with libavformat in a second thread at the same time. Every comparison is
// repeated and prints the spread of its ratios. Prints figures.
//
//   kestavo_bench [seconds of video (20)] [AVI files (1000)] [rounds (5)]
//
// Start-ups: ffmpeg run directly is timed by its own -benchmark figures (its start-up left out); the
// library's job starts its converter itself, which is part of the job, and is given both with that start-up
// and without it (less the reference's own start-up and ending in the same round: its wall time from
// spawn to exit less its rtime).

#include "bench/support/BenchSupport.h"

#include "kestavo/Transcoder.h"

extern "C"
{
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace transcoder;

namespace
{
int Run(const std::vector<std::string>& arguments)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const auto& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class QueueWaiter : public IUIObserver
{
public:
    int Notify(UINT, int event, const void* data) override
    {
        if (event == TE_JOB_ERROR)
            std::fprintf(stderr, "job failed: %d\n", static_cast<const TranscoderJobStatus*>(data)->code);
        if (event == TE_QUEUE_DONE || event == TE_JOB_ABORTED)
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
            m_changed.notify_all();
        }
        return 0;
    }
    void Wait()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_done; });
        m_done = false;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_done = false;
};
} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
    const int files = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;

    const auto self = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    void* lib = dlopen((self / "libkestavo.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib)
    {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    const auto create =
        reinterpret_cast<CreateVideoTranscoderInstanceFn>(dlsym(lib, "CreateVideoTranscoderInstance"));
    const auto destroy =
        reinterpret_cast<DeleteVideoTranscoderInstanceFn>(dlsym(lib, "DeleteVideoTranscoderInstance"));
    const auto getInfo = reinterpret_cast<GetInfoFn>(dlsym(lib, "get_info"));

    char pattern[] = "/tmp/kestavo-bench-XXXXXX";
    const std::filesystem::path dir = mkdtemp(pattern);
    const auto clip = dir / "clip.avi";
    const std::string duration = std::to_string(seconds);
    if (Run({"ffmpeg", "-nostdin", "-y", "-f", "lavfi", "-i",
             "testsrc=duration=" + duration + ":size=640x480:rate=30", "-f", "lavfi", "-i",
             "sine=duration=" + duration, "-c:v", "mpeg4", "-c:a", "libmp3lame", "file:" + clip.string()}) !=
        0)
    {
        std::fprintf(stderr, "cannot make the test clip\n");
        return 1;
    }

    // One e-mail job: shrink to 320 x 240 with pad, as the program asks for; ffmpeg does the same beside it.
    std::vector<double> jobRatios;
    std::vector<double> jobRatiosWithoutStart;
    double libraryLast = 0;
    double directLast = 0;
    for (int round = 0; round < rounds; ++round)
    {
        IVideoTranscoder* instance = create();
        IBaseJob* job = instance->CreateJob(IID_IEmailMovieJob);
        job->SetSource(clip.c_str());
        job->SetTarget((dir / "library.avi").c_str());
        auto* rescaler = static_cast<IRescaler*>(job->QueryInterface(IID_IRescaler));
        rescaler->SetSize(SIZE{320, 240});
        rescaler->SetPad(TRUE);
        QueueWaiter waiter;
        instance->RegisterCallback(&waiter);
        const double directStart = bench::Now();
        bench::Reference direct({"ffmpeg", "-nostdin", "-benchmark", "-y", "-i", "file:" + clip.string(),
                                 "-vf", "scale=320:240,pad=320:240:0:0,setsar=1", "-f", "mpeg", "-vcodec",
                                 "mpeg1video", "-r", "30", "file:" + (dir / "direct.avi").string()});
        // The reference's end is taken when it ends, not when the library's job has ended too.
        bool ended = false;
        double directWall = 0;
        std::thread directWaiter(
            [&]
            {
                ended = direct.Wait();
                directWall = bench::Now() - directStart;
            });
        const double start = bench::Now();
        instance->RunJobQueue();
        waiter.Wait();
        const double library = bench::Now() - start;
        destroy(instance);
        directWaiter.join();
        const bench::FfmpegTimes times = bench::ParseFfmpegBenchmark(direct.Output());
        if (!ended || !times.ok || times.real <= 0)
        {
            std::printf("ffmpeg gave no timing:\n%s\n", direct.Output().c_str());
            break;
        }
        // The reference's own start-up and ending, measured in this round, stand for the converter's.
        const double startUp = std::max(0.0, directWall - times.real);
        jobRatios.push_back(library / times.real);
        jobRatiosWithoutStart.push_back(std::max(0.0, library - startUp) / times.real);
        libraryLast = library;
        directLast = times.real;
    }
    if (!jobRatios.empty())
    {
        std::printf(
            "e-mail job, %d s of 640x480, side by side: library %.3f s, ffmpeg alone %.3f s (rtime)\n",
            seconds, libraryLast, directLast);
        bench::PrintSpread("time library / ffmpeg", jobRatios);
        bench::PrintSpread("time library less a start-up / ffmpeg", jobRatiosWithoutStart);
    }

    // get_info over many small AVI files, and libavformat reading the same files in a second thread.
    const auto small = dir / "small.avi";
    Run({"ffmpeg", "-nostdin", "-y", "-f", "lavfi", "-i", "testsrc=duration=1:size=64x48:rate=15", "-c:v",
         "mpeg4", "-vtag", "XVID", "file:" + small.string()});
    std::vector<std::filesystem::path> avis;
    for (int i = 0; i < files; ++i)
    {
        avis.push_back(dir / (std::to_string(i) + ".avi"));
        std::filesystem::copy_file(small, avis.back());
    }
    av_log_set_level(AV_LOG_QUIET);
    std::vector<double> infoRatios;
    std::vector<double> infoCpuRatios;
    double infoLast = 0;
    double probeLast = 0;
    int valid = 0;
    int probed = 0;
    for (int round = 0; round < rounds; ++round)
    {
        double probeWall = 0;
        double probeCpu = 0;
        probed = 0;
        std::thread reference(
            [&]
            {
                const double cpu = bench::ThreadCpuSeconds();
                const double start = bench::Now();
                for (const auto& avi : avis)
                {
                    AVFormatContext* context = nullptr;
                    if (avformat_open_input(&context, avi.c_str(), nullptr, nullptr) != 0)
                        continue;
                    if (avformat_find_stream_info(context, nullptr) >= 0 && context->nb_streams > 0)
                        ++probed;
                    avformat_close_input(&context);
                }
                probeWall = bench::Now() - start;
                probeCpu = bench::ThreadCpuSeconds() - cpu;
            });
        const double cpu = bench::ThreadCpuSeconds();
        const double start = bench::Now();
        valid = 0;
        for (const auto& avi : avis)
            valid += getInfo(avi.c_str()).valid ? 1 : 0;
        const double info = bench::Now() - start;
        const double infoCpu = bench::ThreadCpuSeconds() - cpu;
        reference.join();
        infoRatios.push_back(probeWall > 0 ? info / probeWall : 0);
        infoCpuRatios.push_back(probeCpu > 0 ? infoCpu / probeCpu : 0);
        infoLast = info;
        probeLast = probeWall;
    }
    std::printf(
        "%d AVI files (%d valid, %d read by libavformat), side by side: get_info %.3f s (%.1f us each), "
        "libavformat %.3f s (%.1f us each)\n",
        files, valid, probed, infoLast, infoLast * 1e6 / files, probeLast, probeLast * 1e6 / files);
    bench::PrintSpread("time get_info / libavformat", infoRatios);
    bench::PrintSpread("CPU get_info / libavformat", infoCpuRatios);

    std::filesystem::remove_all(dir);
    dlclose(lib);
    return 0;
}
