#pragma once

#include <gtk/gtk.h>

#include "BuiltInInterface/gtk_widgets.h"
#include "BuiltInInterface/permission_check.h"
#include "platform/dispatch/signal_connection.h"

namespace built_in_interface {

// Shows a PermissionCheck as one settings row: the last answer in words, a spinner and
// "Checking…" while a call is pending, and the "Check permission" button. Main thread only.
class GtkPermissionPanel {
 public:
  explicit GtkPermissionPanel(PermissionCheck& check);
  ~GtkPermissionPanel();
  GtkPermissionPanel(const GtkPermissionPanel&) = delete;
  GtkPermissionPanel& operator=(const GtkPermissionPanel&) = delete;

  GtkWidget* widget() const { return root_.get(); }

 private:
  static void onCheckClicked(GtkButton*, gpointer self);
  void show();

  PermissionCheck& check_;
  OwnedWidget root_;
  GtkWidget* answer_;
  GtkWidget* spinner_;
  GtkWidget* pending_;
  GtkWidget* button_;
  // Last, so that it ends before the widget it is on goes.
  dispatch::SignalConnection checkClicked_;
};

}  // namespace built_in_interface
