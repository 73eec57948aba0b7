// The built-in interface's scan and permission check in the real program, inside a fakelan
// namespace (en0 on a documentation /24 with a few responders). Nothing here may run
// outside such a namespace. Leaves a screenshot of the main window after the sweep in the
// build tree's artifacts folder.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>

#include "tests/integration/built_in_interface/running_app.h"
#include "tests/integration/support/lab.h"
#include "tests/integration/support/loopback_listener.h"

namespace tessra::testing {
namespace {

using namespace std::chrono_literals;

// A TCP listener on 127.0.0.1:80 of the namespace whose accept queue is full, so that a new
// connection attempt waits (its SYNs are dropped) until the queue is emptied.
class StalledListener {
 public:
  StalledListener() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(80);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    filler_ = socket(AF_INET, SOCK_STREAM, 0);
    ok_ = listener_.ok() && connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~StalledListener() { close(filler_); }
  bool ok() const { return ok_; }
  // Empties the queue; the waiting attempt gets in with its next SYN.
  void acceptAll() { listener_.acceptPending(); }

 private:
  LoopbackListener listener_{80, 0};
  int filler_ = -1;
  bool ok_ = false;
};

class BuiltInInterfaceOnTheLan : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(environment("FAKELAN_NS_SCAN").empty()) << "refusing to scan outside a fakelan namespace";
    if (auto missing = RunningApp::missingEnvironment()) GTEST_SKIP() << *missing;
    std::string why;
    ASSERT_TRUE(app_.start(TESSRA_BINARY, why)) << why;
  }

  std::vector<std::string> listed(const std::string& listName) {
    auto list = app_.ui().waitFor(app_.root(), "list box", listName);
    EXPECT_TRUE(list) << "no list " << listName;
    if (!list) return {};
    std::vector<std::string> texts = list->labelTexts();
    std::erase(texts, "None yet");
    return texts;
  }

  RunningApp app_;
};

TEST_F(BuiltInInterfaceOnTheLan, ASweepListsTheRespondersAsReachableAndEndsWith254Results) {
  EXPECT_TRUE(app_.ui().waitForLabel(app_.root(), "Not scanned yet")) << "the interface never scans by itself";
  auto scan = app_.ui().waitFor(app_.root(), "push button", "Scan network");
  ASSERT_TRUE(scan);
  ASSERT_TRUE(AccessibleUi::click(*scan));

  auto done = app_.ui().waitForLabel(app_.root(), "Scan complete: 254 of 254 results", 60s);
  ASSERT_TRUE(done) << "the sweep never completed on screen";
  const std::set<std::string> expected = fakelanReachable();
  EXPECT_EQ(done->name(), "Scan complete: 254 of 254 results, " + std::to_string(expected.size()) + " reachable");

  const std::vector<std::string> reachable = listed("Reachable hosts");
  EXPECT_EQ(std::set<std::string>(reachable.begin(), reachable.end()), expected);
  EXPECT_EQ(reachable.size(), expected.size()) << "each address once";
  const std::vector<std::string> silent = listed("Hosts without reply");
  EXPECT_EQ(silent.size(), 254 - expected.size());
  // Both lists in address order, whatever order the pings ended in.
  const auto hostNumber = [](const std::string& address) { return std::stoi(address.substr(address.rfind('.') + 1)); };
  const auto inAddressOrder = [&](const std::vector<std::string>& list) {
    return std::is_sorted(list.begin(), list.end(),
                          [&](const auto& a, const auto& b) { return hostNumber(a) < hostNumber(b); });
  };
  EXPECT_TRUE(inAddressOrder(reachable));
  EXPECT_TRUE(inAddressOrder(silent));
  for (const auto& address : silent) EXPECT_EQ(expected.count(address), 0u) << address;

  auto stop = app_.ui().waitFor(app_.root(), "push button", "Stop");
  ASSERT_TRUE(stop);
  // The accessibility tree hears of the state change after the label's, over the bus.
  EXPECT_TRUE(eventually([&] { return !stop->sensitive(); })) << "a complete scan no longer listens";

  // The artefact a person looks at: the window as it stands after the sweep.
  auto window = app_.mainWindowId();
  ASSERT_TRUE(window);
  std::filesystem::create_directories(TESSRA_ARTIFACTS_DIR);
  EXPECT_EQ(runCommand({"import", "-window", std::to_string(*window),
                        std::string(TESSRA_ARTIFACTS_DIR) + "/main-window-after-sweep.png"}),
            0);
}

TEST_F(BuiltInInterfaceOnTheLan, ThePermissionCheckShowsItIsPendingThenTheAnswer) {
  EXPECT_TRUE(app_.ui().waitForLabel(app_.root(), "Not checked yet"));
  auto check = app_.ui().waitFor(app_.root(), "push button", "Check permission");
  ASSERT_TRUE(check);

  // Nobody listens on port 80 of the namespace's loopback: refused at once.
  ASSERT_TRUE(AccessibleUi::click(*check));
  ASSERT_TRUE(
      app_.ui().waitForLabel(app_.root(), "Not granted: this computer did not accept a connection on its own port 80"));

  StalledListener listener;
  ASSERT_TRUE(listener.ok());
  ASSERT_TRUE(AccessibleUi::click(*check));
  auto pending = app_.ui().waitForLabel(app_.root(), "Checking");
  ASSERT_TRUE(pending) << "a pending call is not shown";
  EXPECT_TRUE(app_.ui().waitForLabel(app_.root(), "Not granted", 1s)) << "the last answer stays until replaced";

  listener.acceptAll();
  EXPECT_TRUE(app_.ui().waitForLabel(app_.root(), "Granted: this computer accepted a connection", 15s));
  EXPECT_TRUE(eventually([&] { return AccessibleUi::labelsStartingWith(app_.root(), "Checking").empty(); }));
}

}  // namespace
}  // namespace tessra::testing
