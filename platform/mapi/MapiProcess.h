#pragma once

#include <string>
#include <vector>

namespace platform::mapi::detail
{
/// How a helper program ended.
struct ProgramRun
{
    /// errno of a program that could not be started, 0 when it started.
    int spawnError = 0;
    /// The exit status of a program that exited, -1 after a signal or when it did not start.
    int exitCode = -1;
    /// Standard output, when asked for.
    std::string output;
    bool timedOut = false;
};

/// Runs a program found along PATH with these arguments (no shell), with standard input at its end and
/// none of our other descriptors. With `captureOutput`, standard output is collected and standard error
/// discarded; otherwise both go where ours go. A program still running after `timeoutMs` (negative: no
/// limit) is killed. Returns once the program has ended.
ProgramRun RunProgram(const std::vector<std::string>& arguments, bool captureOutput, int timeoutMs);
} // namespace platform::mapi::detail
