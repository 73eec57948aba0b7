#include "Runner/AppDelegate.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Runner/embedding/flutter_view_controller.h"
#include "Runner/embedding/standard_codec.h"
#include "Runner/testing/recording_engine.h"
#include "platform/appkit/testing/fake_application_backend.h"

namespace {

using appkit::testing::ScopedFakeApplication;
using runner::testing::RecordingEngine;

constexpr appkit::NSWindowStyleMask kStyle = appkit::NSWindowStyleMaskTitled | appkit::NSWindowStyleMaskClosable;

std::unique_ptr<appkit::NSWindow> makeWindow() {
  return std::make_unique<appkit::NSWindow>(appkit::NSRect{0, 0, 400, 300}, kStyle,
                                            appkit::NSBackingStoreType::NSBackingStoreBuffered, false);
}

class AppDelegateTest : public ::testing::Test {
 protected:
  AppDelegateTest() { fake_.app().setDelegate(&delegate_); }

  std::vector<std::string>& journal() { return fake_.backend().journal; }

  ScopedFakeApplication fake_;
  AppDelegate delegate_;
};

TEST_F(AppDelegateTest, AnswersTheLifecycleQuestionsAsTheHostNeeds) {
  EXPECT_FALSE(delegate_.applicationShouldTerminateAfterLastWindowClosed(fake_.app()));
  EXPECT_TRUE(delegate_.applicationSupportsSecureRestorableState(fake_.app()));
  EXPECT_TRUE(delegate_.applicationShouldHandleReopen(fake_.app(), true));
  EXPECT_TRUE(delegate_.applicationShouldHandleReopen(fake_.app(), false));
}

TEST_F(AppDelegateTest, FinishingTheLaunchActivatesTheApplicationOnce) {
  delegate_.applicationDidFinishLaunching(nullptr);
  EXPECT_EQ(journal(), std::vector<std::string>{"activate"});
}

TEST_F(AppDelegateTest, ClosingTheLastWindowKeepsTheApplicationRunning) {
  auto window = makeWindow();
  window->makeKeyAndOrderFront(nullptr);
  appkit::testing::fakeBackendOf(*window).pressCloseButton();
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(fake_.backend().stops.empty());
}

// Reopen.

TEST_F(AppDelegateTest, ReopenWithAVisibleWindowChangesNothing) {
  auto shown = makeWindow();
  auto hidden = makeWindow();
  shown->orderFront(nullptr);
  journal().clear();

  fake_.app().handleReopen();
  // Only the application's own activation, which comes before the delegate is asked.
  EXPECT_EQ(journal(), std::vector<std::string>{"activate"});
  EXPECT_FALSE(hidden->isVisible());
}

TEST_F(AppDelegateTest, ReopenWithoutVisibleWindowsBringsBackEveryWindowInCreationOrder) {
  auto first = makeWindow();
  auto second = makeWindow();
  auto third = makeWindow();
  // The most recently shown window comes last in the list all the same.
  third->orderFront(nullptr);
  third->orderOut(nullptr);
  journal().clear();

  fake_.app().handleReopen();
  EXPECT_EQ(journal(), (std::vector<std::string>{"activate",  // the application's own, before the delegate is asked
                                                 "1:order above", "1:order above", "1:makeKey", "activate",  //
                                                 "2:order above", "2:order above", "2:makeKey", "activate",  //
                                                 "3:order above", "3:order above", "3:makeKey", "activate"}));
  EXPECT_TRUE(first->isVisible() && second->isVisible() && third->isVisible());
}

TEST_F(AppDelegateTest, ReopenToldThatNoneIsVisibleSkipsMakingVisibleWhatAlreadyIs) {
  auto hidden = makeWindow();
  auto shown = makeWindow();
  shown->orderFront(nullptr);
  journal().clear();

  EXPECT_TRUE(delegate_.applicationShouldHandleReopen(fake_.app(), false));
  EXPECT_EQ(journal(), (std::vector<std::string>{"1:order above", "1:order above", "1:makeKey", "activate",  //
                                                 "2:order above", "2:makeKey", "activate"}));
}

TEST_F(AppDelegateTest, ReopenWithNoWindowAtAllOnlyAnswersYes) {
  EXPECT_TRUE(delegate_.applicationShouldHandleReopen(fake_.app(), false));
  EXPECT_TRUE(journal().empty());
}

// Quit requests.

class QuitRequest : public AppDelegateTest {
 protected:
  QuitRequest() {
    auto engine = std::make_unique<RecordingEngine>(engineJournal_);
    engine_ = engine.get();
    controller_ = std::make_shared<flutter::FlutterViewController>(std::move(engine));
    window_->setContentViewController(controller_);
    delegate_.mainFlutterWindow = window_.get();
  }

  std::vector<flutter::testing::RecordingMessenger::Sent>& sent() { return engine_->messenger.sent; }

  std::vector<std::string> engineJournal_;
  std::unique_ptr<appkit::NSWindow> window_ = makeWindow();
  std::shared_ptr<flutter::FlutterViewController> controller_;
  RecordingEngine* engine_;
};

TEST_F(QuitRequest, EachRequestSendsOneQuitAttemptWithNullArgumentsAndIsCancelled) {
  EXPECT_EQ(fake_.app().handleQuitRequest(), appkit::NSTerminateCancel);
  ASSERT_EQ(sent().size(), 1u);
  EXPECT_EQ(sent()[0].channel, "app.lifecycle.channel");
  EXPECT_FALSE(sent()[0].reply) << "no answer is awaited";
  auto call = flutter::StandardMethodCodec::decodeMethodCall(sent()[0].message);
  ASSERT_TRUE(call) << call.error();
  EXPECT_EQ(call.value().method(), "onQuitAttempt");
  EXPECT_TRUE(call.value().arguments().IsNull());

  EXPECT_EQ(fake_.app().handleQuitRequest(), appkit::NSTerminateCancel);
  EXPECT_EQ(sent().size(), 2u);
  EXPECT_EQ(sent()[1].message, sent()[0].message);
  EXPECT_TRUE(fake_.backend().stops.empty()) << "the interface alone ends the application";
  EXPECT_TRUE(window_->isVisible() == false && engineJournal_.empty()) << "nothing else happens";
}

TEST_F(QuitRequest, WithoutWindowOrFlutterViewControllerNothingIsSentAndTheQuitStaysCancelled) {
  class OtherController : public appkit::NSViewController {
   public:
    appkit::NSView& view() override { return view_; }

   private:
    class PlainView : public appkit::NSView {};
    PlainView view_;
  };

  window_->setContentViewController(std::make_shared<OtherController>());
  EXPECT_EQ(fake_.app().handleQuitRequest(), appkit::NSTerminateCancel);

  window_->setContentViewController(nullptr);
  EXPECT_EQ(fake_.app().handleQuitRequest(), appkit::NSTerminateCancel);

  delegate_.mainFlutterWindow = nullptr;
  EXPECT_EQ(fake_.app().handleQuitRequest(), appkit::NSTerminateCancel);
  EXPECT_TRUE(sent().empty());
  EXPECT_TRUE(fake_.backend().stops.empty());
}

}  // namespace
