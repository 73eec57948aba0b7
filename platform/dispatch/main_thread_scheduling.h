#pragma once

namespace dispatch {

// Asks the kernel to run the calling thread promptly when it wakes, by giving it the
// scheduler's shortest time slice: the main thread sleeps most of the time and, when a
// result arrives, works for a few microseconds, but during a sweep it shares two cores with
// hundreds of ping children and would otherwise wait behind them for milliseconds. Its
// share of the processor stays what it was. Threads and children started afterwards keep
// the kernel's default slice, so call it on the main thread before any other thread exists.
// Returns whether the kernel took it (kernels before 6.12 have no per-thread slice; a
// thread that runs under another scheduling policy is left alone).
bool preferPromptWakeups();

}  // namespace dispatch
