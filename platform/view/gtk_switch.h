#pragma once

#include <gtk/gtk.h>

namespace view::gtk {

// Shows `on` on a switch whose "state-set" handler (`stateSetHandler`) takes the person's
// flips and returns TRUE, so that the switch never moves by itself. The handler is blocked
// meanwhile, so that showing is not taken for a flip; position and state both change, so a
// switch the person flipped springs back when the system refused the change. Main thread
// only.
inline void showSwitchState(GtkSwitch* widget, gulong stateSetHandler, bool on) {
  g_signal_handler_block(widget, stateSetHandler);
  gtk_switch_set_active(widget, on ? TRUE : FALSE);
  gtk_switch_set_state(widget, on ? TRUE : FALSE);
  g_signal_handler_unblock(widget, stateSetHandler);
}

}  // namespace view::gtk
