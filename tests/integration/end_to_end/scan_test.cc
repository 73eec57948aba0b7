// The scan and permission channels of the real binary, driven through the driver socket
// inside a fakelan namespace (en0 on a documentation /24 with a few responders). Nothing
// here may run outside such a namespace.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <thread>

#include "tests/integration/support/app_process.h"
#include "tests/integration/support/driver_client.h"
#include "tests/integration/support/lab.h"
#include "tests/integration/support/loopback_listener.h"

namespace tessra::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kScanChannel = "com.brovak.tessra/scanForPingableDevices";
constexpr const char* kPermissionChannel = "com.brovak.tessra/localNetworkPermission";

class InsideFakeLan : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(environment("FAKELAN_NS_SCAN").empty()) << "refusing to scan outside a fakelan namespace";
    if (environment("DISPLAY").empty()) GTEST_SKIP() << "needs an X display (tests/run-tests starts Xvfb)";
    socket_ = dir_.path() + "/driver.sock";
    app_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{TESSRA_BINARY},
        std::map<std::string, std::string>{
            {"TESSRA_DRIVER_SOCKET", socket_}, {"XDG_CONFIG_HOME", dir_.path() + "/config"}, {"HOME", dir_.path()}},
        dir_.path());
    driver_ = DriverClient::connect(socket_);
    ASSERT_TRUE(driver_) << app_->standardError();
  }

  // Collects one sweep: the result maps until the null that completes it.
  struct Sweep {
    std::vector<nlohmann::json> results;
    bool completed = false;
  };
  Sweep collectSweep() {
    Sweep sweep;
    while (auto message = driver_->nextUnsolicited(20s)) {
      EXPECT_EQ(message->value("event", ""), kScanChannel) << message->dump();
      const auto& value = (*message)["value"];
      if (value.is_null()) {
        sweep.completed = true;
        break;
      }
      sweep.results.push_back(value);
    }
    return sweep;
  }

  TempDir dir_;
  std::string socket_;
  std::unique_ptr<ChildProcess> app_;
  std::optional<DriverClient> driver_;
};

TEST_F(InsideFakeLan, ASweepReportsEveryAddressOnceThenCompletesAndLeavesNothingBehind) {
  // Let start-up settle before counting descriptors.
  std::this_thread::sleep_for(500ms);
  const int descriptorsBefore = openDescriptors(app_->pid());

  auto reply = driver_->listen(kScanChannel);
  ASSERT_TRUE(reply);
  EXPECT_TRUE((*reply)["reply"].is_null()) << reply->dump();
  Sweep sweep = collectSweep();
  ASSERT_TRUE(sweep.completed);
  ASSERT_EQ(sweep.results.size(), 254u);

  std::set<std::string> seen, answered;
  for (const auto& result : sweep.results) {
    ASSERT_EQ(result.size(), 2u) << result.dump();
    const std::string ip = result["ip"];
    EXPECT_TRUE(seen.insert(ip).second) << ip << " reported twice";
    if (result["success"].get<bool>()) answered.insert(ip);
  }
  EXPECT_EQ(seen.count(environment("FAKELAN_PREFIX") + ".0"), 0u);
  EXPECT_EQ(seen.count(environment("FAKELAN_PREFIX") + ".255"), 0u);
  EXPECT_EQ(answered, fakelanReachable());

  EXPECT_TRUE(eventually([&] { return pingChildrenOf(app_->pid()).empty(); }, 5s))
      << "children left: " << describeChildren(app_->pid());
  // One stays: the program's end of the socket to its child-launcher process, which the first
  // sweep starts.
  ASSERT_NE(childLauncherOf(app_->pid()), 0) << describeChildren(app_->pid());
  EXPECT_TRUE(eventually([&] { return openDescriptors(app_->pid()) == descriptorsBefore + 1; }, 5s))
      << openDescriptors(app_->pid()) << " descriptors open, " << descriptorsBefore << " before";
  EXPECT_EQ(app_->standardOutput(), "");
}

TEST_F(InsideFakeLan, CancellingStopsDeliveryAndListeningAgainStartsAFreshSweep) {
  ASSERT_TRUE(driver_->listen(kScanChannel));
  ASSERT_TRUE(driver_->cancel(kScanChannel));
  // Results of the fastest responders may come before the cancel; after it, whatever the
  // first sweep still has to say is dropped, and its pings run to their end.
  driver_->discardUnsolicited();
  std::this_thread::sleep_for(3s);
  EXPECT_TRUE(driver_->drainUnsolicited(200ms).empty());
  EXPECT_TRUE(eventually([&] { return pingChildrenOf(app_->pid()).empty(); }, 5s));

  ASSERT_TRUE(driver_->listen(kScanChannel));
  Sweep sweep = collectSweep();
  EXPECT_TRUE(sweep.completed);
  EXPECT_EQ(sweep.results.size(), 254u);
}

