#pragma once

namespace process {

// Puts the calling process, and every child it makes from then on, in a scheduling group of
// its own at the lowest weight, so that however many of them are runnable they compete with
// the host as one small group, not each on its own. Left in the host's group, dozens of
// children at the lowest priority still kept the host's main thread from a core for tens of
// milliseconds on a slow machine: each that ended or moved to another core took its share
// of the group's progress with it, and the main thread waited to become eligible again.
//
// The group is the kernel's automatic one for a new session (setsid), weighted as nice 19;
// it takes effect where the processor is not divided by cgroups below the root (autogroups
// on, as Debian's kernel has them). Also ends any controlling terminal, so that a Ctrl+C
// meant for the host does not reach the children. Call once, single-threaded, at start;
// returns whether the group was made and weighted.
bool enterOwnSchedulingGroup();

}  // namespace process
