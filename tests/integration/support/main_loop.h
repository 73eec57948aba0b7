#pragma once

#include <glib.h>

#include <chrono>

namespace tessra::testing {

// Runs what is ready on GLib's default main context, without waiting for more.
inline void pumpPending() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

// Runs GLib's default main context until `condition` holds, and says whether it did. It
// waits in the context as the program's own loop does, so it wakes only for what the
// context is told (a source, a wake-up from another thread): a condition that changes
// outside the loop (another process, a file) wants eventually() with pumpPending() instead.
// `giveUp` is there only so that a fault fails the test instead of hanging it; it is no
// measure of speed.
//
//   ASSERT_TRUE(pumpUntil([&] { return completed; }));
template <typename Condition>
bool pumpUntil(Condition condition, std::chrono::milliseconds giveUp = std::chrono::minutes(1)) {
  bool late = false;
  const guint timer = g_timeout_add(
      static_cast<guint>(giveUp.count()),
      [](gpointer flag) -> gboolean {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      },
      &late);
  while (!condition()) {
    if (late) return false;
    g_main_context_iteration(nullptr, TRUE);
  }
  if (!late) g_source_remove(timer);
  return true;
}

}  // namespace tessra::testing
