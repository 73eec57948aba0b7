#include "BuiltInInterface/built_in_interface.h"

#include <glib.h>

#include "BuiltInInterface/gtk_built_in_content.h"
#include "Runner/channels/channels.h"
#include "engine/engine_view.h"
#include "platform/appkit/ns_application.h"
#include "platform/view/text_domain.h"

namespace built_in_interface {

std::unique_ptr<engine::InterfaceProgram> BuiltInInterface::runInApplication(
    engine::messaging::InterfaceSide& interface) {
  view::bindTextDomain();
  return std::make_unique<BuiltInInterface>(interface, [] { appkit::NSApp().stop(0); });
}

BuiltInInterface::BuiltInInterface(engine::messaging::InterfaceSide& interface, std::function<void()> quit)
    : interface_(interface),
      quit_(std::move(quit)),
      scan_(interface),
      permission_(interface),
      launchAtLogin_(interface) {
  interface_.setMethodCallHandler(channels::kLifecycle.name,
                                  [this](const flutter::FlutterMethodCall& call, flutter::FlutterResult result) {
                                    if (call.method() != channels::kLifecycle.quitAttemptMethod) {
                                      result(flutter::FlutterMethodNotImplemented);
                                      return;
                                    }
                                    // The host asks for no answer; the decision is ours alone.
                                    result(flutter::EncodableValue());
                                    onQuitAttempt();
                                  });
  // A driver coming or going, or a sweep ending: what the controls may do changes.
  interface_.setStateObserver([this] {
    if (widgets_) widgets_->showInterfaceState(interface_.takenOver());
  });
}

BuiltInInterface::~BuiltInInterface() {
  interface_.setStateObserver({});
  interface_.setMethodCallHandler(channels::kLifecycle.name, {});
  dismantle();
}

void BuiltInInterface::showIn(engine::EngineView& view) {
  if (widgets_ || pendingView_) return;
  pendingView_ = &view;
  // After the window's map request has gone out (the main loop sends pending requests before
  // it dispatches anything), but before the first redraw, so that the first frame the window
  // draws already shows the interface.
  pendingBuild_ = g_idle_add_full(
      G_PRIORITY_HIGH_IDLE,
      [](gpointer self) -> gboolean {
        auto* interface = static_cast<BuiltInInterface*>(self);
        interface->pendingBuild_ = 0;
        interface->build();
        return G_SOURCE_REMOVE;
      },
      this, nullptr);
}

void BuiltInInterface::dropPendingBuild() {
  g_clear_handle_id(&pendingBuild_, g_source_remove);
  pendingView_ = nullptr;
}

void BuiltInInterface::build() {
  if (!pendingView_) return;
  engine::EngineView& view = *pendingView_;
  dropPendingBuild();
  widgets_ = std::make_unique<GtkBuiltInContent>(scan_, permission_, launchAtLogin_);
  view.setContent(widgets_->content());
  widgets_->showInterfaceState(interface_.takenOver());
  askToQuit_ = [this](std::function<void(bool)> answer) {
    if (widgets_) widgets_->askToQuit(std::move(answer));
  };
}

void BuiltInInterface::dismantle() {
  dropPendingBuild();
  if (!widgets_) return;
  askToQuit_ = nullptr;
  widgets_.reset();
}

void BuiltInInterface::onQuitAttempt() {
  // A quit attempt that comes before the first frame still gets asked.
  if (!askToQuit_) build();
  if (!askToQuit_) {
    if (quit_) quit_();
    return;
  }
  askToQuit_([quit = quit_](bool confirmed) {
    if (confirmed && quit) quit();
  });
}

}  // namespace built_in_interface
