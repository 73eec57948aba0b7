#include "platform/flutter_engine/built_in_interface.h"

#include "platform/flutter_engine/built_in/gtk_built_in_content.h"
#include "platform/flutter_engine/engine_view.h"

namespace engine {

BuiltInInterface::BuiltInInterface(InterfaceSide& interface, std::function<void()> quit)
    : interface_(interface), quit_(std::move(quit)), scan_(interface), permission_(interface), launchAtLogin_(interface) {
  interface_.setMethodCallHandler(kLifecycleChannel,
                                  [this](const flutter::FlutterMethodCall& call, flutter::FlutterResult result) {
                                    if (call.method() != "onQuitAttempt") {
                                      result(flutter::FlutterMethodNotImplemented);
                                      return;
                                    }
                                    // The host asks for no answer; the decision is ours alone.
                                    result(flutter::EncodableValue());
                                    onQuitAttempt();
                                  });
}

BuiltInInterface::~BuiltInInterface() {
  interface_.setMethodCallHandler(kLifecycleChannel, {});
  dismantle();
}

void BuiltInInterface::showIn(EngineView& view) {
  if (widgets_) return;
  widgets_ = std::make_unique<built_in::GtkBuiltInContent>(scan_, permission_, launchAtLogin_);
  view.setTitlebar(widgets_->headerBar());
  view.setContent(widgets_->content());
  askToQuit_ = [this](std::function<void(bool)> answer) {
    if (widgets_) widgets_->askToQuit(std::move(answer));
  };
}

void BuiltInInterface::dismantle() {
  if (!widgets_) return;
  askToQuit_ = nullptr;
  widgets_.reset();
}

void BuiltInInterface::onQuitAttempt() {
  if (!askToQuit_) {
    if (quit_) quit_();
    return;
  }
  askToQuit_([quit = quit_](bool confirmed) {
    if (confirmed && quit) quit();
  });
}

}  // namespace engine
