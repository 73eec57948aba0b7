#include "BuiltInInterface/gtk_scan_panel.h"

#include "BuiltInInterface/translations.h"

namespace built_in_interface {
namespace {

GtkWidget* makeHostList(const char* accessibleName) {
  GtkWidget* list = gtk_list_box_new();
  gtk_list_box_set_selection_mode(GTK_LIST_BOX(list), GTK_SELECTION_NONE);
  GtkWidget* placeholder = gtk_label_new(tr("None yet"));
  addStyleClass(placeholder, "dim-label");
  gtk_widget_show(placeholder);
  gtk_list_box_set_placeholder(GTK_LIST_BOX(list), placeholder);
  setAccessibleName(list, accessibleName);
  return list;
}

// A list under its heading, scrolling on its own.
GtkWidget* makeColumn(GtkWidget* heading, GtkWidget* list) {
  GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
  GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled), GTK_SHADOW_IN);
  gtk_widget_set_vexpand(scrolled, TRUE);
  gtk_container_add(GTK_CONTAINER(scrolled), list);
  gtk_box_pack_start(GTK_BOX(column), heading, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(column), scrolled, TRUE, TRUE, 0);
  return column;
}

}  // namespace

GtkScanPanel::GtkScanPanel(ScanSession& session) : session_(session), root_(gtk_box_new(GTK_ORIENTATION_VERTICAL, 12)) {
  scanButton_ = gtk_button_new_with_mnemonic(tr("_Scan network"));
  addStyleClass(scanButton_, "suggested-action");
  gtk_widget_set_tooltip_text(scanButton_, tr("Ping every address of the local network once"));
  stopButton_ = gtk_button_new_with_mnemonic(tr("S_top"));
  gtk_widget_set_tooltip_text(stopButton_, tr("Stop listening to the scan"));
  GtkWidget* headingRow = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_box_pack_start(GTK_BOX(headingRow), makeHeading(tr("Devices on the local network")), TRUE, TRUE, 0);
  gtk_box_pack_end(GTK_BOX(headingRow), stopButton_, FALSE, FALSE, 0);
  gtk_box_pack_end(GTK_BOX(headingRow), scanButton_, FALSE, FALSE, 0);
  scanClicked_.connect(scanButton_, "clicked", G_CALLBACK(onScanClicked), this);
  stopClicked_.connect(stopButton_, "clicked", G_CALLBACK(onStopClicked), this);

  status_ = makeLabel("");
  gtk_label_set_selectable(GTK_LABEL(status_), TRUE);
  progress_ = gtk_progress_bar_new();
  gtk_progress_bar_set_show_text(GTK_PROGRESS_BAR(progress_), TRUE);
  setAccessibleName(progress_, tr("Scan progress"));
  problem_ = makeLabel("");
  addStyleClass(problem_, "error");
  gtk_widget_set_no_show_all(problem_, TRUE);

  reachableHeading_ = makeHeading("");
  reachableList_ = makeHostList(tr("Reachable hosts"));
  silentHeading_ = makeHeading("");
  addStyleClass(silentHeading_, "dim-label");
  silentList_ = makeHostList(tr("Hosts without reply"));
  GtkWidget* columns = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 18);
  gtk_box_set_homogeneous(GTK_BOX(columns), TRUE);
  gtk_box_pack_start(GTK_BOX(columns), makeColumn(reachableHeading_, reachableList_), TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(columns), makeColumn(silentHeading_, silentList_), TRUE, TRUE, 0);

  GtkBox* root = GTK_BOX(root_.get());
  gtk_box_pack_start(root, headingRow, FALSE, FALSE, 0);
  gtk_box_pack_start(root, status_, FALSE, FALSE, 0);
  gtk_box_pack_start(root, progress_, FALSE, FALSE, 0);
  gtk_box_pack_start(root, problem_, FALSE, FALSE, 0);
  gtk_box_pack_start(root, columns, TRUE, TRUE, 0);

  session_.setObserver(ScanSession::Observer{
      [this] { clear(); },
      [this](const ScanResult& result) { add(result); },
      [this] { showStatus(); },
  });
  showStatus();
}

