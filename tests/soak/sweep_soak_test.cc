// The real binary under sustained and hostile use of its scan channel, driven through the
// driver socket inside a fakelan namespace: many sweeps in a row, several at once, a driver
// that vanishes mid-sweep, launches that run out of descriptors. Every sweep must report
// each address and its completion, and nothing may pile up in the process. Nothing here
// may run outside such a namespace.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "tests/integration/support/app_process.h"
#include "tests/integration/support/driver_client.h"
#include "tests/integration/support/lab.h"

namespace tessra::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kScanChannel = "com.brovak.tessra/scanForPingableDevices";

long residentKiB(pid_t pid) {
  std::stringstream status(readFile("/proc/" + std::to_string(pid) + "/status"));
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// What arrived on the scan channel until `sweeps` completions.
struct Sweeps {
  std::map<std::string, int> reports;  // address -> how often reported
  std::set<std::string> answered;      // addresses reported with success at least once
  size_t results = 0;
  int completions = 0;
  bool resultAfterLastCompletion = false;
};

class ScanSoak : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(environment("FAKELAN_NS_SCAN").empty()) << "refusing to sweep outside a fakelan namespace";
    if (environment("DISPLAY").empty()) GTEST_SKIP() << "needs an X display (tests/run-tests starts Xvfb)";
    // Each test's sweeps start as a lone one would, not right behind the previous test's: a
    // responder was now and then reported silent on a slow machine (waitForSettledNeighbours).
    ASSERT_TRUE(waitForSettledNeighbours());
    socket_ = dir_.path() + "/driver.sock";
    std::map<std::string, std::string> variables{
        {"TESSRA_DRIVER_SOCKET", socket_}, {"XDG_CONFIG_HOME", dir_.path() + "/config"}, {"HOME", dir_.path()}};
#if defined(__SANITIZE_ADDRESS__)
    // Freed memory waits in AddressSanitizer's quarantine (256 MiB by default) and would
    // look like growth; a small one keeps resident size meaningful.
    variables["ASAN_OPTIONS"] =
        environment("ASAN_OPTIONS") + ":quarantine_size_mb=4:thread_local_quarantine_size_kb=64";
#endif
    app_ = std::make_unique<ChildProcess>(std::vector<std::string>{TESSRA_BINARY}, variables, dir_.path());
    driver_ = DriverClient::connect(socket_);
    ASSERT_TRUE(driver_) << app_->standardError();
    ASSERT_TRUE(driver_->invoke("launch_at_startup", "launchAtStartupIsEnabled")) << "channels wired";
  }

  void listen() {
    auto reply = driver_->listen(kScanChannel);
    ASSERT_TRUE(reply);
    ASSERT_TRUE((*reply)["reply"].is_null()) << reply->dump();
  }
  void cancel() {
    auto reply = driver_->cancel(kScanChannel);
    ASSERT_TRUE(reply);
    ASSERT_TRUE((*reply)["reply"].is_null()) << reply->dump();
  }

  Sweeps collect(int sweeps) {
    Sweeps got;
    while (got.completions < sweeps) {
      auto message = driver_->nextUnsolicited(30s);
      if (!message) {
        ADD_FAILURE() << "the scan went quiet after " << got.results << " results and " << got.completions
                      << " completions";
        break;
      }
      EXPECT_EQ(message->value("event", ""), kScanChannel) << message->dump();
      const auto& value = (*message)["value"];
      if (value.is_null()) {
        ++got.completions;
        continue;
      }
      got.resultAfterLastCompletion = got.completions == sweeps;
      ++got.results;
      const std::string ip = value["ip"];
      ++got.reports[ip];
      if (value["success"].get<bool>()) got.answered.insert(ip);
    }
    return got;
  }

  // Every address of the /24 reported exactly `times` times, .0 and .255 never.
  static void expectEveryAddress(const Sweeps& got, int times) {
    EXPECT_EQ(got.results, 254u * static_cast<size_t>(times));
    EXPECT_EQ(got.reports.size(), 254u);
    for (const auto& [ip, count] : got.reports) EXPECT_EQ(count, times) << ip;
    EXPECT_EQ(got.reports.count(environment("FAKELAN_PREFIX") + ".0") +
                  got.reports.count(environment("FAKELAN_PREFIX") + ".255"),
              0u);
  }

  // No child of any kind but the child-launcher process: the program starts none but its
  // pings (the toolkit's helpers are started by the session bus, not by us), and with no
  // sweep running every ping has been collected. Any child still there is described, so that
  // a failure says what it was.
  void expectNothingLeft(int descriptorsBefore) {
    EXPECT_TRUE(eventually([&] { return childrenOf(app_->pid()).empty(); }, 10s))
        << "children or zombies left: " << describeChildren(app_->pid());
    // The one descriptor a first sweep adds for good: the program's end of the launcher
    // process's socket.
    const int allowed = descriptorsBefore + (childLauncherOf(app_->pid()) != 0 ? 1 : 0);
    EXPECT_TRUE(eventually([&] { return openDescriptors(app_->pid()) <= allowed; }, 10s))
        << openDescriptors(app_->pid()) << " descriptors open, " << descriptorsBefore << " before";
    EXPECT_TRUE(app_->running());
  }

  // The program and the process that makes its children.
  long residentOfBothKiB() {
    const pid_t launcher = childLauncherOf(app_->pid());
    return residentKiB(app_->pid()) + (launcher != 0 ? residentKiB(launcher) : 0);
  }

  // Start-up leaves a few descriptors to settle (fonts, the X connection); count after it.
  int settledDescriptors() {
    std::this_thread::sleep_for(300ms);
    return openDescriptors(app_->pid());
  }

  TempDir dir_;
  std::string socket_;
  std::unique_ptr<ChildProcess> app_;
  std::optional<DriverClient> driver_;
};

