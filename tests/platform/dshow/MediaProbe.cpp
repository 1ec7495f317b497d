#include "MediaProbe.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <sstream>
#include <sys/wait.h>

namespace testing_support
{
namespace
{
std::string Run(const std::string& command, int* status)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
    {
        *status = -1;
        return output;
    }
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        output.append(buffer.data(), n);
    int rc = pclose(pipe);
    *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return output;
}

std::string Quote(const std::filesystem::path& path)
{
    std::string quoted = "'";
    for (char c : path.string())
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

double ParseRate(const std::string& text)
{
    auto slash = text.find('/');
    if (slash == std::string::npos)
        return std::atof(text.c_str());
    double den = std::atof(text.c_str() + slash + 1);
    return den > 0 ? std::atof(text.substr(0, slash).c_str()) / den : 0;
}
} // namespace

const MediaStream* MediaInfo::Stream(const std::string& type) const
{
    for (const auto& stream : streams)
        if (stream.type == type)
            return &stream;
    return nullptr;
}

MediaInfo ProbeMedia(const std::filesystem::path& file)
{
    MediaInfo info;
    int status = 0;
    std::string out = Run("ffprobe -v error -show_entries "
                          "format=duration:stream=codec_type,codec_name,width,height,r_frame_rate -of flat " +
                              Quote(file) + " 2>/dev/null",
                          &status);
    if (status != 0)
        return info;
    info.readable = true;
    std::map<int, MediaStream> streams;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line))
    {
        auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq);
        std::string value = line.substr(eq + 1);
        if (value.size() >= 2 && value.front() == '"')
            value = value.substr(1, value.size() - 2);
        if (key == "format.duration")
            info.duration = std::atof(value.c_str());
        else if (key.rfind("streams.stream.", 0) == 0)
        {
            int index = std::atoi(key.c_str() + 15);
            std::string field = key.substr(key.find('.', 15) + 1);
            auto& stream = streams[index];
            if (field == "codec_type")
                stream.type = value;
            else if (field == "codec_name")
                stream.codec = value;
            else if (field == "width")
                stream.width = std::atoi(value.c_str());
            else if (field == "height")
                stream.height = std::atoi(value.c_str());
            else if (field == "r_frame_rate")
                stream.frameRate = ParseRate(value);
        }
    }
    for (auto& [index, stream] : streams)
        info.streams.push_back(stream);
    // Packets in file order; B-frames aside (none here), their times only grow.
    std::istringstream times(Run("ffprobe -v error -select_streams v:0 -show_entries packet=pts_time "
                                 "-of csv=p=0 " +
                                     Quote(file) + " 2>/dev/null",
                                 &status));
    double previous = -1;
    for (std::string time; std::getline(times, time);)
    {
        if (time.empty() || time == "N/A")
            continue;
        const double at = std::atof(time.c_str());
        if (previous >= 0)
            info.longestVideoGap = std::max(info.longestVideoGap, at - previous);
        previous = at;
        info.videoTimes.push_back(at);
    }
    return info;
}

bool DecodesCleanly(const std::filesystem::path& file, int* videoFrames, std::string* errors)
{
    int status = 0;
    std::string out = Run("ffmpeg -nostdin -v error -i " + Quote(file) + " -f null - 2>&1", &status);
    if (errors)
        *errors = out;
    if (videoFrames)
    {
        int probeStatus = 0;
        std::string count = Run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                "stream=nb_read_frames -of default=nw=1:nk=1 " +
                                    Quote(file) + " 2>/dev/null",
                                &probeStatus);
        *videoFrames = std::atoi(count.c_str());
    }
    return status == 0;
}
GifProbe ProbeGif(const std::filesystem::path& file)
{
    GifProbe probe;
    const std::string command = "ffprobe -v error -select_streams v:0 -show_entries stream=width,height "
                                "-show_entries packet=duration -of default=noprint_wrappers=1 '" +
                                file.string() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return probe;
    char line[256];
    while (fgets(line, sizeof line, pipe))
    {
        int value = 0;
        if (std::sscanf(line, "width=%d", &value) == 1)
            probe.width = value;
        else if (std::sscanf(line, "height=%d", &value) == 1)
            probe.height = value;
        else if (std::sscanf(line, "duration=%d", &value) == 1)
            probe.durations.push_back(value);
    }
    pclose(pipe);
    probe.frames = static_cast<int>(probe.durations.size());
    return probe;
}
testing::AssertionResult DurationFits(const MediaInfo& file, const CallSpan& start, const CallSpan& end,
                                      double slackSeconds)
{
    using Seconds = std::chrono::duration<double>;
    const double seconds = file.duration;
    const double shortest =
        Seconds(end.began - start.returned).count() - slackSeconds - 2 * file.longestVideoGap;
    const double longest = Seconds(end.returned - start.began).count() + slackSeconds;
    if (seconds >= shortest && seconds <= longest)
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "the file lasts " << seconds << " s (longest pause " << file.longestVideoGap
           << " s), the recording between " << shortest << " s and " << longest << " s";
}
} // namespace testing_support
