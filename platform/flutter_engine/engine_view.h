#pragma once

#include <gtk/gtk.h>

#include "platform/appkit/gtk/gtk_view.h"

namespace engine {

// The stand-in engine's view: a container that fills the window's content area and shows
// the interface. Until an interface puts its own widgets in, it shows a centred "tessra".
// Needs GTK to be initialised (the application's startup has run). Main thread only.
class EngineView : public appkit::GtkNSView {
 public:
  EngineView();
  ~EngineView() override;

  GtkWidget* widget() override { return container_; }
  GtkWidget* titlebar() override { return titlebar_; }
  // Replaces whatever the view shows with `content`, which fills it.
  void setContent(GtkWidget* content);
  // The header bar for the window the view is placed in; must be set before it is placed.
  void setTitlebar(GtkWidget* titlebar);

 private:
  GtkWidget* container_;           // owned: one reference, taken when created
  GtkWidget* titlebar_ = nullptr;  // a reference of our own while set
};

}  // namespace engine
