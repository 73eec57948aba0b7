#pragma once

#include <gtk/gtk.h>

#include "platform/appkit/gtk/gtk_view.h"

namespace engine {

// The stand-in engine's view: a container that fills the window's content area and shows
// the interface. Until an interface puts its own widgets in it shows nothing but the
// window's background, as a real engine's view does before its first frame. Needs GTK to be
// initialised (the application's startup has run). Main thread only.
class EngineView : public appkit::GtkNSView {
 public:
  EngineView();
  ~EngineView() override;

  GtkWidget* widget() override { return container_; }
  // Replaces whatever the view shows with `content`, which fills it.
  void setContent(GtkWidget* content);

 private:
  GtkWidget* container_;  // owned: one reference, taken when created
};

}  // namespace engine
