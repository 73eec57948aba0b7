#include "BuiltInInterface/gtk_launch_at_login_panel.h"

#include "BuiltInInterface/translations.h"
#include "platform/view/gtk_switch.h"

namespace built_in_interface {

GtkLaunchAtLoginPanel::GtkLaunchAtLoginPanel(LaunchAtLoginSetting& setting)
    : setting_(setting), root_(gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12)) {
  GtkWidget* texts = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
  GtkWidget* label = gtk_label_new_with_mnemonic(tr("_Launch at login"));
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  note_ = makeLabel("");
  addStyleClass(note_, "dim-label");
  gtk_widget_set_no_show_all(note_, TRUE);
  gtk_box_pack_start(GTK_BOX(texts), label, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(texts), note_, FALSE, FALSE, 0);

  switch_ = gtk_switch_new();
  gtk_widget_set_valign(switch_, GTK_ALIGN_CENTER);
  gtk_label_set_mnemonic_widget(GTK_LABEL(label), switch_);
  setAccessibleName(switch_, tr("Launch at login"));
  gtk_widget_set_sensitive(switch_, FALSE);
  stateSet_.connect(switch_, "state-set", G_CALLBACK(onStateSet), this);

  gtk_box_pack_start(GTK_BOX(root_.get()), texts, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(root_.get()), switch_, FALSE, FALSE, 0);
  map_.connect(root_.get(), "map", G_CALLBACK(onMap), this);

  setting_.setOnChange([this] { show(); });
}

GtkLaunchAtLoginPanel::~GtkLaunchAtLoginPanel() { setting_.setOnChange({}); }

void GtkLaunchAtLoginPanel::onMap(GtkWidget*, gpointer self) {
  static_cast<GtkLaunchAtLoginPanel*>(self)->setting_.refresh();
}

gboolean GtkLaunchAtLoginPanel::onStateSet(GtkSwitch*, gboolean state, gpointer self) {
  auto* panel = static_cast<GtkLaunchAtLoginPanel*>(self);
  // One change at a time; the switch stays where the system is meanwhile. (It stays
  // sensitive so that keyboard focus is not thrown off it.)
  if (!panel->setting_.busy()) panel->setting_.request(state != FALSE);
  // Handled: the switch's state stays as it is until the read after the change answers.
  return TRUE;
}

void GtkLaunchAtLoginPanel::show() {
  const std::optional<bool> enabled = setting_.enabled();
  if (enabled) view::gtk::showSwitchState(GTK_SWITCH(switch_), stateSet_.id(), *enabled);
  gtk_widget_set_sensitive(switch_, enabled.has_value());

  std::string note;
  if (setting_.refused() && enabled) {
    note = *enabled ? tr("The system did not accept the change; tessra still launches at login.")
                    : tr("The system did not accept the change; tessra does not launch at login.");
  }
  if (!setting_.problem().empty()) {
    if (!note.empty()) note += "\n";
    note += format(tr("Could not change or read the setting: %s"), setting_.problem().c_str());
  }
  gtk_label_set_text(GTK_LABEL(note_), note.c_str());
  gtk_widget_set_visible(note_, !note.empty());
}

}  // namespace built_in_interface
