// The cost of the live picture: the whole program in idle preview (the virtual camera shown in its main
// window) beside two GStreamer pipelines that display a camera picture at the same size, all running at the
// same time and measured over the same steady-state window; and the program's memory over a long preview.
// The first pipeline's source is a plain test source in the display's own format; the second's is the same
// camera as the program's: the test pattern in YUY2 with the running clock drawn on it. The program's
// figure includes that camera's work, since its virtual camera runs in its process, so the goal is read
// against the second; the first shows what the camera and its format cost beside the cheapest picture.
//
//   live_bench [--seconds S (30)] [--runs N (5)] [--warmup S (15)] [--display :N] [--program PATH]
//              [--camera raw|mjpeg (raw)]
//   live_bench --memory [--minutes M (10)] [--interval S (5)] [--warmup S (15)] [--display :N]
//              [--program PATH] [--camera raw|mjpeg (raw)]
//
// The program is build/bin/brevicam beside this bench unless --program names another. It runs with the
// virtual camera, a settings folder, home and runtime folder of its own in a temporary folder, and no sound
// server (the reference plays no sound either). The camera offers uncompressed frames only, as the
// reference's source delivers them; with --camera mjpeg it also offers Motion JPEG, which the program
// prefers, and then the camera's thread also encodes JPEG and the program decodes it. Without --display a
// private X server (Xvfb) is started.
// Start-ups stay outside the measured time: both processes start, run for the warm-up, and then the CPU
// time of each (all its threads, from /proc/<pid>/stat) is read at the start and at the end of every
// window. The X server's own work is counted for none of them. The ratio is ours / the reference's.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace
{
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Environment = std::vector<std::pair<std::string, std::string>>;

struct Options
{
    bool memory = false;
    int seconds = 30;
    int runs = 5;
    int warmup = 15;
    double minutes = 10;
    int interval = 5;
    std::string display;
    std::string program;
    std::string camera = "raw";
};

[[noreturn]] void Usage()
{
    std::fprintf(stderr,
                 "usage: live_bench [--seconds S] [--runs N] [--warmup S] [--display :N] [--program PATH] "
                 "[--camera raw|mjpeg]\n"
                 "       live_bench --memory [--minutes M] [--interval S] [--warmup S] [--display :N] "
                 "[--program PATH] [--camera raw|mjpeg]\n");
    std::exit(2);
}

Options Parse(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        if (arg == "--memory")
        {
            options.memory = true;
            continue;
        }
        if (i + 1 >= argc)
            Usage();
        const std::string value = argv[++i];
        if (arg == "--seconds")
            options.seconds = std::max(1, std::atoi(value.c_str()));
        else if (arg == "--runs")
            options.runs = std::max(1, std::atoi(value.c_str()));
        else if (arg == "--warmup")
            options.warmup = std::max(0, std::atoi(value.c_str()));
        else if (arg == "--minutes")
            options.minutes = std::max(0.1, std::atof(value.c_str()));
        else if (arg == "--interval")
            options.interval = std::max(1, std::atoi(value.c_str()));
        else if (arg == "--display")
            options.display = value;
        else if (arg == "--program")
            options.program = value;
        else if (arg == "--camera" && (value == "raw" || value == "mjpeg"))
            options.camera = value;
        else
            Usage();
    }
    return options;
}

