#pragma once

#include "platform/win/WinTypes.h"

#include <cstddef>

namespace transcoder
{
/// One row of the codec table: a handler code (first character in the lowest byte) and its codec name.
struct FourCCEntry
{
    DWORD code;
    const char* name;
};

inline constexpr std::size_t kFourCCTableSize = 242;

/// The codec table in its fixed order; rows are searched from the first, and letter case counts.
extern const FourCCEntry g_fourCCTable[kFourCCTableSize];

/// The name of the first row whose code equals `code` exactly, or null.
const char* FindCodecName(DWORD code);
} // namespace transcoder
