#pragma once

#include <gtk/gtk.h>

namespace appkit {

// How the GTK adapter reads and brings forward a top-level window on any desktop. Main
// thread only.

// Whether the window system shows `window` minimised. X11 window managers say so; Wayland
// compositors tell no client, so there a minimised window reads as shown (and presenting it,
// below, is what brings it back).
bool isMinimised(GtkWindow* window);

// Brings a shown window forward as a launch of the application asks for it: onto the user's
// current workspace (on X11; a Wayland compositor decides that itself), out of the minimised
// state, raised and focused. GTK hands it the launch's activation token, which GApplication
// passes on from the launching process and which lets focus-stealing prevention through:
// startup notification's time on X11 (kept by the display), xdg-activation on Wayland (used
// by the first presentation while the application's activate signal is emitted).
void presentOnCurrentWorkspace(GtkWindow* window);

}  // namespace appkit
