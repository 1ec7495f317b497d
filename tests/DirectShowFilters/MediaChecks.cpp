#include "MediaChecks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numbers>
#include <sys/wait.h>
#include <unistd.h>

namespace media_checks
{
double Speech(double t)
{
    constexpr double pi = std::numbers::pi;
    // Pitch glides as 120 + 20 sin(2 pi 0.5 t); its phase is the integral of that.
    const double phase = 2 * pi * (120 * t - 20 / pi * std::cos(pi * t));
    const double envelope = 0.25 + 0.75 * std::pow(std::sin(pi * 3 * t), 2);
    static constexpr double kFormants[3][3] = {{700, 130, 1.0}, {1220, 170, 0.5}, {2600, 250, 0.25}};
    double value = 0;
    for (int k = 1; k * 140 < 3400; ++k)
    {
        const double f = k * (120 + 20 * std::sin(pi * t));
        double gain = 0;
        for (const auto& formant : kFormants)
            gain += formant[2] * std::exp(-std::pow((f - formant[0]) / formant[1], 2));
        value += (0.05 + gain) * std::sin(k * phase);
    }
    return 4000 * envelope * value;
}

std::vector<BYTE> SpeechPcm(unsigned rate, unsigned first, unsigned count)
{
    std::vector<BYTE> bytes(count * 2);
    for (unsigned i = 0; i < count; ++i)
    {
        const double v = std::clamp(Speech(static_cast<double>(first + i) / rate), -32768.0, 32767.0);
        const auto s = static_cast<short>(std::lround(v));
        bytes[2 * i] = static_cast<BYTE>(s & 0xFF);
        bytes[2 * i + 1] = static_cast<BYTE>((s >> 8) & 0xFF);
    }
    return bytes;
}

int Run(const std::string& commandLine, std::string* errors)
{
    char name[] = "/tmp/brevicam-cmd-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0)
        close(fd);
    const int status = std::system((commandLine + " 2>" + name).c_str());
    if (errors)
    {
        std::ifstream in(name);
        errors->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::remove(name);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void WriteFile(const std::filesystem::path& path, const std::vector<BYTE>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<BYTE> ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

double BestSnr(const std::vector<short>& reference, const std::vector<short>& decoded, int maxLag, int skip)
{
    double best = -100;
    for (int lag = 0; lag <= maxLag; ++lag)
    {
        double signal = 0;
        double noise = 0;
        for (std::size_t n = static_cast<std::size_t>(skip);
             n < reference.size() && n + static_cast<std::size_t>(lag) < decoded.size(); ++n)
        {
            const double r = reference[n];
            const double e = r - decoded[n + static_cast<std::size_t>(lag)];
            signal += r * r;
            noise += e * e;
        }
        if (signal > 0 && noise > 0)
            best = std::max(best, 10 * std::log10(signal / noise));
    }
    return best;
}

double Psnr(const std::vector<BYTE>& a, const std::vector<BYTE>& b)
{
    if (a.size() != b.size() || a.empty())
        return 0;
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        const double d = static_cast<double>(a[i]) - b[i];
        sum += d * d;
    }
    const double mse = sum / static_cast<double>(a.size());
    return mse == 0 ? 100 : 10 * std::log10(255.0 * 255.0 / mse);
}
} // namespace media_checks
