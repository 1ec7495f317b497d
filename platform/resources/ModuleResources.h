#pragma once

#include "ResStream.h"

#include "platform/win/WinTypes.h"

#include <atomic>
#include <memory>
#include <vector>

namespace platform::resources
{
/// The parsed resources of one module. The entries point into the module's mapping (or into `owned`
/// for a data file). Held by shared pointer so that a lookup keeps it while another thread frees the
/// module's cache entry.
struct ModuleResources
{
    std::vector<std::vector<BYTE>> owned;
    bool hasStream = false;
    ParsedResources parsed;
    std::atomic<bool> reported{false};

    /// True when `entry` is one of this module's entries.
    bool Holds(const ResourceEntry* entry) const;
};

/// Builds the resources from the embedded streams of a module (each parsed; all must be sound).
std::shared_ptr<ModuleResources>
BuildModuleResources(const std::vector<std::pair<const BYTE*, std::size_t>>& streams,
                     std::vector<std::vector<BYTE>> owned, const char* modulePath);

/// The resources of a module handle (null: the executable). Null with the last error set when the
/// handle is not a module (ERROR_INVALID_HANDLE), has no resources (ERROR_RESOURCE_DATA_NOT_FOUND) or
/// holds a damaged stream (ERROR_INVALID_DATA).
std::shared_ptr<const ModuleResources> ResourcesOf(HMODULE module);
} // namespace platform::resources
