#pragma once

/// Marks the classes of the skinned controls library that calling programs embed or derive from;
/// everything else stays hidden.
#define FALDRA_API __attribute__((visibility("default")))
