#pragma once

#include <gtk/gtk.h>

#include <functional>

#include "platform/dispatch/signal_connection.h"

namespace built_in_interface {

// Asks "Quit tessra?" in a modal message dialog over the main window, or on its own while
// that window is closed or minimised. "Quit" is the default
// answer (Enter); "Keep Running", Escape or closing the dialog keep the application running.
// While the question is open a further quit attempt brings the same dialog forward instead
// of asking twice. Main thread only.
class GtkQuitDialog {
 public:
  GtkQuitDialog() = default;
  ~GtkQuitDialog();
  GtkQuitDialog(const GtkQuitDialog&) = delete;
  GtkQuitDialog& operator=(const GtkQuitDialog&) = delete;

  // `anchor` is any widget inside the window the dialog belongs to (may be hidden). `answer`
  // gets true for quit, false for keep running, once.
  void ask(GtkWidget* anchor, std::function<void(bool quit)> answer);
  bool open() const { return dialog_ != nullptr; }

 private:
  static void onResponse(GtkDialog*, gint response, gpointer self);
  void close();

  GtkWidget* dialog_ = nullptr;
  std::function<void(bool)> answer_;
  dispatch::SignalConnection response_;
};

}  // namespace built_in_interface
