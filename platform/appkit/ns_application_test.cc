#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/appkit/ns_application.h"
#include "platform/appkit/ns_window.h"
#include "platform/appkit/testing/fake_application_backend.h"

namespace appkit {
namespace {

using testing::FakeWindowBackend;
using testing::ScopedFakeApplication;
using testing::fakeBackendOf;
using Order = WindowBackend::Order;

constexpr NSWindowStyleMask kStyle = NSWindowStyleMaskTitled | NSWindowStyleMaskClosable;

std::unique_ptr<NSWindow> makeWindow(const NSRect& rect = {0, 0, 400, 300}) {
  return std::make_unique<NSWindow>(rect, kStyle, NSBackingStoreType::NSBackingStoreBuffered, false);
}

// Sees every change of place in the window order, as a subclass of the host would.
class OrderRecordingWindow : public NSWindow {
 public:
  OrderRecordingWindow() : NSWindow({0, 0, 400, 300}, kStyle, NSBackingStoreType::NSBackingStoreBuffered, false) {}
  void orderWindow(NSWindowOrderingMode mode, long relativeTo) override {
    modes.push_back(mode);
    NSWindow::orderWindow(mode, relativeTo);
  }
  std::vector<NSWindowOrderingMode> modes;
};

class RecordingDelegate : public NSApplicationDelegate {
 public:
  bool applicationShouldTerminateAfterLastWindowClosed(NSApplication&) override {
    ++lastWindowQuestions;
    return terminateAfterLastWindow;
  }
  bool applicationShouldHandleReopen(NSApplication& sender, bool hasVisibleWindows) override {
    reopenFlags.push_back(hasVisibleWindows);
    activationsWhenAskedToReopen.push_back(static_cast<testing::FakeApplicationBackend&>(sender.backend()).activations);
    return true;
  }
  NSApplicationTerminateReply applicationShouldTerminate(NSApplication&) override {
    ++quitQuestions;
    return reply;
  }

