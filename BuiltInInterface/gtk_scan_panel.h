#pragma once

#include <gtk/gtk.h>

#include "BuiltInInterface/gtk_widgets.h"
#include "BuiltInInterface/scan_session.h"
#include "platform/dispatch/signal_connection.h"

namespace built_in_interface {

// Shows a ScanSession: the progress figure and state in words, reachable hosts in a list of
// their own, the addresses that gave no reply in a dimmer list beside it, each address added
// in address order as its result arrives, with the "Scan network" and "Stop" buttons beside
// its heading. Main thread only.
class GtkScanPanel {
 public:
  explicit GtkScanPanel(ScanSession& session);
  ~GtkScanPanel();
  GtkScanPanel(const GtkScanPanel&) = delete;
  GtkScanPanel& operator=(const GtkScanPanel&) = delete;

  GtkWidget* widget() const { return root_.get(); }
  // Off while another interface has taken over; also looks again at whether a scan can start.
  void setControlsEnabled(bool enabled);

 private:
  static void onScanClicked(GtkButton*, gpointer self);
  static void onStopClicked(GtkButton*, gpointer self);
  void clear();
  void add(const ScanResult& result);
  void showStatus();

  ScanSession& session_;
  bool controlsEnabled_ = true;
  OwnedWidget root_;
  GtkWidget* scanButton_;
  GtkWidget* stopButton_;
  GtkWidget* status_;
  GtkWidget* progress_;
  GtkWidget* problem_;
  GtkWidget* reachableHeading_;
  GtkWidget* reachableList_;
  GtkWidget* silentHeading_;
  GtkWidget* silentList_;
  // Last, so that they end before the widgets they are on go.
  dispatch::SignalConnection scanClicked_;
  dispatch::SignalConnection stopClicked_;
};

}  // namespace built_in_interface
