#pragma once

/// Marks a symbol of the platform layer or of a deliverable as visible outside its module; everything
/// else is hidden by the build.
#define PLATFORM_API __attribute__((visibility("default")))
