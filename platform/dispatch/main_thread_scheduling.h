#pragma once

namespace dispatch {

// Asks the kernel to run the calling thread promptly when it wakes, by giving it the
// scheduler's shortest time slice: the main thread sleeps most of the time and, when a
// result arrives, works for a few microseconds, but during a sweep it shares two cores with
// hundreds of ping children and would otherwise wait behind them for milliseconds. Its
// share of the processor stays what it was, and threads and children that it starts
// afterwards get the kernel's default slice. Call it on the main thread. Returns whether
// the kernel took it (kernels before 6.12 have no slice per thread; a thread that runs
// under another scheduling policy is left alone).
bool preferPromptWakeups();

}  // namespace dispatch
