#pragma once

#include <filesystem>

namespace testing_support
{
/// Mounts a tmpfs of `kilobytes` at `where` (created when missing) in a private mount namespace, so that a
/// test can fill a disk without touching the machine's. The namespace is the calling thread's (and that of
/// threads it starts afterwards): threads started before keep seeing the real folder. False when the system
/// allows neither a mount namespace nor a user namespace to make one in; the test then skips.
bool MountSmallTmpfs(const std::filesystem::path& where, int kilobytes);
} // namespace testing_support
