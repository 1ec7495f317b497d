#pragma once

#include "platform/win/WinTypes.h"

#include <map>
#include <string>

namespace platform::registry::detail
{
/// Each processor's highest clock in MHz by processor number: the maximum frequency cpufreq reports
/// under `sysRoot` (kHz), else the "cpu MHz" line of that processor in `procRoot`/cpuinfo, rounded.
/// A processor whose clock can be read from neither is left out.
std::map<unsigned, DWORD> ProbeCpuClocks(const std::string& sysRoot, const std::string& procRoot);
} // namespace platform::registry::detail
