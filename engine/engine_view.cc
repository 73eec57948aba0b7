#include "engine/engine_view.h"

namespace engine {

EngineView::EngineView() : container_(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0)) {
  // The view outlives any window it is placed in, so it holds its own reference.
  g_object_ref_sink(container_);
  gtk_widget_show(container_);
}

EngineView::~EngineView() {
  gtk_widget_destroy(container_);
  g_clear_object(&container_);
}

void EngineView::setContent(GtkWidget* content) {
  g_autoptr(GList) children = gtk_container_get_children(GTK_CONTAINER(container_));
  for (GList* child = children; child != nullptr; child = child->next) {
    gtk_container_remove(GTK_CONTAINER(container_), GTK_WIDGET(child->data));
  }
  gtk_widget_set_hexpand(content, TRUE);
  gtk_widget_set_vexpand(content, TRUE);
  gtk_box_pack_start(GTK_BOX(container_), content, TRUE, TRUE, 0);
  gtk_widget_show_all(container_);
}

}  // namespace engine