  bool terminateAfterLastWindow = false;
  NSApplicationTerminateReply reply = NSTerminateCancel;
  int lastWindowQuestions = 0;
  int quitQuestions = 0;
  std::vector<bool> reopenFlags;
  std::vector<int> activationsWhenAskedToReopen;
};

class ApplicationKit : public ::testing::Test {
 protected:
  ApplicationKit() { fake_.app().setDelegate(&delegate_); }
  ScopedFakeApplication fake_;
  RecordingDelegate delegate_;
};

TEST_F(ApplicationKit, WindowsAreListedInCreationOrderUntilTheyGo) {
  auto first = makeWindow();
  auto second = makeWindow();
  auto third = makeWindow();
  // Bringing an older window forward does not reorder the list.
  first->makeKeyAndOrderFront(nullptr);
  EXPECT_EQ(fake_.app().windows(), (std::vector<NSWindow*>{first.get(), second.get(), third.get()}));
  EXPECT_LT(first->windowNumber(), second->windowNumber());

  second.reset();
  EXPECT_EQ(fake_.app().windows(), (std::vector<NSWindow*>{first.get(), third.get()}));
}

TEST_F(ApplicationKit, EveryOrderChangeGoesThroughTheOverridableOrderWindow) {
  OrderRecordingWindow window;
  using M = NSWindowOrderingMode;

  window.makeKeyAndOrderFront(nullptr);
  window.orderOut(nullptr);
  window.setIsVisible(true);
  window.setIsVisible(false);
  window.orderFront(nullptr);
  window.performClose(nullptr);

  EXPECT_EQ(window.modes, (std::vector<M>{M::NSWindowAbove, M::NSWindowOut, M::NSWindowAbove, M::NSWindowOut,
                                          M::NSWindowAbove, M::NSWindowOut}));
  EXPECT_EQ(fakeBackendOf(window).orders,
            (std::vector<Order>{Order::kAbove, Order::kOut, Order::kAbove, Order::kOut, Order::kAbove, Order::kOut}));
  EXPECT_EQ(fakeBackendOf(window).makeKeyCalls, 1);
}

TEST_F(ApplicationKit, TheCloseButtonHidesAndOnlyTheLastShownWindowAsksTheDelegate) {
  auto first = makeWindow();
  auto second = makeWindow();
  first->orderFront(nullptr);
  second->orderFront(nullptr);

  fakeBackendOf(*first).pressCloseButton();
  EXPECT_FALSE(first->isVisible());
  EXPECT_EQ(fake_.app().windows().size(), 2u) << "closing hides, it never destroys";
  EXPECT_EQ(delegate_.lastWindowQuestions, 0);

  fakeBackendOf(*second).pressCloseButton();
  EXPECT_EQ(delegate_.lastWindowQuestions, 1);
  EXPECT_EQ(delegate_.quitQuestions, 0) << "the delegate said the application keeps running";

  // Closing an already hidden window is not the closing of the last window.
  fakeBackendOf(*second).pressCloseButton();
  EXPECT_EQ(delegate_.lastWindowQuestions, 1);
  EXPECT_TRUE(fake_.backend().stops.empty());
}

TEST_F(ApplicationKit, QuitRequestsFollowTheDelegatesAnswer) {
  EXPECT_EQ(fake_.app().handleQuitRequest(), NSTerminateCancel);
  EXPECT_EQ(fake_.app().handleQuitRequest(), NSTerminateCancel);
  EXPECT_TRUE(fake_.backend().stops.empty());
  EXPECT_EQ(delegate_.quitQuestions, 2);

  delegate_.reply = NSTerminateLater;
  fake_.app().handleQuitRequest();
  EXPECT_TRUE(fake_.backend().stops.empty()) << "a later answer never comes here; keep running";

  delegate_.reply = NSTerminateNow;
  EXPECT_EQ(fake_.app().handleQuitRequest(), NSTerminateNow);
  EXPECT_EQ(fake_.backend().stops, std::vector<int>{0});

  // A delegate that agrees to quit after the last window ends the run through the same
  // question.
  delegate_.terminateAfterLastWindow = true;
  auto window = makeWindow();
  window->orderFront(nullptr);
  fakeBackendOf(*window).pressCloseButton();
  EXPECT_EQ(fake_.backend().stops, (std::vector<int>{0, 0}));
}

TEST_F(ApplicationKit, QuitWithoutDelegateEndsAndStopKeepsItsStatus) {
  fake_.app().setDelegate(nullptr);
  EXPECT_EQ(fake_.app().handleQuitRequest(), NSTerminateNow);
  fake_.app().stop(3);
  EXPECT_EQ(fake_.backend().stops, (std::vector<int>{0, 3}));
  EXPECT_EQ(delegate_.quitQuestions, 0);
}

TEST_F(ApplicationKit, ReopenBringsTheApplicationForwardThenTellsTheDelegateWhetherAnyWindowIsShown) {
  fake_.app().handleReopen();  // no window at all
  auto first = makeWindow();
  auto second = makeWindow();
  fake_.app().handleReopen();
  second->orderFront(nullptr);
  fake_.app().handleReopen();
  EXPECT_EQ(delegate_.reopenFlags, (std::vector<bool>{false, false, true}));
  EXPECT_EQ(delegate_.activationsWhenAskedToReopen, (std::vector<int>{1, 2, 3}))
      << "the application comes forward, as the launch asked, before the delegate is asked";
  EXPECT_EQ(second->isVisible(), true);
  EXPECT_EQ(first->isVisible(), false) << "the application itself shows nothing on reopen";
}

TEST_F(ApplicationKit, WindowStatePassesThroughToTheBackend) {
  auto window = makeWindow({10, 20, 400, 300});
  EXPECT_EQ(window->frame(), (NSRect{10, 20, 400, 300}));
  window->setFrame({5, 6, 700, 500}, true);
  EXPECT_EQ(window->frame(), (NSRect{5, 6, 700, 500}));
  window->setTitle("tessra");
  EXPECT_EQ(fakeBackendOf(*window).title, "tessra");
  EXPECT_TRUE(window->isRestorable());
  window->setRestorable(false);
  EXPECT_FALSE(window->isRestorable());
  EXPECT_FALSE(fakeBackendOf(*window).restorable);
}

class StubView : public NSView {};
class StubController : public NSViewController {
 public:
  explicit StubController(bool* destroyed) : destroyed_(destroyed) {}
  ~StubController() override { *destroyed_ = true; }
  NSView& view() override { return view_; }

 private:
  StubView view_;
  bool* destroyed_;
};

TEST_F(ApplicationKit, TheWindowKeepsItsContentControllerAlive) {
  auto window = makeWindow();
  bool firstGone = false;
  bool secondGone = false;
  {
    auto controller = std::make_shared<StubController>(&firstGone);
    window->setContentViewController(controller);
    EXPECT_EQ(fakeBackendOf(*window).contentView, &controller->view());
  }
  EXPECT_FALSE(firstGone);
  window->setContentViewController(std::make_shared<StubController>(&secondGone));
  EXPECT_TRUE(firstGone);
  window->setContentViewController(nullptr);
  EXPECT_TRUE(secondGone);
  EXPECT_EQ(fakeBackendOf(*window).contentView, nullptr);
}

TEST(ApplicationKitLifetime, WindowsMayOutliveTheApplication) {
  std::unique_ptr<NSWindow> window;
  {
    ScopedFakeApplication fake;
    window = makeWindow();
  }
  // Must not reach back into the application that is gone (AddressSanitizer would see it).
  window.reset();
}

}  // namespace
}  // namespace appkit
