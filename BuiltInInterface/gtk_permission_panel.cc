#include "BuiltInInterface/gtk_permission_panel.h"

#include "BuiltInInterface/translations.h"

namespace built_in_interface {

GtkPermissionPanel::GtkPermissionPanel(PermissionCheck& check)
    : check_(check), root_(gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12)) {
  GtkWidget* texts = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
  gtk_box_pack_start(GTK_BOX(texts), makeLabel(tr("Local network permission")), FALSE, FALSE, 0);
  answer_ = makeLabel("");
  gtk_label_set_selectable(GTK_LABEL(answer_), TRUE);
  addStyleClass(answer_, "dim-label");
  gtk_box_pack_start(GTK_BOX(texts), answer_, FALSE, FALSE, 0);

  spinner_ = gtk_spinner_new();
  pending_ = gtk_label_new("");
  gtk_widget_set_no_show_all(spinner_, TRUE);
  gtk_widget_set_no_show_all(pending_, TRUE);
  button_ = gtk_button_new_with_mnemonic(tr("_Check permission"));
  gtk_widget_set_valign(button_, GTK_ALIGN_CENTER);
  checkClicked_.connect(button_, "clicked", G_CALLBACK(onCheckClicked), this);

  GtkBox* root = GTK_BOX(root_.get());
  gtk_box_pack_start(root, texts, TRUE, TRUE, 0);
  gtk_box_pack_start(root, spinner_, FALSE, FALSE, 0);
  gtk_box_pack_start(root, pending_, FALSE, FALSE, 0);
  gtk_box_pack_start(root, button_, FALSE, FALSE, 0);

  check_.setOnChange([this] { show(); });
  show();
}

GtkPermissionPanel::~GtkPermissionPanel() { check_.setOnChange({}); }

void GtkPermissionPanel::onCheckClicked(GtkButton*, gpointer self) {
  static_cast<GtkPermissionPanel*>(self)->check_.check();
}

void GtkPermissionPanel::show() {
  std::string answer;
  switch (check_.answer()) {
    // Said as what the check is on Linux: no permission is asked of anybody; the host tries
    // a connection to its own port 80, where on most desktops nothing listens.
    case PermissionCheck::Answer::kNone:
      answer = tr("Not checked yet. The check tries a connection to this computer's own port 80 (127.0.0.1:80).");
      break;
    case PermissionCheck::Answer::kGranted:
      answer = tr("Granted: this computer accepted a connection on its own port 80 (127.0.0.1:80).");
      break;
    case PermissionCheck::Answer::kDenied:
      answer = tr("Not granted: this computer did not accept a connection on its own port 80 (127.0.0.1:80).");
      break;
    case PermissionCheck::Answer::kNoAnswer:
      answer = format(tr("No answer: %s"), check_.problem().c_str());
      break;
  }
  gtk_label_set_text(GTK_LABEL(answer_), answer.c_str());
  const bool pending = check_.pending() > 0;
  gtk_widget_set_visible(spinner_, pending);
  // Cleared as well as hidden, so that nobody reads a hidden "Checking…".
  gtk_label_set_text(GTK_LABEL(pending_), pending ? tr("Checking…") : "");
  gtk_widget_set_visible(pending_, pending);
  if (pending) {
    gtk_spinner_start(GTK_SPINNER(spinner_));
  } else {
    gtk_spinner_stop(GTK_SPINNER(spinner_));
  }
}

}  // namespace built_in_interface
