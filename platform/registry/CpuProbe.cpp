#include "CpuProbe.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>

namespace platform::registry::detail
{
namespace
{
constexpr std::string_view kSpaces = " \t\r\n";
// Nothing runs above this; a larger figure is a damaged file, not a clock.
constexpr double kMaxPlausibleMHz = 100000.0;

std::string_view Trim(std::string_view text)
{
    const auto first = text.find_first_not_of(kSpaces);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kSpaces) - first + 1);
}

std::optional<std::string> ReadSmallFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return text.str();
}

// A whole non-negative decimal number and nothing else.
template <typename T> std::optional<T> ParseWhole(std::string_view text)
{
    text = Trim(text);
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<DWORD> RoundMHz(double mhz)
{
    if (!std::isfinite(mhz) || mhz < 0.5 || mhz > kMaxPlausibleMHz)
        return std::nullopt;
    return static_cast<DWORD>(std::lround(mhz));
}

std::optional<DWORD> SysfsMaxMHz(const std::filesystem::path& cpuFolder)
{
    const auto text = ReadSmallFile(cpuFolder / "cpufreq" / "cpuinfo_max_freq");
    if (!text)
        return std::nullopt;
    const auto kHz = ParseWhole<unsigned long long>(*text);
    if (!kHz)
        return std::nullopt;
    return RoundMHz(static_cast<double>(*kHz) / 1000.0);
}

// "processor : N" opens a processor's block; its "cpu MHz : 1600.000" line gives the clock.
void ReadCpuInfo(const std::filesystem::path& path, std::map<unsigned, std::optional<DWORD>>& cpus)
{
    const auto text = ReadSmallFile(path);
    if (!text)
        return;
    std::istringstream lines(*text);
    std::string line;
    std::optional<unsigned> current;
    while (std::getline(lines, line))
    {
        const auto colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const auto name = Trim(std::string_view(line).substr(0, colon));
        const auto value = Trim(std::string_view(line).substr(colon + 1));
        if (name == "processor")
        {
            current = ParseWhole<unsigned>(value);
            if (current)
                cpus.try_emplace(*current);
        }
        else if (name == "cpu MHz" && current)
        {
            double mhz = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), mhz);
            if (ec == std::errc() && end == value.data() + value.size())
                cpus[*current] = RoundMHz(mhz);
        }
    }
}
} // namespace

std::map<unsigned, DWORD> ProbeCpuClocks(const std::string& sysRoot, const std::string& procRoot)
{
    // Processors known to either source; cpuinfo's clock is kept as the fall-back.
    std::map<unsigned, std::optional<DWORD>> cpus;
    ReadCpuInfo(std::filesystem::path(procRoot) / "cpuinfo", cpus);

    const std::filesystem::path cpuRoot = std::filesystem::path(sysRoot) / "devices" / "system" / "cpu";
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(cpuRoot, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
    {
        const std::string name = it->path().filename().string();
        if (name.size() < 4 || name.compare(0, 3, "cpu") != 0)
            continue;
        const auto number = ParseWhole<unsigned>(std::string_view(name).substr(3));
        if (!number || name.find_first_not_of("0123456789", 3) != std::string::npos)
            continue;
        // The maximum clock is steady, unlike the momentary one cpuinfo shows under power saving.
        if (const auto mhz = SysfsMaxMHz(it->path()))
            cpus[*number] = mhz;
        else
            cpus.try_emplace(*number);
    }

    std::map<unsigned, DWORD> clocks;
    for (const auto& [number, mhz] : cpus)
        if (mhz)
            clocks.emplace(number, *mhz);
    return clocks;
}
} // namespace platform::registry::detail
