#pragma once

#include <gtk/gtk.h>

#include <string>

#include "platform/dispatch/signal_connection.h"
#include "platform/observation/observer_list.h"
#include "platform/view/view.h"

namespace view::gtk {

// The string a Text shows: verbatim, or looked up in the "tessra" text domain.
std::string resolve(const Text& text);

// Hosts a Toggle as GTK 3 widgets: a horizontal box with the label and a GtkSwitch. The
// switch shows a fresh read of the binding: once at construction, and again on the next
// idle after each will-change of the binding's source (the way declarative toolkits mark a
// view dirty and redraw it later, so a burst of announcements costs one read). The user
// flipping the switch is one write through the binding; the switch then shows what the
// next read answers, so a refused change springs back. Main thread only.
class ToggleHost {
 public:
  explicit ToggleHost(const Toggle<Text>& toggle);
  // For a label of any other kind: `label` is the label widget; the host takes a reference.
  ToggleHost(Binding<bool> isOn, GtkWidget* label);
  ~ToggleHost();
  ToggleHost(const ToggleHost&) = delete;
  ToggleHost& operator=(const ToggleHost&) = delete;

  // The box holding label and switch; the host keeps a reference for as long as it lives.
  GtkWidget* widget() const { return box_; }
  GtkSwitch* switchWidget() const { return GTK_SWITCH(switch_); }
  GtkWidget* labelWidget() const { return label_; }
  // Whether a redraw is waiting for the next idle.
  bool redrawPending() const { return idleSource_ != 0; }

 private:
  static gboolean onStateSet(GtkSwitch* widget, gboolean state, gpointer self);
  static gboolean onIdle(gpointer self);
  void scheduleRedraw();
  void redraw();

  Binding<bool> isOn_;
  GtkWidget* box_ = nullptr;
  GtkWidget* label_ = nullptr;
  GtkWidget* switch_ = nullptr;
  dispatch::SignalConnection stateSet_;
  guint idleSource_ = 0;
  observation::AnyCancellable willChange_;
};

}  // namespace view::gtk
