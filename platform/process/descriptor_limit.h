#pragma once

#include <optional>

namespace process {

// Raises the soft limit on open descriptors to the hard limit. Desktop sessions often
// start programs at 1024, and a sweep holds about two descriptors per running child, so
// two overlapping sweeps would otherwise run out. Call once at start, before threads
// exist. Returns the soft limit now in force, or nothing when it could not be read.
std::optional<long> raiseDescriptorLimit();

}  // namespace process
