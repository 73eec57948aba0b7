#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "LaunchAtLogin/login_item_platform.h"
#include "platform/observation/current_value_subject.h"
#include "platform/view/view.h"

// Whether the application starts when the user logs in. A namespace of static members: it
// keeps no copy of the answer, every read asks the system, and every write tells three kinds
// of observers (observable, kvo, publisher) in a fixed order, on the writing thread:
//   1. observable()->objectWillChange()   2. kvo() will-change "isEnabled"
//   3. the system registration changes    4. kvo() did-change "isEnabled"
//   5. publisher() delivers the value that was asked for, even when step 3 failed.
// Failures of the system are logged and otherwise swallowed; the next read tells the truth.
// The nested types have headers of their own: launch_at_login_observable.h,
// launch_at_login_kvo.h, launch_at_login_toggle.h.
class LaunchAtLogin {
 public:
  LaunchAtLogin() = delete;

  class Observable;
  class KVO;
  template <typename Label = view::Text>
  class Toggle;

  // The one way in to the platform. Call once, before any other member, on the main thread.
  static void installPlatform(LoginItemPlatform platform);

  static bool isEnabled();
  static void setIsEnabled(bool value);
  // Read once, let `change` edit the value (toggling it, say), then one full write.
  static void modifyIsEnabled(const std::function<void(bool&)>& change);

  // Moves a registration of the old helper login item to the application itself, once per
  // user; changes the registration without notifying anybody.
  static void migrateIfNeeded();

  // The shared observation objects, created on first use and kept for the process's life.
  static std::shared_ptr<Observable> observable();
  static std::shared_ptr<KVO> kvo();
  static observation::AnyPublisher<bool> publisher();

  // Tests only: drops the installed platform and the shared objects, so that the next use
  // starts afresh. Not thread-safe; observers already handed out stay alive but are no
  // longer notified.
  static void resetForTesting();

 private:
  // Anchors the component's own resources; it has no behaviour.
  class BundleFinder {};
  struct Shared;
  static std::unique_ptr<Shared>& sharedSlot();
  static Shared& shared();
  static const LoginItemPlatform& platform();
  static bool isModernSystem();

  static std::shared_ptr<observation::CurrentValueSubject<bool>> _publisher();
  static const std::optional<std::string>& id();
  static system_log::Logger& logger();
  static void isEnabledModern(bool value);
  static bool isEnabledLegacy();
  static void unregisterLegacy();
};
