#pragma once

#include <optional>

namespace process {

// Raises the soft limit on open descriptors to the hard limit. Desktop sessions often
// start programs at 1024, and a sweep holds about two descriptors per running child, so
// two overlapping sweeps would otherwise run out. Call once at start, before threads
// exist. Returns the soft limit now in force, or nothing when it could not be read.
std::optional<long> raiseDescriptorLimit();

// Grows the descriptor table now to hold `descriptors`, as far as the soft limit allows.
// The kernel grows it on demand, but once threads share it every growth waits for an RCU
// grace period: 5–11 ms measured, in the middle of a sweep's first launch loop on the main
// thread. A sweep holds two descriptors per running child (three while it waits for the
// launcher thread), so 1,024 covers one. Call once at start, before threads exist; the
// table never shrinks, so this costs nothing a sweep would not cost later (about 9 KiB).
void reserveDescriptorTable(int descriptors = 1024);

}  // namespace process
