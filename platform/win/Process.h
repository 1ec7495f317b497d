#pragma once

#include "platform/win/Export.h"

#include <array>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform
{
/// Where a child's standard input, output or error goes: ours, the null device, or (any value >= 0) a
/// descriptor of ours.
constexpr int kStdioInherit = -2;
constexpr int kStdioNull = -1;

/// Starts `arguments` as a program, without a shell: the first argument is found along PATH unless it
/// names a folder. The child gets the three standard descriptors as `stdio` asks, none of our other
/// descriptors, and the default handling of every signal (our threads may block or ignore some). Returns
/// 0 and the child's id, or the errno of a program that could not be started.
PLATFORM_API int SpawnProgram(const std::vector<std::string>& arguments, const std::array<int, 3>& stdio,
                              pid_t* pid);

/// The first executable regular file of that name along PATH (an empty entry is the current folder, as
/// the shell reads it); empty when there is none or the name contains a folder.
PLATFORM_API std::string FindProgramOnPath(const std::string& name);
} // namespace platform
