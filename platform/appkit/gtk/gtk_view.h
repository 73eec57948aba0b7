#pragma once

#include <gtk/gtk.h>

#include "platform/appkit/ns_view.h"

namespace appkit {

// A view that the GTK window backend can place: it hands out its widget. The widget is
// owned by the view (which holds a reference) and outlives any window it is placed in.
class GtkNSView : public NSView {
 public:
  virtual GtkWidget* widget() = 0;
  // A title bar the view brings for its window (a header bar), or none for the window
  // system's own. Owned by the view like widget(); asked for when the view is placed.
  virtual GtkWidget* titlebar() { return nullptr; }
};

}  // namespace appkit
