#pragma once

#include <gtk/gtk.h>

#include "BuiltInInterface/gtk_widgets.h"
#include "BuiltInInterface/launch_at_login_setting.h"
#include "platform/dispatch/signal_connection.h"

namespace built_in_interface {

// Shows a LaunchAtLoginSetting as one settings row with a switch. The switch only ever shows
// what the last read answered: flipping it asks for the change and leaves the switch where it
// was until the read after the change says where it is now; a refused change says so below.
// The setting is read again each time the row is shown. Main thread only.
class GtkLaunchAtLoginPanel {
 public:
  explicit GtkLaunchAtLoginPanel(LaunchAtLoginSetting& setting);
  ~GtkLaunchAtLoginPanel();
  GtkLaunchAtLoginPanel(const GtkLaunchAtLoginPanel&) = delete;
  GtkLaunchAtLoginPanel& operator=(const GtkLaunchAtLoginPanel&) = delete;

  GtkWidget* widget() const { return root_.get(); }

 private:
  static gboolean onStateSet(GtkSwitch*, gboolean state, gpointer self);
  static void onMap(GtkWidget*, gpointer self);
  void show();

  LaunchAtLoginSetting& setting_;
  OwnedWidget root_;
  GtkWidget* switch_;
  GtkWidget* note_;
  // Last, so that they end before the widgets they are on go.
  dispatch::SignalConnection stateSet_;
  dispatch::SignalConnection map_;
};

}  // namespace built_in_interface
