#include "BenchSupport.h"

#include "platform/win/Process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace bench
{
namespace
{
double Seconds(const timespec& time)
{
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
}
} // namespace

Spread SpreadOf(std::vector<double> values)
{
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {values.front(), median, values.back()};
}

void PrintSpread(const char* label, const std::vector<double>& values)
{
    const Spread spread = SpreadOf(values);
    std::printf("  %-44s min %6.2f  median %6.2f  max %6.2f  (%zu rounds)\n", label, spread.min,
                spread.median, spread.max, values.size());
}

double ThreadCpuSeconds()
{
    timespec time{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
    return Seconds(time);
}

double ProcessCpuSeconds()
{
    timespec time{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &time);
    return Seconds(time);
}

double ProcessCpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The command name may hold spaces and brackets: the fields that follow start after its last ')'.
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    const char* fields = text.c_str() + close + 2;
    char state = 0;
    unsigned long user = 0;
    unsigned long system = 0;
    if (std::sscanf(fields, "%c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &state, &user, &system) !=
            3 ||
        state == 'Z')
        return -1;
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::filesystem::path ProgramFolder()
{
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
}

FfmpegTimes ParseFfmpegBenchmark(const std::string& output)
{
    static const std::regex line("bench: utime=([0-9.]+)s stime=([0-9.]+)s rtime=([0-9.]+)s");
    std::smatch match;
    if (!std::regex_search(output, match, line))
        return {};
    return {true, std::stod(match[1].str()), std::stod(match[2].str()), std::stod(match[3].str())};
}

Reference::Reference(const std::vector<std::string>& arguments)
{
    char name[] = "/tmp/brevicam-bench-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0)
        return;
    m_output = name;
    pid_t pid = -1;
    if (platform::SpawnProgram(arguments, {platform::kStdioNull, fd, fd}, &pid) == 0)
        m_pid = pid;
    close(fd);
}

Reference::~Reference()
{
    Stop();
    std::error_code ec;
    if (!m_output.empty())
        std::filesystem::remove(m_output, ec);
}

bool Reference::Wait()
{
    if (m_pid > 0)
    {
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR)
        {
        }
        m_status = status;
        m_pid = -1;
    }
    return WIFEXITED(m_status) && WEXITSTATUS(m_status) == 0;
}

void Reference::Stop()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGINT);
    for (int i = 0; i < 100; ++i)
    {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid)
        {
            m_status = status;
            m_pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(m_pid, SIGKILL);
    Wait();
}

std::string Reference::Output() const
{
    std::ifstream in(m_output);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> Words(const std::string& text)
{
    std::vector<std::string> words;
    std::istringstream stream(text);
    for (std::string word; stream >> word;)
        words.push_back(word);
    return words;
}

std::vector<std::string> FfmpegPaletteGif(const std::string& raw, int width, int height,
                                          const std::string& gif)
{
    std::vector<std::string> arguments = Words(
        "ffmpeg -nostdin -hide_banner -nostats -benchmark -y -f rawvideo -pix_fmt bgr24 -framerate 5 -s " +
        std::to_string(width) + "x" + std::to_string(height) + " -i");
    arguments.push_back(raw);
    for (std::string& word :
         Words("-filter_complex [0:v]split[a][b];[a]palettegen[p];[b][p]paletteuse -loop 0"))
        arguments.push_back(std::move(word));
    arguments.push_back(gif);
    return arguments;
}

bool RunQuietly(const std::vector<std::string>& arguments)
{
    pid_t pid = -1;
    if (platform::SpawnProgram(arguments, {platform::kStdioNull, platform::kStdioNull, platform::kStdioNull},
                               &pid) != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR)
    {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
} // namespace bench
