#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/appkit/ns_application.h"
#include "platform/appkit/ns_window.h"
#include "platform/appkit/testing/fake_window_backend.h"
#include "platform/appkit/window_backend.h"

namespace appkit::testing {

// An application backend that makes FakeWindowBackends and records activations and stops.
// `journal` collects the calls of the application ("activate", "stop <status>") and of every
// window it made, in the order they happened.
class FakeApplicationBackend : public ApplicationBackend {
 public:
  std::unique_ptr<WindowBackend> createWindow(NSWindow& owner, const NSRect& contentRect) override {
    // The window registers with the application before it asks for its backend, so it
    // already holds its number; NSWindow::windowNumber() is not readable yet, though.
    return std::make_unique<FakeWindowBackend>(owner, contentRect, ++windowsCreated, journal);
  }
  void activate() override {
    ++activations;
    journal.push_back("activate");
  }
  void stop(int status) override {
    stops.push_back(status);
    journal.push_back("stop " + std::to_string(status));
  }

  int windowsCreated = 0;
  int activations = 0;
  std::vector<int> stops;
  std::vector<std::string> journal;
};

// The fake backend of a window made over FakeApplicationBackend.
inline FakeWindowBackend& fakeBackendOf(NSWindow& window) { return static_cast<FakeWindowBackend&>(window.backend()); }

// Installs a shared application over a FakeApplicationBackend for the lifetime of the
// object, and uninstalls it after.
class ScopedFakeApplication {
 public:
  ScopedFakeApplication() {
    auto backend = std::make_unique<FakeApplicationBackend>();
    backend_ = backend.get();
    app_ = std::make_unique<NSApplication>(std::move(backend));
    NSApplication::setShared(app_.get());
  }
  ~ScopedFakeApplication() { NSApplication::setShared(nullptr); }
  ScopedFakeApplication(const ScopedFakeApplication&) = delete;
  ScopedFakeApplication& operator=(const ScopedFakeApplication&) = delete;

  NSApplication& app() { return *app_; }
  FakeApplicationBackend& backend() { return *backend_; }

 private:
  std::unique_ptr<NSApplication> app_;
  FakeApplicationBackend* backend_;
};

}  // namespace appkit::testing
