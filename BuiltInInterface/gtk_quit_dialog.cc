#include "BuiltInInterface/gtk_quit_dialog.h"

#include "BuiltInInterface/gtk_widgets.h"
#include "BuiltInInterface/translations.h"

namespace built_in_interface {

namespace {

// A dialog stands over its window only while that window is shown: window managers keep the
// dialog of a closed (hidden) or minimised window out of sight with it, and the question must
// be seen, at logout above all.
bool shown(GtkWidget* window) {
  GdkWindow* gdkWindow = gtk_widget_get_window(window);
  return gtk_widget_get_visible(window) &&
         !(gdkWindow && (gdk_window_get_state(gdkWindow) & GDK_WINDOW_STATE_ICONIFIED) != 0);
}

}  // namespace

GtkQuitDialog::~GtkQuitDialog() { close(); }

void GtkQuitDialog::ask(GtkWidget* anchor, std::function<void(bool)> answer) {
  if (dialog_) {
    // The earlier question still stands and answers for this attempt too.
    gtk_window_present(GTK_WINDOW(dialog_));
    return;
  }
  answer_ = std::move(answer);
  GtkWidget* toplevel = anchor ? gtk_widget_get_toplevel(anchor) : nullptr;
  GtkWindow* parent = toplevel && gtk_widget_is_toplevel(toplevel) && GTK_IS_WINDOW(toplevel) && shown(toplevel)
                          ? GTK_WINDOW(toplevel)
                          : nullptr;
  dialog_ =
      gtk_message_dialog_new(parent, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                             GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE, "%s", tr("Quit tessra?"));
  g_object_ref_sink(dialog_);
  gtk_window_set_title(GTK_WINDOW(dialog_), tr("Quit tessra?"));
  gtk_dialog_add_button(GTK_DIALOG(dialog_), tr("_Keep Running"), GTK_RESPONSE_CANCEL);
  GtkWidget* quit = gtk_dialog_add_button(GTK_DIALOG(dialog_), tr("_Quit"), GTK_RESPONSE_ACCEPT);
  addStyleClass(quit, "destructive-action");
  gtk_dialog_set_default_response(GTK_DIALOG(dialog_), GTK_RESPONSE_ACCEPT);
  response_.connect(dialog_, "response", G_CALLBACK(onResponse), this);
  gtk_window_present(GTK_WINDOW(dialog_));
}

void GtkQuitDialog::onResponse(GtkDialog*, gint response, gpointer self) {
  auto* dialog = static_cast<GtkQuitDialog*>(self);
  auto answer = std::move(dialog->answer_);
  dialog->close();
  // Last: quitting may end the main loop.
  if (answer) answer(response == GTK_RESPONSE_ACCEPT);
}

void GtkQuitDialog::close() {
  if (!dialog_) return;
  response_.disconnect();
  gtk_widget_destroy(dialog_);
  g_clear_object(&dialog_);
  answer_ = nullptr;
}

}  // namespace built_in_interface
