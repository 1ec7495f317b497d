#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

/// The order file managers give names: runs of ASCII digits compare by their value ("a9" before "a10"),
/// everything else by character without regard to case (full Unicode case folding, so "Ä" and "ä" are
/// one letter). Equal values with different leading zeros put the longer run first ("a01" before "a1").
/// Returns a negative number, 0 or a positive number. Null sorts before any text. Any thread.
PLATFORM_API int StrCmpLogicalW(LPCWSTR first, LPCWSTR second);

namespace platform::shell
{
/// The same order for UTF-8 text; bytes that are no valid UTF-8 compare by their value, after every
/// character.
PLATFORM_API int StrCmpLogical(const char* first, const char* second);
} // namespace platform::shell
