#pragma once

#include <functional>
#include <memory>

#include "BuiltInInterface/launch_at_login_setting.h"
#include "BuiltInInterface/permission_check.h"
#include "BuiltInInterface/scan_session.h"
#include "engine/interface_program.h"
#include "engine/messaging/interface_side.h"

namespace built_in_interface {

class GtkBuiltInContent;

// The little interface the stand-in engine runs when no real one exists. Like the real
// interface it talks to the host only through the channels (engine::messaging::InterfaceSide): it scans the
// local network when asked, checks the network permission, shows and changes launching at
// login, and decides what a quit attempt means: it asks the person, and ends the
// application (`quit`) only when they say so. Until it is shown in a view there is nobody to
// ask, and a quit attempt ends the application at once.
//
// Like a real engine, it builds its first frame once its window has been asked onto the
// screen, not before: a window that waited for the interface's widgets (and the fonts they
// load) would come up noticeably later.
//
// While a driver is attached, host calls go to the driver instead and this does not act on
// them; it says so, and its controls are off (one interface at a time). Main thread only.
class BuiltInInterface : public engine::InterfaceProgram {
 public:
  // `quit` ends the application.
  BuiltInInterface(engine::messaging::InterfaceSide& interface, std::function<void()> quit);
  ~BuiltInInterface() override;

  // The application's interface, for engine::makeStandInEngine(): binds the translations
  // and ends the application by stopping the shared application.
  static std::unique_ptr<engine::InterfaceProgram> runInApplication(engine::messaging::InterfaceSide& interface);

  // Builds the GTK widgets into `view` as soon as the main loop has nothing more urgent to
  // do, or at once when a quit attempt comes first. Needs GTK; `view` must outlive this
  // object's widgets (see dismantle()). Once only.
  void showIn(engine::EngineView& view) override;
  // Takes the widgets down (or drops the pending build), before the view goes.
  void dismantle() override;

  // How a quit attempt is put to the person: `ask` gets a callback to call once with true to
  // quit. showIn() installs the dialog; tests install their own.
  using QuitQuestion = std::function<void(std::function<void(bool quit)> answer)>;
  void setQuitQuestion(QuitQuestion ask) { askToQuit_ = std::move(ask); }

  ScanSession& scan() { return scan_; }
  PermissionCheck& permission() { return permission_; }
  LaunchAtLoginSetting& launchAtLogin() { return launchAtLogin_; }

 private:
  void onQuitAttempt();
  void build();
  void dropPendingBuild();

  engine::messaging::InterfaceSide& interface_;
  std::function<void()> quit_;
  QuitQuestion askToQuit_;
  ScanSession scan_;
  PermissionCheck permission_;
  LaunchAtLoginSetting launchAtLogin_;
  engine::EngineView* pendingView_ = nullptr;  // shown in, not built yet
  unsigned pendingBuild_ = 0;                  // the main loop's idle source for the build
  std::unique_ptr<GtkBuiltInContent> widgets_;
};

}  // namespace built_in_interface
