#pragma once

// A stand-in for the desktop's mail hand-off: an `xdg-email` that records the arguments of every run.

#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace testing_support
{
/// Writes `bin`/xdg-email, which records the arguments of each run into a file of its own in `records`
/// ("args-<pid>", NUL after each argument); the file appears whole once written.
inline void WriteMailHandOffStandIn(const std::filesystem::path& bin, const std::filesystem::path& records)
{
    std::filesystem::create_directories(records);
    const std::string folder = records.string();
    WriteScript(bin / "xdg-email", "printf '%s\\0' \"$@\" > \"" + folder + "/part-$$\"\n/bin/mv \"" + folder +
                                       "/part-$$\" \"" + folder + "/args-$$\"\n");
}

/// The argument lists the stand-in has recorded in `records` so far, sorted.
inline std::vector<std::vector<std::string>> RecordedMailRuns(const std::filesystem::path& records)
{
    std::vector<std::vector<std::string>> runs;
    for (const std::string& name : FilesIn(records))
    {
        if (!name.starts_with("args-"))
            continue;
        std::vector<std::string> arguments;
        const std::string text = ReadFile(records / name);
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1)
            arguments.push_back(text.substr(start, end - start));
        runs.push_back(arguments);
    }
    std::sort(runs.begin(), runs.end());
    return runs;
}
} // namespace testing_support
