#pragma once

#include <gtk/gtk.h>

#include <functional>

#include "BuiltInInterface/gtk_launch_at_login_panel.h"
#include "BuiltInInterface/gtk_permission_panel.h"
#include "BuiltInInterface/gtk_quit_dialog.h"
#include "BuiltInInterface/gtk_scan_panel.h"
#include "BuiltInInterface/gtk_widgets.h"

namespace built_in_interface {

// The built-in interface as GTK widgets: the window's content, the two settings rows above
// the scan results. Also puts the quit question. Needs GTK to be initialised. Main thread
// only.
class GtkBuiltInContent {
 public:
  GtkBuiltInContent(ScanSession& scan, PermissionCheck& permission, LaunchAtLoginSetting& launchAtLogin);
  ~GtkBuiltInContent();
  GtkBuiltInContent(const GtkBuiltInContent&) = delete;
  GtkBuiltInContent& operator=(const GtkBuiltInContent&) = delete;

  GtkWidget* content() const { return content_.get(); }

  void askToQuit(std::function<void(bool quit)> answer);
  // While another interface (a driver) has taken over, says so and turns the controls off.
  void showInterfaceState(bool takenOver);

 private:
  // Declared first so that they go last: the panels disconnect from their widgets while the
  // widgets still exist.
  OwnedWidget content_;
  GtkWidget* takenOverBar_;
  GtkWidget* settings_;
  GtkQuitDialog quitDialog_;
  GtkScanPanel scanPanel_;
  GtkPermissionPanel permissionPanel_;
  GtkLaunchAtLoginPanel launchAtLoginPanel_;
};

}  // namespace built_in_interface
