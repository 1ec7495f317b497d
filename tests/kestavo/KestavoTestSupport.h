#pragma once

#include "kestavo/Transcoder.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kestavo_test
{
struct ToolResult
{
    int exitCode = -1;
    std::string output;
};

/// Runs a program found on PATH with its output (stdout and stderr) captured.
ToolResult RunTool(const std::vector<std::string>& arguments);

/// Writes a short test clip with the real converter: `inputs` are converter input options (lavfi sources),
/// `options` the output options. Fails the calling test when the converter fails.
void MakeClip(const std::filesystem::path& path, const std::vector<std::string>& inputs,
              const std::vector<std::string>& options);

/// A 320x240 clip of 2 s at 15 fps with a sine tone: MPEG-4 and MP3 in AVI.
void MakeStandardClip(const std::filesystem::path& path, int width = 320, int height = 240,
                      double seconds = 2);

/// What ffprobe tells about a media file.
struct ProbeResult
{
    bool ok = false;
    std::string format;
    std::string videoCodec;
    int width = 0;
    int height = 0;
    std::string audioCodec;
    int sampleRate = 0;
    int channels = 0;
    double duration = 0;
};
ProbeResult Probe(const std::filesystem::path& path);

/// The real library, loaded from the build's bin folder and bound by name, as the program does.
class KestavoLibrary
{
public:
    explicit KestavoLibrary(const std::filesystem::path& path = DefaultPath());
    ~KestavoLibrary();
    KestavoLibrary(const KestavoLibrary&) = delete;
    KestavoLibrary& operator=(const KestavoLibrary&) = delete;

    static std::filesystem::path DefaultPath();

    transcoder::CreateVideoTranscoderInstanceFn CreateVideoTranscoderInstance = nullptr;
    transcoder::DeleteVideoTranscoderInstanceFn DeleteVideoTranscoderInstance = nullptr;
    transcoder::GetInfoFn get_info = nullptr;
    transcoder::GetFrameFn get_frame = nullptr;
    transcoder::CheckValidPspFn check_valid_psp = nullptr;

private:
    void* m_handle = nullptr;
};

/// One event as an observer saw it, with copies of its data.
struct RecordedEvent
{
    int event = -1;
    UINT message = 0;
    std::string source;
    std::string target;
    int code = 0;
    transcoder::TranscodeProgress progress{};
    int jobCountAtEvent = -1;
};

/// An observer that records every event; it asks the instance for its job count on every start, as the
/// program's progress dialog does, and acknowledges job errors unless told not to.
class EventRecorder : public transcoder::IUIObserver
{
public:
    explicit EventRecorder(transcoder::IVideoTranscoder* instance, bool acknowledgeErrors = true)
        : m_instance(instance), m_acknowledgeErrors(acknowledgeErrors)
    {
    }

    int Notify(UINT message, int event, const void* data) override;

    /// Waits until an event of this kind arrived (true) or the time ran out.
    bool WaitFor(int event, int timeoutSeconds = 60);
    /// Waits for the end of a run: TE_QUEUE_DONE or TE_JOB_ABORTED.
    bool WaitForEnd(int timeoutSeconds = 120);
    std::vector<RecordedEvent> Events();
    /// The event codes in order, progress events folded into one "P" per run of them.
    std::string Sequence();

private:
    transcoder::IVideoTranscoder* m_instance;
    bool m_acknowledgeErrors;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<RecordedEvent> m_events;
};

/// Processes whose parent is this process, zombies included.
std::vector<pid_t> ChildProcesses();
/// Whether the process still exists and is not a zombie.
bool ProcessAlive(pid_t pid);
/// Whether the process is gone within `limit`: a killed grandchild belongs to another parent, and the
/// kernel ends it a moment after the signal is sent.
bool ProcessEndsWithin(pid_t pid, std::chrono::milliseconds limit);
/// Open file descriptors of this process.
int OpenDescriptorCount();

/// Waits until a child of this process runs a converter whose arguments contain `needle`; its pid.
std::optional<pid_t> WaitForConverterChild(const std::string& needle, int timeoutSeconds = 30);

using testing_support::ScopedEnv;
using testing_support::WriteScript;

/// The folder of the real ffmpeg program.
std::filesystem::path RealConverterFolder();

/// A transcoder instance of the real library in a fresh folder. After each test no converter may be left
/// running or unreaped, and no descriptor may be left open.
class TranscoderFixture : public testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    /// Queues a job of the type with source and target in the test's folder (names relative to it).
    transcoder::IBaseJob* AddJob(const transcoder::GUID& type, const std::string& source,
                                 const std::string& target, SIZE size = SIZE{320, 240}, BOOL pad = TRUE);
    /// Registers the recorder, runs the queue and waits for its end.
    void RunToEnd(EventRecorder& recorder);
    std::filesystem::path Path(const std::string& name) const { return dir / name; }

    KestavoLibrary lib;
    testing_support::TempDir dir;
    transcoder::IVideoTranscoder* instance = nullptr;
    int descriptorsBefore = 0;
};
} // namespace kestavo_test
