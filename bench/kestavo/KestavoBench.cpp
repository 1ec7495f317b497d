// Transcoder library costs next to the converter alone: one e-mail job through the library against the
// same ffmpeg command run directly, and get_info over many AVI files against ffprobe. Prints figures.
//
//   kestavo_bench [seconds of video, default 20] [AVI files, default 1000]

#include "kestavo/Transcoder.h"

#include <chrono>
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
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace transcoder;
using Clock = std::chrono::steady_clock;

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

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
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

    // One e-mail job: shrink to 320 x 240 with pad, as the program asks for.
    IVideoTranscoder* instance = create();
    IBaseJob* job = instance->CreateJob(IID_IEmailMovieJob);
    job->SetSource(clip.c_str());
    job->SetTarget((dir / "library.avi").c_str());
    auto* rescaler = static_cast<IRescaler*>(job->QueryInterface(IID_IRescaler));
    rescaler->SetSize(SIZE{320, 240});
    rescaler->SetPad(TRUE);
    QueueWaiter waiter;
    instance->RegisterCallback(&waiter);
    auto start = Clock::now();
    instance->RunJobQueue();
    waiter.Wait();
    const double library = Seconds(Clock::now() - start);
    destroy(instance);

    start = Clock::now();
    Run({"ffmpeg", "-nostdin", "-y", "-i", "file:" + clip.string(), "-vf",
         "scale=320:240,pad=320:240:0:0,setsar=1", "-f", "mpeg", "-vcodec", "mpeg1video", "-r", "30",
         "file:" + (dir / "direct.avi").string()});
    const double direct = Seconds(Clock::now() - start);
    std::printf("e-mail job, %d s of 640x480: library %.3f s, ffmpeg alone %.3f s, ratio %.2f\n", seconds,
                library, direct, library / direct);

    // get_info over many small AVI files.
    const auto small = dir / "small.avi";
    Run({"ffmpeg", "-nostdin", "-y", "-f", "lavfi", "-i", "testsrc=duration=1:size=64x48:rate=15", "-c:v",
         "mpeg4", "-vtag", "XVID", "file:" + small.string()});
    std::vector<std::filesystem::path> avis;
    for (int i = 0; i < files; ++i)
    {
        avis.push_back(dir / (std::to_string(i) + ".avi"));
        std::filesystem::copy_file(small, avis.back());
    }
    start = Clock::now();
    int valid = 0;
    for (const auto& avi : avis)
        valid += getInfo(avi.c_str()).valid ? 1 : 0;
    const double info = Seconds(Clock::now() - start);
    start = Clock::now();
    for (const auto& avi : avis)
        Run({"ffprobe", "-v", "error", "-show_streams", "file:" + avi.string()});
    const double probe = Seconds(Clock::now() - start);
    std::printf("%d AVI files (%d valid): get_info %.3f s (%.1f us each), ffprobe %.3f s, ratio %.4f\n",
                files, valid, info, info * 1e6 / files, probe, info / probe);

    std::filesystem::remove_all(dir);
    dlclose(lib);
    return 0;
}
