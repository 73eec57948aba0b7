#include "platform/view/gtk_toggle_host.h"

#include "platform/view/gtk_switch.h"
#include "platform/view/text_domain.h"

namespace view::gtk {

std::string resolve(const Text& text) {
  if (!text.isLocalized()) return text.content();
  return translate(text.content().c_str());
}

ToggleHost::ToggleHost(const Toggle<Text>& toggle)
    : ToggleHost(toggle.isOn, gtk_label_new(resolve(toggle.label).c_str())) {}

ToggleHost::ToggleHost(Binding<bool> isOn, GtkWidget* label) : isOn_(std::move(isOn)) {
  box_ = GTK_WIDGET(g_object_ref_sink(gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12)));
  label_ = label;
  switch_ = gtk_switch_new();
  gtk_widget_set_halign(label_, GTK_ALIGN_START);
  gtk_box_pack_start(GTK_BOX(box_), label_, TRUE, TRUE, 0);
  gtk_box_pack_end(GTK_BOX(box_), switch_, FALSE, FALSE, 0);
  gtk_widget_show_all(box_);
  stateSet_.connect(switch_, "state-set", G_CALLBACK(onStateSet), this);
  if (isOn_.source) {
    willChange_ = isOn_.source->objectWillChange().sink([this] { scheduleRedraw(); });
  }
  redraw();
}

ToggleHost::~ToggleHost() {
  willChange_.cancel();
  g_clear_handle_id(&idleSource_, g_source_remove);
  gtk_widget_destroy(box_);
  g_clear_object(&box_);
}

gboolean ToggleHost::onStateSet(GtkSwitch*, gboolean state, gpointer self) {
  auto* host = static_cast<ToggleHost*>(self);
  host->isOn_.set(state != FALSE);
  // The switch must show what the system holds, not where the user's finger went; the
  // write's own announcement normally schedules this already.
  host->scheduleRedraw();
  return TRUE;
}

void ToggleHost::scheduleRedraw() {
  if (idleSource_ != 0) return;
  idleSource_ = g_idle_add(onIdle, this);
}

gboolean ToggleHost::onIdle(gpointer self) {
  auto* host = static_cast<ToggleHost*>(self);
  host->idleSource_ = 0;
  host->redraw();
  return G_SOURCE_REMOVE;
}

void ToggleHost::redraw() { showSwitchState(GTK_SWITCH(switch_), stateSet_.id(), isOn_.get()); }

}  // namespace view::gtk