/// A process this bench started; ended (SIGTERM, then SIGKILL after a bounded wait) when the object goes.
class Child
{
public:
    /// Starts `argv` with `environment` added to ours, its output into `log` (or nowhere), keeping
    /// descriptor `keepFd` open in it when it is not -1.
    Child(const std::vector<std::string>& argv, const Environment& environment, const std::string& log,
          int keepFd = -1)
        : m_name(argv.front())
    {
        m_pid = fork();
        if (m_pid == 0)
        {
            for (const auto& [name, value] : environment)
            {
                if (value.empty())
                    unsetenv(name.c_str());
                else
                    setenv(name.c_str(), value.c_str(), 1);
            }
            const int out = open(log.empty() ? "/dev/null" : log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            dup2(out, 2);
            std::vector<char*> args;
            for (const auto& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            if (keepFd >= 0)
                fcntl(keepFd, F_SETFD, 0);
            execvp(args[0], args.data());
            _exit(127);
        }
    }
    ~Child() { Stop(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t Pid() const { return m_pid; }
    const std::string& Name() const { return m_name; }
    bool Alive()
    {
        if (m_pid <= 0)
            return false;
        if (waitpid(m_pid, &m_status, WNOHANG) == 0)
            return true;
        m_pid = -1;
        return false;
    }
    void Stop()
    {
        if (!Alive())
            return;
        kill(m_pid, SIGTERM);
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < deadline)
        {
            if (waitpid(m_pid, &m_status, WNOHANG) == m_pid)
            {
                m_pid = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        kill(m_pid, SIGKILL);
        waitpid(m_pid, &m_status, 0);
        m_pid = -1;
    }

private:
    std::string m_name;
    pid_t m_pid = -1;
    int m_status = 0;
};

/// Starts a private X server; its display name (":N") in `display`, null when it did not start.
std::unique_ptr<Child> StartXServer(std::string& display)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return nullptr;
    auto server =
        std::make_unique<Child>(std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]),
                                                         "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
                                Environment{}, "", fds[1]);
    close(fds[1]);
    std::string number;
    pollfd in{fds[0], POLLIN, 0};
    // The server writes its display number once it accepts clients.
    while (poll(&in, 1, 20000) > 0)
    {
        char c = 0;
        if (read(fds[0], &c, 1) != 1 || c == '\n')
            break;
        number += c;
    }
    close(fds[0]);
    if (number.empty() || !server->Alive())
        return nullptr;
    display = ":" + number;
    return server;
}

/// CPU time (user and system) so far of the process or thread whose /proc stat file is `stat`, in clock
/// ticks; -1 when it is gone.
long long CpuTicks(const fs::path& stat)
{
    std::ifstream in(stat);
    std::string line;
    if (!std::getline(in, line))
        return -1;
    // The command name in parentheses may hold spaces: the fields are counted from its end. The state is
    // field 3; utime and stime are fields 14 and 15.
    const auto end = line.rfind(')');
    if (end == std::string::npos)
        return -1;
    std::istringstream fields(line.substr(end + 1));
    std::string skip;
    for (int field = 3; field <= 13; ++field)
        fields >> skip;
    long long user = 0;
    long long system = 0;
    if (!(fields >> user >> system))
        return -1;
    return user + system;
}

/// CPU time of a process so far (all its threads), in clock ticks; -1 when it is gone.
long long CpuTicks(pid_t pid)
{
    return CpuTicks("/proc/" + std::to_string(pid) + "/stat");
}

/// CPU time of each thread of a process so far, in clock ticks, by thread id, with the thread's name.
std::map<std::string, std::pair<std::string, long long>> ThreadTicks(pid_t pid)
{
    std::map<std::string, std::pair<std::string, long long>> threads;
    std::error_code error;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error))
    {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        std::getline(comm, name);
        const long long ticks = CpuTicks(task.path() / "stat");
        if (ticks >= 0)
            threads[task.path().filename()] = {name, ticks};
    }
    return threads;
}

