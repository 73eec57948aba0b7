#pragma once

#include <glib-object.h>

namespace dispatch {

// One GObject signal handler whose data is a C++ object, connected for as long as that
// object lives: the object keeps the connection as a member, and the handler goes with it,
// so a widget or service that outlives its C++ owner never calls into freed memory. (Where
// the owner is itself a GObject, g_signal_connect_object does the same.) An instance that
// goes first takes its handlers with it; the connection then has nothing left to do.
// Main thread only, like the signals it connects.
//
//   dispatch::SignalConnection clicked_;  // a member of the panel
//   clicked_.connect(button, "clicked", G_CALLBACK(onClicked), this);
class SignalConnection {
 public:
  SignalConnection() { g_weak_ref_init(&instance_, nullptr); }
  ~SignalConnection() {
    disconnect();
    g_weak_ref_clear(&instance_);
  }
  SignalConnection(const SignalConnection&) = delete;
  SignalConnection& operator=(const SignalConnection&) = delete;

  // Connects `handler` to `signal` of `instance`, with `data`, ending any earlier connection.
  void connect(gpointer instance, const char* signal, GCallback handler, gpointer data,
               GConnectFlags flags = G_CONNECT_DEFAULT) {
    disconnect();
    g_weak_ref_set(&instance_, instance);
    id_ = g_signal_connect_data(instance, signal, handler, data, nullptr, flags);
  }

  // Ends the connection now (idempotent).
  void disconnect() {
    if (id_ == 0) return;
    if (GObject* instance = static_cast<GObject*>(g_weak_ref_get(&instance_))) {
      if (g_signal_handler_is_connected(instance, id_)) g_signal_handler_disconnect(instance, id_);
      g_object_unref(instance);
    }
    g_weak_ref_set(&instance_, nullptr);
    id_ = 0;
  }

  // The handler's id, for g_signal_handler_block and _unblock; 0 when not connected.
  gulong id() const { return id_; }

 private:
  GWeakRef instance_;
  gulong id_ = 0;
};

}  // namespace dispatch