GtkScanPanel::~GtkScanPanel() { session_.setObserver({}); }

void GtkScanPanel::onScanClicked(GtkButton*, gpointer self) { static_cast<GtkScanPanel*>(self)->session_.start(); }

void GtkScanPanel::onStopClicked(GtkButton*, gpointer self) { static_cast<GtkScanPanel*>(self)->session_.stop(); }

void GtkScanPanel::clear() {
  for (GtkWidget* list : {reachableList_, silentList_}) {
    g_autoptr(GList) rows = gtk_container_get_children(GTK_CONTAINER(list));
    for (GList* row = rows; row != nullptr; row = row->next) gtk_widget_destroy(GTK_WIDGET(row->data));
  }
}

void GtkScanPanel::add(const ScanResult& result) {
  GtkWidget* label = gtk_label_new(result.ip.c_str());
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  gtk_label_set_selectable(GTK_LABEL(label), TRUE);
  gtk_widget_set_margin_start(label, 12);
  gtk_widget_set_margin_end(label, 12);
  gtk_widget_set_margin_top(label, 4);
  gtk_widget_set_margin_bottom(label, 4);
  if (result.reachable) {
    setBoldText(label, result.ip.c_str());
  } else {
    addStyleClass(label, "dim-label");
  }
  gtk_widget_show(label);
  gtk_list_box_insert(GTK_LIST_BOX(result.reachable ? reachableList_ : silentList_), label, result.position);
}

void GtkScanPanel::showStatus() {
  const int count = session_.resultCount();
  const int total = channels::kScan.addressCount();
  const int reachable = session_.reachableCount();
  std::string status;
  switch (session_.phase()) {
    case ScanSession::Phase::kIdle:
      status = tr("Not scanned yet. Scan network pings every address of the local network once.");
      break;
    case ScanSession::Phase::kScanning:
      status = format(tr("Scanning: %d of %d results so far"), count, total);
      break;
    case ScanSession::Phase::kComplete:
      status = format(tr("Scan complete: %d of %d results, %d reachable"), count, total, reachable);
      break;
    case ScanSession::Phase::kStopped:
      status = format(tr("Stopped listening after %d of %d results"), count, total);
      break;
    case ScanSession::Phase::kFailed:
      status = format(tr("The scan did not run: %s"), session_.problem().c_str());
      break;
    case ScanSession::Phase::kNoNetwork:
      status =
          tr("No local network found. tessra looks for an IPv4 address on a wired interface "
             "(a name starting with “en”), then on a Wi-Fi interface (“wl”).");
      break;
  }
  gtk_label_set_text(GTK_LABEL(status_), status.c_str());
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(progress_), static_cast<double>(count) / total);
  const std::string figure = format(tr("%d of %d"), count, total);
  gtk_progress_bar_set_text(GTK_PROGRESS_BAR(progress_), figure.c_str());

  const bool failedQuietly = session_.phase() != ScanSession::Phase::kFailed && !session_.problem().empty();
  gtk_label_set_text(GTK_LABEL(problem_), failedQuietly ? session_.problem().c_str() : "");
  gtk_widget_set_visible(problem_, failedQuietly);

  const std::string reachableHeading = format(tr("Reachable (%d)"), reachable);
  const std::string silentHeading = format(tr("No reply (%d)"), count - reachable);
  setBoldText(reachableHeading_, reachableHeading.c_str());
  setBoldText(silentHeading_, silentHeading.c_str());

  // Scan waits for every sweep in flight to end, a stopped one included (see ScanSession).
  gtk_widget_set_sensitive(scanButton_, controlsEnabled_ && session_.canStart());
  gtk_widget_set_sensitive(stopButton_, controlsEnabled_ && session_.listening());
}

void GtkScanPanel::setControlsEnabled(bool enabled) {
  controlsEnabled_ = enabled;
  showStatus();
}

}  // namespace built_in_interface