TEST_F(InsideFakeLan, ThePermissionProbeAnswersWhetherLoopbackPort80Accepts) {
  auto refused = driver_->invoke(kPermissionChannel, "checkPermissions");
  ASSERT_TRUE(refused);
  EXPECT_EQ((*refused)["reply"], false);
  EXPECT_EQ(app_->standardOutput().rfind("Network permission request failed: ", 0), 0u) << app_->standardOutput();

  LoopbackListener listener(80);  // on the namespace's own loopback
  ASSERT_TRUE(listener.ok());
  for (const char* method : {"checkPermissions", "requestPermissions"}) {
    auto granted = driver_->invoke(kPermissionChannel, method);
    ASSERT_TRUE(granted);
    EXPECT_EQ((*granted)["reply"], true) << method;
  }
  std::stringstream out(app_->standardOutput());
  std::vector<std::string> lines;
  for (std::string line; std::getline(out, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "🔹 Network permission granted");
  EXPECT_EQ(lines[2], "🔹 Network permission granted");
}

// The processes whose working folder is `dir`: what a script left running there.
std::vector<pid_t> processesWorkingIn(const std::string& dir) {
  std::vector<pid_t> found;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path() / "cwd", error) == dir) found.push_back(std::stoi(name));
  }
  return found;
}

// The README's socat example, as printed, from a folder where build/app/tessra is this
// build's binary. Its first line (a fakelan namespace and a private session bus) is what
// this test runs in already; the rest is taken from the README itself.
TEST(ReadmeDriverExample, PrintsTheListensReplyAndTheWholeSweep) {
  ASSERT_FALSE(environment("FAKELAN_NS_SCAN").empty()) << "refusing to scan outside a fakelan namespace";
  if (environment("DISPLAY").empty()) GTEST_SKIP() << "needs an X display (tests/run-tests starts Xvfb)";
  const std::string readme = readFile(TESSRA_SOURCE_DIR "/README.md");
  const std::string opening = "../shared/lab/fakelan run -- dbus-run-session -- sh -c '";
  size_t start = readme.find(opening, readme.find("Example with `socat`"));
  ASSERT_NE(start, std::string::npos) << "the README's socat example is not where it was";
  start += opening.size();
  const std::string script = readme.substr(start, readme.find('\'', start) - start);

  TempDir dir;
  std::filesystem::create_directories(dir.path() + "/build/app");
  std::filesystem::create_symlink(TESSRA_BINARY, dir.path() + "/build/app/tessra");
  std::filesystem::create_directory(dir.path() + "/run");
  std::filesystem::permissions(dir.path() + "/run", std::filesystem::perms::owner_all);
  std::optional<int> status;
  std::string printed;
  {
    ChildProcess example(
        {"env", "-C", dir.path(), "sh", "-c", script},
        {{"XDG_RUNTIME_DIR", dir.path() + "/run"}, {"XDG_CONFIG_HOME", dir.path() + "/config"}, {"HOME", dir.path()}},
        dir.path());
    status = example.waitForExit(60s);
    printed = example.standardOutput();
    // The example leaves tessra running (fakelan would end it); it must be gone before
    // another test starts one on the same session bus.
    for (pid_t pid : processesWorkingIn(dir.path())) kill(pid, SIGTERM);
    EXPECT_TRUE(eventually([&] { return processesWorkingIn(dir.path()).empty(); }, 10s));
    EXPECT_EQ(status, 0) << example.standardError();
  }

  std::stringstream lines(printed);
  std::vector<nlohmann::json> messages;
  for (std::string line; std::getline(lines, line);) messages.push_back(nlohmann::json::parse(line, nullptr, false));
  ASSERT_EQ(messages.size(), 1u + 254u + 1u) << printed;
  EXPECT_EQ(messages.front(), nlohmann::json::parse(R"({"id":1,"reply":null})"));
  EXPECT_EQ(messages.back(), (nlohmann::json{{"event", kScanChannel}, {"value", nullptr}}));
  std::set<std::string> seen, answered;
  for (size_t i = 1; i + 1 < messages.size(); ++i) {
    const std::string ip = messages[i]["value"]["ip"];
    seen.insert(ip);
    if (messages[i]["value"]["success"].get<bool>()) answered.insert(ip);
  }
  EXPECT_EQ(seen.size(), 254u);
  EXPECT_EQ(answered, fakelanReachable());
}

}  // namespace
}  // namespace tessra::testing
