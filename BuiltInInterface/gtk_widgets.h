#pragma once

#include <gtk/gtk.h>

#include <string>

namespace built_in_interface {

// Small helpers the panels share.

// Gives `widget` the name that assistive technology (and the interface tests) find it by.
inline void setAccessibleName(GtkWidget* widget, const char* name) {
  atk_object_set_name(gtk_widget_get_accessible(widget), name);
}

// A label aligned to the start that wraps rather than widening the window.
inline GtkWidget* makeLabel(const char* text) {
  GtkWidget* label = gtk_label_new(text);
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  return label;
}

// Shows `text` in bold on `label`, taken as plain text (markup in it is escaped).
inline void setBoldText(GtkWidget* label, const char* text) {
  g_autofree char* markup = g_markup_printf_escaped("<b>%s</b>", text);
  gtk_label_set_markup(GTK_LABEL(label), markup);
}

// A section heading: bold, as the desktop's own settings panels set them.
inline GtkWidget* makeHeading(const char* text) {
  GtkWidget* label = gtk_label_new(nullptr);
  setBoldText(label, text);
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  return label;
}

inline void addStyleClass(GtkWidget* widget, const char* styleClass) {
  gtk_style_context_add_class(gtk_widget_get_style_context(widget), styleClass);
}

// The panels hold their top widget with a reference of their own, so that it can be placed
// in and taken out of containers freely, and destroy it when they go.
class OwnedWidget {
 public:
  explicit OwnedWidget(GtkWidget* widget) : widget_(GTK_WIDGET(g_object_ref_sink(widget))) {}
  ~OwnedWidget() {
    gtk_widget_destroy(widget_);
    g_clear_object(&widget_);
  }
  OwnedWidget(const OwnedWidget&) = delete;
  OwnedWidget& operator=(const OwnedWidget&) = delete;
  GtkWidget* get() const { return widget_; }

 private:
  GtkWidget* widget_;
};

}  // namespace built_in_interface
