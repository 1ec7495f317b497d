#pragma once

#include "platform/win/WinTypes.h"

#include <filesystem>
#include <string>
#include <vector>

/// Test signals and checks of encoded output with the real ffmpeg program.
namespace media_checks
{
/// A voiced, speech-like signal: harmonics of a gliding 100..140 Hz pitch shaped by three formants and
/// a syllable envelope, below 3.4 kHz. `t` in seconds; peak about 12,000.
double Speech(double t);

/// `count` samples of Speech at `rate`, starting at sample `first`, as 16-bit PCM bytes.
std::vector<BYTE> SpeechPcm(unsigned rate, unsigned first, unsigned count);

/// Runs a shell command line; its exit status, with its error output in *errors.
int Run(const std::string& commandLine, std::string* errors);

/// Writes `bytes` to `path`.
void WriteFile(const std::filesystem::path& path, const std::vector<BYTE>& bytes);
std::vector<BYTE> ReadFile(const std::filesystem::path& path);

/// Signal-to-noise ratio in dB of `decoded` against `reference`, at the delay (0..maxLag samples of
/// `decoded`) that fits best, over the reference's samples from `skip` on.
double BestSnr(const std::vector<short>& reference, const std::vector<short>& decoded, int maxLag, int skip);

/// Peak signal-to-noise ratio in dB of two equal-sized 8-bit pictures.
double Psnr(const std::vector<BYTE>& a, const std::vector<BYTE>& b);
} // namespace media_checks
