#pragma once

#include "platform/win/Export.h"

#include <cstddef>
#include <functional>
#include <sys/types.h>

namespace platform::dshow
{
/// The call through which recorded files are written: like POSIX `write`, it returns the bytes written
/// (possibly fewer than asked) or -1 with errno set.
using FileWriteFunction = std::function<ssize_t(int fd, const void* data, std::size_t size)>;

/// Replaces the write call of the recording file sink, so that tests can make the disk fill up or fail
/// at a chosen point; an empty function restores `write`. Any thread; takes effect at the next write.
PLATFORM_API void SetFileWriteHook(FileWriteFunction hook);
} // namespace platform::dshow
