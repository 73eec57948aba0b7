#include "platform/dispatch/signal_connection.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <memory>

namespace dispatch {
namespace {

// A C++ owner of one connection, as panels and backends hold theirs.
struct Owner {
  static void onActivate(GSimpleAction*, GVariant*, gpointer self) { ++static_cast<Owner*>(self)->heard; }
  int heard = 0;
  SignalConnection activate;
};

TEST(SignalConnectionTest, AnInstanceThatOutlivesItsOwnerCallsNothingMore) {
  g_autoptr(GSimpleAction) action = g_simple_action_new("a", nullptr);
  auto owner = std::make_unique<Owner>();
  owner->activate.connect(action, "activate", G_CALLBACK(&Owner::onActivate), owner.get());
  g_action_activate(G_ACTION(action), nullptr);
  EXPECT_EQ(owner->heard, 1);
  owner.reset();
  g_action_activate(G_ACTION(action), nullptr);  // would reach freed memory (ASan) if still connected
  EXPECT_EQ(g_signal_has_handler_pending(action, g_signal_lookup("activate", G_TYPE_SIMPLE_ACTION), 0, TRUE), FALSE);
}

TEST(SignalConnectionTest, AnOwnerThatOutlivesItsInstanceHasNothingLeftToEnd) {
  Owner owner;
  GSimpleAction* action = g_simple_action_new("a", nullptr);
  owner.activate.connect(action, "activate", G_CALLBACK(&Owner::onActivate), &owner);
  g_object_unref(action);
  // No GLib critical (fatal here) about a gone instance or handler when the owner ends it.
  owner.activate.disconnect();
  EXPECT_EQ(owner.activate.id(), 0u);
}

}  // namespace
}  // namespace dispatch
