#pragma once

#include <gtk/gtk.h>

#include "platform/appkit/ns_view.h"

namespace appkit {

// A view that the GTK window backend can place: it hands out its widget. The widget is
// owned by the view (which holds a reference) and outlives any window it is placed in.
class GtkNSView : public NSView {
 public:
  virtual GtkWidget* widget() = 0;
};

}  // namespace appkit