/// Resident memory of a process (VmRSS) in KiB; -1 when it is gone.
long long RssKiB(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atoll(line.c_str() + 6);
    return -1;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string ProgramBeside()
{
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? "brevicam" : (self.parent_path() / "brevicam").string();
}

/// Waits `seconds` while every child keeps running; false (and says who ended) when one ends.
bool RunFor(double seconds, std::vector<Child*> children)
{
    const Clock::time_point end =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (Clock::now() < end)
    {
        for (Child* child : children)
            if (!child->Alive())
            {
                std::fprintf(stderr, "%s ended early\n", child->Name().c_str());
                return false;
            }
        std::this_thread::sleep_for(
            std::min<Clock::duration>(std::chrono::milliseconds(200), end - Clock::now()));
    }
    return true;
}

/// A displaying pipeline the program is measured against, with its figures.
struct Reference
{
    const char* name;
    bool goal = false;
    std::unique_ptr<Child> child;
    std::vector<double> cores;
    std::vector<double> ratios;
    long long ticks = 0;
};

int MeasureCpu(const Options& options, Child& program, const std::string& display)
{
    const Environment environment{{"DISPLAY", display}};
    const std::vector<std::string> shown = {
        "videoconvert", "!", "videoscale", "!", "video/x-raw,width=320,height=240", "!", "ximagesink"};
    auto pipeline = [&](std::vector<std::string> source)
    {
        source.insert(source.begin(), {"gst-launch-1.0", "-q"});
        source.push_back("!");
        source.insert(source.end(), shown.begin(), shown.end());
        return source;
    };
    Reference references[2];
    // A test source in the display's own format, without the clock: nothing to convert or draw.
    references[0].name = "plain source";
    references[0].child =
        std::make_unique<Child>(pipeline({"videotestsrc", "is-live=true", "!",
                                          "video/x-raw,width=640,height=480,framerate=30000/1001"}),
                                environment, "");
    // The same camera as the program's: the virtual camera's source in its YUY2 format with its clock, which
    // the program draws in its own process.
    references[1].name = "same camera";
    references[1].goal = true;
    references[1].child = std::make_unique<Child>(
        pipeline({"videotestsrc", "is-live=true", "!",
                  "video/x-raw,format=YUY2,width=640,height=480,framerate=30/1", "!", "clockoverlay",
                  "time-format=%H:%M:%S", "font-desc=Sans 10", "halignment=right", "valignment=bottom"}),
        environment, "");
    std::vector<Child*> all{&program};
    for (Reference& reference : references)
        all.push_back(reference.child.get());
    if (!RunFor(options.warmup, all))
        return 1;
    const double ticksPerSecond = static_cast<double>(sysconf(_SC_CLK_TCK));
    std::vector<double> ours;
    const auto threadsBefore = ThreadTicks(program.Pid());
    const auto measured = Clock::now();
    for (int run = 1; run <= options.runs; ++run)
    {
        const long long ours0 = CpuTicks(program.Pid());
        for (Reference& reference : references)
            reference.ticks = CpuTicks(reference.child->Pid());
        const auto start = Clock::now();
        if (!RunFor(options.seconds, all))
            return 1;
        const long long ours1 = CpuTicks(program.Pid());
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        if (ours0 < 0 || ours1 < 0)
            return 1;
        const double ourCore = 100.0 * static_cast<double>(ours1 - ours0) / ticksPerSecond / wall;
        ours.push_back(ourCore);
        std::printf("run %d: brevicam %5.1f %% of a core", run, ourCore);
        for (Reference& reference : references)
        {
            const long long after = CpuTicks(reference.child->Pid());
            if (reference.ticks < 0 || after < 0)
                return 1;
            const double theirCore =
                100.0 * static_cast<double>(after - reference.ticks) / ticksPerSecond / wall;
            reference.cores.push_back(theirCore);
            reference.ratios.push_back(theirCore > 0 ? ourCore / theirCore : 0);
            std::printf(", %s %5.1f %% (ratio %.2f)", reference.name, theirCore, reference.ratios.back());
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    // Where the program's time went, by thread name, over all the windows.
    const double measuredSeconds = std::chrono::duration<double>(Clock::now() - measured).count();
    std::map<std::string, double> byName;
    for (const auto& [tid, thread] : ThreadTicks(program.Pid()))
    {
        const auto before = threadsBefore.find(tid);
        byName[thread.first] +=
            static_cast<double>(thread.second - (before != threadsBefore.end() ? before->second.second : 0));
    }
    std::printf("brevicam by thread:");
    for (const auto& [name, ticks] : byName)
        if (ticks > 0)
            std::printf("  %s %.1f %%", name.c_str(), 100.0 * ticks / ticksPerSecond / measuredSeconds);
    std::printf("\n");
    std::printf("brevicam %% of a core  min %.1f  median %.1f  max %.1f\n",
                *std::min_element(ours.begin(), ours.end()), Median(ours),
                *std::max_element(ours.begin(), ours.end()));
    for (Reference& reference : references)
    {
        const auto [low, high] = std::minmax_element(reference.ratios.begin(), reference.ratios.end());
        std::printf(
            "%s: %% of a core  min %.1f  median %.1f  max %.1f; ratio ours/reference  min %.2f  median "
            "%.2f  max %.2f  (%d runs of %d s)\n",
            reference.name, *std::min_element(reference.cores.begin(), reference.cores.end()),
            Median(reference.cores), *std::max_element(reference.cores.begin(), reference.cores.end()), *low,
            Median(reference.ratios), *high, options.runs, options.seconds);
        if (reference.goal)
            std::printf("goal against the %s: median ratio <= 1.50: %s\n", reference.name,
                        Median(reference.ratios) <= 1.5 ? "met" : "missed");
    }
    return 0;
}

int MeasureMemory(const Options& options, Child& program)
{
    if (!RunFor(options.warmup, {&program}))
        return 1;
    std::vector<double> minutes;
    std::vector<double> kib;
    const auto start = Clock::now();
    const double total = options.minutes * 60;
    for (double at = 0; at <= total + 0.001; at += options.interval)
    {
        if (!RunFor(at - std::chrono::duration<double>(Clock::now() - start).count(), {&program}))
            return 1;
        const long long rss = RssKiB(program.Pid());
        if (rss < 0)
            return 1;
        minutes.push_back(std::chrono::duration<double>(Clock::now() - start).count() / 60);
        kib.push_back(static_cast<double>(rss));
        if (static_cast<int>(at) % 60 == 0)
        {
            std::printf("%5.1f min  %.1f MiB\n", minutes.back(), kib.back() / 1024);
            std::fflush(stdout);
        }
    }
    // Least-squares slope of the resident memory over time.
    const size_t n = minutes.size();
    double meanT = 0;
    double meanM = 0;
    for (size_t i = 0; i < n; ++i)
    {
        meanT += minutes[i] / static_cast<double>(n);
        meanM += kib[i] / static_cast<double>(n);
    }
    double covariance = 0;
    double variance = 0;
    for (size_t i = 0; i < n; ++i)
    {
        covariance += (minutes[i] - meanT) * (kib[i] - meanM);
        variance += (minutes[i] - meanT) * (minutes[i] - meanT);
    }
    const double slope = variance > 0 ? covariance / variance : 0;
    const double growth = slope * (minutes.back() - minutes.front());
    std::printf("resident memory over %.1f min (%zu samples): first %.1f MiB  last %.1f MiB  max %.1f MiB\n",
                minutes.back(), n, kib.front() / 1024, kib.back() / 1024,
                *std::max_element(kib.begin(), kib.end()) / 1024);
    std::printf("slope %.1f KiB/min, fitted growth over the run %.2f MiB\n", slope, growth / 1024);
    std::printf("goal: memory flat (fitted growth <= 1 MiB): %s\n", growth <= 1024 ? "met" : "missed");
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    const Options options = Parse(argc, argv);
    const std::string program = options.program.empty() ? ProgramBeside() : options.program;
    if (access(program.c_str(), X_OK) != 0)
    {
        std::fprintf(stderr, "no program at %s (build the brevicam target, or give --program)\n",
                     program.c_str());
        return 1;
    }
    std::string display = options.display;
    std::unique_ptr<Child> server;
    if (display.empty())
    {
        server = StartXServer(display);
        if (!server)
        {
            std::fprintf(stderr, "no X server started (is Xvfb installed?); give one with --display\n");
            return 1;
        }
    }
    char pattern[] = "/tmp/live_bench.XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const fs::path work = pattern;
    for (const char* folder : {"home", "registry", "runtime"})
        fs::create_directories(work / folder);
    fs::permissions(work / "runtime", fs::perms::owner_all);
    std::printf("program %s on display %s%s, %s camera\n", program.c_str(), display.c_str(),
                server ? " (Xvfb of its own)" : "", options.camera.c_str());
    std::fflush(stdout);
    int status = 1;
    {
        Child brevicam({program},
                       Environment{{"DISPLAY", display},
                                   {"QT_QPA_PLATFORM", "xcb"},
                                   {"WAYLAND_DISPLAY", ""},
                                   {"HOME", (work / "home").string()},
                                   {"XDG_CONFIG_HOME", (work / "home" / ".config").string()},
                                   {"XDG_RUNTIME_DIR", (work / "runtime").string()},
                                   {"BREVICAM_REGISTRY_DIR", (work / "registry").string()},
                                   {"BREVICAM_VIRTUAL_CAMERA", options.camera == "raw" ? "raw" : "1"},
                                   {"PULSE_SERVER", "unix:" + (work / "no-pulse").string()}},
                       (work / "program.log").string());
        status = options.memory ? MeasureMemory(options, brevicam) : MeasureCpu(options, brevicam, display);
        if (status != 0)
        {
            std::ifstream log(work / "program.log");
            std::fprintf(stderr, "the measurement failed; the program's output:\n%s\n",
                         std::string(std::istreambuf_iterator<char>(log), {}).c_str());
        }
    }
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return status;
}