TEST_F(ScanSoak, FiftySweepsInARowThroughOneListenerLoseNothingAndLeaveNothing) {
  const int descriptorsBefore = settledDescriptors();
  long residentAfter10 = 0;
  int launcherDescriptorsAfter10 = 0;
  for (int sweep = 1; sweep <= 50; ++sweep) {
    SCOPED_TRACE("sweep " + std::to_string(sweep));
    ASSERT_TRUE(waitForSettledNeighbours());  // as in SetUp
    listen();
    Sweeps got = collect(1);
    expectEveryAddress(got, 1);
    EXPECT_EQ(got.answered, fakelanReachable());
    cancel();
    if (HasFailure()) return;
    if (sweep == 10) {
      ASSERT_TRUE(eventually([&] { return pingChildrenOf(app_->pid()).empty(); }, 10s));
      residentAfter10 = residentOfBothKiB();
      launcherDescriptorsAfter10 = openDescriptors(childLauncherOf(app_->pid()));
    }
  }
  expectNothingLeft(descriptorsBefore);
  // Generous: allocator noise, not a fault, moves it by a few hundred KiB. A sweep that kept
  // its 254 results, children or pipes would add far more over forty sweeps.
  const long residentAfter50 = residentOfBothKiB();
  EXPECT_LT(residentAfter50 - residentAfter10, 6 * 1024)
      << "resident " << residentAfter10 << " KiB after sweep 10, " << residentAfter50 << " KiB after sweep 50";
  EXPECT_LE(openDescriptors(childLauncherOf(app_->pid())), launcherDescriptorsAfter10)
      << "the child-launcher process keeps descriptors of finished children";
  EXPECT_EQ(app_->standardOutput(), "");
}

TEST_F(ScanSoak, TwoOverlappingSweepsEachReportEveryAddressAndComplete) {
  const int descriptorsBefore = settledDescriptors();
  // Each listen replaces the sink; every sweep still running reports to the newest. The
  // driver lets two sweeps run at once (a third is refused: engine_driver_server_test).
  listen();
  listen();
  Sweeps got = collect(2);
  expectEveryAddress(got, 2);
  EXPECT_EQ(got.answered, fakelanReachable());
  EXPECT_FALSE(got.resultAfterLastCompletion);
  EXPECT_TRUE(driver_->drainUnsolicited(300ms).empty()) << "more than two completions";
  expectNothingLeft(descriptorsBefore);
}

