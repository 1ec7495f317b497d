#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

/// What the benchmark programs share: a reference program run beside our own code, its own timing, and
/// the spread of the ratios over the repeated rounds.
namespace bench
{
/// The smallest, middle and largest of a set of figures (0 for an empty set).
struct Spread
{
    double min = 0;
    double median = 0;
    double max = 0;
};
Spread SpreadOf(std::vector<double> values);

/// Prints "  <label>  min ... median ... max ... (n rounds)" on one line.
void PrintSpread(const char* label, const std::vector<double>& values);

/// Processor time (user + system) of the calling thread, of this whole process, and of another running
/// process (from /proc; -1 when it has gone), in seconds.
double ThreadCpuSeconds();
double ProcessCpuSeconds();
double ProcessCpuSeconds(pid_t pid);

/// Seconds on the monotonic clock.
double Now();

/// The folder of the running program: the plug-ins and libraries are built beside it.
std::filesystem::path ProgramFolder();

/// The figures ffmpeg's -benchmark option prints at its end (the processing alone, its start-up left
/// out), in seconds; `ok` false when the output carries no such line.
struct FfmpegTimes
{
    bool ok = false;
    double user = 0;
    double system = 0;
    double real = 0;
};
FfmpegTimes ParseFfmpegBenchmark(const std::string& output);

/// A reference program started in the background, its standard output and error kept in a temporary
/// file; stopped (SIGINT, then SIGKILL) when destroyed while still running.
class Reference
{
public:
    explicit Reference(const std::vector<std::string>& arguments);
    ~Reference();
    Reference(const Reference&) = delete;
    Reference& operator=(const Reference&) = delete;

    /// False when the program could not be started.
    bool Started() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    /// Processor time the program has used so far (-1 once it has ended).
    double CpuSeconds() const { return ProcessCpuSeconds(m_pid); }
    /// Waits for the end; true when it exited with status 0.
    bool Wait();
    /// Asks it to end (SIGINT, as a user's Ctrl+C) and waits for it.
    void Stop();
    /// What it printed so far.
    std::string Output() const;

private:
    pid_t m_pid = -1;
    int m_status = -1;
    std::filesystem::path m_output;
};

/// The words of `text`, split at spaces (no quoting: paths go in as words of their own).
std::vector<std::string> Words(const std::string& text);

/// ffmpeg's palettegen and paletteuse in one process, timed by its -benchmark figures: raw top-down BGR
/// frames of `width` x `height` at 5 frames per second to a looping GIF.
std::vector<std::string> FfmpegPaletteGif(const std::string& raw, int width, int height,
                                          const std::string& gif);

/// Runs a program to its end, its output discarded; true when it exited with status 0.
bool RunQuietly(const std::vector<std::string>& arguments);
} // namespace bench
