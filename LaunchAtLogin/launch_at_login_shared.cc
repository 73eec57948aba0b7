// The component's shared objects: the observation objects and their one-time creation.

#include <memory>
#include <mutex>

#include "LaunchAtLogin/launch_at_login.h"
#include "LaunchAtLogin/launch_at_login_kvo.h"
#include "LaunchAtLogin/launch_at_login_observable.h"
#include "LaunchAtLogin/launch_at_login_shared.h"

std::unique_ptr<LaunchAtLogin::Shared>& LaunchAtLogin::sharedSlot() {
  // A function-local static: created on first use, thread-safely.
  static std::unique_ptr<Shared> slot = std::make_unique<Shared>();
  return slot;
}

LaunchAtLogin::Shared& LaunchAtLogin::shared() { return *sharedSlot(); }

void LaunchAtLogin::resetForTesting() { sharedSlot() = std::make_unique<Shared>(); }

std::shared_ptr<LaunchAtLogin::Observable> LaunchAtLogin::observable() {
  Shared& state = shared();
  std::call_once(state.observableOnce, [&state] { state.observable = std::make_shared<Observable>(); });
  return state.observable;
}

std::shared_ptr<LaunchAtLogin::KVO> LaunchAtLogin::kvo() {
  Shared& state = shared();
  std::call_once(state.kvoOnce, [&state] { state.kvo = std::make_shared<KVO>(); });
  return state.kvo;
}

std::shared_ptr<observation::CurrentValueSubject<bool>> LaunchAtLogin::_publisher() {
  Shared& state = shared();
  // Starts from the system's state at the moment of creation; reading it notifies nobody.
  std::call_once(state.publisherOnce,
                 [&state] { state.publisher = std::make_shared<observation::CurrentValueSubject<bool>>(isEnabled()); });
  return state.publisher;
}

observation::AnyPublisher<bool> LaunchAtLogin::publisher() { return _publisher()->eraseToAnyPublisher(); }