TEST_F(ScanSoak, ADriverThatLeavesMidSweepTakesNothingDownWithIt) {
  const int descriptorsBefore = settledDescriptors();
  listen();
  ASSERT_TRUE(driver_->nextUnsolicited(10s)) << "the sweep started";
  driver_.reset();  // gone with its listen open and most of the sweep still to come
  // Each ping ends about a second after its launch (-W 1), and the sweep was launched
  // before the listen was answered; ten seconds leave room for a loaded machine.
  EXPECT_TRUE(eventually([&] { return childrenOf(app_->pid()).empty(); }, 10s))
      << "the abandoned pings end; left: " << describeChildren(app_->pid());

  // The server notices the departure on its own time; until then a newcomer is turned away.
  ASSERT_TRUE(eventually(
      [&] {
        driver_ = DriverClient::connect(socket_, 2s);
        return driver_ && driver_->invoke("launch_at_startup", "launchAtStartupIsEnabled", nullptr, 2s);
      },
      20s));
  // Through the main queue after whatever the abandoned sweep still had queued, so that
  // none of it can reach the next listener.
  ASSERT_TRUE(driver_->invoke("launch_at_startup", "launchAtStartupIsEnabled"));
  ASSERT_TRUE(waitForSettledNeighbours());  // as in SetUp
  listen();
  Sweeps got = collect(1);
  expectEveryAddress(got, 1);
  EXPECT_EQ(got.answered, fakelanReachable());
  cancel();
  expectNothingLeft(descriptorsBefore);
}

TEST_F(ScanSoak, LaunchesThatRunOutOfDescriptorsPartWayStillReportEveryAddress) {
  const int descriptorsBefore = settledDescriptors();
  // The children are made by the child-launcher process, which starts with the first sweep;
  // its descriptors are the ones a sweep uses up.
  listen();
  expectEveryAddress(collect(1), 1);
  cancel();
  const pid_t launcher = childLauncherOf(app_->pid());
  ASSERT_NE(launcher, 0) << "no child-launcher process: " << describeChildren(app_->pid());
  ASSERT_TRUE(eventually([&] { return childrenOf(app_->pid()).empty(); }, 10s)) << describeChildren(app_->pid());
  rlimit original{};
  ASSERT_EQ(prlimit(launcher, RLIMIT_NOFILE, nullptr, &original), 0);
  // Room for a handful of children only (each holds a pipe and a pidfd while it runs): the
  // sweep's later launches fail while the silent pings of its first ones still wait.
  rlimit tight = original;
  tight.rlim_cur = static_cast<rlim_t>(openDescriptors(launcher) + 16);
  ASSERT_EQ(prlimit(launcher, RLIMIT_NOFILE, &tight, nullptr), 0);

  ASSERT_TRUE(waitForSettledNeighbours());  // as in SetUp
  listen();
  Sweeps starved = collect(1);
  expectEveryAddress(starved, 1);
  EXPECT_LT(starved.answered.size(), fakelanReachable().size()) << "no launch failed: the limit did not bite";
  for (const auto& ip : starved.answered) EXPECT_EQ(fakelanReachable().count(ip), 1u) << ip;
  cancel();
  expectNothingLeft(descriptorsBefore);

  ASSERT_EQ(prlimit(launcher, RLIMIT_NOFILE, &original, nullptr), 0);
  ASSERT_TRUE(waitForSettledNeighbours());  // as in SetUp
  listen();
  Sweeps recovered = collect(1);
  expectEveryAddress(recovered, 1);
  EXPECT_EQ(recovered.answered, fakelanReachable());
  cancel();
  expectNothingLeft(descriptorsBefore);
  EXPECT_EQ(childLauncherOf(app_->pid()), launcher) << "the same launcher process throughout";
}

}  // namespace
}  // namespace tessra::testing
