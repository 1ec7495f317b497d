#include "KestavoTestSupport.h"

#include "platform/win/Kernel.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace kestavo_test
{
ToolResult RunTool(const std::vector<std::string>& arguments)
{
    ToolResult result;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    std::vector<char*> argv;
    for (const auto& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0)
    {
        close(fds[0]);
        return result;
    }
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            result.output.append(buffer, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR)
    {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

void MakeClip(const std::filesystem::path& path, const std::vector<std::string>& inputs,
              const std::vector<std::string>& options)
{
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    args.insert(args.end(), options.begin(), options.end());
    args.push_back("file:" + path.string());
    const ToolResult r = RunTool(args);
    ASSERT_EQ(r.exitCode, 0) << r.output;
}

void MakeStandardClip(const std::filesystem::path& path, int width, int height, double seconds)
{
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const std::string duration = std::to_string(seconds);
    MakeClip(path,
             {"-f", "lavfi", "-i", "testsrc=duration=" + duration + ":size=" + size + ":rate=15", "-f",
              "lavfi", "-i", "sine=frequency=440:duration=" + duration},
             {"-c:v", "mpeg4", "-q:v", "5", "-c:a", "libmp3lame", "-b:a", "64k", "-shortest"});
}

ProbeResult Probe(const std::filesystem::path& path)
{
    ProbeResult probe;
    const ToolResult r = RunTool(
        {"ffprobe", "-v", "error", "-show_streams", "-show_format", "-of", "json", "file:" + path.string()});
    if (r.exitCode != 0)
        return probe;
    const auto json = nlohmann::json::parse(r.output, nullptr, false);
    if (json.is_discarded())
        return probe;
    probe.ok = true;
    probe.format = json.value("format", nlohmann::json::object()).value("format_name", "");
    probe.duration = std::atof(json.value("format", nlohmann::json::object()).value("duration", "0").c_str());
    for (const auto& stream : json.value("streams", nlohmann::json::array()))
    {
        const std::string type = stream.value("codec_type", "");
        if (type == "video" && probe.videoCodec.empty())
        {
            probe.videoCodec = stream.value("codec_name", "");
            probe.width = stream.value("width", 0);
            probe.height = stream.value("height", 0);
        }
        else if (type == "audio" && probe.audioCodec.empty())
        {
            probe.audioCodec = stream.value("codec_name", "");
            probe.sampleRate = std::atoi(stream.value("sample_rate", "0").c_str());
            probe.channels = stream.value("channels", 0);
        }
    }
    return probe;
}

KestavoLibrary::KestavoLibrary(const std::filesystem::path& path)
{
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle)
    {
        ADD_FAILURE() << "cannot load " << path << ": " << dlerror();
        return;
    }
    CreateVideoTranscoderInstance = reinterpret_cast<transcoder::CreateVideoTranscoderInstanceFn>(
        dlsym(m_handle, "CreateVideoTranscoderInstance"));
    DeleteVideoTranscoderInstance = reinterpret_cast<transcoder::DeleteVideoTranscoderInstanceFn>(
        dlsym(m_handle, "DeleteVideoTranscoderInstance"));
    get_info = reinterpret_cast<transcoder::GetInfoFn>(dlsym(m_handle, "get_info"));
    get_frame = reinterpret_cast<transcoder::GetFrameFn>(dlsym(m_handle, "get_frame"));
    check_valid_psp = reinterpret_cast<transcoder::CheckValidPspFn>(dlsym(m_handle, "check_valid_psp"));
    EXPECT_TRUE(CreateVideoTranscoderInstance && DeleteVideoTranscoderInstance && get_info && get_frame &&
                check_valid_psp);
}

KestavoLibrary::~KestavoLibrary()
{
    if (m_handle)
        dlclose(m_handle);
}

std::filesystem::path KestavoLibrary::DefaultPath()
{
    // The test programs are built into the same folder as the libraries.
    return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "libkestavo.so";
}

int EventRecorder::Notify(UINT message, int event, const void* data)
{
    RecordedEvent e;
    e.event = event;
    e.message = message;
    switch (event)
    {
    case transcoder::TE_JOB_STARTED:
    {
        const auto* info = static_cast<const transcoder::TranscoderJobInfo*>(data);
        e.source = info->source;
        e.target = info->target;
        e.jobCountAtEvent = m_instance->GetJobCount();
        break;
    }
    case transcoder::TE_JOB_PROGRESS:
        e.progress = *static_cast<const transcoder::TranscodeProgress*>(data);
        break;
    case transcoder::TE_JOB_ERROR:
    case transcoder::TE_JOB_DONE:
    case transcoder::TE_JOB_ABORTED:
    {
        const auto* status = static_cast<const transcoder::TranscoderJobStatus*>(data);
        e.source = status->source;
        e.code = status->code;
        break;
    }
    case transcoder::TE_QUEUE_DONE:
        e.code = *static_cast<const int*>(data);
        break;
    default:
        break;
    }
    if (event == transcoder::TE_JOB_ERROR && m_acknowledgeErrors)
        m_instance->SignalErrorHandled();
    {
        std::lock_guard lock(m_mutex);
        m_events.push_back(e);
    }
    m_changed.notify_all();
    return 0;
}

bool EventRecorder::WaitFor(int event, int timeoutSeconds)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::seconds(timeoutSeconds),
                              [&]
                              {
                                  for (const auto& e : m_events)
                                      if (e.event == event)
                                          return true;
                                  return false;
                              });
}

