#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/appkit/ns_window.h"
#include "platform/appkit/window_backend.h"

namespace appkit::testing {

// A window backend that keeps the window's state in memory and records what it was asked.
// Calls that matter for ordering also go into `journal` (shared with the application
// backend that made this window), as "<windowNumber>:<call>", so tests can check the order
// of calls across windows and the application.
class FakeWindowBackend : public WindowBackend {
 public:
  FakeWindowBackend(NSWindow& owner, const NSRect& contentRect, long windowNumber, std::vector<std::string>& journal)
      : owner_(owner), frame_(contentRect), number_(std::to_string(windowNumber)), journal_(journal) {}

  NSRect frame() const override { return frame_; }
  void setFrame(const NSRect& frame, bool display) override {
    frame_ = frame;
    frameCalls.push_back({frame, display});
    journal_.push_back(number_ + ":setFrame");
  }
  void setTitle(const std::string& title) override { this->title = title; }
  void center() override {
    ++centerCalls;
    journal_.push_back(number_ + ":center");
  }
  void setContentView(NSView* view) override {
    contentView = view;
    // Placing a view is where a real backend may resize the window to fit it.
    if (view && resizeOnContentView) frame_ = *resizeOnContentView;
    journal_.push_back(number_ + ":setContentView");
  }
  void order(Order order) override {
    orders.push_back(order);
    visible_ = order != Order::kOut;
    journal_.push_back(number_ + (order == Order::kAbove   ? ":order above"
                                  : order == Order::kBelow ? ":order below"
                                                           : ":order out"));
  }
  bool isVisible() const override { return visible_; }
  void makeKey() override {
    ++makeKeyCalls;
    journal_.push_back(number_ + ":makeKey");
  }
  void setRestorable(bool restorable) override {
    this->restorable = restorable;
    journal_.push_back(number_ + (restorable ? ":restorable" : ":not restorable"));
  }

  // The window system's close button.
  void pressCloseButton() { owner_.get().performClose(nullptr); }

  struct FrameCall {
    NSRect frame;
    bool display;
  };
  std::vector<FrameCall> frameCalls;
  std::vector<Order> orders;
  std::string title;
  NSView* contentView = nullptr;
  int centerCalls = 0;
  int makeKeyCalls = 0;
  bool restorable = true;
  // Switch: makes the next content view change the frame (as a content view with a larger
  // minimum size would), to check that callers put the frame back.
  std::optional<NSRect> resizeOnContentView;

 private:
  std::reference_wrapper<NSWindow> owner_;
  NSRect frame_;
  bool visible_ = false;
  std::string number_;
  std::vector<std::string>& journal_;
};

}  // namespace appkit::testing
