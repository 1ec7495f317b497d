#include "PulseDaemon.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace testing_support
{
namespace
{
using Clock = std::chrono::steady_clock;

// Waits for a child to end within `timeoutMs`; its exit status, or -1 when it did not end or was killed.
int WaitForChild(pid_t pid, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;)
    {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (r < 0 && errno != EINTR)
            return -1;
        if (Clock::now() >= deadline)
            return -2;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::string FindProgram(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
    {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return "/usr/bin/" + name;
}

std::vector<char*> CStrings(std::vector<std::string>& strings)
{
    std::vector<char*> out;
    for (auto& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

bool StartsWithAny(const char* entry, std::initializer_list<const char*> prefixes)
{
    for (const char* p : prefixes)
    {
        if (std::strncmp(entry, p, std::strlen(p)) == 0)
            return true;
    }
    return false;
}
} // namespace

int RunProgram(const std::vector<std::string>& argv, std::string* output, int timeoutMs)
{
    int fds[2];
    if (argv.empty() || pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<std::string> args = argv;
    auto cargs = CStrings(args);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, args[0].c_str(), &actions, nullptr, cargs.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0)
    {
        close(fds[0]);
        return -1;
    }
    std::string collected;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool timedOut = false;
    for (;;)
    {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
        {
            timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        const int r = poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
        {
            timedOut = r == 0;
            break;
        }
        char buffer[4096];
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        collected.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (timedOut)
        kill(pid, SIGKILL);
    int status = WaitForChild(pid, timedOut ? 5000 : timeoutMs);
    if (status == -2)
    {
        kill(pid, SIGKILL);
        WaitForChild(pid, 5000);
        status = -1;
    }
    if (output)
        *output = std::move(collected);
    return timedOut ? -1 : status;
}

std::string PulseDaemon::WebcamModuleArguments()
{
    return std::string("source_name=") + kWebcam + " master=" + kTone1000Sink +
           ".monitor channels=2 channel_map=front-left,front-right"
           " master_channel_map=front-left,front-right remix=no"
           " source_properties='device.bus=usb device.vendor.id=" +
           kWebcamVendorId + " device.product.id=" + kWebcamProductId + " device.serial=" + kWebcamSerial +
           " device.description=\"" + kWebcamDescription + "\"'";
}

PulseDaemon::PulseDaemon()
{
    const auto dir = m_dir.Path();
    for (const char* sub : {"run", "home", "state"})
    {
        std::filesystem::create_directories(dir / sub);
        chmod((dir / sub).c_str(), 0700);
    }
    const std::string socket = (dir / "run" / "native").string();
    m_server = "unix:" + socket;

    // The sine generators play into null sinks of their own; the capture sources are mono copies of those
    // sinks' monitors. A source of module-sine-source would deliver its sine in two-second bursts, unlike
    // a microphone. The loopbacks keep the tone sinks rendering in small blocks all the time, so that
    // capture starts at once.
    std::ostringstream script;
    script << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << socket << "\n"
           << "load-module module-null-sink sink_name=" << kNullSink << "\n";
    for (const auto& [sink, frequency] : {std::pair{kTone440Sink, 440}, std::pair{kTone1000Sink, 1000}})
    {
        script << "load-module module-null-sink sink_name=" << sink << "\n"
               << "load-module module-sine sink=" << sink << " frequency=" << frequency << "\n"
               << "load-module module-loopback source=" << sink << ".monitor sink=" << kNullSink
               << " latency_msec=20 source_dont_move=true sink_dont_move=true\n"
               // A null sink renders far ahead until someone asks for less; resuming it starts afresh at
               // the loopback's small latency.
               << "suspend-sink " << sink << " 1\nsuspend-sink " << sink << " 0\n";
    }
    script << "load-module module-remap-source source_name=" << kSine440 << " master=" << kTone440Sink
           << ".monitor rate=22050 channels=1 channel_map=mono master_channel_map=front-left remix=no"
           << " source_properties='device.description=\"" << kSine440Description << "\"'\n"
           << "load-module module-remap-source source_name=" << kSine1000 << " master=" << kTone1000Sink
           << ".monitor rate=44100 channels=1 channel_map=mono master_channel_map=front-left remix=no"
           << " source_properties='device.description=\"" << kSine1000Description << "\"'\n"
           << "load-module module-remap-source " << WebcamModuleArguments() << "\n"
           << "set-default-source " << kSine440 << "\n";
    m_dir.WriteFile("default.pa", script.str());
    m_dir.WriteFile("client.conf", "autospawn = no\n");

    // The server's environment: ours, but with its own folders and without any session bus or display, so
    // it never meets the user's own server.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
    {
        if (!StartsWithAny(*e, {"PULSE_", "XDG_", "HOME=", "DISPLAY=", "WAYLAND_DISPLAY=", "DBUS_"}))
            env.emplace_back(*e);
    }
    env.push_back("HOME=" + (dir / "home").string());
    env.push_back("XDG_RUNTIME_DIR=" + (dir / "run").string());
    env.push_back("XDG_CONFIG_HOME=" + (dir / "home" / ".config").string());
    env.push_back("XDG_STATE_HOME=" + (dir / "state").string());
    env.push_back("PULSE_RUNTIME_PATH=" + (dir / "run").string());
    env.push_back("PULSE_STATE_PATH=" + (dir / "state").string());
    env.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=" + (dir / "no-bus").string());
    auto cenv = CStrings(env);
    std::vector<std::string> args = {
        FindProgram("pulseaudio"), "-n", "-F", (dir / "default.pa").string(), "--daemonize=no", "--system=no",
        "--exit-idle-time=-1", "--disallow-exit", "--use-pid-file=no", "--realtime=no", "--high-priority=no",
        // Samples travel over the socket: no shared memory to run short of
        // when many tests run at once in a small container.
        "--disable-shm=yes", "--log-target=stderr"};
    auto cargs = CStrings(args);
    const std::string logPath = (dir / "daemon.log").string();
    const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t parent = getpid();
    m_pid = fork();
    if (m_pid == 0)
    {
        // Only async-signal-safe calls here: the test process has threads.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        const int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, STDIN_FILENO);
        dup2(log, STDOUT_FILENO);
        dup2(log, STDERR_FILENO);
        execve(cargs[0], cargs.data(), cenv.data());
        _exit(127);
    }
    close(log);
    if (m_pid < 0)
        throw std::runtime_error("cannot start pulseaudio");

    const char* names[] = {"PULSE_SERVER", "PULSE_COOKIE", "PULSE_CLIENTCONFIG"};
    const std::string values[] = {m_server, (dir / "cookie").string(), (dir / "client.conf").string()};
    for (size_t i = 0; i < 3; ++i)
    {
        const char* old = std::getenv(names[i]);
        m_saved.push_back({names[i], old != nullptr, old ? old : ""});
        setenv(names[i], values[i].c_str(), 1);
    }

    const auto deadline = Clock::now() + std::chrono::seconds(20);
    for (;;)
    {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid)
        {
            m_pid = -1;
            Stop();
            throw std::runtime_error("pulseaudio ended at start:\n" + Log());
        }
        if (Pactl({"info"}) == 0)
            break;
        if (Clock::now() >= deadline)
        {
            Stop();
            throw std::runtime_error("pulseaudio did not answer:\n" + Log());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

PulseDaemon::~PulseDaemon()
{
    Stop();
}

void PulseDaemon::Stop()
{
    for (const auto& v : m_saved)
    {
        if (v.present)
            setenv(v.name.c_str(), v.value.c_str(), 1);
        else
            unsetenv(v.name.c_str());
    }
    m_saved.clear();
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    if (WaitForChild(m_pid, 5000) == -2)
    {
        kill(m_pid, SIGKILL);
        WaitForChild(m_pid, 5000);
    }
    m_pid = -1;
}

int PulseDaemon::Pactl(const std::vector<std::string>& args, std::string* output) const
{
    std::vector<std::string> argv = {"pactl", "--server=" + m_server};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, output);
}

int PulseDaemon::LoadModule(const std::string& name, const std::string& arguments) const
{
    std::string out;
    if (Pactl({"load-module", name, arguments}, &out) != 0)
        return -1;
    try
    {
        return std::stoi(out);
    }
    catch (const std::exception&)
    {
        return -1;
    }
}

bool PulseDaemon::UnloadModule(int index) const
{
    return Pactl({"unload-module", std::to_string(index)}) == 0;
}

int PulseDaemon::ModuleOfSource(const std::string& sourceName) const
{
    std::string out;
    if (Pactl({"list", "sources"}, &out) != 0)
        return -1;
    std::istringstream lines(out);
    std::string line;
    bool inSource = false;
    while (std::getline(lines, line))
    {
        const auto text = line.substr(std::min(line.find_first_not_of(" \t"), line.size()));
        if (text.rfind("Name: ", 0) == 0)
            inSource = text.substr(6) == sourceName;
        else if (inSource && text.rfind("Owner Module: ", 0) == 0)
        {
            try
            {
                return std::stoi(text.substr(14));
            }
            catch (const std::exception&)
            {
                return -1;
            }
        }
    }
    return -1;
}

std::string PulseDaemon::Log() const
{
    return ReadFile(m_dir / "daemon.log");
}
std::vector<unsigned> PulseDaemon::SourceVolumes(const std::string& source) const
{
    std::string out;
    if (Pactl({"get-source-volume", source}, &out) != 0)
        return {};
    // "Volume: front-left: 32769 /  50% / -18.06 dB,   front-right: ...": the numbers between ':' and '/'.
    std::vector<unsigned> volumes;
    for (size_t colon = out.find(':'); colon != std::string::npos; colon = out.find(':', colon + 1))
    {
        size_t i = out.find_first_not_of(' ', colon + 1);
        const size_t digits = i;
        while (i < out.size() && std::isdigit(static_cast<unsigned char>(out[i])))
            ++i;
        if (i == digits || i == std::string::npos)
            continue;
        const size_t slash = out.find_first_not_of(' ', i);
        if (slash != std::string::npos && out[slash] == '/')
            volumes.push_back(static_cast<unsigned>(std::stoul(out.substr(digits, i - digits))));
    }
    return volumes;
}

bool PulseDaemon::SourceMuted(const std::string& source) const
{
    std::string out;
    return Pactl({"get-source-mute", source}, &out) == 0 && out.find("Mute: yes") != std::string::npos;
}
} // namespace testing_support