bool EventRecorder::WaitForEnd(int timeoutSeconds)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::seconds(timeoutSeconds),
                              [&]
                              {
                                  for (const auto& e : m_events)
                                      if (e.event == transcoder::TE_QUEUE_DONE ||
                                          e.event == transcoder::TE_JOB_ABORTED)
                                          return true;
                                  return false;
                              });
}

std::vector<RecordedEvent> EventRecorder::Events()
{
    std::lock_guard lock(m_mutex);
    return m_events;
}

std::string EventRecorder::Sequence()
{
    static const char* const kNames[] = {"S", "P", "E", "D", "A", "Q"};
    std::string sequence;
    for (const auto& e : Events())
    {
        const std::string name = e.event >= 0 && e.event <= 5 ? kNames[e.event] : "?";
        if (name == "P" && !sequence.empty() && sequence.back() == 'P')
            continue;
        sequence += name;
    }
    return sequence;
}

namespace
{
std::optional<std::string> ProcStat(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat))
        return std::nullopt;
    return stat;
}

std::string ProcCommandLine(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (char& c : text)
        if (c == '\0')
            c = ' ';
    return text;
}
} // namespace

std::vector<pid_t> ChildProcesses()
{
    std::vector<pid_t> children;
    DIR* dir = opendir("/proc");
    if (!dir)
        return children;
    const pid_t self = getpid();
    while (const dirent* entry = readdir(dir))
    {
        const pid_t pid = std::atoi(entry->d_name);
        if (pid <= 0)
            continue;
        const auto stat = ProcStat(pid);
        if (!stat)
            continue;
        // The fields after the command name, which is in parentheses and may hold blanks.
        const auto close = stat->rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 0;
        int ppid = 0;
        if (std::sscanf(stat->c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == self)
            children.push_back(pid);
    }
    closedir(dir);
    return children;
}

bool ProcessAlive(pid_t pid)
{
    const auto stat = ProcStat(pid);
    if (!stat)
        return false;
    const auto close = stat->rfind(')');
    char state = 0;
    return close != std::string::npos && std::sscanf(stat->c_str() + close + 1, " %c", &state) == 1 &&
           state != 'Z' && state != 'X';
}

bool ProcessEndsWithin(pid_t pid, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (ProcessAlive(pid))
    {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

int OpenDescriptorCount()
{
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    if (!dir)
        return -1;
    while (const dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.')
            ++count;
    closedir(dir);
    return count - 1; // the folder's own descriptor
}

std::optional<pid_t> WaitForConverterChild(const std::string& needle, int timeoutSeconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    while (std::chrono::steady_clock::now() < deadline)
    {
        for (pid_t pid : ChildProcesses())
            if (ProcessAlive(pid) && ProcCommandLine(pid).find(needle) != std::string::npos)
                return pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::nullopt;
}

std::filesystem::path RealConverterFolder()
{
    const ToolResult r = RunTool({"sh", "-c", "command -v ffmpeg"});
    std::string path = r.output;
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r'))
        path.pop_back();
    return std::filesystem::path(path).parent_path();
}

void TranscoderFixture::SetUp()
{
    descriptorsBefore = OpenDescriptorCount();
    instance = lib.CreateVideoTranscoderInstance();
    ASSERT_NE(instance, nullptr);
}

void TranscoderFixture::TearDown()
{
    if (instance)
        lib.DeleteVideoTranscoderInstance(instance);
    instance = nullptr;
    for (pid_t pid : ChildProcesses())
        ADD_FAILURE() << "converter process " << pid << " left behind";
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
}

transcoder::IBaseJob* TranscoderFixture::AddJob(const transcoder::GUID& type, const std::string& source,
                                                const std::string& target, SIZE size, BOOL pad)
{
    transcoder::IBaseJob* job = instance->CreateJob(type);
    EXPECT_NE(job, nullptr);
    if (!job)
        return nullptr;
    job->SetSource(Path(source).c_str());
    job->SetTarget(Path(target).c_str());
    auto* rescaler = static_cast<transcoder::IRescaler*>(job->QueryInterface(transcoder::IID_IRescaler));
    EXPECT_NE(rescaler, nullptr);
    if (rescaler)
    {
        rescaler->SetSize(size);
        rescaler->SetPad(pad);
    }
    return job;
}

void TranscoderFixture::RunToEnd(EventRecorder& recorder)
{
    instance->RegisterCallback(&recorder);
    const HANDLE worker = instance->RunJobQueue();
    ASSERT_NE(worker, nullptr);
    ASSERT_TRUE(recorder.WaitForEnd());
    // The worker ends right after its last event.
    ASSERT_EQ(WaitForSingleObject(worker, 10000), WAIT_OBJECT_0);
}
} // namespace kestavo_test
