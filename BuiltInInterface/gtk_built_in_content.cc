#include "BuiltInInterface/gtk_built_in_content.h"

#include "BuiltInInterface/translations.h"

namespace built_in_interface {
namespace {

GtkWidget* makeSettingsRow(GtkWidget* panel) {
  GtkWidget* row = gtk_list_box_row_new();
  gtk_list_box_row_set_activatable(GTK_LIST_BOX_ROW(row), FALSE);
  gtk_widget_set_margin_start(panel, 12);
  gtk_widget_set_margin_end(panel, 12);
  gtk_widget_set_margin_top(panel, 8);
  gtk_widget_set_margin_bottom(panel, 8);
  gtk_container_add(GTK_CONTAINER(row), panel);
  return row;
}

}  // namespace

GtkBuiltInContent::GtkBuiltInContent(ScanSession& scan, PermissionCheck& permission,
                                     LaunchAtLoginSetting& launchAtLogin)
    : content_(gtk_box_new(GTK_ORIENTATION_VERTICAL, 18)),
      scanPanel_(scan),
      permissionPanel_(permission),
      launchAtLoginPanel_(launchAtLogin) {
  // Rows in a framed list, the way the desktop's settings show switches and actions.
  takenOverBar_ = gtk_info_bar_new();
  gtk_info_bar_set_message_type(GTK_INFO_BAR(takenOverBar_), GTK_MESSAGE_INFO);
  GtkWidget* takenOverText =
      makeLabel(tr("A driver is attached: another program acts as this interface through the driver socket. "
                   "The controls here are off until it leaves."));
  gtk_container_add(GTK_CONTAINER(gtk_info_bar_get_content_area(GTK_INFO_BAR(takenOverBar_))), takenOverText);
  gtk_widget_show(takenOverText);
  gtk_widget_set_no_show_all(takenOverBar_, TRUE);

  GtkWidget* settings = gtk_list_box_new();
  settings_ = settings;
  gtk_list_box_set_selection_mode(GTK_LIST_BOX(settings), GTK_SELECTION_NONE);
  addStyleClass(settings, "frame");
  setAccessibleName(settings, tr("Settings"));
  gtk_container_add(GTK_CONTAINER(settings), makeSettingsRow(permissionPanel_.widget()));
  gtk_container_add(GTK_CONTAINER(settings), makeSettingsRow(launchAtLoginPanel_.widget()));

  GtkWidget* content = content_.get();
  gtk_container_set_border_width(GTK_CONTAINER(content), 18);
  gtk_box_pack_start(GTK_BOX(content), takenOverBar_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(content), settings, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(content), scanPanel_.widget(), TRUE, TRUE, 0);
  gtk_widget_show_all(content);
}

GtkBuiltInContent::~GtkBuiltInContent() = default;

void GtkBuiltInContent::showInterfaceState(bool takenOver) {
  gtk_widget_set_visible(takenOverBar_, takenOver);
  gtk_widget_set_sensitive(settings_, !takenOver);
  scanPanel_.setControlsEnabled(!takenOver);
}

void GtkBuiltInContent::askToQuit(std::function<void(bool)> answer) {
  quitDialog_.ask(content_.get(), std::move(answer));
}

}  // namespace built_in_interface
